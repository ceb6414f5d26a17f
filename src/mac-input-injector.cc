// The agent's entry point, its command loop and dispatch, and the self-test.
//
// The self-test's checks are assertions that must hold in every build, release builds included.
#undef NDEBUG
#include <cassert>

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

namespace {

constexpr char kReadyLine[] = "READY: macOS CGEvent Input Injector Online";
constexpr char kNoPermissionBanner[] = "ERR: 请在 Mac 系统设置的辅助功能中允许 Trelvane 控制电脑";
constexpr char kRefusedLine[] = "ERR: Mac 辅助功能权限未授予，无法注入输入";
constexpr char kPermissionWarning[] =
    "WARNING: Accessibility permission not granted. Input injection may fail.\n"
    "Go to System Settings > Privacy & Security > Accessibility to enable.\n";

bool lastTrusted = false;
// The tokens of the line being handled; handlers read only those below the count.
TokenList tokenList;

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
  postButtonDown(c.tokens[1], c.count >= 3 ? parseInteger(c.tokens[2]) : 0);
  writeReply(out, "ACK MOUSEDOWN");
}

void commandMouseUp(const TokenList& c, FILE* out) {
  postButtonUp(c.tokens[1]);
  writeReply(out, "ACK MOUSEUP");
}

void commandClick(const TokenList& c, FILE* out) {
  postClick(c.tokens[1]);
  writeReply(out, "ACK CLICK");
}

void commandDoubleClick(const TokenList& c, FILE*) { postDoubleClick(c.tokens[1]); }

void commandWheel(const TokenList& c, FILE*) { postScrollEvent(parseInteger(c.tokens[1]), false); }

void commandHWheel(const TokenList& c, FILE*) { postScrollEvent(parseInteger(c.tokens[1]), true); }

void commandKeyDown(const TokenList& c, FILE* out) {
  postKeyEvent(vkArgument(c), true);
  writeReply(out, "ACK KEYDOWN");
}

void commandKeyUp(const TokenList& c, FILE* out) {
  postKeyEvent(vkArgument(c), false);
  writeReply(out, "ACK KEYUP");
}

void commandKeyPress(const TokenList& c, FILE*) { postKeyPress(vkArgument(c)); }

void commandText(const TokenList& c, FILE*) { postBase64Text(c.tokens[1]); }

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
  TokenList& c = tokenList;
  tokenizeLine(line, &c);
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

void setLastTrusted(bool trusted) { lastTrusted = trusted; }

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
constexpr char kSelfTestPassLine[] =
    "PASS R2 HID event construction, key mapping, modifier release and double-click count\n";
}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
    std::fputs(kVersionLine, stdout);
    return 0;
  }
  if (argc > 1 && std::strcmp(argv[1], "--self-test") == 0) {
    // The key-flag rules, the HID source and the click counter, on the commands' own state.
    const CGEventFlags arrow = kCGEventFlagMaskControl | kCGEventFlagMaskSecondaryFn;
    updateModifier(17, true);
    assert(g_modifierFlags & kCGEventFlagMaskControl);
    updateModifier(17, false);
    assert(!(g_modifierFlags & kCGEventFlagMaskControl));
    updateModifier(17, true);
    for (uint16_t vk = 37; vk <= 40; ++vk) {
      assert(keyEventFlags(vk, 1) == arrow);
      keyEventFlags(vk, 0);
    }
    for (uint16_t vk = 67; vk <= 88; ++vk) {
      const CGEventFlags expected =
          (vk == 67 || vk == 86 || vk == 88) ? kCGEventFlagMaskCommand : kCGEventFlagMaskControl;
      assert(keyEventFlags(vk, 1) == expected);
      keyEventFlags(vk, 0);
    }
    assert(keyEventFlags(67, 1) == kCGEventFlagMaskCommand);
    updateModifier(17, false);
    assert(keyEventFlags(67, 0) == kCGEventFlagMaskCommand);
    assert(keyEventFlags(67, 1) == 0);
    keyEventFlags(67, 0);
    updateModifier(163, true);
    assert(g_modifierFlags == kCGEventFlagMaskControl);
    keyEventFlags(67, 1);
    keyEventFlags(67, 0);
    updateModifier(163, false);
    updateModifier(17, true);
    updateModifier(18, true);
    assert(keyEventFlags(86, 1) == (kCGEventFlagMaskControl | kCGEventFlagMaskAlternate));
    keyEventFlags(86, 0);
    updateModifier(17, false);
    updateModifier(18, false);
    assert(g_modifierFlags == 0);
    assert(keyEventFlags(37, 1) == (kCGEventFlagMaskNumericPad | kCGEventFlagMaskSecondaryFn));
    keyEventFlags(37, 0);
    CGEventSourceRef testSource = getKeyboardSource();
    assert(testSource != NULL);
    CGEventRef testEvent = CGEventCreateKeyboardEvent(testSource, 123, true);
    assert(testEvent != NULL);
    CGEventSetFlags(testEvent, arrow);
    assert(CGEventGetFlags(testEvent) == arrow);
    CFRelease(testEvent);
    const CGPoint p = {10, 10};
    assert(nextClickCount(0, 1, p, 0) == 1);
    nextClickCount(0, 10, p, 2);
    std::fputs(kSelfTestPassLine, stdout);
    return 0;
  }
  // A host that closes our stdout must not kill the agent before it releases what is held; the
  // failed writes are ignored and the loop ends at end of input as usual.
  std::signal(SIGPIPE, SIG_IGN);
  startCommandChannel(stdout);
  return runCommandLoop(stdin, stdout);
}
#endif
