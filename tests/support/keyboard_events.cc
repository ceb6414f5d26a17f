#include "support/keyboard_events.h"

#include "keyboard/key_events.h"
#include "platform/simulated/simulation.h"

void PrintTo(const PostedKey& key, std::ostream* os) {
  *os << "{type " << key.type << ", keycode " << key.keycode << (key.down ? ", down" : ", up")
      << ", flags 0x" << std::hex << key.flags << std::dec
      << (key.hidSource ? ", hid" : ", no source") << ", tap " << key.tap << "}";
}

PostedKey keyDownEvent(uint16_t keycode, uint64_t flags) {
  return {kCGEventKeyDown, keycode, true, flags};
}
PostedKey keyUpEvent(uint16_t keycode, uint64_t flags) {
  return {kCGEventKeyUp, keycode, false, flags};
}
PostedKey modifierDownEvent(uint16_t keycode, uint64_t flags) {
  return {kCGEventFlagsChanged, keycode, true, flags};
}
PostedKey modifierUpEvent(uint16_t keycode, uint64_t flags) {
  return {kCGEventFlagsChanged, keycode, false, flags};
}

std::vector<PostedKey> postedKeys() {
  std::vector<PostedKey> keys;
  for (const SimEvent& e : simPostedEvents()) {
    keys.push_back({e.type, e.keycode, e.down, e.flags.value_or(~uint64_t{0}), e.hidSource, e.tap});
  }
  return keys;
}

bool keyboardStateIsClear() {
  if (modifierFlags() != 0) return false;
  for (int vk = 0; vk < 256; ++vk) {
    if (isModifierHeld(vk) || isKeyHeld(vk) || isClipboardTranslated(vk)) return false;
  }
  return true;
}
