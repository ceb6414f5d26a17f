#include "keyboard/key_code_maps.h"

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

// The map covers VKs 8 to 222, one entry per VK in VK order.
constexpr uint16_t kFirstMappedVk = 8;
constexpr size_t kKeyCodeMapSize = 215;

constexpr std::array<uint16_t, kKeyCodeMapSize> makeKeyCodeMap() {
  std::array<uint16_t, kKeyCodeMapSize> map{};
  for (uint16_t& entry : map) entry = kNoMacKey;
  for (const KeyRow& row : kKeyRows) map[row.vk - kFirstMappedVk] = row.mac;
  return map;
}

constexpr size_t countMapped(const std::array<uint16_t, kKeyCodeMapSize>& map) {
  size_t count = 0;
  for (uint16_t entry : map) count += entry != kNoMacKey ? 1 : 0;
  return count;
}

constexpr std::array<uint16_t, kKeyCodeMapSize> kKeyCodeMap = makeKeyCodeMap();
// A duplicated or misplaced row would silently shrink the map.
static_assert(countMapped(kKeyCodeMap) == 86);
static_assert(std::size(kKeyRows) == 86);
static_assert(kKeyCodeMap[65 - kFirstMappedVk] == 0 && kKeyCodeMap[222 - kFirstMappedVk] == 39);

}  // namespace

constexpr std::array<ModifierFlag, kModifierCount> kModifierFlags = {{
    {16, kCGEventFlagMaskShift},
    {17, kCGEventFlagMaskControl},
    {18, kCGEventFlagMaskAlternate},
    {91, kCGEventFlagMaskCommand},
    {92, kCGEventFlagMaskCommand},
    {160, kCGEventFlagMaskShift},
    {161, kCGEventFlagMaskShift},
    {162, kCGEventFlagMaskControl},
    {163, kCGEventFlagMaskControl},
    {164, kCGEventFlagMaskAlternate},
    {165, kCGEventFlagMaskAlternate},
}};

uint16_t vkToMac(uint16_t vk) {
  // VKs below 8 wrap around to large indices and fall out with those above 222.
  const uint16_t index = static_cast<uint16_t>(vk - kFirstMappedVk);
  return index < kKeyCodeMapSize ? kKeyCodeMap[index] : kNoMacKey;
}

CGEventFlags modifierFlagForVk(uint16_t vk) {
  for (const ModifierFlag& modifier : kModifierFlags) {
    if (modifier.vk == vk) return modifier.flag;
  }
  return 0;
}
