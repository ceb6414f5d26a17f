#include "pointer/screen.h"

#include <cstdint>

#include "numbers.h"
#include "platform/cf_owned.h"

namespace {

constexpr uint32_t kMaxDisplays = 16;
constexpr int kFallbackWidth = 1920;
constexpr int kFallbackHeight = 1080;

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
  CGDirectDisplayID displays[kMaxDisplays];
  uint32_t count = 0;
  if (CGGetActiveDisplayList(kMaxDisplays, displays, &count) != kCGErrorSuccess || count == 0) {
    return false;
  }
  *bounds = CGDisplayBounds(displays[0]);
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
