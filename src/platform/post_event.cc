#include "platform/post_event.h"

#include <cmath>

useconds_t settleMicroseconds(std::optional<CFAbsoluteTime> lastPost, CFAbsoluteTime now) {
  if (!lastPost) return 0;
  const double elapsed = now - *lastPost;
  if (!(elapsed >= 0)) return static_cast<useconds_t>(kSettleSeconds * 1e6);  // the clock went back
  if (elapsed >= kSettleSeconds) return 0;
  return static_cast<useconds_t>(std::ceil((kSettleSeconds - elapsed) * 1e6));
}

void EventPoster::post(CGEventRef event, std::optional<CGEventFlags> flags) {
  if (event == nullptr) return;
  if (flags) CGEventSetFlags(event, *flags);
  activity_.declare(CFAbsoluteTimeGetCurrent());
  CGEventPost(kCGHIDEventTap, event);
  // Read once the event is handed over: the settle time runs from there.
  lastPost_ = CFAbsoluteTimeGetCurrent();
}

void EventPoster::settle() const {
  const useconds_t wait = settleMicroseconds(lastPost_, CFAbsoluteTimeGetCurrent());
  if (wait > 0) usleep(wait);
}
