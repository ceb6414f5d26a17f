// Compiled with ARC: the NSEvent is autoreleased, and goes with the pool below.
#include "platform/system_defined_event.h"

#import <AppKit/AppKit.h>

CGEventRef createSystemDefinedEvent(int16_t subtype, int64_t data1, int64_t data2,
                                    CGEventFlags flags) {
  @autoreleasepool {
    // Timestamp 0 and no window, as the peers that post media keys on current macOS do: the event
    // goes to the system, not to a window of this process.
    NSEvent* event = [NSEvent otherEventWithType:NSEventTypeSystemDefined
                                        location:NSZeroPoint
                                   modifierFlags:static_cast<NSEventModifierFlags>(flags)
                                       timestamp:0
                                    windowNumber:0
                                         context:nil
                                         subtype:subtype
                                           data1:static_cast<NSInteger>(data1)
                                           data2:static_cast<NSInteger>(data2)];
    // The NSEvent owns its CGEvent: retained here, it outlives the event and the pool.
    CGEventRef made = event.CGEvent;
    if (made != nullptr) CFRetain(made);
    return made;
  }
}
