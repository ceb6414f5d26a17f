#include "platform/monotonic_clock.h"

#include "platform/quartz.h"

namespace {

// Nanoseconds per tick as a fraction. Apple documents the ratio as fixed for the life of the
// system, so it is asked once; a failed query (never seen) counts ticks as nanoseconds.
mach_timebase_info_data_t timebase() {
  mach_timebase_info_data_t info{};
  if (mach_timebase_info(&info) != KERN_SUCCESS || info.numer == 0 || info.denom == 0) {
    info.numer = 1;
    info.denom = 1;
  }
  return info;
}

}  // namespace

Seconds monotonicSeconds() {
  static const mach_timebase_info_data_t base = timebase();
  // In double: ticks times numer can exceed 64 bits after weeks of uptime on a 125/3 timebase.
  return Seconds(static_cast<double>(mach_absolute_time()) * base.numer / base.denom * 1e-9);
}
