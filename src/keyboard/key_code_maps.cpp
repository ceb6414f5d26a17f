#include "keyboard/key_code_maps.h"

// Placeholder until the key maps land.
uint16_t vkToMac(uint16_t) { return kNoMacKey; }
CGEventFlags modifierFlagForVk(uint16_t) { return 0; }
bool isModifierVk(uint16_t) { return false; }
