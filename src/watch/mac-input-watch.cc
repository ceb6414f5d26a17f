// mac-input-watch [--seconds N]: prints every keyboard and pointer event of the login session as
// one JSON line on stdout (watch/event_line.h), so that what the agent posted can be compared with
// what the system delivered. Ends on an ending signal (those that end the agent,
// src/ending_signals.h), at the end of its stdin, or after N seconds.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "watch/event_tap.h"

namespace {

constexpr int kUsage = 2;

int usage() {
  std::fputs("usage: mac-input-watch [--seconds N]\n", stderr);
  return kUsage;
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--seconds") != 0 || i + 1 == argc) return usage();
    char* end = nullptr;
    seconds = std::strtod(argv[++i], &end);
    if (end == argv[i] || *end != '\0' || !std::isfinite(seconds) || seconds <= 0) return usage();
  }
  return watchEvents(seconds);
}
