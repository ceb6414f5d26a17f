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

}  // namespace
