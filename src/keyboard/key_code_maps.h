// Windows virtual-key (VK) numbers to macOS virtual key codes, and modifier VKs to flag bits.
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
// The 11 modifier VKs of the whole system, each with the one flag bit it contributes.
inline constexpr size_t kModifierCount = 11;
extern const std::array<ModifierFlag, kModifierCount> kModifierFlags;

// The macOS key code for a VK, or kNoMacKey when the key is not supported. Key code 0 is a real
// key (A).
uint16_t vkToMac(uint16_t vk);

// The flag bit a modifier VK contributes to the modifier mask; 0 for every other VK.
CGEventFlags modifierFlagForVk(uint16_t vk);

// True for the modifier VKs: 16-18, 91-92 and 160-165.
inline bool isModifierVk(uint16_t vk) { return modifierFlagForVk(vk) != 0; }
