#include "support/protocol_case.h"

#include <gtest/gtest.h>

#include "support/in_process.h"

void runCases(std::span<const ProtocolCase> cases, const CaseSetup& setup) {
  for (const ProtocolCase& c : cases) {
    SCOPED_TRACE(*c.name != '\0' ? c.name : c.input);
    freshAgent(setup.macOSMajor);
    if (setup.held != 0) holdModifiers(setup.held);
    if (setup.before) setup.before();
    const std::string written = setup.wholeLoop ? runLoop(c.input) : handleLines(c.input);
    if (c.replies) {
      EXPECT_EQ(written, *c.replies);
    }
    EXPECT_EQ(takePosted(), c.events);
    if (setup.after) setup.after(c);
  }
}
