// SIGTERM, SIGINT, SIGHUP and SIGQUIT, and the other signals whose default is to end the process
// (SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF), end the agent only between commands: the command
// in progress finishes, whatever the host left held is released, and then the process ends by that
// signal (the first one to come, when several do).
#pragma once

// Catches those signals and unblocks them, should the agent have been started with them blocked,
// unless it was started with one ignored (nohup, a background job), which stays ignored. For main
// only; until then the signals keep their default action.
void catchEndingSignals();

// The signal that is to end the agent, or 0 while none came.
int endingSignal();

// Readable once such a signal came, so that waiting for input or output can watch it; -1 when the
// signals are not caught.
int endingSignalDescriptor();

// Ends the process by the signal, as the host that sent it expects to see, without a core file.
[[noreturn]] void endBySignal(int number);
