// The simulated desktop's record of live objects: every object made stays usable until released,
// through growth of the record and releases in any order, and is refused after.
#include <gtest/gtest.h>
#include <cstdint>
#include <vector>

#include "platform/quartz.h"
#include "platform/simulated/simulation.h"

namespace {

TEST(SimulatedDesktopLiveObjects, EveryObjectStaysLiveUntilReleasedInAnyOrder) {
  simReset();
  const long eventsBefore = simLiveEvents();
  const long stringsBefore = simLiveStrings();
  std::vector<CGEventRef> events;
  std::vector<CFStringRef> strings;
  uint64_t state = 0x2545F4914F6CDD1Dull;
  auto next = [&state] {
    state ^= state >> 12;
    state ^= state << 25;
    state ^= state >> 27;
    return state * 0x2545F4914F6CDD1Dull;
  };
  // Thousands of objects alive at the peak (the record grows several times), mixed kinds, and
  // releases from random places, so that runs of colliding entries are cut in their middle.
  for (int step = 0; step < 20000; ++step) {
    uint64_t r = next() % 10;
    if (r < 5 || events.empty()) {
      CGEventRef event = CGEventCreate(nullptr);
      ASSERT_NE(event, nullptr);
      CGEventSetFlags(event, static_cast<CGEventFlags>(events.size()));
      events.push_back(event);
    } else if (r < 6) {
      CFStringRef string = CFStringCreateWithCString(nullptr, "x", kCFStringEncodingUTF8);
      ASSERT_NE(string, nullptr);
      strings.push_back(string);
    } else if (r < 9) {
      size_t at = next() % events.size();
      CFRelease(events[at]);
      events[at] = events.back();
      events.pop_back();
    } else if (!strings.empty()) {
      size_t at = next() % strings.size();
      CFRelease(strings[at]);
      strings[at] = strings.back();
      strings.pop_back();
    }
    if (step % 997 == 0) {
      // Every survivor is still found (an operation on a lost one would abort).
      for (CGEventRef event : events) CGEventGetFlags(event);
      for (CFStringRef string : strings) EXPECT_EQ(CFStringGetLength(string), 1);
    }
  }
  EXPECT_EQ(simLiveEvents(), eventsBefore + static_cast<long>(events.size()));
  EXPECT_EQ(simLiveStrings(), stringsBefore + static_cast<long>(strings.size()));
  for (CGEventRef event : events) CFRelease(event);
  for (CFStringRef string : strings) CFRelease(string);
  EXPECT_EQ(simLiveEvents(), eventsBefore);
  EXPECT_EQ(simLiveStrings(), stringsBefore);
}

TEST(SimulatedDesktopLiveObjectsDeathTest, AReleasedObjectIsRefusedAsItsOwnKindAndAsAnother) {
  simReset();
  CGEventRef keep = CGEventCreate(nullptr);
  CGEventRef gone = CGEventCreate(nullptr);
  CFRelease(gone);
  EXPECT_DEATH(CGEventGetFlags(gone), "not a live event");
  EXPECT_DEATH(CFRelease(gone), "not alive");
  // An event is not a string, whatever its address.
  EXPECT_DEATH(CFStringGetLength(reinterpret_cast<CFStringRef>(keep)), "not a live string");
  CFRelease(keep);
}

// The desktop remembers the event made last and the source checked last, so that the common case
// needs no lookup; neither memory may outlive the object, nor go stale when the table of live
// objects grows and moves its entries.
TEST(SimulatedDesktopLiveObjectsDeathTest, RememberedObjectsAreForgottenOnRelease) {
  simReset();
  CGEventSourceRef source = CGEventSourceCreate(kCGEventSourceStateHIDSystemState);
  ASSERT_NE(source, nullptr);
  CFRelease(CGEventCreateKeyboardEvent(source, 0, true));  // the source is now the one checked
  CFRelease(source);
  EXPECT_DEATH(CGEventCreateKeyboardEvent(source, 0, true), "not a live event source");

  // The newest event, released after a hundred other objects made the table grow.
  const long eventsBefore = simLiveEvents();
  CGEventRef newest = CGEventCreate(nullptr);
  std::vector<CFStringRef> strings;
  for (int i = 0; i < 100; ++i) {
    strings.push_back(CFStringCreateWithCString(kCFAllocatorDefault, "x", kCFStringEncodingUTF8));
  }
  CFRelease(newest);
  EXPECT_EQ(simLiveEvents(), eventsBefore);
  EXPECT_DEATH(CFRelease(newest), "not alive");
  EXPECT_DEATH(CGEventGetFlags(newest), "not a live event");
  for (CFStringRef string : strings) CFRelease(string);
}

}  // namespace
