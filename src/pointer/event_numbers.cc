#include "pointer/event_numbers.h"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <initializer_list>

namespace {

// The presses the system has already numbered, so that ours come after them.
int64_t systemPressCount() {
  int64_t sum = 0;
  for (CGEventType type : {kCGEventLeftMouseDown, kCGEventRightMouseDown, kCGEventOtherMouseDown}) {
    sum += CGEventSourceCounterForEventType(kCGEventSourceStateHIDSystemState, type);
  }
  return sum;
}

}  // namespace

int macOSMajorFromVersion(std::string_view version) {
  if (version.empty() || version[0] < '0' || version[0] > '9') return 0;
  const char* end = version.data() + version.size();
  int major = 0;
  auto [next, error] = std::from_chars(version.data(), end, major);
  if (error != std::errc() || (next != end && *next != '.')) return 0;
  return major;
}

int EventNumbers::runningMacOSMajor() {
  if (macOSMajor_ >= 0) return macOSMajor_;
  char version[64] = {};
  size_t length = sizeof version;
  if (sysctlbyname("kern.osproductversion", version, &length, nullptr, 0) != 0) {
    // Without a version the agent keeps to what every supported release accepts: no numbers.
    macOSMajor_ = 0;
    return macOSMajor_;
  }
  std::string_view text(version, std::min(length, sizeof version));
  text = text.substr(0, text.find('\0'));
  macOSMajor_ = macOSMajorFromVersion(text);
  return macOSMajor_;
}

void EventNumbers::numberPress(Button button, CGEventRef press) {
  if (!numbersInUse()) return;
  if (!seeded_) {
    mouseEventNumber_ = systemPressCount();
    seeded_ = true;
  }
  ++mouseEventNumber_;
  pressNumbers_[static_cast<int>(button)] = mouseEventNumber_;
  if (press != nullptr) CGEventSetIntegerValueField(press, kCGMouseEventNumber, mouseEventNumber_);
}

void EventNumbers::numberFollowingEvent(Button button, CGEventRef event) {
  if (event == nullptr || !seeded_ || !numbersInUse()) return;
  // The window server pairs a release or a drag with its press by this number.
  const int64_t ownPress = pressNumbers_[static_cast<int>(button)];
  CGEventSetIntegerValueField(event, kCGMouseEventNumber,
                              ownPress != 0 ? ownPress : mouseEventNumber_);
}
