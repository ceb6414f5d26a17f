// Files that stand in for the pipes of an agent run in process: the agent writes to (or reads
// from) them through a descriptor as it would a pipe, and they never fill up.
#pragma once

#include <sys/types.h>

#include <string>

// One of two scratch files (0 or 1), emptied, its offset at the start. Aborts when the files
// cannot be made.
int emptyScratchFile(int which);

// The bytes of fd from offset from up to its current offset.
std::string scratchWritten(int fd, off_t from = 0);
