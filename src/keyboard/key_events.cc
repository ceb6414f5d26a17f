#include "keyboard/key_events.h"

#include <array>
#include <cstdio>

#include "keyboard/key_code_maps.h"
#include "platform/cf_owned.h"
#include "platform/post_event.h"
#include "platform/secure_event_input.h"

namespace {

constexpr uint16_t kTrackedVks = 256;  // the state tables have one slot per VK below this

struct KeyboardState {
  CGEventFlags modifierFlags = 0;
  std::array<bool, kTrackedVks> modifierDown{};
  std::array<bool, kTrackedVks> keyDown{};
  std::array<bool, kTrackedVks> translatedClipboardKey{};
  // Created on the first key event and kept for the whole run; a failed creation is retried by
  // the next key event.
  CGEventSourceRef keyboardSource = nullptr;
  bool secureEventInput = false;  // as the last key or text command found it
};

KeyboardState state;

constexpr char kNoSourceLine[] = "ERR: Cannot create HID keyboard source\n";
constexpr char kSecureInputLine[] =
    "WARNING: Secure Event Input is on; keys and text may not reach the focused app\n";

constexpr uint16_t kVkControl = 17;
constexpr uint16_t kVkLeftControl = 162;
constexpr uint16_t kVkRightControl = 163;

bool isClipboardLetter(uint16_t vk) { return vk == 67 || vk == 86 || vk == 88; }  // C, V, X
bool isArrow(uint16_t vk) { return vk >= 37 && vk <= 40; }

// A Control chord on C, V or X goes out as the Command chord a Mac user would type.
CGEventFlags controlToCommand(CGEventFlags flags) {
  return (flags & ~(kCGEventFlagMaskControl | kCGEventFlagMaskCommand)) | kCGEventFlagMaskCommand;
}

}  // namespace

void updateModifier(uint16_t vk, bool isDown) {
  if (vk >= kTrackedVks || !isModifierVk(vk)) return;
  state.modifierDown[vk] = isDown;
  CGEventFlags flags = 0;
  for (const ModifierFlag& modifier : kModifierFlags) {
    if (state.modifierDown[modifier.vk]) flags |= modifier.flag;
  }
  state.modifierFlags = flags;
}

CGEventFlags keyEventFlags(uint16_t vk, bool isDown) {
  CGEventFlags flags = state.modifierFlags;
  if (vk >= kTrackedVks) return flags;
  bool translated = false;
  if (isDown) {
    if (state.keyDown[vk]) {
      // A repeat keeps what its fresh press decided, whatever the modifiers did since.
      translated = state.translatedClipboardKey[vk];
    } else {
      translated = isClipboardLetter(vk) &&
                   (state.modifierDown[kVkLeftControl] || state.modifierDown[kVkControl]) &&
                   !state.modifierDown[kVkRightControl] && flags == kCGEventFlagMaskControl;
      state.translatedClipboardKey[vk] = translated;
    }
    state.keyDown[vk] = true;
  } else {
    // The release matches its press, so a chord begun as Command ends as Command.
    translated = state.translatedClipboardKey[vk];
    state.keyDown[vk] = false;
    state.translatedClipboardKey[vk] = false;
  }
  if (translated) flags = controlToCommand(flags);
  if (isArrow(vk)) {
    flags |= kCGEventFlagMaskSecondaryFn;
    if (!(flags & kCGEventFlagMaskControl)) flags |= kCGEventFlagMaskNumericPad;
  }
  return flags;
}

CGEventSourceRef getKeyboardSource() {
  if (state.keyboardSource == nullptr) {
    state.keyboardSource = CGEventSourceCreate(kCGEventSourceStateHIDSystemState);
    if (state.keyboardSource != nullptr) {
      // By default the Mac's own keyboard and mouse are suppressed for a quarter second after
      // each event posted from a source: the person at the Mac would lose keystrokes while the
      // agent types for someone else.
      CGEventSourceSetLocalEventsSuppressionInterval(state.keyboardSource, 0);
      for (CGEventSuppressionState suppression :
           {kCGEventSuppressionStateSuppressionInterval, kCGEventSuppressionStateRemoteMouseDrag}) {
        CGEventSourceSetLocalEventsFilterDuringSuppressionState(
            state.keyboardSource, kCGEventFilterMaskPermitAllEvents, suppression);
      }
    }
  }
  return state.keyboardSource;
}

void postKeyEvent(uint16_t vk, bool isDown) {
  const uint16_t key = vkToMac(vk);
  if (key == kNoMacKey) return;
  updateModifier(vk, isDown);
  const CGEventFlags flags = keyEventFlags(vk, isDown);
  CGEventSourceRef source = getKeyboardSource();
  if (source == nullptr) {
    std::fputs(kNoSourceLine, stderr);
    return;
  }
  CfOwned<CGEventRef> event(CGEventCreateKeyboardEvent(source, key, isDown));
  if (!event) return;
  // Modifier keys reach applications as modifier changes, not as typed keys.
  if (isModifierVk(vk)) CGEventSetType(event.get(), kCGEventFlagsChanged);
  postEvent(event.get(), flags);
}

void postKeyPress(uint16_t vk) {
  postKeyEvent(vk, true);
  usleep(10000);
  postKeyEvent(vk, false);
}

void checkSecureEventInput() {
  const bool on = secureEventInputEnabled();
  if (on && !state.secureEventInput) std::fputs(kSecureInputLine, stderr);
  state.secureEventInput = on;
}

CGEventFlags modifierFlags() { return state.modifierFlags; }
bool isKeyHeld(uint16_t vk) { return vk < kTrackedVks && state.keyDown[vk]; }
bool isModifierHeld(uint16_t vk) { return vk < kTrackedVks && state.modifierDown[vk]; }
bool isClipboardTranslated(uint16_t vk) {
  return vk < kTrackedVks && state.translatedClipboardKey[vk];
}

void releaseHeldKeys() {
  // Ordinary keys first, while the modifiers that shaped their presses are still down; a held
  // modifier is held as a key too and is released in the second pass only.
  for (uint16_t vk = 0; vk < kTrackedVks; ++vk) {
    if (state.keyDown[vk] && !isModifierVk(vk)) postKeyEvent(vk, false);
  }
  for (uint16_t vk = 0; vk < kTrackedVks; ++vk) {
    if (state.modifierDown[vk]) postKeyEvent(vk, false);
  }
}

void resetKeyboardState() {
  if (state.keyboardSource != nullptr) CFRelease(state.keyboardSource);
  state = KeyboardState{};
}
