// Which keystrokes type each character on a keyboard layout: one key of the main block with no
// modifier, Shift, Option or Option+Shift, or a dead key and then a second key.
#pragma once

#include <cstdint>
#include <unordered_map>

struct UCKeyboardLayout;  // UnicodeUtilities' 'uchr' data (platform/text_input_sources.h)

// The modifiers that type a character, as a person holds them.
enum : uint8_t { kStrokeShift = 1, kStrokeOption = 2 };

struct KeyStroke {
  uint16_t keyCode;
  uint8_t modifiers;  // kStrokeShift | kStrokeOption
};

// One key, or a dead key followed by the key it composes with.
struct CharacterStrokes {
  KeyStroke strokes[2];
  uint8_t count;
};

// By Unicode scalar value; a character no key types has no entry.
using LayoutStrokes = std::unordered_map<char32_t, CharacterStrokes>;

// Every character layout's keys type alone, each by its first key in the order no modifier, Shift,
// Option, Option+Shift and then the lowest key code; then every character a dead key composes that
// no single key types, by the first dead key in the same order and then the first second key.
LayoutStrokes findLayoutStrokes(const UCKeyboardLayout* layout, uint32_t keyboardType);
