#include <unistd.h>

#include "ending_signals.h"
#include "platform/monotonic_clock.h"
#include "pointer/motion.h"
#include "pointer/pointer.h"

namespace {

constexpr double kDoubleClickWindow = 0.5;          // seconds
constexpr double kDoubleClickRadiusSquared = 25.0;  // 5 points
constexpr int32_t kMaxClickCount = 3;
// AppKit drops a release that arrives in the same tick as its press: measured on macOS, no click
// of 15 arrives whole with no pause, 14 at 20 ms, every one from 40 ms. Each click holds its
// button this long, and a double click stays well inside the 0.5 s double-click window.
constexpr useconds_t kClickHold = 50000;         // between press and release of a click
constexpr useconds_t kDoubleClickPause = 50000;  // between the two clicks of a double click

struct ButtonTypes {
  CGEventType down;
  CGEventType up;
};
// Indexed by button.
constexpr ButtonTypes kButtonTypes[kButtonCount] = {
    {kCGEventLeftMouseDown, kCGEventLeftMouseUp},
    {kCGEventRightMouseDown, kCGEventRightMouseUp},
    {kCGEventOtherMouseDown, kCGEventOtherMouseUp},
};

int indexOf(Button button) { return static_cast<int>(button); }

CfOwned<CGEventRef> createButtonEvent(Button button, bool press, CGPoint location) {
  const ButtonTypes& types = kButtonTypes[indexOf(button)];
  return CfOwned<CGEventRef>(CGEventCreateMouseEvent(nullptr, press ? types.down : types.up,
                                                     location,
                                                     static_cast<CGMouseButton>(indexOf(button))));
}

}  // namespace

Button parseButton(std::string_view word) {
  if (word == "right") return Button::Right;
  if (word == "middle") return Button::Middle;
  return Button::Left;
}

// One half of a complete click: its click state, and no flags. A release without a click state
// reads as "not part of a click", and apps that act on the release would ignore it.
void Pointer::postClickStroke(Button button, bool press, CGPoint location, int32_t clickState) {
  CfOwned<CGEventRef> event = createButtonEvent(button, press, location);
  if (press) {
    numbers_.numberPress(button, event.get());
  } else {
    numbers_.numberFollowingEvent(button, event.get());
  }
  if (!event) return;
  CGEventSetIntegerValueField(event.get(), kCGMouseEventClickState, clickState);
  poster_.post(event.get());
}

int32_t Pointer::nextClickCount(int button, double now, CGPoint point, int32_t requested) {
  if (button < 0 || button >= kButtonCount) return 1;
  ClickMemory& memory = clicks_[button];
  int32_t count = 1;
  if (requested > 0) {
    count = requested <= kMaxClickCount ? requested : 1;
  } else {
    const double dx = point.x - memory.point.x;
    const double dy = point.y - memory.point.y;
    if (memory.count > 0 && now - memory.time <= kDoubleClickWindow &&
        dx * dx + dy * dy <= kDoubleClickRadiusSquared) {
      count = memory.count < kMaxClickCount ? memory.count + 1 : 1;
    }
  }
  memory = ClickMemory{point, count, now};
  return count;
}

void Pointer::postButtonDown(Button button, int32_t requested, CGEventFlags flags) {
  const CGPoint location = cursorLocation();
  CfOwned<CGEventRef> down = createButtonEvent(button, true, location);
  // The memory is kept even when the press could not be made, so the next press counts on.
  const int32_t count = nextClickCount(indexOf(button), monotonicSeconds(), location, requested);
  numbers_.numberPress(button, down.get());
  held_[indexOf(button)] = true;
  if (!down) return;
  CGEventSetIntegerValueField(down.get(), kCGMouseEventClickState, count);
  poster_.post(down.get(), flags);
}

void Pointer::postButtonUp(Button button, CGEventFlags flags) {
  CfOwned<CGEventRef> up = createButtonEvent(button, false, cursorLocation());
  held_[indexOf(button)] = false;
  if (!up) return;
  const int32_t count = clicks_[indexOf(button)].count;
  CGEventSetIntegerValueField(up.get(), kCGMouseEventClickState, count >= 2 ? count : 1);
  numbers_.numberFollowingEvent(button, up.get());
  poster_.post(up.get(), flags);
}

void Pointer::postClick(Button button) {
  const CGPoint location = cursorLocation();
  postClickStroke(button, true, location, 1);
  usleep(kClickHold);
  postClickStroke(button, false, location, 1);
  // The button is up now, whatever MOUSEDOWN left: the next move is no drag of it.
  held_[indexOf(button)] = false;
}

void Pointer::postDoubleClick(Button button) {
  const CGPoint location = cursorLocation();
  postClickStroke(button, true, location, 1);
  usleep(kClickHold);
  postClickStroke(button, false, location, 1);
  // An agent being ended stops between the clicks, the button up.
  if (endingSignal() != 0) {
    held_[indexOf(button)] = false;
    return;
  }
  usleep(kDoubleClickPause);
  postClickStroke(button, true, location, 2);
  usleep(kClickHold);
  postClickStroke(button, false, location, 2);
  held_[indexOf(button)] = false;
}

bool Pointer::heldButtonForDrag(Button* button) const {
  for (int index = 0; index < kButtonCount; ++index) {
    if (held_[index]) {
      *button = static_cast<Button>(index);
      return true;
    }
  }
  return false;
}

void Pointer::releaseHeldButtons(CGEventFlags flags) {
  for (int index = 0; index < kButtonCount; ++index) {
    if (held_[index]) postButtonUp(static_cast<Button>(index), flags);
  }
}
