#include "command_loop.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "ending_signals.h"
#include "keyboard/layout.h"
#include "line_protocol.h"
#include "numbers.h"
#include "platform/quartz.h"
#include "pointer/screen.h"

namespace {

constexpr char kReadyLine[] = "READY: macOS CGEvent Input Injector Online";
constexpr char kNoPermissionBanner[] = "ERR: 请在 Mac 系统设置的辅助功能中允许 Trelvane 控制电脑";
constexpr char kRefusedLine[] = "ERR: Mac 辅助功能权限未授予，无法注入输入";
constexpr char kPermissionWarning[] =
    "WARNING: Accessibility permission not granted. Input injection may fail.\n"
    "Go to System Settings > Privacy & Security > Accessibility to enable.\n";

// A host that stopped reading may be hung with keys or buttons down, and the agent cannot tell
// when it will read again: what it holds is released, the reply still waits.
void releaseForStalledHost(Session& session) {
  session.releaseHeldInput();
  char note[128];
  const int size = std::snprintf(
      note, sizeof note,
      "WARNING: the host has not read a reply for %g seconds; released what it held\n",
      Seconds(session.replyStall).count());
  // Only if stderr has room now: a note for the person at the Mac must never hold the agent, least
  // of all while it waits on a host that stopped reading.
  writeLineIfRoom(STDERR_FILENO, std::string_view(note, static_cast<size_t>(size)));
}

// Replies to the host on out.
ReplyOut hostReplies(Session& session, int out) {
  if (session.replyRoomFd != out) {  // room learnt on another descriptor says nothing of this one
    session.replyRoomFd = out;
    session.replyRoom = 0;
  }
  return {out, endingSignalDescriptor(), static_cast<int>(session.replyStall.count()),
          [&session] { releaseForStalledHost(session); },
          session.replyRoomKnowable ? &session.replyRoom : nullptr};
}

// A reply word followed by decimal integers, each after one space.
void writeReplyNumbers(const ReplyOut& out, std::string_view word,
                       std::initializer_list<int> numbers) {
  std::string line(word);
  for (int number : numbers) line += ' ' + std::to_string(number);
  writeReply(out, line);
}

// Key commands carry the VK in the integer's low 16 bits.
uint16_t vkArgument(const TokenList& c) { return static_cast<uint16_t>(parseInteger(c.tokens[1])); }

void commandPing(Session&, const TokenList&, const ReplyOut& out) { writeReply(out, "PONG"); }

void commandResolution(Session&, const TokenList&, const ReplyOut& out) {
  int width = 0;
  int height = 0;
  queryMainDisplaySize(&width, &height);
  writeReplyNumbers(out, "SCREEN", {width, height, width, height});
}

void commandGetPos(Session&, const TokenList&, const ReplyOut& out) {
  int x = 0;
  int y = 0;
  if (queryCursorPosition(&x, &y)) writeReplyNumbers(out, "POS", {x, y});
}

// DISPLAYS <n>, then for each display " id:x,y,w,h,pw,ph": bounds in points, size in pixels.
void commandDisplays(Session&, const TokenList&, const ReplyOut& out) {
  const std::vector<DisplayInfo> displays = activeDisplays();
  std::string line = "DISPLAYS " + std::to_string(displays.size());
  for (const DisplayInfo& d : displays) {
    char entry[128];
    std::snprintf(entry, sizeof entry, " %u:%d,%d,%d,%d,%llu,%llu", static_cast<unsigned>(d.id),
                  truncateToInt(d.bounds.origin.x), truncateToInt(d.bounds.origin.y),
                  truncateToInt(d.bounds.size.width), truncateToInt(d.bounds.size.height),
                  static_cast<unsigned long long>(d.pixelWidth),
                  static_cast<unsigned long long>(d.pixelHeight));
    line += entry;
  }
  writeReply(out, line);
}

// The current keyboard layout's input source id, and the input method's when keys are composed,
// so that a host can choose between keys and TEXT.
void commandLayout(Session&, const TokenList&, const ReplyOut& out) {
  const std::string ids = KeyboardLayout::currentSourceIds();
  writeReply(out, "LAYOUT ", ids.empty() ? "none" : ids);
}

void commandMove(Session& s, const TokenList& c, const ReplyOut&) {
  s.pointer.postMouseMove(parseReal(c.tokens[1]), parseReal(c.tokens[2]),
                          s.keyboard.modifierFlags());
}

void commandMoveRatio(Session& s, const TokenList& c, const ReplyOut&) {
  s.pointer.postMouseMoveByRatio(parseReal(c.tokens[1]), parseReal(c.tokens[2]),
                                 s.keyboard.modifierFlags());
}

void commandMoveDisplay(Session& s, const TokenList& c, const ReplyOut&) {
  CGDirectDisplayID display = 0;
  if (!parseUnsigned32(c.tokens[1], &display)) return;
  s.pointer.postMouseMoveOnDisplay(display, parseReal(c.tokens[2]), parseReal(c.tokens[3]),
                                   s.keyboard.modifierFlags());
}

void commandMouseDown(Session& s, const TokenList& c, const ReplyOut& out) {
  s.pointer.postButtonDown(parseButton(c.tokens[1]), c.count >= 3 ? parseInteger(c.tokens[2]) : 0,
                           s.keyboard.modifierFlags());
  writeReply(out, "ACK MOUSEDOWN");
}

void commandMouseUp(Session& s, const TokenList& c, const ReplyOut& out) {
  s.pointer.postButtonUp(parseButton(c.tokens[1]), s.keyboard.modifierFlags());
  writeReply(out, "ACK MOUSEUP");
}

void commandClick(Session& s, const TokenList& c, const ReplyOut& out) {
  s.pointer.postClick(parseButton(c.tokens[1]));
  writeReply(out, "ACK CLICK");
}

void commandDoubleClick(Session& s, const TokenList& c, const ReplyOut&) {
  s.pointer.postDoubleClick(parseButton(c.tokens[1]));
}

void commandWheel(Session& s, const TokenList& c, const ReplyOut&) {
  s.pointer.postScrollEvent(parseInteger(c.tokens[1]), false);
}

void commandHWheel(Session& s, const TokenList& c, const ReplyOut&) {
  s.pointer.postScrollEvent(parseInteger(c.tokens[1]), true);
}

void commandScroll(Session& s, const TokenList& c, const ReplyOut&) {
  s.pointer.postPixelScroll(parseReal(c.tokens[1]), parseReal(c.tokens[2]));
}

void commandKeyDown(Session& s, const TokenList& c, const ReplyOut& out) {
  s.keyboard.checkSecureEventInput();
  s.keyboard.postKeyEvent(vkArgument(c), true);
  writeReply(out, "ACK KEYDOWN");
}

void commandKeyUp(Session& s, const TokenList& c, const ReplyOut& out) {
  s.keyboard.checkSecureEventInput();
  s.keyboard.postKeyEvent(vkArgument(c), false);
  writeReply(out, "ACK KEYUP");
}

void commandKeyPress(Session& s, const TokenList& c, const ReplyOut&) {
  s.keyboard.checkSecureEventInput();
  s.keyboard.postKeyPress(vkArgument(c));
}

void commandText(Session& s, const TokenList& c, const ReplyOut&) {
  s.keyboard.checkSecureEventInput();
  s.keyboard.postBase64Text(c.tokens[1]);
}

// Text key by key through the Mac's layout, for apps that read key codes rather than strings.
void commandType(Session& s, const TokenList& c, const ReplyOut&) {
  s.keyboard.checkSecureEventInput();
  s.keyboard.postBase64Typing(c.tokens[1]);
}

struct Command {
  std::string_view name;
  int minTokens;
  void (*handler)(Session& session, const TokenList&, const ReplyOut& out);  // none for QUIT
  // Served, as the whole line exactly, while the permission is missing: the queries that post
  // nothing, and the way out.
  bool withoutPermission = false;
};

// Matched in this order; QUIT comes last.
constexpr Command kCommands[] = {
    {"PING", 1, commandPing, true},
    {"RESOLUTION", 1, commandResolution, true},
    {"GETPOS", 1, commandGetPos},
    {"MOVE", 3, commandMove},
    {"MOVERATIO", 3, commandMoveRatio},
    {"MOUSEDOWN", 2, commandMouseDown},
    {"MOUSEUP", 2, commandMouseUp},
    {"CLICK", 2, commandClick},
    {"DBLCLICK", 2, commandDoubleClick},
    {"WHEEL", 2, commandWheel},
    {"HWHEEL", 2, commandHWheel},
    {"KEYDOWN", 2, commandKeyDown},
    {"KEYUP", 2, commandKeyUp},
    {"KEYPRESS", 2, commandKeyPress},
    {"TEXT", 2, commandText},
    {"TYPE", 2, commandType},
    {"DISPLAYS", 1, commandDisplays, true},
    {"MOVEDISPLAY", 4, commandMoveDisplay},
    {"SCROLL", 3, commandScroll},
    {"LAYOUT", 1, commandLayout, true},
    {"QUIT", 1, nullptr, true},
};

bool servedWithoutPermission(std::string_view line) {
  for (const Command& command : kCommands) {
    if (command.withoutPermission && line == command.name) return true;
  }
  return false;
}

// Tokenizes and dispatches an accepted, stripped line. Returns false on QUIT.
bool handleCommand(Session& session, std::string_view line, const ReplyOut& out) {
  const TokenList c = tokenizeLine(line);
  if (c.count == 0) return true;
  for (const Command& command : kCommands) {
    if (c.tokens[0] != command.name || c.count < command.minTokens) continue;
    if (command.handler == nullptr) return false;
    command.handler(session, c, out);
    return true;
  }
  writeReply(out, "UNKNOWN: ", c.tokens[0]);
  return true;
}

}  // namespace

void startCommandChannel(Session& session, int out) {
  // Diagnostics on a standard error that is the replies' own pipe use up its room unseen.
  struct stat replies {};
  struct stat diagnostics {};
  session.replyRoomKnowable =
      !(fstat(out, &replies) == 0 && fstat(STDERR_FILENO, &diagnostics) == 0 &&
        replies.st_dev == diagnostics.st_dev && replies.st_ino == diagnostics.st_ino);
  // Asked once: two answers could disagree, a warning above a READY banner.
  session.lastTrusted = AXIsProcessTrusted();
  if (!session.lastTrusted) std::fputs(kPermissionWarning, stderr);
  writeReply(hostReplies(session, out), session.lastTrusted ? kReadyLine : kNoPermissionBanner);
}

bool handleLine(Session& session, std::string_view line, int out) {
  const ReplyOut replies = hostReplies(session, out);
  std::string_view text = line.substr(0, line.find('\0'));
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.remove_suffix(1);
  if (text.empty()) return true;

  bool now = AXIsProcessTrusted();
  if (now && !session.lastTrusted) {
    // Whatever was held when the permission went away could not be released since: the host
    // starts again from nothing held, as it would with a new agent.
    session.releaseHeldInput();
    writeReply(replies, kReadyLine);
  }
  if (!now && !servedWithoutPermission(text)) {
    writeReply(replies, kRefusedLine);
    session.lastTrusted = false;
    return true;
  }
  bool keepGoing = handleCommand(session, text, replies);
  session.lastTrusted = now;
  return keepGoing;
}

int runCommandLoop(Session& session, int in, int out) {
  LineReader reader(in, endingSignalDescriptor());
  std::string_view line;
  uint64_t length = 0;
  while (endingSignal() == 0) {
    const LineStatus status = readLine(reader, &line, &length);
    if (status == LineStatus::kLine) {
      if (!handleLine(session, line, out)) break;
    } else if (status == LineStatus::kDropped) {
      // No reply: the host cannot tell which command it was, and answering it would put the
      // host's count of replies out of step.
      char note[96];
      const int size =
          std::snprintf(note, sizeof note, "ERR: dropped a line of %llu bytes; the limit is %zu",
                        static_cast<unsigned long long>(length), kMaxLineLength);
      writeReply({STDERR_FILENO, endingSignalDescriptor(), -1, {}, nullptr},
                 std::string_view(note, static_cast<size_t>(size)));
    } else {
      break;
    }
  }
  // A host that went away mid-chord or mid-drag must not leave the Mac with keys or buttons down;
  // nor must one that ended the agent by a signal.
  session.releaseHeldInput();
  // The window server takes posted events asynchronously and drops what it has not taken when
  // the poster exits: the last keys of the session and the releases just posted.
  session.poster.settle();
  if (endingSignal() != 0) endBySignal(endingSignal());
  return 0;
}
