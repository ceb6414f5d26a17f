#include "keyboard/key_events.h"

// Placeholder until key events land.
CGEventFlags g_modifierFlags = 0;
unsigned char modifierDown[256];
unsigned char keyDown[256];
unsigned char translatedClipboardKey[256];

void updateModifier(uint16_t, bool) {}
CGEventFlags keyEventFlags(uint16_t, bool) { return g_modifierFlags; }
CGEventSourceRef getKeyboardSource() { return nullptr; }
void postKeyEvent(uint16_t, bool) {}
void postKeyPress(uint16_t) {}
void releaseHeldKeys() {}
void resetKeyboardState() {}
