// The keyboard layouts the simulated desktop can have current: six of macOS's own, as their keys
// type, and an input method that has no key layout of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace simulated {

// What one key of the main block types: with no modifier, with Shift, with Command, with Command
// and Shift (UTF-16, as UCKeyTranslate gives it).
struct SimKey {
  uint16_t keyCode;
  const char16_t* base;
  const char16_t* shift;
  const char16_t* command;
  const char16_t* commandShift;
};

struct SimLayout {
  const char* name;  // as MII_SIM_LAYOUT names it
  const char* id;    // its input source id
  bool asciiCapable;
  const SimKey* keys;  // in key code order; nullptr: no key layout data (an input method)
  size_t keyCount;
};

// What one key of the main block types with Option and with Option+Shift, and which of its four
// characters (SimKey's base and shift, then these two) are dead keys.
enum : uint8_t { kDeadBase = 1, kDeadShift = 2, kDeadOption = 4, kDeadOptionShift = 8 };
struct SimOptionKey {
  uint16_t keyCode;
  const char16_t* option;
  const char16_t* optionShift;
  uint8_t dead;
};

// A dead key's character, followed by a key that types next, types result.
struct SimDeadSequence {
  char16_t dead;
  char16_t next;
  char16_t result;
};

// A layout's Option layers and dead keys, for the SimLayout of the same name.
struct SimOptionLayout {
  const char* name;
  const SimOptionKey* keys;  // in key code order, the main block only
  size_t keyCount;
  const SimDeadSequence* sequences;
  size_t sequenceCount;
};

// The Option layers of the layout of that name; nullptr when there are none (the input method).
const SimOptionLayout* findOptionLayout(std::string_view name);

// The layout of that name; nullptr when there is none.
const SimLayout* findLayout(std::string_view name);
// The layout of that name when it types Latin letters from a key layout of its own (not Russian,
// not the input method); nullptr otherwise.
const SimLayout* findLatinLayout(std::string_view name);
// U.S., the default, and the ASCII-capable layout of those that are not.
const SimLayout& usLayout();

}  // namespace simulated
