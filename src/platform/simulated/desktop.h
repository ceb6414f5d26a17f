// The simulated desktop's state: what the MII_SIM_* settings or the in-process controls set (trust,
// displays, failures, ...), the cursor, the clock, and what was posted.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/quartz.h"
#include "platform/simulated/simulation.h"

namespace simulated {

struct Desktop {
  bool trusted = true;
  std::string trustFile;        // when set, read at every trust query
  std::string secureInputFile;  // when set, read at every Secure Event Input query
  std::vector<CGRect> displays = {CGRect{{0, 0}, {1512, 982}}};
  CGPoint cursor = {756, 491};  // the main display's centre
  unsigned failures = 0;        // a mask of SimFailure
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

}  // namespace simulated
