// The command channel: options, banners, the permission gate, line handling and dispatch, in
// process and as the built binary a host runs.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "mac-input-injector.h"
#include "platform/simulated/simulation.h"
#include "support/agent_process.h"
#include "support/in_process.h"
#include "support/protocol_lines.h"

namespace {

AgentOptions untrusted() {
  AgentOptions options;
  options.env = {{"MII_SIM_TRUSTED", "0"}};
  return options;
}

// ---- In process: the loop's own rules, line by line ------------------------------------------

TEST(CommandLoop, AnswersEachLineByTheProtocolTable) {
  resetAgent();
  struct Case {
    const char* line;
    std::string reply;
  } cases[] = {
      {"PING", "PONG\n"},
      {"PING extra", "PONG\n"},
      {"   PING   ", "PONG\n"},
      {"PING\r\n", "PONG\n"},
      {"PING\n\r\r\n\n", "PONG\n"},
      {"PING\rX", "UNKNOWN: PING\rX\n"},
      {"ping", "UNKNOWN: ping\n"},
      {"PING\textra", "UNKNOWN: PING\textra\n"},
      {"MOVE 100", "UNKNOWN: MOVE\n"},
      {"MOVERATIO 0.5", "UNKNOWN: MOVERATIO\n"},
      {"CLICK", "UNKNOWN: CLICK\n"},
      {"MOUSEDOWN", "UNKNOWN: MOUSEDOWN\n"},
      {"MOUSEUP", "UNKNOWN: MOUSEUP\n"},
      {"DBLCLICK", "UNKNOWN: DBLCLICK\n"},
      {"WHEEL", "UNKNOWN: WHEEL\n"},
      {"HWHEEL", "UNKNOWN: HWHEEL\n"},
      {"KEYDOWN", "UNKNOWN: KEYDOWN\n"},
      {"KEYUP", "UNKNOWN: KEYUP\n"},
      {"KEYPRESS", "UNKNOWN: KEYPRESS\n"},
      {"TEXT", "UNKNOWN: TEXT\n"},
      {"KEYDOWN 96", "ACK KEYDOWN\n"},
      {"KEYUP 96", "ACK KEYUP\n"},
      {"KEYDOWN -1", "ACK KEYDOWN\n"},
      {"TEXT aGk=", ""},
      {"MOVE 1 2", ""},
      {"", ""},
      {"\r\n", ""},
      {"     ", ""},
      {"UNKNOWN", "UNKNOWN: UNKNOWN\n"},
      {"\xff\xfe", "UNKNOWN: \xff\xfe\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(sendLine(c.line), c.reply) << c.line;
}

TEST(CommandLoop, QuitEndsTheLoopWhateverFollows) {
  resetAgent();
  EXPECT_FALSE(handleLine("QUIT now please", STDOUT_FILENO));
  EXPECT_FALSE(handleLine("QUIT", STDOUT_FILENO));
  EXPECT_EQ(sendLine("QUITE"), "UNKNOWN: QUITE\n");
  EXPECT_EQ(runLoop("PING\nQUIT\nPING\n"), "PONG\n");
}

TEST(CommandLoop, TheLineIsACStringEndingAtItsFirstNul) {
  resetAgent();
  EXPECT_EQ(runLoop(std::string("PING\0junk\nPING x\n", 17)), "PONG\nPONG\n");
}

TEST(CommandLoop, PermissionGateFollowsTheTrustLineByLine) {
  resetAgent();
  struct Step {
    bool trusted;
    const char* line;
    std::string reply;
  } steps[] = {
      {true, "PING", "PONG\n"},
      {false, "PING", "PONG\n"},
      {false, "RESOLUTION", "SCREEN 1512 982 1512 982\n"},
      {false, "PING extra", kRefused},
      {false, " PING", kRefused},
      {false, "GETPOS", kRefused},
      {false, "KEYDOWN 65", kRefused},
      {false, "   ", kRefused},
      {false, "", ""},
      {false, "\r\n", ""},
      // An empty line neither queries nor announces: the permission's return shows on the next
      // non-empty line, once.
      {true, "\n", ""},
      {true, "PING", kReady + "PONG\n"},
      {true, "PING", "PONG\n"},
      {false, "QUITX", kRefused},
      {true, "   ", kReady},
      {true, "   ", ""},
      {false, "PING", "PONG\n"},
      {true, "ping", kReady + "UNKNOWN: ping\n"},
  };
  for (const Step& s : steps) {
    simSetTrusted(s.trusted);
    EXPECT_EQ(sendLine(s.line), s.reply) << s.trusted << " " << s.line;
  }
  simSetTrusted(false);
  EXPECT_FALSE(handleLine("QUIT", STDOUT_FILENO));
}

// ---- Whole process: the binary as a host runs it ----------------------------------------------

TEST(AgentProcess, ServesTheIssueExampleAndExits) {
  AgentResult r = runAgent("PING\nping\nMOVE 100\nQUIT\nPING\n");
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kReady + "PONG\nUNKNOWN: ping\nUNKNOWN: MOVE\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(postedLines(r), std::vector<std::string>{});
}

TEST(AgentProcess, LineEdgeCasesAsTheBinaryRunsThem) {
  std::string tokens65 = "CLICK";
  for (int i = 0; i < 63; ++i) tokens65 += " x";
  struct Case {
    const char* name;
    std::string input;
    std::string out;
  } cases[] = {
      {"blank and line-end-only lines", "\n\r\n\r\r\n\n", ""},
      {"a line of spaces", "     \n", ""},
      {"PING with an argument and a leading blank", "PING extra\n PING\n", "PONG\nPONG\n"},
      {"lower case", "ping\n", "UNKNOWN: ping\n"},
      {"too few arguments", "MOVE 100\nCLICK\n", "UNKNOWN: MOVE\nUNKNOWN: CLICK\n"},
      {"a tab does not separate", "PING\textra\n", "UNKNOWN: PING\textra\n"},
      {"QUIT with trailing tokens", "QUIT now\nPING\n", ""},
      {"tokens past the 64th are ignored", tokens65 + " y z\nPING\n", "ACK CLICK\nPONG\n"},
      {"CR LF line ends", "PING\r\nping\r\n", "PONG\nUNKNOWN: ping\n"},
  };
  for (const Case& c : cases) {
    AgentResult r = runAgent(c.input);
    EXPECT_TRUE(r.exited && r.status == 0) << c.name;
    EXPECT_EQ(r.out, kReady + c.out) << c.name;
    EXPECT_EQ(r.err, "") << c.name;
  }
}

TEST(AgentProcess, WithoutPermissionWarnsAndServesOnlyThreeExactLines) {
  AgentResult r =
      runAgent("PING\nPING extra\nRESOLUTION\nKEYDOWN 65\nGETPOS\n   \nQUIT now\n", untrusted());
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, kPermissionWarning);
  EXPECT_EQ(r.out, kNoPermissionBanner + "PONG\n" + kRefused + "SCREEN 1512 982 1512 982\n" +
                       kRefused + kRefused + kRefused + kRefused);
  EXPECT_EQ(postedLines(r), std::vector<std::string>{});

  // QUIT, exactly, still ends it.
  r = runAgent("QUIT\nPING\n", untrusted());
  EXPECT_EQ(r.out, kNoPermissionBanner);
  EXPECT_EQ(r.status, 0);
}

TEST(AgentProcess, EndsWithStatusZeroAtEndOfInput) {
  for (const char* input : {"", "PING", "PING\n", "\n\n\r\n"}) {
    AgentResult r = runAgent(input);
    ASSERT_TRUE(r.exited) << input;
    EXPECT_EQ(r.status, 0) << input;
    EXPECT_EQ(r.out.substr(0, kReady.size()), kReady);
  }
  EXPECT_EQ(runAgent("PING").out, kReady + "PONG\n");  // the last line needs no line end
}

TEST(AgentProcess, OptionsAreRecognisedOnlyAsTheFirstArgument) {
  AgentOptions version;
  version.args = {"--version", "--self-test"};
  AgentResult r = runAgent("PING\n", version);
  EXPECT_EQ(r.out, "Trelvane Mac keyboard 20260910-R2 HID\n");
  EXPECT_EQ(r.status, 0);

  for (std::vector<std::string> args :
       {std::vector<std::string>{"--VERSION"}, std::vector<std::string>{"x", "--version"},
        std::vector<std::string>{"-v"}}) {
    AgentOptions options;
    options.args = args;
    r = runAgent("PING\n", options);
    EXPECT_EQ(r.out, kReady + "PONG\n") << args[0];
    EXPECT_EQ(r.status, 0);
  }
}

TEST(AgentProcess, RepliesAreFlushedAsSoonAsWritten) {
  AgentSession session = startAgent();
  EXPECT_EQ(readAgentLine(session) + "\n", kReady);
  for (int i = 0; i < 3; ++i) {
    sendToAgent(session, "PING\n");
    bool ok = false;
    EXPECT_EQ(readAgentLine(session, 5000, &ok), "PONG");
    EXPECT_TRUE(ok);
  }
  sendToAgent(session, "RESOLUTION\n");
  EXPECT_EQ(readAgentLine(session), "SCREEN 1512 982 1512 982");
  AgentResult r = finishAgent(session);
  EXPECT_EQ(r.status, 0);
}

TEST(AgentProcess, PermissionWithdrawnAndRestoredMidRun) {
  std::string trust = temporaryPath("trust");
  std::ofstream(trust) << "1";
  AgentSession session = startAgentTrustingFile(trust);
  EXPECT_EQ(readAgentLine(session) + "\n", kReady);

  auto exchange = [&](const std::string& line) {
    sendToAgent(session, line + "\n");
    return readAgentLine(session) + "\n";
  };
  EXPECT_EQ(exchange("PING"), "PONG\n");

  std::ofstream(trust) << "0";
  EXPECT_EQ(exchange("KEYDOWN 65"), kRefused);
  EXPECT_EQ(exchange("PING"), "PONG\n");
  EXPECT_EQ(exchange("RESOLUTION"), "SCREEN 1512 982 1512 982\n");
  EXPECT_EQ(exchange("PING x"), kRefused);

  std::ofstream(trust) << "1";
  sendToAgent(session, "\n\r\n");  // empty lines do not look at the permission
  EXPECT_EQ(exchange("PING"), kReady);
  EXPECT_EQ(readAgentLine(session), "PONG");
  EXPECT_EQ(exchange("PING"), "PONG\n");

  std::remove(trust.c_str());  // a missing file is no permission
  EXPECT_EQ(exchange("GETPOS"), kRefused);
  std::ofstream(trust) << "1";
  EXPECT_EQ(exchange("   "), kReady);  // a line of spaces announces the return and nothing else
  EXPECT_EQ(exchange("PING"), "PONG\n");

  AgentResult r = finishAgent(session);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
}

TEST(AgentProcess, PermissionMissingAtStartThenGranted) {
  std::string trust = temporaryPath("trust");
  AgentSession session = startAgentTrustingFile(trust);
  EXPECT_EQ(readAgentLine(session) + "\n", kNoPermissionBanner);
  std::ofstream(trust) << "1";
  sendToAgent(session, "ping\n");
  EXPECT_EQ(readAgentLine(session) + "\n", kReady);
  EXPECT_EQ(readAgentLine(session), "UNKNOWN: ping");
  AgentResult r = finishAgent(session);
  EXPECT_EQ(r.err, kPermissionWarning);
  EXPECT_EQ(r.status, 0);
}

TEST(AgentProcess, ManyTokensAndHugeArgumentsAreHarmless) {
  std::string many = "PING";
  for (int i = 0; i < 100; ++i) many += " arg" + std::to_string(i);
  AgentResult r =
      runAgent(many + "\nKEYDOWN 99999999999999999999999\nKEYUP -99999999999999999999\n");
  EXPECT_EQ(r.out, kReady + "PONG\nACK KEYDOWN\nACK KEYUP\n");
  EXPECT_EQ(r.status, 0);
}

TEST(AgentProcess, NonBlockingPipesLoseNoLineAndNoReply) {
  AgentOptions nonBlocking;
  nonBlocking.nonBlockingPipes = true;
  AgentSession session = startAgent(nonBlocking);
  EXPECT_EQ(readAgentLine(session) + "\n", kReady);

  // A host that pauses between lines: nothing to read is not the end of input.
  sendToAgent(session, "KEYDOWN 17\n");
  EXPECT_EQ(readAgentLine(session), "ACK KEYDOWN");
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  sendToAgent(session, "KEYUP 17\n");
  EXPECT_EQ(readAgentLine(session), "ACK KEYUP");

  // A host that reads late: more replies than the pipe holds wait for room, none is lost.
  std::string pings, pongs;
  for (int i = 0; i < 20000; ++i) {
    pings += "PING\n";
    pongs += "PONG\n";
  }
  sendToAgent(session, pings);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  AgentResult r = finishAgent(session);
  EXPECT_TRUE(r.exited && r.status == 0);
  EXPECT_EQ(r.out.size(), pongs.size());
  EXPECT_TRUE(r.out == pongs);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(postedLines(r).size(), 2u);  // Control down and up, no release at a pause
}

}  // namespace
