#include "keyboard/key_events.h"

#include <cstdio>
#include <cstring>

#include "keyboard/key_code_maps.h"
#include "platform/cf_owned.h"

CGEventFlags g_modifierFlags = 0;
unsigned char modifierDown[256];
unsigned char keyDown[256];
unsigned char translatedClipboardKey[256];

namespace {

// Created on the first key event and kept for the whole run; a failed creation is retried by the
// next key event.
CGEventSourceRef keyboardSource = nullptr;

constexpr char kNoSourceLine[] = "ERR: Cannot create HID keyboard source\n";

constexpr uint16_t kVkLeftControl = 162;
constexpr uint16_t kVkRightControl = 163;
constexpr uint16_t kVkControl = 17;
constexpr uint16_t kUntracked = 256;  // the state tables have one slot per VK below this

bool isClipboardLetter(uint16_t vk) { return vk == 67 || vk == 86 || vk == 88; }  // C, V, X
bool isArrow(uint16_t vk) { return vk >= 37 && vk <= 40; }

// A Control chord on C, V or X goes out as the Command chord a Mac user would type.
CGEventFlags controlToCommand(CGEventFlags flags) {
  return (flags & ~(kCGEventFlagMaskControl | kCGEventFlagMaskCommand)) | kCGEventFlagMaskCommand;
}

}  // namespace

void updateModifier(uint16_t vk, bool isDown) {
  if (vk >= kUntracked || !isModifierVk(vk)) return;
  modifierDown[vk] = isDown ? 1 : 0;
  CGEventFlags flags = 0;
  for (const ModifierFlag& modifier : modifierFlagMap) {
    if (modifierDown[modifier.vk]) flags |= modifier.flag;
  }
  g_modifierFlags = flags;
}

CGEventFlags keyEventFlags(uint16_t vk, bool isDown) {
  CGEventFlags flags = g_modifierFlags;
  if (vk >= kUntracked) return flags;
  bool translated = false;
  if (isDown) {
    if (keyDown[vk]) {
      // A repeat keeps what its fresh press decided, whatever the modifiers did since.
      translated = translatedClipboardKey[vk] != 0;
    } else {
      translated = isClipboardLetter(vk) &&
                   (modifierDown[kVkLeftControl] || modifierDown[kVkControl]) &&
                   !modifierDown[kVkRightControl] && flags == kCGEventFlagMaskControl;
      translatedClipboardKey[vk] = translated ? 1 : 0;
    }
    keyDown[vk] = 1;
  } else {
    // The release matches its press, so a chord begun as Command ends as Command.
    translated = translatedClipboardKey[vk] != 0;
    keyDown[vk] = 0;
    translatedClipboardKey[vk] = 0;
  }
  if (translated) flags = controlToCommand(flags);
  if (isArrow(vk)) {
    flags |= kCGEventFlagMaskSecondaryFn;
    if (!(flags & kCGEventFlagMaskControl)) flags |= kCGEventFlagMaskNumericPad;
  }
  return flags;
}

CGEventSourceRef getKeyboardSource() {
  if (keyboardSource == nullptr) {
    keyboardSource = CGEventSourceCreate(kCGEventSourceStateHIDSystemState);
  }
  return keyboardSource;
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
  CGEventSetFlags(event.get(), flags);
  CGEventPost(kCGHIDEventTap, event.get());
}

void postKeyPress(uint16_t vk) {
  postKeyEvent(vk, true);
  usleep(10000);
  postKeyEvent(vk, false);
}

void releaseHeldKeys() {
  // Ordinary keys first, while the modifiers that shaped their presses are still down; a held
  // modifier has its keyDown entry set too and is released in the second pass only.
  for (uint16_t vk = 0; vk < kUntracked; ++vk) {
    if (keyDown[vk] && !isModifierVk(vk)) postKeyEvent(vk, false);
  }
  for (uint16_t vk = 0; vk < kUntracked; ++vk) {
    if (modifierDown[vk]) postKeyEvent(vk, false);
  }
}

void resetKeyboardState() {
  g_modifierFlags = 0;
  std::memset(modifierDown, 0, sizeof modifierDown);
  std::memset(keyDown, 0, sizeof keyDown);
  std::memset(translatedClipboardKey, 0, sizeof translatedClipboardKey);
  if (keyboardSource != nullptr) CFRelease(keyboardSource);
  keyboardSource = nullptr;
}
