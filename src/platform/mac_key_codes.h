// The Mac's virtual key codes by Carbon's names (kVK_ANSI_A and the rest, HIToolbox/Events.h):
// physical keys, the ANSI ones named by what they type on a U.S. layout. On a Mac they are
// Carbon's own, and the copy below is checked against them; everywhere else the copy declares
// them, with the same names and values. Carbon's umbrella header declares unprefixed names in the
// global namespace (a function Button(), for one) that would hide the agent's own, so this header
// is for .cc files alone, never another header.
#pragma once

// One list, each name once: X(name, value). The ANSI keys by position, the keypad (whose 8 and 9
// step over F20's 0x5A), then the keys every layout shares; the ISO and JIS keys are left out.
// clang-format off
#define MII_MAC_KEY_CODES(X)                                                                       \
  X(kVK_ANSI_A, 0x00) X(kVK_ANSI_S, 0x01) X(kVK_ANSI_D, 0x02) X(kVK_ANSI_F, 0x03)                 \
  X(kVK_ANSI_H, 0x04) X(kVK_ANSI_G, 0x05) X(kVK_ANSI_Z, 0x06) X(kVK_ANSI_X, 0x07)                 \
  X(kVK_ANSI_C, 0x08) X(kVK_ANSI_V, 0x09) X(kVK_ANSI_B, 0x0B) X(kVK_ANSI_Q, 0x0C)                 \
  X(kVK_ANSI_W, 0x0D) X(kVK_ANSI_E, 0x0E) X(kVK_ANSI_R, 0x0F) X(kVK_ANSI_Y, 0x10)                 \
  X(kVK_ANSI_T, 0x11) X(kVK_ANSI_1, 0x12) X(kVK_ANSI_2, 0x13) X(kVK_ANSI_3, 0x14)                 \
  X(kVK_ANSI_4, 0x15) X(kVK_ANSI_6, 0x16) X(kVK_ANSI_5, 0x17) X(kVK_ANSI_Equal, 0x18)             \
  X(kVK_ANSI_9, 0x19) X(kVK_ANSI_7, 0x1A) X(kVK_ANSI_Minus, 0x1B) X(kVK_ANSI_8, 0x1C)             \
  X(kVK_ANSI_0, 0x1D) X(kVK_ANSI_RightBracket, 0x1E) X(kVK_ANSI_O, 0x1F) X(kVK_ANSI_U, 0x20)      \
  X(kVK_ANSI_LeftBracket, 0x21) X(kVK_ANSI_I, 0x22) X(kVK_ANSI_P, 0x23) X(kVK_ANSI_L, 0x25)       \
  X(kVK_ANSI_J, 0x26) X(kVK_ANSI_Quote, 0x27) X(kVK_ANSI_K, 0x28) X(kVK_ANSI_Semicolon, 0x29)     \
  X(kVK_ANSI_Backslash, 0x2A) X(kVK_ANSI_Comma, 0x2B) X(kVK_ANSI_Slash, 0x2C)                     \
  X(kVK_ANSI_N, 0x2D) X(kVK_ANSI_M, 0x2E) X(kVK_ANSI_Period, 0x2F) X(kVK_ANSI_Grave, 0x32)        \
                                                                                                   \
  X(kVK_ANSI_KeypadDecimal, 0x41) X(kVK_ANSI_KeypadMultiply, 0x43) X(kVK_ANSI_KeypadPlus, 0x45)   \
  X(kVK_ANSI_KeypadClear, 0x47) X(kVK_ANSI_KeypadDivide, 0x4B) X(kVK_ANSI_KeypadEnter, 0x4C)      \
  X(kVK_ANSI_KeypadMinus, 0x4E) X(kVK_ANSI_KeypadEquals, 0x51)                                    \
  X(kVK_ANSI_Keypad0, 0x52) X(kVK_ANSI_Keypad1, 0x53) X(kVK_ANSI_Keypad2, 0x54)                   \
  X(kVK_ANSI_Keypad3, 0x55) X(kVK_ANSI_Keypad4, 0x56) X(kVK_ANSI_Keypad5, 0x57)                   \
  X(kVK_ANSI_Keypad6, 0x58) X(kVK_ANSI_Keypad7, 0x59) X(kVK_ANSI_Keypad8, 0x5B)                   \
  X(kVK_ANSI_Keypad9, 0x5C)                                                                       \
                                                                                                   \
  X(kVK_Return, 0x24) X(kVK_Tab, 0x30) X(kVK_Space, 0x31) X(kVK_Delete, 0x33)                     \
  X(kVK_Escape, 0x35) X(kVK_Command, 0x37) X(kVK_Shift, 0x38) X(kVK_CapsLock, 0x39)               \
  X(kVK_Option, 0x3A) X(kVK_Control, 0x3B) X(kVK_RightCommand, 0x36) X(kVK_RightShift, 0x3C)      \
  X(kVK_RightOption, 0x3D) X(kVK_RightControl, 0x3E) X(kVK_Function, 0x3F)                        \
  X(kVK_VolumeUp, 0x48) X(kVK_VolumeDown, 0x49) X(kVK_Mute, 0x4A)                                 \
  X(kVK_F1, 0x7A) X(kVK_F2, 0x78) X(kVK_F3, 0x63) X(kVK_F4, 0x76) X(kVK_F5, 0x60)                 \
  X(kVK_F6, 0x61) X(kVK_F7, 0x62) X(kVK_F8, 0x64) X(kVK_F9, 0x65) X(kVK_F10, 0x6D)                \
  X(kVK_F11, 0x67) X(kVK_F12, 0x6F) X(kVK_F13, 0x69) X(kVK_F14, 0x6B) X(kVK_F15, 0x71)            \
  X(kVK_F16, 0x6A) X(kVK_F17, 0x40) X(kVK_F18, 0x4F) X(kVK_F19, 0x50) X(kVK_F20, 0x5A)            \
  X(kVK_Help, 0x72) X(kVK_Home, 0x73) X(kVK_PageUp, 0x74) X(kVK_ForwardDelete, 0x75)              \
  X(kVK_End, 0x77) X(kVK_PageDown, 0x79) X(kVK_LeftArrow, 0x7B) X(kVK_RightArrow, 0x7C)           \
  X(kVK_DownArrow, 0x7D) X(kVK_UpArrow, 0x7E)
// clang-format on

#if defined(__APPLE__)

// Without this, Carbon's AssertMacros.h defines macros named check, verify and require.
#define __ASSERT_MACROS_DEFINE_VERSIONS_WITHOUT_UNDERSCORES 0
#include <Carbon/Carbon.h>

// A mistyped value in the copy fails the Mac build, naming the key.
#define MII_PIN_MAC_KEY_CODE(name, value) static_assert(name == (value), #name);
MII_MAC_KEY_CODES(MII_PIN_MAC_KEY_CODE)
#undef MII_PIN_MAC_KEY_CODE

#else

// An unnamed enum of plain constants, as Carbon declares them.
#define MII_DECLARE_MAC_KEY_CODE(name, value) name = (value),
enum { MII_MAC_KEY_CODES(MII_DECLARE_MAC_KEY_CODE) };
#undef MII_DECLARE_MAC_KEY_CODE

#endif
