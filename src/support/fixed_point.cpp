// 16.16 fixed-point division and conversion.
#include "support/fixed_point.h"

#include "support/memory.h"

int32_t MetricDiv(int32_t a, int32_t b) {
  if (b == 0) {
    FatalError();
    // Reached only when the host resumed after the fatal stop.
    return a > 0 ? kMetricMax : kMetricMin;
  }
  if (b == kMetricOne) {
    return a;
  }
  if ((b & 0xFFFF) == 0) {
    // A whole number: plain integer division. -1 is the one whole divisor whose
    // quotient can overflow (the most negative a); it saturates.
    int32_t whole = b / kMetricOne;
    if (whole == -1 && a == INT32_MIN) {
      return kMetricMax;
    }
    return a / whole;
  }

  const bool negative = (a > 0) != (b > 0);
  const uint64_t dividend =
      a < 0 ? 0 - static_cast<uint64_t>(static_cast<int64_t>(a)) : static_cast<uint64_t>(a);
  uint64_t divisor =
      b < 0 ? 0 - static_cast<uint64_t>(static_cast<int64_t>(b)) : static_cast<uint64_t>(b);

  // Double the divisor until it reaches the dividend. Sixteen doublings or more
  // mean a quotient beyond the 16.16 range.
  int shifts = 0;
  while (divisor < dividend) {
    divisor <<= 1;
    ++shifts;
  }
  if (shifts >= 16) {
    return negative ? kMetricMin : kMetricMax;
  }

  // Shift-and-subtract: one quotient bit per step, shifts integer bits and
  // sixteen fraction bits, giving dividend * 65536 / |b| truncated.
  uint64_t remainder = dividend;
  uint64_t quotient = 0;
  for (int bit = shifts + 16; bit >= 0; --bit) {
    quotient <<= 1;
    if (remainder >= divisor) {
      remainder -= divisor;
      quotient |= 1;
    }
    remainder <<= 1;
  }

  // quotient is at most 2^31 here (exactly 32768.0): that fits only when
  // negative, so a positive 32768.0 saturates like any larger quotient.
  if (negative) {
    return quotient >= 0x80000000u ? kMetricMin : -static_cast<int32_t>(quotient);
  }
  return quotient > 0x7FFFFFFFu ? kMetricMax : static_cast<int32_t>(quotient);
}

float MetricToFloat(int32_t m) { return static_cast<float>(m) * (1.0f / 65536.0f); }
