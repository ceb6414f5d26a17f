// Moves, drags, scrolling and the two queries through the command loop against the simulated
// desktop.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/simulated/simulation.h"
#include "support/describe.h"
#include "support/in_process.h"
#include "support/protocol_case.h"
#include "support/text.h"

namespace {

using PointerMotionTest = AgentTest<25>;  // event numbers have their own tests

// Plain moves carry the motion from where the cursor was, as drags do. A target that is no number
// or infinitely far, given or computed, moves nothing.
TEST_F(PointerMotionTest, MovesGoExactlyWhereAsked) {
  const ProtocolCase cases[] = {
      {"", "MOVE 100.7 200.2\n", {"move @100.7,200.2 d-655,-290 noflags"}, ""},
      {"", "MOVE abc 10\n", {"move @0,10 d-756,-481 noflags"}},
      {"", "MOVE -50 -20.5 extra\n", {"move @-50,-20.5 d-806,-511 noflags"}},
      {"",
       "MOVE 1e300 -1e300\n",
       {"move @1e+300,-1e+300 d9223372036854775807,-9223372036854775808 noflags"}},
      {"", "MOVE inf -inf\n", {}},
      {"", "MOVE nan 5\n", {}},
      {"", "MOVERATIO 0.5 0.25\n", {"move @756,245.5 d0,-245 noflags"}, ""},
      {"", "MOVERATIO 2 2\n", {"move @3024,1964 d2268,1473 noflags"}},
      {"", "MOVERATIO -1 0\n", {"move @-1512,0 d-2268,-491 noflags"}},
      {"", "MOVERATIO 0.5 nan\n", {}},
      {"", "MOVERATIO 1e308 0\n", {}},
  };
  runCases(cases, {.macOSMajor = 25});
}

// Only the sign of a wheel amount counts, and 0 goes with the negatives; no flags, whatever is
// held.
TEST_F(PointerMotionTest, ScrollSigns) {
  const ProtocolCase cases[] = {
      {"positive vertical amounts", "WHEEL 1\nWHEEL 120\nWHEEL 2147483647\n",
       Events(3, "scroll -3,0 noflags"), ""},
      {"zero, negative or unreadable vertical amounts",
       "WHEEL 0\nWHEEL -5\nWHEEL -2147483648\nWHEEL abc\n", Events(4, "scroll 3,0 noflags")},
      {"positive horizontal amounts", "HWHEEL 1\nHWHEEL 2147483647\n",
       Events(2, "scroll 0,3 noflags"), ""},
      {"zero or negative horizontal amounts", "HWHEEL 0\nHWHEEL -1\nHWHEEL -2147483648\n",
       Events(3, "scroll 0,-3 noflags")},
  };
  runCases(cases, {.macOSMajor = 25, .held = kCGEventFlagMaskShift});
}

TEST_F(PointerMotionTest, UncreatableEventsPostNothing) {
  simSetFailures(kSimFailMouse | kSimFailScroll);
  EXPECT_EQ(sendLines({"MOVE 1 2", "MOVERATIO 0.1 0.1", "WHEEL 1", "HWHEEL 1", "MOUSEDOWN left",
                       "MOVE 3 4"}),
            "ACK MOUSEDOWN\n");
  EXPECT_TRUE(takePosted().empty());
}

// ---- Drags ---------------------------------------------------------------------------------

TEST_F(PointerMotionTest, MovesWhileAButtonIsHeldDragThatButton) {
  const ProtocolCase cases[] = {
      {"left",
       "MOUSEDOWN left\nMOVE 800.9 400.2\nMOUSEUP left\nMOVE 10 20\n",
       {"leftdown @756,491 click 1", "leftdrag @800.9,400.2 click 1 d44,-90",
        "leftup @800.9,400.2 click 1", "move @10,20 d-790,-380 noflags"},
       "ACK MOUSEDOWN\nACK MOUSEUP\n"},
      {"right",
       "MOUSEDOWN right\nMOVE 800.9 400.2\nMOUSEUP right\nMOVE 10 20\n",
       {"rightdown @756,491 click 1", "rightdrag @800.9,400.2 click 1 d44,-90",
        "rightup @800.9,400.2 click 1", "move @10,20 d-790,-380 noflags"}},
      {"middle",
       "MOUSEDOWN middle\nMOVE 800.9 400.2\nMOUSEUP middle\nMOVE 10 20\n",
       {"otherdown @756,491 click 1", "otherdrag @800.9,400.2 click 1 d44,-90",
        "otherup @800.9,400.2 click 1", "move @10,20 d-790,-380 noflags"}},
  };
  runCases(cases, {.macOSMajor = 25});
}

TEST_F(PointerMotionTest, DragDeltasRunFromWhereTheCursorWas) {
  sendLine("MOUSEDOWN left");
  sendLines({"MOVE 760.5 480.5", "MOVE 760 480", "MOVERATIO 0.5 0.5", "MOVE 1e300 nan",
             "MOVE 1e300 -1e300"});
  EXPECT_EQ(takePosted(),
            (Events{"leftdown @756,491 click 1", "leftdrag @760.5,480.5 click 1 d4,-10",
                    "leftdrag @760,480 click 1 d0,0", "leftdrag @756,491 click 1 d-4,11",
                    "leftdrag @1e+300,-1e+300 click 1 d9223372036854775807,-9223372036854775808"}));
}

TEST_F(PointerMotionTest, DragCarriesThePressCountAndTheModifierFlags) {
  sendLines({"MOUSEDOWN left", "MOUSEUP left", "MOUSEDOWN left"});
  holdModifiers(kCGEventFlagMaskShift | kCGEventFlagMaskAlternate);
  simClearPostedEvents();
  sendLine("MOVE 756 491");
  EXPECT_EQ(takePosted(), (Events{"leftdrag @756,491 click 2 d0,0 Shift+Alternate"}));
  sendLines({"MOUSEUP left", "MOUSEDOWN right 3"});
  simClearPostedEvents();
  sendLine("MOVE 750 491");
  EXPECT_EQ(takePosted(), (Events{"rightdrag @750,491 click 3 d-6,0 Shift+Alternate"}));
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
  EXPECT_EQ(types,
            (Events{"leftdrag", "leftup", "rightdrag", "rightup", "otherdrag", "otherup", "move"}));
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
  EXPECT_EQ(takePosted(), (Events{"move @700,400 d-56,-91 noflags"}));
}

TEST_F(PointerMotionTest, WithUnreadableCursorMovesClaimNoMotionAndGetPosAnswersNothing) {
  sendLine("MOUSEDOWN left");
  simSetFailures(kSimFailCreate);
  simClearPostedEvents();
  sendLines({"MOVE 700 400", "MOUSEUP left", "MOVE 710 410"});
  EXPECT_EQ(sendLine("GETPOS"), "");
  EXPECT_EQ(takePosted(),
            (Events{"leftdrag @700,400 click 1", "leftup @0,0 click 1", "move @710,410 noflags"}));
}

// MOVEDISPLAY aims at fractions of the display with that id, as MOVE would there: a plain move,
// or a drag of the held button; an id that names no active display, or one that mirrors another,
// or is no number, moves nothing.
TEST_F(PointerMotionTest, MoveDisplayAimsAtTheDisplayWithThatId) {
  const ProtocolCase cases[] = {
      {"", "MOVEDISPLAY 724238 0.5 0.5\n", {"move @2472,442 d1716,-49 noflags"}, ""},
      {"", "MOVEDISPLAY 69733378 0 0\n", {"move @0,0 d-756,-491 noflags"}},
      {"", "MOVEDISPLAY 724238 1.5 -1\n", {"move @4392,-1178 d3636,-1669 noflags"}},
      {"", "MOVEDISPLAY 724238 abc 1 extra\n", {"move @1512,982 d756,491 noflags"}},
      {"", "MOVEDISPLAY 1 0.5 0.5\n", {}, ""},
      {"", "MOVEDISPLAY -724238 0.5 0.5\n", {}},
      {"", "MOVEDISPLAY 724238x 0.5 0.5\n", {}},
      {"724238 + 2^32", "MOVEDISPLAY 4295691534 0.5 0.5\n", {}},
      {"a mirror of the main display", "MOVEDISPLAY 5 0.5 0.5\n", {}},
      {"", "MOVEDISPLAY 724238 nan nan\n", {}},
      {"", "MOVEDISPLAY 724238 inf 0\n", {}},
      {"a drag",
       "MOUSEDOWN left\nMOVEDISPLAY 724238 0.5 0.5\n",
       {"leftdown @756,491 click 1", "leftdrag @2472,442 click 1 d1716,-49"},
       "ACK MOUSEDOWN\n"},
  };
  runCases(cases, {.macOSMajor = 25, .before = [] {
                     simSetDisplayList({{{{0, 0}, {1512, 982}}, 2, 69733378},
                                        {{{1512, -98}, {1920, 1080}}, 1, 724238},
                                        {{{0, 0}, {1512, 982}}, 1, 5}});
                     simSetMirrors({{5, 69733378}});
                   }});
}

// SCROLL posts pixels, continuous, with no flags, the wheels pointing Quartz's way; each axis
// carries the fraction it could not post, exactly; a delta past 100,000 is 100,000, one that is no
// number 0.
TEST_F(PointerMotionTest, ScrollPostsPixelsAndCarriesFractions) {
  const ProtocolCase cases[] = {
      {"", "SCROLL 0 120\n", {"scroll pixel -120,0 continuous noflags"}, ""},
      {"", "SCROLL -30 5.9\n", {"scroll pixel -5,30 continuous noflags"}},
      {"halves add up", repeat("SCROLL 0 0.5\n", 3), {"scroll pixel -1,0 continuous noflags"}},
      {"both axes", repeat("SCROLL 0.6 -0.6\n", 2), {"scroll pixel 1,-1 continuous noflags"}},
      {"fractions cancel", "SCROLL 0.5 0\nSCROLL -0.5 0\nSCROLL 0.9 0\n", {}},
      {"", "SCROLL 1e300 -1e300\n", {"scroll pixel 100000,-100000 continuous noflags"}},
      {"", "SCROLL nan inf\nSCROLL -inf 2\n", {"scroll pixel -2,0 continuous noflags"}},
      {"", "SCROLL abc 0\n", {}},
      {"10 halves", repeat("SCROLL 0 0.5\n", 10),
       Events(5, "scroll pixel -1,0 continuous noflags")},
      {"10 tenths", repeat("SCROLL 0.1 0.1\n", 10), {"scroll pixel -1,-1 continuous noflags"}},
      {"100,000 tenths", repeat("SCROLL 0.1 -0.1\n", 100000),
       Events(10000, "scroll pixel 1,-1 continuous noflags"), ""},
  };
  runCases(cases, {.macOSMajor = 25, .held = kCGEventFlagMaskShift});
}

}  // namespace
