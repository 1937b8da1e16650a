#include "site_section_line.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "testing/site_draw_support.h"
#include "testing/site_fixture.h"

namespace {

constexpr float kSiteLon = 126.95f;
constexpr float kSiteLat = 37.44f;
constexpr int kLast = CROSS_SECTION_SAMPLES - 1;

// The point km from the site along bearing deg: on the site's azimuthal grid it lies
// exactly km / gridKm cells from the site in that direction.
POINT along(double deg, double km) {
    const double t = deg * M_PI / 180.0;
    const auto [lon, lat] =
        site_test::lonLatAt(kSiteLon, kSiteLat, km * std::sin(t), km * std::cos(t));
    return POINT{lon, lat};
}

std::unique_ptr<CROSS_SECTION> newSection() {
    auto c = std::make_unique<CROSS_SECTION>();
    std::memset(c.get(), 0, sizeof(CROSS_SECTION));
    c->m_nCenter_Idx = -7;
    return c;
}

TEST(SiteSectionLine, LineThroughTheRadarCentresItsSampleAt362AndReversesExactly) {
    // 363 km west to 362 km east on a 1 km grid: samples one cell apart, the radar on the
    // 363rd (index 362).
    const int n = 480;
    auto we = newSection();
    auto ew = newSection();
    const POINT west = along(270.0, 363.0);
    const POINT east = along(90.0, 362.0);
    ASSERT_EQ(fnGetCross_Section_Point(we.get(), west, east, n, n, kSiteLon, kSiteLat, 1.0f), 0);
    ASSERT_EQ(fnGetCross_Section_Point(ew.get(), east, west, n, n, kSiteLon, kSiteLat, 1.0f), 0);

    EXPECT_EQ(we->m_nCenter_Idx, 362);
    EXPECT_NEAR(we->m_stPoint[362].m_fX_Point, n / 2, 1e-2);
    EXPECT_NEAR(we->m_stPoint[362].m_fY_Point, n / 2, 1e-2);
    EXPECT_NEAR(we->m_stPoint[0].m_fX_Point, n / 2 - 362, 1e-2);      // one step after the start
    EXPECT_NEAR(we->m_stPoint[kLast].m_fX_Point, n / 2 + 362, 1e-2);  // on the end point
    for (int i = 0; i < CROSS_SECTION_SAMPLES; ++i) {
        ASSERT_EQ(ew->m_stPoint[i].m_fX_Point, we->m_stPoint[kLast - i].m_fX_Point) << i;
        ASSERT_EQ(ew->m_stPoint[i].m_fY_Point, we->m_stPoint[kLast - i].m_fY_Point) << i;
    }
    EXPECT_EQ(ew->m_nCenter_Idx, kLast - 362);
}

TEST(SiteSectionLine, VerticalAndNearVerticalLinesRunEvenlyFromStartToEnd) {
    // 0.5 km cells: the line's own length sets the step, not a 1 km grid.
    const int n = 960;
    const float gridKm = 0.5f;
    const POINT north = along(0.0, 100.0);
    const POINT south = along(180.0, 150.0);
    POINT nearlySouth = south;
    nearlySouth.m_fX_Point += 1e-5f;  // a thousandth of a cell east: a slope of 10^5

    for (const POINT& end : {south, nearlySouth}) {
        auto c = newSection();
        ASSERT_EQ(fnGetCross_Section_Point(c.get(), north, end, n, n, kSiteLon, kSiteLat, gridKm),
                  0);
        const double startRow = n / 2 - 200.0;
        const double endRow = n / 2 + 300.0;
        const double step = (endRow - startRow) / CROSS_SECTION_SAMPLES;
        for (int i = 0; i < CROSS_SECTION_SAMPLES; ++i) {
            ASSERT_NEAR(c->m_stPoint[i].m_fY_Point, startRow + (i + 1) * step, 2e-2) << i;
            ASSERT_NEAR(c->m_stPoint[i].m_fX_Point, n / 2, 2e-2) << i;
        }
        // The radar lies 200 of the 500 cells from the start: the 290th sample.
        const int expected = static_cast<int>(std::lround(200.0 / step)) - 1;
        EXPECT_EQ(c->m_nCenter_Idx, expected);
        EXPECT_EQ(c->m_stStart.m_fY_Point, north.m_fY_Point);
    }
}

TEST(SiteSectionLine, RefusesPointsInOneCellAndBadGridsWritingNothing) {
    auto c = newSection();
    const POINT a = along(45.0, 10.0);
    const POINT b = along(45.0, 10.4);
    EXPECT_EQ(fnGetCross_Section_Point(c.get(), a, b, 480, 480, kSiteLon, kSiteLat, 1.0f), -1);
    EXPECT_EQ(c->m_nCenter_Idx, -7);
    EXPECT_EQ(c->m_stPoint[0].m_fX_Point, 0.0f);
    const POINT far = along(45.0, 100.0);
    EXPECT_EQ(fnGetCross_Section_Point(c.get(), a, far, 480, 480, kSiteLon, kSiteLat, 0.0f), -1);
    EXPECT_EQ(fnGetCross_Section_Point(c.get(), a, far, 0, 480, kSiteLon, kSiteLat, 1.0f), -1);
    EXPECT_EQ(
        fnGetCross_Section_Point(c.get(), a, POINT{NAN, 37.0f}, 480, 480, kSiteLon, kSiteLat, 1.0f),
        -1);
    EXPECT_EQ(fnGetCross_Section_Point(nullptr, a, far, 480, 480, kSiteLon, kSiteLat, 1.0f), -1);
    EXPECT_EQ(c->m_nCenter_Idx, -7);
}

TEST(SiteSectionLine, ProfileHoldsTheVolumeWhereBeamsReachAndCodesElsewhere) {
    site_test::UfLayout layout;
    layout.elevations = {0.5f, 1.5f, 2.5f, 3.5f, 4.5f};
    layout.gates = 200;
    layout.value = [](int, float, double, const std::string&) { return 10.0f; };
    site_test::Site site(layout);
    ASSERT_NE(site.uf, nullptr);
    const int n = 241;
    auto c = newSection();
    ASSERT_EQ(fnGetCross_Section_Point(c.get(), along(270.0, 363.0), along(90.0, 362.0), n, n,
                                       kSiteLon, kSiteLat, 1.0f),
              0);
    const int levels = 40;
    ASSERT_EQ(siteFillCrossSection(c.get(), site.uf.get(), site.tables.data(), n, n, 1.0f, levels,
                                   0.25f, 1),
              0);
    // 30 km east of the radar, 0.875 km up: between the 1.5 and 2.5 degree sweeps.
    EXPECT_NEAR(c->m_rgfData[362 + 30][3], 10.0f, 1e-3);
    // Straight above the radar no sweep comes near; beyond the grid nothing is computed.
    EXPECT_EQ(c->m_rgfData[362][20], -9999.0f);
    EXPECT_EQ(c->m_rgfData[0][3], -9998.0f);
    EXPECT_EQ(c->m_rgfData[362 + 30][levels], -9999.0f);
    EXPECT_EQ(c->m_rgfData[362 + 30][CROSS_SECTION_LEVELS - 1], -9999.0f);
    EXPECT_EQ(siteFillCrossSection(c.get(), site.uf.get(), site.tables.data(), n, n, 1.0f,
                                   CROSS_SECTION_LEVELS + 1, 0.25f, 1),
              -1);
}

}  // namespace
