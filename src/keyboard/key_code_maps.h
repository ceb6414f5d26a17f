// The key table: the Mac key code each Windows virtual key (VK, keyboard/vk.h) posts, the flag bit
// each modifier VK holds down, and the volume and media keys, which post no key code.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/quartz.h"

inline constexpr uint16_t kNoMacKey = 0xFFFF;

struct ModifierFlag {
  uint16_t vk;
  CGEventFlags flag;
};
// The 11 modifier VKs of the whole system in VK order, each with the one flag bit it contributes:
// the keys whose Mac key is a Shift, Control, Option or Command key.
inline constexpr size_t kModifierCount = 11;
extern const std::array<ModifierFlag, kModifierCount> kModifierFlags;

// The macOS key code for a VK, or kNoMacKey when the key is not supported. Key code 0 is a real
// key (A).
uint16_t vkToMac(uint16_t vk);

// The flag bit a modifier VK contributes to the modifier mask; 0 for every other VK.
CGEventFlags modifierFlagForVk(uint16_t vk);

// True for the modifier VKs: VK_SHIFT, VK_CONTROL, VK_MENU, both Windows keys and both sides of
// the first three.
inline bool isModifierVk(uint16_t vk) { return modifierFlagForVk(vk) != 0; }

// True for the VKs of the numeric keypad's keys: its digits, operators and Clear.
bool isKeypadVk(uint16_t vk);

// The key type (IOKit's NX_KEYTYPE_) a volume or media key's VK posts, or kNoMediaKey for every
// other VK.
inline constexpr int kNoMediaKey = -1;
int mediaKeyTypeForVk(uint16_t vk);
