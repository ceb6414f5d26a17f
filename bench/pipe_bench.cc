// The agent against the floor of its protocol, each run as a host runs it: a child process whose
// stdin is a pipe, and stdout a pipe or (--socket 1) a socket pair, as hosts on event loops pass.
// Measures the CPU time and memory each needs for a generated stream of commands, and the round
// trip of single commands; prints a table with the targets.
//
//   mii_pipe_bench [--commands N] [--round-trips N] [--runs N] [--socket 0|1] [--agent PATH]
//                  [--floor PATH]
//
// Every stream run checks that the floor's replies equal the agent's byte for byte: a floor that
// answered differently would not be the floor of this agent.
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
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

#include "child_process.h"
#include "command_stream.h"

// CPU pinning and the memory figures come from Linux's own interfaces; elsewhere (a Mac) the
// benchmark runs unpinned and prints no memory rows.
#if defined(__linux__)
#define MII_BENCH_LINUX 1
#else
#define MII_BENCH_LINUX 0
#endif

namespace {

double secondsNow() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The children's stdout: a pipe, or with --socket 1 a socket pair.
bool socketStdout = false;

struct StreamRun {
  double seconds = 0;
  double cpuSeconds = 0;
  double peakRssKiB = 0;
  double privateDirtyKiB = 0;
  std::string output;  // every reply after the banner
};

// A figure in KiB from a running process's own accounting: `key` in /proc/PID/`file`. Read from
// the process itself, because the rusage of a child would also count the memory of this process
// that the child shared between fork, or vfork, and exec: the stream alone is megabytes.
double procKiB([[maybe_unused]] pid_t pid, [[maybe_unused]] const char* file,
               [[maybe_unused]] std::string_view key) {
#if !MII_BENCH_LINUX
  return 0;
#else
  std::string path = "/proc/" + std::to_string(pid) + "/" + file;
  FILE* stream = std::fopen(path.c_str(), "r");
  if (stream == nullptr) fail("cannot read " + path);
  char line[256];
  double kib = -1;
  while (std::fgets(line, sizeof line, stream) != nullptr) {
    if (std::strncmp(line, key.data(), key.size()) == 0) kib = std::atof(line + key.size());
  }
  std::fclose(stream);
  if (kib < 0) fail("no " + std::string(key) + " in " + path);
  return kib;
#endif
}

// Feeds the whole stream and reads every reply, from one thread; the clock runs from the first byte
// written (the banner already read) to the end of the child's output. The reply to the stream's
// last command, a PING, shows every command handled: the memory figures are read then, before
// stdin is closed.
StreamRun runStream(const std::string& path, const std::string& stream, size_t replies) {
  // With a CPU to spare, the host polls without sleeping: a host asleep in poll is woken by the
  // child's next reply, and the child's CPU time counts that wake-up (on one 2-core machine, the
  // agent's CPU per command rose from 0.8-1.0 us to 1.1-1.5 us). A poll that never waits rather
  // than reads that fail, because a read takes the pipe's lock, which the child's next write
  // would wait for.
#if MII_BENCH_LINUX
  cpu_set_t allowed;
  const bool spin = sched_getaffinity(0, sizeof allowed, &allowed) == 0 && CPU_COUNT(&allowed) > 1;
#else
  const bool spin = sysconf(_SC_NPROCESSORS_ONLN) > 1;
#endif
  Child child = spawn(path, socketStdout);
  std::string banner;
  readLine(child.out, &banner);
  fcntl(child.in, F_SETFL, fcntl(child.in, F_GETFL) | O_NONBLOCK);
  StreamRun run;
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
          run.peakRssKiB = procKiB(child.pid, "status", "VmHWM:");
          run.privateDirtyKiB = procKiB(child.pid, "smaps_rollup", "Private_Dirty:");
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
  run.cpuSeconds = finish(child);
  if (linesRead != replies) {
    errno = 0;
    fail(path + " wrote " + std::to_string(linesRead) + " replies, not " + std::to_string(replies));
  }
  return run;
}

// The machine's load average over the last minute: the benchmarks share the machine.
std::string loadAverage() {
  double load = 0;
  if (getloadavg(&load, 1) != 1) return "?";
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", load);
  return text;
}

// The sample at fraction q of the sorted samples: 0.5 the median, 0.99 the 99th percentile.
double percentile(std::vector<double> samples, double q) {
  std::sort(samples.begin(), samples.end());
  return samples[static_cast<size_t>(q * static_cast<double>(samples.size() - 1) + 0.5)];
}

// Round trips of one host: write a command, block until its reply line has arrived. Agent and
// floor run side by side and take turns command by command, so that both see the same machine.
// The host and both children share one CPU: on two cores the scheduler would otherwise put one
// child beside the host (a hand-over of about 5 us) and the other across (a wake-up from idle of
// about 30 us, and jitter that dwarfs what the agent does), at random.
void roundTrips(const std::string& agentPath, const std::string& floorPath,
                const std::vector<std::string>& commands, size_t total,
                std::vector<double>* agentMicros, std::vector<double>* floorMicros) {
#if MII_BENCH_LINUX
  cpu_set_t allowed;
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(sched_getcpu(), &one);
  if (sched_getaffinity(0, sizeof allowed, &allowed) != 0 ||
      sched_setaffinity(0, sizeof one, &one) != 0) {
    fail("sched_setaffinity");
  }
#endif
  Child children[2] = {spawn(agentPath, socketStdout), spawn(floorPath, socketStdout)};
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
#if MII_BENCH_LINUX
  sched_setaffinity(0, sizeof allowed, &allowed);
#endif
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

// A row of the table, figures with `decimals` places; a measure with no target shows none.
void row(const char* measure, double agent, double floor, int decimals, const char* target = "",
         bool met = true) {
  std::printf("| %-38s | %12.*f | %12.*f | %6.3f | %-13s | %-4s |\n", measure, decimals, agent,
              decimals, floor, agent / floor, target,
              *target == '\0' ? ""
              : met           ? "met"
                              : "MISS");
}

}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);
  size_t commandCount = 1000000;
  size_t roundTripCount = 100000;
  size_t runs = 5;
  std::string agentPath = MII_AGENT_PATH;
  std::string floorPath = MII_FLOOR_PATH;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (i + 1 >= argc) {
      errno = 0;
      fail(
          "usage: mii_pipe_bench [--commands N] [--round-trips N] [--runs N] [--socket 0|1] "
          "[--agent PATH] [--floor PATH]");
    }
    const char* value = argv[++i];
    if (arg == "--commands") {
      commandCount = parseCount(value);
    } else if (arg == "--round-trips") {
      roundTripCount = parseCount(value);
    } else if (arg == "--runs") {
      runs = parseCount(value);
    } else if (arg == "--socket") {
      socketStdout = std::string_view(value) == "1";
    } else if (arg == "--agent") {
      agentPath = value;
    } else if (arg == "--floor") {
      floorPath = value;
    } else {
      errno = 0;
      fail("unknown option " + std::string(arg));
    }
  }

  std::printf("load average at start: %s; stdout a %s\n", loadAverage().c_str(),
              socketStdout ? "socket pair" : "pipe");
  CommandMix mix;
  std::string stream = generateCommandStream(commandCount, &mix);
  std::printf(
      "stream: %zu commands, %zu bytes: MOVE %zu, KEYDOWN %zu, KEYUP %zu, MOUSEDOWN %zu, "
      "MOUSEUP %zu, WHEEL %zu, HWHEEL %zu, GETPOS %zu, PING %zu, TEXT %zu; %zu replies\n",
      commandCount, stream.size(), mix.move, mix.keyDown, mix.keyUp, mix.mouseDown, mix.mouseUp,
      mix.wheel, mix.hwheel, mix.getPos, mix.ping, mix.text, mix.replies());
  std::fflush(stdout);

  // The stream, agent and floor in turn: CPU time and throughput are the runs' medians, memory
  // the most any run held.
  std::vector<double> agentCpu, floorCpu, agentRate, floorRate;
  double agentRss = 0, floorRss = 0, agentDirty = 0, floorDirty = 0;
  const double commands = static_cast<double>(commandCount);
  for (size_t run = 0; run < runs; ++run) {
    StreamRun agentRun = runStream(agentPath, stream, mix.replies());
    StreamRun floorRun = runStream(floorPath, stream, mix.replies());
    if (agentRun.output != floorRun.output) {
      auto at = std::mismatch(agentRun.output.begin(), agentRun.output.end(),
                              floorRun.output.begin(), floorRun.output.end());
      errno = 0;
      fail("the floor's replies differ from the agent's at reply " +
           std::to_string(std::count(agentRun.output.begin(), at.first, '\n') + 1));
    }
    agentCpu.push_back(agentRun.cpuSeconds / commands * 1e6);
    floorCpu.push_back(floorRun.cpuSeconds / commands * 1e6);
    agentRate.push_back(commands / agentRun.seconds);
    floorRate.push_back(commands / floorRun.seconds);
    agentRss = std::max(agentRss, agentRun.peakRssKiB);
    floorRss = std::max(floorRss, floorRun.peakRssKiB);
    agentDirty = std::max(agentDirty, agentRun.privateDirtyKiB);
    floorDirty = std::max(floorDirty, floorRun.privateDirtyKiB);
    std::printf("stream run %zu: agent %.3f us CPU per command", run + 1, agentCpu.back());
    if (MII_BENCH_LINUX) std::printf(", %.0f KiB private dirty", agentRun.privateDirtyKiB);
    std::printf("; floor %.3f us", floorCpu.back());
    if (MII_BENCH_LINUX) std::printf(", %.0f KiB", floorRun.privateDirtyKiB);
    std::printf("\n");
    std::fflush(stdout);
  }

  std::vector<double> agentPing, floorPing, agentKey, floorKey;
  roundTrips(agentPath, floorPath, {"PING\n"}, roundTripCount, &agentPing, &floorPing);
  roundTrips(agentPath, floorPath, {"KEYDOWN 65\n", "KEYUP 65\n"}, roundTripCount, &agentKey,
             &floorKey);
  const double agentPingMedian = percentile(agentPing, 0.5);
  const double floorPingMedian = percentile(floorPing, 0.5);
  const double agentKeyMedian = percentile(agentKey, 0.5);
  const double floorKeyMedian = percentile(floorKey, 0.5);
  const double agentCpuMedian = percentile(agentCpu, 0.5);

  std::printf("load average at end: %s\n\n", loadAverage().c_str());
  std::printf("| %-38s | %12s | %12s | %6s | %-13s | %-4s |\n", "measure", "agent", "floor",
              "ratio", "target", "");
  std::printf(
      "|----------------------------------------|--------------|--------------|--------|"
      "---------------|------|\n");
  row("round trip PING, median (us)", agentPingMedian, floorPingMedian, 2, "<= 1.1x floor",
      agentPingMedian <= 1.1 * floorPingMedian);
  row("round trip PING, p99 (us)", percentile(agentPing, 0.99), percentile(floorPing, 0.99), 2);
  row("round trip KEYDOWN/KEYUP, median (us)", agentKeyMedian, floorKeyMedian, 2, "<= 1.1x floor",
      agentKeyMedian <= 1.1 * floorKeyMedian);
  row("round trip KEYDOWN/KEYUP, p99 (us)", percentile(agentKey, 0.99), percentile(floorKey, 0.99),
      2);
  row("CPU per command (us)", agentCpuMedian, percentile(floorCpu, 0.5), 3, "<= 1.0",
      agentCpuMedian <= 1.0);
  if (MII_BENCH_LINUX) {
    row("private dirty after the stream (KiB)", agentDirty, floorDirty, 0, "<= 512",
        agentDirty <= 512);
    row("peak RSS over the stream (KiB)", agentRss, floorRss, 0);
  }
  row("throughput (commands/s)", percentile(agentRate, 0.5), percentile(floorRate, 0.5), 0);
  return 0;
}
