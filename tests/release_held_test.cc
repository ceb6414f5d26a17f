// A host that goes away (end of input) or says QUIT mid-chord or mid-drag leaves nothing held:
// the agent releases keys, then modifiers, then buttons, as KEYUP and MOUSEUP would.
#include <gtest/gtest.h>
#include <fstream>
#include <string>
#include <vector>

#include "support/agent_process.h"
#include "support/protocol_lines.h"

namespace {

std::string key(int seq, int type, uint64_t flags, int keycode, bool down) {
  return "{\"seq\":" + std::to_string(seq) + ",\"tap\":0,\"type\":" + std::to_string(type) +
         ",\"source\":\"hid\",\"flags\":" + std::to_string(flags) +
         ",\"keycode\":" + std::to_string(keycode) + ",\"down\":" + (down ? "true" : "false") +
         ",\"suppressionInterval\":0,\"localEventsFilter\":[7,7]}";
}

std::string mouse(int seq, int type, const char* xy, int button, uint64_t flags,
                  const char* fields) {
  return "{\"seq\":" + std::to_string(seq) + ",\"tap\":0,\"type\":" + std::to_string(type) +
         ",\"source\":null,\"flags\":" + std::to_string(flags) + "," + xy +
         ",\"button\":" + std::to_string(button) + ",\"fields\":{" + fields + "}}";
}

constexpr uint64_t kShift = 0x20000, kControl = 0x40000, kCommand = 0x100000;
constexpr uint64_t kArrow = 0xA00000;  // NumericPad | SecondaryFn

TEST(ReleaseHeld, AtEndOfInputAndOnQuitInOrder) {
  struct Case {
    const char* name;
    std::string input;
    std::vector<std::string> expected;
  } cases[] = {
      {"translated C released with Command, then Control",
       "KEYDOWN 17\nKEYDOWN 67\n",
       {key(1, 12, kControl, 59, true), key(2, 10, kCommand, 8, true),
        key(3, 11, kCommand, 8, false), key(4, 12, 0, 59, false)}},
      {"the same chord ended by QUIT",
       "KEYDOWN 17\nKEYDOWN 67\nQUIT\nKEYDOWN 65\n",
       {key(1, 12, kControl, 59, true), key(2, 10, kCommand, 8, true),
        key(3, 11, kCommand, 8, false), key(4, 12, 0, 59, false)}},
      {"keys in ascending VK order, then modifiers in ascending VK order",
       "KEYDOWN 162\nKEYDOWN 66\nKEYDOWN 16\nKEYDOWN 65\n",
       {key(1, 12, kControl, 59, true), key(2, 10, kControl, 11, true),
        key(3, 12, kControl | kShift, 56, true), key(4, 10, kControl | kShift, 0, true),
        key(5, 11, kControl | kShift, 0, false), key(6, 11, kControl | kShift, 11, false),
        key(7, 12, kControl, 56, false), key(8, 12, 0, 59, false)}},
      {"a held arrow keeps its flags",
       "KEYDOWN 37\n",
       {key(1, 10, kArrow, 123, true), key(2, 11, kArrow, 123, false)}},
      {"nothing held: nothing more",
       "KEYDOWN 65\nKEYUP 65\nCLICK left\nDBLCLICK right\nKEYPRESS 66\n",
       {key(1, 10, 0, 0, true), key(2, 11, 0, 0, false),
        R"({"seq":3,"tap":0,"type":1,"source":null,"flags":null,"x":756,"y":491,"button":0,"fields":{"0":124,"1":1}})",
        R"({"seq":4,"tap":0,"type":2,"source":null,"flags":null,"x":756,"y":491,"button":0,"fields":{"0":124,"1":1}})",
        R"({"seq":5,"tap":0,"type":3,"source":null,"flags":null,"x":756,"y":491,"button":1,"fields":{"0":125,"1":1}})",
        R"({"seq":6,"tap":0,"type":4,"source":null,"flags":null,"x":756,"y":491,"button":1,"fields":{"0":125,"1":1}})",
        R"({"seq":7,"tap":0,"type":3,"source":null,"flags":null,"x":756,"y":491,"button":1,"fields":{"0":126,"1":2}})",
        R"({"seq":8,"tap":0,"type":4,"source":null,"flags":null,"x":756,"y":491,"button":1,"fields":{"0":126,"1":2}})",
        key(9, 10, 0, 11, true), key(10, 11, 0, 11, false)}},
      {"a button held mid-drag is released where the drag ended",
       "MOUSEDOWN left\nMOVE 800 500\n",
       {mouse(1, 1, "\"x\":756,\"y\":491", 0, 0, "\"0\":124,\"1\":1"),
        mouse(2, 6, "\"x\":800,\"y\":500", 0, 0, "\"0\":124,\"1\":1,\"4\":44,\"5\":9"),
        mouse(3, 2, "\"x\":800,\"y\":500", 0, 0, "\"0\":124,\"1\":1")}},
      {"several buttons: left, right, middle, after the keys and modifiers",
       "MOUSEDOWN middle\nMOUSEDOWN right\nKEYDOWN 16\nMOUSEDOWN left\n",
       {mouse(1, 25, "\"x\":756,\"y\":491", 2, 0, "\"0\":124,\"1\":1"),
        mouse(2, 3, "\"x\":756,\"y\":491", 1, 0, "\"0\":125,\"1\":1"), key(3, 12, kShift, 56, true),
        mouse(4, 1, "\"x\":756,\"y\":491", 0, kShift, "\"0\":126,\"1\":1"),
        key(5, 12, 0, 56, false), mouse(6, 2, "\"x\":756,\"y\":491", 0, 0, "\"0\":126,\"1\":1"),
        mouse(7, 4, "\"x\":756,\"y\":491", 1, 0, "\"0\":125,\"1\":1"),
        mouse(8, 26, "\"x\":756,\"y\":491", 2, 0, "\"0\":124,\"1\":1")}},
      {"a released button is not released again",
       "MOUSEDOWN left\nMOUSEUP left\nQUIT\n",
       {mouse(1, 1, "\"x\":756,\"y\":491", 0, 0, "\"0\":124,\"1\":1"),
        mouse(2, 2, "\"x\":756,\"y\":491", 0, 0, "\"0\":124,\"1\":1")}},
  };
  for (const Case& c : cases) {
    AgentResult r = runAgent(c.input);
    ASSERT_TRUE(r.exited) << c.name;
    EXPECT_EQ(r.status, 0) << c.name;
    EXPECT_EQ(r.out.substr(0, kReady.size()), kReady) << c.name;
    EXPECT_EQ(r.out.find("ACK", r.out.rfind("ACK") + 1), std::string::npos) << c.name;
    EXPECT_EQ(postedLines(r), c.expected) << c.name;
    ASSERT_FALSE(r.trace.empty());
    EXPECT_EQ(r.trace.back().find("\"liveEvents\":0,\"liveStrings\":0"), 13u) << r.trace.back();
  }
}

TEST(ReleaseHeld, WritesNothingToStandardOutput) {
  AgentResult r = runAgent("KEYDOWN 17\nMOUSEDOWN left\n");
  EXPECT_EQ(r.out, kReady + "ACK KEYDOWN\nACK MOUSEDOWN\n");
  EXPECT_EQ(postedLines(r).size(), 4u);
}

TEST(ReleaseHeld, QuitReleasesWhatWasHeldBeforeThePermissionWentAway) {
  std::string trust = temporaryPath("trust");
  std::ofstream(trust) << "1";
  AgentSession session = startAgentTrustingFile(trust);
  readAgentLine(session);
  sendToAgent(session, "KEYDOWN 16\n");
  EXPECT_EQ(readAgentLine(session), "ACK KEYDOWN");
  sendToAgent(session, "KEYDOWN 65\n");
  EXPECT_EQ(readAgentLine(session), "ACK KEYDOWN");
  std::ofstream(trust) << "0";
  sendToAgent(session, "KEYUP 65\n");  // refused: A stays held
  readAgentLine(session);
  sendToAgent(session, "QUIT\n");
  AgentResult r = finishAgent(session);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(postedLines(r),
            (std::vector<std::string>{key(1, 12, kShift, 56, true), key(2, 10, kShift, 0, true),
                                      key(3, 11, kShift, 0, false), key(4, 12, 0, 56, false)}));
}

}  // namespace
