#include "vil_product.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "cappi_product.h"
#include "core_utilities.h"
#include "product_test_support.h"
#include "synthetic_volume.h"

namespace {

using rdrtest::buildVolume;
using rdrtest::StdRadarPtr;
using rdrtest::uniformVolume;
using rdrtest::VolumeShape;

using rdrtest::Grid;
using rdrtest::name;
using rdrtest::Tables;

// Sweeps every half degree from 0 to 29.5, so that every layer up to several km finds a
// beam near most cells; the value of each sweep is given.
StdRadarPtr denseVolume(std::function<short(int sweep, int ray, int bin)> value) {
    VolumeShape shape = uniformVolume(60, 360, 150, {"DZ"});
    for (int s = 0; s < 60; ++s) {
        shape.sweeps[s].elevation = 0.5f * s;
    }
    shape.value = [value](int s, int r, int b, int) { return value(s, r, b); };
    StdRadarPtr vol = buildVolume(shape);
    vol->m_hdr.m_fBeamWidthH = 1.0f;
    vol->m_hdr.m_fBeamWidthV = 1.0f;
    return vol;
}

// The plain computation: every CAPPI layer as a grid, then the sum per cell.
Grid plainVil(STD_RADAR* pStd, int dim, float maxRangeKm, int top, int bottom,
              STD_AZIMUTH_TBL** tables) {
    const int n = top - bottom;
    std::vector<Grid> cappi(n);
    for (int k = 0; k < n; ++k) {
        cappi[k].reset(fnCreateCappiReal(pStd, static_cast<float>(bottom + k), dim, dim, maxRangeKm,
                                         0, name("DZ"), tables));
    }
    Grid out(static_cast<float*>(std::malloc(sizeof(float) * dim * dim)));
    for (int cell = 0; cell < dim * dim; ++cell) {
        double sum = 0;
        for (int k = 0; k < n; ++k) {
            const float z = cappi[k].get()[cell];
            if (z <= 0) {
                continue;
            }
            float ze = static_cast<float>(fnDbzToZeF(z));
            if (k + 1 < n && cappi[k + 1].get()[cell] > 0) {
                ze = (ze + static_cast<float>(fnDbzToZeF(cappi[k + 1].get()[cell]))) * 0.5f;
            }
            sum += std::pow(ze, 0.5714285714285714) * 3.44e-6 * 1000;
        }
        out.get()[cell] = sum > 0 ? static_cast<float>(sum) : -9999.0f;
    }
    return out;
}

TEST(Vil, UniformLayersMatchTheClosedForm) {
    StdRadarPtr vol = denseVolume([](int, int, int) -> short { return 4000; });
    Tables tables(vol.get());
    const int dim = 60;
    const int cell = 25 * dim + 40;                                  // about 15 km from the radar
    const double perKm = 3.44e-6 * std::pow(1e4, 4.0 / 7.0) * 1000;  // kg/m^2 per km of 40 dBZ
    Grid one(fnCreateVil(vol.get(), dim, dim, 60, 0, 1, 0, name("DZ"), tables.p));
    Grid three(fnCreateVil(vol.get(), dim, dim, 60, 0, 4, 1, name("DZ"), tables.p));
    ASSERT_TRUE(one && three);
    EXPECT_NEAR(one.get()[cell], perKm, 1e-4);
    EXPECT_NEAR(one.get()[cell], 0.66, 0.01);
    EXPECT_NEAR(three.get()[cell], 3 * perKm, 3e-4);
}

TEST(Vil, LayersWithoutEchoAddNothing) {
    // 30 dBZ up to 1.5 km, nothing above; 0 dBZ (beyond 40 km) counts as no echo.
    StdRadarPtr vol = denseVolume([](int s, int, int b) -> short {
        const double heightKm = b * std::sin(0.5 * s * M_PI / 180);
        return heightKm < 1.5 ? (b > 40 ? 0 : 3000) : STD_NO_DATA_CODE;
    });
    Tables tables(vol.get());
    const int dim = 60;
    Grid vil(fnCreateVil(vol.get(), dim, dim, 60, 0, 8, 0, name("DZ"), tables.p));
    ASSERT_TRUE(vil);
    const double perKm = 3.44e-6 * std::pow(1e3, 4.0 / 7.0) * 1000;
    // At 20 km: layers 0 and 1 at 30 dBZ, layer 1 under a layer without echo.
    EXPECT_NEAR(vil.get()[30 * dim + 19], 2 * perKm, 1e-4);
    // Far out only 0 dBZ: no contribution, so no data rather than 0.
    EXPECT_EQ(vil.get()[30 * dim + 1], -9999.0f);
    EXPECT_EQ(fnCreateVil(vol.get(), dim, dim, 60, 0, 2, 2, name("DZ"), tables.p), nullptr);
}

TEST(Vil, MatchesTheLayerByLayerComputationBitForBit) {
    StdRadarPtr vol = denseVolume([](int s, int r, int b) -> short {
        const double dbz = 60 - std::fabs(r - 200) * 0.5 - std::fabs(b - 50) * 0.8 - 0.9 * s;
        return dbz < 2 ? STD_NO_DATA_CODE : static_cast<short>(dbz * 100);
    });
    Tables tables(vol.get());
    for (int dim : {50, 51, 200}) {
        Grid fast(fnCreateVil(vol.get(), dim, dim, 120, 0, 12, 1, name("DZ"), tables.p));
        Grid plain = plainVil(vol.get(), dim, 120, 12, 1, tables.p);
        ASSERT_TRUE(fast && plain);
        int withData = 0;
        for (int i = 0; i < dim * dim; ++i) {
            withData += plain.get()[i] != -9999.0f;
            ASSERT_EQ(std::memcmp(fast.get() + i, plain.get() + i, sizeof(float)), 0)
                << "cell " << i << ": " << fast.get()[i] << " vs " << plain.get()[i];
        }
        EXPECT_GT(withData, 100);
    }
}

TEST(Vil, LayerBoundsFarApartAreRefusedNotOverflowed) {
    VolumeShape shape = uniformVolume(2, 36, 20, {"DZ"});
    shape.value = [](int, int, int, int) -> short { return 3000; };
    StdRadarPtr vol = buildVolume(shape);
    Tables tables(vol.get());
    testing::internal::CaptureStderr();
    // The layer count of these bounds does not fit an int.
    EXPECT_EQ(fnCreateVil(vol.get(), 20, 20, 20, 0, INT_MAX, -2, name("DZ"), tables.p), nullptr);
    EXPECT_EQ(fnCreateVil(vol.get(), 20, 20, 20, 0, INT_MIN + 1, 2, name("DZ"), tables.p), nullptr);
    // Millions of 1 km layers are no column of the atmosphere: refused before any layer
    // table is built.
    EXPECT_EQ(fnCreateVil(vol.get(), 20, 20, 20, 0, 2000000, 0, name("DZ"), tables.p), nullptr);
    testing::internal::GetCapturedStderr();
    Grid usual(fnCreateVil(vol.get(), 20, 20, 20, 0, 15, 0, name("DZ"), tables.p));
    EXPECT_TRUE(usual);
}

}  // namespace
