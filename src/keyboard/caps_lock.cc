#include "keyboard/caps_lock.h"

std::optional<bool> CapsLock::remember(std::optional<bool> state, Seconds now) {
  state_ = state;
  lastAsked_ = now;
  return state;
}

std::optional<bool> CapsLock::read(Seconds now) { return remember(hidSystem_.capsLock(), now); }

std::optional<bool> CapsLock::set(bool on, Seconds now) {
  // The set call answers no state: the lock is what was set once the HID system took the call.
  return remember(hidSystem_.setCapsLock(on) ? std::optional<bool>(on) : std::nullopt, now);
}

bool CapsLock::toggle(Seconds now) {
  // Read now rather than remembered: the person at the Mac may have pressed the key meanwhile.
  const std::optional<bool> on = read(now);
  return on && set(!*on, now).has_value();
}

CGEventFlags CapsLock::flag(Seconds now) {
  // Asking the HID system is a call into the kernel: once per recheck, not at every key.
  if (!lastAsked_ || now - *lastAsked_ >= kCapsLockRecheck) read(now);
  return state_.value_or(false) ? CGEventFlags{kCGEventFlagMaskAlphaShift} : CGEventFlags{0};
}
