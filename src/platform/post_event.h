// The one place where synthesized events leave the agent.
#pragma once

#include <chrono>
#include <optional>

#include "platform/quartz.h"
#include "platform/user_activity.h"
#include "timings.h"

// How long to wait at the way out: what remains of the settle time (timings.h) since the last
// event was posted at lastPost, now being now, both on the steady clock; none when nothing was
// posted. Never more than the settle time.
std::chrono::microseconds settleWait(std::optional<Seconds> lastPost, Seconds now);

// Every event the agent posts goes through one EventPoster, which the session owns and hands to
// the keyboard and the pointer.
class EventPoster {
 public:
  // Stamps the modifier flags when the event carries them and posts the event at the HID event
  // tap, where the system treats it as coming from the keyboard and mouse themselves, after
  // declaring user activity (at most once a second) so that a sleeping display wakes. Does nothing
  // when the event could not be created. The caller keeps ownership.
  void post(CGEventRef event, std::optional<CGEventFlags> flags = std::nullopt);

  // Waits until the last event posted has had the settle time; returns at once when none was
  // posted, or when it was posted long enough ago.
  void settle() const;

  // Every pause of the agent (a key press's, a click's): nothing is posted meanwhile.
  void pause(std::chrono::microseconds length) const;

 private:
  UserActivity activity_;
  std::optional<Seconds> lastPost_;  // on the steady clock
};
