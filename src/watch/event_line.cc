#include "watch/event_line.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <vector>

#include "event_kinds.h"
#include "json_text.h"

namespace {

// Apple's virtual key codes of the modifier keys (kVK_Shift and the rest, in Carbon's Events.h),
// with the flag each one sets while it is down.
struct ModifierKey {
  int64_t keycode;
  CGEventFlags flag;
};
constexpr ModifierKey kModifierKeys[] = {
    {56, kCGEventFlagMaskShift},      {60, kCGEventFlagMaskShift},
    {59, kCGEventFlagMaskControl},    {62, kCGEventFlagMaskControl},
    {58, kCGEventFlagMaskAlternate},  {61, kCGEventFlagMaskAlternate},
    {55, kCGEventFlagMaskCommand},    {54, kCGEventFlagMaskCommand},
    {57, kCGEventFlagMaskAlphaShift}, {63, kCGEventFlagMaskSecondaryFn},
};

// A modifier change says nothing of its direction but through the flags: the key went down when
// its flag is now set. (Releasing one Shift while the other is held reads as down.)
bool modifierIsDown(int64_t keycode, CGEventFlags flags) {
  for (const ModifierKey& key : kModifierKeys) {
    if (key.keycode == keycode) return (flags & key.flag) != 0;
  }
  return false;
}

// "fields":{...}, each of the given integer fields by its number, in the order given.
void appendFields(std::string* out, CGEventRef event, std::initializer_list<CGEventField> fields) {
  *out += ",\"fields\":{";
  bool first = true;
  for (CGEventField field : fields) {
    *out += first ? "\"" : ",\"";
    first = false;
    appendJsonInteger(out, static_cast<uint32_t>(field));
    *out += "\":";
    appendJsonInteger(out, CGEventGetIntegerValueField(event, field));
  }
  *out += '}';
}

void appendKeyboard(std::string* out, CGEventRef event, CGEventType type, CGEventFlags flags) {
  const int64_t keycode = CGEventGetIntegerValueField(event, kCGKeyboardEventKeycode);
  bool down = type == kCGEventKeyDown;
  if (type == kCGEventFlagsChanged) down = modifierIsDown(keycode, flags);
  *out += ",\"keycode\":";
  appendJsonInteger(out, keycode);
  *out += down ? ",\"down\":true" : ",\"down\":false";
  // Asked for its length first: the header promises the whole count even with no buffer.
  UniCharCount length = 0;
  CGEventKeyboardGetUnicodeString(event, 0, &length, nullptr);
  if (length > 0) {
    std::vector<UniChar> units(length);
    UniCharCount copied = 0;
    CGEventKeyboardGetUnicodeString(event, length, &copied, units.data());
    units.resize(copied < length ? copied : length);
    *out += ",\"text\":";
    appendJsonString(out, units.data(), units.size());
  }
  // Whether the key is held down and repeating, which tells a repeat from a fresh press.
  appendFields(out, event, {kCGKeyboardEventAutorepeat});
}

void appendMouse(std::string* out, CGEventRef event) {
  const CGPoint location = CGEventGetLocation(event);
  *out += ",\"x\":";
  appendJsonNumber(out, location.x);
  *out += ",\"y\":";
  appendJsonNumber(out, location.y);
  *out += ",\"button\":";
  appendJsonInteger(out, CGEventGetIntegerValueField(event, kCGMouseEventButtonNumber));
  appendFields(out, event, {kCGMouseEventNumber, kCGMouseEventClickState});
}

void appendScroll(std::string* out, CGEventRef event) {
  *out += ",\"wheel1\":";
  appendJsonInteger(out, CGEventGetIntegerValueField(event, kCGScrollWheelEventDeltaAxis1));
  *out += ",\"wheel2\":";
  appendJsonInteger(out, CGEventGetIntegerValueField(event, kCGScrollWheelEventDeltaAxis2));
  // A continuous scroll is in pixels, and its line deltas are only what the system derives from
  // them (about ten pixels a line by default): the pixel deltas are the ones it was posted with.
  appendFields(out, event,
               {kCGScrollWheelEventIsContinuous, kCGScrollWheelEventPointDeltaAxis1,
                kCGScrollWheelEventPointDeltaAxis2});
}

}  // namespace

std::string eventLine(CGEventRef event, double time) {
  const CGEventType type = CGEventGetType(event);
  const CGEventFlags flags = CGEventGetFlags(event);
  std::string line = "{\"type\":";
  appendJsonInteger(&line, static_cast<uint32_t>(type));
  line += ",\"flags\":";
  appendJsonInteger(&line, flags);
  switch (eventParts(type)) {
    case EventParts::Keyboard:
      appendKeyboard(&line, event, type, flags);
      break;
    case EventParts::Mouse:
      appendMouse(&line, event);
      break;
    case EventParts::Scroll:
      appendScroll(&line, event);
      break;
    case EventParts::Plain:
      break;
  }
  line += ",\"time\":";
  appendJsonNumber(&line, time);
  line += '}';
  return line;
}
