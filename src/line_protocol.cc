#include "line_protocol.h"

#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <string>

namespace {

// isspace in the C locale, without its locale lookup or its undefined behaviour on negative chars.
bool isCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

constexpr uint64_t kOnes = 0x0101010101010101ull;
constexpr uint64_t kLows = 0x7F7F7F7F7F7F7F7Full;
constexpr uint64_t kHighs = 0x8080808080808080ull;
constexpr uint64_t kSpaces = 0x2020202020202020ull;

// Bit i set where p[i] is not a space, for the eight bytes at p, on a little-endian machine. In
// x = word ^ spaces a space is a zero byte; (x & lows) + lows carries into a byte's high bit
// exactly when one of its low seven bits is set, and x has that bit when its own high bit is set,
// so no byte borrows from or carries into another. The multiplication gathers the eight high bits
// into the top byte, byte i to bit 56 + i, each product term landing on a bit of its own.
uint64_t tokenByteBits(const char* p) {
  uint64_t word;
  std::memcpy(&word, p, sizeof word);
  const uint64_t x = word ^ kSpaces;
  const uint64_t nonZero = (((x & kLows) + kLows) | x) & kHighs;
  return ((nonZero >> 7) * 0x0102040810204080ull) >> 56;
}

// A line of at most 64 bytes, the usual one, as one mask with a bit for each token byte: each
// token is then a run of set bits, found without a branch per byte. A line's last bytes are read
// as its last eight, whose bits for bytes already read are the same bits again.
void tokenizeShortLine(const char* begin, size_t size, TokenList* list) {
  uint64_t bits = 0;
  if (size >= 8) {
    size_t i = 0;
    for (; i + 8 <= size; i += 8) bits |= tokenByteBits(begin + i) << i;
    if (i < size) bits |= tokenByteBits(begin + size - 8) << (size - 8);
  } else {
    for (size_t i = 0; i < size; ++i) bits |= uint64_t{begin[i] != ' '} << i;
  }
  // A line of 64 bytes holds at most 32 tokens, so the token limit never cuts it short.
  static_assert(kMaxTokens >= 32);
  int count = 0;
  while (bits != 0) {
    const int start = std::countr_zero(bits);
    const uint64_t after = ~(bits >> start);  // zero over the token, then its end
    const int length = after == 0 ? 64 : std::countr_zero(after);
    list->tokens[count++] = std::string_view(begin + start, static_cast<size_t>(length));
    bits = start + length >= 64 ? 0 : bits & (~uint64_t{0} << (start + length));
  }
  list->count = count;
}

// The first space in [p, end), or end; line is where the line begins, at or before p. Eight
// bytes at a time where the host's byte order allows: in x ^ spaces a space is a zero byte, and
// (x - ones) & ~x & highs marks the lowest zero byte exactly (a borrow can only mark bytes above
// it), which on a little-endian machine is the first. Fewer than eight bytes left are read as the
// line's last eight, the bytes before p masked off so that they mark nothing and borrow nothing.
const char* findSpace(const char* p, const char* line, const char* end) {
  if constexpr (std::endian::native == std::endian::little) {
    while (end - p >= 8) {
      uint64_t word;
      std::memcpy(&word, p, sizeof word);
      const uint64_t x = word ^ kSpaces;
      const uint64_t found = (x - kOnes) & ~x & kHighs;
      if (found != 0) return p + (std::countr_zero(found) >> 3);
      p += 8;
    }
    if (p == end) return end;
    if (end - line >= 8) {
      const char* last = end - 8;
      uint64_t word;
      std::memcpy(&word, last, sizeof word);
      const int before = static_cast<int>(p - last);  // 1 to 7
      const uint64_t x = (word ^ kSpaces) | ((uint64_t{1} << (before * 8)) - 1);
      const uint64_t found = (x - kOnes) & ~x & kHighs;
      return found != 0 ? last + (std::countr_zero(found) >> 3) : end;
    }
  }
  while (p != end && *p != ' ') ++p;
  return p;
}

}  // namespace

void tokenizeLine(std::string_view line, TokenList* list) {
  const char* const begin = line.data();
  if constexpr (std::endian::native == std::endian::little) {
    if (line.size() <= 64) {
      tokenizeShortLine(begin, line.size(), list);
      return;
    }
  }
  const char* const end = begin + line.size();
  const char* p = begin;
  int count = 0;
  while (p != end && *p == ' ') ++p;
  while (p != end && count < kMaxTokens) {
    const char* start = p;
    p = findSpace(p + 1, begin, end);  // a token's first byte is never a space
    list->tokens[count++] = std::string_view(start, static_cast<size_t>(p - start));
    while (p != end && *p == ' ') ++p;
  }
  list->count = count;
}

TokenList tokenizeLine(std::string_view line) {
  TokenList list;
  tokenizeLine(line, &list);
  return list;
}

void writeReply(FILE* out, std::string_view first, std::string_view second) {
  static char buffer[kLineBufferSize + 64];
  size_t length = 0;
  for (std::string_view part : {first, second}) {
    part = part.substr(0, sizeof buffer - 1 - length);
    part.copy(buffer + length, part.size());
    length += part.size();
  }
  buffer[length++] = '\n';
  std::fwrite(buffer, 1, length, out);
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

namespace {

// Plain decimals such as "812", "-3" and "100.7", the coordinates hosts send, read without strtod
// and to the same value: with at most 15 digits the digits make an integer a double holds exactly,
// as it holds every power of ten up to 10^15, so the one division rounds once, to nearest, as
// strtod does. False for every other form, which strtod reads.
bool parsePlainDecimal(std::string_view text, double* value) {
  static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                            1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  constexpr ptrdiff_t kMaxDigits = 15;
  const char* p = text.data();
  const char* const end = p + text.size();
  bool negative = false;
  if (p != end && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
  }
  // Too many digits only make the sum wrap (unsigned, so defined) before it is turned down below.
  uint64_t digits = 0;
  const char* const integerStart = p;
  for (; p != end && static_cast<unsigned char>(*p - '0') < 10; ++p) {
    digits = digits * 10 + static_cast<uint64_t>(*p - '0');
  }
  const ptrdiff_t integerDigits = p - integerStart;
  ptrdiff_t fractionDigits = 0;
  if (p != end) {
    if (*p != '.') return false;
    const char* const fractionStart = ++p;
    for (; p != end && static_cast<unsigned char>(*p - '0') < 10; ++p) {
      digits = digits * 10 + static_cast<uint64_t>(*p - '0');
    }
    fractionDigits = p - fractionStart;
    // "5." and "5.x" are left to strtod, as are ".5" and a bare sign below.
    if (p != end || fractionDigits == 0) return false;
  }
  if (integerDigits == 0 || integerDigits + fractionDigits > kMaxDigits) return false;
  const double magnitude = fractionDigits == 0
                               ? static_cast<double>(digits)
                               : static_cast<double>(digits) / kPowersOfTen[fractionDigits];
  *value = negative ? -magnitude : magnitude;
  return true;
}

// Every form but the plain one: strtod needs a terminated string. Tokens are short, and a long
// one only costs a copy. Kept apart, so that the plain path carries none of this.
[[gnu::noinline]] double parseRealWithStrtod(std::string_view text) {
  char small[64];
  std::string large;
  const char* terminated;
  if (text.size() < sizeof small) {
    text.copy(small, text.size());
    small[text.size()] = '\0';
    terminated = small;
  } else {
    large.assign(text);
    terminated = large.c_str();
  }
  return std::strtod(terminated, nullptr);
}

}  // namespace

double parseReal(std::string_view text) {
  double value = 0;
  if (parsePlainDecimal(text, &value)) return value;
  return parseRealWithStrtod(text);
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
