#include "keyboard/layout_strokes.h"

#include <vector>

#include "platform/text_input_sources.h"

namespace {

// The main block's key codes: never the keypad, whose digits a person types on the main block.
constexpr UInt16 kLastMainBlockKey = 50;

// In the order a person reaches for them: nothing held, then one modifier, then both.
constexpr uint8_t kModifierOrder[] = {0, kStrokeShift, kStrokeOption, kStrokeShift | kStrokeOption};

// UCKeyTranslate's modifier bits: the event record's, shifted right by 8.
constexpr UInt32 translateModifiers(uint8_t modifiers) {
  return (((modifiers & kStrokeShift) ? UInt32{shiftKey} : 0) |
          ((modifiers & kStrokeOption) ? UInt32{optionKey} : 0)) >>
         8;
}
static_assert(translateModifiers(kStrokeShift | kStrokeOption) == 0x0A);

// The one Unicode scalar value of units, 0 when they are none or more than one.
char32_t singleScalar(const UniChar* units, UniCharCount length) {
  if (length == 1 && (units[0] < 0xD800 || units[0] > 0xDFFF)) return units[0];
  if (length == 2 && units[0] >= 0xD800 && units[0] <= 0xDBFF && units[1] >= 0xDC00 &&
      units[1] <= 0xDFFF) {
    return 0x10000 + ((char32_t{units[0]} - 0xD800) << 10) + (units[1] - 0xDC00);
  }
  return 0;
}

// A key down following dead keys from deadKeyState (0: none pending), which it updates; the
// character it types, 0 when it types none or more than one.
char32_t typedFrom(const UCKeyboardLayout* layout, KeyStroke stroke, uint32_t keyboardType,
                   UInt32* deadKeyState) {
  UniChar units[4];
  UniCharCount length = 0;
  if (UCKeyTranslate(layout, stroke.keyCode, kUCKeyActionDown, translateModifiers(stroke.modifiers),
                     keyboardType, 0, deadKeyState, 4, &length, units) != noErr) {
    *deadKeyState = 0;
    return 0;
  }
  return singleScalar(units, length);
}

}  // namespace

LayoutStrokes findLayoutStrokes(const UCKeyboardLayout* layout, uint32_t keyboardType) {
  LayoutStrokes found;
  struct DeadKey {
    KeyStroke stroke;
    UInt32 state;
  };
  std::vector<DeadKey> deadKeys;
  for (uint8_t modifiers : kModifierOrder) {
    for (UInt16 key = 0; key <= kLastMainBlockKey; ++key) {
      const KeyStroke stroke{key, modifiers};
      UInt32 state = 0;
      const char32_t c = typedFrom(layout, stroke, keyboardType, &state);
      if (state != 0) {
        deadKeys.push_back({stroke, state});
      } else if (c != 0) {
        found.try_emplace(c, CharacterStrokes{{stroke, {}}, 1});
      }
    }
  }
  // Only once every single key is known: a character a key types alone is never composed.
  for (const DeadKey& dead : deadKeys) {
    for (uint8_t modifiers : kModifierOrder) {
      for (UInt16 key = 0; key <= kLastMainBlockKey; ++key) {
        const KeyStroke second{key, modifiers};
        UInt32 state = dead.state;
        const char32_t c = typedFrom(layout, second, keyboardType, &state);
        if (c != 0 && state == 0) found.try_emplace(c, CharacterStrokes{{dead.stroke, second}, 2});
      }
    }
  }
  return found;
}
