#include "platform/hid_system.h"

#include <type_traits>

#include "platform/iokit_hid.h"

// The header keeps IOKit out; the connection is a Mach port name.
static_assert(std::is_same_v<io_connect_t, unsigned int>);

HidSystem::~HidSystem() { close(); }

// A connection that failed once is opened again at the next call: the HID system may have restarted
// (its connections then stay dead), and a service that cannot be found or opened now may be later.
bool HidSystem::open() {
  if (connection_ != IO_OBJECT_NULL) return true;
  CFMutableDictionaryRef matching = IOServiceMatching(kIOHIDSystemClass);
  if (matching == nullptr) return false;
  // Consumes the matching dictionary. MACH_PORT_NULL is the default main port, as Apple documents
  // for kIOMainPortDefault (macOS 12) and kIOMasterPortDefault (deprecated since).
  const io_service_t service = IOServiceGetMatchingService(MACH_PORT_NULL, matching);
  if (service == IO_OBJECT_NULL) return false;
  io_connect_t connection = IO_OBJECT_NULL;
  const kern_return_t opened =
      IOServiceOpen(service, mach_task_self(), kIOHIDParamConnectType, &connection);
  IOObjectRelease(service);  // the connection keeps what it needs of the service
  if (opened != KERN_SUCCESS) return false;
  connection_ = connection;
  return true;
}

void HidSystem::close() {
  if (connection_ == IO_OBJECT_NULL) return;
  IOServiceClose(connection_);
  connection_ = IO_OBJECT_NULL;
}

std::optional<bool> HidSystem::capsLock() {
  if (!open()) return std::nullopt;
  bool on = false;
  if (IOHIDGetModifierLockState(connection_, kIOHIDCapsLockState, &on) != KERN_SUCCESS) {
    close();
    return std::nullopt;
  }
  return on;
}

bool HidSystem::setCapsLock(bool on) {
  if (!open()) return false;
  if (IOHIDSetModifierLockState(connection_, kIOHIDCapsLockState, on) != KERN_SUCCESS) {
    close();
    return false;
  }
  return true;
}
