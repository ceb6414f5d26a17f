#include "keyboard/text_entry.h"

#include <array>

#include "ending_signals.h"
#include "keyboard/keyboard.h"
#include "platform/cf_owned.h"
#include "platform/monotonic_clock.h"
#include "platform/quartz.h"

namespace {

// Base64 alphabet values by byte; every byte outside the alphabet ("=" included) reads as 0.
constexpr std::array<unsigned char, 256> makeB64Table() {
  std::array<unsigned char, 256> table{};
  constexpr std::string_view kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (size_t value = 0; value < kAlphabet.size(); ++value) {
    table[static_cast<unsigned char>(kAlphabet[value])] = static_cast<unsigned char>(value);
  }
  return table;
}

constexpr std::array<unsigned char, 256> kB64Table = makeB64Table();
static_assert(kB64Table['A'] == 0 && kB64Table['Z'] == 25 && kB64Table['a'] == 26);
static_assert(kB64Table['9'] == 61 && kB64Table['+'] == 62 && kB64Table['/'] == 63);
static_assert(kB64Table['='] == 0 && kB64Table[0xFF] == 0);

// The table value of token[i], 0 past the token's end.
unsigned sextet(std::string_view token, size_t i) {
  return i < token.size() ? kB64Table[static_cast<unsigned char>(token[i])] : 0u;
}

bool isHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

// macOS types nothing for an event whose string starts with one of these.
bool isLineBreakOrTab(char16_t unit) { return unit == '\r' || unit == '\n' || unit == '\t'; }

// How many units of text, from start, go into the next event: at most 20, never ending between
// the halves of a surrogate pair, and ending early where that keeps the next event from starting
// with a line break or a tab. Only a run of those longer than an event is cut as it falls.
size_t chunkLength(const std::u16string& text, size_t start) {
  const size_t left = text.size() - start;
  if (left <= kMaxUnitsPerTextEvent) return left;
  for (size_t count = kMaxUnitsPerTextEvent; count > 0; --count) {
    const size_t end = start + count;
    if (!isLineBreakOrTab(text[end]) && !isHighSurrogate(text[end - 1])) return count;
  }
  return isHighSurrogate(text[start + kMaxUnitsPerTextEvent - 1]) ? kMaxUnitsPerTextEvent - 1
                                                                  : kMaxUnitsPerTextEvent;
}

}  // namespace

std::string decodeBase64(std::string_view token) {
  const size_t n = token.size();
  std::string out;
  out.reserve(n);
  for (size_t i = 0; i < n; i += 4) {
    const unsigned a = sextet(token, i);
    const unsigned b = sextet(token, i + 1);
    const unsigned c = sextet(token, i + 2);
    const unsigned d = sextet(token, i + 3);
    out.push_back(static_cast<char>((a << 2 | b >> 4) & 0xFF));
    if (i + 2 < n && token[i + 2] != '=')
      out.push_back(static_cast<char>((b << 4 | c >> 2) & 0xFF));
    if (i + 3 < n && token[i + 3] != '=') out.push_back(static_cast<char>((c << 6 | d) & 0xFF));
  }
  return out;
}

// The key down or the key up of a stroke of text, as the system expects it: no source, key code 0
// only carrying the text. Every down is followed by its up, so that no key stays down in the
// system's key state.
bool Keyboard::postTextStroke(const UniChar* units, size_t count, bool down, CGEventFlags flags) {
  CfOwned<CGEventRef> event(CGEventCreateKeyboardEvent(nullptr, 0, down));
  if (!event) return false;
  CGEventKeyboardSetUnicodeString(event.get(), count, units);
  poster_.post(event.get(), flags);
  return true;
}

void Keyboard::postBase64Text(std::string_view token) {
  // Handed on as a C string: the text ends at its first NUL byte.
  postUnicodeText(decodeBase64(token).c_str());
}

std::u16string utf16Units(const char* text) {
  CfOwned<CFStringRef> string(
      CFStringCreateWithCString(kCFAllocatorDefault, text, kCFStringEncodingUTF8));
  if (!string) return {};
  const CFIndex length = CFStringGetLength(string.get());
  if (length <= 0) return {};
  std::u16string units(static_cast<size_t>(length), u'\0');
  CFStringGetCharacters(string.get(), CFRangeMake(0, length),
                        reinterpret_cast<UniChar*>(units.data()));
  return units;
}

void Keyboard::postUnicodeText(const char* text) {
  const std::u16string units = utf16Units(text);
  // The modifiers held and Caps Lock, as the Mac's own keys would carry them.
  const CGEventFlags flags = modifierFlags_ | capsLock_.flag(monotonicSeconds());
  // Anything past an event's first 20 units would be dropped by the system, so longer text goes
  // out in consecutive strokes.
  for (size_t start = 0; start < units.size();) {
    // A host ending the agent in the middle of a long paste wants it stopped, not typed out: the
    // text stops between two strokes, each one whole.
    if (start > 0 && endingSignal() != 0) return;
    const size_t count = chunkLength(units, start);
    const UniChar* chunk = reinterpret_cast<const UniChar*>(units.data()) + start;
    if (!postTextStroke(chunk, count, true, flags) || !postTextStroke(chunk, count, false, flags)) {
      return;
    }
    start += count;
  }
}
