// Key state and key events in-process: the flag rules, the key commands, failures and the release
// of held keys.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "keyboard/key_code_maps.h"
#include "keyboard/key_events.h"
#include "platform/simulated/simulation.h"
#include "support/in_process.h"
#include "support/keyboard_events.h"

namespace {

constexpr uint64_t kShift = kCGEventFlagMaskShift;
constexpr uint64_t kControl = kCGEventFlagMaskControl;
constexpr uint64_t kAlternate = kCGEventFlagMaskAlternate;
constexpr uint64_t kCommand = kCGEventFlagMaskCommand;
constexpr uint64_t kNumericPad = kCGEventFlagMaskNumericPad;
constexpr uint64_t kSecondaryFn = kCGEventFlagMaskSecondaryFn;

constexpr char kNoSourceLine[] = "ERR: Cannot create HID keyboard source\n";

// Mac key codes used below.
constexpr uint16_t kMacA = 0, kMacB = 11, kMacC = 8, kMacV = 9, kMacX = 7, kMacSpace = 49;
constexpr uint16_t kMacShift = 56, kMacControl = 59, kMacRightControl = 62, kMacOption = 58;
constexpr uint16_t kMacCommand = 55, kMacCapsLock = 57, kMacLeft = 123;

class KeyEvents : public ::testing::Test {
 protected:
  void SetUp() override { fresh(); }
  void TearDown() override {
    // Every event and string made by a command is released before the command completes.
    EXPECT_EQ(simLiveEvents(), liveEvents);
    EXPECT_EQ(simLiveStrings(), liveStrings);
  }
  void fresh() {
    resetAgent();
    simSetInstantSleep(true);
    liveEvents = simLiveEvents();
    liveStrings = simLiveStrings();
  }
  long liveEvents = 0;
  long liveStrings = 0;
};

struct KeyCase {
  const char* name;
  const char* input;
  std::vector<PostedKey> expected;
};

TEST_F(KeyEvents, ClipboardTranslationAndModifierRules) {
  const std::vector<KeyCase> cases = {
      {"the clipboard chord: Control is never posted as Command, only its flag",
       "KEYDOWN 17\nKEYDOWN 67\nKEYUP 17\nKEYUP 67\n",
       {modifierDownEvent(kMacControl, kControl), keyDownEvent(kMacC, kCommand),
        modifierUpEvent(kMacControl, 0), keyUpEvent(kMacC, kCommand)}},
      {"left Control with V",
       "KEYDOWN 162\nKEYDOWN 86\nKEYUP 86\nKEYUP 162\n",
       {modifierDownEvent(kMacControl, kControl), keyDownEvent(kMacV, kCommand),
        keyUpEvent(kMacV, kCommand), modifierUpEvent(kMacControl, 0)}},
      {"generic Control with X",
       "KEYDOWN 17\nKEYDOWN 88\n",
       {modifierDownEvent(kMacControl, kControl), keyDownEvent(kMacX, kCommand)}},
      {"right Control alone is not translated",
       "KEYDOWN 163\nKEYDOWN 67\nKEYUP 67\n",
       {modifierDownEvent(kMacRightControl, kControl), keyDownEvent(kMacC, kControl),
        keyUpEvent(kMacC, kControl)}},
      {"generic and right Control together are not translated",
       "KEYDOWN 17\nKEYDOWN 163\nKEYDOWN 67\n",
       {modifierDownEvent(kMacControl, kControl), modifierDownEvent(kMacRightControl, kControl),
        keyDownEvent(kMacC, kControl)}},
      {"Control with Shift is not translated",
       "KEYDOWN 17\nKEYDOWN 16\nKEYDOWN 67\n",
       {modifierDownEvent(kMacControl, kControl), modifierDownEvent(kMacShift, kControl | kShift),
        keyDownEvent(kMacC, kControl | kShift)}},
      {"Control with Alt is not translated",
       "KEYDOWN 17\nKEYDOWN 18\nKEYDOWN 86\n",
       {modifierDownEvent(kMacControl, kControl),
        modifierDownEvent(kMacOption, kControl | kAlternate),
        keyDownEvent(kMacV, kControl | kAlternate)}},
      {"Control with Command is not translated",
       "KEYDOWN 91\nKEYDOWN 17\nKEYDOWN 67\n",
       {modifierDownEvent(kMacCommand, kCommand),
        modifierDownEvent(kMacControl, kCommand | kControl),
        keyDownEvent(kMacC, kCommand | kControl)}},
      {"the release keeps the translation after Control went up",
       "KEYDOWN 17\nKEYDOWN 67\nKEYUP 17\nKEYUP 67\nKEYDOWN 67\nKEYUP 67\n",
       {modifierDownEvent(kMacControl, kControl), keyDownEvent(kMacC, kCommand),
        modifierUpEvent(kMacControl, 0), keyUpEvent(kMacC, kCommand), keyDownEvent(kMacC, 0),
        keyUpEvent(kMacC, 0)}},
      {"the release keeps the translation and takes modifiers held now",
       "KEYDOWN 17\nKEYDOWN 67\nKEYDOWN 16\nKEYUP 67\n",
       {modifierDownEvent(kMacControl, kControl), keyDownEvent(kMacC, kCommand),
        modifierDownEvent(kMacShift, kControl | kShift), keyUpEvent(kMacC, kShift | kCommand)}},
      {"repeated presses keep the decision of the fresh press",
       "KEYDOWN 17\nKEYDOWN 67\nKEYDOWN 67\nKEYUP 17\nKEYDOWN 67\nKEYUP 67\n",
       {modifierDownEvent(kMacControl, kControl), keyDownEvent(kMacC, kCommand),
        keyDownEvent(kMacC, kCommand), modifierUpEvent(kMacControl, 0),
        keyDownEvent(kMacC, kCommand), keyUpEvent(kMacC, kCommand)}},
      {"an untranslated fresh press stays untranslated when Control comes",
       "KEYDOWN 67\nKEYDOWN 17\nKEYDOWN 67\nKEYUP 67\n",
       {keyDownEvent(kMacC, 0), modifierDownEvent(kMacControl, kControl),
        keyDownEvent(kMacC, kControl), keyUpEvent(kMacC, kControl)}},
      {"no modifiers", "KEYDOWN 67\nKEYUP 67\n", {keyDownEvent(kMacC, 0), keyUpEvent(kMacC, 0)}},
      {"a release never pressed carries the current flags untranslated",
       "KEYUP 67\nKEYDOWN 17\nKEYUP 67\n",
       {keyUpEvent(kMacC, 0), modifierDownEvent(kMacControl, kControl),
        keyUpEvent(kMacC, kControl)}},
      {"generic and sided Shift are separate keys: releasing 160 leaves 16's Shift",
       "KEYDOWN 16\nKEYUP 160\nKEYDOWN 65\n",
       {modifierDownEvent(kMacShift, kShift), modifierUpEvent(kMacShift, kShift),
        keyDownEvent(kMacA, kShift)}},
      {"generic and sided Shift held together: Shift lasts until both are up",
       "KEYDOWN 16\nKEYDOWN 160\nKEYUP 16\nKEYDOWN 66\nKEYUP 160\nKEYUP 66\n",
       {modifierDownEvent(kMacShift, kShift), modifierDownEvent(kMacShift, kShift),
        modifierUpEvent(kMacShift, kShift), keyDownEvent(kMacB, kShift),
        modifierUpEvent(kMacShift, 0), keyUpEvent(kMacB, 0)}},
      {"generic and left Control held together still translate",
       "KEYDOWN 17\nKEYDOWN 162\nKEYUP 17\nKEYDOWN 67\nKEYUP 162\n",
       {modifierDownEvent(kMacControl, kControl), modifierDownEvent(kMacControl, kControl),
        modifierUpEvent(kMacControl, kControl), keyDownEvent(kMacC, kCommand),
        modifierUpEvent(kMacControl, 0)}},
      {"Caps Lock is an ordinary key and changes no flag",
       "KEYDOWN 20\nKEYDOWN 65\n",
       {keyDownEvent(kMacCapsLock, 0), keyDownEvent(kMacA, 0)}},
      {"sided modifiers post their own keys",
       "KEYDOWN 161\nKEYDOWN 165\nKEYDOWN 92\nKEYUP 161\nKEYUP 165\nKEYUP 92\n",
       {modifierDownEvent(60, kShift), modifierDownEvent(61, kShift | kAlternate),
        modifierDownEvent(54, kShift | kAlternate | kCommand),
        modifierUpEvent(60, kAlternate | kCommand), modifierUpEvent(61, kCommand),
        modifierUpEvent(54, 0)}},
  };
  for (const KeyCase& c : cases) {
    SCOPED_TRACE(c.name);
    fresh();
    handleLines(c.input);
    EXPECT_EQ(postedKeys(), c.expected);
  }
}

TEST_F(KeyEvents, OnlyCVAndXAreTranslatedWithTheGenericOrLeftControl) {
  for (uint16_t control : {17, 162}) {
    fresh();
    postKeyEvent(control, true);
    for (uint16_t vk = 65; vk <= 90; ++vk) {
      simClearPostedEvents();
      postKeyEvent(vk, true);
      postKeyEvent(vk, false);
      const uint64_t expected = (vk == 67 || vk == 86 || vk == 88) ? kCommand : kControl;
      EXPECT_EQ(postedKeys(), (std::vector<PostedKey>{keyDownEvent(vkToMac(vk), expected),
                                                      keyUpEvent(vkToMac(vk), expected)}))
          << "Control " << control << ", VK " << vk;
    }
  }
}

TEST_F(KeyEvents, ArrowsCarrySecondaryFnAndNumericPadUnlessControl) {
  struct Modifiers {
    const char* held;
    uint64_t flags;
  };
  const Modifiers modifiers[] = {
      {"", kNumericPad | kSecondaryFn},           // 0xA00000
      {"KEYDOWN 17\n", kControl | kSecondaryFn},  // 0x840000
      {"KEYDOWN 163\n", kControl | kSecondaryFn},
      {"KEYDOWN 16\n", kShift | kNumericPad | kSecondaryFn},  // 0xA20000
      {"KEYDOWN 17\nKEYDOWN 16\n", kControl | kShift | kSecondaryFn},
      {"KEYDOWN 91\n", kCommand | kNumericPad | kSecondaryFn},
  };
  const uint16_t arrowKeys[] = {123, 126, 124, 125};  // VKs 37 to 40
  for (const Modifiers& m : modifiers) {
    for (uint16_t vk = 37; vk <= 40; ++vk) {
      fresh();
      handleLines(m.held);
      simClearPostedEvents();
      const std::string vkText = std::to_string(vk);
      EXPECT_EQ(handleLines("KEYDOWN " + vkText + "\nKEYUP " + vkText + "\n"),
                "ACK KEYDOWN\nACK KEYUP\n");
      const uint16_t key = arrowKeys[vk - 37];
      EXPECT_EQ(postedKeys(),
                (std::vector<PostedKey>{keyDownEvent(key, m.flags), keyUpEvent(key, m.flags)}))
          << "held: " << m.held << " VK " << vk;
    }
  }
  // The arrow flags follow the modifiers at each event: Control released between press and
  // release brings NumericPad back on the release.
  fresh();
  handleLines("KEYDOWN 17\nKEYDOWN 37\nKEYUP 17\nKEYUP 37\n");
  EXPECT_EQ(
      postedKeys(),
      (std::vector<PostedKey>{
          modifierDownEvent(kMacControl, kControl), keyDownEvent(kMacLeft, kControl | kSecondaryFn),
          modifierUpEvent(kMacControl, 0), keyUpEvent(kMacLeft, kNumericPad | kSecondaryFn)}));
  // Nothing of the arrow flags sticks to modifierFlags().
  EXPECT_EQ(modifierFlags(), 0u);
}

TEST_F(KeyEvents, KeyCommandsCutTheVkToItsLow16BitsAndIgnoreUnmappedKeys) {
  struct VkCase {
    const char* line;
    const char* reply;
    std::vector<PostedKey> expected;
  };
  const VkCase cases[] = {
      {"KEYDOWN 65601", "ACK KEYDOWN\n", {keyDownEvent(kMacA, 0)}},                    // 65 + 65536
      {"KEYDOWN 65553", "ACK KEYDOWN\n", {modifierDownEvent(kMacControl, kControl)}},  // 17
      {"KEYDOWN -65471", "ACK KEYDOWN\n", {keyDownEvent(kMacA, 0)}},                   // 65 - 65536
      {"KEYUP 65601", "ACK KEYUP\n", {keyUpEvent(kMacA, 0)}},
      {"KEYDOWN 32 trailing tokens", "ACK KEYDOWN\n", {keyDownEvent(kMacSpace, 0)}},
      {"KEYDOWN -1", "ACK KEYDOWN\n", {}},
      {"KEYDOWN 96", "ACK KEYDOWN\n", {}},
      {"KEYDOWN 7", "ACK KEYDOWN\n", {}},
      {"KEYDOWN 0", "ACK KEYDOWN\n", {}},
      {"KEYDOWN abc", "ACK KEYDOWN\n", {}},
      {"KEYDOWN 223", "ACK KEYDOWN\n", {}},
      {"KEYUP 256", "ACK KEYUP\n", {}},
      {"KEYUP 99999999999", "ACK KEYUP\n", {}},  // saturates to 2147483647: low bits 0xFFFF
      {"KEYPRESS 96", "", {}},
      {"KEYDOWN", "UNKNOWN: KEYDOWN\n", {}},
  };
  for (const VkCase& c : cases) {
    SCOPED_TRACE(c.line);
    fresh();
    EXPECT_EQ(handleLines(std::string(c.line) + "\n"), c.reply);
    EXPECT_EQ(postedKeys(), c.expected);
    if (c.expected.empty()) {
      EXPECT_TRUE(keyboardStateIsClear());
      EXPECT_EQ(simLiveSources(), 0) << "an ignored key must not even create the source";
    }
  }
}

TEST_F(KeyEvents, KeyPressIsDownPauseUpWithoutReply) {
  handleLines("KEYDOWN 17\n");
  simClearPostedEvents();
  const uint64_t slept = simSleptMicroseconds();
  EXPECT_EQ(handleLines("KEYPRESS 67\n"), "");
  EXPECT_EQ(simSleptMicroseconds() - slept, 10000u);
  EXPECT_EQ(postedKeys(),
            (std::vector<PostedKey>{keyDownEvent(kMacC, kCommand), keyUpEvent(kMacC, kCommand)}));
  EXPECT_FALSE(isKeyHeld(67));
  EXPECT_FALSE(isClipboardTranslated(67));
}

TEST_F(KeyEvents, MissingKeyboardSourceIsReportedPerKeyEventAndRetried) {
  simSetFailures(kSimFailSource);
  testing::internal::CaptureStderr();
  EXPECT_EQ(handleLines("KEYDOWN 17\nKEYDOWN 67\nKEYDOWN 96\nKEYPRESS 65\n"),
            "ACK KEYDOWN\nACK KEYDOWN\nACK KEYDOWN\n");
  // Four key events attempted (the unmapped VK is no attempt), four lines, nothing posted.
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            std::string(kNoSourceLine) + kNoSourceLine + kNoSourceLine + kNoSourceLine);
  EXPECT_TRUE(postedKeys().empty());
  EXPECT_EQ(simLiveSources(), 0);
  // The state changes were made all the same: Control is held and C's press was translated.
  EXPECT_EQ(modifierFlags(), kControl);
  EXPECT_TRUE(isModifierHeld(17));
  EXPECT_TRUE(isKeyHeld(67));
  EXPECT_TRUE(isClipboardTranslated(67));
  EXPECT_FALSE(isKeyHeld(65));

  // The next key event tries again and, the source now there, posts.
  simSetFailures(0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(handleLines("KEYUP 67\n"), "ACK KEYUP\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(postedKeys(), (std::vector<PostedKey>{keyUpEvent(kMacC, kCommand)}));
  EXPECT_EQ(simLiveSources(), 1);
  // Kept for the rest of the run: no second source.
  handleLines("KEYDOWN 65\nKEYUP 65\n");
  EXPECT_EQ(simLiveSources(), 1);
  EXPECT_NE(getKeyboardSource(), nullptr);
}

TEST_F(KeyEvents, KeyEventCreationFailureIsSilentAndKeepsState) {
  simSetFailures(kSimFailKeyboard);
  testing::internal::CaptureStderr();
  EXPECT_EQ(handleLines("KEYDOWN 17\nKEYDOWN 67\n"), "ACK KEYDOWN\nACK KEYDOWN\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_TRUE(postedKeys().empty());
  EXPECT_EQ(modifierFlags(), kControl);
  EXPECT_TRUE(isClipboardTranslated(67));
  simSetFailures(0);
  handleLines("KEYUP 67\n");
  EXPECT_EQ(postedKeys(), (std::vector<PostedKey>{keyUpEvent(kMacC, kCommand)}));
}

// ---- Releasing what the host left held ---------------------------------------------------------

TEST_F(KeyEvents, ReleaseHeldKeysReleasesKeysThenModifiersInVkOrder) {
  const std::vector<KeyCase> cases = {
      {"keys ascending, then modifiers ascending, each as KEYUP would",
       "KEYDOWN 160\nKEYDOWN 17\nKEYDOWN 65\nKEYDOWN 37\nKEYDOWN 32\n",
       {keyUpEvent(kMacSpace, kControl | kShift),
        keyUpEvent(kMacLeft, kControl | kShift | kSecondaryFn),
        keyUpEvent(kMacA, kControl | kShift), modifierUpEvent(kMacControl, kShift),
        modifierUpEvent(kMacShift, 0)}},
      {"a translated C is released with Command while Control is still held",
       "KEYDOWN 17\nKEYDOWN 67\n",
       {keyUpEvent(kMacC, kCommand), modifierUpEvent(kMacControl, 0)}},
      {"a translated C keeps other modifiers held now",
       "KEYDOWN 162\nKEYDOWN 86\nKEYDOWN 16\n",
       {keyUpEvent(kMacV, kShift | kCommand), modifierUpEvent(kMacShift, kControl),
        modifierUpEvent(kMacControl, 0)}},
      {"a translated C whose Control already went up still releases with Command",
       "KEYDOWN 17\nKEYDOWN 67\nKEYUP 17\n",
       {keyUpEvent(kMacC, kCommand)}},
      {"a held arrow is released with its arrow flags",
       "KEYDOWN 39\n",
       {keyUpEvent(124, kNumericPad | kSecondaryFn)}},
      {"a held arrow with Control",
       "KEYDOWN 163\nKEYDOWN 40\n",
       {keyUpEvent(125, kControl | kSecondaryFn), modifierUpEvent(kMacRightControl, 0)}},
      {"generic and sided modifiers are each released",
       "KEYDOWN 16\nKEYDOWN 160\nKEYDOWN 92\n",
       {modifierUpEvent(kMacShift, kShift | kCommand), modifierUpEvent(54, kShift),
        modifierUpEvent(kMacShift, 0)}},
      {"nothing held, nothing posted", "KEYDOWN 65\nKEYUP 65\nKEYDOWN 17\nKEYUP 17\n", {}},
      {"unmapped keys are never held", "KEYDOWN 96\nKEYDOWN 0\n", {}},
  };
  for (const KeyCase& c : cases) {
    SCOPED_TRACE(c.name);
    fresh();
    handleLines(c.input);
    simClearPostedEvents();
    releaseHeldKeys();
    EXPECT_EQ(postedKeys(), c.expected);
    EXPECT_TRUE(keyboardStateIsClear());
    simClearPostedEvents();
    releaseHeldKeys();
    EXPECT_TRUE(postedKeys().empty()) << "a second release posts nothing";
  }
}

TEST_F(KeyEvents, ReleaseHeldKeysWithoutSourceReportsEachAttemptAndClearsTheState) {
  simSetFailures(kSimFailSource);
  testing::internal::CaptureStderr();
  handleLines("KEYDOWN 17\nKEYDOWN 65\n");
  testing::internal::GetCapturedStderr();
  testing::internal::CaptureStderr();
  releaseHeldKeys();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), std::string(kNoSourceLine) + kNoSourceLine);
  EXPECT_TRUE(keyboardStateIsClear());
}
}  // namespace
