// The lookups over every VK. The rows themselves are written with Microsoft's and Apple's names for
// the keys, Apple's checked against Carbon's in the Mac build.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <utility>
#include <vector>

#include "keyboard/key_code_maps.h"
#include "keyboard/vk.h"

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
  // None below Backspace or past the apostrophe; the keypad, F13 and above, Num Lock and Scroll
  // Lock are not in the table, though Carbon has Mac keys for the keypad and F13-F20.
  for (const auto& [vk, code] : mapped) {
    EXPECT_FALSE(vk < VK_BACK || (vk >= VK_NUMPAD0 && vk <= VK_DIVIDE) ||
                 (vk >= VK_F13 && vk < VK_LSHIFT) || vk > VK_OEM_7)
        << "VK " << vk;
  }
}

TEST(KeyCodeMapsTest, EachMacKeyHasOneVkButTheGenericModifiersTypeTheirLeftSide) {
  std::map<uint16_t, std::vector<uint16_t>> vksOfCode;
  for (const auto& [vk, code] : mappedVks()) vksOfCode[code].push_back(vk);
  // 86 VKs, of which Shift, Control and Alt share a key with their left sides; the right sides
  // are keys of their own.
  EXPECT_EQ(vksOfCode.size(), 83u);
  EXPECT_EQ(vksOfCode[vkToMac(VK_SHIFT)], (std::vector<uint16_t>{VK_SHIFT, VK_LSHIFT}));
  EXPECT_EQ(vksOfCode[vkToMac(VK_CONTROL)], (std::vector<uint16_t>{VK_CONTROL, VK_LCONTROL}));
  EXPECT_EQ(vksOfCode[vkToMac(VK_MENU)], (std::vector<uint16_t>{VK_MENU, VK_LMENU}));
}

TEST(KeyCodeMapsTest, ExactlyTheElevenModifierVksHaveAFlag) {
  // Caps Lock among the rest is an ordinary key here.
  for (uint32_t vk = 0; vk <= 0xFFFF; ++vk) {
    const bool modifier = (vk >= VK_SHIFT && vk <= VK_MENU) || vk == VK_LWIN || vk == VK_RWIN ||
                          (vk >= VK_LSHIFT && vk <= VK_RMENU);
    ASSERT_EQ(modifierFlagForVk(static_cast<uint16_t>(vk)) != 0, modifier) << "VK " << vk;
  }
  // Each side carries its kind's flag, and the four kinds differ.
  const std::pair<uint16_t, uint16_t> sides[] = {
      {VK_LSHIFT, VK_SHIFT},     {VK_RSHIFT, VK_SHIFT}, {VK_LCONTROL, VK_CONTROL},
      {VK_RCONTROL, VK_CONTROL}, {VK_LMENU, VK_MENU},   {VK_RMENU, VK_MENU},
      {VK_RWIN, VK_LWIN}};
  for (const auto& [side, kind] : sides) {
    EXPECT_EQ(modifierFlagForVk(side), modifierFlagForVk(kind)) << "VK " << side;
  }
  const std::set<CGEventFlags> kinds = {modifierFlagForVk(VK_SHIFT), modifierFlagForVk(VK_CONTROL),
                                        modifierFlagForVk(VK_MENU), modifierFlagForVk(VK_LWIN)};
  EXPECT_EQ(kinds.size(), 4u);
}

}  // namespace
