// The simulated desktop: the platform operations of quartz.h implemented in memory, as macOS
// behaves as far as the agent can observe. Every non-Apple build links it; tests drive it through
// simulation.h, whole-process runs through the MII_SIM_* environment knobs.
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "platform/quartz.h"
#include "platform/simulation.h"

// Apple's opaque object types, defined here only.
//
// A live event keeps what SimEvent records in flat form: the integer fields an event carries (a
// click state, a number, two deltas) in place, and a SimEvent with its map is built only when a
// trace or the in-process log takes a snapshot at posting.
struct SimField {
  uint32_t field;
  int64_t value;
};
constexpr int kInlineFields = 6;
struct __CGEvent {
  SimEventKind kind;
  uint32_t type;
  bool hidSource;
  bool hasFlags;
  bool down;
  bool hasText;
  uint16_t keycode;
  uint64_t flags;
  uint32_t button;
  uint32_t units;
  uint32_t wheelCount;
  int32_t wheel1;
  int32_t wheel2;
  int32_t wheel3;
  CGPoint location;
  int fieldCount;
  SimField fields[kInlineFields];
  size_t slotHint = 0;  // where in the live-object table this event was last found
  std::map<uint32_t, int64_t> moreFields;  // fields beyond the inline ones, rarely any
  std::u16string text;
};
struct __CGEventSource {
  CGEventSourceStateID state;
};
struct __CFString {
  std::u16string units;
};

extern "C" const CFAllocatorRef kCFAllocatorDefault = nullptr;

namespace {

// Spare: released and kept for reuse, so still in the live-object table, but not alive.
enum class ObjectKind { Event, Source, String, Spare };

struct Desktop {
  bool trusted = true;
  std::string trustFile;
  std::vector<CGRect> displays;
  CGPoint cursor{0, 0};
  unsigned failures = 0;
  int macOSMajor = 27;
  uint32_t pressCounts[3] = {100, 20, 3};
  bool fixedClock = false;
  double clock = 0;
  bool instantSleep = false;
  uint64_t sleptMicroseconds = 0;
  uint64_t postCount = 0;
  uint32_t postedOfType[32] = {};
  bool recording = false;  // whole-process runs keep no log, so memory stays flat
  std::vector<SimEvent> posted;
};

// Released events and strings are kept for reuse, so that a command's event costs no allocation.
// Not under AddressSanitizer: there each released object is freed, and a use after its release
// is caught at the access, beside the live-object table's own check.
#if defined(__SANITIZE_ADDRESS__)
#define MII_SIM_RECYCLE 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MII_SIM_RECYCLE 0
#endif
#endif
#ifndef MII_SIM_RECYCLE
#define MII_SIM_RECYCLE 1
#endif

#if MII_SIM_RECYCLE
constexpr int kMaxSpares = 16;
// A recycled string keeps its buffer only up to this many units; a longer one is freed.
constexpr size_t kMaxSpareUnits = 64;
__CGEvent* spareEvents[kMaxSpares];
int spareEventCount = 0;
__CFString* spareStrings[kMaxSpares];
int spareStringCount = 0;
#endif

// The event made last while it is alive: the event a command works on, checked by every event
// operation, found without a table lookup. Cleared when it is released.
const __CGEvent* newestEvent = nullptr;
// The source last found alive, until it is released: the agent makes every key event from one.
const __CGEventSource* checkedSource = nullptr;

bool initialized = false;
Desktop desktop;
// The objects alive, by address: open addressing with linear probing in a power-of-two table.
// Every event operation checks its event here, several times per command, so a lookup must cost
// neither a division (a prime-sized hash map's bucket index) nor an allocation.
struct LiveSlot {
  const void* object;  // nullptr: empty
  ObjectKind kind;
};
std::vector<LiveSlot> liveSlots;  // size a power of two, at most half full; empty until first use
size_t liveSlotCount = 0;

size_t homeSlot(const void* object) {
  uint64_t hash =
      static_cast<uint64_t>(reinterpret_cast<uintptr_t>(object)) * 0x9E3779B97F4A7C15ull;
  return static_cast<size_t>(hash >> 32) & (liveSlots.size() - 1);
}

// The slot holding object, or nullptr when it is not alive.
LiveSlot* findLive(const void* object) {
  if (liveSlots.empty() || object == nullptr) return nullptr;
  const size_t mask = liveSlots.size() - 1;
  for (size_t i = homeSlot(object);; i = (i + 1) & mask) {
    if (liveSlots[i].object == object) return &liveSlots[i];
    if (liveSlots[i].object == nullptr) return nullptr;
  }
}

// The slot of an event known to be in the table (it is alive or a spare, so reading it is safe):
// its hint, when the table has not moved it since, or a lookup that renews the hint.
[[gnu::noinline]] LiveSlot* findSlotAndHint(__CGEvent* event) {
  LiveSlot* slot = findLive(event);
  if (slot != nullptr) event->slotHint = static_cast<size_t>(slot - liveSlots.data());
  return slot;
}

LiveSlot* slotOf(__CGEvent* event) {
  if (event->slotHint < liveSlots.size() && liveSlots[event->slotHint].object == event) {
    return &liveSlots[event->slotHint];
  }
  return findSlotAndHint(event);
}

void insertLive(const void* object, ObjectKind kind) {
  if ((liveSlotCount + 1) * 2 > liveSlots.size()) {
    std::vector<LiveSlot> old(std::max<size_t>(64, liveSlots.size() * 2), LiveSlot{nullptr, {}});
    old.swap(liveSlots);
    liveSlotCount = 0;
    for (const LiveSlot& slot : old) {
      if (slot.object != nullptr) insertLive(slot.object, slot.kind);
    }
  }
  const size_t mask = liveSlots.size() - 1;
  size_t i = homeSlot(object);
  while (liveSlots[i].object != nullptr) i = (i + 1) & mask;
  liveSlots[i] = LiveSlot{object, kind};
  ++liveSlotCount;
}

// Empties the slot and moves later entries of its probe run back, so lookups need no tombstones.
void eraseLive(LiveSlot* slot) {
  const size_t mask = liveSlots.size() - 1;
  size_t hole = static_cast<size_t>(slot - liveSlots.data());
  for (size_t i = (hole + 1) & mask; liveSlots[i].object != nullptr; i = (i + 1) & mask) {
    // The entry at i may fill the hole only if the hole lies on its way from its home slot.
    if (((i - homeSlot(liveSlots[i].object)) & mask) >= ((i - hole) & mask)) {
      liveSlots[hole] = liveSlots[i];
      hole = i;
    }
  }
  liveSlots[hole].object = nullptr;
  --liveSlotCount;
}

long liveCounts[4] = {0, 0, 0, 0};
FILE* traceFile = nullptr;

[[noreturn]] void simFatal(const char* what, const std::string& detail) {
  std::fprintf(stderr, "mii-sim: %s%s\n", what, detail.c_str());
  std::fflush(stderr);
  std::abort();
}

[[noreturn]] void badKnob(const char* name, const char* value) {
  std::fprintf(stderr, "mii-sim: cannot use %s=%s\n", name, value);
  std::exit(2);
}

CGPoint centreOfMain(const std::vector<CGRect>& displays) {
  if (displays.empty()) return CGPoint{0, 0};
  return CGPoint{displays[0].origin.x + displays[0].size.width / 2,
                 displays[0].origin.y + displays[0].size.height / 2};
}

void setDefaults() {
  desktop = Desktop{};
  desktop.displays = {CGRect{{0, 0}, {1512, 982}}};
  desktop.cursor = centreOfMain(desktop.displays);
}

// Reads a double at *p and moves past it; false when none is there.
bool readNumber(const char** p, double* out) {
  char* end = nullptr;
  errno = 0;
  double value = std::strtod(*p, &end);
  if (end == *p || errno == ERANGE || !std::isfinite(value)) return false;
  *out = value;
  *p = end;
  return true;
}

bool readUnsigned(const char** p, uint32_t* out) {
  const char* end = *p + std::strlen(*p);
  auto [next, ec] = std::from_chars(*p, end, *out);
  if (ec != std::errc() || next == *p) return false;
  *p = next;
  return true;
}

void writeExitLine() {
  if (traceFile == nullptr) return;
  std::fprintf(traceFile,
               "{\"exit\":true,\"liveEvents\":%ld,\"liveStrings\":%ld,\"liveSources\":%ld}\n",
               liveCounts[0], liveCounts[2], liveCounts[1]);
  std::fflush(traceFile);
}

void readEnvironment() {
  if (const char* v = std::getenv("MII_SIM_TRUSTED")) {
    if (std::strcmp(v, "1") == 0) {
      desktop.trusted = true;
    } else if (std::strcmp(v, "0") == 0) {
      desktop.trusted = false;
    } else {
      badKnob("MII_SIM_TRUSTED", v);
    }
  }
  if (const char* v = std::getenv("MII_SIM_TRUST_FILE")) desktop.trustFile = v;
  if (const char* v = std::getenv("MII_SIM_DISPLAYS")) {
    if (!simParseDisplays(v, &desktop.displays)) badKnob("MII_SIM_DISPLAYS", v);
  }
  desktop.cursor = centreOfMain(desktop.displays);
  if (const char* v = std::getenv("MII_SIM_CURSOR")) {
    const char* p = v;
    CGPoint cursor;
    if (!readNumber(&p, &cursor.x) || *p++ != ',' || !readNumber(&p, &cursor.y) || *p != '\0') {
      badKnob("MII_SIM_CURSOR", v);
    }
    desktop.cursor = cursor;
  }
  if (const char* v = std::getenv("MII_SIM_MACOS")) {
    const char* p = v;
    uint32_t major = 0;
    if (!readUnsigned(&p, &major) || *p != '\0' || major > 1000) badKnob("MII_SIM_MACOS", v);
    desktop.macOSMajor = static_cast<int>(major);
  }
  if (const char* v = std::getenv("MII_SIM_PRESS_COUNTS")) {
    const char* p = v;
    uint32_t* c = desktop.pressCounts;
    if (!readUnsigned(&p, &c[0]) || *p++ != ',' || !readUnsigned(&p, &c[1]) || *p++ != ',' ||
        !readUnsigned(&p, &c[2]) || *p != '\0') {
      badKnob("MII_SIM_PRESS_COUNTS", v);
    }
  }
  if (const char* v = std::getenv("MII_SIM_FAIL")) {
    static constexpr struct {
      const char* name;
      unsigned bit;
    } kNames[] = {{"source", kSimFailSource},    {"keyboard", kSimFailKeyboard},
                  {"mouse", kSimFailMouse},      {"scroll", kSimFailScroll},
                  {"create", kSimFailCreate},    {"string", kSimFailString},
                  {"displays", kSimFailDisplays}};
    std::string list = v;
    size_t start = 0;
    while (start <= list.size()) {
      size_t comma = list.find(',', start);
      if (comma == std::string::npos) comma = list.size();
      std::string name = list.substr(start, comma - start);
      bool known = name.empty();
      for (const auto& entry : kNames) {
        if (name == entry.name) {
          desktop.failures |= entry.bit;
          known = true;
        }
      }
      if (!known) badKnob("MII_SIM_FAIL", v);
      start = comma + 1;
    }
  }
  if (const char* v = std::getenv("MII_SIM_TRACE")) {
    traceFile = std::fopen(v, "a");
    if (traceFile == nullptr) badKnob("MII_SIM_TRACE", v);
    std::atexit(writeExitLine);
  }
}

void ensureInitialized() {
  if (initialized) return;
  initialized = true;
  setDefaults();
  readEnvironment();
}

void track(const void* object, ObjectKind kind) {
  insertLive(object, kind);
  ++liveCounts[static_cast<int>(kind)];
}

// Every operation on an event checks it is one this desktop made and has not yet released:
// on a Mac a stale reference is a crash, here it is a loud one. The event made last is known
// alive; any other is looked up, out of line, so that the common case stays small.
[[gnu::noinline]] __CGEvent* lookUpLiveEvent(CGEventRef event) {
  const LiveSlot* slot = findLive(event);
  if (slot == nullptr || slot->kind != ObjectKind::Event) {
    simFatal("not a live event: ", std::to_string(reinterpret_cast<uintptr_t>(event)));
  }
  return event;
}

inline __CGEvent* liveEvent(CGEventRef event) {
  if (event == newestEvent || event == nullptr) return event;
  return lookUpLiveEvent(event);
}

const __CFString* liveString(CFStringRef string) {
  const LiveSlot* slot = findLive(string);
  if (slot == nullptr || slot->kind != ObjectKind::String) {
    simFatal("not a live string: ", std::to_string(reinterpret_cast<uintptr_t>(string)));
  }
  return string;
}

// Default-initialized, and every scalar set by newEvent: value-initializing would first clear the
// whole object with a block store that costs more than the rest of it. Out of line, as it is rare.
[[gnu::noinline]] __CGEvent* allocateEvent() {
  auto* event = new __CGEvent;
  track(event, ObjectKind::Event);
  return event;
}

[[gnu::always_inline]] inline CGEventRef newEvent(SimEventKind kind, uint32_t type,
                                                  CGEventSourceRef source, CGPoint location) {
  if (source != nullptr && source != checkedSource) {
    const LiveSlot* slot = findLive(source);
    if (slot == nullptr || slot->kind != ObjectKind::Source) {
      simFatal("not a live event source: ", std::to_string(reinterpret_cast<uintptr_t>(source)));
    }
    checkedSource = source;
  }
  __CGEvent* event = nullptr;
#if MII_SIM_RECYCLE
  if (spareEventCount > 0) {
    // A spare keeps its slot in the table; it only changes kind again.
    event = spareEvents[--spareEventCount];
    slotOf(event)->kind = ObjectKind::Event;
    ++liveCounts[static_cast<int>(ObjectKind::Event)];
  }
#endif
  if (event == nullptr) event = allocateEvent();
  event->kind = kind;
  event->type = type;
  event->hidSource = source != nullptr;
  event->hasFlags = false;
  event->down = false;
  event->hasText = false;
  event->keycode = 0;
  event->flags = 0;
  event->button = 0;
  event->units = 0;
  event->wheelCount = 0;
  event->wheel1 = 0;
  event->wheel2 = 0;
  event->wheel3 = 0;
  event->location = location;
  event->fieldCount = 0;
  newestEvent = event;
  return event;
}

// The event of a released slot: kept as a spare, or removed from the table and freed.
void releaseEvent(__CGEvent* event, LiveSlot* slot) {
  if (event == newestEvent) newestEvent = nullptr;
#if MII_SIM_RECYCLE
  if (spareEventCount < kMaxSpares) {
    if (!event->moreFields.empty()) event->moreFields.clear();
    if (event->text.capacity() > kMaxSpareUnits) {
      std::u16string().swap(event->text);
    } else {
      event->text.clear();
    }
    slot->kind = ObjectKind::Spare;
    spareEvents[spareEventCount++] = event;
    return;
  }
#endif
  eraseLive(slot);
  delete event;
}

// A string alive in the table, its units empty: a spare taken back (it keeps its slot, only its
// kind changes), or a new one.
__CFString* newString() {
#if MII_SIM_RECYCLE
  if (spareStringCount > 0) {
    __CFString* string = spareStrings[--spareStringCount];
    findLive(string)->kind = ObjectKind::String;
    ++liveCounts[static_cast<int>(ObjectKind::String)];
    string->units.clear();
    return string;
  }
#endif
  auto* string = new __CFString;
  track(string, ObjectKind::String);
  return string;
}

// Takes back a released string: kept as a spare, or removed from the table and freed.
void releaseString(__CFString* string, LiveSlot* slot) {
#if MII_SIM_RECYCLE
  if (spareStringCount < kMaxSpares && string->units.capacity() <= kMaxSpareUnits) {
    slot->kind = ObjectKind::Spare;
    spareStrings[spareStringCount++] = string;
    return;
  }
#endif
  eraseLive(slot);
  delete string;
}

// What SimEvent records of a live event, as posted.
SimEvent snapshot(const __CGEvent& e) {
  SimEvent out;
  out.type = e.type;
  out.hidSource = e.hidSource;
  if (e.hasFlags) out.flags = e.flags;
  out.kind = e.kind;
  out.keycode = e.keycode;
  out.down = e.down;
  if (e.hasText) out.text = e.text;
  out.x = e.location.x;
  out.y = e.location.y;
  out.button = e.button;
  out.fields = e.moreFields;
  for (int i = 0; i < e.fieldCount; ++i) out.fields[e.fields[i].field] = e.fields[i].value;
  out.units = e.units;
  out.wheelCount = e.wheelCount;
  out.wheel1 = e.wheel1;
  out.wheel2 = e.wheel2;
  out.wheel3 = e.wheel3;
  return out;
}

// The cursor stays on a display: a target off every display lands on the nearest point of the
// nearest one. macOS keeps the hot spot on the display's last pixel row and column, so a display
// spans [origin, origin + size - 1] here (an approximation; macOS's exact edge was not checked).
[[gnu::noinline]] CGPoint nearestDisplayPoint(CGPoint target) {
  if (desktop.displays.empty()) return target;
  CGPoint best = target;
  double bestDistance = 0;
  for (size_t i = 0; i < desktop.displays.size(); ++i) {
    const CGRect& rect = desktop.displays[i];
    double maxX = rect.origin.x + std::max(0.0, rect.size.width - 1);
    double maxY = rect.origin.y + std::max(0.0, rect.size.height - 1);
    CGPoint p{std::clamp(target.x, rect.origin.x, maxX), std::clamp(target.y, rect.origin.y, maxY)};
    if (p.x == target.x && p.y == target.y) return target;  // on this display already
    // hypot, not a sum of squares: far targets (1e300) must not overflow to a tie at infinity.
    double distance = std::hypot(p.x - target.x, p.y - target.y);
    if (i == 0 || distance < bestDistance) {
      bestDistance = distance;
      best = p;
    }
  }
  return best;
}

// Most moves land on the main display: no point is nearer, and no search is needed.
CGPoint clampToDisplays(CGPoint target) {
  if (!desktop.displays.empty()) {
    const CGRect& main = desktop.displays[0];
    if (target.x >= main.origin.x && target.y >= main.origin.y &&
        target.x <= main.origin.x + std::max(0.0, main.size.width - 1) &&
        target.y <= main.origin.y + std::max(0.0, main.size.height - 1)) {
      return target;
    }
  }
  return nearestDisplayPoint(target);
}

void appendNumber(std::string* out, double value) {
  if (!std::isfinite(value)) {
    // JSON has no non-finite numbers.
    *out += "null";
    return;
  }
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out->append(buffer, result.ptr);
}

template <typename Integer>
void appendInteger(std::string* out, Integer value) {
  char buffer[32];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out->append(buffer, result.ptr);
}

void appendEscapedUnit(std::string* out, unsigned unit) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "\\u%04x", unit);
  *out += buffer;
}

// UTF-16 as a JSON string; a lone surrogate is written as its escape, so it reads back exactly.
void appendJsonString(std::string* out, const std::u16string& units) {
  *out += '"';
  for (size_t i = 0; i < units.size(); ++i) {
    uint32_t c = units[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      appendEscapedUnit(out, c);
      continue;
    }
    if (c == '"' || c == '\\') {
      *out += '\\';
      *out += static_cast<char>(c);
    } else if (c < 0x20) {
      appendEscapedUnit(out, c);
    } else if (c < 0x80) {
      *out += static_cast<char>(c);
    } else if (c < 0x800) {
      *out += static_cast<char>(0xC0 | (c >> 6));
      *out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      *out += static_cast<char>(0xE0 | (c >> 12));
      *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      *out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      *out += static_cast<char>(0xF0 | (c >> 18));
      *out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      *out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  *out += '"';
}

// Strict UTF-8 as CoreFoundation takes it: no overlong forms, no surrogates, nothing above
// U+10FFFF, no truncated sequence. False when the bytes are not UTF-8.
bool decodeUtf8(const unsigned char* s, std::u16string* out) {
  // A UTF-8 text never has more UTF-16 units than bytes: size for the bytes, write in place, cut
  // to what was written.
  out->resize(std::strlen(reinterpret_cast<const char*>(s)));
  char16_t* const first = out->data();
  char16_t* at = first;
  while (*s != 0) {
    uint32_t c = *s++;
    int extra = 0;
    uint32_t min = 0;
    if (c < 0x80) {
      *at++ = static_cast<char16_t>(c);
      continue;
    } else if (c >= 0xC2 && c <= 0xDF) {
      extra = 1, min = 0x80, c &= 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2, min = 0x800, c &= 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3, min = 0x10000, c &= 0x07;
    } else {
      return false;
    }
    for (int i = 0; i < extra; ++i) {
      if ((*s & 0xC0) != 0x80) return false;  // also stops at the terminating NUL
      c = (c << 6) | (*s++ & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    if (c >= 0x10000) {
      c -= 0x10000;
      *at++ = static_cast<char16_t>(0xD800 + (c >> 10));
      *at++ = static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      *at++ = static_cast<char16_t>(c);
    }
  }
  out->resize(static_cast<size_t>(at - first));
  return true;
}

double realAbsoluteTime() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  // Absolute time counts from 2001-01-01 00:00:00 UTC.
  return static_cast<double>(now.tv_sec) - 978307200.0 + static_cast<double>(now.tv_nsec) * 1e-9;
}

}  // namespace

// ---- In-process controls -------------------------------------------------------------------

void simReset() {
  initialized = true;
  setDefaults();
  desktop.recording = true;
}

void simSetTrusted(bool trusted) {
  ensureInitialized();
  desktop.trusted = trusted;
}

void simSetTrustFile(const std::string& path) {
  ensureInitialized();
  desktop.trustFile = path;
}

void simSetDisplays(const std::vector<CGRect>& displays) {
  ensureInitialized();
  desktop.displays = displays;
}

void simSetCursor(CGPoint cursor) {
  ensureInitialized();
  desktop.cursor = cursor;
}

CGPoint simCursor() {
  ensureInitialized();
  return desktop.cursor;
}

void simSetFailures(unsigned failures) {
  ensureInitialized();
  desktop.failures = failures;
}

void simSetMacOSMajor(int major) {
  ensureInitialized();
  desktop.macOSMajor = major;
}

void simSetPressCounts(uint32_t left, uint32_t right, uint32_t other) {
  ensureInitialized();
  desktop.pressCounts[0] = left;
  desktop.pressCounts[1] = right;
  desktop.pressCounts[2] = other;
}

void simSetClock(double absoluteTime) {
  ensureInitialized();
  desktop.fixedClock = true;
  desktop.clock = absoluteTime;
}

void simUseRealClock() {
  ensureInitialized();
  desktop.fixedClock = false;
}

void simSetInstantSleep(bool instant) {
  ensureInitialized();
  desktop.instantSleep = instant;
}

uint64_t simSleptMicroseconds() {
  ensureInitialized();
  return desktop.sleptMicroseconds;
}

const std::vector<SimEvent>& simPostedEvents() {
  ensureInitialized();
  return desktop.posted;
}

void simClearPostedEvents() {
  ensureInitialized();
  desktop.posted.clear();
}

long simLiveEvents() { return liveCounts[static_cast<int>(ObjectKind::Event)]; }
long simLiveStrings() { return liveCounts[static_cast<int>(ObjectKind::String)]; }
long simLiveSources() { return liveCounts[static_cast<int>(ObjectKind::Source)]; }

std::string simTraceLine(const SimEvent& e) {
  std::string line = "{\"seq\":";
  appendInteger(&line, e.seq);
  line += ",\"tap\":";
  appendInteger(&line, e.tap);
  line += ",\"type\":";
  appendInteger(&line, e.type);
  line += e.hidSource ? ",\"source\":\"hid\"" : ",\"source\":null";
  line += ",\"flags\":";
  if (e.flags) {
    appendInteger(&line, *e.flags);
  } else {
    line += "null";
  }
  switch (e.kind) {
    case SimEventKind::Keyboard:
      line += ",\"keycode\":";
      appendInteger(&line, e.keycode);
      line += e.down ? ",\"down\":true" : ",\"down\":false";
      if (e.text) {
        line += ",\"text\":";
        appendJsonString(&line, *e.text);
        line += ",\"textUnits\":";
        appendInteger(&line, e.text->size());
      }
      break;
    case SimEventKind::Mouse:
      line += ",\"x\":";
      appendNumber(&line, e.x);
      line += ",\"y\":";
      appendNumber(&line, e.y);
      line += ",\"button\":";
      appendInteger(&line, e.button);
      line += ",\"fields\":{";
      for (auto it = e.fields.begin(); it != e.fields.end(); ++it) {
        if (it != e.fields.begin()) line += ',';
        line += '"';
        appendInteger(&line, it->first);
        line += "\":";
        appendInteger(&line, it->second);
      }
      line += '}';
      break;
    case SimEventKind::Scroll:
      line += ",\"units\":";
      appendInteger(&line, e.units);
      line += ",\"wheelCount\":";
      appendInteger(&line, e.wheelCount);
      line += ",\"wheel1\":";
      appendInteger(&line, e.wheel1);
      line += ",\"wheel2\":";
      appendInteger(&line, e.wheel2);
      break;
    case SimEventKind::Plain:
      break;
  }
  line += '}';
  return line;
}

bool simParseDisplays(const std::string& text, std::vector<CGRect>* displays) {
  std::vector<CGRect> parsed;
  if (text != "none") {
    const char* p = text.c_str();
    for (;;) {
      CGRect rect{{0, 0}, {0, 0}};
      if (!readNumber(&p, &rect.size.width) || *p++ != 'x' || !readNumber(&p, &rect.size.height)) {
        return false;
      }
      if (rect.size.width <= 0 || rect.size.height <= 0) return false;
      if (*p == '@') {
        ++p;
        if (!readNumber(&p, &rect.origin.x) || *p++ != ',' || !readNumber(&p, &rect.origin.y)) {
          return false;
        }
      }
      // The main display defines the origin of global coordinates.
      if (parsed.empty() && (rect.origin.x != 0 || rect.origin.y != 0)) return false;
      parsed.push_back(rect);
      if (*p == '\0') break;
      if (*p++ != ',') return false;
    }
  }
  *displays = parsed;
  return true;
}

// ---- The platform operations ---------------------------------------------------------------

extern "C" Boolean AXIsProcessTrusted(void) {
  ensureInitialized();
  if (desktop.trustFile.empty()) return desktop.trusted ? 1 : 0;
  FILE* file = std::fopen(desktop.trustFile.c_str(), "rb");
  if (file == nullptr) return 0;
  int first = std::fgetc(file);
  std::fclose(file);
  return first == '1' ? 1 : 0;
}

CGEventSourceRef CGEventSourceCreate(CGEventSourceStateID stateID) {
  ensureInitialized();
  if (desktop.failures & kSimFailSource) return nullptr;
  auto* source = new __CGEventSource{stateID};
  track(source, ObjectKind::Source);
  return source;
}

// How many events of a type the HID system has seen: the desktop's own presses before the agent
// started (the knob) plus what was posted at the HID tap since. Whether macOS counts synthetic
// posts here was not checked; the agent reads the counters only before its first press.
uint32_t CGEventSourceCounterForEventType(CGEventSourceStateID, CGEventType eventType) {
  ensureInitialized();
  uint32_t before = 0;
  if (eventType == kCGEventLeftMouseDown) before = desktop.pressCounts[0];
  if (eventType == kCGEventRightMouseDown) before = desktop.pressCounts[1];
  if (eventType == kCGEventOtherMouseDown) before = desktop.pressCounts[2];
  uint32_t posted = eventType < 32 ? desktop.postedOfType[eventType] : 0;
  return before + posted;
}

CGEventRef CGEventCreate(CGEventSourceRef source) {
  ensureInitialized();
  if (desktop.failures & kSimFailCreate) return nullptr;
  return newEvent(SimEventKind::Plain, kCGEventNull, source, desktop.cursor);
}

CGEventRef CGEventCreateKeyboardEvent(CGEventSourceRef source, CGKeyCode virtualKey, bool keyDown) {
  ensureInitialized();
  if (desktop.failures & kSimFailKeyboard) return nullptr;
  CGEventRef event = newEvent(SimEventKind::Keyboard, keyDown ? kCGEventKeyDown : kCGEventKeyUp,
                              source, desktop.cursor);
  event->keycode = virtualKey;
  event->down = keyDown;
  return event;
}

CGEventRef CGEventCreateMouseEvent(CGEventSourceRef source, CGEventType mouseType,
                                   CGPoint mouseCursorPosition, CGMouseButton mouseButton) {
  ensureInitialized();
  if (desktop.failures & kSimFailMouse) return nullptr;
  CGEventRef event = newEvent(SimEventKind::Mouse, mouseType, source, mouseCursorPosition);
  event->button = mouseButton;
  return event;
}

CGEventRef CGEventCreateScrollWheelEvent2(CGEventSourceRef source, CGScrollEventUnit units,
                                          uint32_t wheelCount, int32_t wheel1, int32_t wheel2,
                                          int32_t wheel3) {
  ensureInitialized();
  if (desktop.failures & kSimFailScroll) return nullptr;
  // macOS supports one to three wheels and returns no event otherwise.
  if (wheelCount < 1 || wheelCount > 3) return nullptr;
  CGEventRef event = newEvent(SimEventKind::Scroll, kCGEventScrollWheel, source, desktop.cursor);
  event->units = units;
  event->wheelCount = wheelCount;
  event->wheel1 = wheel1;
  event->wheel2 = wheelCount >= 2 ? wheel2 : 0;
  event->wheel3 = wheelCount >= 3 ? wheel3 : 0;
  return event;
}

CGEventRef CGEventCreateScrollWheelEvent(CGEventSourceRef source, CGScrollEventUnit units,
                                         uint32_t wheelCount, int32_t wheel1, ...) {
  int32_t more[2] = {0, 0};
  va_list args;
  va_start(args, wheel1);
  for (uint32_t i = 1; i < wheelCount && i < 3; ++i) more[i - 1] = va_arg(args, int32_t);
  va_end(args);
  return CGEventCreateScrollWheelEvent2(source, units, wheelCount, wheel1, more[0], more[1]);
}

CGPoint CGEventGetLocation(CGEventRef event) {
  ensureInitialized();
  __CGEvent* e = liveEvent(event);
  return e == nullptr ? CGPoint{0, 0} : e->location;
}

// Every integer field set, last value wins; a field is in the inline array or the map, never both.
void CGEventSetIntegerValueField(CGEventRef event, CGEventField field, int64_t value) {
  __CGEvent* e = liveEvent(event);
  if (e == nullptr) return;
  for (int i = 0; i < e->fieldCount; ++i) {
    if (e->fields[i].field == field) {
      e->fields[i].value = value;
      return;
    }
  }
  if (e->fieldCount < kInlineFields) {
    e->fields[e->fieldCount++] = SimField{field, value};
  } else {
    e->moreFields[field] = value;
  }
}

int64_t CGEventGetIntegerValueField(CGEventRef event, CGEventField field) {
  __CGEvent* e = liveEvent(event);
  if (e == nullptr) return 0;
  for (int i = 0; i < e->fieldCount; ++i) {
    if (e->fields[i].field == field) return e->fields[i].value;
  }
  auto it = e->moreFields.find(field);
  return it == e->moreFields.end() ? 0 : it->second;
}

void CGEventSetFlags(CGEventRef event, CGEventFlags flags) {
  if (__CGEvent* e = liveEvent(event)) {
    e->flags = flags;
    e->hasFlags = true;
  }
}

CGEventFlags CGEventGetFlags(CGEventRef event) {
  __CGEvent* e = liveEvent(event);
  return e == nullptr ? 0 : e->flags;
}

void CGEventSetType(CGEventRef event, CGEventType type) {
  if (__CGEvent* e = liveEvent(event)) e->type = type;
}

CGEventType CGEventGetType(CGEventRef event) {
  __CGEvent* e = liveEvent(event);
  return e == nullptr ? kCGEventNull : static_cast<CGEventType>(e->type);
}

// The whole string is kept as attached. macOS delivers only its first 20 UTF-16 units to the
// focused application; the agent splits longer text itself.
void CGEventKeyboardSetUnicodeString(CGEventRef event, UniCharCount stringLength,
                                     const UniChar* unicodeString) {
  __CGEvent* e = liveEvent(event);
  if (e == nullptr) return;
  if (unicodeString == nullptr) stringLength = 0;
  e->text.assign(reinterpret_cast<const char16_t*>(unicodeString), stringLength);
  e->hasText = true;
}

namespace {

// The posted event as the trace and the in-process log see it. Out of line: a whole-process run
// without a trace keeps nothing, and its posts should not pay for the registers this needs.
[[gnu::noinline]] void recordPost(const __CGEvent& e, CGEventTapLocation tap) {
  SimEvent posted = snapshot(e);
  posted.seq = desktop.postCount;
  posted.tap = tap;
  if (traceFile != nullptr) {
    std::string line = simTraceLine(posted);
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), traceFile);
    std::fflush(traceFile);
  }
  if (desktop.recording) desktop.posted.push_back(std::move(posted));
}

}  // namespace

void CGEventPost(CGEventTapLocation tap, CGEventRef event) {
  ensureInitialized();
  __CGEvent* e = liveEvent(event);
  if (e == nullptr) return;
  ++desktop.postCount;
  if (e->kind == SimEventKind::Mouse && std::isfinite(e->location.x) &&
      std::isfinite(e->location.y)) {
    desktop.cursor = clampToDisplays(e->location);
  }
  if (tap == kCGHIDEventTap && e->type < 32) ++desktop.postedOfType[e->type];
  // The snapshot (fields, text and all) only when someone will read it.
  if (traceFile != nullptr || desktop.recording) recordPost(*e, tap);
}

CGError CGGetActiveDisplayList(uint32_t maxDisplays, CGDirectDisplayID* activeDisplays,
                               uint32_t* displayCount) {
  ensureInitialized();
  if (desktop.failures & kSimFailDisplays) return kCGErrorFailure;
  if (displayCount == nullptr) return kCGErrorIllegalArgument;
  uint32_t count = static_cast<uint32_t>(desktop.displays.size());
  if (activeDisplays != nullptr) {
    count = std::min(count, maxDisplays);
    for (uint32_t i = 0; i < count; ++i) activeDisplays[i] = i + 1;
  }
  *displayCount = count;
  return kCGErrorSuccess;
}

CGRect CGDisplayBounds(CGDirectDisplayID display) {
  ensureInitialized();
  if (display == 0 || display > desktop.displays.size()) return CGRect{{0, 0}, {0, 0}};
  return desktop.displays[display - 1];
}

extern "C" void CFRelease(CFTypeRef cf) {
  if (cf == nullptr) simFatal("CFRelease(NULL)", "");
  // Most releases are of the event made last, which is alive and needs no lookup by address.
  LiveSlot* slot = cf == newestEvent ? slotOf(const_cast<__CGEvent*>(newestEvent)) : findLive(cf);
  if (slot == nullptr) {
    simFatal("CFRelease of an object not alive: ", std::to_string(reinterpret_cast<uintptr_t>(cf)));
  }
  ObjectKind kind = slot->kind;
  if (kind == ObjectKind::Spare) {
    simFatal("CFRelease of an object not alive: ", std::to_string(reinterpret_cast<uintptr_t>(cf)));
  }
  --liveCounts[static_cast<int>(kind)];
  // Events first: nearly every release is of one.
  if (kind == ObjectKind::Event) {
    releaseEvent(static_cast<__CGEvent*>(const_cast<void*>(cf)), slot);
  } else if (kind == ObjectKind::String) {
    releaseString(static_cast<__CFString*>(const_cast<void*>(cf)), slot);
  } else {
    if (cf == checkedSource) checkedSource = nullptr;
    eraseLive(slot);
    delete static_cast<const __CGEventSource*>(cf);
  }
}

extern "C" CFAbsoluteTime CFAbsoluteTimeGetCurrent(void) {
  ensureInitialized();
  return desktop.fixedClock ? desktop.clock : realAbsoluteTime();
}

extern "C" CFStringRef CFStringCreateWithCString(CFAllocatorRef, const char* cStr,
                                                 CFStringEncoding encoding) {
  ensureInitialized();
  if (cStr == nullptr) simFatal("CFStringCreateWithCString(NULL)", "");
  if (encoding != kCFStringEncodingUTF8) simFatal("only UTF-8 is simulated", "");
  if (desktop.failures & kSimFailString) return nullptr;
  __CFString* string = newString();
  if (!decodeUtf8(reinterpret_cast<const unsigned char*>(cStr), &string->units)) {
    --liveCounts[static_cast<int>(ObjectKind::String)];
    releaseString(string, findLive(string));
    return nullptr;
  }
  return string;
}

extern "C" CFIndex CFStringGetLength(CFStringRef theString) {
  return static_cast<CFIndex>(liveString(theString)->units.size());
}

extern "C" void CFStringGetCharacters(CFStringRef theString, CFRange range, UniChar* buffer) {
  const __CFString* s = liveString(theString);
  CFIndex size = static_cast<CFIndex>(s->units.size());
  // CoreFoundation raises on a range outside the string.
  if (range.location < 0 || range.length < 0 || range.location > size ||
      range.length > size - range.location) {
    simFatal("CFStringGetCharacters range out of bounds", "");
  }
  if (range.length > 0) {
    std::memcpy(buffer, s->units.data() + range.location,
                static_cast<size_t>(range.length) * sizeof(UniChar));
  }
}

extern "C" int sysctlbyname(const char* name, void* oldp, size_t* oldlenp, void*, size_t) {
  ensureInitialized();
  if (name == nullptr || std::strcmp(name, "kern.osproductversion") != 0 || oldlenp == nullptr) {
    errno = ENOENT;
    return -1;
  }
  char version[32];
  int length = std::snprintf(version, sizeof version, "%d.0", desktop.macOSMajor);
  size_t needed = static_cast<size_t>(length) + 1;
  if (oldp != nullptr) {
    if (*oldlenp < needed) {
      errno = ENOMEM;
      return -1;
    }
    std::memcpy(oldp, version, needed);
  }
  *oldlenp = needed;
  return 0;
}

// The platform's pause. Real unless a test made pauses instant; then it only counts, and moves a
// set clock on so that time-dependent logic sees the pause.
extern "C" int usleep(useconds_t microseconds) {
  ensureInitialized();
  desktop.sleptMicroseconds += microseconds;
  if (desktop.instantSleep) {
    if (desktop.fixedClock) desktop.clock += microseconds * 1e-6;
    return 0;
  }
  timespec remaining{static_cast<time_t>(microseconds / 1000000),
                     static_cast<long>(microseconds % 1000000) * 1000};
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
  return 0;
}
