// The kinds of event the agent posts, each described once: its type, the short name that test
// descriptions give it, and what it carries beyond its type and flags. The simulated desktop's
// events and trace, the watcher's tap and line, and test descriptions read this table;
// scripts/trace_lines.py keeps its own list for the trace comparison, held to this one by its
// test. Nothing here needs the simulated desktop: the watcher builds against the real frameworks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>

#include "platform/quartz.h"

// What an event carries beyond its type and flags, which follows the call that made it: a key
// code and direction (and maybe text), a position and button, or scroll deltas.
enum class EventParts { Plain, Keyboard, Mouse, Scroll };

struct PostedEventKind {
  CGEventType type;
  const char* name;
  EventParts parts;
};

// In the order the watcher has always listed them; a kind added here is tapped, named and
// written whole at once.
inline constexpr PostedEventKind kPostedEventKinds[] = {
    {kCGEventKeyDown, "keydown", EventParts::Keyboard},
    {kCGEventKeyUp, "keyup", EventParts::Keyboard},
    {kCGEventFlagsChanged, "flagschanged", EventParts::Keyboard},
    {kCGEventLeftMouseDown, "leftdown", EventParts::Mouse},
    {kCGEventLeftMouseUp, "leftup", EventParts::Mouse},
    {kCGEventRightMouseDown, "rightdown", EventParts::Mouse},
    {kCGEventRightMouseUp, "rightup", EventParts::Mouse},
    {kCGEventOtherMouseDown, "otherdown", EventParts::Mouse},
    {kCGEventOtherMouseUp, "otherup", EventParts::Mouse},
    {kCGEventLeftMouseDragged, "leftdrag", EventParts::Mouse},
    {kCGEventRightMouseDragged, "rightdrag", EventParts::Mouse},
    {kCGEventOtherMouseDragged, "otherdrag", EventParts::Mouse},
    {kCGEventMouseMoved, "move", EventParts::Mouse},
    {kCGEventScrollWheel, "scroll", EventParts::Scroll},
};

// The kind of an event type; nullptr for a type the agent never posts.
constexpr const PostedEventKind* postedEventKind(uint32_t type) {
  for (const PostedEventKind& kind : kPostedEventKinds) {
    if (static_cast<uint32_t>(kind.type) == type) return &kind;
  }
  return nullptr;
}

// What an event of the type carries; Plain for a type not listed. (Compares types, not the
// pointers postedEventKind gives: GCC's sanitizers make a pointer comparison no constant.)
constexpr EventParts eventParts(uint32_t type) {
  for (const PostedEventKind& kind : kPostedEventKinds) {
    if (static_cast<uint32_t>(kind.type) == type) return kind.parts;
  }
  return EventParts::Plain;
}

// Each type once: a second row would never be read.
constexpr bool eachTypeOnce() {
  for (size_t i = 0; i < std::size(kPostedEventKinds); ++i) {
    for (size_t j = 0; j < i; ++j) {
      if (kPostedEventKinds[j].type == kPostedEventKinds[i].type) return false;
    }
  }
  return true;
}
static_assert(eachTypeOnce());
static_assert(eventParts(kCGEventFlagsChanged) == EventParts::Keyboard &&
              eventParts(kCGEventNull) == EventParts::Plain);
