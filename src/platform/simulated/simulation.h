// In-process controls of the simulated desktop that stands in for macOS's frameworks (on every
// non-Apple build, and on a Mac when asked for). Tests, the fuzzer and the benchmarks use these;
// product code never does.
//
// Whole-process runs set the same controls from the environment, read once at first use:
//   MII_SIM_TRUSTED=1|0          Accessibility trust (default 1)
//   MII_SIM_TRUST_FILE=PATH      every trust query reads PATH: trusted when its first byte is '1'
//   MII_SIM_SECURE_INPUT_FILE=PATH  every Secure Event Input query reads PATH: on when its first
//                                byte is '1' (default off)
//   MII_SIM_DISPLAYS=none|WxH[@X,Y][*S][#ID],...  displays in points, the first one main, S
//                                pixels per point, ID the display id (default 1512x982)
//   MII_SIM_DISPLAYS_FILE=PATH   every display query reads the list from PATH's first line (same
//                                syntax; no display when missing, empty or malformed)
//   MII_SIM_MIRRORS=ID:OF,...    software mirroring: display ID mirrors display OF (default none)
//   MII_SIM_CURSOR=X,Y           cursor at start (default the main display's centre)
//   MII_SIM_MACOS=MAJOR          kern.osproductversion's major number (default 27)
//   MII_SIM_PRESS_COUNTS=L,R,O   HID press counters for left, right, other (default 100,20,3)
//   MII_SIM_LAYOUT=NAME          the current keyboard layout: us, french, german, dvorak,
//                                dvorak-qwerty-cmd, russian or input-method (default us)
//   MII_SIM_LAYOUT_FILE=PATH     the layout's name on PATH's first line, read at the first layout
//                                query and at every run of the run loop (us when missing, empty or
//                                not a layout's name)
//   MII_SIM_ASCII_LAYOUT=NAME    the ASCII-capable layout when the current one is not, and the one
//                                an input method types with: a Latin layout (default us)
//   MII_SIM_CAPS_LOCK=1|0        the HID system's Caps Lock state at start (default 0)
//   MII_SIM_CAPS_LOCK_FILE=PATH  every Caps Lock query reads PATH: on when its first byte is '1';
//                                every set writes '1' or '0' there
//   MII_SIM_FAIL=LIST            source,keyboard,mouse,scroll,create,string,displays,power,
//                                displaymode,layout,layoutdata,hidsystem,systemdefined fail
//   MII_SIM_TRACE=PATH           one JSON line per posted event, and an exit line; a trace that
//                                cannot be written is reported once on stderr, and one whose
//                                reader takes nothing for 2 s is given up
//
// The five files are read (and the Caps Lock file written) only when they are regular files:
// anything else (a FIFO, a device, /dev/stdin) reads as a missing file does, so that a query
// neither blocks nor takes input.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "event_kinds.h"
#include "platform/quartz.h"

enum SimFailure : unsigned {
  kSimFailSource = 1u << 0,       // CGEventSourceCreate
  kSimFailKeyboard = 1u << 1,     // CGEventCreateKeyboardEvent
  kSimFailMouse = 1u << 2,        // CGEventCreateMouseEvent
  kSimFailScroll = 1u << 3,       // CGEventCreateScrollWheelEvent(2)
  kSimFailCreate = 1u << 4,       // CGEventCreate
  kSimFailString = 1u << 5,       // CFStringCreateWithCString
  kSimFailDisplays = 1u << 6,     // CGGetActiveDisplayList returns kCGErrorFailure
  kSimFailPower = 1u << 7,        // IOPMAssertionCreateWithName, IOPMAssertionDeclareUserActivity
  kSimFailDisplayMode = 1u << 8,  // CGDisplayCopyDisplayMode returns NULL
  kSimFailLayout = 1u << 9,       // TISCopyCurrent...InputSource return NULL
  kSimFailLayoutData = 1u << 10,  // the current keyboard layout has no key layout data
  kSimFailHidSystem = 1u << 11,   // IOServiceOpen of the HID system, and every lock state call
  kSimFailSystemDefined = 1u << 12,  // createSystemDefinedEvent returns NULL
};

// A display: where it is in global coordinates (points; the first display listed is the main one,
// at the origin), how many pixels back each point, and the id the display list gives it.
struct SimDisplay {
  CGRect bounds = {{0, 0}, {0, 0}};
  double scale = 1;          // pixels per point
  CGDirectDisplayID id = 0;  // 0: its place in the list, from 1
};

// Software mirror sets: a mirror's id, and the id of the display it mirrors.
using SimMirrors = std::map<CGDirectDisplayID, CGDirectDisplayID>;

// What a posted event carries, as the call that made it decides: the parts of kPostedEventKinds,
// a system-defined event, or a set of the HID system's Caps Lock state (no event, but logged and
// traced among the events, sharing their sequence numbers, so that a test sees where it came).
enum class SimEventKind { Plain, Keyboard, Mouse, Scroll, SystemDefined, LockState };

// A posted event as the desktop saw it at the moment of posting.
struct SimEvent {
  uint64_t seq = 0;
  double time = 0;  // CFAbsoluteTimeGetCurrent when it was posted
  uint32_t tap = 0;
  uint32_t type = 0;
  bool hidSource = false;         // made from an event source
  std::optional<uint64_t> flags;  // empty when CGEventSetFlags was never called
  SimEventKind kind = SimEventKind::Plain;
  // Keyboard events.
  uint16_t keycode = 0;
  bool down = false;
  std::optional<std::u16string> text;  // the attached Unicode string, if any
  // Mouse events.
  double x = 0;
  double y = 0;
  uint32_t button = 0;
  std::map<uint32_t, int64_t> fields;  // every integer field set, last value wins
  // Scroll events.
  uint32_t units = 0;
  uint32_t wheelCount = 0;
  int32_t wheel1 = 0;
  int32_t wheel2 = 0;
  int32_t wheel3 = 0;
  // System-defined events (type 14).
  int16_t subtype = 0;
  int64_t data1 = 0;
  int64_t data2 = 0;
  // Caps Lock sets: the state set.
  bool lockOn = false;
  // Events made from a source: its local-event suppression settings when the event was posted.
  double suppressionInterval = 0;
  std::array<uint32_t, 2> localEventsFilter = {0, 0};  // by CGEventSuppressionState
};

// Back to a fresh desktop with the defaults (environment knobs are not re-read), the posted log
// emptied and the clock real. Live-object counts are kept: objects still alive stay alive.
void simReset();

void simSetTrusted(bool trusted);
void simSetTrustFile(const std::string& path);             // empty: use simSetTrusted's value
void simSetSecureInputFile(const std::string& path);       // empty: Secure Event Input off
void simSetDisplays(const std::vector<CGRect>& displays);  // scale 1, ids 1, 2, 3...
void simSetDisplayList(const std::vector<SimDisplay>& displays);
// Every display query reads the list from the first line of path, as MII_SIM_DISPLAYS_FILE does;
// empty: the list set above.
void simSetDisplaysFile(const std::string& path);
// While a mirror is listed, CGDisplayMirrorsDisplay answers the display it mirrors; every other id
// answers kCGNullDirectDisplay.
void simSetMirrors(const SimMirrors& mirrors);
void simSetCursor(CGPoint cursor);
CGPoint simCursor();
void simSetFailures(unsigned failures);  // a mask of SimFailure
void simSetMacOSMajor(int major);
void simSetPressCounts(uint32_t left, uint32_t right, uint32_t other);
// The current keyboard layout by its MII_SIM_LAYOUT name; false (and nothing changed) for a name
// that is none.
bool simSetLayout(const std::string& name);
// Every layout query reads the layout's name from the first line of path, as MII_SIM_LAYOUT_FILE
// does; empty: the layout set above. Either is taken in by the process at its first layout query
// and at each CFRunLoopRunInMode in the default mode, as a switch on a Mac is.
void simSetLayoutFile(const std::string& path);
// The ASCII-capable layout, as MII_SIM_ASCII_LAYOUT names it; false (and nothing changed) for a
// name that is no Latin layout's.
bool simSetAsciiLayout(const std::string& name);

// The HID system's Caps Lock state, as MII_SIM_CAPS_LOCK sets it at start; every set through the
// HID system changes it too.
void simSetCapsLock(bool on);
// Every Caps Lock query reads path's first byte and every set writes there, as
// MII_SIM_CAPS_LOCK_FILE does; empty: the state set above.
void simSetCapsLockFile(const std::string& path);
// The state a query would read now.
bool simCapsLock();
// HID system connections open and services not released (kept across simReset).
long simLiveIOObjects();

// The clocks: real by default; once set, both the wall clock (CFAbsoluteTimeGetCurrent) and the
// steady one (mach_absolute_time, in ticks of 125/3 ns as on Apple silicon) read absoluteTime
// seconds, until the next simReset. A set clock moves on by every usleep, instant or not.
void simSetClock(double absoluteTime);
// The wall clock stepped by seconds, as NTP or a person setting the time does; the steady clock
// does not move.
void simStepWallClock(double seconds);

// Instant pauses: usleep returns at once and only adds to simSleptMicroseconds (and to a set
// clock). Off by default; the product's pauses are real.
void simSetInstantSleep(bool instant);
uint64_t simSleptMicroseconds();

// Called with every posted event, after the trace and the log took it, while the event is still
// the poster's: what a listen-only event tap sees. An empty function stops it; simReset too.
void simSetPostObserver(std::function<void(CGEventRef)> observer);

const std::vector<SimEvent>& simPostedEvents();
void simClearPostedEvents();

long simLiveEvents();
long simLiveStrings();
long simLiveSources();
long simLiveDisplayModes();
long simLiveInputSources();

// User activity declared (IOPMAssertionDeclareUserActivity calls that succeeded) since the last
// simReset, and power assertions created and not yet released (kept across simReset).
uint64_t simUserActivityCount();
long simLiveAssertions();

// The trace line for a posted event, without the line end.
std::string simTraceLine(const SimEvent& event);

// Parses the MII_SIM_DISPLAYS syntax, every id given (a display without one gets its place in the
// list); false on a malformed list.
bool simParseDisplays(const std::string& text, std::vector<SimDisplay>* displays);
// Parses the MII_SIM_MIRRORS syntax; false on a malformed list.
bool simParseMirrors(const std::string& text, SimMirrors* mirrors);
