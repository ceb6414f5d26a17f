#include "support/agent_process.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

#include "support/describe.h"
#include "support/scratch_file.h"

extern char** environ;

namespace {

// How long any wait for the agent may take before the test fails saying what it waited for: a
// few seconds, times MII_TEST_TIME_SCALE where the agent runs slowly (under Valgrind).
std::chrono::milliseconds deadline(int milliseconds) {
  static const long scale = [] {
    const char* text = std::getenv("MII_TEST_TIME_SCALE");
    const long value = text != nullptr ? std::strtol(text, nullptr, 10) : 1;
    return value >= 1 && value <= 100 ? value : 1;
  }();
  return std::chrono::milliseconds(milliseconds * scale);
}

void check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

std::vector<std::string> readLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream file(path);
  std::string line;
  while (std::getline(file, line)) lines.push_back(line);
  return lines;
}

// The trace's lines read into the result: every posted event described, then the exit line. An
// exit line followed by events (posted by an exit handler run after the trace's) is written again
// after them; the last one counts.
void readTrace(const std::string& path, AgentResult* result) {
  result->trace = readLines(path);
  for (const std::string& line : result->trace) {
    long events = 0, strings = 0, assertions = 0;
    if (std::sscanf(line.c_str(),
                    "{\"exit\":true,\"liveEvents\":%ld,\"liveStrings\":%ld,"
                    "\"liveSources\":%ld,\"userActivity\":%ld,\"liveAssertions\":%ld,"
                    "\"time\":%lf}",
                    &events, &strings, &result->sourcesAtExit, &result->userActivity, &assertions,
                    &result->exitTime) == 6) {
      if (events != 0 || strings != 0 || assertions != 0) {
        ADD_FAILURE() << "left alive at exit: " << line;
      }
      continue;
    }
    SimEvent event;
    if (!parseTraceLine(line, &event) || event.seq != result->posted.size() + 1) {
      ADD_FAILURE() << "not the next posted event: " << line;
    }
    result->posted.push_back(describe(event));
    result->postedTimes.push_back(event.time);
  }
}

void appendAvailable(int fd, std::string* to, bool* open) {
  char buffer[65536];
  ssize_t n = read(fd, buffer, sizeof buffer);
  if (n > 0) {
    to->append(buffer, static_cast<size_t>(n));
  } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
    *open = false;
  }
}

}  // namespace

AgentSession startAgent(const AgentOptions& options) {
  AgentSession session;
  int in[2], out[2], err[2];
  check(pipe(in) == 0 && pipe(err) == 0, "pipe");
  if (options.socketStdout) {
    // The agent writes to out[1] and the test reads out[0], as with a pipe.
    check(socketpair(AF_UNIX, SOCK_STREAM, 0, out) == 0, "socketpair");
  } else {
    check(pipe(out) == 0, "pipe");
  }

  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::strncmp(*e, "MII_SIM_", 8) != 0) env.emplace_back(*e);
  }
  // A test may name the trace itself (a device, a pipe); then the fresh file stays empty.
  session.tracePath = temporaryPath("trace.jsonl");
  bool traceNamed = false;
  for (const auto& knob : options.env) traceNamed = traceNamed || knob.first == "MII_SIM_TRACE";
  if (!traceNamed) env.push_back("MII_SIM_TRACE=" + session.tracePath);
  for (const auto& [name, value] : options.env) env.push_back(name + "=" + value);
  std::vector<std::string> args = {MII_AGENT_PATH};
  args.insert(args.end(), options.args.begin(), options.args.end());

  std::vector<char*> argv, envp;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  const std::string scratchPath = temporaryPath("x");
  const std::string scratchDirectory = scratchPath.substr(0, scratchPath.rfind('/'));
  pid_t pid = fork();
  check(pid >= 0, "fork");
  if (pid == 0) {
    if (options.closedStdin) {
      close(0);
    } else {
      dup2(in[0], 0);
    }
    if (options.closedStdout) {
      close(1);
    } else {
      dup2(out[1], 1);
    }
    if (options.closedStderr) {
      close(2);
    } else {
      dup2(options.stderrToStdout ? 1 : err[1], 2);
    }
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    if (options.nonBlockingPipes) {
      // Only the agent holds these ends: the flag set on them is never seen by the test's side.
      fcntl(0, F_SETFL, fcntl(0, F_GETFL) | O_NONBLOCK);
      fcntl(1, F_SETFL, fcntl(1, F_GETFL) | O_NONBLOCK);
    }
    // The agent starts with the dispositions a test asks for, not those this process inherited (a
    // background job of a script starts with SIGINT and SIGQUIT ignored).
    for (int number : {SIGPIPE, SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM,
                       SIGVTALRM, SIGPROF}) {
      signal(number, SIG_DFL);
    }
    for (int number : options.ignoredSignals) signal(number, SIG_IGN);
    // The mask and the pending signals survive execve: the agent starts with them.
    sigset_t blocked;
    sigemptyset(&blocked);
    for (int number : options.blockedSignals) sigaddset(&blocked, number);
    for (int number : options.pendingSignals) sigaddset(&blocked, number);
    sigprocmask(SIG_SETMASK, &blocked, nullptr);
    for (int number : options.pendingSignals) raise(number);
    // Core files allowed, so that one the agent leaves shows in its status; in the test's own
    // directory, removed at exit, should one come.
    rlimit core{};
    getrlimit(RLIMIT_CORE, &core);
    core.rlim_cur = core.rlim_max;
    setrlimit(RLIMIT_CORE, &core);
    if (chdir(scratchDirectory.c_str()) != 0) _exit(126);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  session.pid = pid;
  session.in = in[1];
  session.out = out[0];
  session.err = err[0];
  // The test process must survive writing to an agent that has gone.
  signal(SIGPIPE, SIG_IGN);
  return session;
}

void sendToAgent(AgentSession& session, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    pollfd room{session.in, POLLOUT, 0};
    const auto wait = deadline(5000);
    if (poll(&room, 1, static_cast<int>(wait.count())) == 0) {
      ADD_FAILURE() << "the agent took no input for " << wait.count() << " ms";
      return;
    }
    // No more than poll promised room for: a blocking write of more could wait for good.
    ssize_t n =
        write(session.in, text.data() + done, std::min<size_t>(text.size() - done, PIPE_BUF));
    if (n < 0 && errno == EINTR) continue;
    check(n > 0, "write to agent");
    done += static_cast<size_t>(n);
  }
}

std::string readAgentLine(AgentSession& session) {
  for (;;) {
    size_t newline = session.pendingOut.find('\n');
    if (newline != std::string::npos) {
      std::string line = session.pendingOut.substr(0, newline);
      session.pendingOut.erase(0, newline + 1);
      return line;
    }
    pollfd p{session.out, POLLIN, 0};
    const auto wait = deadline(5000);
    if (poll(&p, 1, static_cast<int>(wait.count())) <= 0) {
      ADD_FAILURE() << "no reply line from the agent within " << wait.count() << " ms";
      break;
    }
    bool open = true;
    appendAvailable(session.out, &session.pendingOut, &open);
    if (!open) break;
  }
  return {};
}

bool waitForTrace(const AgentSession& session, size_t count, int timeoutMs) {
  const auto wait = deadline(timeoutMs);
  const auto end = std::chrono::steady_clock::now() + wait;
  for (size_t lines; (lines = readLines(session.tracePath).size()) < count;) {
    if (std::chrono::steady_clock::now() > end) {
      ADD_FAILURE() << "the trace did not reach " << count << " lines within " << wait.count()
                    << " ms; it has " << lines;
      return false;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

AgentResult finishAgent(AgentSession& session, bool closeStdin, const std::string& input) {
  // Feeds the input while draining stdout and stderr, so that neither side blocks on a full pipe.
  AgentResult result;
  result.out = session.pendingOut;
  size_t written = 0;
  fcntl(session.in, F_SETFL, O_NONBLOCK);
  bool outOpen = session.out >= 0, errOpen = true;
  // A deadline on silence, not on the whole run: an agent under the sanitizers streams a long
  // session slowly but steadily, and one that is stuck says nothing.
  const auto wait = deadline(5000);
  while (outOpen || errOpen) {
    if (closeStdin && session.in >= 0 && written == input.size()) {
      close(session.in);
      session.in = -1;
    }
    pollfd fds[3] = {{session.in >= 0 && written < input.size() ? session.in : -1, POLLOUT, 0},
                     {outOpen ? session.out : -1, POLLIN, 0},
                     {errOpen ? session.err : -1, POLLIN, 0}};
    if (poll(fds, 3, static_cast<int>(wait.count())) <= 0) {
      ADD_FAILURE() << "the agent neither ended nor wrote nor read for " << wait.count()
                    << " ms; killed";
      kill(session.pid, SIGKILL);
      break;
    }
    if (fds[0].revents) {
      ssize_t n = write(session.in, input.data() + written, input.size() - written);
      if (n > 0) written += static_cast<size_t>(n);
      if (n < 0 && errno != EAGAIN && errno != EINTR) written = input.size();  // the agent quit
    }
    if (fds[1].revents) appendAvailable(session.out, &result.out, &outOpen);
    if (fds[2].revents) appendAvailable(session.err, &result.err, &errOpen);
  }
  for (int fd : {session.in, session.out, session.err}) {
    if (fd >= 0) close(fd);
  }
  session.in = session.out = session.err = -1;
  int status = 0;
  while (waitpid(session.pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.exited = WIFEXITED(status);
  result.status = result.exited ? WEXITSTATUS(status) : WTERMSIG(status);
  result.coreDumped = WIFSIGNALED(status) && WCOREDUMP(status);
  readTrace(session.tracePath, &result);
  return result;
}

AgentResult runAgent(const std::string& input, const AgentOptions& options) {
  AgentSession session = startAgent(options);
  if (options.hostClosesStdout) {
    // A host that stopped reading: the agent's writes now fail with EPIPE.
    close(session.out);
    session.out = -1;
  }
  return finishAgent(session, true, input);
}
