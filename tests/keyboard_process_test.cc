// The keyboard commands in the built agent, seen as a host sees them: replies, standard error and
// the posted-event trace.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "support/agent_process.h"
#include "support/protocol_lines.h"

namespace {

constexpr char kNoSourceLine[] = "ERR: Cannot create HID keyboard source\n";
constexpr char kCleanExit[] = R"({"exit":true,"liveEvents":0,"liveStrings":0,"liveSources":1})";
constexpr char kNoSourceExit[] = R"({"exit":true,"liveEvents":0,"liveStrings":0,"liveSources":0})";

using Lines = std::vector<std::string>;

std::string key(int seq, int type, int flags, int keycode, bool down) {
  return "{\"seq\":" + std::to_string(seq) + ",\"tap\":0,\"type\":" + std::to_string(type) +
         ",\"source\":\"hid\",\"flags\":" + std::to_string(flags) +
         ",\"keycode\":" + std::to_string(keycode) + (down ? ",\"down\":true" : ",\"down\":false") +
         ",\"suppressionInterval\":0,\"localEventsFilter\":[7,7]}";
}

// One stroke of text: its key down, or its key up.
std::string text(int seq, int flags, const std::string& utf8, int units, bool down = true) {
  return "{\"seq\":" + std::to_string(seq) + ",\"tap\":0,\"type\":" + (down ? "10" : "11") +
         ",\"source\":null,\"flags\":" + std::to_string(flags) +
         ",\"keycode\":0,\"down\":" + (down ? "true" : "false") + ",\"text\":\"" + utf8 +
         "\",\"textUnits\":" + std::to_string(units) + "}";
}

// The key down and key up of each text, in order, from seq on.
Lines strokes(int seq, int flags, const std::vector<std::string>& texts) {
  Lines lines;
  for (const std::string& t : texts) {
    const int units = t == "\xF0\x9F\x98\x80" ? 2 : static_cast<int>(t.size());
    lines.push_back(text(seq++, flags, t, units));
    lines.push_back(text(seq++, flags, t, units, false));
  }
  return lines;
}

TEST(KeyboardProcess, ClipboardChordAsTheWorkedExample) {
  AgentResult r = runAgent("KEYDOWN 17\nKEYDOWN 67\nKEYUP 17\nKEYUP 67\n");
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kReady + "ACK KEYDOWN\nACK KEYDOWN\nACK KEYUP\nACK KEYUP\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.trace, (Lines{key(1, 12, 0x40000, 59, true), key(2, 10, 0x100000, 8, true),
                            key(3, 12, 0, 59, false), key(4, 11, 0x100000, 8, false), kCleanExit}));
}

TEST(KeyboardProcess, ArrowsShiftAndKeyPress) {
  AgentResult r = runAgent(
      "KEYDOWN 16\nKEYPRESS 37\nKEYDOWN 17\nKEYPRESS 40\nKEYUP 16\nKEYUP 17\n"
      "KEYPRESS 65601\n");
  EXPECT_EQ(r.out, kReady + "ACK KEYDOWN\nACK KEYDOWN\nACK KEYUP\nACK KEYUP\n");
  EXPECT_EQ(r.trace, (Lines{key(1, 12, 0x20000, 56, true), key(2, 10, 0xA20000, 123, true),
                            key(3, 11, 0xA20000, 123, false), key(4, 12, 0x60000, 59, true),
                            key(5, 10, 0x860000, 125, true), key(6, 11, 0x860000, 125, false),
                            key(7, 12, 0x40000, 56, false), key(8, 12, 0, 59, false),
                            key(9, 10, 0, 0, true), key(10, 11, 0, 0, false), kCleanExit}));
}

TEST(KeyboardProcess, FlagRulesSidedModifiersAndRepeats) {
  AgentResult r = runAgent(
      "KEYDOWN 163\nKEYDOWN 67\nKEYUP 67\nKEYUP 163\n"                        // right Control
      "KEYDOWN 17\nKEYDOWN 86\nKEYDOWN 86\nKEYUP 17\nKEYDOWN 86\nKEYUP 86\n"  // repeats
      "KEYDOWN 16\nKEYUP 160\nKEYDOWN 20\n");                                 // held at the end
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.trace, (Lines{key(1, 12, 0x40000, 62, true), key(2, 10, 0x40000, 8, true),
                            key(3, 11, 0x40000, 8, false), key(4, 12, 0, 62, false),
                            key(5, 12, 0x40000, 59, true), key(6, 10, 0x100000, 9, true),
                            key(7, 10, 0x100000, 9, true), key(8, 12, 0, 59, false),
                            key(9, 10, 0x100000, 9, true), key(10, 11, 0x100000, 9, false),
                            key(11, 12, 0x20000, 56, true), key(12, 12, 0x20000, 56, false),
                            key(13, 10, 0x20000, 57, true), key(14, 11, 0x20000, 57, false),
                            key(15, 12, 0, 56, false), kCleanExit}));
}

TEST(KeyboardProcess, TextIsTypedInEventsOfAtMost20Units) {
  // "hi" without its "="; a two-character group; 20 and 41 ASCII units; 19 units and an emoji
  // across the boundary; invalid UTF-8; an embedded NUL; CJK with Control held.
  const std::string units20 = "YmJiYmJiYmJiYmJiYmJiYmJiYmI=";
  const std::string units41 = "YWJjZGVmZ2hpamtsbW5vcHFyc3R1dnd4eXphYmNkZWZnaGlqa2xtbm8=";
  const std::string emojiAt19 = "YWFhYWFhYWFhYWFhYWFhYWFhYfCfmIA=";
  AgentResult r = runAgent("TEXT aGk\nTEXT aA\nTEXT " + units20 + "\nTEXT " + units41 + "\nTEXT " +
                           emojiAt19 + "\nTEXT /w==\nTEXT YQBi\nKEYDOWN 17\nTEXT 5L2g5aW9\n");
  EXPECT_EQ(r.out, kReady + "ACK KEYDOWN\n");
  Lines expected =
      strokes(1, 0,
              {"hi", "h", "bbbbbbbbbbbbbbbbbbbb", "abcdefghijklmnopqrst", "uvwxyzabcdefghijklmn",
               "o", "aaaaaaaaaaaaaaaaaaa", "\xF0\x9F\x98\x80", "a"});
  for (const std::string& line :
       {key(19, 12, 0x40000, 59, true), text(20, 0x40000, "你好", 2),
        text(21, 0x40000, "你好", 2, false), key(22, 12, 0, 59, false), std::string(kCleanExit)}) {
    expected.push_back(line);
  }
  EXPECT_EQ(r.trace, expected);
}

TEST(KeyboardProcess, FailuresAndUnmappedKeysStillAcknowledgeAndLeakNothing) {
  const std::string noSource = kNoSourceLine;
  struct Case {
    const char* fail;
    std::string input;
    std::string replies;
    std::string err;
    std::string exitLine;
  };
  const Case cases[] = {
      // Unmapped keys: not even the keyboard source is made.
      {"", "KEYDOWN -1\nKEYDOWN 96\nKEYUP 223\nKEYPRESS 7\nKEYDOWN x\n",
       "ACK KEYDOWN\nACK KEYDOWN\nACK KEYUP\nACK KEYDOWN\n", "", kNoSourceExit},
      // One line per key event attempted: three downs, an up, and at the end the releases of
      // the key and the modifier still held. The unmapped VK is no attempt.
      {"source", "KEYDOWN 17\nKEYDOWN 96\nKEYDOWN 65\nKEYUP 65\nKEYDOWN 66\n",
       "ACK KEYDOWN\nACK KEYDOWN\nACK KEYDOWN\nACK KEYUP\nACK KEYDOWN\n",
       noSource + noSource + noSource + noSource + noSource + noSource, kNoSourceExit},
      {"keyboard", "KEYDOWN 17\nKEYPRESS 67\nTEXT aGk=\n", "ACK KEYDOWN\n", "", kCleanExit},
      {"string", "TEXT aGk=\n", "", "", kNoSourceExit},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fail);
    AgentOptions options;
    options.env = {{"MII_SIM_FAIL", c.fail}};
    AgentResult r = runAgent(c.input, options);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kReady + c.replies);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.trace, Lines{c.exitLine});
  }
}

// The warning comes once each time Secure Event Input turns on, from the first key or text
// command that finds it on; pointer commands never ask, and the events go out all the same.
TEST(KeyboardProcess, SecureEventInputIsReportedEachTimeItTurnsOn) {
  const std::string flag = temporaryPath("secure-input");
  AgentOptions options;
  options.env = {{"MII_SIM_SECURE_INPUT_FILE", flag}};
  std::ofstream(flag) << "1";
  AgentSession agent = startAgent(options);
  const struct {
    const char* secureInput;  // the file's content before the lines
    const char* lines;        // each group ends with PING, so its reply marks it done
  } steps[] = {
      {"1", "MOVE 1 1\nCLICK left\nPING\n"},
      {"1", "KEYDOWN 65\nKEYUP 65\nPING\n"},  // already on at the first: one warning
      {"0", "TEXT aGk=\nPING\n"},
      {"1", "KEYPRESS 66\nMOUSEDOWN left\nPING\n"},  // on again: a second warning
  };
  EXPECT_EQ(readAgentLine(agent), "READY: macOS CGEvent Input Injector Online");
  for (const auto& step : steps) {
    std::ofstream(flag) << step.secureInput;
    sendToAgent(agent, step.lines);
    std::string line;
    do {
      line = readAgentLine(agent);
    } while (!line.empty() && line != "PONG");
  }
  AgentResult r = finishAgent(agent);
  const std::string warning =
      "WARNING: Secure Event Input is on; keys and text may not reach the focused app\n";
  EXPECT_EQ(r.err, warning + warning);
  // A move, a click, A, "hi" and B (two each), a press and its release at the end.
  EXPECT_EQ(postedLines(r).size(), 11u);
}

}  // namespace
