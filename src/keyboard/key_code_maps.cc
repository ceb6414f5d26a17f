#include "keyboard/key_code_maps.h"

#include <initializer_list>

#if defined(__APPLE__)
// For the kVK_ names of its HIToolbox/Events.h alone, which the table's codes are checked against
// below; nothing here calls into Carbon. Without the define, Carbon's AssertMacros.h defines
// macros named check, verify and require.
#define __ASSERT_MACROS_DEFINE_VERSIONS_WITHOUT_UNDERSCORES 0
#include <Carbon/Carbon.h>
#endif

namespace {

struct KeyRow {
  uint16_t vk;
  uint16_t mac;
};

// Every supported key; the numeric keypad, F13 and above, Pause, Print Screen, the application
// key and the lock keys other than Caps Lock have no macOS counterpart the host can rely on.
// The rows keep the layout of the keys they map.
// clang-format off
constexpr KeyRow kKeyRows[] = {
    {8, 51},    // Backspace
    {9, 48},    // Tab
    {13, 36},   // Enter
    {16, 56},   // Shift
    {17, 59},   // Control
    {18, 58},   // Alt (Option)
    {20, 57},   // Caps Lock
    {27, 53},   // Escape
    {32, 49},   // Space
    {33, 116},  // Page Up
    {34, 121},  // Page Down
    {35, 119},  // End
    {36, 115},  // Home
    {37, 123},  // Left
    {38, 126},  // Up
    {39, 124},  // Right
    {40, 125},  // Down
    {45, 114},  // Insert: the Help key
    {46, 117},  // Delete: forward delete
    // Digits 0-9.
    {48, 29}, {49, 18}, {50, 19}, {51, 20}, {52, 21},
    {53, 23}, {54, 22}, {55, 26}, {56, 28}, {57, 25},
    // Letters A-Z.
    {65, 0}, {66, 11}, {67, 8}, {68, 2}, {69, 14}, {70, 3}, {71, 5}, {72, 4}, {73, 34},
    {74, 38}, {75, 40}, {76, 37}, {77, 46}, {78, 45}, {79, 31}, {80, 35}, {81, 12},
    {82, 15}, {83, 1}, {84, 17}, {85, 32}, {86, 9}, {87, 13}, {88, 7}, {89, 16}, {90, 6},
    {91, 55},  // left Windows: Command
    {92, 54},  // right Windows: right Command
    // F1-F12.
    {112, 122}, {113, 120}, {114, 99}, {115, 118}, {116, 96}, {117, 97},
    {118, 98}, {119, 100}, {120, 101}, {121, 109}, {122, 103}, {123, 111},
    {160, 56},  // left Shift
    {161, 60},  // right Shift
    {162, 59},  // left Control
    {163, 62},  // right Control
    {164, 58},  // left Alt
    {165, 61},  // right Alt
    {186, 41},  // semicolon
    {187, 24},  // equals
    {188, 43},  // comma
    {189, 27},  // minus
    {190, 47},  // period
    {191, 44},  // slash
    {192, 50},  // grave accent
    {219, 33},  // left bracket
    {220, 42},  // backslash
    {221, 30},  // right bracket
    {222, 39},  // apostrophe
};
// clang-format on
constexpr size_t kRowCount = 86;
static_assert(std::size(kKeyRows) == kRowCount);

// The map covers VKs 8 to 222, one entry per VK in VK order.
constexpr uint16_t kFirstMappedVk = 8;
constexpr size_t kKeyCodeMapSize = 215;

constexpr std::array<uint16_t, kKeyCodeMapSize> makeKeyCodeMap() {
  std::array<uint16_t, kKeyCodeMapSize> map{};
  for (uint16_t& entry : map) entry = kNoMacKey;
  for (const KeyRow& row : kKeyRows) map[row.vk - kFirstMappedVk] = row.mac;
  return map;
}

constexpr std::array<uint16_t, kKeyCodeMapSize> kKeyCodeMap = makeKeyCodeMap();

constexpr uint16_t macCodeFor(uint16_t vk) {
  // VKs below 8 wrap around to large indices and fall out with those above 222.
  const uint16_t index = static_cast<uint16_t>(vk - kFirstMappedVk);
  return index < kKeyCodeMapSize ? kKeyCodeMap[index] : kNoMacKey;
}

// The VKs as Windows' WinUser.h names them, so that each can be checked against it; digits and
// letters are their ASCII characters and need no names.
constexpr uint16_t VK_BACK = 0x08, VK_TAB = 0x09, VK_RETURN = 0x0D, VK_SHIFT = 0x10,
                   VK_CONTROL = 0x11, VK_MENU = 0x12, VK_CAPITAL = 0x14, VK_ESCAPE = 0x1B,
                   VK_SPACE = 0x20, VK_PRIOR = 0x21, VK_NEXT = 0x22, VK_END = 0x23, VK_HOME = 0x24,
                   VK_LEFT = 0x25, VK_UP = 0x26, VK_RIGHT = 0x27, VK_DOWN = 0x28, VK_INSERT = 0x2D,
                   VK_DELETE = 0x2E, VK_LWIN = 0x5B, VK_RWIN = 0x5C, VK_F1 = 0x70, VK_F12 = 0x7B,
                   VK_LSHIFT = 0xA0, VK_RSHIFT = 0xA1, VK_LCONTROL = 0xA2, VK_RCONTROL = 0xA3,
                   VK_LMENU = 0xA4, VK_RMENU = 0xA5, VK_OEM_1 = 0xBA, VK_OEM_PLUS = 0xBB,
                   VK_OEM_COMMA = 0xBC, VK_OEM_MINUS = 0xBD, VK_OEM_PERIOD = 0xBE, VK_OEM_2 = 0xBF,
                   VK_OEM_3 = 0xC0, VK_OEM_4 = 0xDB, VK_OEM_5 = 0xDC, VK_OEM_6 = 0xDD,
                   VK_OEM_7 = 0xDE;

}  // namespace

constexpr std::array<ModifierFlag, kModifierCount> kModifierFlags = {{
    {VK_SHIFT, kCGEventFlagMaskShift},
    {VK_CONTROL, kCGEventFlagMaskControl},
    {VK_MENU, kCGEventFlagMaskAlternate},
    {VK_LWIN, kCGEventFlagMaskCommand},
    {VK_RWIN, kCGEventFlagMaskCommand},
    {VK_LSHIFT, kCGEventFlagMaskShift},
    {VK_RSHIFT, kCGEventFlagMaskShift},
    {VK_LCONTROL, kCGEventFlagMaskControl},
    {VK_RCONTROL, kCGEventFlagMaskControl},
    {VK_LMENU, kCGEventFlagMaskAlternate},
    {VK_RMENU, kCGEventFlagMaskAlternate},
}};

namespace {

constexpr CGEventFlags flagFor(uint16_t vk) {
  for (const ModifierFlag& modifier : kModifierFlags) {
    if (modifier.vk == vk) return modifier.flag;
  }
  return 0;
}

// The checks below hold the tables to facts from outside them, Microsoft's and Apple's names for
// the keys, so that a mistyped number fails the build.

// The VKs the rows must hold, in order, spelled by those names.
constexpr std::array<uint16_t, kRowCount> vksByName() {
  std::array<uint16_t, kRowCount> vks{};
  size_t n = 0;
  auto add = [&](std::initializer_list<uint16_t> list) {
    for (uint16_t vk : list) vks[n++] = vk;
  };
  auto addRun = [&](uint16_t first, uint16_t last) {
    for (uint16_t vk = first; vk <= last; ++vk) vks[n++] = vk;
  };
  add({VK_BACK, VK_TAB, VK_RETURN, VK_SHIFT, VK_CONTROL, VK_MENU, VK_CAPITAL, VK_ESCAPE, VK_SPACE,
       VK_PRIOR, VK_NEXT, VK_END, VK_HOME, VK_LEFT, VK_UP, VK_RIGHT, VK_DOWN, VK_INSERT,
       VK_DELETE});
  addRun('0', '9');
  addRun('A', 'Z');
  add({VK_LWIN, VK_RWIN});
  addRun(VK_F1, VK_F12);  // WinUser.h numbers F1-F24 consecutively
  add({VK_LSHIFT, VK_RSHIFT, VK_LCONTROL, VK_RCONTROL, VK_LMENU, VK_RMENU, VK_OEM_1, VK_OEM_PLUS,
       VK_OEM_COMMA, VK_OEM_MINUS, VK_OEM_PERIOD, VK_OEM_2, VK_OEM_3, VK_OEM_4, VK_OEM_5, VK_OEM_6,
       VK_OEM_7});
  return vks;
}

// The first row whose column differs from `expected`, or kRowCount when none does, so that a
// compiler printing the failed comparison names the row.
constexpr size_t firstDifference(uint16_t KeyRow::*column,
                                 const std::array<uint16_t, kRowCount>& expected) {
  for (size_t i = 0; i < kRowCount; ++i) {
    if (kKeyRows[i].*column != expected[i]) return i;
  }
  return kRowCount;
}

constexpr bool rowsHold() {
  for (size_t i = 0; i < kRowCount; ++i) {
    // Strictly increasing: the map keeps one code per VK, so a second row would overwrite one.
    if (i > 0 && kKeyRows[i].vk <= kKeyRows[i - 1].vk) return false;
    if (kKeyRows[i].mac == kNoMacKey) return false;
  }
  // Each modifier is a key the table can post.
  for (const ModifierFlag& modifier : kModifierFlags) {
    if (macCodeFor(modifier.vk) == kNoMacKey) return false;
  }
  return true;
}

static_assert(rowsHold());
static_assert(firstDifference(&KeyRow::vk, vksByName()) == kRowCount);

#if defined(__APPLE__)
// Carbon's names for the rows' codes, row by row.
// clang-format off
constexpr std::array<uint16_t, kRowCount> kCarbonCodes = {
    kVK_Delete, kVK_Tab, kVK_Return, kVK_Shift, kVK_Control, kVK_Option, kVK_CapsLock, kVK_Escape,
    kVK_Space, kVK_PageUp, kVK_PageDown, kVK_End, kVK_Home, kVK_LeftArrow, kVK_UpArrow,
    kVK_RightArrow, kVK_DownArrow, kVK_Help, kVK_ForwardDelete,
    kVK_ANSI_0, kVK_ANSI_1, kVK_ANSI_2, kVK_ANSI_3, kVK_ANSI_4, kVK_ANSI_5, kVK_ANSI_6, kVK_ANSI_7,
    kVK_ANSI_8, kVK_ANSI_9,
    kVK_ANSI_A, kVK_ANSI_B, kVK_ANSI_C, kVK_ANSI_D, kVK_ANSI_E, kVK_ANSI_F, kVK_ANSI_G, kVK_ANSI_H,
    kVK_ANSI_I, kVK_ANSI_J, kVK_ANSI_K, kVK_ANSI_L, kVK_ANSI_M, kVK_ANSI_N, kVK_ANSI_O, kVK_ANSI_P,
    kVK_ANSI_Q, kVK_ANSI_R, kVK_ANSI_S, kVK_ANSI_T, kVK_ANSI_U, kVK_ANSI_V, kVK_ANSI_W, kVK_ANSI_X,
    kVK_ANSI_Y, kVK_ANSI_Z,
    kVK_Command, kVK_RightCommand,
    kVK_F1, kVK_F2, kVK_F3, kVK_F4, kVK_F5, kVK_F6, kVK_F7, kVK_F8, kVK_F9, kVK_F10, kVK_F11,
    kVK_F12,
    kVK_Shift, kVK_RightShift, kVK_Control, kVK_RightControl, kVK_Option, kVK_RightOption,
    kVK_ANSI_Semicolon, kVK_ANSI_Equal, kVK_ANSI_Comma, kVK_ANSI_Minus, kVK_ANSI_Period,
    kVK_ANSI_Slash, kVK_ANSI_Grave, kVK_ANSI_LeftBracket, kVK_ANSI_Backslash,
    kVK_ANSI_RightBracket, kVK_ANSI_Quote};
// clang-format on
static_assert(firstDifference(&KeyRow::mac, kCarbonCodes) == kRowCount);

// The flag the Mac key a VK posts holds down. Caps Lock locks rather than holds, so it stays an
// ordinary key.
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

// The modifier VKs are exactly the rows whose Mac key is a modifier, each with that key's flag.
constexpr bool modifiersAreTheModifierKeys() {
  for (const KeyRow& row : kKeyRows) {
    if (flagFor(row.vk) != flagOfMacKey(row.mac)) return false;
  }
  return true;
}
static_assert(modifiersAreTheModifierKeys());
#endif

}  // namespace

uint16_t vkToMac(uint16_t vk) { return macCodeFor(vk); }

CGEventFlags modifierFlagForVk(uint16_t vk) { return flagFor(vk); }
