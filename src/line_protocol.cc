#include "line_protocol.h"

#include <limits.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>

namespace {

// isspace in the C locale, without its locale lookup or its undefined behaviour on negative chars.
bool isCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

size_t trailingCarriageReturns(const char* data, size_t size) {
  size_t count = 0;
  while (count < size && data[size - 1 - count] == '\r') ++count;
  return count;
}

// Waits until fd is ready for events or wakeFd is readable; false for the latter. When poll cannot
// watch fd (it answers POLLNVAL for a closed descriptor, and some systems for some devices), a
// short pause stands in, so that the caller's retry does not spin; the read or write then decides.
bool waitFor(int fd, short events, int wakeFd) {
  pollfd fds[2] = {{fd, events, 0}, {wakeFd, POLLIN, 0}};  // a negative descriptor is ignored
  for (;;) {
    const int ready = poll(fds, 2, -1);
    if (ready < 0 && errno == EINTR) continue;
    if (fds[1].revents != 0) return false;
    if (ready < 0 || (fds[0].revents & POLLNVAL) != 0) {
      const timespec pause{0, 1000000};
      nanosleep(&pause, nullptr);
    }
    return true;
  }
}

// Adds bytes of the line being read, none of them a line feed. Only the carriage returns at the
// end of what has come so far are counted rather than kept: they are content only once something
// else follows them.
void appendToLine(LineReader& r, const char* data, size_t size) {
  const size_t returns = trailingCarriageReturns(data, size);
  r.length += size;
  if (returns == size) {
    r.crRun += size;
    return;
  }
  if (!r.tooLong && r.length - returns > r.maxLineLength) {
    r.tooLong = true;
    r.pending.clear();
  }
  if (!r.tooLong) {
    r.pending.append(r.crRun, '\r');
    r.pending.append(data, size - returns);
  }
  r.crRun = returns;
}

LineStatus finishLine(LineReader& r, std::string_view* line, uint64_t* length) {
  const uint64_t content = r.length - r.crRun;
  const bool dropped = r.tooLong;
  r.length = 0;
  r.crRun = 0;
  r.tooLong = false;
  if (dropped) {
    *length = content;
    return LineStatus::kDropped;
  }
  r.taken.swap(r.pending);
  r.pending.clear();
  *line = r.taken;
  return LineStatus::kLine;
}

}  // namespace

LineReader::LineReader(int fd, int wakeFd, size_t maxLineLength, size_t readSize)
    : fd(fd),
      wakeFd(wakeFd),
      maxLineLength(maxLineLength),
      readSize(readSize),
      chunk(new char[readSize]) {}

LineStatus readLine(LineReader& r, std::string_view* line, uint64_t* length) {
  for (;;) {
    if (r.begin < r.end) {
      const char* start = r.chunk.get() + r.begin;
      const size_t available = r.end - r.begin;
      const char* feed = static_cast<const char*>(std::memchr(start, '\n', available));
      if (feed == nullptr) {
        appendToLine(r, start, available);
        r.begin = r.end;
        continue;
      }
      const size_t size = static_cast<size_t>(feed - start);
      r.begin += size + 1;
      appendToLine(r, start, size);
      return finishLine(r, line, length);
    }
    if (r.ended) return r.length > 0 ? finishLine(r, line, length) : LineStatus::kEnd;
    // Waiting first, on the input and the wake descriptor together, leaves no moment in which a
    // wake-up could pass unseen while a read blocks.
    if (!waitFor(r.fd, POLLIN, r.wakeFd)) return LineStatus::kWoken;
    const ssize_t got = read(r.fd, r.chunk.get(), r.readSize);
    if (got > 0) {
      r.begin = 0;
      r.end = static_cast<size_t>(got);
    } else if (got == 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) {
      r.ended = true;  // a read error ends the input as its end does
    }
  }
}

TokenList tokenizeLine(std::string_view line) {
  TokenList list;
  size_t i = 0;
  while (list.count < kMaxTokens) {
    while (i < line.size() && line[i] == ' ') ++i;
    if (i == line.size()) break;
    const size_t start = i;
    while (i < line.size() && line[i] != ' ') ++i;
    list.tokens[list.count++] = line.substr(start, i - start);
  }
  return list;
}

namespace {

// Waits for room on out.fd: true once there is some (or poll reports what the write will), false
// once out.wakeFd is readable while there is none. A wait of out.stallMilliseconds calls
// out.onStall, once a reply (*stalled), and goes on waiting.
bool waitForRoom(const ReplyOut& out, bool* stalled) {
  pollfd fds[2] = {{out.fd, POLLOUT, 0}, {out.wakeFd, POLLIN, 0}};
  for (;;) {
    const bool patient = *stalled || !out.onStall || out.stallMilliseconds < 0;
    const int ready = poll(fds, 2, patient ? -1 : out.stallMilliseconds);
    if (ready < 0 && errno == EINTR) continue;
    if (ready == 0) {
      *stalled = true;
      out.onStall();
      continue;
    }
    if (ready > 0 && (fds[0].revents & (POLLOUT | POLLERR | POLLHUP)) != 0) return true;
    if (ready > 0 && fds[1].revents != 0) return false;
    if (ready < 0 || (fds[0].revents & POLLNVAL) != 0) {
      const timespec pause{0, 1000000};
      nanosleep(&pause, nullptr);
    }
    return true;
  }
}

// The bytes out.target is known to take without blocking once poll said it has room.
size_t roomAfterPoll(ReplyTarget target) {
  switch (target) {
    case ReplyTarget::kPipe:
    case ReplyTarget::kOther:  // for one write only
      return PIPE_BUF;
    case ReplyTarget::kFile:
      return SIZE_MAX;
  }
  return PIPE_BUF;
}

}  // namespace

ReplyTarget replyTargetOf(int fd, int sharedFd) {
  struct stat target {};
  if (fstat(fd, &target) != 0) return ReplyTarget::kOther;
  if (S_ISREG(target.st_mode)) return ReplyTarget::kFile;
  if (!S_ISFIFO(target.st_mode)) return ReplyTarget::kOther;
  struct stat shared {};
  const bool sharedPipe = sharedFd >= 0 && fstat(sharedFd, &shared) == 0 &&
                          shared.st_dev == target.st_dev && shared.st_ino == target.st_ino;
  return sharedPipe ? ReplyTarget::kOther : ReplyTarget::kPipe;
}

void writeReply(const ReplyOut& out, std::string_view first, std::string_view second) {
  std::string line;
  line.reserve(first.size() + second.size() + 1);
  line.append(first).append(second).push_back('\n');
  bool stalled = false;
  size_t unknownRoom = 0;  // without out.room, room learnt lasts for this reply only
  size_t& room = out.room != nullptr ? *out.room : unknownRoom;
  for (size_t done = 0; done < line.size();) {
    // Room first, then the write: a blocking write to a host that does not read would wait inside
    // the system, where neither a signal's wake-up nor the stall is seen. No piece is bigger than
    // PIPE_BUF, and poll is asked again only once the room it promised is used up.
    const size_t piece = std::min<size_t>(line.size() - done, PIPE_BUF);
    if (room < piece) {
      room = 0;
      if (!waitForRoom(out, &stalled)) return;
      room = roomAfterPoll(out.target);
    }
    const ssize_t wrote = write(out.fd, line.data() + done, piece);
    if (wrote > 0) {
      done += static_cast<size_t>(wrote);
      room =
          out.target == ReplyTarget::kOther ? 0 : room - std::min(room, static_cast<size_t>(wrote));
    } else if (wrote < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) {
      room = 0;  // the next wait sees the wake-up, or the room
    } else {
      return;  // EPIPE and the like: nobody will read it
    }
  }
}

bool writeLineIfRoom(int fd, std::string_view text) {
  pollfd room{fd, POLLOUT, 0};
  if (poll(&room, 1, 0) != 1 || (room.revents & POLLOUT) == 0) return false;
  const ssize_t wrote = write(fd, text.data(), std::min<size_t>(text.size(), PIPE_BUF));
  return wrote == static_cast<ssize_t>(text.size());
}

int32_t parseInteger(std::string_view text) {
  const char* p = text.data();
  const char* const end = p + text.size();
  while (p != end && isCSpace(*p)) ++p;
  bool negative = false;
  if (p != end && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
  }
  // Once the magnitude reaches 2^31 the result is the nearest limit whatever digits follow, so
  // reading stops there; below it, one more digit cannot overflow 64 bits.
  constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  int64_t magnitude = 0;
  for (; p != end && static_cast<unsigned char>(*p - '0') < 10 && magnitude < kLimit; ++p) {
    magnitude = magnitude * 10 + (*p - '0');
  }
  if (negative) {
    return magnitude >= kLimit ? std::numeric_limits<int32_t>::min()
                               : static_cast<int32_t>(-magnitude);
  }
  return magnitude >= kLimit ? std::numeric_limits<int32_t>::max()
                             : static_cast<int32_t>(magnitude);
}

bool parseUnsigned32(std::string_view text, uint32_t* value) {
  if (text.empty()) return false;
  uint64_t result = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    result = result * 10 + static_cast<uint64_t>(c - '0');
    if (result > std::numeric_limits<uint32_t>::max()) return false;
  }
  *value = static_cast<uint32_t>(result);
  return true;
}

double parseReal(std::string_view text) {
  // strtod needs a terminated string; it reads every form atof does, in the C locale.
  const std::string terminated(text);
  return std::strtod(terminated.c_str(), nullptr);
}
