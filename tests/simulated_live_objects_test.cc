// The simulated desktop's objects: strings made from UTF-8 as CoreFoundation makes them, and every
// event, source and string counted while alive, usable until released, and refused after.
#include <gtest/gtest.h>
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/quartz.h"
#include "platform/simulated/simulation.h"

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
  CGEventSourceRef source = CGEventSourceCreate(kCGEventSourceStateHIDSystemState);
  CGEventRef key = CGEventCreateKeyboardEvent(source, 0, true);
  CGEventRef plain = CGEventCreate(nullptr);
  CFStringRef text = CFStringCreateWithCString(nullptr, "x", kCFStringEncodingUTF8);
  EXPECT_EQ(simLiveEvents(), events + 2);
  EXPECT_EQ(simLiveStrings(), strings + 1);
  EXPECT_EQ(simLiveSources(), sources + 1);
  CFRelease(key);
  CFRelease(plain);
  CFRelease(text);
  CFRelease(source);
  EXPECT_EQ(simLiveEvents(), events);
  EXPECT_EQ(simLiveStrings(), strings);
  EXPECT_EQ(simLiveSources(), sources);
}

// On a Mac a stale reference is a crash; here it is a loud one.
TEST(SimulatedLiveObjectsDeathTest, AReleasedOrForeignObjectIsFatal) {
  simReset();
  CGEventRef keep = CGEventCreate(nullptr);
  CGEventRef gone = CGEventCreate(nullptr);
  CFRelease(gone);
  CGEventSourceRef goneSource = CGEventSourceCreate(kCGEventSourceStateHIDSystemState);
  CFRelease(goneSource);
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
  };
  for (const Case& c : cases) EXPECT_DEATH(c.call(), c.message) << c.name;
  CFRelease(keep);
}

}  // namespace
