// Text Input Sources and the Unicode key layout translation: which keyboard layout is current
// (MII_SIM_LAYOUT, or the name in MII_SIM_LAYOUT_FILE), its properties, and what its keys type.
// As on a Mac, a process takes in a switch only when it runs its main run loop: the setting is
// read at the first query and at every CFRunLoopRunInMode in the default mode. Each source handed
// out is a new object owning its properties, so that a property used after its source was released
// is caught as a stale object.
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

// UCKeyTranslate's modifier bits, the event record's shifted right by 8: Command, Shift, the right
// Shift, which every layout here takes as Shift, and (the left) Option.
constexpr UInt32 kCommand = cmdKey >> 8;
constexpr UInt32 kShift = shiftKey >> 8;
constexpr UInt32 kRightShift = 0x20;  // rightShiftKey >> 8
constexpr UInt32 kOption = optionKey >> 8;

const __CFBoolean trueBoolean{true};
const __CFBoolean falseBoolean{false};

// CoreFoundation's booleans live for the whole process, as CFSTR's strings do.
CFBooleanRef constantBoolean(const __CFBoolean* boolean) {
  trackConstant(boolean, ObjectKind::Boolean);
  return boolean;
}

// The layout the settings name now: the file's, read again at each call, when one is set.
const SimLayout* settingLayout() {
  const Desktop& d = desktop();
  if (d.layoutFile.empty()) return d.layout;
  // A file that names no layout reads as the default, not as a failed query (MII_SIM_FAIL=layout
  // is that), so a run made while a test rewrites the file still finds a layout.
  std::string name;
  const SimLayout* named = readFirstLine(d.layoutFile, &name) ? findLayout(name) : nullptr;
  return named != nullptr ? named : &usLayout();
}

// The keyboard input source as this process sees it (an input method, or a layout); nullptr when
// the query fails. A failure is the query's own, so it may start at any time.
const SimLayout* currentSource() {
  Desktop& d = desktop();
  if (!d.layoutSeen) {
    d.seenLayout = settingLayout();
    d.layoutSeen = true;
  }
  return (d.failures & kSimFailLayout) ? nullptr : d.seenLayout;
}

// The keyboard layout keys go through: the current source, or under an input method the layout it
// types with.
const SimLayout* currentKeyboardLayout() {
  const SimLayout* source = currentSource();
  return source != nullptr && source->keys == nullptr ? desktop().asciiLayout : source;
}

// data: whether the source has its layout's key layout data (an input method has none).
TISInputSourceRef newInputSource(const SimLayout* layout, bool data = true) {
  if (layout == nullptr) return nullptr;
  auto* source = new __TISInputSource{layout, nullptr, {}};
  const std::string id = layout->id;
  source->id.units.assign(id.begin(), id.end());  // ids are ASCII
  track(source, ObjectKind::InputSource);
  trackOwned(&source->id, ObjectKind::String, source);
  if (data && layout->keys != nullptr) {
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

const SimOptionKey* optionKeyOf(const SimLayout& layout, UInt16 keyCode) {
  const SimOptionLayout* options = findOptionLayout(layout.name);
  if (options == nullptr) return nullptr;
  for (size_t i = 0; i < options->keyCount; ++i) {
    if (options->keys[i].keyCode == keyCode) return &options->keys[i];
  }
  return nullptr;
}

// What the next key's text makes after a dead key: the sequence's result, else both characters.
std::u16string afterDeadKey(const SimLayout& layout, char16_t dead, const std::u16string& next) {
  const SimOptionLayout* options = findOptionLayout(layout.name);
  if (options != nullptr && next.size() == 1) {
    for (size_t i = 0; i < options->sequenceCount; ++i) {
      const SimDeadSequence& sequence = options->sequences[i];
      if (sequence.dead == dead && sequence.next == next[0])
        return std::u16string(1, sequence.result);
    }
  }
  return dead + next;
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
const CFRunLoopMode kCFRunLoopDefaultMode = CFSTR("kCFRunLoopDefaultMode");
const CFBooleanRef kCFBooleanTrue = simulated::constantBoolean(&simulated::trueBoolean);
const CFBooleanRef kCFBooleanFalse = simulated::constantBoolean(&simulated::falseBoolean);

// The input method itself when there is one, as TextInputSources.h says.
TISInputSourceRef TISCopyCurrentKeyboardInputSource(void) {
  return simulated::newInputSource(simulated::currentSource());
}

// Never an input method: under one, the layout it types with, as TextInputSources.h says.
TISInputSourceRef TISCopyCurrentKeyboardLayoutInputSource(void) {
  return simulated::newInputSource(simulated::currentKeyboardLayout(),
                                   !(desktop().failures & kSimFailLayoutData));
}

// The current layout when it types ASCII from a key layout of its own, else MII_SIM_ASCII_LAYOUT
// (which one macOS picks when several are enabled is the last one used, per TextInputSources.h).
TISInputSourceRef TISCopyCurrentASCIICapableKeyboardLayoutInputSource(void) {
  const simulated::SimLayout* layout = simulated::currentKeyboardLayout();
  if (layout != nullptr && (!layout->asciiCapable || layout->keys == nullptr ||
                            (desktop().failures & kSimFailLayoutData))) {
    layout = desktop().asciiLayout;
  }
  return simulated::newInputSource(layout);
}

// A turn of the main run loop: the only time this process takes in a switch of input source. The
// agent's run loop has no sources of its own here, so nothing else happens and nothing waits;
// whether a Mac answers kCFRunLoopRunFinished or kCFRunLoopRunTimedOut then was not checked.
CFRunLoopRunResult CFRunLoopRunInMode(CFRunLoopMode mode, CFTimeInterval seconds, Boolean) {
  if (seconds != 0) simulated::fatal("the simulated run loop only runs without waiting", "");
  if (simulated::isNamed(mode, u"kCFRunLoopDefaultMode")) {
    desktop().seenLayout = simulated::settingLayout();
    desktop().layoutSeen = true;
  }
  return kCFRunLoopRunTimedOut;
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

// What a key types: the table for Command, Shift and Option as held, the character's UTF-16 units
// up to maxStringLength. A key with no row (Return, Tab, the keypad's digits) types nothing here;
// on a Mac most type a control character or a digit. Without kUCKeyTranslateNoDeadKeysMask a key
// down follows dead keys: a dead key types nothing and leaves its character as the state, and the
// next key down types what the two make, or the dead key's character and then the key's own when
// they make nothing, as macOS does (a dead key's character and then a state of its own). With the
// mask a dead key types its own character.
OSStatus UCKeyTranslate(const UCKeyboardLayout* keyLayoutPtr, UInt16 virtualKeyCode,
                        UInt16 keyAction, UInt32 modifierKeyState, UInt32,
                        OptionBits keyTranslateOptions, UInt32* deadKeyState,
                        UniCharCount maxStringLength, UniCharCount* actualStringLength,
                        UniChar unicodeString[]) {
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
  using simulated::kCommand, simulated::kOption, simulated::kShift, simulated::kRightShift;
  const bool command = (modifierKeyState & kCommand) != 0;
  const bool option = (modifierKeyState & kOption) != 0;
  if ((modifierKeyState & ~(kCommand | kShift | kRightShift | kOption)) != 0 ||
      (command && option)) {
    simulated::fatal(
        "the simulated layouts have no tables for Caps Lock, Control or Command+Option", "");
  }
  const bool followDeadKeys = (keyTranslateOptions & kUCKeyTranslateNoDeadKeysMask) == 0 &&
                              keyAction != kUCKeyActionDisplay;
  // With the mask the state is neither read nor left (not checked on a Mac).
  if (!followDeadKeys) *deadKeyState = 0;
  // A key going up types nothing and leaves a pending dead key pending (not checked on a Mac).
  const simulated::SimKey* key = simulated::keyOf(layout, virtualKeyCode);
  if (key == nullptr || keyAction == kUCKeyActionUp) return noErr;
  const bool shift = (modifierKeyState & (kShift | kRightShift)) != 0;
  const simulated::SimOptionKey* optionKey = simulated::optionKeyOf(layout, virtualKeyCode);
  const char16_t* typed =
      command ? (shift ? key->commandShift : key->command) : (shift ? key->shift : key->base);
  uint8_t deadBit = shift ? simulated::kDeadShift : simulated::kDeadBase;
  if (option) {
    // The keypad has no Option row: it types the same with Option.
    if (optionKey != nullptr) typed = shift ? optionKey->optionShift : optionKey->option;
    deadBit = shift ? simulated::kDeadOptionShift : simulated::kDeadOption;
  }
  const bool dead = !command && optionKey != nullptr && (optionKey->dead & deadBit) != 0;
  std::u16string text = typed;
  if (followDeadKeys) {
    const UInt32 pending = *deadKeyState;
    if (pending == 0 && dead) {
      *deadKeyState = typed[0];
      return noErr;
    }
    *deadKeyState = 0;
    if (pending != 0 && dead) {
      // A key with nothing of its own for the state: the state's terminator (here its accent) goes
      // out, then the key is taken as usual, as Apple's UCKeyStateTerminators documentation says;
      // a dead key then starts a state of its own.
      *deadKeyState = typed[0];
      text = std::u16string(1, static_cast<char16_t>(pending));
    } else if (pending != 0) {
      text = simulated::afterDeadKey(layout, static_cast<char16_t>(pending), text);
    }
  }
  UniCharCount length = 0;
  while (length < text.size() && length < maxStringLength) {
    unicodeString[length] = text[length];
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

bool simSetAsciiLayout(const std::string& name) {
  const simulated::SimLayout* layout = simulated::findLatinLayout(name);
  if (layout == nullptr) return false;
  desktop().asciiLayout = layout;
  return true;
}
