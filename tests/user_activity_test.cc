// User activity is declared before input at most once a second, and no power assertion outlives
// its declaration.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/simulated/simulation.h"
#include "platform/user_activity.h"
#include "support/in_process.h"

namespace {

TEST(UserActivity, IsDeclaredAtMostOnceASecondAndReleasesEveryAssertion) {
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
    for (double time : c.times) activity.declare(kStartTime + time);
    EXPECT_EQ(simUserActivityCount(), c.declarations);
    EXPECT_EQ(simLiveAssertions(), liveBefore);
  }
}

// With the clock fixed, a pause moves it on, so the times of posted events tell how far apart they
// were posted without the test waiting: a key press's key-up follows its key-down by the pause.
TEST(PostedTimes, FollowTheFixedClockThroughPauses) {
  freshAgent(27);
  sendLine("KEYPRESS 65");
  const std::vector<double> times = postedTimes();
  ASSERT_EQ(times.size(), 2u);
  EXPECT_EQ(times[0], 0);
  EXPECT_GT(times[1], times[0]);
  EXPECT_NEAR(times[1] - times[0], simSleptMicroseconds() * 1e-6, 1e-9);
  takePosted();
}

}  // namespace
