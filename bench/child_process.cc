#include "child_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

extern char** environ;

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "mii_pipe_bench: %s%s%s\n", what.c_str(), errno ? ": " : "",
               errno ? std::strerror(errno) : "");
  std::exit(1);
}

Child spawn(const std::string& path, bool socketStdout) {
  int in[2];
  int out[2];
  // Close-on-exec, so that a child started later holds no end of an earlier child's pipes (which
  // would keep that child's stdin from ever reaching end of file).
  if (pipe(in) != 0) fail("pipe");
  if (socketStdout ? socketpair(AF_UNIX, SOCK_STREAM, 0, out) != 0 : pipe(out) != 0) {
    fail("stdout");
  }
  for (int fd : {in[0], in[1], out[0], out[1]}) fcntl(fd, F_SETFD, FD_CLOEXEC);
  std::vector<char*> env;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::strncmp(*e, "MII_SIM_", 8) != 0) env.push_back(*e);
  }
  env.push_back(nullptr);
  // posix_spawn rather than fork: the child never holds a copy of this process's memory (the
  // stream alone is megabytes), which would count in its peak resident memory.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  std::string program = path;
  char* argv[] = {program.data(), nullptr};
  pid_t pid = -1;
  int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv, env.data());
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    errno = error;
    fail("cannot start " + path);
  }
  close(in[0]);
  close(out[1]);
  return Child{pid, in[1], out[0]};
}

void readLine(int fd, std::string* line) {
  line->clear();
  char buffer[256];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) fail("the child closed its output mid-line");
    line->append(buffer, static_cast<size_t>(n));
    if (buffer[n - 1] == '\n') return;
  }
}

void writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) fail("write to child");
    bytes.remove_prefix(static_cast<size_t>(n));
  }
}

double finish(Child& child) {
  if (child.in >= 0) close(child.in);
  child.in = -1;
  int status = 0;
  rusage usage{};
  if (wait4(child.pid, &status, 0, &usage) != child.pid) fail("wait4");
  if (child.out >= 0) close(child.out);
  child.out = -1;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    errno = 0;
    fail("child did not exit 0");
  }
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}
