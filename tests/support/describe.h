// A posted event in one readable line, the same whether it was seen in process or read back from a
// whole-process trace. Everything the event carries shows, except its sequence number (the order
// of a list says it) and the time it was posted (SimEvent::time, AgentResult::postedTimes):
//
//   <type> [<keycode> [down|up]] [@<x>,<y>] [button <n>] [click <n>] [#<n>] [d<dx>,<dy>]
//     [field<n>=<v>...] [pixel] [<wheels>] [continuous] [aux|subtype <n>] [<data1>] [data2 <n>]
//     [text <units> '<text>'] [hid...] [repeat] [tap <n>] [<flags>]
//
//   type     its kind's name in kPostedEventKinds (keydown, flagschanged, leftdown, move,
//            scroll...), systemdefined for a system-defined event, else "type <n>"
//   keycode  key events; "down" or "up" only for flagschanged or where it disagrees with the type
//   @x,y     mouse events, shortest form (100.7, -0, 1e+300, nan, inf)
//   button   only when not the type's own (left and move 0, right 1, other 2)
//   click    field 1 (click state); # field 0 (event number); d fields 4 and 5 (deltas, when both
//            are set); any other integer field as field<n>=<v>
//   wheels   scroll events: as many as the wheel count, "-3,0" for two; "pixel" for pixel units;
//            "continuous" when field 88 (kCGScrollWheelEventIsContinuous) is 1
//   aux      system-defined events of the volume and media keys' subtype (8) with data2 -1; any
//            other shows its subtype and data2; data1 in hex either way
//   text     the attached string: its UTF-16 units, then the text quoted, with \\ \' \n \r \t,
//            \xNN for other control characters and \uXXXX for a lone surrogate
//   hid      made from an event source that suppresses nothing (interval 0, every local event
//            permitted in both states, as the agent sets its keyboard source); otherwise
//            "hid suppress <interval> <filter>,<filter>"
//   repeat   key events whose field 8 (kCGKeyboardEventAutorepeat) is 1
//   tap      only when not the HID tap
//   flags    names joined by '+' in bit order (Shift+Command), other bits in hex; nothing when set
//            to 0; "noflags" when they were never set
//
// A set of the HID system's Caps Lock state, logged among the events, is "capslock on" or
// "capslock off".
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/simulated/simulation.h"

std::string describe(const SimEvent& event);

// Posted events, described, in posting order.
using Events = std::vector<std::string>;

// The flags part of a description: "" for 0, else the names joined by '+'.
std::string flagNames(uint64_t flags);

// Reads a posted event's trace line back (simTraceLine's flat JSON, its time included); false when
// it is not one.
bool parseTraceLine(std::string_view line, SimEvent* event);
