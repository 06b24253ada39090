// 16.16 fixed-point metrics: division and conversion to floating point.
//
// A metric is a signed 32-bit value with 16 fraction bits; 65536 is 1.0 (for
// lengths, one point).
#ifndef GRIDWRIGHT_SUPPORT_FIXED_POINT_H
#define GRIDWRIGHT_SUPPORT_FIXED_POINT_H

#include <stdint.h>

constexpr int32_t kMetricOne = 65536;
constexpr int32_t kMetricMax = INT32_MAX;  // saturation value for positive results
constexpr int32_t kMetricMin = INT32_MIN;  // saturation value for negative results

// The 16.16 quotient a / b, truncated toward zero. A quotient beyond the 16.16
// range saturates to kMetricMax or kMetricMin by its sign; +32768.0 (which does
// not fit) gives kMetricMax and -32768.0 gives kMetricMin, which is exact. A
// divisor of 0 is fatal (FatalError).
int32_t MetricDiv(int32_t a, int32_t b);

// m as a single-precision value: (float)m * (1.0f / 65536).
float MetricToFloat(int32_t m);

#endif  // GRIDWRIGHT_SUPPORT_FIXED_POINT_H
