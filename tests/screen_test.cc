// The cursor and display queries (GETPOS, RESOLUTION) and MOVERATIO's measure of the main display,
// through the command loop against the simulated desktop.
#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "platform/simulated/simulation.h"
#include "pointer/screen.h"
#include "support/describe.h"
#include "support/in_process.h"

namespace {

using ScreenTest = AgentTest<26>;

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
              (Events{"move @1e+300,-1e+300 d9223372036854775807,-9223372036854775808 noflags"}));
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

}  // namespace
