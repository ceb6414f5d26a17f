// One event seen by the watcher as one JSON line, readable beside the simulated desktop's trace
// (platform/simulated/trace.cc): the same keys with the same meanings and number forms, in the
// trace's order, for what an event tap can read back from an event, then the time it was seen.
#pragma once

#include <string>

#include "platform/quartz.h"

// {"type":T,"flags":F, then by what its type's kind carries (kPostedEventKinds)
//   key events and modifier changes: "keycode":K,"down":B, "text":"..." when the event carries a
//     string (a modifier change is down when its key's flag is set in F), and
//     "fields":{"8":autorepeat};
//   mouse events: "x":X,"y":Y,"button":N,"fields":{"0":event number,"1":click state};
//   scroll events: "wheel1":L,"wheel2":L, the line deltas of the vertical and horizontal axes, and
//     "fields":{"88":continuous,"96":P,"97":P}, whether it is in pixels and the pixel deltas;
// then "time":time}, time being what the caller says (the watcher gives the CFAbsoluteTime at
// which it saw the event). A type of no listed kind has type, flags and time alone.
std::string eventLine(CGEventRef event, double time);
