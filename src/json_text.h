// The JSON that the simulated desktop's trace and the event watcher write, one writer for both, so
// that a line the watcher prints equals the trace's line for the same event.
#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string>

void appendJsonNumber(std::string* out, double value);  // null when not finite

template <typename Integer>
void appendJsonInteger(std::string* out, Integer value) {
  char buffer[32];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out->append(buffer, result.ptr);
}

// One code point as UTF-8.
void appendUtf8(std::string* out, uint32_t c);

// count UTF-16 units as a JSON string in UTF-8: quote, backslash and control characters escaped, a
// lone surrogate written as its escape so that it reads back exactly.
void appendJsonString(std::string* out, const uint16_t* units, size_t count);
