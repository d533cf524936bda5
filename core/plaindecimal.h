// The fast path both grid readers share: a plain decimal read while its token is scanned.
#pragma once

#include <cstdint>

namespace karvelo {

struct PlainDecimal {
  const char* end;  // the first character not taken
  double value;
  bool exact;  // 1 to 15 digits were read: the value is the correctly rounded one
};

// Reads an optional '-', digits and at most one point from [start, stop), no exponent. Up to 15
// digits and the power of ten are both exact in a double, so one division gives the correctly
// rounded value. The caller decides whether the token ends at `end`.
inline PlainDecimal ScanPlainDecimal(const char* start, const char* stop) {
  static constexpr double kPow10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8,
                                      1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16};
  const char* q = start;
  const bool negative = q < stop && *q == '-';
  if (negative) ++q;
  std::uint64_t v = 0;
  int digits = 0, decimals = -1;
  for (; q < stop; ++q) {
    const unsigned d = static_cast<unsigned char>(*q) - '0';
    if (d <= 9) {
      v = v * 10 + d;
      ++digits;
      decimals += decimals >= 0;
    } else if (*q == '.' && decimals < 0) {
      decimals = 0;
    } else {
      break;
    }
  }
  PlainDecimal result{q, 0.0, digits > 0 && digits <= 15};
  if (result.exact) {
    const double value = decimals > 0 ? static_cast<double>(v) / kPow10[decimals] : static_cast<double>(v);
    result.value = negative ? -value : value;
  }
  return result;
}

}  // namespace karvelo
