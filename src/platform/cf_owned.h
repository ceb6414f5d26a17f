// Ownership of CoreFoundation-style objects (events, strings) created while handling one command:
// released with CFRelease on every path out of the scope that created them.
#pragma once

#include <memory>
#include <type_traits>

#include "platform/quartz.h"

struct CfReleaser {
  void operator()(const void* object) const { CFRelease(object); }
};

// CfOwned<CGEventRef>, CfOwned<CFStringRef>: empty when the creation returned none, and
// unique_ptr never calls its deleter on NULL, so a failed creation needs no special case.
template <typename Ref>
using CfOwned = std::unique_ptr<std::remove_pointer_t<Ref>, CfReleaser>;
