// The Pointer's presses, releases, clicks and click counting, and the buttons it releases for a
// host that left them held, through the command loop against the simulated desktop: event types,
// buttons, click states, flags, pauses and replies. The clock is fixed and pauses are instant.
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "keyboard/keyboard.h"
#include "platform/simulated/simulation.h"
#include "pointer/pointer.h"
#include "support/describe.h"
#include "support/in_process.h"
#include "support/protocol_case.h"

namespace {

constexpr uint64_t kShift = kCGEventFlagMaskShift;

// Event numbers have their own tests; these read the events as macOS 25 sees them.
using PointerTest = AgentTest<25>;

// The click state each press and release of the lines carried, in posting order.
std::vector<int64_t> clickStates() { return takeField(kCGMouseEventClickState); }

TEST_F(PointerTest, WordsSelectTypesAndButtons) {
  const ProtocolCase cases[] = {
      {"left",
       "MOUSEDOWN left\nMOUSEUP left\n",
       {"leftdown @756,491 click 1 Shift", "leftup @756,491 click 1 Shift"},
       "ACK MOUSEDOWN\nACK MOUSEUP\n"},
      {"right",
       "MOUSEDOWN right\nMOUSEUP right\n",
       {"rightdown @756,491 click 1 Shift", "rightup @756,491 click 1 Shift"}},
      {"middle",
       "MOUSEDOWN middle\nMOUSEUP middle\n",
       {"otherdown @756,491 click 1 Shift", "otherup @756,491 click 1 Shift"}},
      {"back and forward are other buttons 3 and 4",
       "MOUSEDOWN back\nMOUSEUP back\nMOUSEDOWN forward\nMOUSEUP forward\n",
       {"otherdown @756,491 button 3 click 1 Shift", "otherup @756,491 button 3 click 1 Shift",
        "otherdown @756,491 button 4 click 1 Shift", "otherup @756,491 button 4 click 1 Shift"}},
      {"x1 and x2 are back and forward",
       "CLICK x1\nCLICK x2\n",
       {"otherdown @756,491 button 3 click 1 Shift", "otherup @756,491 button 3 click 1 Shift",
        "otherdown @756,491 button 4 click 1 Shift", "otherup @756,491 button 4 click 1 Shift"}},
      {"unknown words are left",
       "MOUSEDOWN Right\nMOUSEUP x\nCLICK Back\n",
       {"leftdown @756,491 click 1 Shift", "leftup @756,491 click 1 Shift",
        "leftdown @756,491 click 1 Shift", "leftup @756,491 click 1 Shift"}},
      {"a release before any press carries click 1 and holds nothing",
       "MOUSEUP middle\nMOVE 1 1\n",
       {"otherup @756,491 click 1 Shift", "move @1,1 d-755,-490 Shift"}},
      {"a click is a press and a release, click 1",
       "CLICK right\n",
       {"rightdown @756,491 click 1 Shift", "rightup @756,491 click 1 Shift"},
       "ACK CLICK\n"},
      {"a double click is two, writing nothing",
       "DBLCLICK middle\n",
       {"otherdown @756,491 click 1 Shift", "otherup @756,491 click 1 Shift",
        "otherdown @756,491 click 2 Shift", "otherup @756,491 click 2 Shift"},
       ""},
      {"a double click of a side button",
       "DBLCLICK forward\n",
       {"otherdown @756,491 button 4 click 1 Shift", "otherup @756,491 button 4 click 1 Shift",
        "otherdown @756,491 button 4 click 2 Shift", "otherup @756,491 button 4 click 2 Shift"}},
  };
  runCases(cases, {.macOSMajor = 25, .held = kShift});
}

// Every event of every pointer command carries the modifiers held as it is posted, set also when
// none are, as a mouse's own events carry them: Shift-click extends a selection, Command-scroll
// zooms. Presses, releases and drags carried them before; they are here for the side buttons.
TEST_F(PointerTest, EveryEventCarriesTheModifiersHeld) {
  const struct {
    const char* input;
    Events events;  // their flags left out
  } commands[] = {
      {"CLICK left\n", {"leftdown @756,491 click 1", "leftup @756,491 click 1"}},
      {"DBLCLICK right\n",
       {"rightdown @756,491 click 1", "rightup @756,491 click 1", "rightdown @756,491 click 2",
        "rightup @756,491 click 2"}},
      {"MOVE 10 20\n", {"move @10,20 d-746,-471"}},
      {"MOVERATIO 0.5 0\n", {"move @756,0 d0,-491"}},
      {"MOVEDISPLAY 1 0 1\n", {"move @0,982 d-756,491"}},
      {"MOVEREL 4 -1\n", {"move @760,490 d4,-1"}},
      {"WHEEL 1\n", {"scroll -3,0"}},
      {"HWHEEL 1\n", {"scroll 0,3"}},
      {"SCROLL 0 10\n", {"scroll pixel -10,0 continuous"}},
      {"MOUSEDOWN back\nMOVEREL 1 0\nMOUSEUP back\n",
       {"otherdown @756,491 button 3 click 1", "otherdrag @757,491 button 3 click 1 d1,0",
        "otherup @757,491 button 3 click 1"}},
  };
  for (CGEventFlags held : {CGEventFlags{0}, CGEventFlags{kShift},
                            CGEventFlags{kCGEventFlagMaskCommand | kCGEventFlagMaskAlternate}}) {
    SCOPED_TRACE(flagNames(held));
    std::vector<ProtocolCase> cases;
    for (const auto& command : commands) {
      ProtocolCase c{"", command.input, command.events};
      if (held != 0) {
        for (std::string& event : c.events) event += " " + flagNames(held);
      }
      cases.push_back(c);
    }
    runCases(cases, {.macOSMajor = 25, .held = held});
  }
}

TEST_F(PointerTest, ExplicitAndUnparsableCounts) {
  struct Case {
    const char* press;
    int64_t expected;  // after one automatic left press just before, at the same spot
  };
  const Case cases[] = {
      {"MOUSEDOWN right 2", 2}, {"MOUSEDOWN left 5", 1}, {"MOUSEDOWN left 0", 2},
      {"MOUSEDOWN left -1", 2}, {"MOUSEDOWN left x", 2}, {"MOUSEDOWN left 99999999999", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.press);
    fresh();
    sendLines({"MOUSEDOWN left", "MOUSEUP left"});
    simSetClock(kStartTime + 0.1);
    simClearPostedEvents();
    EXPECT_EQ(sendLine(c.press), "ACK MOUSEDOWN\n");
    EXPECT_EQ(clickStates(), (std::vector<int64_t>{c.expected}));
  }
}

TEST_F(PointerTest, ClicksNeitherReadNorWriteTheClickMemory) {
  // No MOUSEDOWN yet: a press after a double click is a first press.
  sendLine("DBLCLICK left");
  sendLine("CLICK left");
  simClearPostedEvents();
  sendLine("MOUSEDOWN left");
  EXPECT_EQ(clickStates(), (std::vector<int64_t>{1}));
  EXPECT_EQ(session().pointer.clickMemory(Button(0)).count, 1);
  // A press after clicks counts on from the last MOUSEDOWN.
  sendLine("MOUSEUP left");
  sendLine("DBLCLICK left");
  sendLine("CLICK left");
  simClearPostedEvents();
  sendLine("MOUSEDOWN left");
  EXPECT_EQ(clickStates(), (std::vector<int64_t>{2}));
}

TEST_F(PointerTest, UnreadableCursorPutsButtonEventsAtTheOrigin) {
  simSetFailures(kSimFailCreate);
  sendLines({"MOUSEDOWN left", "MOUSEUP left", "CLICK right", "DBLCLICK middle"});
  EXPECT_EQ(takePosted(),
            (Events{"leftdown @0,0 click 1", "leftup @0,0 click 1", "rightdown @0,0 click 1",
                    "rightup @0,0 click 1", "otherdown @0,0 click 1", "otherup @0,0 click 1",
                    "otherdown @0,0 click 2", "otherup @0,0 click 2"}));
  EXPECT_EQ(session().pointer.clickMemory(Button(0)).point.x, 0);
  EXPECT_EQ(session().pointer.clickMemory(Button(0)).point.y, 0);
}

TEST_F(PointerTest, UncreatableEventsAreSkippedButRepliedAndCounted) {
  simSetFailures(kSimFailMouse);
  EXPECT_EQ(sendLines({"MOUSEDOWN left", "MOUSEUP left", "CLICK left", "DBLCLICK left"}),
            "ACK MOUSEDOWN\nACK MOUSEUP\nACK CLICK\n");
  EXPECT_TRUE(simPostedEvents().empty());
  EXPECT_EQ(simSleptMicroseconds(), 200000u);
  // The memory still took the press, so the next one counts on.
  simSetFailures(0);
  simSetClock(kStartTime + 0.1);
  sendLine("MOUSEDOWN left");
  EXPECT_EQ(clickStates(), (std::vector<int64_t>{2}));
}

struct Press {
  int button;
  double time;
  CGPoint point;
  int32_t requested;
  int32_t expected;
};

struct ClickCase {
  const char* name;
  std::vector<Press> presses;
};

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

const ClickCase kClickCases[] = {
    {"first press on a fresh memory", {{0, 1, {10, 10}, 0, 1}}},
    {"one spot within the window counts 1 2 3 then 1",
     {{0, 100, {10, 10}, 0, 1},
      {0, 100.2, {10, 10}, 0, 2},
      {0, 100.4, {10, 10}, 0, 3},
      {0, 100.6, {10, 10}, 0, 1},
      {0, 100.8, {10, 10}, 0, 2}}},
    {"exactly 0.5 s later still counts", {{0, 100, {10, 10}, 0, 1}, {0, 100.5, {10, 10}, 0, 2}}},
    {"0.51 s later starts again", {{0, 100, {10, 10}, 0, 1}, {0, 100.51, {10, 10}, 0, 1}}},
    {"exactly 5 points away still counts (3, 4)",
     {{0, 100, {10, 10}, 0, 1}, {0, 100.1, {13, 14}, 0, 2}}},
    {"6 points away starts again", {{0, 100, {10, 10}, 0, 1}, {0, 100.1, {16, 10}, 0, 1}}},
    {"window and radius run from the last press, not the first",
     {{0, 100, {10, 10}, 0, 1}, {0, 100.4, {14, 10}, 0, 2}, {0, 100.8, {18, 10}, 0, 3}}},
    {"an explicit count is taken whatever came before",
     {{1, 100, {10, 10}, 0, 1}, {1, 200, {500, 500}, 2, 2}}},
    {"an explicit count seeds the memory", {{0, 100, {10, 10}, 2, 2}, {0, 100.1, {10, 10}, 0, 3}}},
    {"an explicit 3 wraps the next automatic press",
     {{0, 100, {10, 10}, 3, 3}, {0, 100.1, {10, 10}, 0, 1}}},
    {"an explicit count above 3 is 1",
     {{0, 100, {10, 10}, 0, 1}, {0, 100.1, {10, 10}, 5, 1}, {0, 100.2, {10, 10}, 0, 2}}},
    {"0 and negative requests are automatic",
     {{0, 100, {10, 10}, 0, 1},
      {0, 100.1, {10, 10}, -1, 2},
      {0, 100.2, {10, 10}, std::numeric_limits<int32_t>::min(), 3}}},
    {"the largest request is 1", {{0, 100, {10, 10}, std::numeric_limits<int32_t>::max(), 1}}},
    {"buttons count separately",
     {{0, 100, {10, 10}, 0, 1},
      {1, 100.1, {10, 10}, 0, 1},
      {2, 100.2, {10, 10}, 0, 1},
      {3, 100.2, {10, 10}, 0, 1},
      {4, 100.2, {10, 10}, 0, 1},
      {0, 100.3, {10, 10}, 0, 2},
      {1, 100.35, {10, 10}, 0, 2},
      {4, 100.4, {10, 10}, 0, 2}}},
    {"a NaN time or point never continues a sequence",
     {{0, 100, {10, 10}, 0, 1},
      {0, kNaN, {10, 10}, 0, 1},
      {0, 100.1, {10, 10}, 0, 1},
      {0, 100.2, {kNaN, 10}, 0, 1},
      {0, 100.3, {10, 10}, 0, 1}}},
    {"an out-of-range button counts 1 and touches no memory",
     {{0, 100, {10, 10}, 0, 1},
      {5, 100.1, {10, 10}, 0, 1},
      {-1, 100.1, {10, 10}, 0, 1},
      {0, 100.2, {10, 10}, 0, 2}}},
};

TEST_F(PointerTest, ClickCountOfSequencesOfPresses) {
  for (const ClickCase& c : kClickCases) {
    SCOPED_TRACE(c.name);
    EventPoster poster;
    Pointer pointer(poster);
    for (size_t i = 0; i < c.presses.size(); ++i) {
      const Press& p = c.presses[i];
      EXPECT_EQ(pointer.nextClickCount(p.button, Seconds(p.time), p.point, p.requested), p.expected)
          << "press " << i;
    }
  }
}

// Each half of a click is held long enough for AppKit to see both: 50 ms from press to release,
// and a double click's clicks 50 ms apart, on every button.
TEST_F(PointerTest, ClicksHoldTheirButtonFiftyMilliseconds) {
  const struct {
    const char* line;
    size_t events;
  } cases[] = {
      {"CLICK left", 2},    {"CLICK right", 2},     {"CLICK middle", 2},
      {"DBLCLICK left", 4}, {"DBLCLICK middle", 4}, {"DBLCLICK x2", 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    freshAgent(27);
    sendLine(c.line);
    const std::vector<double> times = postedTimes();
    ASSERT_EQ(times.size(), c.events);
    for (size_t i = 0; i < times.size(); ++i) EXPECT_NEAR(times[i], 0.05 * i, 1e-9) << i;
    EXPECT_EQ(simSleptMicroseconds(), 50000 * (c.events - 1)) << "no pause after the last";
    takePosted();
  }
}

// ---- Buttons left held ----------------------------------------------------------------------

// A fresh agent on macOS 27 with presses numbered from 15, as in the event number tests, so that
// each release names its press.
void freshWithEventNumbers() {
  freshAgent(27);
  simSetPressCounts(7, 5, 2);
}

TEST_F(PointerTest, ReleaseHeldButtonsReleasesOnlyTheButtonsStillHeld) {
  freshWithEventNumbers();
  sendLines({"MOUSEDOWN left", "MOUSEDOWN right", "MOUSEUP left", "CLICK middle"});
  simClearPostedEvents();
  session().pointer.releaseHeldButtons(kCGEventFlagMaskCommand);
  EXPECT_EQ(takePosted(), (Events{"rightup @756,491 click 1 #16 Command"}));
  EXPECT_EQ(heldButton(), -1);
  session().pointer.releaseHeldButtons(0);
  EXPECT_TRUE(simPostedEvents().empty()) << "a second release posts nothing";
}

}  // namespace
