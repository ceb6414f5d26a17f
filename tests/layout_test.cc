// Keys as the Mac's own layout types them: the letters and the four punctuation VKs go to the key
// that types their character (with Command, on the tables that apply then), the rest keep their
// place; a key is released where it was pressed; a held key's second down is a repeat. The
// expected key codes are read off the layouts' own data, not worked out by the code under test.
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
    Events events;
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
      // No Latin letter on Russian: the keys of its ASCII-capable layout, as shortcuts use.
      {"russian",
       {"KEYPRESS 65", "KEYPRESS 188"},
       {"keydown 0 hid", "keyup 0 hid", "keydown 43 hid", "keyup 43 hid"}},
      {"input-method", {"KEYPRESS 81"}, {"keydown 12 hid", "keyup 12 hid"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.layout) + ": " + c.lines.front());
    fresh();
    ASSERT_TRUE(simSetLayout(c.layout));
    sendLines(c.lines);
    EXPECT_EQ(takePosted(), c.events);
  }
  // No layout to ask: every key at its place.
  fresh();
  ASSERT_TRUE(simSetLayout("french"));
  simSetFailures(kSimFailLayout);
  sendLine("KEYPRESS 65");
  EXPECT_EQ(takePosted(), (Events{"keydown 0 hid", "keyup 0 hid"}));
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

// A second down of a held key is a repeat, as Windows sends typematic repeats; a fresh press, a
// release and a modifier change never are.
TEST_F(LayoutTest, AHeldKeysSecondDownIsARepeat) {
  sendLines({"KEYDOWN 65", "KEYDOWN 65", "KEYPRESS 65", "KEYDOWN 16", "KEYDOWN 16", "KEYUP 16",
             "KEYPRESS 65"});
  EXPECT_EQ(takePosted(),
            (Events{"keydown 0 hid", "keydown 0 hid repeat", "keydown 0 hid repeat", "keyup 0 hid",
                    "flagschanged 56 down hid Shift", "flagschanged 56 down hid Shift",
                    "flagschanged 56 up hid", "keydown 0 hid", "keyup 0 hid"}));
}

// LAYOUT names the current keyboard layout, posting nothing, with the permission or without.
TEST_F(LayoutTest, LayoutNamesTheCurrentKeyboardLayout) {
  const struct {
    const char* layout;
    const char* reply;
    unsigned failures = 0;
  } cases[] = {
      {"us", "LAYOUT com.apple.keylayout.US\n"},
      {"french", "LAYOUT com.apple.keylayout.French\n"},
      {"russian", "LAYOUT com.apple.keylayout.Russian\n"},
      {"input-method", "LAYOUT com.apple.inputmethod.Kotoeri.RomajiTyping.Japanese\n"},
      {"us", "LAYOUT none\n", kSimFailLayout},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reply);
    fresh();
    ASSERT_TRUE(simSetLayout(c.layout));
    simSetFailures(c.failures);
    EXPECT_EQ(sendLine("LAYOUT"), c.reply);
    simSetTrusted(false);
    EXPECT_EQ(sendLine("LAYOUT"), c.reply);
    EXPECT_TRUE(takePosted().empty());
  }
}

}  // namespace
