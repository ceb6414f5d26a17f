// The watcher's line: whole, for every kind of event a Mac delivers, and against the trace's line
// for each event the agent posts.
#include "watch/event_line.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/simulated/simulation.h"
#include "support/in_process.h"

namespace {

constexpr double kSeenAt = 1234.0625;

class EventLineTest : public AgentTest<> {};

// Made as a press and then given its type: a Caps Lock change is a press whether it turns the
// lock on or off, and a key up must read as up by its type alone.
CGEventRef keyEvent(CGEventType type, CGKeyCode keycode, CGEventFlags flags,
                    std::u16string_view text = {}, int64_t autorepeat = 0) {
  CGEventRef event = CGEventCreateKeyboardEvent(nullptr, keycode, true);
  CGEventSetType(event, type);
  CGEventSetFlags(event, flags);
  if (autorepeat != 0) CGEventSetIntegerValueField(event, kCGKeyboardEventAutorepeat, autorepeat);
  if (!text.empty()) {
    CGEventKeyboardSetUnicodeString(event, text.size(),
                                    reinterpret_cast<const UniChar*>(text.data()));
  }
  return event;
}

CGEventRef mouseEvent(CGEventType type, CGPoint at, uint32_t button, int64_t number,
                      int64_t clickState, CGEventFlags flags) {
  CGEventRef event = CGEventCreateMouseEvent(nullptr, type, at, static_cast<CGMouseButton>(button));
  CGEventSetIntegerValueField(event, kCGMouseEventNumber, number);
  CGEventSetIntegerValueField(event, kCGMouseEventClickState, clickState);
  CGEventSetFlags(event, flags);
  return event;
}

// A continuous scroll with every delta a Mac keeps: the pixels it was made with, and the line
// deltas the system derives from them, set here by hand.
CGEventRef pixelScroll(int32_t pixels1, int32_t pixels2, int64_t lines1, int64_t lines2) {
  CGEventRef event =
      CGEventCreateScrollWheelEvent2(nullptr, kCGScrollEventUnitPixel, 2, pixels1, pixels2, 0);
  CGEventSetIntegerValueField(event, kCGScrollWheelEventIsContinuous, 1);
  CGEventSetIntegerValueField(event, kCGScrollWheelEventPointDeltaAxis1, pixels1);
  CGEventSetIntegerValueField(event, kCGScrollWheelEventPointDeltaAxis2, pixels2);
  CGEventSetIntegerValueField(event, kCGScrollWheelEventDeltaAxis1, lines1);
  CGEventSetIntegerValueField(event, kCGScrollWheelEventDeltaAxis2, lines2);
  return event;
}

CGEventRef otherEvent(CGEventFlags flags) {
  CGEventRef event = CGEventCreate(nullptr);
  CGEventSetFlags(event, flags);
  return event;
}

// Every key of each kind's line, so that one the watcher leaves out fails as surely as a wrong
// value. The events are made here rather than by the agent, for what only a Mac's own devices
// make: a Caps Lock change, a plain move, a fourth button.
TEST_F(EventLineTest, WritesTheWholeLineOfEachKind) {
  constexpr CGEventFlags kNonCoalesced = kCGEventFlagMaskNonCoalesced;
  constexpr CGEventFlags kCommand = kCGEventFlagMaskCommand;
  struct Case {
    const char* name;
    CGEventRef event;
    const char* line;
  };
  const Case cases[] = {
      {"a key with 20 units of text",
       keyEvent(kCGEventKeyDown, 0, 0, u"a\"b\\c\nd\tcaf\u00e9 \U0001F600 ende"),
       R"({"type":10,"flags":0,"keycode":0,"down":true,"text":"a\"b\\c\u000ad\u0009café 😀 ende","fields":{"8":0},"time":1234.0625})"},
      {"a key up with no text", keyEvent(kCGEventKeyUp, 8, kCommand),
       R"({"type":11,"flags":1048576,"keycode":8,"down":false,"fields":{"8":0},"time":1234.0625})"},
      {"a repeat", keyEvent(kCGEventKeyDown, 124, 0, {}, 1),
       R"({"type":10,"flags":0,"keycode":124,"down":true,"fields":{"8":1},"time":1234.0625})"},
      {"Caps Lock on",
       keyEvent(kCGEventFlagsChanged, 57, kCGEventFlagMaskAlphaShift | kNonCoalesced),
       R"({"type":12,"flags":65792,"keycode":57,"down":true,"fields":{"8":0},"time":1234.0625})"},
      {"Caps Lock off", keyEvent(kCGEventFlagsChanged, 57, kNonCoalesced),
       R"({"type":12,"flags":256,"keycode":57,"down":false,"fields":{"8":0},"time":1234.0625})"},
      {"a plain move", mouseEvent(kCGEventMouseMoved, {100.25, -3.5}, 0, 0, 0, 0),
       R"({"type":5,"flags":0,"x":100.25,"y":-3.5,"button":0,"fields":{"0":0,"1":0},"time":1234.0625})"},
      {"a left press", mouseEvent(kCGEventLeftMouseDown, {756, 491}, 0, 124, 2, kCommand),
       R"({"type":1,"flags":1048576,"x":756,"y":491,"button":0,"fields":{"0":124,"1":2},"time":1234.0625})"},
      {"a right drag", mouseEvent(kCGEventRightMouseDragged, {1511.5, 0}, 1, 125, 1, 0),
       R"({"type":7,"flags":0,"x":1511.5,"y":0,"button":1,"fields":{"0":125,"1":1},"time":1234.0625})"},
      {"a fourth button's release", mouseEvent(kCGEventOtherMouseUp, {10, 20}, 3, 126, 1, 0),
       R"({"type":26,"flags":0,"x":10,"y":20,"button":3,"fields":{"0":126,"1":1},"time":1234.0625})"},
      {"a scroll", CGEventCreateScrollWheelEvent2(nullptr, kCGScrollEventUnitLine, 2, -3, 2, 0),
       R"({"type":22,"flags":0,"wheel1":-3,"wheel2":2,"fields":{"88":0,"96":0,"97":0},"time":1234.0625})"},
      {"a pixel scroll", pixelScroll(-12, 7, -1, 1),
       R"({"type":22,"flags":0,"wheel1":-1,"wheel2":1,"fields":{"88":1,"96":-12,"97":7},"time":1234.0625})"},
      {"any other event", otherEvent(kCGEventFlagMaskShift),
       R"({"type":0,"flags":131072,"time":1234.0625})"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(eventLine(c.event, kSeenAt), c.line) << c.name;
    CFRelease(c.event);
  }
}

using Members = std::vector<std::pair<std::string, std::string>>;

// The members of a one-level JSON object (trace and watcher lines), each value as written; a
// nested object, such as "fields", is kept whole.
Members membersOf(std::string_view json) {
  Members members;
  size_t i = 1;  // past '{'
  while (i < json.size() && json[i] == '"') {
    const size_t keyEnd = json.find('"', i + 1);
    std::string key(json.substr(i + 1, keyEnd - i - 1));
    size_t end = keyEnd + 2;  // past '":'
    if (json[end] == '"') {
      for (++end; json[end] != '"'; ++end) end += json[end] == '\\';
      ++end;
    } else if (json[end] == '{') {
      end = json.find('}', end) + 1;
    } else {
      end = json.find_first_of(",}", end);
    }
    members.emplace_back(key, std::string(json.substr(keyEnd + 2, end - keyEnd - 2)));
    i = end + 1;
  }
  return members;
}

std::map<std::string, std::string> mapOf(const Members& members) {
  return {members.begin(), members.end()};
}

// What the trace says of one watcher key: fields read as 0 when never set, and flags never set as
// 0, as an event's getters read them.
std::string expectedValue(const std::map<std::string, std::string>& trace, const std::string& key,
                          const std::string& watched) {
  auto found = trace.find(key);
  if (key == "fields") {
    const auto set = mapOf(membersOf(found == trace.end() ? "{}" : found->second));
    std::string fields = "{";
    for (const auto& [number, ignored] : membersOf(watched)) {
      auto value = set.find(number);
      fields += (fields.size() > 1 ? ",\"" : "\"") + number +
                "\":" + (value == set.end() ? "0" : value->second);
    }
    return fields + "}";
  }
  if (found == trace.end()) return "(absent)";
  return key == "flags" && found->second == "null" ? "0" : found->second;
}

struct Session {
  const char* name;
  std::vector<std::string> lines;
};

const Session kSessions[] = {
    {"modifiers and chords",
     {"KEYDOWN 16", "KEYDOWN 65", "KEYUP 65", "KEYUP 16", "KEYDOWN 17", "KEYDOWN 67", "KEYUP 67",
      "KEYUP 17", "KEYDOWN 165", "KEYPRESS 39", "KEYUP 165", "KEYDOWN 91", "KEYUP 91"}},
    // a"b\c, a line feed, d, a tab, café and an emoji; then 61 characters in four strokes.
    {"text",
     {"TEXT YSJiXGMKZAljYWbDqSDwn5iA",
      "TEXT WndhbnppZyBaZWljaGVuIGxhbmcsIHVuZCBub2NoIGzDpG5nZXI6IMO8YmVyIGRpZSBHcmVuemUgaGluYXVz"}},
    {"buttons, drags and odd coordinates",
     {"MOVE 100.25 -3.5", "CLICK left", "DBLCLICK right", "MOUSEDOWN middle", "MOVE 1e300 2",
      "MOVE nan 5", "MOUSEUP middle", "MOUSEDOWN left 3", "MOVERATIO 0.5 0.5", "MOUSEUP left"}},
    {"modifiers on buttons", {"KEYDOWN 18", "MOUSEDOWN right", "MOUSEUP right", "KEYUP 18"}},
    {"wheels", {"WHEEL 1", "WHEEL -1", "HWHEEL 1", "HWHEEL 0", "SCROLL 0 12.5", "SCROLL -7 0.5"}},
    {"a held key repeating", {"KEYDOWN 39", "KEYDOWN 39", "KEYDOWN 39", "KEYUP 39"}},
};

// The agent's own events, read at the moment of posting as a listen-only tap would read them:
// equal to the trace's line for the same event on every key the watcher writes, in the trace's
// order, with the time last.
TEST_F(EventLineTest, AgreesWithTheTraceOfTheAgentsEvents) {
  for (const Session& session : kSessions) {
    SCOPED_TRACE(session.name);
    fresh();
    std::vector<std::string> watched;
    simSetPostObserver([&](CGEventRef event) { watched.push_back(eventLine(event, kSeenAt)); });
    sendLines(session.lines);
    const std::vector<SimEvent>& posted = simPostedEvents();
    ASSERT_EQ(watched.size(), posted.size());
    ASSERT_FALSE(posted.empty());
    for (size_t i = 0; i < posted.size(); ++i) {
      const std::string traceLine = simTraceLine(posted[i]);
      SCOPED_TRACE("trace:   " + traceLine + "\nwatched: " + watched[i]);
      const Members traceMembers = membersOf(traceLine);
      const auto trace = mapOf(traceMembers);
      const Members line = membersOf(watched[i]);
      ASSERT_EQ(line.back(), (std::pair<std::string, std::string>("time", "1234.0625")));
      size_t lastAt = 0;
      for (size_t k = 0; k + 1 < line.size(); ++k) {
        const auto& [key, value] = line[k];
        EXPECT_EQ(value, expectedValue(trace, key, value)) << key;
        size_t at = 0;
        while (at < traceMembers.size() && traceMembers[at].first != key) ++at;
        // The trace writes a key event's or a scroll's fields only when one was set.
        if (key == "fields" && at == traceMembers.size()) continue;
        EXPECT_LT(at, traceMembers.size()) << key << " is not a trace key";
        EXPECT_GE(at, lastAt) << key << " out of order";
        lastAt = at;
      }
    }
  }
}

}  // namespace
