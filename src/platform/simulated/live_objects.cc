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

std::unordered_map<const void*, ObjectKind> liveObjects;
std::unordered_map<const void*, ObjectKind> constantObjects;
long liveCounts[4] = {0, 0, 0, 0};  // by ObjectKind

std::string addressOf(const void* object) {
  return std::to_string(reinterpret_cast<uintptr_t>(object));
}

bool isLive(const void* object, ObjectKind kind) {
  auto found = liveObjects.find(object);
  if (found != liveObjects.end()) return found->second == kind;
  auto constant = constantObjects.find(object);
  return constant != constantObjects.end() && constant->second == kind;
}

void release(CFTypeRef object) {
  if (object == nullptr) fatal("CFRelease(NULL)", "");
  if (constantObjects.count(object) != 0) return;
  auto found = liveObjects.find(object);
  if (found == liveObjects.end()) fatal("CFRelease of an object not alive: ", addressOf(object));
  ObjectKind kind = found->second;
  liveObjects.erase(found);
  --liveCounts[static_cast<int>(kind)];
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
  }
}

}  // namespace

void fatal(const char* what, const std::string& detail) {
  std::fprintf(stderr, "mii-sim: %s%s\n", what, detail.c_str());
  std::fflush(stderr);
  std::abort();
}

void track(const void* object, ObjectKind kind) {
  liveObjects.emplace(object, kind);
  ++liveCounts[static_cast<int>(kind)];
}

void trackConstant(const void* object, ObjectKind kind) { constantObjects.emplace(object, kind); }

long liveCount(ObjectKind kind) { return liveCounts[static_cast<int>(kind)]; }

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
