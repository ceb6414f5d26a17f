// The VK-to-macOS key code map and the modifier flag map.
#include <gtest/gtest.h>

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
  for (uint32_t vk = 0; vk <= 0xFFFF; ++vk) reachable += vkToMac(static_cast<uint16_t>(vk)) != kNoMacKey;
  EXPECT_EQ(reachable, 86);
}

TEST(KeyCodeMap, SpotValues) {
  struct Row {
    uint16_t vk;
    uint16_t mac;
  };
  const Row rows[] = {
      {65, 0},     // A is key code 0, a real key
      {7, kNoMacKey},   {223, kNoMacKey}, {0, kNoMacKey}, {0xFFFF, kNoMacKey},
      {96, kNoMacKey},  // keypad 0
      {45, 114},   // Insert is Help
      {46, 117},   // Delete is forward delete
      {8, 51},     {9, 48},   {13, 36},  {20, 57},  {27, 53},  {32, 49},
      {33, 116},   {34, 121}, {35, 119}, {36, 115},
      {37, 123},   {38, 126}, {39, 124}, {40, 125},
      {48, 29},    {53, 23},  {54, 22},  {57, 25},
      {67, 8},     {86, 9},   {88, 7},   {90, 6},
      {91, 55},    {92, 54},
      {112, 122},  {116, 96}, {123, 111},
      {16, 56},    {160, 56}, {161, 60}, {17, 59}, {162, 59}, {163, 62},
      {18, 58},    {164, 58}, {165, 61},
      {186, 41},   {187, 24}, {192, 50}, {219, 33}, {222, 39},
  };
  for (const Row& row : rows) EXPECT_EQ(vkToMac(row.vk), row.mac) << "VK " << row.vk;
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
