#include "pointer/pointer.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "ending_signals.h"
#include "numbers.h"
#include "platform/monotonic_clock.h"
#include "pointer/screen.h"

namespace {

constexpr int32_t kMaxClickCount = 3;

struct ButtonTypes {
  CGEventType down;
  CGEventType up;
  CGEventType drag;
};
// Indexed by button. Every button past the right one is an "other" button, told apart by its
// number, as the middle button and a mouse's side buttons are.
constexpr ButtonTypes kButtonTypes[] = {
    {kCGEventLeftMouseDown, kCGEventLeftMouseUp, kCGEventLeftMouseDragged},
    {kCGEventRightMouseDown, kCGEventRightMouseUp, kCGEventRightMouseDragged},
    {kCGEventOtherMouseDown, kCGEventOtherMouseUp, kCGEventOtherMouseDragged},
    {kCGEventOtherMouseDown, kCGEventOtherMouseUp, kCGEventOtherMouseDragged},
    {kCGEventOtherMouseDown, kCGEventOtherMouseUp, kCGEventOtherMouseDragged},
};
static_assert(std::size(kButtonTypes) == kButtonCount);

// Indexed [horizontal][amount > 0]. A positive WHEEL scrolls down, toward the end of the document,
// which is negative lines on Quartz's first wheel (positive ones scroll up); a positive HWHEEL is
// positive lines on the second wheel, which scroll left.
constexpr ScrollWheels kScrollSteps[2][2] = {
    {{3, 0}, {-3, 0}},
    {{0, -3}, {0, 3}},
};

// A SCROLL or MOVEREL delta beyond this counts as this much: no wheel scrolls a page, and no mouse
// moves, that far at once.
constexpr double kMaxDelta = 100000;

int indexOf(Button button) { return static_cast<int>(button); }

// A SCROLL or MOVEREL delta as carried: limited, and 0 when it is no number.
double limitedDelta(double delta) {
  if (!std::isfinite(delta)) return 0;
  return std::clamp(delta, -kMaxDelta, kMaxDelta);
}

CfOwned<CGEventRef> createButtonEvent(Button button, CGEventType type, CGPoint location) {
  return CfOwned<CGEventRef>(CGEventCreateMouseEvent(nullptr, type, location,
                                                     static_cast<CGMouseButton>(indexOf(button))));
}

}  // namespace

ScrollWheels scrollWheels(int32_t amount, bool horizontal) {
  return kScrollSteps[horizontal ? 1 : 0][amount > 0 ? 1 : 0];
}

int32_t Pointer::nextClickCount(int button, Seconds now, CGPoint point, int32_t requested) {
  if (button < 0 || button >= kButtonCount) return 1;
  ClickMemory& memory = clicks_[button];
  int32_t count = 1;
  if (requested > 0) {
    count = requested <= kMaxClickCount ? requested : 1;
  } else {
    const double dx = point.x - memory.point.x;
    const double dy = point.y - memory.point.y;
    if (memory.count > 0 && now - memory.time <= kDoubleClickWindow &&
        dx * dx + dy * dy <= kDoubleClickRadius * kDoubleClickRadius) {
      count = memory.count < kMaxClickCount ? memory.count + 1 : 1;
    }
  }
  memory = ClickMemory{point, count, now};
  return count;
}

void Pointer::postButtonDown(Button button, int32_t requested, CGEventFlags flags) {
  const CGPoint location = cursorLocation();
  CfOwned<CGEventRef> down =
      createButtonEvent(button, kButtonTypes[indexOf(button)].down, location);
  // The memory is kept even when the press could not be made, so the next press counts on.
  const int32_t count = nextClickCount(indexOf(button), monotonicSeconds(), location, requested);
  numbers_.numberPress(button, down.get());
  held_[indexOf(button)] = true;
  if (!down) return;
  CGEventSetIntegerValueField(down.get(), kCGMouseEventClickState, count);
  poster_.post(down.get(), flags);
}

void Pointer::postButtonUp(Button button, CGEventFlags flags) {
  CfOwned<CGEventRef> up =
      createButtonEvent(button, kButtonTypes[indexOf(button)].up, cursorLocation());
  held_[indexOf(button)] = false;
  if (!up) return;
  const int32_t count = clicks_[indexOf(button)].count;
  CGEventSetIntegerValueField(up.get(), kCGMouseEventClickState, count >= 2 ? count : 1);
  numbers_.numberFollowingEvent(button, up.get());
  poster_.post(up.get(), flags);
}

// One half of a complete click, with its click state: a release without one reads as "not part of
// a click", and apps that act on the release would ignore it.
void Pointer::postClickStroke(Button button, bool press, CGPoint location, int32_t clickState,
                              CGEventFlags flags) {
  const ButtonTypes& types = kButtonTypes[indexOf(button)];
  CfOwned<CGEventRef> event = createButtonEvent(button, press ? types.down : types.up, location);
  if (press) {
    numbers_.numberPress(button, event.get());
  } else {
    numbers_.numberFollowingEvent(button, event.get());
  }
  if (!event) return;
  CGEventSetIntegerValueField(event.get(), kCGMouseEventClickState, clickState);
  poster_.post(event.get(), flags);
}

void Pointer::postClickOnce(Button button, CGPoint location, int32_t clickState,
                            CGEventFlags flags) {
  postClickStroke(button, true, location, clickState, flags);
  poster_.pause(kClickHold);
  postClickStroke(button, false, location, clickState, flags);
  // The button is up now, whatever MOUSEDOWN left: the next move is no drag of it.
  held_[indexOf(button)] = false;
}

void Pointer::postClick(Button button, CGEventFlags flags) {
  postClickOnce(button, cursorLocation(), 1, flags);
}

void Pointer::postDoubleClick(Button button, CGEventFlags flags) {
  const CGPoint location = cursorLocation();
  postClickOnce(button, location, 1, flags);
  // An agent being ended stops between the clicks, the button up.
  if (endingSignal() != 0) return;
  poster_.pause(kDoubleClickGap);
  postClickOnce(button, location, 2, flags);
}

// macOS starts a drag only from dragged events: plain moves while a synthetic button is down
// select no text and move no window. Games and 3D apps read the delta fields rather than the
// location.
void Pointer::postMotion(CGPoint target, std::optional<Motion> motion, CGEventFlags flags) {
  Button held;
  const bool drag = heldButtonForDrag(&held);
  CfOwned<CGEventRef> event =
      drag ? createButtonEvent(held, kButtonTypes[indexOf(held)].drag, target)
           : CfOwned<CGEventRef>(
                 CGEventCreateMouseEvent(nullptr, kCGEventMouseMoved, target, kCGMouseButtonLeft));
  if (!event) return;
  if (drag) {
    CGEventSetIntegerValueField(event.get(), kCGMouseEventClickState, clicks_[indexOf(held)].count);
    numbers_.numberFollowingEvent(held, event.get());
  }
  if (motion) {
    CGEventSetIntegerValueField(event.get(), kCGMouseEventDeltaX, motion->dx);
    CGEventSetIntegerValueField(event.get(), kCGMouseEventDeltaY, motion->dy);
  }
  poster_.post(event.get(), flags);
}

void Pointer::postMouseMove(double x, double y, CGEventFlags flags) {
  // Such a target is nowhere on the desktop, and its motion fits no integer field.
  if (!std::isfinite(x) || !std::isfinite(y)) return;
  // The target goes out as given: not rounded, not clamped to a display. The motion is the target
  // minus where the cursor was, truncated; with no known start, none is claimed rather than a jump
  // from the origin.
  CGPoint before{0, 0};
  std::optional<Motion> motion;
  if (readCursorLocation(&before)) {
    motion = Motion{truncateToInt64(x - before.x), truncateToInt64(y - before.y)};
  }
  postMotion(CGPoint{x, y}, motion, flags);
}

void Pointer::postRelativeMouseMove(double dx, double dy, CGEventFlags flags) {
  // Within the limit plus one: exact as doubles too.
  const int64_t wholeX = moveX_.add(limitedDelta(dx));
  const int64_t wholeY = moveY_.add(limitedDelta(dy));
  if (wholeX == 0 && wholeY == 0) return;
  // With no cursor to start from the motion is dropped, rather than made a jump from the origin.
  CGPoint cursor;
  if (!readCursorLocation(&cursor)) return;
  // The location is not kept on a display: the system stops the cursor at the edge, while the
  // deltas still carry the whole motion, which is all a game that locked the cursor reads.
  const CGPoint target{cursor.x + static_cast<double>(wholeX),
                       cursor.y + static_cast<double>(wholeY)};
  postMotion(target, Motion{wholeX, wholeY}, flags);
}

void Pointer::postMouseMoveByRatio(double rx, double ry, CGEventFlags flags) {
  CGRect bounds;
  if (!mainDisplayBounds(&bounds)) return;
  postMouseMove(rx * bounds.size.width, ry * bounds.size.height, flags);
}

void Pointer::postMouseMoveOnDisplay(CGDirectDisplayID display, double rx, double ry,
                                     CGEventFlags flags) {
  // Looked up now, never remembered: a display that left would give zero bounds, and every move
  // would land at the origin.
  CGRect bounds;
  if (!activeDisplayBounds(display, &bounds)) return;
  postMouseMove(bounds.origin.x + rx * bounds.size.width, bounds.origin.y + ry * bounds.size.height,
                flags);
}

void Pointer::postPixelScroll(double dx, double dy, CGEventFlags flags) {
  // Within the limit plus one: the conversions are exact.
  const auto postedX = static_cast<int32_t>(scrollX_.add(limitedDelta(dx)));
  const auto postedY = static_cast<int32_t>(scrollY_.add(limitedDelta(dy)));
  if (postedX == 0 && postedY == 0) return;
  // Quartz's wheels point the other way: wheel 1 > 0 scrolls up, wheel 2 > 0 left. Continuous, as
  // a trackpad's or a fine wheel's scrolling is, and without phases: made-up phases rubber-band.
  CfOwned<CGEventRef> scroll(
      CGEventCreateScrollWheelEvent2(nullptr, kCGScrollEventUnitPixel, 2, -postedY, -postedX, 0));
  if (!scroll) return;
  CGEventSetIntegerValueField(scroll.get(), kCGScrollWheelEventIsContinuous, 1);
  poster_.post(scroll.get(), flags);
}

void Pointer::postScrollEvent(int32_t amount, bool horizontal, CGEventFlags flags) {
  const ScrollWheels wheels = scrollWheels(amount, horizontal);
  // The fixed-arity form: the variadic one would take any argument type unchecked.
  CfOwned<CGEventRef> scroll(CGEventCreateScrollWheelEvent2(nullptr, kCGScrollEventUnitLine, 2,
                                                            wheels.vertical, wheels.horizontal, 0));
  poster_.post(scroll.get(), flags);
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
