// System-defined events (NSEventTypeSystemDefined, IOKit's NX_SYSDEFINED): what the Mac's own
// volume and media keys post, a key type and its state packed into data1. Quartz has no call that
// makes one; AppKit does, so on a Mac the one Objective-C++ file (system_defined_event.mm) holds
// that call. Elsewhere the simulated desktop makes the same event.
//
// The NX_ names are IOKit's (hidsystem/IOLLEvent.h and ev_keymap.h); elsewhere declared with the
// same values.
#pragma once

#include <stdint.h>

#include "platform/quartz.h"

#if defined(__APPLE__)

#include <IOKit/hidsystem/IOLLEvent.h>  // NX_SYSDEFINED, NX_KEYDOWN, NX_SUBTYPE_AUX_CONTROL_BUTTONS
#include <IOKit/hidsystem/ev_keymap.h>  // NX_KEYTYPE_*

#else

// IOKit/hidsystem/IOLLEvent.h: the event types (a media key's state in data1 is its key-down or
// key-up type) and the subtype of the volume and media keys' events.
#define NX_KEYDOWN 10
#define NX_KEYUP 11
#define NX_SYSDEFINED 14
#define NX_SUBTYPE_AUX_CONTROL_BUTTONS 8

// IOKit/hidsystem/ev_keymap.h: the special keys' types.
#define NX_KEYTYPE_SOUND_UP 0
#define NX_KEYTYPE_SOUND_DOWN 1
#define NX_KEYTYPE_MUTE 7
#define NX_KEYTYPE_PLAY 16
#define NX_KEYTYPE_NEXT 17
#define NX_KEYTYPE_PREVIOUS 18
#define NX_KEYTYPE_FAST 19
#define NX_KEYTYPE_REWIND 20

#endif

// A new system-defined event, as +[NSEvent otherEventWithType:...] makes it with these subtype,
// data and modifier flags, at no location, window or time; NULL when none could be made. The
// caller owns it (CFRelease), and posts it as any other event.
CGEventRef createSystemDefinedEvent(int16_t subtype, int64_t data1, int64_t data2,
                                    CGEventFlags flags);
