#include "keyboard/key_code_maps.h"

#include "keyboard/vk.h"
#include "platform/mac_key_codes.h"
#include "platform/system_defined_event.h"

namespace {

struct KeyRow {
  uint16_t vk;
  uint16_t mac;
};

// Every key the host can press, in VK order: a key is one row here, placed as an Apple extended
// keyboard has it. The Windows keys left out post nothing: the application key, the keypad's
// separator, F21 and above, and Num Lock, which a Mac keyboard does not have (its keypad always
// types digits).
// clang-format off
constexpr KeyRow kKeyRows[] = {
    {VK_BACK, kVK_Delete},
    {VK_TAB, kVK_Tab},
    {VK_CLEAR, kVK_ANSI_KeypadClear},  // Windows' keypad 5 with Num Lock off
    {VK_RETURN, kVK_Return},
    {VK_SHIFT, kVK_Shift},
    {VK_CONTROL, kVK_Control},
    {VK_MENU, kVK_Option},
    {VK_PAUSE, kVK_F15},  // Print Screen, Scroll Lock and Pause are F13, F14 and F15 there
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
    {VK_SNAPSHOT, kVK_F13},
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
    {VK_NUMPAD0, kVK_ANSI_Keypad0}, {VK_NUMPAD1, kVK_ANSI_Keypad1}, {VK_NUMPAD2, kVK_ANSI_Keypad2},
    {VK_NUMPAD3, kVK_ANSI_Keypad3}, {VK_NUMPAD4, kVK_ANSI_Keypad4}, {VK_NUMPAD5, kVK_ANSI_Keypad5},
    {VK_NUMPAD6, kVK_ANSI_Keypad6}, {VK_NUMPAD7, kVK_ANSI_Keypad7}, {VK_NUMPAD8, kVK_ANSI_Keypad8},
    {VK_NUMPAD9, kVK_ANSI_Keypad9},
    {VK_MULTIPLY, kVK_ANSI_KeypadMultiply},
    {VK_ADD, kVK_ANSI_KeypadPlus},
    {VK_SUBTRACT, kVK_ANSI_KeypadMinus},
    {VK_DECIMAL, kVK_ANSI_KeypadDecimal},
    {VK_DIVIDE, kVK_ANSI_KeypadDivide},
    {VK_F1, kVK_F1}, {VK_F2, kVK_F2}, {VK_F3, kVK_F3}, {VK_F4, kVK_F4}, {VK_F5, kVK_F5},
    {VK_F6, kVK_F6}, {VK_F7, kVK_F7}, {VK_F8, kVK_F8}, {VK_F9, kVK_F9}, {VK_F10, kVK_F10},
    {VK_F11, kVK_F11}, {VK_F12, kVK_F12}, {VK_F13, kVK_F13}, {VK_F14, kVK_F14}, {VK_F15, kVK_F15},
    {VK_F16, kVK_F16}, {VK_F17, kVK_F17}, {VK_F18, kVK_F18}, {VK_F19, kVK_F19}, {VK_F20, kVK_F20},
    {VK_SCROLL, kVK_F14},
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

// The volume and media keys, in VK order, by the key type their system-defined events carry. An
// Apple keyboard's next and previous keys send the fast-forward and rewind types (a tap skips a
// track, a hold seeks), which music apps answer where some ignore NEXT and PREVIOUS. Stop has no
// Mac key.
constexpr KeyRow kMediaKeyRows[] = {
    {VK_VOLUME_MUTE, NX_KEYTYPE_MUTE},        {VK_VOLUME_DOWN, NX_KEYTYPE_SOUND_DOWN},
    {VK_VOLUME_UP, NX_KEYTYPE_SOUND_UP},      {VK_MEDIA_NEXT_TRACK, NX_KEYTYPE_FAST},
    {VK_MEDIA_PREV_TRACK, NX_KEYTYPE_REWIND}, {VK_MEDIA_PLAY_PAUSE, NX_KEYTYPE_PLAY},
};

// Windows VKs are one byte.
constexpr size_t kVkCount = 256;

// Sorted rows read as the keyboard's VK chart, and a VK given twice would lose one of its rows.
template <size_t kRows>
constexpr bool rowsAreInStrictVkOrder(const KeyRow (&rows)[kRows]) {
  for (size_t i = 0; i < kRows; ++i) {
    if (rows[i].vk >= kVkCount) return false;
    if (i > 0 && rows[i].vk <= rows[i - 1].vk) return false;
  }
  return true;
}
static_assert(rowsAreInStrictVkOrder(kKeyRows) && rowsAreInStrictVkOrder(kMediaKeyRows));

template <size_t kRows>
constexpr std::array<uint16_t, kVkCount> makeVkMap(const KeyRow (&rows)[kRows]) {
  std::array<uint16_t, kVkCount> map{};
  map.fill(kNoMacKey);
  for (const KeyRow& row : rows) map[row.vk] = row.mac;
  return map;
}

constexpr std::array<uint16_t, kVkCount> kKeyCodeMap = makeVkMap(kKeyRows);
constexpr std::array<uint16_t, kVkCount> kMediaKeyMap = makeVkMap(kMediaKeyRows);

// A VK is a key or a media key, never both: a media key's event is no key event.
constexpr bool keysAndMediaKeysDiffer() {
  for (const KeyRow& row : kMediaKeyRows) {
    if (kKeyCodeMap[row.vk] != kNoMacKey) return false;
  }
  return true;
}
static_assert(keysAndMediaKeysDiffer());

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

// The keypad's keys, whose events carry the numeric-pad flag on a Mac.
constexpr bool isKeypadMacKey(uint16_t code) {
  switch (code) {
    case kVK_ANSI_Keypad0:
    case kVK_ANSI_Keypad1:
    case kVK_ANSI_Keypad2:
    case kVK_ANSI_Keypad3:
    case kVK_ANSI_Keypad4:
    case kVK_ANSI_Keypad5:
    case kVK_ANSI_Keypad6:
    case kVK_ANSI_Keypad7:
    case kVK_ANSI_Keypad8:
    case kVK_ANSI_Keypad9:
    case kVK_ANSI_KeypadDecimal:
    case kVK_ANSI_KeypadMultiply:
    case kVK_ANSI_KeypadPlus:
    case kVK_ANSI_KeypadClear:
    case kVK_ANSI_KeypadDivide:
    case kVK_ANSI_KeypadEnter:
    case kVK_ANSI_KeypadMinus:
    case kVK_ANSI_KeypadEquals:
      return true;
    default:
      return false;
  }
}

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

bool isKeypadVk(uint16_t vk) { return isKeypadMacKey(macCodeFor(vk)); }

int mediaKeyTypeForVk(uint16_t vk) {
  return vk < kVkCount && kMediaKeyMap[vk] != kNoMacKey ? kMediaKeyMap[vk] : kNoMediaKey;
}
