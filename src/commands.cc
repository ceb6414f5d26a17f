#include "commands.h"

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "keyboard/layout.h"
#include "numbers.h"
#include "platform/monotonic_clock.h"
#include "platform/quartz.h"
#include "pointer/screen.h"

namespace {

// A reply word followed by decimal integers, each after one space.
void writeReplyNumbers(const ReplyOut& out, std::string_view word,
                       std::initializer_list<int> numbers) {
  std::string line(word);
  for (int number : numbers) line += ' ' + std::to_string(number);
  writeReply(out, line);
}

// Key commands carry the VK in the integer's low 16 bits.
uint16_t vkArgument(const TokenList& c) { return static_cast<uint16_t>(parseInteger(c.tokens[1])); }

// The handlers, in the table's order. Each gets the line's tokens, the command word first, at least
// its row's count of them; a handler whose reply is computed writes it, a fixed one is its row's.

void ping(Session&, const TokenList&, const ReplyOut&) {}  // the reply is the whole answer

void resolution(Session&, const TokenList&, const ReplyOut& out) {
  int width = 0;
  int height = 0;
  queryMainDisplaySize(&width, &height);
  writeReplyNumbers(out, "SCREEN", {width, height, width, height});
}

void getPos(Session&, const TokenList&, const ReplyOut& out) {
  int x = 0;
  int y = 0;
  if (queryCursorPosition(&x, &y)) writeReplyNumbers(out, "POS", {x, y});
}

void move(Session& s, const TokenList& c, const ReplyOut&) {
  s.pointer.postMouseMove(parseReal(c.tokens[1]), parseReal(c.tokens[2]),
                          s.keyboard.modifierFlags());
}

void moveRatio(Session& s, const TokenList& c, const ReplyOut&) {
  s.pointer.postMouseMoveByRatio(parseReal(c.tokens[1]), parseReal(c.tokens[2]),
                                 s.keyboard.modifierFlags());
}

void mouseDown(Session& s, const TokenList& c, const ReplyOut&) {
  s.pointer.postButtonDown(parseButton(c.tokens[1]), c.count >= 3 ? parseInteger(c.tokens[2]) : 0,
                           s.keyboard.modifierFlags());
}

void mouseUp(Session& s, const TokenList& c, const ReplyOut&) {
  s.pointer.postButtonUp(parseButton(c.tokens[1]), s.keyboard.modifierFlags());
}

void click(Session& s, const TokenList& c, const ReplyOut&) {
  s.pointer.postClick(parseButton(c.tokens[1]), s.keyboard.modifierFlags());
}

void doubleClick(Session& s, const TokenList& c, const ReplyOut&) {
  s.pointer.postDoubleClick(parseButton(c.tokens[1]), s.keyboard.modifierFlags());
}

void wheel(Session& s, const TokenList& c, const ReplyOut&) {
  s.pointer.postScrollEvent(parseInteger(c.tokens[1]), false, s.keyboard.modifierFlags());
}

void hWheel(Session& s, const TokenList& c, const ReplyOut&) {
  s.pointer.postScrollEvent(parseInteger(c.tokens[1]), true, s.keyboard.modifierFlags());
}

void keyDown(Session& s, const TokenList& c, const ReplyOut&) {
  s.keyboard.checkSecureEventInput();
  s.keyboard.postKeyEvent(vkArgument(c), true);
}

void keyUp(Session& s, const TokenList& c, const ReplyOut&) {
  s.keyboard.checkSecureEventInput();
  s.keyboard.postKeyEvent(vkArgument(c), false);
}

void keyPress(Session& s, const TokenList& c, const ReplyOut&) {
  s.keyboard.checkSecureEventInput();
  s.keyboard.postKeyPress(vkArgument(c));
}

void text(Session& s, const TokenList& c, const ReplyOut&) {
  s.keyboard.checkSecureEventInput();
  s.keyboard.postBase64Text(c.tokens[1]);
}

// Text key by key through the Mac's layout, for apps that read key codes rather than strings.
void type(Session& s, const TokenList& c, const ReplyOut&) {
  s.keyboard.checkSecureEventInput();
  s.keyboard.postBase64Typing(c.tokens[1]);
}

// DISPLAYS <n>, then for each display " id:x,y,w,h,pw,ph": bounds in points, size in pixels.
void displays(Session&, const TokenList&, const ReplyOut& out) {
  const std::vector<DisplayInfo> active = activeDisplays();
  std::string line = "DISPLAYS " + std::to_string(active.size());
  for (const DisplayInfo& d : active) {
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

void moveDisplay(Session& s, const TokenList& c, const ReplyOut&) {
  CGDirectDisplayID display = 0;
  if (!parseUnsigned32(c.tokens[1], &display)) return;
  s.pointer.postMouseMoveOnDisplay(display, parseReal(c.tokens[2]), parseReal(c.tokens[3]),
                                   s.keyboard.modifierFlags());
}

void scroll(Session& s, const TokenList& c, const ReplyOut&) {
  s.pointer.postPixelScroll(parseReal(c.tokens[1]), parseReal(c.tokens[2]),
                            s.keyboard.modifierFlags());
}

void moveRel(Session& s, const TokenList& c, const ReplyOut&) {
  s.pointer.postRelativeMouseMove(parseReal(c.tokens[1]), parseReal(c.tokens[2]),
                                  s.keyboard.modifierFlags());
}

// The current keyboard layout's input source id, and the input method's when keys are composed,
// so that a host can choose between keys and TEXT.
void layout(Session&, const TokenList&, const ReplyOut& out) {
  const std::string ids = KeyboardLayout::currentSourceIds();
  writeReply(out, "LAYOUT ", ids.empty() ? "none" : ids);
}

// The Mac's Caps Lock now; with an argument (not 0: on) set first, whatever it was. none when the
// HID system cannot be reached.
void capsLock(Session& s, const TokenList& c, const ReplyOut& out) {
  CapsLock& lock = s.keyboard.capsLock();
  const Seconds now = monotonicSeconds();
  const std::optional<bool> on =
      c.count >= 2 ? lock.set(parseInteger(c.tokens[1]) != 0, now) : lock.read(now);
  writeReply(out, "CAPSLOCK ", !on ? "none" : *on ? "1" : "0");
}

// Whether a command is served while the permission is missing, as the whole line exactly.
enum Permission : bool { kNeedsPermission, kWithoutPermission };

struct Command {
  std::string_view word;
  int leastTokens;  // the word included; a line with fewer tokens is no such command
  Permission permission;
  void (*handler)(Session& session, const TokenList& tokens, const ReplyOut& out);  // none: QUIT
  std::string_view reply;  // written after the handler; empty when it writes its own, or none
};

// The protocol, one row a command: word, least tokens, permission, handler, fixed reply. Adding a
// command is a row here and its handler above.
constexpr Command kCommands[] = {
    {"PING", 1, kWithoutPermission, ping, "PONG"},
    {"RESOLUTION", 1, kWithoutPermission, resolution, ""},
    {"GETPOS", 1, kNeedsPermission, getPos, ""},
    {"MOVE", 3, kNeedsPermission, move, ""},
    {"MOVERATIO", 3, kNeedsPermission, moveRatio, ""},
    {"MOUSEDOWN", 2, kNeedsPermission, mouseDown, "ACK MOUSEDOWN"},
    {"MOUSEUP", 2, kNeedsPermission, mouseUp, "ACK MOUSEUP"},
    {"CLICK", 2, kNeedsPermission, click, "ACK CLICK"},
    {"DBLCLICK", 2, kNeedsPermission, doubleClick, ""},
    {"WHEEL", 2, kNeedsPermission, wheel, ""},
    {"HWHEEL", 2, kNeedsPermission, hWheel, ""},
    {"KEYDOWN", 2, kNeedsPermission, keyDown, "ACK KEYDOWN"},
    {"KEYUP", 2, kNeedsPermission, keyUp, "ACK KEYUP"},
    {"KEYPRESS", 2, kNeedsPermission, keyPress, ""},
    {"TEXT", 2, kNeedsPermission, text, ""},
    {"DISPLAYS", 1, kWithoutPermission, displays, ""},
    {"MOVEDISPLAY", 4, kNeedsPermission, moveDisplay, ""},
    {"SCROLL", 3, kNeedsPermission, scroll, ""},
    {"MOVEREL", 3, kNeedsPermission, moveRel, ""},
    {"LAYOUT", 1, kWithoutPermission, layout, ""},
    {"TYPE", 2, kNeedsPermission, type, ""},
    // Alone it only reads, as LAYOUT does; a set needs the permission.
    {"CAPSLOCK", 1, kWithoutPermission, capsLock, ""},
    {"QUIT", 1, kWithoutPermission, nullptr, ""},
};

// A word in two rows would leave the second unreachable, and the dispatch tells QUIT by its
// missing handler.
constexpr bool rowsAreSound() {
  for (const Command& command : kCommands) {
    if ((command.handler == nullptr) != (command.word == "QUIT")) return false;
    int rows = 0;
    for (const Command& other : kCommands) rows += other.word == command.word;
    if (rows != 1) return false;
  }
  return true;
}
static_assert(rowsAreSound());

}  // namespace

bool servedWithoutPermission(std::string_view line) {
  for (const Command& command : kCommands) {
    if (command.permission == kWithoutPermission && line == command.word) return true;
  }
  return false;
}

bool dispatchCommand(Session& session, std::string_view line, const ReplyOut& out) {
  const TokenList c = tokenizeLine(line);
  if (c.count == 0) return true;
  for (const Command& command : kCommands) {
    if (c.tokens[0] != command.word || c.count < command.leastTokens) continue;
    if (command.handler == nullptr) return false;
    command.handler(session, c, out);
    if (!command.reply.empty()) writeReply(out, command.reply);
    return true;
  }
  writeReply(out, "UNKNOWN: ", c.tokens[0]);
  return true;
}
