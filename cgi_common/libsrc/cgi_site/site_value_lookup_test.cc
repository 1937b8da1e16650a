#include "site_value_lookup.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "testing/site_fixture.h"

namespace {

using site_test::Rows;

TEST(SiteValueLookup, PixelToCellTruncatesTowardZeroAndAnswersOutsideCode) {
    Rows g({{1, 2, 3}, {4, 5, 6}});
    // Three pixels per column, two per row, the grid starting at pixel (10, 20).
    EXPECT_EQ(fnCalcRadarValue(g.data(), 3, 2, 10, 20, 10, 20, 3.0f, 2.0f), 1.0f);
    EXPECT_EQ(fnCalcRadarValue(g.data(), 3, 2, 10, 20, 18, 23, 3.0f, 2.0f), 6.0f);
    EXPECT_EQ(fnCalcRadarValue(g.data(), 3, 2, 10, 20, 8, 20, 3.0f, 2.0f), 1.0f);  // -2/3 -> 0
    EXPECT_EQ(fnCalcRadarValue(g.data(), 3, 2, 10, 20, 7, 20, 3.0f, 2.0f), -9998.0f);
    EXPECT_EQ(fnCalcRadarValue(g.data(), 3, 2, 10, 20, 19, 20, 3.0f, 2.0f), -9998.0f);
    EXPECT_EQ(fnCalcRadarValue(g.data(), 3, 2, 10, 20, 10, 24, 3.0f, 2.0f), -9998.0f);
    EXPECT_EQ(fnCalcRadarValue(g.data(), 3, 2, 10, 20, 10, 20, 0.0f, 2.0f), -9998.0f);
    EXPECT_EQ(fnCalcRadarValue(nullptr, 3, 2, 10, 20, 10, 20, 3.0f, 2.0f), -9998.0f);
    EXPECT_EQ(fnCalcRadarValue_Map(g.data(), 3, 2, 10, 20, 16, 23, 3.0f), 6.0f);
    EXPECT_EQ(fnCalcRadarValue_Map(g.data(), 3, 2, 10, 20, 16, 27, 3.0f), -9998.0f);
}

}  // namespace
