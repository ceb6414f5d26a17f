#include "keyboard/text_entry.h"

// Placeholder until text entry lands.
void postBase64Text(std::string_view) {}
void postUnicodeText(const char*) {}
