// The Mac's own keyboard layout, for the VKs that name a character rather than a place: which key
// types that character. A Windows VK_A is the key labelled A in every country, so on French
// (AZERTY) it must be the key that types "a", not the U.S. position, where French has "q".
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>

#include "keyboard/layout_strokes.h"
#include "keyboard/vk.h"
#include "timings.h"

// The character a VK stands for in every Windows layout: the letters (lower case) and the four
// punctuation VKs Windows defines by their character; 0 for every other VK, which keeps its place.
constexpr char layoutCharacterOfVk(uint16_t vk) {
  if (vk >= 'A' && vk <= 'Z') return static_cast<char>(vk - 'A' + 'a');
  switch (vk) {
    case VK_OEM_PLUS:
      return '+';
    case VK_OEM_COMMA:
      return ',';
    case VK_OEM_MINUS:
      return '-';
    case VK_OEM_PERIOD:
      return '.';
    default:
      return 0;
  }
}

class KeyboardLayout {
 public:
  // The key code of the main block that types c on the layout keys are read from: unshifted, else
  // with Shift, the lowest key code first; with command, on the tables that apply while Command is
  // held (a layout may type QWERTY then). Under a layout that types no Latin letters (Russian,
  // Greek) only the Command tables are read: without Command a letter keeps its place, as Windows'
  // Cyrillic and Greek layouts keep the letter VKs there. kNoMacKey when there is no layout or no
  // such key. The system is asked again when kLayoutRecheck has passed since it was last asked.
  uint16_t keyCodeTyping(char c, bool command, Seconds now);

  // The keystrokes that type each character on the layout keys are read from (whatever its script);
  // nullptr when there is no layout. Asked as keyCodeTyping asks.
  const LayoutStrokes* currentStrokes(Seconds now);

  // The current keyboard layout's input source id, followed by a space and the input method's when
  // the keys go into one (Kotoeri, Pinyin); empty when there is no layout.
  static std::string currentSourceIds();

 private:
  struct KeyTable {
    uint16_t plain[128];
    uint16_t command[128];
    LayoutStrokes strokes;
  };
  // The table of the layout keys are read from now, made once per input source: asking which
  // source is current is cheap, reading a whole layout is not.
  const KeyTable* currentTable(Seconds now);

  // By input source id and keyboard type: ANSI, ISO and JIS keyboards type different characters
  // on some keys, and another keyboard may be plugged in at any time.
  std::map<std::pair<std::string, uint8_t>, KeyTable> tables_;
  const KeyTable* current_ = nullptr;  // none: no layout to read
  std::optional<Seconds> lastAsked_;
};
