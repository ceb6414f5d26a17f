// Every timing of the agent, each with why it is so. Intervals are measured on the steady clock
// (platform/monotonic_clock.h), never on the wall clock. The pauses between events and the wait at
// the way out go through the posting seam (EventPoster::pause), so the simulated desktop's clock
// runs them. The line reader and the reply writer are not paced: they wait in poll for the host,
// the writer as long as the host does not read (kReplyStall only releases what is held
// meanwhile), and pause 1 ms on their own, with nanosleep, where poll cannot watch a descriptor,
// so that their retry does not spin.
#pragma once

#include <chrono>

// A time on the steady clock, or an interval: seconds, as the clock reads them.
using Seconds = std::chrono::duration<double>;

// KEYPRESS, from the key's down to its up: no release is reported lost at this length, and hosts
// know it.
inline constexpr std::chrono::milliseconds kKeyPressHold{10};

// CLICK and each click of DBLCLICK, from press to release: AppKit drops a release that arrives in
// the same tick as its press (measured: no click of 15 arrives whole with no pause, 14 at 20 ms,
// every one from 40 ms).
inline constexpr std::chrono::milliseconds kClickHold{50};

// DBLCLICK, between its two clicks: the whole, 150 ms, stays well inside the double-click window.
inline constexpr std::chrono::milliseconds kDoubleClickGap{50};

// A press this soon after its button's last one, and this near it, counts on as a double or
// triple click, as macOS's default double-click speed has it.
inline constexpr std::chrono::milliseconds kDoubleClickWindow{500};
inline constexpr double kDoubleClickRadius = 5;  // points

// The way out, after the last event posted: the window server takes posted events asynchronously
// and drops those it has not taken when the posting process exits.
inline constexpr std::chrono::milliseconds kSettleTime{50};

// User activity is declared at most this often: the display's idle timer runs in minutes, and
// once a second keeps it held off without a call to the power manager per event.
inline constexpr std::chrono::seconds kUserActivityInterval{1};

// A reply that waits this long on a host that does not read has what the host holds released: a
// hung host must not keep a key down.
inline constexpr std::chrono::seconds kReplyStall{5};

// A switch of keyboard layout is seen by the first key press this long after it: the system is
// asked which layout is current at most this often, not at every key.
inline constexpr std::chrono::milliseconds kLayoutRecheck{500};

// A change of Caps Lock by the person at the Mac is seen by the first key or text event this long
// after it: the HID system is asked at most this often, not at every key. The agent's own sets
// are seen at once.
inline constexpr std::chrono::milliseconds kCapsLockRecheck{500};
