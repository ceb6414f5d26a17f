#include "support/fuzz_session.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <string>
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
//      bit 6     macOS 25 instead of 27
//      bit 7     the system's press counters near their 32-bit limit
//   1  the permission for line i is bit i % 8 (1 granted); bit 7 is also the banner's answer
//   2  the failure mask: bits 0-6 as SimFailure's, bit 7 the keyboard layout's
//   3  bits 0-1  the cursor at start: the main display's centre, (0, 0), (100.9, 50.2), (-200.5,
//                10)
//      bit 2     lines are limited to 64 bytes instead of 1,048,576, so that dropping is in reach
//      bits 3-4  the reader reads 65,536 bytes at a time, or 1, 7 or 300
//      bits 5-7  the Mac's layout: U.S.; French, German, Dvorak, Dvorak - QWERTY Command, Russian,
//                an input method; or the next of those six before every line
namespace {

constexpr double kStartTime = 800000000.0;

// The layouts the header chooses from, after U.S.; a layout that changes between the lines comes
// into play once the agent asks again, which the clock's steps bring about.
constexpr const char* kLayouts[] = {"french",  "german",      "dvorak", "dvorak-qwerty-cmd",
                                    "russian", "input-method"};
constexpr size_t kLayoutCount = std::size(kLayouts);
constexpr int kChangingLayout = static_cast<int>(kLayoutCount) + 1;
static_assert(kChangingLayout == 7, "three bits of the header choose the layout");

struct Setup {
  size_t maxLineLength = kMaxLineLength;
  size_t readSize = kReadSize;
  int trustMode = 0;
  uint8_t trustSchedule = 0;
  unsigned failures = 0;
  bool clockSteps = false;
  int layout = 0;  // as the header's bits say
};

// Reads the header and sets the desktop up as it says.
Setup setUpDesktop(const uint8_t* header) {
  Setup setup;
  uint8_t flags = header[0];
  setup.trustMode = flags & 3;
  setup.trustSchedule = header[1];
  switch ((flags >> 2) & 3) {
    case 0:
      simSetDisplays({CGRect{{0, 0}, {1512, 982}}});
      break;
    case 1:
      simSetDisplays({});
      break;
    case 2:
      simSetDisplays({CGRect{{0, 0}, {1512, 982}}, CGRect{{-800, 0}, {800, 600}}});
      break;
    default:
      simSetDisplays({CGRect{{0, 0}, {1366.5, 768.75}}, CGRect{{1366.5, -200}, {2560, 1440}}});
      break;
  }
  if (flags & 0x10) {
    setup.failures = header[2] & 0x7Fu;
    if (header[2] & 0x80) setup.failures |= kSimFailLayout;
  }
  setup.clockSteps = (flags & 0x20) != 0;
  simSetFailures(setup.failures);
  simSetMacOSMajor((flags & 0x40) ? 25 : 27);
  if (flags & 0x80) simSetPressCounts(4294967295u, 4294967294u, 4294967293u);
  static constexpr CGPoint kCursors[] = {{0, 0}, {0, 0}, {100.9, 50.2}, {-200.5, 10}};
  if ((header[3] & 3) != 0) simSetCursor(kCursors[header[3] & 3]);
  if (header[3] & 4) setup.maxLineLength = 64;
  static constexpr size_t kReadSizes[] = {kReadSize, 1, 7, 300};
  setup.readSize = kReadSizes[(header[3] >> 3) & 3];
  setup.layout = header[3] >> 5;
  if (setup.layout != 0 && setup.layout != kChangingLayout) {
    simSetLayout(kLayouts[setup.layout - 1]);
  }
  return setup;
}

bool trustedForLine(const Setup& setup, size_t line) {
  if (setup.trustMode == 3) return (setup.trustSchedule >> (line % 8)) & 1;
  return setup.trustMode != 2;
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

// The arguments commands read (the first three tokens) must read as the C library reads them:
// integers as atoi's syntax (here through strtoll, whose overflow saturates) cut to 32 bits by
// saturation, reals exactly as strtod.
std::string brokenParsing(const TokenList& tokens) {
  for (int i = 0; i < tokens.count && i < 3; ++i) {
    const std::string terminated(tokens.tokens[i]);
    long long wide = std::strtoll(terminated.c_str(), nullptr, 10);
    int32_t integer = static_cast<int32_t>(std::clamp<long long>(
        wide, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
    if (parseInteger(tokens.tokens[i]) != integer) {
      return "integer \"" + terminated + "\" read as " +
             std::to_string(parseInteger(tokens.tokens[i])) + ", not " + std::to_string(integer);
    }
    double real = std::strtod(terminated.c_str(), nullptr);
    double parsed = parseReal(tokens.tokens[i]);
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

// What any agent must do with a line, whatever it says, seen from the host: the replies written
// for it, whether the session went on, and whether it posted anything. before is the permission
// as the previous non-empty line found it.
std::string brokenReplies(std::string_view text, std::string_view word, bool now, bool before,
                          std::string_view replies, bool wentOn, bool posted) {
  if (!wentOn && word != "QUIT") return "stopped without QUIT";
  if (wentOn && text == "QUIT") return "went on after QUIT";  // the permission or not
  if (text.empty()) return replies.empty() && !posted ? "" : "answered or acted on an empty line";
  // The host learns that the permission came back, and only then, before the line's own reply;
  // the releases that return makes are the only events a line doing nothing may post.
  const bool ready = replies.starts_with(kReady);
  if (ready != (now && !before)) return ready ? "READY, the permission not back" : "no READY";
  if (ready) replies.remove_prefix(kReady.size());
  constexpr std::string_view kServedWithout[] = {"PING",   "RESOLUTION", "DISPLAYS",
                                                 "LAYOUT", "CAPSLOCK",   "QUIT"};
  if (!now && std::find(std::begin(kServedWithout), std::end(kServedWithout), text) ==
                  std::end(kServedWithout)) {
    if (replies != kRefused) return "not refused without the permission";
    return posted ? "posted for a refused line" : "";
  }
  if (!wentOn) return replies.empty() && (ready || !posted) ? "" : "QUIT answered or acted";
  if (replies.empty()) return {};
  if (replies.find('\n') != replies.size() - 1) return "not one whole reply";
  replies.remove_suffix(1);
  if (!answersCommand(replies, word)) return "no reply to " + shown(word);
  if (replies.starts_with("UNKNOWN: ") && posted && !ready) return "posted for an unknown command";
  return {};
}

bool somethingHeld(const Session& session) {
  for (uint16_t vk = 0; vk < 256; ++vk) {
    if (session.keyboard.isKeyHeld(vk) || session.keyboard.isModifierHeld(vk)) return true;
  }
  Button button;
  return session.pointer.heldButtonForDrag(&button);
}

// What must hold between any two lines, and at the end.
std::string brokenState(const Session& session, const Setup& setup, size_t postedBefore,
                        PostedPresses& presses) {
  if (simLiveEvents() != 0) return "events alive: " + std::to_string(simLiveEvents());
  if (simLiveStrings() != 0) return "strings alive: " + std::to_string(simLiveStrings());
  if (simLiveDisplayModes() != 0) {
    return "display modes alive: " + std::to_string(simLiveDisplayModes());
  }
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
    if (std::string broken = presses.take(event); !broken.empty()) return broken;
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
  // The permission as the previous non-empty line found it; at first, as the banner would.
  bool trustedBefore =
      setup.trustMode == 3 ? (setup.trustSchedule & 0x80) != 0 : setup.trustMode != 2;
  simSetTrusted(trustedBefore);
  Session session;
  HostChannel host(session);
  host.lastTrusted = AXIsProcessTrusted();

  // The host's bytes, read by the product's own reader as the loop reads its standard input.
  const int in = emptyScratchFile(0);
  if (size > 0 && write(in, data, size) != static_cast<ssize_t>(size)) std::abort();
  if (lseek(in, 0, SEEK_SET) != 0) std::abort();
  const int out = emptyScratchFile(1);
  LineReader reader(in, -1, setup.maxLineLength, setup.readSize);
  const std::vector<ExpectedLine> lines = expectedLines(
      std::string_view(reinterpret_cast<const char*>(data), size), setup.maxLineLength);

  PostedPresses presses;
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
      if (setup.layout == kChangingLayout) simSetLayout(kLayouts[index % kLayoutCount]);
      simSetTrusted(now);
      if (setup.clockSteps) simSetClock(CFAbsoluteTimeGetCurrent() + 0.3);
      const off_t outputBefore = lseek(out, 0, SEEK_CUR);
      size_t postedBefore = simPostedEvents().size();

      keepGoing = handleLine(host, line, out);

      const std::string replies = scratchWritten(out, outputBefore);
      // The command word as the agent reads it: a line may start with spaces.
      const TokenList tokens = tokenizeLine(text);
      const std::string_view word = tokens.count > 0 ? tokens.tokens[0] : std::string_view();
      broken = brokenReplies(text, word, now, trustedBefore, replies, keepGoing,
                             simPostedEvents().size() > postedBefore);
      if (!broken.empty()) broken += ", replying \"" + shown(replies) + "\"";
      if (!text.empty()) trustedBefore = now;
      presses.typing = word == "TYPE";
      if (broken.empty()) broken = brokenState(session, setup, postedBefore, presses);
      // The permission's return releases everything held before the line is served: only a
      // press the line itself makes can be held after it.
      if (broken.empty() && replies.starts_with(kReady) && word != "KEYDOWN" &&
          word != "MOUSEDOWN") {
        if (somethingHeld(session)) {
          broken = "something still held after the permission came back";
        } else if (!presses.stillDown().empty()) {
          broken = "still down after the permission came back: " + presses.stillDown();
        }
      }
      if (broken.empty()) broken = brokenParsing(tokens);
    }
    if (!broken.empty()) {
      broken = "line " + std::to_string(index) + " \"" + shown(expected.content) + "\": " + broken;
    }
  }

  if (broken.empty()) {
    // The end of the session: whatever the host left held is released.
    size_t postedBefore = simPostedEvents().size();
    session.releaseHeldInput();
    broken = brokenState(session, setup, postedBefore, presses);
    if (broken.empty() && somethingHeld(session)) broken = "something still held";
    if (broken.empty() && !presses.stillDown().empty()) {
      broken = "still down: " + presses.stillDown();
    }
    if (!broken.empty()) broken = "at the end: " + broken;
  }
  return broken;
}
