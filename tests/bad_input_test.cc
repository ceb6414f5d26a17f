// Whatever a host writes, the agent answers exactly as the protocol says, posts exactly what the
// commands ask for, leaks nothing and exits 0. Each row is a whole run of the built binary: its
// input, and the exact standard output and trace it must produce.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "support/agent_process.h"
#include "support/protocol_lines.h"

namespace {

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();

constexpr size_t kLimit = 1048576;  // the longest line served

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

// Trace lines, as the simulated desktop writes them.
std::string key(int seq, int type, uint64_t flags, int keycode, bool down) {
  return "{\"seq\":" + std::to_string(seq) + ",\"tap\":0,\"type\":" + std::to_string(type) +
         ",\"source\":\"hid\",\"flags\":" + std::to_string(flags) +
         ",\"keycode\":" + std::to_string(keycode) + ",\"down\":" + (down ? "true" : "false") +
         ",\"suppressionInterval\":0,\"localEventsFilter\":[7,7]}";
}
std::string keyDownLine(int seq, int keycode) { return key(seq, 10, 0, keycode, true); }
std::string keyUpLine(int seq, int keycode) { return key(seq, 11, 0, keycode, false); }

// One stroke of text: its key down at seq, its key up at seq + 1.
std::string textLine(int seq, const std::string& json, size_t units, bool down = true) {
  return "{\"seq\":" + std::to_string(seq) + ",\"tap\":0,\"type\":" + (down ? "10" : "11") +
         ",\"source\":null,\"flags\":0,\"keycode\":0,\"down\":" + (down ? "true" : "false") +
         ",\"text\":\"" + json + "\",\"textUnits\":" + std::to_string(units) + "}";
}
std::string textUpLine(int seq, const std::string& json, size_t units) {
  return textLine(seq, json, units, false);
}

std::string scrollLine(int seq, int vertical, int horizontal) {
  return "{\"seq\":" + std::to_string(seq) +
         ",\"tap\":0,\"type\":22,\"source\":null,\"flags\":null,\"units\":1,\"wheelCount\":2,"
         "\"wheel1\":" +
         std::to_string(vertical) + ",\"wheel2\":" + std::to_string(horizontal) + "}";
}

// A plain move with its deltas (fields 4 and 5).
std::string moveLine(int seq, const std::string& x, const std::string& y, int64_t dx, int64_t dy) {
  return "{\"seq\":" + std::to_string(seq) +
         ",\"tap\":0,\"type\":5,\"source\":null,\"flags\":null,\"x\":" + x + ",\"y\":" + y +
         ",\"button\":0,\"fields\":{\"4\":" + std::to_string(dx) + ",\"5\":" + std::to_string(dy) +
         "}}";
}

// A button event with its flags set (a press, a release or a drag).
std::string buttonLine(int seq, int type, const std::string& x, const std::string& y, int button,
                       const std::string& fields, uint64_t flags = 0) {
  return "{\"seq\":" + std::to_string(seq) + ",\"tap\":0,\"type\":" + std::to_string(type) +
         ",\"source\":null,\"flags\":" + std::to_string(flags) + ",\"x\":" + x + ",\"y\":" + y +
         ",\"button\":" + std::to_string(button) + ",\"fields\":{" + fields + "}}";
}

std::string base64(const std::string& bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t group = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 2]);
    out += kAlphabet[(group >> 18) & 63];
    out += kAlphabet[(group >> 12) & 63];
    out += i + 1 < bytes.size() ? kAlphabet[(group >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? kAlphabet[group & 63] : '=';
  }
  return out;
}

// The whole trace of a run that typed these ASCII texts, one stroke each.
std::vector<std::string> strokes(const std::vector<std::string>& texts) {
  std::vector<std::string> trace;
  for (const std::string& text : texts) {
    trace.push_back(textLine(static_cast<int>(trace.size() + 1), text, text.size()));
    trace.push_back(textUpLine(static_cast<int>(trace.size() + 1), text, text.size()));
  }
  trace.push_back(exitLine(0));
  return trace;
}

struct Row {
  std::string name;
  std::string input;
  std::string out;                 // the whole of standard output, banner included
  std::vector<std::string> trace;  // the whole trace, exit line included
  AgentOptions options = {};
  std::optional<std::string> err = {};  // the whole of standard error, when the row says
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
    if (row.err) {
      EXPECT_EQ(r.err, *row.err);
    }
    ASSERT_EQ(r.trace.size(), row.trace.size());
    for (size_t i = 0; i < row.trace.size(); ++i) {
      EXPECT_EQ(firstDifference(r.trace[i], row.trace[i]), "") << "trace line " << i;
    }
  }
}

// ---- The line: its length, its end, the bytes in it ------------------------------------------

TEST(BadInput, LinesUpToAndBeyondTheLimit) {
  // The longest TEXT line: Base64 without its padding, 786,428 bytes of text in strokes of 20.
  const std::string sentence = "The quick brown fox jumps over the lazy dog. ";
  std::string text = repeat(sentence, 786428 / sentence.size() + 1).substr(0, 786428);
  std::string token = base64(text);
  ASSERT_EQ(token.back(), '=');
  token.pop_back();
  const std::string longestText = "TEXT " + token;
  ASSERT_EQ(longestText.size(), kLimit);
  std::vector<std::string> chunks;
  for (size_t start = 0; start < text.size(); start += 20) chunks.push_back(text.substr(start, 20));
  const std::vector<std::string> typed = strokes(chunks);

  const std::string word(kLimit, 'X');
  const std::string dropped =
      "ERR: dropped a line of 1048577 bytes; the limit is 1048576\n"
      "ERR: dropped a line of 3000000 bytes; the limit is 1048576\n";
  runRows({
      {"a line at the limit is served whole", longestText + "\nPING\n", kReady + "PONG\n", typed},
      {"65,528 spaces and a command are one line",
       "KEYDOWN 17\n" + std::string(65528, ' ') + "KEYUP 17\n",
       kReady + "ACK KEYDOWN\nACK KEYUP\n",
       {key(1, 12, 0x40000, 59, true), key(2, 12, 0, 59, false), exitLine(1)}},
      {"carriage returns before the line feed do not count; the reply is written whole",
       word + std::string(200000, '\r') + "\nPING",
       kReady + unknown(word) + "PONG\n",
       {exitLine(0)},
       {},
       ""},
      {"longer lines are dropped whole with a note, unterminated or not",
       word + "Y\r\nPING\n" + std::string(3000000, 'Z'),
       kReady + "PONG\n",
       {exitLine(0)},
       {},
       dropped},
      {"a dropped line is not refused either",
       word + "Y\nPING\n" + std::string(3000000, 'Z'),
       kNoPermissionBanner + "PONG\n",
       {exitLine(0)},
       untrusted(),
       kPermissionWarning + dropped},
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
      {"whatever follows a NUL is not part of the line",
       "PING\0garbage\n"s,
       kReady + "PONG\n",
       {exitLine(0)}},
      {"a NUL first makes an empty line", "\0PING\nPING\n"s, kReady + "PONG\n", {exitLine(0)}},
      {"a NUL inside the command word cuts it",
       "PI\0NG\nKEYDOWN\0 65\n"s,
       kReady + unknown("PI") + unknown("KEYDOWN"),
       {exitLine(0)}},
      {"a NUL right before the line end", "PING\0\n\0\n"s, kReady + "PONG\n", {exitLine(0)}},
      {"a tab belongs to its token",
       "PING\t\n\tPING\nKEYDOWN\t65\nPING \t\n",
       kReady + unknown("PING\t") + unknown("\tPING") + unknown("KEYDOWN\t65") + "PONG\n",
       {exitLine(0)}},
      {"other white space belongs to tokens too",
       "PING\v\n\fPING\n",
       kReady + unknown("PING\v") + unknown("\fPING"),
       {exitLine(0)}},
      {"bytes 0x80 to 0xFF are one word",
       high + "\n" + high + " PING\n",
       kReady + unknown(high) + unknown(high),
       {exitLine(0)}},
      {"invalid UTF-8 as a command word is echoed as it came",
       "\xc3\x28 \xed\xa0\x80\n\xff\n",
       kReady + unknown("\xc3\x28") + unknown("\xff"),
       {exitLine(0)}},
      {"high bytes while refused",
       high + "\nPING\n",
       kNoPermissionBanner + kRefused + "PONG\n",
       {exitLine(0)},
       untrusted()},
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
      {"QUIT with 64 more tokens still quits",
       "QUIT" + tokens64 + "\nPING\n",
       kReady,
       {exitLine(0)}},
      {"a known word with 64 tokens is still unknown when short of arguments",
       "MOVE" + repeat("   ", 100) + "\n",
       kReady + unknown("MOVE"),
       {exitLine(0)}},
      {"10,000 tokens", tenThousand + "\n", kReady + unknown("x"), {exitLine(0)}},
  });
}

// ---- Numbers in every bad form ----------------------------------------------------------------

// The first press of a run on macOS 27 numbers itself after the system's 100 + 20 + 3 presses.
const std::string kFirstPress = "\"0\":124,\"1\":1";

TEST(BadInput, NumbersBeyondTheirRange) {
  runRows({
      {"integers saturate; reals overflow to infinity, which moves nothing",
       "KEYDOWN 99999999999999999999999\nKEYDOWN 18446744073709551681\n"
       "KEYUP -18446744073709551551\nWHEEL 99999999999999999999\nWHEEL -99999999999999999999\n"
       "HWHEEL 340282366920938463463374607431768211456\nMOUSEDOWN left 99999999999999999999\n"
       "MOUSEUP left\nMOVE 1e400 -1e400\nMOVE 99999999999999999999999999 5\nGETPOS\n",
       kReady + "ACK KEYDOWN\nACK KEYDOWN\nACK KEYUP\nACK MOUSEDOWN\nACK MOUSEUP\nPOS 1511 5\n",
       {scrollLine(1, -3, 0), scrollLine(2, 3, 0), scrollLine(3, 0, 3),
        buttonLine(4, 1, "756", "491", 0, kFirstPress),
        buttonLine(5, 2, "756", "491", 0, kFirstPress), moveLine(6, "null", "null", kMax, kMin),
        moveLine(7, "1e+26", "5", kMax, -486), exitLine(0)}},
  });
}

TEST(BadInput, SignsAlone) {
  runRows({
      {"a sign without digits is 0",
       "KEYDOWN -\nKEYDOWN +\nWHEEL +\nWHEEL -\nHWHEEL -\nHWHEEL +\nMOVE - +\n"
       "MOUSEDOWN middle -\nMOUSEUP middle\nGETPOS\n",
       kReady + "ACK KEYDOWN\nACK KEYDOWN\nACK MOUSEDOWN\nACK MOUSEUP\nPOS 0 0\n",
       {scrollLine(1, 3, 0), scrollLine(2, 3, 0), scrollLine(3, 0, -3), scrollLine(4, 0, -3),
        moveLine(5, "0", "0", -756, -491), buttonLine(6, 25, "0", "0", 2, kFirstPress),
        buttonLine(7, 26, "0", "0", 2, kFirstPress), exitLine(0)}},
  });
}

TEST(BadInput, NanInfinityAndNegativeZero) {
  runRows({
      {"non-finite targets go out as given and leave the cursor where it was",
       "MOVE nan 5\nMOVE inf -inf\nGETPOS\nMOVE -0 -0\nGETPOS\nMOVERATIO nan 0.5\n"
       "MOVERATIO -0 -0\nWHEEL -0\nHWHEEL -0\nKEYDOWN -0\nKEYUP nan\nMOUSEDOWN left nan\n"
       "MOVE nan inf\nMOVE -inf 1e300\nMOUSEUP left\n",
       kReady + "POS 756 491\nPOS 0 0\nACK KEYDOWN\nACK KEYUP\nACK MOUSEDOWN\nACK MOUSEUP\n",
       {moveLine(1, "null", "5", 0, -486), moveLine(2, "null", "null", kMax, kMin),
        moveLine(3, "-0", "-0", -756, -491), moveLine(4, "null", "491", 0, 491),
        moveLine(5, "-0", "-0", 0, 0), scrollLine(6, 3, 0), scrollLine(7, 0, -3),
        buttonLine(8, 1, "-0", "-0", 0, kFirstPress),
        // A drag's deltas are defined for any target: NaN gives 0, infinities the limits.
        buttonLine(9, 6, "null", "null", 0, kFirstPress + ",\"4\":0,\"5\":9223372036854775807"),
        buttonLine(10, 6, "null", "1e+300", 0,
                   kFirstPress + ",\"4\":-9223372036854775808,\"5\":9223372036854775807"),
        buttonLine(11, 2, "-0", "-0", 0, kFirstPress), exitLine(0)}},
  });
}

TEST(BadInput, HexAndExponentForms) {
  runRows({
      {"reals take hex and exponents; integers stop at the first non-digit",
       "MOVE 0x10 0x1p4\nMOVE 1e2 2.5E1\nMOVE 0X1A .5e1\nMOVERATIO 0x.8p0 5e-1\n"
       "KEYDOWN 0x41\nKEYDOWN 6.5e1\nKEYUP 1e2\nWHEEL 0x5\nWHEEL -1e5\nHWHEEL 1e-5\n"
       "MOUSEDOWN right 0x2\nMOUSEUP right\n",
       kReady + "ACK KEYDOWN\nACK KEYDOWN\nACK KEYUP\nACK MOUSEDOWN\nACK MOUSEUP\n",
       {moveLine(1, "16", "16", -740, -475), moveLine(2, "100", "25", 84, 9),
        moveLine(3, "26", "5", -74, -20), moveLine(4, "756", "491", 730, 486), scrollLine(5, 3, 0),
        scrollLine(6, 3, 0), scrollLine(7, 0, 3), buttonLine(8, 3, "756", "491", 1, kFirstPress),
        buttonLine(9, 4, "756", "491", 1, kFirstPress), exitLine(0)}},
  });
}

// ---- Arguments with NULs, tabs, high bytes; Base64 and UTF-8 ----------------------------------

TEST(BadInput, ArgumentsWithNulsTabsAndHighBytes) {
  using namespace std::string_literals;
  runRows({
      {"numbers skip leading white space and stop at a tab; a NUL ends the line; high bytes "
       "are no button and no number",
       "KEYDOWN 65\t\nKEYUP \t65\nTEXT aGk\0=\nTEXT aGkAaGk=\nKEYDOWN \xff\nMOUSEDOWN \xe9\n"
       "MOUSEUP \xed\xa0\x80\nTEXT \xc3\xa9\nMOVE \t1 \v2\n"s,
       kReady + "ACK KEYDOWN\nACK KEYUP\nACK KEYDOWN\nACK MOUSEDOWN\nACK MOUSEUP\n",
       {keyDownLine(1, 0), keyUpLine(2, 0), textLine(3, "hi", 2), textUpLine(4, "hi", 2),
        textLine(5, "hi", 2), textUpLine(6, "hi", 2),
        buttonLine(7, 1, "756", "491", 0, kFirstPress),
        buttonLine(8, 2, "756", "491", 0, kFirstPress), moveLine(9, "1", "2", -755, -489),
        exitLine(1)}},
      {"64 and 65 tokens",
       "MOVE 10 20" + repeat(" t", 61) + "\nMOVE 30 40" + repeat(" t", 62) + "\n",
       kReady,
       {moveLine(1, "10", "20", -746, -471), moveLine(2, "30", "40", 20, 20), exitLine(0)}},
  });
}

TEST(BadInput, Base64OfEveryShortLength) {
  runRows({
      {"lengths 0 to 8, and padding alone",
       "TEXT\nTEXT \nTEXT Q\nTEXT QU\nTEXT QUI\nTEXT QUJD\nTEXT QUJDR\nTEXT QUJDRA\nTEXT QUJDREU\n"
       "TEXT QUJDREVG\nTEXT =\nTEXT ====\nTEXT QQ==\nTEXT QQ=\nTEXT Q===\n",
       kReady + unknown("TEXT") + unknown("TEXT"),
       strokes({"@", "A", "AB", "ABC", "ABCD", "ABCD", "ABCDE", "ABCDEF", "A", "A", "@"})},
  });
}

TEST(BadInput, TextOfInvalidUtf8) {
  runRows({
      {"nothing is typed of text that is not UTF-8",
       // 0xFF; a lone lead byte; a surrogate; beyond U+10FFFF; a truncated sequence; an overlong
       // form; valid text ending in 0xFF; then valid text.
       "TEXT /w==\nTEXT wA==\nTEXT 7aCA\nTEXT 9JCAgA==\nTEXT 4oI=\nTEXT wKA=\nTEXT aGn/\n"
       "TEXT aGk=\n",
       kReady, strokes({"hi"})},
  });
}

// ---- Volume and a host that stops listening ---------------------------------------------------

TEST(BadInput, AStreamOf100000Commands) {
  std::string out = kReady;
  std::vector<std::string> trace;
  for (int i = 0; i < 25000; ++i) {
    out += "ACK KEYDOWN\nACK KEYUP\nPONG\n";
    trace.push_back(keyDownLine(3 * i + 1, 0));
    trace.push_back(keyUpLine(3 * i + 2, 0));
    trace.push_back(scrollLine(3 * i + 3, -3, 0));
  }
  trace.push_back(exitLine(1));
  runRows(
      {{"100,000 commands", repeat("KEYDOWN 65\nKEYUP 65\nPING\nWHEEL 1\n", 25000), out, trace}});
}

TEST(BadInput, StandardOutputClosedByTheHost) {
  constexpr uint64_t kShift = 0x20000;
  AgentOptions closed;
  closed.hostClosesStdout = true;
  const std::string held =
      "KEYDOWN 16\nMOUSEDOWN left\n" + repeat("PING\nRESOLUTION\n", 5000) + "KEYDOWN 67\n";
  // Served to the end although no reply arrives, then everything held is released.
  const std::vector<std::string> trace = {key(1, 12, kShift, 56, true),
                                          buttonLine(2, 1, "756", "491", 0, kFirstPress, kShift),
                                          key(3, 10, kShift, 8, true),
                                          key(4, 11, kShift, 8, false),
                                          key(5, 12, 0, 56, false),
                                          buttonLine(6, 2, "756", "491", 0, kFirstPress),
                                          exitLine(1)};
  runRows({
      {"replies into a closed pipe, then end of input", held, "", trace, closed},
      {"replies into a closed pipe, then QUIT", held + "QUIT\nKEYDOWN 65\n", "", trace, closed},
  });
}

}  // namespace
