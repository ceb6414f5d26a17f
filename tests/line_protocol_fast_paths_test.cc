// The command loop's cheap paths must read exactly what the general ones read: the reused token
// list, and plain decimals parsed without strtod.
#include <gtest/gtest.h>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "line_protocol.h"

namespace {

TEST(TokenizeIntoKeptList, OverwritesCountAndTokensOfEachLine) {
  TokenList list;
  tokenizeLine("MOUSEDOWN left 2 extra", &list);
  ASSERT_EQ(list.count, 4);
  // A shorter line after a longer one: the count says how many tokens belong to it.
  tokenizeLine("  MOUSEDOWN   right ", &list);
  ASSERT_EQ(list.count, 2);
  EXPECT_EQ(list.tokens[0], "MOUSEDOWN");
  EXPECT_EQ(list.tokens[1], "right");
  tokenizeLine("    ", &list);
  EXPECT_EQ(list.count, 0);
  std::string many;
  for (int i = 0; i < 70; ++i) many += "t" + std::to_string(i) + " ";
  tokenizeLine(many, &list);
  EXPECT_EQ(list.count, kMaxTokens);
  EXPECT_EQ(list.tokens[63], "t63");
}

double viaStrtod(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

// The same value and sign, so that -0 and 0 differ; any NaN matches a NaN.
void expectSameAsStrtod(const std::string& text) {
  double fast = parseReal(text);
  double general = viaStrtod(text);
  EXPECT_EQ(std::signbit(fast), std::signbit(general)) << text;
  if (std::isnan(general)) {
    EXPECT_TRUE(std::isnan(fast)) << text;
  } else {
    EXPECT_EQ(fast, general) << text;
  }
}

TEST(ParseRealPlainDecimals, ReadExactlyAsStrtod) {
  // Plain forms, at and around the 15-digit limit, and forms that must go to strtod.
  const char* cases[] = {
      "0",
      "-0",
      "+0",
      "0.0",
      "-0.0",
      "812",
      "-3",
      "+8",
      "100.7",
      "200.2",
      "0.1",
      "-0.3",
      "1511.999",
      "0.000000000000001",
      "999999999999999",
      "99999999999999.9",
      "9999999999999999",
      "0.1000000000000001",
      "123456789012345678901234567890",
      "1.",
      ".5",
      "-.5",
      "1..2",
      "1.2.3",
      "12px",
      "1e3",
      "1E-3",
      "0x10",
      "inf",
      "-nan",
      " 5",
      "5 ",
      "+",
      "-",
      ".",
      "",
      "1,5",
      "00000000000000000001",
      "4503599627370497",
      "1.7976931348623157",
  };
  for (const char* text : cases) expectSameAsStrtod(text);
}

TEST(ParseRealPlainDecimals, RandomDecimalsReadAsStrtod) {
  uint64_t state = 88172645463325252ull;
  auto next = [&state] {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  };
  for (int i = 0; i < 200000; ++i) {
    int digits = 1 + static_cast<int>(next() % 16);
    std::string text = next() % 2 ? "-" : "";
    int dot = static_cast<int>(next() % static_cast<uint64_t>(digits + 1));
    for (int d = 0; d < digits; ++d) {
      if (d == dot && d > 0) text += '.';
      text += static_cast<char>('0' + next() % 10);
    }
    expectSameAsStrtod(text);
  }
}

}  // namespace
