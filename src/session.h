// One agent from its start to its end: the keyboard, the pointer, the seam their events leave
// through, and the Accessibility permission as the command loop last saw it. main builds one for
// the process; each test builds its own.
#pragma once

#include <chrono>

#include "keyboard/keyboard.h"
#include "line_protocol.h"
#include "platform/post_event.h"
#include "pointer/pointer.h"
#include "timings.h"

struct Session {
  EventPoster poster;
  Keyboard keyboard{poster};
  Pointer pointer{poster};
  // The permission as the previous non-empty line found it; at start, as the banner found it.
  bool lastTrusted = false;
  // How long a reply may wait on a host that does not read before what it holds is released.
  std::chrono::milliseconds replyStall = kReplyStall;
  // What the host's end of the replies takes without blocking, as last learnt, and what that end
  // is, both learnt on the descriptor replyRoomFd.
  size_t replyRoom = 0;
  int replyRoomFd = -1;
  ReplyTarget replyTarget = ReplyTarget::kOther;

  // Releases every key, modifier and button the host left held: keys first, while the modifiers
  // that shaped them are down, then the buttons, with the modifiers then left (none).
  void releaseHeldInput() {
    keyboard.releaseHeldKeys();
    pointer.releaseHeldButtons(keyboard.modifierFlags());
  }
};
