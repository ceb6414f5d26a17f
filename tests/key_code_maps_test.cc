// The VK-to-macOS key code map and the modifier flag map.
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <vector>

#include "keyboard/key_code_maps.h"

namespace {

TEST(KeyCodeMapsTest, EveryEntryAndNothingElse) {
  // Runs of consecutive VKs and their macOS key codes; every VK not listed has no mapping: among
  // them 0-7 (which wrap around below the map), the keypad 96-111, F13 and above, 223 and up.
  struct Run {
    uint16_t firstVk;
    std::vector<uint16_t> codes;
  };
  const Run runs[] = {
      {8, {51, 48}},                                       // Backspace, Tab
      {13, {36}},                                          // Enter
      {16, {56, 59, 58}},                                  // Shift, Control, Alt
      {20, {57}},                                          // Caps Lock
      {27, {53}},                                          // Escape
      {32, {49, 116, 121, 119, 115, 123, 126, 124, 125}},  // Space, paging, arrows
      {45, {114, 117}},                                    // Insert (Help), Delete (forward)
      {48, {29, 18, 19, 20, 21, 23, 22, 26, 28, 25}},      // 0-9
      {65, {0,  11, 8,  2,  14, 3, 5,  4,  34, 38, 40, 37, 46,
            45, 31, 35, 12, 15, 1, 17, 32, 9,  13, 7,  16, 6}},  // A-Z; A is key code 0
      {91, {55, 54}},                                            // Windows: Command, right Command
      {112, {122, 120, 99, 118, 96, 97, 98, 100, 101, 109, 103, 111}},  // F1-F12
      {160, {56, 60, 59, 62, 58, 61}},                                  // sided Shift, Control, Alt
      {186, {41, 24, 43, 27, 47, 44, 50}},                              // ; = , - . / `
      {219, {33, 42, 30, 39}},                                          // [ \ ] '
  };
  std::map<uint16_t, uint16_t> expected;
  for (const Run& run : runs) {
    for (size_t i = 0; i < run.codes.size(); ++i) expected[run.firstVk + i] = run.codes[i];
  }
  ASSERT_EQ(expected.size(), 86u);
  for (uint32_t vk = 0; vk <= 0xFFFF; ++vk) {
    auto it = expected.find(static_cast<uint16_t>(vk));
    ASSERT_EQ(vkToMac(static_cast<uint16_t>(vk)), it == expected.end() ? kNoMacKey : it->second)
        << "VK " << vk;
  }
}

TEST(KeyCodeMapsTest, ModifierFlagsExactlyTheElevenModifierVksHaveAFlag) {
  const std::map<uint16_t, CGEventFlags> expected = {
      {16, kCGEventFlagMaskShift},      {160, kCGEventFlagMaskShift},
      {161, kCGEventFlagMaskShift},     {17, kCGEventFlagMaskControl},
      {162, kCGEventFlagMaskControl},   {163, kCGEventFlagMaskControl},
      {18, kCGEventFlagMaskAlternate},  {164, kCGEventFlagMaskAlternate},
      {165, kCGEventFlagMaskAlternate}, {91, kCGEventFlagMaskCommand},
      {92, kCGEventFlagMaskCommand},
  };
  // Caps Lock (20) among the rest is an ordinary key here.
  for (uint32_t vk = 0; vk <= 0xFFFF; ++vk) {
    auto it = expected.find(static_cast<uint16_t>(vk));
    CGEventFlags flag = it == expected.end() ? 0 : it->second;
    ASSERT_EQ(modifierFlagForVk(static_cast<uint16_t>(vk)), flag) << "VK " << vk;
    ASSERT_EQ(isModifierVk(static_cast<uint16_t>(vk)), flag != 0) << "VK " << vk;
  }
}

}  // namespace
