// Mouse event numbers. From macOS 27 the window server ties a release or a drag to its press by
// the mouse event number, and ignores a press whose number is not above the ones it has already
// seen; synthetic button events without one fail to raise windows or drag title bars. Drags were
// seen to need the numbers on macOS 26 too; earlier releases ignore the field, and there nothing
// is set.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "platform/quartz.h"
#include "pointer/buttons.h"

// The first macOS major version whose button events carry a mouse event number.
inline constexpr int kFirstNumberedMacOS = 26;

// The major number of a product version such as "27.1" or "10.15.7"; 0 when the text does not
// start with one (no digits, a sign, anything but a dot after the digits, or beyond int).
int macOSMajorFromVersion(std::string_view version);

// The pointer's numbering of its button events.
class EventNumbers {
 public:
  // The running macOS major version, read from the system on first use and kept. 0 when the
  // system does not say; no event numbers are set then.
  int runningMacOSMajor();

  // A press of button: advances the one mouse event number (seeded from the system's own press
  // counters at the first press) and sets it on the press, if there is one. Called for every
  // press, created or not.
  void numberPress(Button button, CGEventRef press);

  // A release or a drag of button: sets the number of that button's latest press, or the latest
  // number of any press when the button was never pressed; nothing before the first press.
  void numberFollowingEvent(Button button, CGEventRef event);

 private:
  bool numbersInUse() { return runningMacOSMajor() >= kFirstNumberedMacOS; }

  int macOSMajor_ = -1;  // -1: not read yet
  bool seeded_ = false;
  int64_t mouseEventNumber_ = 0;
  // The number of each button's latest press; 0 for a button not pressed since the seeding.
  std::array<int64_t, kButtonCount> pressNumbers_{};
};
