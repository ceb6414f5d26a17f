// libFuzzer target: arbitrary bytes as one host session through the real command loop.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/fuzz_session.h"

namespace {
// Standard error as it was at start: scripts/fuzz.sh silences the agent's own stderr with
// -close_fd_mask=2, and a broken invariant must still be reported.
int reportFd = 2;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  reportFd = dup(2);
  if (reportFd < 0) reportFd = 2;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string broken = runFuzzSession(data, size);
  if (!broken.empty()) {
    std::string report = "broken invariant: " + broken + "\n";
    if (write(reportFd, report.data(), report.size()) < 0) std::abort();
    std::abort();
  }
  return 0;
}
