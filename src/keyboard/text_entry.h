// TEXT: Base64 of UTF-8 text, typed as Unicode keyboard events.
#pragma once

#include <string_view>

// Decodes the Base64 token and types the text.
void postBase64Text(std::string_view token);

// Types a NUL-terminated UTF-8 string.
void postUnicodeText(const char* text);
