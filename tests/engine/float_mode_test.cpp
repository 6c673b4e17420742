// The engine compares doubles against tight bounds (1e-14, a factor window a
// few ulps wide). Those comparisons only behave the same in every build if
// each double operation is rounded to double at once, as SSE2 does; the x87
// unit's 80-bit registers would keep extra bits. The 32-bit builds therefore
// compile with -msse2 -mfpmath=sse, and this test fails if that is lost.
#include <gtest/gtest.h>

#include <cfloat>

namespace {

static_assert(FLT_EVAL_METHOD == 0, "doubles must be evaluated in double precision (-msse2 -mfpmath=sse)");

TEST(FloatingPointMode, EachOperationRoundsToDouble) {
  // 2^53 + 1 is not a double. Rounded at once, big + 1 is big again and the
  // difference is 0; kept in an 80-bit register it would come out as 1.
  volatile double big = 9007199254740992.0;  // 2^53
  volatile double one = 1.0;
  const double difference = (big + one) - big;
  EXPECT_EQ(difference, 0.0);

  // (1 + 2^-30)^2 = 1 + 2^-29 + 2^-60: the last term fits in 80 bits but not
  // in a double, so only an unrounded product leaves it after subtracting.
  volatile double a = 1.0 + 0x1p-30;
  volatile double rounded = 1.0 + 0x1p-29;
  const double residue = a * a - rounded;
  EXPECT_EQ(residue, 0.0) << "the product was not rounded to double before the subtraction";
}

}  // namespace
