// The site projection against Debian's proj (azimuthal equidistant on the same sphere).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bln_projection.h"
#include "bln_test_support.h"
#include "test_support.h"

namespace {

struct LonLat {
    float lon;
    float lat;
};

// proj's grid positions (km from the centre) of the points; empty when proj is missing.
std::vector<std::pair<double, double>> projPositions(float siteLon, float siteLat,
                                                     const std::vector<LonLat>& points) {
    rdrtest::TempDir dir;
    std::string input = dir.file("points.txt");
    std::string text;
    for (const auto& p : points) {
        char line[64];
        std::snprintf(line, sizeof line, "%.9g %.9g\n", p.lon, p.lat);
        text += line;
    }
    blntest::writeText(input, text);
    char command[512];
    std::snprintf(command, sizeof command,
                  "proj +proj=aeqd +R=6370196 +units=km +lon_0=%.9g +lat_0=%.9g -f %%.9f %s",
                  siteLon, siteLat, input.c_str());
    std::vector<std::pair<double, double>> positions;
    FILE* pipe = popen(command, "r");
    if (pipe == nullptr)
        return positions;
    double x;
    double y;
    while (std::fscanf(pipe, "%lf %lf", &x, &y) == 2)
        positions.push_back({x, y});
    pclose(pipe);
    return positions;
}

TEST(BlnProjection, GridPositionsAgreeWithProj) {
    // proj is a test prerequisite (make test installs it): without it the test fails.
    ASSERT_EQ(std::system("command -v proj >/dev/null 2>&1"), 0)
        << "proj (Debian package proj-bin) is not installed";
    // Sites in the north, south-east and on the island; points on every side of them out
    // to a few hundred km, where the lines the tool writes lie.
    const LonLat sites[] = {
        {126.966110f, 37.441944f}, {129.002228f, 35.115002f}, {126.165001f, 33.291668f}};
    for (const auto& site : sites) {
        std::vector<LonLat> points = {
            site,
            {site.lon + 0.1f, site.lat},
            {site.lon, site.lat + 0.1f},
            {site.lon + 1.5f, site.lat - 1.0f},
            {site.lon - 2.0f, site.lat + 1.5f},
            {site.lon - 0.7f, site.lat - 2.2f},
            {site.lon + 2.5f, site.lat + 1.8f},
        };
        auto expected = projPositions(site.lon, site.lat, points);
        ASSERT_EQ(expected.size(), points.size()) << "proj gave no answer";
        BLN_AZED_MAP map = fnBlnSiteMap(site.lon, site.lat);
        for (size_t i = 0; i < points.size(); ++i) {
            float x = 0;
            float y = 0;
            ASSERT_TRUE(fnBlnAzedForward(points[i].lon, points[i].lat, &x, &y, &map));
            EXPECT_NEAR(x - 500.0, expected[i].first, 1e-4)
                << "point " << points[i].lon << " " << points[i].lat;
            EXPECT_NEAR(y - 500.0, expected[i].second, 1e-4)
                << "point " << points[i].lon << " " << points[i].lat;
        }
        // x grows east and y north; the site is at the grid centre exactly.
        EXPECT_EQ(map.m_iFirst, 1);
    }
}

TEST(BlnProjection, SiteSitsOnTheCentreAndAxesPointEastAndNorth) {
    BLN_AZED_MAP map = fnBlnSiteMap(127.0f, 37.0f);
    float x = 0;
    float y = 0;
    ASSERT_TRUE(fnBlnAzedForward(127.0f, 37.0f, &x, &y, &map));
    EXPECT_EQ(x, 500.0f);
    EXPECT_EQ(y, 500.0f);
    ASSERT_TRUE(fnBlnAzedForward(127.0f + 10.0f / 88.8f, 37.0f, &x, &y, &map));
    EXPECT_NEAR(x, 510.0f, 0.1f);
    EXPECT_NEAR(y, 500.0f, 0.01f);
    ASSERT_TRUE(fnBlnAzedForward(127.0f, 37.0f + 10.0f / 111.18f, &x, &y, &map));
    EXPECT_NEAR(x, 500.0f, 1e-4f);
    EXPECT_NEAR(y, 510.0f, 0.01f);
    // The antipode has no place on the grid; the outputs stay as they were.
    x = -7;
    EXPECT_FALSE(fnBlnAzedForward(127.0f - 180.0f, -37.0f, &x, &y, &map));
    EXPECT_EQ(x, -7.0f);
}

}  // namespace
