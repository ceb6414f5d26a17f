// Moves, drags, scrolling and the two queries through the command loop against the simulated
// desktop.
#include <limits>
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

class PointerMotionTest : public testing::Test {
 protected:
  void SetUp() override {
    resetAgent();
    simSetMacOSMajor(26);  // event numbers have their own tests
    simSetClock(1000.0);
    simSetInstantSleep(true);
  }
};

// Plain moves carry the motion from where the cursor was, as drags do.
TEST_F(PointerMotionTest, MovesGoExactlyWhereAsked) {
  struct Case {
    const char* line;
    Events events;
  };
  const Case cases[] = {
      {"MOVE 100.7 200.2", {"5 b0 @100.7,200.2 f- {4:-655,5:-290}"}},
      {"MOVE abc 10", {"5 b0 @0,10 f- {4:-756,5:-481}"}},
      {"MOVE -50 -20.5 extra", {"5 b0 @-50,-20.5 f- {4:-806,5:-511}"}},
      {"MOVE 1e300 -1e300",
       {"5 b0 @1e+300,-1e+300 f- {4:9223372036854775807,5:-9223372036854775808}"}},
      {"MOVE inf -inf", {"5 b0 @inf,-inf f- {4:9223372036854775807,5:-9223372036854775808}"}},
      {"MOVE nan 5", {"5 b0 @nan,5 f- {4:0,5:-486}"}},
      {"MOVERATIO 0.5 0.25", {"5 b0 @756,245.5 f- {4:0,5:-245}"}},
      {"MOVERATIO 2 2", {"5 b0 @3024,1964 f- {4:2268,5:1473}"}},
      {"MOVERATIO -1 0", {"5 b0 @-1512,0 f- {4:-2268,5:-491}"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    SetUp();
    EXPECT_EQ(sendLine(c.line), "");
    EXPECT_EQ(takePosted(), c.events);
  }
}

TEST_F(PointerMotionTest, ResolutionTruncatesTheMainDisplaysSize) {
  simSetDisplays({CGRect{{0, 0}, {1512.9, 982.5}}, CGRect{{-1000, 0}, {1000, 700}}});
  EXPECT_EQ(sendLine("RESOLUTION"), "SCREEN 1512 982 1512 982\n");
}

TEST_F(PointerMotionTest, ScrollSigns) {
  struct Case {
    const char* line;
    const char* event;
  };
  const Case cases[] = {
      {"WHEEL 120", "22 u1 n2 -3,0 f-"},
      {"WHEEL abc", "22 u1 n2 3,0 f-"},
      {"HWHEEL 1", "22 u1 n2 0,3 f-"},
      {"HWHEEL 0", "22 u1 n2 0,-3 f-"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(sendLine(c.line), "");
    EXPECT_EQ(takePosted(), (Events{c.event}));
  }
}

TEST_F(PointerMotionTest, UncreatableEventsPostNothing) {
  simSetFailures(kSimFailMouse | kSimFailScroll);
  EXPECT_EQ(sendLines({"MOVE 1 2", "MOVERATIO 0.1 0.1", "WHEEL 1", "HWHEEL 1", "MOUSEDOWN left",
                       "MOVE 3 4"}),
            "ACK MOUSEDOWN\n");
  EXPECT_TRUE(takePosted().empty());
}

TEST_F(PointerMotionTest, CursorPositionTruncatesTowardZero) {
  struct Case {
    CGPoint cursor;
    const char* reply;
  };
  constexpr double kInf = std::numeric_limits<double>::infinity();
  const Case cases[] = {
      {{100.9, 50.2}, "POS 100 50\n"},
      {{-200.5, 10.0}, "POS -200 10\n"},
      {{-0.7, -0.2}, "POS 0 0\n"},
      {{1e300, -1e300}, "POS 2147483647 -2147483648\n"},
      {{std::numeric_limits<double>::quiet_NaN(), kInf}, "POS 0 2147483647\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reply);
    simSetCursor(c.cursor);
    EXPECT_EQ(sendLine("GETPOS"), c.reply);
  }
  EXPECT_TRUE(simPostedEvents().empty());
}

// ---- Drags ---------------------------------------------------------------------------------

TEST_F(PointerMotionTest, MovesWhileAButtonIsHeldDragThatButton) {
  struct Case {
    const char* word;
    const char* press;
    const char* drag;
    const char* release;
  };
  const Case cases[] = {
      {"left", "1 b0 @756,491 f0 {1:1}", "6 b0 @800.9,400.2 f0 {1:1,4:44,5:-90}",
       "2 b0 @800.9,400.2 f0 {1:1}"},
      {"right", "3 b1 @756,491 f0 {1:1}", "7 b1 @800.9,400.2 f0 {1:1,4:44,5:-90}",
       "4 b1 @800.9,400.2 f0 {1:1}"},
      {"middle", "25 b2 @756,491 f0 {1:1}", "27 b2 @800.9,400.2 f0 {1:1,4:44,5:-90}",
       "26 b2 @800.9,400.2 f0 {1:1}"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.word);
    SetUp();
    sendLine(std::string("MOUSEDOWN ") + c.word);
    EXPECT_EQ(sendLine("MOVE 800.9 400.2"), "");
    sendLine(std::string("MOUSEUP ") + c.word);
    sendLine("MOVE 10 20");
    EXPECT_EQ(takePosted(), (Events{c.press, c.drag, c.release, "5 b0 @10,20 f- {4:-790,5:-380}"}));
  }
}

TEST_F(PointerMotionTest, DragDeltasRunFromWhereTheCursorWas) {
  sendLine("MOUSEDOWN left");
  sendLines({"MOVE 760.5 480.5", "MOVE 760 480", "MOVERATIO 0.5 0.5", "MOVE 1e300 nan"});
  EXPECT_EQ(takePosted(),
            (Events{"1 b0 @756,491 f0 {1:1}", "6 b0 @760.5,480.5 f0 {1:1,4:4,5:-10}",
                    "6 b0 @760,480 f0 {1:1,4:0,5:0}", "6 b0 @756,491 f0 {1:1,4:-4,5:11}",
                    "6 b0 @1e+300,nan f0 {1:1,4:9223372036854775807,5:0}"}));
}

TEST_F(PointerMotionTest, DragCarriesThePressCountAndTheModifierFlags) {
  sendLines({"MOUSEDOWN left", "MOUSEUP left", "MOUSEDOWN left"});
  holdModifiers(kCGEventFlagMaskShift | kCGEventFlagMaskAlternate);
  simClearPostedEvents();
  sendLine("MOVE 756 491");
  EXPECT_EQ(takePosted(), (Events{"6 b0 @756,491 f655360 {1:2,4:0,5:0}"}));
  sendLines({"MOUSEUP left", "MOUSEDOWN right 3"});
  simClearPostedEvents();
  sendLine("MOVE 750 491");
  EXPECT_EQ(takePosted(), (Events{"7 b1 @750,491 f655360 {1:3,4:-6,5:0}"}));
}

TEST_F(PointerMotionTest, SeveralHeldButtonsDragLeftThenRightThenMiddle) {
  sendLines({"MOUSEDOWN middle", "MOUSEDOWN right"});
  EXPECT_EQ(heldButton(), 1);
  sendLine("MOUSEDOWN left");
  EXPECT_EQ(heldButton(), 0);
  simClearPostedEvents();
  sendLine("MOVE 757 491");
  sendLine("MOUSEUP left");
  sendLine("MOVE 758 491");
  sendLine("MOUSEUP right");
  sendLine("MOVE 759 491");
  sendLine("MOUSEUP middle");
  sendLine("MOVE 760 491");
  EXPECT_EQ(heldButton(), -1);
  Events types;
  for (const std::string& e : takePosted()) types.push_back(e.substr(0, e.find(' ')));
  EXPECT_EQ(types, (Events{"6", "2", "7", "4", "27", "26", "5"}));
}

TEST_F(PointerMotionTest, ClicksEndTheHoldOfTheirButton) {
  sendLines({"CLICK left", "DBLCLICK right"});
  EXPECT_EQ(heldButton(), -1);
  sendLines({"MOUSEDOWN left", "MOUSEDOWN right", "CLICK left"});
  EXPECT_EQ(heldButton(), 1);
  sendLine("DBLCLICK right");
  EXPECT_EQ(heldButton(), -1);
  simClearPostedEvents();
  sendLine("MOVE 700 400");
  EXPECT_EQ(takePosted(), (Events{"5 b0 @700,400 f- {4:-56,5:-91}"}));
}

TEST_F(PointerMotionTest, ReleaseBeforeAnyPressHoldsNothing) {
  sendLine("MOUSEUP left");
  simClearPostedEvents();
  sendLine("MOVE 1 1");
  EXPECT_EQ(takePosted(), (Events{"5 b0 @1,1 f- {4:-755,5:-490}"}));
}

TEST_F(PointerMotionTest, MovesWithUnreadableCursorClaimNoMotion) {
  sendLine("MOUSEDOWN left");
  simSetFailures(kSimFailCreate);
  simClearPostedEvents();
  sendLines({"MOVE 700 400", "MOUSEUP left", "MOVE 710 410"});
  EXPECT_EQ(takePosted(),
            (Events{"6 b0 @700,400 f0 {1:1}", "2 b0 @0,0 f0 {1:1}", "5 b0 @710,410 f- {}"}));
}

}  // namespace
