// Keys as the Mac's own layout types them: the letters and the four punctuation VKs go to the key
// that types their character (with Command, on the tables that apply then), the rest keep their
// place; a key is released where it was pressed; a held key's second down is a repeat. The
// expected key codes are read off the layouts' own data, not worked out by the code under test.
// In the lines of a case, "@NAME" is a switch of the Mac to layout NAME and "@fail" the start of
// failing layout queries, each a second after the last, past the recheck.
#include "keyboard/layout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/simulated/simulation.h"
#include "support/describe.h"
#include "support/in_process.h"

namespace {

using LayoutTest = AgentTest<>;

TEST_F(LayoutTest, CharacterKeysGoWhereTheLayoutTypesThem) {
  const struct {
    const char* layout;
    std::vector<std::string> lines;
    Events events;  // then what the release of keys still held posts
    const char* ascii = "us";
    unsigned failures = 0;
  } cases[] = {
      // U.S.: today's positions, every one.
      {"us",
       {"KEYPRESS 65", "KEYPRESS 90", "KEYPRESS 187", "KEYPRESS 190"},
       {"keydown 0 hid", "keyup 0 hid", "keydown 6 hid", "keyup 6 hid", "keydown 24 hid",
        "keyup 24 hid", "keydown 47 hid", "keyup 47 hid"}},
      // French: A and Q, W and Z trade places, and so do the punctuation keys; digits stay.
      {"french",
       {"KEYPRESS 65", "KEYPRESS 81", "KEYPRESS 87", "KEYPRESS 49"},
       {"keydown 12 hid", "keyup 12 hid", "keydown 0 hid", "keyup 0 hid", "keydown 6 hid",
        "keyup 6 hid", "keydown 18 hid", "keyup 18 hid"}},
      {"french",
       {"KEYPRESS 187", "KEYPRESS 188", "KEYPRESS 189", "KEYPRESS 190"},
       {"keydown 44 hid", "keyup 44 hid", "keydown 46 hid", "keyup 46 hid", "keydown 24 hid",
        "keyup 24 hid", "keydown 43 hid", "keyup 43 hid"}},
      // German: Command+Z undoes.
      {"german",
       {"KEYDOWN 91", "KEYPRESS 90", "KEYPRESS 89", "KEYUP 91"},
       {"flagschanged 55 down hid Command", "keydown 16 hid Command", "keyup 16 hid Command",
        "keydown 6 hid Command", "keyup 6 hid Command", "flagschanged 55 up hid"}},
      // Dvorak: Control+C, made Command+C, reaches the key that types c, not J.
      {"dvorak",
       {"KEYDOWN 17", "KEYPRESS 67", "KEYUP 17"},
       {"flagschanged 59 down hid Control", "keydown 34 hid Command", "keyup 34 hid Command",
        "flagschanged 59 up hid"}},
      // Dvorak - QWERTY Command types QWERTY while Command is held; + has no key then: its place.
      {"dvorak-qwerty-cmd",
       {"KEYPRESS 67", "KEYDOWN 91", "KEYPRESS 67", "KEYPRESS 188", "KEYPRESS 187", "KEYUP 91"},
       {"keydown 34 hid", "keyup 34 hid", "flagschanged 55 down hid Command",
        "keydown 8 hid Command", "keyup 8 hid Command", "keydown 43 hid Command",
        "keyup 43 hid Command", "keydown 24 hid Command", "keyup 24 hid Command",
        "flagschanged 55 up hid"}},
      {"dvorak-qwerty-cmd",
       {"KEYDOWN 17", "KEYPRESS 86", "KEYUP 17"},
       {"flagschanged 59 down hid Control", "keydown 9 hid Command", "keyup 9 hid Command",
        "flagschanged 59 up hid"}},
      // No Latin letter on Russian: letters in place, and with Command its own QWERTY table,
      // whatever Latin layout was used last.
      {"russian",
       {"KEYPRESS 65", "KEYPRESS 188", "KEYDOWN 91", "KEYPRESS 81", "KEYUP 91"},
       {"keydown 0 hid", "keyup 0 hid", "keydown 43 hid", "keyup 43 hid",
        "flagschanged 55 down hid Command", "keydown 12 hid Command", "keyup 12 hid Command",
        "flagschanged 55 up hid"},
       "french"},
      // An input method types through the ASCII-capable layout.
      {"input-method", {"KEYPRESS 81"}, {"keydown 0 hid", "keyup 0 hid"}, "french"},
      // A layout without key layout data: the ASCII-capable layout's keys.
      {"german", {"KEYPRESS 65"}, {"keydown 12 hid", "keyup 12 hid"}, "french", kSimFailLayoutData},
      // No layout to ask, from the start or later: every key at its place.
      {"french", {"KEYPRESS 65"}, {"keydown 0 hid", "keyup 0 hid"}, "us", kSimFailLayout},
      {"french",
       {"KEYPRESS 65", "@fail", "KEYPRESS 65", "KEYPRESS 65"},
       {"keydown 12 hid", "keyup 12 hid", "keydown 0 hid", "keyup 0 hid", "keydown 0 hid",
        "keyup 0 hid"}},
      // A switch is seen: the agent runs the run loop HIToolbox takes it in from.
      {"french",
       {"KEYPRESS 81", "@german", "KEYPRESS 89"},
       {"keydown 0 hid", "keyup 0 hid", "keydown 6 hid", "keyup 6 hid"}},
      // Two VKs on one key (m and ; on French): the second is a repeat, the key goes up with the
      // last of them, here at the release of what is left held.
      {"french",
       {"KEYDOWN 77", "KEYDOWN 186", "KEYUP 77", "KEYDOWN 186"},
       {"keydown 41 hid", "keydown 41 hid repeat", "keydown 41 hid repeat", "keyup 41 hid"}},
      // A release of a VK never pressed leaves a key another VK holds down.
      {"french", {"KEYDOWN 77", "KEYUP 186", "KEYUP 77"}, {"keydown 41 hid", "keyup 41 hid"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.layout) + ": " + c.lines.front());
    fresh();
    ASSERT_TRUE(simSetLayout(c.layout));
    ASSERT_TRUE(simSetAsciiLayout(c.ascii));
    simSetFailures(c.failures);
    double later = kStartTime;
    for (const std::string& line : c.lines) {
      if (line[0] != '@') {
        sendLine(line);
        continue;
      }
      if (line == "@fail") {
        simSetFailures(kSimFailLayout);
      } else {
        ASSERT_TRUE(simSetLayout(line.substr(1)));
      }
      simSetClock(later += 1);
    }
    session().keyboard.releaseHeldKeys();
    EXPECT_EQ(takePosted(), c.events);
  }
}

// A key is released where it was pressed, whatever the layout or Command did since; a KEYUP of a
// key never pressed looks the key up then. A switch of layout is seen within half a second.
TEST_F(LayoutTest, ReleasesGoToThePressedKeyAndSwitchesAreSeenSoon) {
  ASSERT_TRUE(simSetLayout("french"));
  sendLine("KEYDOWN 65");
  ASSERT_TRUE(simSetLayout("us"));
  simSetClock(kStartTime + 1);
  sendLines({"KEYUP 65", "KEYPRESS 65"});
  ASSERT_TRUE(simSetLayout("german"));
  simSetClock(kStartTime + 1.2);
  sendLine("KEYPRESS 89");  // asked 0.2 s ago: still U.S.
  simSetClock(kStartTime + 1.6);
  sendLine("KEYPRESS 89");
  EXPECT_EQ(takePosted(),
            (Events{"keydown 12 hid", "keyup 12 hid", "keydown 0 hid", "keyup 0 hid",
                    "keydown 16 hid", "keyup 16 hid", "keydown 6 hid", "keyup 6 hid"}));

  fresh();
  ASSERT_TRUE(simSetLayout("dvorak-qwerty-cmd"));
  sendLines({"KEYUP 87", "KEYDOWN 91", "KEYDOWN 67", "KEYUP 91"});
  EXPECT_EQ(runLoop("KEYUP 67\nKEYDOWN 65\n"), "ACK KEYUP\nACK KEYDOWN\n");
  EXPECT_EQ(takePosted(),
            (Events{"keyup 43 hid", "flagschanged 55 down hid Command", "keydown 8 hid Command",
                    "flagschanged 55 up hid", "keyup 8 hid", "keydown 0 hid", "keyup 0 hid"}));
}

// LAYOUT names the current keyboard layout, and the input method keys go into when there is one,
// posting nothing, with the permission or without; a switch is seen at once.
TEST_F(LayoutTest, LayoutNamesTheCurrentKeyboardLayout) {
  const struct {
    const char* layout;
    const char* reply;
    unsigned failures = 0;
    const char* before = nullptr;  // the layout when LAYOUT was first asked
  } cases[] = {
      {"us", "LAYOUT com.apple.keylayout.US\n"},
      {"french", "LAYOUT com.apple.keylayout.French\n"},
      {"russian", "LAYOUT com.apple.keylayout.Russian\n"},
      {"input-method",
       "LAYOUT com.apple.keylayout.US com.apple.inputmethod.Kotoeri.RomajiTyping.Japanese\n"},
      {"us", "LAYOUT none\n", kSimFailLayout},
      {"french", "LAYOUT com.apple.keylayout.French\n", 0, "us"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reply);
    fresh();
    if (c.before != nullptr) {
      ASSERT_TRUE(simSetLayout(c.before));
      sendLine("LAYOUT");
    }
    ASSERT_TRUE(simSetLayout(c.layout));
    simSetFailures(c.failures);
    EXPECT_EQ(sendLine("LAYOUT"), c.reply);
    simSetTrusted(false);
    EXPECT_EQ(sendLine("LAYOUT"), c.reply);
    EXPECT_TRUE(takePosted().empty());
  }
}

}  // namespace
