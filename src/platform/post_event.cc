#include "platform/post_event.h"

void EventPoster::post(CGEventRef event, std::optional<CGEventFlags> flags) {
  if (event == nullptr) return;
  if (flags) CGEventSetFlags(event, *flags);
  CGEventPost(kCGHIDEventTap, event);
}
