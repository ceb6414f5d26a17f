// The simulated desktop stands in for macOS in every other test; what they rely on is pinned here.
#include <gtest/gtest.h>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "numbers.h"
#include "platform/quartz.h"
#include "platform/secure_event_input.h"
#include "platform/simulated/simulation.h"
#include "support/describe.h"
#include "support/in_process.h"
#include "support/scratch_file.h"

namespace {

class SimulatedDesktopTest : public ::testing::Test {
 protected:
  void SetUp() override { simReset(); }
};

void postMouse(CGEventType type, double x, double y) {
  CGEventRef event = CGEventCreateMouseEvent(nullptr, type, CGPoint{x, y}, kCGMouseButtonLeft);
  ASSERT_NE(event, nullptr);
  CGEventPost(kCGHIDEventTap, event);
  CFRelease(event);
}

// What the desktop answers now: each display listed as "ID WxH@X,Y PWxPH", its bounds asked by its
// id and its pixels read off its mode (0x0 without one).
std::string listed() {
  CGDirectDisplayID ids[8];
  uint32_t count = 0;
  if (CGGetActiveDisplayList(8, ids, &count) != kCGErrorSuccess) return "failed";
  std::string all;
  for (uint32_t i = 0; i < count; ++i) {
    const CGRect b = CGDisplayBounds(ids[i]);
    CGDisplayModeRef mode = CGDisplayCopyDisplayMode(ids[i]);
    all += (i == 0 ? "" : "; ") + std::to_string(ids[i]) + " " + shortestDecimal(b.size.width) +
           "x" + shortestDecimal(b.size.height) + "@" + shortestDecimal(b.origin.x) + "," +
           shortestDecimal(b.origin.y) + " " + std::to_string(CGDisplayModeGetPixelWidth(mode)) +
           "x" + std::to_string(CGDisplayModeGetPixelHeight(mode));
    CGDisplayModeRelease(mode);
  }
  return all;
}

TEST_F(SimulatedDesktopTest, DefaultsToOneTrustedDisplayWithTheCursorAtItsCentre) {
  EXPECT_EQ(AXIsProcessTrusted(), 1);
  uint32_t count = 99;
  CGDirectDisplayID ids[16];
  ASSERT_EQ(CGGetActiveDisplayList(16, ids, &count), kCGErrorSuccess);
  ASSERT_EQ(count, 1u);
  CGRect main = CGDisplayBounds(ids[0]);
  EXPECT_EQ(main.size.width, 1512);
  EXPECT_EQ(main.size.height, 982);
  EXPECT_EQ(simCursor().x, 756);
  EXPECT_EQ(simCursor().y, 491);
  CGEventRef here = CGEventCreate(nullptr);
  EXPECT_EQ(CGEventGetLocation(here).x, 756);
  EXPECT_EQ(CGEventGetLocation(here).y, 491);
  CFRelease(here);
}

TEST_F(SimulatedDesktopTest, PostedMouseEventsMoveTheCursorClampedOntoTheDisplays) {
  simSetDisplays({CGRect{{0, 0}, {1512, 982}}, CGRect{{-800, 0}, {800, 600}}});
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    double x, y;
    double expectedX, expectedY;
  } cases[] = {
      {100.7, 200.2, 100.7, 200.2},
      {1511, 981, 1511, 981},    // the main display's last pixel
      {1511.5, 0, 1511, 0},      // just past it
      {-0.5, 0, 0, 0},           // between the displays, as near to each: the main one wins
      {-200.5, 10, -200.5, 10},  // on the second display
      {5000, 5000, 1511, 981},   // beyond the main display's corner
      {-5000, 700, -800, 599},   // below and left of the second display
      {-10, 800, 0, 800},        // nearer to the main display's edge than to the second's
      {-700, 900, -700, 599},    // below the second display only
      {1e300, -1e300, 1511, 0},
      {std::nan(""), 3, 1511, 0},  // non-finite: the cursor stays
      {inf, 3, 1511, 0},
  };
  for (const Case& c : cases) {
    postMouse(kCGEventMouseMoved, c.x, c.y);
    EXPECT_EQ(simCursor().x, c.expectedX) << c.x << "," << c.y;
    EXPECT_EQ(simCursor().y, c.expectedY) << c.x << "," << c.y;
  }
  postMouse(kCGEventLeftMouseDown, 20, 30);
  EXPECT_EQ(simCursor().x, 20);
  EXPECT_EQ(simCursor().y, 30);
}

TEST_F(SimulatedDesktopTest, ScrollAndKeyEventsLeaveTheCursor) {
  CGEventRef scroll = CGEventCreateScrollWheelEvent(nullptr, kCGScrollEventUnitLine, 2, -3, 7);
  CGEventPost(kCGHIDEventTap, scroll);
  CFRelease(scroll);
  EXPECT_EQ(simCursor().x, 756);
  ASSERT_EQ(simPostedEvents().size(), 1u);
  EXPECT_EQ(simPostedEvents()[0].wheel1, -3);
  EXPECT_EQ(simPostedEvents()[0].wheel2, 7);
}

TEST_F(SimulatedDesktopTest, FailuresMakeCreationsReturnNothing) {
  simSetFailures(kSimFailSource | kSimFailKeyboard | kSimFailMouse | kSimFailScroll |
                 kSimFailCreate | kSimFailString | kSimFailDisplays | kSimFailDisplayMode);
  EXPECT_EQ(CGEventSourceCreate(kCGEventSourceStateHIDSystemState), nullptr);
  EXPECT_EQ(CGEventCreateKeyboardEvent(nullptr, 0, true), nullptr);
  EXPECT_EQ(CGEventCreateMouseEvent(nullptr, kCGEventMouseMoved, CGPoint{1, 1}, kCGMouseButtonLeft),
            nullptr);
  EXPECT_EQ(CGEventCreateScrollWheelEvent(nullptr, kCGScrollEventUnitLine, 2, 1, 0), nullptr);
  EXPECT_EQ(CGEventCreate(nullptr), nullptr);
  EXPECT_EQ(CFStringCreateWithCString(nullptr, "x", kCFStringEncodingUTF8), nullptr);
  EXPECT_EQ(CGDisplayCopyDisplayMode(1), nullptr);  // the main display's, without the failure
  uint32_t count = 77;
  CGDirectDisplayID ids[16];
  EXPECT_EQ(CGGetActiveDisplayList(16, ids, &count), kCGErrorFailure);
  EXPECT_EQ(count, 77u);  // nothing written
}

TEST_F(SimulatedDesktopTest, DisplayListingHonoursItsLimits) {
  simSetDisplayList({{CGRect{{0, 0}, {800, 600}}, 2, 69733378}, {CGRect{{800, 0}, {1024, 768}}}});
  uint32_t count = 0;
  EXPECT_EQ(CGGetActiveDisplayList(0, nullptr, &count), kCGErrorSuccess);
  EXPECT_EQ(count, 2u);
  CGDirectDisplayID ids[1];
  EXPECT_EQ(CGGetActiveDisplayList(1, ids, &count), kCGErrorSuccess);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(ids[0], 69733378u);  // the main display first
  EXPECT_EQ(listed(), "69733378 800x600@0,0 1600x1200; 2 1024x768@800,0 1024x768");
  // No display has the main one's place as its id, nor 999: empty bounds, no mode.
  for (CGDirectDisplayID unknown : {1u, 999u}) {
    EXPECT_EQ(CGDisplayBounds(unknown).size.width, 0);
    EXPECT_EQ(CGDisplayCopyDisplayMode(unknown), nullptr);
  }
  simSetDisplays({});
  EXPECT_EQ(listed(), "");
}

TEST_F(SimulatedDesktopTest, ParsesDisplayLists) {
  const struct {
    const char* text;
    const char* listed;  // once set
  } cases[] = {
      {"1512x982,800x600@-800,0", "1 1512x982@0,0 1512x982; 2 800x600@-800,0 800x600"},
      {"none", ""},
      {"1512x982*2#69733378,1920x1080@1512,-98#724238",
       "69733378 1512x982@0,0 3024x1964; 724238 1920x1080@1512,-98 1920x1080"},
      {"1366.5x768.75*1.5", "1 1366.5x768.75@0,0 2049x1153"},  // pixels truncated
      {"800x600#7,640x480@800,0", "7 800x600@0,0 800x600; 2 640x480@800,0 640x480"},
      {"800x600@0,0*1#4294967295", "4294967295 800x600@0,0 800x600"},
  };
  std::vector<SimDisplay> displays;
  for (const auto& c : cases) {
    ASSERT_TRUE(simParseDisplays(c.text, &displays)) << c.text;
    simSetDisplayList(displays);
    EXPECT_EQ(listed(), c.listed) << c.text;
  }
  for (const char* bad :
       {"", "800", "800x", "x600", "0x600", "800x600@10,0", "800x600,", "800x600;1x1",
        "800x600,1x1@5", "800x600*0", "800x600*-2", "800x600*", "800x600*inf", "800x600#0",
        "800x600#4294967296", "800x600#-1", "800x600#", "800x600#2*2", "800x600,1x1@800,0#1"}) {
    EXPECT_FALSE(simParseDisplays(bad, &displays)) << bad;
  }
}

// The permission, Secure Event Input and the displays each follow a file of their own when one is
// set, read at every query: on while its first byte is '1', the displays its first line lists. A
// missing file, or one that is not a regular file, is off and lists none (none is read from, so a
// FIFO does not block the query).
TEST_F(SimulatedDesktopTest, TrustSecureEventInputAndDisplaysFollowTheirFiles) {
  const std::string file = temporaryPath("flag");
  const std::string fifo = temporaryPath("flag-fifo");
  const std::string directory = temporaryPath("flag-directory");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  mkdir(directory.c_str(), 0700);
  const struct {
    const char* name;
    std::string file;
    const char* contents;  // nullptr: no such file
    Boolean expected;
    const char* displays = "";
  } cases[] = {
      {"first byte 1", file, "1\n", 1},
      {"first byte 0", file, "0", 0},
      {"one display", file, "800x600*2#5\n640x480@800,0", 0, "5 800x600@0,0 1600x1200"},
      {"a second one plugged in", file, "800x600*2#5,640x480@800,0", 0,
       "5 800x600@0,0 1600x1200; 2 640x480@800,0 640x480"},
      {"and out again", file, "800x600*2#5", 0, "5 800x600@0,0 1600x1200"},
      {"an empty file", file, "", 0},
      {"a malformed list", file, "800x600,\n", 0},
      {"missing file", temporaryPath("none"), nullptr, 0},
      {"a FIFO", fifo, nullptr, 0},
      {"a directory", directory, nullptr, 0},
      {"standard input", "/dev/stdin", nullptr, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.contents != nullptr) std::ofstream(c.file) << c.contents;
    simSetTrusted(!c.expected);
    simSetTrustFile(c.file);
    simSetSecureInputFile(c.file);
    simSetDisplaysFile(c.file);
    EXPECT_EQ(AXIsProcessTrusted(), c.expected);
    EXPECT_EQ(secureEventInputEnabled(), c.expected != 0);
    EXPECT_EQ(listed(), c.displays);
  }
  // A display that leaves has no bounds nor mode, and the cursor on it comes onto one that stays.
  std::ofstream(file) << "800x600,640x480@800,0";
  simSetDisplaysFile(file);
  simSetCursor(CGPoint{1000, 100});
  EXPECT_EQ(simCursor().x, 1000);
  std::ofstream(file) << "800x600";
  EXPECT_EQ(CGDisplayBounds(2).size.width, 0);
  EXPECT_EQ(CGDisplayCopyDisplayMode(2), nullptr);
  EXPECT_EQ(simCursor().x, 799);
  // Without a file: the trust as set, Secure Event Input off, the displays as set.
  simSetTrustFile("");
  simSetSecureInputFile("");
  simSetDisplaysFile("");
  simSetTrusted(false);
  EXPECT_EQ(AXIsProcessTrusted(), 0);
  EXPECT_FALSE(secureEventInputEnabled());
  EXPECT_EQ(listed(), "1 1512x982@0,0 1512x982");
}

TEST_F(SimulatedDesktopTest, AnswersTheOSVersionAndPressCounters) {
  simSetMacOSMajor(26);
  char version[16];
  size_t length = sizeof version;
  ASSERT_EQ(sysctlbyname("kern.osproductversion", version, &length, nullptr, 0), 0);
  EXPECT_STREQ(version, "26.0");
  EXPECT_EQ(length, 5u);
  length = 2;
  EXPECT_EQ(sysctlbyname("kern.osproductversion", version, &length, nullptr, 0), -1);
  EXPECT_EQ(sysctlbyname("kern.other", version, &length, nullptr, 0), -1);

  EXPECT_EQ(
      CGEventSourceCounterForEventType(kCGEventSourceStateHIDSystemState, kCGEventLeftMouseDown),
      100u);
  simSetPressCounts(5, 6, 7);
  EXPECT_EQ(
      CGEventSourceCounterForEventType(kCGEventSourceStateHIDSystemState, kCGEventOtherMouseDown),
      7u);
}

TEST_F(SimulatedDesktopTest, ClockIsRealUnlessSetAndPausesCanBeInstant) {
  double now = CFAbsoluteTimeGetCurrent();
  EXPECT_GT(now, 8e8);  // after 2026 in seconds since 2001
  simSetClock(10);
  simSetInstantSleep(true);
  usleep(50000);
  EXPECT_DOUBLE_EQ(CFAbsoluteTimeGetCurrent(), 10.05);
  EXPECT_EQ(simSleptMicroseconds(), 50000u);
}

TEST_F(SimulatedDesktopTest, TraceLinesHaveTheirExactKeys) {
  simSetClock(1000.5);
  simSetInstantSleep(true);
  CGEventSourceRef source = CGEventSourceCreate(kCGEventSourceStateHIDSystemState);
  CGEventRef key = CGEventCreateKeyboardEvent(source, 59, true);
  CGEventSetType(key, kCGEventFlagsChanged);
  CGEventSetFlags(key, kCGEventFlagMaskControl);
  CGEventPost(kCGHIDEventTap, key);
  CFRelease(key);
  usleep(250000);  // each event carries the time it was posted

  CGEventRef text = CGEventCreateKeyboardEvent(nullptr, 0, false);
  const UniChar units[] = {'"', 'a', 0xD83D, 0xDE00, 0x4F60, '\n', 0xD800};
  CGEventKeyboardSetUnicodeString(text, 7, units);
  CGEventSetFlags(text, 0);
  CGEventPost(kCGHIDEventTap, text);
  CFRelease(text);

  CGEventRef mouse = CGEventCreateMouseEvent(nullptr, kCGEventOtherMouseDown, CGPoint{100.7, -0.5},
                                             kCGMouseButtonCenter);
  CGEventSetIntegerValueField(mouse, kCGMouseEventClickState, 3);
  CGEventSetIntegerValueField(mouse, kCGMouseEventNumber, 1);
  CGEventSetIntegerValueField(mouse, kCGMouseEventClickState, 2);
  CGEventPost(kCGHIDEventTap, mouse);
  CFRelease(mouse);

  CGEventRef nanMove = CGEventCreateMouseEvent(nullptr, kCGEventMouseMoved,
                                               CGPoint{std::nan(""), 1e300}, kCGMouseButtonLeft);
  CGEventPost(kCGHIDEventTap, nanMove);
  CFRelease(nanMove);

  CGEventRef scroll = CGEventCreateScrollWheelEvent(nullptr, kCGScrollEventUnitLine, 2, 3, 0);
  CGEventPost(kCGHIDEventTap, scroll);
  CFRelease(scroll);
  CGEventRef pixels = CGEventCreateScrollWheelEvent(nullptr, kCGScrollEventUnitPixel, 2, -30, 5);
  CGEventSetIntegerValueField(pixels, kCGScrollWheelEventIsContinuous, 1);
  CGEventPost(kCGHIDEventTap, pixels);
  CFRelease(pixels);
  CFRelease(source);
  CGEventRef repeat = CGEventCreateKeyboardEvent(nullptr, 0, true);
  CGEventSetIntegerValueField(repeat, kCGKeyboardEventAutorepeat, 1);
  CGEventPost(kCGHIDEventTap, repeat);
  CFRelease(repeat);

  std::vector<std::string> lines;
  for (const SimEvent& e : simPostedEvents()) lines.push_back(simTraceLine(e));
  std::vector<std::string> expected = {
      R"({"seq":1,"tap":0,"type":12,"source":"hid","flags":262144,"keycode":59,"down":true,)"
      R"("suppressionInterval":0.25,"localEventsFilter":[0,0],"time":1000.5})",
      R"({"seq":2,"tap":0,"type":11,"source":null,"flags":0,"keycode":0,"down":false,)"
      R"("text":"\"a)"
      "\xf0\x9f\x98\x80\xe4\xbd\xa0"
      R"(\u000a\ud800","textUnits":7,"time":1000.75})",
      R"({"seq":3,"tap":0,"type":25,"source":null,"flags":null,"x":100.7,"y":-0.5,"button":2,)"
      R"("fields":{"0":1,"1":2},"time":1000.75})",
      R"({"seq":4,"tap":0,"type":5,"source":null,"flags":null,"x":null,"y":1e+300,"button":0,)"
      R"("fields":{},"time":1000.75})",
      R"({"seq":5,"tap":0,"type":22,"source":null,"flags":null,"units":1,"wheelCount":2,)"
      R"("wheel1":3,"wheel2":0,"time":1000.75})",
      R"({"seq":6,"tap":0,"type":22,"source":null,"flags":null,"units":0,"wheelCount":2,)"
      R"("wheel1":-30,"wheel2":5,"fields":{"88":1},"time":1000.75})",
      R"({"seq":7,"tap":0,"type":10,"source":null,"flags":null,"keycode":0,"down":true,)"
      R"("fields":{"8":1},"time":1000.75})",
  };
  EXPECT_EQ(lines, expected);

  // Read back, each line gives the same event: the same line and the same description.
  for (const SimEvent& e : simPostedEvents()) {
    SimEvent read;
    ASSERT_TRUE(parseTraceLine(simTraceLine(e), &read)) << simTraceLine(e);
    EXPECT_EQ(simTraceLine(read), simTraceLine(e));
    EXPECT_EQ(describe(read), describe(e));
    EXPECT_EQ(read.time, e.time);
  }
  EXPECT_EQ(describe(simPostedEvents()[1]), "keyup 0 text 7 '\"a\U0001F600\u4F60\\n\\uD800'");
  EXPECT_EQ(describe(simPostedEvents()[4]), "scroll 3,0 noflags");
  EXPECT_EQ(describe(simPostedEvents()[5]), "scroll pixel -30,5 continuous noflags");
  EXPECT_EQ(describe(simPostedEvents()[6]), "keydown 0 repeat noflags");
}

// A source's settings as they are when its event is posted, not when the event was made.
TEST_F(SimulatedDesktopTest, EventsFromASourceCarryItsLocalEventSuppressionAsPosted) {
  const struct {
    const char* name;
    std::function<void(CGEventSourceRef)> set;
    const char* posted;
  } cases[] = {
      {"macOS's defaults", [](CGEventSourceRef) {}, "keydown 0 hid suppress 0.25 0,0 noflags"},
      {"no interval, every local event permitted in both states",
       [](CGEventSourceRef source) {
         CGEventSourceSetLocalEventsSuppressionInterval(source, 0);
         CGEventSourceSetLocalEventsFilterDuringSuppressionState(
             source, kCGEventFilterMaskPermitAllEvents,
             kCGEventSuppressionStateSuppressionInterval);
         CGEventSourceSetLocalEventsFilterDuringSuppressionState(
             source, kCGEventFilterMaskPermitAllEvents, kCGEventSuppressionStateRemoteMouseDrag);
       },
       "keydown 0 hid noflags"},
      {"one state, a fractional interval",
       [](CGEventSourceRef source) {
         CGEventSourceSetLocalEventsSuppressionInterval(source, 1.5);
         CGEventSourceSetLocalEventsFilterDuringSuppressionState(
             source, kCGEventFilterMaskPermitLocalKeyboardEvents,
             kCGEventSuppressionStateRemoteMouseDrag);
       },
       "keydown 0 hid suppress 1.5 0,2 noflags"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CGEventSourceRef source = CGEventSourceCreate(kCGEventSourceStateHIDSystemState);
    CGEventRef key = CGEventCreateKeyboardEvent(source, 0, true);
    c.set(source);
    CGEventPost(kCGHIDEventTap, key);
    CFRelease(key);
    CFRelease(source);
    ASSERT_EQ(simPostedEvents().size(), 1u);
    EXPECT_EQ(describe(simPostedEvents()[0]), c.posted);
    simClearPostedEvents();
  }
}

// With the clock fixed, a pause moves it on, so the times of posted events tell how far apart they
// were posted without the test waiting: a key press's key-up follows its key-down by the pause.
TEST_F(SimulatedDesktopTest, FollowTheFixedClockThroughPauses) {
  freshAgent(27);
  sendLine("KEYPRESS 65");
  const std::vector<double> times = postedTimes();
  ASSERT_EQ(times.size(), 2u);
  EXPECT_EQ(times[0], 0);
  EXPECT_GT(times[1], times[0]);
  EXPECT_NEAR(times[1] - times[0], simSleptMicroseconds() * 1e-6, 1e-9);
  takePosted();
}

}  // namespace
