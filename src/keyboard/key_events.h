// Key and modifier state, the flags of key events, and posting key events. The state belongs to
// this file's operations; everyone else reads it through the accessors below.
#pragma once

#include <cstdint>

#include "platform/quartz.h"

void updateModifier(uint16_t vk, bool isDown);
CGEventFlags keyEventFlags(uint16_t vk, bool isDown);
CGEventSourceRef getKeyboardSource();
void postKeyEvent(uint16_t vk, bool isDown);
// KEYPRESS: down, a 10 ms pause, up.
void postKeyPress(uint16_t vk);

// Asked before every key and text command: when Secure Event Input has turned on since the last
// time (or is on at the first), tells the person at the Mac on stderr that keys and text may not
// arrive. The events are posted all the same.
void checkSecureEventInput();

// The modifier mask of the modifier VKs now held: always the OR of their flags. Stamped on key,
// text and separate button events.
CGEventFlags modifierFlags();
// Held from its down to its up: every mapped key, modifiers included.
bool isKeyHeld(uint16_t vk);
// Held modifier VKs only; generic and sided VKs are separate keys.
bool isModifierHeld(uint16_t vk);
// The held press of vk received the Control-to-Command clipboard translation.
bool isClipboardTranslated(uint16_t vk);

// Releases, as KEYUP would, every non-modifier key still held and then every modifier still
// held, each in ascending VK order. Posts nothing when nothing is held.
void releaseHeldKeys();

// Back to the state at process start, the keyboard source released.
void resetKeyboardState();
