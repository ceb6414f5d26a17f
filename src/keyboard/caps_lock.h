// The Mac's Caps Lock as the agent's keys see it: the state the HID system keeps, read again at
// most every kCapsLockRecheck for the flag every key and text event carries, and set or toggled
// through the HID system, since a posted Caps Lock key neither locks nor lights the key.
#pragma once

#include <optional>

#include "platform/hid_system.h"
#include "platform/quartz.h"
#include "timings.h"

class CapsLock {
 public:
  // The state now, asked of the HID system; none when it cannot be reached.
  std::optional<bool> read(Seconds now);
  // Sets the lock with one call whatever it was, so that a host following its user's lock races
  // no toggle; the state after, or none when the HID system cannot be reached or refuses.
  std::optional<bool> set(bool on, Seconds now);
  // Turns the lock over from the state it has now; false when the HID system could not do it.
  bool toggle(Seconds now);
  // kCGEventFlagMaskAlphaShift while the lock is on, as the Mac's own keyboard's events carry it;
  // the state as last read or set when that is recent, a change by the person at the Mac seen
  // within kCapsLockRecheck. 0 while the state is not known.
  CGEventFlags flag(Seconds now);

 private:
  // The lock as the HID system last answered, and when: every answer is kept, none included.
  std::optional<bool> remember(std::optional<bool> state, Seconds now);

  HidSystem hidSystem_;
  std::optional<bool> state_;
  std::optional<Seconds> lastAsked_;
};
