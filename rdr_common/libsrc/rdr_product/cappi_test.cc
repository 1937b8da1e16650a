#include "cappi_product.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core_utilities.h"
#include "product_test_support.h"
#include "ray_lookup.h"
#include "synthetic_volume.h"
#include "vil_product.h"

namespace {

using rdrtest::buildVolume;
using rdrtest::StdRadarPtr;
using rdrtest::uniformVolume;
using rdrtest::VolumeShape;

using rdrtest::Grid;
using rdrtest::name;
using rdrtest::Tables;

bool plainNoValue(float v) {
    return std::fabs(v - 131072.0) < 1e-6 || std::fabs(v - 131068.0) < 1e-6 ||
           std::fabs(v - 131069.0) < 1e-6;
}

// The real method written out cell by cell, with the location table of the reference ray
// (first ray of the first sweep) and a sweep scan per cell.
Grid plainCappiReal(STD_RADAR* pStd, float heightKm, int dim, float maxRangeKm, const char* field,
                    STD_AZIMUTH_TBL** tables) {
    const STD_RAY* ref = pStd->m_ppSweep[0]->m_ppRay[0];
    const int refField = fnGetFieldIdxRay(const_cast<STD_RAY*>(ref), field);
    const int bins = ref->m_ppField[refField]->m_iMaxBin;
    const float s0 =
        static_cast<float>(ref->m_hdr.m_iStartRangeKm + ref->m_hdr.m_iStartRangeMeter / 1000.0);
    const float s0Single = static_cast<float>(ref->m_hdr.m_iStartRangeKm) +
                           static_cast<float>(ref->m_hdr.m_iStartRangeMeter) / 1000.0f;
    const float g = ref->m_hdr.m_iBinSpacing / 1000.0f;
    std::vector<float> elev(bins), slant(bins);
    for (int i = 0; i < bins; ++i) {
        const float ground = static_cast<float>(i) * g + s0;
        if (std::fabs(ground) < 1e-6f) {
            elev[i] = slant[i] = 0;
            continue;
        }
        const double h = static_cast<float>(heightKm + 8494.67836);
        const double s2 =
            72159560.43985228 + h * h - 16989.35672 * h * std::cos(ground / 8494.67836);
        const double s = std::sqrt(s2);
        elev[i] = static_cast<float>(
            std::acos((72159560.43985228 + s * s - h * h) / (16989.35672 * s)) * 57.29579143313326 -
            90);
        slant[i] = static_cast<float>(s);
    }
    const float cellKm = static_cast<float>(maxRangeKm / (0.5 * dim));
    const float bwH = pStd->m_hdr.m_fBeamWidthH;
    const float bwV = pStd->m_hdr.m_fBeamWidthV;
    Grid out(static_cast<float*>(std::malloc(sizeof(float) * dim * dim)));
    std::fill(out.get(), out.get() + dim * dim, -9999.0f);
    for (int y = -(dim / 2); y < dim / 2; ++y) {
        for (int x = -(dim / 2); x < dim / 2; ++x) {
            float& cell = out.get()[(y + dim / 2) * dim + (dim - 1) - (x + dim / 2)];
            const float azim = fnCalcAzimuthToXY(y, x);
            const float range =
                static_cast<float>(std::sqrt(static_cast<double>(x * x + y * y))) * cellKm;
            if (range > maxRangeKm) {
                continue;
            }
            const float pos = (range - s0Single) * 1000 / ref->m_hdr.m_iBinSpacing;
            const int k = static_cast<int>(pos);
            if (!(pos > -1.0f) || k >= bins) {
                continue;
            }
            int choice = -1;
            float best = 91;
            for (int s = 0; s < pStd->m_iMaxSweep; ++s) {
                const float d =
                    fnDiffDegree(pStd->m_ppSweep[s]->m_ppRay[0]->m_hdr.m_fFixedAngle, elev[k]);
                if (d <= best) {
                    best = d;
                    choice = s;
                }
            }
            STD_SWEEP* sweep = pStd->m_ppSweep[choice];
            const int r = fnSearchRayToAzim(sweep, static_cast<float>(360.0 / sweep->m_iMaxRay),
                                            azim, tables[choice]);
            if (r < 0) {
                continue;
            }
            STD_RAY* ray = sweep->m_ppRay[r];
            if (fnDiffDegree(elev[k], ray->m_hdr.m_fFixedAngle) > 0.5f * bwV ||
                fnDiffDegree(azim, ray->m_hdr.m_fAzimuth) > bwH) {
                continue;
            }
            const float v = fnGetBinValueToRay(ray, fnGetFieldIdxRay(ray, field), slant[k],
                                               pStd->m_hdr.m_iNoDataValue);
            if (!plainNoValue(v)) {
                cell = v;
            }
        }
    }
    return out;
}

// Storms whose reflectivity falls off with height, over sweeps 0.5 to 19.5 degrees.
StdRadarPtr stormVolume(int sweeps, int rays, int bins) {
    VolumeShape shape = uniformVolume(sweeps, rays, bins, {"VR", "DZ"});
    for (int s = 0; s < sweeps; ++s) {
        shape.sweeps[s].elevation = 0.5f + s * 19.0f / std::max(sweeps - 1, 1);
    }
    shape.value = [rays, bins](int s, int r, int b, int f) -> short {
        if (f == 0) {
            return static_cast<short>(100 * ((r * 7 + b) % 40 - 20));
        }
        const double az = r * 360.0 / rays;
        const double dbz = 55 - std::fabs(az - 140) * 0.7 - std::fabs(b - bins * 0.4) - 2.5 * s;
        return dbz < 3 ? STD_NO_DATA_CODE : static_cast<short>(dbz * 100);
    };
    StdRadarPtr vol = buildVolume(shape);
    vol->m_hdr.m_fBeamWidthH = 1.0f;
    vol->m_hdr.m_fBeamWidthV = 0.95f;
    vol->m_hdr.m_iAnteHeight = 60;
    return vol;
}

void expectSameGrid(const float* fast, const float* plain, int cells, const std::string& what) {
    ASSERT_NE(fast, nullptr) << what;
    ASSERT_NE(plain, nullptr) << what;
    int differing = 0;
    int withData = 0;
    for (int i = 0; i < cells; ++i) {
        withData += plain[i] != -9999.0f;
        if (std::memcmp(&fast[i], &plain[i], sizeof(float)) != 0 && differing++ < 3) {
            ADD_FAILURE() << what << ": cell " << i << " " << fast[i] << " vs " << plain[i];
        }
    }
    EXPECT_EQ(differing, 0) << what;
    EXPECT_GT(withData, cells / 50) << what << ": too little echo to compare";
}

TEST(CappiReal, MatchesThePlainCellByCellComputationBitForBit) {
    StdRadarPtr vol = stormVolume(9, 180, 120);
    Tables tables(vol.get());
    for (int dim : {60, 61, 201}) {  // the large size uses the azimuth-bucket ray tables
        for (float height : {1.0f, 3.0f, 6.5f}) {
            Grid fast(fnCreateCappiReal(vol.get(), height, dim, dim, 110, 0, name("DZ"), tables.p));
            Grid plain = plainCappiReal(vol.get(), height, dim, 110, "DZ", tables.p);
            expectSameGrid(fast.get(), plain.get(), dim * dim,
                           "size " + std::to_string(dim) + " height " + std::to_string(height));
        }
    }
}

TEST(CappiReal, TakesOnlyRaysWhoseBeamReachesTheHeight) {
    // One steep sweep: at 2 km only the ranges where a 10-degree beam is near 2 km hold data.
    VolumeShape shape = uniformVolume(1, 360, 200, {"DZ"});
    shape.sweeps[0].elevation = 10.0f;
    shape.value = [](int, int, int, int) -> short { return 3000; };
    StdRadarPtr vol = buildVolume(shape);
    vol->m_hdr.m_fBeamWidthH = 1.0f;
    vol->m_hdr.m_fBeamWidthV = 1.0f;
    Tables tables(vol.get());
    const int dim = 200;
    Grid cappi(fnCreateCappiReal(vol.get(), 2.0f, dim, dim, 100, 0, name("DZ"), tables.p));
    ASSERT_TRUE(cappi);
    const float* eastRow = cappi.get() + (dim / 2) * dim;
    // Column (dim-1) - dim/2 is the radar; east is toward lower column numbers.
    const int radarCol = (dim - 1) - dim / 2;
    const float cellKm = 100.0f / (dim / 2);
    for (int k = 1; k < dim / 2; ++k) {
        const double groundKm = k * cellKm;
        const double elevDeg = std::atan2(2.0, groundKm) * 180 / M_PI;
        const float v = eastRow[radarCol - k];
        if (std::fabs(elevDeg - 10.0) < 0.35) {
            EXPECT_FLOAT_EQ(v, 30.0f) << "ground " << groundKm << " km";
        } else if (std::fabs(elevDeg - 10.0) > 0.7) {
            EXPECT_EQ(v, -9999.0f) << "ground " << groundKm << " km";
        }
    }
}

TEST(CappiReal, RefusesNonSquareGridsAndMissingMoments) {
    StdRadarPtr vol = stormVolume(2, 90, 50);
    Tables tables(vol.get());
    testing::internal::CaptureStderr();
    EXPECT_EQ(fnCreateCappiReal(vol.get(), 1, 40, 30, 50, 0, name("DZ"), tables.p), nullptr);
    EXPECT_EQ(fnCreateCappiReal(vol.get(), 1, 40, 40, 50, 0, name("KD"), tables.p), nullptr);
    EXPECT_EQ(fnCreateVil(vol.get(), 40, 40, 50, 0, 3, 3, name("DZ"), tables.p), nullptr);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("fnCreateCappiReal : Invalid arg\n"), std::string::npos) << err;
    EXPECT_NE(err.find("fnCreateCappiReal : no moment\n"), std::string::npos) << err;
}

// One sweep at 0.5 degrees of 360 rays at 0.5, 1.5, ...; the bin value of each ray is
// given per ray (stored x 100).
StdRadarPtr singleSweep(std::function<short(int ray, int bin)> value, const char* field = "DZ",
                        float elevation = 0.5f) {
    VolumeShape shape = uniformVolume(1, 360, 100, {field});
    shape.sweeps[0].elevation = elevation;
    shape.value = [value](int, int r, int b, int) { return value(r, b); };
    return buildVolume(shape);
}

TEST(CappiMohr, InterpolatesReflectivityInLinearUnits) {
    // Rays at 89.5 (20 dBZ) and 90.5 (40 dBZ); the point due east lies midway.
    StdRadarPtr vol = singleSweep([](int r, int) -> short {
        return r == 89 ? 2000 : r == 90 ? 4000 : STD_NO_DATA_CODE;
    });
    Tables tables(vol.get());
    const float v = fnCappi_at_h_cart(vol.get(), 0.2f, 10, 0, 1.0f, RDR_EN_PSEUDO_CAPPI, 0, 1,
                                      name("DZ"), tables.p);
    EXPECT_NEAR(v, 10 * std::log10((100.0 + 10000.0) / 2), 1e-3);
    EXPECT_NEAR(v, 37.0, 0.05);
}

TEST(CappiMohr, ReproducesAVelocityFieldLinearInAzimuth) {
    // VR = azimuth / 10 m/s on every ray.
    StdRadarPtr vol = singleSweep([](int r, int) { return static_cast<short>(r * 10 + 5); }, "VR");
    Tables tables(vol.get());
    const int dim = 81;
    Grid grid(fnCreateCappiMohr(vol.get(), 0.05f, dim, dim, 0, 1.0f, RDR_EN_PSEUDO_CAPPI, 0,
                                name("VR"), tables.p));
    ASSERT_TRUE(grid);
    int checked = 0;
    for (int r = 0; r < dim; ++r) {
        for (int c = 0; c < dim; ++c) {
            const float x = c - 0.5f * (dim - 1);
            const float y = r - 0.5f * (dim - 1);
            const float az = fnGetAzimuth(x, y);
            if (az < 1.0f || az > 359.0f || std::hypot(x, y) < 2) {
                continue;  // the field jumps from 36 to 0 m/s across north; steep near the radar
            }
            const float v = grid.get()[r * dim + c];
            ASSERT_NE(v, -9999.0f) << r << "," << c;
            // Exact up to the single-precision rounding of the azimuth differences.
            EXPECT_NEAR(v, az / 10, 2e-4) << r << "," << c;
            ++checked;
        }
    }
    EXPECT_GT(checked, 6000);
}

TEST(CappiMohr, AnEchoEdgeIsNotHalvedByTheEmptySide) {
    // Echo on the ray at 90.5 only, and only in bins 0..9: the point midway between the
    // rays and the points in bin 9 (whose next bin is empty) keep the full 40 dBZ.
    StdRadarPtr vol = singleSweep(
        [](int r, int b) -> short { return r == 90 && b < 10 ? 4000 : STD_NO_DATA_CODE; });
    Tables tables(vol.get());
    for (float x : {5.0f, 9.3f}) {
        EXPECT_NEAR(fnCappi_at_h_cart(vol.get(), 0.0f, x, 0, 1.0f, RDR_EN_PSEUDO_CAPPI, 0, 1,
                                      name("DZ"), tables.p),
                    40.0f, 1e-3)
            << "x " << x;
    }
    EXPECT_EQ(fnCappi_at_h_cart(vol.get(), 0.0f, 12.0f, 0, 1.0f, RDR_EN_PSEUDO_CAPPI, 0, 1,
                                name("DZ"), tables.p),
              -9999.0f);
}

TEST(CappiMohr, KindDecidesBelowTheLowestSweepAndTheLimitAboveTheHighest) {
    StdRadarPtr vol = singleSweep([](int, int) -> short { return 2500; }, "DZ", 2.0f);
    Tables tables(vol.get());
    auto at = [&](float heightKm, float x, int kind, int cross) {
        return fnCappi_at_h_cart(vol.get(), heightKm, x, 0, 1.0f, kind, cross, 1, name("DZ"),
                                 tables.p);
    };
    // 1 km up at 60 km: about 0.95 degrees, under the 2-degree sweep.
    EXPECT_NEAR(at(1.0f, 60, RDR_EN_PSEUDO_CAPPI, 0), 25.0f, 1e-3);
    EXPECT_EQ(at(1.0f, 60, RDR_EN_REAL_CAPPI, 0), -9999.0f);
    // 3 km up at 50 km: about 3.4 degrees, 1.4 above the sweep; 4 km at 50 km: 4.6 degrees.
    EXPECT_NEAR(at(3.0f, 50, RDR_EN_REAL_CAPPI, 0), 25.0f, 1e-3);
    EXPECT_EQ(at(4.0f, 50, RDR_EN_REAL_CAPPI, 0), -9999.0f);
    EXPECT_NEAR(at(4.0f, 50, RDR_EN_REAL_CAPPI, 1), 25.0f, 1e-3);
    // Unknown kind: no data anywhere.
    Grid none(fnCreateCappiMohr(vol.get(), 1.0f, 20, 20, 0, 2.0f, 0, 0, name("DZ"), tables.p));
    ASSERT_TRUE(none);
    EXPECT_TRUE(std::all_of(none.get(), none.get() + 400, [](float v) { return v == -9999.0f; }));
}

TEST(CappiMohr, GridCellsArePointsAroundTheGeometricCentre) {
    StdRadarPtr vol = stormVolume(6, 180, 80);
    vol->m_hdr.m_iAnteHeight = 250;
    Tables tables(vol.get());
    const int dim = 30;
    const float gridKm = 4.0f;
    Grid grid(fnCreateCappiMohr(vol.get(), 2.25f, dim, dim, 0, gridKm, RDR_EN_REAL_CAPPI, 0,
                                name("DZ"), tables.p));
    ASSERT_TRUE(grid);
    int withData = 0;
    for (int r = 0; r < dim; ++r) {
        for (int c = 0; c < dim; ++c) {
            // 2.25 km above sea level is 2 km above the antenna.
            const float point =
                fnCappi_at_h_cart(vol.get(), 2.0f, c - 0.5f * (dim - 1), r - 0.5f * (dim - 1),
                                  gridKm, RDR_EN_REAL_CAPPI, 0, 1, name("DZ"), tables.p);
            ASSERT_EQ(grid.get()[r * dim + c], point) << r << "," << c;
            withData += point != -9999.0f;
        }
    }
    EXPECT_GT(withData, 20);
}

TEST(CappiMohr, DegenerateGeometryGivesValuesOrNoDataNeverInfinities) {
    // Two sweeps at the same angle, and a third whose bins have no spacing.
    VolumeShape shape = uniformVolume(3, 360, 100, {"DZ"});
    shape.sweeps[1].elevation = shape.sweeps[0].elevation;
    shape.sweeps[2].binSpacingM = 0;
    shape.value = [](int, int, int, int) -> short { return 3000; };
    StdRadarPtr vol = buildVolume(shape);
    Tables tables(vol.get());
    const int dim = 41;
    Grid mohr(fnCreateCappiMohr(vol.get(), 1.0f, dim, dim, 0, 2.0f, RDR_EN_PSEUDO_CAPPI, 0,
                                name("DZ"), tables.p));
    Grid real(fnCreateCappiReal(vol.get(), 1.0f, dim, dim, 80, 0, name("DZ"), tables.p));
    ASSERT_TRUE(mohr && real);
    int values = 0;
    for (int i = 0; i < dim * dim; ++i) {
        for (float v : {mohr.get()[i], real.get()[i]}) {
            ASSERT_TRUE(v == -9999.0f || std::fabs(v - 30.0f) < 1e-3) << i << ": " << v;
            values += v != -9999.0f;
        }
    }
    EXPECT_GT(values, 100);
}

}  // namespace
