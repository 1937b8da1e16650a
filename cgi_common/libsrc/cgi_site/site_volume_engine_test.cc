#include "site_volume_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "owned_handle.h"
#include "test_support.h"
#include "testing/site_uf_writer.h"

namespace {

using FreeDeleter = rdr::ReleaseWith<rdr::freeMemory>;
using VolumePtr = std::unique_ptr<ST_UF_DATA, FreeDeleter>;
using TablePtr = std::unique_ptr<st_Azimuth, FreeDeleter>;

VolumePtr readLayout(const rdrtest::TempDir& dir, const site_test::UfLayout& layout,
                     const char* field = "DZ", float correction = 0.0f, bool gzip = false) {
    const std::string path = dir.file(gzip ? "v.uf.gz" : "v.uf");
    EXPECT_TRUE(site_test::writeBytes(path, site_test::encodeUf(layout).bytes, gzip));
    return VolumePtr(fnReadUfFile(path.c_str(), field, correction));
}

VolumePtr readBytes(const rdrtest::TempDir& dir, const std::vector<unsigned char>& bytes) {
    const std::string path = dir.file("raw.uf");
    EXPECT_TRUE(site_test::writeBytes(path, bytes));
    return VolumePtr(fnReadUfFile(path.c_str(), "DZ", 0.0f));
}

site_test::UfLayout twoSweeps() {
    site_test::UfLayout layout;
    layout.fields = {"VR", "DZ"};
    layout.elevations = {0.5f, 1.5f};
    layout.gates = 50;
    layout.gateM = 250;
    layout.firstGateKm = 2;
    layout.adjToCenterM = 125;
    layout.value = [](int sweep, float az, double rangeM, const std::string& field) {
        if (field == "VR") {
            return -5.0f;
        }
        return static_cast<float>(sweep * 20 + az / 10.0 + rangeM / 1000.0);
    };
    return layout;
}

void setWord(std::vector<unsigned char>& bytes, size_t recordStart, int pos1, int v) {
    const auto u = static_cast<uint16_t>(static_cast<int16_t>(v));
    bytes[recordStart + 2 * (pos1 - 1)] = static_cast<unsigned char>(u >> 8);
    bytes[recordStart + 2 * (pos1 - 1) + 1] = static_cast<unsigned char>(u & 0xff);
}

TEST(SiteUfReader, StoresGeometryAndValuesOfTheRequestedField) {
    rdrtest::TempDir dir;
    VolumePtr uf = readLayout(dir, twoSweeps());
    ASSERT_NE(uf, nullptr);
    EXPECT_EQ(uf->m_nSweeps, 2);
    EXPECT_EQ(uf->m_rgnRays[0], 360);
    EXPECT_EQ(uf->m_rgnRays[1], 360);
    EXPECT_FLOAT_EQ(uf->m_fUfElevation[1], 1.5f);
    EXPECT_EQ(uf->m_nBins[1][10], 50);
    EXPECT_EQ(uf->m_nGateSize[1][10], 250);
    EXPECT_EQ(uf->m_nRangeBin[1][10], 2125);
    EXPECT_FLOAT_EQ(uf->m_AZIM[1][10], 10.0f);
    EXPECT_NEAR(uf->m_fData[1][10][4], 20 + 1.0 + 3.125, 0.006);
    EXPECT_EQ(uf->m_fData[1][10][50], SITE_NO_DATA);
    EXPECT_EQ(uf->m_AZIM[2][0], SITE_NO_DATA);
    EXPECT_FLOAT_EQ(uf->m_fBeamWidth, 1.0f);
    EXPECT_NEAR(uf->m_fSiteLat, 37.0 + 26.0 / 60 + 30.0 / 3600, 1e-5);
    EXPECT_NEAR(uf->m_fSiteLon, 126.95, 1e-5);
    EXPECT_EQ(uf->m_nHeight, 150);
    EXPECT_EQ(uf->m_nFieldCnt, 2);
    EXPECT_STREQ(uf->szField_Name[1], "DZ");

    VolumePtr vr = readLayout(dir, twoSweeps(), "VR");
    ASSERT_NE(vr, nullptr);
    EXPECT_FLOAT_EQ(vr->m_fNyqVel, 27.0f);
    EXPECT_FLOAT_EQ(vr->m_fData[0][3][7], -5.0f);
    EXPECT_EQ(readLayout(dir, twoSweeps(), "ZZ"), nullptr);
}

// The block is not zeroed up front (its bins are written once, by the reader or as unread):
// every bin, ray and sweep the file left out must still read -9999, and every count and
// header member past the file's must read zero.
TEST(SiteUfReader, EverythingTheFileLeftOutReadsNoDataOrZero) {
    rdrtest::TempDir dir;
    VolumePtr uf = readLayout(dir, twoSweeps());
    ASSERT_NE(uf, nullptr);
    for (int s = 0; s < SITE_UF_MAX_SWEEPS; ++s) {
        for (int r = 0; r < SITE_UF_MAX_RAYS; ++r) {
            const int bins = s < uf->m_nSweeps && r < uf->m_rgnRays[s] ? uf->m_nBins[s][r] : 0;
            for (int b = bins; b < SITE_UF_MAX_BINS; ++b) {
                ASSERT_EQ(uf->m_fData[s][r][b], SITE_NO_DATA) << s << " " << r << " " << b;
            }
            if (s >= uf->m_nSweeps || r >= uf->m_rgnRays[s]) {
                ASSERT_EQ(uf->m_nBins[s][r], 0);
                ASSERT_EQ(uf->m_nGateSize[s][r], 0);
                ASSERT_EQ(uf->m_nRangeBin[s][r], 0);
            }
        }
        if (s >= uf->m_nSweeps) {
            EXPECT_EQ(uf->m_rgnRays[s], 0);
            EXPECT_EQ(uf->m_fUfElevation[s], 0.0f);
        }
    }
    EXPECT_EQ(uf->szField_Name[SITE_UF_MAX_FIELDS - 1][0], '\0');
}

TEST(SiteUfReader, FramingsAndCompressionGiveTheSameVolume) {
    rdrtest::TempDir dir;
    site_test::UfLayout layout = twoSweeps();
    layout.raysPerSweep = 90;
    layout.azimuthStep = 4.0f;
    VolumePtr fortran = readLayout(dir, layout);
    ASSERT_NE(fortran, nullptr);
    for (auto framing : {site_test::Framing::None, site_test::Framing::Padded}) {
        layout.framing = framing;
        for (bool gzip : {false, true}) {
            VolumePtr other = readLayout(dir, layout, "DZ", 0.0f, gzip);
            ASSERT_NE(other, nullptr);
            EXPECT_EQ(std::memcmp(other.get(), fortran.get(), sizeof(ST_UF_DATA)), 0);
        }
    }
}

TEST(SiteUfReader, AzimuthCorrectionWrapsAndDeletedBinsAreMarked) {
    rdrtest::TempDir dir;
    site_test::UfLayout layout;
    layout.value = [](int, float az, double rangeM, const std::string&) {
        return rangeM == 3000.0 ? NAN : az;
    };
    VolumePtr uf = readLayout(dir, layout, "DZ", 5.0f);
    ASSERT_NE(uf, nullptr);
    EXPECT_NEAR(uf->m_AZIM[0][357], 2.0f, 1e-4);
    EXPECT_NEAR(uf->m_AZIM[0][10], 15.0f, 1e-4);
    EXPECT_EQ(uf->m_fData[0][10][3], SITE_DELETED_BIN);
    EXPECT_FALSE(siteIsValue(uf->m_fData[0][10][3]));
    EXPECT_FLOAT_EQ(uf->m_fData[0][10][4], 10.0f);
}

TEST(SiteUfReader, DataBeyondTheFixedLimitsIsClipped) {
    rdrtest::TempDir dir;
    site_test::UfLayout layout;
    layout.elevations.assign(22, 1.0f);
    layout.raysPerSweep = 2;
    layout.gates = 2100;
    layout.gateM = 100;
    layout.value = [](int sweep, float, double rangeM, const std::string&) {
        return static_cast<float>(sweep + rangeM / 100000.0);
    };
    VolumePtr uf = readLayout(dir, layout);
    ASSERT_NE(uf, nullptr);
    EXPECT_EQ(uf->m_nSweeps, SITE_UF_MAX_SWEEPS);
    EXPECT_EQ(uf->m_nBins[19][1], SITE_UF_MAX_BINS);
    EXPECT_NEAR(uf->m_fData[19][1][1999], 19 + 1.999, 0.006);

    site_test::UfLayout many;
    many.raysPerSweep = 1005;
    many.azimuthStep = 360.0f / 1005;
    many.gates = 4;
    VolumePtr rays = readLayout(dir, many);
    ASSERT_NE(rays, nullptr);
    EXPECT_EQ(rays->m_rgnRays[0], SITE_UF_MAX_RAYS);
}

TEST(SiteUfReader, HostileFilesGiveNoVolume) {
    rdrtest::TempDir dir;
    site_test::UfLayout layout;
    layout.raysPerSweep = 4;
    layout.gates = 10;
    const site_test::UfFile good = site_test::encodeUf(layout);
    ASSERT_NE(readBytes(dir, good.bytes), nullptr);
    const size_t second = good.recordStarts[1];
    const int dataHeader = 46;
    const int fieldHeader = dataHeader + 5;

    EXPECT_EQ(readBytes(dir, {}), nullptr) << "empty file";
    EXPECT_EQ(fnReadUfFile(dir.file("absent.uf").c_str(), "DZ", 0.0f), nullptr);
    EXPECT_EQ(fnReadUfFile(nullptr, "DZ", 0.0f), nullptr);
    {
        std::vector<unsigned char> cut(good.bytes.begin(), good.bytes.begin() + second + 100);
        EXPECT_EQ(readBytes(dir, cut), nullptr) << "record cut short";
    }
    struct Damage {
        const char* what;
        int pos;
        int value;
    };
    const Damage damages[] = {
        {"scale 0", fieldHeader + 1, 0},
        {"negative scale", fieldHeader + 1, -100},
        {"data beyond the record", fieldHeader, 30000},
        {"gate count beyond the record", fieldHeader + 5, 2000},
        {"negative gate count", fieldHeader + 5, -3},
        {"field header beyond the record", dataHeader + 4, 32000},
        {"data header beyond the record", 5, 32000},
        {"eleven fields", dataHeader + 2, 11},
        {"record shorter than its header", 2, 20},
        {"record longer than the file", 2, 32000},
    };
    for (const Damage& d : damages) {
        std::vector<unsigned char> bad = good.bytes;
        setWord(bad, second, d.pos, d.value);
        EXPECT_EQ(readBytes(dir, bad), nullptr) << d.what;
    }
    {
        std::vector<unsigned char> bad = good.bytes;
        bad[second] = 'X';
        EXPECT_EQ(readBytes(dir, bad), nullptr) << "a record without its UF";
    }
    {
        std::vector<unsigned char> noise(5000);
        std::mt19937 rng(7);
        for (auto& b : noise) {
            b = static_cast<unsigned char>(rng());
        }
        EXPECT_EQ(readBytes(dir, noise), nullptr) << "noise";
    }
}

TEST(SiteUfReader, RandomDamageNeverCrashes) {
    rdrtest::TempDir dir;
    site_test::UfLayout layout;
    layout.fields = {"DZ", "VR", "KD"};
    layout.raysPerSweep = 6;
    layout.elevations = {0.5f, 1.5f};
    layout.gates = 12;
    const site_test::UfFile good = site_test::encodeUf(layout);
    std::mt19937 rng(42);
    for (int round = 0; round < 40; ++round) {
        std::vector<unsigned char> bad = good.bytes;
        for (int k = 0; k < 6; ++k) {
            bad[rng() % bad.size()] = static_cast<unsigned char>(rng());
        }
        if (round % 5 == 0) {
            bad.resize(rng() % bad.size());
        }
        VolumePtr uf = readBytes(dir, bad);
        if (uf != nullptr) {
            EXPECT_LE(uf->m_nSweeps, SITE_UF_MAX_SWEEPS);
            for (int s = 0; s < uf->m_nSweeps; ++s) {
                TablePtr t(fnMakeHashTable(uf.get(), s));
                siteClosestRay(uf.get(), s, t.get(), 123.0f);
            }
        }
    }
}

// Azimuths of one sweep written straight into a volume.
VolumePtr volumeWithAzimuths(const std::vector<float>& azimuths) {
    VolumePtr uf(static_cast<ST_UF_DATA*>(std::calloc(1, sizeof(ST_UF_DATA))));
    uf->m_nSweeps = 1;
    uf->m_rgnRays[0] = static_cast<int>(azimuths.size());
    std::copy(azimuths.begin(), azimuths.end(), uf->m_AZIM[0]);
    return uf;
}

TEST(SiteAzimuthTable, NearestRayMatchesBruteForceForAnyRayOrder) {
    std::mt19937 rng(1234);
    std::uniform_real_distribution<float> angle(0.0f, 360.0f);
    for (int round = 0; round < 60; ++round) {
        const int n = 1 + static_cast<int>(rng() % 400);
        std::vector<float> az(static_cast<size_t>(n));
        const int kind = round % 4;
        for (int j = 0; j < n; ++j) {
            if (kind == 0) {  // a clockwise scan starting anywhere
                az[j] = std::fmod(37.0f + j * 360.0f / n, 360.0f);
            } else if (kind == 1) {  // anticlockwise
                az[j] = std::fmod(720.0f - j * 360.0f / n, 360.0f);
            } else if (kind == 2) {  // random order with duplicates
                az[j] = j % 7 == 3 && j > 0 ? az[j - 1] : angle(rng);
            } else {  // a sector scan with a gap
                az[j] = std::fmod(300.0f + j * 120.0f / n, 360.0f);
            }
        }
        if (kind == 2 && n > 3) {
            az[1] = SITE_NO_DATA;  // a slot without a ray
        }
        VolumePtr uf = volumeWithAzimuths(az);
        TablePtr table(fnMakeHashTable(uf.get(), 0));
        ASSERT_NE(table, nullptr);
        for (int q = 0; q < 50; ++q) {
            const float a = q == 0 ? 359.99f : (q == 1 ? 0.0f : angle(rng));
            float best = 1000.0f;
            for (int j = 0; j < n; ++j) {
                if (az[j] >= 0.0f) {
                    best = std::min(best, siteAzimuthDistance(az[j], a));
                }
            }
            const int ray = siteClosestRay(uf.get(), 0, table.get(), a);
            ASSERT_GE(ray, 0);
            ASSERT_LT(ray, n);
            EXPECT_FLOAT_EQ(siteAzimuthDistance(az[ray], a), best)
                << "round " << round << " n " << n << " query " << a;
        }
    }
}

TEST(SiteAzimuthTable, SlotsAndSharedSlots) {
    std::vector<float> az(360);
    for (int j = 0; j < 360; ++j) {
        az[j] = static_cast<float>(j);
    }
    az[11] = 10.2f;  // lands in slot 10 with ray 10, after it
    VolumePtr uf = volumeWithAzimuths(az);
    TablePtr table(fnMakeHashTable(uf.get(), 0));
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table.get()[10].m_nCon, 11);
    EXPECT_EQ(table.get()[11].m_nCon, -1);
    EXPECT_EQ(table.get()[200].m_nCon, 200);
    EXPECT_EQ(siteClosestRay(uf.get(), 0, table.get(), 9.9f), 10);
    EXPECT_EQ(siteClosestRay(uf.get(), 0, table.get(), 10.4f), 11);
    EXPECT_EQ(siteClosestRay(uf.get(), 0, table.get(), -0.3f), 0);
    EXPECT_EQ(siteClosestRay(uf.get(), 0, table.get(), 359.7f), 0);

    EXPECT_EQ(fnMakeHashTable(nullptr, 0), nullptr);
    EXPECT_EQ(fnMakeHashTable(uf.get(), 1), nullptr);
    EXPECT_EQ(fnMakeHashTable(uf.get(), SITE_UF_MAX_SWEEPS), nullptr);
    EXPECT_EQ(siteClosestRay(uf.get(), 0, table.get(), NAN), -1);
    EXPECT_EQ(siteClosestRay(uf.get(), 0, nullptr, 3.0f), -1);
}

}  // namespace

namespace {

TEST(SiteUfReader, RealVolumeReadsTheSameFromItsGzipCopy) {
    RDR_REQUIRE_SHARED_DATA();
    const std::string plain = rdrtest::sharedData("uf/KLIX20050828_180149_rsl.uf");
    VolumePtr uf(fnReadUfFile(plain.c_str(), "DZ", 0.0f));
    ASSERT_NE(uf, nullptr);
    VolumePtr gz(fnReadUfFile((plain + ".gz").c_str(), "DZ", 0.0f));
    ASSERT_NE(gz, nullptr);
    EXPECT_EQ(std::memcmp(uf.get(), gz.get(), sizeof(ST_UF_DATA)), 0);
    // The Slidell, Louisiana site.
    EXPECT_NEAR(uf->m_fSiteLat, 30.34, 0.01);
    EXPECT_NEAR(uf->m_fSiteLon, -89.83, 0.01);
    ASSERT_GT(uf->m_nSweeps, 1);
    EXPECT_GE(uf->m_rgnRays[0], 360);
    EXPECT_LT(uf->m_fUfElevation[0], 1.0f);
    TablePtr table(fnMakeHashTable(uf.get(), 0));
    ASSERT_NE(table, nullptr);
    const int ray = siteClosestRay(uf.get(), 0, table.get(), 90.0f);
    ASSERT_GE(ray, 0);
    EXPECT_LE(siteAzimuthDistance(uf->m_AZIM[0][ray], 90.0f), 1.0f);
}

}  // namespace
