#include "json_text.h"

#include <cmath>
#include <cstdio>

#include "numbers.h"

namespace {

void appendEscapedUnit(std::string* out, unsigned unit) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "\\u%04x", unit);
  *out += buffer;
}

}  // namespace

void appendUtf8(std::string* out, uint32_t c) {
  if (c < 0x80) {
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

void appendJsonNumber(std::string* out, double value) {
  // JSON has no non-finite numbers.
  *out += std::isfinite(value) ? shortestDecimal(value) : "null";
}

void appendJsonString(std::string* out, const uint16_t* units, size_t count) {
  *out += '"';
  for (size_t i = 0; i < count; ++i) {
    uint32_t c = units[i];
    const bool pairs = c >= 0xD800 && c <= 0xDBFF && i + 1 < count && units[i + 1] >= 0xDC00 &&
                       units[i + 1] <= 0xDFFF;
    if (pairs) {
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
    } else {
      appendUtf8(out, c);
    }
  }
  *out += '"';
}
