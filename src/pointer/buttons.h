// Mouse buttons as the protocol names them, and what a press leaves in the click memory.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/quartz.h"
#include "timings.h"

// The values are the button numbers of mouse events.
enum class Button { Left = 0, Right = 1, Middle = 2 };
inline constexpr int kButtonCount = 3;

// "right" and "middle" name those buttons; every other word, exactly as written, means left.
inline Button parseButton(std::string_view word) {
  if (word == "right") return Button::Right;
  if (word == "middle") return Button::Middle;
  return Button::Left;
}

// What a button's last MOUSEDOWN left behind: where, when, and the count it was given.
struct ClickMemory {
  CGPoint point{0, 0};
  int32_t count = 0;
  Seconds time{0};
};
