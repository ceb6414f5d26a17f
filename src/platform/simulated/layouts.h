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

// The layout of that name; nullptr when there is none.
const SimLayout* findLayout(std::string_view name);
// The layout of that name when it types Latin letters from a key layout of its own (not Russian,
// not the input method); nullptr otherwise.
const SimLayout* findLatinLayout(std::string_view name);
// U.S., the default, and the ASCII-capable layout of those that are not.
const SimLayout& usLayout();

}  // namespace simulated
