#include "keyboard/keyboard.h"

#include <unistd.h>

#include "keyboard/key_code_maps.h"
#include "keyboard/vk.h"
#include "line_protocol.h"
#include "platform/monotonic_clock.h"
#include "platform/secure_event_input.h"
#include "platform/system_defined_event.h"

namespace {

constexpr char kNoSourceLine[] = "ERR: Cannot create HID keyboard source\n";
constexpr char kSecureInputLine[] =
    "WARNING: Secure Event Input is on; keys and text may not reach the focused app\n";

bool isClipboardLetter(uint16_t vk) { return vk == 'C' || vk == 'V' || vk == 'X'; }
bool isArrow(uint16_t vk) { return vk >= VK_LEFT && vk <= VK_DOWN; }

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

bool Keyboard::translatesControlToCommand(uint16_t vk) const {
  return isClipboardLetter(vk) && (modifierDown_[VK_LCONTROL] || modifierDown_[VK_CONTROL]) &&
         !modifierDown_[VK_RCONTROL] && modifierFlags_ == kCGEventFlagMaskControl;
}

void Keyboard::updateHeldKey(uint16_t vk, bool isDown) {
  if (vk >= kTrackedVks) return;
  // Only a fresh press decides: its repeats keep that whatever the modifiers did since, and its
  // release matches it, so a chord begun as Command ends as Command. A release of a key not held
  // matches no press.
  if (!keyDown_[vk]) translatedClipboardKey_[vk] = isDown && translatesControlToCommand(vk);
  keyDown_[vk] = isDown;
}

CGEventFlags Keyboard::keyEventFlags(uint16_t vk) const {
  CGEventFlags flags = modifierFlags_;
  if (vk >= kTrackedVks) return flags;
  if (translatedClipboardKey_[vk]) flags = controlToCommand(flags);
  if (isArrow(vk)) {
    flags |= kCGEventFlagMaskSecondaryFn;
    if (!(flags & kCGEventFlagMaskControl)) flags |= kCGEventFlagMaskNumericPad;
  } else if (isKeypadVk(vk)) {
    flags |= kCGEventFlagMaskNumericPad;  // the Mac's own keypad's, Control held or not
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

CGEventSourceRef Keyboard::keystrokeSource() {
  CGEventSourceRef source = getKeyboardSource();
  if (source == nullptr) writeLineIfRoom(STDERR_FILENO, kNoSourceLine);
  return source;
}

uint16_t Keyboard::keyCodeFor(uint16_t vk, bool isDown, bool wasHeld, CGEventFlags flags,
                              Seconds now) {
  const uint16_t fixed = vkToMac(vk);
  if (vk >= kTrackedVks) return fixed;
  if (wasHeld) return pressedKeyCode_[vk];
  uint16_t key = fixed;
  const char c = layoutCharacterOfVk(vk);
  if (c != 0 && !positionalKeys_) {
    // With Command down some layouts type other letters (Dvorak - QWERTY Command types QWERTY):
    // Command+W must not close a window when the host meant Command+comma.
    const uint16_t typing = layout_.keyCodeTyping(c, (flags & kCGEventFlagMaskCommand) != 0, now);
    if (typing != kNoMacKey) key = typing;
  }
  if (isDown) pressedKeyCode_[vk] = key;
  return key;
}

bool Keyboard::postsCapsLockKey(bool isDown, bool wasHeld, Seconds now) {
  // No key event with the lock: were a macOS version to lock on the key as well, the two would
  // cancel.
  if (isDown && !wasHeld) capsLockByKey_ = !capsLock_.toggle(now);
  return capsLockByKey_;
}

void Keyboard::postMediaKey(uint16_t vk, int keyType, bool isDown) {
  const bool wasHeld = isKeyHeld(vk);
  updateHeldKey(vk, isDown);
  // data1 as the HID system packs it: the key type, the key's down or up event type, and 1 on a
  // held key's repeats. The modifier flags carry that event type too, and nothing of the host's.
  const int64_t state = isDown ? NX_KEYDOWN : NX_KEYUP;
  const int64_t repeat = isDown && wasHeld ? 1 : 0;
  const int64_t data1 = (int64_t{keyType} << 16) | (state << 8) | repeat;
  CfOwned<CGEventRef> event(createSystemDefinedEvent(NX_SUBTYPE_AUX_CONTROL_BUTTONS, data1, -1,
                                                     static_cast<CGEventFlags>(state << 8)));
  poster_.post(event.get());
}

void Keyboard::postKeyEvent(uint16_t vk, bool isDown) {
  const int mediaKey = mediaKeyTypeForVk(vk);
  if (mediaKey != kNoMediaKey) {
    postMediaKey(vk, mediaKey, isDown);
    return;
  }
  if (vkToMac(vk) == kNoMacKey) return;
  const Seconds now = monotonicSeconds();
  const bool wasHeld = isKeyHeld(vk);
  if (vk == VK_CAPITAL && !postsCapsLockKey(isDown, wasHeld, now)) {
    updateHeldKey(vk, isDown);
    return;
  }
  updateModifier(vk, isDown);
  updateHeldKey(vk, isDown);
  const CGEventFlags flags = keyEventFlags(vk);
  const uint16_t key = keyCodeFor(vk, isDown, wasHeld, flags, now);
  bool keyWasDown = false;
  if (vk < kTrackedVks && key < kMacKeys && !isModifierVk(vk)) {
    keyWasDown = macKeyHolders_[key] > 0;
    if (isDown && !wasHeld) ++macKeyHolders_[key];
    if (!isDown && wasHeld) --macKeyHolders_[key];
    // Another VK still holds the Mac key: it stays down, as a person's key would while any finger
    // is on it, so this release posts nothing; the last one lifts it.
    if (!isDown && macKeyHolders_[key] > 0) return;
  }
  CGEventSourceRef source = keystrokeSource();
  if (source == nullptr) return;
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
  poster_.post(event.get(), flags | capsLock_.flag(now));
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
