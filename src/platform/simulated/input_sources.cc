// Text Input Sources and the Unicode key layout translation: which keyboard layout is current
// (MII_SIM_LAYOUT, or the name in MII_SIM_LAYOUT_FILE at every query), its properties, and what
// its keys type. Each source handed out is a new object owning its properties, so that a property
// used after its source was released is caught as a stale object.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>

#include "platform/quartz.h"
#include "platform/simulated/desktop.h"
#include "platform/simulated/layouts.h"
#include "platform/simulated/objects.h"
#include "platform/simulated/simulation.h"
#include "platform/text_input_sources.h"

namespace simulated {

// The bytes of a source's kTISPropertyUnicodeKeyLayoutData: not a 'uchr' resource, only what
// this desktop's UCKeyTranslate reads.
struct SimLayoutData {
  const SimLayout* layout;
};

}  // namespace simulated

// Apple's opaque types, defined here only.
struct __CFData {
  simulated::SimLayoutData bytes;  // first, so that the bytes' address is the object's
};
struct __CFBoolean {
  bool value;
};
struct __TISInputSource {
  const simulated::SimLayout* layout;
  std::unique_ptr<__CFData> data;  // none for an input method
  __CFString id;
};

static_assert(std::is_standard_layout_v<__CFData> && offsetof(__CFData, bytes) == 0);

namespace simulated {
namespace {

constexpr OSStatus kParameterError = -50;  // MacErrors.h's paramErr

// UCKeyTranslate's modifier bits, the event record's shifted right by 8: Command, Shift and the
// right Shift, which every layout here takes as Shift.
constexpr UInt32 kCommand = cmdKey >> 8;
constexpr UInt32 kShift = shiftKey >> 8;
constexpr UInt32 kRightShift = 0x20;  // rightShiftKey >> 8

const __CFBoolean trueBoolean{true};
const __CFBoolean falseBoolean{false};

// CoreFoundation's booleans live for the whole process, as CFSTR's strings do.
CFBooleanRef constantBoolean(const __CFBoolean* boolean) {
  trackConstant(boolean, ObjectKind::Boolean);
  return boolean;
}

// The keyboard layout current now, read again from the file at every query when one is set;
// nullptr when the query fails.
const SimLayout* currentLayout() {
  const Desktop& d = desktop();
  if (d.failures & kSimFailLayout) return nullptr;
  if (d.layoutFile.empty()) return d.layout;
  // A file that names no layout reads as the default, not as a failed query (MII_SIM_FAIL=layout
  // is that), so a query made while a test rewrites the file still finds a layout.
  std::string name;
  const SimLayout* named = readFirstLine(d.layoutFile, &name) ? findLayout(name) : nullptr;
  return named != nullptr ? named : &usLayout();
}

TISInputSourceRef newInputSource(const SimLayout* layout) {
  if (layout == nullptr) return nullptr;
  auto* source = new __TISInputSource{layout, nullptr, {}};
  const std::string id = layout->id;
  source->id.units.assign(id.begin(), id.end());  // ids are ASCII
  track(source, ObjectKind::InputSource);
  trackOwned(&source->id, ObjectKind::String, source);
  if (layout->keys != nullptr) {
    source->data = std::make_unique<__CFData>(__CFData{{layout}});
    trackOwned(source->data.get(), ObjectKind::Data, source);
  }
  return source;
}

__TISInputSource* liveInputSource(TISInputSourceRef source) {
  // What macOS does with NULL was not checked; a NULL here is a failed query not looked at.
  if (!isLive(source, ObjectKind::InputSource)) fatal("not a live input source", "");
  return source;
}

const __CFData* liveData(CFDataRef data) {
  if (!isLive(data, ObjectKind::Data)) fatal("not a live CFData (its input source released?)", "");
  return data;
}

bool isNamed(CFStringRef string, const char16_t* name) { return liveString(string)->units == name; }

const SimKey* keyOf(const SimLayout& layout, UInt16 keyCode) {
  for (size_t i = 0; i < layout.keyCount; ++i) {
    if (layout.keys[i].keyCode == keyCode) return &layout.keys[i];
  }
  return nullptr;
}

}  // namespace

void destroyInputSource(const void* source) { delete static_cast<const __TISInputSource*>(source); }

}  // namespace simulated

using simulated::desktop;

extern "C" {

// As CFSTR makes them, with the text they have on a Mac as far as known.
const CFStringRef kTISPropertyInputSourceIsASCIICapable =
    CFSTR("TISPropertyInputSourceIsASCIICapable");
const CFStringRef kTISPropertyUnicodeKeyLayoutData = CFSTR("TISPropertyUnicodeKeyLayoutData");
const CFStringRef kTISPropertyInputSourceID = CFSTR("TISPropertyInputSourceID");
const CFBooleanRef kCFBooleanTrue = simulated::constantBoolean(&simulated::trueBoolean);
const CFBooleanRef kCFBooleanFalse = simulated::constantBoolean(&simulated::falseBoolean);

TISInputSourceRef TISCopyCurrentKeyboardLayoutInputSource(void) {
  return simulated::newInputSource(simulated::currentLayout());
}

// The current layout when it types ASCII from a key layout of its own, else U.S., which a Mac
// always has among its ASCII-capable layouts (ABC on newer systems; which one macOS picks when
// several are enabled was not checked).
TISInputSourceRef TISCopyCurrentASCIICapableKeyboardLayoutInputSource(void) {
  const simulated::SimLayout* layout = simulated::currentLayout();
  if (layout != nullptr && (!layout->asciiCapable || layout->keys == nullptr)) {
    layout = &simulated::usLayout();
  }
  return simulated::newInputSource(layout);
}

// A property key is matched by its text, so that a CFSTR of the same text is the same key, as in a
// CoreFoundation dictionary; any other key has no value.
void* TISGetInputSourceProperty(TISInputSourceRef inputSource, CFStringRef propertyKey) {
  __TISInputSource* source = simulated::liveInputSource(inputSource);
  if (simulated::isNamed(propertyKey, u"TISPropertyInputSourceIsASCIICapable")) {
    return const_cast<__CFBoolean*>(source->layout->asciiCapable ? kCFBooleanTrue
                                                                 : kCFBooleanFalse);
  }
  if (simulated::isNamed(propertyKey, u"TISPropertyUnicodeKeyLayoutData")) {
    return source->data.get();
  }
  if (simulated::isNamed(propertyKey, u"TISPropertyInputSourceID")) return &source->id;
  return nullptr;
}

const UInt8* CFDataGetBytePtr(CFDataRef theData) {
  return reinterpret_cast<const UInt8*>(&simulated::liveData(theData)->bytes);
}

CFIndex CFDataGetLength(CFDataRef theData) {
  simulated::liveData(theData);
  return sizeof(simulated::SimLayoutData);
}

Boolean CFBooleanGetValue(CFBooleanRef boolean) {
  if (!simulated::isLive(boolean, simulated::ObjectKind::Boolean)) {
    simulated::fatal("not a CFBoolean", "");
  }
  return boolean->value ? 1 : 0;
}

// An ANSI keyboard's type, as Apple's own ANSI keyboards report it as far as known; the layouts
// here type the same on every keyboard type.
UInt8 LMGetKbdType(void) { return 40; }

// What a key types: the table for Command and Shift as held, the character's UTF-16 units up to
// maxStringLength. A key with no row (Return, Tab, the keys past 50) types nothing here; on a Mac
// most type a control character or the keypad's. Dead keys are not simulated: a key that is one on
// the real layout types its own character, as with kUCKeyTranslateNoDeadKeysMask, and the dead
// key state stays 0.
OSStatus UCKeyTranslate(const UCKeyboardLayout* keyLayoutPtr, UInt16 virtualKeyCode,
                        UInt16 keyAction, UInt32 modifierKeyState, UInt32, OptionBits,
                        UInt32* deadKeyState, UniCharCount maxStringLength,
                        UniCharCount* actualStringLength, UniChar unicodeString[]) {
  if (actualStringLength != nullptr) *actualStringLength = 0;
  // What macOS answers for each malformed call was not checked, beyond its being an error.
  if (keyLayoutPtr == nullptr || virtualKeyCode > 127 || keyAction > kUCKeyActionDisplay ||
      deadKeyState == nullptr || actualStringLength == nullptr ||
      (unicodeString == nullptr && maxStringLength > 0)) {
    return simulated::kParameterError;
  }
  const void* data = keyLayoutPtr;  // the bytes are the start of their CFData
  const simulated::SimLayout& layout =
      *simulated::liveData(static_cast<CFDataRef>(data))->bytes.layout;
  if ((modifierKeyState & ~(simulated::kCommand | simulated::kShift | simulated::kRightShift)) !=
      0) {
    simulated::fatal("the simulated layouts have no tables for Caps Lock, Option or Control", "");
  }
  *deadKeyState = 0;
  // A key going up types nothing (not checked on a Mac).
  const simulated::SimKey* key = simulated::keyOf(layout, virtualKeyCode);
  if (key == nullptr || keyAction == kUCKeyActionUp) return noErr;
  const bool command = (modifierKeyState & simulated::kCommand) != 0;
  const bool shift = (modifierKeyState & (simulated::kShift | simulated::kRightShift)) != 0;
  const char16_t* typed =
      command ? (shift ? key->commandShift : key->command) : (shift ? key->shift : key->base);
  UniCharCount length = 0;
  while (typed[length] != 0 && length < maxStringLength) {
    unicodeString[length] = typed[length];
    ++length;
  }
  *actualStringLength = length;
  return noErr;
}

}  // extern "C"

bool simSetLayout(const std::string& name) {
  const simulated::SimLayout* layout = simulated::findLayout(name);
  if (layout != nullptr) desktop().layout = layout;
  return layout != nullptr;
}

void simSetLayoutFile(const std::string& path) { desktop().layoutFile = path; }
