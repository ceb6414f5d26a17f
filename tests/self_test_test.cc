// --self-test, run as the built binary: its pass line, and real failures through the simulated
// desktop's fault knobs.
#include <gtest/gtest.h>
#include <csignal>
#include <string>
#include <vector>

#include "support/agent_process.h"

namespace {

const std::string kPass =
    "PASS R2 HID event construction, key mapping, modifier release and double-click count\n";

AgentOptions selfTest(std::vector<std::pair<std::string, std::string>> env = {}) {
  AgentOptions options;
  options.args = {"--self-test"};
  options.env = std::move(env);
  return options;
}

TEST(SelfTest, PassesWithoutPermissionOrInputAndPostsNothing) {
  struct Case {
    const char* name;
    AgentOptions options;
  } cases[] = {
      {"trusted", selfTest()},
      {"untrusted", selfTest({{"MII_SIM_TRUSTED", "0"}})},
      {"no displays, mouse events failing",
       selfTest({{"MII_SIM_DISPLAYS", "none"}, {"MII_SIM_FAIL", "mouse,create,scroll"}})},
  };
  for (Case& c : cases) {
    AgentResult r = runAgent("PING\nQUIT\n", c.options);
    ASSERT_TRUE(r.exited) << c.name;
    EXPECT_EQ(r.status, 0) << c.name;
    EXPECT_EQ(r.out, kPass) << c.name;
    EXPECT_EQ(r.err, "") << c.name;
    EXPECT_EQ(postedLines(r), std::vector<std::string>{}) << c.name;
    // The test event was released; the HID keyboard source lives for the whole run.
    EXPECT_EQ(
        r.trace,
        std::vector<std::string>{R"({"exit":true,"liveEvents":0,"liveStrings":0,"liveSources":1})"})
        << c.name;
  }

  AgentOptions closed = selfTest();
  closed.closedStdin = true;
  AgentResult r = runAgent("", closed);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kPass);
}

TEST(SelfTest, StopsAtTheFirstFailedCheckWithTheAssertionDiagnostic) {
  struct Case {
    const char* fail;
    const char* expression;
  } cases[] = {
      {"source", "testSource != NULL"},
      {"keyboard", "testEvent != NULL"},
      {"source,keyboard", "testSource != NULL"},
  };
  for (const Case& c : cases) {
    AgentResult r = runAgent("", selfTest({{"MII_SIM_FAIL", c.fail}}));
    EXPECT_FALSE(r.exited) << c.fail;
    EXPECT_EQ(r.status, SIGABRT) << c.fail;
    EXPECT_EQ(r.out, "") << c.fail;
    EXPECT_NE(r.err.find(c.expression), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("main"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("mac-input-injector"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("ERR: Cannot create HID keyboard source"), std::string::npos) << r.err;
    EXPECT_EQ(postedLines(r), std::vector<std::string>{}) << c.fail;
  }
}

}  // namespace
