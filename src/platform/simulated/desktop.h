// The simulated desktop's state: what the MII_SIM_* settings or the in-process controls set (trust,
// displays, failures, ...), the cursor, the clock, and what was posted.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/quartz.h"
#include "platform/simulated/layouts.h"
#include "platform/simulated/simulation.h"

namespace simulated {

struct Desktop {
  bool trusted = true;
  std::string trustFile;        // when set, read at every trust query
  std::string secureInputFile;  // when set, read at every Secure Event Input query
  std::vector<SimDisplay> displays = {SimDisplay{CGRect{{0, 0}, {1512, 982}}, 1, 1}};
  std::string displaysFile;               // when set, read at every display query, and wins
  std::vector<SimDisplay> fileDisplays;   // what the displays file listed when last read
  SimMirrors mirrors;                     // each mirror's id, and the id of the display it mirrors
  CGPoint cursor = {756, 491};            // the main display's centre
  const SimLayout* layout = &usLayout();  // the current keyboard layout
  std::string layoutFile;                 // when set, read at every run of the run loop, and wins
  // The ASCII-capable layout when the current one is not, and the one an input method types with.
  const SimLayout* asciiLayout = &usLayout();
  // The layout the process sees: read at its first query, then at each run of the run loop.
  const SimLayout* seenLayout = nullptr;
  bool layoutSeen = false;
  bool capsLock = false;     // the HID system's Caps Lock state
  std::string capsLockFile;  // when set, read at every lock query and written at every set
  unsigned failures = 0;     // a mask of SimFailure
  int macOSMajor = 27;
  uint32_t pressCounts[3] = {100, 20, 3};  // left, right, other
  bool fixedClock = false;
  double clock = 0;     // seconds on both clocks while fixed
  double wallStep = 0;  // how far the wall clock was stepped away from the steady one
  bool instantSleep = false;
  uint64_t sleptMicroseconds = 0;
  uint64_t postCount = 0;
  uint64_t userActivityCount = 0;  // IOPMAssertionDeclareUserActivity calls that succeeded
  uint32_t postedOfType[32] = {};  // at the HID tap, by event type
  bool recording = false;          // whole-process runs keep no log, so memory stays flat
  std::vector<SimEvent> posted;
  std::function<void(CGEventRef)> postObserver;  // empty: nobody watches
};

// The desktop, made from the MII_SIM_* environment variables on first use (which also opens the
// trace); simReset puts it back to the defaults.
Desktop& desktop();

// The displays as every query sees them now: the displays file's, read again at each call, when
// one is set, else the list set. A change in the file's list brings the cursor onto the new one.
const std::vector<SimDisplay>& currentDisplays();
// The list on the first line of path; none when the file is missing, not a regular file, empty or
// malformed.
std::vector<SimDisplay> readDisplaysFile(const std::string& path);
// Gives every display without an id its place in the list, from 1; false when two share an id.
bool giveIds(std::vector<SimDisplay>* displays);
// Where a pointer aimed at target lands: on it, or on the nearest point of the nearest display.
CGPoint clampToDisplays(const std::vector<SimDisplay>& displays, CGPoint target);
// The cursor, once the displays were looked at (one may have left since).
CGPoint cursorNow();

// Whether path is a regular file whose first byte is '1'; read at every query, so that a test can
// change the answer while the agent runs.
bool fileStartsWithOne(const std::string& path);

// The first line of path, without its line end; false (and nothing read) unless path is a regular
// file whose first line could be read whole. Nothing else is opened: a FIFO would block the query,
// and /dev/stdin would take the host's commands.
bool readFirstLine(const std::string& path, std::string* line);

}  // namespace simulated
