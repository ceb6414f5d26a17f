// Key and modifier state, the flags of key events, and posting key events.
#pragma once

#include <cstdint>

#include "platform/quartz.h"

// The modifier mask of the modifier VKs now held: always the OR of their flags.
extern CGEventFlags g_modifierFlags;
// Indexed by VK, nonzero while held. modifierDown is written for the modifier VKs only; keyDown
// for every mapped key, modifiers included; translatedClipboardKey while a press that received
// the Control-to-Command clipboard translation is held.
extern unsigned char modifierDown[256];
extern unsigned char keyDown[256];
extern unsigned char translatedClipboardKey[256];

void updateModifier(uint16_t vk, bool isDown);
CGEventFlags keyEventFlags(uint16_t vk, bool isDown);
CGEventSourceRef getKeyboardSource();
void postKeyEvent(uint16_t vk, bool isDown);
// KEYPRESS: down, a 10 ms pause, up.
void postKeyPress(uint16_t vk);

// Releases, as KEYUP would, every non-modifier key still held and then every modifier still
// held, each in ascending VK order. Posts nothing when nothing is held.
void releaseHeldKeys();

// Back to the state at process start, the keyboard source released. For tests.
void resetKeyboardState();
