// The power manager's assertions: created, released, and the user activity declared, counted so
// that a test sees every declaration and every assertion left unreleased.
#include <cstdint>
#include <map>
#include <string>

#include "platform/power.h"
#include "platform/simulated/desktop.h"
#include "platform/simulated/objects.h"
#include "platform/simulated/simulation.h"

namespace simulated {
namespace {

enum class AssertionKind { Named, UserActivity };

// Kept across simReset, as live objects are: an assertion stays alive until released.
std::map<IOPMAssertionID, AssertionKind> liveAssertions;
IOPMAssertionID lastId = 0x2000;  // powerd's ids are small nonzero numbers; their form is not ours

IOPMAssertionID newAssertion(AssertionKind kind) {
  ++lastId;
  if (lastId == kIOPMNullAssertionID) ++lastId;
  liveAssertions.emplace(lastId, kind);
  return lastId;
}

}  // namespace
}  // namespace simulated

using simulated::desktop;

extern "C" {

IOReturn IOPMAssertionCreateWithName(CFStringRef AssertionType, IOPMAssertionLevel AssertionLevel,
                                     CFStringRef AssertionName, IOPMAssertionID* AssertionID) {
  if (AssertionType == nullptr || AssertionName == nullptr || AssertionID == nullptr ||
      (AssertionLevel != kIOPMAssertionLevelOff && AssertionLevel != kIOPMAssertionLevelOn)) {
    return kIOReturnBadArgument;
  }
  simulated::liveString(AssertionType);
  simulated::liveString(AssertionName);
  if (desktop().failures & kSimFailPower) return kIOReturnError;
  *AssertionID = simulated::newAssertion(simulated::AssertionKind::Named);
  return kIOReturnSuccess;
}

// Each call is one declaration: macOS wakes the display and restarts its idle timer. An id passed
// back in that is still a live user-activity assertion is kept, as Apple documents for reporting
// continuing activity (whether macOS sometimes hands out a new one instead, and then what becomes
// of the old one, is not known here).
IOReturn IOPMAssertionDeclareUserActivity(CFStringRef AssertionName, IOPMUserActiveType userType,
                                          IOPMAssertionID* AssertionID) {
  if (AssertionName == nullptr || AssertionID == nullptr ||
      (userType != kIOPMUserActiveLocal && userType != kIOPMUserActiveRemote)) {
    return kIOReturnBadArgument;
  }
  simulated::liveString(AssertionName);
  if (desktop().failures & kSimFailPower) return kIOReturnError;
  ++desktop().userActivityCount;
  auto previous = simulated::liveAssertions.find(*AssertionID);
  if (previous == simulated::liveAssertions.end() ||
      previous->second != simulated::AssertionKind::UserActivity) {
    *AssertionID = simulated::newAssertion(simulated::AssertionKind::UserActivity);
  }
  return kIOReturnSuccess;
}

// macOS answers an id it does not know with an error; here releasing one twice is a bug, and loud.
IOReturn IOPMAssertionRelease(IOPMAssertionID AssertionID) {
  if (simulated::liveAssertions.erase(AssertionID) == 0) {
    simulated::fatal("IOPMAssertionRelease of an assertion not alive: ",
                     std::to_string(AssertionID));
  }
  return kIOReturnSuccess;
}

}  // extern "C"

uint64_t simUserActivityCount() { return desktop().userActivityCount; }
long simLiveAssertions() { return static_cast<long>(simulated::liveAssertions.size()); }
