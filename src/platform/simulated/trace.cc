// The trace writer: one JSON line per posted event, as it is posted, with the time it was posted,
// and at exit what was never released, so that a whole-process test reads what the agent did.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "numbers.h"
#include "platform/quartz.h"
#include "platform/simulated/objects.h"
#include "platform/simulated/simulation.h"
#include "platform/simulated/trace.h"

namespace simulated {
namespace {

int traceFd = -1;
std::string tracePath;
bool writeFailed = false;
bool exitLineWritten = false;

// The whole line, or a warning, once, that the trace is not being written: a test reading it would
// otherwise see a run that posted nothing. Written with write(2) and unbuffered, so that every line
// is in the file as soon as the event is posted, and none waits in a buffer at exit.
void writeWhole(const std::string& line) {
  for (size_t done = 0; done < line.size();) {
    const ssize_t wrote = write(traceFd, line.data() + done, line.size() - done);
    if (wrote > 0) {
      done += static_cast<size_t>(wrote);
    } else if (wrote < 0 && errno == EINTR) {
      continue;
    } else {
      if (!writeFailed) {
        std::fprintf(stderr, "WARNING: cannot write the trace %s: %s\n", tracePath.c_str(),
                     wrote < 0 ? std::strerror(errno) : "nothing written");
        std::fflush(stderr);
      }
      writeFailed = true;
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

void appendNumber(std::string* out, double value) {
  if (!std::isfinite(value)) {
    // JSON has no non-finite numbers.
    *out += "null";
    return;
  }
  *out += shortestDecimal(value);
}

template <typename Integer>
void appendInteger(std::string* out, Integer value) {
  char buffer[32];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out->append(buffer, result.ptr);
}

void appendEscapedUnit(std::string* out, unsigned unit) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "\\u%04x", unit);
  *out += buffer;
}

// UTF-16 as a JSON string; a lone surrogate is written as its escape, so it reads back exactly.
void appendJsonString(std::string* out, const std::u16string& units) {
  *out += '"';
  for (size_t i = 0; i < units.size(); ++i) {
    uint32_t c = units[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      appendEscapedUnit(out, c);
      continue;
    }
    if (c == '"' || c == '\\') {
      *out += '\\';
      *out += static_cast<char>(c);
    } else if (c < 0x20) {
      appendEscapedUnit(out, c);
    } else if (c < 0x80) {
      *out += static_cast<char>(c);
    } else if (c < 0x800) {
      *out += static_cast<char>(0xC0 | (c >> 6));
      *out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      *out += static_cast<char>(0xE0 | (c >> 12));
      *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      *out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      *out += static_cast<char>(0xF0 | (c >> 18));
      *out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      *out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  *out += '"';
}

// What was left at exit: objects and assertions never released, and how often user activity was
// declared.
void writeExitLine() {
  std::string line = "{\"exit\":true,\"liveEvents\":";
  appendInteger(&line, liveCount(ObjectKind::Event));
  line += ",\"liveStrings\":";
  appendInteger(&line, liveCount(ObjectKind::String));
  line += ",\"liveSources\":";
  appendInteger(&line, liveCount(ObjectKind::Source));
  line += ",\"userActivity\":";
  appendInteger(&line, simUserActivityCount());
  line += ",\"liveAssertions\":";
  appendInteger(&line, simLiveAssertions());
  line += ",\"time\":";
  appendNumber(&line, CFAbsoluteTimeGetCurrent());
  line += "}\n";
  writeWhole(line);
  exitLineWritten = true;
}

}  // namespace

bool openTrace(const char* path) {
  // Opened to append, as fopen(path, "a") would, then moved off the standard streams' descriptors.
  // Whatever opens (a pipe, /dev/stderr) is written to.
  traceFd = aboveStandardStreams(open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666));
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

std::string simTraceLine(const SimEvent& e) {
  using simulated::appendInteger;
  using simulated::appendNumber;
  std::string line = "{\"seq\":";
  appendInteger(&line, e.seq);
  line += ",\"tap\":";
  appendInteger(&line, e.tap);
  line += ",\"type\":";
  appendInteger(&line, e.type);
  line += e.hidSource ? ",\"source\":\"hid\"" : ",\"source\":null";
  line += ",\"flags\":";
  if (e.flags) {
    appendInteger(&line, *e.flags);
  } else {
    line += "null";
  }
  switch (e.kind) {
    case SimEventKind::Keyboard:
      line += ",\"keycode\":";
      appendInteger(&line, e.keycode);
      line += e.down ? ",\"down\":true" : ",\"down\":false";
      if (e.text) {
        line += ",\"text\":";
        simulated::appendJsonString(&line, *e.text);
        line += ",\"textUnits\":";
        appendInteger(&line, e.text->size());
      }
      break;
    case SimEventKind::Mouse:
      line += ",\"x\":";
      appendNumber(&line, e.x);
      line += ",\"y\":";
      appendNumber(&line, e.y);
      line += ",\"button\":";
      appendInteger(&line, e.button);
      line += ",\"fields\":{";
      for (auto it = e.fields.begin(); it != e.fields.end(); ++it) {
        if (it != e.fields.begin()) line += ',';
        line += '"';
        appendInteger(&line, it->first);
        line += "\":";
        appendInteger(&line, it->second);
      }
      line += '}';
      break;
    case SimEventKind::Scroll:
      line += ",\"units\":";
      appendInteger(&line, e.units);
      line += ",\"wheelCount\":";
      appendInteger(&line, e.wheelCount);
      line += ",\"wheel1\":";
      appendInteger(&line, e.wheel1);
      line += ",\"wheel2\":";
      appendInteger(&line, e.wheel2);
      break;
    case SimEventKind::Plain:
      break;
  }
  if (e.hidSource) {
    line += ",\"suppressionInterval\":";
    appendNumber(&line, e.suppressionInterval);
    line += ",\"localEventsFilter\":[";
    appendInteger(&line, e.localEventsFilter[0]);
    line += ',';
    appendInteger(&line, e.localEventsFilter[1]);
    line += ']';
  }
  line += ",\"time\":";
  appendNumber(&line, e.time);
  line += '}';
  return line;
}
