// SIGTERM, SIGINT, SIGHUP and SIGQUIT end the agent only between commands: the command in progress
// finishes, whatever the host left held is released, and then the process ends by that signal.
#pragma once

// Catches the four signals, unless the agent was started with one ignored (nohup, a background
// job), which stays ignored. For main only; until then the signals keep their default action.
void catchEndingSignals();

// The signal that is to end the agent, or 0 while none came.
int endingSignal();

// Readable once such a signal came, so that waiting for input or output can watch it; -1 when the
// signals are not caught.
int endingSignalDescriptor();

// Ends the process by the signal, as the host that sent it expects to see.
[[noreturn]] void endBySignal(int number);
