// Mouse event numbers on macOS 26 and 27, and the release of buttons a host left held.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "keyboard/key_events.h"
#include "platform/simulated/simulation.h"
#include "pointer/buttons.h"
#include "pointer/event_numbers.h"
#include "support/command_driver.h"
#include "support/in_process.h"

namespace {

using Events = std::vector<std::string>;

class PointerNumbersTest : public testing::Test {
 protected:
  void SetUp() override {
    resetAgent();
    simSetClock(1000.0);
    simSetInstantSleep(true);
    simSetPressCounts(7, 5, 2);  // the first press of the run is number 15
  }
};

const std::vector<std::string> kEveryButtonCommand = {
    "MOUSEUP left",  "MOUSEDOWN left",   "MOVE 700 400",      "MOUSEUP left",   "MOUSEDOWN right",
    "MOVE 710 400",  "MOUSEDOWN middle", "MOUSEUP right",     "MOUSEUP middle", "CLICK middle",
    "DBLCLICK left", "MOUSEDOWN left 2", "MOVERATIO 0.5 0.5", "MOUSEUP left",   "MOVE 1 1",
};

// Field 0 of every posted event, or -1 where it is not set.
std::vector<int64_t> eventNumbers() {
  std::vector<int64_t> numbers;
  for (const SimEvent& e : simPostedEvents()) {
    auto it = e.fields.find(kCGMouseEventNumber);
    numbers.push_back(it == e.fields.end() ? -1 : it->second);
  }
  simClearPostedEvents();
  return numbers;
}

TEST_F(PointerNumbersTest, BeforeMacOS27NothingIsNumbered) {
  simSetMacOSMajor(26);
  sendLines(kEveryButtonCommand);
  std::vector<int64_t> numbers = eventNumbers();
  EXPECT_EQ(numbers.size(), 19u);
  for (int64_t number : numbers) EXPECT_EQ(number, -1);
}

TEST_F(PointerNumbersTest, FromMacOS27PressesAdvanceAndTheRestShareTheCurrentNumber) {
  for (int major : {27, 28, 100}) {
    SCOPED_TRACE(major);
    SetUp();
    simSetMacOSMajor(major);
    sendLines(kEveryButtonCommand);
    EXPECT_EQ(eventNumbers(),
              (std::vector<int64_t>{
                  -1,              // MOUSEUP before any press of the run
                  15, 15, 15,      // press, drag, release
                  16, 16,          // right press and its drag
                  17, 16, 17,      // middle press; each release carries its own press's number
                  18, 18,          // CLICK
                  19, 19, 20, 20,  // DBLCLICK: each press its own number
                  21, 21, 21,      // press, drag by ratio, release
                  -1,              // a plain move carries none
              }));
  }
}

TEST_F(PointerNumbersTest, SeedIsTakenOnceAtTheFirstPress) {
  sendLine("CLICK left");
  simSetPressCounts(500, 500, 500);
  sendLine("MOUSEDOWN right");
  EXPECT_EQ(eventNumbers(), (std::vector<int64_t>{15, 15, 16}));
}

TEST_F(PointerNumbersTest, VersionIsReadOncePerProcess) {
  sendLine("MOUSEDOWN left");  // the first press reads the version
  simSetMacOSMajor(26);
  sendLines({"MOUSEUP left", "CLICK left"});
  EXPECT_EQ(eventNumbers(), (std::vector<int64_t>{15, 15, 16, 16}));
  resetPointerState();
  sendLine("CLICK left");
  EXPECT_EQ(eventNumbers(), (std::vector<int64_t>{-1, -1}));
  EXPECT_EQ(runningMacOSMajor(), 26);
}

TEST_F(PointerNumbersTest, UncreatedPressesStillTakeTheirNumber) {
  simSetFailures(kSimFailMouse);
  sendLines({"MOUSEDOWN left", "CLICK left"});
  simSetFailures(0);
  sendLines({"MOUSEUP left", "MOUSEDOWN left"});
  EXPECT_EQ(eventNumbers(), (std::vector<int64_t>{16, 17}));
}

TEST_F(PointerNumbersTest, LargeSystemCountersDoNotWrap) {
  simSetPressCounts(4294967295u, 4294967295u, 4294967295u);
  sendLine("CLICK left");
  EXPECT_EQ(eventNumbers(), (std::vector<int64_t>{12884901886, 12884901886}));
}

// ---- Buttons left held ----------------------------------------------------------------------

using PointerReleaseTest = PointerNumbersTest;

TEST_F(PointerReleaseTest, NothingHeldPostsNothing) {
  const std::vector<std::vector<std::string>> histories = {
      {},
      {"MOUSEDOWN left", "MOUSEUP left"},
      {"CLICK right", "DBLCLICK middle", "MOUSEUP middle"},
  };
  for (const auto& history : histories) {
    SCOPED_TRACE(history.empty() ? "fresh" : history.back());
    SetUp();
    sendLines(history);
    simClearPostedEvents();
    releaseHeldButtons();
    EXPECT_TRUE(simPostedEvents().empty());
    EXPECT_EQ(simLiveEvents(), 0);
  }
}

TEST_F(PointerReleaseTest, HeldButtonsAreReleasedLeftRightMiddleAsMouseUpWould) {
  sendLines({"MOUSEDOWN middle", "MOUSEDOWN right 2", "MOUSEDOWN left 3", "MOVE 700 400"});
  holdModifiers(kCGEventFlagMaskCommand);
  simClearPostedEvents();
  releaseHeldButtons();
  EXPECT_EQ(simLiveEvents(), 0);
  EXPECT_EQ(takePosted(),
            (Events{"2 b0 @700,400 f1048576 {0:17,1:3}", "4 b1 @700,400 f1048576 {0:16,1:2}",
                    "26 b2 @700,400 f1048576 {0:15,1:1}"}));
  EXPECT_EQ(heldButton(), -1);
  releaseHeldButtons();
  EXPECT_TRUE(simPostedEvents().empty());
}

TEST_F(PointerReleaseTest, OnlyTheButtonsStillHeld) {
  sendLines({"MOUSEDOWN left", "MOUSEDOWN right", "MOUSEUP left", "CLICK middle"});
  simClearPostedEvents();
  releaseHeldButtons();
  EXPECT_EQ(takePosted(), (Events{"4 b1 @756,491 f0 {0:16,1:1}"}));
}

TEST_F(PointerReleaseTest, EndOfInputAndQuitReleaseWhatIsHeld) {
  simSetMacOSMajor(26);
  EXPECT_EQ(runLoop("MOUSEDOWN right\nMOVE 700 400\n"), "ACK MOUSEDOWN\n");
  EXPECT_EQ(takePosted(), (Events{"3 b1 @756,491 f0 {1:1}", "7 b1 @700,400 f0 {1:1,4:-56,5:-91}",
                                  "4 b1 @700,400 f0 {1:1}"}));
  EXPECT_EQ(runLoop("MOUSEDOWN middle\nQUIT\nMOUSEDOWN left\n"), "ACK MOUSEDOWN\n");
  EXPECT_EQ(takePosted(), (Events{"25 b2 @700,400 f0 {1:1}", "26 b2 @700,400 f0 {1:1}"}));
  EXPECT_EQ(runLoop("CLICK left\n"), "ACK CLICK\n");
  EXPECT_EQ(takePosted().size(), 2u);
  EXPECT_EQ(simLiveEvents(), 0);
}

}  // namespace
