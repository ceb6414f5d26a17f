#include "keyboard/keyboard.h"

#include <unistd.h>

#include "keyboard/key_code_maps.h"
#include "line_protocol.h"
#include "platform/monotonic_clock.h"
#include "platform/secure_event_input.h"

namespace {

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

void Keyboard::updateModifier(uint16_t vk, bool isDown) {
  if (vk >= kTrackedVks || !isModifierVk(vk)) return;
  modifierDown_[vk] = isDown;
  CGEventFlags flags = 0;
  for (const ModifierFlag& modifier : kModifierFlags) {
    if (modifierDown_[modifier.vk]) flags |= modifier.flag;
  }
  modifierFlags_ = flags;
}

CGEventFlags Keyboard::keyEventFlags(uint16_t vk, bool isDown) {
  CGEventFlags flags = modifierFlags_;
  if (vk >= kTrackedVks) return flags;
  bool translated = false;
  if (isDown) {
    if (keyDown_[vk]) {
      // A repeat keeps what its fresh press decided, whatever the modifiers did since.
      translated = translatedClipboardKey_[vk];
    } else {
      translated = isClipboardLetter(vk) &&
                   (modifierDown_[kVkLeftControl] || modifierDown_[kVkControl]) &&
                   !modifierDown_[kVkRightControl] && flags == kCGEventFlagMaskControl;
      translatedClipboardKey_[vk] = translated;
    }
    keyDown_[vk] = true;
  } else {
    // The release matches its press, so a chord begun as Command ends as Command.
    translated = translatedClipboardKey_[vk];
    keyDown_[vk] = false;
    translatedClipboardKey_[vk] = false;
  }
  if (translated) flags = controlToCommand(flags);
  if (isArrow(vk)) {
    flags |= kCGEventFlagMaskSecondaryFn;
    if (!(flags & kCGEventFlagMaskControl)) flags |= kCGEventFlagMaskNumericPad;
  }
  return flags;
}

CGEventSourceRef Keyboard::getKeyboardSource() {
  if (!keyboardSource_) {
    keyboardSource_.reset(CGEventSourceCreate(kCGEventSourceStateHIDSystemState));
    if (keyboardSource_) {
      // By default the Mac's own keyboard and mouse are suppressed for a quarter second after
      // each event posted from a source: the person at the Mac would lose keystrokes while the
      // agent types for someone else.
      CGEventSourceSetLocalEventsSuppressionInterval(keyboardSource_.get(), 0);
      for (CGEventSuppressionState suppression :
           {kCGEventSuppressionStateSuppressionInterval, kCGEventSuppressionStateRemoteMouseDrag}) {
        CGEventSourceSetLocalEventsFilterDuringSuppressionState(
            keyboardSource_.get(), kCGEventFilterMaskPermitAllEvents, suppression);
      }
    }
  }
  return keyboardSource_.get();
}

uint16_t Keyboard::keyCodeFor(uint16_t vk, bool isDown, bool wasHeld, CGEventFlags flags) {
  const uint16_t fixed = vkToMac(vk);
  if (vk >= kTrackedVks) return fixed;
  if (wasHeld) return pressedKeyCode_[vk];
  uint16_t key = fixed;
  const char c = layoutCharacterOfVk(vk);
  if (c != 0 && !positionalKeys_) {
    // With Command down some layouts type other letters (Dvorak - QWERTY Command types QWERTY):
    // Command+W must not close a window when the host meant Command+comma.
    const uint16_t typing =
        layout_.keyCodeTyping(c, (flags & kCGEventFlagMaskCommand) != 0, monotonicSeconds());
    if (typing != kNoMacKey) key = typing;
  }
  if (isDown) pressedKeyCode_[vk] = key;
  return key;
}

void Keyboard::postKeyEvent(uint16_t vk, bool isDown) {
  if (vkToMac(vk) == kNoMacKey) return;
  const bool wasHeld = isKeyHeld(vk);
  updateModifier(vk, isDown);
  const CGEventFlags flags = keyEventFlags(vk, isDown);
  const uint16_t key = keyCodeFor(vk, isDown, wasHeld, flags);
  bool keyWasDown = false;
  if (vk < kTrackedVks && key < kMacKeys && !isModifierVk(vk)) {
    keyWasDown = macKeyHolders_[key] > 0;
    if (isDown && !wasHeld) ++macKeyHolders_[key];
    if (!isDown && wasHeld) --macKeyHolders_[key];
    // Another VK still holds the Mac key: it stays down, as a person's key would while any finger
    // is on it, so this release posts nothing; the last one lifts it.
    if (!isDown && macKeyHolders_[key] > 0) return;
  }
  CGEventSourceRef source = getKeyboardSource();
  if (source == nullptr) {
    writeLineIfRoom(STDERR_FILENO, kNoSourceLine);  // never waits on a stderr nobody reads
    return;
  }
  CfOwned<CGEventRef> event(CGEventCreateKeyboardEvent(source, key, isDown));
  if (!event) return;
  if (isModifierVk(vk)) {
    // Modifier keys reach applications as modifier changes, not as typed keys; never repeats.
    CGEventSetType(event.get(), kCGEventFlagsChanged);
  } else if (isDown && (wasHeld || keyWasDown)) {
    // Windows sends a held key's typematic repeats as more key-downs; apps that hold to act, or
    // skip repeats, read this. A second VK onto a key already down is no fresh press either.
    CGEventSetIntegerValueField(event.get(), kCGKeyboardEventAutorepeat, 1);
  }
  poster_.post(event.get(), flags);
}

void Keyboard::postKeyPress(uint16_t vk) {
  postKeyEvent(vk, true);
  poster_.pause(kKeyPressHold);
  postKeyEvent(vk, false);
}

void Keyboard::checkSecureEventInput() {
  const bool on = secureEventInputEnabled();
  if (on && !secureEventInput_) writeLineIfRoom(STDERR_FILENO, kSecureInputLine);
  secureEventInput_ = on;
}

void Keyboard::releaseHeldKeys() {
  // Ordinary keys first, while the modifiers that shaped their presses are still down; a held
  // modifier is held as a key too and is released in the second pass only.
  for (uint16_t vk = 0; vk < kTrackedVks; ++vk) {
    if (keyDown_[vk] && !isModifierVk(vk)) postKeyEvent(vk, false);
  }
  for (uint16_t vk = 0; vk < kTrackedVks; ++vk) {
    if (modifierDown_[vk]) postKeyEvent(vk, false);
  }
}
