// User activity is declared before input at most once a second, and no power assertion outlives
// its declaration.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/simulated/simulation.h"
#include "platform/user_activity.h"
#include "support/in_process.h"

namespace {

TEST(UserActivityTest, IsDeclaredAtMostOnceASecondAndReleasesEveryAssertion) {
  const struct {
    const char* name;
    std::vector<double> times;  // seconds after kStartTime of each declare
    uint64_t declarations;
    unsigned failures = 0;
  } cases[] = {
      {"the first at once", {0}, 1},
      {"a burst is one", {0, 0.2, 0.5, 1.0}, 1},
      {"again once more than a second passed", {0, 1.001, 1.5, 2.5}, 3},
      {"a clock set back", {0, -5, -4.5}, 2},
      {"none while the power manager refuses", {0, 2}, 0, kSimFailPower},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    resetAgent();
    simSetFailures(c.failures);
    const long liveBefore = simLiveAssertions();
    UserActivity activity;
    for (double time : c.times) activity.declare(Seconds(kStartTime + time));
    EXPECT_EQ(simUserActivityCount(), c.declarations);
    EXPECT_EQ(simLiveAssertions(), liveBefore);
  }
}

// Through the commands: input declares, a pause of over a second declares again, queries and
// refused commands declare nothing.
TEST(UserActivityTest, IsDeclaredByTheCommandsThatPostInput) {
  const struct {
    const char* name;
    bool trusted;
    std::vector<std::string> lines;
    uint64_t declarations;
  } cases[] = {
      {"queries post nothing", true, {"PING", "GETPOS", "RESOLUTION"}, 0},
      {"a burst of input is one", true, {"KEYDOWN 65", "KEYUP 65", "MOVE 1 1", "WHEEL 1"}, 1},
      {"a double click (150 ms) is one", true, {"DBLCLICK left"}, 1},
      {"refused for want of the permission", false, {"KEYDOWN 65", "CLICK left", "TEXT aGk="}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    freshAgent(27);
    simSetTrusted(c.trusted);
    sendLines(c.lines);
    EXPECT_EQ(simUserActivityCount(), c.declarations);
    EXPECT_EQ(simLiveAssertions(), 0);
    takePosted();
  }
  freshAgent(27);
  sendLine("KEYPRESS 65");
  simSetClock(kStartTime + 1.5);
  sendLine("KEYPRESS 66");
  EXPECT_EQ(simUserActivityCount(), 2u);
  takePosted();
}

}  // namespace
