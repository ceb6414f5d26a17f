// The simulated desktop's objects: strings made from UTF-8 as CoreFoundation makes them, input
// sources and what their layouts type, and every event, source, string, display mode, input source
// and power assertion counted while alive, usable until released, and refused after.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "platform/power.h"
#include "platform/quartz.h"
#include "platform/simulated/simulation.h"
#include "platform/simulated/trace.h"
#include "platform/text_input_sources.h"
#include "support/scratch_file.h"

namespace {

class SimulatedLiveObjectsTest : public ::testing::Test {
 protected:
  void SetUp() override { simReset(); }
};

TEST_F(SimulatedLiveObjectsTest, Utf8IsValidatedAsCoreFoundationDoes) {
  struct Case {
    const char* bytes;
    bool valid;
    size_t units;
  } cases[] = {
      {"hi", true, 2},
      {"", true, 0},
      {"\xe4\xbd\xa0\xe5\xa5\xbd", true, 2},  // CJK
      {"\xf0\x9f\x98\x80", true, 2},          // an emoji is a surrogate pair
      {"\xf4\x8f\xbf\xbf", true, 2},          // U+10FFFF
      {"\xc0\xaf", false, 0},                 // overlong '/'
      {"\xe0\x80\xaf", false, 0},             // overlong, three bytes
      {"\xf0\x80\x80\xaf", false, 0},         // overlong, four bytes
      {"\xed\xa0\x80", false, 0},             // a surrogate
      {"\xe4\xbd", false, 0},                 // truncated
      {"a\xc3", false, 0},                    // truncated at the end
      {"\xf4\x90\x80\x80", false, 0},         // above U+10FFFF
      {"\xff", false, 0},
      {"\x80", false, 0},  // a lone continuation byte
  };
  for (const Case& c : cases) {
    CFStringRef s = CFStringCreateWithCString(kCFAllocatorDefault, c.bytes, kCFStringEncodingUTF8);
    EXPECT_EQ(s != nullptr, c.valid) << c.bytes;
    if (s != nullptr) {
      EXPECT_EQ(CFStringGetLength(s), static_cast<CFIndex>(c.units));
      CFRelease(s);
    }
  }
  EXPECT_EQ(simLiveStrings(), 0);
}

TEST_F(SimulatedLiveObjectsTest, StringsGiveTheirUtf16Units) {
  CFStringRef s = CFStringCreateWithCString(nullptr, "a\xf0\x9f\x98\x80", kCFStringEncodingUTF8);
  ASSERT_NE(s, nullptr);
  UniChar units[3] = {};
  CFStringGetCharacters(s, CFRangeMake(0, 3), units);
  EXPECT_EQ(units[0], 'a');
  EXPECT_EQ(units[1], 0xD83D);
  EXPECT_EQ(units[2], 0xDE00);
  CFRelease(s);
}

std::string idOf(TISInputSourceRef source) {
  if (source == nullptr) return "none";
  const auto id =
      static_cast<CFStringRef>(TISGetInputSourceProperty(source, kTISPropertyInputSourceID));
  UniChar units[64] = {};
  const CFIndex length = CFStringGetLength(id);
  CFStringGetCharacters(id, CFRangeMake(0, length), units);
  return std::string(units, units + length);
}

const UCKeyboardLayout* keyLayoutOf(TISInputSourceRef source) {
  const auto data =
      static_cast<CFDataRef>(TISGetInputSourceProperty(source, kTISPropertyUnicodeKeyLayoutData));
  return data == nullptr ? nullptr
                         : reinterpret_cast<const UCKeyboardLayout*>(CFDataGetBytePtr(data));
}

// The current layout's id, "+ascii" when it says it is ASCII-capable and "+data" when it has a key
// layout; then the same for the ASCII-capable layout.
std::string describeSources() {
  std::string all;
  for (TISInputSourceRef source : {TISCopyCurrentKeyboardLayoutInputSource(),
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

TEST_F(SimulatedLiveObjectsTest, InputSourcesAreTheLayoutSetAndAnAsciiCapableOne) {
  const struct {
    const char* layout;
    const char* sources;
  } cases[] = {
      {"us", "com.apple.keylayout.US+ascii+data; com.apple.keylayout.US+ascii+data"},
      {"french", "com.apple.keylayout.French+ascii+data; com.apple.keylayout.French+ascii+data"},
      {"german", "com.apple.keylayout.German+ascii+data; com.apple.keylayout.German+ascii+data"},
      {"dvorak", "com.apple.keylayout.Dvorak+ascii+data; com.apple.keylayout.Dvorak+ascii+data"},
      {"dvorak-qwerty-cmd",
       "com.apple.keylayout.DVORAK-QWERTYCMD+ascii+data; "
       "com.apple.keylayout.DVORAK-QWERTYCMD+ascii+data"},
      {"russian", "com.apple.keylayout.Russian+data; com.apple.keylayout.US+ascii+data"},
      {"input-method",
       "com.apple.inputmethod.Kotoeri.RomajiTyping.Japanese+ascii; "
       "com.apple.keylayout.US+ascii+data"},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(simSetLayout(c.layout));
    EXPECT_EQ(describeSources(), c.sources) << c.layout;
  }
  EXPECT_FALSE(simSetLayout("klingon"));  // and the layout stays
  EXPECT_EQ(describeSources(), cases[6].sources);
  simSetFailures(kSimFailLayout);
  EXPECT_EQ(describeSources(), "none; none");
  simReset();
  EXPECT_EQ(describeSources(), cases[0].sources);
  EXPECT_EQ(simLiveInputSources(), 0);
}

// What a key types on the current layout with those modifiers (UCKeyTranslate's bits); "error"
// when the call fails.
std::u16string typed(UInt16 key, UInt32 modifiers, UInt16 action = kUCKeyActionDown) {
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

TEST_F(SimulatedLiveObjectsTest, KeysTypeWhatTheirLayoutTypes) {
  constexpr UInt32 kShift = shiftKey >> 8, kCommand = cmdKey >> 8;
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
      {"us", 36, 0, u""},  // Return, Tab and the keys past 50 type nothing here
      {"us", 48, kShift, u""},
      {"us", 127, 0, u""},
      {"us", 128, 0, u"error"},
      {"input-method", 0, 0, u"error"},  // no key layout: NULL
      {"french", 12, 0, u"a"},
      {"french", 0, 0, u"q"},
      {"french", 29, 0, u"à"},
      {"french", 29, kShift, u"0"},
      {"french", 33, 0, u"^"},  // a dead key on a Mac: its own character
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

// Every query reads the file's first line; a file that names no layout is U.S.
TEST_F(SimulatedLiveObjectsTest, TheLayoutFollowsItsFile) {
  const std::string file = temporaryPath("layout");
  const std::string fifo = temporaryPath("layout-fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  simSetLayout("dvorak");
  const struct {
    std::string path;
    const char* contents;  // nullptr: left as it is
    const char* id;        // the current layout's
  } cases[] = {
      {file, "french\ngerman", "com.apple.keylayout.French"},
      {file, "german", "com.apple.keylayout.German"},
      {file, "russian\n", "com.apple.keylayout.Russian"},
      {file, "", "com.apple.keylayout.US"},
      {file, "klingon\n", "com.apple.keylayout.US"},
      {file, "French", "com.apple.keylayout.US"},
      {temporaryPath("none"), nullptr, "com.apple.keylayout.US"},
      {fifo, nullptr, "com.apple.keylayout.US"},
  };
  for (const auto& c : cases) {
    if (c.contents != nullptr) std::ofstream(c.path) << c.contents;
    simSetLayoutFile(c.path);
    TISInputSourceRef source = TISCopyCurrentKeyboardLayoutInputSource();
    EXPECT_EQ(idOf(source), c.id) << c.contents;
    CFRelease(source);
  }
  simSetLayoutFile("");
  EXPECT_EQ(describeSources().substr(0, 27), "com.apple.keylayout.Dvorak+");
}

TEST_F(SimulatedLiveObjectsTest, CountsEveryObjectUntilReleased) {
  long events = simLiveEvents(), strings = simLiveStrings(), sources = simLiveSources();
  long modes = simLiveDisplayModes(), inputSources = simLiveInputSources();
  TISInputSourceRef current = TISCopyCurrentKeyboardLayoutInputSource();
  TISInputSourceRef ascii = TISCopyCurrentASCIICapableKeyboardLayoutInputSource();
  CGEventSourceRef source = CGEventSourceCreate(kCGEventSourceStateHIDSystemState);
  CGEventRef key = CGEventCreateKeyboardEvent(source, 0, true);
  CGEventRef plain = CGEventCreate(nullptr);
  CFStringRef text = CFStringCreateWithCString(nullptr, "x", kCFStringEncodingUTF8);
  CGDisplayModeRef mode = CGDisplayCopyDisplayMode(1);
  CGDisplayModeRef released = CGDisplayCopyDisplayMode(1);  // by CFRelease, as on a Mac
  EXPECT_EQ(simLiveEvents(), events + 2);
  EXPECT_EQ(simLiveStrings(), strings + 1);
  EXPECT_EQ(simLiveSources(), sources + 1);
  EXPECT_EQ(simLiveDisplayModes(), modes + 2);
  EXPECT_EQ(simLiveInputSources(), inputSources + 2);
  EXPECT_NE(current, ascii);                 // a new object at each query
  EXPECT_EQ(simLiveStrings(), strings + 1);  // a source's id is its own, in no count
  CFRelease(current);
  CFRelease(ascii);
  CFRelease(key);
  CFRelease(plain);
  CFRelease(text);
  CFRelease(source);
  CGDisplayModeRelease(mode);
  CFRelease(released);
  CGDisplayModeRelease(nullptr);
  EXPECT_EQ(simLiveEvents(), events);
  EXPECT_EQ(simLiveStrings(), strings);
  EXPECT_EQ(simLiveSources(), sources);
  EXPECT_EQ(simLiveDisplayModes(), modes);
  EXPECT_EQ(simLiveInputSources(), inputSources);
}

// Display modes and input sources are left out of the exit line, whose keys hosts read as they
// are: one never released is said on stderr.
TEST(SimulatedLiveObjectsDeathTest, AnInputSourceNeverReleasedIsSaidAtExit) {
  simReset();
  EXPECT_EXIT(
      {
        simulated::openTrace("/dev/null");
        TISCopyCurrentKeyboardLayoutInputSource();
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "mii-sim: 1 input source\\(s\\) never released");
}

// A mode keeps the sizes it was copied with; NULL has none.
TEST_F(SimulatedLiveObjectsTest, DisplayModesKeepTheirPixels) {
  simSetDisplayList({{CGRect{{0, 0}, {1512, 982}}, 2}});
  CGDisplayModeRef mode = CGDisplayCopyDisplayMode(1);
  simSetDisplays({CGRect{{0, 0}, {800, 600}}});
  EXPECT_EQ(CGDisplayModeGetPixelWidth(mode), 3024u);
  EXPECT_EQ(CGDisplayModeGetPixelHeight(mode), 1964u);
  EXPECT_EQ(CGDisplayModeGetPixelWidth(nullptr), 0u);
  EXPECT_EQ(CGDisplayModeGetPixelHeight(nullptr), 0u);
  CGDisplayModeRelease(mode);
}

// CFSTR's strings live for the whole process: one object per text, in no live count, and a release
// leaves them be.
TEST_F(SimulatedLiveObjectsTest, ConstantStringsAreNeverReleased) {
  const long liveStrings = simLiveStrings();
  CFStringRef name = CFSTR("mac-input-injector input");
  EXPECT_EQ(CFSTR("mac-input-injector input"), name);
  EXPECT_EQ(CFStringGetLength(name), 24);
  CFRelease(name);
  EXPECT_EQ(CFStringGetLength(name), 24);
  EXPECT_EQ(simLiveStrings(), liveStrings);
}

TEST_F(SimulatedLiveObjectsTest, PowerAssertionsAreCountedUntilReleased) {
  const long live = simLiveAssertions();
  IOPMAssertionID awake = kIOPMNullAssertionID;
  ASSERT_EQ(IOPMAssertionCreateWithName(kIOPMAssertionTypePreventUserIdleDisplaySleep,
                                        kIOPMAssertionLevelOn, CFSTR("test"), &awake),
            kIOReturnSuccess);
  EXPECT_NE(awake, kIOPMNullAssertionID);
  EXPECT_EQ(simLiveAssertions(), live + 1);

  // Each declaration counts; an id passed back in while alive is kept, a null one gets a new one.
  IOPMAssertionID active = kIOPMNullAssertionID;
  ASSERT_EQ(IOPMAssertionDeclareUserActivity(CFSTR("test"), kIOPMUserActiveLocal, &active),
            kIOReturnSuccess);
  const IOPMAssertionID first = active;
  ASSERT_EQ(IOPMAssertionDeclareUserActivity(CFSTR("test"), kIOPMUserActiveLocal, &active),
            kIOReturnSuccess);
  EXPECT_EQ(active, first);
  EXPECT_NE(active, awake);
  EXPECT_EQ(simUserActivityCount(), 2u);
  EXPECT_EQ(simLiveAssertions(), live + 2);

  EXPECT_EQ(IOPMAssertionDeclareUserActivity(CFSTR("test"), kIOPMUserActiveLocal, nullptr),
            kIOReturnBadArgument);
  EXPECT_EQ(IOPMAssertionDeclareUserActivity(nullptr, kIOPMUserActiveLocal, &active),
            kIOReturnBadArgument);
  simSetFailures(kSimFailPower);
  IOPMAssertionID refused = kIOPMNullAssertionID;
  EXPECT_EQ(IOPMAssertionDeclareUserActivity(CFSTR("test"), kIOPMUserActiveLocal, &refused),
            kIOReturnError);
  EXPECT_EQ(refused, kIOPMNullAssertionID);
  EXPECT_EQ(simUserActivityCount(), 2u);

  EXPECT_EQ(IOPMAssertionRelease(awake), kIOReturnSuccess);
  EXPECT_EQ(IOPMAssertionRelease(active), kIOReturnSuccess);
  EXPECT_EQ(simLiveAssertions(), live);
}

// On a Mac a stale reference is a crash; here it is a loud one.
TEST(SimulatedLiveObjectsDeathTest, AReleasedOrForeignObjectIsFatal) {
  simReset();
  CGEventRef keep = CGEventCreate(nullptr);
  CGEventRef gone = CGEventCreate(nullptr);
  CFRelease(gone);
  CGEventSourceRef goneSource = CGEventSourceCreate(kCGEventSourceStateHIDSystemState);
  CFRelease(goneSource);
  CGDisplayModeRef goneMode = CGDisplayCopyDisplayMode(1);
  CGDisplayModeRelease(goneMode);
  TISInputSourceRef input = TISCopyCurrentKeyboardLayoutInputSource();
  const auto id =
      static_cast<CFStringRef>(TISGetInputSourceProperty(input, kTISPropertyInputSourceID));
  TISInputSourceRef goneInput = TISCopyCurrentKeyboardLayoutInputSource();
  const auto goneData = static_cast<CFDataRef>(
      TISGetInputSourceProperty(goneInput, kTISPropertyUnicodeKeyLayoutData));
  const auto goneLayout = reinterpret_cast<const UCKeyboardLayout*>(CFDataGetBytePtr(goneData));
  CFRelease(goneInput);
  UInt32 deadKeys = 0;
  UniChar unit = 0;
  UniCharCount length = 0;
  struct Case {
    const char* name;
    std::function<void()> call;
    const char* message;
  } cases[] = {
      {"an operation on a released event", [&] { CGEventGetFlags(gone); }, "not a live event"},
      {"a second release", [&] { CFRelease(gone); }, "not alive"},
      {"a release of NULL", [] { CFRelease(nullptr); }, "CFRelease\\(NULL\\)"},
      {"an event taken for a string",
       [&] { CFStringGetLength(reinterpret_cast<CFStringRef>(keep)); }, "not a live string"},
      {"an event made from a released source",
       [&] { CGEventCreateKeyboardEvent(goneSource, 0, true); }, "not a live event source"},
      {"a released display mode", [&] { CGDisplayModeGetPixelWidth(goneMode); },
       "not a live display mode"},
      {"a display mode released twice", [&] { CGDisplayModeRelease(goneMode); },
       "not a live display mode"},
      {"a property released", [&] { CFRelease(id); }, "the caller does not own"},
      {"a released input source",
       [&] { TISGetInputSourceProperty(goneInput, kTISPropertyInputSourceID); },
       "not a live input source"},
      {"its key layout, after", [&] { CFDataGetLength(goneData); }, "not a live CFData"},
      {"a key translated on it",
       [&] { UCKeyTranslate(goneLayout, 0, 0, 0, 40, 0, &deadKeys, 1, &length, &unit); },
       "not a live CFData"},
      {"a key with Option",
       [&] {
         UCKeyTranslate(keyLayoutOf(input), 0, 0, 0x08 /* optionKey >> 8 */, 40, 0, &deadKeys, 1,
                        &length, &unit);
       },
       "no tables for Caps Lock, Option or Control"},
  };
  for (const Case& c : cases) EXPECT_DEATH(c.call(), c.message) << c.name;
  CFRelease(keep);
  CFRelease(input);
}

}  // namespace
