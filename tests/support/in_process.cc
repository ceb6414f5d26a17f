#include "support/in_process.h"

#include <cstdio>
#include <cstdlib>

#include "keyboard/key_events.h"
#include "mac-input-injector.h"
#include "platform/simulation.h"
#include "pointer/buttons.h"

void resetAgent() {
  resetKeyboardState();
  resetPointerState();
  simReset();
  setLastTrusted(true);
}

std::string runLoop(const std::string& input) {
  FILE* in = fmemopen(const_cast<char*>(input.data()), input.size(), "r");
  if (input.empty()) in = std::fopen("/dev/null", "r");
  char* buffer = nullptr;
  size_t size = 0;
  FILE* out = open_memstream(&buffer, &size);
  runCommandLoop(in, out);
  std::fclose(in);
  std::fclose(out);
  std::string written(buffer, size);
  std::free(buffer);
  return written;
}

std::vector<std::string> postedTrace() {
  std::vector<std::string> lines;
  for (const SimEvent& event : simPostedEvents()) lines.push_back(simTraceLine(event));
  return lines;
}
