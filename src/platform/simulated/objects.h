// The objects the simulated desktop hands out (events, event sources, strings, display modes, input
// sources and their properties) and the record of which are alive. Every operation on an object
// first checks it is one this desktop made and has not yet released: on a Mac a stale reference is
// a crash, here it is a loud one.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/quartz.h"
#include "platform/simulated/simulation.h"

namespace simulated {

// The local input an event source lets through while its posted events suppress the rest, with
// macOS's defaults.
struct LocalEventsSuppression {
  CFTimeInterval interval = 0.25;
  std::array<uint32_t, 2> filter = {0, 0};  // CGEventFilterMask by CGEventSuppressionState
};

// Data is an input source's key layout; Boolean is kCFBooleanTrue and kCFBooleanFalse.
enum class ObjectKind { Event, Source, String, DisplayMode, InputSource, Data, Boolean };

// Records a new object as alive, until CFRelease.
void track(const void* object, ObjectKind kind);
// Records an object that lives as long as the process (CFSTR's strings): it counts as alive for
// every operation, is in no live count, and CFRelease leaves it be, as CoreFoundation does.
void trackConstant(const void* object, ObjectKind kind);
// Records a property of an input source: alive while the source is, in no live count, and its
// CFRelease is fatal, as the caller got it without owning it (on a Mac, the over-release frees
// what the source still holds).
void trackOwned(const void* object, ObjectKind kind, const void* owner);
long liveCount(ObjectKind kind);
bool isLive(const void* object, ObjectKind kind);

// Frees an input source once CFRelease has dropped it and its properties from the record; defined
// with the input sources.
void destroyInputSource(const void* source);

[[noreturn]] void fatal(const char* what, const std::string& detail);

}  // namespace simulated

// Apple's opaque object types, defined here only.
struct __CGEvent {
  SimEvent record;  // as it would be posted now; the sequence number and tap come at posting
  // The suppression settings of the source the event was made from; empty without one. Shared with
  // the source, as a new setting applies "with the next Quartz event you post using this event
  // source", and outliving it should the source be released first.
  std::shared_ptr<const simulated::LocalEventsSuppression> sourceSuppression;
};
struct __CGEventSource {
  CGEventSourceStateID state;
  std::shared_ptr<simulated::LocalEventsSuppression> suppression;
};
struct __CFString {
  std::u16string units;
};
// A display's mode as it was when copied: a copy keeps its sizes whatever the display does next.
struct CGDisplayMode {
  size_t pixelWidth = 0;
  size_t pixelHeight = 0;
};

namespace simulated {

// The object itself; nullptr for NULL (an operation on a NULL event does nothing, and an event made
// from a NULL source has none); fatal for any other pointer that is not a live object of the kind.
__CGEvent* liveEvent(CGEventRef event);
__CGEventSource* liveSource(CGEventSourceRef source);
// Fatal for NULL too: CoreFoundation's string operations do not accept it.
const __CFString* liveString(CFStringRef string);
const CGDisplayMode* liveDisplayMode(CGDisplayModeRef mode);

}  // namespace simulated
