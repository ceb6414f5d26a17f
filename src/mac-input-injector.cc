// The agent's entry point: its options, then the command loop on the standard streams.
#include <unistd.h>

#include <csignal>
#include <cstring>

#include "command_loop.h"
#include "ending_signals.h"
#include "line_protocol.h"
#include "self_test.h"
#include "session.h"

namespace {

constexpr char kVersionLine[] = "Trelvane Mac keyboard 20260910-R2 HID\n";

}  // namespace

int main(int argc, char** argv) {
  // A host that closes our stdout must not kill the agent before it releases what is held; the
  // failed writes are ignored and the loop ends at end of input as usual. A one-line answer to an
  // option that cannot be written is a failure, not a death by signal.
  std::signal(SIGPIPE, SIG_IGN);
  // Success only once the line is written: a host reading a closed or full stdout got nothing.
  if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
    return writeLineIfRoom(STDOUT_FILENO, kVersionLine) ? 0 : 1;
  }
  // The one session of the process. Static, so that it outlives main's return and whatever runs
  // at exit: the HID keyboard source is the system's to release when the process ends.
  static Session session;
  if (argc > 1 && std::strcmp(argv[1], "--self-test") == 0) return selftest::main(session);
  // For hosts that send physical positions as VKs (a web client mapping KeyboardEvent.code).
  if (argc > 1 && std::strcmp(argv[1], "--positional-keys") == 0) {
    session.keyboard.setPositionalKeys(true);
  }
  catchEndingSignals();
  HostChannel host(session);
  startCommandChannel(host, STDOUT_FILENO);
  return runCommandLoop(host, STDIN_FILENO, STDOUT_FILENO);
}
