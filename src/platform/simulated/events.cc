// Events, event sources and posting.
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "platform/quartz.h"
#include "platform/simulated/desktop.h"
#include "platform/simulated/objects.h"
#include "platform/simulated/simulation.h"
#include "platform/simulated/trace.h"

namespace simulated {
namespace {

CGEventRef newEvent(SimEventKind kind, uint32_t type, CGEventSourceRef source, CGPoint location) {
  __CGEventSource* madeFrom = liveSource(source);
  auto* event = new __CGEvent;
  event->record.kind = kind;
  event->record.type = type;
  event->record.hidSource = madeFrom != nullptr;
  event->record.x = location.x;
  event->record.y = location.y;
  if (madeFrom != nullptr) event->sourceSuppression = madeFrom->suppression;
  track(event, ObjectKind::Event);
  return event;
}

// The posted event as the trace and the in-process log see it.
void recordPost(const __CGEvent& event, CGEventTapLocation tap) {
  Desktop& d = desktop();
  SimEvent posted = event.record;
  posted.seq = d.postCount;
  posted.tap = tap;
  posted.time = CFAbsoluteTimeGetCurrent();
  if (event.sourceSuppression) {
    posted.suppressionInterval = event.sourceSuppression->interval;
    posted.localEventsFilter = event.sourceSuppression->filter;
  }
  if (traceIsOpen()) writeTraceLine(posted);
  if (d.recording) d.posted.push_back(std::move(posted));
}

}  // namespace
}  // namespace simulated

using simulated::desktop;
using simulated::liveEvent;
using simulated::newEvent;

extern "C" {

CGEventSourceRef CGEventSourceCreate(CGEventSourceStateID stateID) {
  if (desktop().failures & kSimFailSource) return nullptr;
  auto* source =
      new __CGEventSource{stateID, std::make_shared<simulated::LocalEventsSuppression>()};
  simulated::track(source, simulated::ObjectKind::Source);
  return source;
}

// How many events of a type the HID system has seen: the desktop's own presses before the agent
// started (the knob) plus what was posted at the HID tap since. Whether macOS counts synthetic
// posts here was not checked; the agent reads the counters only before its first press.
uint32_t CGEventSourceCounterForEventType(CGEventSourceStateID, CGEventType eventType) {
  const simulated::Desktop& d = desktop();
  uint32_t before = 0;
  if (eventType == kCGEventLeftMouseDown) before = d.pressCounts[0];
  if (eventType == kCGEventRightMouseDown) before = d.pressCounts[1];
  if (eventType == kCGEventOtherMouseDown) before = d.pressCounts[2];
  uint32_t posted = eventType < 32 ? d.postedOfType[eventType] : 0;
  return before + posted;
}

// Both settings are kept per source, as given. What macOS does with a NULL source, a state out of
// range, or a negative or non-finite interval was not checked: here they change nothing (the
// interval is kept as given, and traced as such).
void CGEventSourceSetLocalEventsFilterDuringSuppressionState(CGEventSourceRef source,
                                                             CGEventFilterMask filter,
                                                             CGEventSuppressionState state) {
  __CGEventSource* s = simulated::liveSource(source);
  if (s == nullptr || state >= kCGNumberOfEventSuppressionStates) return;
  s->suppression->filter[state] = filter;
}

void CGEventSourceSetLocalEventsSuppressionInterval(CGEventSourceRef source,
                                                    CFTimeInterval seconds) {
  if (__CGEventSource* s = simulated::liveSource(source)) s->suppression->interval = seconds;
}

CGEventRef CGEventCreate(CGEventSourceRef source) {
  if (desktop().failures & kSimFailCreate) return nullptr;
  return newEvent(SimEventKind::Plain, kCGEventNull, source, simulated::cursorNow());
}

CGEventRef CGEventCreateKeyboardEvent(CGEventSourceRef source, CGKeyCode virtualKey, bool keyDown) {
  if (desktop().failures & kSimFailKeyboard) return nullptr;
  CGEventRef event = newEvent(SimEventKind::Keyboard, keyDown ? kCGEventKeyDown : kCGEventKeyUp,
                              source, simulated::cursorNow());
  event->record.keycode = virtualKey;
  event->record.down = keyDown;
  return event;
}

CGEventRef CGEventCreateMouseEvent(CGEventSourceRef source, CGEventType mouseType,
                                   CGPoint mouseCursorPosition, CGMouseButton mouseButton) {
  if (desktop().failures & kSimFailMouse) return nullptr;
  CGEventRef event = newEvent(SimEventKind::Mouse, mouseType, source, mouseCursorPosition);
  event->record.button = mouseButton;
  return event;
}

CGEventRef CGEventCreateScrollWheelEvent2(CGEventSourceRef source, CGScrollEventUnit units,
                                          uint32_t wheelCount, int32_t wheel1, int32_t wheel2,
                                          int32_t wheel3) {
  if (desktop().failures & kSimFailScroll) return nullptr;
  // macOS supports one to three wheels and returns no event otherwise.
  if (wheelCount < 1 || wheelCount > 3) return nullptr;
  CGEventRef event =
      newEvent(SimEventKind::Scroll, kCGEventScrollWheel, source, simulated::cursorNow());
  SimEvent& record = event->record;
  record.units = units;
  record.wheelCount = wheelCount;
  record.wheel1 = wheel1;
  record.wheel2 = wheelCount >= 2 ? wheel2 : 0;
  record.wheel3 = wheelCount >= 3 ? wheel3 : 0;
  return event;
}

CGEventRef CGEventCreateScrollWheelEvent(CGEventSourceRef source, CGScrollEventUnit units,
                                         uint32_t wheelCount, int32_t wheel1, ...) {
  int32_t more[2] = {0, 0};
  va_list args;
  va_start(args, wheel1);
  for (uint32_t i = 1; i < wheelCount && i < 3; ++i) more[i - 1] = va_arg(args, int32_t);
  va_end(args);
  return CGEventCreateScrollWheelEvent2(source, units, wheelCount, wheel1, more[0], more[1]);
}

CGPoint CGEventGetLocation(CGEventRef event) {
  const __CGEvent* e = liveEvent(event);
  return e == nullptr ? CGPoint{0, 0} : CGPoint{e->record.x, e->record.y};
}

void CGEventSetIntegerValueField(CGEventRef event, CGEventField field, int64_t value) {
  if (__CGEvent* e = liveEvent(event)) e->record.fields[field] = value;
}

// A field never set reads as what macOS keeps there for the event's kind: the key code of a key
// event, the button of a mouse event, the line deltas of a scroll event; 0 for every other field.
int64_t CGEventGetIntegerValueField(CGEventRef event, CGEventField field) {
  const __CGEvent* e = liveEvent(event);
  if (e == nullptr) return 0;
  const SimEvent& record = e->record;
  auto found = record.fields.find(field);
  if (found != record.fields.end()) return found->second;
  switch (record.kind) {
    case SimEventKind::Keyboard:
      return field == kCGKeyboardEventKeycode ? record.keycode : 0;
    case SimEventKind::Mouse:
      return field == kCGMouseEventButtonNumber ? record.button : 0;
    case SimEventKind::Scroll:
      if (field == kCGScrollWheelEventDeltaAxis1) return record.wheel1;
      return field == kCGScrollWheelEventDeltaAxis2 ? record.wheel2 : 0;
    case SimEventKind::Plain:
    case SimEventKind::SystemDefined:
    case SimEventKind::LockState:
      break;
  }
  return 0;
}

void CGEventSetFlags(CGEventRef event, CGEventFlags flags) {
  if (__CGEvent* e = liveEvent(event)) e->record.flags = flags;
}

CGEventFlags CGEventGetFlags(CGEventRef event) {
  const __CGEvent* e = liveEvent(event);
  return e == nullptr ? 0 : e->record.flags.value_or(0);
}

void CGEventSetType(CGEventRef event, CGEventType type) {
  if (__CGEvent* e = liveEvent(event)) e->record.type = type;
}

CGEventType CGEventGetType(CGEventRef event) {
  const __CGEvent* e = liveEvent(event);
  return e == nullptr ? kCGEventNull : static_cast<CGEventType>(e->record.type);
}

// The whole string is kept as attached. macOS delivers only its first 20 UTF-16 units to the
// focused application; the agent splits longer text itself.
void CGEventKeyboardSetUnicodeString(CGEventRef event, UniCharCount stringLength,
                                     const UniChar* unicodeString) {
  __CGEvent* e = liveEvent(event);
  if (e == nullptr) return;
  e->record.text.emplace();
  if (unicodeString != nullptr) {
    e->record.text->assign(reinterpret_cast<const char16_t*>(unicodeString), stringLength);
  }
}

// As the header says: the whole length is reported whatever the buffer holds, and at most
// maxStringLength units are copied.
void CGEventKeyboardGetUnicodeString(CGEventRef event, UniCharCount maxStringLength,
                                     UniCharCount* actualStringLength, UniChar* unicodeString) {
  const __CGEvent* e = liveEvent(event);
  const size_t length = e != nullptr && e->record.text ? e->record.text->size() : 0;
  if (actualStringLength != nullptr) *actualStringLength = length;
  if (unicodeString == nullptr || length == 0) return;
  const size_t copied = std::min<size_t>(length, maxStringLength);
  std::copy_n(e->record.text->data(), copied, reinterpret_cast<char16_t*>(unicodeString));
}

void CGEventPost(CGEventTapLocation tap, CGEventRef event) {
  simulated::Desktop& d = desktop();
  const __CGEvent* e = liveEvent(event);
  if (e == nullptr) return;
  ++d.postCount;
  const SimEvent& record = e->record;
  if (record.kind == SimEventKind::Mouse && std::isfinite(record.x) && std::isfinite(record.y)) {
    d.cursor =
        simulated::clampToDisplays(simulated::currentDisplays(), CGPoint{record.x, record.y});
  }
  if (tap == kCGHIDEventTap && record.type < 32) ++d.postedOfType[record.type];
  // A snapshot (fields, text and all) only when someone will read it.
  if (simulated::traceIsOpen() || d.recording) simulated::recordPost(*e, tap);
  // Last, as a tap placed after the posting point sees the event once it is on its way.
  if (d.postObserver) d.postObserver(event);
}

}  // extern "C"

const std::vector<SimEvent>& simPostedEvents() { return desktop().posted; }
void simClearPostedEvents() { desktop().posted.clear(); }
