// The platform header's constants, pinned to the numbers Apple's headers give them. Away from a
// Mac this checks the declarations the simulated desktop implements; parsed for a Mac, it checks
// that those numbers are Apple's own. Either way a wrong value fails the build, not a test run.
#include <type_traits>

#include "platform/quartz.h"

namespace {

// Event flag masks (CGEventTypes.h).
static_assert(kCGEventFlagMaskAlphaShift == 0x00010000);
static_assert(kCGEventFlagMaskShift == 0x00020000);
static_assert(kCGEventFlagMaskControl == 0x00040000);
static_assert(kCGEventFlagMaskAlternate == 0x00080000);
static_assert(kCGEventFlagMaskCommand == 0x00100000);
static_assert(kCGEventFlagMaskNumericPad == 0x00200000);
static_assert(kCGEventFlagMaskHelp == 0x00400000);
static_assert(kCGEventFlagMaskSecondaryFn == 0x00800000);
static_assert(kCGEventFlagMaskNonCoalesced == 0x00000100);
static_assert(std::is_same_v<CGEventFlags, uint64_t>);

// Event types.
static_assert(kCGEventNull == 0 && kCGEventLeftMouseDown == 1 && kCGEventLeftMouseUp == 2);
static_assert(kCGEventRightMouseDown == 3 && kCGEventRightMouseUp == 4);
static_assert(kCGEventMouseMoved == 5 && kCGEventLeftMouseDragged == 6);
static_assert(kCGEventRightMouseDragged == 7 && kCGEventKeyDown == 10 && kCGEventKeyUp == 11);
static_assert(kCGEventFlagsChanged == 12 && kCGEventScrollWheel == 22);
static_assert(kCGEventTabletPointer == 23 && kCGEventTabletProximity == 24);
static_assert(kCGEventOtherMouseDown == 25 && kCGEventOtherMouseUp == 26);
static_assert(kCGEventOtherMouseDragged == 27);
static_assert(kCGEventTapDisabledByTimeout == 0xFFFFFFFE);
static_assert(kCGEventTapDisabledByUserInput == 0xFFFFFFFF);

// Buttons, scroll units, taps and source states.
static_assert(kCGMouseButtonLeft == 0 && kCGMouseButtonRight == 1 && kCGMouseButtonCenter == 2);
static_assert(kCGScrollEventUnitPixel == 0 && kCGScrollEventUnitLine == 1);
static_assert(kCGHIDEventTap == 0 && kCGSessionEventTap == 1 && kCGAnnotatedSessionEventTap == 2);
static_assert(kCGEventSourceStatePrivate == -1);
static_assert(kCGEventSourceStateCombinedSessionState == 0);
static_assert(kCGEventSourceStateHIDSystemState == 1);

// Event fields.
static_assert(kCGMouseEventNumber == 0 && kCGMouseEventClickState == 1);
static_assert(kCGMouseEventPressure == 2 && kCGMouseEventButtonNumber == 3);
static_assert(kCGMouseEventDeltaX == 4 && kCGMouseEventDeltaY == 5 && kCGMouseEventSubtype == 7);
static_assert(kCGKeyboardEventAutorepeat == 8 && kCGKeyboardEventKeycode == 9);
static_assert(kCGKeyboardEventKeyboardType == 10);
static_assert(kCGScrollWheelEventDeltaAxis1 == 11 && kCGScrollWheelEventDeltaAxis2 == 12);
static_assert(kCGScrollWheelEventIsContinuous == 88);
static_assert(kCGEventSourceUnixProcessID == 41 && kCGEventSourceUserData == 42);
static_assert(kCGEventSourceStateID == 45);

// Local-event suppression.
static_assert(kCGEventFilterMaskPermitLocalMouseEvents == 1);
static_assert(kCGEventFilterMaskPermitLocalKeyboardEvents == 2);
static_assert(kCGEventFilterMaskPermitSystemDefinedEvents == 4);
static_assert(kCGEventFilterMaskPermitAllEvents == 7);
static_assert(kCGEventSuppressionStateSuppressionInterval == 0);
static_assert(kCGEventSuppressionStateRemoteMouseDrag == 1);
static_assert(kCGNumberOfEventSuppressionStates == 2);

// Errors and string encodings.
static_assert(kCGErrorSuccess == 0 && kCGErrorFailure == 1000);
static_assert(kCGErrorIllegalArgument == 1001 && kCGErrorInvalidConnection == 1002);
static_assert(kCGErrorInvalidContext == 1003 && kCGErrorCannotComplete == 1004);
static_assert(kCGErrorNotImplemented == 1006 && kCGErrorRangeCheck == 1007);
static_assert(kCGErrorTypeCheck == 1008 && kCGErrorInvalidOperation == 1010);
static_assert(kCGErrorNoneAvailable == 1011);
static_assert(kCFStringEncodingUTF8 == 0x08000100);

}  // namespace
