// TEXT: Base64 of UTF-8 text, typed as Unicode keyboard events by Keyboard::postBase64Text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// macOS hands an application at most this many UTF-16 units from one keyboard event's string.
inline constexpr size_t kMaxUnitsPerTextEvent = 20;

// Decodes a Base64 token. Never rejects: characters outside the alphabet count as 0, "=" only
// suppresses the second or third byte of its group, and a short last group still yields its
// first byte.
std::string decodeBase64(std::string_view token);

// The UTF-16 units of a NUL-terminated UTF-8 string, as CFString reads it; empty when it is not
// valid UTF-8 (such text types nothing).
std::u16string utf16Units(const char* text);
