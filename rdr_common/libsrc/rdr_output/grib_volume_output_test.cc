// GRIB volume writer: a volume written and read back is the same volume at every level,
// real ones included, and ecCodes' own tools read each moment's keys as written.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "grib_volume_output.h"
#include "internal/eccodes_library.h"
#include "owned_handles.h"
#include "synthetic_volume.h"
#include "test_support.h"
#include "volume_formats.h"

namespace {

using GribRadarPtr = std::unique_ptr<GRIB_RADAR, rdr::ReleaseWith<fnFreeGribRadar>>;

std::string where(int s, int r) {
    return "sweep " + std::to_string(s) + " ray " + std::to_string(r);
}

// Every header value, moment order and bin of both volumes; the site position to 10^-6
// degrees, the only value the format rounds.
void expectSameVolume(const STD_RADAR* a, const STD_RADAR* b) {
    const STD_GLOBAL_HDR& ga = a->m_hdr;
    const STD_GLOBAL_HDR& gb = b->m_hdr;
    EXPECT_STREQ(ga.m_szRadarName, gb.m_szRadarName);
    EXPECT_STREQ(ga.m_szSiteName, gb.m_szSiteName);
    EXPECT_STREQ(ga.m_szConvertName, gb.m_szConvertName);
    EXPECT_STREQ(ga.m_szProjectName, gb.m_szProjectName);
    EXPECT_STREQ(ga.m_szFieldTapeName, gb.m_szFieldTapeName);
    EXPECT_STREQ(ga.m_szThresholdType, gb.m_szThresholdType);
    EXPECT_STREQ(ga.m_szEditCode, gb.m_szEditCode);
    EXPECT_NEAR(ga.m_dLat, gb.m_dLat, 5.1e-7);
    EXPECT_NEAR(ga.m_dLon, gb.m_dLon, 5.1e-7);
    EXPECT_EQ(ga.m_iVolumeNo, gb.m_iVolumeNo);
    EXPECT_EQ(ga.m_iAnteHeight, gb.m_iAnteHeight);
    EXPECT_EQ(ga.m_iSweepMode, gb.m_iSweepMode);
    EXPECT_EQ(ga.m_fSweepRate, gb.m_fSweepRate);
    EXPECT_EQ(ga.m_tConvertTime, gb.m_tConvertTime);
    EXPECT_EQ(ga.m_iNoDataValue, gb.m_iNoDataValue);
    EXPECT_EQ(ga.m_fBaselineAzimuth, gb.m_fBaselineAzimuth);
    EXPECT_EQ(ga.m_fBaselineElevation, gb.m_fBaselineElevation);
    EXPECT_EQ(ga.m_iPulseWidth, gb.m_iPulseWidth);
    EXPECT_EQ(ga.m_fBeamWidthH, gb.m_fBeamWidthH);
    EXPECT_EQ(ga.m_fBeamWidthV, gb.m_fBeamWidthV);
    EXPECT_EQ(ga.m_iBandWidth, gb.m_iBandWidth);
    EXPECT_EQ(ga.m_iPolarMode, gb.m_iPolarMode);
    EXPECT_EQ(ga.m_fWaveLength, gb.m_fWaveLength);
    EXPECT_EQ(ga.m_iThresholdValue, gb.m_iThresholdValue);
    EXPECT_EQ(ga.m_iScale, gb.m_iScale);
    EXPECT_EQ(ga.m_iPRT, gb.m_iPRT);
    EXPECT_EQ(ga.m_iBitsPerBin, gb.m_iBitsPerBin);
    ASSERT_EQ(a->m_iMaxSweep, b->m_iMaxSweep);
    long bins = 0;
    for (int s = 0; s < a->m_iMaxSweep; ++s) {
        const STD_SWEEP* sa = a->m_ppSweep[s];
        const STD_SWEEP* sb = b->m_ppSweep[s];
        ASSERT_EQ(sa->m_iMaxRay, sb->m_iMaxRay) << "sweep " << s;
        ASSERT_EQ(std::memcmp(&sa->m_hdr, &sb->m_hdr, sizeof(STD_SWEEP_HDR)), 0) << "sweep " << s;
        for (int r = 0; r < sa->m_iMaxRay; ++r) {
            const STD_RAY* ra = sa->m_ppRay[r];
            const STD_RAY* rb = sb->m_ppRay[r];
            const STD_RAY_HDR& ha = ra->m_hdr;
            const STD_RAY_HDR& hb = rb->m_hdr;
            ASSERT_EQ(ha.m_tTime, hb.m_tTime) << where(s, r);
            ASSERT_EQ(ha.m_fAzimuth, hb.m_fAzimuth) << where(s, r);
            ASSERT_EQ(ha.m_fElevation, hb.m_fElevation) << where(s, r);
            ASSERT_EQ(ha.m_fFixedAngle, hb.m_fFixedAngle) << where(s, r);
            ASSERT_EQ(1000 * ha.m_iStartRangeKm + ha.m_iStartRangeMeter,
                      1000 * hb.m_iStartRangeKm + hb.m_iStartRangeMeter)
                << where(s, r);
            ASSERT_EQ(ha.m_iBinSpacing, hb.m_iBinSpacing) << where(s, r);
            ASSERT_EQ(ha.m_iSampleSize, hb.m_iSampleSize) << where(s, r);
            ASSERT_EQ(ra->m_iMaxField, rb->m_iMaxField) << where(s, r);
            for (int f = 0; f < ra->m_iMaxField; ++f) {
                const STD_FIELD* fa = ra->m_ppField[f];
                const STD_FIELD* fb = rb->m_ppField[f];
                ASSERT_STREQ(fa->m_hdr.m_szFieldName, fb->m_hdr.m_szFieldName) << where(s, r);
                ASSERT_EQ(fa->m_hdr.m_iScaleFactor, fb->m_hdr.m_iScaleFactor) << where(s, r);
                ASSERT_EQ(1000 * fa->m_hdr.m_iStartRangeKm + fa->m_hdr.m_iStartRangeMeter,
                          1000 * fb->m_hdr.m_iStartRangeKm + fb->m_hdr.m_iStartRangeMeter)
                    << where(s, r);
                ASSERT_EQ(fa->m_hdr.m_iBinSpacing, fb->m_hdr.m_iBinSpacing) << where(s, r);
                ASSERT_EQ(fa->m_iMaxBin, fb->m_iMaxBin) << where(s, r);
                ASSERT_EQ(std::memcmp(fa->m_pData, fb->m_pData, sizeof(short) * fa->m_iMaxBin), 0)
                    << where(s, r) << " " << fa->m_hdr.m_szFieldName;
                bins += fa->m_iMaxBin;
            }
        }
    }
    EXPECT_GT(bins, 0);
}

rdr::StdRadarPtr throughGrib(STD_RADAR* pStd, const std::string& path) {
    GribRadarPtr grib(fnStdSyncDownGribRadar(pStd));
    if (!grib || fnWriteGribRadar(grib.get(), path.c_str()) != 1) {
        return nullptr;
    }
    const char* szFormat = nullptr;
    rdr::StdRadarPtr back(fnLoadStdRadarFile(path.c_str(), &szFormat));
    EXPECT_STREQ(szFormat, "GRIB");
    return back;
}

std::string run(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[512];
        while (std::fgets(buf, sizeof buf, p) != nullptr) {
            out += buf;
        }
        if (pclose(p) != 0) {
            out += "<exit status non-zero>";
        }
    }
    // One blank between columns, however the tool aligns them.
    std::string squeezed;
    for (char c : out) {
        if (c != ' ' || squeezed.empty() || squeezed.back() != ' ') {
            squeezed += c;
        }
    }
    return squeezed;
}

std::string definitionsDir() {
    return std::string(std::getenv("RDR_ROOT")) + "/rdr/www/cgi-src/resource/grib_api/definitions";
}

TEST(GribVolumeWrite, KlixKeepsEveryBinAngleRangeTimeAndMoment) {
    RDR_REQUIRE_SHARED_DATA();
    rdr::StdRadarPtr uf(
        fnLoadStdRadarFile(rdrtest::sharedData("uf/KLIX20050828_180149_rsl.uf.gz").c_str()));
    ASSERT_TRUE(uf);
    rdrtest::TempDir dir;
    const std::string path = dir.file("klix.grib2");
    rdr::StdRadarPtr back(throughGrib(uf.get(), path));
    ASSERT_TRUE(back);
    expectSameVolume(uf.get(), back.get());

    // ecCodes' own tools, with our definitions, see each moment's own gate geometry: the
    // reflectivity at 460 gates of 1000 m, velocity and width at 920 of 250 m from -375 m.
    const std::string listed =
        run("ECCODES_EXTRA_DEFINITION_PATH=" + definitionsDir() +
            " grib_ls -p rdc_field_name,rdc_bin_count,rangeBinSpacing,rdc_start_range_meter,"
            "rdc_ray_count,numberOfValues " +
            path);
    EXPECT_NE(listed.find("DZ 460 1000 0 5121 2355660"), std::string::npos) << listed;
    EXPECT_NE(listed.find("VR 920 250 -375 5121 4711320"), std::string::npos) << listed;
    EXPECT_NE(listed.find("SW 920 250 -375 5121 4711320"), std::string::npos) << listed;
}

TEST(GribVolumeWrite, ToolsWithoutOurDefinitionsStillReadEveryMessage) {
    rdrtest::StdRadarPtr volume =
        rdrtest::buildVolume(rdrtest::uniformVolume(2, 12, 30, {"DZ", "VR"}));
    rdrtest::TempDir dir;
    GribRadarPtr grib(fnStdSyncDownGribRadar(volume.get()));
    ASSERT_TRUE(grib);
    ASSERT_EQ(fnWriteGribRadar(grib.get(), dir.file("v.grib2").c_str()), 1);
    // The standard sections: centre, the azimuth-range grid of 24 radials of 30 bins.
    const std::string listed = run(
        "env -u ECCODES_EXTRA_DEFINITION_PATH grib_ls -p centre,gridType,Nb,Nr,numberOfValues " +
        dir.file("v.grib2") + " 2>&1");
    EXPECT_EQ(listed.find("ERROR"), std::string::npos) << listed;
    EXPECT_NE(listed.find("rksl azimuth_range 30 24 720"), std::string::npos) << listed;
    EXPECT_NE(listed.find("2 of 2 messages"), std::string::npos) << listed;
}

// Moments moved to other places or left out on some rays, rays of a sweep with different
// bin counts, gate geometry of the moment's own, the full 16-bit range of values and
// odd header values: all of it comes back as it was.
TEST(GribVolumeWrite, RaggedVolumesComeBackAsTheyWere) {
    rdrtest::VolumeShape shape = rdrtest::uniformVolume(3, 20, 40, {"DZ", "VR", "ZDR_LONG"});
    shape.sweeps[1].bins = 7;
    shape.sweeps[2].startRangeKm = -1;
    shape.sweeps[2].startRangeMeter = 250;
    shape.noDataValue = -32768;
    shape.value = [](int s, int r, int b, int f) {
        if (b == 0) {
            return static_cast<short>(r % 2 == 0 ? 32767 : -32768);
        }
        return static_cast<short>(s * 1000 + r * 37 - b * 11 + f);
    };
    shape.rayFields = [](int s, int r) -> std::vector<int> {
        if (s == 0 && r % 3 == 0) {
            return {2, 0};  // VR absent, the third moment first
        }
        if (s == 2) {
            return {};
        }
        return {0, 1, 2};
    };
    rdrtest::StdRadarPtr volume = rdrtest::buildVolume(shape);
    ASSERT_TRUE(volume);
    STD_RADAR* v = volume.get();
    std::snprintf(v->m_hdr.m_szProjectName, sizeof v->m_hdr.m_szProjectName, "PROJ");
    std::snprintf(v->m_hdr.m_szEditCode, sizeof v->m_hdr.m_szEditCode, "ED");
    v->m_hdr.m_dLat = -33.9461234;
    v->m_hdr.m_dLon = 151.177;
    v->m_hdr.m_iAnteHeight = -12;
    v->m_ppSweep[0]->m_hdr.m_fNyquistVelocity = 26.5f;
    std::snprintf(v->m_ppSweep[1]->m_hdr.m_szVelocityFlag, 3, "VF");
    STD_RAY* ray = v->m_ppSweep[0]->m_ppRay[4];
    ray->m_hdr.m_tTime = v->m_hdr.m_tConvertTime - 17;  // before the volume time
    ray->m_hdr.m_fAzimuth = 359.99f;
    ray->m_ppField[1]->m_iMaxBin = 3;  // a short ray of one moment
    ray->m_ppField[1]->m_hdr.m_iScaleFactor = 10;
    ray->m_ppField[1]->m_hdr.m_iBinSpacing = 250;
    ray->m_ppField[1]->m_hdr.m_iStartRangeMeter = -375;

    rdrtest::TempDir dir;
    rdr::StdRadarPtr back(throughGrib(v, dir.file("ragged.grib2")));
    ASSERT_TRUE(back);
    expectSameVolume(v, back.get());
    // Nothing but the target is left in the directory.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST(GribVolumeWrite, CfRadialVolumeKeepsEveryBinAngleRangeTimeAndMoment) {
    RDR_REQUIRE_SHARED_DATA();
    rdrtest::TempDir dir;
    for (const char* name :
         {"cfradial/example_plot_ppi_single_sweep.nc",
          "cfradial/cfrad.20211011_223602.712_to_20211011_223612.091_DOW8_RHI.nc"}) {
        SCOPED_TRACE(name);
        rdr::StdRadarPtr nc(fnLoadStdRadarFile(rdrtest::sharedData(name).c_str()));
        ASSERT_TRUE(nc);
        rdr::StdRadarPtr back(throughGrib(nc.get(), dir.file("cf.grib2")));
        ASSERT_TRUE(back);
        expectSameVolume(nc.get(), back.get());
    }
}

// A volume the format cannot hold is refused before anything is written; a write that
// fails part-way (the file size limit here) leaves the old file as it was.
TEST(GribVolumeWrite, RefusalsAndFailedWritesLeaveTheTargetAlone) {
    rdrtest::TempDir dir;
    const std::string target = dir.file("old.grib2");
    std::ofstream(target) << "old contents";

    rdrtest::VolumeShape twice = rdrtest::uniformVolume(1, 4, 10, {"DZ", "VR"});
    twice.rayFields = [](int, int r) -> std::vector<int> {
        return r == 2 ? std::vector<int>{0, 0} : std::vector<int>{0, 1};
    };
    rdrtest::StdRadarPtr dup = rdrtest::buildVolume(twice);
    testing::internal::CaptureStderr();
    EXPECT_EQ(fnStdSyncDownGribRadar(dup.get()), nullptr);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("DZ appears twice on ray 2"),
              std::string::npos);

    rdrtest::VolumeShape bigShape = rdrtest::uniformVolume(2, 360, 500, {"DZ"});
    bigShape.value = [](int, int r, int b, int) { return static_cast<short>(r * 500 + b); };
    rdrtest::StdRadarPtr big = rdrtest::buildVolume(bigShape);
    GribRadarPtr grib(fnStdSyncDownGribRadar(big.get()));
    ASSERT_TRUE(grib);
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    struct rlimit small = old;
    small.rlim_cur = 64 * 1024;
    const sighandler_t oldHandler = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    testing::internal::CaptureStderr();
    const int written = fnWriteGribRadar(grib.get(), target.c_str());
    const std::string err = testing::internal::GetCapturedStderr();
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(written, 0);
    EXPECT_NE(err.find("fnWriteGribRadar : cannot write"), std::string::npos) << err;
    std::stringstream kept;
    kept << std::ifstream(target).rdbuf();
    EXPECT_EQ(kept.str(), "old contents");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);
}

}  // namespace
