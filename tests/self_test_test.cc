// --self-test, run as the built binary: its pass line, and real failures through the simulated
// desktop's fault settings.
#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <utility>
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

TEST(SelfTestTest, PassesWithoutPermissionOrInputAndPostsNothing) {
  AgentOptions closedStdin = selfTest();
  closedStdin.closedStdin = true;
  const struct {
    const char* name;
    AgentOptions options;
  } cases[] = {
      {"trusted", selfTest()},
      {"untrusted", selfTest({{"MII_SIM_TRUSTED", "0"}})},
      {"no displays, mouse events failing",
       selfTest({{"MII_SIM_DISPLAYS", "none"}, {"MII_SIM_FAIL", "mouse,create,scroll"}})},
      {"no standard input", closedStdin},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AgentResult r = runAgent("PING\nQUIT\n", c.options);
    ASSERT_TRUE(r.exited);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kPass);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(r.posted.empty());
    // The test event was released; the HID keyboard source lives for the whole run.
    EXPECT_EQ(r.sourcesAtExit, 1);
  }
}

TEST(SelfTestTest, StopsAtTheFirstFailedCheckWithTheAssertionDiagnostic) {
  const struct {
    const char* fail;
    const char* expression;
  } cases[] = {
      {"source", "testSource != NULL"},
      {"keyboard", "testEvent != NULL"},
      {"source,keyboard", "testSource != NULL"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fail);
    AgentResult r = runAgent("", selfTest({{"MII_SIM_FAIL", c.fail}}));
    EXPECT_FALSE(r.exited);
    EXPECT_EQ(r.status, SIGABRT);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(c.expression), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("main"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("mac-input-injector"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("ERR: Cannot create HID keyboard source"), std::string::npos) << r.err;
    EXPECT_TRUE(r.posted.empty());
  }
}

}  // namespace
