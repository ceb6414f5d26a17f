// Keyboard tests' view of what was posted: key events in a compact, comparable form, and command
// lines fed one by one without the release of held input that the end of the loop brings.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

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

// Feeds each line of input (LF-separated) through the command channel's line handler and returns
// what it wrote. Unlike runLoop, held keys stay held afterwards.
std::string handleLines(const std::string& input);

// Whether every key and modifier table entry and the modifier mask are back to zero.
bool keyboardStateIsClear();
