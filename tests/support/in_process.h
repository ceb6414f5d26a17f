// Runs the product's own code in this process against the simulated desktop.
#pragma once

#include <string>
#include <vector>

// A fresh desktop (defaults, recording posted events) and fresh agent state, trusted.
void resetAgent();

// Feeds input through the command loop (end of input included) and returns what it wrote.
std::string runLoop(const std::string& input);

// The trace lines of everything posted since the last reset or clear.
std::vector<std::string> postedTrace();
