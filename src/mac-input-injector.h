// The command channel: the start-up banner, the stdin line loop with its permission gate, and
// dispatch. main() lives beside it; tests, the fuzzer and the benchmarks drive the same functions.
#pragma once

#include <cstdio>

// Writes the permission warning (to stderr) and the banner line, and sets the last trusted
// state from the banner's query.
void startCommandChannel(FILE* out);

// One line as read, line end included or not. Strips the line end, applies the permission gate,
// tokenizes, dispatches and writes the reply. Returns false when the line was QUIT.
bool handleLine(char* line, FILE* out);

// Reads lines until end of input, a read error or QUIT; then releases whatever the host left
// held. Returns the exit status, 0.
int runCommandLoop(FILE* in, FILE* out);

// Releases every key, modifier and button the host left held.
void releaseHeldInput();

// Back to the state at process start: nothing held, no click memory, no event numbers, the
// keyboard source released, and the last trusted state as the permission is now. For tests,
// which start every case from here.
void resetAgentState();
