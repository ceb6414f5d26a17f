// Cursor moves, scrolling, and the cursor and main display queries.
#pragma once

#include <cstdint>

void postMouseMove(double x, double y);
void postMouseMoveByRatio(double rx, double ry);
void postScrollEvent(int32_t amount, bool horizontal);

// The two wheel values of a scroll command, in lines: vertical first, horizontal second. Only the
// sign of amount counts, and zero goes with the negatives.
struct ScrollWheels {
  int32_t vertical;
  int32_t horizontal;
};
ScrollWheels scrollWheels(int32_t amount, bool horizontal);

// The cursor position truncated toward zero; false when it cannot be read (no reply).
bool queryCursorPosition(int* x, int* y);

// The main display's size in points, or 1920 x 1080 when no display is active.
void queryMainDisplaySize(int* width, int* height);
