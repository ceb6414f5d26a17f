#include "line_protocol.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

std::vector<std::string> tokens(std::string_view line) {
  TokenList list = tokenizeLine(line);
  std::vector<std::string> out;
  for (int i = 0; i < list.count; ++i) out.emplace_back(list.tokens[i]);
  return out;
}

TEST(LineProtocolTest, TokenizerSplitsAtSpacesOnly) {
  struct Case {
    const char* line;
    std::vector<std::string> expected;
  } cases[] = {
      {"PING", {"PING"}},
      {"MOVE 1 2", {"MOVE", "1", "2"}},
      {"  MOVE   1  2  ", {"MOVE", "1", "2"}},
      {"", {}},
      {"     ", {}},
      {"MOVE\t1 2", {"MOVE\t1", "2"}},
      {"A\vB\fC\rD", {"A\vB\fC\rD"}},
      {"\xff\x80 \xc3\xa9", {"\xff\x80", "\xc3\xa9"}},
      {"!\x1f\xa0\x60 a", {"!\x1f\xa0\x60", "a"}},  // a bit away from a space
  };
  for (const Case& c : cases) EXPECT_EQ(tokens(c.line), c.expected) << c.line;
  const std::string noSpace(64, 'k');
  EXPECT_EQ(tokens(noSpace), std::vector<std::string>{noSpace});
  EXPECT_EQ(tokens(" " + noSpace + "k "), std::vector<std::string>{noSpace + "k"});
}

TEST(LineProtocolTest, TokenizerKeepsAtMost64Tokens) {
  std::string line;
  for (int i = 0; i < 70; ++i) line += "t" + std::to_string(i) + " ";
  TokenList list = tokenizeLine(line);
  ASSERT_EQ(list.count, kMaxTokens);
  EXPECT_EQ(list.tokens[0], "t0");
  EXPECT_EQ(list.tokens[63], "t63");

  std::string exactly64;
  for (int i = 0; i < 64; ++i) exactly64 += "x ";
  EXPECT_EQ(tokenizeLine(exactly64).count, 64);
}

TEST(LineProtocolTest, ParseIntegerReadsAsAtoiWithSaturation) {
  struct Case {
    const char* text;
    int32_t expected;
  } cases[] = {
      {"0", 0},
      {"42", 42},
      {"-17", -17},
      {"+8", 8},
      {"  \t\n\v\f\r12", 12},
      {"\b5", 0},  // just below the white space characters
      {"\x0e"
       "5",
       0},  // just above them
      {"12abc", 12},
      {"abc", 0},
      {"", 0},
      {"-", 0},
      {"+", 0},
      {"- 5", 0},
      {"--5", 0},
      {"0x10", 0},
      {"1e3", 1},
      {"3.9", 3},
      {"007", 7},
      {"65601", 65601},
      {"2147483647", 2147483647},
      {"2147483648", std::numeric_limits<int32_t>::max()},
      {"-2147483648", std::numeric_limits<int32_t>::min()},
      {"-2147483649", std::numeric_limits<int32_t>::min()},
      {"99999999999999999999999999999", std::numeric_limits<int32_t>::max()},
      {"-99999999999999999999999999999", std::numeric_limits<int32_t>::min()},
      {"18446744073709551617", std::numeric_limits<int32_t>::max()},
  };
  for (const Case& c : cases) EXPECT_EQ(parseInteger(c.text), c.expected) << c.text;
}

TEST(LineProtocolTest, ParseIntegerStopsAtTheViewsEnd) {
  std::string_view text("123456", 3);
  EXPECT_EQ(parseInteger(text), 123);
}

TEST(LineProtocolTest, ParseRealReadsAsAtofInTheCLocale) {
  struct Case {
    const char* text;
    double expected;
  } cases[] = {
      {"100.7", 100.7},
      {"200.2", 200.2},
      {"-3", -3},
      {" 1.5", 1.5},
      {"1e3", 1000},
      {"0x10", 16},
      {"abc", 0},
      {"", 0},
      {"-", 0},
      {"12px", 12},
      {".5", 0.5},
      {"1,5", 1},
      {"1e400", HUGE_VAL},
      {"-1e400", -HUGE_VAL},
      {"inf", HUGE_VAL},
      {"-Infinity", -HUGE_VAL},
      {"0.1000000000000001", 0.1000000000000001},
      {"123456789012345678901234567890", 123456789012345678901234567890.0},
      {"1.", 1},
      {"1..2", 1},
      {"4503599627370497", 4503599627370497.0},
  };
  for (const Case& c : cases) EXPECT_EQ(parseReal(c.text), c.expected) << c.text;
  EXPECT_TRUE(std::isnan(parseReal("nan")));
  EXPECT_TRUE(std::signbit(parseReal("-0")));
  std::string longToken(200, '1');
  EXPECT_EQ(parseReal(longToken), 1.1111111111111111e199);
}

TEST(LineProtocolTest, ParseUnsigned32TakesOnlyWholeDecimalNumbers) {
  const struct {
    const char* text;
    bool parses;
    uint32_t value = 0;
  } cases[] = {
      {"0", true, 0},        {"69733378", true, 69733378},
      {"007", true, 7},      {"4294967295", true, 4294967295u},
      {"4294967296", false}, {"99999999999999999999", false},
      {"", false},           {"-1", false},
      {"+1", false},         {" 1", false},
      {"1 ", false},         {"12abc", false},
      {"0x10", false},       {"1.0", false},
  };
  for (const auto& c : cases) {
    uint32_t value = 12345;
    EXPECT_EQ(parseUnsigned32(c.text, &value), c.parses) << c.text;
    EXPECT_EQ(value, c.parses ? c.value : 12345u) << c.text;
  }
}

// Every line of input, as the reader gives it: "=text" for a line, "dropped N" for one too long.
std::vector<std::string> readAll(const std::string& input, size_t maxLine, size_t readSize) {
  int ends[2];
  EXPECT_EQ(pipe(ends), 0);
  EXPECT_EQ(write(ends[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
  close(ends[1]);
  LineReader reader(ends[0], -1, maxLine, readSize);
  std::vector<std::string> lines;
  std::string_view line;
  uint64_t length = 0;
  for (LineStatus status; (status = readLine(reader, &line, &length)) != LineStatus::kEnd;) {
    lines.push_back(status == LineStatus::kLine ? "=" + std::string(line)
                                                : "dropped " + std::to_string(length));
  }
  close(ends[0]);
  return lines;
}

TEST(LineProtocolTest, LineReaderSplitsAtLineFeedsAndDropsLinesOverTheLimitWhateverTheReadSize) {
  using namespace std::string_literals;
  struct Case {
    std::string input;
    std::vector<std::string> lines;  // with a limit of 8 bytes
  } cases[] = {
      {"", {}},
      {"PING\nPING", {"=PING", "=PING"}},
      {"a\r\r\n\r\n\n\r", {"=a", "=", "=", "="}},
      {"a\0b\r\n"s, {"=a\0b"s}},
      {"12345678\r\r\r\r\r\nok", {"=12345678", "=ok"}},
      {"123456789\nok\n", {"dropped 9", "=ok"}},
      {"1234567\r8\r\n", {"dropped 9"}},
      {"12345678\r\r\rX\n\n", {"dropped 12", "="}},
      {"x\n123456789012", {"=x", "dropped 12"}},
  };
  for (const Case& c : cases) {
    for (size_t readSize : {1, 3, 64}) {
      EXPECT_EQ(readAll(c.input, 8, readSize), c.lines) << c.input << " in reads of " << readSize;
    }
  }
}

TEST(LineProtocolTest, LineReaderStopsWaitingWhenTheWakeDescriptorIsReadable) {
  int input[2], wake[2];
  ASSERT_EQ(pipe(input), 0);
  ASSERT_EQ(pipe(wake), 0);
  ASSERT_EQ(write(input[1], "PING\nPING\n", 10), 10);
  LineReader reader(input[0], wake[0]);
  std::string_view line;
  uint64_t length = 0;
  EXPECT_EQ(readLine(reader, &line, &length), LineStatus::kLine);
  ASSERT_EQ(write(wake[1], "", 1), 1);
  EXPECT_EQ(readLine(reader, &line, &length), LineStatus::kLine);  // already read: no wait
  EXPECT_EQ(readLine(reader, &line, &length), LineStatus::kWoken);
  for (int fd : {input[0], input[1], wake[0], wake[1]}) close(fd);
}

}  // namespace
