// The watcher's event tap: the session's keyboard and pointer events, as they pass, one event
// line each (watch/event_line.h) on standard output.
#pragma once

// The status of a watcher that could not tap anything; one line on stderr says why.
inline constexpr int kCannotWatch = 3;

// Watches until an ending signal (those that end the agent, src/ending_signals.h), the end of
// standard input, or `seconds` (0: no limit). Writes WATCHING on stderr once the tap is live.
// Returns the exit status: 0 after watching, kCannotWatch when no tap could be made (always, away
// from macOS).
int watchEvents(double seconds);
