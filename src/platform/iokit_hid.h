// The HID system's parameter connection (IOKit's IOKitLib.h and hidsystem headers), for reading and
// setting the Mac's own Caps Lock state: a posted Caps Lock key does not lock it.
//
// On a Mac these are the system's own headers. IOKit's HID headers declare many unprefixed NX_ and
// EV names, so this header is for .cc files alone, never another header: only
// platform/hid_system.cc and the simulated desktop include it. Everywhere else it declares the same
// names, types, values and signatures, implemented by the simulated desktop
// (platform/simulated/hid_system.cc).
#pragma once

#if defined(__APPLE__)

#include <IOKit/IOKitLib.h>
#include <IOKit/hidsystem/IOHIDLib.h>
#include <IOKit/hidsystem/IOHIDParameter.h>  // kIOHIDCapsLockState

#else

#include <stdint.h>

#include "platform/quartz.h"  // kern_return_t, KERN_SUCCESS

// mach/port.h, mach/mach_types.h and mach/mach_init.h (libSystem).
typedef unsigned int natural_t;
typedef natural_t mach_port_t;
typedef mach_port_t task_port_t;
#define MACH_PORT_NULL 0
extern "C" mach_port_t mach_task_self_;
#define mach_task_self() mach_task_self_

// IOKit/IOReturn.h, as platform/power.h has it (identical definitions may be repeated).
typedef kern_return_t IOReturn;
#define kIOReturnSuccess 0  // KERN_SUCCESS
// iokit_common_err(0x2bc), (0x2c2) and (0x2e2): the int the header's shifts give.
#define kIOReturnError ((IOReturn)0xe00002bc)
#define kIOReturnBadArgument ((IOReturn)0xe00002c2)
#define kIOReturnNotPermitted ((IOReturn)0xe00002e2)

// CoreFoundation's dictionaries, here only as IOKit's matching takes them.
typedef const struct __CFDictionary* CFDictionaryRef;
typedef struct __CFDictionary* CFMutableDictionaryRef;

// IOKit/IOTypes.h.
typedef mach_port_t io_object_t;
typedef io_object_t io_service_t;
typedef io_object_t io_connect_t;
#define IO_OBJECT_NULL ((io_object_t)0)

// IOKit/hidsystem/IOHIDShared.h and IOHIDParameter.h.
#define kIOHIDSystemClass "IOHIDSystem"
enum {
  kIOHIDServerConnectType = 0,
  kIOHIDParamConnectType = 1,
  kIOHIDEventSystemConnectType = 3,
};
enum {
  kIOHIDCapsLockState = 0x00000001,
  kIOHIDNumLockState = 0x00000002,
  kIOHIDActivityUserIdle = 0x00000003,
  kIOHIDActivityDisplayOn = 0x00000004,
};

// IOKit/IOKitLib.h. The matching dictionary's one reference is consumed, whatever the answer.
extern "C" CFMutableDictionaryRef IOServiceMatching(const char* name);
extern "C" io_service_t IOServiceGetMatchingService(mach_port_t mainPort, CFDictionaryRef matching);
extern "C" kern_return_t IOServiceOpen(io_service_t service, task_port_t owningTask, uint32_t type,
                                       io_connect_t* connect);
extern "C" kern_return_t IOServiceClose(io_connect_t connect);
extern "C" kern_return_t IOObjectRelease(io_object_t object);

// IOKit/hidsystem/IOHIDLib.h.
extern "C" kern_return_t IOHIDGetModifierLockState(io_connect_t handle, int selector, bool* state);
extern "C" kern_return_t IOHIDSetModifierLockState(io_connect_t handle, int selector, bool state);

#endif
