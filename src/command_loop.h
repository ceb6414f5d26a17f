// The command channel: the start-up banner, the stdin line loop with its permission gate, and the
// way out. The commands themselves are in commands.h.
#pragma once

#include <chrono>
#include <cstddef>
#include <string_view>

#include "line_protocol.h"
#include "session.h"
#include "timings.h"

// The command loop's side of the host: what it knows of the host's end of the replies and of the
// permission, beside the session it serves. main builds one for the process; each test its own.
struct HostChannel {
  explicit HostChannel(Session& session) : session(session) {}

  Session& session;
  // The permission as the previous non-empty line found it; at start, as the banner found it.
  bool lastTrusted = false;
  // How long a reply may wait on a host that does not read before what it holds is released.
  std::chrono::milliseconds replyStall = kReplyStall;
  // What the host's end of the replies takes without blocking, as last learnt, and what that end
  // is, both learnt on the descriptor replyRoomFd.
  size_t replyRoom = 0;
  int replyRoomFd = -1;
  ReplyTarget replyTarget = ReplyTarget::kOther;
};

// Writes the permission warning (to stderr) and the banner line to the descriptor out, and sets
// the channel's last trusted state from the banner's query.
void startCommandChannel(HostChannel& host, int out);

// One line as read, line end included or not; whatever follows a NUL is not part of it. Strips the
// line end, applies the permission gate, dispatches and writes the reply to out. Returns false when
// the line was QUIT.
bool handleLine(HostChannel& host, std::string_view line, int out);

// Reads lines from in until end of input, a read error, QUIT or one of the signals that end the
// agent; then releases whatever the host left held. Returns the exit status, 0; after such a
// signal it does not return but ends the process by that signal.
int runCommandLoop(HostChannel& host, int in, int out);
