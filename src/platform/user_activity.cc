#include "platform/user_activity.h"

#include "platform/power.h"

namespace {

// The display's idle timer runs in minutes; once a second keeps it held off during any input
// without one call to the power manager per event.
constexpr double kDeclarationInterval = 1.0;

}  // namespace

void UserActivity::declare(double now) {
  if (declared && now >= lastDeclared && now - lastDeclared <= kDeclarationInterval) return;
  declared = true;
  lastDeclared = now;  // a failed declaration is not retried before the second has passed either
  IOPMAssertionID assertion = kIOPMNullAssertionID;
  // The declaration wakes the display and restarts its idle timer when it is made; the assertion
  // it returns need not be held for that, so it is released at once and none can be left behind
  // however the agent ends. (Apple documents passing the previous id back in to report continuing
  // activity; a fresh one each time is what it does when the calls are far apart.)
  if (IOPMAssertionDeclareUserActivity(CFSTR("mac-input-injector input"), kIOPMUserActiveLocal,
                                       &assertion) == kIOReturnSuccess &&
      assertion != kIOPMNullAssertionID) {
    IOPMAssertionRelease(assertion);
  }
}
