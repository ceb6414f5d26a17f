// Runs the built agent as a host would: a child process fed on stdin, its stdout, stderr, exit
// status and posted-event trace collected.
#pragma once

#include <sys/types.h>
#include <string>
#include <utility>
#include <vector>

struct AgentOptions {
  std::vector<std::string> args;
  // MII_SIM_* knobs; the parent's own MII_SIM_* variables are never inherited.
  std::vector<std::pair<std::string, std::string>> env;
  bool trace = true;                // sets MII_SIM_TRACE to a fresh file
  bool closedStdin = false;         // the agent starts with no standard input at all
  bool closedStdout = false;        // the agent starts with no standard output at all
  bool hostClosesStdout = false;    // runAgent closes its end of the agent's stdout before writing
  bool nonBlockingPipes = false;    // the agent's stdin and stdout are non-blocking, as some hosts
                                    // pass them
  std::vector<int> ignoredSignals;  // the agent starts with these ignored, as under nohup
};

struct AgentResult {
  std::string out;
  std::string err;
  bool exited = false;             // false when a signal ended it
  int status = -1;                 // exit status, or the signal number when !exited
  std::vector<std::string> trace;  // every line of the trace, the exit line included
};

// Feeds input, closes stdin, and waits for the agent to end.
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
// An agent whose Accessibility permission is read from trustPath for every line: granted while
// the file starts with "1".
AgentSession startAgentTrustingFile(const std::string& trustPath);
void sendToAgent(AgentSession& session, const std::string& text);
// The next stdout line without its line feed; empty with *ok false on timeout or end.
std::string readAgentLine(AgentSession& session, int timeoutMs = 5000, bool* ok = nullptr);
// Closes stdin (unless already closed, or closeStdin is false) and collects the rest until the
// agent ends; one still running after 30 seconds is killed (SIGKILL).
AgentResult finishAgent(AgentSession& session, bool closeStdin = true);
// Sends the agent a signal.
void signalAgent(const AgentSession& session, int signal);
// Waits until the trace holds at least count lines; false after timeoutMs.
bool waitForTrace(const AgentSession& session, size_t count, int timeoutMs = 5000);

// The trace lines of posted events alone, the exit line dropped.
std::vector<std::string> postedLines(const AgentResult& result);

// A fresh path in a private temporary directory.
std::string temporaryPath(const std::string& name);
