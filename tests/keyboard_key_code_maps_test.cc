// The VK-to-macOS key code map and the modifier flag map.
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <vector>

#include "keyboard/key_code_maps.h"

namespace {

TEST(KeyCodeMap, CoversVks8To222With86MappedEntries) {
  EXPECT_EQ(keyCodeMap.size(), 215u);
  int mapped = 0;
  for (uint16_t entry : keyCodeMap) mapped += entry != kNoMacKey;
  EXPECT_EQ(mapped, 86);
  // Over the whole 16-bit VK range, exactly the table's entries are reachable.
  int reachable = 0;
  for (uint32_t vk = 0; vk <= 0xFFFF; ++vk) {
    reachable += vkToMac(static_cast<uint16_t>(vk)) != kNoMacKey;
  }
  EXPECT_EQ(reachable, 86);
}

TEST(KeyCodeMap, SpotValues) {
  struct Row {
    uint16_t vk;
    uint16_t mac;
  };
  const Row rows[] = {
      {65, 0},  // A is key code 0, a real key
      {7, kNoMacKey},  {223, kNoMacKey}, {0, kNoMacKey}, {0xFFFF, kNoMacKey},
      {96, kNoMacKey},  // keypad 0
      {45, 114},        // Insert is Help
      {46, 117},        // Delete is forward delete
      {8, 51},         {9, 48},          {13, 36},       {20, 57},
      {27, 53},        {32, 49},         {33, 116},      {34, 121},
      {35, 119},       {36, 115},        {37, 123},      {38, 126},
      {39, 124},       {40, 125},        {48, 29},       {53, 23},
      {54, 22},        {57, 25},         {67, 8},        {86, 9},
      {88, 7},         {90, 6},          {91, 55},       {92, 54},
      {112, 122},      {116, 96},        {123, 111},     {16, 56},
      {160, 56},       {161, 60},        {17, 59},       {162, 59},
      {163, 62},       {18, 58},         {164, 58},      {165, 61},
      {186, 41},       {187, 24},        {192, 50},      {219, 33},
      {222, 39},
  };
  for (const Row& row : rows) EXPECT_EQ(vkToMac(row.vk), row.mac) << "VK " << row.vk;
}

TEST(KeyCodeMap, EveryEntry) {
  // Runs of consecutive VKs and their macOS key codes; every VK not listed has no mapping.
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
      {45, {114, 117}},                                    // Insert (Help), Delete (forward delete)
      {48, {29, 18, 19, 20, 21, 23, 22, 26, 28, 25}},      // 0-9
      {65, {0,  11, 8,  2,  14, 3, 5,  4,  34, 38, 40, 37, 46,
            45, 31, 35, 12, 15, 1, 17, 32, 9,  13, 7,  16, 6}},  // A-Z
      {91, {55, 54}},  // Windows keys: Command, right Command
      {112, {122, 120, 99, 118, 96, 97, 98, 100, 101, 109, 103, 111}},  // F1-F12
      {160, {56, 60, 59, 62, 58, 61}},                                  // sided Shift, Control, Alt
      {186, {41, 24, 43, 27, 47, 44, 50}},                              // ; = , - . / `
      {219, {33, 42, 30, 39}},                                          // [ \ ] '
  };
  std::array<uint16_t, 223> expected;
  expected.fill(kNoMacKey);
  for (const Run& run : runs) {
    for (size_t i = 0; i < run.codes.size(); ++i) expected[run.firstVk + i] = run.codes[i];
  }
  for (uint16_t vk = 0; vk < expected.size(); ++vk) {
    EXPECT_EQ(vkToMac(vk), expected[vk]) << "VK " << vk;
  }
}

TEST(KeyCodeMap, UnsupportedKeysHaveNoMapping) {
  std::vector<uint16_t> unsupported = {19, 44, 93, 144, 145};  // Pause, PrintScreen, Apps, locks
  for (uint16_t vk = 96; vk <= 111; ++vk) unsupported.push_back(vk);   // numeric keypad
  for (uint16_t vk = 124; vk <= 135; ++vk) unsupported.push_back(vk);  // F13 and above
  for (uint16_t vk = 0; vk < 8; ++vk) unsupported.push_back(vk);       // below the map: wraps
  for (uint16_t vk : unsupported) EXPECT_EQ(vkToMac(vk), kNoMacKey) << "VK " << vk;
}

TEST(ModifierFlagMap, ExactlyTheElevenModifierVksHaveAFlag) {
  EXPECT_EQ(modifierFlagMap.size(), 11u);
  const std::map<uint16_t, CGEventFlags> expected = {
      {16, kCGEventFlagMaskShift},      {160, kCGEventFlagMaskShift},
      {161, kCGEventFlagMaskShift},     {17, kCGEventFlagMaskControl},
      {162, kCGEventFlagMaskControl},   {163, kCGEventFlagMaskControl},
      {18, kCGEventFlagMaskAlternate},  {164, kCGEventFlagMaskAlternate},
      {165, kCGEventFlagMaskAlternate}, {91, kCGEventFlagMaskCommand},
      {92, kCGEventFlagMaskCommand},
  };
  for (uint32_t vk = 0; vk <= 0xFFFF; ++vk) {
    auto it = expected.find(static_cast<uint16_t>(vk));
    CGEventFlags flag = it == expected.end() ? 0 : it->second;
    ASSERT_EQ(modifierFlagForVk(static_cast<uint16_t>(vk)), flag) << "VK " << vk;
    ASSERT_EQ(isModifierVk(static_cast<uint16_t>(vk)), flag != 0) << "VK " << vk;
  }
  // Caps Lock is an ordinary key here, and every modifier is a mapped key.
  EXPECT_EQ(modifierFlagForVk(20), 0u);
  for (const ModifierFlag& modifier : modifierFlagMap) {
    EXPECT_NE(vkToMac(modifier.vk), kNoMacKey) << "VK " << modifier.vk;
  }
}

}  // namespace
