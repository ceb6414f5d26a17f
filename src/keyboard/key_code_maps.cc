#include "keyboard/key_code_maps.h"

#include "keyboard/vk.h"
#include "platform/mac_key_codes.h"

namespace {

struct KeyRow {
  uint16_t vk;
  uint16_t mac;
};

// Every key the host can press, in VK order: a key is one row here. The Windows keys left out (the
// numeric keypad, F13 and above, Pause, Print Screen, the application key, Num Lock and Scroll
// Lock) post nothing, although Carbon names Mac keys for the keypad and for F13-F20.
// clang-format off
constexpr KeyRow kKeyRows[] = {
    {VK_BACK, kVK_Delete},
    {VK_TAB, kVK_Tab},
    {VK_RETURN, kVK_Return},
    {VK_SHIFT, kVK_Shift},
    {VK_CONTROL, kVK_Control},
    {VK_MENU, kVK_Option},
    {VK_CAPITAL, kVK_CapsLock},
    {VK_ESCAPE, kVK_Escape},
    {VK_SPACE, kVK_Space},
    {VK_PRIOR, kVK_PageUp},
    {VK_NEXT, kVK_PageDown},
    {VK_END, kVK_End},
    {VK_HOME, kVK_Home},
    {VK_LEFT, kVK_LeftArrow},
    {VK_UP, kVK_UpArrow},
    {VK_RIGHT, kVK_RightArrow},
    {VK_DOWN, kVK_DownArrow},
    {VK_INSERT, kVK_Help},  // a Mac keyboard's Help key sits where Insert does
    {VK_DELETE, kVK_ForwardDelete},
    {'0', kVK_ANSI_0}, {'1', kVK_ANSI_1}, {'2', kVK_ANSI_2}, {'3', kVK_ANSI_3}, {'4', kVK_ANSI_4},
    {'5', kVK_ANSI_5}, {'6', kVK_ANSI_6}, {'7', kVK_ANSI_7}, {'8', kVK_ANSI_8}, {'9', kVK_ANSI_9},
    {'A', kVK_ANSI_A}, {'B', kVK_ANSI_B}, {'C', kVK_ANSI_C}, {'D', kVK_ANSI_D}, {'E', kVK_ANSI_E},
    {'F', kVK_ANSI_F}, {'G', kVK_ANSI_G}, {'H', kVK_ANSI_H}, {'I', kVK_ANSI_I}, {'J', kVK_ANSI_J},
    {'K', kVK_ANSI_K}, {'L', kVK_ANSI_L}, {'M', kVK_ANSI_M}, {'N', kVK_ANSI_N}, {'O', kVK_ANSI_O},
    {'P', kVK_ANSI_P}, {'Q', kVK_ANSI_Q}, {'R', kVK_ANSI_R}, {'S', kVK_ANSI_S}, {'T', kVK_ANSI_T},
    {'U', kVK_ANSI_U}, {'V', kVK_ANSI_V}, {'W', kVK_ANSI_W}, {'X', kVK_ANSI_X}, {'Y', kVK_ANSI_Y},
    {'Z', kVK_ANSI_Z},
    {VK_LWIN, kVK_Command},
    {VK_RWIN, kVK_RightCommand},
    {VK_F1, kVK_F1}, {VK_F2, kVK_F2}, {VK_F3, kVK_F3}, {VK_F4, kVK_F4}, {VK_F5, kVK_F5},
    {VK_F6, kVK_F6}, {VK_F7, kVK_F7}, {VK_F8, kVK_F8}, {VK_F9, kVK_F9}, {VK_F10, kVK_F10},
    {VK_F11, kVK_F11}, {VK_F12, kVK_F12},
    {VK_LSHIFT, kVK_Shift},
    {VK_RSHIFT, kVK_RightShift},
    {VK_LCONTROL, kVK_Control},
    {VK_RCONTROL, kVK_RightControl},
    {VK_LMENU, kVK_Option},
    {VK_RMENU, kVK_RightOption},
    {VK_OEM_1, kVK_ANSI_Semicolon},
    {VK_OEM_PLUS, kVK_ANSI_Equal},
    {VK_OEM_COMMA, kVK_ANSI_Comma},
    {VK_OEM_MINUS, kVK_ANSI_Minus},
    {VK_OEM_PERIOD, kVK_ANSI_Period},
    {VK_OEM_2, kVK_ANSI_Slash},
    {VK_OEM_3, kVK_ANSI_Grave},
    {VK_OEM_4, kVK_ANSI_LeftBracket},
    {VK_OEM_5, kVK_ANSI_Backslash},
    {VK_OEM_6, kVK_ANSI_RightBracket},
    {VK_OEM_7, kVK_ANSI_Quote},
};
// clang-format on

// Windows VKs are one byte.
constexpr size_t kVkCount = 256;

// Sorted rows read as the keyboard's VK chart, and a VK given twice would lose one of its rows.
constexpr bool rowsAreInStrictVkOrder() {
  for (size_t i = 0; i < std::size(kKeyRows); ++i) {
    if (kKeyRows[i].vk >= kVkCount) return false;
    if (i > 0 && kKeyRows[i].vk <= kKeyRows[i - 1].vk) return false;
  }
  return true;
}
static_assert(rowsAreInStrictVkOrder());

constexpr std::array<uint16_t, kVkCount> makeKeyCodeMap() {
  std::array<uint16_t, kVkCount> map{};
  map.fill(kNoMacKey);
  for (const KeyRow& row : kKeyRows) map[row.vk] = row.mac;
  return map;
}

constexpr std::array<uint16_t, kVkCount> kKeyCodeMap = makeKeyCodeMap();

constexpr uint16_t macCodeFor(uint16_t vk) { return vk < kVkCount ? kKeyCodeMap[vk] : kNoMacKey; }

// The flag a Mac key holds down while it is down: a VK is a modifier exactly when its row posts
// one of these keys. Caps Lock locks rather than holds, so it stays an ordinary key.
constexpr CGEventFlags flagOfMacKey(uint16_t code) {
  switch (code) {
    case kVK_Shift:
    case kVK_RightShift:
      return kCGEventFlagMaskShift;
    case kVK_Control:
    case kVK_RightControl:
      return kCGEventFlagMaskControl;
    case kVK_Option:
    case kVK_RightOption:
      return kCGEventFlagMaskAlternate;
    case kVK_Command:
    case kVK_RightCommand:
      return kCGEventFlagMaskCommand;
    default:
      return 0;
  }
}

constexpr CGEventFlags flagFor(uint16_t vk) { return flagOfMacKey(macCodeFor(vk)); }

constexpr std::array<ModifierFlag, kModifierCount> modifierRows() {
  std::array<ModifierFlag, kModifierCount> modifiers{};
  size_t n = 0;
  for (const KeyRow& row : kKeyRows) {
    const CGEventFlags flag = flagOfMacKey(row.mac);
    if (flag == 0) continue;
    // More modifier rows than the header counts is no constant expression: the build fails here.
    modifiers.at(n++) = {row.vk, flag};
  }
  return modifiers;
}

}  // namespace

constexpr std::array<ModifierFlag, kModifierCount> kModifierFlags = modifierRows();
// Fewer modifier rows than the header counts leave an empty entry.
static_assert(kModifierFlags.back().flag != 0);

uint16_t vkToMac(uint16_t vk) { return macCodeFor(vk); }

CGEventFlags modifierFlagForVk(uint16_t vk) { return flagFor(vk); }
