// The one place where synthesized events leave the agent.
#pragma once

#include <optional>

#include "platform/quartz.h"

// Every event the agent posts goes through one EventPoster, which the session owns and hands to
// the keyboard and the pointer.
class EventPoster {
 public:
  // Stamps the modifier flags when the event carries them and posts the event at the HID event
  // tap, where the system treats it as coming from the keyboard and mouse themselves. Does nothing
  // when the event could not be created. The caller keeps ownership.
  void post(CGEventRef event, std::optional<CGEventFlags> flags = std::nullopt);
};
