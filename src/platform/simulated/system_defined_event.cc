// System-defined events, as AppKit makes them for the volume and media keys.
#include "platform/system_defined_event.h"

#include "platform/simulated/desktop.h"
#include "platform/simulated/objects.h"
#include "platform/simulated/simulation.h"

// An event like the others: alive until CFRelease, posted with CGEventPost. Its location (where
// AppKit puts an event made at NSZeroPoint with no window was not checked) is left at 0,0; the
// trace does not show it.
CGEventRef createSystemDefinedEvent(int16_t subtype, int64_t data1, int64_t data2,
                                    CGEventFlags flags) {
  if (simulated::desktop().failures & kSimFailSystemDefined) return nullptr;
  auto* event = new __CGEvent;
  SimEvent& record = event->record;
  record.kind = SimEventKind::SystemDefined;
  record.type = NX_SYSDEFINED;
  record.flags = flags;
  record.subtype = subtype;
  record.data1 = data1;
  record.data2 = data2;
  simulated::track(event, simulated::ObjectKind::Event);
  return event;
}
