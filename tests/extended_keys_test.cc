// The keys beyond the main block, as an Apple extended keyboard has them: the keypad, F13-F20,
// the volume and media keys, and a Caps Lock that locks through the HID system.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "platform/simulated/simulation.h"
#include "support/describe.h"
#include "support/in_process.h"
#include "support/protocol_case.h"
#include "support/text.h"

namespace {

// Mac key codes below: keypad 0-9 82-89, 91, 92; * 67, + 69, - 78, . 65, / 75, Clear 71; F13-F20
// 105, 107, 113, 106, 64, 79, 80, 90; A 0, C 8, left arrow 123, Caps Lock 57, Shift 56, Control 59.
using ExtendedKeysTest = AgentTest<>;

// A KEYPRESS of each key: its down and its up, with these flags.
Events presses(std::initializer_list<int> keyCodes, const std::string& flags) {
  Events events;
  for (int code : keyCodes) {
    for (const char* direction : {"keydown ", "keyup "}) {
      events.push_back(direction + std::to_string(code) + " hid" + (flags.empty() ? "" : " ") +
                       flags);
    }
  }
  return events;
}

Events operator+(Events a, const Events& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST_F(ExtendedKeysTest, KeypadAndF13ToF20PostTheirOwnKeys) {
  const ProtocolCase cases[] = {
      // The layout never moves them: on every layout the keypad types what it shows.
      {"keypad digits carry the numeric-pad flag",
       "KEYPRESS 96\nKEYPRESS 97\nKEYPRESS 98\nKEYPRESS 99\nKEYPRESS 100\nKEYPRESS 101\n"
       "KEYPRESS 102\nKEYPRESS 103\nKEYPRESS 104\nKEYPRESS 105\n",
       presses({82, 83, 84, 85, 86, 87, 88, 89, 91, 92}, "NumericPad")},
      {"keypad operators and Clear keep the flag with Control held, as arrows do not",
       "KEYDOWN 17\nKEYPRESS 106\nKEYPRESS 107\nKEYPRESS 109\nKEYPRESS 110\nKEYPRESS 111\n"
       "KEYPRESS 12\n",
       Events{"flagschanged 59 down hid Control"} +
           presses({67, 69, 78, 65, 75, 71}, "Control+NumericPad")},
      {"F13-F20 carry the held modifiers only",
       "KEYDOWN 16\nKEYPRESS 124\nKEYPRESS 125\nKEYPRESS 126\nKEYPRESS 127\nKEYPRESS 128\n"
       "KEYPRESS 129\nKEYPRESS 130\nKEYPRESS 131\n",
       Events{"flagschanged 56 down hid Shift"} +
           presses({105, 107, 113, 106, 64, 79, 80, 90}, "Shift")},
      {"Print Screen, Scroll Lock and Pause are F13, F14 and F15",
       "KEYPRESS 44\nKEYPRESS 145\nKEYPRESS 19\n", presses({105, 107, 113}, "")},
      {"Print Screen and F13 are one key: down while either is held",
       "KEYDOWN 44\nKEYDOWN 124\nKEYUP 44\nKEYUP 124\n",
       {"keydown 105 hid", "keydown 105 hid repeat", "keyup 105 hid"}},
      {"Num Lock and the separator post nothing", "KEYPRESS 144\nKEYPRESS 108\n", {}},
  };
  runCases(cases);
}

// A media key's data1: its key type << 16, 0xA00 down or 0xB00 up, 1 on a repeat.
TEST_F(ExtendedKeysTest, VolumeAndMediaKeysPostSystemDefinedEvents) {
  const ProtocolCase cases[] = {
      {"mute, volume down and up, play, next and previous: their types 7, 1, 0, 16, 19, 20",
       "KEYPRESS 173\nKEYPRESS 174\nKEYPRESS 175\nKEYPRESS 179\nKEYPRESS 176\nKEYPRESS 177\n",
       {"systemdefined aux 0x70a00 0xa00", "systemdefined aux 0x70b00 NonCoalesced+0xa00",
        "systemdefined aux 0x10a00 0xa00", "systemdefined aux 0x10b00 NonCoalesced+0xa00",
        "systemdefined aux 0xa00 0xa00", "systemdefined aux 0xb00 NonCoalesced+0xa00",
        "systemdefined aux 0x100a00 0xa00", "systemdefined aux 0x100b00 NonCoalesced+0xa00",
        "systemdefined aux 0x130a00 0xa00", "systemdefined aux 0x130b00 NonCoalesced+0xa00",
        "systemdefined aux 0x140a00 0xa00", "systemdefined aux 0x140b00 NonCoalesced+0xa00"},
       ""},
      {"a held key's second down is a repeat; the host's modifiers and Caps Lock are not added",
       "KEYDOWN 16\nKEYDOWN 20\nKEYDOWN 175\nKEYDOWN 175\nKEYUP 175\nKEYUP 175\n",
       {"flagschanged 56 down hid Shift", "capslock on", "systemdefined aux 0xa00 0xa00",
        "systemdefined aux 0xa01 0xa00", "systemdefined aux 0xb00 NonCoalesced+0xa00",
        "systemdefined aux 0xb00 NonCoalesced+0xa00"},
       repeat("ACK KEYDOWN\n", 4) + repeat("ACK KEYUP\n", 2)},
      {"stop has no Mac key", "KEYDOWN 178\nKEYUP 178\n", {}, "ACK KEYDOWN\nACK KEYUP\n"},
  };
  runCases(cases);
}

TEST_F(ExtendedKeysTest, MediaKeysThatCannotBeMadeAreStillHeldAndReleased) {
  simSetFailures(kSimFailSystemDefined);
  EXPECT_EQ(handleLines("KEYDOWN 179\n"), "ACK KEYDOWN\n");
  EXPECT_TRUE(session().keyboard.isKeyHeld(179));
  simSetFailures(0);
  session().keyboard.releaseHeldKeys();
  EXPECT_EQ(takePosted(), (Events{"systemdefined aux 0x100b00 NonCoalesced+0xa00"}));
}

// A set of the lock is logged among the events as "capslock on" or "capslock off".
TEST_F(ExtendedKeysTest, CapsLockLocksThroughTheHidSystem) {
  const ProtocolCase offAtStart[] = {
      {"a fresh press locks; its repeat and release post nothing; keys and text carry the flag",
       "KEYDOWN 20\nKEYDOWN 20\nKEYUP 20\nKEYDOWN 16\nKEYPRESS 65\nKEYUP 16\nTEXT YQ==\n",
       {"capslock on", "flagschanged 56 down hid AlphaShift+Shift",
        "keydown 0 hid AlphaShift+Shift", "keyup 0 hid AlphaShift+Shift",
        "flagschanged 56 up hid AlphaShift", "keydown 0 text 1 'a' AlphaShift",
        "keyup 0 text 1 'a' AlphaShift"}},
      {"a second press unlocks", "KEYPRESS 20\nKEYPRESS 20\nKEYPRESS 65\n",
       Events{"capslock on", "capslock off"} + presses({0}, "")},
      {"a release never pressed posts nothing", "KEYUP 20\n", {}, "ACK KEYUP\n"},
      {"mouse events and TYPE carry no Caps Lock flag",
       "KEYPRESS 20\nMOUSEDOWN left\nMOUSEUP left\nTYPE YQ==\n",
       {"capslock on", "leftdown @756,491 click 1 #124", "leftup @756,491 click 1 #124",
        "keydown 0 hid", "keyup 0 hid"}},
      {"CAPSLOCK alone reads the lock", "CAPSLOCK\n", {}, "CAPSLOCK 0\n"},
      // One set call each, whatever the state: a host syncing its user's lock never toggles it.
      {"CAPSLOCK sets it, not 0 being on, and the next key sees it at once",
       "CAPSLOCK 1\nCAPSLOCK 7\nKEYPRESS 37\nCAPSLOCK 0\nKEYPRESS 65\nCAPSLOCK -1\nCAPSLOCK x\n",
       Events{"capslock on", "capslock on"} + presses({123}, "AlphaShift+NumericPad+SecondaryFn") +
           Events{"capslock off"} + presses({0}, "") + Events{"capslock on", "capslock off"},
       "CAPSLOCK 1\nCAPSLOCK 1\nCAPSLOCK 0\nCAPSLOCK 1\nCAPSLOCK 0\n"},
  };
  runCases(offAtStart);

  const ProtocolCase onAtStart[] = {
      {"the Mac's own lock: modifier changes, translated chords and keypad keys carry its flag",
       "KEYDOWN 17\nKEYPRESS 67\nKEYPRESS 96\nKEYUP 17\n",
       Events{"flagschanged 59 down hid AlphaShift+Control"} + presses({8}, "AlphaShift+Command") +
           presses({82}, "AlphaShift+Control+NumericPad") +
           Events{"flagschanged 59 up hid AlphaShift"}},
      {"a press unlocks it", "KEYPRESS 20\nKEYPRESS 65\nCAPSLOCK\n",
       Events{"capslock off"} + presses({0}, ""), "CAPSLOCK 0\n"},
  };
  runCases(onAtStart, {.before = [] { simSetCapsLock(true); }});

  const ProtocolCase withoutHidSystem[] = {
      {"Caps Lock is posted as its key: down, repeat and up",
       "KEYDOWN 20\nKEYDOWN 20\nKEYUP 20\nKEYPRESS 65\n",
       Events{"keydown 57 hid", "keydown 57 hid repeat", "keyup 57 hid"} + presses({0}, "")},
      {"CAPSLOCK answers none, for a set too",
       "CAPSLOCK\nCAPSLOCK 1\n",
       {},
       "CAPSLOCK none\nCAPSLOCK none\n"},
  };
  runCases(withoutHidSystem, {.before = [] { simSetFailures(kSimFailHidSystem); }});
}

// The route a press took holds for its release: a Caps Lock that locked releases nothing, one
// posted as a key is released as one, whatever the HID system does meanwhile.
TEST_F(ExtendedKeysTest, CapsLockIsReleasedTheWayItWasPressed) {
  const struct {
    const char* name;
    unsigned atPress;    // failures while Caps Lock goes down
    unsigned atRelease;  // and after
    Events posted;       // by its release and a fresh press
  } cases[] = {
      {"locked", 0, kSimFailHidSystem, {"keydown 57 hid"}},
      {"posted as a key", kSimFailHidSystem, 0, {"keyup 57 hid", "capslock on"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fresh();
    simSetFailures(c.atPress);
    handleLines("KEYDOWN 20\n");
    simSetFailures(c.atRelease);
    takePosted();
    handleLines("KEYUP 20\nKEYDOWN 20\n");
    EXPECT_EQ(takePosted(), c.posted);
  }
}

// The person at the Mac pressing Caps Lock: seen by the first key at least 0.5 s after the lock
// was last asked about, not at every key.
TEST_F(ExtendedKeysTest, TheMacsOwnCapsLockIsSeenWithinHalfASecond) {
  const struct {
    double at;  // seconds after the start
    bool lock;  // as the person at the Mac leaves it
    const char* flags;
  } steps[] = {
      {0, false, ""},  // asked here
      {0.1, true, ""},
      {0.499, true, ""},
      {0.5, true, "AlphaShift"},  // asked again
      {0.6, false, "AlphaShift"},
      {1.0, false, ""},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.at);
    simSetClock(kStartTime + step.at);
    simSetCapsLock(step.lock);
    handleLines("KEYDOWN 65\nKEYUP 65\n");
    EXPECT_EQ(takePosted(), presses({0}, step.flags));
  }
}

}  // namespace
