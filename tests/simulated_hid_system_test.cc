// The HID system's Caps Lock state and the system-defined events of the volume and media keys, as
// the simulated desktop gives them to the product's own seams.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/hid_system.h"
#include "platform/quartz.h"
#include "platform/simulated/simulation.h"
#include "platform/system_defined_event.h"
#include "support/describe.h"
#include "support/scratch_file.h"

namespace {

class SimulatedHidSystemTest : public ::testing::Test {
 protected:
  void SetUp() override { simReset(); }
};

std::vector<std::string> posted() {
  std::vector<std::string> all;
  for (const SimEvent& e : simPostedEvents()) all.push_back(describe(e));
  simClearPostedEvents();
  return all;
}

std::string contents(const std::string& path) {
  std::ifstream file(path);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

// Each step of a script: "?" reads the lock (answering 0, 1 or none), "1" and "0" set it (ok or
// refused), "F1" and "F0" write the file as a person pressing the key would, "!" makes the HID
// system fail and "." ends the failure.
TEST_F(SimulatedHidSystemTest, CapsLockIsReadAndSetThroughTheHidSystem) {
  const std::string fifo = temporaryPath("caps-fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const struct {
    const char* name;
    const char* script;
    const char* answers;
    std::vector<std::string> posted;  // the sets, logged among the events
    bool startOn = false;
    std::string file = {};
    const char* fileBefore = nullptr;  // nullptr: none there
    const char* fileAfter = nullptr;   // nullptr: not looked at
  } cases[] = {
      {"off at start", "? 1 ? 0 ?", "0 ok 1 ok 0", {"capslock on", "capslock off"}},
      {"on at start; a set sets whatever the state", "? 1 ?", "1 ok 1", {"capslock on"}, true},
      {"the file wins and takes each set",
       "? 0 ? F1 ?",
       "1 ok 0 1",
       {"capslock off"},
       false,
       temporaryPath("caps-set"),
       "1\n",
       "1"},
      {"a missing file is off, and a set makes it",
       "? 1 ?",
       "0 ok 1",
       {"capslock on"},
       true,
       temporaryPath("caps-missing"),
       nullptr,
       "1"},
      {"any other first byte is off", "?", "0", {}, true, temporaryPath("caps-other"), "x1"},
      // The HID system took the set; the query reads the FIFO as a missing file.
      {"a FIFO is neither read nor written", "? 1 ?", "0 ok 0", {"capslock on"}, false, fifo},
      {"a HID system that cannot be opened", "! ? 1", "none refused", {}},
      // A refused call closes the connection; the next one opens it again.
      {"a failure on an open connection passes", "? ! ? 1 . ?", "0 none refused 0", {}},
  };
  const long liveBefore = simLiveIOObjects();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    simReset();
    simSetCapsLock(c.startOn);
    simSetCapsLockFile(c.file);
    if (c.fileBefore != nullptr) std::ofstream(c.file) << c.fileBefore;
    std::string answers;
    {
      HidSystem hid;
      std::istringstream steps(c.script);
      for (std::string step; steps >> step;) {
        std::string answer;
        if (step == "?") {
          const std::optional<bool> on = hid.capsLock();
          answer = on ? (*on ? "1" : "0") : "none";
        } else if (step == "1" || step == "0") {
          answer = hid.setCapsLock(step == "1") ? "ok" : "refused";
        } else if (step == "F1" || step == "F0") {
          std::ofstream(c.file) << step[1];
        } else {
          simSetFailures(step == "!" ? kSimFailHidSystem : 0u);
        }
        if (!answer.empty()) answers += (answers.empty() ? "" : " ") + answer;
      }
      EXPECT_EQ(answers, c.answers);
      EXPECT_EQ(posted(), c.posted);
      if (c.fileAfter != nullptr) {
        EXPECT_EQ(contents(c.file), c.fileAfter);
      }
    }
    // The connection is closed with its owner, and the service was released once opened.
    EXPECT_EQ(simLiveIOObjects(), liveBefore);
  }
}

// The trace lines of a media key's event and of a lock set share one sequence; each reads back as
// it was written.
TEST_F(SimulatedHidSystemTest, SystemDefinedEventsAndLockSetsAreTracedInSequence) {
  simSetClock(1000.5);
  const long liveBefore = simLiveEvents();
  const struct {
    int16_t subtype;
    int64_t data1;
    int64_t data2;
    CGEventFlags flags;
    const char* line;
    const char* described;
  } cases[] = {
      {NX_SUBTYPE_AUX_CONTROL_BUTTONS, 0x70a00, -1, 0xa00,
       R"({"seq":1,"tap":0,"type":14,"source":null,"flags":2560,"subtype":8,"data1":461312,)"
       R"("data2":-1,"time":1000.5})",
       "systemdefined aux 0x70a00 0xa00"},
      {7, 1, 5, 0,
       R"({"seq":2,"tap":0,"type":14,"source":null,"flags":0,"subtype":7,"data1":1,"data2":5,)"
       R"("time":1000.5})",
       "systemdefined subtype 7 0x1 data2 5"},
  };
  for (const auto& c : cases) {
    CGEventRef event = createSystemDefinedEvent(c.subtype, c.data1, c.data2, c.flags);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(CGEventGetType(event), static_cast<CGEventType>(NX_SYSDEFINED));
    EXPECT_EQ(CGEventGetFlags(event), c.flags);
    CGEventPost(kCGHIDEventTap, event);
    CFRelease(event);
    EXPECT_EQ(simTraceLine(simPostedEvents().back()), c.line);
    EXPECT_EQ(describe(simPostedEvents().back()), c.described);
  }
  EXPECT_EQ(simLiveEvents(), liveBefore);
  {
    HidSystem hid;
    ASSERT_TRUE(hid.setCapsLock(true));
  }
  EXPECT_EQ(simTraceLine(simPostedEvents().back()),
            R"({"seq":3,"lock":"caps","on":true,"time":1000.5})");
  for (const SimEvent& e : simPostedEvents()) {
    SimEvent read;
    ASSERT_TRUE(parseTraceLine(simTraceLine(e), &read)) << simTraceLine(e);
    EXPECT_EQ(simTraceLine(read), simTraceLine(e));
    EXPECT_EQ(describe(read), describe(e));
  }
  simSetFailures(kSimFailSystemDefined);
  EXPECT_EQ(createSystemDefinedEvent(NX_SUBTYPE_AUX_CONTROL_BUTTONS, 0, -1, 0), nullptr);
}

}  // namespace
