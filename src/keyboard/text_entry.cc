#include "keyboard/text_entry.h"

#include <algorithm>
#include <memory>
#include <new>

#include "keyboard/key_events.h"
#include "platform/cf_owned.h"
#include "platform/quartz.h"

namespace {

constexpr std::array<unsigned char, 256> makeB64Table() {
  std::array<unsigned char, 256> table{};
  constexpr std::string_view kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (size_t value = 0; value < kAlphabet.size(); ++value) {
    table[static_cast<unsigned char>(kAlphabet[value])] = static_cast<unsigned char>(value);
  }
  return table;
}

// The table value of token[i], 0 past the token's end.
unsigned sextet(std::string_view token, size_t i) {
  return i < token.size() ? b64table[static_cast<unsigned char>(token[i])] : 0u;
}

// Short tokens and texts, what hosts send keystroke by keystroke, are decoded on the stack; only
// longer ones cost an allocation.
constexpr size_t kStackBytes = 256;
constexpr size_t kStackUnits = 128;

bool isHighSurrogate(UniChar unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

// One text event as the system expects it: no source, key code 0 only carrying the text, a key
// down without a key up, the modifiers now held. False when the event could not be made.
bool postTextEvent(const UniChar* units, size_t count) {
  CfOwned<CGEventRef> event(CGEventCreateKeyboardEvent(nullptr, 0, true));
  if (!event) return false;
  CGEventKeyboardSetUnicodeString(event.get(), count, units);
  CGEventSetFlags(event.get(), g_modifierFlags);
  CGEventPost(kCGHIDEventTap, event.get());
  return true;
}

}  // namespace

constexpr std::array<unsigned char, 256> b64table = makeB64Table();
static_assert(b64table['A'] == 0 && b64table['Z'] == 25 && b64table['a'] == 26);
static_assert(b64table['9'] == 61 && b64table['+'] == 62 && b64table['/'] == 63);
static_assert(b64table['='] == 0 && b64table[0xFF] == 0);

size_t decodeBase64(std::string_view token, unsigned char* out) {
  const size_t n = token.size();
  size_t length = 0;
  for (size_t i = 0; i < n; i += 4) {
    const unsigned a = sextet(token, i);
    const unsigned b = sextet(token, i + 1);
    const unsigned c = sextet(token, i + 2);
    const unsigned d = sextet(token, i + 3);
    out[length++] = static_cast<unsigned char>((a << 2 | b >> 4) & 0xFF);
    if (i + 2 < n && token[i + 2] != '=') {
      out[length++] = static_cast<unsigned char>((b << 4 | c >> 2) & 0xFF);
    }
    if (i + 3 < n && token[i + 3] != '=') {
      out[length++] = static_cast<unsigned char>((c << 6 | d) & 0xFF);
    }
  }
  return length;
}

void postBase64Text(std::string_view token) {
  unsigned char small[kStackBytes];
  std::unique_ptr<unsigned char[]> large;
  unsigned char* decoded = small;
  if (token.size() + 1 > sizeof small) {
    large.reset(new (std::nothrow) unsigned char[token.size() + 1]);
    if (!large) return;
    decoded = large.get();
  }
  const size_t length = decodeBase64(token, decoded);
  decoded[length] = '\0';
  // Handed on as a C string: the text ends at its first NUL byte.
  postUnicodeText(reinterpret_cast<const char*>(decoded));
}

void postUnicodeText(const char* text) {
  CfOwned<CFStringRef> string(
      CFStringCreateWithCString(kCFAllocatorDefault, text, kCFStringEncodingUTF8));
  if (!string) return;
  const CFIndex length = CFStringGetLength(string.get());
  if (length <= 0) return;
  const size_t total = static_cast<size_t>(length);
  UniChar small[kStackUnits];
  std::unique_ptr<UniChar[]> large;
  UniChar* units = small;
  if (total > kStackUnits) {
    large.reset(new (std::nothrow) UniChar[total]);
    if (!large) return;
    units = large.get();
  }
  CFStringGetCharacters(string.get(), CFRangeMake(0, length), units);
  // Anything past an event's first 20 units would be dropped by the system, so longer text goes
  // out in consecutive events; a chunk never ends between the two halves of a surrogate pair.
  for (size_t start = 0; start < total;) {
    size_t count = std::min(kMaxUnitsPerTextEvent, total - start);
    if (start + count < total && isHighSurrogate(units[start + count - 1])) --count;
    if (!postTextEvent(units + start, count)) return;
    start += count;
  }
}
