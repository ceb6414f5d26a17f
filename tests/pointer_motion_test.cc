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
      {"", "MOVE 100.7 200.2\n", {"move @100.7,200.2 d-655,-290"}, ""},
      {"", "MOVE abc 10\n", {"move @0,10 d-756,-481"}},
      {"", "MOVE -50 -20.5 extra\n", {"move @-50,-20.5 d-806,-511"}},
      {"",
       "MOVE 1e300 -1e300\n",
       {"move @1e+300,-1e+300 d9223372036854775807,-9223372036854775808"}},
      {"", "MOVE inf -inf\n", {}},
      {"", "MOVE nan 5\n", {}},
      {"", "MOVERATIO 0.5 0.25\n", {"move @756,245.5 d0,-245"}, ""},
      {"", "MOVERATIO 2 2\n", {"move @3024,1964 d2268,1473"}},
      {"", "MOVERATIO -1 0\n", {"move @-1512,0 d-2268,-491"}},
      {"", "MOVERATIO 0.5 nan\n", {}},
      {"", "MOVERATIO 1e308 0\n", {}},
  };
  runCases(cases, {.macOSMajor = 25});
}

// Only the sign of a wheel amount counts, and 0 goes with the negatives.
TEST_F(PointerMotionTest, ScrollSigns) {
  const ProtocolCase cases[] = {
      {"positive vertical amounts", "WHEEL 1\nWHEEL 120\nWHEEL 2147483647\n",
       Events(3, "scroll -3,0"), ""},
      {"zero, negative or unreadable vertical amounts",
       "WHEEL 0\nWHEEL -5\nWHEEL -2147483648\nWHEEL abc\n", Events(4, "scroll 3,0")},
      {"positive horizontal amounts", "HWHEEL 1\nHWHEEL 2147483647\n", Events(2, "scroll 0,3"), ""},
      {"zero or negative horizontal amounts", "HWHEEL 0\nHWHEEL -1\nHWHEEL -2147483648\n",
       Events(3, "scroll 0,-3")},
  };
  runCases(cases, {.macOSMajor = 25});
}

TEST_F(PointerMotionTest, UncreatableEventsPostNothing) {
  simSetFailures(kSimFailMouse | kSimFailScroll);
  EXPECT_EQ(sendLines({"MOVE 1 2", "MOVERATIO 0.1 0.1", "MOVEREL 1 1", "WHEEL 1", "HWHEEL 1",
                       "MOUSEDOWN left", "MOVE 3 4", "MOVEREL 1 1"}),
            "ACK MOUSEDOWN\n");
  EXPECT_TRUE(takePosted().empty());
}

// ---- Drags ---------------------------------------------------------------------------------

TEST_F(PointerMotionTest, MovesWhileAButtonIsHeldDragThatButton) {
  const ProtocolCase cases[] = {
      {"left",
       "MOUSEDOWN left\nMOVE 800.9 400.2\nMOUSEUP left\nMOVE 10 20\n",
       {"leftdown @756,491 click 1", "leftdrag @800.9,400.2 click 1 d44,-90",
        "leftup @800.9,400.2 click 1", "move @10,20 d-790,-380"},
       "ACK MOUSEDOWN\nACK MOUSEUP\n"},
      {"right",
       "MOUSEDOWN right\nMOVE 800.9 400.2\nMOUSEUP right\nMOVE 10 20\n",
       {"rightdown @756,491 click 1", "rightdrag @800.9,400.2 click 1 d44,-90",
        "rightup @800.9,400.2 click 1", "move @10,20 d-790,-380"}},
      {"middle",
       "MOUSEDOWN middle\nMOVE 800.9 400.2\nMOUSEUP middle\nMOVE 10 20\n",
       {"otherdown @756,491 click 1", "otherdrag @800.9,400.2 click 1 d44,-90",
        "otherup @800.9,400.2 click 1", "move @10,20 d-790,-380"}},
      {"back",
       "MOUSEDOWN x1\nMOVE 800.9 400.2\nMOUSEUP back\nMOVE 10 20\n",
       {"otherdown @756,491 button 3 click 1", "otherdrag @800.9,400.2 button 3 click 1 d44,-90",
        "otherup @800.9,400.2 button 3 click 1", "move @10,20 d-790,-380"}},
      {"forward",
       "MOUSEDOWN forward\nMOVERATIO 0.5 0\nMOUSEUP x2\n",
       {"otherdown @756,491 button 4 click 1", "otherdrag @756,0 button 4 click 1 d0,-491",
        "otherup @756,0 button 4 click 1"}},
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

TEST_F(PointerMotionTest, SeveralHeldButtonsDragLeftRightMiddleBackForward) {
  sendLines({"MOUSEDOWN forward", "MOUSEDOWN back"});
  EXPECT_EQ(heldButton(), 3);
  sendLines({"MOUSEDOWN middle", "MOUSEDOWN right"});
  EXPECT_EQ(heldButton(), 1);
  sendLine("MOUSEDOWN left");
  EXPECT_EQ(heldButton(), 0);
  simClearPostedEvents();
  for (const char* button : {"left", "right", "middle", "back", "forward"}) {
    sendLine("MOVEREL 1 0");
    sendLine(std::string("MOUSEUP ") + button);
  }
  sendLine("MOVEREL 1 0");
  EXPECT_EQ(heldButton(), -1);
  Events kinds;  // the type, and the button when not the type's own
  for (const std::string& e : takePosted()) {
    const size_t button = e.find(" button ");
    kinds.push_back(e.substr(0, e.find(' ')) +
                    (button == std::string::npos ? "" : e.substr(button, 9)));
  }
  EXPECT_EQ(kinds, (Events{"leftdrag", "leftup", "rightdrag", "rightup", "otherdrag", "otherup",
                           "otherdrag button 3", "otherup button 3", "otherdrag button 4",
                           "otherup button 4", "move"}));
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
  EXPECT_EQ(takePosted(), (Events{"move @700,400 d-56,-91"}));
}

TEST_F(PointerMotionTest, WithUnreadableCursorMovesClaimNoMotionAndGetPosAnswersNothing) {
  sendLine("MOUSEDOWN left");
  simSetFailures(kSimFailCreate);
  simClearPostedEvents();
  sendLines({"MOVE 700 400", "MOUSEUP left", "MOVE 710 410", "MOVEREL 5 5"});
  EXPECT_EQ(sendLine("GETPOS"), "");
  EXPECT_EQ(takePosted(),
            (Events{"leftdrag @700,400 click 1", "leftup @0,0 click 1", "move @710,410"}));
}

// MOVEDISPLAY aims at fractions of the display with that id, as MOVE would there: a plain move,
// or a drag of the held button; an id that names no active display, or one that mirrors another,
// or is no number, moves nothing.
TEST_F(PointerMotionTest, MoveDisplayAimsAtTheDisplayWithThatId) {
  const ProtocolCase cases[] = {
      {"", "MOVEDISPLAY 724238 0.5 0.5\n", {"move @2472,442 d1716,-49"}, ""},
      {"", "MOVEDISPLAY 69733378 0 0\n", {"move @0,0 d-756,-491"}},
      {"", "MOVEDISPLAY 724238 1.5 -1\n", {"move @4392,-1178 d3636,-1669"}},
      {"", "MOVEDISPLAY 724238 abc 1 extra\n", {"move @1512,982 d756,491"}},
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

// SCROLL posts pixels, continuous, the wheels pointing Quartz's way; each axis carries the
// fraction it could not post, exactly; a delta past 100,000 is 100,000, one that is no number 0.
TEST_F(PointerMotionTest, ScrollPostsPixelsAndCarriesFractions) {
  const ProtocolCase cases[] = {
      {"", "SCROLL 0 120\n", {"scroll pixel -120,0 continuous"}, ""},
      {"", "SCROLL -30 5.9\n", {"scroll pixel -5,30 continuous"}},
      {"halves add up", repeat("SCROLL 0 0.5\n", 3), {"scroll pixel -1,0 continuous"}},
      {"both axes", repeat("SCROLL 0.6 -0.6\n", 2), {"scroll pixel 1,-1 continuous"}},
      {"fractions cancel", "SCROLL 0.5 0\nSCROLL -0.5 0\nSCROLL 0.9 0\n", {}},
      {"", "SCROLL 1e300 -1e300\n", {"scroll pixel 100000,-100000 continuous"}},
      {"", "SCROLL nan inf\nSCROLL -inf 2\n", {"scroll pixel -2,0 continuous"}},
      {"", "SCROLL abc 0\n", {}},
      {"10 halves", repeat("SCROLL 0 0.5\n", 10), Events(5, "scroll pixel -1,0 continuous")},
      {"10 tenths", repeat("SCROLL 0.1 0.1\n", 10), {"scroll pixel -1,-1 continuous"}},
      {"100,000 tenths", repeat("SCROLL 0.1 -0.1\n", 100000),
       Events(10000, "scroll pixel 1,-1 continuous"), ""},
      // 1.001 is a hair under itself in binary: its millionths are rounded, not cut, or the
      // thousandth line would find 999 carried where 1,000 are due.
      {"1,000 times 1.001", repeat("SCROLL 0 1.001\n", 1000),
       [] {
         Events e(999, "scroll pixel -1,0 continuous");
         e.push_back("scroll pixel -2,0 continuous");
         return e;
       }()},
  };
  runCases(cases, {.macOSMajor = 25});
}

// MOVEREL moves from the cursor by the whole points built up on each axis, keeping the rest, as
// SCROLL does; a drag while a button is held. At a display's edge the system stops the cursor but
// the deltas keep the whole motion: a game that locked the cursor reads only them.
TEST_F(PointerMotionTest, RelativeMovesCarryFractionsAndKeepTheirDeltasAtTheEdge) {
  const ProtocolCase cases[] = {
      {"", "MOVEREL 10 -20.5\n", {"move @766,471 d10,-20"}, ""},
      {"", "MOVEREL -0.9 0.9\n", {}},
      {"fifths add up",
       repeat("MOVEREL 0.2 -0.4\n", 5),
       {"move @756,490 d0,-1", "move @757,489 d1,-1"}},
      {"10 tenths", repeat("MOVEREL 0.1 0.1\n", 10), {"move @757,492 d1,1"}},
      {"fractions cancel", "MOVEREL 0.5 0.5\nMOVEREL -0.5 -0.5\nMOVEREL 0.9 -0.9\n", {}},
      {"past the right edge",
       "MOVEREL 1000 0\nMOVEREL 5 0\nGETPOS\n",
       {"move @1756,491 d1000,0", "move @1516,491 d5,0"},
       "POS 1511 491\n"},
      {"", "MOVEREL 1e300 -1e300\n", {"move @100756,-99509 d100000,-100000"}},
      {"", "MOVEREL nan inf\nMOVEREL -inf 2\n", {"move @756,493 d0,2"}},
      {"", "MOVEREL abc 0\n", {}},
      {"a drag",
       "MOUSEDOWN right\nMOVEREL 3 4\n",
       {"rightdown @756,491 click 1", "rightdrag @759,495 click 1 d3,4"},
       "ACK MOUSEDOWN\n"},
  };
  runCases(cases, {.macOSMajor = 25});
}

}  // namespace
