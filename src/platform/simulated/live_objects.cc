// Which objects are alive, and their release. Each object is its own heap allocation, freed when
// released, so that under AddressSanitizer any access to a released one is caught as well.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unordered_map>

#include "platform/quartz.h"
#include "platform/simulated/objects.h"
#include "platform/simulated/simulation.h"

namespace simulated {
namespace {

// Made at first use and never destroyed: the constant strings Apple's headers name
// (kTISPropertyInputSourceID...) are made while other files' globals are being initialized, and
// the exit line counts what is alive while globals are being destroyed.
struct Record {
  std::unordered_map<const void*, ObjectKind> live;
  std::unordered_map<const void*, ObjectKind> constant;
  std::unordered_map<const void*, const void*> owners;  // a property: the input source it is of
  long counts[7] = {};                                  // by ObjectKind
};

Record& record() {
  static Record* made = new Record;
  return *made;
}

std::string addressOf(const void* object) {
  return std::to_string(reinterpret_cast<uintptr_t>(object));
}

// An input source's properties go with it.
void dropProperties(const void* source) {
  Record& r = record();
  for (auto it = r.owners.begin(); it != r.owners.end();) {
    if (it->second == source) {
      r.live.erase(it->first);
      it = r.owners.erase(it);
    } else {
      ++it;
    }
  }
}

void release(CFTypeRef object) {
  Record& r = record();
  if (object == nullptr) fatal("CFRelease(NULL)", "");
  if (r.constant.count(object) != 0) return;
  if (r.owners.count(object) != 0) {
    fatal("CFRelease of an input source's property, which the caller does not own: ",
          addressOf(object));
  }
  auto found = r.live.find(object);
  if (found == r.live.end()) fatal("CFRelease of an object not alive: ", addressOf(object));
  ObjectKind kind = found->second;
  r.live.erase(found);
  --r.counts[static_cast<int>(kind)];
  switch (kind) {
    case ObjectKind::Event:
      delete static_cast<const __CGEvent*>(object);
      break;
    case ObjectKind::Source:
      delete static_cast<const __CGEventSource*>(object);
      break;
    case ObjectKind::String:
      delete static_cast<const __CFString*>(object);
      break;
    case ObjectKind::DisplayMode:
      delete static_cast<const CGDisplayMode*>(object);
      break;
    case ObjectKind::InputSource:
      dropProperties(object);
      destroyInputSource(object);
      break;
    case ObjectKind::Data:
    case ObjectKind::Boolean:
      break;  // only ever a property or a constant, neither of which gets here
  }
}

}  // namespace

void fatal(const char* what, const std::string& detail) {
  std::fprintf(stderr, "mii-sim: %s%s\n", what, detail.c_str());
  std::fflush(stderr);
  std::abort();
}

void track(const void* object, ObjectKind kind) {
  record().live.emplace(object, kind);
  ++record().counts[static_cast<int>(kind)];
}

void trackConstant(const void* object, ObjectKind kind) { record().constant.emplace(object, kind); }

void trackOwned(const void* object, ObjectKind kind, const void* owner) {
  record().live.emplace(object, kind);
  record().owners.emplace(object, owner);
}

long liveCount(ObjectKind kind) { return record().counts[static_cast<int>(kind)]; }

bool isLive(const void* object, ObjectKind kind) {
  const Record& r = record();
  auto found = r.live.find(object);
  if (found != r.live.end()) return found->second == kind;
  auto constant = r.constant.find(object);
  return constant != r.constant.end() && constant->second == kind;
}

__CGEvent* liveEvent(CGEventRef event) {
  if (event != nullptr && !isLive(event, ObjectKind::Event)) {
    fatal("not a live event: ", addressOf(event));
  }
  return event;
}

__CGEventSource* liveSource(CGEventSourceRef source) {
  if (source != nullptr && !isLive(source, ObjectKind::Source)) {
    fatal("not a live event source: ", addressOf(source));
  }
  return source;
}

const __CFString* liveString(CFStringRef string) {
  if (!isLive(string, ObjectKind::String)) fatal("not a live string: ", addressOf(string));
  return string;
}

const CGDisplayMode* liveDisplayMode(CGDisplayModeRef mode) {
  if (mode != nullptr && !isLive(mode, ObjectKind::DisplayMode)) {
    fatal("not a live display mode: ", addressOf(mode));
  }
  return mode;
}

}  // namespace simulated

extern "C" void CFRelease(CFTypeRef cf) { simulated::release(cf); }

// CFRelease that takes NULL, as Apple documents.
extern "C" void CGDisplayModeRelease(CGDisplayModeRef mode) {
  if (mode != nullptr) simulated::release(simulated::liveDisplayMode(mode));
}

long simLiveEvents() { return simulated::liveCount(simulated::ObjectKind::Event); }
long simLiveStrings() { return simulated::liveCount(simulated::ObjectKind::String); }
long simLiveSources() { return simulated::liveCount(simulated::ObjectKind::Source); }
long simLiveDisplayModes() { return simulated::liveCount(simulated::ObjectKind::DisplayMode); }
long simLiveInputSources() { return simulated::liveCount(simulated::ObjectKind::InputSource); }
