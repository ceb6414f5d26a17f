// The agent's entry point, its command loop and dispatch.
#include "mac-input-injector.h"

#include <charconv>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string_view>

#include "keyboard/key_events.h"
#include "keyboard/text_entry.h"
#include "line_protocol.h"
#include "platform/quartz.h"
#include "pointer/buttons.h"
#include "pointer/motion.h"
#include "self_test.h"

namespace {

constexpr char kReadyLine[] = "READY: macOS CGEvent Input Injector Online";
constexpr char kNoPermissionBanner[] = "ERR: 请在 Mac 系统设置的辅助功能中允许 Trelvane 控制电脑";
constexpr char kRefusedLine[] = "ERR: Mac 辅助功能权限未授予，无法注入输入";
constexpr char kPermissionWarning[] =
    "WARNING: Accessibility permission not granted. Input injection may fail.\n"
    "Go to System Settings > Privacy & Security > Accessibility to enable.\n";

bool lastTrusted = false;

// A reply word followed by decimal integers, each after one space: what "%d" would print, without
// the cost of a format string interpreted on every GETPOS.
void writeReplyNumbers(FILE* out, std::string_view word, std::initializer_list<int> numbers) {
  char buffer[96];  // a word and four 11-character numbers
  char* end = buffer + sizeof buffer;
  char* at = buffer + word.copy(buffer, word.size());
  for (int number : numbers) {
    *at++ = ' ';
    at = std::to_chars(at, end, number).ptr;
  }
  writeReply(out, std::string_view(buffer, static_cast<size_t>(at - buffer)));
}

// Key commands carry the VK in the integer's low 16 bits.
uint16_t vkArgument(const TokenList& c) { return static_cast<uint16_t>(parseInteger(c.tokens[1])); }

void commandPing(const TokenList&, FILE* out) { writeReply(out, "PONG"); }

void commandResolution(const TokenList&, FILE* out) {
  int width = 0;
  int height = 0;
  queryMainDisplaySize(&width, &height);
  writeReplyNumbers(out, "SCREEN", {width, height, width, height});
}

void commandGetPos(const TokenList&, FILE* out) {
  int x = 0;
  int y = 0;
  if (queryCursorPosition(&x, &y)) writeReplyNumbers(out, "POS", {x, y});
}

void commandMove(const TokenList& c, FILE*) {
  postMouseMove(parseReal(c.tokens[1]), parseReal(c.tokens[2]));
}

void commandMoveRatio(const TokenList& c, FILE*) {
  postMouseMoveByRatio(parseReal(c.tokens[1]), parseReal(c.tokens[2]));
}

void commandMouseDown(const TokenList& c, FILE* out) {
  postButtonDown(parseButton(c.tokens[1]), c.count >= 3 ? parseInteger(c.tokens[2]) : 0);
  writeReply(out, "ACK MOUSEDOWN");
}

void commandMouseUp(const TokenList& c, FILE* out) {
  postButtonUp(parseButton(c.tokens[1]));
  writeReply(out, "ACK MOUSEUP");
}

void commandClick(const TokenList& c, FILE* out) {
  postClick(parseButton(c.tokens[1]));
  writeReply(out, "ACK CLICK");
}

void commandDoubleClick(const TokenList& c, FILE*) { postDoubleClick(parseButton(c.tokens[1])); }

void commandWheel(const TokenList& c, FILE*) { postScrollEvent(parseInteger(c.tokens[1]), false); }

void commandHWheel(const TokenList& c, FILE*) { postScrollEvent(parseInteger(c.tokens[1]), true); }

void commandKeyDown(const TokenList& c, FILE* out) {
  checkSecureEventInput();
  postKeyEvent(vkArgument(c), true);
  writeReply(out, "ACK KEYDOWN");
}

void commandKeyUp(const TokenList& c, FILE* out) {
  checkSecureEventInput();
  postKeyEvent(vkArgument(c), false);
  writeReply(out, "ACK KEYUP");
}

void commandKeyPress(const TokenList& c, FILE*) {
  checkSecureEventInput();
  postKeyPress(vkArgument(c));
}

void commandText(const TokenList& c, FILE*) {
  checkSecureEventInput();
  postBase64Text(c.tokens[1]);
}

struct Command {
  std::string_view name;
  int minTokens;
  void (*handler)(const TokenList&, FILE* out);  // none for QUIT
};

// Matched in this order; QUIT comes last.
constexpr Command kCommands[] = {
    {"PING", 1, commandPing},
    {"RESOLUTION", 1, commandResolution},
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
    {"QUIT", 1, nullptr},
};

// Tokenizes and dispatches an accepted, stripped line. Returns false on QUIT.
bool handleCommand(std::string_view line, FILE* out) {
  const TokenList c = tokenizeLine(line);
  if (c.count == 0) return true;
  for (const Command& command : kCommands) {
    if (c.tokens[0] != command.name || c.count < command.minTokens) continue;
    if (command.handler == nullptr) return false;
    command.handler(c, out);
    return true;
  }
  writeReply(out, "UNKNOWN: ", c.tokens[0]);
  return true;
}

}  // namespace

void resetAgentState() {
  resetKeyboardState();
  resetPointerState();
  lastTrusted = AXIsProcessTrusted();
}

void startCommandChannel(FILE* out) {
  if (!AXIsProcessTrusted()) std::fputs(kPermissionWarning, stderr);
  std::setvbuf(out, nullptr, _IONBF, 0);
  lastTrusted = AXIsProcessTrusted();
  writeReply(out, lastTrusted ? kReadyLine : kNoPermissionBanner);
}

bool handleLine(char* line, FILE* out) {
  // The line is a C string: whatever follows an embedded NUL is not part of it.
  size_t length = std::strlen(line);
  while (length > 0 && (line[length - 1] == '\r' || line[length - 1] == '\n')) {
    line[--length] = '\0';
  }
  if (length == 0) return true;
  std::string_view text(line, length);

  bool now = AXIsProcessTrusted();
  if (now && !lastTrusted) writeReply(out, kReadyLine);
  if (!now && text != "PING" && text != "RESOLUTION" && text != "QUIT") {
    writeReply(out, kRefusedLine);
    lastTrusted = false;
    return true;
  }
  bool keepGoing = handleCommand(text, out);
  lastTrusted = now;
  return keepGoing;
}

void releaseHeldInput() {
  releaseHeldKeys();
  releaseHeldButtons();
}

int runCommandLoop(FILE* in, FILE* out) {
  static char line[kLineBufferSize];
  while (std::fgets(line, static_cast<int>(sizeof line), in) != nullptr) {
    if (!handleLine(line, out)) break;
  }
  // A host that went away mid-chord or mid-drag must not leave the Mac with keys or buttons down.
  releaseHeldInput();
  return 0;
}

#ifndef MII_NO_MAIN
namespace {
constexpr char kVersionLine[] = "Trelvane Mac keyboard 20260910-R2 HID\n";
}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
    std::fputs(kVersionLine, stdout);
    return 0;
  }
  if (argc > 1 && std::strcmp(argv[1], "--self-test") == 0) return selfTestMain();
  // A host that closes our stdout must not kill the agent before it releases what is held; the
  // failed writes are ignored and the loop ends at end of input as usual.
  std::signal(SIGPIPE, SIG_IGN);
  startCommandChannel(stdout);
  return runCommandLoop(stdin, stdout);
}
#endif
