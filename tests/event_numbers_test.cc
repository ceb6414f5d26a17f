// Mouse event numbers from macOS 26 on, none before, and the product version they depend on.
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "keyboard/keyboard.h"
#include "platform/simulated/simulation.h"
#include "pointer/event_numbers.h"
#include "pointer/pointer.h"
#include "support/describe.h"
#include "support/in_process.h"

namespace {

class EventNumbersTest : public AgentTest<27> {
 protected:
  void SetUp() override {
    AgentTest::SetUp();
    simSetPressCounts(7, 5, 2);  // the first press of the run is number 15
  }
};

const std::vector<std::string> kEveryButtonCommand = {
    "MOUSEUP left", "MOUSEDOWN left",  "MOVE 700 400",     "MOUSEUP left",      "MOUSEDOWN right",
    "MOVE 710 400", "MOVEREL 1 1",     "MOUSEDOWN middle", "MOUSEUP right",     "MOUSEUP middle",
    "CLICK middle", "DBLCLICK left",   "MOUSEDOWN back",   "MOUSEDOWN forward", "MOUSEUP back",
    "MOVEREL 1 1",  "MOUSEUP forward", "CLICK x1",         "MOUSEDOWN left 2",  "MOVERATIO 0.5 0.5",
    "MOUSEUP left", "MOVE 1 1",        "MOVEREL 1 1",
};

std::vector<int64_t> eventNumbers() { return takeField(kCGMouseEventNumber); }

TEST_F(EventNumbersTest, FromMacOS26PressesAdvanceAndTheRestShareTheCurrentNumber) {
  const std::vector<int64_t> numbered = {
      -1,              // MOUSEUP before any press of the run
      15, 15, 15,      // press, drag, release
      16, 16, 16,      // right press and its drags
      17, 16, 17,      // middle press; each release carries its own press's number
      18, 18,          // CLICK
      19, 19, 20, 20,  // DBLCLICK: each press its own number
      21, 22, 21,      // back and forward pressed, back released
      22, 22,          // a drag of forward, then its release
      23, 23,          // CLICK of back
      24, 24, 24,      // press, drag by ratio, release
      -1, -1,          // plain moves carry none
  };
  for (int major : {25, 26, 27, 100}) {
    SCOPED_TRACE(major);
    SetUp();
    simSetMacOSMajor(major);
    sendLines(kEveryButtonCommand);
    EXPECT_EQ(eventNumbers(), major < 26 ? std::vector<int64_t>(numbered.size(), -1) : numbered);
  }
}

TEST_F(EventNumbersTest, SeedIsTakenOnceAtTheFirstPress) {
  sendLine("CLICK left");
  simSetPressCounts(500, 500, 500);
  sendLine("MOUSEDOWN right");
  EXPECT_EQ(eventNumbers(), (std::vector<int64_t>{15, 15, 16}));
}

TEST_F(EventNumbersTest, VersionIsReadOncePerProcess) {
  sendLine("MOUSEDOWN left");  // the first press reads the version
  simSetMacOSMajor(25);
  sendLines({"MOUSEUP left", "CLICK left"});
  EXPECT_EQ(eventNumbers(), (std::vector<int64_t>{15, 15, 16, 16}));
  // Another agent on the same Mac, now 25, reads it again.
  EventPoster poster;
  Pointer another(poster);
  another.postClick(Button::Left, 0);
  EXPECT_EQ(eventNumbers(), (std::vector<int64_t>{-1, -1}));
  EXPECT_EQ(another.eventNumbers().runningMacOSMajor(), 25);
}

TEST_F(EventNumbersTest, UncreatedPressesStillTakeTheirNumber) {
  simSetFailures(kSimFailMouse);
  sendLines({"MOUSEDOWN left", "CLICK left"});
  simSetFailures(0);
  sendLines({"MOUSEUP left", "MOUSEDOWN left"});
  EXPECT_EQ(eventNumbers(), (std::vector<int64_t>{16, 17}));
}

TEST_F(EventNumbersTest, LargeSystemCountersDoNotWrap) {
  simSetPressCounts(4294967295u, 4294967295u, 4294967295u);
  sendLine("CLICK left");
  EXPECT_EQ(eventNumbers(), (std::vector<int64_t>{12884901886, 12884901886}));
}

TEST_F(EventNumbersTest, MajorVersionFromProductVersion) {
  struct Case {
    std::string_view text;
    int major;
  };
  const Case cases[] = {
      {"27.0", 27},
      {"27", 27},
      {"26.3.1", 26},
      {"10.15.7", 10},
      {"100.1", 100},
      {"027.1", 27},
      {"", 0},
      {".27", 0},
      {"abc", 0},
      {"-27.0", 0},
      {"+27.0", 0},
      {" 27.0", 0},
      {"27abc", 0},
      {"27 ", 0},
      {"27,1", 0},
      {"99999999999.0", 0},
      {std::string_view("27\0x", 4), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text));
    EXPECT_EQ(macOSMajorFromVersion(c.text), c.major);
  }
}

}  // namespace
