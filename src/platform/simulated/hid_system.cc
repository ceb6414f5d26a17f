// The HID system: its service found by matching, the parameter connections opened on it, and the
// Caps Lock state they read and set. Each set is logged and traced among the posted events.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "platform/iokit_hid.h"
#include "platform/simulated/desktop.h"
#include "platform/simulated/objects.h"
#include "platform/simulated/simulation.h"
#include "platform/simulated/trace.h"

// A matching dictionary as IOServiceMatching makes it: the class it matches.
struct __CFDictionary {
  std::string className;
};

extern "C" {
mach_port_t mach_task_self_ = 0x203;  // a Mach port name, as a task's is; its value is not ours
}

namespace simulated {
namespace {

enum class IOKind { Service, Connection };

// Kept across simReset, as live objects are: a connection stays open until closed. Matching
// dictionaries are alive until a look-up consumes them.
std::map<const __CFDictionary*, std::unique_ptr<__CFDictionary>> liveMatching;
std::map<io_object_t, IOKind> liveObjects;
io_object_t lastObject = 0x1003;  // IOKit's names are Mach port names; their form is not ours

io_object_t newObject(IOKind kind) {
  ++lastObject;
  liveObjects.emplace(lastObject, kind);
  return lastObject;
}

// An object that is not alive is a bug in the caller: macOS answers an error, here it is loud.
void mustBeAlive(io_object_t object, IOKind kind, const char* call) {
  auto found = liveObjects.find(object);
  if (found == liveObjects.end() || found->second != kind) {
    fatal(call, std::string(" of an object not alive: ") + std::to_string(object));
  }
}

bool capsLockNow() {
  const Desktop& d = desktop();
  return d.capsLockFile.empty() ? d.capsLock : fileStartsWithOne(d.capsLockFile);
}

// Writes '1' or '0' as the whole of path, when it is a regular file or none is there yet. Nothing
// else is opened: a FIFO would block the set, a device would take the byte.
void writeCapsLockFile(const std::string& path, bool on) {
  struct stat named {};
  if (stat(path.c_str(), &named) == 0 && !S_ISREG(named.st_mode)) return;
  const int fd =
      open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
  if (fd < 0) return;
  struct stat opened {};
  if (fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode)) {
    // A failed write leaves the file as it is: the next query reads what it holds.
    const char state = on ? '1' : '0';
    static_cast<void>(write(fd, &state, 1));
  }
  close(fd);
}

// A set, logged and traced as the next in the sequence the posted events share.
void recordLockSet(bool on) {
  Desktop& d = desktop();
  ++d.postCount;
  if (!traceIsOpen() && !d.recording) return;
  SimEvent set;
  set.seq = d.postCount;
  set.time = CFAbsoluteTimeGetCurrent();
  set.kind = SimEventKind::LockState;
  set.lockOn = on;
  if (traceIsOpen()) writeTraceLine(set);
  if (d.recording) d.posted.push_back(set);
}

// The calls on a connection: what a Mac answers for a selector other than Caps Lock's (Num Lock's,
// which no Mac keyboard has) was not checked; here it is a bad argument.
kern_return_t checkLockCall(io_connect_t handle, int selector, const char* call) {
  mustBeAlive(handle, IOKind::Connection, call);
  if (desktop().failures & kSimFailHidSystem) return kIOReturnError;
  return selector == kIOHIDCapsLockState ? kIOReturnSuccess : kIOReturnBadArgument;
}

}  // namespace
}  // namespace simulated

using simulated::desktop;

extern "C" {

CFMutableDictionaryRef IOServiceMatching(const char* name) {
  if (name == nullptr) return nullptr;
  auto made = std::make_unique<__CFDictionary>(__CFDictionary{name});
  CFMutableDictionaryRef matching = made.get();
  simulated::liveMatching.emplace(matching, std::move(made));
  return matching;
}

// The HID system is the one service there is.
io_service_t IOServiceGetMatchingService(mach_port_t mainPort, CFDictionaryRef matching) {
  if (matching == nullptr) return IO_OBJECT_NULL;
  auto found = simulated::liveMatching.find(matching);
  if (found == simulated::liveMatching.end()) {
    simulated::fatal("IOServiceGetMatchingService with a dictionary not alive", "");
  }
  const bool hidSystem = found->second->className == kIOHIDSystemClass;
  simulated::liveMatching.erase(found);  // consumed, found or not
  if (mainPort != MACH_PORT_NULL || !hidSystem) return IO_OBJECT_NULL;
  return simulated::newObject(simulated::IOKind::Service);
}

// Only the parameter connection is for a process like the agent; the HID system refuses the
// others (the server connection is the window server's).
kern_return_t IOServiceOpen(io_service_t service, task_port_t owningTask, uint32_t type,
                            io_connect_t* connect) {
  simulated::mustBeAlive(service, simulated::IOKind::Service, "IOServiceOpen");
  if (connect == nullptr || owningTask != mach_task_self() || type != kIOHIDParamConnectType) {
    return kIOReturnBadArgument;
  }
  if (desktop().failures & kSimFailHidSystem) return kIOReturnNotPermitted;
  *connect = simulated::newObject(simulated::IOKind::Connection);
  return kIOReturnSuccess;
}

kern_return_t IOServiceClose(io_connect_t connect) {
  simulated::mustBeAlive(connect, simulated::IOKind::Connection, "IOServiceClose");
  simulated::liveObjects.erase(connect);
  return kIOReturnSuccess;
}

kern_return_t IOObjectRelease(io_object_t object) {
  simulated::mustBeAlive(object, simulated::IOKind::Service, "IOObjectRelease");
  simulated::liveObjects.erase(object);
  return kIOReturnSuccess;
}

kern_return_t IOHIDGetModifierLockState(io_connect_t handle, int selector, bool* state) {
  kern_return_t answer = simulated::checkLockCall(handle, selector, "IOHIDGetModifierLockState");
  if (answer == kIOReturnSuccess && state == nullptr) answer = kIOReturnBadArgument;
  if (answer == kIOReturnSuccess) *state = simulated::capsLockNow();
  return answer;
}

kern_return_t IOHIDSetModifierLockState(io_connect_t handle, int selector, bool state) {
  const kern_return_t answer =
      simulated::checkLockCall(handle, selector, "IOHIDSetModifierLockState");
  if (answer != kIOReturnSuccess) return answer;
  simulated::Desktop& d = desktop();
  d.capsLock = state;
  if (!d.capsLockFile.empty()) simulated::writeCapsLockFile(d.capsLockFile, state);
  simulated::recordLockSet(state);
  return kIOReturnSuccess;
}

}  // extern "C"

bool simCapsLock() { return simulated::capsLockNow(); }

long simLiveIOObjects() {
  return static_cast<long>(simulated::liveMatching.size() + simulated::liveObjects.size());
}
