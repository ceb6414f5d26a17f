// Whatever a host writes, the agent answers exactly as the protocol says, posts exactly what the
// commands ask for, leaks nothing and exits 0. Each row is a whole run of the built binary: its
// input, and the exact standard output and trace it must produce.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "support/agent_process.h"

namespace {

const std::string kReady = "READY: macOS CGEvent Input Injector Online\n";
const std::string kNoPermissionBanner =
    "ERR: \xe8\xaf\xb7\xe5\x9c\xa8 Mac \xe7\xb3\xbb\xe7\xbb\x9f\xe8\xae\xbe\xe7\xbd\xae\xe7\x9a\x84"
    "\xe8\xbe\x85\xe5\x8a\xa9\xe5\x8a\x9f\xe8\x83\xbd\xe4\xb8\xad\xe5\x85\x81\xe8\xae\xb8 Trelvane "
    "\xe6\x8e\xa7\xe5\x88\xb6\xe7\x94\xb5\xe8\x84\x91\n";
const std::string kRefused =
    "ERR: Mac \xe8\xbe\x85\xe5\x8a\xa9\xe5\x8a\x9f\xe8\x83\xbd\xe6\x9d\x83\xe9\x99\x90\xe6\x9c\xaa"
    "\xe6\x8e\x88\xe4\xba\x88\xef\xbc\x8c\xe6\x97\xa0\xe6\xb3\x95\xe6\xb3\xa8\xe5\x85\xa5\xe8\xbe"
    "\x93\xe5\x85\xa5\n";

constexpr size_t kPiece = 65535;  // the most one read of the loop takes

std::string repeat(const std::string& text, size_t times) {
  std::string out;
  out.reserve(text.size() * times);
  for (size_t i = 0; i < times; ++i) out += text;
  return out;
}

std::string unknown(const std::string& word) { return "UNKNOWN: " + word + "\n"; }

std::string exitLine(int liveSources) {
  return "{\"exit\":true,\"liveEvents\":0,\"liveStrings\":0,\"liveSources\":" +
         std::to_string(liveSources) + "}";
}

AgentOptions untrusted() {
  AgentOptions options;
  options.env = {{"MII_SIM_TRUSTED", "0"}};
  return options;
}

struct Row {
  std::string name;
  std::string input;
  std::string out;                 // the whole of standard output, banner included
  std::vector<std::string> trace;  // the whole trace, exit line included
  AgentOptions options = {};
};

// Where two long texts part, readably; empty when they are equal.
std::string firstDifference(const std::string& actual, const std::string& expected) {
  if (actual == expected) return {};
  size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
  size_t from = at < 40 ? 0 : at - 40;
  return "sizes " + std::to_string(actual.size()) + " and " + std::to_string(expected.size()) +
         ", first difference at byte " + std::to_string(at) + ":\n  actual   ..." +
         actual.substr(from, 120) + "\n  expected ..." + expected.substr(from, 120);
}

void runRows(const std::vector<Row>& rows) {
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    AgentResult r = runAgent(row.input, row.options);
    ASSERT_TRUE(r.exited) << "ended by signal " << r.status;
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(firstDifference(r.out, row.out), "");
    ASSERT_EQ(r.trace.size(), row.trace.size());
    for (size_t i = 0; i < row.trace.size(); ++i) {
      EXPECT_EQ(firstDifference(r.trace[i], row.trace[i]), "") << "trace line " << i;
    }
  }
}

// ---- The line: its length, its end, the bytes in it ------------------------------------------

TEST(BadInput, LinesAtAndBeyondTheBufferSize) {
  const std::string x65535(kPiece, 'X');
  // "PING" padded with spaces to exactly one read: the padding yields no token.
  const std::string ping65535 = "PING" + std::string(kPiece - 4, ' ');
  const std::string x200000(200000, 'X');
  const size_t tail200000 = 200000 - 3 * kPiece;  // 3,395
  const std::string x200000Out =
      repeat(unknown(x65535), 3) + unknown(std::string(tail200000, 'X'));

  runRows({
      {"65,535 bytes and a line end", x65535 + "\n", kReady + unknown(x65535), {exitLine(0)}},
      {"65,535 bytes at end of input", x65535, kReady + unknown(x65535), {exitLine(0)}},
      {"65,535 bytes, the line end left for the next read, is an empty line",
       ping65535 + "\nPING\n", kReady + "PONG\nPONG\n", {exitLine(0)}},
      {"65,536 bytes and a line end", x65535 + "Y\n", kReady + unknown(x65535) + unknown("Y"),
       {exitLine(0)}},
      {"65,536 bytes at end of input", x65535 + "Y", kReady + unknown(x65535) + unknown("Y"),
       {exitLine(0)}},
      {"the split falls between a command's tokens", ping65535 + "PING\n",
       kReady + "PONG\nPONG\n", {exitLine(0)}},
      {"200,000 bytes and a line end", x200000 + "\nPING\n", kReady + x200000Out + "PONG\n",
       {exitLine(0)}},
      {"200,000 bytes at end of input", x200000, kReady + x200000Out, {exitLine(0)}},
      {"a CR as the 65,535th byte is a stripped line end, its LF an empty line",
       std::string(kPiece - 1, 'X') + "\r\nPING\n",
       kReady + unknown(std::string(kPiece - 1, 'X')) + "PONG\n", {exitLine(0)}},
      {"a CR as the 65,535th byte with more text after it",
       std::string(kPiece - 1, 'X') + "\rPING\n",
       kReady + unknown(std::string(kPiece - 1, 'X')) + "PONG\n", {exitLine(0)}},
      {"a CR as the 65,535th byte of a spaces-only piece", std::string(kPiece - 1, ' ') + "\r\n",
       kReady, {exitLine(0)}},
      {"while refused, every piece of a long line is refused", x200000 + "\n",
       kNoPermissionBanner + repeat(kRefused, 4), {exitLine(0)},
       untrusted()},
  });
}

TEST(BadInput, LineEndsNulsTabsAndHighBytes) {
  std::string high;
  for (int c = 0x80; c <= 0xFF; ++c) high += static_cast<char>(c);
  using namespace std::string_literals;
  runRows({
      {"the last line without a line end", "PING\nPING", kReady + "PONG\nPONG\n", {exitLine(0)}},
      {"the last line ends in CR alone", "PING\r", kReady + "PONG\n", {exitLine(0)}},
      {"QUIT without a line end", "QUIT", kReady, {exitLine(0)}},
      {"only line ends", "\r\n\n\r\r\n\r", kReady, {exitLine(0)}},
      {"whatever follows a NUL is not part of the line", "PING\0garbage\n"s,
       kReady + "PONG\n", {exitLine(0)}},
      {"a NUL first makes an empty line", "\0PING\nPING\n"s, kReady + "PONG\n", {exitLine(0)}},
      {"a NUL inside the command word cuts it", "PI\0NG\nKEYDOWN\0 65\n"s,
       kReady + unknown("PI") + unknown("KEYDOWN"), {exitLine(0)}},
      {"a NUL right before the line end", "PING\0\n\0\n"s, kReady + "PONG\n", {exitLine(0)}},
      {"a tab belongs to its token", "PING\t\n\tPING\nKEYDOWN\t65\nPING \t\n",
       kReady + unknown("PING\t") + unknown("\tPING") + unknown("KEYDOWN\t65") + "PONG\n",
       {exitLine(0)}},
      {"other white space belongs to tokens too", "PING\v\n\fPING\n",
       kReady + unknown("PING\v") + unknown("\fPING"), {exitLine(0)}},
      {"bytes 0x80 to 0xFF are one word", high + "\n" + high + " PING\n",
       kReady + unknown(high) + unknown(high), {exitLine(0)}},
      {"invalid UTF-8 as a command word is echoed as it came", "\xc3\x28 \xed\xa0\x80\n\xff\n",
       kReady + unknown("\xc3\x28") + unknown("\xff"), {exitLine(0)}},
      {"high bytes while refused", high + "\nPING\n", kNoPermissionBanner + kRefused + "PONG\n",
       {exitLine(0)}, untrusted()},
  });
}

TEST(BadInput, TokenCounts) {
  std::string tokens63;
  for (int i = 1; i <= 63; ++i) tokens63 += " t" + std::to_string(i);
  const std::string tokens64 = tokens63 + " t64";
  std::string tenThousand = "x" + repeat(" x", 9999);
  runRows({
      {"64 tokens", "PING" + tokens63 + "\n", kReady + "PONG\n", {exitLine(0)}},
      {"65 tokens", "PING" + tokens64 + "\n", kReady + "PONG\n", {exitLine(0)}},
      {"QUIT with 64 more tokens still quits", "QUIT" + tokens64 + "\nPING\n", kReady,
       {exitLine(0)}},
      {"a known word with 64 tokens is still unknown when short of arguments",
       "MOVE" + repeat("   ", 100) + "\n", kReady + unknown("MOVE"), {exitLine(0)}},
      {"10,000 tokens", tenThousand + "\n", kReady + unknown("x"), {exitLine(0)}},
      {"runs of spaces are one separator, around and between", "   PING    a     b   \n",
       kReady + "PONG\n", {exitLine(0)}},
  });
}

// ---- Volume and a host that stops listening ---------------------------------------------------

TEST(BadInput, AStreamOf100000Commands) {
  std::string input = repeat("PING\nFOO\n", 50000);
  runRows({
      {"100,000 commands", input, kReady + repeat("PONG\n" + unknown("FOO"), 50000),
       {exitLine(0)}},
  });
}

TEST(BadInput, StandardOutputClosedByTheHost) {
  AgentOptions closed;
  closed.hostClosesStdout = true;
  runRows({
      {"replies into a closed pipe", repeat("PING\nRESOLUTION\n", 5000) + "QUIT\n", "",
       {exitLine(0)}, closed},
  });
}

}  // namespace
