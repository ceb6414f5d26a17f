#include "keyboard/layout.h"

#include <algorithm>
#include <string>
#include <utility>

#include "keyboard/key_code_maps.h"
#include "platform/cf_owned.h"
#include "platform/text_input_sources.h"

namespace {

// The main block's key codes: never the keypad, whose + - . would otherwise be found first.
constexpr UInt16 kLastMainBlockKey = 50;

using OwnedSource = CfOwned<TISInputSourceRef>;

bool isAsciiCapable(TISInputSourceRef source) {
  const auto capable = static_cast<CFBooleanRef>(
      TISGetInputSourceProperty(source, kTISPropertyInputSourceIsASCIICapable));
  return capable != nullptr && CFBooleanGetValue(capable);
}

const UCKeyboardLayout* keyLayoutOf(TISInputSourceRef source) {
  const auto data =
      static_cast<CFDataRef>(TISGetInputSourceProperty(source, kTISPropertyUnicodeKeyLayoutData));
  if (data == nullptr) return nullptr;
  return reinterpret_cast<const UCKeyboardLayout*>(CFDataGetBytePtr(data));
}

std::string idOf(TISInputSourceRef source) {
  const auto id =
      static_cast<CFStringRef>(TISGetInputSourceProperty(source, kTISPropertyInputSourceID));
  if (id == nullptr) return {};
  const CFIndex length = CFStringGetLength(id);
  std::u16string units(static_cast<size_t>(std::max<CFIndex>(length, 0)), u'\0');
  if (length > 0) {
    CFStringGetCharacters(id, CFRangeMake(0, length), reinterpret_cast<UniChar*>(units.data()));
  }
  // Input source ids are reverse-DNS names, ASCII.
  std::string text;
  for (char16_t unit : units) text += unit < 0x80 ? static_cast<char>(unit) : '?';
  return text;
}

// HIToolbox takes in a switch of input source from the main run loop, which the agent never runs
// otherwise: without a turn of it, the first answer would stay for the whole session. The agent's
// one thread is its main thread; nothing else of the agent's waits on this run loop.
void takeInSourceSwitches() { CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0, true); }

// The one character key types with modifiers (event-record bits), 0 when it types no single
// ASCII character. Dead keys type their own character rather than waiting for the next key.
unsigned char asciiTyped(const UCKeyboardLayout* layout, UInt16 key, UInt32 modifiers,
                         UInt32 keyboardType) {
  UInt32 deadKeyState = 0;
  UniChar units[4];
  UniCharCount length = 0;
  if (UCKeyTranslate(layout, key, kUCKeyActionDown, (modifiers >> 8) & 0xFF, keyboardType,
                     kUCKeyTranslateNoDeadKeysMask, &deadKeyState, 4, &length, units) != noErr ||
      length != 1 || units[0] == 0 || units[0] >= 0x80) {
    return 0;
  }
  return static_cast<unsigned char>(units[0]);
}

// Fills table (kNoMacKey where nothing is found) with the key that types each character: every
// key's unshifted character first, then what Shift adds, the lowest key code first in each pass.
void findKeys(const UCKeyboardLayout* layout, UInt32 modifiers, UInt32 keyboardType,
              uint16_t (&table)[128]) {
  std::fill(std::begin(table), std::end(table), kNoMacKey);
  for (UInt32 shift : {UInt32{0}, UInt32{shiftKey}}) {
    for (UInt16 key = 0; key <= kLastMainBlockKey; ++key) {
      const unsigned char c = asciiTyped(layout, key, modifiers | shift, keyboardType);
      if (c != 0 && table[c] == kNoMacKey) table[c] = key;
    }
  }
}

}  // namespace

const KeyboardLayout::KeyTable* KeyboardLayout::currentTable(Seconds now) {
  if (lastAsked_ && now - *lastAsked_ < kLayoutRecheck) return current_;
  lastAsked_ = now;
  current_ = nullptr;
  takeInSourceSwitches();
  // Under an input method this is the layout it types with, never the input method itself.
  OwnedSource source(TISCopyCurrentKeyboardLayoutInputSource());
  bool latin = true;
  if (source && keyLayoutOf(source.get()) != nullptr) {
    latin = isAsciiCapable(source.get());
  } else {
    // No key layout to read: the ASCII-capable layout, the one macOS itself falls back on.
    source.reset(TISCopyCurrentASCIICapableKeyboardLayoutInputSource());
    if (!source || keyLayoutOf(source.get()) == nullptr) return nullptr;
  }
  const UInt8 keyboardType = LMGetKbdType();
  const auto key = std::make_pair(idOf(source.get()), keyboardType);
  auto found = tables_.find(key);
  if (found == tables_.end()) {
    const UCKeyboardLayout* layout = keyLayoutOf(source.get());
    KeyTable table;
    // Russian types Cyrillic unshifted and its Shift row has , and . on odd keys: without Command
    // every key stays in place. Its own Command tables are QWERTY, as a Mac user's shortcuts are.
    if (latin) {
      findKeys(layout, 0, keyboardType, table.plain);
    } else {
      std::fill(std::begin(table.plain), std::end(table.plain), kNoMacKey);
    }
    findKeys(layout, cmdKey, keyboardType, table.command);
    // Dead keys and all: once per layout, so that a long TYPE costs a look-up per character.
    table.strokes = findLayoutStrokes(layout, keyboardType);
    found = tables_.emplace(key, std::move(table)).first;
  }
  current_ = &found->second;
  return current_;
}

uint16_t KeyboardLayout::keyCodeTyping(char c, bool command, Seconds now) {
  const auto index = static_cast<unsigned char>(c);
  if (index == 0 || index >= 128) return kNoMacKey;
  const KeyTable* table = currentTable(now);
  if (table == nullptr) return kNoMacKey;
  return command ? table->command[index] : table->plain[index];
}

const LayoutStrokes* KeyboardLayout::currentStrokes(Seconds now) {
  const KeyTable* table = currentTable(now);
  return table != nullptr ? &table->strokes : nullptr;
}

std::string KeyboardLayout::currentSourceIds() {
  takeInSourceSwitches();
  const OwnedSource layout(TISCopyCurrentKeyboardLayoutInputSource());
  std::string ids = layout ? idOf(layout.get()) : std::string();
  if (ids.empty()) return ids;
  // The keyboard input source is the input method when there is one, else that same layout.
  const OwnedSource keyboard(TISCopyCurrentKeyboardInputSource());
  const std::string keyboardId = keyboard ? idOf(keyboard.get()) : std::string();
  if (!keyboardId.empty() && keyboardId != ids) ids += ' ' + keyboardId;
  return ids;
}
