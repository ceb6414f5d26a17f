// The self-test's checks are assertions that must hold in every build, release builds included.
#undef NDEBUG
#include "self_test.h"

#include <unistd.h>

#include <cassert>
#include <cstdint>

#include "line_protocol.h"
#include "platform/quartz.h"

namespace {

constexpr char kPassLine[] =
    "PASS R2 HID event construction, key mapping, modifier release and double-click count\n";

}  // namespace

// A failed check reports its expression, and the modifier mask has always been named so there.
#define g_modifierFlags keyboard.modifierFlags()

namespace selftest {

int main(Session& session) {
  Keyboard& keyboard = session.keyboard;
  // The checks call the operations by their own names, as their expressions read.
  const auto updateModifier = [&](uint16_t vk, bool isDown) {
    keyboard.updateModifier(vk, isDown);
  };
  const auto keyEventFlags = [&](uint16_t vk, bool isDown) {
    return keyboard.keyEventFlags(vk, isDown);
  };
  const auto nextClickCount = [&](int button, double now, CGPoint point, int32_t requested) {
    return session.pointer.nextClickCount(button, Seconds(now), point, requested);
  };
  const CGEventFlags arrow = kCGEventFlagMaskControl | kCGEventFlagMaskSecondaryFn;
  updateModifier(17, true);
  assert(g_modifierFlags & kCGEventFlagMaskControl);
  updateModifier(17, false);
  assert(!(g_modifierFlags & kCGEventFlagMaskControl));
  updateModifier(17, true);
  for (uint16_t vk = 37; vk <= 40; ++vk) {
    assert(keyEventFlags(vk, 1) == arrow);
    keyEventFlags(vk, 0);
  }
  for (uint16_t vk = 67; vk <= 88; ++vk) {
    const CGEventFlags expected =
        (vk == 67 || vk == 86 || vk == 88) ? kCGEventFlagMaskCommand : kCGEventFlagMaskControl;
    assert(keyEventFlags(vk, 1) == expected);
    keyEventFlags(vk, 0);
  }
  assert(keyEventFlags(67, 1) == kCGEventFlagMaskCommand);
  updateModifier(17, false);
  assert(keyEventFlags(67, 0) == kCGEventFlagMaskCommand);
  assert(keyEventFlags(67, 1) == 0);
  keyEventFlags(67, 0);
  updateModifier(163, true);
  assert(g_modifierFlags == kCGEventFlagMaskControl);
  keyEventFlags(67, 1);
  keyEventFlags(67, 0);
  updateModifier(163, false);
  updateModifier(17, true);
  updateModifier(18, true);
  assert(keyEventFlags(86, 1) == (kCGEventFlagMaskControl | kCGEventFlagMaskAlternate));
  keyEventFlags(86, 0);
  updateModifier(17, false);
  updateModifier(18, false);
  assert(g_modifierFlags == 0);
  assert(keyEventFlags(37, 1) == (kCGEventFlagMaskNumericPad | kCGEventFlagMaskSecondaryFn));
  keyEventFlags(37, 0);
  CGEventSourceRef testSource = keyboard.getKeyboardSource();
  assert(testSource != NULL);
  CGEventRef testEvent = CGEventCreateKeyboardEvent(testSource, 123, true);
  assert(testEvent != NULL);
  CGEventSetFlags(testEvent, arrow);
  assert(CGEventGetFlags(testEvent) == arrow);
  CFRelease(testEvent);
  const CGPoint p = {10, 10};
  assert(nextClickCount(0, 1, p, 0) == 1);
  nextClickCount(0, 10, p, 2);
  // Passed only once the line is written: a host reading a closed or full stdout got nothing.
  return writeLineIfRoom(STDOUT_FILENO, kPassLine) ? 0 : 1;
}

}  // namespace selftest
