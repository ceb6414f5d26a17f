// Replays, through the fuzzer's own session and checks, the seed corpus (fuzz/corpus/), where
// every input the fuzzer once broke the agent with is kept once it is mended.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/quartz.h"
#include "platform/simulated/simulation.h"
#include "support/fuzz_session.h"
#include "support/in_process.h"

namespace {

std::vector<std::filesystem::path> filesIn(const std::string& dir) {
  std::vector<std::filesystem::path> files;
  if (!std::filesystem::is_directory(dir)) return files;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') {
      files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

void replayAll(const std::string& dir, size_t atLeast) {
  std::vector<std::filesystem::path> files = filesIn(dir);
  EXPECT_GE(files.size(), atLeast) << dir;
  for (const auto& path : files) {
    std::ifstream file(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::string broken =
        runFuzzSession(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    EXPECT_EQ(broken, "") << path.filename();
  }
  resetAgent();
}

TEST(FuzzSessionTest, SeedCorpusHoldsEveryInvariant) {
  replayAll(MII_SOURCE_DIR "/fuzz/corpus", 30);
}

// The session's checks must catch what they are there for, or a clean run means nothing: an
// event left alive (here by the test itself) is reported at the first line.
TEST(FuzzSessionTest, TheSessionNoticesALeakedEvent) {
  const std::string input = std::string(kFuzzHeaderSize, '\0') + "FOO\n";
  const auto* bytes = reinterpret_cast<const uint8_t*>(input.data());
  EXPECT_EQ(runFuzzSession(bytes, input.size()), "");
  CGEventRef leaked = CGEventCreate(nullptr);
  EXPECT_EQ(runFuzzSession(bytes, input.size()), "line 0 \"FOO\": events alive: 1");
  CFRelease(leaked);
  resetAgent();
}

SimEvent key(uint32_t type, uint16_t keyCode, CGEventFlags flags = 0, bool repeat = false) {
  SimEvent event;
  event.kind = SimEventKind::Keyboard;
  event.type = type;
  event.keycode = keyCode;
  event.down = type == kCGEventKeyDown;
  event.flags = flags;
  if (repeat) event.fields[kCGKeyboardEventAutorepeat] = 1;
  return event;
}

SimEvent text(uint32_t type) {
  SimEvent event = key(type, 0);
  event.text = u"hi";
  return event;
}

SimEvent button(uint32_t type, uint32_t number = 0) {
  SimEvent event;
  event.kind = SimEventKind::Mouse;
  event.type = type;
  event.button = number;
  return event;
}

// What the session follows the posted events by: a fault in the agent's releases shows only
// there, its own records being right.
TEST(FuzzSessionTest, PostedPressesAreReleasedOnTheirKeyAndRepeatsAreMarked) {
  constexpr uint32_t kDown = kCGEventKeyDown, kUp = kCGEventKeyUp, kFlags = kCGEventFlagsChanged;
  constexpr CGEventFlags kShift = kCGEventFlagMaskShift, kCommand = kCGEventFlagMaskCommand;
  const struct {
    const char* what;
    std::vector<SimEvent> events;
    std::string broken;  // the first rule broken, else what is still down
  } cases[] = {
      {"a press and its release", {key(kDown, 0), key(kUp, 0)}, ""},
      {"a release that posts nothing", {key(kDown, 0)}, "key 0"},
      {"a release on another key", {key(kDown, 12), key(kUp, 0)}, "key 12"},
      {"a second press as a repeat, one release",
       {key(kDown, 41), key(kDown, 41, 0, true), key(kUp, 41)},
       ""},
      {"a second press as a fresh one",
       {key(kDown, 41), key(kDown, 41), key(kUp, 41)},
       "pressed again while down, not as a repeat: keydown 41"},
      {"a modifier down and up by its flag", {key(kFlags, 56, kShift), key(kFlags, 56)}, ""},
      {"both Shifts: the flag cleared lifts both",
       {key(kFlags, 56, kShift), key(kFlags, 60, kShift), key(kFlags, 56, kShift), key(kFlags, 60)},
       ""},
      {"a modifier whose flag stays set",
       {key(kFlags, 56, kShift), key(kFlags, 55, kShift | kCommand), key(kFlags, 55, kShift)},
       "key 56"},
      {"a button pressed twice, released once",
       {button(kCGEventLeftMouseDown), button(kCGEventLeftMouseDown), button(kCGEventLeftMouseUp)},
       ""},
      {"a button release that posts nothing",
       {button(kCGEventLeftMouseDown), button(kCGEventOtherMouseDown, 2),
        button(kCGEventOtherMouseUp, 2)},
       "button 0"},
      {"a stroke of text released at once", {text(kDown), text(kUp)}, ""},
      {"a stroke of text left down",
       {text(kDown), key(kDown, 0)},
       "a stroke of text not released at once: keydown 0"},
  };
  for (const auto& c : cases) {
    PostedPresses presses;
    std::string broken;
    for (const SimEvent& event : c.events) {
      if (broken.empty()) broken = presses.take(event);
    }
    EXPECT_EQ(broken.empty() ? presses.stillDown() : broken, c.broken) << c.what;
  }
}

}  // namespace
