#include "ending_signals.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <initializer_list>

namespace {

// The signals a host or a user sends to end a process, and those whose default action ends it that
// the agent has no other use for (a stray SIGUSR1 or an alarm must not leave keys held either).
constexpr int kEndingSignals[] = {SIGTERM, SIGINT,  SIGHUP,    SIGQUIT, SIGUSR1,
                                  SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF};

// The signal that is to end the agent, once one came; and the self-pipe its handler writes to, so
// that a wait for input or output sees it (both -1 until catchEndingSignals made them).
volatile sig_atomic_t caughtSignal = 0;
int wakeRead = -1;
int wakeWrite = -1;

// Async-signal-safe: it records the signal and wakes whatever waits.
void onEndingSignal(int number) {
  const int savedErrno = errno;
  if (caughtSignal == 0) caughtSignal = number;
  const char byte = 0;
  const ssize_t ignored = write(wakeWrite, &byte, 1);  // a full pipe is awake already
  (void)ignored;
  errno = savedErrno;
}

// The descriptor moved above the standard ones (an agent started with one of them closed would
// otherwise get its self-pipe there), close-on-exec and non-blocking.
int preparedPipeEnd(int fd) {
  if (fd >= 0 && fd <= STDERR_FILENO) {
    const int moved = fcntl(fd, F_DUPFD, STDERR_FILENO + 1);
    close(fd);
    fd = moved;
  }
  if (fd < 0) return -1;
  fcntl(fd, F_SETFD, FD_CLOEXEC);
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  return fd;
}

}  // namespace

int endingSignal() { return caughtSignal; }

int endingSignalDescriptor() { return wakeRead; }

void endBySignal(int number) {
  // The host sees the signal in the exit status; a core file of an agent that ended as asked
  // would only litter the host's working directory (SIGQUIT's default is to dump one).
  const rlimit noCore{0, 0};
  setrlimit(RLIMIT_CORE, &noCore);
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(number, &action, nullptr);
  sigset_t unblocked;
  sigemptyset(&unblocked);
  sigaddset(&unblocked, number);
  sigprocmask(SIG_UNBLOCK, &unblocked, nullptr);
  raise(number);
  _exit(128 + number);  // only if the signal could not end the process
}

void catchEndingSignals() {
  int ends[2];
  if (pipe(ends) != 0) return;  // without a self-pipe the signals keep their default action
  const int readEnd = preparedPipeEnd(ends[0]);
  const int writeEnd = preparedPipeEnd(ends[1]);
  if (readEnd < 0 || writeEnd < 0) {
    for (int fd : {readEnd, writeEnd}) {
      if (fd >= 0) close(fd);
    }
    return;
  }
  wakeRead = readEnd;
  wakeWrite = writeEnd;
  struct sigaction action {};
  action.sa_handler = onEndingSignal;
  sigemptyset(&action.sa_mask);
  for (int number : kEndingSignals) sigaddset(&action.sa_mask, number);
  // No SA_RESTART: a blocking read or write returns, and the loop looks at the signal.
  action.sa_flags = 0;
  sigset_t caught;
  sigemptyset(&caught);
  for (int number : kEndingSignals) {
    // A signal ignored by whoever started the agent (nohup, a background job) stays ignored.
    struct sigaction previous {};
    if (sigaction(number, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
    if (sigaction(number, &action, nullptr) == 0) sigaddset(&caught, number);
  }
  // The signal mask is inherited: one blocked by whoever started the agent would stay pending, and
  // the agent would never end by it. Unblocked once caught, one already pending comes now, to the
  // handler.
  sigprocmask(SIG_UNBLOCK, &caught, nullptr);
}
