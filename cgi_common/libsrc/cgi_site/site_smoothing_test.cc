#include "site_smoothing.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "testing/site_fixture.h"

namespace {

using site_test::Rows;

TEST(SiteSmoothing, OnePassOfRowsThenColumnsFromUnsmoothedNeighbours) {
    Rows one({{10, -60, 20, 40, 60}, {-60, 10, 20, -60, -60}});
    ASSERT_EQ(fnVyqSmooth(one.data(), 2, 5), 0);
    // (10, -60, 20): the gap takes the mean; (20, 40, 60) smooths to 40, and the cell after
    // the gap uses the gap's old value (-60), so it stays 20.
    EXPECT_EQ(one.cells[0], (std::vector<float>{10, 15, 20, 40, 60}));
    EXPECT_EQ(one.cells[1], (std::vector<float>{-60, 10, 20, -60, -60}));

    // Columns are smoothed after the rows, with the rows' results.
    Rows col({{0, 0, 0}, {0, 8, 0}, {0, 0, 0}});
    ASSERT_EQ(fnVyqSmooth(col.data(), 3, 3), 0);
    EXPECT_EQ(col.cells[1][1], 2.0f);  // row pass: 4; column pass: (0 + 8 + 0) / 4
    EXPECT_EQ(col.cells[1][0], 0.0f);
    EXPECT_EQ(col.cells[0][1], 0.0f);  // end cells never change

    EXPECT_EQ(fnVyqSmooth(nullptr, 3, 3), -1);
    float* missing[2] = {one.ptrs[0], nullptr};
    EXPECT_EQ(fnVyqSmooth(missing, 2, 5), -1);
    EXPECT_EQ(fnVyqSmooth(one.data(), 0, 0), 0);
}

}  // namespace
