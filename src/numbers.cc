#include "numbers.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

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

namespace {

// A decimal in exponent form: the significant digits, the first one before the point, and the
// power of ten of that first digit.
struct Decimal {
  std::string digits;
  int exponent = 0;
};

Decimal roundedTo(double magnitude, int digits) {
  char text[40];
  std::snprintf(text, sizeof text, "%.*e", digits - 1, magnitude);
  Decimal decimal;
  const char* p = text;
  for (; *p != 'e'; ++p) {
    if (*p != '.') decimal.digits += *p;
  }
  decimal.exponent = std::atoi(p + 1);
  return decimal;
}

// The next decimal up with as many digits: 1.99 gives 2.00, 9.99 gives 1.00 ten times larger.
Decimal nextUp(Decimal decimal) {
  size_t i = decimal.digits.size();
  while (i > 0 && decimal.digits[i - 1] == '9') decimal.digits[--i] = '0';
  if (i > 0) {
    ++decimal.digits[i - 1];
  } else {
    decimal.digits.insert(0, 1, '1');
    decimal.digits.pop_back();
    ++decimal.exponent;
  }
  return decimal;
}

bool readsBackAs(const Decimal& decimal, double magnitude) {
  const std::string text = decimal.digits.substr(0, 1) + "." + decimal.digits.substr(1) + "e" +
                           std::to_string(decimal.exponent);
  return std::strtod(text.c_str(), nullptr) == magnitude;
}

// The fewest digits that read back exactly: printf's rounding to that many digits, or, where the
// gap to the next double down is half the gap up (a power of two), the decimal just above it.
Decimal shortestDigits(double magnitude) {
  for (int digits = 1; digits < 17; ++digits) {
    const Decimal rounded = roundedTo(magnitude, digits);
    if (readsBackAs(rounded, magnitude)) return rounded;
    const Decimal above = nextUp(rounded);
    if (readsBackAs(above, magnitude)) return above;
  }
  return roundedTo(magnitude, 17);  // 17 digits always read back
}

}  // namespace

std::string shortestDecimal(double value) {
  if (std::isnan(value)) return std::signbit(value) ? "-nan" : "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  const std::string sign = std::signbit(value) ? "-" : "";
  const Decimal decimal = shortestDigits(std::fabs(value));
  const std::string& mantissa = decimal.digits;
  const int exponent = decimal.exponent;
  const int count = static_cast<int>(mantissa.size());

  std::string scientific = sign + mantissa[0];
  if (count > 1) scientific += '.' + mantissa.substr(1);
  char tail[16];
  std::snprintf(tail, sizeof tail, "e%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
  scientific += tail;

  std::string plain = sign;
  if (exponent < 0) {
    plain += "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + mantissa;
  } else if (exponent + 1 >= count) {
    // A whole number written out in full shows its exact digits, as to_chars does, rather than
    // padding the shortest ones with zeros: the same length, and still the same double.
    char whole[320];
    std::snprintf(whole, sizeof whole, "%.0f", std::fabs(value));
    plain += whole;
  } else {
    plain += mantissa.substr(0, static_cast<size_t>(exponent + 1)) + '.' +
             mantissa.substr(static_cast<size_t>(exponent + 1));
  }
  return plain.size() <= scientific.size() ? plain : scientific;
}
