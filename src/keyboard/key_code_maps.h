// Windows virtual-key (VK) numbers to macOS virtual key codes, and modifier VKs to flag bits.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/quartz.h"

inline constexpr uint16_t kNoMacKey = 0xFFFF;

// The key code map covers VKs 8 to 222, one entry per VK in VK order.
inline constexpr uint16_t kFirstMappedVk = 8;
inline constexpr size_t kKeyCodeMapSize = 215;
extern const std::array<uint16_t, kKeyCodeMapSize> keyCodeMap;

struct ModifierFlag {
  uint16_t vk;
  CGEventFlags flag;
};
inline constexpr size_t kModifierCount = 11;
extern const std::array<ModifierFlag, kModifierCount> modifierFlagMap;

// One bit per VK below 256, set for the modifier VKs: every key event asks, so the answer is one
// load rather than a walk through the modifier map.
extern const std::array<uint64_t, 4> modifierVkBits;

// The macOS key code for a VK, or kNoMacKey when the key is not supported. Key code 0 is a real
// key (A). VKs below 8 wrap around to large indices and fall out with those above 222.
inline uint16_t vkToMac(uint16_t vk) {
  const uint16_t index = static_cast<uint16_t>(vk - kFirstMappedVk);
  return index < kKeyCodeMapSize ? keyCodeMap[index] : kNoMacKey;
}

// The flag bit a modifier VK contributes to the modifier mask; 0 for every other VK.
CGEventFlags modifierFlagForVk(uint16_t vk);

// True for the 11 modifier VKs: 16-18, 91-92 and 160-165.
inline bool isModifierVk(uint16_t vk) {
  return vk < 256 && (modifierVkBits[vk / 64] >> (vk % 64) & 1) != 0;
}
