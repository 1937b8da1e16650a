// UF_RADAR -> STD_RADAR: bin buffers change owner, headers and the sweep calibration come
// from the records' words, and a field without bins still makes a valid volume. Files are
// written by the tests' own UF writer, except for one round trip through the library's.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "core_utilities.h"
#include "test_support.h"
#include "uf_bytes.h"
#include "uf_fixture.h"
#include "uf_radar.h"
#include "uf_volume_output.h"

using uffix::UfRadarPtr;

namespace {

UfRadarPtr writtenAndRead(const rdrtest::TempDir& dir, const ufbytes::Volume& volume) {
    const std::string file = dir.file("v.uf");
    ufbytes::writeBytes(
        file, ufbytes::frameRecords(ufbytes::writeRecords(volume), ufbytes::Framing::four));
    return UfRadarPtr(fnLoadUf(file.c_str()));
}

TEST(UfSyncUp, BinBuffersChangeOwnerOnce) {
    rdrtest::TempDir dir;
    const ufbytes::Volume written = ufbytes::smallVolume(2, 4, 30);
    UfRadarPtr uf = writtenAndRead(dir, written);
    ASSERT_NE(uf, nullptr);
    const short* moved = uf->m_ppSweep[1]->m_ppRay[2]->m_ppField[1]->m_pData;

    rdrtest::StdRadarPtr std(fnUfSyncUpStd(uf.get()));
    ASSERT_NE(std, nullptr);
    ASSERT_EQ(fnValidStdRadar(std.get()), 1);
    EXPECT_EQ(std->m_ppSweep[1]->m_ppRay[2]->m_ppField[1]->m_pData, moved);
    for (int s = 0; s < uf->m_iCurSweep; ++s) {
        for (int r = 0; r < uf->m_ppSweep[s]->m_iCurRay; ++r) {
            for (int k = 0; k < uf->m_ppSweep[s]->m_ppRay[r]->m_iCurField; ++k) {
                EXPECT_EQ(uf->m_ppSweep[s]->m_ppRay[r]->m_ppField[k]->m_pData, nullptr);
            }
        }
    }
    // A converted structure has nothing left to hand over.
    testing::internal::CaptureStderr();
    EXPECT_EQ(fnUfSyncUpStd(uf.get()), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "fnUfSyncUpStd : InValid UF\n");
    // Releasing the UF side first leaves the volume's bins intact (ASan watches this).
    uf.reset();
    const STD_FIELD* field = std->m_ppSweep[1]->m_ppRay[2]->m_ppField[1];
    const std::vector<short>& expected = written.sweeps[1].rays[2].fields[1].bins;
    ASSERT_EQ(field->m_iMaxBin, static_cast<int>(expected.size()));
    EXPECT_EQ(std::memcmp(field->m_pData, expected.data(), sizeof(short) * expected.size()), 0);
}

// Loaded bins lie in a few shared blocks. The volume still releases everything, including
// a bin buffer a caller put in place of one of them and the bins of sweeps that arrived out
// of order (kept by the UF tree, not taken into the volume); ASan builds check this.
TEST(UfSyncUp, BinBlocksAreReleasedWithTheVolumeWhateverItsCallersReplaced) {
    rdrtest::TempDir dir;
    ufbytes::Volume written = ufbytes::smallVolume(3, 6, 40);
    written.sweeps[1].number = 3;  // sweep 3 before sweep 2: not part of the volume
    written.sweeps[2].number = 2;
    UfRadarPtr uf = writtenAndRead(dir, written);
    ASSERT_NE(uf, nullptr);
    ASSERT_EQ(uf->m_iCurSweep, 2);
    STD_RADAR* pStd = fnUfSyncUpStd(uf.get());
    ASSERT_NE(pStd, nullptr);
    uf.reset();  // the tree goes first; the volume's bins must outlive it
    STD_FIELD* pField = pStd->m_ppSweep[0]->m_ppRay[2]->m_ppField[0];
    const short first = pField->m_pData[0];
    auto* pOwn = static_cast<short*>(std::malloc(sizeof(short) * pField->m_iMaxBin));
    std::memcpy(pOwn, pField->m_pData, sizeof(short) * pField->m_iMaxBin);
    pField->m_pData = pOwn;
    EXPECT_EQ(pStd->m_ppSweep[0]->m_ppRay[2]->m_ppField[0]->m_pData[0], first);
    fnFreeStdRadar(pStd);
}

TEST(UfSyncUp, HeadersComeFromTheirWords) {
    rdrtest::TempDir dir;
    const ufbytes::Volume v = ufbytes::smallVolume(2, 3, 12);
    UfRadarPtr uf = writtenAndRead(dir, v);
    ASSERT_NE(uf, nullptr);
    rdrtest::StdRadarPtr std(fnUfSyncUpStd(uf.get()));
    ASSERT_NE(std, nullptr);
    const STD_GLOBAL_HDR& g = std->m_hdr;
    EXPECT_EQ(g.m_iVolumeNo, 7);
    EXPECT_STREQ(g.m_szRadarName, "RDRTEST1");
    EXPECT_STREQ(g.m_szSiteName, "GWANAK");
    EXPECT_NEAR(g.m_dLat, 37.4375, 1e-5);
    EXPECT_NEAR(g.m_dLon, 126.96875, 1e-5);
    EXPECT_EQ(g.m_iAnteHeight, 635);
    EXPECT_EQ(g.m_iSweepMode, 1);
    EXPECT_EQ(g.m_fSweepRate, 18.0f);
    EXPECT_STREQ(g.m_szConvertName, "UFBYTES");
    // The scan's start time of day on the rays' date; the file was generated a day later.
    EXPECT_EQ(g.m_tConvertTime, fnMakeTime(1, 2024, 7, 15, 6, 30, 5));
    EXPECT_EQ(g.m_iNoDataValue, -32768);
    EXPECT_STREQ(g.m_szProjectName, "SUMMER");
    EXPECT_EQ(g.m_fBaselineAzimuth, 0.25f);
    EXPECT_EQ(g.m_fBaselineElevation, 0.5f);
    EXPECT_STREQ(g.m_szFieldTapeName, "TAPE01");
    // From the first field's header.
    EXPECT_EQ(g.m_iPulseWidth, 300);
    EXPECT_EQ(g.m_fBeamWidthH, 0.953125f);
    EXPECT_EQ(g.m_fBeamWidthV, 0.96875f);
    EXPECT_EQ(g.m_iBandWidth, 1000);
    EXPECT_EQ(g.m_iPolarMode, 1);
    EXPECT_EQ(g.m_fWaveLength, 10.6875f);
    EXPECT_STREQ(g.m_szThresholdType, "SQ");
    EXPECT_EQ(g.m_iThresholdValue, 35);
    EXPECT_EQ(g.m_iScale, 10);
    EXPECT_STREQ(g.m_szEditCode, "NE");
    EXPECT_EQ(g.m_iPRT, 1000);
    EXPECT_EQ(g.m_iBitsPerBin, 16);
    for (int s = 0; s < 2; ++s) {
        // The Nyquist velocity travels in the VR field header: 2650 / 100.
        EXPECT_EQ(std->m_ppSweep[s]->m_hdr.m_fNyquistVelocity, 26.5f);
        EXPECT_STREQ(std->m_ppSweep[s]->m_hdr.m_szVelocityFlag, "NF");
        for (int r = 0; r < 3; ++r) {
            SCOPED_TRACE("sweep " + std::to_string(s) + " ray " + std::to_string(r));
            const STD_RAY* ray = std->m_ppSweep[s]->m_ppRay[r];
            const ufbytes::Ray& want = v.sweeps[s].rays[r];
            EXPECT_EQ(ray->m_hdr.m_tTime, fnMakeTime(1, 2024, 7, 15, 6, 30 + s, r));
            EXPECT_EQ(ray->m_hdr.m_fAzimuth, static_cast<float>(want.azimuth));
            EXPECT_EQ(ray->m_hdr.m_fElevation, static_cast<float>(want.elevation));
            EXPECT_EQ(ray->m_hdr.m_fFixedAngle, static_cast<float>(v.sweeps[s].fixedAngle));
            EXPECT_EQ(ray->m_hdr.m_iStartRangeKm, 2);
            EXPECT_EQ(ray->m_hdr.m_iStartRangeMeter, -125);
            EXPECT_EQ(ray->m_hdr.m_iBinSpacing, 500);
            EXPECT_EQ(ray->m_hdr.m_iSampleSize, 64);
            ASSERT_EQ(ray->m_iMaxField, 2);
            EXPECT_STREQ(ray->m_ppField[1]->m_hdr.m_szFieldName, "VR");
            EXPECT_EQ(ray->m_ppField[1]->m_hdr.m_iScaleFactor, 100);
        }
    }
}

TEST(UfSyncUp, DmFieldFillsTheSweepCalibration) {
    rdrtest::TempDir dir;
    ufbytes::Volume v = ufbytes::smallVolume(1, 2, 5);
    for (ufbytes::Ray& ray : v.sweeps[0].rays) {
        ufbytes::Field& dm = ray.fields[1];
        dm.name = "DM";
        dm.scaleFactor = 10;
        dm.calibration = {70.25, -110.5, 30, 85, 45.5, 0.75};
    }
    UfRadarPtr uf = writtenAndRead(dir, v);
    ASSERT_NE(uf, nullptr);
    rdrtest::StdRadarPtr std(fnUfSyncUpStd(uf.get()));
    ASSERT_NE(std, nullptr);
    const STD_SWEEP_HDR& g = std->m_ppSweep[0]->m_hdr;
    EXPECT_EQ(g.m_fRadarConstant, 70.25f);
    EXPECT_EQ(g.m_fNoisePower, -110.5f);
    EXPECT_EQ(g.m_fReceiverGain, 30.0f);
    EXPECT_EQ(g.m_fPeakPower, 85.0f);
    EXPECT_EQ(g.m_fAntennaGain, 45.5f);
    EXPECT_EQ(g.m_fPulseDuration, 0.75f);
    EXPECT_EQ(g.m_fNyquistVelocity, 0.0f);
}

TEST(UfSyncUp, FieldsWithoutBinsAndRaysWithoutFieldsMakeAValidVolume) {
    rdrtest::TempDir dir;
    ufbytes::Volume v = ufbytes::smallVolume(1, 3, 0);
    v.sweeps[0].rays[1].fields.clear();
    UfRadarPtr uf = writtenAndRead(dir, v);
    ASSERT_NE(uf, nullptr);
    ASSERT_EQ(uf->m_ppSweep[0]->m_iCurRay, 3);
    rdrtest::StdRadarPtr std(fnUfSyncUpStd(uf.get()));
    ASSERT_NE(std, nullptr);
    EXPECT_EQ(fnValidStdRadar(std.get()), 1);
    EXPECT_EQ(std->m_ppSweep[0]->m_ppRay[0]->m_ppField[0]->m_iMaxBin, 0);
    EXPECT_NE(std->m_ppSweep[0]->m_ppRay[0]->m_ppField[0]->m_pData, nullptr);
    EXPECT_EQ(std->m_ppSweep[0]->m_ppRay[1]->m_iMaxField, 0);
}

// The volume time is the scan start on the rays' date, whatever day the file was written.
TEST(UfSyncUp, VolumeTimeTakesTheDateOfTheRaysNotOfTheConversion) {
    rdrtest::TempDir dir;
    ufbytes::Volume v = ufbytes::smallVolume(1, 2, 4);
    v.generated = {2027, 1, 2};  // converted three years later
    UfRadarPtr uf = writtenAndRead(dir, v);
    ASSERT_NE(uf, nullptr);
    rdrtest::StdRadarPtr std(fnUfSyncUpStd(uf.get()));
    ASSERT_NE(std, nullptr);
    EXPECT_EQ(std->m_hdr.m_tConvertTime, fnMakeTime(1, 2024, 7, 15, 6, 30, 5));

    // A scan started at 23:58 whose first ray is stamped 00:01 the next day.
    v.sweeps[0].rays[0].date = {2024, 7, 16};
    v.sweeps[0].rays[0].time = {0, 1, 0};
    v.optional.scanStart = {23, 58, 0};
    UfRadarPtr late = writtenAndRead(dir, v);
    ASSERT_NE(late, nullptr);
    rdrtest::StdRadarPtr lateStd(fnUfSyncUpStd(late.get()));
    ASSERT_NE(lateStd, nullptr);
    EXPECT_EQ(lateStd->m_hdr.m_tConvertTime, fnMakeTime(1, 2024, 7, 15, 23, 58, 0));
}

// Through the library's writer, for the round trip below.
UfRadarPtr writtenByTheLibraryAndRead(const rdrtest::TempDir& dir, STD_RADAR* std) {
    UfRadarPtr source(fnStdSyncDownUf(std));
    EXPECT_NE(source, nullptr);
    const std::string file = dir.file("library.uf");
    EXPECT_EQ(fnWriteUf(source.get(), file.c_str(), UF_FRAME_FOUR, 0), 1);
    return UfRadarPtr(fnLoadUf(file.c_str()));
}

// Velocity gated at 250 m beside reflectivity at 1000 m keeps its own geometry, and the
// writer puts it back.
TEST(UfSyncUp, MomentsGatedUnlikeTheRayKeepTheirGeometry) {
    rdrtest::TempDir dir;
    rdrtest::StdRadarPtr original = uffix::smallStdVolume(1, 2, 8);
    for (int r = 0; r < original->m_ppSweep[0]->m_iMaxRay; ++r) {
        STD_RAY* ray = original->m_ppSweep[0]->m_ppRay[r];
        ASSERT_GE(ray->m_iMaxField, 2);
        STD_FIELD_HDR& h = ray->m_ppField[1]->m_hdr;
        h.m_iStartRangeKm = 0;
        h.m_iStartRangeMeter = -375;
        h.m_iBinSpacing = ray->m_hdr.m_iBinSpacing / 4;
    }
    UfRadarPtr uf = writtenByTheLibraryAndRead(dir, original.get());
    ASSERT_NE(uf, nullptr);
    rdrtest::StdRadarPtr std(fnUfSyncUpStd(uf.get()));
    ASSERT_NE(std, nullptr);
    const STD_RAY* ray = std->m_ppSweep[0]->m_ppRay[1];
    const STD_RAY* want = original->m_ppSweep[0]->m_ppRay[1];
    EXPECT_EQ(ray->m_hdr.m_iBinSpacing, want->m_hdr.m_iBinSpacing);
    EXPECT_EQ(ray->m_ppField[0]->m_hdr.m_iBinSpacing, 0);
    EXPECT_EQ(ray->m_ppField[1]->m_hdr.m_iBinSpacing, want->m_hdr.m_iBinSpacing / 4);
    EXPECT_EQ(ray->m_ppField[1]->m_hdr.m_iStartRangeMeter, -375);
}

}  // namespace
