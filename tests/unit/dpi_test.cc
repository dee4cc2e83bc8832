#include "common/dpi.h"

#include <gtest/gtest.h>

namespace kiln {
namespace {

TEST(DpiScaleTest, ScalesByTheScreenFactorAndRoundsUp) {
  EXPECT_EQ(ScaleByDpiFactor(1024, DpiFactorFromLogPixels(96)), 1024);
  EXPECT_EQ(ScaleByDpiFactor(1024, DpiFactorFromLogPixels(144)), 1536);
  EXPECT_EQ(ScaleByDpiFactor(768, DpiFactorFromLogPixels(144)), 1152);
  // 125 %: 301 * 1.25 = 376.25 rounds up.
  EXPECT_EQ(ScaleByDpiFactor(301, DpiFactorFromLogPixels(120)), 377);
  EXPECT_EQ(ScaleByDpiFactor(0, 1.5f), 0);
}

TEST(DpiScaleTest, NegativeLengthsMoveTowardZero) {
  EXPECT_EQ(ScaleByDpiFactor(-7, 1.5f), -10);  // -10.5
  EXPECT_EQ(ScaleByDpiFactor(-10, 1.0f), -10);
}

TEST(DpiScaleTest, RoundsInSinglePrecision) {
  // 0.1f * 10 is not exactly 1 in double, but the product is taken in float,
  // where it is: no spurious extra pixel.
  EXPECT_EQ(ScaleByDpiFactor(10, 0.1f), 1);
}

}  // namespace
}  // namespace kiln
