// The simulated Text Input Sources: which sources a process sees (taking in a switch only when it
// runs its run loop), their properties, and what their layouts' keys type.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>
#include <vector>

#include "platform/quartz.h"
#include "platform/simulated/simulation.h"
#include "platform/text_input_sources.h"
#include "support/scratch_file.h"

namespace {

class SimulatedInputSourcesTest : public ::testing::Test {
 protected:
  void SetUp() override { simReset(); }
};

// As the agent does before asking: take in any switch of layout.
void runTheRunLoop() { CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0, true); }

std::string idOf(TISInputSourceRef source) {
  if (source == nullptr) return "none";
  const auto id =
      static_cast<CFStringRef>(TISGetInputSourceProperty(source, kTISPropertyInputSourceID));
  UniChar units[64] = {};
  const CFIndex length = CFStringGetLength(id);
  CFStringGetCharacters(id, CFRangeMake(0, length), units);
  const std::string text(units, units + length);
  const size_t dot = text.find('.', std::string("com.apple.").size());  // past the kind's name
  return text.rfind("com.apple.", 0) == 0 ? text.substr(dot + 1) : text;
}

const UCKeyboardLayout* keyLayoutOf(TISInputSourceRef source) {
  const auto data =
      static_cast<CFDataRef>(TISGetInputSourceProperty(source, kTISPropertyUnicodeKeyLayoutData));
  return data == nullptr ? nullptr
                         : reinterpret_cast<const UCKeyboardLayout*>(CFDataGetBytePtr(data));
}

// The current keyboard input source's id (the part after com.apple.keylayout. or
// com.apple.inputmethod.), "+ascii" when it says it is ASCII-capable and "+data" when it has a key
// layout; then the same for the current keyboard layout and the ASCII-capable layout.
std::string describeSources() {
  runTheRunLoop();
  std::string all;
  for (TISInputSourceRef source :
       {TISCopyCurrentKeyboardInputSource(), TISCopyCurrentKeyboardLayoutInputSource(),
        TISCopyCurrentASCIICapableKeyboardLayoutInputSource()}) {
    all += (all.empty() ? "" : "; ") + idOf(source);
    if (source == nullptr) continue;
    const auto ascii = static_cast<CFBooleanRef>(
        TISGetInputSourceProperty(source, kTISPropertyInputSourceIsASCIICapable));
    if (CFBooleanGetValue(ascii)) all += "+ascii";
    if (keyLayoutOf(source) != nullptr) all += "+data";
    CFRelease(source);
  }
  return all;
}

// An input method types through the ASCII-capable layout, never handed out as a layout; a layout
// that types no ASCII has that layout beside it.
TEST_F(SimulatedInputSourcesTest, InputSourcesAreTheLayoutSetAndAnAsciiCapableOne) {
  const struct {
    const char* layout;
    const char* sources;
    const char* ascii = "us";
    unsigned failures = 0;
  } cases[] = {
      {"us", "US+ascii+data; US+ascii+data; US+ascii+data"},
      {"french", "French+ascii+data; French+ascii+data; French+ascii+data"},
      {"german", "German+ascii+data; German+ascii+data; German+ascii+data"},
      {"dvorak", "Dvorak+ascii+data; Dvorak+ascii+data; Dvorak+ascii+data"},
      {"dvorak-qwerty-cmd",
       "DVORAK-QWERTYCMD+ascii+data; DVORAK-QWERTYCMD+ascii+data; DVORAK-QWERTYCMD+ascii+data"},
      {"russian", "Russian+data; Russian+data; US+ascii+data"},
      {"russian", "Russian+data; Russian+data; French+ascii+data", "french"},
      {"input-method", "Kotoeri.RomajiTyping.Japanese+ascii; US+ascii+data; US+ascii+data"},
      {"input-method", "Kotoeri.RomajiTyping.Japanese+ascii; German+ascii+data; German+ascii+data",
       "german"},
      {"french", "French+ascii+data; French+ascii; Dvorak+ascii+data", "dvorak",
       kSimFailLayoutData},
      {"input-method", "none; none; none", "us", kSimFailLayout},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(simSetLayout(c.layout));
    ASSERT_TRUE(simSetAsciiLayout(c.ascii));
    simSetFailures(c.failures);
    EXPECT_EQ(describeSources(), c.sources) << c.layout << " " << c.ascii;
  }
  EXPECT_FALSE(simSetLayout("klingon"));  // and the layout stays
  for (const char* notLatin : {"russian", "input-method", "klingon"}) {
    EXPECT_FALSE(simSetAsciiLayout(notLatin)) << notLatin;
  }
  simSetFailures(0);
  EXPECT_EQ(describeSources(), cases[7].sources);  // and the ASCII-capable layout stays
  simReset();
  EXPECT_EQ(describeSources(), cases[0].sources);
  EXPECT_EQ(simLiveInputSources(), 0);
}

// A process reads the setting at its first query, then only when it runs its run loop in the
// default mode; a fresh one reads it again.
TEST_F(SimulatedInputSourcesTest, ASwitchIsTakenInByTheRunLoopOnly) {
  auto layoutNow = [] {
    TISInputSourceRef source = TISCopyCurrentKeyboardLayoutInputSource();
    const std::string id = idOf(source);
    CFRelease(source);
    return id;
  };
  ASSERT_TRUE(simSetLayout("french"));
  EXPECT_EQ(layoutNow(), "French");
  ASSERT_TRUE(simSetLayout("german"));
  EXPECT_EQ(layoutNow(), "French");
  EXPECT_EQ(CFRunLoopRunInMode(CFSTR("kCFRunLoopCommonModes"), 0, true), kCFRunLoopRunTimedOut);
  EXPECT_EQ(layoutNow(), "French");
  runTheRunLoop();
  ASSERT_TRUE(simSetLayout("dvorak"));
  EXPECT_EQ(layoutNow(), "German");  // as the run read it
  simReset();
  EXPECT_EQ(layoutNow(), "US");
}

// What a key types on the current layout with those modifiers (UCKeyTranslate's bits); "error"
// when the call fails.
std::u16string typed(UInt16 key, UInt32 modifiers, UInt16 action = kUCKeyActionDown) {
  runTheRunLoop();
  TISInputSourceRef source = TISCopyCurrentKeyboardLayoutInputSource();
  UInt32 deadKeyState = 0;
  UniChar units[4] = {};
  UniCharCount length = 99;
  const OSStatus status =
      UCKeyTranslate(keyLayoutOf(source), key, action, modifiers, LMGetKbdType(),
                     kUCKeyTranslateNoDeadKeysMask, &deadKeyState, 4, &length, units);
  CFRelease(source);
  EXPECT_EQ(deadKeyState, 0u);
  if (status != noErr) return length == 0 ? u"error" : u"error with a length";
  return std::u16string(units, units + length);
}

TEST_F(SimulatedInputSourcesTest, KeysTypeWhatTheirLayoutTypes) {
  constexpr UInt32 kShift = shiftKey >> 8, kCommand = cmdKey >> 8, kOption = optionKey >> 8;
  const struct {
    const char* layout;
    UInt16 key;
    UInt32 modifiers;
    const char16_t* typed;
  } cases[] = {
      {"us", 0, 0, u"a"},
      {"us", 29, 0, u"0"},
      {"us", 0, kShift, u"A"},
      {"us", 0, 0x20, u"A"},  // the right Shift
      {"us", 39, kShift, u"\""},
      {"us", 0, kCommand | kShift, u"A"},
      {"us", 49, 0, u" "},
      {"us", 36, 0, u""},  // Return, Tab and the keypad's digits type nothing here
      {"us", 48, kShift, u""},
      {"us", 127, 0, u""},
      {"us", 128, 0, u"error"},
      {"input-method", 12, 0, u"q"},  // through the ASCII-capable layout
      {"french", 12, 0, u"a"},
      {"french", 0, 0, u"q"},
      {"french", 29, 0, u"à"},
      {"french", 29, kShift, u"0"},
      {"french", 33, 0, u"^"},
      {"french", 69, kShift,
       u"+"},  // the keypad's, the same on every layout  // a dead key on a Mac: its own character
      {"german", 6, 0, u"y"},
      {"german", 16, kCommand | kShift, u"Z"},
      {"german", 27, 0, u"ß"},
      {"dvorak", 34, kCommand, u"c"},
      {"dvorak-qwerty-cmd", 34, 0, u"c"},
      {"dvorak-qwerty-cmd", 34, kShift, u"C"},
      {"dvorak-qwerty-cmd", 34, kCommand, u"i"},
      {"dvorak-qwerty-cmd", 34, kCommand | kShift, u"i"},
      {"russian", 0, 0, u"ф"},
      {"russian", 0, kShift, u"Ф"},
      {"russian", 0, kCommand, u"a"},
      {"russian", 0, kCommand | kShift, u"a"},
      {"us", 0, kOption, u"å"},
      {"us", 0, kOption | kShift, u"Å"},
      {"us", 14, kOption, u"´"},  // a dead key: its own character
      {"us", 49, kOption, u"\u00A0"},
      {"german", 37, kOption, u"@"},
      {"french", 23, kOption, u"{"},
      {"french", 37, kOption | kShift, u"|"},
      {"russian", 0, kOption, u"ƒ"},
      {"french", 69, kOption, u"+"},  // the keypad, the same with Option
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(simSetLayout(c.layout));
    EXPECT_EQ(typed(c.key, c.modifiers), c.typed) << c.layout << " " << c.key << " " << c.modifiers;
  }
  simSetLayout("us");
  EXPECT_EQ(typed(0, 0, kUCKeyActionDisplay), u"a");
  EXPECT_EQ(typed(0, 0, kUCKeyActionAutoKey), u"a");
  EXPECT_EQ(typed(0, 0, kUCKeyActionUp), u"");
  EXPECT_EQ(typed(0, 0, 4), u"error");
  EXPECT_EQ(LMGetKbdType(), 40);
  EXPECT_EQ(simLiveInputSources(), 0);
}

// Without kUCKeyTranslateNoDeadKeysMask a dead key's down types nothing and leaves a state, and the
// next key's down types what the two make, or both characters when they make nothing.
TEST_F(SimulatedInputSourcesTest, DeadKeysComposeWithTheNextKey) {
  constexpr UInt32 kShift = shiftKey >> 8, kOption = optionKey >> 8;
  struct Stroke {
    UInt16 key;
    UInt32 modifiers = 0;
    UInt16 action = kUCKeyActionDown;
  };
  const struct {
    const char* layout;
    std::vector<Stroke> strokes;
    const char16_t* typed;  // each stroke's text, "|" after each, "*" where a state is left
  } cases[] = {
      {"us", {{14, kOption}, {14}}, u"*|é|"},
      {"us", {{14, kOption}, {31, kShift}}, u"*|Ó|"},
      {"us", {{32, kOption}, {31, kShift | kOption}}, u"*|¨Ø|"},  // no sequence: both
      {"us", {{14, kOption}, {11}}, u"*|´b|"},
      {"us", {{14, kOption}, {32, kOption}, {0}}, u"*|´*|ä|"},            // a dead key again
      {"us", {{14, kOption}, {14, 0, kUCKeyActionUp}, {14}}, u"*|*|é|"},  // an up waits
      {"us", {{50, kOption}, {49}}, u"*|`|"},
      {"us", {{50}, {0}}, u"`|a|"},  // ` is dead only with Option
      {"french", {{33}, {14}}, u"*|ê|"},
      {"french", {{33, kShift}, {16, kShift}}, u"*|Ÿ|"},
      {"french", {{33}, {49}}, u"*|^|"},
      {"german", {{24}, {14}}, u"*|é|"},
      {"german", {{24, kShift}, {0}}, u"*|à|"},
      {"german", {{22, kOption | kShift}, {34, kShift}}, u"*|Î|"},
      {"russian", {{0, kOption}, {0}}, u"ƒ|ф|"},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(simSetLayout(c.layout));
    runTheRunLoop();
    TISInputSourceRef source = TISCopyCurrentKeyboardLayoutInputSource();
    UInt32 state = 0;
    std::u16string all;
    for (const Stroke& stroke : c.strokes) {
      UniChar units[4] = {};
      UniCharCount length = 99;
      ASSERT_EQ(UCKeyTranslate(keyLayoutOf(source), stroke.key, stroke.action, stroke.modifiers,
                               LMGetKbdType(), 0, &state, 4, &length, units),
                noErr);
      all += std::u16string(units, units + length) + (state != 0 ? u"*|" : u"|");
    }
    CFRelease(source);
    EXPECT_EQ(all, c.typed) << c.layout << " " << c.strokes.front().key;
  }
}

// Every query reads the file's first line; a file that names no layout is U.S.
TEST_F(SimulatedInputSourcesTest, TheLayoutFollowsItsFile) {
  const std::string file = temporaryPath("layout");
  const std::string fifo = temporaryPath("layout-fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  simSetLayout("dvorak");
  const struct {
    std::string path;
    const char* contents;  // nullptr: left as it is
    const char* id;        // the current layout's
  } cases[] = {
      {file, "french\ngerman", "French"},
      {file, "german", "German"},
      {file, "russian\n", "Russian"},
      {file, "", "US"},
      {file, "klingon\n", "US"},
      {file, "French", "US"},
      {temporaryPath("none"), nullptr, "US"},
      {fifo, nullptr, "US"},
  };
  for (const auto& c : cases) {
    if (c.contents != nullptr) std::ofstream(c.path) << c.contents;
    simSetLayoutFile(c.path);
    runTheRunLoop();
    TISInputSourceRef source = TISCopyCurrentKeyboardLayoutInputSource();
    EXPECT_EQ(idOf(source), c.id) << c.contents;
    CFRelease(source);
  }
  simSetLayoutFile("");
  EXPECT_EQ(describeSources().substr(0, 7), "Dvorak+");
}

}  // namespace
