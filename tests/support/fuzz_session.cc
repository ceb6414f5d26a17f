#include "support/fuzz_session.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string_view>
#include <vector>

#include "command_loop.h"
#include "keyboard/key_code_maps.h"
#include "line_protocol.h"
#include "platform/simulated/simulation.h"
#include "session.h"
#include "support/describe.h"
#include "support/protocol_lines.h"
#include "support/scratch_file.h"

// The header, byte by byte:
//   0  bits 0-1  permission: 0 or 1 granted throughout, 2 missing throughout, 3 per line from byte
//   1
//      bits 2-3  displays: one 1512x982; none; two side by side; a fractional main and one more
//      bit 4     creations fail as byte 2 says (a SimFailure mask)
//      bit 5     the clock moves 0.3 s before every line (else only the pauses move it)
//      bit 6     macOS 26 instead of 27
//      bit 7     the system's press counters near their 32-bit limit
//   1  the permission for line i is bit i % 8 (1 granted); bit 7 is also the banner's answer
//   2  the failure mask
//   3  bits 0-1  the cursor at start: the main display's centre, (0, 0), (100.9, 50.2), (-200.5,
//                10)
//      bit 2     lines are limited to 64 bytes instead of 1,048,576, so that dropping is in reach
//      bits 3-4  the reader reads 65,536 bytes at a time, or 1, 7 or 300
namespace {

constexpr double kStartTime = 800000000.0;

struct Setup {
  size_t maxLineLength = kMaxLineLength;
  size_t readSize = kReadSize;
  int trustMode = 0;
  uint8_t trustSchedule = 0;
  std::vector<CGRect> displays;
  unsigned failures = 0;
  bool clockSteps = false;
};

// Reads the header and sets the desktop up as it says.
Setup setUpDesktop(const uint8_t* header) {
  Setup setup;
  uint8_t flags = header[0];
  setup.trustMode = flags & 3;
  setup.trustSchedule = header[1];
  switch ((flags >> 2) & 3) {
    case 0:
      setup.displays = {CGRect{{0, 0}, {1512, 982}}};
      break;
    case 1:
      break;
    case 2:
      setup.displays = {CGRect{{0, 0}, {1512, 982}}, CGRect{{-800, 0}, {800, 600}}};
      break;
    default:
      setup.displays = {CGRect{{0, 0}, {1366.5, 768.75}}, CGRect{{1366.5, -200}, {2560, 1440}}};
      break;
  }
  if (flags & 0x10) setup.failures = header[2] & 0x7F;
  setup.clockSteps = (flags & 0x20) != 0;
  simSetDisplays(setup.displays);
  simSetFailures(setup.failures);
  simSetMacOSMajor((flags & 0x40) ? 26 : 27);
  if (flags & 0x80) simSetPressCounts(4294967295u, 4294967294u, 4294967293u);
  static constexpr CGPoint kCursors[] = {{0, 0}, {0, 0}, {100.9, 50.2}, {-200.5, 10}};
  if ((header[3] & 3) != 0) simSetCursor(kCursors[header[3] & 3]);
  if (header[3] & 4) setup.maxLineLength = 64;
  static constexpr size_t kReadSizes[] = {kReadSize, 1, 7, 300};
  setup.readSize = kReadSizes[(header[3] >> 3) & 3];
  return setup;
}

bool trustedForLine(const Setup& setup, size_t line) {
  if (setup.trustMode == 3) return (setup.trustSchedule >> (line % 8)) & 1;
  return setup.trustMode != 2;
}

// A double truncated toward zero into an int, saturating, NaN as 0.
int truncated(double value) {
  if (std::isnan(value)) return 0;
  if (value <= std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
  if (value >= std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  return static_cast<int>(value);
}

// Up to the first three tokens: the command word and the arguments commands read.
std::vector<std::string_view> firstTokens(std::string_view text) {
  std::vector<std::string_view> tokens;
  size_t i = 0;
  while (tokens.size() < 3) {
    while (i < text.size() && text[i] == ' ') ++i;
    if (i == text.size()) break;
    size_t start = i;
    while (i < text.size() && text[i] != ' ') ++i;
    tokens.push_back(text.substr(start, i - start));
  }
  return tokens;
}

// The lines of a session as the protocol cuts them: at each line feed, without it and the carriage
// returns before it; the last one also without a line feed. Over the limit: dropped.
struct ExpectedLine {
  std::string_view content;
  bool dropped = false;
};

std::vector<ExpectedLine> expectedLines(std::string_view input, size_t maxLineLength) {
  std::vector<ExpectedLine> lines;
  while (!input.empty()) {
    size_t feed = input.find('\n');
    std::string_view line = input.substr(0, feed);
    input.remove_prefix(feed == std::string_view::npos ? input.size() : feed + 1);
    while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back({line, line.size() > maxLineLength});
  }
  return lines;
}

// A short, printable rendering of bytes for a report.
std::string shown(std::string_view bytes) {
  std::string text;
  for (size_t i = 0; i < bytes.size() && i < 160; ++i) {
    unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      text += static_cast<char>(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
      text += escaped;
    }
  }
  if (bytes.size() > 160) text += "... (" + std::to_string(bytes.size()) + " bytes)";
  return text;
}

// The tokens must be the line's space-separated runs, the first 64 of them; and arguments must
// read as the C library reads them: integers as atoi's syntax (here through strtoll, whose
// overflow saturates) cut to 32 bits by saturation, reals exactly as strtod.
std::string brokenParsing(std::string_view text) {
  TokenList list = tokenizeLine(text);
  size_t i = 0;
  int count = 0;
  for (; count < kMaxTokens; ++count) {
    while (i < text.size() && text[i] == ' ') ++i;
    if (i == text.size()) break;
    size_t start = i;
    while (i < text.size() && text[i] != ' ') ++i;
    if (count >= list.count || list.tokens[count] != text.substr(start, i - start)) {
      return "token " + std::to_string(count) + " is not \"" +
             shown(text.substr(start, i - start)) + "\"";
    }
  }
  if (list.count != count) {
    return std::to_string(list.count) + " tokens, not " + std::to_string(count);
  }
  for (std::string_view token : firstTokens(text)) {
    std::string terminated(token);
    long long wide = std::strtoll(terminated.c_str(), nullptr, 10);
    int32_t integer = static_cast<int32_t>(std::clamp<long long>(
        wide, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
    if (parseInteger(token) != integer) {
      return "integer \"" + terminated + "\" read as " + std::to_string(parseInteger(token)) +
             ", not " + std::to_string(integer);
    }
    double real = std::strtod(terminated.c_str(), nullptr);
    double parsed = parseReal(token);
    bool same =
        std::isnan(real) ? std::isnan(parsed) : std::memcmp(&real, &parsed, sizeof real) == 0;
    if (!same) {
      char numbers[80];
      std::snprintf(numbers, sizeof numbers, "%.17g, not %.17g", parsed, real);
      return "real \"" + terminated + "\" read as " + numbers;
    }
  }
  return {};
}

// The reply lines a line must produce: an independent statement of the protocol, so a dispatch
// or gate fault shows as a difference rather than being taken on trust from the product.
std::string expectedReplies(const Setup& setup, std::string_view text, bool now, bool* lastTrusted,
                            bool* quits) {
  std::string out;
  *quits = false;
  if (now && !*lastTrusted) out += kReady;
  if (!now && text != "PING" && text != "RESOLUTION" && text != "QUIT") {
    *lastTrusted = false;
    return out + kRefused;
  }
  *lastTrusted = now;

  // Only whether there are 1, 2 or 3+ tokens matters to dispatch.
  std::vector<std::string_view> tokens = firstTokens(text);
  if (tokens.empty()) return out;
  std::string_view word = tokens[0];
  size_t count = tokens.size();

  struct Known {
    std::string_view name;
    size_t minTokens;
    std::string_view reply;  // "" none, "SCREEN" and "POS" computed
  };
  static constexpr Known kKnown[] = {
      {"PING", 1, "PONG"},
      {"RESOLUTION", 1, "SCREEN"},
      {"GETPOS", 1, "POS"},
      {"MOVE", 3, ""},
      {"MOVERATIO", 3, ""},
      {"MOUSEDOWN", 2, "ACK MOUSEDOWN"},
      {"MOUSEUP", 2, "ACK MOUSEUP"},
      {"CLICK", 2, "ACK CLICK"},
      {"DBLCLICK", 2, ""},
      {"WHEEL", 2, ""},
      {"HWHEEL", 2, ""},
      {"KEYDOWN", 2, "ACK KEYDOWN"},
      {"KEYUP", 2, "ACK KEYUP"},
      {"KEYPRESS", 2, ""},
      {"TEXT", 2, ""},
      {"QUIT", 1, ""},
  };
  for (const Known& known : kKnown) {
    if (word != known.name || count < known.minTokens) continue;
    if (known.name == "QUIT") {
      *quits = true;
    } else if (known.reply == "SCREEN") {
      int width = 1920;
      int height = 1080;
      if (!(setup.failures & kSimFailDisplays) && !setup.displays.empty()) {
        width = truncated(setup.displays[0].size.width);
        height = truncated(setup.displays[0].size.height);
      }
      char line[96];
      std::snprintf(line, sizeof line, "SCREEN %d %d %d %d\n", width, height, width, height);
      out += line;
    } else if (known.reply == "POS") {
      if (!(setup.failures & kSimFailCreate)) {
        CGPoint cursor = simCursor();
        char line[64];
        std::snprintf(line, sizeof line, "POS %d %d\n", truncated(cursor.x), truncated(cursor.y));
        out += line;
      }
    } else if (!known.reply.empty()) {
      out += std::string(known.reply) + "\n";
    }
    return out;
  }
  return out + "UNKNOWN: " + std::string(word) + "\n";
}

bool somethingHeld(const Session& session) {
  for (uint16_t vk = 0; vk < 256; ++vk) {
    if (session.keyboard.isKeyHeld(vk) || session.keyboard.isModifierHeld(vk)) return true;
  }
  Button button;
  return session.pointer.heldButtonForDrag(&button);
}

// What must hold between any two lines, and at the end.
std::string brokenState(const Session& session, const Setup& setup, size_t postedBefore) {
  if (simLiveEvents() != 0) return "events alive: " + std::to_string(simLiveEvents());
  if (simLiveStrings() != 0) return "strings alive: " + std::to_string(simLiveStrings());
  CGEventFlags held = 0;
  const Keyboard& keyboard = session.keyboard;
  for (uint16_t vk = 0; vk < 256; ++vk) {
    if (keyboard.isModifierHeld(vk)) held |= modifierFlagForVk(vk);
  }
  if (held != keyboard.modifierFlags()) {
    return "modifierFlags() " + std::to_string(keyboard.modifierFlags()) +
           " but the held modifiers give " + std::to_string(held);
  }
  const std::vector<SimEvent>& posted = simPostedEvents();
  for (size_t i = postedBefore; i < posted.size(); ++i) {
    const SimEvent& event = posted[i];
    if (event.tap != kCGHIDEventTap) return "posted away from the HID tap: " + describe(event);
    if ((setup.failures & kSimFailSource) && event.hidSource) {
      return "posted from a source that could not exist: " + describe(event);
    }
    if (event.text) {
      // The system types at most 20 UTF-16 units of one event, and a split surrogate pair is
      // garbage on both sides of the split.
      const std::u16string& text = *event.text;
      if (text.empty() || text.size() > 20) return "text event of bad length: " + describe(event);
      if (text.back() >= 0xD800 && text.back() <= 0xDBFF) {
        return "text event ends inside a surrogate pair: " + describe(event);
      }
    }
  }
  return {};
}

}  // namespace

std::string runFuzzSession(const uint8_t* data, size_t size) {
  simReset();

  uint8_t header[kFuzzHeaderSize] = {};
  size_t headerSize = size < kFuzzHeaderSize ? size : kFuzzHeaderSize;
  if (headerSize > 0) std::memcpy(header, data, headerSize);
  data += headerSize;
  size -= headerSize;
  Setup setup = setUpDesktop(header);
  simSetClock(kStartTime);
  simSetInstantSleep(true);
  bool lastTrusted =
      setup.trustMode == 3 ? (setup.trustSchedule & 0x80) != 0 : setup.trustMode != 2;
  simSetTrusted(lastTrusted);
  Session session;
  session.lastTrusted = AXIsProcessTrusted();

  // The host's bytes, read by the product's own reader as the loop reads its standard input.
  const int in = emptyScratchFile(0);
  if (size > 0 && write(in, data, size) != static_cast<ssize_t>(size)) std::abort();
  if (lseek(in, 0, SEEK_SET) != 0) std::abort();
  const int out = emptyScratchFile(1);
  LineReader reader(in, -1, setup.maxLineLength, setup.readSize);
  const std::vector<ExpectedLine> lines = expectedLines(
      std::string_view(reinterpret_cast<const char*>(data), size), setup.maxLineLength);

  std::string broken;
  bool keepGoing = true;
  for (size_t index = 0; keepGoing && broken.empty(); ++index) {
    std::string_view line;
    uint64_t length = 0;
    const LineStatus status = readLine(reader, &line, &length);
    if (index == lines.size()) {
      if (status != LineStatus::kEnd) broken = "the reader found a line after the last";
      break;
    }
    const ExpectedLine& expected = lines[index];
    if (status == LineStatus::kEnd) {
      broken = "the reader ended before the line";
    } else if (expected.dropped) {
      if (status != LineStatus::kDropped || length != expected.content.size()) {
        broken = "not dropped as a line of " + std::to_string(expected.content.size()) + " bytes";
      }
    } else if (status != LineStatus::kLine || line != expected.content) {
      broken = "read as \"" + shown(status == LineStatus::kLine ? line : "(dropped)") + "\"";
    } else {
      // The line ends at its first NUL, and loses the carriage returns that then end it.
      std::string_view text = line.substr(0, line.find('\0'));
      while (!text.empty() && text.back() == '\r') text.remove_suffix(1);

      bool now = trustedForLine(setup, index);
      simSetTrusted(now);
      if (setup.clockSteps) simSetClock(CFAbsoluteTimeGetCurrent() + 0.3);
      const off_t outputBefore = lseek(out, 0, SEEK_CUR);
      size_t postedBefore = simPostedEvents().size();

      keepGoing = handleLine(session, line, out);

      std::string replies = scratchWritten(out, outputBefore);
      std::string expectedOut;
      bool quits = false;
      if (!text.empty()) expectedOut = expectedReplies(setup, text, now, &lastTrusted, &quits);
      if (replies != expectedOut) {
        broken = "replied \"" + shown(replies) + "\", expected \"" + shown(expectedOut) + "\"";
      } else if (keepGoing == quits) {
        broken = keepGoing ? "went on after QUIT" : "stopped without QUIT";
      } else {
        broken = brokenState(session, setup, postedBefore);
      }
      // The permission's return releases everything held before the line is served: only a
      // press the line itself makes can be held after it.
      // The command word as the agent reads it: a line may start with spaces.
      const TokenList tokens = tokenizeLine(text);
      const std::string_view word = tokens.count > 0 ? tokens.tokens[0] : std::string_view();
      if (broken.empty() && replies.rfind(kReady, 0) == 0 && word != "KEYDOWN" &&
          word != "MOUSEDOWN" && somethingHeld(session)) {
        broken = "something still held after the permission came back";
      }
      if (broken.empty()) broken = brokenParsing(text);
    }
    if (!broken.empty()) {
      broken = "line " + std::to_string(index) + " \"" + shown(expected.content) + "\": " + broken;
    }
  }

  if (broken.empty()) {
    // The end of the session: whatever the host left held is released.
    size_t postedBefore = simPostedEvents().size();
    session.releaseHeldInput();
    broken = brokenState(session, setup, postedBefore);
    if (broken.empty() && somethingHeld(session)) broken = "something still held";
    if (!broken.empty()) broken = "at the end: " + broken;
  }
  return broken;
}
