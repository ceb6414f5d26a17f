#include "pointer/event_numbers.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <initializer_list>

namespace {

int cachedMacOSMajor = -1;  // -1: not read yet
bool numberSeeded = false;
int64_t mouseEventNumber = 0;
// The number of each button's latest press; 0 for a button not pressed since the seeding.
std::array<int64_t, kButtonCount> pressNumbers{};

bool numbersInUse() { return runningMacOSMajor() >= kFirstNumberedMacOS; }

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

int runningMacOSMajor() {
  if (cachedMacOSMajor >= 0) return cachedMacOSMajor;
  char version[64] = {};
  size_t length = sizeof version;
  if (sysctlbyname("kern.osproductversion", version, &length, nullptr, 0) != 0) {
    // Without a version the agent keeps to what every supported release accepts: no numbers.
    cachedMacOSMajor = 0;
    return cachedMacOSMajor;
  }
  std::string_view text(version, std::min(length, sizeof version));
  text = text.substr(0, text.find('\0'));
  cachedMacOSMajor = macOSMajorFromVersion(text);
  return cachedMacOSMajor;
}

void numberPress(Button button, CGEventRef press) {
  if (!numbersInUse()) return;
  if (!numberSeeded) {
    mouseEventNumber = systemPressCount();
    numberSeeded = true;
  }
  ++mouseEventNumber;
  pressNumbers[static_cast<int>(button)] = mouseEventNumber;
  if (press != nullptr) CGEventSetIntegerValueField(press, kCGMouseEventNumber, mouseEventNumber);
}

void numberFollowingEvent(Button button, CGEventRef event) {
  if (event == nullptr || !numberSeeded || !numbersInUse()) return;
  // The window server pairs a release or a drag with its press by this number.
  const int64_t ownPress = pressNumbers[static_cast<int>(button)];
  CGEventSetIntegerValueField(event, kCGMouseEventNumber,
                              ownPress != 0 ? ownPress : mouseEventNumber);
}

void resetEventNumbers() {
  cachedMacOSMajor = -1;
  numberSeeded = false;
  mouseEventNumber = 0;
  pressNumbers = {};
}
