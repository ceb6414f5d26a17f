// The watcher's lines for the agent's own events, read at the moment of posting as a listen-only
// tap would read them, against the trace's line for the same event: equal on every key the
// watcher writes, in the trace's order, with the time last.
#include "watch/event_line.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/simulated/simulation.h"
#include "support/in_process.h"

namespace {

constexpr double kSeenAt = 1234.0625;

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
    {"wheels", {"WHEEL 1", "WHEEL -1", "HWHEEL 1", "HWHEEL 0"}},
};

class WatchEventLineTest : public AgentTest<> {};

TEST_F(WatchEventLineTest, agreesWithTheTraceOnEveryKeyItWrites) {
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
        EXPECT_LT(at, traceMembers.size()) << key << " is not a trace key";
        EXPECT_GE(at, lastAt) << key << " out of order";
        lastAt = at;
      }
    }
  }
}

// An event the watcher does not take apart still makes a line.
TEST_F(WatchEventLineTest, writesTypeFlagsAndTimeOfOtherEvents) {
  CGEventRef event = CGEventCreate(nullptr);
  CGEventSetFlags(event, kCGEventFlagMaskShift);
  EXPECT_EQ(eventLine(event, 0.1), "{\"type\":0,\"flags\":131072,\"time\":0.1}");
  CFRelease(event);
}

}  // namespace
