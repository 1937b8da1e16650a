#include "ray_lookup.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "synthetic_volume.h"

namespace {

using rdrtest::StdRadarPtr;

// One ray of `bins` bins (start 0.5 km, 250 m spacing) whose single field holds `values`.
struct OneRay {
    StdRadarPtr vol;
    STD_RAY* ray = nullptr;
    STD_FIELD* field = nullptr;
};

OneRay oneRay(const char* name, std::vector<short> values, int scale = 100) {
    rdrtest::VolumeShape shape =
        rdrtest::uniformVolume(1, 1, static_cast<int>(values.size()), {name});
    shape.sweeps[0].startRangeMeter = 500;
    shape.sweeps[0].binSpacingM = 250;
    shape.scaleFactor = scale;
    shape.value = [values](int, int, int b, int) { return values[b]; };
    OneRay r;
    r.vol = rdrtest::buildVolume(shape);
    r.ray = r.vol->m_ppSweep[0]->m_ppRay[0];
    r.field = r.ray->m_ppField[0];
    return r;
}

TEST(BinValue, RangeToBinAndNoValueCodes) {
    OneRay r = oneRay("DZ", {100, 250, -32768, -32767, 4000});
    const int noData = -32767;
    EXPECT_FLOAT_EQ(fnGetBinValueToRay(r.ray, 0, 0.5f, noData), 1.0f);
    EXPECT_FLOAT_EQ(fnGetBinValueToRay(r.ray, 0, 0.74f, noData), 1.0f);
    EXPECT_FLOAT_EQ(fnGetBinValueToRay(r.ray, 0, 0.76f, noData), 2.5f);
    EXPECT_FLOAT_EQ(fnGetBinValueToRay(r.ray, 0, 1.6f, noData), 40.0f);
    // Less than a bin before the first one truncates toward zero into bin 0.
    EXPECT_FLOAT_EQ(fnGetBinValueToRay(r.ray, 0, 0.3f, noData), 1.0f);
    EXPECT_FLOAT_EQ(fnGetBinValueToRay(r.ray, 0, 0.2f, noData), RDR_BIN_NO_VALUE);
    EXPECT_FLOAT_EQ(fnGetBinValueToRay(r.ray, 0, 1.75f, noData), RDR_BIN_NO_VALUE);
    EXPECT_FLOAT_EQ(fnGetBinValueToRay(r.ray, 0, 1e30f, noData), RDR_BIN_NO_VALUE);
    EXPECT_FLOAT_EQ(fnGetBinValueToRay(r.ray, 0, NAN, noData), RDR_BIN_NO_VALUE);
    // -32768 always, and the volume's own code, mean no value.
    EXPECT_FLOAT_EQ(fnGetBinValueToRay(r.ray, 0, 1.1f, noData), RDR_BIN_NO_VALUE);
    EXPECT_FLOAT_EQ(fnGetBinValueToRay(r.ray, 0, 1.3f, noData), RDR_BIN_NO_VALUE);
    EXPECT_FLOAT_EQ(fnGetBinValueToRay(r.ray, 0, 1.3f, 0), -327.67f);
    EXPECT_FLOAT_EQ(fnGetBinValueToRay(r.ray, 0, 0.5f, 100), RDR_BIN_NO_VALUE);

    EXPECT_FLOAT_EQ(fnGetBinValueToRay(nullptr, 0, 0.5f, noData), RDR_BIN_NO_VALUE);
    EXPECT_FLOAT_EQ(fnGetBinValueToRay(r.ray, 1, 0.5f, noData), RDR_BIN_NO_VALUE);
    EXPECT_FLOAT_EQ(fnGetBinValueToRay(r.ray, -1, 0.5f, noData), RDR_BIN_NO_VALUE);
    short* data = r.field->m_pData;
    r.field->m_pData = nullptr;
    EXPECT_FLOAT_EQ(fnGetBinValueToRay(r.ray, 0, 0.5f, noData), RDR_BIN_NO_VALUE);
    r.field->m_pData = data;
}

TEST(BinValue, BrokenGeometryAndOwnFieldGeometry) {
    OneRay r = oneRay("VR", {100, 200, 300, 400});
    r.ray->m_hdr.m_iBinSpacing = 0;  // no spacing: no bin, not a division by zero
    EXPECT_FLOAT_EQ(fnGetBinValueToRay(r.ray, 0, 0.6f, -32767), RDR_BIN_NO_VALUE);
    // A moment gated unlike its ray is looked up with its own geometry.
    r.field->m_hdr.m_iStartRangeKm = 2;
    r.field->m_hdr.m_iBinSpacing = 1000;
    EXPECT_FLOAT_EQ(fnGetBinValueToRay(r.ray, 0, 2.5f, -32767), 1.0f);
    EXPECT_FLOAT_EQ(fnGetBinValueToRay(r.ray, 0, 5.9f, -32767), 4.0f);
    EXPECT_FLOAT_EQ(fnGetBinValueToRay(r.ray, 0, 6.1f, -32767), RDR_BIN_NO_VALUE);
    r.field->m_hdr.m_iScaleFactor = 0;  // no divisor
    EXPECT_FLOAT_EQ(fnGetBinValueToRay(r.ray, 0, 2.5f, -32767), RDR_BIN_NO_VALUE);
}

// The level grid of the specific differential phase: 0.5 * 600^(k/126), k = 0..126.
float kdpLevel(int k) {
    return 2.0f * static_cast<float>(0.25 * std::pow(600.0, k / 126.0));
}

TEST(BinValue, KdpSnapsToTheLogarithmicLevelGrid) {
    OneRay r = oneRay("KD", {100, 0, -100, 10, 40, -40, 30000, -30000, -32000}, 100);
    const float one = fnGetBinValueToRay(r.ray, 0, 0.5f, -32767);
    EXPECT_NEAR(one, 1.0f, 0.03f);
    EXPECT_FLOAT_EQ(one, kdpLevel(14));
    EXPECT_FLOAT_EQ(fnGetBinValueToRay(r.ray, 0, 0.8f, -32767), 0.0f);
    // Negative values keep their sign and mirror the positive grid.
    EXPECT_FLOAT_EQ(fnGetBinValueToRay(r.ray, 0, 1.0f, -32767), -kdpLevel(14));
    // Below the grid's 0.5: the nearest of 0 and +-0.5.
    EXPECT_FLOAT_EQ(fnGetBinValueToRay(r.ray, 0, 1.3f, -32767), 0.0f);
    EXPECT_FLOAT_EQ(fnGetBinValueToRay(r.ray, 0, 1.5f, -32767), 0.5f);
    EXPECT_FLOAT_EQ(fnGetBinValueToRay(r.ray, 0, 1.8f, -32767), -0.5f);
    EXPECT_NEAR(fnGetBinValueToRay(r.ray, 0, 2.0f, -32767), 300.0f, 8.0f);
    // Past -300 the level stays on the grid instead of turning into a special code.
    EXPECT_FLOAT_EQ(fnGetBinValueToRay(r.ray, 0, 2.3f, -32767), -kdpLevel(126));
    EXPECT_FLOAT_EQ(fnGetBinValueToRay(r.ray, 0, 2.6f, -32767), -kdpLevel(126));

    // Every value maps to a level within half a level step (in log space) of itself.
    const double halfStep = std::log(600.0) / 126.0 * 0.5 + 1e-6;
    for (int s = 50; s <= 30000; s += 7) {
        r.field->m_pData[0] = static_cast<short>(s);
        const float v = fnGetBinValueToRay(r.ray, 0, 0.5f, -32767);
        ASSERT_LE(std::fabs(std::log(v / (s / 100.0))), halfStep) << s;
        r.field->m_pData[0] = static_cast<short>(-s);
        ASSERT_FLOAT_EQ(fnGetBinValueToRay(r.ray, 0, 0.5f, -32767), -v) << s;
    }

    // Other names, even ones starting with KD, are never snapped.
    OneRay kdp = oneRay("KDP", {100});
    EXPECT_FLOAT_EQ(fnGetBinValueToRay(kdp.ray, 0, 0.5f, -32767), 1.0f);
    OneRay kdLower = oneRay("kd", {100});
    EXPECT_FLOAT_EQ(fnGetBinValueToRay(kdLower.ray, 0, 0.5f, -32767), 1.0f);
}

// ---------------------------------------------------------------------------------------------

TEST(Azimuth, OffsetConventions) {
    EXPECT_FLOAT_EQ(fnGetAzimuth(1, 0), 90);
    EXPECT_FLOAT_EQ(fnGetAzimuth(0, -1), 0);
    EXPECT_FLOAT_EQ(fnGetAzimuth(0, 1), 180);
    EXPECT_FLOAT_EQ(fnGetAzimuth(-1, 0), 270);
    EXPECT_FLOAT_EQ(fnGetAzimuth(0, 0), 0);
    EXPECT_NEAR(fnGetAzimuth(1, -1), 45, 1e-4);

    EXPECT_FLOAT_EQ(fnCalcAzimuthToXY(-1, 0), 0);
    EXPECT_FLOAT_EQ(fnCalcAzimuthToXY(0, -1), 90);
    EXPECT_FLOAT_EQ(fnCalcAzimuthToXY(1, 0), 180);
    EXPECT_FLOAT_EQ(fnCalcAzimuthToXY(0, 1), 270);
    EXPECT_FLOAT_EQ(fnCalcAzimuthToXY(0, 0), 180);
    EXPECT_NEAR(fnCalcAzimuthToXY(-1, -1), 45, 1e-4);
    EXPECT_NEAR(fnCalcAzimuthToXY(1, -1), 135, 1e-4);

    // Both agree with the compass bearing atan2(east, north) everywhere.
    for (int y = -40; y <= 40; ++y) {
        for (int x = -40; x <= 40; ++x) {
            if (x == 0 && y == 0) {
                continue;
            }
            // fnCalcAzimuthToXY: y rows south, x columns west.
            double want = std::atan2(-x, -y) * 180.0 / M_PI;
            want = want < 0 ? want + 360 : want;
            double got = fnCalcAzimuthToXY(y, x);
            ASSERT_NEAR(std::remainder(got - want, 360.0), 0.0, 2e-3) << y << "," << x;
            // fnGetAzimuth: x east, y south.
            want = std::atan2(x, -y) * 180.0 / M_PI;
            want = want < 0 ? want + 360 : want;
            got = fnGetAzimuth(static_cast<float>(x), static_cast<float>(y));
            ASSERT_NEAR(std::remainder(got - want, 360.0), 0.0, 2e-3) << y << "," << x;
            ASSERT_GE(got, 0.0);
            ASSERT_LT(got, 360.0);
        }
    }
}

TEST(RaySearch, ProbesToOccupiedBucketAndFailsOnEmptyTable) {
    rdrtest::VolumeShape shape = rdrtest::uniformVolume(1, 8, 1, {"DZ"});
    shape.sweeps[0].azimuths = {10, 20, 30, 40, 200, 210, 220, 230};  // two sectors
    StdRadarPtr vol = rdrtest::buildVolume(shape);
    STD_SWEEP* sweep = vol->m_ppSweep[0];
    STD_AZIMUTH_TBL* table = fnMakeRayHashTable(sweep);
    ASSERT_NE(table, nullptr);
    const float fRes = 45.0f;
    EXPECT_EQ(fnSearchRayToAzim(sweep, fRes, 12.0f, table), 0);
    EXPECT_EQ(fnSearchRayToAzim(sweep, fRes, 100.0f, table), 3);
    EXPECT_EQ(fnSearchRayToAzim(sweep, fRes, 150.0f, table), 4);
    EXPECT_EQ(fnSearchRayToAzim(sweep, fRes, 359.0f, table), 0);
    EXPECT_EQ(fnSearchRayToAzim(sweep, fRes, -30.0f, table), 0);  // below 0: no bad index
    EXPECT_EQ(fnSearchRayToAzim(sweep, fRes, -100.0f, table), 7);
    EXPECT_EQ(fnSearchRayToAzim(sweep, fRes, 725.0f, table), 0);  // a turn too far
    EXPECT_EQ(fnSearchRayToAzim(sweep, fRes, -710.0f, table), 0);
    EXPECT_EQ(fnSearchRayToAzim(nullptr, fRes, 12.0f, table), -1);
    EXPECT_EQ(fnSearchRayToAzim(sweep, fRes, 12.0f, nullptr), -1);
    for (int b = 0; b < 8; ++b) {
        table[b].m_iCon = -1;
    }
    EXPECT_EQ(fnSearchRayToAzim(sweep, fRes, 12.0f, table), -1);
    std::free(table);
}

// ---------------------------------------------------------------------------------------------
// Grid filters

constexpr float N = RDR_GRID_NO_DATA;
constexpr float O = RDR_GRID_OUT_BOUND;

TEST(Filters, FillSpaceTakesWestThenNorth) {
    std::vector<float> g = {
        N, 3, N, N,  //
        5, N, 7, N,  //
        N, 4, N, N,  //
        N, N, N, N,  //
    };
    ASSERT_EQ(fnFillSpaceData(g.data(), 4, 4), 1);
    EXPECT_FLOAT_EQ(g[5], 3);  // both pairs qualify: north wins
    EXPECT_FLOAT_EQ(g[4], 5);  // border never changes
    EXPECT_FLOAT_EQ(g[6], 7);
    EXPECT_FLOAT_EQ(g[9], 4);
    EXPECT_FLOAT_EQ(g[10], N);  // no pair of neighbours on either axis

    std::vector<float> row = {
        N, N, N, N, N,  //
        1, N, N, O, N,  //
        N, N, N, N, N,  //
    };
    ASSERT_EQ(fnFillSpaceData(row.data(), 3, 5), 1);
    // In place: the filled cell becomes the west neighbour of the next one; -9998 is a value.
    EXPECT_FLOAT_EQ(row[6], N);  // east of it was still empty when it was visited
    EXPECT_FLOAT_EQ(row[7], N);
    std::vector<float> chain = {
        N, N, N, N, N,  //
        1, N, 2, N, O,  //
        N, N, N, N, N,  //
    };
    fnFillSpaceData(chain.data(), 3, 5);
    EXPECT_FLOAT_EQ(chain[6], 1);
    EXPECT_FLOAT_EQ(chain[8], 2);
    EXPECT_EQ(fnFillSpaceData(nullptr, 3, 3), 0);
}

std::vector<float> blockGrid(int dim, int top, int left, int size) {
    std::vector<float> g(static_cast<size_t>(dim) * dim, N);
    for (int y = top; y < top + size; ++y) {
        for (int x = left; x < left + size; ++x) {
            g[static_cast<size_t>(y) * dim + x] = 20.0f;
        }
    }
    return g;
}

int echoCount(const std::vector<float>& g) {
    int n = 0;
    for (float v : g) {
        n += (v != N && v != O) ? 1 : 0;
    }
    return n;
}

TEST(Filters, IsolatedEchoDeletionErodesTheOuterRing) {
    for (int size : {1, 2}) {
        std::vector<float> g = blockGrid(9, 3, 3, size);
        ASSERT_EQ(fnDeleteIndenpentEcho(g.data(), 9, 9), 1);
        EXPECT_EQ(echoCount(g), 0) << size;
    }
    std::vector<float> g3 = blockGrid(9, 3, 3, 3);
    fnDeleteIndenpentEcho(g3.data(), 9, 9);
    EXPECT_EQ(echoCount(g3), 1);
    EXPECT_FLOAT_EQ(g3[4 * 9 + 4], 20.0f);
    std::vector<float> g5 = blockGrid(11, 3, 3, 5);
    fnDeleteIndenpentEcho(g5.data(), 11, 11);
    EXPECT_EQ(g5, blockGrid(11, 4, 4, 3));
    // Out-of-range cells are not echo.
    std::vector<float> out(25, O);
    fnDeleteIndenpentEcho(out.data(), 5, 5);
    EXPECT_EQ(out, std::vector<float>(25, O));
    EXPECT_EQ(fnDeleteIndenpentEcho(nullptr, 5, 5), 0);
    std::vector<float> thin = {1, 2};
    EXPECT_EQ(fnDeleteIndenpentEcho(thin.data(), 1, 2), 1);
}

TEST(Filters, OutOfRangeMarksCellsBeyondTheCircle) {
    std::vector<float> g(25, 1.0f);
    ASSERT_EQ(fnProcOutBound(g.data(), 5, 5, 1.0f, 2.0f), 1);
    int marked = 0;
    for (int r = 0; r < 5; ++r) {
        for (int c = 0; c < 5; ++c) {
            const bool far = (r - 2) * (r - 2) + (c - 2) * (c - 2) > 4;
            EXPECT_FLOAT_EQ(g[r * 5 + c], far ? O : 1.0f) << r << "," << c;
            marked += far ? 1 : 0;
        }
    }
    EXPECT_EQ(marked, 12);
    EXPECT_EQ(fnProcOutBound(nullptr, 5, 5, 1.0f, 2.0f), 0);
}

}  // namespace
