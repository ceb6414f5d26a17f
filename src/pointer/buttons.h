// Mouse buttons: presses and releases with click counting, clicks, double clicks, and the drag
// and event-number state that button events share with moves.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/quartz.h"

// Per-button click memory, indexed 0 left, 1 right, 2 middle.
extern CGPoint lastClickPoint[3];
extern int32_t clickCounts[3];
extern double lastClickTime[3];

struct ButtonInfo {
  int index;
  CGEventType downType;
  CGEventType upType;
};
ButtonInfo parseButton(std::string_view word);

// The cursor's position, read through an empty event; false when that event cannot be made.
bool readCursorLocation(CGPoint* location);
// The same, (0, 0) when it cannot be read: where button events are made then.
CGPoint cursorLocation();

// The click count of a press at time now (seconds) and point, updating the button's memory;
// requested is the count the command asked for, 0 for none.
int32_t nextClickCount(int button, double now, CGPoint point, int32_t requested);

void postButtonDown(std::string_view word, int32_t requested);
void postButtonUp(std::string_view word);
void postClick(std::string_view word);
void postDoubleClick(std::string_view word);

// The button whose drag a move continues (left, then right, then middle), or -1 when none is
// held from a MOUSEDOWN.
int heldButtonForDrag();

// Releases, as MOUSEUP would, every button still held from a MOUSEDOWN: left, right, middle.
void releaseHeldButtons();

// Back to the state at process start. For tests.
void resetPointerState();
