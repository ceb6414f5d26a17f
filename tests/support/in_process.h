// Runs the product's own code in this process against the simulated desktop.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "command_loop.h"
#include "platform/quartz.h"
#include "platform/simulated/simulation.h"
#include "session.h"

// A fresh desktop (defaults, recording posted events), a fresh session and its host channel,
// trusted.
void resetAgent();

// The session that resetAgent made last: the agent whose commands the helpers below send.
Session& session();

// The command loop's channel to the host that resetAgent made with that session.
HostChannel& hostChannel();

// The absolute time a fresh agent's clock is fixed at.
inline constexpr double kStartTime = 1000.0;

// resetAgent, then the clock fixed at kStartTime, pauses instant and the given macOS.
void freshAgent(int macOSMajor);

// A fresh agent for every test on the given macOS (event numbers come with 26), and no event or
// string left alive by it. fresh() starts again within a test, as between the rows of a table.
template <int kMacOSMajor = 27>
class AgentTest : public testing::Test {
 protected:
  void SetUp() override {
    fresh();
    liveEvents = simLiveEvents();
    liveStrings = simLiveStrings();
    liveDisplayModes = simLiveDisplayModes();
  }
  void TearDown() override {
    EXPECT_EQ(simLiveEvents(), liveEvents);
    EXPECT_EQ(simLiveStrings(), liveStrings);
    EXPECT_EQ(simLiveDisplayModes(), liveDisplayModes);
  }
  void fresh() { freshAgent(kMacOSMajor); }

 private:
  long liveEvents = 0;
  long liveStrings = 0;
  long liveDisplayModes = 0;
};

// Handles one line as the loop would (held input stays held) and returns what it wrote. Fails the
// current test if an event or string is still alive afterwards.
std::string sendLine(const std::string& line);

// sendLine for each line in turn; everything written.
std::string sendLines(const std::vector<std::string>& lines);

// sendLine for each LF-terminated line of input; everything written.
std::string handleLines(const std::string& input);

// Feeds input through the command loop (end of input included) and returns what it wrote.
std::string runLoop(const std::string& input);

// Everything posted since the last reset or take, described (support/describe.h); the log is
// emptied.
std::vector<std::string> takePosted();

// One integer field of everything posted since the last reset or take, -1 where it is not set;
// the log is emptied.
std::vector<int64_t> takeField(CGEventField field);

// When each event posted since the last reset or take was posted, in seconds after kStartTime (the
// fixed clock moves on by every pause), in order; the log is kept. Read it before takePosted.
std::vector<double> postedTimes();

// Marks the modifiers of flags (Shift, Control, Alternate, Command) held, as their key-downs would,
// without posting anything.
void holdModifiers(CGEventFlags flags);

// The button a move would drag: 0 left, 1 right, 2 middle, or -1 when none is held.
int heldButton();

// Whether no key or modifier is held, no press translated and the modifier mask is 0.
bool keyboardStateIsClear();
