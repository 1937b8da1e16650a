// UF_RADAR -> STD_RADAR: bin buffers change owner, sweep headers come from velocity and
// "DM" fields, and a field without bins still makes a valid volume.
#include <gtest/gtest.h>

#include <cstring>

#include "core_utilities.h"
#include "test_support.h"
#include "uf_fixture.h"
#include "uf_radar.h"
#include "uf_volume_output.h"

using uffix::UfRadarPtr;

namespace {

UfRadarPtr writtenAndRead(const rdrtest::TempDir& dir, STD_RADAR* std) {
    UfRadarPtr source(fnStdSyncDownUf(std));
    EXPECT_NE(source, nullptr);
    const std::string file = dir.file("v.uf");
    EXPECT_EQ(fnWriteUf(source.get(), file.c_str(), UF_FRAME_FOUR, 0), 1);
    return UfRadarPtr(fnLoadUf(file.c_str()));
}

TEST(UfSyncUp, BinBuffersChangeOwnerOnce) {
    rdrtest::TempDir dir;
    rdrtest::StdRadarPtr original = uffix::smallStdVolume(2, 4, 30);
    UfRadarPtr uf = writtenAndRead(dir, original.get());
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
    const STD_FIELD* expected = original->m_ppSweep[1]->m_ppRay[2]->m_ppField[1];
    EXPECT_EQ(std::memcmp(field->m_pData, expected->m_pData, sizeof(short) * field->m_iMaxBin), 0);
}

TEST(UfSyncUp, HeadersComeBackAsTheyWereWritten) {
    rdrtest::TempDir dir;
    rdrtest::StdRadarPtr original = uffix::smallStdVolume(2, 3, 12);
    UfRadarPtr uf = writtenAndRead(dir, original.get());
    ASSERT_NE(uf, nullptr);
    rdrtest::StdRadarPtr std(fnUfSyncUpStd(uf.get()));
    ASSERT_NE(std, nullptr);
    const STD_GLOBAL_HDR& a = std->m_hdr;
    const STD_GLOBAL_HDR& b = original->m_hdr;
    EXPECT_EQ(a.m_iVolumeNo, b.m_iVolumeNo);
    EXPECT_STREQ(a.m_szRadarName, b.m_szRadarName);
    EXPECT_STREQ(a.m_szSiteName, b.m_szSiteName);
    EXPECT_NEAR(a.m_dLat, b.m_dLat, 1e-5);
    EXPECT_NEAR(a.m_dLon, b.m_dLon, 1e-5);
    EXPECT_EQ(a.m_iAnteHeight, b.m_iAnteHeight);
    EXPECT_EQ(a.m_tConvertTime, b.m_tConvertTime);
    EXPECT_EQ(a.m_iNoDataValue, b.m_iNoDataValue);
    EXPECT_STREQ(a.m_szProjectName, b.m_szProjectName);
    EXPECT_EQ(a.m_fBaselineAzimuth, b.m_fBaselineAzimuth);
    EXPECT_EQ(a.m_fWaveLength, b.m_fWaveLength);
    EXPECT_EQ(a.m_iPRT, b.m_iPRT);
    for (int s = 0; s < 2; ++s) {
        // The Nyquist velocity travels in the VR field header: 2650 / 100.
        EXPECT_EQ(std->m_ppSweep[s]->m_hdr.m_fNyquistVelocity, 26.5f);
        EXPECT_STREQ(std->m_ppSweep[s]->m_hdr.m_szVelocityFlag, "NF");
        for (int r = 0; r < 3; ++r) {
            const STD_RAY_HDR& x = std->m_ppSweep[s]->m_ppRay[r]->m_hdr;
            const STD_RAY_HDR& y = original->m_ppSweep[s]->m_ppRay[r]->m_hdr;
            EXPECT_EQ(x.m_tTime, y.m_tTime);
            EXPECT_EQ(x.m_fAzimuth, y.m_fAzimuth);
            EXPECT_EQ(x.m_fElevation, y.m_fElevation);
            EXPECT_EQ(x.m_iBinSpacing, y.m_iBinSpacing);
            EXPECT_EQ(x.m_iSampleSize, y.m_iSampleSize);
        }
    }
}

TEST(UfSyncUp, DmFieldFillsTheSweepCalibration) {
    rdrtest::TempDir dir;
    rdrtest::VolumeShape shape = rdrtest::uniformVolume(1, 2, 5, {"DZ", "DM"});
    rdrtest::StdRadarPtr original = rdrtest::buildVolume(shape);
    STD_SWEEP_HDR& h = original->m_ppSweep[0]->m_hdr;
    h.m_fRadarConstant = 70.25f;
    h.m_fNoisePower = -110.5f;
    h.m_fReceiverGain = 30.0f;
    h.m_fPeakPower = 85.0f;
    h.m_fAntennaGain = 45.5f;
    h.m_fPulseDuration = 0.75f;
    UfRadarPtr uf = writtenAndRead(dir, original.get());
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
    rdrtest::VolumeShape shape = rdrtest::uniformVolume(1, 3, 0, {"DZ"});
    shape.rayFields = [](int, int r) { return r == 1 ? std::vector<int>{} : std::vector<int>{0}; };
    rdrtest::StdRadarPtr original = rdrtest::buildVolume(shape);
    UfRadarPtr uf = writtenAndRead(dir, original.get());
    ASSERT_NE(uf, nullptr);
    ASSERT_EQ(uf->m_ppSweep[0]->m_iCurRay, 3);
    rdrtest::StdRadarPtr std(fnUfSyncUpStd(uf.get()));
    ASSERT_NE(std, nullptr);
    EXPECT_EQ(fnValidStdRadar(std.get()), 1);
    EXPECT_EQ(std->m_ppSweep[0]->m_ppRay[0]->m_ppField[0]->m_iMaxBin, 0);
    EXPECT_NE(std->m_ppSweep[0]->m_ppRay[0]->m_ppField[0]->m_pData, nullptr);
    EXPECT_EQ(std->m_ppSweep[0]->m_ppRay[1]->m_iMaxField, 0);
}

}  // namespace

// The volume time is the scan start on the rays' date, whatever day the file was written.
TEST(UfSyncUp, VolumeTimeTakesTheDateOfTheRaysNotOfTheConversion) {
    rdrtest::TempDir dir;
    rdrtest::StdRadarPtr original = uffix::smallStdVolume(1, 2, 4);
    UfRadarPtr uf = writtenAndRead(dir, original.get());
    ASSERT_NE(uf, nullptr);
    const time_t scanStart = original->m_hdr.m_tConvertTime;
    UF_RAY* first = uf->m_ppSweep[0]->m_ppRay[0];
    // Converted three years later.
    first->mh.m_iConvertYear = 2027;
    first->mh.m_iConvertMonth = 1;
    first->mh.m_iConvertDay = 2;
    rdrtest::StdRadarPtr std(fnUfSyncUpStd(uf.get()));
    ASSERT_NE(std, nullptr);
    EXPECT_EQ(std->m_hdr.m_tConvertTime, scanStart);

    // A scan started at 23:58 whose first ray is stamped 00:01 the next day.
    UfRadarPtr late = writtenAndRead(dir, original.get());
    ASSERT_NE(late, nullptr);
    first = late->m_ppSweep[0]->m_ppRay[0];
    first->mh.m_iDay = 16;
    first->mh.m_iHour = 0;
    first->mh.m_iMinute = 1;
    first->mh.m_iSecond = 0;
    first->oh.m_iVolumeScanHour = 23;
    first->oh.m_iVolumeScanMin = 58;
    first->oh.m_iVolumeScanSec = 0;
    rdrtest::StdRadarPtr lateStd(fnUfSyncUpStd(late.get()));
    ASSERT_NE(lateStd, nullptr);
    EXPECT_EQ(lateStd->m_hdr.m_tConvertTime, fnMakeTime(1, 2024, 7, 15, 23, 58, 0));
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
    UfRadarPtr uf = writtenAndRead(dir, original.get());
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
