#include "standard_volume.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <random>
#include <vector>

#include "core_utilities.h"
#include "owned_handles.h"
#include "synthetic_volume.h"

namespace {

using rdrtest::buildVolume;
using rdrtest::StdRadarPtr;
using rdrtest::SweepShape;
using rdrtest::VolumeShape;

using TablePtr = rdr::MallocPtr<STD_AZIMUTH_TBL>;

// A one-sweep volume with the given azimuths (storage order) and null rays.
StdRadarPtr sweepVolume(std::vector<float> azimuths, std::vector<int> nullRays = {}) {
    VolumeShape shape;
    SweepShape sweep;
    sweep.azimuths = std::move(azimuths);
    sweep.nullRays = std::move(nullRays);
    sweep.bins = 1;
    shape.sweeps.push_back(sweep);
    return buildVolume(shape);
}

double angularDistance(float a, float b) {
    const double d = std::fabs(std::remainder(static_cast<double>(a) - b, 360.0));
    return d;
}

// Smallest angular distance from x to any present ray: the brute-force answer.
double oracleDistance(const STD_SWEEP* sweep, float x) {
    double best = 1e9;
    for (int r = 0; r < sweep->m_iMaxRay; ++r) {
        if (sweep->m_ppRay[r] != nullptr) {
            best = std::min(best, angularDistance(x, sweep->m_ppRay[r]->m_hdr.m_fAzimuth));
        }
    }
    return best;
}

// Searches from every occupied bucket and checks the answer is a nearest ray.
void expectNearestFromEveryBucket(STD_SWEEP* sweep, STD_AZIMUTH_TBL* table, float x) {
    const double best = oracleDistance(sweep, x);
    for (int b = 0; b < sweep->m_iMaxRay; ++b) {
        if (table[b].m_iCon < 0) {
            continue;
        }
        const int r = fnTheClosestRay(sweep, table, b, x);
        ASSERT_GE(r, 0) << "azimuth " << x << " from bucket " << b;
        ASSERT_NE(sweep->m_ppRay[r], nullptr);
        ASSERT_NEAR(angularDistance(x, sweep->m_ppRay[r]->m_hdr.m_fAzimuth), best, 1e-4)
            << "azimuth " << x << " from bucket " << b << " gave ray " << r;
    }
}

// ---------------------------------------------------------------------------------------------

TEST(StdVolume, InitBuildsRectangularTreeOfNoData) {
    STD_RADAR* std = fnInitStd(2, 3, 4, 1);
    ASSERT_NE(std, nullptr);
    EXPECT_EQ(fnValidStdRadar(std), 1);
    ASSERT_EQ(std->m_iMaxSweep, 2);
    for (int s = 0; s < 2; ++s) {
        ASSERT_EQ(std->m_ppSweep[s]->m_iMaxRay, 3);
        for (int r = 0; r < 3; ++r) {
            const STD_RAY* ray = std->m_ppSweep[s]->m_ppRay[r];
            ASSERT_EQ(ray->m_iMaxField, 1);
            const STD_FIELD* field = ray->m_ppField[0];
            EXPECT_EQ(field->m_iMaxBin, 4);
            EXPECT_EQ(field->m_hdr.m_iScaleFactor, 0);
            EXPECT_STREQ(field->m_hdr.m_szFieldName, "");
            for (int b = 0; b < 4; ++b) {
                EXPECT_EQ(field->m_pData[b], -32767);
            }
        }
    }
    int total = -1, sweeps = -1, rays = -1, bins = -1, fields = -1;
    EXPECT_EQ(fnGetMaxCountStd(std, &total, &sweeps, &rays, &bins, &fields), 1);
    EXPECT_EQ(total, 6);
    EXPECT_EQ(sweeps, 2);
    EXPECT_EQ(rays, 3);
    EXPECT_EQ(bins, 4);
    EXPECT_EQ(fields, 1);
    fnFreeStdRadar(std);

    // Non-positive counts leave the level empty; the volume is still valid.
    STD_RADAR* empty = fnInitStd(0, 5, 5, 5);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->m_iMaxSweep, 0);
    EXPECT_EQ(fnValidStdRadar(empty), 1);
    fnFreeStdRadar(empty);
    STD_RADAR* noFields = fnInitStd(1, 2, 10, 0);
    ASSERT_NE(noFields, nullptr);
    EXPECT_EQ(fnValidStdRadar(noFields), 1);
    fnFreeStdRadar(noFields);
    fnFreeStdRadar(nullptr);
}

TEST(StdVolume, ValidityFindsEveryMissingNode) {
    EXPECT_EQ(fnValidStdRadar(nullptr), 0);
    STD_RADAR* std = fnInitStd(2, 2, 3, 2);
    ASSERT_NE(std, nullptr);

    short* data = std->m_ppSweep[1]->m_ppRay[1]->m_ppField[1]->m_pData;
    std->m_ppSweep[1]->m_ppRay[1]->m_ppField[1]->m_pData = nullptr;
    EXPECT_EQ(fnValidStdRadar(std), 0);
    std->m_ppSweep[1]->m_ppRay[1]->m_ppField[1]->m_pData = data;

    STD_RAY* ray = std->m_ppSweep[0]->m_ppRay[1];
    std->m_ppSweep[0]->m_ppRay[1] = nullptr;
    EXPECT_EQ(fnValidStdRadar(std), 0);
    // The release walk skips the hole.
    int rays = 0;
    EXPECT_EQ(fnGetMaxCountStd(std, &rays, nullptr, nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(rays, 4);
    std->m_ppSweep[0]->m_ppRay[1] = ray;
    EXPECT_EQ(fnValidStdRadar(std), 1);

    STD_SWEEP** sweeps = std->m_ppSweep;
    std->m_ppSweep = nullptr;
    EXPECT_EQ(fnValidStdRadar(std), 0);
    std->m_ppSweep = sweeps;
    fnFreeStdRadar(std);
}

TEST(StdVolume, CountsOfRaggedVolume) {
    VolumeShape shape = rdrtest::uniformVolume(3, 4, 10, {"DZ", "VR", "SW"});
    shape.sweeps[1].azimuths = rdrtest::evenAzimuths(7);
    shape.sweeps[2].bins = 25;
    shape.rayFields = [](int s, int r) {
        return (s == 0 && r == 2) ? std::vector<int>{0} : std::vector<int>{0, 1, 2};
    };
    StdRadarPtr vol = buildVolume(shape);
    int total, sweeps, rays, bins, fields;
    ASSERT_EQ(fnGetMaxCountStd(vol.get(), &total, &sweeps, &rays, &bins, &fields), 1);
    EXPECT_EQ(total, 15);
    EXPECT_EQ(sweeps, 3);
    EXPECT_EQ(rays, 7);
    EXPECT_EQ(bins, 25);
    EXPECT_EQ(fields, 3);
    int sRays = -1, sFields = -1, sBins = -1;
    fnGetSweepMaxCountStd(vol->m_ppSweep[0], &sRays, &sFields, &sBins);
    EXPECT_EQ(sRays, 4);
    EXPECT_EQ(sFields, 3);
    EXPECT_EQ(sBins, 10);
    EXPECT_EQ(fnGetMaxCountStd(nullptr, &total, nullptr, nullptr, nullptr, nullptr), 0);
}

TEST(StdVolume, MaxRangeUsesFirstFieldOfEachRay) {
    VolumeShape shape = rdrtest::uniformVolume(1, 2, 480, {"DZ"});
    shape.sweeps[0].startRangeMeter = 250;
    StdRadarPtr vol = buildVolume(shape);
    EXPECT_FLOAT_EQ(fnGetMaxRangeStd(vol.get()), 480.25f);
    vol->m_ppSweep[0]->m_ppRay[1]->m_hdr.m_iBinSpacing = 250;
    vol->m_ppSweep[0]->m_ppRay[1]->m_hdr.m_iStartRangeKm = 2;
    EXPECT_FLOAT_EQ(fnGetMaxRangeStd(vol.get()), 480.25f);
    vol->m_ppSweep[0]->m_ppRay[0]->m_ppField[0]->m_iMaxBin = 600;
    EXPECT_FLOAT_EQ(fnGetMaxRangeStd(vol.get()), 600.25f);
    // A first field with its own gate spacing is measured with it.
    STD_FIELD_HDR& own = vol->m_ppSweep[0]->m_ppRay[0]->m_ppField[0]->m_hdr;
    own.m_iStartRangeKm = 1;
    own.m_iBinSpacing = 2000;
    EXPECT_FLOAT_EQ(fnGetMaxRangeStd(vol.get()), 1201.0f);
    EXPECT_FLOAT_EQ(fnGetMaxRangeStd(nullptr), 0.0f);
}

TEST(StdVolume, AzimuthCorrectionWrapsOnce) {
    StdRadarPtr vol = sweepVolume({359.0f, 1.0f, 180.0f});
    ASSERT_EQ(fnStdRadarAzimuthCorrection(vol.get(), 1.5f), 1);
    EXPECT_FLOAT_EQ(vol->m_ppSweep[0]->m_ppRay[0]->m_hdr.m_fAzimuth, 0.5f);
    EXPECT_FLOAT_EQ(vol->m_ppSweep[0]->m_ppRay[1]->m_hdr.m_fAzimuth, 2.5f);
    ASSERT_EQ(fnStdRadarAzimuthCorrection(vol.get(), -3.5f), 1);
    EXPECT_FLOAT_EQ(vol->m_ppSweep[0]->m_ppRay[1]->m_hdr.m_fAzimuth, 359.0f);
    EXPECT_FLOAT_EQ(vol->m_ppSweep[0]->m_ppRay[2]->m_hdr.m_fAzimuth, 178.0f);
    EXPECT_EQ(fnStdRadarAzimuthCorrection(nullptr, 1.0f), 0);
}

TEST(StdVolume, FieldLookupIsExactAndCaseSensitive) {
    VolumeShape shape = rdrtest::uniformVolume(1, 1, 1, {"VR", "DZ"});
    StdRadarPtr vol = buildVolume(shape);
    STD_RAY* ray = vol->m_ppSweep[0]->m_ppRay[0];
    EXPECT_EQ(fnGetFieldIdxRay(ray, "DZ"), 1);
    EXPECT_EQ(fnGetFieldIdxRay(ray, "VR"), 0);
    EXPECT_EQ(fnGetFieldIdxRay(ray, "dz"), -1);
    EXPECT_EQ(fnGetFieldIdxRay(ray, "D"), -1);
    EXPECT_EQ(fnGetFieldIdxRay(ray, "DZZ"), -1);
    EXPECT_EQ(fnGetFieldIdxRay(ray, "DZ_TOO_LONG_NAME"), -1);
    EXPECT_EQ(fnGetFieldIdxRay(nullptr, "DZ"), -1);
    EXPECT_EQ(fnGetFieldIdxRay(ray, nullptr), -1);
}

// ---------------------------------------------------------------------------------------------
// Hash table and nearest-ray search

TEST(RayHash, BucketsAndRingOfClockwiseSweep) {
    StdRadarPtr vol = sweepVolume(rdrtest::evenAzimuths(360, 0.5f));
    STD_SWEEP* sweep = vol->m_ppSweep[0];
    TablePtr table(fnMakeRayHashTable(sweep));
    ASSERT_NE(table, nullptr);
    // Ray i (i + 0.5 degrees) falls into bucket i + 1, ray 359 into bucket 0.
    for (int i = 0; i < 359; ++i) {
        EXPECT_EQ(table.get()[i + 1].m_iCon, i);
        EXPECT_FLOAT_EQ(table.get()[i + 1].m_fAzimuth, i + 0.5f);
    }
    EXPECT_EQ(table.get()[0].m_iCon, 359);
    // A clockwise sweep's ring is its acquisition order.
    for (int i = 0; i < 360; ++i) {
        EXPECT_EQ(table.get()[i].m_iHigh, (i + 1) % 360);
        EXPECT_EQ(table.get()[i].m_iLow, (i + 359) % 360);
    }
    EXPECT_EQ(fnGetRayHashIndex(1.0f, 359.7f), 360);
    EXPECT_EQ(fnGetRayHashIndex(2.0f, 10.0f), 6);  // 10/2 + 2*0.5: the half-resolution term

    // 10.2 lies between 9.5 and 10.5 and is nearer 10.5; a tie goes to the successor.
    const int fromBucket = fnGetRayHashIndex(1.0f, 10.2f);
    EXPECT_FLOAT_EQ(
        sweep->m_ppRay[fnTheClosestRay(sweep, table.get(), fromBucket, 10.2f)]->m_hdr.m_fAzimuth,
        10.5f);
    EXPECT_FLOAT_EQ(
        sweep->m_ppRay[fnTheClosestRay(sweep, table.get(), 11, 10.0f)]->m_hdr.m_fAzimuth, 10.5f);
    EXPECT_FLOAT_EQ(
        sweep->m_ppRay[fnTheClosestRay(sweep, table.get(), 200, 10.2f)]->m_hdr.m_fAzimuth,
        10.5f);  // a far starting bucket walks the ring
}

TEST(RayHash, RaySharingABucketStaysReachableThroughTheRing) {
    // 8 rays, fRes 45: 90 and 91 both land in bucket (2 + 22.5) mod 8 = 0.
    std::vector<float> az = {0.0f, 45.0f, 90.0f, 91.0f, 180.0f, 225.0f, 270.0f, 315.0f};
    StdRadarPtr vol = sweepVolume(az);
    STD_SWEEP* sweep = vol->m_ppSweep[0];
    TablePtr table(fnMakeRayHashTable(sweep));
    const float fRes = 45.0f;
    const int b90 = fnGetRayHashIndex(fRes, 90.0f) % 8;
    ASSERT_EQ(b90, fnGetRayHashIndex(fRes, 91.0f) % 8);
    EXPECT_EQ(table.get()[b90].m_iCon, 3);  // the later ray owns the bucket
    EXPECT_EQ(fnTheClosestRay(sweep, table.get(), b90, 89.0f), 2);
    EXPECT_EQ(fnTheClosestRay(sweep, table.get(), b90, 91.2f), 3);
}

TEST(RayHash, EmptyBucketOrBadIndexDoesNotCrash) {
    StdRadarPtr vol = sweepVolume({10.0f, 20.0f, 30.0f, 40.0f}, {1});
    STD_SWEEP* sweep = vol->m_ppSweep[0];
    TablePtr table(fnMakeRayHashTable(sweep));
    int empty = -1;
    for (int b = 0; b < 4; ++b) {
        if (table.get()[b].m_iCon == -1) {
            empty = b;
        }
    }
    ASSERT_GE(empty, 0);
    EXPECT_EQ(fnTheClosestRay(sweep, table.get(), empty, 15.0f), -1);
    EXPECT_EQ(fnTheClosestRay(sweep, table.get(), -1, 15.0f), -1);
    EXPECT_EQ(fnTheClosestRay(sweep, table.get(), 4, 15.0f), -1);
    EXPECT_EQ(fnTheClosestRay(nullptr, table.get(), 0, 15.0f), -1);
    EXPECT_EQ(fnTheClosestRay(sweep, nullptr, 0, 15.0f), -1);
    // A table that is not a ring (corrupt links) fails instead of looping or faulting.
    for (int b = 0; b < 4; ++b) {
        table.get()[b].m_iHigh = 7;
    }
    for (int b = 0; b < 4; ++b) {
        EXPECT_EQ(fnTheClosestRay(sweep, table.get(), b, 25.0f), -1);
    }
}

TEST(RayHash, NullRaysAreLeftOutOfBucketsAndRing) {
    StdRadarPtr vol = sweepVolume(rdrtest::evenAzimuths(12, 15.0f), {0, 5, 6, 11});
    STD_SWEEP* sweep = vol->m_ppSweep[0];
    TablePtr table(fnMakeRayHashTable(sweep));
    for (int r : {0, 5, 6, 11}) {
        EXPECT_EQ(table.get()[r].m_iHigh, -1);
        EXPECT_EQ(table.get()[r].m_iLow, -1);
    }
    for (int b = 0; b < 12; ++b) {
        if (table.get()[b].m_iCon >= 0) {
            EXPECT_NE(sweep->m_ppRay[table.get()[b].m_iCon], nullptr);
        }
    }
    EXPECT_EQ(table.get()[4].m_iHigh, 7);
    EXPECT_EQ(table.get()[7].m_iLow, 4);
    EXPECT_EQ(table.get()[10].m_iHigh, 1);
    for (float x = 0.0f; x < 360.0f; x += 0.37f) {
        expectNearestFromEveryBucket(sweep, table.get(), x);
    }
}

// Unsorted (merged split cuts), sector-scan gaps, null rays and duplicated azimuths, all
// checked against the brute-force nearest ray.
TEST(RayHash, NearestRayMatchesBruteForceOnIrregularSweeps) {
    std::mt19937 rng(20240229);
    std::uniform_real_distribution<float> anyAz(0.0f, 359.999f);
    for (int trial = 0; trial < 150; ++trial) {
        const int kind = trial % 5;
        const int n = 1 + static_cast<int>(rng() % 400);
        std::vector<float> az;
        switch (kind) {
            case 0:  // random azimuths in random order
                for (int i = 0; i < n; ++i) {
                    az.push_back(anyAz(rng));
                }
                break;
            case 1: {  // a full circle stored as two interleaved half cuts
                az = rdrtest::evenAzimuths(n, anyAz(rng));
                std::vector<float> merged;
                for (int i = 0; i < n; i += 2)
                    merged.push_back(az[i]);
                for (int i = 1; i < n; i += 2)
                    merged.push_back(az[i]);
                az = merged;
                break;
            }
            case 2: {  // a sector scan, counter-clockwise, over a random arc
                const float start = anyAz(rng);
                const float width = 10.0f + static_cast<float>(rng() % 170);
                az = rdrtest::evenAzimuths(n, start, width / static_cast<float>(n));
                std::reverse(az.begin(), az.end());
                break;
            }
            case 3: {  // clockwise circle shuffled
                az = rdrtest::evenAzimuths(n, anyAz(rng));
                std::shuffle(az.begin(), az.end(), rng);
                break;
            }
            default: {  // duplicates: a few azimuths repeated
                const int distinct = 1 + static_cast<int>(rng() % 6);
                std::vector<float> pool;
                for (int i = 0; i < distinct; ++i)
                    pool.push_back(anyAz(rng));
                for (int i = 0; i < n; ++i)
                    az.push_back(pool[rng() % distinct]);
                break;
            }
        }
        std::vector<int> nulls;
        if (n > 2 && trial % 3 == 0) {
            for (int i = 0; i < n / 5; ++i)
                nulls.push_back(static_cast<int>(rng() % (n - 1)));
        }
        StdRadarPtr vol = sweepVolume(az, nulls);
        STD_SWEEP* sweep = vol->m_ppSweep[0];
        TablePtr table(fnMakeRayHashTable(sweep));
        ASSERT_NE(table, nullptr);
        const float fRes = 360.0f / static_cast<float>(n);
        for (int q = 0; q < 60; ++q) {
            const float x = q < 5 ? az[rng() % n] : anyAz(rng);  // on a ray, or anywhere
            int start = fnGetRayHashIndex(fRes, x) % n;
            int probes = 0;
            while (table.get()[start].m_iCon < 0 && probes++ < n)
                start = (start + 1) % n;
            const int r = fnTheClosestRay(sweep, table.get(), start, x);
            ASSERT_GE(r, 0) << "trial " << trial << " kind " << kind << " azimuth " << x;
            ASSERT_NEAR(angularDistance(x, sweep->m_ppRay[r]->m_hdr.m_fAzimuth),
                        oracleDistance(sweep, x), 1e-4)
                << "trial " << trial << " kind " << kind << " n " << n << " azimuth " << x;
        }
        if (n <= 40) {
            for (int q = 0; q < 10; ++q) {
                expectNearestFromEveryBucket(sweep, table.get(), anyAz(rng));
            }
        }
    }
}

TEST(RayHash, DegenerateSweepsTerminate) {
    {
        StdRadarPtr vol = sweepVolume({123.0f});
        TablePtr table(fnMakeRayHashTable(vol->m_ppSweep[0]));
        EXPECT_EQ(table.get()[0].m_iHigh, 0);
        EXPECT_EQ(fnTheClosestRay(vol->m_ppSweep[0], table.get(), 0, 300.0f), 0);
    }
    {
        StdRadarPtr vol = sweepVolume(std::vector<float>(50, 77.0f));
        STD_SWEEP* sweep = vol->m_ppSweep[0];
        TablePtr table(fnMakeRayHashTable(sweep));
        expectNearestFromEveryBucket(sweep, table.get(), 250.0f);
        expectNearestFromEveryBucket(sweep, table.get(), 77.0f);
    }
    {
        StdRadarPtr vol = sweepVolume({5.0f, 6.0f, 7.0f}, {0, 1, 2});
        TablePtr table(fnMakeRayHashTable(vol->m_ppSweep[0]));
        for (int b = 0; b < 3; ++b) {
            EXPECT_EQ(table.get()[b].m_iCon, -1);
            EXPECT_EQ(fnTheClosestRay(vol->m_ppSweep[0], table.get(), b, 6.0f), -1);
        }
    }
    {
        VolumeShape shape;
        shape.sweeps.push_back(SweepShape{});  // no rays at all
        StdRadarPtr vol = buildVolume(shape);
        TablePtr table(fnMakeRayHashTable(vol->m_ppSweep[0]));
        EXPECT_NE(table, nullptr);
        EXPECT_EQ(fnTheClosestRay(vol->m_ppSweep[0], table.get(), 0, 6.0f), -1);
    }
}

TEST(RayHash, AzimuthsOutsideOneTurnStillFindTheNearestRay) {
    StdRadarPtr vol = sweepVolume({365.0f, 10.0f, 725.5f, -20.0f, 180.0f, 360.0f, -400.0f});
    STD_SWEEP* sweep = vol->m_ppSweep[0];
    TablePtr table(fnMakeRayHashTable(sweep));
    for (float x = 0.0f; x < 360.0f; x += 1.3f) {
        expectNearestFromEveryBucket(sweep, table.get(), x);
    }
}

TEST(RayHash, AllTablesOfAVolume) {
    VolumeShape shape = rdrtest::uniformVolume(3, 90, 2, {"DZ"});
    StdRadarPtr vol = buildVolume(shape);
    STD_AZIMUTH_TBL** tables = fnMakeAllHashTable(vol.get());
    ASSERT_NE(tables, nullptr);
    for (int s = 0; s < 3; ++s) {
        ASSERT_NE(tables[s], nullptr);
        EXPECT_EQ(tables[s][0].m_iHigh, 1);
    }
    fnFreeMatrix2D(reinterpret_cast<void**>(tables), 3);

    STD_SWEEP* saved = vol->m_ppSweep[2];
    vol->m_ppSweep[2] = nullptr;  // a failed build releases what it made
    EXPECT_EQ(fnMakeAllHashTable(vol.get()), nullptr);
    vol->m_ppSweep[2] = saved;
    EXPECT_EQ(fnMakeAllHashTable(nullptr), nullptr);
}

}  // namespace
