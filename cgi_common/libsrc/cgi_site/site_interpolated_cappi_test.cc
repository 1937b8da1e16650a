#include "site_interpolated_cappi.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "test_support.h"
#include "testing/site_fixture.h"

namespace {

using site_test::GridPtr;
using site_test::Site;

constexpr double kRadiusM = 8494678.385416666;
constexpr double kRaddeg = 57.29579143313326;

// Ten sweeps 1 degree apart from 0.5, 1 km bins; the value is linear in range, elevation
// and azimuth: 5 + 0.1 km^-1 R + 0.5 elevation + 0.01 azimuth.
site_test::UfLayout linearVolume() {
    site_test::UfLayout layout;
    layout.elevations.clear();
    for (int s = 0; s < 10; ++s) {
        layout.elevations.push_back(0.5f + s);
    }
    layout.gates = 150;
    layout.scale = 1000;
    layout.value = [](int s, float az, double rangeM, const std::string&) {
        return static_cast<float>(5.0 + 0.1 * rangeM / 1000.0 + 0.5 * (0.5 + s) + 0.01 * az);
    };
    return layout;
}

TEST(SiteInterpolatedCappi, ReproducesALinearFieldExactly) {
    Site site(linearVolume());
    ASSERT_NE(site.uf, nullptr);
    const int n = 161;
    const double gridKm = 1.0;
    const double hKm = 2.0;
    GridPtr grid(fnMakeMohrCappi(site.uf.get(), 0, n, n, static_cast<float>(gridKm), 0, n, 0, n,
                                 static_cast<float>(hKm), site.tables.data()));
    ASSERT_NE(grid, nullptr);
    int checked = 0;
    for (int y = 0; y < n; y += 3) {
        for (int x = 0; x < n; x += 3) {
            const double dx = x - (n - 1) / 2.0;
            const double dy = y - (n - 1) / 2.0;
            const double rho = std::sqrt(std::pow(gridKm * 1000 * dx, 2) +
                                         std::pow(gridKm * 1000 * dy, 2) + hKm * hKm * 1e6);
            const double phi = std::asin((hKm * hKm * 1e6 - rho * rho + 2 * kRadiusM * hKm * 1000) /
                                         (2 * kRadiusM * rho)) *
                               kRaddeg;
            double theta = dx == 0.0 ? (dy <= 0 ? 0.0 : 180.0)
                                     : std::atan(dy / dx) * 180.0 / 3.141592 + (dx < 0 ? 270 : 90);
            // Inside the sweeps' span, away from north where the azimuth term jumps, and
            // where both bracketing bins exist.
            if (phi < 0.5 || phi > 9.5 || theta < 1.0 || theta > 358.0 || rho > 148000.0) {
                continue;
            }
            const double expected = 5.0 + 0.1 * rho / 1000.0 + 0.5 * phi + 0.01 * theta;
            ASSERT_NEAR(grid.get()[y * n + x], expected, 2e-3) << "cell " << x << ", " << y;
            ++checked;
        }
    }
    EXPECT_GT(checked, 1000);

    // The single-cell form answers the same.
    const float one = fnCAPPI_At_h_Cart(site.uf.get(), 2.0f, n, n, 1.0f, 130, 40, REAL_CAPPI, 0, 0,
                                        site.tables.data());
    EXPECT_FLOAT_EQ(one, grid.get()[40 * n + 130]);
}

TEST(SiteInterpolatedCappi, WindowIsClippedAndCellsOutsideStayZero) {
    Site site(linearVolume());
    ASSERT_NE(site.uf, nullptr);
    const int n = 41;
    GridPtr grid(fnMakeMohrCappi(site.uf.get(), 0, n, n, 2.0f, -100, 10, 30, 5000, 1.0f,
                                 site.tables.data()));
    ASSERT_NE(grid, nullptr);
    EXPECT_NE(grid.get()[5 * n + 35], 0.0f);
    EXPECT_EQ(grid.get()[5 * n + 10], 0.0f);   // left of the window
    EXPECT_EQ(grid.get()[20 * n + 35], 0.0f);  // below it
    EXPECT_EQ(fnMakeMohrCappi(nullptr, 0, n, n, 2.0f, 0, n, 0, n, 1.0f, site.tables.data()),
              nullptr);
}

TEST(SiteInterpolatedCappi, ReflectivityAcrossNorthAndAtTheAntenna) {
    site_test::UfLayout layout = linearVolume();
    layout.value = [](int, float, double, const std::string&) { return 30.0f; };
    Site site(layout);
    ASSERT_NE(site.uf, nullptr);
    const int n = 201;
    // Cells just west of north fall between the rays at 359 and 0 degrees.
    for (int x : {99, 98}) {
        const float v = fnCAPPI_At_h_Cart(site.uf.get(), 2.0f, n, n, 1.0f, x, 30, REAL_CAPPI, 1, 0,
                                          site.tables.data());
        EXPECT_NEAR(v, 30.0f, 1e-3) << "column " << x;
    }
    // Straight up: no sweep within 2 degrees of 90. At the antenna: no beam at all.
    EXPECT_EQ(fnCAPPI_At_h_Cart(site.uf.get(), 2.0f, n, n, 1.0f, 100, 100, REAL_CAPPI, 1, 0,
                                site.tables.data()),
              SITE_NO_DATA);
    EXPECT_EQ(fnCAPPI_At_h_Cart(site.uf.get(), 0.0f, n, n, 1.0f, 100, 100, PSEUDO_CAPPI, 1, 0,
                                site.tables.data()),
              SITE_NO_DATA);
    EXPECT_EQ(fnCAPPI_At_h_Cart(site.uf.get(), 2.0f, n, n, 1.0f, 100, 60,
                                static_cast<CAPPI_TYPE>(5), 1, 0, site.tables.data()),
              SITE_NO_DATA);
}

TEST(SiteInterpolatedCappi, MarkersAreNotInterpolatedAndLowCellsFollowTheType) {
    site_test::UfLayout layout = linearVolume();
    // Sweep 3 has every bin beyond 40 km deleted; others hold 20 dBZ.
    layout.value = [](int s, float, double rangeM, const std::string&) {
        return s == 3 && rangeM > 40000.0 ? NAN : 20.0f;
    };
    Site site(layout);
    ASSERT_NE(site.uf, nullptr);
    const int n = 301;
    // 100 km north at 6 km: about 3.2 degrees, between sweeps 3 (deleted) and 4.
    const float v = fnCAPPI_At_h_Cart(site.uf.get(), 6.0f, n, n, 1.0f, 150, 50, REAL_CAPPI, 1, 0,
                                      site.tables.data());
    EXPECT_NEAR(v, 20.0f, 1e-3);

    // 140 km out at 0.2 km the beam would be below the lowest sweep.
    const float real = fnCAPPI_At_h_Cart(site.uf.get(), 0.2f, n, n, 1.0f, 150, 10, REAL_CAPPI, 1, 0,
                                         site.tables.data());
    const float pseudo = fnCAPPI_At_h_Cart(site.uf.get(), 0.2f, n, n, 1.0f, 150, 10, PSEUDO_CAPPI,
                                           1, 0, site.tables.data());
    EXPECT_EQ(real, SITE_NO_DATA);
    EXPECT_NEAR(pseudo, 20.0f, 1e-3);
}

}  // namespace
