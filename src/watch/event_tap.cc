// The watcher on a Mac: a tap of the login session's keyboard and pointer events.
#include "watch/event_tap.h"

#include <sys/select.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "ending_signals.h"
#include "event_kinds.h"
#include "platform/cf_owned.h"
#include "platform/monotonic_clock.h"
#include "platform/quartz.h"
#include "watch/event_line.h"

namespace {

// The run loop runs in slices this long, so that a signal, the end of stdin or the deadline are
// seen within one slice whatever the tap is doing.
constexpr CFTimeInterval kSlice = 0.05;

constexpr CGEventMask kKeyEvents = CGEventMaskBit(kCGEventKeyDown) | CGEventMaskBit(kCGEventKeyUp) |
                                   CGEventMaskBit(kCGEventFlagsChanged);

// The watch's tap, as its callback finds it through the tap's user data. The port exists only once
// CGEventTapCreate has returned, so the tap is made with a pointer to this, which the watch fills
// in once the tap is live and empties before the tap goes.
struct LiveTap {
  CFMachPortRef port = nullptr;
};

CGEventRef onTappedEvent(CGEventTapProxy, CGEventType type, CGEventRef event, void* userInfo) {
  // The system turns a tap off when its callback was too slow, or at the user's request: events
  // pass unseen until it is on again, which whoever reads the lines is told.
  if (type == kCGEventTapDisabledByTimeout || type == kCGEventTapDisabledByUserInput) {
    std::fputs(type == kCGEventTapDisabledByTimeout
                   ? "mac-input-watch: the tap was disabled by a timeout; enabled again\n"
                   : "mac-input-watch: the tap was disabled by user input; enabled again\n",
               stderr);
    const auto* live = static_cast<const LiveTap*>(userInfo);
    if (live->port != nullptr) CGEventTapEnable(live->port, true);
    return event;
  }
  std::string line = eventLine(event, CFAbsoluteTimeGetCurrent());
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
  return event;  // passed on unchanged: a filtering tap must return it, a listen-only one need not
}

// Whether this process's tap of the given kind kept the key events it asked for. A process that
// may not monitor keys gets a tap whose mask has their bits cleared; the system's own list shows
// the mask it kept. True when the list does not show the tap, as nothing then says otherwise.
bool tapKeepsKeyEvents(CGEventTapOptions options) {
  constexpr uint32_t kMaxTaps = 64;
  CGEventTapInformation taps[kMaxTaps];
  uint32_t count = 0;
  if (CGGetEventTapList(kMaxTaps, taps, &count) != kCGErrorSuccess) return true;
  const pid_t self = getpid();
  for (uint32_t i = 0; i < count && i < kMaxTaps; ++i) {
    if (taps[i].tappingProcess == self && taps[i].processBeingTapped == 0 &&
        taps[i].options == options) {
      return (taps[i].eventsOfInterest & kKeyEvents) == kKeyEvents;
    }
  }
  return true;
}

// Reads what is waiting on stdin, without blocking; true once it has ended. select rather than
// poll, which macOS does not support on terminals (Ctrl-D would go unseen). A watcher started with
// no standard input at all never ends by it.
bool stdinEnded() {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(STDIN_FILENO, &readable);
  timeval now{0, 0};
  if (select(STDIN_FILENO + 1, &readable, nullptr, nullptr, &now) <= 0) return false;
  char buffer[512];
  const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
  return got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN);
}

// A tap on the login session for `mask`, whose callback is handed `live`, or null when the system
// refuses it or strips its key events.
CfOwned<CFMachPortRef> createTap(CGEventTapOptions options, CGEventMask mask, LiveTap* live) {
  CfOwned<CFMachPortRef> tap(CGEventTapCreate(kCGSessionEventTap, kCGHeadInsertEventTap, options,
                                              mask, onTappedEvent, live));
  if (tap && !tapKeepsKeyEvents(options)) {
    CFMachPortInvalidate(tap.get());  // a tap without keys is no use: it goes before another comes
    tap.reset();
  }
  return tap;
}

}  // namespace

int watchEvents(double seconds) {
  catchEndingSignals();
  // Every kind of event the agent posts; a Mac's own keyboard and mouse make these too, and
  // nothing else is asked for.
  CGEventMask mask = 0;
  for (const PostedEventKind& kind : kPostedEventKinds) mask |= CGEventMaskBit(kind.type);
  // Watching needs only a listen-only tap, but that one sees keys only with Input Monitoring;
  // without it the system may clear the key bits of the mask, or only withhold the keys, so its
  // own answer is asked first. A process trusted for Accessibility alone (a hosted runner's shell,
  // for one) may still install a filtering tap, which this callback uses only to pass each event
  // on as it came. The kind the system allows comes first, the other when that fails.
  CGEventTapOptions kind =
      CGPreflightListenEventAccess() ? kCGEventTapOptionListenOnly : kCGEventTapOptionDefault;
  // Declared before the tap, so that it outlives the port whose callback reads it.
  LiveTap live;
  CfOwned<CFMachPortRef> tap = createTap(kind, mask, &live);
  if (!tap) {
    kind = kind == kCGEventTapOptionListenOnly ? kCGEventTapOptionDefault
                                               : kCGEventTapOptionListenOnly;
    tap = createTap(kind, mask, &live);
  }
  if (tap && kind == kCGEventTapOptionDefault) {
    std::fputs(
        "mac-input-watch: no Input Monitoring here; watching through a filtering tap that passes "
        "every event on unchanged\n",
        stderr);
  }
  if (!tap) {
    std::fputs(
        "mac-input-watch: cannot tap the session's key events (the process that started it needs "
        "Input Monitoring or Accessibility in System Settings > Privacy & Security)\n",
        stderr);
    return kCannotWatch;
  }
  CfOwned<CFRunLoopSourceRef> source(
      CFMachPortCreateRunLoopSource(kCFAllocatorDefault, tap.get(), 0));
  if (!source) {
    std::fputs("mac-input-watch: cannot make a run loop source of the event tap\n", stderr);
    return kCannotWatch;
  }
  live.port = tap.get();
  CFRunLoopRef runLoop = CFRunLoopGetCurrent();
  CFRunLoopAddSource(runLoop, source.get(), kCFRunLoopCommonModes);
  CGEventTapEnable(tap.get(), true);
  std::fputs("WATCHING\n", stderr);
  std::fflush(stderr);

  const Seconds deadline = monotonicSeconds() + Seconds(seconds);
  while (endingSignal() == 0 && !stdinEnded() && (seconds <= 0 || monotonicSeconds() < deadline)) {
    CFRunLoopRunInMode(kCFRunLoopDefaultMode, kSlice, false);
  }
  // Released with the port, as the header says; the run loop lets go of its source first.
  CFRunLoopRemoveSource(runLoop, source.get(), kCFRunLoopCommonModes);
  live.port = nullptr;
  std::fflush(stdout);
  return 0;
}
