// The command stream the pipe benchmarks send: a host's mix of pointer, key and text commands,
// generated the same way on every run.
#pragma once

#include <cstddef>
#include <string>

struct CommandMix {
  size_t move = 0;
  size_t keyDown = 0;
  size_t keyUp = 0;
  size_t mouseDown = 0;
  size_t mouseUp = 0;
  size_t wheel = 0;
  size_t hwheel = 0;
  size_t getPos = 0;
  size_t ping = 0;
  size_t text = 0;
  size_t replies() const { return keyDown + keyUp + mouseDown + mouseUp + getPos + ping; }
};

// Exactly `count` command lines, each ending in LF. Every key and button pressed is released
// before the stream ends; moves go to integer points on the default 1512 x 982 main display. The
// last command is a PING, so its reply marks the end of the work.
std::string generateCommandStream(size_t count, CommandMix* mix);
