// Posted pointer events summarised compactly for table-driven checks.
#pragma once

#include <string>
#include <vector>

#include "platform/simulated/simulation.h"
#include "support/in_process.h"

// A posted event in one short line, without its sequence number:
//   mouse   "<type> b<button> @<x>,<y> f<flags or -> {<field>:<value>,...}"
//   scroll  "22 u<units> n<wheelCount> <wheel1>,<wheel2> f<flags or ->"
//   other   "<type> f<flags or ->"
std::string eventSummary(const SimEvent& event);

// The summaries of everything posted since the last reset or clear, then the log cleared.
std::vector<std::string> takePosted();
