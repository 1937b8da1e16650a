#include "composite_lookup.h"

#include <gtest/gtest.h>

#include "testing/composite_storm_fixture.h"

namespace {

using comp_test::ImageGrid;

constexpr float kOutside = -9998.0f;
constexpr float kMissing = -9999.0f;

// A plane is its own bilinear interpolation.
float plane(double r, double c) {
    return static_cast<float>(10.0 + 2.0 * r + 3.0 * c);
}

TEST(CompositeSmoothLookup, InterpolatesInnerCellsAndReturnsCellValuesOnTheirCorners) {
    ImageGrid g(6, 6, [](int r, int c) { return plane(r, c); });
    // Four pixels per cell, no offset: pixel p is at cell p / 4.
    const auto smooth = [&](int col, int row) {
        return fnCalcRadarValueSmooth(g.data(), 6, 6, 0, 0, col, row, 4.0f, 4.0f);
    };
    const auto smooth480 = [&](int col, int row) {
        return fnCalcRadarValueSmooth480(g.data(), 6, 6, 0, 0, col, row, 4.0f, 4.0f);
    };
    EXPECT_FLOAT_EQ(smooth(9, 5), plane(1.25, 2.25) + 0.5f);
    EXPECT_FLOAT_EQ(smooth480(9, 5), plane(1.25, 2.25));
    EXPECT_FLOAT_EQ(smooth(17, 15), plane(3.75, 4.25) + 0.5f);
    // On a cell's corner the cell value itself, without the 0.5.
    EXPECT_EQ(smooth(8, 12), plane(3, 2));
    EXPECT_EQ(smooth480(8, 12), plane(3, 2));
    // On a whole row only the row's two cells count.
    EXPECT_FLOAT_EQ(smooth(10, 8), plane(2, 2.5) + 0.5f);
    // The first and last rows and columns are not interpolated.
    EXPECT_EQ(smooth(2, 8), kOutside);
    EXPECT_EQ(smooth(8, 3), kOutside);
    EXPECT_EQ(smooth(20, 8), kOutside);
    EXPECT_EQ(smooth(8, 21), kOutside);
    EXPECT_EQ(smooth480(21, 8), kOutside);
}

TEST(CompositeSmoothLookup, CodeNeighboursStayOutOfTheSum) {
    ImageGrid g(5, 5, 20.0f);
    g.at(2, 3) = kOutside;
    g.at(3, 2) = kMissing;
    g.at(3, 3) = -5.0f;
    // Halfway between (2, 2), (2, 3), (3, 2), (3, 3), two pixels per cell.
    const float v = fnCalcRadarValueSmooth(g.data(), 5, 5, 0, 0, 5, 5, 2.0f, 2.0f);
    // Outside and missing count as no echo; -5 is a value.
    EXPECT_FLOAT_EQ(v, (20.0f + 0.0f + 0.0f - 5.0f) / 4.0f + 0.5f);
    const float v480 = fnCalcRadarValueSmooth480(g.data(), 5, 5, 0, 0, 5, 5, 2.0f, 2.0f);
    EXPECT_FLOAT_EQ(v480, 20.0f / 4.0f);

    // All four codes: missing, whichever codes they are; the pixel's own cell outside:
    // outside.
    g.at(2, 2) = kMissing;
    g.at(3, 3) = kOutside;
    EXPECT_EQ(fnCalcRadarValueSmooth(g.data(), 5, 5, 0, 0, 5, 5, 2.0f, 2.0f), kMissing);
    EXPECT_EQ(fnCalcRadarValueSmooth480(g.data(), 5, 5, 0, 0, 5, 5, 2.0f, 2.0f), 0.0f);
    g.at(2, 2) = kOutside;
    EXPECT_EQ(fnCalcRadarValueSmooth(g.data(), 5, 5, 0, 0, 5, 5, 2.0f, 2.0f), kOutside);
    EXPECT_EQ(fnCalcRadarValueSmooth480(g.data(), 5, 5, 0, 0, 5, 5, 2.0f, 2.0f), kOutside);
}

}  // namespace
