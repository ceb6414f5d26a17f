#include "watch/event_tap.h"

#include <cstdio>

#if defined(__APPLE__)

#include <poll.h>
#include <unistd.h>

#include <string>

#include "ending_signals.h"
#include "platform/cf_owned.h"
#include "platform/quartz.h"
#include "watch/event_line.h"

namespace {

// The run loop runs in slices this long, so that a signal, the end of stdin or the deadline are
// seen within one slice whatever the tap is doing.
constexpr CFTimeInterval kSlice = 0.05;

constexpr CGEventMask kKeyEvents = CGEventMaskBit(kCGEventKeyDown) | CGEventMaskBit(kCGEventKeyUp) |
                                   CGEventMaskBit(kCGEventFlagsChanged);

CFMachPortRef liveTap = nullptr;

CGEventRef onTappedEvent(CGEventTapProxy, CGEventType type, CGEventRef event, void*) {
  // The system turns a tap off when its callback was too slow, or at the user's request: events
  // pass unseen until it is on again, which whoever reads the lines is told.
  if (type == kCGEventTapDisabledByTimeout || type == kCGEventTapDisabledByUserInput) {
    std::fputs(type == kCGEventTapDisabledByTimeout
                   ? "mac-input-watch: the tap was disabled by a timeout; enabled again\n"
                   : "mac-input-watch: the tap was disabled by user input; enabled again\n",
               stderr);
    if (liveTap != nullptr) CGEventTapEnable(liveTap, true);
    return event;
  }
  std::string line = eventLine(event, CFAbsoluteTimeGetCurrent());
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
  return event;  // a listen-only tap changes nothing; the value is not used
}

// Whether the tap kept the key events it asked for. A process that may not monitor keys gets a
// tap whose mask has their bits cleared; the system's own list shows the mask it kept. True when
// the list does not show this process's tap, as nothing then says otherwise.
bool tapKeepsKeyEvents() {
  constexpr uint32_t kMaxTaps = 64;
  CGEventTapInformation taps[kMaxTaps];
  uint32_t count = 0;
  if (CGGetEventTapList(kMaxTaps, taps, &count) != kCGErrorSuccess) return true;
  const pid_t self = getpid();
  for (uint32_t i = 0; i < count && i < kMaxTaps; ++i) {
    if (taps[i].tappingProcess == self && taps[i].processBeingTapped == 0) {
      return (taps[i].eventsOfInterest & kKeyEvents) == kKeyEvents;
    }
  }
  return true;
}

// Reads what is waiting on stdin, without blocking; true once it has ended. A watcher started
// with no standard input at all never ends by it.
bool stdinEnded() {
  pollfd in{STDIN_FILENO, POLLIN, 0};
  if (poll(&in, 1, 0) <= 0 || (in.revents & POLLNVAL)) return false;
  char buffer[512];
  const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
  return got == 0 || (got < 0 && (in.revents & POLLHUP));
}

}  // namespace

int watchEvents(double seconds) {
  catchEndingSignals();
  CGEventMask mask = 0;
  for (CGEventType type : kWatchedTypes) mask |= CGEventMaskBit(type);
  CfOwned<CFMachPortRef> tap(CGEventTapCreate(kCGSessionEventTap, kCGHeadInsertEventTap,
                                              kCGEventTapOptionListenOnly, mask, onTappedEvent,
                                              nullptr));
  if (!tap) {
    std::fputs(
        "mac-input-watch: cannot create an event tap (the process that started it needs "
        "Accessibility or Input Monitoring in System Settings > Privacy & Security)\n",
        stderr);
    return kCannotWatch;
  }
  if (!tapKeepsKeyEvents()) {
    std::fputs(
        "mac-input-watch: the event tap may not see keys (the process that started it needs "
        "Input Monitoring in System Settings > Privacy & Security)\n",
        stderr);
    return kCannotWatch;
  }
  CfOwned<CFRunLoopSourceRef> source(
      CFMachPortCreateRunLoopSource(kCFAllocatorDefault, tap.get(), 0));
  if (!source) {
    std::fputs("mac-input-watch: cannot make a run loop source of the event tap\n", stderr);
    return kCannotWatch;
  }
  liveTap = tap.get();
  CFRunLoopRef runLoop = CFRunLoopGetCurrent();
  CFRunLoopAddSource(runLoop, source.get(), kCFRunLoopCommonModes);
  CGEventTapEnable(tap.get(), true);
  std::fputs("WATCHING\n", stderr);
  std::fflush(stderr);

  const CFAbsoluteTime deadline = CFAbsoluteTimeGetCurrent() + seconds;
  while (endingSignal() == 0 && !stdinEnded() &&
         (seconds <= 0 || CFAbsoluteTimeGetCurrent() < deadline)) {
    CFRunLoopRunInMode(kCFRunLoopDefaultMode, kSlice, false);
  }
  // Released with the port, as the header says; the run loop lets go of its source first.
  CFRunLoopRemoveSource(runLoop, source.get(), kCFRunLoopCommonModes);
  liveTap = nullptr;
  std::fflush(stdout);
  return 0;
}

#else

int watchEvents(double) {
  // The simulated desktop posts into no session: there is nothing to tap.
  std::fputs("mac-input-watch: no event tap away from macOS\n", stderr);
  return kCannotWatch;
}

#endif
