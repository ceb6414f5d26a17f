#include "keyboard/text_entry.h"

#include <algorithm>
#include <array>

#include "keyboard/key_events.h"
#include "platform/cf_owned.h"
#include "platform/post_event.h"
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

bool isHighSurrogate(UniChar unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

// One text event as the system expects it: no source, key code 0 only carrying the text, a key
// down without a key up, the modifiers now held. False when the event could not be made.
bool postTextEvent(const UniChar* units, size_t count) {
  CfOwned<CGEventRef> event(CGEventCreateKeyboardEvent(nullptr, 0, true));
  if (!event) return false;
  CGEventKeyboardSetUnicodeString(event.get(), count, units);
  postEvent(event.get(), modifierFlags());
  return true;
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

void postBase64Text(std::string_view token) {
  // Handed on as a C string: the text ends at its first NUL byte.
  postUnicodeText(decodeBase64(token).c_str());
}

void postUnicodeText(const char* text) {
  CfOwned<CFStringRef> string(
      CFStringCreateWithCString(kCFAllocatorDefault, text, kCFStringEncodingUTF8));
  if (!string) return;
  const CFIndex length = CFStringGetLength(string.get());
  if (length <= 0) return;
  std::u16string units(static_cast<size_t>(length), u'\0');
  CFStringGetCharacters(string.get(), CFRangeMake(0, length),
                        reinterpret_cast<UniChar*>(units.data()));
  // Anything past an event's first 20 units would be dropped by the system, so longer text goes
  // out in consecutive events; a chunk never ends between the two halves of a surrogate pair.
  const size_t total = units.size();
  for (size_t start = 0; start < total;) {
    size_t count = std::min(kMaxUnitsPerTextEvent, total - start);
    if (start + count < total && isHighSurrogate(units[start + count - 1])) --count;
    if (!postTextEvent(reinterpret_cast<const UniChar*>(units.data()) + start, count)) return;
    start += count;
  }
}
