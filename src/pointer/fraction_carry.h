// Whole units out of fractional amounts that come one at a time (pixels of scrolling, of relative
// motion): what is not whole yet is carried on to the next amount.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

// The carry is an integer count of millionths, not a double: a double's remainder loses a unit to
// binary rounding now and then, so that 100,000 tenths made 9,999.
class FractionCarry {
 public:
  static constexpr int64_t kParts = 1000000;  // parts of a unit carried
  // An amount beyond this counts as this much, so that its parts, with the carry, fit an int64.
  static constexpr double kMaxAmount = 1e9;
  static_assert(kMaxAmount * kParts + kParts < 0x1p62);

  // The whole units that amount completes with the carry, truncated toward zero; the rest is
  // carried. Amounts count to the nearest millionth; one that is no number counts as 0.
  int64_t add(double amount) {
    const double limited = std::isfinite(amount) ? std::clamp(amount, -kMaxAmount, kMaxAmount) : 0;
    carried_ += static_cast<int64_t>(std::round(limited * kParts));
    const int64_t whole = carried_ / kParts;
    carried_ -= whole * kParts;
    return whole;
  }

 private:
  int64_t carried_ = 0;  // always within one unit either side of 0
};
