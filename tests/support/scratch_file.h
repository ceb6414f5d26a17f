// The files tests make. Scratch files stand in for the pipes of an agent run in process: the agent
// writes to (or reads from) them through a descriptor as it would a pipe, and they never fill up.
// Named files (traces, the permission's file) live in one directory of the process's own.
// Nothing is left behind: scratch files have no name, and the directory goes at exit.
#pragma once

#include <sys/types.h>

#include <string>

// One of two scratch files (0 or 1), emptied, its offset at the start. Aborts when the files
// cannot be made.
int emptyScratchFile(int which);

// The bytes of fd from offset from up to its current offset.
std::string scratchWritten(int fd, off_t from = 0);

// A fresh path in this process's temporary directory, which is made at the first call and removed
// with everything in it when the process that made it exits.
std::string temporaryPath(const std::string& name);
