// The floor of the line protocol: what any agent speaking it must pay, and nothing more. It reads
// stdin with the agent's own line reader and, for each line, writes the reply the agent would
// write through the agent's own writeReply, straight to the descriptor as the agent does. It posts
// no event and keeps no state but the cursor position that GETPOS reports.
//
// It knows the replies of the commands the benchmarks send: PING, GETPOS, MOVE (to integer
// coordinates on the main display, so the cursor lands exactly there), KEYDOWN, KEYUP, MOUSEDOWN,
// MOUSEUP, WHEEL, HWHEEL and TEXT. The harness checks that its output equals the agent's, byte for
// byte, on the whole stream.
#include <unistd.h>

#include <cstdint>
#include <string_view>

#include "line_protocol.h"
#include "support/protocol_lines.h"

namespace {

// "x y" of the last MOVE; the simulated main display is 1512 x 982, its centre the start.
char cursorText[64] = "756 491";

void handleLine(std::string_view line, const ReplyOut& out) {
  std::string_view text = line.substr(0, line.find('\0'));
  while (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  std::string_view word = text.substr(0, text.find(' '));
  if (word == "MOVE") {
    std::string_view position = text.substr(5);
    if (position.size() < sizeof cursorText) {
      position.copy(cursorText, position.size());
      cursorText[position.size()] = '\0';
    }
  } else if (word == "PING") {
    writeReply(out, "PONG");
  } else if (word == "GETPOS") {
    writeReply(out, "POS ", cursorText);
  } else if (word == "KEYDOWN") {
    writeReply(out, "ACK KEYDOWN");
  } else if (word == "KEYUP") {
    writeReply(out, "ACK KEYUP");
  } else if (word == "MOUSEDOWN") {
    writeReply(out, "ACK MOUSEDOWN");
  } else if (word == "MOUSEUP") {
    writeReply(out, "ACK MOUSEUP");
  }
}

}  // namespace

int main() {
  // As the agent's: room carried from reply to reply, learnt as what stdout is needs.
  size_t room = 0;
  const ReplyOut out{STDOUT_FILENO, -1, -1, {}, &room, replyTargetOf(STDOUT_FILENO, STDERR_FILENO)};
  writeReply(out, kReady.substr(0, kReady.size() - 1));
  // The agent also waits on its signal pipe; poll takes the same call with or without it.
  LineReader reader(STDIN_FILENO, -1);
  std::string_view line;
  uint64_t length = 0;
  for (LineStatus status; (status = readLine(reader, &line, &length)) != LineStatus::kEnd;) {
    if (status == LineStatus::kLine) handleLine(line, out);
  }
  return 0;
}
