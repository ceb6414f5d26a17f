// Key state and key events in-process: the flag rules, the key commands, failures and the release
// of held keys.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "keyboard/key_code_maps.h"
#include "keyboard/keyboard.h"
#include "platform/simulated/simulation.h"
#include "support/describe.h"
#include "support/in_process.h"
#include "support/protocol_case.h"
#include "support/scratch_file.h"
#include "support/text.h"

namespace {

// Mac key codes below: A 0, B 11, C 8, V 9, X 7, Space 49, Caps Lock 57, Shift 56, right Shift 60,
// Control 59, right Control 62, Option 58, right Option 61, Command 55, right Command 54, arrows
// left 123, right 124, down 125, up 126.
using KeyboardTest = AgentTest<>;

constexpr char kNoSourceLine[] = "ERR: Cannot create HID keyboard source\n";

TEST_F(KeyboardTest, ClipboardTranslationAndModifierRules) {
  const ProtocolCase cases[] = {
      {"the clipboard chord: Control is never posted as Command, only its flag",
       "KEYDOWN 17\nKEYDOWN 67\nKEYUP 17\nKEYUP 67\n",
       {"flagschanged 59 down hid Control", "keydown 8 hid Command", "flagschanged 59 up hid",
        "keyup 8 hid Command"}},
      {"left Control with V",
       "KEYDOWN 162\nKEYDOWN 86\nKEYUP 86\nKEYUP 162\n",
       {"flagschanged 59 down hid Control", "keydown 9 hid Command", "keyup 9 hid Command",
        "flagschanged 59 up hid"}},
      {"generic Control with X",
       "KEYDOWN 17\nKEYDOWN 88\n",
       {"flagschanged 59 down hid Control", "keydown 7 hid Command"}},
      {"right Control alone is not translated",
       "KEYDOWN 163\nKEYDOWN 67\nKEYUP 67\n",
       {"flagschanged 62 down hid Control", "keydown 8 hid Control", "keyup 8 hid Control"}},
      {"generic and right Control together are not translated",
       "KEYDOWN 17\nKEYDOWN 163\nKEYDOWN 67\n",
       {"flagschanged 59 down hid Control", "flagschanged 62 down hid Control",
        "keydown 8 hid Control"}},
      {"Control with Shift is not translated",
       "KEYDOWN 17\nKEYDOWN 16\nKEYDOWN 67\n",
       {"flagschanged 59 down hid Control", "flagschanged 56 down hid Shift+Control",
        "keydown 8 hid Shift+Control"}},
      {"Control with Alt is not translated",
       "KEYDOWN 17\nKEYDOWN 18\nKEYDOWN 86\n",
       {"flagschanged 59 down hid Control", "flagschanged 58 down hid Control+Alternate",
        "keydown 9 hid Control+Alternate"}},
      {"Control with Command is not translated",
       "KEYDOWN 91\nKEYDOWN 17\nKEYDOWN 67\n",
       {"flagschanged 55 down hid Command", "flagschanged 59 down hid Control+Command",
        "keydown 8 hid Control+Command"}},
      {"the release keeps the translation after Control went up",
       "KEYDOWN 17\nKEYDOWN 67\nKEYUP 17\nKEYUP 67\nKEYDOWN 67\nKEYUP 67\n",
       {"flagschanged 59 down hid Control", "keydown 8 hid Command", "flagschanged 59 up hid",
        "keyup 8 hid Command", "keydown 8 hid", "keyup 8 hid"}},
      {"the release keeps the translation and takes modifiers held now",
       "KEYDOWN 17\nKEYDOWN 67\nKEYDOWN 16\nKEYUP 67\n",
       {"flagschanged 59 down hid Control", "keydown 8 hid Command",
        "flagschanged 56 down hid Shift+Control", "keyup 8 hid Shift+Command"}},
      {"repeated presses keep the decision of the fresh press",
       "KEYDOWN 17\nKEYDOWN 67\nKEYDOWN 67\nKEYUP 17\nKEYDOWN 67\nKEYUP 67\n",
       {"flagschanged 59 down hid Control", "keydown 8 hid Command", "keydown 8 hid repeat Command",
        "flagschanged 59 up hid", "keydown 8 hid repeat Command", "keyup 8 hid Command"}},
      {"an untranslated fresh press stays untranslated when Control comes",
       "KEYDOWN 67\nKEYDOWN 17\nKEYDOWN 67\nKEYUP 67\n",
       {"keydown 8 hid", "flagschanged 59 down hid Control", "keydown 8 hid repeat Control",
        "keyup 8 hid Control"}},
      {"no modifiers", "KEYDOWN 67\nKEYUP 67\n", {"keydown 8 hid", "keyup 8 hid"}},
      {"a release never pressed carries the current flags untranslated",
       "KEYUP 67\nKEYDOWN 17\nKEYUP 67\n",
       {"keyup 8 hid", "flagschanged 59 down hid Control", "keyup 8 hid Control"}},
      {"generic and sided Shift are separate keys: releasing 160 leaves 16's Shift",
       "KEYDOWN 16\nKEYUP 160\nKEYDOWN 65\n",
       {"flagschanged 56 down hid Shift", "flagschanged 56 up hid Shift", "keydown 0 hid Shift"}},
      {"generic and sided Shift held together: Shift lasts until both are up",
       "KEYDOWN 16\nKEYDOWN 160\nKEYUP 16\nKEYDOWN 66\nKEYUP 160\nKEYUP 66\n",
       {"flagschanged 56 down hid Shift", "flagschanged 56 down hid Shift",
        "flagschanged 56 up hid Shift", "keydown 11 hid Shift", "flagschanged 56 up hid",
        "keyup 11 hid"}},
      {"generic and left Control held together still translate",
       "KEYDOWN 17\nKEYDOWN 162\nKEYUP 17\nKEYDOWN 67\nKEYUP 162\n",
       {"flagschanged 59 down hid Control", "flagschanged 59 down hid Control",
        "flagschanged 59 up hid Control", "keydown 8 hid Command", "flagschanged 59 up hid"}},
      {"sided modifiers post their own keys",
       "KEYDOWN 161\nKEYDOWN 165\nKEYDOWN 92\nKEYUP 161\nKEYUP 165\nKEYUP 92\n",
       {"flagschanged 60 down hid Shift", "flagschanged 61 down hid Shift+Alternate",
        "flagschanged 54 down hid Shift+Alternate+Command",
        "flagschanged 60 up hid Alternate+Command", "flagschanged 61 up hid Command",
        "flagschanged 54 up hid"}},
      // As Windows sends typematic repeats.
      {"a held key's second down is a repeat; a fresh press, a release or a modifier never is",
       "KEYDOWN 65\nKEYDOWN 65\nKEYPRESS 65\nKEYDOWN 16\nKEYDOWN 16\nKEYUP 16\nKEYPRESS 65\n",
       {"keydown 0 hid", "keydown 0 hid repeat", "keydown 0 hid repeat", "keyup 0 hid",
        "flagschanged 56 down hid Shift", "flagschanged 56 down hid Shift",
        "flagschanged 56 up hid", "keydown 0 hid", "keyup 0 hid"}},
      {"arrow flags follow the modifiers at each event and never stick to the mask",
       "KEYDOWN 17\nKEYDOWN 37\nKEYUP 17\nKEYUP 37\nKEYDOWN 65\n",
       {"flagschanged 59 down hid Control", "keydown 123 hid Control+SecondaryFn",
        "flagschanged 59 up hid", "keyup 123 hid NumericPad+SecondaryFn", "keydown 0 hid"}},
  };
  runCases(cases);
}

TEST_F(KeyboardTest, OnlyCVAndXAreTranslatedWithTheGenericOrLeftControl) {
  for (uint16_t control : {17, 162}) {
    fresh();
    session().keyboard.postKeyEvent(control, true);
    for (uint16_t vk = 65; vk <= 90; ++vk) {
      simClearPostedEvents();
      session().keyboard.postKeyEvent(vk, true);
      session().keyboard.postKeyEvent(vk, false);
      const std::string code = std::to_string(vkToMac(vk));
      const std::string flags = (vk == 67 || vk == 86 || vk == 88) ? "Command" : "Control";
      EXPECT_EQ(takePosted(),
                (Events{"keydown " + code + " hid " + flags, "keyup " + code + " hid " + flags}))
          << "Control " << control << ", VK " << vk;
    }
  }
}

TEST_F(KeyboardTest, ArrowsCarrySecondaryFnAndNumericPadUnlessControl) {
  const struct {
    const char* held;
    const char* flags;
  } modifiers[] = {
      {"", "NumericPad+SecondaryFn"},
      {"KEYDOWN 17\n", "Control+SecondaryFn"},
      {"KEYDOWN 163\n", "Control+SecondaryFn"},
      {"KEYDOWN 16\n", "Shift+NumericPad+SecondaryFn"},
      {"KEYDOWN 17\nKEYDOWN 16\n", "Shift+Control+SecondaryFn"},
      {"KEYDOWN 91\n", "Command+NumericPad+SecondaryFn"},
  };
  const char* arrowKeys[] = {"123", "126", "124", "125"};  // VKs 37 to 40
  for (const auto& m : modifiers) {
    for (uint16_t vk = 37; vk <= 40; ++vk) {
      fresh();
      handleLines(m.held);
      simClearPostedEvents();
      const std::string vkText = std::to_string(vk);
      EXPECT_EQ(handleLines("KEYDOWN " + vkText + "\nKEYUP " + vkText + "\n"),
                "ACK KEYDOWN\nACK KEYUP\n");
      const std::string key = arrowKeys[vk - 37] + std::string(" hid ") + m.flags;
      EXPECT_EQ(takePosted(), (Events{"keydown " + key, "keyup " + key}))
          << "held: " << m.held << " VK " << vk;
    }
  }
}

TEST_F(KeyboardTest, KeyCommandsCutTheVkToItsLow16BitsAndIgnoreUnmappedKeys) {
  const ProtocolCase cases[] = {
      {"the VK's low 16 bits: 65 + 65536 and 65 - 65536 are A",
       "KEYDOWN 65601\nKEYUP 65601\nKEYPRESS 65601\nKEYDOWN -65471\n",
       {"keydown 0 hid", "keyup 0 hid", "keydown 0 hid", "keyup 0 hid", "keydown 0 hid"},
       "ACK KEYDOWN\nACK KEYUP\nACK KEYDOWN\n"},
      {"17 + 65536 is Control", "KEYDOWN 65553\n", {"flagschanged 59 down hid Control"}},
      {"tokens after the VK are ignored",
       "KEYDOWN 32 trailing tokens\n",
       {"keydown 49 hid"},
       "ACK KEYDOWN\n"},
      // 99999999999 saturates to 2147483647: low bits 0xFFFF.
      {"unmapped and unreadable VKs are acknowledged and post nothing",
       "KEYDOWN -1\nKEYDOWN 108\nKEYDOWN 7\nKEYDOWN 0\nKEYDOWN abc\nKEYDOWN 223\nKEYUP 256\n"
       "KEYUP 99999999999\nKEYPRESS 144\nKEYPRESS 178\n",
       {},
       repeat("ACK KEYDOWN\n", 6) + repeat("ACK KEYUP\n", 2)},
      {"no VK: unknown", "KEYDOWN\n", {}, "UNKNOWN: KEYDOWN\n"},
  };
  runCases(cases, {.after = [](const ProtocolCase& c) {
             if (!c.events.empty()) return;
             EXPECT_TRUE(keyboardStateIsClear());
             EXPECT_EQ(simLiveSources(), 0) << "an ignored key must not even create the source";
           }});
}

TEST_F(KeyboardTest, KeyPressIsDownPauseUpWithoutReply) {
  handleLines("KEYDOWN 17\n");
  simClearPostedEvents();
  const uint64_t slept = simSleptMicroseconds();
  EXPECT_EQ(handleLines("KEYPRESS 67\n"), "");
  EXPECT_EQ(simSleptMicroseconds() - slept, 10000u);
  EXPECT_EQ(takePosted(), (Events{"keydown 8 hid Command", "keyup 8 hid Command"}));
  EXPECT_FALSE(session().keyboard.isKeyHeld(67));
  EXPECT_FALSE(session().keyboard.isClipboardTranslated(67));
}

TEST_F(KeyboardTest, MissingKeyboardSourceIsReportedPerKeyEventAndRetried) {
  simSetFailures(kSimFailSource);
  testing::internal::CaptureStderr();
  EXPECT_EQ(handleLines("KEYDOWN 17\nKEYDOWN 67\nKEYDOWN 108\nKEYPRESS 65\n"),
            "ACK KEYDOWN\nACK KEYDOWN\nACK KEYDOWN\n");
  // Four key events attempted (the unmapped VK is no attempt), four lines, nothing posted.
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            std::string(kNoSourceLine) + kNoSourceLine + kNoSourceLine + kNoSourceLine);
  EXPECT_TRUE(takePosted().empty());
  EXPECT_EQ(simLiveSources(), 0);
  // The state changes were made all the same: Control is held and C's press was translated.
  EXPECT_EQ(session().keyboard.modifierFlags(), kCGEventFlagMaskControl);
  EXPECT_TRUE(session().keyboard.isModifierHeld(17));
  EXPECT_TRUE(session().keyboard.isKeyHeld(67));
  EXPECT_TRUE(session().keyboard.isClipboardTranslated(67));
  EXPECT_FALSE(session().keyboard.isKeyHeld(65));

  // The next key event tries again and, the source now there, posts.
  simSetFailures(0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(handleLines("KEYUP 67\n"), "ACK KEYUP\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(takePosted(), (Events{"keyup 8 hid Command"}));
  EXPECT_EQ(simLiveSources(), 1);
  // Kept for the rest of the run: no second source.
  handleLines("KEYDOWN 65\nKEYUP 65\n");
  EXPECT_EQ(simLiveSources(), 1);
  EXPECT_NE(session().keyboard.getKeyboardSource(), nullptr);
}

TEST_F(KeyboardTest, KeyEventCreationFailureIsSilentAndKeepsState) {
  simSetFailures(kSimFailKeyboard);
  testing::internal::CaptureStderr();
  EXPECT_EQ(handleLines("KEYDOWN 17\nKEYDOWN 67\n"), "ACK KEYDOWN\nACK KEYDOWN\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_TRUE(takePosted().empty());
  EXPECT_EQ(session().keyboard.modifierFlags(), kCGEventFlagMaskControl);
  EXPECT_TRUE(session().keyboard.isClipboardTranslated(67));
  simSetFailures(0);
  handleLines("KEYUP 67\n");
  EXPECT_EQ(takePosted(), (Events{"keyup 8 hid Command"}));
}

// The warning comes once each time Secure Event Input turns on, from the first key or text
// command that finds it on; pointer commands never ask, and the events go out all the same.
TEST_F(KeyboardTest, SecureEventInputIsReportedEachTimeItTurnsOn) {
  const std::string warning =
      "WARNING: Secure Event Input is on; keys and text may not reach the focused app\n";
  const std::string flag = temporaryPath("secure-input");
  simSetSecureInputFile(flag);
  const struct {
    const char* secureInput;  // the file's content before the lines
    const char* lines;
    bool warns;
    size_t posted;
  } steps[] = {
      {"1", "MOVE 1 1\nCLICK left\n", false, 3},
      {"1", "KEYDOWN 65\nKEYUP 65\n", true, 2},  // on at the first that asks
      {"0", "TEXT aGk=\n", false, 2},
      {"1", "KEYPRESS 66\nMOUSEDOWN left\n", true, 3},  // on again
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.lines);
    std::ofstream(flag) << step.secureInput;
    testing::internal::CaptureStderr();
    handleLines(step.lines);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), step.warns ? warning : "");
    EXPECT_EQ(takePosted().size(), step.posted);
  }
}

// ---- Releasing what the host left held ---------------------------------------------------------

// The order of the releases is the session's affair; here, what each release carries.
TEST_F(KeyboardTest, ReleaseHeldKeysReleasesEachAsKeyUpWould) {
  const ProtocolCase cases[] = {
      {"a translated C is released with Command while Control is still held",
       "KEYDOWN 17\nKEYDOWN 67\n",
       {"keyup 8 hid Command", "flagschanged 59 up hid"}},
      {"a translated V keeps other modifiers held now",
       "KEYDOWN 162\nKEYDOWN 86\nKEYDOWN 16\n",
       {"keyup 9 hid Shift+Command", "flagschanged 56 up hid Control", "flagschanged 59 up hid"}},
      {"a translated C whose Control already went up still releases with Command",
       "KEYDOWN 17\nKEYDOWN 67\nKEYUP 17\n",
       {"keyup 8 hid Command"}},
      {"a held arrow is released with its arrow flags",
       "KEYDOWN 39\n",
       {"keyup 124 hid NumericPad+SecondaryFn"}},
      {"a held arrow with Control",
       "KEYDOWN 163\nKEYDOWN 40\n",
       {"keyup 125 hid Control+SecondaryFn", "flagschanged 62 up hid"}},
      {"generic and sided modifiers are each released",
       "KEYDOWN 16\nKEYDOWN 160\nKEYDOWN 92\n",
       {"flagschanged 56 up hid Shift+Command", "flagschanged 54 up hid Shift",
        "flagschanged 56 up hid"}},
      {"nothing held, nothing posted", "KEYDOWN 65\nKEYUP 65\nKEYDOWN 17\nKEYUP 17\n", {}},
      {"unmapped keys are never held", "KEYDOWN 108\nKEYDOWN 0\n", {}},
  };
  for (const ProtocolCase& c : cases) {
    SCOPED_TRACE(c.name);
    fresh();
    handleLines(c.input);
    simClearPostedEvents();
    session().keyboard.releaseHeldKeys();
    EXPECT_EQ(takePosted(), c.events);
    EXPECT_TRUE(keyboardStateIsClear());
    session().keyboard.releaseHeldKeys();
    EXPECT_TRUE(takePosted().empty()) << "a second release posts nothing";
  }
}

TEST_F(KeyboardTest, ReleaseHeldKeysWithoutSourceReportsEachAttemptAndClearsTheState) {
  simSetFailures(kSimFailSource);
  testing::internal::CaptureStderr();
  handleLines("KEYDOWN 17\nKEYDOWN 65\n");
  testing::internal::GetCapturedStderr();
  testing::internal::CaptureStderr();
  session().keyboard.releaseHeldKeys();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), std::string(kNoSourceLine) + kNoSourceLine);
  EXPECT_TRUE(keyboardStateIsClear());
}

}  // namespace
