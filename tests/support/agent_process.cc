#include "support/agent_process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace {

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

std::string temporaryPath(const std::string& name) {
  static std::string dir = [] {
    char pattern[] = "/tmp/mii-test-XXXXXX";
    char* made = mkdtemp(pattern);
    if (made == nullptr) throw std::runtime_error("mkdtemp failed");
    return std::string(made);
  }();
  static int counter = 0;
  return dir + "/" + std::to_string(getpid()) + "-" + std::to_string(++counter) + "-" + name;
}

AgentSession startAgent(const AgentOptions& options) {
  AgentSession session;
  int in[2], out[2], err[2];
  check(pipe(in) == 0 && pipe(out) == 0 && pipe(err) == 0, "pipe");

  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::strncmp(*e, "MII_SIM_", 8) != 0) env.emplace_back(*e);
  }
  if (options.trace) {
    session.tracePath = temporaryPath("trace.jsonl");
    env.push_back("MII_SIM_TRACE=" + session.tracePath);
  }
  for (const auto& [name, value] : options.env) env.push_back(name + "=" + value);
  std::vector<std::string> args = {MII_AGENT_PATH};
  args.insert(args.end(), options.args.begin(), options.args.end());

  std::vector<char*> argv, envp;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

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
    dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    if (options.nonBlockingPipes) {
      // Only the agent holds these ends: the flag set on them is never seen by the test's side.
      fcntl(0, F_SETFL, fcntl(0, F_GETFL) | O_NONBLOCK);
      fcntl(1, F_SETFL, fcntl(1, F_GETFL) | O_NONBLOCK);
    }
    // The agent starts with the dispositions a test asks for, not those this process inherited (a
    // background job of a script starts with SIGINT and SIGQUIT ignored).
    for (int number : {SIGPIPE, SIGTERM, SIGINT, SIGHUP, SIGQUIT}) signal(number, SIG_DFL);
    for (int number : options.ignoredSignals) signal(number, SIG_IGN);
    const rlimit noCore{0, 0};  // an agent ended by SIGQUIT leaves no core file behind
    setrlimit(RLIMIT_CORE, &noCore);
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

AgentSession startAgentTrustingFile(const std::string& trustPath) {
  AgentOptions options;
  options.env = {{"MII_SIM_TRUST_FILE", trustPath}};
  return startAgent(options);
}

void sendToAgent(AgentSession& session, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(session.in, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    check(n > 0, "write to agent");
    done += static_cast<size_t>(n);
  }
}

std::string readAgentLine(AgentSession& session, int timeoutMs, bool* ok) {
  for (;;) {
    size_t newline = session.pendingOut.find('\n');
    if (newline != std::string::npos) {
      std::string line = session.pendingOut.substr(0, newline);
      session.pendingOut.erase(0, newline + 1);
      if (ok) *ok = true;
      return line;
    }
    pollfd p{session.out, POLLIN, 0};
    int ready = poll(&p, 1, timeoutMs);
    if (ready <= 0) break;
    bool open = true;
    appendAvailable(session.out, &session.pendingOut, &open);
    if (!open) break;
  }
  if (ok) *ok = false;
  return {};
}

void signalAgent(const AgentSession& session, int signal) { kill(session.pid, signal); }

bool waitForTrace(const AgentSession& session, size_t count, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (readLines(session.tracePath).size() < count) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

AgentResult finishAgent(AgentSession& session, bool closeStdin) {
  if (closeStdin && session.in >= 0) {
    close(session.in);
    session.in = -1;
  }
  AgentResult result;
  result.out = session.pendingOut;
  bool outOpen = session.out >= 0, errOpen = true;
  while (outOpen || errOpen) {
    pollfd fds[2] = {{outOpen ? session.out : -1, POLLIN, 0},
                     {errOpen ? session.err : -1, POLLIN, 0}};
    if (poll(fds, 2, 30000) <= 0) {
      kill(session.pid, SIGKILL);
      break;
    }
    if (fds[0].revents) appendAvailable(session.out, &result.out, &outOpen);
    if (fds[1].revents) appendAvailable(session.err, &result.err, &errOpen);
  }
  if (session.in >= 0) close(session.in);
  session.in = -1;
  if (session.out >= 0) close(session.out);
  close(session.err);
  int status = 0;
  while (waitpid(session.pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.exited = WIFEXITED(status);
  result.status = result.exited ? WEXITSTATUS(status) : WTERMSIG(status);
  if (!session.tracePath.empty()) result.trace = readLines(session.tracePath);
  return result;
}

AgentResult runAgent(const std::string& input, const AgentOptions& options) {
  AgentSession session = startAgent(options);
  if (options.hostClosesStdout) {
    // A host that stopped reading: the agent's writes now fail with EPIPE.
    close(session.out);
    session.out = -1;
  }
  // Feed stdin while draining stdout and stderr, so neither side blocks on a full pipe.
  AgentResult result;
  fcntl(session.in, F_SETFL, O_NONBLOCK);
  size_t written = 0;
  bool outOpen = session.out >= 0, errOpen = true;
  while (session.in >= 0) {
    if (written == input.size()) {
      close(session.in);
      session.in = -1;
      break;
    }
    pollfd fds[3] = {{session.in, POLLOUT, 0},
                     {outOpen ? session.out : -1, POLLIN, 0},
                     {errOpen ? session.err : -1, POLLIN, 0}};
    if (poll(fds, 3, 30000) <= 0) break;
    if (fds[0].revents & (POLLERR | POLLHUP)) {
      close(session.in);  // the agent stopped reading: it quit
      session.in = -1;
      break;
    }
    if (fds[0].revents & POLLOUT) {
      ssize_t n = write(session.in, input.data() + written, input.size() - written);
      if (n > 0) written += static_cast<size_t>(n);
      if (n < 0 && errno == EPIPE) {
        close(session.in);
        session.in = -1;
        break;
      }
    }
    if (fds[1].revents) appendAvailable(session.out, &session.pendingOut, &outOpen);
    if (fds[2].revents) appendAvailable(session.err, &result.err, &errOpen);
  }
  std::string err = result.err;
  result = finishAgent(session);
  result.err = err + result.err;
  return result;
}

std::vector<std::string> postedLines(const AgentResult& result) {
  std::vector<std::string> lines;
  for (const std::string& line : result.trace) {
    if (line.rfind("{\"exit\"", 0) != 0) lines.push_back(line);
  }
  return lines;
}
