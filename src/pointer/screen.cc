#include "pointer/screen.h"

#include <cstdint>

#include "numbers.h"
#include "platform/cf_owned.h"

namespace {

constexpr int kFallbackWidth = 1920;
constexpr int kFallbackHeight = 1080;

// The active displays' ids into ids (room for kMaxDisplays); how many, 0 when the listing fails,
// whatever count it may have left behind.
uint32_t listDisplays(CGDirectDisplayID* ids) {
  uint32_t count = 0;
  if (CGGetActiveDisplayList(kMaxDisplays, ids, &count) != kCGErrorSuccess) return 0;
  return count < kMaxDisplays ? count : kMaxDisplays;
}

// A size in points as whole pixels at one pixel a point: truncated, never below 0.
uint64_t pointsAsPixels(CGFloat points) {
  const int value = truncateToInt(points);
  return value > 0 ? static_cast<uint64_t>(value) : 0;
}

}  // namespace

bool readCursorLocation(CGPoint* location) {
  // A new event without a source is placed at the cursor; it is only read, never posted.
  CfOwned<CGEventRef> probe(CGEventCreate(nullptr));
  if (!probe) return false;
  *location = CGEventGetLocation(probe.get());
  return true;
}

CGPoint cursorLocation() {
  CGPoint location{0, 0};  // kept when the cursor cannot be read
  readCursorLocation(&location);
  return location;
}

bool mainDisplayBounds(CGRect* bounds) {
  CGDirectDisplayID ids[kMaxDisplays];
  if (listDisplays(ids) == 0) return false;
  *bounds = CGDisplayBounds(ids[0]);
  return true;
}

std::vector<DisplayInfo> activeDisplays() {
  CGDirectDisplayID ids[kMaxDisplays];
  const uint32_t count = listDisplays(ids);
  std::vector<DisplayInfo> displays;
  displays.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    DisplayInfo display{ids[i], CGDisplayBounds(ids[i]), 0, 0};
    // The mode knows the pixels: a Retina display has more of them than points.
    CGDisplayModeRef mode = CGDisplayCopyDisplayMode(ids[i]);
    if (mode != nullptr) {
      display.pixelWidth = CGDisplayModeGetPixelWidth(mode);
      display.pixelHeight = CGDisplayModeGetPixelHeight(mode);
      CGDisplayModeRelease(mode);
    } else {
      display.pixelWidth = pointsAsPixels(display.bounds.size.width);
      display.pixelHeight = pointsAsPixels(display.bounds.size.height);
    }
    displays.push_back(display);
  }
  return displays;
}

bool activeDisplayBounds(CGDirectDisplayID id, CGRect* bounds) {
  CGDirectDisplayID ids[kMaxDisplays];
  const uint32_t count = listDisplays(ids);
  for (uint32_t i = 0; i < count; ++i) {
    if (ids[i] == id) {
      *bounds = CGDisplayBounds(id);
      return true;
    }
  }
  return false;
}

bool queryCursorPosition(int* x, int* y) {
  CGPoint location;
  if (!readCursorLocation(&location)) return false;
  *x = truncateToInt(location.x);
  *y = truncateToInt(location.y);
  return true;
}

void queryMainDisplaySize(int* width, int* height) {
  CGRect bounds;
  if (!mainDisplayBounds(&bounds)) {
    *width = kFallbackWidth;
    *height = kFallbackHeight;
    return;
  }
  *width = truncateToInt(bounds.size.width);
  *height = truncateToInt(bounds.size.height);
}
