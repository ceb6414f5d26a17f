// The built agent as a host runs it: banner and warning, options, end of input and QUIT, replies
// flushed as written, pipes that are non-blocking, full or closed by the host. What the commands
// do is tested in process; here only that the process carries it.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/agent_process.h"
#include "support/describe.h"
#include "support/protocol_lines.h"
#include "support/scratch_file.h"
#include "support/text.h"

namespace {

TEST(MacInputInjectorTest, RunsUntilEndOfInputOrQuitAndExitsZero) {
  AgentOptions untrusted;
  untrusted.env = {{"MII_SIM_TRUSTED", "0"}};
  AgentOptions hostClosesStdout;
  hostClosesStdout.hostClosesStdout = true;
  const Events controlAndLeft = {"flagschanged 59 down hid Control",
                                 "leftdown @756,491 click 1 #124 Control", "flagschanged 59 up hid",
                                 "leftup @756,491 click 1 #124"};
  // 100,000 commands in a stream, read and answered while the host writes.
  std::string stream = kReady;
  Events streamed;
  for (int i = 0; i < 25000; ++i) {
    stream += "ACK KEYDOWN\nACK KEYUP\nPONG\n";
    streamed.insert(streamed.end(), {"keydown 0 hid", "keyup 0 hid", "scroll -3,0"});
  }
  const std::string heldWhileClosed =
      "KEYDOWN 17\nMOUSEDOWN left\n" + repeat("PING\nRESOLUTION\n", 5000);
  const struct {
    const char* name;
    std::string input;
    std::string out;  // the whole of standard output, banner included
    Events posted;
    AgentOptions options = {};
    std::string err = {};
  } cases[] = {
      {"QUIT ends it; nothing after is read",
       "PING\nping\nMOVE 100\nQUIT\nPING\n",
       kReady + "PONG\nUNKNOWN: ping\nUNKNOWN: MOVE\n",
       {}},
      {"no input at all", "", kReady, {}},
      {"only line ends", "\n\n\r\n", kReady, {}},
      {"without the permission: the banner and a warning; QUIT, exactly, still ends it",
       "PING\nRESOLUTION\nKEYDOWN 65\nQUIT now\nQUIT\nPING\n",
       kNoPermissionBanner + "PONG\nSCREEN 1512 982 1512 982\n" + kRefused + kRefused,
       {},
       untrusted,
       kPermissionWarning},
      {"100,000 commands", repeat("KEYDOWN 65\nKEYUP 65\nPING\nWHEEL 1\n", 25000), stream,
       streamed},
      // Served to the end although no reply arrives, then everything held is released.
      {"replies into a pipe the host closed, then end of input",
       heldWhileClosed + "KEYDOWN 67\n",
       "",
       {"flagschanged 59 down hid Control", "leftdown @756,491 click 1 #124 Control",
        "keydown 8 hid Command", "keyup 8 hid Command", "flagschanged 59 up hid",
        "leftup @756,491 click 1 #124"},
       hostClosesStdout},
      {"replies into a pipe the host closed, then QUIT", heldWhileClosed + "QUIT\nKEYDOWN 65\n", "",
       controlAndLeft, hostClosesStdout},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AgentResult r = runAgent(c.input, c.options);
    ASSERT_TRUE(r.exited) << "ended by signal " << r.status;
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out == c.out) << r.out.substr(0, 200);  // whole, and readable when not
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.posted, c.posted);
  }
}

// Started with stdout and stderr both closed, the first descriptors the agent opens land there. A
// warning must then go nowhere, not into the pipe its signal handler wakes the loop through, or
// the loop, woken for good, would read no further line.
TEST(MacInputInjectorTest, WithoutStdoutAndStderrAWarningWakesNothing) {
  AgentOptions options;
  options.closedStdout = true;
  options.closedStderr = true;
  const std::string secureInputOn = temporaryPath("secure-input-on");
  std::ofstream(secureInputOn) << "1";
  options.env = {{"MII_SIM_SECURE_INPUT_FILE", secureInputOn}};
  AgentSession session = startAgent(options);
  sendToAgent(session, "KEYDOWN 17\n");  // warns that Secure Event Input is on
  ASSERT_TRUE(waitForTrace(session, 1));
  AgentResult r = finishAgent(session, true, "KEYUP 17\nKEYDOWN 65\n");
  ASSERT_TRUE(r.exited) << "ended by signal " << r.status;
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.posted, (Events{"flagschanged 59 down hid Control", "flagschanged 59 up hid",
                              "keydown 0 hid", "keyup 0 hid"}));
}

// The window server drops what it has not taken when the poster exits: the agent ends at least
// 50 ms after its last event (the releases it posts on the way out included), and declared user
// activity before its input without leaving a power assertion behind.
TEST(MacInputInjectorTest, EndsFiftyMillisecondsAfterItsLastEvent) {
  for (const char* input : {"KEYDOWN 65\n", "MOVE 5 5\nQUIT\n"}) {
    SCOPED_TRACE(input);
    AgentResult r = runAgent(input);
    ASSERT_TRUE(r.exited);
    ASSERT_FALSE(r.postedTimes.empty());
    EXPECT_GE(r.exitTime - r.postedTimes.back(), 0.05);
    EXPECT_EQ(r.userActivity, 1);
  }
}

// --positional-keys keeps every key at its U.S. position, here on a French Mac whose A is key 12.
// An option's one line that cannot be written (stdout closed, or closed by the host) fails it.
TEST(MacInputInjectorTest, OptionsCountOnlyAsTheFirstArgumentExactly) {
  const struct {
    std::vector<std::string> args;
    std::string out;
    std::vector<std::string> posted = {"keydown 12 hid", "keyup 12 hid"};
    bool closedStdout = false;
    bool hostClosesStdout = false;
    int status = 0;
  } cases[] = {
      {{"--version", "--self-test"}, "Trelvane Mac keyboard 20260910-R2 HID\n", {}},
      {{"--version"}, "", {}, true, false, 1},
      {{"--self-test"}, "", {}, false, true, 1},
      {{"x", "--version"}, kReady + "PONG\n"},
      {{"--VERSION"}, kReady + "PONG\n"},
      {{"-v"}, kReady + "PONG\n"},
      {{"--positional-keys"}, kReady + "PONG\n", {"keydown 0 hid", "keyup 0 hid"}},
      {{"x", "--positional-keys"}, kReady + "PONG\n"},
  };
  for (const auto& c : cases) {
    AgentOptions options;
    options.args = c.args;
    options.env = {{"MII_SIM_LAYOUT", "french"}};
    options.closedStdout = c.closedStdout;
    options.hostClosesStdout = c.hostClosesStdout;
    AgentResult r = runAgent("PING\nKEYPRESS 65\n", options);
    EXPECT_TRUE(r.exited) << c.args[0];
    EXPECT_EQ(r.status, c.status) << c.args[0];
    EXPECT_EQ(r.out, c.out) << c.args[0];
    EXPECT_EQ(r.posted, c.posted) << c.args[0];
  }
}

TEST(MacInputInjectorTest, RepliesAreFlushedAsSoonAsWritten) {
  AgentSession session = startAgent();
  EXPECT_EQ(readAgentLine(session) + "\n", kReady);
  for (int i = 0; i < 3; ++i) {
    sendToAgent(session, "PING\n");
    EXPECT_EQ(readAgentLine(session), "PONG");
  }
  sendToAgent(session, "RESOLUTION\n");
  EXPECT_EQ(readAgentLine(session), "SCREEN 1512 982 1512 982");
  EXPECT_EQ(finishAgent(session).status, 0);
}

// The permission read afresh for each line: missing at start (the banner), then granted.
TEST(MacInputInjectorTest, PermissionMissingAtStartThenGranted) {
  const std::string trust = temporaryPath("trust");
  AgentOptions options;
  options.env = {{"MII_SIM_TRUST_FILE", trust}};  // granted while the file starts with "1"
  AgentSession session = startAgent(options);
  EXPECT_EQ(readAgentLine(session) + "\n", kNoPermissionBanner);
  sendToAgent(session, "KEYDOWN 65\n");
  EXPECT_EQ(readAgentLine(session) + "\n", kRefused);
  std::ofstream(trust) << "1";
  sendToAgent(session, "ping\n");
  EXPECT_EQ(readAgentLine(session) + "\n", kReady);
  EXPECT_EQ(readAgentLine(session), "UNKNOWN: ping");
  AgentResult r = finishAgent(session);
  EXPECT_EQ(r.err, kPermissionWarning);
  EXPECT_EQ(r.status, 0);
}

TEST(MacInputInjectorTest, NonBlockingPipesLoseNoLineAndNoReply) {
  AgentOptions nonBlocking;
  nonBlocking.nonBlockingPipes = true;
  AgentSession session = startAgent(nonBlocking);
  EXPECT_EQ(readAgentLine(session) + "\n", kReady);

  // A host that pauses between lines: nothing to read is not the end of input.
  sendToAgent(session, "KEYDOWN 17\n");
  EXPECT_EQ(readAgentLine(session), "ACK KEYDOWN");
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  sendToAgent(session, "KEYUP 17\n");
  EXPECT_EQ(readAgentLine(session), "ACK KEYUP");

  // A host that reads late: more replies than the pipe holds wait for room, none is lost.
  sendToAgent(session, repeat("PING\n", 20000));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  AgentResult r = finishAgent(session);
  EXPECT_TRUE(r.exited && r.status == 0);
  EXPECT_TRUE(r.out == repeat("PONG\n", 20000)) << r.out.size() << " bytes";
  EXPECT_EQ(r.err, "");
  // Control down and up, and no release at a pause.
  EXPECT_EQ(r.posted, (Events{"flagschanged 59 down hid Control", "flagschanged 59 up hid"}));
}

}  // namespace
