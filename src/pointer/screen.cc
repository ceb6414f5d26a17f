#include "pointer/screen.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "numbers.h"
#include "platform/cf_owned.h"

namespace {

constexpr int kFallbackWidth = 1920;
constexpr int kFallbackHeight = 1080;

// Every active display's id, the main one first; none when the listing fails. The count is asked
// first: a Mac may have more displays than DISPLAYS lists, and each of them can be moved to.
std::vector<CGDirectDisplayID> listDisplays() {
  uint32_t count = 0;
  if (CGGetActiveDisplayList(0, nullptr, &count) != kCGErrorSuccess || count == 0) return {};
  std::vector<CGDirectDisplayID> ids(count);
  if (CGGetActiveDisplayList(count, ids.data(), &count) != kCGErrorSuccess) return {};
  // A display may have left between the two calls.
  ids.resize(std::min<size_t>(count, ids.size()));
  return ids;
}

// With software mirroring every display of a mirror set is active and shows the same region of the
// desktop; only the display they mirror stands for it.
bool mirrorsAnother(CGDirectDisplayID id) {
  return CGDisplayMirrorsDisplay(id) != kCGNullDirectDisplay;
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
  CGDirectDisplayID main = kCGNullDirectDisplay;
  uint32_t count = 0;
  if (CGGetActiveDisplayList(1, &main, &count) != kCGErrorSuccess || count == 0) return false;
  *bounds = CGDisplayBounds(main);
  return true;
}

std::vector<DisplayInfo> activeDisplays() {
  std::vector<DisplayInfo> displays;
  for (CGDirectDisplayID id : listDisplays()) {
    if (displays.size() == kMaxDisplays) break;
    if (mirrorsAnother(id)) continue;
    DisplayInfo display{id, CGDisplayBounds(id), 0, 0};
    // The mode knows the pixels: a Retina display has more of them than points.
    CGDisplayModeRef mode = CGDisplayCopyDisplayMode(id);
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
  const std::vector<CGDirectDisplayID> ids = listDisplays();
  if (std::find(ids.begin(), ids.end(), id) == ids.end() || mirrorsAnother(id)) return false;
  *bounds = CGDisplayBounds(id);
  return true;
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
