// Moves, drags, scrolling and the two queries through the command loop against the simulated
// desktop.
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "keyboard/keyboard.h"
#include "platform/simulated/simulation.h"
#include "pointer/pointer.h"
#include "pointer/screen.h"
#include "support/describe.h"
#include "support/in_process.h"

namespace {

using PointerMotionTest = AgentTest<25>;  // event numbers have their own tests

// Plain moves carry the motion from where the cursor was, as drags do. A target that is no number
// or infinitely far, given or computed, moves nothing.
TEST_F(PointerMotionTest, MovesGoExactlyWhereAsked) {
  struct Case {
    const char* line;
    Events events;
  };
  const Case cases[] = {
      {"MOVE 100.7 200.2", {"move @100.7,200.2 d-655,-290 noflags"}},
      {"MOVE abc 10", {"move @0,10 d-756,-481 noflags"}},
      {"MOVE -50 -20.5 extra", {"move @-50,-20.5 d-806,-511 noflags"}},
      {"MOVE 1e300 -1e300",
       {"move @1e+300,-1e+300 d9223372036854775807,-9223372036854775808 noflags"}},
      {"MOVE inf -inf", {}},
      {"MOVE nan 5", {}},
      {"MOVERATIO 0.5 0.25", {"move @756,245.5 d0,-245 noflags"}},
      {"MOVERATIO 2 2", {"move @3024,1964 d2268,1473 noflags"}},
      {"MOVERATIO -1 0", {"move @-1512,0 d-2268,-491 noflags"}},
      {"MOVERATIO 0.5 nan", {}},
      {"MOVERATIO 1e308 0", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    fresh();
    EXPECT_EQ(sendLine(c.line), "");
    EXPECT_EQ(takePosted(), c.events);
  }
}

TEST_F(PointerMotionTest, ScrollSigns) {
  struct Case {
    const char* line;
    const char* event;
  };
  const Case cases[] = {
      {"WHEEL 120", "scroll -3,0 noflags"},
      {"WHEEL abc", "scroll 3,0 noflags"},
      {"HWHEEL 1", "scroll 0,3 noflags"},
      {"HWHEEL 0", "scroll 0,-3 noflags"},
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

// ---- Drags ---------------------------------------------------------------------------------

TEST_F(PointerMotionTest, MovesWhileAButtonIsHeldDragThatButton) {
  struct Case {
    const char* word;
    const char* press;
    const char* drag;
    const char* release;
  };
  const Case cases[] = {
      {"left", "leftdown @756,491 click 1", "leftdrag @800.9,400.2 click 1 d44,-90",
       "leftup @800.9,400.2 click 1"},
      {"right", "rightdown @756,491 click 1", "rightdrag @800.9,400.2 click 1 d44,-90",
       "rightup @800.9,400.2 click 1"},
      {"middle", "otherdown @756,491 click 1", "otherdrag @800.9,400.2 click 1 d44,-90",
       "otherup @800.9,400.2 click 1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.word);
    fresh();
    sendLine(std::string("MOUSEDOWN ") + c.word);
    EXPECT_EQ(sendLine("MOVE 800.9 400.2"), "");
    sendLine(std::string("MOUSEUP ") + c.word);
    sendLine("MOVE 10 20");
    EXPECT_EQ(takePosted(), (Events{c.press, c.drag, c.release, "move @10,20 d-790,-380 noflags"}));
  }
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

TEST_F(PointerMotionTest, ReleaseBeforeAnyPressHoldsNothing) {
  sendLine("MOUSEUP left");
  simClearPostedEvents();
  sendLine("MOVE 1 1");
  EXPECT_EQ(takePosted(), (Events{"move @1,1 d-755,-490 noflags"}));
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

TEST_F(PointerMotionTest, ScrollWheelsOnlyTheSignCountsAndZeroGoesWithTheNegatives) {
  constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  struct Case {
    int32_t amount;
    bool horizontal;
    int32_t vertical;
    int32_t across;
  };
  const Case cases[] = {
      {1, false, -3, 0}, {120, false, -3, 0}, {kMax, false, -3, 0}, {0, false, 3, 0},
      {-5, false, 3, 0}, {kMin, false, 3, 0}, {1, true, 0, 3},      {kMax, true, 0, 3},
      {0, true, 0, -3},  {-1, true, 0, -3},   {kMin, true, 0, -3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.amount << (c.horizontal ? " horizontal" : " vertical"));
    ScrollWheels wheels = scrollWheels(c.amount, c.horizontal);
    EXPECT_EQ(wheels.vertical, c.vertical);
    EXPECT_EQ(wheels.horizontal, c.across);
  }
}

// MOVEDISPLAY aims at fractions of the display with that id, as MOVE would there: a plain move,
// or a drag of the held button; an id that names no active display, or one that mirrors another,
// or is no number, moves nothing.
TEST_F(PointerMotionTest, MoveDisplayAimsAtTheDisplayWithThatId) {
  const struct {
    std::vector<std::string> lines;
    Events events;
  } cases[] = {
      {{"MOVEDISPLAY 724238 0.5 0.5"}, {"move @2472,442 d1716,-49 noflags"}},
      {{"MOVEDISPLAY 69733378 0 0"}, {"move @0,0 d-756,-491 noflags"}},
      {{"MOVEDISPLAY 724238 1.5 -1"}, {"move @4392,-1178 d3636,-1669 noflags"}},
      {{"MOVEDISPLAY 724238 abc 1 extra"}, {"move @1512,982 d756,491 noflags"}},
      {{"MOVEDISPLAY 1 0.5 0.5"}, {}},
      {{"MOVEDISPLAY -724238 0.5 0.5"}, {}},
      {{"MOVEDISPLAY 724238x 0.5 0.5"}, {}},
      {{"MOVEDISPLAY 4295691534 0.5 0.5"}, {}},  // 724238 + 2^32
      {{"MOVEDISPLAY 5 0.5 0.5"}, {}},           // a mirror of the main display
      {{"MOVEDISPLAY 724238 nan nan"}, {}},
      {{"MOVEDISPLAY 724238 inf 0"}, {}},
      {{"MOUSEDOWN left", "MOVEDISPLAY 724238 0.5 0.5"},
       {"leftdown @756,491 click 1", "leftdrag @2472,442 click 1 d1716,-49"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lines.back());
    fresh();
    simSetDisplayList({{{{0, 0}, {1512, 982}}, 2, 69733378},
                       {{{1512, -98}, {1920, 1080}}, 1, 724238},
                       {{{0, 0}, {1512, 982}}, 1, 5}});
    simSetMirrors({{5, 69733378}});
    EXPECT_EQ(sendLines(c.lines), c.lines.size() > 1 ? "ACK MOUSEDOWN\n" : "");
    EXPECT_EQ(takePosted(), c.events);
  }
}

// SCROLL posts pixels, continuous, with no flags, the wheels pointing Quartz's way; each axis
// carries the fraction it could not post, exactly; a delta past 100,000 is 100,000, one that is no
// number 0.
TEST_F(PointerMotionTest, ScrollPostsPixelsAndCarriesFractions) {
  const struct {
    std::vector<std::string> lines;
    Events events;
  } cases[] = {
      {{"SCROLL 0 120"}, {"scroll pixel -120,0 continuous noflags"}},
      {{"SCROLL -30 5.9"}, {"scroll pixel -5,30 continuous noflags"}},
      {{"SCROLL 0 0.5", "SCROLL 0 0.5", "SCROLL 0 0.5"}, {"scroll pixel -1,0 continuous noflags"}},
      {{"SCROLL 0.6 -0.6", "SCROLL 0.6 -0.6"}, {"scroll pixel 1,-1 continuous noflags"}},
      {{"SCROLL 0.5 0", "SCROLL -0.5 0", "SCROLL 0.9 0"}, {}},
      {{"SCROLL 1e300 -1e300"}, {"scroll pixel 100000,-100000 continuous noflags"}},
      {{"SCROLL nan inf", "SCROLL -inf 2"}, {"scroll pixel -2,0 continuous noflags"}},
      {{"SCROLL abc 0"}, {}},
      {std::vector<std::string>(10, "SCROLL 0 0.5"),
       Events(5, "scroll pixel -1,0 continuous noflags")},
      {std::vector<std::string>(10, "SCROLL 0.1 0.1"), {"scroll pixel -1,-1 continuous noflags"}},
      {std::vector<std::string>(100000, "SCROLL 0.1 -0.1"),
       Events(10000, "scroll pixel 1,-1 continuous noflags")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lines.front() + " x" + std::to_string(c.lines.size()));
    fresh();
    holdModifiers(kCGEventFlagMaskShift);
    EXPECT_EQ(sendLines(c.lines), "");
    EXPECT_EQ(takePosted(), c.events);
  }
}

}  // namespace
