// An event object owned for the length of one operation: released on every path out of it.
#pragma once

#include <memory>
#include <type_traits>

#include "platform/quartz.h"

struct EventReleaser {
  void operator()(CGEventRef event) const { CFRelease(event); }
};

// unique_ptr never calls its deleter on NULL, so a creation that failed needs no special case.
using ScopedEvent = std::unique_ptr<std::remove_pointer_t<CGEventRef>, EventReleaser>;
