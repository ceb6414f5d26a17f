#include "numbers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>

namespace {

TEST(NumbersTest, TruncationIsDefinedForEveryDouble) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    double value;
    int expected;
  } cases[] = {
      {100.9, 100},
      {-200.5, -200},
      {-0.9, 0},
      {0, 0},
      {2147483647.9, 2147483647},
      {1e300, std::numeric_limits<int>::max()},
      {-1e300, std::numeric_limits<int>::min()},
      {inf, std::numeric_limits<int>::max()},
      {-inf, std::numeric_limits<int>::min()},
      {std::nan(""), 0},
  };
  for (const Case& c : cases) EXPECT_EQ(truncateToInt(c.value), c.expected) << c.value;

  EXPECT_EQ(truncateToInt64(-12.7), -12);
  EXPECT_EQ(truncateToInt64(9.3e18), std::numeric_limits<int64_t>::max());
  EXPECT_EQ(truncateToInt64(9223372036854775808.0), std::numeric_limits<int64_t>::max());  // 2^63
  EXPECT_EQ(truncateToInt64(-9223372036854775808.0), std::numeric_limits<int64_t>::min());
  EXPECT_EQ(truncateToInt64(-9.3e18), std::numeric_limits<int64_t>::min());
  EXPECT_EQ(truncateToInt64(std::nan("")), 0);
  EXPECT_EQ(truncateToInt64(inf), std::numeric_limits<int64_t>::max());
}

// The trace's numbers: the fewest digits that read back exactly, in std::to_chars's form.
TEST(NumbersTest, ShortestDecimalReadsBackExactlyInTheShorterForm) {
  struct Case {
    double value;
    const char* text;
  };
  const Case cases[] = {
      {0, "0"},
      {-0.0, "-0"},
      {1, "1"},
      {100, "100"},
      {100.7, "100.7"},
      {-200.5, "-200.5"},
      {0.25, "0.25"},
      {0.1, "0.1"},
      {1.0 / 3, "0.3333333333333333"},
      {0.001, "0.001"},
      {0.0001, "1e-04"},
      {0.00001, "1e-05"},
      {1.5e-7, "1.5e-07"},
      {123456789012, "123456789012"},
      {1e15, "1e+15"},
      {1e20, "1e+20"},
      {969728693705784320.0, "969728693705784320"},
      {1.7976931348623157e308, "1.7976931348623157e+308"},
      {5e-324, "5e-324"},
      {800000.5, "800000.5"},
  };
  for (const Case& c : cases) {
    const std::string text = shortestDecimal(c.value);
    EXPECT_EQ(text, c.text) << c.value;
    EXPECT_EQ(std::strtod(text.c_str(), nullptr), c.value) << text;
  }
}

}  // namespace
