// Mouse event numbers on macOS 26 and 27, and the release of buttons a host left held.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "keyboard/keyboard.h"
#include "platform/simulated/simulation.h"
#include "pointer/event_numbers.h"
#include "pointer/pointer.h"
#include "support/in_process.h"

namespace {

using Events = std::vector<std::string>;

class PointerNumbersTest : public AgentTest<27> {
 protected:
  void SetUp() override {
    AgentTest::SetUp();
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

TEST_F(PointerNumbersTest, FromMacOS27PressesAdvanceAndTheRestShareTheCurrentNumber) {
  const std::vector<int64_t> numbered = {
      -1,              // MOUSEUP before any press of the run
      15, 15, 15,      // press, drag, release
      16, 16,          // right press and its drag
      17, 16, 17,      // middle press; each release carries its own press's number
      18, 18,          // CLICK
      19, 19, 20, 20,  // DBLCLICK: each press its own number
      21, 21, 21,      // press, drag by ratio, release
      -1,              // a plain move carries none
  };
  for (int major : {26, 27, 28, 100}) {
    SCOPED_TRACE(major);
    SetUp();
    simSetMacOSMajor(major);
    sendLines(kEveryButtonCommand);
    EXPECT_EQ(eventNumbers(), major < 27 ? std::vector<int64_t>(numbered.size(), -1) : numbered);
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
  // Another agent on the same Mac, now 26, reads it again.
  EventPoster poster;
  Pointer another(poster);
  another.postClick(Button::Left);
  EXPECT_EQ(eventNumbers(), (std::vector<int64_t>{-1, -1}));
  EXPECT_EQ(another.eventNumbers().runningMacOSMajor(), 26);
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
    session().pointer.releaseHeldButtons(session().keyboard.modifierFlags());
    EXPECT_TRUE(simPostedEvents().empty());
    EXPECT_EQ(simLiveEvents(), 0);
  }
}

TEST_F(PointerReleaseTest, HeldButtonsAreReleasedLeftRightMiddleAsMouseUpWould) {
  sendLines({"MOUSEDOWN middle", "MOUSEDOWN right 2", "MOUSEDOWN left 3", "MOVE 700 400"});
  holdModifiers(kCGEventFlagMaskCommand);
  simClearPostedEvents();
  session().pointer.releaseHeldButtons(session().keyboard.modifierFlags());
  EXPECT_EQ(simLiveEvents(), 0);
  EXPECT_EQ(takePosted(),
            (Events{"leftup @700,400 click 3 #17 Command", "rightup @700,400 click 2 #16 Command",
                    "otherup @700,400 click 1 #15 Command"}));
  EXPECT_EQ(heldButton(), -1);
  session().pointer.releaseHeldButtons(session().keyboard.modifierFlags());
  EXPECT_TRUE(simPostedEvents().empty());
}

TEST_F(PointerReleaseTest, OnlyTheButtonsStillHeld) {
  sendLines({"MOUSEDOWN left", "MOUSEDOWN right", "MOUSEUP left", "CLICK middle"});
  simClearPostedEvents();
  session().pointer.releaseHeldButtons(session().keyboard.modifierFlags());
  EXPECT_EQ(takePosted(), (Events{"rightup @756,491 click 1 #16"}));
}

}  // namespace
