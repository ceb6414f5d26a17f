// The system around the events: the Accessibility permission, Secure Event Input, the wall and
// steady clocks, the macOS version and the pause.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "platform/quartz.h"
#include "platform/simulated/desktop.h"
#include "platform/simulated/simulation.h"

namespace simulated {
namespace {

// A descriptor for path when it is a regular file, else -1. Nothing else is read: a FIFO would
// block the query until someone writes to it, and /dev/stdin would take the host's commands;
// anything else reads as a missing file does. It is checked before opening (opening some devices
// does something) and again on what was opened.
int openRegularFile(const std::string& path) {
  struct stat named {};
  if (stat(path.c_str(), &named) != 0 || !S_ISREG(named.st_mode)) return -1;
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat opened {};
  if (fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode)) return fd;
  close(fd);
  return -1;
}

// The steady clock ticks as Apple silicon's does, at 24 MHz: a tick is 125/3 nanoseconds
// (mach_timebase_info answers 125/3 there, 1/1 on Intel Macs), so that the product's conversion
// from ticks is exercised, not skipped by a ratio of one.
constexpr uint32_t kTimebaseNumer = 125;
constexpr uint32_t kTimebaseDenom = 3;

// A fixed clock's seconds as ticks, saturating (a test may set any time at all).
uint64_t ticksOf(double seconds) {
  const double ticks = std::round(seconds * 1e9 * kTimebaseDenom / kTimebaseNumer);
  if (!(ticks > 0)) return 0;
  if (ticks >= 18446744073709551615.0) return UINT64_MAX;
  return static_cast<uint64_t>(ticks);
}

double realAbsoluteTime() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  // Absolute time counts from 2001-01-01 00:00:00 UTC.
  return static_cast<double>(now.tv_sec) - 978307200.0 + static_cast<double>(now.tv_nsec) * 1e-9;
}

}  // namespace

bool fileStartsWithOne(const std::string& path) {
  const int fd = openRegularFile(path);
  if (fd < 0) return false;
  char first = 0;
  const bool one = read(fd, &first, 1) == 1 && first == '1';
  close(fd);
  return one;
}

// A line longer than any setting needs is refused rather than cut, so that a cut list cannot read
// as another one.
bool readFirstLine(const std::string& path, std::string* line) {
  constexpr size_t kLongestLine = 64 * 1024;
  line->clear();
  const int fd = openRegularFile(path);
  if (fd < 0) return false;
  bool whole = true;
  char buffer[512];
  while (whole) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      whole = got == 0;  // the end of the file ends the line
      break;
    }
    const char* end = std::find(buffer, buffer + got, '\n');
    line->append(buffer, static_cast<size_t>(end - buffer));
    whole = line->size() <= kLongestLine;
    if (end != buffer + got) break;
  }
  close(fd);
  if (!whole) line->clear();
  return whole;
}

}  // namespace simulated

using simulated::desktop;

extern "C" {

Boolean AXIsProcessTrusted(void) {
  const simulated::Desktop& d = desktop();
  if (d.trustFile.empty()) return d.trusted ? 1 : 0;
  return simulated::fileStartsWithOne(d.trustFile) ? 1 : 0;
}

Boolean IsSecureEventInputEnabled(void) {
  const simulated::Desktop& d = desktop();
  return !d.secureInputFile.empty() && simulated::fileStartsWithOne(d.secureInputFile) ? 1 : 0;
}

CFAbsoluteTime CFAbsoluteTimeGetCurrent(void) {
  const simulated::Desktop& d = desktop();
  return (d.fixedClock ? d.clock : simulated::realAbsoluteTime()) + d.wallStep;
}

kern_return_t mach_timebase_info(mach_timebase_info_t info) {
  info->numer = simulated::kTimebaseNumer;
  info->denom = simulated::kTimebaseDenom;
  return KERN_SUCCESS;
}

uint64_t mach_absolute_time(void) {
  const simulated::Desktop& d = desktop();
  if (d.fixedClock) return simulated::ticksOf(d.clock);
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  // Whole seconds and the rest apart, so that no product leaves 64 bits.
  constexpr uint64_t kTicksPerSecond =
      1000000000u / simulated::kTimebaseNumer * simulated::kTimebaseDenom;
  static_assert(kTicksPerSecond == 24000000);
  return static_cast<uint64_t>(now.tv_sec) * kTicksPerSecond +
         static_cast<uint64_t>(now.tv_nsec) * simulated::kTimebaseDenom / simulated::kTimebaseNumer;
}

// Only "kern.osproductversion" is answered, as "MAJOR.0".
int sysctlbyname(const char* name, void* oldp, size_t* oldlenp, void*, size_t) {
  const simulated::Desktop& d = desktop();
  if (name == nullptr || std::strcmp(name, "kern.osproductversion") != 0 || oldlenp == nullptr) {
    errno = ENOENT;
    return -1;
  }
  char version[32];
  int length = std::snprintf(version, sizeof version, "%d.0", d.macOSMajor);
  size_t needed = static_cast<size_t>(length) + 1;
  if (oldp != nullptr) {
    if (*oldlenp < needed) {
      errno = ENOMEM;
      return -1;
    }
    std::memcpy(oldp, version, needed);
  }
  *oldlenp = needed;
  return 0;
}

// The platform's pause. Real unless a test made pauses instant; then it only counts. Either way it
// moves a set clock on, so that time-dependent logic and the times of posted events see the pause.
int usleep(useconds_t microseconds) {
  simulated::Desktop& d = desktop();
  d.sleptMicroseconds += microseconds;
  if (d.fixedClock) d.clock += microseconds * 1e-6;
  if (d.instantSleep) return 0;
  timespec remaining{static_cast<time_t>(microseconds / 1000000),
                     static_cast<long>(microseconds % 1000000) * 1000};
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
  return 0;
}

}  // extern "C"

void simSetClock(double absoluteTime) {
  desktop().fixedClock = true;
  desktop().clock = absoluteTime;
}

void simStepWallClock(double seconds) { desktop().wallStep += seconds; }

void simSetInstantSleep(bool instant) { desktop().instantSleep = instant; }
uint64_t simSleptMicroseconds() { return desktop().sleptMicroseconds; }
