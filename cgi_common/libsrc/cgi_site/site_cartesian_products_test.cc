#include "site_cartesian_products.h"

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

// Grid of n cells per side: the radar at row n/2, column (n-1)/2.
float cellAt(const float* grid, int n, int rowsSouth, int colsEast) {
    return grid[static_cast<size_t>(n / 2 + rowsSouth) * n + (n - 1) / 2 + colsEast];
}

// Bin value = 10 s + azimuth/100 + range in km: a closed form of sweep, azimuth and range.
site_test::UfLayout rangeAzimuthVolume() {
    site_test::UfLayout layout;
    layout.elevations = {0.5f, 1.5f, 2.5f};
    layout.gates = 120;
    layout.gateM = 1000;
    layout.value = [](int s, float az, double rangeM, const std::string&) {
        return static_cast<float>(10.0 * s + az / 100.0 + rangeM / 1000.0);
    };
    return layout;
}

TEST(SiteProducts, PpiCellsAtKnownRangesAndAzimuths) {
    Site site(rangeAzimuthVolume());
    ASSERT_NE(site.uf, nullptr);
    const int n = 200;  // 1 km cells over 100 km
    GridPtr ppi(fnKRL_SweepToCart(site.uf.get(), 1, n, n, 100.0f, site.tables[1]));
    ASSERT_NE(ppi, nullptr);
    EXPECT_NEAR(cellAt(ppi.get(), n, -30, 0), 10 + 0.0 + 30, 0.006);  // north
    EXPECT_NEAR(cellAt(ppi.get(), n, 0, 40), 10 + 0.9 + 40, 0.006);   // east
    EXPECT_NEAR(cellAt(ppi.get(), n, 55, 0), 10 + 1.8 + 55, 0.006);   // south
    EXPECT_NEAR(cellAt(ppi.get(), n, 0, -70), 10 + 2.7 + 70, 0.006);  // west
    // North-east diagonal: azimuth 45, range 20 sqrt 2 = 28.28 km, bin 28.
    EXPECT_NEAR(cellAt(ppi.get(), n, -20, 20), 10 + 0.45 + 28, 0.006);
    EXPECT_EQ(cellAt(ppi.get(), n, -99, -99), SITE_NO_DATA);  // beyond the range
    // The radar's own cell looks along the south ray (the angle of a zero offset), bin 0.
    EXPECT_NEAR(cellAt(ppi.get(), n, 0, 0), 10 + 1.8, 0.006);

    EXPECT_EQ(fnKRL_SweepToCart(site.uf.get(), 1, n, n + 2, 100.0f, site.tables[1]), nullptr);
    EXPECT_EQ(fnKRL_SweepToCart(site.uf.get(), 7, n, n, 100.0f, site.tables[1]), nullptr);
    EXPECT_EQ(fnKRL_SweepToCart(site.uf.get(), 1, n, n, 100.0f, nullptr), nullptr);
}

TEST(SiteProducts, OddSizesFillEveryRowAndColumn) {
    Site site(rangeAzimuthVolume());
    ASSERT_NE(site.uf, nullptr);
    const int n = 101;  // radar at (50, 50), cells of 100/50 = 2 km
    GridPtr ppi(fnKRL_SweepToCart(site.uf.get(), 0, n, n, 100.0f, site.tables[0]));
    ASSERT_NE(ppi, nullptr);
    EXPECT_NEAR(ppi.get()[100 * n + 50], 1.8 + 100, 0.006);  // last row: 100 km south
    EXPECT_NEAR(ppi.get()[50 * n + 100], 0.9 + 100, 0.006);  // last column: 100 km east
    EXPECT_NEAR(ppi.get()[50 * n + 0], 2.7 + 100, 0.006);
    EXPECT_EQ(ppi.get()[100 * n + 100], SITE_NO_DATA);
}

TEST(SiteProducts, ColumnProductsPickTheirSweep) {
    site_test::UfLayout layout = rangeAzimuthVolume();
    // Sweep 0 has no echo beyond 50 km, sweep 2 none east of north-east.
    layout.value = [](int s, float az, double rangeM, const std::string&) {
        if ((s == 0 && rangeM > 50000.0) || (s == 2 && az > 45.0f && az < 135.0f)) {
            return NAN;
        }
        return static_cast<float>(10.0 * s + az / 100.0 + rangeM / 1000.0);
    };
    Site site(layout);
    ASSERT_NE(site.uf, nullptr);
    const int n = 200;
    GridPtr cmax(fnVolumeToCMAX(site.uf.get(), n, n, 100, site.tables.data()));
    GridPtr base(fnVolumeToBASE(site.uf.get(), n, n, 100, site.tables.data()));
    ASSERT_NE(cmax, nullptr);
    ASSERT_NE(base, nullptr);
    EXPECT_NEAR(cellAt(cmax.get(), n, -30, 0), 20 + 30, 0.006);
    EXPECT_NEAR(cellAt(cmax.get(), n, 0, 30), 10 + 0.9 + 30, 0.006);  // sweep 2 deleted there
    EXPECT_NEAR(cellAt(base.get(), n, -30, 0), 30, 0.006);
    EXPECT_NEAR(cellAt(base.get(), n, -80, 0), 10 + 80, 0.006);  // sweep 0 ends at 50 km
    EXPECT_EQ(cellAt(base.get(), n, -99, -99), SITE_NO_DATA);
    EXPECT_EQ(fnVolumeToCMAX(site.uf.get(), n, n - 1, 100, site.tables.data()), nullptr);
}

TEST(SiteProducts, EchoTopsAreBeamHeightsOfTheHighestSweepAboveThreshold) {
    site_test::UfLayout layout;
    layout.elevations = {0.5f, 1.5f, 2.5f, 3.5f};
    layout.gates = 120;
    layout.value = [](int s, float, double, const std::string&) { return 40.0f - 10.0f * s; };
    Site site(layout);
    ASSERT_NE(site.uf, nullptr);
    const int n = 200;
    GridPtr etop(fnVolumeToETOP(site.uf.get(), n, n, 100, 150, 15.0f, 1.0f, site.tables.data()));
    ASSERT_NE(etop, nullptr);
    // Sweep 2 (20 dBZ) is the highest above 15 dBZ.
    auto height = [](double groundKm, double elevDeg) {
        const double phi = elevDeg * 3.141592 / 180.0;
        const double r = groundKm / std::cos(phi);
        const double re = 8494.678385416666;
        return std::sqrt(r * r + re * re + 2.0 * r * re * std::sin(phi)) - re + 0.15;
    };
    EXPECT_NEAR(cellAt(etop.get(), n, -60, 0), height(60.0, 2.5), 1e-3);
    EXPECT_NEAR(cellAt(etop.get(), n, 30, 40), height(50.0, 2.5), 1e-3);
    GridPtr none(fnVolumeToETOP(site.uf.get(), n, n, 100, 150, 45.0f, 1.0f, site.tables.data()));
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(cellAt(none.get(), n, -60, 0), SITE_NO_DATA);
}

TEST(SiteProducts, ZeroGateSpacingGivesNoDataInsteadOfADivision) {
    Site site(rangeAzimuthVolume());
    ASSERT_NE(site.uf, nullptr);
    site.uf->m_nGateSize[0][0] = 0;  // the ray at north
    const int n = 50;
    GridPtr ppi(fnKRL_SweepToCart(site.uf.get(), 0, n, n, 50.0f, site.tables[0]));
    ASSERT_NE(ppi, nullptr);
    EXPECT_EQ(cellAt(ppi.get(), n, -10, 0), SITE_NO_DATA);
    EXPECT_NEAR(cellAt(ppi.get(), n, 0, 10), 0.9 + 20, 0.006);  // 2 km cells
}

// Twenty sweeps 1 degree apart, every bin holding its own slant range in km.
site_test::UfLayout slantRangeVolume() {
    site_test::UfLayout layout;
    layout.elevations.clear();
    for (int s = 0; s < 20; ++s) {
        layout.elevations.push_back(0.5f + s);
    }
    layout.raysPerSweep = 180;
    layout.azimuthStep = 2.0f;
    layout.beamH = 2.0f;
    layout.gates = 160;
    layout.value = [](int, float, double rangeM, const std::string&) {
        return static_cast<float>(rangeM / 1000.0);
    };
    return layout;
}

TEST(SiteProducts, CappiLevelsTakeTheBinAtTheBeamsSlantRange) {
    Site site(slantRangeVolume());
    ASSERT_NE(site.uf, nullptr);
    const int n = 300;  // 1 km cells
    st_VilCappiThrArg arg{site.uf.get(), 3, site.tables.data(), n, n, 150, nullptr, 0, nullptr};
    fnMakeCappiThread(&arg);
    GridPtr cappi(arg.m_pData);
    ASSERT_NE(cappi, nullptr);
    for (int km : {20, 50, 100}) {
        const double re = 8498.666666666666;
        const double rh = re + 3.0;
        const double slant = std::sqrt(re * re + rh * rh - 2.0 * re * rh * std::cos(km / re));
        EXPECT_EQ(cellAt(cappi.get(), n, -km, 0), std::floor(slant)) << km << " km north";
        EXPECT_EQ(cellAt(cappi.get(), n, 0, -km), std::floor(slant)) << km << " km west";
    }
    // Close in the beam at 3 km is steeper than the highest sweep.
    EXPECT_EQ(cellAt(cappi.get(), n, -3, 0), SITE_NO_DATA);
}

TEST(SiteProducts, ThreadedVilEqualsItsSerialResult) {
    site_test::UfLayout layout = slantRangeVolume();
    layout.value = [](int s, float az, double rangeM, const std::string&) {
        return static_cast<float>(55.0 - s * 2.5 - rangeM / 10000.0 + az / 90.0);
    };
    Site site(layout);
    ASSERT_NE(site.uf, nullptr);
    const int n = 120;
    const int levels = 10;
    GridPtr vil(fnVolumeToVIL(site.uf.get(), n, n, 120, levels, 0, site.tables.data()));
    ASSERT_NE(vil, nullptr);

    std::vector<float*> grids(levels, nullptr);
    for (int i = 0; i < levels; ++i) {
        st_VilCappiThrArg arg{site.uf.get(), i, site.tables.data(), n, n, 120,
                              nullptr,       i, grids.data()};
        fnMakeCappiThread(&arg);
        ASSERT_NE(grids[i], nullptr);
    }
    std::vector<float> serial(n * n, SITE_NO_DATA);
    st_VilThrArg all{grids.data(), levels, 0, n * n, serial.data()};
    fnMakeVilThread(&all);
    int withEcho = 0;
    for (int c = 0; c < n * n; ++c) {
        ASSERT_EQ(vil.get()[c], serial[c]) << "cell " << c;
        withEcho += serial[c] > 0.0f ? 1 : 0;
    }
    EXPECT_GT(withEcho, n * n / 4);
    for (float* g : grids) {
        std::free(g);
    }
    EXPECT_EQ(fnVolumeToVIL(site.uf.get(), n, n, 120, 40, 0, site.tables.data()), nullptr);
    GridPtr empty(fnVolumeToVIL(site.uf.get(), n, n, 120, 2, 2, site.tables.data()));
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty.get()[0], SITE_NO_DATA);
}

TEST(SiteProducts, VilColumnSums) {
    const float lvl0[2] = {SITE_NO_DATA, 30.0f};
    const float lvl1[2] = {SITE_NO_DATA, 40.0f};
    const float lvl2[2] = {40.0f, 0.0f};
    const float lvl3[2] = {0.0f, 0.0f};
    float* levels[4] = {const_cast<float*>(lvl0), const_cast<float*>(lvl1),
                        const_cast<float*>(lvl2), const_cast<float*>(lvl3)};
    float out[2] = {0.0f, 0.0f};
    st_VilThrArg arg{levels, 4, 0, 2, out};
    fnMakeVilThread(&arg);
    auto water = [](double z) { return std::pow(z, 4.0 / 7.0) * 3.44e-3; };
    EXPECT_NEAR(out[0], water(1e4), 1e-5);  // 40 dBZ at 2 km under 0 dBZ: its own term only
    EXPECT_NEAR(out[1], water(1e4) + water((1e3 + 1e4) / 2.0), 1e-5);
}

TEST(SiteProducts, IsolatedEchoesGoBlocksStay) {
    const int n = 8;
    std::vector<float> grid(n * n, SITE_NO_DATA);
    grid[2 * n + 2] = grid[2 * n + 3] = 5.0f;                                      // isolated pair
    grid[5 * n + 5] = grid[5 * n + 6] = grid[6 * n + 5] = grid[6 * n + 6] = 7.0f;  // 2 x 2 block
    EXPECT_EQ(fnDel_Indenpent_Echo(grid.data(), n, n), 1);
    EXPECT_EQ(grid[2 * n + 2], SITE_NO_DATA);
    EXPECT_EQ(grid[2 * n + 3], SITE_NO_DATA);
    EXPECT_EQ(grid[5 * n + 5], 7.0f);
    EXPECT_EQ(grid[6 * n + 6], 7.0f);
    EXPECT_EQ(fnDel_Indenpent_Echo(nullptr, n, n), -9999);
    EXPECT_FLOAT_EQ(fnGetGridKm(0), 2.0f);
    EXPECT_FLOAT_EQ(fnGetGridKm(3), 0.25f);
}

}  // namespace
