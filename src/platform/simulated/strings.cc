// CoreFoundation strings: made from UTF-8 as CoreFoundation decodes it, read as UTF-16 units.
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "platform/quartz.h"
#include "platform/simulated/desktop.h"
#include "platform/simulated/objects.h"
#include "platform/simulated/simulation.h"

extern "C" const CFAllocatorRef kCFAllocatorDefault = nullptr;

namespace simulated {
namespace {

// Strict UTF-8 as CoreFoundation takes it: no overlong forms, no surrogates, nothing above
// U+10FFFF, no truncated sequence. False when the bytes are not UTF-8.
bool decodeUtf8(const unsigned char* s, std::u16string* out) {
  out->reserve(std::strlen(reinterpret_cast<const char*>(s)));  // never more units than bytes
  while (*s != 0) {
    uint32_t c = *s++;
    int extra = 0;
    uint32_t min = 0;
    if (c < 0x80) {
      *out += static_cast<char16_t>(c);
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
      *out += static_cast<char16_t>(0xD800 + (c >> 10));
      *out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      *out += static_cast<char16_t>(c);
    }
  }
  return true;
}

}  // namespace
}  // namespace simulated

extern "C" {

CFStringRef CFStringCreateWithCString(CFAllocatorRef, const char* cStr, CFStringEncoding encoding) {
  const simulated::Desktop& d = simulated::desktop();
  if (cStr == nullptr) simulated::fatal("CFStringCreateWithCString(NULL)", "");
  if (encoding != kCFStringEncodingUTF8) simulated::fatal("only UTF-8 is simulated", "");
  if (d.failures & kSimFailString) return nullptr;
  std::u16string units;
  if (!simulated::decodeUtf8(reinterpret_cast<const unsigned char*>(cStr), &units)) return nullptr;
  auto* string = new __CFString{std::move(units)};
  simulated::track(string, simulated::ObjectKind::String);
  return string;
}

// One object per distinct text, as the compiler makes one per literal: made once, never freed.
CFStringRef __CFStringMakeConstantString(const char* cStr) {
  if (cStr == nullptr) simulated::fatal("CFSTR(NULL)", "");
  static auto* made = new std::map<std::string, std::unique_ptr<__CFString>>;
  std::unique_ptr<__CFString>& string = (*made)[cStr];
  if (!string) {
    string = std::make_unique<__CFString>();
    // CFSTR takes ASCII in practice; bytes that are not UTF-8 are kept one unit each.
    if (!simulated::decodeUtf8(reinterpret_cast<const unsigned char*>(cStr), &string->units)) {
      string->units.assign(cStr, cStr + std::strlen(cStr));
    }
    simulated::trackConstant(string.get(), simulated::ObjectKind::String);
  }
  return string.get();
}

CFIndex CFStringGetLength(CFStringRef theString) {
  return static_cast<CFIndex>(simulated::liveString(theString)->units.size());
}

void CFStringGetCharacters(CFStringRef theString, CFRange range, UniChar* buffer) {
  const __CFString* s = simulated::liveString(theString);
  CFIndex size = static_cast<CFIndex>(s->units.size());
  // CoreFoundation raises on a range outside the string.
  if (range.location < 0 || range.length < 0 || range.location > size ||
      range.length > size - range.location) {
    simulated::fatal("CFStringGetCharacters range out of bounds", "");
  }
  if (range.length > 0) {
    std::memcpy(buffer, s->units.data() + range.location,
                static_cast<size_t>(range.length) * sizeof(UniChar));
  }
}

}  // extern "C"
