// TYPE: text typed key by key through the Mac's own layout, as a person types it, for the apps
// that read key codes rather than the string a key event carries.
#pragma once

#include <cstdint>
#include <vector>

#include "keyboard/layout_strokes.h"

// Shift and Option, as a person presses them to type text.
inline constexpr uint16_t kShiftKeyCode = 56;
inline constexpr uint16_t kOptionKeyCode = 58;

// One event of typed text.
struct TypingStep {
  enum Kind : uint8_t { kModifierChange, kKey, kText };
  Kind kind;
  bool down;
  uint16_t keyCode;    // the key, or the modifier that changes; 0 for text
  uint8_t modifiers;   // the Shift and Option the event carries (after a modifier change)
  char32_t character;  // text only
};

// Appends the steps that type c (a Unicode scalar value; a line break is one Return) to steps:
// the modifier changes from held to what each keystroke needs, releases before presses, and the
// keystrokes; one text stroke, nothing held, for a character no key of the layout types (strokes
// nullptr: no layout). held is updated to what is held after them.
void planCharacter(const LayoutStrokes* strokes, char32_t c, uint8_t* held,
                   std::vector<TypingStep>* steps);

// Appends the releases of every modifier held, and sets held to none.
void planRelease(uint8_t* held, std::vector<TypingStep>* steps);
