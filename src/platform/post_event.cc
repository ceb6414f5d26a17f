#include "platform/post_event.h"

#include <cmath>

#include "platform/monotonic_clock.h"

useconds_t settleMicroseconds(std::optional<double> lastPost, double now) {
  if (!lastPost) return 0;
  const double elapsed = now - *lastPost;
  if (!(elapsed >= 0)) return static_cast<useconds_t>(kSettleSeconds * 1e6);  // not a time at all
  if (elapsed >= kSettleSeconds) return 0;
  return static_cast<useconds_t>(std::ceil((kSettleSeconds - elapsed) * 1e6));
}

void EventPoster::post(CGEventRef event, std::optional<CGEventFlags> flags) {
  if (event == nullptr) return;
  if (flags) CGEventSetFlags(event, *flags);
  activity_.declare(monotonicSeconds());
  CGEventPost(kCGHIDEventTap, event);
  // Read once the event is handed over: the settle time runs from there.
  lastPost_ = monotonicSeconds();
}

void EventPoster::settle() const {
  const useconds_t wait = settleMicroseconds(lastPost_, monotonicSeconds());
  if (wait > 0) usleep(wait);
}
