// UF writer: writing then reading gives back the same UF_RADAR, in every framing, plain
// or gzip; a failed write leaves the target as it was.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "test_support.h"
#include "uf_fixture.h"
#include "uf_volume_output.h"

using uffix::UfRadarPtr;

namespace {

TEST(UfWrite, WriteThenReadGivesTheSameVolumeInEveryFraming) {
    rdrtest::StdRadarPtr std = uffix::smallStdVolume(3, 10, 37);
    UfRadarPtr source(fnStdSyncDownUf(std.get()));
    ASSERT_NE(source, nullptr);
    rdrtest::TempDir dir;
    for (int framing : {UF_FRAME_ZERO, UF_FRAME_TWO, UF_FRAME_FOUR, UF_FRAME_FOUR_NO_TRAILER}) {
        for (int gzip : {0, 1}) {
            SCOPED_TRACE("framing " + std::to_string(framing) + " gzip " + std::to_string(gzip));
            const std::string file = dir.file("out.uf");
            ASSERT_EQ(fnWriteUf(source.get(), file.c_str(), framing, gzip), 1);
            UfRadarPtr back(fnLoadUf(file.c_str()));
            ASSERT_NE(back, nullptr);
            EXPECT_EQ(uffix::diffUf(back.get(), source.get(), true), "");
        }
    }
    // Only the target remains: no temporary files are left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST(UfWrite, RealVolumesSurviveARoundTrip) {
    RDR_REQUIRE_SHARED_DATA();
    rdrtest::TempDir dir;
    for (const char* name : {"KLIX20050828_180149_rsl.uf", "MC3E_NPOL_2011_0524_2356_hid.uf.gz"}) {
        UfRadarPtr original(fnLoadUf(rdrtest::sharedData(std::string("uf/") + name).c_str()));
        ASSERT_NE(original, nullptr);
        const std::string file = dir.file("copy.uf");
        ASSERT_EQ(fnWriteUf(original.get(), file.c_str(), UF_FRAME_FOUR, 1), 1);
        UfRadarPtr back(fnLoadUf(file.c_str()));
        ASSERT_NE(back, nullptr);
        // The layout is the writer's own; everything the records say is the same.
        EXPECT_EQ(uffix::diffUf(back.get(), original.get(), false), "") << name;
    }
}

TEST(UfWrite, AFailedWriteLeavesTheTargetAsItWas) {
    rdrtest::StdRadarPtr std = uffix::smallStdVolume(1, 2, 5);
    UfRadarPtr source(fnStdSyncDownUf(std.get()));
    ASSERT_NE(source, nullptr);
    rdrtest::TempDir dir;
    const std::string file = dir.file("kept.uf");
    { std::ofstream(file) << "previous contents"; }
    // A ray the format cannot hold (2500 bins) stops the write half way.
    UF_FIELD* field = source->m_ppSweep[0]->m_ppRay[1]->m_ppField[0];
    field->m_pData = static_cast<short*>(std::realloc(field->m_pData, 2500 * sizeof(short)));
    field->m_iMaxBin = field->m_iCurBin = 2500;
    testing::internal::CaptureStderr();
    EXPECT_EQ(fnWriteUf(source.get(), file.c_str(), UF_FRAME_FOUR, 0), 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("fnWriteUf : sweep slot 1 ray 2"),
              std::string::npos);
    std::ifstream in(file);
    std::string contents((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(contents, "previous contents");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);

    testing::internal::CaptureStderr();
    EXPECT_EQ(fnWriteUf(source.get(), dir.file("no/such/dir.uf").c_str(), UF_FRAME_FOUR, 0), 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("fnWriteUf : cannot create"),
              std::string::npos);
}

TEST(UfWrite, LinksAreWrittenThroughAndDevicesInPlace) {
    rdrtest::StdRadarPtr std = uffix::smallStdVolume(1, 3, 5);
    UfRadarPtr source(fnStdSyncDownUf(std.get()));
    ASSERT_NE(source, nullptr);
    rdrtest::TempDir dir;
    std::filesystem::create_symlink("real.uf.gz", dir.path() / "latest.uf.gz");
    ASSERT_EQ(fnWriteUf(source.get(), dir.file("latest.uf.gz").c_str(), UF_FRAME_TWO, 1), 1);
    EXPECT_TRUE(std::filesystem::is_symlink(dir.path() / "latest.uf.gz"));
    UfRadarPtr back(fnLoadUf(dir.file("real.uf.gz").c_str()));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(uffix::diffUf(back.get(), source.get(), true), "");

    testing::internal::CaptureStderr();
    EXPECT_EQ(fnWriteUf(source.get(), dir.path().c_str(), UF_FRAME_FOUR, 0), 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("is a directory"), std::string::npos);

    // Copies of /dev/null and /dev/full: a writer that replaced devices replaces these.
    const std::string null = dir.file("null");
    const std::string full = dir.file("full");
    if (mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0 ||
        mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0) {
        GTEST_SKIP() << "no device nodes can be made here";
    }
    for (int gzip : {0, 1}) {
        EXPECT_EQ(fnWriteUf(source.get(), null.c_str(), UF_FRAME_FOUR, gzip), 1);
        // A full device fails the write, whether zlib finds out on a write or on the close.
        testing::internal::CaptureStderr();
        EXPECT_EQ(fnWriteUf(source.get(), full.c_str(), UF_FRAME_FOUR, gzip), 0);
        EXPECT_NE(testing::internal::GetCapturedStderr().find("fnWriteUf : cannot write " + full +
                                                              " (No space left on device)"),
                  std::string::npos);
    }
    EXPECT_TRUE(std::filesystem::is_character_file(null));
    EXPECT_TRUE(std::filesystem::is_character_file(full));
}

TEST(UfWrite, PositionsNoWordCanHoldAreClampedNotConverted) {
    // A volume from another reader may carry a missing (NaN) or absurd position.
    rdrtest::StdRadarPtr std = uffix::smallStdVolume(1, 1, 5);
    std->m_hdr.m_dLat = std::nan("");
    std->m_hdr.m_dLon = -1.0e300;
    UfRadarPtr uf(fnStdSyncDownUf(std.get()));
    ASSERT_NE(uf, nullptr);
    const UF_MANDATORY_HDR& mh = uf->m_ppSweep[0]->m_ppRay[0]->mh;
    EXPECT_EQ(mh.m_iLatDeg, 0);
    EXPECT_EQ(mh.m_iLatMin, 0);
    EXPECT_EQ(mh.m_fLatSec, 0.0f);
    EXPECT_EQ(mh.m_iLonDeg, -32767);
    EXPECT_EQ(mh.m_iLonMin, 0);
    EXPECT_EQ(mh.m_fLonSec, 0.0f);
}

TEST(UfWrite, VolumesBeyondTheFormatsLimitsAreRefused) {
    const struct {
        int sweeps, rays, bins;
        const char* reason;
    } cases[] = {
        {21, 1, 1, "21 sweeps, more than 20"},
        {1, 1000, 1, "sweep 1 has 1000 rays, more than 999"},
        {1, 1, 2500, "has 2500 bins, more than 2499"},
        // Every field within its limits, but 14 of them make a record longer than the
        // 16-bit word positions can address.
        {1, 1, 2400, "sweep 1 ray 1 needs a record of more than 32767 words"},
    };
    const std::vector<std::string> fourteen = {"DZ", "VR", "SW", "ZT", "DR", "PH", "RH",
                                               "KD", "CZ", "VE", "SQ", "HC", "LD", "DM"};
    for (const auto& c : cases) {
        rdrtest::StdRadarPtr std = rdrtest::buildVolume(rdrtest::uniformVolume(
            c.sweeps, c.rays, c.bins, c.bins == 2400 ? fourteen : std::vector<std::string>{"DZ"}));
        testing::internal::CaptureStderr();
        EXPECT_EQ(fnStdSyncDownUf(std.get()), nullptr);
        EXPECT_NE(testing::internal::GetCapturedStderr().find(c.reason), std::string::npos)
            << c.reason;
    }
}

}  // namespace
