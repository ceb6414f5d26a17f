// TYPE in-process: text typed key by key through the Mac's layout, dead keys, modifiers pressed and
// released as a person would, and Unicode strokes for what the layout cannot type. Expected keys
// are read off the layouts' own data (U.S. Option+E is the acute dead key, French é is key 19).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/simulated/simulation.h"
#include "support/describe.h"
#include "support/in_process.h"
#include "support/text.h"

namespace {

using TypingTest = AgentTest<>;

// Everything posted since the last take, short: "+Shift" or "-Option" for a modifier change that
// carries exactly the modifiers then held, "S12" for a key's down and up from the HID source with
// those modifiers (S Shift, O Option, none), "'x'" for a text stroke with no source and no flags;
// any other event described whole, in brackets.
std::string typed() {
  const std::vector<SimEvent> events = simPostedEvents();
  simClearPostedEvents();
  std::string out;
  CGEventFlags held = 0;
  const auto add = [&out](const std::string& word) { out += (out.empty() ? "" : " ") + word; };
  for (size_t i = 0; i < events.size(); ++i) {
    const SimEvent& e = events[i];
    const std::string line = describe(e);
    const std::string withFlags = flagNames(held).empty() ? "" : " " + flagNames(held);
    if (e.type == kCGEventFlagsChanged && (e.keycode == 56 || e.keycode == 58)) {
      const CGEventFlags flag = e.keycode == 56 ? kCGEventFlagMaskShift : kCGEventFlagMaskAlternate;
      held = e.down ? held | flag : held & ~flag;
      const std::string expected = "flagschanged " + std::to_string(e.keycode) +
                                   (e.down ? " down hid" : " up hid") +
                                   (held == 0 ? "" : " " + flagNames(held));
      add(line == expected
              ? (e.down ? "+" : "-") + std::string(e.keycode == 56 ? "Shift" : "Option")
              : "[" + line + "]");
      continue;
    }
    const std::string up = i + 1 < events.size() ? describe(events[i + 1]) : "";
    const std::string key = std::to_string(e.keycode);
    if (e.type == kCGEventKeyDown && line == "keydown " + key + " hid" + withFlags &&
        up == "keyup " + key + " hid" + withFlags) {
      add(std::string(held & kCGEventFlagMaskShift ? "S" : "") +
          (held & kCGEventFlagMaskAlternate ? "O" : "") + key);
      ++i;
    } else if (e.type == kCGEventKeyDown && e.text && !e.hidSource && e.flags == 0u &&
               e.keycode == 0 && e.fields.empty() && up == "keyup" + line.substr(7)) {
      add("'" + line.substr(line.find('\'') + 1));
      ++i;
    } else {
      add("[" + line + "]");
    }
  }
  return out;
}

// Each row types its text on its layout, with the host holding what it holds, and must come out as
// those strokes, the host's modifiers left as they were.
TEST_F(TypingTest, CharactersComeOutAsTheLayoutsKeysDeadKeysOrUnicodeStrokes) {
  const struct {
    const char* layout;
    std::string text;
    const char* strokes;
    CGEventFlags held = 0;     // the host's modifiers, held before
    const char* ascii = "us";  // the ASCII-capable layout an input method types through
    unsigned failures = 0;
  } cases[] = {
      {"us", "Hi, 1!\n", "+Shift S4 -Shift 34 43 49 18 +Shift S18 -Shift 36"},
      {"us", "a\r\nb\rc\td", "0 36 11 36 8 48 2"},  // CR LF is one Return
      {"us", "AB", "+Shift S0 S11 -Shift"},
      {"us", "é", "+Option O14 -Option 14"},
      {"us", "Aé", "+Shift S0 -Shift +Option O14 -Option 14"},
      {"us", "É", "+Option O14 -Option +Shift S14 -Shift"},
      {"us", "ñÖ", "+Option O45 -Option 45 +Option O32 -Option +Shift S31 -Shift"},
      {"us", "åÅ", "+Option O0 +Shift SO0 -Shift -Option"},
      // The accent alone has a key of its own, so its dead key is not used.
      {"us", "´", "+Shift +Option SO14 -Shift -Option"},
      // Composed in Unicode, not by the layout; emoji and CJK, each one stroke.
      {"us", "ǹ😀中A", "'ǹ' '😀' '中' +Shift S0 -Shift"},
      {"us", "a", "0", kCGEventFlagMaskCommand | kCGEventFlagMaskControl},
      {"us", "É", "+Option O14 -Option +Shift S14 -Shift", kCGEventFlagMaskShift},
      {"us", std::string("a\0b", 3), "0"},
      {"us", "a\xff", ""},  // not UTF-8
      {"french", "azAZ1", "12 13 +Shift S12 S13 S18 -Shift"},
      {"french", "éàç", "19 29 25"},
      {"french", "êÊ", "+Option O14 +Shift SO14 -Shift -Option"},  // Option types them
      {"french", "âû", "33 12 33 32"},
      {"french", "äÖ^", "+Shift S33 -Shift 12 +Shift S33 S31 -Shift 33 49"},
      {"french", "ñ{", "+Option O45 -Option 45 +Option O23 -Option"},
      {"german", "zZyß", "16 +Shift S16 -Shift 6 27"},
      {"german", "äÜ", "39 +Shift S33 -Shift"},
      {"german", "éà^", "24 14 +Shift S24 -Shift 0 10 49"},
      {"german", "@[", "+Option O37 O23 -Option"},
      {"russian", "Привет", "+Shift S5 -Shift 4 11 2 17 45"},
      {"russian", "hi", "'h' 'i'"},
      {"input-method", "qé", "0 19", 0, "french"},
      {"us", "a\n", "'a' 36", 0, "us", kSimFailLayout},  // no layout to ask
      {"us", "a😀", "", 0, "us", kSimFailSource},         // no keyboard source: nothing
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.layout) + ": " + c.text);
    fresh();
    ASSERT_TRUE(simSetLayout(c.layout));
    ASSERT_TRUE(simSetAsciiLayout(c.ascii));
    simSetFailures(c.failures);
    holdModifiers(c.held);
    EXPECT_EQ(handleLines("TYPE " + encodeBase64(c.text) + "\n"), "");
    EXPECT_EQ(typed(), c.strokes);
    EXPECT_EQ(session().keyboard.modifierFlags(), c.held);
  }
}

}  // namespace
