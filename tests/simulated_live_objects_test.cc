// The simulated desktop's objects: strings made from UTF-8 as CoreFoundation makes them, and every
// event, source, string, display mode, input source and power assertion counted while alive,
// usable until released, and refused after.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/power.h"
#include "platform/quartz.h"
#include "platform/simulated/simulation.h"
#include "platform/simulated/trace.h"
#include "platform/text_input_sources.h"

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
  const auto layout = reinterpret_cast<const UCKeyboardLayout*>(CFDataGetBytePtr(
      static_cast<CFDataRef>(TISGetInputSourceProperty(input, kTISPropertyUnicodeKeyLayoutData))));
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
      {"a key with Control",
       [&] {
         UCKeyTranslate(layout, 0, 0, 0x10 /* controlKey >> 8 */, 40, 0, &deadKeys, 1, &length,
                        &unit);
       },
       "no tables for Caps Lock, Control"},
      {"a run loop that would wait", [] { CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.1, true); },
       "only runs without waiting"},
  };
  for (const Case& c : cases) EXPECT_DEATH(c.call(), c.message) << c.name;
  CFRelease(keep);
  CFRelease(input);
}

}  // namespace
