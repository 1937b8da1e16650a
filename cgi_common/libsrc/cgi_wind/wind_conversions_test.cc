#include "wind_conversions.h"

#include <gtest/gtest.h>

namespace {

TEST(WindConversions, DirectionIsWhereTheWindBlowsFrom) {
    EXPECT_NEAR(fnUV_To_d(0.0f, -5.0f), 360.0f, 1e-3);  // blowing south: from the north
    EXPECT_NEAR(fnUV_To_d(-5.0f, 0.0f), 90.0f, 1e-3);   // blowing west: from the east
    EXPECT_NEAR(fnUV_To_d(5.0f, 0.0f), 270.0f, 1e-3);
    EXPECT_NEAR(fnUV_To_d(0.001f, 5.0f), 180.0f, 0.02);
    EXPECT_NEAR(fnUV_To_d(3.0f, 3.0f), 225.0f, 1e-3);
    EXPECT_NEAR(fnUV_To_d(-3.0f, -3.0f), 45.0f, 1e-3);
    EXPECT_NEAR(fnUV_To_d(-3.0f, 3.0f), 135.0f, 1e-3);
    EXPECT_NEAR(fnUV_To_d(3.0f, -3.0f), 315.0f, 1e-3);
    EXPECT_FLOAT_EQ(fnUV_To_S(3.0f, -4.0f), 5.0f);
    EXPECT_NEAR(fnR_To_D(3.141592f), 180.0f, 1e-4);
}

}  // namespace
