// The button commands through the command loop against the simulated desktop: event types,
// buttons, click states, flags, pauses and replies. The clock is fixed and pauses are instant.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "keyboard/key_events.h"
#include "platform/simulated/simulation.h"
#include "pointer/buttons.h"
#include "support/command_driver.h"
#include "support/in_process.h"

namespace {

using Events = std::vector<std::string>;

constexpr double kStart = 1000.0;
constexpr uint64_t kShift = kCGEventFlagMaskShift;

class PointerButtonsTest : public testing::Test {
 protected:
  void SetUp() override {
    resetAgent();
    // Event numbers have their own tests; these read the events as macOS 26 sees them.
    simSetMacOSMajor(26);
    simSetClock(kStart);
    simSetInstantSleep(true);
  }
};

// The click state each press and release of the lines carried, in posting order.
std::vector<int64_t> clickStates() {
  std::vector<int64_t> states;
  for (const SimEvent& e : simPostedEvents()) {
    auto it = e.fields.find(kCGMouseEventClickState);
    states.push_back(it == e.fields.end() ? -1 : it->second);
  }
  simClearPostedEvents();
  return states;
}

TEST_F(PointerButtonsTest, WordsSelectTypesAndButtons) {
  struct Case {
    const char* word;
    Events events;
  };
  const Case cases[] = {
      {"left", {"1 b0 @756,491 f0 {1:1}", "2 b0 @756,491 f0 {1:1}"}},
      {"right", {"3 b1 @756,491 f0 {1:1}", "4 b1 @756,491 f0 {1:1}"}},
      {"middle", {"25 b2 @756,491 f0 {1:1}", "26 b2 @756,491 f0 {1:1}"}},
      {"Right", {"1 b0 @756,491 f0 {1:1}", "2 b0 @756,491 f0 {1:1}"}},
      {"x", {"1 b0 @756,491 f0 {1:1}", "2 b0 @756,491 f0 {1:1}"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.word);
    SetUp();
    EXPECT_EQ(sendLine(std::string("MOUSEDOWN ") + c.word), "ACK MOUSEDOWN\n");
    EXPECT_EQ(sendLine(std::string("MOUSEUP ") + c.word), "ACK MOUSEUP\n");
    EXPECT_EQ(takePosted(), c.events);
  }
}

TEST_F(PointerButtonsTest, PressesAtOneSpotCountOneTwoThreeThenOne) {
  for (int i = 0; i < 4; ++i) {
    simSetClock(kStart + 0.3 * i);
    sendLine("MOUSEDOWN left");
    sendLine("MOUSEUP left");
  }
  EXPECT_EQ(clickStates(), (std::vector<int64_t>{1, 1, 2, 2, 3, 3, 1, 1}));
}

TEST_F(PointerButtonsTest, ExplicitAndUnparsableCounts) {
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
    SetUp();
    sendLines({"MOUSEDOWN left", "MOUSEUP left"});
    simSetClock(kStart + 0.1);
    simClearPostedEvents();
    EXPECT_EQ(sendLine(c.press), "ACK MOUSEDOWN\n");
    EXPECT_EQ(clickStates(), (std::vector<int64_t>{c.expected}));
  }
}

TEST_F(PointerButtonsTest, ReleaseBeforeAnyPressCarriesOne) {
  EXPECT_EQ(sendLine("MOUSEUP middle"), "ACK MOUSEUP\n");
  EXPECT_EQ(takePosted(), (Events{"26 b2 @756,491 f0 {1:1}"}));
}

TEST_F(PointerButtonsTest, ClickIsPressPauseReleaseWithClickStateOneAndNoFlags) {
  holdModifiers(kShift);
  EXPECT_EQ(sendLine("CLICK right"), "ACK CLICK\n");
  EXPECT_EQ(takePosted(), (Events{"3 b1 @756,491 f- {1:1}", "4 b1 @756,491 f- {1:1}"}));
  EXPECT_EQ(simSleptMicroseconds(), 10000u);
}

TEST_F(PointerButtonsTest, DoubleClickPostsFourEventsAndWritesNothing) {
  holdModifiers(kShift);
  EXPECT_EQ(sendLine("DBLCLICK middle"), "");
  EXPECT_EQ(takePosted(), (Events{"25 b2 @756,491 f- {1:1}", "26 b2 @756,491 f- {1:1}",
                                  "25 b2 @756,491 f- {1:2}", "26 b2 @756,491 f- {1:2}"}));
  EXPECT_EQ(simSleptMicroseconds(), 50000u);
}

TEST_F(PointerButtonsTest, ClicksNeitherReadNorWriteTheClickMemory) {
  // No MOUSEDOWN yet: a press after a double click is a first press.
  sendLine("DBLCLICK left");
  sendLine("CLICK left");
  simClearPostedEvents();
  sendLine("MOUSEDOWN left");
  EXPECT_EQ(clickStates(), (std::vector<int64_t>{1}));
  EXPECT_EQ(clickMemory(Button(0)).count, 1);
  // A press after clicks counts on from the last MOUSEDOWN.
  sendLine("MOUSEUP left");
  sendLine("DBLCLICK left");
  sendLine("CLICK left");
  simClearPostedEvents();
  sendLine("MOUSEDOWN left");
  EXPECT_EQ(clickStates(), (std::vector<int64_t>{2}));
}

TEST_F(PointerButtonsTest, SeparatePressesAndReleasesCarryTheModifierFlags) {
  holdModifiers(kShift | kCGEventFlagMaskCommand);
  sendLines({"MOUSEDOWN left", "MOUSEUP left"});
  EXPECT_EQ(takePosted(), (Events{"1 b0 @756,491 f1179648 {1:1}", "2 b0 @756,491 f1179648 {1:1}"}));
}

TEST_F(PointerButtonsTest, UnreadableCursorPutsButtonEventsAtTheOrigin) {
  simSetFailures(kSimFailCreate);
  sendLines({"MOUSEDOWN left", "MOUSEUP left", "CLICK right", "DBLCLICK middle"});
  EXPECT_EQ(takePosted(),
            (Events{"1 b0 @0,0 f0 {1:1}", "2 b0 @0,0 f0 {1:1}", "3 b1 @0,0 f- {1:1}",
                    "4 b1 @0,0 f- {1:1}", "25 b2 @0,0 f- {1:1}", "26 b2 @0,0 f- {1:1}",
                    "25 b2 @0,0 f- {1:2}", "26 b2 @0,0 f- {1:2}"}));
  EXPECT_EQ(clickMemory(Button(0)).point.x, 0);
  EXPECT_EQ(clickMemory(Button(0)).point.y, 0);
}

TEST_F(PointerButtonsTest, UncreatableEventsAreSkippedButRepliedAndCounted) {
  simSetFailures(kSimFailMouse);
  EXPECT_EQ(sendLines({"MOUSEDOWN left", "MOUSEUP left", "CLICK left", "DBLCLICK left"}),
            "ACK MOUSEDOWN\nACK MOUSEUP\nACK CLICK\n");
  EXPECT_TRUE(simPostedEvents().empty());
  EXPECT_EQ(simSleptMicroseconds(), 60000u);
  // The memory still took the press, so the next one counts on.
  simSetFailures(0);
  simSetClock(kStart + 0.1);
  sendLine("MOUSEDOWN left");
  EXPECT_EQ(clickStates(), (std::vector<int64_t>{2}));
}

}  // namespace
