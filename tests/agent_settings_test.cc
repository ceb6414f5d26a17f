// The simulated desktop's MII_SIM_* settings as a whole-process run reads them from the
// environment, and the trace it writes (support/agent_process.cc reads it for every run).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/quartz.h"
#include "support/agent_process.h"
#include "support/protocol_lines.h"
#include "support/scratch_file.h"
#include "support/text.h"

namespace {

using Env = std::vector<std::pair<std::string, std::string>>;
using Events = std::vector<std::string>;

AgentResult runWith(const std::string& input, Env env) {
  AgentOptions options;
  options.env = std::move(env);
  AgentResult r = runAgent(input, options);
  EXPECT_TRUE(r.exited && r.status == 0) << r.status << " " << r.err;
  return r;
}

TEST(AgentSettingsTest, EachSettingReachesTheDesktop) {
  const std::string secureInput = temporaryPath("secure-input");
  std::ofstream(secureInput) << "1";
  // Neither is read: a FIFO would hang the agent before its banner, /dev/stdin would take the
  // commands. Both read as no permission.
  const std::string fifo = temporaryPath("trust-fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string displays = temporaryPath("displays");
  std::ofstream(displays) << "800x600#5\n";
  const struct {
    Env env;
    const char* input;
    std::string replies;  // after the banner
    Events posted;
    std::string err = {};
    std::string banner = kReady;
  } cases[] = {
      {{{"MII_SIM_DISPLAYS", "800x600,400x300@-400,0"}, {"MII_SIM_CURSOR", "-200.5,10"}},
       "RESOLUTION\nGETPOS\nMOVERATIO 0.5 0.5\n",
       "SCREEN 800 600 800 600\nPOS -200 10\n",
       {"move @400,300 d600,290"}},
      {{{"MII_SIM_DISPLAYS", "none"}}, "RESOLUTION\n", "SCREEN 1920 1080 1920 1080\n", {}},
      {{{"MII_SIM_DISPLAYS", "1512x982*2#69733378,1920x1080@1512,-98#724238"}},
       "RESOLUTION\nGETPOS\n",
       "SCREEN 1512 982 1512 982\nPOS 756 491\n",
       {}},
      // The file wins, and the cursor starts on its main display.
      {{{"MII_SIM_DISPLAYS_FILE", displays}, {"MII_SIM_DISPLAYS", "1512x982"}},
       "RESOLUTION\nGETPOS\n",
       "SCREEN 800 600 800 600\nPOS 400 300\n",
       {}},
      {{{"MII_SIM_MIRRORS", "2:1"}, {"MII_SIM_DISPLAYS", "1512x982,1512x982"}},
       "DISPLAYS\nMOVEDISPLAY 2 0 0\n",
       "DISPLAYS 1 1:0,0,1512,982,1512,982\n",
       {}},
      {{{"MII_SIM_MACOS", "25"}},
       "CLICK left\n",
       "ACK CLICK\n",
       {"leftdown @756,491 click 1", "leftup @756,491 click 1"}},
      {{{"MII_SIM_PRESS_COUNTS", "1,2,3"}},
       "CLICK left\n",
       "ACK CLICK\n",
       {"leftdown @756,491 click 1 #7", "leftup @756,491 click 1 #7"}},
      {{{"MII_SIM_SECURE_INPUT_FILE", secureInput}},
       "KEYDOWN 65\n",
       "ACK KEYDOWN\n",
       {"keydown 0 hid", "keyup 0 hid"},
       "WARNING: Secure Event Input is on; keys and text may not reach the focused app\n"},
      // Each failure by its name: the key pressed and released at end of input is two attempts.
      {{{"MII_SIM_FAIL", "source"}},
       "KEYDOWN 65\n",
       "ACK KEYDOWN\n",
       {},
       "ERR: Cannot create HID keyboard source\nERR: Cannot create HID keyboard source\n"},
      {{{"MII_SIM_FAIL", "keyboard"}}, "KEYDOWN 65\n", "ACK KEYDOWN\n", {}},
      // Without the HID system Caps Lock is posted as its key.
      {{{"MII_SIM_FAIL", "hidsystem,systemdefined"}},
       "KEYDOWN 20\n",
       "ACK KEYDOWN\n",
       {"keydown 57 hid", "keyup 57 hid"}},
      {{{"MII_SIM_FAIL", "string"}}, "TEXT aGk=\n", "", {}},
      {{{"MII_SIM_FAIL", "mouse"}}, "CLICK left\n", "ACK CLICK\n", {}},
      {{{"MII_SIM_FAIL", "scroll"}}, "WHEEL 1\n", "", {}},
      {{{"MII_SIM_FAIL", "create"}}, "GETPOS\n", "", {}},
      {{{"MII_SIM_FAIL", "displays"}}, "RESOLUTION\n", "SCREEN 1920 1080 1920 1080\n", {}},
      {{{"MII_SIM_FAIL", "displaymode"}}, "RESOLUTION\n", "SCREEN 1512 982 1512 982\n", {}},
      // No layout to read: the key keeps its U.S. place.
      {{{"MII_SIM_FAIL", "layout"}, {"MII_SIM_LAYOUT", "french"}},
       "KEYDOWN 65\n",
       "ACK KEYDOWN\n",
       {"keydown 0 hid", "keyup 0 hid"}},
      // VK_A is the key that types "a": on French (AZERTY), key 12.
      {{{"MII_SIM_LAYOUT", "french"}},
       "KEYDOWN 65\n",
       "ACK KEYDOWN\n",
       {"keydown 12 hid", "keyup 12 hid"}},
      // An input method types through the ASCII-capable layout.
      {{{"MII_SIM_ASCII_LAYOUT", "french"}, {"MII_SIM_LAYOUT", "input-method"}},
       "KEYDOWN 65\n",
       "ACK KEYDOWN\n",
       {"keydown 12 hid", "keyup 12 hid"}},
      {{{"MII_SIM_TRUST_FILE", fifo}},
       "KEYDOWN 65\nPING\n",
       kRefused + "PONG\n",
       {},
       kPermissionWarning,
       kNoPermissionBanner},
      {{{"MII_SIM_TRUST_FILE", "/dev/stdin"}},
       "KEYDOWN 65\nPING\n",
       kRefused + "PONG\n",
       {},
       kPermissionWarning,
       kNoPermissionBanner},
      {{{"MII_SIM_SECURE_INPUT_FILE", fifo}},
       "KEYDOWN 65\n",
       "ACK KEYDOWN\n",
       {"keydown 0 hid", "keyup 0 hid"}},
      {{{"MII_SIM_SECURE_INPUT_FILE", "/dev/stdin"}},
       "KEYDOWN 65\n",
       "ACK KEYDOWN\n",
       {"keydown 0 hid", "keyup 0 hid"}},
      // Written to, but nothing lands: said once, naming the trace.
      {{{"MII_SIM_TRACE", "/dev/full"}},
       "KEYDOWN 65\n",
       "ACK KEYDOWN\n",
       {},
       "WARNING: cannot write the trace /dev/full: " + std::string(std::strerror(ENOSPC)) + "\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.env[0].first + "=" + c.env[0].second);
    // Linux has /dev/full; a Mac has no such device.
    if (c.env[0].second == "/dev/full" && access("/dev/full", W_OK) != 0) continue;
    AgentResult r = runWith(c.input, c.env);
    EXPECT_EQ(r.out, c.banner + c.replies);
    EXPECT_EQ(r.posted, c.posted);
    EXPECT_EQ(r.err, c.err);
  }
}

// At once: a trace that is a FIFO with no reader is not waited for.
TEST(AgentSettingsTest, AMalformedSettingStopsTheAgentLoudly) {
  const std::string fifo = temporaryPath("trace-fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const auto& [name, value] : Env{{"MII_SIM_DISPLAYS", "wide"},
                                       {"MII_SIM_DISPLAYS", "1512x982#0"},
                                       {"MII_SIM_MIRRORS", "2:2"},
                                       {"MII_SIM_LAYOUT", "azerty"},
                                       {"MII_SIM_CAPS_LOCK", "on"},
                                       {"MII_SIM_ASCII_LAYOUT", "russian"},
                                       {"MII_SIM_TRACE", fifo}}) {
    SCOPED_TRACE(name);
    AgentOptions options;
    options.env = {{name, value}};
    AgentResult r = runAgent("PING\n", options);
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "mii-sim: cannot use " + name + "=" + value + "\n");
  }
}

// At exit the trace says which objects and power assertions were never released (here the keyboard
// source, which lives for the whole run once made), how often user activity was declared, and when;
// each event says when it was posted, on the real clock in a whole-process run.
TEST(AgentSettingsTest, TraceEndsWithWhatWasLeftAtExit) {
  const double before = CFAbsoluteTimeGetCurrent();
  AgentResult idle = runWith("PING\n", {});
  ASSERT_EQ(idle.trace.size(), 1u);
  EXPECT_EQ(idle.trace[0].rfind(R"({"exit":true,"liveEvents":0,"liveStrings":0,"liveSources":0,)"
                                R"("userActivity":0,"liveAssertions":0,"time":)",
                                0),
            0u)
      << idle.trace[0];
  AgentResult r = runWith("KEYDOWN 65\n", {});
  EXPECT_EQ(r.posted, (Events{"keydown 0 hid", "keyup 0 hid"}));
  EXPECT_EQ(r.sourcesAtExit, 1);
  ASSERT_EQ(r.postedTimes.size(), 2u);
  EXPECT_LE(before, r.postedTimes[0]);
  EXPECT_LE(r.postedTimes[0], r.postedTimes[1]);
  EXPECT_LE(r.postedTimes[1], r.exitTime);
  EXPECT_LE(r.exitTime, CFAbsoluteTimeGetCurrent());
}

// Started without stdout, the agent must not find its trace on descriptor 1, where replies go.
TEST(AgentSettingsTest, TraceKeepsOffTheStandardStreams) {
  AgentOptions options;
  options.closedStdout = true;
  AgentResult r = runAgent("PING\nKEYDOWN 65\n", options);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.posted, (Events{"keydown 0 hid", "keyup 0 hid"}));
  EXPECT_EQ(r.sourcesAtExit, 1);
}

// A trace that is a FIFO whose reader never reads fills up; the signal that is to end the agent
// still ends it, having released what was held, and the trace is given up with a warning.
TEST(AgentSettingsTest, TraceATraceNobodyReadsCannotHoldOffAnEndingSignal) {
  const std::string fifo = temporaryPath("unread-trace");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);  // opened, never read
  ASSERT_GE(reader, 0);
  AgentOptions options;
  options.env = {{"MII_SIM_TRACE", fifo}};
  AgentSession session = startAgent(options);
  sendToAgent(session, "KEYDOWN 16\nTEXT " + encodeBase64(std::string(20000, 'a')) + "\n");
  // Full once what it holds stops growing: the agent is waiting for room.
  int queued = 0;
  for (int last = -1, still = 0, wait = 0; still < 100 && wait < 5000; ++wait) {
    usleep(1000);
    ASSERT_EQ(ioctl(reader, FIONREAD, &queued), 0);
    still = queued == last && queued > 0 ? still + 1 : 0;
    last = queued;
  }
  EXPECT_GE(queued, 50000);
  kill(session.pid, SIGTERM);
  AgentResult r = finishAgent(session, false);
  EXPECT_FALSE(r.exited);
  EXPECT_EQ(r.status, SIGTERM);
  EXPECT_EQ(r.err, "WARNING: cannot write the trace " + fifo + ": nobody reads it\n");
  close(reader);
}

}  // namespace
