#include "column_products.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core_utilities.h"
#include "ppi_grid.h"
#include "product_test_support.h"
#include "ray_lookup.h"
#include "synthetic_volume.h"

namespace {

using rdrtest::buildVolume;
using rdrtest::StdRadarPtr;
using rdrtest::uniformVolume;
using rdrtest::VolumeShape;

using rdrtest::Grid;
using rdrtest::name;
using rdrtest::Tables;

// Storms of a few tens of dBZ, weaker with height, no echo (the volume's no-data code)
// elsewhere; the QI moment is a value that differs per sweep and ray.
VolumeShape stormVolume(int sweeps, int rays, int bins) {
    VolumeShape shape = uniformVolume(sweeps, rays, bins, {"VR", "DZ", "QI"});
    shape.value = [rays, bins](int s, int r, int b, int f) -> short {
        if (f == 2) {
            return static_cast<short>(100 * (10 + 7 * s + r % 13));
        }
        const double az = r * 360.0 / rays;
        const double cell =
            50 - std::fabs(az - 120) * 0.8 - std::fabs(b - bins * 0.6) * 1.5 - 6 * s;
        const double other = 38 - std::fabs(az - 250) * 1.2 - std::fabs(b - bins * 0.3) - 9 * s;
        const double dbz = std::max(cell, other);
        if (dbz < 5) {
            return STD_NO_DATA_CODE;
        }
        return static_cast<short>(dbz * 100);
    };
    return shape;
}

// The plain way of making a column product: one PPI per sweep, cell by cell as the PPI is
// defined, then one pass of the rule. Null when the sweep has no ray with the moment.
Grid plainPpi(STD_RADAR* pStd, int s, int dim, float maxRangeKm, float gridKm, const char* field,
              STD_AZIMUTH_TBL* table) {
    const std::vector<float> cells =
        rdrtest::plainPpi(pStd, s, dim, maxRangeKm, gridKm, field, table);
    if (cells.empty()) {
        return nullptr;
    }
    Grid out(static_cast<float*>(std::malloc(sizeof(float) * cells.size())));
    std::copy(cells.begin(), cells.end(), out.get());
    return out;
}

enum class Rule { kBase, kCmax, kEtop };

float plainEtopHeight(int dim, int row, int col, float gridKm, float angleDeg, int anteM) {
    const int c = (dim - 1) / 2;
    const float dy = static_cast<float>(c - row) * gridKm;
    const float dx = static_cast<float>(c - col) * gridKm;
    const float d =
        static_cast<float>(std::sqrt(static_cast<double>(dy) * dy + static_cast<double>(dx) * dx));
    const double theta = angleDeg * 0.01745328888888889;
    const double r = d / std::cos(theta);
    return static_cast<float>(
        std::sqrt(r * r + 72159560.43985228 + 2 * r * 8494.67836 * std::sin(theta)) - 8494.67836 +
        static_cast<float>(anteM / 1000.0));
}

Grid plainColumnProduct(Rule rule, STD_RADAR* pStd, STD_RADAR* pQi, int dim, float maxRangeKm,
                        float gridKm, float threshold, const char* field, STD_AZIMUTH_TBL** tables,
                        STD_AZIMUTH_TBL** qiTables) {
    const int n = pStd->m_iMaxSweep;
    std::vector<Grid> ppi(n);
    std::vector<Grid> qi(n);
    for (int s = 0; s < n; ++s) {
        ppi[s] = plainPpi(pStd, s, dim, maxRangeKm, gridKm, field, tables[s]);
        if (pQi != nullptr) {
            qi[s] = plainPpi(pQi, s, dim, maxRangeKm, gridKm, "QI", qiTables[s]);
        }
    }
    auto counts = [&](int s) { return ppi[s] && (pQi == nullptr || qi[s]); };
    Grid out(static_cast<float*>(std::malloc(sizeof(float) * dim * dim)));
    for (int cell = 0; cell < dim * dim; ++cell) {
        int pick = -1;
        float value = -9999.0f;
        if (rule == Rule::kBase) {
            for (int s = 0; s < n && pick < 0; ++s) {
                if (counts(s) && ppi[s].get()[cell] != -9999.0f) {
                    pick = s;
                    value = ppi[s].get()[cell];
                }
            }
        } else if (rule == Rule::kCmax) {
            for (int s = 0; s < n; ++s) {
                if (counts(s) && ppi[s].get()[cell] > value) {
                    pick = s;
                    value = ppi[s].get()[cell];
                }
            }
        } else {
            for (int s = n - 1; s >= 0 && pick < 0; --s) {
                if (counts(s) && ppi[s].get()[cell] > threshold) {
                    pick = s;
                }
            }
            if (pick >= 0) {
                value = plainEtopHeight(dim, cell / dim, cell % dim, gridKm,
                                        pStd->m_ppSweep[pick]->m_ppRay[0]->m_hdr.m_fFixedAngle,
                                        pStd->m_hdr.m_iAnteHeight);
                if (!(value > 0)) {
                    value = -9999.0f;
                }
            }
        }
        if (pQi != nullptr && pick >= 0) {
            value = qi[pick].get()[cell];
        }
        out.get()[cell] = value;
    }
    return out;
}

void expectSameGrid(const float* fast, const float* plain, int cells, const std::string& what) {
    ASSERT_NE(fast, nullptr) << what;
    ASSERT_NE(plain, nullptr) << what;
    int differing = 0;
    for (int i = 0; i < cells; ++i) {
        if (std::memcmp(&fast[i], &plain[i], sizeof(float)) != 0 && differing++ < 3) {
            ADD_FAILURE() << what << ": cell " << i << " " << fast[i] << " vs " << plain[i];
        }
    }
    EXPECT_EQ(differing, 0) << what;
}

TEST(ColumnProducts, MatchThePlainPpiBasedComputationBitForBit) {
    VolumeShape shape = stormVolume(4, 120, 80);
    // Merged cuts and missing rays: the moments move to other indices on some rays, one
    // ray is null and the second sweep lacks reflectivity on a sector.
    shape.rayFields = [](int s, int r) -> std::vector<int> {
        if (s == 1 && r >= 30 && r < 40) {
            return {0, 2};
        }
        return r % 3 == 0 ? std::vector<int>{1, 0, 2} : std::vector<int>{0, 1, 2};
    };
    shape.sweeps[2].nullRays = {7};
    // Counter-clockwise acquisition, and two rays sharing an azimuth.
    std::reverse(shape.sweeps[3].azimuths.begin(), shape.sweeps[3].azimuths.end());
    shape.sweeps[0].azimuths[11] = shape.sweeps[0].azimuths[10];
    StdRadarPtr vol = buildVolume(shape);
    vol->m_hdr.m_iAnteHeight = 120;
    StdRadarPtr qiVol = buildVolume(shape);
    Tables tables(vol.get());
    Tables qiTables(qiVol.get());

    // The large size goes through the azimuth-bucket ray tables.
    for (int dim : {40, 41, 211}) {
        const float range = 70.0f;
        const float grid = 140.0f / dim;
        const int cells = dim * dim;
        STD_RADAR* v = vol.get();
        STD_RADAR* q = qiVol.get();
        auto plain = [&](Rule rule, STD_RADAR* pq, float thr) {
            return plainColumnProduct(rule, v, pq, dim, range, grid, thr, "DZ", tables.p,
                                      qiTables.p);
        };
        const std::string at = " at size " + std::to_string(dim);
        expectSameGrid(Grid(fnCreateBase(v, dim, dim, range, grid, name("DZ"), tables.p)).get(),
                       plain(Rule::kBase, nullptr, 0).get(), cells, "BASE" + at);
        expectSameGrid(Grid(fnCreateCmax(v, dim, dim, range, grid, name("DZ"), tables.p)).get(),
                       plain(Rule::kCmax, nullptr, 0).get(), cells, "CMAX" + at);
        expectSameGrid(
            Grid(fnCreateEtop(v, dim, dim, range, grid, 18.0f, name("DZ"), tables.p)).get(),
            plain(Rule::kEtop, nullptr, 18.0f).get(), cells, "ETOP" + at);
        expectSameGrid(
            Grid(fnCreateBaseQI(v, q, dim, dim, range, grid, name("DZ"), tables.p, qiTables.p))
                .get(),
            plain(Rule::kBase, q, 0).get(), cells, "BASE QI" + at);
        expectSameGrid(
            Grid(fnCreateCmaxQIToDbz(v, q, dim, dim, range, grid, tables.p, qiTables.p)).get(),
            plain(Rule::kCmax, q, 0).get(), cells, "CMAX QI" + at);
        expectSameGrid(Grid(fnCreateEtopQI(v, q, dim, dim, range, grid, 18.0f, name("DZ"), tables.p,
                                           qiTables.p))
                           .get(),
                       plain(Rule::kEtop, q, 18.0f).get(), cells, "ETOP QI" + at);
    }
}

// Over one sweep, BASE and CMAX are that sweep's PPI: the same rays give values, including
// rays whose bins run inward (negative spacing) or follow a moment's own range geometry,
// and the same bins, including snapped specific-differential-phase levels and scale
// factors without an exact reciprocal.
TEST(ColumnProducts, OverOneSweepBaseAndCmaxAreItsPpi) {
    VolumeShape shape = uniformVolume(1, 300, 90, {"DZ", "KD"});
    shape.sweeps[0].startRangeKm = 60;
    shape.sweeps[0].binSpacingM = -700;
    shape.sweeps[0].nullRays = {4};
    shape.scaleFactor = 7;
    shape.value = [](int, int r, int b, int f) -> short {
        const int v = (r * 389 + b * 97 + f * 13) % 4000 - 1500;
        return static_cast<short>(v % 23 == 0 ? STD_NO_DATA_CODE : v);
    };
    StdRadarPtr vol = buildVolume(shape);
    for (int r = 0; r < 300; r += 5) {  // every fifth ray gates its moments outward
        STD_RAY* ray = vol->m_ppSweep[0]->m_ppRay[r];
        for (int f = 0; ray != nullptr && f < ray->m_iMaxField; ++f) {
            ray->m_ppField[f]->m_hdr.m_iStartRangeKm = 3;
            ray->m_ppField[f]->m_hdr.m_iBinSpacing = 450;
        }
    }
    Tables tables(vol.get());
    for (int dim : {90, 251}) {  // the large size searches through the bucket tables
        const float grid = 150.0f / dim;
        for (const char* field : {"DZ", "KD"}) {
            const std::string what = std::string(field) + " at size " + std::to_string(dim);
            Grid plain = plainPpi(vol.get(), 0, dim, 70, grid, field, tables.p[0]);
            Grid ppi(fnCreatePPI(vol.get(), 0, dim, dim, 70, grid, field, tables.p[0]));
            Grid base(fnCreateBase(vol.get(), dim, dim, 70, grid, name(field), tables.p));
            Grid cmax(fnCreateCmax(vol.get(), dim, dim, 70, grid, name(field), tables.p));
            expectSameGrid(ppi.get(), plain.get(), dim * dim, "PPI " + what);
            expectSameGrid(base.get(), plain.get(), dim * dim, "BASE " + what);
            expectSameGrid(cmax.get(), plain.get(), dim * dim, "CMAX " + what);
            const int withValue = static_cast<int>(std::count_if(
                plain.get(), plain.get() + dim * dim, [](float v) { return v != -9999.0f; }));
            EXPECT_GT(withValue, dim * dim / 4) << what;
        }
    }
}

// Two sweeps of uniform echo: 10 dBZ at 0.5 degrees, 30 dBZ at 1.5 degrees.
StdRadarPtr twoLevelVolume(int anteHeightM) {
    VolumeShape shape = uniformVolume(2, 360, 200, {"DZ"});
    shape.value = [](int s, int, int, int) -> short { return s == 0 ? 1000 : 3000; };
    StdRadarPtr vol = buildVolume(shape);
    vol->m_hdr.m_iAnteHeight = anteHeightM;
    return vol;
}

TEST(ColumnProducts, PickTheDocumentedSweepOfEachColumn) {
    StdRadarPtr vol = twoLevelVolume(0);
    Tables tables(vol.get());
    const int dim = 50;
    const int cell = 10 * dim + 30;
    Grid base(fnCreateBase(vol.get(), dim, dim, 100, 2, name("DZ"), tables.p));
    Grid cmax(fnCreateCmax(vol.get(), dim, dim, 100, 2, name("DZ"), tables.p));
    Grid strict(fnCreateEtop(vol.get(), dim, dim, 100, 2, 30.0f, name("DZ"), tables.p));
    ASSERT_TRUE(base && cmax && strict);
    EXPECT_FLOAT_EQ(base.get()[cell], 10.0f);
    EXPECT_FLOAT_EQ(cmax.get()[cell], 30.0f);
    EXPECT_EQ(strict.get()[cell], -9999.0f) << "the threshold is a strict bound";

    // Sweep 0 empty over part of the area: BASE falls through to the sweep above there.
    VolumeShape shape = uniformVolume(3, 360, 200, {"DZ"});
    shape.value = [](int s, int r, int, int) -> short {
        if (s == 0 && r >= 80 && r < 100) {
            return STD_NO_DATA_CODE;
        }
        return static_cast<short>(100 * (20 + 5 * s));
    };
    StdRadarPtr gappy = buildVolume(shape);
    Tables gappyTables(gappy.get());
    Grid gappyBase(fnCreateBase(gappy.get(), dim, dim, 100, 2, name("DZ"), gappyTables.p));
    ASSERT_TRUE(gappyBase);
    const int east = (dim / 2) * dim + 40;  // azimuth 90: sweep 0 has no echo there
    const int north = 5 * dim + (dim - 1) - dim / 2;
    EXPECT_FLOAT_EQ(gappyBase.get()[east], 25.0f);
    EXPECT_FLOAT_EQ(gappyBase.get()[north], 20.0f);
}

TEST(ColumnProducts, EchoTopFollowsTheFourThirdsEarthBeamHeight) {
    const int anteM = 350;
    StdRadarPtr vol = twoLevelVolume(anteM);
    Tables tables(vol.get());
    const int dim = 101;
    const float gridKm = 1.5f;
    Grid etop(fnCreateEtop(vol.get(), dim, dim, 150, gridKm, 20.0f, name("DZ"), tables.p));
    ASSERT_TRUE(etop);
    const double re = 4.0 / 3.0 * 6371.00877;
    const double theta = 1.5 * M_PI / 180.0;
    const int c = (dim - 1) / 2;
    int checked = 0;
    for (int row = 0; row < dim; row += 7) {
        for (int col = 1; col < dim; col += 5) {
            const float h = etop.get()[row * dim + col];
            if (h == -9999.0f) {
                continue;
            }
            const double d = std::hypot((c - row) * gridKm, (c - col) * gridKm);
            const double r = d / std::cos(theta);
            const double expected =
                std::sqrt(r * r + re * re + 2 * r * re * std::sin(theta)) - re + anteM / 1000.0;
            EXPECT_NEAR(h, expected, 2e-3) << "row " << row << " col " << col;
            ++checked;
        }
    }
    EXPECT_GT(checked, 100);
    // The radar's own column: the antenna height.
    EXPECT_NEAR(etop.get()[c * dim + c], 0.35, 1e-6);
}

TEST(ColumnProducts, QualityIndexComesFromTheChosenSweep) {
    // Equal maxima in sweeps 0 and 2: the lowest wins.
    VolumeShape shape = uniformVolume(3, 360, 100, {"DZ", "CZ", "QI"});
    shape.value = [](int s, int, int, int f) -> short {
        if (f == 2) {
            return static_cast<short>(100 * (s + 1));
        }
        if (f == 1) {
            return static_cast<short>(s == 1 ? 4000 : 1000);
        }
        return static_cast<short>(s == 1 ? 2000 : 3000);
    };
    StdRadarPtr vol = buildVolume(shape);
    Tables tables(vol.get());
    const int dim = 30;
    const int cell = 8 * dim + 20;
    Grid cmaxQi(
        fnCreateCmaxQI(vol.get(), vol.get(), dim, dim, 50, 2, name("DZ"), tables.p, tables.p));
    ASSERT_TRUE(cmaxQi);
    EXPECT_FLOAT_EQ(cmaxQi.get()[cell], 1.0f);
    // With "CZ" present the shortcut uses it (maximum in sweep 1).
    Grid viaCz(fnCreateCmaxQIToDbz(vol.get(), vol.get(), dim, dim, 50, 2, tables.p, tables.p));
    ASSERT_TRUE(viaCz);
    EXPECT_FLOAT_EQ(viaCz.get()[cell], 2.0f);
    Grid etopQi(
        fnCreateEtopQIToDbz(vol.get(), vol.get(), dim, dim, 50, 2, 15.0f, tables.p, tables.p));
    ASSERT_TRUE(etopQi);
    EXPECT_FLOAT_EQ(etopQi.get()[cell], 2.0f);

    // A QI volume with one sweep fewer cannot be matched sweep by sweep.
    VolumeShape shortShape = shape;
    shortShape.sweeps.pop_back();
    StdRadarPtr shortQi = buildVolume(shortShape);
    Tables shortTables(shortQi.get());
    EXPECT_EQ(fnCreateBaseQI(vol.get(), shortQi.get(), dim, dim, 50, 2, name("DZ"), tables.p,
                             shortTables.p),
              nullptr);
}

TEST(ColumnProducts, AQualityVolumeWithoutSweepsGivesNoQualityIndex) {
    VolumeShape shape = uniformVolume(3, 360, 100, {"DZ"});
    shape.value = [](int, int, int, int) -> short { return 3000; };
    StdRadarPtr vol = buildVolume(shape);
    Tables tables(vol.get());
    // The sweep count agrees but the sweep array was never filled.
    STD_RADAR emptyQi{};
    emptyQi.m_iMaxSweep = vol->m_iMaxSweep;
    emptyQi.m_ppSweep = nullptr;
    const int dim = 30;
    Grid baseQi(
        fnCreateBaseQI(vol.get(), &emptyQi, dim, dim, 50, 2, name("DZ"), tables.p, tables.p));
    ASSERT_TRUE(baseQi);
    for (int i = 0; i < dim * dim; ++i) {
        ASSERT_EQ(baseQi.get()[i], -9999.0f) << "cell " << i;
    }
}

TEST(ColumnProducts, RefuseRequestsThatCannotGiveAGrid) {
    StdRadarPtr vol = twoLevelVolume(0);
    Tables tables(vol.get());
    testing::internal::CaptureStderr();
    EXPECT_EQ(fnCreateCmax(vol.get(), 40, 30, 100, 2, name("DZ"), tables.p), nullptr);
    EXPECT_EQ(fnCreateBase(vol.get(), 40, 40, 100, 2, name("VR"), tables.p), nullptr);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("fnCreateCmax : Invalid arg\n"), std::string::npos) << err;
    EXPECT_NE(err.find("fnCreateBase : no moment\n"), std::string::npos) << err;
    EXPECT_EQ(fnCreateEtop(nullptr, 40, 40, 100, 2, 0, name("DZ"), tables.p), nullptr);
}

TEST(ColumnProducts, AnEmptyFirstSweepOrRayDoesNotHideTheRest) {
    VolumeShape shape = uniformVolume(2, 360, 100, {"DZ"});
    shape.sweeps[0].azimuths.clear();  // a sweep without rays
    shape.sweeps[1].nullRays = {0};
    shape.value = [](int, int, int, int) -> short { return 2500; };
    StdRadarPtr vol = buildVolume(shape);
    Tables tables(vol.get());
    const int dim = 30;
    Grid base(fnCreateBase(vol.get(), dim, dim, 50, 2, name("DZ"), tables.p));
    Grid etop(fnCreateEtop(vol.get(), dim, dim, 50, 2, 10.0f, name("DZ"), tables.p));
    ASSERT_TRUE(base && etop);
    EXPECT_FLOAT_EQ(base.get()[5 * dim + 20], 25.0f);
    EXPECT_GT(etop.get()[5 * dim + 20], 0.0f);
}

}  // namespace
