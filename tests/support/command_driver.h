// Drives the agent one command line at a time in this process, without the end-of-input release
// that runLoop performs, and summarises posted events compactly for table-driven checks.
#pragma once

#include <string>
#include <vector>

#include "platform/simulation.h"

// Handles one line as the loop would and returns what it wrote. Fails the current test if any
// event object is still alive afterwards.
std::string sendLine(const std::string& line);

// Sends each line in turn and returns everything written.
std::string sendLines(const std::vector<std::string>& lines);

// A posted event in one short line, without its sequence number:
//   mouse   "<type> b<button> @<x>,<y> f<flags or -> {<field>:<value>,...}"
//   scroll  "22 u<units> n<wheelCount> <wheel1>,<wheel2> f<flags or ->"
//   other   "<type> f<flags or ->"
std::string eventSummary(const SimEvent& event);

// The summaries of everything posted since the last reset or clear, then the log cleared.
std::vector<std::string> takePosted();
