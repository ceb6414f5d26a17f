// What moves and scrolls rest on, and the cursor and main display queries, none of which keep
// state: the cursor and the displays are the system's.
#pragma once

#include <cstdint>

#include "platform/quartz.h"

// The two wheel values of a scroll command, in lines: vertical first, horizontal second. Only the
// sign of amount counts, and zero goes with the negatives.
struct ScrollWheels {
  int32_t vertical;
  int32_t horizontal;
};
ScrollWheels scrollWheels(int32_t amount, bool horizontal);

// The cursor's position, read through an empty event; false when that event cannot be made.
bool readCursorLocation(CGPoint* location);
// The same, (0, 0) when it cannot be read: where button events are made then.
CGPoint cursorLocation();

// The cursor position truncated toward zero; false when it cannot be read (no reply).
bool queryCursorPosition(int* x, int* y);

// The main display's size in points, or 1920 x 1080 when no display is active.
void queryMainDisplaySize(int* width, int* height);
