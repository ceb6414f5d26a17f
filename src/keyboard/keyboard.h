// The keyboard: which keys and modifiers the host holds, the flags of key events, posting key
// events, the volume and media keys and Caps Lock, and typing text. One Keyboard per session owns
// all of that state.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "keyboard/caps_lock.h"
#include "keyboard/layout.h"
#include "platform/cf_owned.h"
#include "platform/post_event.h"
#include "platform/quartz.h"

class Keyboard {
 public:
  explicit Keyboard(EventPoster& poster) : poster_(poster) {}
  Keyboard(const Keyboard&) = delete;
  Keyboard& operator=(const Keyboard&) = delete;

  // A key event's bookkeeping, before it is posted. The modifier mask follows the modifier VKs
  // held (other VKs change nothing here).
  void updateModifier(uint16_t vk, bool isDown);
  // Which keys are held, and whether a key's event goes out as the Command chord: a fresh press
  // decides it from the modifiers then held, its repeats and its release keep that.
  void updateHeldKey(uint16_t vk, bool isDown);
  // The flags of vk's latest key event, once both updates have recorded it: the modifiers held,
  // Command for Control where its press was translated, Fn and keypad on the arrows, keypad on the
  // keypad's keys. Caps Lock's flag is added as the event is posted.
  CGEventFlags keyEventFlags(uint16_t vk) const;
  // The HID keyboard source, created on first use and kept for the keyboard's life; a failed
  // creation is retried by the next call.
  CGEventSourceRef getKeyboardSource();
  // A key down or up. The letters and the four punctuation VKs go to the key that types their
  // character on the Mac's layout (unless keys are positional); a key is released where it was
  // pressed; a down of a key already held is an autorepeat. A Mac key is down while any VK pressed
  // onto it is held: a second VK onto it repeats it, and only the last release lifts it. Every key
  // event carries Caps Lock's flag while the lock is on.
  // A volume or media key posts its system-defined event instead, with none of the host's flags.
  // A fresh press of Caps Lock turns the lock over through the HID system and posts nothing, nor
  // do its repeats and release; when the HID system cannot do it, the key is posted as any other.
  void postKeyEvent(uint16_t vk, bool isDown);
  // Every key at its U.S. position, for hosts that send physical positions as VKs.
  void setPositionalKeys(bool positional) { positionalKeys_ = positional; }
  // KEYPRESS: down, a 10 ms pause, up.
  void postKeyPress(uint16_t vk);

  // TEXT: decodes the Base64 token and types the text, up to its first NUL byte
  // (keyboard/text_entry.cc).
  void postBase64Text(std::string_view token);
  // Types a NUL-terminated UTF-8 string; nothing when it is not valid UTF-8.
  void postUnicodeText(const char* text);
  // TYPE: decodes the Base64 token as TEXT does and types the text key by key through the Mac's
  // layout, as a person would (keyboard/typing.cc). The keys and modifiers the host holds are
  // neither used nor changed.
  void postBase64Typing(std::string_view token);

  // Asked before every key and text command: when Secure Event Input has turned on since the last
  // time (or is on at the first), tells the person at the Mac on stderr that keys and text may not
  // arrive. The events are posted all the same.
  void checkSecureEventInput();

  // The Mac's Caps Lock, for the CAPSLOCK command.
  CapsLock& capsLock() { return capsLock_; }

  // Releases, as KEYUP would, every non-modifier key still held and then every modifier still
  // held, each in ascending VK order. Posts nothing when nothing is held.
  void releaseHeldKeys();

  // The modifier mask of the modifier VKs now held: always the OR of their flags. Stamped on key,
  // text and separate button events.
  CGEventFlags modifierFlags() const { return modifierFlags_; }
  // Held from its down to its up: every mapped key, modifiers included.
  bool isKeyHeld(uint16_t vk) const { return vk < kTrackedVks && keyDown_[vk]; }
  // Held modifier VKs only; generic and sided VKs are separate keys.
  bool isModifierHeld(uint16_t vk) const { return vk < kTrackedVks && modifierDown_[vk]; }
  // The held press of vk received the Control-to-Command clipboard translation.
  bool isClipboardTranslated(uint16_t vk) const {
    return isKeyHeld(vk) && translatedClipboardKey_[vk];
  }

 private:
  static constexpr uint16_t kTrackedVks = 256;  // one slot per VK below this
  static constexpr uint16_t kMacKeys = 128;     // Mac key codes are below this

  // A fresh press of vk now would go out as the Command chord.
  bool translatesControlToCommand(uint16_t vk) const;
  // The key code a key event of vk posts; wasHeld tells a repeat or a release from a fresh press.
  uint16_t keyCodeFor(uint16_t vk, bool isDown, bool wasHeld, CGEventFlags flags, Seconds now);
  // A volume or media key's down or up, as the Mac's own keyboard posts it.
  void postMediaKey(uint16_t vk, int keyType, bool isDown);
  // Whether this key event of Caps Lock is posted as a key: a fresh press decides, by whether the
  // HID system could turn the lock over; its repeats and release follow it.
  bool postsCapsLockKey(bool isDown, bool wasHeld, Seconds now);

  // One stroke of text, down or up, with these flags; false when the event could not be made.
  bool postTextStroke(const UniChar* units, size_t count, bool down, CGEventFlags flags);
  // The keyboard source for keystrokes; when it cannot be made, says so on stderr (never waiting
  // on a stderr nobody reads) and gives nullptr.
  CGEventSourceRef keystrokeSource();

  EventPoster& poster_;
  CGEventFlags modifierFlags_ = 0;
  std::array<bool, kTrackedVks> modifierDown_{};
  std::array<bool, kTrackedVks> keyDown_{};
  // Each VK's latest key event received the Control-to-Command clipboard translation.
  std::array<bool, kTrackedVks> translatedClipboardKey_{};
  // The key code each held key's fresh press went to: its repeats and its release go there too,
  // whatever the layout or the modifiers did since.
  std::array<uint16_t, kTrackedVks> pressedKeyCode_{};
  // How many held non-modifier VKs each Mac key is down for: on French, VK_M and VK_OEM_1 both
  // land on the key that types m.
  std::array<uint16_t, kMacKeys> macKeyHolders_{};
  KeyboardLayout layout_;
  bool positionalKeys_ = false;
  CfOwned<CGEventSourceRef> keyboardSource_;
  CapsLock capsLock_;
  // The held Caps Lock's press went out as a key, the HID system unable to lock; a release never
  // pressed follows the last press.
  bool capsLockByKey_ = false;
  bool secureEventInput_ = false;  // as the last key or text command found it
};
