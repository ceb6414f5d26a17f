// The Mac's own keyboard layout, for the VKs that name a character rather than a place: which key
// types that character. A Windows VK_A is the key labelled A in every country, so on French
// (AZERTY) it must be the key that types "a", not the U.S. position, where French has "q".
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "timings.h"

// The character a VK stands for in every Windows layout: the letters (lower case) and the four
// punctuation VKs Windows defines by their character; 0 for every other VK, which keeps its place.
constexpr char layoutCharacterOfVk(uint16_t vk) {
  if (vk >= 'A' && vk <= 'Z') return static_cast<char>(vk - 'A' + 'a');
  switch (vk) {
    case 187:  // VK_OEM_PLUS
      return '+';
    case 188:  // VK_OEM_COMMA
      return ',';
    case 189:  // VK_OEM_MINUS
      return '-';
    case 190:  // VK_OEM_PERIOD
      return '.';
    default:
      return 0;
  }
}

class KeyboardLayout {
 public:
  // The key code of the main block that types c on the layout keys are read from: unshifted, else
  // with Shift, the lowest key code first; with command, on the tables that apply while Command is
  // held (a layout may type QWERTY then). kNoMacKey when there is no layout or no such key. The
  // system is asked again when kLayoutRecheck has passed since it was last asked.
  uint16_t keyCodeTyping(char c, bool command, Seconds now);

  // The current keyboard layout's input source id; empty when there is none.
  static std::string currentLayoutId();

 private:
  struct KeyTable {
    uint16_t plain[128];
    uint16_t command[128];
  };
  // The table of the layout keys are read from now, made once per input source: asking which
  // source is current is cheap, reading a whole layout is not.
  const KeyTable* currentTable(Seconds now);

  std::map<std::string, KeyTable> tables_;  // by input source id
  const KeyTable* current_ = nullptr;       // none: no layout to read
  std::optional<Seconds> lastAsked_;
};
