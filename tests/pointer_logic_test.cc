// The pointer's pure rules: click counting with time and point passed in, button words, the
// scroll sign table and the product version's major number.
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "pointer/event_numbers.h"
#include "pointer/motion.h"
#include "pointer/pointer.h"

namespace {

struct Press {
  int button;
  double time;
  CGPoint point;
  int32_t requested;
  int32_t expected;
};

struct ClickCase {
  const char* name;
  std::vector<Press> presses;
};

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

const ClickCase kClickCases[] = {
    {"first press on a fresh memory", {{0, 1, {10, 10}, 0, 1}}},
    {"one spot within the window counts 1 2 3 then 1",
     {{0, 100, {10, 10}, 0, 1},
      {0, 100.2, {10, 10}, 0, 2},
      {0, 100.4, {10, 10}, 0, 3},
      {0, 100.6, {10, 10}, 0, 1},
      {0, 100.8, {10, 10}, 0, 2}}},
    {"exactly 0.5 s later still counts", {{0, 100, {10, 10}, 0, 1}, {0, 100.5, {10, 10}, 0, 2}}},
    {"0.51 s later starts again", {{0, 100, {10, 10}, 0, 1}, {0, 100.51, {10, 10}, 0, 1}}},
    {"exactly 5 points away still counts (3, 4)",
     {{0, 100, {10, 10}, 0, 1}, {0, 100.1, {13, 14}, 0, 2}}},
    {"6 points away starts again", {{0, 100, {10, 10}, 0, 1}, {0, 100.1, {16, 10}, 0, 1}}},
    {"window and radius run from the last press, not the first",
     {{0, 100, {10, 10}, 0, 1}, {0, 100.4, {14, 10}, 0, 2}, {0, 100.8, {18, 10}, 0, 3}}},
    {"an explicit count is taken whatever came before",
     {{1, 100, {10, 10}, 0, 1}, {1, 200, {500, 500}, 2, 2}}},
    {"an explicit count seeds the memory", {{0, 100, {10, 10}, 2, 2}, {0, 100.1, {10, 10}, 0, 3}}},
    {"an explicit 3 wraps the next automatic press",
     {{0, 100, {10, 10}, 3, 3}, {0, 100.1, {10, 10}, 0, 1}}},
    {"an explicit count above 3 is 1",
     {{0, 100, {10, 10}, 0, 1}, {0, 100.1, {10, 10}, 5, 1}, {0, 100.2, {10, 10}, 0, 2}}},
    {"0 and negative requests are automatic",
     {{0, 100, {10, 10}, 0, 1},
      {0, 100.1, {10, 10}, -1, 2},
      {0, 100.2, {10, 10}, std::numeric_limits<int32_t>::min(), 3}}},
    {"the largest request is 1", {{0, 100, {10, 10}, std::numeric_limits<int32_t>::max(), 1}}},
    {"buttons count separately",
     {{0, 100, {10, 10}, 0, 1},
      {1, 100.1, {10, 10}, 0, 1},
      {2, 100.2, {10, 10}, 0, 1},
      {0, 100.3, {10, 10}, 0, 2},
      {1, 100.35, {10, 10}, 0, 2}}},
    {"a NaN time or point never continues a sequence",
     {{0, 100, {10, 10}, 0, 1},
      {0, kNaN, {10, 10}, 0, 1},
      {0, 100.1, {10, 10}, 0, 1},
      {0, 100.2, {kNaN, 10}, 0, 1},
      {0, 100.3, {10, 10}, 0, 1}}},
    {"an out-of-range button counts 1 and touches no memory",
     {{0, 100, {10, 10}, 0, 1},
      {3, 100.1, {10, 10}, 0, 1},
      {-1, 100.1, {10, 10}, 0, 1},
      {0, 100.2, {10, 10}, 0, 2}}},
};

TEST(PointerClickCount, SequencesOfPresses) {
  for (const ClickCase& c : kClickCases) {
    SCOPED_TRACE(c.name);
    EventPoster poster;
    Pointer pointer(poster);
    for (size_t i = 0; i < c.presses.size(); ++i) {
      const Press& p = c.presses[i];
      EXPECT_EQ(pointer.nextClickCount(p.button, p.time, p.point, p.requested), p.expected)
          << "press " << i;
    }
  }
}

TEST(PointerScroll, OnlyTheSignCountsAndZeroGoesWithTheNegatives) {
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

TEST(PointerEventNumbers, MajorVersionFromProductVersion) {
  struct Case {
    std::string_view text;
    int major;
  };
  const Case cases[] = {
      {"27.0", 27},
      {"27", 27},
      {"26.3.1", 26},
      {"10.15.7", 10},
      {"100.1", 100},
      {"027.1", 27},
      {"", 0},
      {".27", 0},
      {"abc", 0},
      {"-27.0", 0},
      {"+27.0", 0},
      {" 27.0", 0},
      {"27abc", 0},
      {"27 ", 0},
      {"27,1", 0},
      {"99999999999.0", 0},
      {std::string_view("27\0x", 4), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text));
    EXPECT_EQ(macOSMajorFromVersion(c.text), c.major);
  }
}

}  // namespace
