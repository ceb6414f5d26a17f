// Which keyboard layout is current, and what its keys type: Text Input Sources and the Unicode key
// layout translation. On a Mac these are Carbon's (HIToolbox, and CoreServices' UnicodeUtilities);
// Carbon's umbrella header declares unprefixed names in the global namespace (a function Button(),
// for one) that would hide the agent's own, so this header is for .cc files alone, never another
// header, and only keyboard/layout.cc, keyboard/layout_strokes.cc and the simulated desktop include
// it. Everywhere else it declares the same names, types and values as Apple's headers, implemented
// by the simulated desktop. The Text Input Source calls belong on the main thread; the agent's one
// thread is. The run loop is CoreFoundation's, here because only the layout queries run it.
#pragma once

#if defined(__APPLE__)

// Without this, Carbon's AssertMacros.h defines macros named check, verify and require.
#define __ASSERT_MACROS_DEFINE_VERSIONS_WITHOUT_UNDERSCORES 0
#include <Carbon/Carbon.h>

#else

#include <stdint.h>

#include "platform/quartz.h"

// MacTypes.h and CoreFoundation.
typedef uint8_t UInt8;
typedef int32_t SInt32;
typedef SInt32 OSStatus;
typedef UInt32 OptionBits;
enum { noErr = 0 };
typedef const struct __CFData* CFDataRef;
typedef const struct __CFBoolean* CFBooleanRef;
extern "C" const UInt8* CFDataGetBytePtr(CFDataRef theData);
extern "C" CFIndex CFDataGetLength(CFDataRef theData);
extern "C" Boolean CFBooleanGetValue(CFBooleanRef boolean);
extern "C" const CFBooleanRef kCFBooleanTrue;
extern "C" const CFBooleanRef kCFBooleanFalse;

// CoreFoundation/CFRunLoop.h.
typedef CFStringRef CFRunLoopMode;
extern "C" const CFRunLoopMode kCFRunLoopDefaultMode;
// A CF_ENUM, as Apple's header makes it: a real enum of fixed type.
enum CFRunLoopRunResult : SInt32 {
  kCFRunLoopRunFinished = 1,
  kCFRunLoopRunStopped = 2,
  kCFRunLoopRunTimedOut = 3,
  kCFRunLoopRunHandledSource = 4,
};
extern "C" CFRunLoopRunResult CFRunLoopRunInMode(CFRunLoopMode mode, CFTimeInterval seconds,
                                                 Boolean returnAfterSourceHandled);

// HIToolbox/TextInputSources.h: sources are CF objects, released with CFRelease; a property is
// the source's own, not retained for the caller.
typedef struct __TISInputSource* TISInputSourceRef;
extern "C" const CFStringRef kTISPropertyInputSourceIsASCIICapable;  // a CFBooleanRef
extern "C" const CFStringRef kTISPropertyUnicodeKeyLayoutData;       // a CFDataRef, or NULL
extern "C" const CFStringRef kTISPropertyInputSourceID;              // a CFStringRef
extern "C" TISInputSourceRef TISCopyCurrentKeyboardInputSource(void);
extern "C" TISInputSourceRef TISCopyCurrentKeyboardLayoutInputSource(void);
extern "C" TISInputSourceRef TISCopyCurrentASCIICapableKeyboardLayoutInputSource(void);
extern "C" void* TISGetInputSourceProperty(TISInputSourceRef inputSource, CFStringRef propertyKey);

// HIToolbox/Events.h: the modifier bits of an event record (UCKeyTranslate takes them shifted
// right by 8), and the hardware keyboard type.
enum {
  cmdKeyBit = 8,
  shiftKeyBit = 9,
  optionKeyBit = 11,
};
enum {
  cmdKey = 1 << cmdKeyBit,
  shiftKey = 1 << shiftKeyBit,
  optionKey = 1 << optionKeyBit,
};
extern "C" UInt8 LMGetKbdType(void);

// CarbonCore/UnicodeUtilities.h: what a key of a 'uchr' layout types.
typedef struct UCKeyboardLayout UCKeyboardLayout;
enum {
  kUCKeyActionDown = 0,
  kUCKeyActionUp = 1,
  kUCKeyActionAutoKey = 2,
  kUCKeyActionDisplay = 3,
};
enum {
  kUCKeyTranslateNoDeadKeysBit = 0,
};
enum {
  kUCKeyTranslateNoDeadKeysMask = 1L << kUCKeyTranslateNoDeadKeysBit,
};
extern "C" OSStatus UCKeyTranslate(const UCKeyboardLayout* keyLayoutPtr, UInt16 virtualKeyCode,
                                   UInt16 keyAction, UInt32 modifierKeyState, UInt32 keyboardType,
                                   OptionBits keyTranslateOptions, UInt32* deadKeyState,
                                   UniCharCount maxStringLength, UniCharCount* actualStringLength,
                                   UniChar unicodeString[]);

#endif
