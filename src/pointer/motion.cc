#include "pointer/motion.h"

#include "numbers.h"
#include "pointer/pointer.h"

namespace {

constexpr uint32_t kMaxDisplays = 16;
constexpr int kFallbackWidth = 1920;
constexpr int kFallbackHeight = 1080;

// Indexed [horizontal][amount > 0]. A positive WHEEL scrolls the content up, towards the top of
// the document, which the wheel reports as negative lines.
constexpr ScrollWheels kScrollSteps[2][2] = {
    {{3, 0}, {-3, 0}},
    {{0, -3}, {0, 3}},
};

// Indexed by button.
constexpr CGEventType kDragTypes[kButtonCount] = {
    kCGEventLeftMouseDragged, kCGEventRightMouseDragged, kCGEventOtherMouseDragged};

// The main display's bounds: the first active display. False when there is none, and also when
// the listing itself fails, whatever count it may have left behind.
bool mainDisplayBounds(CGRect* bounds) {
  CGDirectDisplayID displays[kMaxDisplays];
  uint32_t count = 0;
  if (CGGetActiveDisplayList(kMaxDisplays, displays, &count) != kCGErrorSuccess || count == 0) {
    return false;
  }
  *bounds = CGDisplayBounds(displays[0]);
  return true;
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

// macOS starts a drag only from dragged events: plain moves while a synthetic button is down
// select no text and move no window.
void Pointer::postDrag(Button button, CGPoint before, bool knownStart, CGPoint target,
                       CGEventFlags flags) {
  const int index = static_cast<int>(button);
  CfOwned<CGEventRef> drag(CGEventCreateMouseEvent(nullptr, kDragTypes[index], target,
                                                   static_cast<CGMouseButton>(index)));
  if (!drag) return;
  CGEventSetIntegerValueField(drag.get(), kCGMouseEventClickState, clicks_[index].count);
  setMoveDeltas(drag.get(), knownStart, before, target);
  numbers_.numberFollowingEvent(button, drag.get());
  poster_.post(drag.get(), flags);
}

void Pointer::postMouseMove(double x, double y, CGEventFlags flags) {
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

ScrollWheels scrollWheels(int32_t amount, bool horizontal) {
  return kScrollSteps[horizontal ? 1 : 0][amount > 0 ? 1 : 0];
}

void Pointer::postScrollEvent(int32_t amount, bool horizontal) {
  const ScrollWheels wheels = scrollWheels(amount, horizontal);
  // The fixed-arity form: the variadic one would take any argument type unchecked.
  CfOwned<CGEventRef> scroll(CGEventCreateScrollWheelEvent2(nullptr, kCGScrollEventUnitLine, 2,
                                                            wheels.vertical, wheels.horizontal, 0));
  poster_.post(scroll.get());
}

bool readCursorLocation(CGPoint* location) {
  // A new event without a source is placed at the cursor; it is only read, never posted.
  CfOwned<CGEventRef> probe(CGEventCreate(nullptr));
  if (!probe) return false;
  *location = CGEventGetLocation(probe.get());
  return true;
}

CGPoint cursorLocation() {
  CGPoint location{0, 0};  // kept when the cursor cannot be read
  readCursorLocation(&location);
  return location;
}

bool queryCursorPosition(int* x, int* y) {
  CGPoint location;
  if (!readCursorLocation(&location)) return false;
  *x = truncateToInt(location.x);
  *y = truncateToInt(location.y);
  return true;
}

void queryMainDisplaySize(int* width, int* height) {
  CGRect bounds;
  if (!mainDisplayBounds(&bounds)) {
    *width = kFallbackWidth;
    *height = kFallbackHeight;
    return;
  }
  *width = truncateToInt(bounds.size.width);
  *height = truncateToInt(bounds.size.height);
}
