#include "platform/post_event.h"

#include "platform/monotonic_clock.h"

std::chrono::microseconds settleWait(std::optional<Seconds> lastPost, Seconds now) {
  if (!lastPost) return {};
  const Seconds elapsed = now - *lastPost;
  if (!(elapsed >= Seconds::zero())) return kSettleTime;  // not a time at all
  if (elapsed >= kSettleTime) return {};
  return std::chrono::ceil<std::chrono::microseconds>(kSettleTime - elapsed);
}

void EventPoster::post(CGEventRef event, std::optional<CGEventFlags> flags) {
  if (event == nullptr) return;
  if (flags) CGEventSetFlags(event, *flags);
  activity_.declare(monotonicSeconds());
  CGEventPost(kCGHIDEventTap, event);
  // Read once the event is handed over: the settle time runs from there.
  lastPost_ = monotonicSeconds();
}

void EventPoster::settle() const { pause(settleWait(lastPost_, monotonicSeconds())); }

void EventPoster::pause(std::chrono::microseconds length) const {
  if (length > std::chrono::microseconds::zero()) usleep(static_cast<useconds_t>(length.count()));
}
