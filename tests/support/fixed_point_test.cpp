// Tests of 16.16 metric division and conversion.
#include "support/fixed_point.h"

#include <gtest/gtest.h>

#include "../fatal_stop.h"

#include "platform/winapi.h"

namespace {

struct DivisionCase {
  int32_t a;
  int32_t b;
  int32_t quotient;
};

TEST(MetricDivision, WholeAndFractionalDivisors) {
  const DivisionCase cases[] = {
      {6 * 65536, 65536, 6 * 65536},     // one: unchanged
      {65536, 2 * 65536, 32768},         // 0.5
      {-65536, 2 * 65536, -32768},       // -0.5
      {7 * 65536, -2 * 65536, -229376},  // whole divisor: -3.5
      {-7, 2 * 65536, -3},               // integer division truncates toward zero
      {65536, 3 * 65536, 21845},         // 0.3333 truncated
      {65536, 32768, 131072},            // divide by 0.5
      {-65536, 32768, -131072},
      {65536, -32768, -131072},
      {-65536, -32768, 131072},
      {10 * 65536, 3 * 65536 + 32768, 187245},  // 10 / 3.5 = 2.857...
      {1, 3, 21845},                            // tiny values: 65536 / 3
      {0, 12345, 0},
      {0, -12345, 0},
      {5, 70000, 4},
  };
  for (const DivisionCase& c : cases) {
    EXPECT_EQ(MetricDiv(c.a, c.b), c.quotient) << c.a << " / " << c.b;
  }
}

TEST(MetricDivision, SaturatesBeyondTheRange) {
  // |a| > 32768 * |b|: sixteen or more doublings.
  EXPECT_EQ(MetricDiv(INT32_MAX, 1), INT32_MAX);
  EXPECT_EQ(MetricDiv(INT32_MAX, -1), INT32_MIN);
  EXPECT_EQ(MetricDiv(-INT32_MAX, 3), INT32_MIN);
  EXPECT_EQ(MetricDiv(INT32_MIN, 1), INT32_MIN);
  EXPECT_EQ(MetricDiv(32768 * 3 + 1, 3), INT32_MAX);
  // Whole divisor -1 with the most negative value cannot be negated.
  EXPECT_EQ(MetricDiv(INT32_MIN, -65536), INT32_MAX);
  // Just inside the range.
  EXPECT_EQ(MetricDiv(32767 * 3, 3), 32767 * 65536);
  EXPECT_EQ(MetricDiv(-(32767 * 3), 3), -32767 * 65536);
}

TEST(MetricDivision, ExactlyPlusOrMinus32768) {
  // +32768.0 does not fit and saturates; -32768.0 is the most negative value.
  EXPECT_EQ(MetricDiv(32768 * 3, 3), INT32_MAX);
  EXPECT_EQ(MetricDiv(-32768 * 3, 3), INT32_MIN);
  EXPECT_EQ(MetricDiv(32768 * 3, -3), INT32_MIN);
  EXPECT_EQ(MetricDiv(-32768 * 3, -3), INT32_MAX);
}

TEST(MetricDivision, DivisorZeroIsFatal) {
  bool after = false;
  EXPECT_EQ(FatalStopCode([&] {
              MetricDiv(65536, 0);
              after = true;
            }),
            1u);
  EXPECT_FALSE(after);
}

// Should the host resume after the fatal stop, the quotient saturates by the
// dividend's sign (0 counts as negative).
TEST(MetricDivision, DivisorZeroSaturatesWhenTheHostResumes) {
  const struct {
    int32_t dividend;
    int32_t expected;
  } cases[] = {{65536, INT32_MAX}, {1, INT32_MAX}, {0, INT32_MIN}, {-1, INT32_MIN}, {INT32_MIN, INT32_MIN}};
  for (const auto& c : cases) {
    int32_t result = 0;
    EXPECT_EQ(ResumedStopCode([&] { result = MetricDiv(c.dividend, 0); }), 1u) << c.dividend;
    EXPECT_EQ(result, c.expected) << c.dividend;
  }
}

TEST(MetricConversion, ToFloat) {
  EXPECT_FLOAT_EQ(MetricToFloat(6 * 65536), 6.0f);
  EXPECT_FLOAT_EQ(MetricToFloat(-32768), -0.5f);
  EXPECT_FLOAT_EQ(MetricToFloat(1), 1.0f / 65536);
  // Single precision rounds large values before scaling.
  EXPECT_FLOAT_EQ(MetricToFloat(INT32_MAX), 32768.0f);
}

}  // namespace
