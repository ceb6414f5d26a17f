// One protocol case: lines in, the replies and the events they should give, on a fresh agent. New
// rows of any in-process table go here rather than in a loop of their own.
#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>

#include "platform/quartz.h"
#include "support/describe.h"

struct ProtocolCase {
  const char* name;   // "": the input names the row
  std::string input;  // protocol lines, each ending in LF
  Events events;      // everything the lines posted, described
  // Everything written; left out where another table checks the replies of these commands.
  std::optional<std::string> replies = std::nullopt;
};

// What the rows of a table share.
struct CaseSetup {
  int macOSMajor = 27;
  CGEventFlags held = 0;  // modifiers held before the lines, posting nothing
  // Through the command loop, end of input included: what is still held is then released.
  bool wholeLoop = false;
  std::function<void()> before = nullptr;  // more setup on the fresh desktop
  // More checks on the agent after the lines, the row's events already taken.
  std::function<void(const ProtocolCase&)> after = nullptr;
};

// Each row on a fresh agent, traced by its name: sends the input, then compares what it wrote and
// what it posted.
void runCases(std::span<const ProtocolCase> cases, const CaseSetup& setup = {});
