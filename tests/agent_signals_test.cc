// The signals that end the agent (SIGTERM, SIGINT, SIGHUP, SIGQUIT, and the others whose default is
// to end a process) end it after the command in progress, releasing what the host left held first,
// and then by that same signal, even one blocked by whoever started the agent; a signal ignored by
// whoever started the agent stays ignored.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "line_protocol.h"
#include "support/agent_process.h"
#include "support/protocol_lines.h"
#include "support/text.h"

namespace {

using Events = std::vector<std::string>;

TEST(AgentSignalsTest, EachEndingSignalReleasesWhatIsHeldThenEndsTheAgentByIt) {
  const Events controlAndLeft = {"flagschanged 59 down hid Control",
                                 "leftdown @756,491 click 1 #124 Control", "flagschanged 59 up hid",
                                 "leftup @756,491 click 1 #124"};
  const std::string heldOut = kReady + "ACK KEYDOWN\nACK MOUSEDOWN\n";
  std::string pings;
  for (int i = 0; i < 20000; ++i) pings += "PING\n";
  // Its reply, "UNKNOWN: " and the word, is more than a pipe holds: the agent is still writing it.
  const std::string longWord(70000, 'w');
  const struct {
    const char* name;
    int signal;
    std::string input;
    size_t tracedBefore;             // the signal comes once this many events are posted
    int settleMs;                    // and after this pause
    std::optional<std::string> out;  // the whole of standard output
    Events posted;                   // every event posted
    std::vector<int> blocked = {};   // blocked in the mask the agent starts with
  } cases[] = {
      {"SIGTERM while waiting for input", SIGTERM, "KEYDOWN 17\nMOUSEDOWN left\n", 2, 0, heldOut,
       controlAndLeft},
      {"SIGINT", SIGINT, "KEYDOWN 17\nMOUSEDOWN left\n", 2, 0, heldOut, controlAndLeft},
      {"SIGHUP", SIGHUP, "KEYDOWN 17\nMOUSEDOWN left\n", 2, 0, heldOut, controlAndLeft},
      {"SIGQUIT", SIGQUIT, "KEYDOWN 17\nMOUSEDOWN left\n", 2, 0, heldOut, controlAndLeft},
      {"SIGUSR1", SIGUSR1, "KEYDOWN 17\nMOUSEDOWN left\n", 2, 0, heldOut, controlAndLeft},
      {"SIGUSR2", SIGUSR2, "KEYDOWN 17\nMOUSEDOWN left\n", 2, 0, heldOut, controlAndLeft},
      {"SIGALRM", SIGALRM, "KEYDOWN 17\nMOUSEDOWN left\n", 2, 0, heldOut, controlAndLeft},
      {"SIGVTALRM", SIGVTALRM, "KEYDOWN 17\nMOUSEDOWN left\n", 2, 0, heldOut, controlAndLeft},
      {"SIGPROF", SIGPROF, "KEYDOWN 17\nMOUSEDOWN left\n", 2, 0, heldOut, controlAndLeft},
      {"SIGTERM blocked by whoever started the agent",
       SIGTERM,
       "KEYDOWN 17\nMOUSEDOWN left\n",
       2,
       0,
       heldOut,
       controlAndLeft,
       {SIGTERM}},
      {"a held media key and keypad key",
       SIGTERM,
       "KEYDOWN 179\nKEYDOWN 110\n",
       2,
       0,
       kReady + "ACK KEYDOWN\nACK KEYDOWN\n",
       {"systemdefined aux 0x100a00 0xa00", "keydown 65 hid NumericPad", "keyup 65 hid NumericPad",
        "systemdefined aux 0x100b00 NonCoalesced+0xa00"}},
      {"side buttons",
       SIGTERM,
       "MOUSEDOWN back\nMOUSEDOWN x2\n",
       2,
       0,
       kReady + "ACK MOUSEDOWN\nACK MOUSEDOWN\n",
       {"otherdown @756,491 button 3 click 1 #124", "otherdown @756,491 button 4 click 1 #125",
        "otherup @756,491 button 3 click 1 #124", "otherup @756,491 button 4 click 1 #125"}},
      {"during a click its release is still posted",
       SIGTERM,
       "CLICK left\n",
       1,
       0,
       kReady + "ACK CLICK\n",
       {"leftdown @756,491 click 1 #124", "leftup @756,491 click 1 #124"}},
      {"during a double click its first click ends, and no second one starts",
       SIGINT,
       "DBLCLICK left\n",
       1,
       0,
       kReady,
       {"leftdown @756,491 click 1 #124", "leftup @756,491 click 1 #124"}},
      {"during a key press its key-up is posted before the held Shift is released",
       SIGTERM,
       "KEYDOWN 16\nKEYPRESS 65\n",
       2,
       0,
       kReady + "ACK KEYDOWN\n",
       {"flagschanged 56 down hid Shift", "keydown 0 hid Shift", "keyup 0 hid Shift",
        "flagschanged 56 up hid"}},
      // The agent blocks writing replies nobody reads: the signal ends that wait too.
      {"while a reply waits for a host that reads nothing",
       SIGTERM,
       "KEYDOWN 17\n" + pings,
       1,
       200,
       std::nullopt,
       {"flagschanged 59 down hid Control", "flagschanged 59 up hid"}},
      // One signal is enough: the write it interrupts returns part of the reply, and the rest is
      // given up rather than written to a host that reads nothing.
      {"while a long reply is half written", SIGTERM,
       "KEYDOWN 17\nMOUSEDOWN left\n" + longWord + "\n", 2, 200, std::nullopt, controlAndLeft},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AgentOptions options;
    options.blockedSignals = c.blocked;
    AgentSession session = startAgent(options);
    sendToAgent(session, c.input);
    ASSERT_TRUE(waitForTrace(session, c.tracedBefore));
    std::this_thread::sleep_for(std::chrono::milliseconds(c.settleMs));
    kill(session.pid, c.signal);
    // Released while the host still holds both pipes open and has read nothing.
    EXPECT_TRUE(waitForTrace(session, c.posted.size()));
    AgentResult r = finishAgent(session, false);
    EXPECT_FALSE(r.exited);
    EXPECT_EQ(r.status, c.signal);
    EXPECT_FALSE(r.coreDumped);  // SIGQUIT's default would leave one
    if (c.out) {
      EXPECT_EQ(r.out, *c.out);
    }
    EXPECT_EQ(r.posted, c.posted);
    EXPECT_EQ(r.sourcesAtExit, -1);  // no exit line: the process ended by the signal
    if (HasFailure()) break;  // the rows after one that waited out its deadline would wait too
  }
}

// A runaway paste is stopped: the signal ends the longest TEXT between two of its strokes, each
// stroke whole, long before the 39,323 strokes it would take.
TEST(AgentSignalsTest, ALongTextStopsBetweenTwoStrokes) {
  AgentSession session = startAgent();
  sendToAgent(session, "TEXT " + encodeBase64(std::string(786426, 'a')) + "\n");
  ASSERT_TRUE(waitForTrace(session, 2));
  kill(session.pid, SIGTERM);
  AgentResult r = finishAgent(session, false);
  EXPECT_FALSE(r.exited);
  EXPECT_EQ(r.status, SIGTERM);
  ASSERT_GE(r.posted.size(), 2u);
  EXPECT_LT(r.posted.size(), 39323u);
  EXPECT_EQ(r.posted.size() % 2, 0u);
  EXPECT_EQ(r.posted.back().rfind("keyup 0 text 20", 0), 0u) << r.posted.back();
}

// TYPE stops the same way, between two characters, and lets go of the Shift it pressed.
TEST(AgentSignalsTest, ALongTypeStopsBetweenTwoCharactersWithItsShiftReleased) {
  AgentSession session = startAgent();
  sendToAgent(session, "TYPE " + encodeBase64(std::string(500000, 'A')) + "\n");
  ASSERT_TRUE(waitForTrace(session, 3));
  kill(session.pid, SIGTERM);
  AgentResult r = finishAgent(session, false);
  EXPECT_FALSE(r.exited);
  EXPECT_EQ(r.status, SIGTERM);
  ASSERT_GE(r.posted.size(), 4u);
  EXPECT_LT(r.posted.size(), 1000002u);
  EXPECT_EQ(r.posted.front(), "flagschanged 56 down hid Shift");
  EXPECT_EQ(r.posted[r.posted.size() - 2], "keyup 0 hid Shift");
  EXPECT_EQ(r.posted.back(), "flagschanged 56 up hid");
}

// A host hung with keys or buttons down that never reads again: once a reply has waited five
// seconds, what it holds is released with no signal sent, and said once, however long the wait
// goes on; whatever stdout is, and whatever stderr does. A signal still ends the agent. The rows
// run side by side and are held for 11 s, past a second release's time.
TEST(AgentSignalsTest, AHostThatStopsReadingHasWhatItHeldReleasedOnceAfterFiveSeconds) {
  const std::string warning =
      "WARNING: the host has not read a reply for 5 seconds; released what it held\n";
  const Events left = {"leftdown @756,491 click 1 #124", "leftup @756,491 click 1 #124"};
  const std::pair<std::string, std::string> noSource = {"MII_SIM_FAIL", "source"};
  AgentOptions socket;
  socket.socketStdout = true;
  AgentOptions sharedStderr;  // a key's diagnostic and its reply into one pipe
  sharedStderr.stderrToStdout = true;
  sharedStderr.env = {noSource};
  AgentOptions diagnosing;
  diagnosing.env = {noSource};
  struct Row {
    const char* name;
    AgentOptions options;
    std::string input;  // no more than the host's pipe to the agent holds once it stops
    Events posted;      // pressed, then released
    std::optional<std::string> err;
    AgentSession session = {};
  } rows[] = {
      {"a pipe",
       {},
       "KEYDOWN 16\n" + repeat("PING\n", 16000),
       {"flagschanged 56 down hid Shift", "flagschanged 56 up hid"},
       warning},
      {"a side button",
       {},
       "MOUSEDOWN forward\n" + repeat("PING\n", 16000),
       {"otherdown @756,491 button 4 click 1 #124", "otherup @756,491 button 4 click 1 #124"},
       warning},
      {"a socket pair, whose writes poll does not promise room for",
       socket,
       "KEYDOWN 17\nMOUSEDOWN left\n" + repeat("PING\n", 12000),
       {"flagschanged 59 down hid Control", "leftdown @756,491 click 1 #124 Control",
        "flagschanged 59 up hid", "leftup @756,491 click 1 #124"},
       warning},
      // The PINGs place the line that fills the pipe's last page just after a poll: a writer
      // that counted room there, the diagnostics' bytes unseen, would block inside write.
      {"2>&1, a diagnostic with every key's reply", sharedStderr,
       "MOUSEDOWN left\n" + repeat("PING\n", 508) + repeat("KEYDOWN 65\n", 4000), left, ""},
      // The diagnostics fill stderr long before the replies fill stdout.
      {"a stderr nobody reads, full of diagnostics and a dropped line's note", diagnosing,
       "MOUSEDOWN left\n" + repeat("KEYDOWN 65\n", 2000) + std::string(kMaxLineLength + 1, 'X') +
           "\n" + repeat("KEYDOWN 65\n", 5000),
       left, std::nullopt},
  };
  const auto start = std::chrono::steady_clock::now();
  for (Row& row : rows) {
    row.session = startAgent(row.options);
    sendToAgent(row.session, row.input);
  }
  for (const Row& row : rows) EXPECT_TRUE(waitForTrace(row.session, row.posted.size(), 8000));
  std::this_thread::sleep_until(start + std::chrono::seconds(11));
  for (Row& row : rows) {
    SCOPED_TRACE(row.name);
    kill(row.session.pid, SIGTERM);
    AgentResult r = finishAgent(row.session, false);
    EXPECT_FALSE(r.exited);
    EXPECT_EQ(r.status, SIGTERM);
    EXPECT_EQ(r.posted, row.posted);
    if (row.err) {
      EXPECT_EQ(r.err, *row.err);
    }
    const size_t released = row.posted.size() / 2;
    if (r.postedTimes.size() == row.posted.size()) {
      EXPECT_GE(r.postedTimes[released] - r.postedTimes[released - 1], 5.0);
    }
  }
}

// Sent before the agent started, while blocked: they come once it unblocks them, the lower number
// first (as Linux and macOS deliver pending signals), and the agent ends by that first one.
TEST(AgentSignalsTest, TwoEndingSignalsPendingAtStartEndTheAgentByTheFirstToCome) {
  AgentOptions options;
  options.pendingSignals = {SIGTERM, SIGINT};
  AgentSession session = startAgent(options);
  AgentResult r = finishAgent(session, false);
  EXPECT_FALSE(r.exited);
  EXPECT_EQ(r.status, SIGINT);
  EXPECT_EQ(r.posted, Events{});
}

TEST(AgentSignalsTest, ASignalIgnoredByWhoeverStartedTheAgentStaysIgnored) {
  AgentOptions nohup;
  nohup.ignoredSignals = {SIGHUP};
  AgentSession session = startAgent(nohup);
  readAgentLine(session);
  sendToAgent(session, "KEYDOWN 17\n");
  EXPECT_EQ(readAgentLine(session), "ACK KEYDOWN");
  kill(session.pid, SIGHUP);
  sendToAgent(session, "PING\n");
  EXPECT_EQ(readAgentLine(session), "PONG");
  AgentResult r = finishAgent(session);
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.posted, (Events{"flagschanged 59 down hid Control", "flagschanged 59 up hid"}));
}

}  // namespace
