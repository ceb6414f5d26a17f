#include "pointer/pointer.h"

#include <algorithm>
#include <cmath>

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
// Indexed by button.
constexpr ButtonTypes kButtonTypes[kButtonCount] = {
    {kCGEventLeftMouseDown, kCGEventLeftMouseUp, kCGEventLeftMouseDragged},
    {kCGEventRightMouseDown, kCGEventRightMouseUp, kCGEventRightMouseDragged},
    {kCGEventOtherMouseDown, kCGEventOtherMouseUp, kCGEventOtherMouseDragged},
};

// Indexed [horizontal][amount > 0]. A positive WHEEL scrolls down, toward the end of the document,
// which is negative lines on Quartz's first wheel (positive ones scroll up); a positive HWHEEL is
// positive lines on the second wheel, which scroll left.
constexpr ScrollWheels kScrollSteps[2][2] = {
    {{3, 0}, {-3, 0}},
    {{0, -3}, {0, 3}},
};

// A SCROLL delta beyond this counts as this much: no wheel moves a page that far at once.
constexpr double kMaxPixelDelta = 100000;

int indexOf(Button button) { return static_cast<int>(button); }

// A SCROLL delta as posted: limited, and 0 when it is no number.
double pixelDelta(double delta) {
  if (!std::isfinite(delta)) return 0;
  return std::clamp(delta, -kMaxPixelDelta, kMaxPixelDelta);
}

CfOwned<CGEventRef> createButtonEvent(Button button, CGEventType type, CGPoint location) {
  return CfOwned<CGEventRef>(CGEventCreateMouseEvent(nullptr, type, location,
                                                     static_cast<CGMouseButton>(indexOf(button))));
}

// The motion a move claims, as hardware moves report it: the target minus where the cursor was,
// truncated. Games and 3D apps read these fields rather than the location. With no known start,
// no motion is claimed rather than a jump from the origin.
void setMoveDeltas(CGEventRef move, bool knownStart, CGPoint before, CGPoint target) {
  if (!knownStart) return;
  CGEventSetIntegerValueField(move, kCGMouseEventDeltaX, truncateToInt64(target.x - before.x));
  CGEventSetIntegerValueField(move, kCGMouseEventDeltaY, truncateToInt64(target.y - before.y));
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

// One half of a complete click: its click state, and no flags. A release without a click state
// reads as "not part of a click", and apps that act on the release would ignore it.
void Pointer::postClickStroke(Button button, bool press, CGPoint location, int32_t clickState) {
  const ButtonTypes& types = kButtonTypes[indexOf(button)];
  CfOwned<CGEventRef> event = createButtonEvent(button, press ? types.down : types.up, location);
  if (press) {
    numbers_.numberPress(button, event.get());
  } else {
    numbers_.numberFollowingEvent(button, event.get());
  }
  if (!event) return;
  CGEventSetIntegerValueField(event.get(), kCGMouseEventClickState, clickState);
  poster_.post(event.get());
}

void Pointer::postClickOnce(Button button, CGPoint location, int32_t clickState) {
  postClickStroke(button, true, location, clickState);
  poster_.pause(kClickHold);
  postClickStroke(button, false, location, clickState);
  // The button is up now, whatever MOUSEDOWN left: the next move is no drag of it.
  held_[indexOf(button)] = false;
}

void Pointer::postClick(Button button) { postClickOnce(button, cursorLocation(), 1); }

void Pointer::postDoubleClick(Button button) {
  const CGPoint location = cursorLocation();
  postClickOnce(button, location, 1);
  // An agent being ended stops between the clicks, the button up.
  if (endingSignal() != 0) return;
  poster_.pause(kDoubleClickGap);
  postClickOnce(button, location, 2);
}

// macOS starts a drag only from dragged events: plain moves while a synthetic button is down
// select no text and move no window.
void Pointer::postDrag(Button button, CGPoint before, bool knownStart, CGPoint target,
                       CGEventFlags flags) {
  CfOwned<CGEventRef> drag = createButtonEvent(button, kButtonTypes[indexOf(button)].drag, target);
  if (!drag) return;
  CGEventSetIntegerValueField(drag.get(), kCGMouseEventClickState, clicks_[indexOf(button)].count);
  setMoveDeltas(drag.get(), knownStart, before, target);
  numbers_.numberFollowingEvent(button, drag.get());
  poster_.post(drag.get(), flags);
}

void Pointer::postMouseMove(double x, double y, CGEventFlags flags) {
  // Such a target is nowhere on the desktop, and its motion fits no integer field.
  if (!std::isfinite(x) || !std::isfinite(y)) return;
  // The target goes out as given: not rounded, not clamped to a display.
  const CGPoint target{x, y};
  CGPoint before{0, 0};
  const bool knownStart = readCursorLocation(&before);
  Button held;
  if (heldButtonForDrag(&held)) {
    postDrag(held, before, knownStart, target, flags);
    return;
  }
  CfOwned<CGEventRef> move(
      CGEventCreateMouseEvent(nullptr, kCGEventMouseMoved, target, kCGMouseButtonLeft));
  if (!move) return;
  setMoveDeltas(move.get(), knownStart, before, target);
  poster_.post(move.get());
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

void Pointer::postPixelScroll(double dx, double dy) {
  // Within the limit plus one: the conversions are exact.
  const auto postedX = static_cast<int32_t>(scrollX_.add(pixelDelta(dx)));
  const auto postedY = static_cast<int32_t>(scrollY_.add(pixelDelta(dy)));
  if (postedX == 0 && postedY == 0) return;
  // Quartz's wheels point the other way: wheel 1 > 0 scrolls up, wheel 2 > 0 left. Continuous, as
  // a trackpad's or a fine wheel's scrolling is, and without phases: made-up phases rubber-band.
  CfOwned<CGEventRef> scroll(
      CGEventCreateScrollWheelEvent2(nullptr, kCGScrollEventUnitPixel, 2, -postedY, -postedX, 0));
  if (!scroll) return;
  CGEventSetIntegerValueField(scroll.get(), kCGScrollWheelEventIsContinuous, 1);
  poster_.post(scroll.get());
}

void Pointer::postScrollEvent(int32_t amount, bool horizontal) {
  const ScrollWheels wheels = scrollWheels(amount, horizontal);
  // The fixed-arity form: the variadic one would take any argument type unchecked.
  CfOwned<CGEventRef> scroll(CGEventCreateScrollWheelEvent2(nullptr, kCGScrollEventUnitLine, 2,
                                                            wheels.vertical, wheels.horizontal, 0));
  poster_.post(scroll.get());
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
