// The displays: listed by id, their bounds and modes, the list from a file that changes while the
// agent runs, and the cursor that posted mouse events keep on them.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "platform/quartz.h"
#include "platform/simulated/desktop.h"
#include "platform/simulated/objects.h"
#include "platform/simulated/simulation.h"

namespace simulated {
namespace {

bool sameDisplays(const std::vector<SimDisplay>& a, const std::vector<SimDisplay>& b) {
  return std::equal(
      a.begin(), a.end(), b.begin(), b.end(), [](const SimDisplay& x, const SimDisplay& y) {
        return x.id == y.id && x.scale == y.scale && x.bounds.origin.x == y.bounds.origin.x &&
               x.bounds.origin.y == y.bounds.origin.y &&
               x.bounds.size.width == y.bounds.size.width &&
               x.bounds.size.height == y.bounds.size.height;
      });
}

const SimDisplay* findDisplay(CGDirectDisplayID id) {
  for (const SimDisplay& display : currentDisplays()) {
    if (display.id == id) return &display;
  }
  return nullptr;
}

// A mode's pixels: the points times the scale, truncated, and saturating (a setting may give any
// finite size at all).
size_t pixelsOf(double points, double scale) {
  const double pixels = points * scale;
  if (!(pixels > 0)) return 0;
  if (pixels >= static_cast<double>(std::numeric_limits<size_t>::max())) {
    return std::numeric_limits<size_t>::max();
  }
  return static_cast<size_t>(pixels);
}

}  // namespace

const std::vector<SimDisplay>& currentDisplays() {
  Desktop& d = desktop();
  if (d.displaysFile.empty()) return d.displays;
  std::vector<SimDisplay> now = readDisplaysFile(d.displaysFile);
  if (!sameDisplays(now, d.fileDisplays)) {
    d.fileDisplays = std::move(now);
    // macOS keeps the cursor on a display, so one whose display left ends up on another. Where
    // exactly was not checked: here it goes where a posted move to it would, the nearest point.
    d.cursor = clampToDisplays(d.fileDisplays, d.cursor);
  }
  return d.fileDisplays;
}

std::vector<SimDisplay> readDisplaysFile(const std::string& path) {
  std::vector<SimDisplay> displays;
  std::string line;
  if (!readFirstLine(path, &line) || !simParseDisplays(line, &displays)) displays.clear();
  return displays;
}

bool giveIds(std::vector<SimDisplay>* displays) {
  for (size_t i = 0; i < displays->size(); ++i) {
    SimDisplay& display = (*displays)[i];
    // 0 is kCGNullDirectDisplay, no display's id.
    if (display.id == 0) display.id = static_cast<CGDirectDisplayID>(i + 1);
    for (size_t j = 0; j < i; ++j) {
      if ((*displays)[j].id == display.id) return false;
    }
  }
  return true;
}

// The cursor stays on a display: a target off every display lands on the nearest point of the
// nearest one. macOS keeps the hot spot on the display's last pixel row and column, so a display
// spans [origin, origin + size - 1] here (an approximation; macOS's exact edge was not checked).
// With no display at all the target is kept.
CGPoint clampToDisplays(const std::vector<SimDisplay>& displays, CGPoint target) {
  CGPoint best = target;
  double bestDistance = 0;
  for (size_t i = 0; i < displays.size(); ++i) {
    const CGRect& rect = displays[i].bounds;
    double maxX = rect.origin.x + std::max(0.0, rect.size.width - 1);
    double maxY = rect.origin.y + std::max(0.0, rect.size.height - 1);
    CGPoint p{std::clamp(target.x, rect.origin.x, maxX), std::clamp(target.y, rect.origin.y, maxY)};
    if (p.x == target.x && p.y == target.y) return target;  // on this display already
    // hypot, not a sum of squares: far targets (1e300) must not overflow to a tie at infinity.
    double distance = std::hypot(p.x - target.x, p.y - target.y);
    if (i == 0 || distance < bestDistance) {
      bestDistance = distance;
      best = p;
    }
  }
  return best;
}

CGPoint cursorNow() {
  currentDisplays();
  return desktop().cursor;
}

}  // namespace simulated

using simulated::desktop;

extern "C" {

// The ids in list order, the main display first, as macOS lists them.
CGError CGGetActiveDisplayList(uint32_t maxDisplays, CGDirectDisplayID* activeDisplays,
                               uint32_t* displayCount) {
  if (desktop().failures & kSimFailDisplays) return kCGErrorFailure;
  if (displayCount == nullptr) return kCGErrorIllegalArgument;
  const std::vector<SimDisplay>& displays = simulated::currentDisplays();
  uint32_t count = static_cast<uint32_t>(displays.size());
  if (activeDisplays != nullptr) {
    count = std::min(count, maxDisplays);
    for (uint32_t i = 0; i < count; ++i) activeDisplays[i] = displays[i].id;
  }
  *displayCount = count;
  return kCGErrorSuccess;
}

// A display that is not there (never was, or left) has empty bounds at the origin, as on macOS.
CGRect CGDisplayBounds(CGDirectDisplayID display) {
  const SimDisplay* found = simulated::findDisplay(display);
  return found != nullptr ? found->bounds : CGRect{{0, 0}, {0, 0}};
}

// The display's one mode, its pixels the points times the scale. A mode of the simulation's own
// making: macOS's pixel sizes are whole numbers of a real mode, and its HiDPI modes are 2x.
CGDisplayModeRef CGDisplayCopyDisplayMode(CGDirectDisplayID display) {
  if (desktop().failures & kSimFailDisplayMode) return nullptr;
  const SimDisplay* found = simulated::findDisplay(display);
  if (found == nullptr) return nullptr;
  auto* mode = new CGDisplayMode{simulated::pixelsOf(found->bounds.size.width, found->scale),
                                 simulated::pixelsOf(found->bounds.size.height, found->scale)};
  simulated::track(mode, simulated::ObjectKind::DisplayMode);
  return mode;
}

// A mirror answers while it is listed, as only a display that is there can be in a mirror set. The
// display it mirrors answers kCGNullDirectDisplay, as does one in no mirror set.
CGDirectDisplayID CGDisplayMirrorsDisplay(CGDirectDisplayID display) {
  const SimMirrors& mirrors = desktop().mirrors;
  const auto found = mirrors.find(display);
  if (found == mirrors.end() || simulated::findDisplay(display) == nullptr) {
    return kCGNullDirectDisplay;
  }
  return found->second;
}

size_t CGDisplayModeGetPixelWidth(CGDisplayModeRef mode) {
  const CGDisplayMode* m = simulated::liveDisplayMode(mode);
  return m == nullptr ? 0 : m->pixelWidth;
}

size_t CGDisplayModeGetPixelHeight(CGDisplayModeRef mode) {
  const CGDisplayMode* m = simulated::liveDisplayMode(mode);
  return m == nullptr ? 0 : m->pixelHeight;
}

}  // extern "C"

void simSetDisplays(const std::vector<CGRect>& displays) {
  std::vector<SimDisplay> list;
  for (const CGRect& bounds : displays) list.push_back(SimDisplay{bounds});
  simSetDisplayList(list);
}

void simSetDisplayList(const std::vector<SimDisplay>& displays) {
  std::vector<SimDisplay> list = displays;
  if (!simulated::giveIds(&list))
    simulated::fatal("simSetDisplayList: two displays share an id", "");
  desktop().displays = std::move(list);
}

void simSetMirrors(const SimMirrors& mirrors) { desktop().mirrors = mirrors; }

// From the list in effect until now: a file that lists something else moves the cursor as a change
// of displays does.
void simSetDisplaysFile(const std::string& path) {
  simulated::Desktop& d = desktop();
  if (d.displaysFile.empty()) d.fileDisplays = d.displays;
  d.displaysFile = path;
}
