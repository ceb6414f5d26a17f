#include "command_loop.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string_view>

#include "commands.h"
#include "ending_signals.h"
#include "line_protocol.h"
#include "platform/quartz.h"

namespace {

constexpr char kReadyLine[] = "READY: macOS CGEvent Input Injector Online";
constexpr char kNoPermissionBanner[] = "ERR: 请在 Mac 系统设置的辅助功能中允许 Trelvane 控制电脑";
constexpr char kRefusedLine[] = "ERR: Mac 辅助功能权限未授予，无法注入输入";
constexpr char kPermissionWarning[] =
    "WARNING: Accessibility permission not granted. Input injection may fail.\n"
    "Go to System Settings > Privacy & Security > Accessibility to enable.\n";

// A host that stopped reading may be hung with keys or buttons down, and the agent cannot tell
// when it will read again: what it holds is released, the reply still waits.
void releaseForStalledHost(HostChannel& host) {
  host.session.releaseHeldInput();
  char note[128];
  const int size = std::snprintf(
      note, sizeof note,
      "WARNING: the host has not read a reply for %g seconds; released what it held\n",
      Seconds(host.replyStall).count());
  // Only if stderr has room now: a note for the person at the Mac must never hold the agent, least
  // of all while it waits on a host that stopped reading.
  writeLineIfRoom(STDERR_FILENO, std::string_view(note, static_cast<size_t>(size)));
}

// Replies to the host on out.
ReplyOut hostReplies(HostChannel& host, int out) {
  if (host.replyRoomFd != out) {  // room learnt on another descriptor says nothing of this one
    host.replyRoomFd = out;
    host.replyRoom = 0;
    // Diagnostics on a standard error that is the replies' own pipe use up its room unseen.
    host.replyTarget = replyTargetOf(out, STDERR_FILENO);
  }
  return {out,
          endingSignalDescriptor(),
          static_cast<int>(host.replyStall.count()),
          [&host] { releaseForStalledHost(host); },
          &host.replyRoom,
          host.replyTarget};
}

}  // namespace

void startCommandChannel(HostChannel& host, int out) {
  // Asked once: two answers could disagree, a warning above a READY banner.
  host.lastTrusted = AXIsProcessTrusted();
  // Only if stderr has room: nobody may be reading it, and the host waits for the banner.
  if (!host.lastTrusted) writeLineIfRoom(STDERR_FILENO, kPermissionWarning);
  writeReply(hostReplies(host, out), host.lastTrusted ? kReadyLine : kNoPermissionBanner);
}

bool handleLine(HostChannel& host, std::string_view line, int out) {
  const ReplyOut replies = hostReplies(host, out);
  std::string_view text = line.substr(0, line.find('\0'));
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.remove_suffix(1);
  if (text.empty()) return true;

  bool now = AXIsProcessTrusted();
  if (now && !host.lastTrusted) {
    // Whatever was held when the permission went away could not be released since: the host
    // starts again from nothing held, as it would with a new agent.
    host.session.releaseHeldInput();
    writeReply(replies, kReadyLine);
  }
  if (!now && !servedWithoutPermission(text)) {
    writeReply(replies, kRefusedLine);
    host.lastTrusted = false;
    return true;
  }
  bool keepGoing = dispatchCommand(host.session, text, replies);
  host.lastTrusted = now;
  return keepGoing;
}

int runCommandLoop(HostChannel& host, int in, int out) {
  LineReader reader(in, endingSignalDescriptor());
  std::string_view line;
  uint64_t length = 0;
  while (endingSignal() == 0) {
    const LineStatus status = readLine(reader, &line, &length);
    if (status == LineStatus::kLine) {
      if (!handleLine(host, line, out)) break;
    } else if (status == LineStatus::kDropped) {
      // No reply: the host cannot tell which command it was, and answering it would put the
      // host's count of replies out of step. The note is dropped when stderr has no room: nobody
      // may be reading it, and waiting would stop the agent with what the host holds.
      char note[96];
      const int size =
          std::snprintf(note, sizeof note, "ERR: dropped a line of %llu bytes; the limit is %zu\n",
                        static_cast<unsigned long long>(length), kMaxLineLength);
      writeLineIfRoom(STDERR_FILENO, std::string_view(note, static_cast<size_t>(size)));
    } else {
      break;
    }
  }
  // A host that went away mid-chord or mid-drag must not leave the Mac with keys or buttons down;
  // nor must one that ended the agent by a signal.
  host.session.releaseHeldInput();
  // The window server takes posted events asynchronously and drops what it has not taken when
  // the poster exits: the last keys of the session and the releases just posted.
  host.session.poster.settle();
  if (endingSignal() != 0) endBySignal(endingSignal());
  return 0;
}
