// A host that goes away (end of input), says QUIT or loses the permission mid-chord or mid-drag
// leaves nothing held: the agent releases keys, then modifiers, then buttons, as KEYUP and MOUSEUP
// would, and writes nothing for it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/simulated/simulation.h"
#include "support/describe.h"
#include "support/in_process.h"
#include "support/protocol_case.h"
#include "support/protocol_lines.h"
#include "support/text.h"

namespace {

using SessionTest = AgentTest<>;

TEST_F(SessionTest, ReleaseHeldAtEndOfInputAndOnQuit) {
  // The releases carry the press's click count and event number.
  const ProtocolCase cases[] = {
      {"keys, then modifiers, each in VK order, then buttons left, right, middle",
       "MOUSEDOWN middle\nMOUSEDOWN right 2\nKEYDOWN 160\nKEYDOWN 17\nMOUSEDOWN left 3\n"
       "KEYDOWN 65\nKEYDOWN 37\nKEYDOWN 32\n",
       {"otherdown @756,491 click 1 #124", "rightdown @756,491 click 2 #125",
        "flagschanged 56 down hid Shift", "flagschanged 59 down hid Shift+Control",
        "leftdown @756,491 click 3 #126 Shift+Control", "keydown 0 hid Shift+Control",
        "keydown 123 hid Shift+Control+SecondaryFn", "keydown 49 hid Shift+Control",
        "keyup 49 hid Shift+Control", "keyup 123 hid Shift+Control+SecondaryFn",
        "keyup 0 hid Shift+Control", "flagschanged 59 up hid Shift", "flagschanged 56 up hid",
        "leftup @756,491 click 3 #126", "rightup @756,491 click 2 #125",
        "otherup @756,491 click 1 #124"},
       "ACK MOUSEDOWN\nACK MOUSEDOWN\nACK KEYDOWN\nACK KEYDOWN\nACK MOUSEDOWN\n" +
           repeat("ACK KEYDOWN\n", 3)},
      {"media, keypad and F13 keys are released as keys; a Caps Lock that locked posts nothing",
       "KEYDOWN 20\nKEYDOWN 175\nKEYDOWN 96\nKEYDOWN 124\n",
       {"capslock on", "systemdefined aux 0xa00 0xa00", "keydown 82 hid AlphaShift+NumericPad",
        "keydown 105 hid AlphaShift", "keyup 82 hid AlphaShift+NumericPad",
        "keyup 105 hid AlphaShift", "systemdefined aux 0xb00 NonCoalesced+0xa00"},
       repeat("ACK KEYDOWN\n", 4)},
      {"a button held mid-drag is released where the drag ended",
       "MOUSEDOWN left\nMOVE 800 500\n",
       {"leftdown @756,491 click 1 #124", "leftdrag @800,500 click 1 #124 d44,9",
        "leftup @800,500 click 1 #124"},
       "ACK MOUSEDOWN\n"},
      {"the side buttons after the others, back before forward",
       "MOUSEDOWN x2\nMOUSEDOWN middle\nMOUSEDOWN back\n",
       {"otherdown @756,491 button 4 click 1 #124", "otherdown @756,491 click 1 #125",
        "otherdown @756,491 button 3 click 1 #126", "otherup @756,491 click 1 #125",
        "otherup @756,491 button 3 click 1 #126", "otherup @756,491 button 4 click 1 #124"}},
      {"QUIT releases, and nothing after it is read",
       "KEYDOWN 17\nKEYDOWN 67\nMOUSEDOWN middle\nQUIT\nKEYDOWN 65\n",
       {"flagschanged 59 down hid Control", "keydown 8 hid Command",
        "otherdown @756,491 click 1 #124 Control", "keyup 8 hid Command", "flagschanged 59 up hid",
        "otherup @756,491 click 1 #124"},
       "ACK KEYDOWN\nACK KEYDOWN\nACK MOUSEDOWN\n"},
      {"QUIT releases the side buttons",
       "MOUSEDOWN forward\nMOUSEDOWN x1\nQUIT\n",
       {"otherdown @756,491 button 4 click 1 #124", "otherdown @756,491 button 3 click 1 #125",
        "otherup @756,491 button 3 click 1 #125", "otherup @756,491 button 4 click 1 #124"}},
      {"nothing held: nothing more",
       "KEYDOWN 65\nKEYUP 65\nCLICK left\nMOUSEDOWN right\nMOUSEUP right\nDBLCLICK middle\n"
       "MOUSEUP middle\nQUIT\n",
       {"keydown 0 hid", "keyup 0 hid", "leftdown @756,491 click 1 #124",
        "leftup @756,491 click 1 #124", "rightdown @756,491 click 1 #125",
        "rightup @756,491 click 1 #125", "otherdown @756,491 click 1 #126",
        "otherup @756,491 click 1 #126", "otherdown @756,491 click 2 #127",
        "otherup @756,491 click 2 #127", "otherup @756,491 click 1 #127"},
       "ACK KEYDOWN\nACK KEYUP\nACK CLICK\nACK MOUSEDOWN\nACK MOUSEUP\nACK MOUSEUP\n"},
  };
  runCases(cases, {.wholeLoop = true});
}

TEST_F(SessionTest, ReleaseHeldQuitReleasesWhatWasHeldWhenThePermissionWentAway) {
  sendLines({"KEYDOWN 16", "KEYDOWN 65"});
  simSetTrusted(false);
  EXPECT_EQ(runLoop("KEYUP 65\nQUIT\n"), kRefused);  // A stays held until QUIT
  EXPECT_EQ(takePosted(), (Events{"flagschanged 56 down hid Shift", "keydown 0 hid Shift",
                                  "keyup 0 hid Shift", "flagschanged 56 up hid"}));
}

// While the permission is missing even releases are refused; when it comes back, the line that
// finds it releases everything still held before it is served.
TEST_F(SessionTest, ReleaseHeldWhenThePermissionComesBack) {
  const struct {
    const char* name;
    std::vector<std::string> held;
    const char* back;  // the first line with the permission back
    std::string reply;
    Events posted;
  } cases[] = {
      {"the text after a refused KEYUP of Control is typed without Control",
       {"KEYDOWN 17", "KEYDOWN 65", "MOUSEDOWN left"},
       "TEXT YQ==",
       kReady,
       {"flagschanged 59 down hid Control", "keydown 0 hid Control",
        "leftdown @756,491 click 1 #124 Control", "keyup 0 hid Control", "flagschanged 59 up hid",
        "leftup @756,491 click 1 #124", "keydown 0 text 1 'a'", "keyup 0 text 1 'a'"}},
      {"side buttons",
       {"MOUSEDOWN back", "MOUSEDOWN forward"},
       "PING",
       kReady + "PONG\n",
       {"otherdown @756,491 button 3 click 1 #124", "otherdown @756,491 button 4 click 1 #125",
        "otherup @756,491 button 3 click 1 #124", "otherup @756,491 button 4 click 1 #125"}},
      {"a line of spaces releases too",
       {"KEYDOWN 16"},
       "   ",
       kReady,
       {"flagschanged 56 down hid Shift", "flagschanged 56 up hid"}},
      {"nothing held: nothing posted",
       {"KEYDOWN 65", "KEYUP 65"},
       "PING",
       kReady + "PONG\n",
       {"keydown 0 hid", "keyup 0 hid"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fresh();
    sendLines(c.held);
    simSetTrusted(false);
    EXPECT_EQ(sendLine("KEYUP 17"), kRefused);
    simSetTrusted(true);
    EXPECT_EQ(sendLine(c.back), c.reply);
    EXPECT_EQ(takePosted(), c.posted);
  }
}

}  // namespace
