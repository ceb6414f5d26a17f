// TEXT: Base64 of UTF-8 text, typed as Unicode keyboard events.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

// Base64 alphabet values by byte; every byte outside the alphabet ("=" included) reads as 0.
extern const std::array<unsigned char, 256> b64table;

// macOS hands an application at most this many UTF-16 units from one keyboard event's string.
inline constexpr size_t kMaxUnitsPerTextEvent = 20;

// Decodes a Base64 token into out, which must hold token.size() bytes; returns the number of bytes
// written (never more than token.size()). Never rejects: characters outside the alphabet count as
// 0, "=" only suppresses the second or third byte of its group, and a short last group still
// yields its first byte.
size_t decodeBase64(std::string_view token, unsigned char* out);

// Decodes the Base64 token and types the text, up to its first NUL byte.
void postBase64Text(std::string_view token);

// Types a NUL-terminated UTF-8 string; nothing when it is not valid UTF-8.
void postUnicodeText(const char* text);
