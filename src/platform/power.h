// The power manager's assertions (IOKit's IOPMLib.h), for telling macOS the user is active: on a
// Mac whose display sleeps, posted events alone do not wake it.
//
// On a Mac this is the system's own header. Everywhere else it declares the same names, types,
// values and signatures, implemented by the simulated desktop (platform/simulated/power.cc).
#pragma once

#if defined(__APPLE__)

#include <IOKit/pwr_mgt/IOPMLib.h>  // macOS 10.7.3 and later

#else

#include <stdint.h>

#include "platform/quartz.h"  // CFStringRef, CFSTR

// IOKit/IOReturn.h over mach/kern_return.h.
typedef int kern_return_t;
typedef kern_return_t IOReturn;
#define kIOReturnSuccess 0    // KERN_SUCCESS
// iokit_common_err(0x2bc) and iokit_common_err(0x2c2): the int the header's shifts give.
#define kIOReturnError ((IOReturn)0xe00002bc)
#define kIOReturnBadArgument ((IOReturn)0xe00002c2)

// IOKit/pwr_mgt/IOPMLib.h.
typedef uint32_t IOPMAssertionID;
typedef uint32_t IOPMAssertionLevel;
enum { kIOPMAssertionLevelOff = 0, kIOPMAssertionLevelOn = 255 };
#define kIOPMNullAssertionID 0
typedef enum { kIOPMUserActiveLocal, kIOPMUserActiveRemote } IOPMUserActiveType;
#define kIOPMAssertionTypePreventUserIdleDisplaySleep CFSTR("PreventUserIdleDisplaySleep")
#define kIOPMAssertionTypePreventUserIdleSystemSleep CFSTR("PreventUserIdleSystemSleep")
#define kIOPMAssertionTypeNoDisplaySleep CFSTR("NoDisplaySleepAssertion")

extern "C" IOReturn IOPMAssertionCreateWithName(CFStringRef AssertionType,
                                                IOPMAssertionLevel AssertionLevel,
                                                CFStringRef AssertionName,
                                                IOPMAssertionID* AssertionID);
extern "C" IOReturn IOPMAssertionDeclareUserActivity(CFStringRef AssertionName,
                                                     IOPMUserActiveType userType,
                                                     IOPMAssertionID* AssertionID);
extern "C" IOReturn IOPMAssertionRelease(IOPMAssertionID AssertionID);

#endif
