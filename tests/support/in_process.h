// Runs the product's own code in this process against the simulated desktop.
#pragma once

#include <string>
#include <vector>

#include "platform/quartz.h"

// A fresh desktop (defaults, recording posted events) and fresh agent state, trusted.
void resetAgent();

// Handles one line as the loop would (held input stays held) and returns what it wrote. Fails the
// current test if an event or string is still alive afterwards.
std::string sendLine(const std::string& line);

// sendLine for each line in turn; everything written.
std::string sendLines(const std::vector<std::string>& lines);

// sendLine for each LF-terminated line of input; everything written.
std::string handleLines(const std::string& input);

// Feeds input through the command loop (end of input included) and returns what it wrote.
std::string runLoop(const std::string& input);

// The trace lines of everything posted since the last reset or clear.
std::vector<std::string> postedTrace();

// Marks the modifiers of flags (Shift, Control, Alternate, Command) held, as their key-downs would,
// without posting anything.
void holdModifiers(CGEventFlags flags);

// The button a move would drag: 0 left, 1 right, 2 middle, or -1 when none is held.
int heldButton();
