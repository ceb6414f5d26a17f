// Intervals are measured on the steady clock: a step of the wall clock, which NTP or a person can
// make at any moment, moves none of them. Only the times events are stamped with follow it.
#include "platform/monotonic_clock.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/quartz.h"
#include "platform/simulated/simulation.h"
#include "support/in_process.h"

namespace {

using MonotonicClockTest = AgentTest<>;

TEST_F(MonotonicClockTest, AWallClockStepMovesNoInterval) {
  const struct {
    const char* name;
    std::vector<std::string> before;
    double elapsed;                    // seconds that pass between the two parts
    double wallStep;                   // and how far the wall clock is stepped on top of them
    const char* after;                 // through the loop, to its end
    std::vector<int64_t> clickStates;  // of what the second part posts
    uint64_t declarations;             // of user activity, in all
  } cases[] = {
      {"back an hour between presses 0.7 s apart: no double click",
       {"MOUSEDOWN left", "MOUSEUP left"},
       0.7,
       -3600,
       "MOUSEDOWN left\nMOUSEUP left\n",
       {1, 1},
       1},
      {"forward an hour between presses 0.3 s apart: still a double click",
       {"MOUSEDOWN left", "MOUSEUP left"},
       0.3,
       3600,
       "MOUSEDOWN left\nMOUSEUP left\n",
       {2, 2},
       1},
      {"forward 10 s right after a key press: the whole settle time at the way out",
       {"KEYPRESS 65"},
       0,
       10,
       "",
       {},
       1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fresh();
    sendLines(c.before);
    takePosted();
    simSetClock(CFAbsoluteTimeGetCurrent() + c.elapsed);
    const Seconds steadyBefore = monotonicSeconds();
    simStepWallClock(c.wallStep);
    EXPECT_NEAR((monotonicSeconds() - steadyBefore).count(), 0, 1e-6);
    const uint64_t sleptBefore = simSleptMicroseconds();
    runLoop(c.after);
    // Nothing after the step pauses but the wait at the way out.
    EXPECT_EQ(simSleptMicroseconds() - sleptBefore, 50000u);
    EXPECT_EQ(simUserActivityCount(), c.declarations);
    for (double time : postedTimes()) EXPECT_NEAR(time, c.elapsed + c.wallStep, 1);
    EXPECT_EQ(takeField(kCGMouseEventClickState), c.clickStates);
  }
}

}  // namespace
