#include "ppi_grid.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core_utilities.h"
#include "product_test_support.h"
#include "ray_lookup.h"
#include "synthetic_volume.h"

namespace {

using rdrtest::StdRadarPtr;
using rdrtest::VolumeShape;

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
using GridPtr = std::unique_ptr<float, FreeDeleter>;
using TablePtr = std::unique_ptr<STD_AZIMUTH_TBL, FreeDeleter>;

struct Ppi {
    GridPtr grid;
    int dim = 0;
    float at(int row, int col) const { return grid.get()[static_cast<size_t>(row) * dim + col]; }
};

Ppi makePpi(STD_RADAR* vol, int sweep, int dim, float maxKm, float gridKm, const char* field,
            STD_AZIMUTH_TBL* table) {
    Ppi p;
    p.dim = dim;
    p.grid.reset(fnCreatePPI(vol, sweep, dim, dim, maxKm, gridKm, field, table));
    return p;
}

// Two moments that encode where a bin sits: "RY" holds the ray index, "BN" the bin index.
VolumeShape encodedVolume(int rays, int bins) {
    VolumeShape shape = rdrtest::uniformVolume(1, rays, bins, {"RY", "BN"});
    shape.scaleFactor = 1;
    shape.value = [](int, int r, int b, int f) { return static_cast<short>(f == 0 ? r : b); };
    return shape;
}

// ---------------------------------------------------------------------------------------------

// Every cell of the grid against the closed-form bearing and distance of its centre.
TEST(Ppi, CellsMatchClosedFormAzimuthAndRange) {
    for (int dim : {200, 201}) {
        for (float gridKm : {1.0f, 0.75f}) {
            StdRadarPtr vol = rdrtest::buildVolume(encodedVolume(360, 150));
            TablePtr table(fnMakeRayHashTable(vol->m_ppSweep[0]));
            const float maxKm = 90.0f;
            Ppi ray = makePpi(vol.get(), 0, dim, maxKm, gridKm, "RY", table.get());
            Ppi bin = makePpi(vol.get(), 0, dim, maxKm, gridKm, "BN", table.get());
            ASSERT_TRUE(ray.grid && bin.grid);
            const int radarRow = dim / 2;
            const int radarCol = (dim - 1) - dim / 2;
            int checked = 0;
            for (int row = 0; row < dim; ++row) {
                for (int col = 0; col < dim; ++col) {
                    const bool visited = !(dim % 2 == 1 && (row == dim - 1 || col == 0));
                    const double north = radarRow - row;
                    const double east = col - radarCol;
                    const double rangeKm = std::hypot(north, east) * gridKm;
                    if (!visited || rangeKm > maxKm + 1e-4) {
                        ASSERT_EQ(ray.at(row, col), -9999.0f) << row << "," << col;
                        ASSERT_EQ(bin.at(row, col), -9999.0f) << row << "," << col;
                        continue;
                    }
                    if (rangeKm > maxKm - 1e-4) {
                        continue;  // on the rim: either answer is fine
                    }
                    double az = std::atan2(east, north) * 180.0 / M_PI;
                    az = az < 0 ? az + 360 : az;
                    if (north == 0 && east == 0) {
                        az = 180.0;  // the radar's own cell looks south
                    }
                    // Rays are centred on k + 0.5: the nearest is floor(az), a tie on a whole
                    // degree goes clockwise.
                    const double azFrac = az - std::floor(az);
                    const int wantRay = static_cast<int>(std::floor(az)) % 360;
                    const float gotRay = ray.at(row, col);
                    if (azFrac > 1e-3 && azFrac < 1 - 1e-3) {
                        ASSERT_EQ(gotRay, static_cast<float>(wantRay))
                            << "dim " << dim << " cell " << row << "," << col << " az " << az;
                    } else {
                        const double d = std::remainder(gotRay - std::round(az), 360.0);
                        ASSERT_TRUE(d == 0 || d == -1) << row << "," << col << " az " << az;
                    }
                    const double rangeFrac = rangeKm - std::floor(rangeKm);
                    const float gotBin = bin.at(row, col);
                    if (rangeFrac > 1e-4 && rangeFrac < 1 - 1e-4) {
                        ASSERT_EQ(gotBin, std::floor(rangeKm)) << row << "," << col;
                    } else {
                        ASSERT_LE(std::fabs(gotBin - std::round(rangeKm)), 1.0);
                    }
                    ++checked;
                }
            }
            EXPECT_GT(checked, 20000);
        }
    }
}

TEST(Ppi, RadarPositionAndUnvisitedEdges) {
    StdRadarPtr vol = rdrtest::buildVolume(encodedVolume(360, 10));
    TablePtr table(fnMakeRayHashTable(vol->m_ppSweep[0]));
    Ppi four = makePpi(vol.get(), 0, 4, 100, 1, "RY", table.get());
    ASSERT_TRUE(four.grid);
    EXPECT_EQ(four.at(2, 2), 90.0f);   // east of the radar (row 2, column 1)
    EXPECT_EQ(four.at(1, 1), 0.0f);    // north: ray centred on 0.5 wins the tie
    EXPECT_EQ(four.at(2, 1), 180.0f);  // the radar cell itself

    Ppi five = makePpi(vol.get(), 0, 5, 100, 1, "BN", table.get());
    ASSERT_TRUE(five.grid);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(five.at(4, i), -9999.0f);
        EXPECT_EQ(five.at(i, 0), -9999.0f);
    }
    EXPECT_EQ(five.at(2, 2), 0.0f);
    EXPECT_EQ(five.at(0, 4), 2.0f);  // sqrt(8) km
}

TEST(Ppi, BadArgumentsReportAndReturnNull) {
    StdRadarPtr vol = rdrtest::buildVolume(encodedVolume(36, 10));
    TablePtr table(fnMakeRayHashTable(vol->m_ppSweep[0]));
    struct Case {
        std::function<float*()> call;
        const char* message;
    } cases[] = {
        {[&] { return fnCreatePPI(vol.get(), 0, 4, 5, 10, 1, "RY", table.get()); },
         "fnCreatePPI : Invalid arg\n"},
        {[&] { return fnCreatePPI(vol.get(), 0, -4, -4, 10, 1, "RY", table.get()); },
         "fnCreatePPI : Invalid arg\n"},
        {[&] { return fnCreatePPI(vol.get(), 1, 4, 4, 10, 1, "RY", table.get()); },
         "fnCreatePPI : Invalid arg\n"},
        {[&] { return fnCreatePPI(vol.get(), -1, 4, 4, 10, 1, "RY", table.get()); },
         "fnCreatePPI : Invalid arg\n"},
        {[&] { return fnCreatePPI(nullptr, 0, 4, 4, 10, 1, "RY", table.get()); },
         "fnCreatePPI : Invalid arg\n"},
        {[&] { return fnCreatePPI(vol.get(), 0, 4, 4, 10, 1, nullptr, table.get()); },
         "fnCreatePPI : Invalid arg\n"},
        {[&] { return fnCreatePPI(vol.get(), 0, 4, 4, 10, 1, "RY", nullptr); },
         "fnCreatePPI : Invalid arg\n"},
        {[&] { return fnCreatePPI(vol.get(), 0, 4, 4, 10, 1, "DZ", table.get()); },
         "fnCreatePPI : no moment\n"},
    };
    for (const Case& c : cases) {
        testing::internal::CaptureStderr();
        float* grid = c.call();
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message);
        EXPECT_EQ(grid, nullptr);
        std::free(grid);
    }
    STD_SWEEP* sweep = vol->m_ppSweep[0];
    vol->m_ppSweep[0] = nullptr;
    testing::internal::CaptureStderr();
    EXPECT_EQ(fnCreatePPI(vol.get(), 0, 4, 4, 10, 1, "RY", table.get()), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "fnCreatePPI : sweep is null or m_ppRay is null\n");
    vol->m_ppSweep[0] = sweep;
}

// Rays that carry the moment at different indices, or not at all.
TEST(Ppi, MomentIsLookedUpOnEveryRay) {
    VolumeShape shape = encodedVolume(360, 60);
    shape.fields = {"RY", "BN", "DZ"};
    shape.value = [](int, int r, int b, int f) {
        return static_cast<short>(f == 0 ? r : f == 1 ? b : 1000 + r);
    };
    shape.rayFields = [](int, int r) {
        if (r < 10) {
            return std::vector<int>{0, 1};  // the first rays lack "DZ"
        }
        return r % 2 ? std::vector<int>{2, 0, 1} : std::vector<int>{1, 2, 0};
    };
    StdRadarPtr vol = rdrtest::buildVolume(shape);
    TablePtr table(fnMakeRayHashTable(vol->m_ppSweep[0]));
    Ppi dz = makePpi(vol.get(), 0, 120, 55, 1, "DZ", table.get());
    Ppi ry = makePpi(vol.get(), 0, 120, 55, 1, "RY", table.get());
    ASSERT_TRUE(dz.grid && ry.grid);
    int withValue = 0;
    for (int i = 0; i < 120 * 120; ++i) {
        const float r = ry.grid.get()[i];
        const float d = dz.grid.get()[i];
        if (r == -9999.0f) {
            ASSERT_EQ(d, -9999.0f);
        } else if (r < 10) {
            ASSERT_EQ(d, -9999.0f) << "ray " << r << " has no DZ";
        } else {
            ASSERT_EQ(d, 1000 + r);
            ++withValue;
        }
    }
    EXPECT_GT(withValue, 8000);
    const std::vector<float> ref = rdrtest::plainPpi(vol.get(), 0, 120, 55, 1, "DZ", table.get());
    EXPECT_EQ(0, std::memcmp(ref.data(), dz.grid.get(), ref.size() * sizeof(float)));
}

TEST(Ppi, FarRaysNoDataBinsAndOddSectors) {
    VolumeShape shape = encodedVolume(90, 50);
    shape.sweeps[0].azimuths = rdrtest::evenAzimuths(90, 0.5f, 1.0f);  // 0.5 .. 89.5 only
    shape.value = [](int, int r, int b, int f) {
        if (b == 7) {
            return static_cast<short>(STD_NO_DATA_CODE);
        }
        if (b == 8) {
            return static_cast<short>(STD_NO_VALUE_CODE);
        }
        return static_cast<short>(f == 0 ? r : b);
    };
    StdRadarPtr vol = rdrtest::buildVolume(shape);
    TablePtr table(fnMakeRayHashTable(vol->m_ppSweep[0]));
    Ppi bin = makePpi(vol.get(), 0, 100, 45, 1, "BN", table.get());
    ASSERT_TRUE(bin.grid);
    const int radarRow = 50, radarCol = 49;
    for (int row = 0; row < 100; ++row) {
        for (int col = 0; col < 100; ++col) {
            const double north = radarRow - row, east = col - radarCol;
            double az = std::atan2(east, north) * 180.0 / M_PI;
            az = az < 0 ? az + 360 : az;
            const double range = std::hypot(north, east);
            const float v = bin.at(row, col);
            if ((az > 91.0 && az < 359.0) || (north == 0 && east == 0)) {
                ASSERT_EQ(v, -9999.0f) << "no ray within a degree at " << az;
            }
            if (range > 7.001 && range < 8.999 && az > 1 && az < 89) {
                ASSERT_EQ(v, -9999.0f) << "no-data bin at " << range;
            }
        }
    }
    EXPECT_EQ(bin.at(radarRow - 20, radarCol + 20), 28.0f);  // 45 degrees, 28.28 km
}

// The optimised grid equals the plain definition on irregular sweeps and sizes.
TEST(Ppi, EqualsPlainReferenceOnIrregularSweeps) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> anyAz(0.0f, 359.99f);
    for (int trial = 0; trial < 12; ++trial) {
        const int rays = 20 + static_cast<int>(rng() % 500);
        VolumeShape shape = rdrtest::uniformVolume(2, rays, 120, {"DZ", "KD"});
        shape.sweeps[1].azimuths.clear();
        for (int i = 0; i < rays; ++i) {
            shape.sweeps[1].azimuths.push_back(anyAz(rng));
        }
        shape.sweeps[1].nullRays = {0, 3, rays / 2};
        shape.sweeps[1].binSpacingM = 500 + static_cast<int>(rng() % 1000);
        shape.sweeps[1].startRangeMeter = static_cast<int>(rng() % 900);
        // Scale factors with inexact reciprocals; values over the whole 16-bit range.
        const int scales[] = {1, 3, 7, 10, 100, 1000, 32767};
        shape.scaleFactor = scales[trial % 7];
        shape.value = [](int s, int r, int b, int f) {
            const int v = (r * 3701 + b * 1103 + s * 5 + f) % 65000 - 32500;
            return static_cast<short>(v % 97 == 0 ? STD_NO_DATA_CODE : v);
        };
        StdRadarPtr vol = rdrtest::buildVolume(shape);
        for (int s = 0; s < 2; ++s) {
            TablePtr table(fnMakeRayHashTable(vol->m_ppSweep[s]));
            // Sizes from 200 on search through the azimuth-bucket tables.
            const int dim = 60 + static_cast<int>(rng() % 240);
            const float gridKm = 0.25f + static_cast<float>(rng() % 8) * 0.25f;
            const float maxKm = 20.0f + static_cast<float>(rng() % 300);  // beyond the bins too
            for (const char* field : {"DZ", "KD"}) {
                Ppi got = makePpi(vol.get(), s, dim, maxKm, gridKm, field, table.get());
                ASSERT_TRUE(got.grid);
                const std::vector<float> ref =
                    rdrtest::plainPpi(vol.get(), s, dim, maxKm, gridKm, field, table.get());
                ASSERT_EQ(0, std::memcmp(ref.data(), got.grid.get(), ref.size() * sizeof(float)))
                    << "trial " << trial << " sweep " << s << " field " << field << " dim " << dim;
            }
        }
    }
}

TEST(Ppi, AzimuthDerivedFromQuadrantMatchesFunction) {
    // Odd sizes visit offsets -k..k-1; a large grid covers every symmetry case.
    StdRadarPtr vol = rdrtest::buildVolume(encodedVolume(720, 2));
    TablePtr table(fnMakeRayHashTable(vol->m_ppSweep[0]));
    // Every cell in range (0.9 km reaches the corners), so every octant pair is compared.
    const int dim = 1201;
    Ppi got = makePpi(vol.get(), 0, dim, 0.9f, 1e-3f, "RY", table.get());
    ASSERT_TRUE(got.grid);
    const std::vector<float> ref =
        rdrtest::plainPpi(vol.get(), 0, dim, 0.9f, 1e-3f, "RY", table.get());
    EXPECT_EQ(0, std::memcmp(ref.data(), got.grid.get(), ref.size() * sizeof(float)));
}

}  // namespace
