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
  EXPECT_EQ(mapped.size(), 113u);  // the table's rows
  // None below Backspace or past the apostrophe; the application key, the keypad's separator,
  // F21 and above, Num Lock and the media keys are not in the table.
  for (const auto& [vk, code] : mapped) {
    EXPECT_FALSE(vk < VK_BACK || vk == VK_APPS || vk == VK_SEPARATOR ||
                 (vk >= VK_F21 && vk <= VK_NUMLOCK) || (vk >= VK_VOLUME_MUTE && vk < VK_OEM_1) ||
                 vk > VK_OEM_7)
        << "VK " << vk;
  }
  // The volume and media keys post no key code: six of them have a key type instead.
  std::map<uint16_t, int> media;
  for (uint32_t vk = 0; vk <= 0xFFFF; ++vk) {
    const int type = mediaKeyTypeForVk(static_cast<uint16_t>(vk));
    if (type != kNoMediaKey) media[static_cast<uint16_t>(vk)] = type;
  }
  EXPECT_EQ(media.size(), 6u);
  EXPECT_EQ(media.begin()->first, VK_VOLUME_MUTE);
  EXPECT_EQ(media.rbegin()->first, VK_MEDIA_PLAY_PAUSE);
  EXPECT_EQ(media.count(VK_MEDIA_STOP), 0u);
}

TEST(KeyCodeMapsTest, ExactlyTheKeypadsVksAreKeypadKeys) {
  for (uint32_t vk = 0; vk <= 0xFFFF; ++vk) {
    const bool keypad =
        vk == VK_CLEAR || (vk >= VK_NUMPAD0 && vk <= VK_DIVIDE && vk != VK_SEPARATOR);
    ASSERT_EQ(isKeypadVk(static_cast<uint16_t>(vk)), keypad) << "VK " << vk;
  }
}

TEST(KeyCodeMapsTest, EachMacKeyHasOneVkButTheGenericModifiersAndF13ToF15) {
  std::map<uint16_t, std::vector<uint16_t>> vksOfCode;
  for (const auto& [vk, code] : mappedVks()) vksOfCode[code].push_back(vk);
  // 113 VKs, of which Shift, Control and Alt share a key with their left sides (the right sides
  // are keys of their own), and Print Screen, Scroll Lock and Pause are F13, F14 and F15.
  EXPECT_EQ(vksOfCode.size(), 107u);
  EXPECT_EQ(vksOfCode[vkToMac(VK_SHIFT)], (std::vector<uint16_t>{VK_SHIFT, VK_LSHIFT}));
  EXPECT_EQ(vksOfCode[vkToMac(VK_CONTROL)], (std::vector<uint16_t>{VK_CONTROL, VK_LCONTROL}));
  EXPECT_EQ(vksOfCode[vkToMac(VK_MENU)], (std::vector<uint16_t>{VK_MENU, VK_LMENU}));
  EXPECT_EQ(vksOfCode[vkToMac(VK_F13)], (std::vector<uint16_t>{VK_SNAPSHOT, VK_F13}));
  EXPECT_EQ(vksOfCode[vkToMac(VK_F14)], (std::vector<uint16_t>{VK_F14, VK_SCROLL}));
  EXPECT_EQ(vksOfCode[vkToMac(VK_F15)], (std::vector<uint16_t>{VK_PAUSE, VK_F15}));
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
