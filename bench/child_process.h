// A benchmarked program run as a host runs it: a child process whose stdin is a pipe and whose
// stdout is a pipe or a socket pair, and the host's blocking reads and writes of whole lines.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

struct Child {
  pid_t pid = -1;
  int in = -1;   // the child's stdin, our write end
  int out = -1;  // the child's stdout, our read end
};

// Says what failed (and errno's text when set) and exits 1.
[[noreturn]] void fail(const std::string& what);

// Starts a program with stderr inherited and no MII_SIM_* variable: the default simulated
// desktop, permission granted, no trace. Its stdout is a socket pair's end when socketStdout.
Child spawn(const std::string& path, bool socketStdout);

// Reads up to and including the next LF, one read at a time as a host waiting for a reply does.
void readLine(int fd, std::string* line);

void writeAll(int fd, std::string_view bytes);

// Closes the child's stdin, waits for it to exit 0 and returns its user and system time in seconds.
double finish(Child& child);
