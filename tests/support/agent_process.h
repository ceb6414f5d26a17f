// Runs the built agent as a host would: a child process fed on stdin, its stdout, stderr, exit
// status and posted-event trace collected.
#pragma once

#include <sys/types.h>
#include <string>
#include <utility>
#include <vector>

struct AgentOptions {
  std::vector<std::string> args;
  // MII_SIM_* knobs; the parent's own MII_SIM_* variables are never inherited, and MII_SIM_TRACE
  // is always a fresh file.
  std::vector<std::pair<std::string, std::string>> env;
  bool closedStdin = false;         // the agent starts with no standard input at all
  bool closedStdout = false;        // the agent starts with no standard output at all
  bool closedStderr = false;        // the agent starts with no standard error at all
  bool hostClosesStdout = false;    // runAgent closes its end of the agent's stdout before writing
  bool socketStdout = false;        // the agent's stdout is a socket pair's end, as Node hosts pass
  bool stderrToStdout = false;      // the agent's stderr is its stdout, as 2>&1 makes it
  bool nonBlockingPipes = false;    // the agent's stdin and stdout are non-blocking, as some hosts
                                    // pass them
  std::vector<int> ignoredSignals;  // the agent starts with these ignored, as under nohup
  std::vector<int> blockedSignals;  // the agent starts with these blocked in its signal mask
  std::vector<int> pendingSignals;  // blocked too, and already sent when the agent starts
};

struct AgentResult {
  std::string out;
  std::string err;
  bool exited = false;             // false when a signal ended it
  int status = -1;                 // exit status, or the signal number when !exited
  bool coreDumped = false;         // the signal left a core file
  std::vector<std::string> trace;  // every line of the trace, the exit line included
  // The posted events of the trace, described (support/describe.h). A line that is not an event
  // in order fails the test.
  std::vector<std::string> posted;
  // When each of those was posted (CFAbsoluteTimeGetCurrent, the real clock), in the same order.
  std::vector<double> postedTimes;
  // From the trace's exit line, all -1 without one (a signal ended the agent): the event sources
  // found alive, how many times user activity was declared, and when the line was written. An
  // event, a string or a power assertion still alive at exit fails the test.
  long sourcesAtExit = -1;
  long userActivity = -1;
  double exitTime = -1;
};

// Starts an agent, feeds it input, closes stdin, and waits for it to end.
AgentResult runAgent(const std::string& input, const AgentOptions& options = {});

// A running agent for conversations: write, read replies, change knobs' files between lines.
struct AgentSession {
  pid_t pid = -1;
  int in = -1;
  int out = -1;
  int err = -1;
  std::string tracePath;
  std::string pendingOut;
};

AgentSession startAgent(const AgentOptions& options = {});
// Fails the test, and gives up, when the agent takes none of it for a few seconds.
void sendToAgent(AgentSession& session, const std::string& text);
// Every wait below fails the test, saying what it waited for, when its deadline passes: a few
// seconds, times MII_TEST_TIME_SCALE (for an agent under Valgrind).
// The next stdout line without its line feed; empty at the end, or after 5 seconds without one.
std::string readAgentLine(AgentSession& session);
// Writes input, closes stdin (unless closeStdin is false) and collects the rest until the agent
// ends; one that neither ends nor takes input nor writes for 5 seconds is killed (SIGKILL).
AgentResult finishAgent(AgentSession& session, bool closeStdin = true,
                        const std::string& input = "");
// Waits until the trace holds at least count lines; false after timeoutMs.
bool waitForTrace(const AgentSession& session, size_t count, int timeoutMs = 5000);
