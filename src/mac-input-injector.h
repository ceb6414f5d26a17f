// The command channel: the start-up banner, the stdin line loop with its permission gate, and
// dispatch. main() lives beside it; tests, the fuzzer and the benchmarks drive the same functions.
#pragma once

#include <string_view>

// Writes the permission warning (to stderr) and the banner line to the descriptor out, and sets
// the last trusted state from the banner's query.
void startCommandChannel(int out);

// One line as read, line end included or not; whatever follows a NUL is not part of it. Strips the
// line end, applies the permission gate, tokenizes, dispatches and writes the reply to out.
// Returns false when the line was QUIT.
bool handleLine(std::string_view line, int out);

// Reads lines from in until end of input, a read error, QUIT or one of the signals that end the
// agent; then releases whatever the host left held. Returns the exit status, 0; after such a
// signal it does not return but ends the process by that signal.
int runCommandLoop(int in, int out);

// Releases every key, modifier and button the host left held.
void releaseHeldInput();

// Back to the state at process start: nothing held, no click memory, no event numbers, the
// keyboard source released, and the last trusted state as the permission is now. For tests,
// which start every case from here.
void resetAgentState();
