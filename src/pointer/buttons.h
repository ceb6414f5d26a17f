// Mouse buttons: presses and releases with click counting, clicks, double clicks, and the held
// buttons that moves drag. The click memory and the held buttons belong to this file's
// operations; everyone else reads them through the accessors below.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/quartz.h"

// The values are the button numbers of mouse events.
enum class Button { Left = 0, Right = 1, Middle = 2 };
inline constexpr int kButtonCount = 3;

// "right" and "middle" name those buttons; every other word, exactly as written, means left.
Button parseButton(std::string_view word);

// The cursor's position, read through an empty event; false when that event cannot be made.
bool readCursorLocation(CGPoint* location);
// The same, (0, 0) when it cannot be read: where button events are made then.
CGPoint cursorLocation();

// The click count of a press at time now (seconds) and point, updating the memory of button, an
// index (0 left, 1 right, 2 middle; any other counts 1 and is not remembered); requested is the
// count the command asked for, 0 for none.
int32_t nextClickCount(int button, double now, CGPoint point, int32_t requested);

// What a button's last MOUSEDOWN left behind: where, when, and the count it was given.
struct ClickMemory {
  CGPoint point{0, 0};
  int32_t count = 0;
  double time = 0;
};
ClickMemory clickMemory(Button button);

void postButtonDown(Button button, int32_t requested);
void postButtonUp(Button button);
void postClick(Button button);
void postDoubleClick(Button button);

// The button whose drag a move continues (left, then right, then middle); false when none is
// held from a MOUSEDOWN.
bool heldButtonForDrag(Button* button);

// Releases, as MOUSEUP would, every button still held from a MOUSEDOWN: left, right, middle.
void releaseHeldButtons();

// Back to the state at process start, event numbers included.
void resetPointerState();
