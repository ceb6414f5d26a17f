// The lookups over every VK. The rows themselves are checked against Microsoft's and Apple's names
// for the keys where they are defined, at compile time.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <utility>
#include <vector>

#include "keyboard/key_code_maps.h"

namespace {

// Every mapped VK with its code, from all 65,536.
std::map<uint16_t, uint16_t> mappedVks() {
  std::map<uint16_t, uint16_t> mapped;
  for (uint32_t vk = 0; vk <= 0xFFFF; ++vk) {
    const uint16_t code = vkToMac(static_cast<uint16_t>(vk));
    if (code != kNoMacKey) mapped[static_cast<uint16_t>(vk)] = code;
  }
  return mapped;
}

TEST(KeyCodeMapsTest, OnlyTheTablesVksMap) {
  const std::map<uint16_t, uint16_t> mapped = mappedVks();
  EXPECT_EQ(mapped.size(), 86u);  // the table's rows
  // Below 8 wraps around below the map; the keypad, F13 and above with Num Lock and Scroll Lock,
  // and all past the apostrophe (222) have no macOS key.
  for (const auto& [vk, code] : mapped) {
    EXPECT_FALSE(vk < 8 || (vk >= 96 && vk <= 111) || (vk >= 124 && vk <= 159) || vk > 222)
        << "VK " << vk;
  }
}

TEST(KeyCodeMapsTest, EachMacKeyHasOneVkButTheGenericModifiersTypeTheirLeftSide) {
  std::map<uint16_t, std::vector<uint16_t>> vksOfCode;
  for (const auto& [vk, code] : mappedVks()) vksOfCode[code].push_back(vk);
  // 86 VKs, of which Shift, Control and Alt share a key with their left sides; the right sides
  // are keys of their own.
  EXPECT_EQ(vksOfCode.size(), 83u);
  EXPECT_EQ(vksOfCode[vkToMac(16)], (std::vector<uint16_t>{16, 160}));
  EXPECT_EQ(vksOfCode[vkToMac(17)], (std::vector<uint16_t>{17, 162}));
  EXPECT_EQ(vksOfCode[vkToMac(18)], (std::vector<uint16_t>{18, 164}));
}

TEST(KeyCodeMapsTest, ExactlyTheElevenModifierVksHaveAFlag) {
  // Caps Lock (20) among the rest is an ordinary key here.
  for (uint32_t vk = 0; vk <= 0xFFFF; ++vk) {
    const bool modifier =
        (vk >= 16 && vk <= 18) || vk == 91 || vk == 92 || (vk >= 160 && vk <= 165);
    ASSERT_EQ(modifierFlagForVk(static_cast<uint16_t>(vk)) != 0, modifier) << "VK " << vk;
    ASSERT_EQ(isModifierVk(static_cast<uint16_t>(vk)), modifier) << "VK " << vk;
  }
  // Each side carries its kind's flag, and the four kinds differ.
  const std::pair<uint16_t, uint16_t> sides[] = {{160, 16}, {161, 16}, {162, 17}, {163, 17},
                                                 {164, 18}, {165, 18}, {92, 91}};
  for (const auto& [side, kind] : sides) {
    EXPECT_EQ(modifierFlagForVk(side), modifierFlagForVk(kind)) << "VK " << side;
  }
  const std::set<CGEventFlags> kinds = {modifierFlagForVk(16), modifierFlagForVk(17),
                                        modifierFlagForVk(18), modifierFlagForVk(91)};
  EXPECT_EQ(kinds.size(), 4u);
}

}  // namespace
