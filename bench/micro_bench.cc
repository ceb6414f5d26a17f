// Micro-benchmarks of the agent's own work per command, in process against the simulated desktop
// (no event log is kept outside tests, so memory stays flat however long they run).
#include <benchmark/benchmark.h>
#include <fcntl.h>

#include <string>
#include <string_view>
#include <vector>

#include "command_loop.h"
#include "command_stream.h"
#include "keyboard/text_entry.h"
#include "line_protocol.h"
#include "platform/simulated/simulation.h"
#include "session.h"
#include "support/text.h"

namespace {

// The agent the benchmarks drive, as main builds it: one session for the whole run, and the
// command loop's channel to its host.
Session& session() {
  static Session* agent = new Session;
  return *agent;
}

HostChannel& hostChannel() {
  static HostChannel* host = [] {
    HostChannel* made = new HostChannel(session());
    made->lastTrusted = AXIsProcessTrusted();
    return made;
  }();
  return *host;
}

void tokenize(benchmark::State& state, const char* line) {
  std::string_view text(line);
  for (auto _ : state) {
    TokenList list = tokenizeLine(text);
    benchmark::DoNotOptimize(list);
    benchmark::ClobberMemory();
  }
}
BENCHMARK_CAPTURE(tokenize, move, "MOVE 812 433");
BENCHMARK_CAPTURE(tokenize, keydown, "KEYDOWN 65");
BENCHMARK_CAPTURE(tokenize, text, "TEXT SGVsbG8sIHdvcmxkIQ==");
BENCHMARK_CAPTURE(tokenize, spaced_70_tokens,
                  "  a b c d e f g h i j k l m n o p q r s t u v w x y z a b c d e f g h i j k l m"
                  " n o p q r s t u v w x y z a b c d e f g h i j k l m n o p q r  ");

// The key flag rules over a session's worth of chords: Control+C (translated), Shift+arrow,
// right Control+V (not translated), a repeated press, plain letters. Each iteration leaves
// nothing held.
void keyFlagRules(benchmark::State& state) {
  struct Step {
    uint16_t vk;
    bool down;
  };
  static constexpr Step kSteps[] = {
      {17, true},  {67, true},  {67, true},  {67, false}, {17, false}, {16, true},   {37, true},
      {37, false}, {16, false}, {163, true}, {86, true},  {86, false}, {163, false}, {65, true},
      {65, false}, {40, true},  {40, false}, {162, true}, {88, true},  {162, false}, {88, false},
  };
  for (auto _ : state) {
    for (const Step& step : kSteps) {
      session().keyboard.updateModifier(step.vk, step.down);
      session().keyboard.updateHeldKey(step.vk, step.down);
      benchmark::DoNotOptimize(session().keyboard.keyEventFlags(step.vk));
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * std::size(kSteps)));
}
BENCHMARK(keyFlagRules);

// Presses of the three buttons at times and places that make runs of double and triple clicks,
// broken now and then by time or distance.
void clickCounting(benchmark::State& state) {
  double now = 1000;
  uint64_t i = 0;
  for (auto _ : state) {
    int button = static_cast<int>(i % 3);
    now += (i % 7 == 0) ? 0.6 : 0.1;
    CGPoint point{100.0 + static_cast<double>(i % 11 == 0 ? 10 : 0), 200.0};
    benchmark::DoNotOptimize(
        session().pointer.nextClickCount(button, Seconds(now), point, i % 13 == 0 ? 2 : 0));
    ++i;
  }
}
BENCHMARK(clickCounting);

// A 65,000-byte Base64 token of mixed ASCII, accented Latin, CJK and emoji text.
std::string largeTextToken() {
  static const std::string token = [] {
    // 48,750 bytes of valid UTF-8 encode to exactly 65,000 characters without padding.
    constexpr size_t kBytes = 65000 / 4 * 3;
    const std::string pieces[] = {"The quick brown fox ",
                                  "Gr\xC3\xBC\xC3\x9F"
                                  "e ",
                                  "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E ", "\xF0\x9F\x98\x80 "};
    std::string text;
    for (size_t i = 0; text.size() + pieces[i % 4].size() <= kBytes; ++i) text += pieces[i % 4];
    text.resize(kBytes, 'x');
    return encodeBase64(text);
  }();
  return token;
}

// The decoder alone: 65,000 characters to 48,750 bytes of UTF-8.
void base64Decode(benchmark::State& state) {
  std::string token = largeTextToken();
  for (auto _ : state) {
    benchmark::DoNotOptimize(decodeBase64(token));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * token.size()));
}
BENCHMARK(base64Decode)->Unit(benchmark::kMicrosecond);

// The whole TEXT command: decoding, UTF-8 to UTF-16 through a string object, and the text posted
// in events of at most 20 units.
void base64TextToEvents(benchmark::State& state) {
  std::string token = largeTextToken();
  for (auto _ : state) session().keyboard.postBase64Text(token);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * token.size()));
}
BENCHMARK(base64TextToEvents)->Unit(benchmark::kMicrosecond);

// The whole TYPE command on a layout, 10,000 characters of a mix that person types there: upper
// case (Shift pressed and released), digits and punctuation, letters typed with a dead key, a line
// break, and one emoji (a Unicode stroke); time per character. The layout's keystrokes are found at
// the first command and kept, as a session keeps them.
void typeToEvents(benchmark::State& state, const char* layout, std::string_view piece) {
  simSetLayout(layout);
  size_t perPiece = 0;  // characters: the bytes that start one
  for (char byte : piece) perPiece += (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
  const size_t characters = 10000 / perPiece * perPiece;
  const std::string token = encodeBase64(repeat(piece, characters / perPiece));
  session().keyboard.postBase64Typing(token);  // the layout's keystrokes, found once
  for (auto _ : state) session().keyboard.postBase64Typing(token);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * characters));
}
BENCHMARK_CAPTURE(typeToEvents, us, "us", "Hello, World 42! na\xC3\xAFve \xF0\x9F\x98\x80\n")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(typeToEvents, french, "french",
                  "Bonjour, \xC3\xA2ge 42! \xC3\xA0 d\xC3\xBBr \xF0\x9F\x98\x80\n")
    ->Unit(benchmark::kMicrosecond);

// Whole lines through the command loop's own handler, replies to /dev/null: the agent's cost per
// command without the pipe. The agent would ask a device for room before every write, not knowing
// that this one never waits; told so, it writes each reply in one call, as to a pipe or a socket
// with room.
int devNull() {
  static int fd = open("/dev/null", O_WRONLY);
  return fd;
}

void handleLines(benchmark::State& state, std::vector<std::string> lines) {
  const int out = devNull();
  hostChannel().replyRoomFd = out;
  hostChannel().replyTarget = ReplyTarget::kFile;
  for (auto _ : state) {
    for (const std::string& line : lines) handleLine(hostChannel(), line, out);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * lines.size()));
}
BENCHMARK_CAPTURE(handleLines, ping, std::vector<std::string>{"PING\n"});
BENCHMARK_CAPTURE(handleLines, move, std::vector<std::string>{"MOVE 812 433\n", "MOVE 100 200\n"});
BENCHMARK_CAPTURE(handleLines, getpos, std::vector<std::string>{"GETPOS\n"});
BENCHMARK_CAPTURE(handleLines, keydown_keyup,
                  std::vector<std::string>{"KEYDOWN 65\n", "KEYUP 65\n"});
BENCHMARK_CAPTURE(handleLines, mousedown_mouseup,
                  std::vector<std::string>{"MOUSEDOWN left\n", "MOUSEUP left\n"});
BENCHMARK_CAPTURE(handleLines, wheel_hwheel,
                  std::vector<std::string>{"WHEEL 120\n", "HWHEEL -120\n"});
BENCHMARK_CAPTURE(handleLines, text_short, std::vector<std::string>{"TEXT SGVsbG8sIHdvcmxkIQ==\n"});

// The throughput benchmark's mix, line after line: the agent's average cost per command without
// the pipe (replies still written, to /dev/null).
void commandStream(benchmark::State& state) {
  CommandMix mix;
  std::string stream = generateCommandStream(100000, &mix);
  std::vector<std::string> lines;
  for (size_t start = 0; start < stream.size();) {
    size_t end = stream.find('\n', start) + 1;
    lines.push_back(stream.substr(start, end - start));
    start = end;
  }
  handleLines(state, std::move(lines));
}
BENCHMARK(commandStream)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
