// The watcher built on the simulated platform, a Mac's included: the simulated desktop posts into
// no session, so there is nothing to tap, and this build links no framework that could.
#include <cstdio>

#include "watch/event_tap.h"

int watchEvents(double) {
  std::fputs("mac-input-watch: no event tap away from macOS\n", stderr);
  return kCannotWatch;
}
