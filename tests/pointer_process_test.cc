// The pointer commands through the built agent, as a host drives it: replies on stdout, events in
// the trace, the MII_SIM_* knobs for the desktop. Counts are given explicitly where the real clock
// would otherwise decide them.
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "support/agent_process.h"
#include "support/protocol_lines.h"

namespace {

using Env = std::vector<std::pair<std::string, std::string>>;
using Lines = std::vector<std::string>;

constexpr char kCleanExit[] =
    "{\"exit\":true,\"liveEvents\":0,\"liveStrings\":0,\"liveSources\":0}";

AgentResult run(const std::string& input, Env env) {
  AgentOptions options;
  options.env = std::move(env);
  AgentResult result = runAgent(input, options);
  EXPECT_TRUE(result.exited);
  EXPECT_EQ(result.status, 0);
  EXPECT_FALSE(result.trace.empty());
  if (!result.trace.empty()) {
    EXPECT_EQ(result.trace.back(), kCleanExit);
  }
  return result;
}

// The trace line of a mouse event.
std::string mouse(int seq, int type, const char* flags, const char* x, const char* y, int button,
                  const char* fields) {
  return "{\"seq\":" + std::to_string(seq) + ",\"tap\":0,\"type\":" + std::to_string(type) +
         ",\"source\":null,\"flags\":" + flags + ",\"x\":" + x + ",\"y\":" + y +
         ",\"button\":" + std::to_string(button) + ",\"fields\":{" + fields + "}}";
}

std::string scroll(int seq, int wheel1, int wheel2) {
  return "{\"seq\":" + std::to_string(seq) +
         ",\"tap\":0,\"type\":22,\"source\":null,\"flags\":null,\"units\":1,\"wheelCount\":2,"
         "\"wheel1\":" +
         std::to_string(wheel1) + ",\"wheel2\":" + std::to_string(wheel2) + "}";
}

// The start of the fields of a numbered event: "\"0\":n," on macOS 27, nothing before it.
std::string number(int major, int n) {
  return major >= 27 ? "\"0\":" + std::to_string(n) + "," : "";
}

TEST(PointerProcess, DragsClicksAndEventNumbersOn26And27) {
  for (int major : {26, 27}) {
    SCOPED_TRACE(major);
    AgentResult r =
        run("MOUSEDOWN left 1\nMOVE 150.9 180.1\nMOUSEUP left\nMOVE 10 20\n"
            "MOUSEDOWN right 2\nCLICK middle\nDBLCLICK left\n",
            {{"MII_SIM_MACOS", std::to_string(major)},
             {"MII_SIM_PRESS_COUNTS", "1,2,3"},
             {"MII_SIM_CURSOR", "100.5,200.5"}});
    EXPECT_EQ(r.out, kReady + "ACK MOUSEDOWN\nACK MOUSEUP\nACK MOUSEDOWN\nACK CLICK\n");
    auto n = [major](int value) { return number(major, value); };
    EXPECT_EQ(
        postedLines(r),
        (Lines{
            mouse(1, 1, "0", "100.5", "200.5", 0, (n(7) + "\"1\":1").c_str()),
            mouse(2, 6, "0", "150.9", "180.1", 0, (n(7) + "\"1\":1,\"4\":50,\"5\":-20").c_str()),
            mouse(3, 2, "0", "150.9", "180.1", 0, (n(7) + "\"1\":1").c_str()),
            mouse(4, 5, "null", "10", "20", 0, "\"4\":-140,\"5\":-160"),
            mouse(5, 3, "0", "10", "20", 1, (n(8) + "\"1\":2").c_str()),
            mouse(6, 25, "null", "10", "20", 2, (n(9) + "\"1\":1").c_str()),
            mouse(7, 26, "null", "10", "20", 2, (n(9) + "\"1\":1").c_str()),
            mouse(8, 1, "null", "10", "20", 0, (n(10) + "\"1\":1").c_str()),
            mouse(9, 2, "null", "10", "20", 0, (n(10) + "\"1\":1").c_str()),
            mouse(10, 1, "null", "10", "20", 0, (n(11) + "\"1\":2").c_str()),
            mouse(11, 2, "null", "10", "20", 0, (n(11) + "\"1\":2").c_str()),
            // The right button was still held at end of input: its release carries its own
            // press's number.
            mouse(12, 4, "0", "10", "20", 1, (n(8) + "\"1\":2").c_str()),
        }));
  }
}

TEST(PointerProcess, QuitReleasesHeldButtonsAndReadsNoFurther) {
  AgentResult r = run("MOUSEDOWN middle 1\nMOUSEDOWN left 3\nQUIT\nMOUSEDOWN right\n",
                      {{"MII_SIM_MACOS", "27"}, {"MII_SIM_CURSOR", "5,6"}});
  EXPECT_EQ(r.out, kReady + "ACK MOUSEDOWN\nACK MOUSEDOWN\n");
  EXPECT_EQ(postedLines(r), (Lines{
                                mouse(1, 25, "0", "5", "6", 2, "\"0\":124,\"1\":1"),
                                mouse(2, 1, "0", "5", "6", 0, "\"0\":125,\"1\":3"),
                                mouse(3, 2, "0", "5", "6", 0, "\"0\":125,\"1\":3"),
                                mouse(4, 26, "0", "5", "6", 2, "\"0\":124,\"1\":1"),
                            }));
}

TEST(PointerProcess, MotionScrollAndQueries) {
  AgentResult r = run(
      "GETPOS\nRESOLUTION\nMOVE 100.7 200.2\nGETPOS\nMOVERATIO 0.5 0.5\nMOVE -200.5 10\nGETPOS\n"
      "WHEEL 120\nWHEEL 0\nHWHEEL 1\nHWHEEL -1\n",
      {{"MII_SIM_DISPLAYS", "800x600,400x300@-400,0"}});
  EXPECT_EQ(r.out, kReady + "POS 400 300\nSCREEN 800 600 800 600\nPOS 100 200\nPOS -200 10\n");
  EXPECT_EQ(postedLines(r), (Lines{
                                mouse(1, 5, "null", "100.7", "200.2", 0, "\"4\":-299,\"5\":-99"),
                                mouse(2, 5, "null", "400", "300", 0, "\"4\":299,\"5\":99"),
                                mouse(3, 5, "null", "-200.5", "10", 0, "\"4\":-600,\"5\":-290"),
                                scroll(4, -3, 0),
                                scroll(5, 3, 0),
                                scroll(6, 0, 3),
                                scroll(7, 0, -3),
                            }));
}

TEST(PointerProcess, NoDisplayAndFailedListing) {
  for (const char* knob : {"MII_SIM_DISPLAYS", "MII_SIM_FAIL"}) {
    SCOPED_TRACE(knob);
    AgentResult r = run("MOVERATIO 0.5 0.5\nRESOLUTION\nMOVE 1e300 -1e300\nGETPOS\n",
                        {{knob, knob == std::string("MII_SIM_FAIL") ? "displays" : "none"},
                         {"MII_SIM_CURSOR", "1,2"}});
    // Without displays the cursor goes wherever it is sent; with displays it is kept on them.
    std::string pos =
        knob == std::string("MII_SIM_FAIL") ? "POS 1511 0\n" : "POS 2147483647 -2147483648\n";
    EXPECT_EQ(r.out, kReady + "SCREEN 1920 1080 1920 1080\n" + pos);
    EXPECT_EQ(postedLines(r),
              (Lines{mouse(1, 5, "null", "1e+300", "-1e+300", 0,
                           "\"4\":9223372036854775807,\"5\":-9223372036854775808")}));
  }
}

TEST(PointerProcess, NonFiniteMoveAndUnreadableCursor) {
  AgentResult r = run("MOVE nan inf\nGETPOS\nMOUSEDOWN left\nMOUSEUP left\nPING\n",
                      {{"MII_SIM_FAIL", "create"}, {"MII_SIM_MACOS", "26"}});
  EXPECT_EQ(r.out, kReady + "ACK MOUSEDOWN\nACK MOUSEUP\nPONG\n");
  EXPECT_EQ(postedLines(r), (Lines{
                                mouse(1, 5, "null", "null", "null", 0, ""),
                                mouse(2, 1, "0", "0", "0", 0, "\"1\":1"),
                                mouse(3, 2, "0", "0", "0", 0, "\"1\":1"),
                            }));
}

}  // namespace
