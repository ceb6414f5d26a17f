// One agent's input from its start to its end: the keyboard, the pointer and the seam their events
// leave through. main builds one for the process; each test builds its own. What the agent knows
// of its host (the replies' room, the permission as last seen) is the command loop's.
#pragma once

#include "keyboard/keyboard.h"
#include "platform/post_event.h"
#include "pointer/pointer.h"

struct Session {
  EventPoster poster;
  Keyboard keyboard{poster};
  Pointer pointer{poster};

  // Releases every key, modifier and button the host left held: keys first, while the modifiers
  // that shaped them are down, then the buttons, with the modifiers then left (none).
  void releaseHeldInput() {
    keyboard.releaseHeldKeys();
    pointer.releaseHeldButtons(keyboard.modifierFlags());
  }
};
