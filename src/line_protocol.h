// The line protocol's lexical rules: the line buffer's size, splitting a line into tokens, and
// the numbers commands take as arguments.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>

// One line buffer for the whole run; one read takes at most kLineBufferSize - 1 bytes.
inline constexpr size_t kLineBufferSize = 65536;
inline constexpr int kMaxTokens = 64;

struct TokenList {
  std::string_view tokens[kMaxTokens];
  int count = 0;
};

// Splits at space characters only: runs of spaces are one separator, leading and trailing spaces
// give no token, tabs and other white space belong to tokens. Tokens past the 64th are dropped.
TokenList tokenizeLine(std::string_view line);

// Writes one reply line, first then second then a line feed, in one write, and flushes it: the
// host reads line by line and must never wait on a buffered reply.
void writeReply(FILE* out, std::string_view first, std::string_view second = {});

// An integer as atoi reads it (leading white space, optional sign, the longest run of decimal
// digits, 0 when none), except that a value beyond 32 bits saturates instead of being undefined.
int32_t parseInteger(std::string_view text);

// A real as atof reads it in the C locale (decimal, hex, exponent, inf and nan forms).
double parseReal(std::string_view text);

// A double converted to int by truncation toward zero, defined for every input: NaN gives 0, values
// beyond the int range give its nearest limit.
int truncateToInt(double value);

// The same for the 64-bit integer fields of events.
int64_t truncateToInt64(double value);
