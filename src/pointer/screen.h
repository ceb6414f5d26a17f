// The cursor and the displays, as the system knows them: queries that keep no state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/quartz.h"

// The cursor's position, read through an empty event; false when that event cannot be made.
bool readCursorLocation(CGPoint* location);
// The same, (0, 0) when it cannot be read: where button events are made then.
CGPoint cursorLocation();

// The main display's bounds: the first active display. False when there is none, and also when
// the listing itself fails, whatever count it may have left behind.
bool mainDisplayBounds(CGRect* bounds);

// One active display: its id, its bounds in global points, and its current mode's size in pixels
// (the point size, truncated, when the mode cannot be read).
struct DisplayInfo {
  CGDirectDisplayID id;
  CGRect bounds;
  uint64_t pixelWidth;
  uint64_t pixelHeight;
};
// A limit of the listing only: every active display can be moved to.
inline constexpr size_t kMaxDisplays = 16;

// The active displays that mirror no other, in the system's order, the main one first, at most
// kMaxDisplays; none when the listing fails. Asked anew at every call: displays come and go while
// the agent runs.
std::vector<DisplayInfo> activeDisplays();

// The bounds of the active display with this id, among all of them; false when no active display
// has it now, or when it mirrors another.
bool activeDisplayBounds(CGDirectDisplayID id, CGRect* bounds);

// The cursor position truncated toward zero; false when it cannot be read (no reply).
bool queryCursorPosition(int* x, int* y);

// The main display's size in points, or 1920 x 1080 when no display is active.
void queryMainDisplaySize(int* width, int* height);
