// The posting seam's wait at the way out: what remains of the settle time since the last event.
#include "platform/post_event.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>

#include "support/in_process.h"

namespace {

TEST(Settle, WaitsWhatRemainsOfFiftyMillisecondsSinceTheLastEvent) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    const char* name;
    std::optional<double> lastPost;
    double now;
    useconds_t wait;
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
    EXPECT_NEAR(settleMicroseconds(c.lastPost, c.now), c.wait, 1);
  }
}

// The command loop's way out: after events it waits the settle time, after none it ends at once.
TEST(Settle, TheLoopWaitsOnlyAfterPosting) {
  const struct {
    const char* input;
    uint64_t slept;
  } cases[] = {
      {"PING\nRESOLUTION\n", 0},
      {"KEYDOWN 65\nKEYUP 65\n", 50000},
      {"KEYDOWN 65\n", 50000},  // the release at the end is the last event
      {"MOVE 10 10\nQUIT\n", 50000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    freshAgent(27);
    runLoop(c.input);
    EXPECT_EQ(simSleptMicroseconds(), c.slept);
  }
}

}  // namespace
