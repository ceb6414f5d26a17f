// The agent against the floor of its protocol, each run as a host runs it: a child process whose
// stdin and stdout are pipes. Measures throughput over a generated stream of commands, the round
// trip of single commands, and the peak resident memory over the throughput run; prints a table.
//
//   mii_pipe_bench [--commands N] [--round-trips N] [--runs N] [--agent PATH] [--floor PATH]
//                  [--no-check] [--write-stream PATH]
//
// --write-stream writes the command stream to PATH and exits: the input for profiling the agent
// alone, e.g. valgrind --tool=callgrind mac-input-injector < PATH > /dev/null.
//
// Unless --no-check is given, every throughput run checks that the floor's replies equal the
// agent's byte for byte: a floor that answered differently would not be the floor of this agent.
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "command_stream.h"

extern char** environ;

namespace {

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "mii_pipe_bench: %s%s%s\n", what.c_str(), errno ? ": " : "",
               errno ? std::strerror(errno) : "");
  std::exit(1);
}

double secondsNow() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct Child {
  pid_t pid = -1;
  int in = -1;   // the child's stdin, our write end
  int out = -1;  // the child's stdout, our read end
};

// Where the throughput host and its child run. With two CPUs or more the host keeps one and the
// child gets another, and the host waits for replies by polling without sleeping: a host asleep
// in poll must be woken by the child's next reply, and the child pays for that wake-up. The slower
// child finds the host asleep more often, so it paid for more wake-ups per reply, which turned a
// small difference in work into a large and unsteady one in throughput (pairs from 0.64 to 0.87 on
// one machine in one hour). On one CPU the host sleeps in poll as it must.
struct Placement {
  bool split = false;
  int hostCpu = -1;
  int childCpu = -1;
  cpu_set_t allowed;  // the host's own CPUs, given back after the throughput runs
};

Placement choosePlacement() {
  Placement placement;
  if (sched_getaffinity(0, sizeof placement.allowed, &placement.allowed) != 0) {
    fail("sched_getaffinity");
  }
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (!CPU_ISSET(cpu, &placement.allowed)) continue;
    if (placement.hostCpu < 0) {
      placement.hostCpu = cpu;
    } else {
      placement.childCpu = cpu;
      placement.split = true;
      break;
    }
  }
  return placement;
}

void pinTo(int cpu) {
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(cpu, &one);
  if (sched_setaffinity(0, sizeof one, &one) != 0) fail("sched_setaffinity");
}

// Starts a program with pipes on stdin and stdout, stderr inherited, and no MII_SIM_* variable:
// the default simulated desktop, permission granted, no trace.
Child spawn(const std::string& path) {
  int in[2];
  int out[2];
  // Close-on-exec, so that a child started later holds no end of an earlier child's pipes (which
  // would keep that child's stdin from ever reaching end of file).
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) fail("pipe");
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

// Reads up to and including the next LF, one read at a time as a host waiting for a reply does.
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

struct Finished {
  double cpuSeconds = 0;
};

Finished finish(Child& child) {
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
  Finished result;
  result.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                      static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
  return result;
}

struct ThroughputRun {
  double seconds = 0;
  Finished finished;
  long peakRssKiB = 0;
  std::string output;  // every reply after the banner
};

// The peak resident memory of a running process, in KiB, from its own memory map's high-water
// mark. (The rusage of a child would also count the memory of this process that the child shared
// between fork, or vfork, and exec: the stream alone is megabytes.)
long peakResidentKiB(pid_t pid) {
  std::string path = "/proc/" + std::to_string(pid) + "/status";
  FILE* file = std::fopen(path.c_str(), "r");
  if (file == nullptr) fail("cannot read " + path);
  char line[256];
  long kib = -1;
  while (std::fgets(line, sizeof line, file) != nullptr) {
    if (std::strncmp(line, "VmHWM:", 6) == 0) kib = std::strtol(line + 6, nullptr, 10);
  }
  std::fclose(file);
  if (kib < 0) fail("no VmHWM in " + path);
  return kib;
}

// Feeds the whole stream and reads every reply at once, from one thread; the clock runs from the
// first byte written (the banner already read) to the end of the child's output. The reply to the
// stream's last command, a PING, shows every command handled: the peak memory is read then, before
// stdin is closed. The child inherits the CPU it is started on.
ThroughputRun runThroughput(const std::string& path, const std::string& stream, size_t replies,
                            const Placement& placement) {
  if (placement.split) pinTo(placement.childCpu);
  Child child = spawn(path);
  if (placement.split) pinTo(placement.hostCpu);
  std::string banner;
  readLine(child.out, &banner);
  fcntl(child.in, F_SETFL, fcntl(child.in, F_GETFL) | O_NONBLOCK);
  // Polling without sleeping: a poll that never waits, rather than reads that fail, because a read
  // takes the pipe's lock, which the child's next write would then wait for.
  const bool spin = placement.split;
  ThroughputRun run;
  run.output.reserve(replies * 16 + 4096);
  std::vector<char> buffer(1 << 16);
  size_t written = 0;
  size_t linesRead = 0;
  bool open = true;
  double start = secondsNow();
  while (open) {
    pollfd fds[2] = {{child.out, POLLIN, 0}, {child.in, POLLOUT, 0}};
    nfds_t count = written < stream.size() ? 2 : 1;
    if (poll(fds, count, spin ? 0 : -1) < 0) {
      if (errno == EINTR) continue;
      fail("poll");
    }
    if (fds[0].revents != 0) {
      ssize_t n = read(child.out, buffer.data(), buffer.size());
      if (n > 0) {
        run.output.append(buffer.data(), static_cast<size_t>(n));
        linesRead += static_cast<size_t>(std::count(buffer.data(), buffer.data() + n, '\n'));
        if (linesRead >= replies && child.in >= 0) {
          run.peakRssKiB = peakResidentKiB(child.pid);
          close(child.in);
          child.in = -1;
        }
      } else if (n == 0) {
        open = false;
      } else if (errno != EINTR && errno != EAGAIN) {
        fail("read from child");
      }
    }
    if (count == 2 && fds[1].revents != 0) {
      ssize_t n = write(child.in, stream.data() + written,
                        std::min<size_t>(stream.size() - written, 1 << 16));
      if (n > 0) written += static_cast<size_t>(n);
      if (n < 0 && errno != EINTR && errno != EAGAIN) fail("write to child");
    }
  }
  run.seconds = secondsNow() - start;
  run.finished = finish(child);
  if (linesRead != replies) {
    errno = 0;
    fail(path + " wrote " + std::to_string(linesRead) + " replies, not " + std::to_string(replies));
  }
  return run;
}

// The machine's load average over the last minute: the benchmarks share the machine.
std::string loadAverage() {
  char text[64] = "?";
  if (FILE* file = std::fopen("/proc/loadavg", "r")) {
    if (std::fscanf(file, "%63s", text) != 1) text[0] = '\0';
    std::fclose(file);
  }
  return text;
}

struct Percentiles {
  double median = 0;
  double p99 = 0;
};

Percentiles percentiles(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  Percentiles p;
  p.median = samples[samples.size() / 2];
  p.p99 = samples[(samples.size() * 99 + 99) / 100 - 1];
  return p;
}

// Round trips of one host: write a command, block until its reply line has arrived. Agent and
// floor run side by side and take turns command by command, so that both see the same machine.
// The host and both children share one CPU: on two cores the scheduler would otherwise put one
// child beside the host (a hand-over of about 5 us) and the other across (a wake-up from idle of
// about 30 us, and jitter that dwarfs what the agent does), at random.
void roundTrips(const std::string& agentPath, const std::string& floorPath,
                const std::vector<std::string>& commands, size_t total,
                std::vector<double>* agentMicros, std::vector<double>* floorMicros) {
  cpu_set_t allowed;
  if (sched_getaffinity(0, sizeof allowed, &allowed) != 0) fail("sched_getaffinity");
  cpu_set_t one;
  CPU_ZERO(&one);
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (CPU_ISSET(cpu, &allowed)) {
      CPU_SET(cpu, &one);
      break;
    }
  }
  if (sched_setaffinity(0, sizeof one, &one) != 0) fail("sched_setaffinity");
  Child children[2] = {spawn(agentPath), spawn(floorPath)};
  std::vector<double>* samples[2] = {agentMicros, floorMicros};
  std::string line;
  for (Child& child : children) {
    readLine(child.out, &line);
    // Warm up: page in the code paths, let the scheduler settle.
    for (size_t i = 0; i < 2000; ++i) {
      writeAll(child.in, commands[i % commands.size()]);
      readLine(child.out, &line);
    }
  }
  for (size_t i = 0; i < total; ++i) {
    const std::string& command = commands[i % commands.size()];
    // Half of the turns the floor goes first, so neither always follows the other.
    for (int turn = 0; turn < 2; ++turn) {
      int which = turn ^ static_cast<int>((i / commands.size()) & 1);
      double start = secondsNow();
      writeAll(children[which].in, command);
      readLine(children[which].out, &line);
      samples[which]->push_back((secondsNow() - start) * 1e6);
    }
  }
  for (Child& child : children) finish(child);
  sched_setaffinity(0, sizeof allowed, &allowed);
}

size_t parseCount(const char* text) {
  size_t value = 0;
  auto [end, ec] = std::from_chars(text, text + std::strlen(text), value);
  if (ec != std::errc() || *end != '\0' || value == 0) {
    errno = 0;
    fail(std::string("not a positive count: ") + text);
  }
  return value;
}

std::string withThousands(double value) {
  std::string digits = std::to_string(static_cast<long long>(value + 0.5));
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out.push_back(',');
    out.push_back(digits[i]);
  }
  return out;
}

void row(const char* measure, const std::string& agent, const std::string& floor, double ratio,
         const char* target, bool met) {
  std::printf("| %-38s | %12s | %12s | %6.3f | %-8s | %-4s |\n", measure, agent.c_str(),
              floor.c_str(), ratio, target, met ? "met" : "MISS");
}

std::string fixed(double value, int decimals) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  return buffer;
}

}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);
  size_t commandCount = 1000000;
  size_t roundTripCount = 100000;
  size_t runs = 15;
  bool check = true;
  std::string streamPath;
  std::string agentPath = MII_AGENT_PATH;
  std::string floorPath = MII_FLOOR_PATH;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg == "--no-check") {
      check = false;
      continue;
    }
    if (i + 1 >= argc) {
      errno = 0;
      fail(
          "usage: mii_pipe_bench [--commands N] [--round-trips N] [--runs N] [--agent PATH] "
          "[--floor PATH] [--no-check] [--write-stream PATH]");
    }
    const char* value = argv[++i];
    if (arg == "--commands") {
      commandCount = parseCount(value);
    } else if (arg == "--round-trips") {
      roundTripCount = parseCount(value);
    } else if (arg == "--runs") {
      runs = parseCount(value);
    } else if (arg == "--agent") {
      agentPath = value;
    } else if (arg == "--floor") {
      floorPath = value;
    } else if (arg == "--write-stream") {
      streamPath = value;
    } else {
      errno = 0;
      fail("unknown option " + std::string(arg));
    }
  }

  std::printf("load average at start: %s\n", loadAverage().c_str());
  const Placement placement = choosePlacement();
  CommandMix mix;
  std::string stream = generateCommandStream(commandCount, &mix);
  std::printf(
      "stream: %zu commands, %zu bytes: MOVE %zu, KEYDOWN %zu, KEYUP %zu, MOUSEDOWN %zu, "
      "MOUSEUP %zu, WHEEL %zu, HWHEEL %zu, GETPOS %zu, PING %zu, TEXT %zu; %zu replies\n",
      commandCount, stream.size(), mix.move, mix.keyDown, mix.keyUp, mix.mouseDown, mix.mouseUp,
      mix.wheel, mix.hwheel, mix.getPos, mix.ping, mix.text, mix.replies());
  if (placement.split) {
    std::printf("throughput: host on CPU %d, polling without sleeping; the child on CPU %d\n",
                placement.hostCpu, placement.childCpu);
  } else {
    std::printf("throughput: one CPU; the host sleeps in poll\n");
  }
  std::fflush(stdout);
  if (!streamPath.empty()) {
    FILE* file = std::fopen(streamPath.c_str(), "wb");
    if (file == nullptr || std::fwrite(stream.data(), 1, stream.size(), file) != stream.size() ||
        std::fclose(file) != 0) {
      fail("cannot write " + streamPath);
    }
    return 0;
  }

  // Throughput, in pairs of runs, floor and agent back to back: the machine changes less within a
  // pair than across the whole benchmark, so the ratio reported is the median of the pairs' ratios.
  std::vector<double> agentRates, floorRates, pairRatios, agentCpu, floorCpu;
  long agentRss = 0;
  long floorRss = 0;
  for (size_t run = 0; run < runs; ++run) {
    // Every other pair the agent goes first, so that a machine speeding up or slowing down
    // during the benchmark does not always favour the same one.
    ThroughputRun floorRun;
    ThroughputRun agentRun;
    if (run % 2 == 0) {
      floorRun = runThroughput(floorPath, stream, mix.replies(), placement);
      agentRun = runThroughput(agentPath, stream, mix.replies(), placement);
    } else {
      agentRun = runThroughput(agentPath, stream, mix.replies(), placement);
      floorRun = runThroughput(floorPath, stream, mix.replies(), placement);
    }
    if (check && agentRun.output != floorRun.output) {
      size_t at = static_cast<size_t>(std::mismatch(agentRun.output.begin(), agentRun.output.end(),
                                                    floorRun.output.begin(), floorRun.output.end())
                                          .first -
                                      agentRun.output.begin());
      size_t lineStart = at == 0 ? std::string::npos : agentRun.output.rfind('\n', at - 1);
      lineStart = lineStart == std::string::npos ? 0 : lineStart + 1;
      auto lineAt = [lineStart](const std::string& output) {
        std::string_view rest = std::string_view(output).substr(std::min(lineStart, output.size()));
        return std::string(rest.substr(0, rest.find('\n')));
      };
      std::fprintf(stderr,
                   "mii_pipe_bench: the floor's replies differ from the agent's at byte %zu:\n"
                   "  agent: %s\n  floor: %s\n",
                   at, lineAt(agentRun.output).c_str(), lineAt(floorRun.output).c_str());
      return 1;
    }
    floorRates.push_back(static_cast<double>(commandCount) / floorRun.seconds);
    agentRates.push_back(static_cast<double>(commandCount) / agentRun.seconds);
    pairRatios.push_back(agentRates.back() / floorRates.back());
    floorCpu.push_back(floorRun.finished.cpuSeconds);
    agentCpu.push_back(agentRun.finished.cpuSeconds);
    floorRss = std::max(floorRss, floorRun.peakRssKiB);
    agentRss = std::max(agentRss, agentRun.peakRssKiB);
    std::printf(
        "throughput run %zu: agent %s/s (%.2f s CPU), floor %s/s (%.2f s CPU), ratio %.3f\n",
        run + 1, withThousands(agentRates.back()).c_str(), agentCpu.back(),
        withThousands(floorRates.back()).c_str(), floorCpu.back(), pairRatios.back());
    std::fflush(stdout);
  }
  sched_setaffinity(0, sizeof placement.allowed, &placement.allowed);
  auto median = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  };
  double agentRate = median(agentRates);
  double floorRate = median(floorRates);
  double throughputRatio = median(pairRatios);
  std::printf("throughput ratio over %zu pairs: lowest %.3f, median %.3f, highest %.3f\n",
              pairRatios.size(), *std::min_element(pairRatios.begin(), pairRatios.end()),
              throughputRatio, *std::max_element(pairRatios.begin(), pairRatios.end()));
  double agentCpuPerCommand = median(agentCpu) / static_cast<double>(commandCount) * 1e6;
  double floorCpuPerCommand = median(floorCpu) / static_cast<double>(commandCount) * 1e6;

  // Round trips.
  std::vector<double> agentPing, floorPing, agentKey, floorKey;
  roundTrips(agentPath, floorPath, {"PING\n"}, roundTripCount, &agentPing, &floorPing);
  roundTrips(agentPath, floorPath, {"KEYDOWN 65\n", "KEYUP 65\n"}, roundTripCount, &agentKey,
             &floorKey);
  Percentiles ap = percentiles(agentPing);
  Percentiles fp = percentiles(floorPing);
  Percentiles ak = percentiles(agentKey);
  Percentiles fk = percentiles(floorKey);

  std::printf("load average at end: %s\n", loadAverage().c_str());
  std::printf("\n| %-38s | %12s | %12s | %6s | %-8s | %-4s |\n", "measure", "agent", "floor",
              "ratio", "target", "");
  std::printf("|%s|%s|%s|%s|%s|%s|\n", std::string(40, '-').c_str(), std::string(14, '-').c_str(),
              std::string(14, '-').c_str(), std::string(8, '-').c_str(),
              std::string(10, '-').c_str(), std::string(6, '-').c_str());
  row("throughput (commands/s)", withThousands(agentRate), withThousands(floorRate),
      throughputRatio, ">= 0.8", throughputRatio >= 0.8);
  row("CPU per command (us)", fixed(agentCpuPerCommand, 3), fixed(floorCpuPerCommand, 3),
      agentCpuPerCommand / floorCpuPerCommand, "-", true);
  row("round trip PING, median (us)", fixed(ap.median, 2), fixed(fp.median, 2),
      ap.median / fp.median, "<= 1.1", ap.median <= 1.1 * fp.median);
  row("round trip PING, p99 (us)", fixed(ap.p99, 2), fixed(fp.p99, 2), ap.p99 / fp.p99, "-", true);
  row("round trip KEYDOWN/KEYUP, median (us)", fixed(ak.median, 2), fixed(fk.median, 2),
      ak.median / fk.median, "<= 1.1", ak.median <= 1.1 * fk.median);
  row("round trip KEYDOWN/KEYUP, p99 (us)", fixed(ak.p99, 2), fixed(fk.p99, 2), ak.p99 / fk.p99,
      "-", true);
  row("peak RSS, throughput run (KiB)", withThousands(static_cast<double>(agentRss)),
      withThousands(static_cast<double>(floorRss)),
      static_cast<double>(agentRss) / static_cast<double>(floorRss), "<= 1.25",
      agentRss * 100 <= floorRss * 125);
  return 0;
}
