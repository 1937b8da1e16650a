// Clipping of map-line polylines to the site grid and the run layout.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "bln_file.h"
#include "bln_test_support.h"
#include "test_support.h"

using blntest::BlnRun;
using blntest::polyline;

namespace {

// KWK, in the middle of the table.
constexpr float kSiteLon = 126.966110f;
constexpr float kSiteLat = 37.441944f;

// Runs bln_file over the given map text and returns the runs it wrote.
std::vector<BlnRun> convert(const std::string& mapText, int mapIndex = 0, int width = 1000,
                            int height = 1000) {
    rdrtest::TempDir dir;
    std::string mapPath = dir.file("map.dat");
    std::string outPath = dir.file("out.bln");
    blntest::writeText(mapPath, mapText);
    FILE* out = std::fopen(outPath.c_str(), "wb");
    EXPECT_NE(out, nullptr);
    BLN_AZED_MAP map = fnBlnSiteMap(kSiteLon, kSiteLat);
    EXPECT_EQ(bln_file(out, mapIndex, mapPath.c_str(), width, height, &map), 0);
    std::fclose(out);
    bool ok = false;
    std::vector<BlnRun> runs = blntest::readRuns(outPath, &ok);
    EXPECT_TRUE(ok) << "output does not split into runs";
    return runs;
}

blntest::BlnPoint project(double lon, double lat) {
    BLN_AZED_MAP map = fnBlnSiteMap(kSiteLon, kSiteLat);
    blntest::BlnPoint p{};
    EXPECT_TRUE(fnBlnAzedForward(float(lon), float(lat), &p.x, &p.y, &map));
    return p;
}

bool onBorder(const blntest::BlnPoint& p, float size = 1000.0f) {
    const float eps = 1e-3f;
    bool inRange = p.x >= -eps && p.x <= size + eps && p.y >= -eps && p.y <= size + eps;
    return inRange && (std::fabs(p.x) < eps || std::fabs(p.x - size) < eps ||
                       std::fabs(p.y) < eps || std::fabs(p.y - size) < eps);
}

// Points every `step` degrees of latitude along one meridian.
std::vector<std::pair<double, double>> meridian(double lon, double lat0, double lat1, double step) {
    std::vector<std::pair<double, double>> pts;
    for (double lat = lat0; lat <= lat1 + 1e-9; lat += step) {
        pts.push_back({lon, lat});
    }
    return pts;
}

TEST(BlnClipping, MeridianThroughSiteIsOneRunAtX500FromBorderToBorder) {
    auto runs = convert(polyline("7", meridian(kSiteLon, kSiteLat - 6.0, kSiteLat + 6.0, 0.5)));
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].type, 7);
    const auto& pts = runs[0].points;
    // 500 km is about 4.5 degrees: 17 points inside plus the two border crossings.
    EXPECT_EQ(pts.size(), 19u);
    for (const auto& p : pts) {
        EXPECT_FLOAT_EQ(p.x, 500.0f);
    }
    EXPECT_NEAR(pts.front().y, 0.0f, 1e-3);
    EXPECT_NEAR(pts.back().y, 1000.0f, 1e-3);
    for (size_t i = 1; i < pts.size(); ++i) {
        EXPECT_GT(pts[i].y, pts[i - 1].y) << "north is up";
    }
}

TEST(BlnClipping, PolylineWhollyInsideIsOneRunOfAllItsPoints) {
    std::vector<std::pair<double, double>> pts = {
        {126.0, 37.0}, {126.5, 37.2}, {127.0, 37.4}, {127.5, 37.9}, {128.0, 38.2}};
    auto runs = convert(polyline("2", pts));
    ASSERT_EQ(runs.size(), 1u);
    ASSERT_EQ(runs[0].points.size(), pts.size());
    for (size_t i = 0; i < pts.size(); ++i) {
        auto expected = project(float(pts[i].first), float(pts[i].second));
        EXPECT_FLOAT_EQ(runs[0].points[i].x, expected.x);
        EXPECT_FLOAT_EQ(runs[0].points[i].y, expected.y);
    }
}

TEST(BlnClipping, PolylineWhollyOutsideWritesNothing) {
    EXPECT_TRUE(convert(polyline("1", {{135.0, 40.0}, {136.0, 41.0}, {137.0, 40.0}})).empty());
}

TEST(BlnClipping, LeavingAndReenteringGivesOneRunPerInsideStretch) {
    // Inside, out to the east, back in, out to the south, back in.
    std::vector<std::pair<double, double>> pts = {{kSiteLon, kSiteLat},
                                                  {kSiteLon + 1.0, kSiteLat},
                                                  {kSiteLon + 8.0, kSiteLat},
                                                  {kSiteLon + 1.0, kSiteLat + 1.0},
                                                  {kSiteLon, kSiteLat - 8.0},
                                                  {kSiteLon - 1.0, kSiteLat},
                                                  {kSiteLon - 2.0, kSiteLat + 1.0}};
    auto runs = convert(polyline("5", pts));
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].points.size(), 3u);  // two points, exit crossing
    EXPECT_EQ(runs[1].points.size(), 3u);  // entry crossing, one point, exit crossing
    EXPECT_EQ(runs[2].points.size(), 3u);  // entry crossing, two points
    EXPECT_FALSE(onBorder(runs[0].points.front()));
    EXPECT_TRUE(onBorder(runs[0].points.back()));
    EXPECT_TRUE(onBorder(runs[1].points.front()));
    EXPECT_TRUE(onBorder(runs[1].points.back()));
    EXPECT_TRUE(onBorder(runs[2].points.front()));
    EXPECT_FALSE(onBorder(runs[2].points.back()));
    EXPECT_NEAR(runs[0].points.back().x, 1000.0f, 1e-3);  // left through the east side
    EXPECT_NEAR(runs[1].points.back().y, 0.0f, 1e-3);     // and then through the south

    // Each crossing lies on the segment between the projected points around it.
    auto a = project(pts[1].first, pts[1].second);
    auto b = project(pts[2].first, pts[2].second);
    auto c = runs[0].points.back();
    double cross = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
    EXPECT_NEAR(cross / std::hypot(b.x - a.x, b.y - a.y), 0.0, 1e-2);
}

TEST(BlnClipping, PointOnTheBorderIsInside) {
    // With a 500 km box the site sits on its corner and its meridian on the east border,
    // both exactly (the projection gives x = 500 there without rounding).
    auto runs =
        convert(polyline("1", meridian(kSiteLon, kSiteLat - 3.0, kSiteLat, 0.5)), 0, 500, 500);
    ASSERT_EQ(runs.size(), 1u);
    ASSERT_EQ(runs[0].points.size(), 7u);
    EXPECT_EQ(runs[0].points.back().x, 500.0f);
    EXPECT_EQ(runs[0].points.back().y, 500.0f);
}

TEST(BlnClipping, CrossPointPrefersTheSideBorderWhenItsCrossingIsOnTheBox) {
    float cx = 0;
    float cy = 0;
    // Through the east side.
    CrossPoint(&cx, &cy, 900, 900, 1300, 1100, 1000, 1000);
    EXPECT_FLOAT_EQ(cx, 1000.0f);
    EXPECT_FLOAT_EQ(cy, 950.0f);
    // The east-side crossing would be at y = 1100: the top border is taken.
    CrossPoint(&cx, &cy, 900, 900, 1100, 1300, 1000, 1000);
    EXPECT_FLOAT_EQ(cx, 950.0f);
    EXPECT_FLOAT_EQ(cy, 1000.0f);
    // Through the corner itself: the side crossing at y = height counts.
    CrossPoint(&cx, &cy, 900, 900, 1100, 1100, 1000, 1000);
    EXPECT_FLOAT_EQ(cx, 1000.0f);
    EXPECT_FLOAT_EQ(cy, 1000.0f);
    // Lower-left corner region, either order of the ends.
    CrossPoint(&cx, &cy, -100, -300, 100, 100, 1000, 1000);
    EXPECT_FLOAT_EQ(cx, 50.0f);
    EXPECT_FLOAT_EQ(cy, 0.0f);
    CrossPoint(&cx, &cy, 100, 100, -300, -100, 1000, 1000);
    EXPECT_FLOAT_EQ(cx, 0.0f);
    EXPECT_FLOAT_EQ(cy, 50.0f);
}

TEST(BlnClipping, TypeCodesFollowTheMapIndex) {
    std::string text = polyline("4", {{126.5, 37.0}, {127.0, 37.5}}) +
                       polyline("3", {{126.5, 37.2}, {127.0, 37.7}}) +
                       polyline("12abc", {{126.5, 37.4}, {127.0, 37.9}});
    auto types = [](const std::vector<BlnRun>& runs) {
        std::vector<int> t;
        for (const auto& r : runs)
            t.push_back(r.type);
        return t;
    };
    EXPECT_EQ(types(convert(text, 0)), (std::vector<int>{4, 3, 12}));
    EXPECT_EQ(types(convert(text, 1)), (std::vector<int>{3, 3, 3}));  // rivers
    EXPECT_EQ(types(convert(text, 2)), (std::vector<int>{4, 3, 12}));
    EXPECT_EQ(types(convert(text, 3)), (std::vector<int>{4, 12}));  // fine detail left out
}

TEST(BlnClipping, ReadingStopsAtAnEmptyOrNegativeCount) {
    std::string inside = polyline("1", {{126.5, 37.0}, {127.0, 37.5}});
    EXPECT_EQ(convert(inside + "0 1\n" + inside).size(), 1u);
    EXPECT_EQ(convert(inside + "-2 1\n126.0 37.0\n" + inside).size(), 1u);
    EXPECT_TRUE(convert("").empty());
}

TEST(BlnClipping, DamagedInputIsReadSafely) {
    // An over-long type word is cut and skipped, not spilled into the points.
    std::string longWord = "1" + std::string(300, 'x');
    auto runs = convert(polyline(longWord, {{126.5, 37.0}, {127.0, 37.5}}));
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].type, 1);
    EXPECT_EQ(runs[0].points.size(), 2u);

    // A count far beyond the points present: what is there is kept, nothing more.
    runs = convert("2147483647 2\n126.5 37.0\n127.0 37.5\n126.8 37.2\n");
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].points.size(), 3u);

    // A point that is not a number ends the file; a non-finite one breaks the line.
    runs =
        convert("3 1\n126.5 37.0\n127.0 37.5\nabc def\n" + polyline("1", {{126, 37}, {127, 38}}));
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].points.size(), 2u);
    runs = convert("5 1\n126.5 37.0\n127.0 37.5\nnan 37.0\n126.0 37.0\n126.2 37.3\n");
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[1].points.size(), 2u);
    EXPECT_FALSE(onBorder(runs[1].points.front())) << "no crossing from an unplaced point";
}

TEST(BlnClipping, MissingMapFileIsReportedAndWritesNothing) {
    rdrtest::TempDir dir;
    FILE* out = std::fopen(dir.file("out.bln").c_str(), "wb");
    ASSERT_NE(out, nullptr);
    BLN_AZED_MAP map = fnBlnSiteMap(kSiteLon, kSiteLat);
    EXPECT_EQ(bln_file(out, 0, dir.file("absent.dat").c_str(), 1000, 1000, &map), -1);
    EXPECT_EQ(std::ftell(out), 0);
    std::fclose(out);
}

}  // namespace
