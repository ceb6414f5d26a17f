#include "support/in_process.h"

#include <unistd.h>

#include <stdexcept>

#include "command_loop.h"
#include "keyboard/key_code_maps.h"
#include "support/describe.h"
#include "support/scratch_file.h"

namespace {

// Never destroyed at exit: the desktop it would release its source on may be gone by then.
Session* current = nullptr;
HostChannel* currentHost = nullptr;

}  // namespace

void resetAgent() {
  // The old session goes first: it releases its keyboard source on the desktop that made it.
  delete currentHost;
  delete current;
  simReset();
  current = new Session;
  currentHost = new HostChannel(*current);
  currentHost->lastTrusted = AXIsProcessTrusted();
}

Session& session() {
  if (current == nullptr) resetAgent();
  return *current;
}

HostChannel& hostChannel() {
  if (currentHost == nullptr) resetAgent();
  return *currentHost;
}

void freshAgent(int macOSMajor) {
  resetAgent();
  simSetClock(kStartTime);
  simSetInstantSleep(true);
  simSetMacOSMajor(macOSMajor);
}

void holdModifiers(CGEventFlags flags) {
  // The first VK of each flag in the modifier map: the generic Shift, Control and Alt, and the
  // left Windows key.
  CGEventFlags seen = 0;
  for (const ModifierFlag& modifier : kModifierFlags) {
    if (seen & modifier.flag) continue;
    seen |= modifier.flag;
    session().keyboard.updateModifier(modifier.vk, (flags & modifier.flag) != 0);
  }
}

int heldButton() {
  Button button;
  return session().pointer.heldButtonForDrag(&button) ? static_cast<int>(button) : -1;
}

bool keyboardStateIsClear() {
  const Keyboard& keyboard = session().keyboard;
  if (keyboard.modifierFlags() != 0) return false;
  for (uint16_t vk = 0; vk < 256; ++vk) {
    if (keyboard.isModifierHeld(vk) || keyboard.isKeyHeld(vk) ||
        keyboard.isClipboardTranslated(vk)) {
      return false;
    }
  }
  return true;
}

std::string runLoop(const std::string& input) {
  const int in = emptyScratchFile(0);
  if (write(in, input.data(), input.size()) != static_cast<ssize_t>(input.size()) ||
      lseek(in, 0, SEEK_SET) != 0) {
    throw std::runtime_error("cannot write the loop's input");
  }
  const int out = emptyScratchFile(1);
  runCommandLoop(hostChannel(), in, out);
  return scratchWritten(out);
}

std::vector<std::string> takePosted() {
  std::vector<std::string> described;
  for (const SimEvent& event : simPostedEvents()) described.push_back(describe(event));
  simClearPostedEvents();
  return described;
}

std::vector<int64_t> takeField(CGEventField field) {
  std::vector<int64_t> values;
  for (const SimEvent& event : simPostedEvents()) {
    auto it = event.fields.find(field);
    values.push_back(it == event.fields.end() ? -1 : it->second);
  }
  simClearPostedEvents();
  return values;
}

std::vector<double> postedTimes() {
  std::vector<double> times;
  for (const SimEvent& event : simPostedEvents()) times.push_back(event.time - kStartTime);
  return times;
}

std::string sendLine(const std::string& line) {
  const int out = emptyScratchFile(1);
  handleLine(hostChannel(), line, out);
  std::string reply = scratchWritten(out);
  if (simLiveEvents() != 0 || simLiveStrings() != 0) {
    ADD_FAILURE() << simLiveEvents() << " event(s) and " << simLiveStrings()
                  << " string(s) still alive after \"" << line << "\"";
  }
  return reply;
}

std::string sendLines(const std::vector<std::string>& lines) {
  std::string all;
  for (const std::string& line : lines) all += sendLine(line);
  return all;
}

std::string handleLines(const std::string& input) {
  std::string all;
  size_t start = 0;
  while (start < input.size()) {
    size_t end = input.find('\n', start);
    end = end == std::string::npos ? input.size() : end + 1;
    all += sendLine(input.substr(start, end - start));
    start = end;
  }
  return all;
}
