// The cursor and display queries (GETPOS, RESOLUTION) and MOVERATIO's measure of the main display,
// through the command loop against the simulated desktop.
#include <gtest/gtest.h>

#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "platform/simulated/simulation.h"
#include "pointer/screen.h"
#include "support/describe.h"
#include "support/in_process.h"
#include "support/scratch_file.h"

namespace {

using ScreenTest = AgentTest<25>;

TEST_F(ScreenTest, ResolutionTruncatesTheMainDisplaysSize) {
  simSetDisplays({CGRect{{0, 0}, {1512.9, 982.5}}, CGRect{{-1000, 0}, {1000, 700}}});
  EXPECT_EQ(sendLine("RESOLUTION"), "SCREEN 1512 982 1512 982\n");
}

// Without a display to measure, RESOLUTION answers 1920x1080 and MOVERATIO posts nothing; where
// the cursor can go is the desktop's affair (anywhere without displays, on them otherwise).
TEST_F(ScreenTest, WithoutTheDisplayList) {
  for (bool failing : {false, true}) {
    SCOPED_TRACE(failing ? "the listing fails" : "no displays");
    fresh();
    simSetCursor({1, 2});
    if (failing) {
      simSetFailures(kSimFailDisplays);
    } else {
      simSetDisplays({});
    }
    EXPECT_EQ(sendLines({"MOVERATIO 0.5 0.5", "RESOLUTION", "MOVE 1e300 -1e300", "GETPOS"}),
              "SCREEN 1920 1080 1920 1080\n" +
                  std::string(failing ? "POS 1511 0\n" : "POS 2147483647 -2147483648\n"));
    EXPECT_EQ(takePosted(),
              (Events{"move @1e+300,-1e+300 d9223372036854775807,-9223372036854775808"}));
  }
}

TEST_F(ScreenTest, CursorPositionTruncatesTowardZero) {
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

// DISPLAYS lists every active display that mirrors no other, the main one first: its id, its bounds
// in points (truncated toward zero), its current mode's size in pixels, or its point size when the
// mode cannot be read.
TEST_F(ScreenTest, DisplaysListsEveryActiveDisplay) {
  const struct {
    const char* name;
    std::vector<SimDisplay> displays;
    unsigned failures;
    const char* reply;
    SimMirrors mirrors = {};
  } cases[] = {
      {"one", {{{{0, 0}, {1512, 982}}}}, 0, "DISPLAYS 1 1:0,0,1512,982,1512,982\n"},
      {"a Retina main display and one to its right, a little higher",
       {{{{0, 0}, {1512, 982}}, 2, 69733378}, {{{1512, -98}, {1920, 1080}}, 1, 724238}},
       0,
       "DISPLAYS 2 69733378:0,0,1512,982,3024,1964 724238:1512,-98,1920,1080,1920,1080\n"},
      {"three, fractional, left of and above the main one",
       {{{{0, 0}, {1366.5, 768.75}}, 1.5, 5},
        {{{-800.5, 0}, {800, 600}}, 1, 6},
        {{{0, -1440}, {2560, 1440}}, 2, 7}},
       0,
       "DISPLAYS 3 5:0,0,1366,768,2049,1153 6:-800,0,800,600,800,600 "
       "7:0,-1440,2560,1440,5120,2880\n"},
      {"none", {}, 0, "DISPLAYS 0\n"},
      {"the listing fails", {{{{0, 0}, {1512, 982}}}}, kSimFailDisplays, "DISPLAYS 0\n"},
      {"no mode: the point size",
       {{{{0, 0}, {1512.9, 982.5}}, 2, 9}},
       kSimFailDisplayMode,
       "DISPLAYS 1 9:0,0,1512,982,1512,982\n"},
      {"bounds beyond int saturate; pixels do not",
       {{{{0, 0}, {1e10, 1e10}}, 1, 1}, {{{-1e10, 0}, {10, 10}}, 1, 2}},
       0,
       "DISPLAYS 2 1:0,0,2147483647,2147483647,10000000000,10000000000 "
       "2:-2147483648,0,10,10,10,10\n"},
      {"software mirroring: each mirror set once, as the display the others mirror",
       {{{{0, 0}, {1512, 982}}, 2, 1},
        {{{0, 0}, {1512, 982}}, 1, 2},
        {{{1512, 0}, {1920, 1080}}, 1, 4},
        {{{1512, 0}, {1920, 1080}}, 1, 3}},
       0,
       "DISPLAYS 2 1:0,0,1512,982,3024,1964 3:1512,0,1920,1080,1920,1080\n",
       {{2, 1}, {4, 3}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fresh();
    simSetDisplayList(c.displays);
    simSetFailures(c.failures);
    simSetMirrors(c.mirrors);
    EXPECT_EQ(sendLine("DISPLAYS"), c.reply);
    EXPECT_TRUE(takePosted().empty());
  }
}

// DISPLAYS lists at most sixteen, mirrors not counted; MOVEDISPLAY reaches every active display.
TEST_F(ScreenTest, DisplaysListsAtMostSixteenAndMoveDisplayReachesEveryOne) {
  std::vector<SimDisplay> displays = {{{{0, 0}, {10, 10}}}, {{{0, 0}, {10, 10}}}};
  for (int i = 1; i < 17; ++i) displays.push_back({{{10.0 * i, 0}, {10, 10}}});
  simSetDisplayList(displays);
  simSetMirrors({{2, 1}});
  const std::string reply = sendLine("DISPLAYS");
  EXPECT_EQ(reply.rfind("DISPLAYS 16 1:0,0,10,10,10,10 3:10,0,10,10,10,10 ", 0), 0u) << reply;
  EXPECT_NE(reply.find(" 17:150,0,10,10,10,10\n"), std::string::npos) << reply;
  EXPECT_EQ(sendLines({"MOVEDISPLAY 18 0.5 0.5", "GETPOS"}), "POS 165 5\n");
}

// Displays come and go while the agent runs: each command looks them up anew, so a display that
// left is moved to no more, and one plugged in is listed and reached at once.
TEST_F(ScreenTest, DisplaysComeAndGoWhileTheAgentRuns) {
  const std::string file = temporaryPath("displays");
  const auto plug = [&](const char* list) { std::ofstream(file, std::ios::trunc) << list << "\n"; };
  simSetDisplaysFile(file);
  plug("1512x982#1");
  EXPECT_EQ(sendLine("DISPLAYS"), "DISPLAYS 1 1:0,0,1512,982,1512,982\n");
  plug("1512x982#1,1920x1080@1512,0#2");
  EXPECT_EQ(sendLines({"DISPLAYS", "MOVEDISPLAY 2 0.5 0.5", "GETPOS"}),
            "DISPLAYS 2 1:0,0,1512,982,1512,982 2:1512,0,1920,1080,1920,1080\nPOS 2472 540\n");
  plug("1512x982#1");
  EXPECT_EQ(sendLines({"MOVEDISPLAY 2 0.5 0.5", "DISPLAYS"}),
            "DISPLAYS 1 1:0,0,1512,982,1512,982\n");
  EXPECT_EQ(takePosted(), (Events{"move @2472,540 d1716,49"}));
  simSetDisplaysFile("");
}

}  // namespace
