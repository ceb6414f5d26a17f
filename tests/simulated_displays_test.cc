// The simulated desktop's displays beyond their list (which the desktop's own tests pin): mirror
// sets.
#include <gtest/gtest.h>

#include <vector>

#include "platform/quartz.h"
#include "platform/simulated/simulation.h"

namespace {

class SimulatedDisplaysTest : public ::testing::Test {
 protected:
  void SetUp() override { simReset(); }
};

// A mirror answers the display it mirrors while it is listed; every other id answers
// kCGNullDirectDisplay.
TEST_F(SimulatedDisplaysTest, ParsesMirrorSets) {
  const struct {
    const char* text;
    std::vector<CGDirectDisplayID> answers;  // of ids 1 to 5; 5 is not listed
  } cases[] = {
      {"2:1,4:3", {0, 1, 0, 3, 0}},
      {"3:1,2:1,5:1", {0, 1, 1, 0, 0}},
      {"", {0, 0, 0, 0, 0}},
  };
  simSetDisplays(
      {{{0, 0}, {800, 600}}, {{0, 0}, {800, 600}}, {{800, 0}, {640, 480}}, {{800, 0}, {640, 480}}});
  SimMirrors mirrors;
  for (const auto& c : cases) {
    ASSERT_TRUE(simParseMirrors(c.text, &mirrors)) << c.text;
    simSetMirrors(mirrors);
    std::vector<CGDirectDisplayID> answers;
    for (CGDirectDisplayID id = 1; id <= 5; ++id) answers.push_back(CGDisplayMirrorsDisplay(id));
    EXPECT_EQ(answers, c.answers) << c.text;
  }
  for (const char* bad : {"2", "2:", ":1", "0:1", "2:0", "1:1", "2:1,", ",2:1", "2:1,2:3",
                          "3:2,2:1", "2:1;3:1", "2:1 ", "-2:1", "4294967296:1"}) {
    EXPECT_FALSE(simParseMirrors(bad, &mirrors)) << bad;
  }
}

}  // namespace
