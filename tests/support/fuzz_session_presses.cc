#include <cstdint>
#include <string>

#include "support/describe.h"
#include "support/fuzz_session.h"

namespace {

// The modifier flag a Mac key holds while down, by key code; 0 for the other keys. Caps Lock
// locks rather than holds, so it is not among them.
constexpr CGEventFlags heldFlagOfKey(uint16_t keyCode) {
  switch (keyCode) {
    case 54:  // right Command
    case 55:  // Command
      return kCGEventFlagMaskCommand;
    case 56:  // Shift
    case 60:  // right Shift
      return kCGEventFlagMaskShift;
    case 58:  // Option
    case 61:  // right Option
      return kCGEventFlagMaskAlternate;
    case 59:  // Control
    case 62:  // right Control
      return kCGEventFlagMaskControl;
    default:
      return 0;
  }
}
static_assert(heldFlagOfKey(56) == kCGEventFlagMaskShift && heldFlagOfKey(57) == 0);

// The button of a mouse down or up: left and right by the type, the others by the button field.
std::optional<uint32_t> buttonOf(const SimEvent& event, bool* down) {
  switch (event.type) {
    case kCGEventLeftMouseDown:
    case kCGEventLeftMouseUp:
      *down = event.type == kCGEventLeftMouseDown;
      return kCGMouseButtonLeft;
    case kCGEventRightMouseDown:
    case kCGEventRightMouseUp:
      *down = event.type == kCGEventRightMouseDown;
      return kCGMouseButtonRight;
    case kCGEventOtherMouseDown:
    case kCGEventOtherMouseUp:
      *down = event.type == kCGEventOtherMouseDown;
      return event.button;
    default:
      return std::nullopt;
  }
}

bool isRepeat(const SimEvent& event) {
  const auto field = event.fields.find(kCGKeyboardEventAutorepeat);
  return field != event.fields.end() && field->second == 1;
}

}  // namespace

std::string PostedPresses::take(const SimEvent& event) {
  const bool isText = event.kind == SimEventKind::Keyboard && event.text.has_value();
  if (text_) {
    const bool itsRelease = isText && event.type == kCGEventKeyUp &&
                            event.keycode == text_->keycode && *event.text == *text_->text;
    text_.reset();
    if (!itsRelease) return "a stroke of text not released at once: " + describe(event);
    return {};
  }
  if (isText) {
    // Text goes out as strokes of its own, each released before anything else is posted; its key
    // code only carries the text, and is no key the host holds.
    if (event.type != kCGEventKeyDown)
      return "a stroke of text released unpressed: " + describe(event);
    text_ = event;
    return {};
  }
  bool down = false;
  if (const std::optional<uint32_t> button = buttonOf(event, &down)) {
    // A second press of a held button is let through: the host asked for it.
    if (down) {
      buttons_.insert(*button);
    } else {
      buttons_.erase(*button);
    }
    return {};
  }
  if (event.kind == SimEventKind::SystemDefined && event.subtype == 8) {
    // A volume or media key: data1 holds its key type, then 0xA down or 0xB up, then 1 on a repeat.
    const int64_t type = event.data1 >> 16;
    const int64_t state = (event.data1 >> 8) & 0xFF;
    if (state == 0xA && !mediaKeys_.insert(type).second && (event.data1 & 1) == 0) {
      return "a media key pressed again while down, not as a repeat: " + describe(event);
    }
    if (state == 0xB) mediaKeys_.erase(type);
    return {};
  }
  if (event.kind != SimEventKind::Keyboard) return {};
  if (event.type == kCGEventFlagsChanged) {
    // A modifier change says only which flags are now held: its key is down while its flag is set,
    // and a flag cleared says that no key holding it is down any more. Without the left and right
    // device bits, which the agent does not set, that is how browsers read it too (Chromium's
    // IsKeyUpEvent, web_input_event_builders_mac.mm).
    const CGEventFlags flag = heldFlagOfKey(event.keycode);
    if (flag == 0) return {};
    if (event.flags.value_or(0) & flag) {
      keys_.insert(event.keycode);
    } else {
      std::erase_if(keys_, [flag](uint16_t key) { return heldFlagOfKey(key) == flag; });
    }
    return {};
  }
  if (event.type == kCGEventKeyDown) {
    // A second press of a key already down is one the Mac never sees from a keyboard: it must be
    // a repeat, or applications take a fresh keystroke while the first is still held.
    if (!keys_.insert(event.keycode).second && !isRepeat(event) && !typing) {
      return "pressed again while down, not as a repeat: " + describe(event);
    }
  } else if (event.type == kCGEventKeyUp) {
    keys_.erase(event.keycode);
  }
  return {};
}

std::string PostedPresses::stillDown() const {
  std::string down;
  for (uint16_t key : keys_) down += (down.empty() ? "key " : ", key ") + std::to_string(key);
  for (int64_t type : mediaKeys_) {
    down += (down.empty() ? "media key " : ", media key ") + std::to_string(type);
  }
  for (uint32_t button : buttons_) {
    down += (down.empty() ? "button " : ", button ") + std::to_string(button);
  }
  if (text_) down += (down.empty() ? "" : ", ") + std::string("a stroke of text");
  return down;
}
