// The MII_SIM_* settings: read from the environment once, when the desktop is first used, and set
// in process by the simulation.h controls. A malformed value stops the process, loudly, before the
// agent does anything with it.
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/quartz.h"
#include "platform/simulated/desktop.h"
#include "platform/simulated/layouts.h"
#include "platform/simulated/simulation.h"
#include "platform/simulated/trace.h"

namespace simulated {
namespace {

[[noreturn]] void badKnob(const char* name, const char* value) {
  std::fprintf(stderr, "mii-sim: cannot use %s=%s\n", name, value);
  std::exit(2);
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

CGPoint centreOfMain(const std::vector<SimDisplay>& displays) {
  if (displays.empty()) return CGPoint{0, 0};
  const CGRect& main = displays[0].bounds;
  return CGPoint{main.origin.x + main.size.width / 2, main.origin.y + main.size.height / 2};
}

unsigned readFailures(const char* list) {
  static constexpr struct {
    const char* name;
    unsigned bit;
  } kNames[] = {{"source", kSimFailSource},
                {"keyboard", kSimFailKeyboard},
                {"mouse", kSimFailMouse},
                {"scroll", kSimFailScroll},
                {"create", kSimFailCreate},
                {"string", kSimFailString},
                {"displays", kSimFailDisplays},
                {"power", kSimFailPower},
                {"displaymode", kSimFailDisplayMode},
                {"layout", kSimFailLayout},
                {"layoutdata", kSimFailLayoutData},
                {"hidsystem", kSimFailHidSystem},
                {"systemdefined", kSimFailSystemDefined}};
  unsigned failures = 0;
  std::string text = list;
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(',', start);
    if (comma == std::string::npos) comma = text.size();
    std::string name = text.substr(start, comma - start);
    bool known = name.empty();
    for (const auto& entry : kNames) {
      if (name == entry.name) {
        failures |= entry.bit;
        known = true;
      }
    }
    if (!known) badKnob("MII_SIM_FAIL", list);
    start = comma + 1;
  }
  return failures;
}

Desktop fromEnvironment() {
  Desktop d;
  if (const char* v = std::getenv("MII_SIM_TRUSTED")) {
    if (std::strcmp(v, "1") != 0 && std::strcmp(v, "0") != 0) badKnob("MII_SIM_TRUSTED", v);
    d.trusted = v[0] == '1';
  }
  if (const char* v = std::getenv("MII_SIM_TRUST_FILE")) d.trustFile = v;
  if (const char* v = std::getenv("MII_SIM_SECURE_INPUT_FILE")) d.secureInputFile = v;
  if (const char* v = std::getenv("MII_SIM_DISPLAYS")) {
    if (!simParseDisplays(v, &d.displays)) badKnob("MII_SIM_DISPLAYS", v);
  }
  // The file wins, and is read at once: the cursor starts on the displays it lists.
  if (const char* v = std::getenv("MII_SIM_DISPLAYS_FILE")) {
    d.displaysFile = v;
    d.fileDisplays = readDisplaysFile(d.displaysFile);
  }
  if (const char* v = std::getenv("MII_SIM_MIRRORS")) {
    if (!simParseMirrors(v, &d.mirrors)) badKnob("MII_SIM_MIRRORS", v);
  }
  d.cursor = centreOfMain(d.displaysFile.empty() ? d.displays : d.fileDisplays);
  if (const char* v = std::getenv("MII_SIM_CURSOR")) {
    const char* p = v;
    CGPoint cursor;
    if (!readNumber(&p, &cursor.x) || *p++ != ',' || !readNumber(&p, &cursor.y) || *p != '\0') {
      badKnob("MII_SIM_CURSOR", v);
    }
    d.cursor = cursor;
  }
  if (const char* v = std::getenv("MII_SIM_MACOS")) {
    const char* p = v;
    uint32_t major = 0;
    if (!readUnsigned(&p, &major) || *p != '\0' || major > 1000) badKnob("MII_SIM_MACOS", v);
    d.macOSMajor = static_cast<int>(major);
  }
  if (const char* v = std::getenv("MII_SIM_PRESS_COUNTS")) {
    const char* p = v;
    uint32_t* c = d.pressCounts;
    if (!readUnsigned(&p, &c[0]) || *p++ != ',' || !readUnsigned(&p, &c[1]) || *p++ != ',' ||
        !readUnsigned(&p, &c[2]) || *p != '\0') {
      badKnob("MII_SIM_PRESS_COUNTS", v);
    }
  }
  if (const char* v = std::getenv("MII_SIM_LAYOUT")) {
    d.layout = findLayout(v);
    if (d.layout == nullptr) badKnob("MII_SIM_LAYOUT", v);
  }
  if (const char* v = std::getenv("MII_SIM_LAYOUT_FILE")) d.layoutFile = v;
  if (const char* v = std::getenv("MII_SIM_ASCII_LAYOUT")) {
    d.asciiLayout = findLatinLayout(v);
    if (d.asciiLayout == nullptr) badKnob("MII_SIM_ASCII_LAYOUT", v);
  }
  if (const char* v = std::getenv("MII_SIM_CAPS_LOCK")) {
    if (std::strcmp(v, "1") != 0 && std::strcmp(v, "0") != 0) badKnob("MII_SIM_CAPS_LOCK", v);
    d.capsLock = v[0] == '1';
  }
  if (const char* v = std::getenv("MII_SIM_CAPS_LOCK_FILE")) d.capsLockFile = v;
  if (const char* v = std::getenv("MII_SIM_FAIL")) d.failures = readFailures(v);
  if (const char* v = std::getenv("MII_SIM_TRACE")) {
    if (!openTrace(v)) badKnob("MII_SIM_TRACE", v);
  }
  return d;
}

std::optional<Desktop> current;  // none until first used

}  // namespace

Desktop& desktop() {
  if (!current) current = fromEnvironment();
  return *current;
}

}  // namespace simulated

using simulated::desktop;

// In process the environment is never read once a test has reset the desktop.
void simReset() {
  simulated::current.emplace();
  simulated::current->recording = true;
}

void simSetTrusted(bool trusted) { desktop().trusted = trusted; }
void simSetTrustFile(const std::string& path) { desktop().trustFile = path; }
void simSetSecureInputFile(const std::string& path) { desktop().secureInputFile = path; }
void simSetCursor(CGPoint cursor) { desktop().cursor = cursor; }
CGPoint simCursor() { return simulated::cursorNow(); }
void simSetFailures(unsigned failures) { desktop().failures = failures; }
void simSetCapsLock(bool on) { desktop().capsLock = on; }
void simSetCapsLockFile(const std::string& path) { desktop().capsLockFile = path; }
void simSetMacOSMajor(int major) { desktop().macOSMajor = major; }
void simSetPostObserver(std::function<void(CGEventRef)> observer) {
  desktop().postObserver = std::move(observer);
}

void simSetPressCounts(uint32_t left, uint32_t right, uint32_t other) {
  desktop().pressCounts[0] = left;
  desktop().pressCounts[1] = right;
  desktop().pressCounts[2] = other;
}

// WxH[@X,Y][*S][#ID], in that order. Every number is finite, sizes and scales above 0, and an id a
// 32-bit decimal other than 0, which is kCGNullDirectDisplay.
bool simParseDisplays(const std::string& text, std::vector<SimDisplay>* displays) {
  std::vector<SimDisplay> parsed;
  if (text.find('\0') != std::string::npos) return false;  // read up to its end, not to a NUL
  if (text != "none") {
    const char* p = text.c_str();
    for (;;) {
      SimDisplay display{CGRect{{0, 0}, {0, 0}}};
      CGRect& rect = display.bounds;
      if (!simulated::readNumber(&p, &rect.size.width) || *p++ != 'x' ||
          !simulated::readNumber(&p, &rect.size.height)) {
        return false;
      }
      if (rect.size.width <= 0 || rect.size.height <= 0) return false;
      if (*p == '@') {
        ++p;
        if (!simulated::readNumber(&p, &rect.origin.x) || *p++ != ',' ||
            !simulated::readNumber(&p, &rect.origin.y)) {
          return false;
        }
      }
      if (*p == '*') {
        ++p;
        if (!simulated::readNumber(&p, &display.scale) || display.scale <= 0) return false;
      }
      if (*p == '#') {
        ++p;
        if (!simulated::readUnsigned(&p, &display.id) || display.id == 0) return false;
      }
      // The main display defines the origin of global coordinates.
      if (parsed.empty() && (rect.origin.x != 0 || rect.origin.y != 0)) return false;
      parsed.push_back(display);
      if (*p == '\0') break;
      if (*p++ != ',') return false;
    }
  }
  // Two displays with one id cannot both be asked about.
  if (!simulated::giveIds(&parsed)) return false;
  *displays = parsed;
  return true;
}

// ID:OF,... (empty: none) with both ids 32-bit decimals other than 0, which is
// kCGNullDirectDisplay. A mirror set has one display that the others mirror: a display mirrors one
// display, never itself nor another mirror.
bool simParseMirrors(const std::string& text, SimMirrors* mirrors) {
  SimMirrors parsed;
  if (text.find('\0') != std::string::npos) return false;
  const char* p = text.c_str();
  while (!text.empty()) {
    uint32_t id = 0;
    uint32_t of = 0;
    if (!simulated::readUnsigned(&p, &id) || *p++ != ':' || !simulated::readUnsigned(&p, &of)) {
      return false;
    }
    if (id == 0 || of == 0 || !parsed.emplace(id, of).second) return false;
    if (*p == '\0') break;
    if (*p++ != ',') return false;
  }
  for (const auto& mirror : parsed) {
    if (parsed.count(mirror.second) != 0) return false;
  }
  *mirrors = parsed;
  return true;
}
