#include "pointer/buttons.h"

#include <unistd.h>

#include "keyboard/key_events.h"
#include "platform/cf_owned.h"
#include "pointer/event_numbers.h"

CGPoint lastClickPoint[3];
int32_t clickCounts[3];
double lastClickTime[3];

namespace {

constexpr double kDoubleClickWindow = 0.5;          // seconds
constexpr double kDoubleClickRadiusSquared = 25.0;  // 5 points
constexpr int32_t kMaxClickCount = 3;
constexpr useconds_t kClickPause = 10000;        // between press and release of a click
constexpr useconds_t kDoubleClickPause = 50000;  // between the two clicks of a double click

constexpr ButtonInfo kButtons[3] = {
    {0, kCGEventLeftMouseDown, kCGEventLeftMouseUp},
    {1, kCGEventRightMouseDown, kCGEventRightMouseUp},
    {2, kCGEventOtherMouseDown, kCGEventOtherMouseUp},
};

// Pressed by MOUSEDOWN and not yet released by MOUSEUP. Moves drag while any is set, and the
// loop releases what is still set when the host goes away.
bool buttonHeld[3];

CfOwned<CGEventRef> createButtonEvent(CGEventType type, CGPoint location, int index) {
  return CfOwned<CGEventRef>(
      CGEventCreateMouseEvent(nullptr, type, location, static_cast<CGMouseButton>(index)));
}

// One half of a complete click: no flags, and a click state only when clickState is above 0.
void postClickStroke(const ButtonInfo& button, bool press, CGPoint location, int32_t clickState) {
  CfOwned<CGEventRef> event =
      createButtonEvent(press ? button.downType : button.upType, location, button.index);
  if (press) {
    numberPress(event.get());
  } else {
    numberFollowingEvent(event.get());
  }
  if (!event) return;
  if (clickState > 0) CGEventSetIntegerValueField(event.get(), kCGMouseEventClickState, clickState);
  CGEventPost(kCGHIDEventTap, event.get());
}

void releaseButton(const ButtonInfo& button) {
  CGPoint location = cursorLocation();
  CfOwned<CGEventRef> up = createButtonEvent(button.upType, location, button.index);
  buttonHeld[button.index] = false;
  if (!up) return;
  int32_t count = clickCounts[button.index];
  CGEventSetIntegerValueField(up.get(), kCGMouseEventClickState, count >= 2 ? count : 1);
  CGEventSetFlags(up.get(), g_modifierFlags);
  numberFollowingEvent(up.get());
  CGEventPost(kCGHIDEventTap, up.get());
}

}  // namespace

ButtonInfo parseButton(std::string_view word) {
  if (word == "right") return kButtons[1];
  if (word == "middle") return kButtons[2];
  return kButtons[0];
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
  if (button < 0 || button > 2) return 1;
  int32_t count = 1;
  if (requested > 0) {
    count = requested <= kMaxClickCount ? requested : 1;
  } else {
    int32_t previous = clickCounts[button];
    double dx = point.x - lastClickPoint[button].x;
    double dy = point.y - lastClickPoint[button].y;
    if (previous > 0 && now - lastClickTime[button] <= kDoubleClickWindow &&
        dx * dx + dy * dy <= kDoubleClickRadiusSquared) {
      count = previous < kMaxClickCount ? previous + 1 : 1;
    }
  }
  lastClickTime[button] = now;
  lastClickPoint[button] = point;
  clickCounts[button] = count;
  return count;
}

void postButtonDown(std::string_view word, int32_t requested) {
  CGPoint location = cursorLocation();
  const ButtonInfo button = parseButton(word);
  CfOwned<CGEventRef> down = createButtonEvent(button.downType, location, button.index);
  // The memory is kept even when the press could not be made, so the next press counts on.
  int32_t count = nextClickCount(button.index, CFAbsoluteTimeGetCurrent(), location, requested);
  numberPress(down.get());
  buttonHeld[button.index] = true;
  if (!down) return;
  CGEventSetIntegerValueField(down.get(), kCGMouseEventClickState, count);
  CGEventSetFlags(down.get(), g_modifierFlags);
  CGEventPost(kCGHIDEventTap, down.get());
}

void postButtonUp(std::string_view word) { releaseButton(parseButton(word)); }

void postClick(std::string_view word) {
  CGPoint location = cursorLocation();
  const ButtonInfo button = parseButton(word);
  postClickStroke(button, true, location, 0);
  usleep(kClickPause);
  postClickStroke(button, false, location, 0);
}

void postDoubleClick(std::string_view word) {
  CGPoint location = cursorLocation();
  const ButtonInfo button = parseButton(word);
  postClickStroke(button, true, location, 0);
  postClickStroke(button, false, location, 0);
  usleep(kDoubleClickPause);
  postClickStroke(button, true, location, 2);
  postClickStroke(button, false, location, 2);
}

int heldButtonForDrag() {
  for (int index = 0; index < 3; ++index) {
    if (buttonHeld[index]) return index;
  }
  return -1;
}

void releaseHeldButtons() {
  for (const ButtonInfo& button : kButtons) {
    if (buttonHeld[button.index]) releaseButton(button);
  }
}

void resetPointerState() {
  for (int index = 0; index < 3; ++index) {
    lastClickPoint[index] = CGPoint{0, 0};
    clickCounts[index] = 0;
    lastClickTime[index] = 0;
    buttonHeld[index] = false;
  }
  resetEventNumbers();
}
