// The one place where synthesized events leave the agent.
#pragma once

#include <optional>

#include "platform/quartz.h"
#include "platform/user_activity.h"

// How long the window server is given, after the last event posted, before the agent may end:
// events it has not taken from the queue when the posting process exits are dropped.
inline constexpr double kSettleSeconds = 0.05;

// How long to wait at the way out, in microseconds: what remains of the settle time since the
// last event was posted at lastPost, now being now (both monotonic seconds); 0 when nothing was
// posted. Never more than the settle time.
useconds_t settleMicroseconds(std::optional<double> lastPost, double now);

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

 private:
  UserActivity activity_;
  std::optional<double> lastPost_;  // monotonic seconds
};
