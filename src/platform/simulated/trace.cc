// The trace writer: one JSON line per posted event, as it is posted, with the time it was posted,
// and at exit what was never released, so that a whole-process test reads what the agent did.
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "json_text.h"
#include "platform/quartz.h"
#include "platform/simulated/objects.h"
#include "platform/simulated/simulation.h"
#include "platform/simulated/trace.h"

namespace simulated {
namespace {

int traceFd = -1;
std::string tracePath;
bool writeFailed = false;
bool givenUp = false;  // a trace nobody reads while the agent is ending: nothing more is written
bool interrupted = false;  // a signal came while the trace had no room
bool exitLineWritten = false;

// How long the trace may have no room before its reader is taken as gone, and, once a wait for
// room was interrupted by a signal (those that interrupt are the ones that end the agent), how long
// after that: a reader that is there drains a pipe in far less.
constexpr int kPatienceMilliseconds = 2000;
constexpr int kLastWaitMilliseconds = 100;

// Waits until the trace has room; false when its reader gives none in time. A pipe or FIFO that
// nobody reads would otherwise hold the agent for ever, deaf to the signal that is to end it: a
// signal that comes between two waits is not seen by the next one.
bool waitForRoom() {
  pollfd room{traceFd, POLLOUT, 0};
  for (;;) {
    const int ready = poll(&room, 1, interrupted ? kLastWaitMilliseconds : kPatienceMilliseconds);
    if (ready < 0 && errno == EINTR) {
      interrupted = true;
      continue;
    }
    return ready != 0;  // room, or what the write will report
  }
}

void warnOnce(const char* why) {
  if (!writeFailed) {
    std::fprintf(stderr, "WARNING: cannot write the trace %s: %s\n", tracePath.c_str(), why);
    std::fflush(stderr);
  }
  writeFailed = true;
}

// The whole line, or a warning, once, that the trace is not being written: a test reading it would
// otherwise see a run that posted nothing. Written with write(2) and unbuffered, so that every line
// is in the file as soon as the event is posted, and none waits in a buffer at exit. Room is waited
// for first, and then a pipe takes PIPE_BUF bytes at once: no write blocks.
void writeWhole(const std::string& line) {
  if (givenUp) return;
  for (size_t done = 0; done < line.size();) {
    if (!waitForRoom()) {
      givenUp = true;
      warnOnce("nobody reads it");
      return;
    }
    const size_t piece = std::min<size_t>(line.size() - done, PIPE_BUF);
    const ssize_t wrote = write(traceFd, line.data() + done, piece);
    if (wrote > 0) {
      done += static_cast<size_t>(wrote);
    } else if (wrote < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) {
      continue;
    } else {
      warnOnce(wrote < 0 ? std::strerror(errno) : "nothing written");
      return;
    }
  }
}

// A descriptor at 3 or above for an open file: an agent started with its standard input, output
// or error closed would otherwise find the trace where those streams are, and write its replies
// into it.
int aboveStandardStreams(int fd) {
  if (fd < 0 || fd > 2) return fd;
  int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
  close(fd);
  return moved;
}

// Says once on stderr how many objects of a kind were never released, when any were.
void reportLeftAlive(ObjectKind kind, const char* what, bool* reported) {
  if (liveCount(kind) == 0 || *reported) return;
  std::fprintf(stderr, "mii-sim: %ld %s never released\n", liveCount(kind), what);
  std::fflush(stderr);
  *reported = true;
}

// What was left at exit: objects and assertions never released, and how often user activity was
// declared.
void writeExitLine() {
  std::string line = "{\"exit\":true,\"liveEvents\":";
  appendJsonInteger(&line, liveCount(ObjectKind::Event));
  line += ",\"liveStrings\":";
  appendJsonInteger(&line, liveCount(ObjectKind::String));
  line += ",\"liveSources\":";
  appendJsonInteger(&line, liveCount(ObjectKind::Source));
  line += ",\"userActivity\":";
  appendJsonInteger(&line, simUserActivityCount());
  line += ",\"liveAssertions\":";
  appendJsonInteger(&line, simLiveAssertions());
  line += ",\"time\":";
  appendJsonNumber(&line, CFAbsoluteTimeGetCurrent());
  line += "}\n";
  writeWhole(line);
  exitLineWritten = true;
  // A display mode or an input source is copied for one query and released after it. The exit
  // line's keys are read by hosts as they are, so one left alive is said on stderr, where a
  // whole-process test sees it.
  static bool modesReported = false;
  static bool sourcesReported = false;
  reportLeftAlive(ObjectKind::DisplayMode, "display mode(s)", &modesReported);
  reportLeftAlive(ObjectKind::InputSource, "input source(s)", &sourcesReported);
}

}  // namespace

bool openTrace(const char* path) {
  // Opened to append, as fopen(path, "a") would, then moved off the standard streams' descriptors.
  // Whatever opens (a pipe, /dev/stderr) is written to. Without blocking: a FIFO with no reader
  // fails at once rather than holding the agent before its banner; the writer waits for room.
  traceFd = aboveStandardStreams(
      open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NONBLOCK, 0666));
  if (traceFd < 0) return false;
  tracePath = path;
  std::atexit(writeExitLine);
  return true;
}

bool traceIsOpen() { return traceFd >= 0; }

void writeTraceLine(const SimEvent& posted) {
  std::string line = simTraceLine(posted);
  line += '\n';
  writeWhole(line);
  // An event posted by an exit handler that runs after the trace's own: the exit line is written
  // again, so that the last line still tells what was left at the very end.
  if (exitLineWritten) writeExitLine();
}

}  // namespace simulated

namespace {

// Every integer field set, by field number.
void appendFields(std::string* line, const std::map<uint32_t, int64_t>& fields) {
  *line += ",\"fields\":{";
  for (auto it = fields.begin(); it != fields.end(); ++it) {
    if (it != fields.begin()) *line += ',';
    *line += '"';
    appendJsonInteger(line, it->first);
    *line += "\":";
    appendJsonInteger(line, it->second);
  }
  *line += '}';
}

}  // namespace

std::string simTraceLine(const SimEvent& e) {
  std::string line = "{\"seq\":";
  appendJsonInteger(&line, e.seq);
  if (e.kind == SimEventKind::LockState) {
    line += e.lockOn ? ",\"lock\":\"caps\",\"on\":true" : ",\"lock\":\"caps\",\"on\":false";
    line += ",\"time\":";
    appendJsonNumber(&line, e.time);
    return line + '}';
  }
  line += ",\"tap\":";
  appendJsonInteger(&line, e.tap);
  line += ",\"type\":";
  appendJsonInteger(&line, e.type);
  line += e.hidSource ? ",\"source\":\"hid\"" : ",\"source\":null";
  line += ",\"flags\":";
  if (e.flags) {
    appendJsonInteger(&line, *e.flags);
  } else {
    line += "null";
  }
  // What the event carries follows the call that made it, as kPostedEventKinds says of each type.
  switch (e.kind) {
    case SimEventKind::Keyboard:
      line += ",\"keycode\":";
      appendJsonInteger(&line, e.keycode);
      line += e.down ? ",\"down\":true" : ",\"down\":false";
      if (e.text) {
        line += ",\"text\":";
        appendJsonString(&line, reinterpret_cast<const uint16_t*>(e.text->data()), e.text->size());
        line += ",\"textUnits\":";
        appendJsonInteger(&line, e.text->size());
      }
      // As for scroll events: a key event with no field set keeps its line as it always was.
      if (!e.fields.empty()) appendFields(&line, e.fields);
      break;
    case SimEventKind::Mouse:
      line += ",\"x\":";
      appendJsonNumber(&line, e.x);
      line += ",\"y\":";
      appendJsonNumber(&line, e.y);
      line += ",\"button\":";
      appendJsonInteger(&line, e.button);
      appendFields(&line, e.fields);
      break;
    case SimEventKind::Scroll:
      line += ",\"units\":";
      appendJsonInteger(&line, e.units);
      line += ",\"wheelCount\":";
      appendJsonInteger(&line, e.wheelCount);
      line += ",\"wheel1\":";
      appendJsonInteger(&line, e.wheel1);
      line += ",\"wheel2\":";
      appendJsonInteger(&line, e.wheel2);
      // Only when one was set, so that a scroll event with none keeps its line as it always was.
      if (!e.fields.empty()) appendFields(&line, e.fields);
      break;
    case SimEventKind::SystemDefined:
      line += ",\"subtype\":";
      appendJsonInteger(&line, e.subtype);
      line += ",\"data1\":";
      appendJsonInteger(&line, e.data1);
      line += ",\"data2\":";
      appendJsonInteger(&line, e.data2);
      break;
    case SimEventKind::Plain:
    case SimEventKind::LockState:
      break;
  }
  if (e.hidSource) {
    line += ",\"suppressionInterval\":";
    appendJsonNumber(&line, e.suppressionInterval);
    line += ",\"localEventsFilter\":[";
    appendJsonInteger(&line, e.localEventsFilter[0]);
    line += ',';
    appendJsonInteger(&line, e.localEventsFilter[1]);
    line += ']';
  }
  line += ",\"time\":";
  appendJsonNumber(&line, e.time);
  line += '}';
  return line;
}
