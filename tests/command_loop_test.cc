// The command channel in process: line handling, the permission gate and dispatch, and the loop's
// reading of whole lines up to the limit.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "command_loop.h"
#include "line_protocol.h"
#include "platform/simulated/simulation.h"
#include "support/in_process.h"
#include "support/protocol_lines.h"
#include "support/text.h"

namespace {

using namespace std::string_literals;
using CommandLoopTest = AgentTest<>;

TEST_F(CommandLoopTest, AnswersEachLineByTheProtocolTable) {
  std::string high;  // bytes 0x80 to 0xFF
  for (int c = 0x80; c <= 0xFF; ++c) high += static_cast<char>(c);
  const struct {
    std::string line;
    std::string reply;
  } cases[] = {
      {"PING", "PONG\n"},
      {"PING extra", "PONG\n"},
      {"   PING   ", "PONG\n"},
      {"PING\r\n", "PONG\n"},
      {"PING\n\r\r\n\n", "PONG\n"},
      {"PING\rX", "UNKNOWN: PING\rX\n"},
      {"ping", "UNKNOWN: ping\n"},
      {"PING\textra", "UNKNOWN: PING\textra\n"},
      {"PING\v", "UNKNOWN: PING\v\n"},
      {"\fPING", "UNKNOWN: \fPING\n"},
      {"\tPING \t", "UNKNOWN: \tPING\n"},
      {"PING" + repeat(" x", 9999), "PONG\n"},
      {"MOVE 100", "UNKNOWN: MOVE\n"},
      {"MOVE" + repeat(" ", 300), "UNKNOWN: MOVE\n"},
      {"MOVERATIO 0.5", "UNKNOWN: MOVERATIO\n"},
      {"CLICK", "UNKNOWN: CLICK\n"},
      {"MOUSEDOWN", "UNKNOWN: MOUSEDOWN\n"},
      {"MOUSEUP", "UNKNOWN: MOUSEUP\n"},
      {"DBLCLICK", "UNKNOWN: DBLCLICK\n"},
      {"WHEEL", "UNKNOWN: WHEEL\n"},
      {"HWHEEL", "UNKNOWN: HWHEEL\n"},
      {"KEYDOWN", "UNKNOWN: KEYDOWN\n"},
      {"KEYUP", "UNKNOWN: KEYUP\n"},
      {"KEYPRESS", "UNKNOWN: KEYPRESS\n"},
      {"TEXT", "UNKNOWN: TEXT\n"},
      {"DISPLAYS", "DISPLAYS 1 1:0,0,1512,982,1512,982\n"},
      {"DISPLAYS extra", "DISPLAYS 1 1:0,0,1512,982,1512,982\n"},
      {"MOVEDISPLAY 1 0.5", "UNKNOWN: MOVEDISPLAY\n"},
      {"MOVEDISPLAY 1 0.5 0.5", ""},
      {"SCROLL 1", "UNKNOWN: SCROLL\n"},
      {"SCROLL 0 1", ""},
      {"MOVEREL 1", "UNKNOWN: MOVEREL\n"},
      {"MOVEREL 1 1", ""},
      {"LAYOUT", "LAYOUT com.apple.keylayout.US\n"},
      {"LAYOUT extra", "LAYOUT com.apple.keylayout.US\n"},
      {"KEYDOWN 108", "ACK KEYDOWN\n"},
      {"KEYUP 108", "ACK KEYUP\n"},
      {"KEYDOWN -1", "ACK KEYDOWN\n"},
      {"TEXT aGk=", ""},
      {"MOVE 1 2", ""},
      {"", ""},
      {"\r\n", ""},
      {"     ", ""},
      {"UNKNOWN", "UNKNOWN: UNKNOWN\n"},
      // Whatever follows a NUL is not part of the line.
      {"PING\0garbage"s, "PONG\n"},
      {"PING\0\n"s, "PONG\n"},
      {"\0PING"s, ""},
      {"PI\0NG"s, "UNKNOWN: PI\n"},
      {"KEYDOWN\0 65"s, "UNKNOWN: KEYDOWN\n"},
      // Bytes that are not ASCII, valid UTF-8 or not, are echoed as they came.
      {"\xff\xfe", "UNKNOWN: \xff\xfe\n"},
      {high, "UNKNOWN: " + high + "\n"},
      {high + " PING", "UNKNOWN: " + high + "\n"},
      {"\xc3\x28 \xed\xa0\x80", "UNKNOWN: \xc3\x28\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(sendLine(c.line), c.reply) << c.line;
}

TEST_F(CommandLoopTest, QuitEndsTheLoopWhateverFollows) {
  EXPECT_FALSE(handleLine(hostChannel(), "QUIT now please", STDOUT_FILENO));
  EXPECT_FALSE(handleLine(hostChannel(), "QUIT", STDOUT_FILENO));
  EXPECT_EQ(sendLine("QUITE"), "UNKNOWN: QUITE\n");
  EXPECT_EQ(runLoop("PING\nQUIT\nPING\n"), "PONG\n");
  EXPECT_EQ(runLoop("PING\nQUIT"), "PONG\n");
}

TEST_F(CommandLoopTest, PermissionGateFollowsTheTrustLineByLine) {
  const struct {
    bool trusted;
    const char* line;
    std::string reply;
  } steps[] = {
      {true, "PING", "PONG\n"},
      {false, "PING", "PONG\n"},
      {false, "RESOLUTION", "SCREEN 1512 982 1512 982\n"},
      {false, "DISPLAYS", "DISPLAYS 1 1:0,0,1512,982,1512,982\n"},
      {false, "DISPLAYS 1", kRefused},
      {false, "LAYOUT x", kRefused},
      {false, "CAPSLOCK", "CAPSLOCK 0\n"},
      {false, "CAPSLOCK 1", kRefused},
      {false, "SCROLL 0 10", kRefused},
      {false, "MOVEDISPLAY 1 0 0", kRefused},
      {false, "MOVEREL 1 1", kRefused},
      {false, "PING extra", kRefused},
      {false, " PING", kRefused},
      {false, "GETPOS", kRefused},
      {false, "KEYDOWN 65", kRefused},
      {false, "\xff PING", kRefused},
      {false, "   ", kRefused},
      {false, "", ""},
      {false, "\r\n", ""},
      // An empty line neither queries nor announces: the permission's return shows on the next
      // non-empty line, once.
      {true, "\n", ""},
      {true, "PING", kReady + "PONG\n"},
      {true, "PING", "PONG\n"},
      {false, "QUITX", kRefused},
      {true, "   ", kReady},
      {true, "   ", ""},
      {false, "PING", "PONG\n"},
      {true, "ping", kReady + "UNKNOWN: ping\n"},
  };
  for (const auto& s : steps) {
    simSetTrusted(s.trusted);
    EXPECT_EQ(sendLine(s.line), s.reply) << s.trusted << " " << s.line;
  }
  simSetTrusted(false);
  EXPECT_FALSE(handleLine(hostChannel(), "QUIT", STDOUT_FILENO));
}

// Lines are read whole up to 1 MiB, however the reads fall; longer ones are dropped with a note on
// standard error and no reply, trusted or not.
TEST_F(CommandLoopTest, LinesUpToTheLimitAreServedAndLongerOnesDropped) {
  // The longest TEXT line: Base64 without its padding, 786,428 bytes of text in strokes of 20.
  const std::string sentence = "The quick brown fox jumps over the lazy dog. ";
  const std::string text = repeat(sentence, 786428 / sentence.size() + 1).substr(0, 786428);
  std::string token = encodeBase64(text);
  ASSERT_EQ(token.back(), '=');
  token.pop_back();
  ASSERT_EQ(("TEXT " + token).size(), kMaxLineLength);
  std::vector<std::string> typed;
  for (size_t start = 0; start < text.size(); start += 20) {
    const std::string chunk = text.substr(start, 20);
    const std::string stroke = "text " + std::to_string(chunk.size()) + " '" + chunk + "'";
    typed.push_back("keydown 0 " + stroke);
    typed.push_back("keyup 0 " + stroke);
  }
  const std::string word(kMaxLineLength, 'X');
  const std::string dropped =
      "ERR: dropped a line of 1048577 bytes; the limit is 1048576\n"
      "ERR: dropped a line of 3000000 bytes; the limit is 1048576\n";
  const struct {
    const char* name;
    std::string input;
    bool trusted;
    std::string replies;
    std::string err;
    std::vector<std::string> posted;
  } cases[] = {
      {"a line at the limit is served whole", "TEXT " + token + "\nPING\n", true, "PONG\n", "",
       typed},
      {"65,528 spaces and a command are one line",
       "KEYDOWN 17\n" + std::string(65528, ' ') + "KEYUP 17\n",
       true,
       "ACK KEYDOWN\nACK KEYUP\n",
       "",
       {"flagschanged 59 down hid Control", "flagschanged 59 up hid"}},
      {"carriage returns before the line feed do not count; the reply is written whole",
       word + std::string(200000, '\r') + "\nPING",
       true,
       "UNKNOWN: " + word + "\nPONG\n",
       "",
       {}},
      {"longer lines are dropped whole with a note, unterminated or not",
       word + "Y\r\nPING\n" + std::string(3000000, 'Z'),
       true,
       "PONG\n",
       dropped,
       {}},
      {"a dropped line is not refused either",
       word + "Y\nPING\n" + std::string(3000000, 'Z'),
       false,
       "PONG\n",
       dropped,
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fresh();
    simSetTrusted(c.trusted);
    testing::internal::CaptureStderr();
    // Compared whole, but not printed whole when they differ.
    const std::string replies = runLoop(c.input);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.err);
    EXPECT_TRUE(replies == c.replies) << replies.substr(0, 100);
    const std::vector<std::string> posted = takePosted();
    EXPECT_TRUE(posted == c.posted) << posted.size() << " events, not " << c.posted.size();
  }
}

// Arguments in every bad form: each command reads its numbers as integers (atoi's syntax,
// saturating) or reals (strtod's), buttons and Base64 from whatever bytes come, and answers and
// posts exactly what the protocol says.
// Every row starts afresh: the cursor at 756,491, the first press of the run numbered 124.
TEST_F(CommandLoopTest, ArgumentsInEveryBadForm) {
  const struct {
    const char* name;
    std::string lines;
    std::string replies;
    std::vector<std::string> posted;
  } cases[] = {
      {"integers saturate; reals overflow to infinity, which moves nothing",
       "KEYDOWN 99999999999999999999999\nKEYDOWN 18446744073709551681\n"
       "KEYUP -18446744073709551551\nWHEEL 99999999999999999999\nWHEEL -99999999999999999999\n"
       "HWHEEL 340282366920938463463374607431768211456\nMOUSEDOWN left 99999999999999999999\n"
       "MOUSEUP left\nMOVE 1e400 -1e400\nMOVE 99999999999999999999999999 5\nGETPOS\n",
       "ACK KEYDOWN\nACK KEYDOWN\nACK KEYUP\nACK MOUSEDOWN\nACK MOUSEUP\nPOS 1511 5\n",
       {"scroll -3,0", "scroll 3,0", "scroll 0,3", "leftdown @756,491 click 1 #124",
        "leftup @756,491 click 1 #124", "move @1e+26,5 d9223372036854775807,-486"}},
      {"a sign without digits is 0",
       "KEYDOWN -\nKEYDOWN +\nWHEEL +\nWHEEL -\nHWHEEL -\nHWHEEL +\nMOVE - +\n"
       "MOUSEDOWN middle -\nMOUSEUP middle\nGETPOS\n",
       "ACK KEYDOWN\nACK KEYDOWN\nACK MOUSEDOWN\nACK MOUSEUP\nPOS 0 0\n",
       {"scroll 3,0", "scroll 3,0", "scroll 0,-3", "scroll 0,-3", "move @0,0 d-756,-491",
        "otherdown @0,0 click 1 #124", "otherup @0,0 click 1 #124"}},
      {"non-finite targets move nothing, nor drag; -0 is 0",
       "MOVE inf -inf\nGETPOS\nMOVE -0 -0\nGETPOS\nMOVERATIO nan 0.5\nMOVERATIO -0 -0\n"
       "WHEEL -0\nHWHEEL -0\nKEYDOWN -0\nKEYUP nan\nMOUSEDOWN left nan\nMOVE nan inf\n"
       "MOVE -inf 1e300\nMOUSEUP left\n",
       "POS 756 491\nPOS 0 0\nACK KEYDOWN\nACK KEYUP\nACK MOUSEDOWN\nACK MOUSEUP\n",
       {"move @-0,-0 d-756,-491", "move @-0,-0 d0,0", "scroll 3,0", "scroll 0,-3",
        "leftdown @-0,-0 click 1 #124", "leftup @-0,-0 click 1 #124"}},
      {"reals take hex and exponents; integers stop at the first non-digit",
       "MOVE 0x10 0x1p4\nMOVE 1e2 2.5E1\nMOVE 0X1A .5e1\nMOVERATIO 0x.8p0 5e-1\n"
       "KEYDOWN 0x41\nKEYDOWN 6.5e1\nKEYUP 1e2\nWHEEL 0x5\nWHEEL -1e5\nHWHEEL 1e-5\n"
       "MOUSEDOWN right 0x2\nMOUSEUP right\n",
       "ACK KEYDOWN\nACK KEYDOWN\nACK KEYUP\nACK MOUSEDOWN\nACK MOUSEUP\n",
       {"move @16,16 d-740,-475", "move @100,25 d84,9", "move @26,5 d-74,-20",
        "move @756,491 d730,486", "scroll 3,0", "scroll 3,0", "scroll 0,3",
        "rightdown @756,491 click 1 #124", "rightup @756,491 click 1 #124"}},
      {"numbers skip leading white space and stop at a tab; a NUL ends the line; high bytes are "
       "no button and no number",
       "KEYDOWN 65\t\nKEYUP \t65\nTEXT aGk\0=\nTEXT aGkAaGk=\nKEYDOWN \xff\nMOUSEDOWN \xe9\n"
       "MOUSEUP \xed\xa0\x80\nTEXT \xc3\xa9\nMOVE \t1 \v2\n"s,
       "ACK KEYDOWN\nACK KEYUP\nACK KEYDOWN\nACK MOUSEDOWN\nACK MOUSEUP\n",
       {"keydown 0 hid", "keyup 0 hid", "keydown 0 text 2 'hi'", "keyup 0 text 2 'hi'",
        "keydown 0 text 2 'hi'", "keyup 0 text 2 'hi'", "leftdown @756,491 click 1 #124",
        "leftup @756,491 click 1 #124", "move @1,2 d-755,-489"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fresh();
    EXPECT_EQ(handleLines(c.lines), c.replies);
    EXPECT_EQ(takePosted(), c.posted);
  }
}

}  // namespace
