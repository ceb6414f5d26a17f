// The platform operations the agent calls: Quartz Event Services, CoreFoundation strings, release
// and clock, the Accessibility query, sysctl, the Mach clock and usleep (Secure Event Input has a
// file of its own, platform/secure_event_input.h, which keeps Carbon out of this header).
//
// On a Mac this is the system's own headers. Everywhere else it declares the same names, types,
// enum underlying types, constant values and signatures as Apple's headers, implemented by the
// simulated desktop (platform/simulated/), so that code compiling here compiles on a Mac.
#pragma once

#if defined(__APPLE__)

#include <ApplicationServices/ApplicationServices.h>
#include <mach/mach_time.h>
#include <sys/sysctl.h>
#include <unistd.h>

#else

#include <stddef.h>
#include <stdint.h>
#include <unistd.h>  // usleep, as libSystem's unistd.h declares it on a Mac

// Apple spells its fixed-type enums with CF_ENUM and CF_OPTIONS. In C++ CF_OPTIONS makes the
// type the plain integer, so CGEventFlags is uint64_t and masks OR without casts; CF_ENUM makes a
// real enum, so an int literal does not convert implicitly (CGEventPost(0, e) does not compile).
#define MII_CF_ENUM(type, name) \
  enum name : type;             \
  typedef enum name name;       \
  enum name : type

#define MII_CG_EXTERN extern "C" __attribute__((visibility("default")))

// CoreFoundation and MacTypes.
typedef unsigned char Boolean;
typedef uint16_t UInt16;
typedef uint32_t UInt32;
typedef UInt16 UniChar;
typedef unsigned long UniCharCount;
typedef signed long CFIndex;
typedef UInt32 CFStringEncoding;
typedef double CFTimeInterval;
typedef CFTimeInterval CFAbsoluteTime;
typedef const void* CFTypeRef;
typedef const struct __CFString* CFStringRef;
typedef const struct __CFAllocator* CFAllocatorRef;
typedef struct {
  CFIndex location;
  CFIndex length;
} CFRange;

enum CFStringBuiltInEncodings : CFStringEncoding {
  kCFStringEncodingUTF8 = 0x08000100,
};

extern "C" const CFAllocatorRef kCFAllocatorDefault;

inline CFRange CFRangeMake(CFIndex loc, CFIndex len) {
  CFRange range;
  range.location = loc;
  range.length = len;
  return range;
}

// CoreGraphics geometry.
typedef double CGFloat;
struct CGPoint {
  CGFloat x;
  CGFloat y;
};
typedef struct CGPoint CGPoint;
struct CGSize {
  CGFloat width;
  CGFloat height;
};
typedef struct CGSize CGSize;
struct CGRect {
  CGPoint origin;
  CGSize size;
};
typedef struct CGRect CGRect;

// Event types and constants.
typedef struct __CGEvent* CGEventRef;
typedef struct __CGEventSource* CGEventSourceRef;
typedef uint16_t CGKeyCode;
typedef uint32_t CGDirectDisplayID;
typedef uint64_t CGEventTimestamp;

typedef uint64_t CGEventFlags;
enum : CGEventFlags {
  kCGEventFlagMaskAlphaShift = 0x00010000,
  kCGEventFlagMaskShift = 0x00020000,
  kCGEventFlagMaskControl = 0x00040000,
  kCGEventFlagMaskAlternate = 0x00080000,
  kCGEventFlagMaskCommand = 0x00100000,
  kCGEventFlagMaskHelp = 0x00400000,
  kCGEventFlagMaskSecondaryFn = 0x00800000,
  kCGEventFlagMaskNumericPad = 0x00200000,
  kCGEventFlagMaskNonCoalesced = 0x00000100,
};

MII_CF_ENUM(uint32_t, CGEventType){
    kCGEventNull = 0,
    kCGEventLeftMouseDown = 1,
    kCGEventLeftMouseUp = 2,
    kCGEventRightMouseDown = 3,
    kCGEventRightMouseUp = 4,
    kCGEventMouseMoved = 5,
    kCGEventLeftMouseDragged = 6,
    kCGEventRightMouseDragged = 7,
    kCGEventKeyDown = 10,
    kCGEventKeyUp = 11,
    kCGEventFlagsChanged = 12,
    kCGEventScrollWheel = 22,
    kCGEventTabletPointer = 23,
    kCGEventTabletProximity = 24,
    kCGEventOtherMouseDown = 25,
    kCGEventOtherMouseUp = 26,
    kCGEventOtherMouseDragged = 27,
    kCGEventTapDisabledByTimeout = 0xFFFFFFFE,
    kCGEventTapDisabledByUserInput = 0xFFFFFFFF,
};

MII_CF_ENUM(uint32_t, CGMouseButton){
    kCGMouseButtonLeft = 0,
    kCGMouseButtonRight = 1,
    kCGMouseButtonCenter = 2,
};

MII_CF_ENUM(uint32_t, CGScrollEventUnit){
    kCGScrollEventUnitPixel = 0,
    kCGScrollEventUnitLine = 1,
};

MII_CF_ENUM(uint32_t, CGEventTapLocation){
    kCGHIDEventTap = 0,
    kCGSessionEventTap,
    kCGAnnotatedSessionEventTap,
};

MII_CF_ENUM(uint32_t, CGEventField){
    kCGMouseEventNumber = 0,
    kCGMouseEventClickState = 1,
    kCGMouseEventPressure = 2,
    kCGMouseEventButtonNumber = 3,
    kCGMouseEventDeltaX = 4,
    kCGMouseEventDeltaY = 5,
    kCGMouseEventSubtype = 7,
    kCGKeyboardEventAutorepeat = 8,
    kCGKeyboardEventKeycode = 9,
    kCGKeyboardEventKeyboardType = 10,
    kCGScrollWheelEventDeltaAxis1 = 11,
    kCGScrollWheelEventDeltaAxis2 = 12,
    kCGEventSourceUnixProcessID = 41,
    kCGEventSourceUserData = 42,
    kCGEventSourceStateID = 45,
    kCGScrollWheelEventIsContinuous = 88,
    kCGScrollWheelEventPointDeltaAxis1 = 96,
    kCGScrollWheelEventPointDeltaAxis2 = 97,
};

MII_CF_ENUM(int32_t, CGEventSourceStateID){
    kCGEventSourceStatePrivate = -1,
    kCGEventSourceStateCombinedSessionState = 0,
    kCGEventSourceStateHIDSystemState = 1,
};

// Local-event suppression (CGRemoteOperation.h).
typedef uint32_t CGEventFilterMask;
enum : CGEventFilterMask {
  kCGEventFilterMaskPermitLocalMouseEvents = 0x00000001,
  kCGEventFilterMaskPermitLocalKeyboardEvents = 0x00000002,
  kCGEventFilterMaskPermitSystemDefinedEvents = 0x00000004,
};
#define kCGEventFilterMaskPermitAllEvents                                                   \
  (kCGEventFilterMaskPermitLocalMouseEvents | kCGEventFilterMaskPermitLocalKeyboardEvents | \
   kCGEventFilterMaskPermitSystemDefinedEvents)

MII_CF_ENUM(uint32_t, CGEventSuppressionState){
    kCGEventSuppressionStateSuppressionInterval = 0,
    kCGEventSuppressionStateRemoteMouseDrag,
    kCGNumberOfEventSuppressionStates,
};

MII_CF_ENUM(int32_t, CGError){
    kCGErrorSuccess = 0,
    kCGErrorFailure = 1000,
    kCGErrorIllegalArgument = 1001,
    kCGErrorInvalidConnection = 1002,
    kCGErrorInvalidContext = 1003,
    kCGErrorCannotComplete = 1004,
    kCGErrorNotImplemented = 1006,
    kCGErrorRangeCheck = 1007,
    kCGErrorTypeCheck = 1008,
    kCGErrorInvalidOperation = 1010,
    kCGErrorNoneAvailable = 1011,
};

// ApplicationServices (HIServices).
extern "C" Boolean AXIsProcessTrusted(void);

// Carbon (HIToolbox): whether any process has Secure Event Input on. On a Mac only
// platform/secure_event_input.cc sees Carbon's declaration.
extern "C" Boolean IsSecureEventInputEnabled(void);

// CGEventSource.h
MII_CG_EXTERN CGEventSourceRef CGEventSourceCreate(CGEventSourceStateID stateID);
MII_CG_EXTERN uint32_t CGEventSourceCounterForEventType(CGEventSourceStateID stateID,
                                                        CGEventType eventType);
MII_CG_EXTERN void CGEventSourceSetLocalEventsFilterDuringSuppressionState(
    CGEventSourceRef source, CGEventFilterMask filter, CGEventSuppressionState state);
MII_CG_EXTERN void CGEventSourceSetLocalEventsSuppressionInterval(CGEventSourceRef source,
                                                                  CFTimeInterval seconds);

// CGEvent.h
MII_CG_EXTERN CGEventRef CGEventCreate(CGEventSourceRef source);
MII_CG_EXTERN CGEventRef CGEventCreateKeyboardEvent(CGEventSourceRef source, CGKeyCode virtualKey,
                                                    bool keyDown);
MII_CG_EXTERN CGEventRef CGEventCreateMouseEvent(CGEventSourceRef source, CGEventType mouseType,
                                                 CGPoint mouseCursorPosition,
                                                 CGMouseButton mouseButton);
MII_CG_EXTERN CGEventRef CGEventCreateScrollWheelEvent(CGEventSourceRef source,
                                                       CGScrollEventUnit units, uint32_t wheelCount,
                                                       int32_t wheel1, ...);
MII_CG_EXTERN CGEventRef CGEventCreateScrollWheelEvent2(CGEventSourceRef source,
                                                        CGScrollEventUnit units,
                                                        uint32_t wheelCount, int32_t wheel1,
                                                        int32_t wheel2, int32_t wheel3);
MII_CG_EXTERN CGPoint CGEventGetLocation(CGEventRef event);
MII_CG_EXTERN void CGEventSetIntegerValueField(CGEventRef event, CGEventField field, int64_t value);
MII_CG_EXTERN int64_t CGEventGetIntegerValueField(CGEventRef event, CGEventField field);
MII_CG_EXTERN void CGEventSetFlags(CGEventRef event, CGEventFlags flags);
MII_CG_EXTERN CGEventFlags CGEventGetFlags(CGEventRef event);
MII_CG_EXTERN void CGEventSetType(CGEventRef event, CGEventType type);
MII_CG_EXTERN CGEventType CGEventGetType(CGEventRef event);
MII_CG_EXTERN void CGEventKeyboardSetUnicodeString(CGEventRef event, UniCharCount stringLength,
                                                   const UniChar* unicodeString);
MII_CG_EXTERN void CGEventKeyboardGetUnicodeString(CGEventRef event, UniCharCount maxStringLength,
                                                   UniCharCount* actualStringLength,
                                                   UniChar* unicodeString);
MII_CG_EXTERN void CGEventPost(CGEventTapLocation tap, CGEventRef event);

// CGDirectDisplay.h
typedef struct CGDisplayMode* CGDisplayModeRef;
#define kCGNullDirectDisplay ((CGDirectDisplayID)0)
MII_CG_EXTERN CGError CGGetActiveDisplayList(uint32_t maxDisplays,
                                             CGDirectDisplayID* activeDisplays,
                                             uint32_t* displayCount);
MII_CG_EXTERN CGRect CGDisplayBounds(CGDirectDisplayID display);
MII_CG_EXTERN CGDisplayModeRef CGDisplayCopyDisplayMode(CGDirectDisplayID display);
MII_CG_EXTERN void CGDisplayModeRelease(CGDisplayModeRef mode);
MII_CG_EXTERN size_t CGDisplayModeGetPixelWidth(CGDisplayModeRef mode);
MII_CG_EXTERN size_t CGDisplayModeGetPixelHeight(CGDisplayModeRef mode);

// CGDisplayConfiguration.h
MII_CG_EXTERN CGDirectDisplayID CGDisplayMirrorsDisplay(CGDirectDisplayID display);

// CoreFoundation.
extern "C" void CFRelease(CFTypeRef cf);
extern "C" CFAbsoluteTime CFAbsoluteTimeGetCurrent(void);
extern "C" CFStringRef CFStringCreateWithCString(CFAllocatorRef alloc, const char* cStr,
                                                 CFStringEncoding encoding);
extern "C" CFIndex CFStringGetLength(CFStringRef theString);
extern "C" void CFStringGetCharacters(CFStringRef theString, CFRange range, UniChar* buffer);
// CFSTR as CFString.h spells it for a compiler without constant CFStrings: a string that lives as
// long as the process and is never released.
extern "C" CFStringRef __CFStringMakeConstantString(const char* cStr);
#define CFSTR(cStr) __CFStringMakeConstantString("" cStr "")

// sys/sysctl.h (libSystem). glibc no longer has it; the simulation answers
// "kern.osproductversion" alone.
extern "C" int sysctlbyname(const char* name, void* oldp, size_t* oldlenp, void* newp,
                            size_t newlen);

// mach/mach_time.h (libSystem): the clock that intervals are measured on. It counts ticks from
// boot at a steady rate that mach_timebase_info gives in nanoseconds, and no one can set it.
typedef int kern_return_t;
#define KERN_SUCCESS 0
struct mach_timebase_info {
  uint32_t numer;
  uint32_t denom;
};
typedef struct mach_timebase_info* mach_timebase_info_t;
typedef struct mach_timebase_info mach_timebase_info_data_t;
extern "C" kern_return_t mach_timebase_info(mach_timebase_info_t info);
extern "C" uint64_t mach_absolute_time(void);

#undef MII_CF_ENUM
#undef MII_CG_EXTERN

#endif
