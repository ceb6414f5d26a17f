// Mouse buttons as the protocol names them, and what a press leaves in the click memory.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/quartz.h"
#include "timings.h"

// The values are the button numbers of mouse events: a mouse's side buttons are 3 (back) and 4
// (forward), "other" buttons as the middle one is. Their order is the order in which held buttons
// are released, and the first held one is the one a move drags.
enum class Button { Left = 0, Right = 1, Middle = 2, Back = 3, Forward = 4 };
inline constexpr int kButtonCount = 5;

// "right", "middle", "back" and "forward" name those buttons, and "x1" and "x2" the side buttons
// as Windows names them; every other word, exactly as written, means left.
inline Button parseButton(std::string_view word) {
  if (word == "right") return Button::Right;
  if (word == "middle") return Button::Middle;
  if (word == "back" || word == "x1") return Button::Back;
  if (word == "forward" || word == "x2") return Button::Forward;
  return Button::Left;
}

// What a button's last MOUSEDOWN left behind: where, when, and the count it was given.
struct ClickMemory {
  CGPoint point{0, 0};
  int32_t count = 0;
  Seconds time{0};
};
