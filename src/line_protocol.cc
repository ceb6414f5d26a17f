#include "line_protocol.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

namespace {

// isspace in the C locale, without its locale lookup or its undefined behaviour on negative chars.
bool isCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

TokenList tokenizeLine(std::string_view line) {
  TokenList list;
  size_t i = 0;
  while (list.count < kMaxTokens) {
    while (i < line.size() && line[i] == ' ') ++i;
    if (i == line.size()) break;
    const size_t start = i;
    while (i < line.size() && line[i] != ' ') ++i;
    list.tokens[list.count++] = line.substr(start, i - start);
  }
  return list;
}

void writeReply(FILE* out, std::string_view first, std::string_view second) {
  std::string line;
  line.reserve(first.size() + second.size() + 1);
  line.append(first).append(second).push_back('\n');
  std::fwrite(line.data(), 1, line.size(), out);
  std::fflush(out);
}

int32_t parseInteger(std::string_view text) {
  const char* p = text.data();
  const char* const end = p + text.size();
  while (p != end && isCSpace(*p)) ++p;
  bool negative = false;
  if (p != end && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
  }
  // Once the magnitude reaches 2^31 the result is the nearest limit whatever digits follow, so
  // reading stops there; below it, one more digit cannot overflow 64 bits.
  constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  int64_t magnitude = 0;
  for (; p != end && static_cast<unsigned char>(*p - '0') < 10 && magnitude < kLimit; ++p) {
    magnitude = magnitude * 10 + (*p - '0');
  }
  if (negative) {
    return magnitude >= kLimit ? std::numeric_limits<int32_t>::min()
                               : static_cast<int32_t>(-magnitude);
  }
  return magnitude >= kLimit ? std::numeric_limits<int32_t>::max()
                             : static_cast<int32_t>(magnitude);
}

double parseReal(std::string_view text) {
  // strtod needs a terminated string; it reads every form atof does, in the C locale.
  const std::string terminated(text);
  return std::strtod(terminated.c_str(), nullptr);
}

int truncateToInt(double value) {
  if (std::isnan(value)) return 0;
  if (value <= static_cast<double>(std::numeric_limits<int>::min())) {
    return std::numeric_limits<int>::min();
  }
  if (value >= static_cast<double>(std::numeric_limits<int>::max())) {
    return std::numeric_limits<int>::max();
  }
  return static_cast<int>(value);
}

int64_t truncateToInt64(double value) {
  if (std::isnan(value)) return 0;
  // 2^63 is exact as a double; anything at or beyond it does not fit.
  constexpr double kTwo63 = 9223372036854775808.0;
  if (value >= kTwo63) return std::numeric_limits<int64_t>::max();
  if (value <= -kTwo63) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(value);
}
