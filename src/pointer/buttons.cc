#include "pointer/buttons.h"

#include <array>

#include "keyboard/key_events.h"
#include "platform/cf_owned.h"
#include "platform/post_event.h"
#include "pointer/event_numbers.h"

namespace {

constexpr double kDoubleClickWindow = 0.5;          // seconds
constexpr double kDoubleClickRadiusSquared = 25.0;  // 5 points
constexpr int32_t kMaxClickCount = 3;
constexpr useconds_t kClickPause = 10000;        // between press and release of a click
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

struct PointerState {
  std::array<ClickMemory, kButtonCount> clicks{};
  // Pressed by MOUSEDOWN and not yet released by MOUSEUP, CLICK or DBLCLICK. Moves drag while any
  // is set, and the loop releases what is still set when the host goes away.
  std::array<bool, kButtonCount> held{};
};

PointerState state;

int indexOf(Button button) { return static_cast<int>(button); }

CfOwned<CGEventRef> createButtonEvent(Button button, bool press, CGPoint location) {
  const ButtonTypes& types = kButtonTypes[indexOf(button)];
  return CfOwned<CGEventRef>(CGEventCreateMouseEvent(nullptr, press ? types.down : types.up,
                                                     location,
                                                     static_cast<CGMouseButton>(indexOf(button))));
}

// One half of a complete click: its click state, and no flags. A release without a click state
// reads as "not part of a click", and apps that act on the release would ignore it.
void postClickStroke(Button button, bool press, CGPoint location, int32_t clickState) {
  CfOwned<CGEventRef> event = createButtonEvent(button, press, location);
  if (press) {
    numberPress(button, event.get());
  } else {
    numberFollowingEvent(button, event.get());
  }
  if (!event) return;
  CGEventSetIntegerValueField(event.get(), kCGMouseEventClickState, clickState);
  postEvent(event.get());
}

}  // namespace

Button parseButton(std::string_view word) {
  if (word == "right") return Button::Right;
  if (word == "middle") return Button::Middle;
  return Button::Left;
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

int32_t nextClickCount(int button, double now, CGPoint point, int32_t requested) {
  if (button < 0 || button >= kButtonCount) return 1;
  ClickMemory& memory = state.clicks[button];
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

ClickMemory clickMemory(Button button) { return state.clicks[indexOf(button)]; }

void postButtonDown(Button button, int32_t requested) {
  const CGPoint location = cursorLocation();
  CfOwned<CGEventRef> down = createButtonEvent(button, true, location);
  // The memory is kept even when the press could not be made, so the next press counts on.
  const int32_t count =
      nextClickCount(indexOf(button), CFAbsoluteTimeGetCurrent(), location, requested);
  numberPress(button, down.get());
  state.held[indexOf(button)] = true;
  if (!down) return;
  CGEventSetIntegerValueField(down.get(), kCGMouseEventClickState, count);
  postEvent(down.get(), modifierFlags());
}

void postButtonUp(Button button) {
  CfOwned<CGEventRef> up = createButtonEvent(button, false, cursorLocation());
  state.held[indexOf(button)] = false;
  if (!up) return;
  const int32_t count = state.clicks[indexOf(button)].count;
  CGEventSetIntegerValueField(up.get(), kCGMouseEventClickState, count >= 2 ? count : 1);
  numberFollowingEvent(button, up.get());
  postEvent(up.get(), modifierFlags());
}

void postClick(Button button) {
  const CGPoint location = cursorLocation();
  postClickStroke(button, true, location, 1);
  usleep(kClickPause);
  postClickStroke(button, false, location, 1);
  // The button is up now, whatever MOUSEDOWN left: the next move is no drag of it.
  state.held[indexOf(button)] = false;
}

void postDoubleClick(Button button) {
  const CGPoint location = cursorLocation();
  postClickStroke(button, true, location, 1);
  postClickStroke(button, false, location, 1);
  usleep(kDoubleClickPause);
  postClickStroke(button, true, location, 2);
  postClickStroke(button, false, location, 2);
  state.held[indexOf(button)] = false;
}

bool heldButtonForDrag(Button* button) {
  for (int index = 0; index < kButtonCount; ++index) {
    if (state.held[index]) {
      *button = static_cast<Button>(index);
      return true;
    }
  }
  return false;
}

void releaseHeldButtons() {
  for (int index = 0; index < kButtonCount; ++index) {
    if (state.held[index]) postButtonUp(static_cast<Button>(index));
  }
}

void resetPointerState() {
  state = PointerState{};
  resetEventNumbers();
}
