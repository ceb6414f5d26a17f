#include "platform/user_activity.h"

#include "platform/power.h"

void UserActivity::declare(Seconds now) {
  if (declared && now >= lastDeclared && now - lastDeclared <= kUserActivityInterval) return;
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
