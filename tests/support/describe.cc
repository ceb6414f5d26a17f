#include "support/describe.h"

#include "event_kinds.h"
#include "json_text.h"
#include "numbers.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

namespace {

uint32_t typesOwnButton(uint32_t type) {
  if (type == kCGEventRightMouseDown || type == kCGEventRightMouseUp ||
      type == kCGEventRightMouseDragged) {
    return kCGMouseButtonRight;
  }
  return type >= kCGEventOtherMouseDown && type <= kCGEventOtherMouseDragged ? kCGMouseButtonCenter
                                                                             : kCGMouseButtonLeft;
}

bool isHighSurrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

std::string quoted(const std::u16string& units) {
  std::string out = "'";
  char escape[8];
  for (size_t i = 0; i < units.size(); ++i) {
    uint32_t c = units[i];
    if (isHighSurrogate(c) && i + 1 < units.size() && isLowSurrogate(units[i + 1])) {
      appendUtf8(&out, 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00));
    } else if (isHighSurrogate(c) || isLowSurrogate(c)) {
      std::snprintf(escape, sizeof escape, "\\u%04X", c);
      out += escape;
    } else if (c == '\\' || c == '\'') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n' || c == '\r' || c == '\t') {
      out += c == '\n' ? "\\n" : c == '\r' ? "\\r" : "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      std::snprintf(escape, sizeof escape, "\\x%02X", c);
      out += escape;
    } else {
      appendUtf8(&out, c);
    }
  }
  return out + "'";
}

}  // namespace

std::string flagNames(uint64_t flags) {
  static constexpr struct {
    uint64_t bit;
    const char* name;
  } kNames[] = {
      {kCGEventFlagMaskNonCoalesced, "NonCoalesced"},
      {kCGEventFlagMaskAlphaShift, "AlphaShift"},
      {kCGEventFlagMaskShift, "Shift"},
      {kCGEventFlagMaskControl, "Control"},
      {kCGEventFlagMaskAlternate, "Alternate"},
      {kCGEventFlagMaskCommand, "Command"},
      {kCGEventFlagMaskNumericPad, "NumericPad"},
      {kCGEventFlagMaskHelp, "Help"},
      {kCGEventFlagMaskSecondaryFn, "SecondaryFn"},
  };
  std::string names;
  for (const auto& flag : kNames) {
    if ((flags & flag.bit) == 0) continue;
    if (!names.empty()) names += '+';
    names += flag.name;
    flags &= ~flag.bit;
  }
  if (flags != 0) {
    char other[24];
    std::snprintf(other, sizeof other, "0x%llx", static_cast<unsigned long long>(flags));
    if (!names.empty()) names += '+';
    names += other;
  }
  return names;
}

std::string describe(const SimEvent& e) {
  if (e.kind == SimEventKind::LockState) return e.lockOn ? "capslock on" : "capslock off";
  const PostedEventKind* kind = postedEventKind(e.type);
  std::string s = kind != nullptr                         ? kind->name
                  : e.kind == SimEventKind::SystemDefined ? "systemdefined"
                                                          : "type " + std::to_string(e.type);
  auto add = [&s](const std::string& part) { s += " " + part; };
  auto field = [&e](uint32_t number) { return e.fields.find(number); };
  const bool repeat = e.kind == SimEventKind::Keyboard &&
                      field(kCGKeyboardEventAutorepeat) != e.fields.end() &&
                      field(kCGKeyboardEventAutorepeat)->second == 1;
  if (e.kind == SimEventKind::Keyboard) {
    add(std::to_string(e.keycode));
    const bool typeSaysDown = e.type == kCGEventKeyDown, typeSaysUp = e.type == kCGEventKeyUp;
    if (!(typeSaysDown && e.down) && !(typeSaysUp && !e.down)) add(e.down ? "down" : "up");
  }
  if (e.kind == SimEventKind::Mouse) {
    add("@" + shortestDecimal(e.x) + "," + shortestDecimal(e.y));
    if (e.button != typesOwnButton(e.type)) add("button " + std::to_string(e.button));
  }
  if (field(kCGMouseEventClickState) != e.fields.end()) {
    add("click " + std::to_string(field(kCGMouseEventClickState)->second));
  }
  if (field(kCGMouseEventNumber) != e.fields.end()) {
    add("#" + std::to_string(field(kCGMouseEventNumber)->second));
  }
  const bool deltas =
      field(kCGMouseEventDeltaX) != e.fields.end() && field(kCGMouseEventDeltaY) != e.fields.end();
  if (deltas) {
    add("d" + std::to_string(field(kCGMouseEventDeltaX)->second) + "," +
        std::to_string(field(kCGMouseEventDeltaY)->second));
  }
  const bool scroll = e.kind == SimEventKind::Scroll;
  const bool continuous = scroll && field(kCGScrollWheelEventIsContinuous) != e.fields.end() &&
                          field(kCGScrollWheelEventIsContinuous)->second == 1;
  for (const auto& [number, value] : e.fields) {
    const bool shown =
        number == kCGMouseEventClickState || number == kCGMouseEventNumber ||
        (deltas && (number == kCGMouseEventDeltaX || number == kCGMouseEventDeltaY)) ||
        (continuous && number == kCGScrollWheelEventIsContinuous) ||
        (repeat && number == kCGKeyboardEventAutorepeat);
    if (!shown) add("field" + std::to_string(number) + "=" + std::to_string(value));
  }
  if (scroll) {
    if (e.units != kCGScrollEventUnitLine) {
      add(e.units == kCGScrollEventUnitPixel ? "pixel" : "units " + std::to_string(e.units));
    }
    // As many wheels as the event has (one to three).
    const int32_t wheels[] = {e.wheel1, e.wheel2, e.wheel3};
    std::string shown;
    for (uint32_t i = 0; i < e.wheelCount && i < 3; ++i) {
      shown += (i == 0 ? "" : ",") + std::to_string(wheels[i]);
    }
    add(shown);
    if (continuous) add("continuous");
  }
  if (e.kind == SimEventKind::SystemDefined) {
    // The volume and media keys' subtype (NX_SUBTYPE_AUX_CONTROL_BUTTONS), whose data2 is -1.
    const bool aux = e.subtype == 8 && e.data2 == -1;
    add(aux ? "aux" : "subtype " + std::to_string(e.subtype));
    char data1[24];
    std::snprintf(data1, sizeof data1, "0x%llx", static_cast<unsigned long long>(e.data1));
    add(data1);
    if (!aux) add("data2 " + std::to_string(e.data2));
  }
  if (e.text) add("text " + std::to_string(e.text->size()) + " " + quoted(*e.text));
  if (e.hidSource) {
    const bool suppressesNothing = e.suppressionInterval == 0 &&
                                   e.localEventsFilter[0] == kCGEventFilterMaskPermitAllEvents &&
                                   e.localEventsFilter[1] == kCGEventFilterMaskPermitAllEvents;
    add(suppressesNothing ? "hid"
                          : "hid suppress " + shortestDecimal(e.suppressionInterval) + " " +
                                std::to_string(e.localEventsFilter[0]) + "," +
                                std::to_string(e.localEventsFilter[1]));
  }
  if (repeat) add("repeat");
  if (e.tap != kCGHIDEventTap) add("tap " + std::to_string(e.tap));
  if (!e.flags) {
    add("noflags");
  } else if (*e.flags != 0) {
    add(flagNames(*e.flags));
  }
  return s;
}

// ---- Reading a trace line back ---------------------------------------------------------------

namespace {

// A cursor over one line of the trace's flat JSON.
struct Json {
  std::string_view text;
  size_t at = 0;

  bool eat(char c) {
    if (at >= text.size() || text[at] != c) return false;
    ++at;
    return true;
  }
  bool eat(std::string_view word) {
    if (text.substr(at, word.size()) != word) return false;
    at += word.size();
    return true;
  }
  template <typename Integer>
  bool number(Integer* out) {
    auto [end, ec] = std::from_chars(text.data() + at, text.data() + text.size(), *out);
    at = static_cast<size_t>(end - text.data());
    return ec == std::errc();
  }
  // A real, or null for one that was not finite.
  bool real(double* out) {
    if (eat("null")) {
      *out = std::numeric_limits<double>::quiet_NaN();
      return true;
    }
    const std::string rest(text.substr(at));
    char* end = nullptr;
    *out = std::strtod(rest.c_str(), &end);
    at += static_cast<size_t>(end - rest.c_str());
    return end != rest.c_str();
  }
  bool boolean(bool* out) {
    *out = eat("true");
    return *out || eat("false");
  }
  // A string as UTF-16: escapes as the trace writes them, the rest UTF-8.
  bool string(std::u16string* out) {
    if (!eat('"')) return false;
    out->clear();
    while (at < text.size() && text[at] != '"') {
      uint32_t c = static_cast<unsigned char>(text[at++]);
      if (c == '\\') {
        if (at >= text.size()) return false;
        const char escaped = text[at++];
        if (escaped == 'u') {
          if (at + 4 > text.size()) return false;
          const auto [end, ec] = std::from_chars(text.data() + at, text.data() + at + 4, c, 16);
          if (ec != std::errc() || end != text.data() + at + 4) return false;
          at += 4;
        } else if (escaped == '"' || escaped == '\\') {
          c = static_cast<uint32_t>(escaped);
        } else {
          return false;
        }
      } else if (c >= 0x80) {
        const int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : 1;
        c &= more == 3 ? 0x07 : more == 2 ? 0x0F : 0x1F;
        for (int i = 0; i < more; ++i) {
          if (at >= text.size()) return false;
          c = (c << 6) | (static_cast<unsigned char>(text[at++]) & 0x3F);
        }
      }
      if (c >= 0x10000) {
        out->push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
        out->push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
      } else {
        out->push_back(static_cast<char16_t>(c));
      }
    }
    return eat('"');
  }
  bool key(std::string_view* out) {
    const size_t end = text.find("\":", at + 1);
    if (!eat('"') || end == std::string_view::npos) return false;
    *out = text.substr(at, end - at);
    at = end + 2;
    return true;
  }
};

bool readValue(Json& json, std::string_view key, SimEvent* e) {
  if (key == "seq") return json.number(&e->seq);
  if (key == "time") return json.real(&e->time);
  if (key == "tap") return json.number(&e->tap);
  if (key == "type") return json.number(&e->type);
  if (key == "source") {
    e->hidSource = json.eat("\"hid\"");
    return e->hidSource || json.eat("null");
  }
  if (key == "flags") {
    if (json.eat("null")) return true;
    uint64_t flags = 0;
    if (!json.number(&flags)) return false;
    e->flags = flags;
    return true;
  }
  if (key == "keycode") {
    e->kind = SimEventKind::Keyboard;
    return json.number(&e->keycode);
  }
  if (key == "down") return json.boolean(&e->down);
  if (key == "text") return json.string(&e->text.emplace());
  if (key == "textUnits") {
    size_t units = 0;
    return json.number(&units) && e->text && units == e->text->size();
  }
  if (key == "x") {
    e->kind = SimEventKind::Mouse;
    return json.real(&e->x);
  }
  if (key == "y") return json.real(&e->y);
  if (key == "button") return json.number(&e->button);
  if (key == "fields") {
    if (!json.eat('{')) return false;
    for (bool first = true; !json.eat('}'); first = false) {
      uint32_t number = 0;
      if ((!first && !json.eat(',')) || !json.eat('"') || !json.number(&number) ||
          !json.eat("\":") || !json.number(&e->fields[number])) {
        return false;
      }
    }
    return true;
  }
  if (key == "units") {
    e->kind = SimEventKind::Scroll;
    return json.number(&e->units);
  }
  if (key == "wheelCount") return json.number(&e->wheelCount);
  if (key == "wheel1") return json.number(&e->wheel1);
  if (key == "wheel2") return json.number(&e->wheel2);
  if (key == "subtype") {
    e->kind = SimEventKind::SystemDefined;
    return json.number(&e->subtype);
  }
  if (key == "data1") return json.number(&e->data1);
  if (key == "data2") return json.number(&e->data2);
  if (key == "lock") {
    e->kind = SimEventKind::LockState;
    return json.eat("\"caps\"");
  }
  if (key == "on") return json.boolean(&e->lockOn);
  if (key == "suppressionInterval") return json.real(&e->suppressionInterval);
  if (key == "localEventsFilter") {
    return json.eat('[') && json.number(&e->localEventsFilter[0]) && json.eat(',') &&
           json.number(&e->localEventsFilter[1]) && json.eat(']');
  }
  return false;
}

}  // namespace

bool parseTraceLine(std::string_view line, SimEvent* event) {
  *event = SimEvent{};
  Json json{line};
  if (!json.eat('{')) return false;
  for (bool first = true; !json.eat('}'); first = false) {
    std::string_view key;
    if ((!first && !json.eat(',')) || !json.key(&key) || !readValue(json, key, event)) {
      return false;
    }
  }
  return json.at == line.size();
}
