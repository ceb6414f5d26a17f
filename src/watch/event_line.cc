#include "watch/event_line.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "numbers.h"

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

template <typename Integer>
void appendInteger(std::string* out, Integer value) {
  char buffer[32];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out->append(buffer, result.ptr);
}

void appendNumber(std::string* out, double value) {
  // JSON has no non-finite numbers.
  *out += std::isfinite(value) ? shortestDecimal(value) : "null";
}

void appendEscapedUnit(std::string* out, unsigned unit) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "\\u%04x", unit);
  *out += buffer;
}

void appendUtf8(std::string* out, uint32_t c) {
  if (c < 0x80) {
    *out += static_cast<char>(c);
  } else if (c < 0x800) {
    *out += static_cast<char>(0xC0 | (c >> 6));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *out += static_cast<char>(0xE0 | (c >> 12));
    *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (c >> 18));
    *out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// UTF-16 as a JSON string in UTF-8, as the trace writes it: quote, backslash and control
// characters escaped, a lone surrogate written as its escape so that it reads back exactly.
void appendJsonString(std::string* out, const std::vector<UniChar>& units) {
  *out += '"';
  for (size_t i = 0; i < units.size(); ++i) {
    uint32_t c = units[i];
    const bool pairs = c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() &&
                       units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF;
    if (pairs) {
      c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      appendEscapedUnit(out, c);
      continue;
    }
    if (c == '"' || c == '\\') {
      *out += '\\';
      *out += static_cast<char>(c);
    } else if (c < 0x20) {
      appendEscapedUnit(out, c);
    } else {
      appendUtf8(out, c);
    }
  }
  *out += '"';
}

void appendKeyboard(std::string* out, CGEventRef event, CGEventType type, CGEventFlags flags) {
  const int64_t keycode = CGEventGetIntegerValueField(event, kCGKeyboardEventKeycode);
  bool down = type == kCGEventKeyDown;
  if (type == kCGEventFlagsChanged) down = modifierIsDown(keycode, flags);
  *out += ",\"keycode\":";
  appendInteger(out, keycode);
  *out += down ? ",\"down\":true" : ",\"down\":false";
  // Asked for its length first: the header promises the whole count even with no buffer.
  UniCharCount length = 0;
  CGEventKeyboardGetUnicodeString(event, 0, &length, nullptr);
  if (length == 0) return;
  std::vector<UniChar> units(length);
  UniCharCount copied = 0;
  CGEventKeyboardGetUnicodeString(event, length, &copied, units.data());
  units.resize(copied < length ? copied : length);
  *out += ",\"text\":";
  appendJsonString(out, units);
}

void appendMouse(std::string* out, CGEventRef event) {
  const CGPoint location = CGEventGetLocation(event);
  *out += ",\"x\":";
  appendNumber(out, location.x);
  *out += ",\"y\":";
  appendNumber(out, location.y);
  *out += ",\"button\":";
  appendInteger(out, CGEventGetIntegerValueField(event, kCGMouseEventButtonNumber));
  *out += ",\"fields\":{\"0\":";
  appendInteger(out, CGEventGetIntegerValueField(event, kCGMouseEventNumber));
  *out += ",\"1\":";
  appendInteger(out, CGEventGetIntegerValueField(event, kCGMouseEventClickState));
  *out += '}';
}

void appendScroll(std::string* out, CGEventRef event) {
  *out += ",\"wheel1\":";
  appendInteger(out, CGEventGetIntegerValueField(event, kCGScrollWheelEventDeltaAxis1));
  *out += ",\"wheel2\":";
  appendInteger(out, CGEventGetIntegerValueField(event, kCGScrollWheelEventDeltaAxis2));
}

}  // namespace

std::string eventLine(CGEventRef event, double time) {
  const CGEventType type = CGEventGetType(event);
  const CGEventFlags flags = CGEventGetFlags(event);
  std::string line = "{\"type\":";
  appendInteger(&line, static_cast<uint32_t>(type));
  line += ",\"flags\":";
  appendInteger(&line, flags);
  switch (type) {
    case kCGEventKeyDown:
    case kCGEventKeyUp:
    case kCGEventFlagsChanged:
      appendKeyboard(&line, event, type, flags);
      break;
    case kCGEventLeftMouseDown:
    case kCGEventLeftMouseUp:
    case kCGEventRightMouseDown:
    case kCGEventRightMouseUp:
    case kCGEventOtherMouseDown:
    case kCGEventOtherMouseUp:
    case kCGEventLeftMouseDragged:
    case kCGEventRightMouseDragged:
    case kCGEventOtherMouseDragged:
    case kCGEventMouseMoved:
      appendMouse(&line, event);
      break;
    case kCGEventScrollWheel:
      appendScroll(&line, event);
      break;
    default:
      break;
  }
  line += ",\"time\":";
  appendNumber(&line, time);
  line += '}';
  return line;
}
