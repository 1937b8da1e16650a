// UF loader: real files against a decode done here word by word, files from a writer that
// shares nothing with the library's, the framings, gzip, truncated files, damaged records
// and the acceptance limits.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "owned_handles.h"
#include "test_support.h"
#include "uf_fixture.h"
#include "uf_radar.h"

using uffix::Bytes;
using uffix::UfRadarPtr;

namespace {

using StdPtr = rdr::StdRadarPtr;

// ---- an independent decode of 4-byte-framed sample files --------------------------

int w(const Bytes& rec, int pos) {
    return static_cast<short>((rec[2 * pos - 2] << 8) | rec[2 * pos - 1]);
}
std::string chars(const Bytes& rec, int pos, int words) {
    std::string s(reinterpret_cast<const char*>(&rec[2 * pos - 2]), 2 * words);
    return s.substr(0, s.find('\0'));
}
float deg64(const Bytes& rec, int pos) {
    return static_cast<float>(w(rec, pos) / 64.0);
}
int fullYear(int y) {
    return y < 80 ? y + 2000 : (y < 1900 ? y + 1900 : y);
}

time_t utcPlusNine(int y, int mo, int d, int h, int mi, int s) {
    struct tm t {};
    t.tm_year = fullYear(y) - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_sec = s;
    return timegm(&t) + 32400;
}

class UfSampleFiles : public ::testing::TestWithParam<std::string> {
  protected:
    void SetUp() override {
        RDR_REQUIRE_SHARED_DATA();
        setenv("TZ", "UTC", 1);
        tzset();
    }
};

TEST_P(UfSampleFiles, AgreeWithAWordByWordDecode) {
    const std::string path = rdrtest::sharedData("uf/" + GetParam());
    const std::vector<Bytes> records = ufbytes::splitFourFramed(ufbytes::readAll(path));
    ASSERT_FALSE(records.empty());

    UfRadarPtr uf(fnLoadUf(path.c_str()));
    ASSERT_NE(uf, nullptr);
    StdPtr std(fnUfSyncUpStd(uf.get()));
    ASSERT_NE(std, nullptr);
    ASSERT_EQ(fnValidStdRadar(std.get()), 1);

    // Sweeps become visible in the order 1, 2, 3, ...; the sample files are in order.
    std::vector<std::vector<const Bytes*>> sweeps;
    for (const Bytes& rec : records) {
        const int sweepNo = w(rec, 10);
        if (sweepNo == static_cast<int>(sweeps.size()) + 1) {
            sweeps.emplace_back();
        }
        ASSERT_EQ(sweepNo, static_cast<int>(sweeps.size())) << "sample file out of order";
        sweeps.back().push_back(&rec);
    }
    ASSERT_EQ(std->m_iMaxSweep, static_cast<int>(sweeps.size()));

    const Bytes& first = records.front();
    const STD_GLOBAL_HDR& g = std->m_hdr;
    EXPECT_EQ(g.m_iVolumeNo, w(first, 7));
    EXPECT_EQ(std::string(g.m_szRadarName), chars(first, 11, 4));
    EXPECT_EQ(std::string(g.m_szSiteName), chars(first, 15, 4));
    EXPECT_NEAR(g.m_dLat, w(first, 19) + (w(first, 20) + w(first, 21) / 64.0 / 60.0) / 60.0, 1e-5);
    EXPECT_NEAR(g.m_dLon, w(first, 22) + (w(first, 23) + w(first, 24) / 64.0 / 60.0) / 60.0, 1e-5);
    EXPECT_EQ(g.m_iAnteHeight, w(first, 25));
    EXPECT_EQ(g.m_iSweepMode, w(first, 35));
    EXPECT_EQ(g.m_iNoDataValue, w(first, 45));
    EXPECT_EQ(std::string(g.m_szConvertName), chars(first, 41, 4));
    const int oh = w(first, 3);
    if (oh != w(first, 4)) {
        EXPECT_EQ(std::string(g.m_szProjectName), chars(first, oh, 4));
        // The scan's start time of day on the first ray's date, a day earlier when the
        // start lies more than an hour after that ray (a scan begun before midnight).
        time_t expected = utcPlusNine(w(first, 26), w(first, 27), w(first, 28), w(first, oh + 6),
                                      w(first, oh + 7), w(first, oh + 8));
        time_t firstRay = utcPlusNine(w(first, 26), w(first, 27), w(first, 28), w(first, 29),
                                      w(first, 30), w(first, 31));
        if (expected - firstRay > 3600) {
            expected -= 86400;
        }
        EXPECT_EQ(g.m_tConvertTime, expected);
    }

    long totalRays = 0;
    for (std::size_t s = 0; s < sweeps.size(); ++s) {
        const STD_SWEEP* sweep = std->m_ppSweep[s];
        ASSERT_EQ(sweep->m_iMaxRay, static_cast<int>(sweeps[s].size())) << "sweep " << s;
        float nyquist = 0.0f;
        for (std::size_t r = 0; r < sweeps[s].size(); ++r) {
            const Bytes& rec = *sweeps[s][r];
            const STD_RAY* ray = sweep->m_ppRay[r];
            SCOPED_TRACE("sweep " + std::to_string(s) + " ray " + std::to_string(r));
            const float az = deg64(rec, 33);
            EXPECT_EQ(ray->m_hdr.m_fAzimuth, az < 0 ? az + 360.0f : az);
            EXPECT_EQ(ray->m_hdr.m_fElevation, deg64(rec, 34));
            EXPECT_EQ(ray->m_hdr.m_fFixedAngle, deg64(rec, 36));
            EXPECT_EQ(ray->m_hdr.m_tTime, utcPlusNine(w(rec, 26), w(rec, 27), w(rec, 28),
                                                      w(rec, 29), w(rec, 30), w(rec, 31)));
            const int dh = w(rec, 5);
            const int nField = w(rec, dh);
            ASSERT_EQ(ray->m_iMaxField, nField);
            for (int k = 0; k < nField; ++k) {
                const int fh = w(rec, dh + 4 + 2 * k);
                const std::string name = chars(rec, dh + 3 + 2 * k, 1);
                const STD_FIELD* field = ray->m_ppField[k];
                EXPECT_EQ(std::string(field->m_hdr.m_szFieldName), name);
                EXPECT_EQ(field->m_hdr.m_iScaleFactor, w(rec, fh + 1));
                const int nBin = w(rec, fh + 5);
                ASSERT_EQ(field->m_iMaxBin, nBin);
                const int dataPos = w(rec, fh);
                for (int b = 0; b < nBin; ++b) {
                    if (field->m_pData[b] != w(rec, dataPos + b)) {
                        ADD_FAILURE() << name << " bin " << b;
                        break;
                    }
                }
                // Where a moment's gates differ from the first moment's, the field carries them.
                const int fh0 = w(rec, dh + 4);
                const bool ownGates = w(rec, fh + 2) != w(rec, fh0 + 2) ||
                                      w(rec, fh + 3) != w(rec, fh0 + 3) ||
                                      w(rec, fh + 4) != w(rec, fh0 + 4);
                if (k > 0 && ownGates && w(rec, fh + 4) > 0) {
                    EXPECT_EQ(field->m_hdr.m_iStartRangeKm, w(rec, fh + 2));
                    EXPECT_EQ(field->m_hdr.m_iStartRangeMeter, w(rec, fh + 3));
                    EXPECT_EQ(field->m_hdr.m_iBinSpacing, w(rec, fh + 4));
                } else {
                    EXPECT_EQ(field->m_hdr.m_iBinSpacing, 0);
                }
                if (k == 0) {
                    EXPECT_EQ(ray->m_hdr.m_iStartRangeKm, w(rec, fh + 2));
                    EXPECT_EQ(ray->m_hdr.m_iStartRangeMeter, w(rec, fh + 3));
                    EXPECT_EQ(ray->m_hdr.m_iBinSpacing, w(rec, fh + 4));
                    EXPECT_EQ(ray->m_hdr.m_iSampleSize, w(rec, fh + 12));
                }
                const bool velocity =
                    name == "VF" || name == "VE" || name == "VR" || name == "VT" || name == "VP";
                if (velocity && w(rec, fh + 19) != 0) {
                    nyquist = static_cast<float>(w(rec, fh + 19)) / w(rec, fh + 1);
                }
            }
        }
        EXPECT_EQ(sweep->m_hdr.m_fNyquistVelocity, nyquist) << "sweep " << s;
        totalRays += sweep->m_iMaxRay;
    }
    EXPECT_EQ(totalRays, static_cast<long>(records.size()));
}

INSTANTIATE_TEST_SUITE_P(Real, UfSampleFiles,
                         ::testing::Values("KLIX20050828_180149_rsl.uf",
                                           "KLIX20050828_180149_rsl.uf.gz",
                                           "MC3E_NPOL_2011_0524_2356_hid.uf.gz",
                                           "mc3e_npol_20110427_114155.uf", "example_uf_ppi.uf",
                                           "test.uf"),
                         [](const auto& info) {
                             std::string name = info.param;
                             for (char& c : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(c))) {
                                     c = '_';
                                 }
                             }
                             return name;
                         });

TEST(UfLoad, KlixHasItsFourteenSweepsWithRaggedFields) {
    RDR_REQUIRE_SHARED_DATA();
    UfRadarPtr uf(fnLoadUf(rdrtest::sharedData("uf/KLIX20050828_180149_rsl.uf").c_str()));
    ASSERT_NE(uf, nullptr);
    EXPECT_EQ(uf->m_iCurSweep, 14);
    int rays = 0;
    for (int s = 0; s < uf->m_iCurSweep; ++s) {
        rays += uf->m_ppSweep[s]->m_iCurRay;
    }
    EXPECT_EQ(rays, 5121);
    const UF_RAY* ray = uf->m_ppSweep[0]->m_ppRay[0];
    ASSERT_EQ(ray->m_iCurField, 3);
    EXPECT_EQ(ray->m_ppField[0]->fh.m_iBinSpacing, 1000);
    EXPECT_EQ(ray->m_ppField[1]->fh.m_iBinSpacing, 250);
    EXPECT_EQ(ray->m_ppField[1]->fh.m_iStartRangeMeter, -375);
    EXPECT_NE(ray->m_ppField[0]->m_iCurBin, ray->m_ppField[1]->m_iCurBin);
    // Bin buffers hold what the ray has, not the format's 2500-bin capacity.
    EXPECT_EQ(ray->m_ppField[0]->m_iMaxBin, ray->m_ppField[0]->m_iCurBin);
}

// ---- what an independent writer wrote ------------------------------------------------

// The records a loaded volume gives when written again by the independent writer.
std::vector<Bytes> rewritten(const UF_RADAR* uf) {
    return ufbytes::writeRecords(uffix::describeUf(uf));
}

// The record length and header positions the loader kept, against the records' words
// (writing again lays records out afresh, so it cannot see these).
std::string positionsDiffer(const UF_RADAR* uf, const std::vector<Bytes>& records) {
    std::size_t i = 0;
    for (int s = 0; s < uf->m_iMaxSweep; ++s) {
        for (int r = 0; r < uf->m_ppSweep[s]->m_iCurRay; ++r, ++i) {
            const UF_RAY* ray = uf->m_ppSweep[s]->m_ppRay[r];
            const Bytes& rec = records.at(i);
            const std::string at = "record " + std::to_string(i + 1);
            const int dh = w(rec, 5);
            if (ray->mh.m_iRecLen != w(rec, 2) || ray->mh.m_iOHpos != w(rec, 3) ||
                ray->mh.m_iLHpos != w(rec, 4) || ray->mh.m_iDHpos != dh) {
                return at + ": mandatory header positions";
            }
            for (int k = 0; k < ray->m_iCurField; ++k) {
                const int fh = w(rec, dh + 4 + 2 * k);
                if (ray->dh.m_pfi[k].m_iFHpos != fh ||
                    ray->m_ppField[k]->fh.m_iDataPos != w(rec, fh)) {
                    return at + " field " + std::to_string(k + 1) + ": positions";
                }
            }
        }
    }
    return i == records.size() ? "" : "rays: " + std::to_string(i);
}

TEST(UfLoad, ReadsEveryWordAnIndependentWriterWrote) {
    // Every header word of its own value, southern and western positions, a negative
    // elevation, local-use words, a calibration field, a moment gated unlike the first,
    // and records with and without the optional header.
    ufbytes::Volume v = ufbytes::smallVolume(3, 5, 30);
    v.latitude = ufbytes::toDms(-33.50390625);  // 33 30' 14.0625" S
    v.longitude = ufbytes::toDms(-70.671875);
    v.sweeps[0].rays[4].elevation = -0.5;
    v.sweeps[1].rays[1].hasOptionalHeader = false;
    ufbytes::Ray& ray = v.sweeps[2].rays[3];
    ray.localUse = {'L', 'O', 'C', 'A', 'L', '!'};
    ray.fields[1].startKm = 0;
    ray.fields[1].startM = -375;
    ray.fields[1].spacingM = 125;
    ufbytes::Field dm;
    dm.name = "DM";
    dm.scaleFactor = 10;
    dm.calibration = {70.25, -110.5, 30, 85, 45.5, 0.75};
    dm.bins = {1, 2, 3};
    ray.fields.push_back(dm);
    const std::vector<Bytes> written = ufbytes::writeRecords(v);

    rdrtest::TempDir dir;
    for (ufbytes::Framing framing : ufbytes::kFramings) {
        SCOPED_TRACE(ufbytes::framingName(framing));
        const std::string file = dir.file("written.uf");
        ufbytes::writeBytes(file, ufbytes::frameRecords(written, framing));
        UfRadarPtr uf(fnLoadUf(file.c_str()));
        ASSERT_NE(uf, nullptr);
        EXPECT_EQ(ufbytes::firstDifference(rewritten(uf.get()), written), "");
        EXPECT_EQ(positionsDiffer(uf.get(), written), "");

        // The conversions themselves, against values worked out by hand.
        const UF_RAY* r = uf->m_ppSweep[2]->m_ppRay[3];
        EXPECT_EQ(r->mh.m_iLatDeg, -33);
        EXPECT_EQ(r->mh.m_iLatMin, -30);
        EXPECT_EQ(r->mh.m_fLatSec, -14.0625f);
        EXPECT_EQ(r->mh.m_fAzimuth, 216.5f);
        EXPECT_EQ(r->mh.m_iYear, 2024);
        EXPECT_STREQ(r->mh.m_szSiteName, "GWANAK");
        EXPECT_STREQ(r->oh.m_szProjectName, "SUMMER");
        EXPECT_EQ(r->lh.m_iMaxContent, 6);
        EXPECT_EQ(std::string(r->lh.m_pszContent, 6), "LOCAL!");
        ASSERT_EQ(r->m_iCurField, 3);
        EXPECT_EQ(r->m_ppField[1]->fh.m_fNyquistVelocity, 26.5f);
        EXPECT_STREQ(r->m_ppField[1]->fh.m_szVelocityFlag, "NF");
        EXPECT_EQ(r->m_ppField[1]->fh.m_iStartRangeMeter, -375);
        EXPECT_EQ(r->m_ppField[2]->fh.m_fRadarConstant, 70.25f);
        EXPECT_EQ(r->m_ppField[2]->fh.m_fNoisePower, -110.5f);
        EXPECT_EQ(r->m_ppField[2]->fh.m_fPulseDuration, 0.75f);
        EXPECT_EQ(uf->m_ppSweep[0]->m_ppRay[4]->mh.m_fElevation, -0.5f);
        EXPECT_STREQ(uf->m_ppSweep[1]->m_ppRay[1]->oh.m_szProjectName, "");
    }
}

// ---- framings and compression --------------------------------------------------------

TEST(UfLoad, EveryFramingPlainOrGzipLoadsTheSameVolume) {
    RDR_REQUIRE_SHARED_DATA();
    const std::string path = rdrtest::sharedData("uf/mc3e_npol_20110427_114155.uf");
    UfRadarPtr reference(fnLoadUf(path.c_str()));
    ASSERT_NE(reference, nullptr);
    const std::vector<Bytes> records = ufbytes::splitFourFramed(ufbytes::readAll(path));
    rdrtest::TempDir dir;
    for (ufbytes::Framing framing : ufbytes::kFramings) {
        for (bool gzip : {false, true}) {
            SCOPED_TRACE(std::string(ufbytes::framingName(framing)) +
                         (gzip ? ", gzip" : ", plain"));
            const std::string file = dir.file("reframed.uf");
            ufbytes::writeBytes(file, ufbytes::frameRecords(records, framing), gzip);
            UfRadarPtr uf(fnLoadUf(file.c_str()));
            ASSERT_NE(uf, nullptr);
            EXPECT_EQ(uffix::diffUf(uf.get(), reference.get(), true), "");
        }
    }
}

// A file's bytes as they are (ufbytes::readAll inflates gzip files).
Bytes rawBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Gzip streams are inflated by ISA-L, and by zlib when ISA-L refuses them (bytes after the
// last member, a stream cut short): either way the volume is the plain file's.
TEST(UfLoad, GzipStreamsReadTheSameWhicheverInflaterTakesThem) {
    const Bytes stream = ufbytes::frameRecords(
        ufbytes::writeRecords(ufbytes::smallVolume(2, 30, 400)), ufbytes::Framing::four);
    rdrtest::TempDir dir;
    const std::string plainFile = dir.file("plain.uf");
    ufbytes::writeBytes(plainFile, stream);
    UfRadarPtr reference(fnLoadUf(plainFile.c_str()));
    ASSERT_NE(reference, nullptr);

    auto gzipped = [&dir](const Bytes& bytes) {
        const std::string file = dir.file("member.gz");
        ufbytes::writeBytes(file, bytes, /*gzip=*/true);
        return rawBytes(file);
    };
    const Bytes whole = gzipped(stream);
    // Two members split inside a record, as concatenating gzip files makes them.
    Bytes twoMembers = gzipped(Bytes(stream.begin(), stream.begin() + stream.size() / 3 + 7));
    const Bytes second = gzipped(Bytes(stream.begin() + stream.size() / 3 + 7, stream.end()));
    twoMembers.insert(twoMembers.end(), second.begin(), second.end());
    // Bytes after the last member that start no member are ignored, as zlib always has.
    Bytes trailingJunk = whole;
    for (unsigned char c : std::string("not gzip")) {
        trailingJunk.push_back(c);
    }
    const struct {
        const char* name;
        const Bytes& bytes;
    } cases[] = {{"one member", whole}, {"two members", twoMembers}, {"junk after", trailingJunk}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = dir.file("v.uf.gz");
        ufbytes::writeBytes(file, c.bytes);
        testing::internal::CaptureStderr();
        UfRadarPtr uf(fnLoadUf(file.c_str()));
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        ASSERT_NE(uf, nullptr);
        EXPECT_EQ(uffix::diffUf(uf.get(), reference.get(), true), "");
    }
}

TEST(UfLoad, ACutOffGzipStreamKeepsTheRecordsZlibInflatesOfIt) {
    RDR_REQUIRE_SHARED_DATA();
    const Bytes whole = rawBytes(rdrtest::sharedData("uf/KLIX20050828_180149_rsl.uf.gz"));
    rdrtest::TempDir dir;
    const std::string file = dir.file("cut.uf.gz");
    ufbytes::writeBytes(file, Bytes(whole.begin(), whole.begin() + whole.size() * 2 / 3));
    testing::internal::CaptureStderr();
    UfRadarPtr cut(fnLoadUf(file.c_str()));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "fnLoadUf : the file ends inside record 2057; the 2056 complete records are kept\n");
    ASSERT_NE(cut, nullptr);
    int nRay = 0;
    for (int s = 0; s < cut->m_iMaxSweep; ++s) {
        nRay += cut->m_ppSweep[s]->m_iCurRay;
    }
    EXPECT_EQ(nRay, 2056);
}

TEST(UfLoad, NegativeAzimuthWordsOfARealVolumeReadAsTheirPositiveAngles) {
    // Some writers store azimuths past 180 degrees as negative angles. KLIX rewritten that
    // way (and re-framed with 2-byte counts) must load as the same volume.
    RDR_REQUIRE_SHARED_DATA();
    const std::string path = rdrtest::sharedData("uf/KLIX20050828_180149_rsl.uf");
    UfRadarPtr reference(fnLoadUf(path.c_str()));
    ASSERT_NE(reference, nullptr);
    std::vector<Bytes> records = ufbytes::splitFourFramed(ufbytes::readAll(path));
    int rewritten = 0;
    for (Bytes& rec : records) {
        const int azimuth64 = ufbytes::wordAt(rec, 33);
        if (azimuth64 > 180 * 64) {
            ufbytes::setWordAt(rec, 33, azimuth64 - 360 * 64);
            ++rewritten;
        }
    }
    ASSERT_GT(rewritten, 2000);
    rdrtest::TempDir dir;
    const std::string file = dir.file("negative.uf");
    ufbytes::writeBytes(file, ufbytes::frameRecords(records, ufbytes::Framing::two));
    UfRadarPtr uf(fnLoadUf(file.c_str()));
    ASSERT_NE(uf, nullptr);
    EXPECT_EQ(uffix::diffUf(uf.get(), reference.get(), false), "");
    const UF_RAY* ray = uf->m_ppSweep[0]->m_ppRay[300];
    EXPECT_GT(ray->mh.m_fAzimuth, 180.0f);
    EXPECT_LT(ray->mh.m_fAzimuth, 360.0f);
}

TEST(UfLoad, ASingleFourByteFramedRecordLoadsWithOrWithoutTrailer) {
    RDR_REQUIRE_SHARED_DATA();
    const std::vector<Bytes> records =
        ufbytes::splitFourFramed(ufbytes::readAll(rdrtest::sharedData("uf/example_uf_ppi.uf")));
    ASSERT_EQ(records.size(), 1u);
    rdrtest::TempDir dir;
    for (ufbytes::Framing framing : ufbytes::kFramings) {
        const std::string file = dir.file("one.uf");
        ufbytes::writeBytes(file, ufbytes::frameRecords(records, framing));
        UfRadarPtr uf(fnLoadUf(file.c_str()));
        ASSERT_NE(uf, nullptr) << ufbytes::framingName(framing);
        EXPECT_EQ(uf->m_iCurSweep, 1);
        EXPECT_EQ(uf->m_ppSweep[0]->m_iCurRay, 1);
    }
}

TEST(UfLoad, AFourByteCountThatSpellsUfIsNotTakenForTwoByteFraming) {
    // A 21830-byte record gives the count 00 00 55 46: "UF" at offsets 2 and 4.
    ufbytes::Volume v = ufbytes::smallVolume(1, 2, 2499);
    for (ufbytes::Ray& ray : v.sweeps[0].rays) {
        const ufbytes::Field dz = ray.fields[0];
        ray.fields.clear();
        for (const char* name : {"DZ", "ZT", "CZ", "SQ", "RH"}) {
            ray.fields.push_back(dz);
            ray.fields.back().name = name;
        }
        ray.fields.back().bins.resize(752);
    }
    const std::vector<Bytes> records = ufbytes::writeRecords(v);
    ASSERT_EQ(records[0].size(), 0x5546u);
    rdrtest::TempDir dir;
    const std::string file = dir.file("tie.uf");
    ufbytes::writeBytes(file, ufbytes::frameRecords(records, ufbytes::Framing::four));
    UfRadarPtr uf(fnLoadUf(file.c_str()));
    ASSERT_NE(uf, nullptr);
    EXPECT_EQ(ufbytes::firstDifference(rewritten(uf.get()), records), "");
    EXPECT_EQ(positionsDiffer(uf.get(), records), "");
}

// ---- truncated files -------------------------------------------------------------

TEST(UfLoad, CutOffFilesKeepTheirCompleteRecords) {
    const Bytes stream = ufbytes::frameRecords(
        ufbytes::writeRecords(ufbytes::smallVolume(1, 3, 50)), ufbytes::Framing::four);
    const std::size_t recordBytes = stream.size() / 3;
    rdrtest::TempDir dir;
    const std::string file = dir.file("cut.uf");
    // Inside the third record's count, body and trailer; then inside the first record.
    for (std::size_t cut : {2 * recordBytes + 2, 2 * recordBytes + 100, 3 * recordBytes - 2}) {
        ufbytes::writeBytes(file, Bytes(stream.begin(), stream.begin() + cut));
        UfRadarPtr uf(fnLoadUf(file.c_str()));
        ASSERT_NE(uf, nullptr) << "cut at " << cut;
        EXPECT_EQ(uf->m_ppSweep[0]->m_iCurRay, cut < 3 * recordBytes - 4 ? 2 : 3);
    }
    ufbytes::writeBytes(file, Bytes(stream.begin(), stream.begin() + recordBytes / 2));
    testing::internal::CaptureStderr();
    EXPECT_EQ(fnLoadUf(file.c_str()), nullptr);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("ends inside its first record"),
              std::string::npos);
}

TEST(UfLoad, TestUfKeepsItsRayAndStopsAtTheEndOfTheFile) {
    RDR_REQUIRE_SHARED_DATA();
    testing::internal::CaptureStderr();
    UfRadarPtr uf(fnLoadUf(rdrtest::sharedData("uf/test.uf").c_str()));
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_NE(uf, nullptr);
    EXPECT_EQ(uf->m_iCurSweep, 1);
    EXPECT_EQ(uf->m_ppSweep[0]->m_iCurRay, 1);
    EXPECT_EQ(uf->m_ppSweep[0]->m_ppRay[0]->m_iCurField, 10);
    EXPECT_NE(err.find("fnLoadUf : the file ends inside record 2"), std::string::npos) << err;
}

// ---- files that are no UF --------------------------------------------------------

TEST(UfLoad, UnknownTypesAndMissingFilesFailWithTheirMessages) {
    rdrtest::TempDir dir;
    const struct {
        std::string content;
        const char* message;
    } cases[] = {
        {"hello, world", "fnLoadUf : UF file type is EN_UF_TYPE_UNKNOWN\n"},
        {"UF", "fnLoadUf : UF file type is EN_UF_TYPE_UNKNOWN\n"},
        {"", "fnLoadUf : UF file type is EN_UF_TYPE_UNKNOWN\n"},
    };
    for (const auto& c : cases) {
        const std::string file = dir.file("x.uf");
        ufbytes::writeBytes(file, Bytes(c.content.begin(), c.content.end()));
        testing::internal::CaptureStderr();
        EXPECT_EQ(fnLoadUf(file.c_str()), nullptr);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message);
    }
    testing::internal::CaptureStderr();
    EXPECT_EQ(fnLoadUf(dir.file("absent.uf").c_str()), nullptr);
    EXPECT_EQ(fnLoadUf(nullptr), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "fnLoadUf : gzopen fail\nfnLoadUf : gzopen fail\n");
}

TEST(UfLoad, ADamagedGzipStreamFailsWholly) {
    rdrtest::TempDir dir;
    const std::string file = dir.file("damaged.uf.gz");
    ufbytes::writeBytes(
        file,
        ufbytes::frameRecords(ufbytes::writeRecords(ufbytes::smallVolume(2, 20, 300)),
                              ufbytes::Framing::four),
        /*gzip=*/true);
    std::vector<unsigned char> bytes;
    {
        std::FILE* f = std::fopen(file.c_str(), "rb");
        int c = 0;
        while ((c = std::fgetc(f)) != EOF) {
            bytes.push_back(static_cast<unsigned char>(c));
        }
        std::fclose(f);
    }
    for (std::size_t i = bytes.size() / 2; i < bytes.size() / 2 + 8; ++i) {
        bytes[i] ^= 0x5a;
    }
    ufbytes::writeBytes(file, bytes);  // the damaged gzip bytes as they are
    testing::internal::CaptureStderr();
    EXPECT_EQ(fnLoadUf(file.c_str()), nullptr);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("fnLoadUf : gzread fail"),
              std::string::npos);
}

// ---- damaged records ---------------------------------------------------------------

class UfDamagedRecord : public ::testing::Test {
  protected:
    void SetUp() override {
        records_ = ufbytes::writeRecords(ufbytes::smallVolume(1, 2, 40));
        const Bytes& r = records_[1];
        dh_ = ufbytes::wordAt(r, 5);
        fh_ = ufbytes::wordAt(r, dh_ + 4);    // DZ
        fhVr_ = ufbytes::wordAt(r, dh_ + 6);  // VR
    }
    // Loads the stream with record 2 changed; returns what fnLoadUf printed.
    std::string loadDamaged(const Bytes& second,
                            ufbytes::Framing framing = ufbytes::Framing::zero) {
        std::vector<Bytes> records = records_;
        records[1] = second;
        const std::string file = dir_.file("damaged.uf");
        ufbytes::writeBytes(file, ufbytes::frameRecords(records, framing));
        testing::internal::CaptureStderr();
        UfRadarPtr uf(fnLoadUf(file.c_str()));
        EXPECT_EQ(uf, nullptr);
        return testing::internal::GetCapturedStderr();
    }
    Bytes patched(int pos, int value) const {
        Bytes r = records_[1];
        ufbytes::setWordAt(r, pos, value);
        return r;
    }

    rdrtest::TempDir dir_;
    std::vector<Bytes> records_;
    int dh_ = 0, fh_ = 0, fhVr_ = 0;
};

TEST_F(UfDamagedRecord, PointersAndCountsOutsideTheRecordAreRejectedWithAReason) {
    const int words = static_cast<int>(records_[1].size() / 2);
    const struct {
        int pos;
        int value;
        const char* reason;
    } cases[] = {
        {3, words + 1, "optional header at word"},
        {3, -5, "optional header at word"},
        {4, 80, "local-use header"},  // after the data header
        {5, words - 1, "data header at word"},
        {dh_, 15, "15 fields, outside 0 to 14"},
        {dh_, -1, "-1 fields"},
        {dh_ + 4, words - 5, "header of field 1 (DZ)"},
        {dh_ + 6, 32767, "header of field 2 (VR)"},
        {fh_ + 5, 2500, "2500 bins, outside 0 to 2499"},
        {fh_ + 5, -3, "-3 bins"},
        {fh_, words - 10, "bins of field 1 (DZ)"},
        {fh_, -200, "bins of field 1 (DZ)"},
        {fhVr_ + 5, 600, "bins of field 2 (VR)"},
        {10, 0, "sweep number 0 outside 1 to 20"},
        {10, 21, "sweep number 21 outside 1 to 20"},
    };
    for (const auto& c : cases) {
        const std::string err = loadDamaged(patched(c.pos, c.value));
        EXPECT_NE(err.find("fnLoadUf : record 2: "), std::string::npos) << err;
        EXPECT_NE(err.find(c.reason), std::string::npos)
            << "word " << c.pos << " = " << c.value << ": " << err;
    }
}

TEST_F(UfDamagedRecord, RecordLengthsThatCannotHoldARecordAreRejected) {
    Bytes shortRecord(records_[1].begin(), records_[1].begin() + 80);  // 40 words
    ufbytes::setWordAt(shortRecord, 2, 40);
    EXPECT_NE(loadDamaged(shortRecord).find("shorter than the 45-word mandatory header"),
              std::string::npos);
    // Unframed: the length word itself says 1 word.
    EXPECT_NE(loadDamaged(patched(2, 1)).find("cannot hold a record"), std::string::npos);
}

TEST_F(UfDamagedRecord, ALongerLengthWordNeverReadsPastTheFramedRecord) {
    // 2-byte framing bounds the record by its count, whatever word 2 says.
    Bytes second = patched(2, 30000);
    ufbytes::setWordAt(second, fh_, static_cast<int>(second.size() / 2) + 100);
    EXPECT_NE(loadDamaged(second, ufbytes::Framing::two).find("bins of field 1"),
              std::string::npos);
}

// ---- sweep order and limits --------------------------------------------------------

std::vector<Bytes> recordsWithSweepNumbers(const std::vector<int>& sweepNumbers) {
    const Bytes one = ufbytes::writeRecords(ufbytes::smallVolume(1, 1, 10))[0];
    std::vector<Bytes> records;
    for (int sweepNo : sweepNumbers) {
        records.push_back(one);
        ufbytes::setWordAt(records.back(), 10, sweepNo);
    }
    return records;
}

UfRadarPtr loadRecords(const rdrtest::TempDir& dir, const std::vector<Bytes>& records) {
    const std::string file = dir.file("records.uf");
    ufbytes::writeBytes(file, ufbytes::frameRecords(records, ufbytes::Framing::four));
    return UfRadarPtr(fnLoadUf(file.c_str()));
}

TEST(UfLoad, SweepsCountOnlyWhenTheyArriveInOrder) {
    rdrtest::TempDir dir;
    UfRadarPtr uf = loadRecords(dir, recordsWithSweepNumbers({1, 1, 2, 2, 3}));
    ASSERT_NE(uf, nullptr);
    EXPECT_EQ(uf->m_iCurSweep, 3);
    EXPECT_EQ(uf->m_ppSweep[0]->m_iCurRay, 2);
    EXPECT_EQ(uf->m_ppSweep[1]->m_iCurRay, 2);
    EXPECT_EQ(uf->m_ppSweep[2]->m_iCurRay, 1);

    uf = loadRecords(dir, recordsWithSweepNumbers({1, 3}));
    ASSERT_NE(uf, nullptr);
    EXPECT_EQ(uf->m_iCurSweep, 1);
    EXPECT_EQ(uf->m_ppSweep[2]->m_iCurRay, 1);  // stored, but not part of the volume
    StdPtr std(fnUfSyncUpStd(uf.get()));
    ASSERT_NE(std, nullptr);
    EXPECT_EQ(std->m_iMaxSweep, 1);
}

TEST(UfLoad, RaysPerSweepStopAt999) {
    rdrtest::TempDir dir;
    UfRadarPtr uf = loadRecords(dir, recordsWithSweepNumbers(std::vector<int>(999, 1)));
    ASSERT_NE(uf, nullptr);
    EXPECT_EQ(uf->m_ppSweep[0]->m_iCurRay, 999);
    testing::internal::CaptureStderr();
    EXPECT_EQ(loadRecords(dir, recordsWithSweepNumbers(std::vector<int>(1000, 1))), nullptr);
    EXPECT_NE(
        testing::internal::GetCapturedStderr().find("record 1000: sweep 1 has more than 999 rays"),
        std::string::npos);
}

}  // namespace
