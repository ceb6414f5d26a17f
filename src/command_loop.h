// The command channel: the start-up banner, the stdin line loop with its permission gate, and
// dispatch to the session's keyboard and pointer.
#pragma once

#include <string_view>

#include "session.h"

// Writes the permission warning (to stderr) and the banner line to the descriptor out, and sets
// the session's last trusted state from the banner's query.
void startCommandChannel(Session& session, int out);

// One line as read, line end included or not; whatever follows a NUL is not part of it. Strips the
// line end, applies the permission gate, tokenizes, dispatches and writes the reply to out.
// Returns false when the line was QUIT.
bool handleLine(Session& session, std::string_view line, int out);

// Reads lines from in until end of input, a read error, QUIT or one of the signals that end the
// agent; then releases whatever the host left held. Returns the exit status, 0; after such a
// signal it does not return but ends the process by that signal.
int runCommandLoop(Session& session, int in, int out);
