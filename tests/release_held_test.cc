// A host that goes away (end of input), says QUIT, ends the agent by a signal or loses the
// permission mid-chord or mid-drag leaves nothing held: the agent releases keys, then modifiers,
// then buttons, as KEYUP and MOUSEUP would.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/simulated/simulation.h"
#include "support/agent_process.h"
#include "support/in_process.h"
#include "support/protocol_lines.h"

namespace {

std::string key(int seq, int type, uint64_t flags, int keycode, bool down) {
  return "{\"seq\":" + std::to_string(seq) + ",\"tap\":0,\"type\":" + std::to_string(type) +
         ",\"source\":\"hid\",\"flags\":" + std::to_string(flags) +
         ",\"keycode\":" + std::to_string(keycode) + ",\"down\":" + (down ? "true" : "false") +
         ",\"suppressionInterval\":0,\"localEventsFilter\":[7,7]}";
}

std::string mouse(int seq, int type, const char* xy, int button, uint64_t flags,
                  const char* fields) {
  return "{\"seq\":" + std::to_string(seq) + ",\"tap\":0,\"type\":" + std::to_string(type) +
         ",\"source\":null,\"flags\":" + std::to_string(flags) + "," + xy +
         ",\"button\":" + std::to_string(button) + ",\"fields\":{" + fields + "}}";
}

// A stroke of CLICK or DBLCLICK, which carries no flags.
std::string click(int seq, int type, int button, const char* fields) {
  return "{\"seq\":" + std::to_string(seq) + ",\"tap\":0,\"type\":" + std::to_string(type) +
         ",\"source\":null,\"flags\":null,\"x\":756,\"y\":491,\"button\":" +
         std::to_string(button) + ",\"fields\":{" + fields + "}}";
}

constexpr char kCentre[] = "\"x\":756,\"y\":491";
constexpr uint64_t kShift = 0x20000, kControl = 0x40000, kCommand = 0x100000;
constexpr uint64_t kArrow = 0xA00000;  // NumericPad | SecondaryFn

TEST(ReleaseHeld, AtEndOfInputAndOnQuitInOrder) {
  struct Case {
    const char* name;
    std::string input;
    std::vector<std::string> expected;
  } cases[] = {
      {"translated C released with Command, then Control",
       "KEYDOWN 17\nKEYDOWN 67\n",
       {key(1, 12, kControl, 59, true), key(2, 10, kCommand, 8, true),
        key(3, 11, kCommand, 8, false), key(4, 12, 0, 59, false)}},
      {"the same chord ended by QUIT",
       "KEYDOWN 17\nKEYDOWN 67\nQUIT\nKEYDOWN 65\n",
       {key(1, 12, kControl, 59, true), key(2, 10, kCommand, 8, true),
        key(3, 11, kCommand, 8, false), key(4, 12, 0, 59, false)}},
      {"keys in ascending VK order, then modifiers in ascending VK order",
       "KEYDOWN 162\nKEYDOWN 66\nKEYDOWN 16\nKEYDOWN 65\n",
       {key(1, 12, kControl, 59, true), key(2, 10, kControl, 11, true),
        key(3, 12, kControl | kShift, 56, true), key(4, 10, kControl | kShift, 0, true),
        key(5, 11, kControl | kShift, 0, false), key(6, 11, kControl | kShift, 11, false),
        key(7, 12, kControl, 56, false), key(8, 12, 0, 59, false)}},
      {"a held arrow keeps its flags",
       "KEYDOWN 37\n",
       {key(1, 10, kArrow, 123, true), key(2, 11, kArrow, 123, false)}},
      {"nothing held: nothing more",
       "KEYDOWN 65\nKEYUP 65\nCLICK left\nDBLCLICK right\nKEYPRESS 66\n",
       {key(1, 10, 0, 0, true), key(2, 11, 0, 0, false),
        R"({"seq":3,"tap":0,"type":1,"source":null,"flags":null,"x":756,"y":491,"button":0,"fields":{"0":124,"1":1}})",
        R"({"seq":4,"tap":0,"type":2,"source":null,"flags":null,"x":756,"y":491,"button":0,"fields":{"0":124,"1":1}})",
        R"({"seq":5,"tap":0,"type":3,"source":null,"flags":null,"x":756,"y":491,"button":1,"fields":{"0":125,"1":1}})",
        R"({"seq":6,"tap":0,"type":4,"source":null,"flags":null,"x":756,"y":491,"button":1,"fields":{"0":125,"1":1}})",
        R"({"seq":7,"tap":0,"type":3,"source":null,"flags":null,"x":756,"y":491,"button":1,"fields":{"0":126,"1":2}})",
        R"({"seq":8,"tap":0,"type":4,"source":null,"flags":null,"x":756,"y":491,"button":1,"fields":{"0":126,"1":2}})",
        key(9, 10, 0, 11, true), key(10, 11, 0, 11, false)}},
      {"a button held mid-drag is released where the drag ended",
       "MOUSEDOWN left\nMOVE 800 500\n",
       {mouse(1, 1, "\"x\":756,\"y\":491", 0, 0, "\"0\":124,\"1\":1"),
        mouse(2, 6, "\"x\":800,\"y\":500", 0, 0, "\"0\":124,\"1\":1,\"4\":44,\"5\":9"),
        mouse(3, 2, "\"x\":800,\"y\":500", 0, 0, "\"0\":124,\"1\":1")}},
      {"several buttons: left, right, middle, after the keys and modifiers",
       "MOUSEDOWN middle\nMOUSEDOWN right\nKEYDOWN 16\nMOUSEDOWN left\n",
       {mouse(1, 25, "\"x\":756,\"y\":491", 2, 0, "\"0\":124,\"1\":1"),
        mouse(2, 3, "\"x\":756,\"y\":491", 1, 0, "\"0\":125,\"1\":1"), key(3, 12, kShift, 56, true),
        mouse(4, 1, "\"x\":756,\"y\":491", 0, kShift, "\"0\":126,\"1\":1"),
        key(5, 12, 0, 56, false), mouse(6, 2, "\"x\":756,\"y\":491", 0, 0, "\"0\":126,\"1\":1"),
        mouse(7, 4, "\"x\":756,\"y\":491", 1, 0, "\"0\":125,\"1\":1"),
        mouse(8, 26, "\"x\":756,\"y\":491", 2, 0, "\"0\":124,\"1\":1")}},
      {"a released button is not released again",
       "MOUSEDOWN left\nMOUSEUP left\nQUIT\n",
       {mouse(1, 1, "\"x\":756,\"y\":491", 0, 0, "\"0\":124,\"1\":1"),
        mouse(2, 2, "\"x\":756,\"y\":491", 0, 0, "\"0\":124,\"1\":1")}},
  };
  for (const Case& c : cases) {
    AgentResult r = runAgent(c.input);
    ASSERT_TRUE(r.exited) << c.name;
    EXPECT_EQ(r.status, 0) << c.name;
    EXPECT_EQ(r.out.substr(0, kReady.size()), kReady) << c.name;
    EXPECT_EQ(r.out.find("ACK", r.out.rfind("ACK") + 1), std::string::npos) << c.name;
    EXPECT_EQ(postedLines(r), c.expected) << c.name;
    ASSERT_FALSE(r.trace.empty());
    EXPECT_EQ(r.trace.back().find("\"liveEvents\":0,\"liveStrings\":0"), 13u) << r.trace.back();
  }
}

TEST(ReleaseHeld, WritesNothingToStandardOutput) {
  AgentResult r = runAgent("KEYDOWN 17\nMOUSEDOWN left\n");
  EXPECT_EQ(r.out, kReady + "ACK KEYDOWN\nACK MOUSEDOWN\n");
  EXPECT_EQ(postedLines(r).size(), 4u);
}

TEST(ReleaseHeld, QuitReleasesWhatWasHeldBeforeThePermissionWentAway) {
  std::string trust = temporaryPath("trust");
  std::ofstream(trust) << "1";
  AgentSession session = startAgentTrustingFile(trust);
  readAgentLine(session);
  sendToAgent(session, "KEYDOWN 16\n");
  EXPECT_EQ(readAgentLine(session), "ACK KEYDOWN");
  sendToAgent(session, "KEYDOWN 65\n");
  EXPECT_EQ(readAgentLine(session), "ACK KEYDOWN");
  std::ofstream(trust) << "0";
  sendToAgent(session, "KEYUP 65\n");  // refused: A stays held
  readAgentLine(session);
  sendToAgent(session, "QUIT\n");
  AgentResult r = finishAgent(session);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(postedLines(r),
            (std::vector<std::string>{key(1, 12, kShift, 56, true), key(2, 10, kShift, 0, true),
                                      key(3, 11, kShift, 0, false), key(4, 12, 0, 56, false)}));
}

TEST(ReleaseHeld, OnEachEndingSignalAfterTheCommandInProgressThenDiesByIt) {
  const std::string pressedLeft = "\"0\":124,\"1\":1";
  const std::vector<std::string> controlAndLeft = {
      key(1, 12, kControl, 59, true), mouse(2, 1, kCentre, 0, kControl, pressedLeft.c_str()),
      key(3, 12, 0, 59, false), mouse(4, 2, kCentre, 0, 0, pressedLeft.c_str())};
  const std::string heldOut = kReady + "ACK KEYDOWN\nACK MOUSEDOWN\n";
  struct Case {
    std::string name;
    int signal;
    std::string input;
    size_t tracedBefore;                // the signal comes once this many events are posted
    int settleMs;                       // and after this pause
    std::optional<std::string> out;     // the whole of standard output
    std::vector<std::string> expected;  // every event posted
  } cases[] = {
      {"SIGTERM while waiting for input", SIGTERM, "KEYDOWN 17\nMOUSEDOWN left\n", 2, 0, heldOut,
       controlAndLeft},
      {"SIGINT", SIGINT, "KEYDOWN 17\nMOUSEDOWN left\n", 2, 0, heldOut, controlAndLeft},
      {"SIGHUP", SIGHUP, "KEYDOWN 17\nMOUSEDOWN left\n", 2, 0, heldOut, controlAndLeft},
      {"SIGQUIT", SIGQUIT, "KEYDOWN 17\nMOUSEDOWN left\n", 2, 0, heldOut, controlAndLeft},
      {"during a click its release is still posted",
       SIGTERM,
       "CLICK left\n",
       1,
       0,
       kReady + "ACK CLICK\n",
       {click(1, 1, 0, "\"0\":124,\"1\":1"), click(2, 2, 0, "\"0\":124,\"1\":1")}},
      {"during a double click the second click is still posted",
       SIGINT,
       "DBLCLICK left\n",
       1,
       0,
       kReady,
       {click(1, 1, 0, "\"0\":124,\"1\":1"), click(2, 2, 0, "\"0\":124,\"1\":1"),
        click(3, 1, 0, "\"0\":125,\"1\":2"), click(4, 2, 0, "\"0\":125,\"1\":2")}},
      {"during a key press its key-up is posted before the held Shift is released",
       SIGTERM,
       "KEYDOWN 16\nKEYPRESS 65\n",
       2,
       0,
       kReady + "ACK KEYDOWN\n",
       {key(1, 12, kShift, 56, true), key(2, 10, kShift, 0, true), key(3, 11, kShift, 0, false),
        key(4, 12, 0, 56, false)}},
      // The agent blocks writing replies nobody reads: the signal ends that wait too.
      {"while a reply waits for a host that reads nothing",
       SIGTERM,
       "KEYDOWN 17\n" +
           [] {
             std::string pings;
             for (int i = 0; i < 20000; ++i) pings += "PING\n";
             return pings;
           }(),
       1,
       200,
       std::nullopt,
       {key(1, 12, kControl, 59, true), key(2, 12, 0, 59, false)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AgentSession session = startAgent();
    sendToAgent(session, c.input);
    ASSERT_TRUE(waitForTrace(session, c.tracedBefore));
    std::this_thread::sleep_for(std::chrono::milliseconds(c.settleMs));
    signalAgent(session, c.signal);
    // Released while the host still holds both pipes open and has read nothing.
    EXPECT_TRUE(waitForTrace(session, c.expected.size()));
    AgentResult r = finishAgent(session, false);
    EXPECT_FALSE(r.exited);
    EXPECT_EQ(r.status, c.signal);
    if (c.out) {
      EXPECT_EQ(r.out, *c.out);
    }
    EXPECT_EQ(r.trace, c.expected);  // no exit line: the process ended by the signal
  }
}

TEST(ReleaseHeld, ASignalIgnoredByWhoeverStartedTheAgentStaysIgnored) {
  AgentOptions nohup;
  nohup.ignoredSignals = {SIGHUP};
  AgentSession session = startAgent(nohup);
  readAgentLine(session);
  sendToAgent(session, "KEYDOWN 17\n");
  EXPECT_EQ(readAgentLine(session), "ACK KEYDOWN");
  signalAgent(session, SIGHUP);
  sendToAgent(session, "PING\n");
  EXPECT_EQ(readAgentLine(session), "PONG");
  AgentResult r = finishAgent(session);
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(postedLines(r),
            (std::vector<std::string>{key(1, 12, kControl, 59, true), key(2, 12, 0, 59, false)}));
}

// While the permission is missing even releases are refused; when it comes back, the line that
// finds it releases everything still held before it is served.
TEST(ReleaseHeld, WhenThePermissionComesBack) {
  const std::string pressedLeft = "\"0\":124,\"1\":1";
  struct Case {
    std::string name;
    std::vector<std::string> held;
    std::string back;  // the first line with the permission back
    std::string reply;
    std::vector<std::string> expected;
  } cases[] = {
      {"the text after a refused KEYUP of Control is typed without Control",
       {"KEYDOWN 17", "KEYDOWN 65", "MOUSEDOWN left"},
       "TEXT YQ==",
       kReady,
       {key(1, 12, kControl, 59, true), key(2, 10, kControl, 0, true),
        mouse(3, 1, kCentre, 0, kControl, pressedLeft.c_str()), key(4, 11, kControl, 0, false),
        key(5, 12, 0, 59, false), mouse(6, 2, kCentre, 0, 0, pressedLeft.c_str()),
        R"({"seq":7,"tap":0,"type":10,"source":null,"flags":0,"keycode":0,"down":true,"text":"a","textUnits":1})",
        R"({"seq":8,"tap":0,"type":11,"source":null,"flags":0,"keycode":0,"down":false,"text":"a","textUnits":1})"}},
      {"a line of spaces releases too",
       {"KEYDOWN 16"},
       "   ",
       kReady,
       {key(1, 12, kShift, 56, true), key(2, 12, 0, 56, false)}},
      {"nothing held: nothing posted",
       {"KEYDOWN 65", "KEYUP 65"},
       "PING",
       kReady + "PONG\n",
       {key(1, 10, 0, 0, true), key(2, 11, 0, 0, false)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    resetAgent();
    sendLines(c.held);
    simSetTrusted(false);
    EXPECT_EQ(sendLine("KEYUP 17"), kRefused);
    simSetTrusted(true);
    EXPECT_EQ(sendLine(c.back), c.reply);
    EXPECT_EQ(postedTrace(), c.expected);
  }
}

}  // namespace
