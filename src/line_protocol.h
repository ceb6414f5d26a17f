// The line protocol's lexical rules and its transport: reading whole lines from a descriptor,
// writing whole reply lines to one, splitting a line into tokens, and the numbers commands take
// as arguments.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

// The longest line served, counted without its line feed and the carriage returns before it: a
// TEXT line this long carries 786,426 bytes of text in standard padded Base64 (786,428 with the
// padding left off).
inline constexpr size_t kMaxLineLength = 1048576;
inline constexpr size_t kReadSize = 65536;
inline constexpr int kMaxTokens = 64;

// Reads lines from a descriptor that may be blocking or not. Memory stays bounded by the read
// size and the longest line, whatever the host sends.
struct LineReader {
  LineReader(int fd, int wakeFd, size_t maxLineLength = kMaxLineLength,
             size_t readSize = kReadSize);

  int fd;
  // While this descriptor is readable the reader stops waiting for input (-1: none).
  int wakeFd;
  size_t maxLineLength;
  size_t readSize;

  // The rest belongs to readLine.
  std::unique_ptr<char[]> chunk;
  size_t begin = 0;  // chunk[begin, end) is read and not yet taken
  size_t end = 0;
  bool ended = false;
  // A line begun in an earlier read: its bytes so far (carriage returns ending them included),
  // how many of those are that run of carriage returns (not kept in pending), and pending itself,
  // emptied once the line is too long.
  uint64_t length = 0;
  uint64_t crRun = 0;
  bool tooLong = false;
  std::string pending;
  std::string taken;  // the line last returned, which its view points into
};

enum class LineStatus {
  kLine,     // *line: the line without its line feed and the carriage returns before it
  kDropped,  // a line over the limit went by unkept; *length: its bytes, counted as above
  kEnd,      // end of input, or a read error
  kWoken,    // the wake descriptor became readable while waiting for input
};

// The next line. An unterminated last line at end of input is a line. The view stays valid until
// the next call.
LineStatus readLine(LineReader& reader, std::string_view* line, uint64_t* length);

// What a descriptor is, as far as waiting for room to write goes; learnt once, with fstat.
enum class ReplyTarget {
  // A pipe or FIFO that nothing else of ours writes to: once poll says there is room, PIPE_BUF
  // bytes go without blocking, however they are split into writes.
  kPipe,
  // A regular file: a write never waits for a reader.
  kFile,
  // Anything else, poll asked before every write: a socket, where poll promises no number of bytes
  // (each small write holds a kernel buffer against the send limit, and no flag makes one write
  // non-blocking on macOS); a terminal, a device; a pipe that standard error also writes to.
  kOther,
};

// What fd is; a pipe that sharedFd (-1: none) also writes to is kOther, its room used up unseen.
ReplyTarget replyTargetOf(int fd, int sharedFd = -1);

// Where replies go: a descriptor, and one whose readiness means a reply still waiting to be
// written is given up (-1: none). When a reply has waited stallMilliseconds for room (a host that
// stopped reading), onStall is called, once for that reply, and the wait goes on. room, when
// given, carries from reply to reply what fd is known to take without blocking, so that poll is
// not asked before every reply; only whoever alone writes to fd may keep one, learnt for target.
struct ReplyOut {
  int fd = -1;
  int wakeFd = -1;
  int stallMilliseconds = -1;  // negative: no limit, onStall is never called
  std::function<void()> onStall;
  size_t* room = nullptr;
  ReplyTarget target = ReplyTarget::kOther;
};

// Writes one reply line, first then second then a line feed, whole: partial writes are continued
// and room is waited for as target needs, blocking descriptor or not; the host reads line by line
// and must never wait on a buffered reply. A reply the descriptor refuses (a host that closed it)
// is dropped, and so is the rest of one that is still waiting when out.wakeFd becomes readable,
// or is readable once part of it was written.
void writeReply(const ReplyOut& out, std::string_view first, std::string_view second = {});

// Writes text (a whole line, line feed included, at most PIPE_BUF bytes) only if fd has room for
// it now; otherwise drops it. For diagnostics and one-line answers that must never wait. True
// when the whole line was written.
bool writeLineIfRoom(int fd, std::string_view text);

struct TokenList {
  std::string_view tokens[kMaxTokens];
  int count = 0;
};

// Splits at space characters only: runs of spaces are one separator, leading and trailing spaces
// give no token, tabs and other white space belong to tokens. Tokens past the 64th are dropped.
TokenList tokenizeLine(std::string_view line);

// An integer as atoi reads it (leading white space, optional sign, the longest run of decimal
// digits, 0 when none), except that a value beyond 32 bits saturates instead of being undefined.
int32_t parseInteger(std::string_view text);

// A real as atof reads it in the C locale (decimal, hex, exponent, inf and nan forms).
double parseReal(std::string_view text);

// An unsigned 32-bit decimal, every character a digit; false for anything else (a sign, a space,
// nothing, a value past 32 bits), where a number names something and a wrong one must name
// nothing.
bool parseUnsigned32(std::string_view text, uint32_t* value);
