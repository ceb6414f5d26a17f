// Keyboard tests' view of what was posted: key events in a compact, comparable form.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "support/in_process.h"

struct PostedKey {
  uint32_t type = 0;  // 10 key down, 11 key up, 12 flags changed
  uint16_t keycode = 0;
  bool down = false;
  uint64_t flags = 0;
  bool hidSource = true;
  uint32_t tap = 0;

  bool operator==(const PostedKey&) const = default;
};
void PrintTo(const PostedKey& key, std::ostream* os);

// Events as the HID keyboard source posts them at the HID tap.
PostedKey keyDownEvent(uint16_t keycode, uint64_t flags);
PostedKey keyUpEvent(uint16_t keycode, uint64_t flags);
PostedKey modifierDownEvent(uint16_t keycode, uint64_t flags);
PostedKey modifierUpEvent(uint16_t keycode, uint64_t flags);

// Every posted event since the last reset or clear, as keys (flags never set read as ~0).
std::vector<PostedKey> postedKeys();

// Whether every key and modifier table entry and the modifier mask are back to zero.
bool keyboardStateIsClear();
