// The posting seam's wait at the way out: what remains of the settle time since the last event.
#include "platform/post_event.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>

#include "platform/simulated/simulation.h"
#include "support/in_process.h"

namespace {

TEST(PostEventTest, SettleWaitsWhatRemainsOfFiftyMillisecondsSinceTheLastEvent) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    const char* name;
    std::optional<double> lastPost;
    double now;
    int64_t wait;  // microseconds
  } cases[] = {
      {"nothing posted", std::nullopt, 1000, 0},
      {"posted just now", 1000, 1000, 50000},
      {"posted 20 ms ago", 1000, 1000.02, 30000},
      {"posted exactly 50 ms ago", 1000, 1000.05, 0},
      {"posted a second ago", 1000, 1001, 0},
      {"the clock went back: the whole settle time, no more", 1000, 990, 50000},
      {"an unreadable clock: the whole settle time", 1000, nan, 50000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<Seconds> lastPost =
        c.lastPost ? std::optional<Seconds>(Seconds(*c.lastPost)) : std::nullopt;
    EXPECT_NEAR(settleWait(lastPost, Seconds(c.now)).count(), c.wait, 1);
  }
}

// The command loop's way out: after events it waits the settle time, counted from when the last
// post returned (a post can take time), and after none it ends at once.
TEST(PostEventTest, SettleTheLoopWaitsOnlyAfterPosting) {
  const struct {
    const char* input;
    uint64_t slept;
    double postTakes = 0;  // seconds each post takes
  } cases[] = {
      {"PING\nRESOLUTION\n", 0},     {"KEYDOWN 65\nKEYUP 65\n", 50000},
      {"KEYDOWN 65\n", 50000},  // the release at the end is the last event
      {"MOVE 10 10\nQUIT\n", 50000}, {"MOVE 10 10\n", 50000, 0.03},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    freshAgent(27);
    if (c.postTakes > 0) {
      simSetPostObserver(
          [&](CGEventRef) { simSetClock(CFAbsoluteTimeGetCurrent() + c.postTakes); });
    }
    runLoop(c.input);
    EXPECT_EQ(simSleptMicroseconds(), c.slept);
  }
  simSetPostObserver({});
}

}  // namespace
