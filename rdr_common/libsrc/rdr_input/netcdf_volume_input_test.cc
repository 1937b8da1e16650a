// CF/Radial reader on small volumes written by the test: moment decoding for every
// stored type, geometry and time rules, and the files it must refuse.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <string>

#include "core_utilities.h"
#include "nc_fixture.h"
#include "nc_radar.h"
#include "standard_volume.h"
#include "test_support.h"

namespace {

class NcReaderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
    }

    // Writes, loads and converts; the volume is freed by the fixture.
    STD_RADAR* load(const rdrtest::NcVolumeShape& shape) {
        const std::string path = dir_.file("volume.nc");
        EXPECT_TRUE(rdrtest::writeNcVolume(path, shape));
        NC_RADAR* pNc = fnLoadNcRadar(path.c_str());
        if (pNc == nullptr) {
            return nullptr;
        }
        skipped_ = pNc->m_szSkipped;
        std_ = fnNcSyncUpStd(pNc);
        fnFreeNcRadar(pNc);
        return std_;
    }
    std::string skipped_;  // the loader's list of variables it did not load

    // Loading fails; returns what was printed on stderr.
    std::string loadFailure(const rdrtest::NcVolumeShape& shape) {
        const std::string path = dir_.file("bad.nc");
        EXPECT_TRUE(rdrtest::writeNcVolume(path, shape));
        ::testing::internal::CaptureStderr();
        NC_RADAR* pNc = fnLoadNcRadar(path.c_str());
        STD_RADAR* pStd = pNc != nullptr ? fnNcSyncUpStd(pNc) : nullptr;
        std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(pStd, nullptr);
        fnFreeStdRadar(pStd);
        fnFreeNcRadar(pNc);
        return err;
    }

    void TearDown() override { fnFreeStdRadar(std_); }

    static const STD_FIELD* field(const STD_RADAR* pStd, int sweep, int ray, const char* name) {
        STD_RAY* pRay = pStd->m_ppSweep[sweep]->m_ppRay[ray];
        const int idx = fnGetFieldIdxRay(pRay, name);
        return idx < 0 ? nullptr : pRay->m_ppField[idx];
    }

    rdrtest::TempDir dir_;
    STD_RADAR* std_ = nullptr;
};

TEST_F(NcReaderTest, PackedShortMomentUsesScaleOffsetAndFill) {
    rdrtest::NcVolumeShape shape = rdrtest::simpleNcVolume(1, 4, 3);
    rdrtest::NcMomentShape dbz;
    dbz.m_name = "DBZc";
    dbz.m_type = NC_SHORT;
    dbz.m_scale = 0.01;
    dbz.m_offset = 0.0;
    dbz.m_fill = -32768;
    dbz.m_values = {2550, -32768, -1250, 0, 1, 2, 3, 4, 5, 6, 7, 32767};
    shape.m_moments.push_back(dbz);
    STD_RADAR* pStd = load(shape);
    ASSERT_NE(pStd, nullptr);
    ASSERT_EQ(fnValidStdRadar(pStd), 1);
    const STD_FIELD* pField = field(pStd, 0, 0, "CZ");
    ASSERT_NE(pField, nullptr);
    EXPECT_EQ(pField->m_hdr.m_iScaleFactor, 100);
    EXPECT_EQ(pField->m_iMaxBin, 3);
    EXPECT_EQ(pField->m_pData[0], 2550);  // 25.5 dBZ
    EXPECT_EQ(pField->m_pData[1], STD_NO_DATA_CODE);
    EXPECT_EQ(pField->m_pData[2], -1250);
    // 32767 x 0.01 is 327.66998 in single precision: truncation gives 32766.
    EXPECT_EQ(field(pStd, 0, 3, "CZ")->m_pData[2], 32766);
    EXPECT_EQ(pStd->m_hdr.m_iNoDataValue, STD_NO_DATA_CODE);
}

TEST_F(NcReaderTest, EveryStoredTypeIsReadWithItsOwnCall) {
    // One moment per type; a float variable read through a 16-bit buffer would overrun it.
    rdrtest::NcVolumeShape shape = rdrtest::simpleNcVolume(1, 2, 2);
    struct Case {
        const char* name;
        nc_type type;
        std::vector<double> values;
        double fill;
        std::vector<short> expected;
    };
    const Case cases[] = {
        {"DBZ", NC_FLOAT, {12.345, -9999, -31.5, 70.25}, -9999, {1234, -32767, -3150, 7025}},
        {"VEL", NC_DOUBLE, {-12.5, 0.01, 9.96921e36, 3}, 9.96921e36, {-1250, 1, -32767, 300}},
        {"WIDTH", NC_BYTE, {1, -128, 127, -5}, -128, {100, -32767, 12700, -500}},
        {"ZDR", NC_UBYTE, {0, 255, 200, 7}, 255, {0, -32767, 20000, 700}},
        {"PHIDP",
         NC_INT,
         {100, -2147483647, 327, -327},
         -2147483647,
         {10000, -32767, 32700, -32700}},
        {"RHOHV", NC_USHORT, {1, 65535, 2, 3}, 65535, {100, -32767, 200, 300}},
    };
    for (const Case& c : cases) {
        rdrtest::NcMomentShape m;
        m.m_name = c.name;
        m.m_type = c.type;
        m.m_values = c.values;
        m.m_fill = c.fill;
        shape.m_moments.push_back(m);
    }
    STD_RADAR* pStd = load(shape);
    ASSERT_NE(pStd, nullptr);
    const char* stdNames[] = {"DZ", "VR", "SW", "DR", "PH", "RH"};
    for (size_t i = 0; i < std::size(cases); i++) {
        SCOPED_TRACE(cases[i].name);
        for (int ray = 0; ray < 2; ray++) {
            const STD_FIELD* pField = field(pStd, 0, ray, stdNames[i]);
            ASSERT_NE(pField, nullptr);
            for (int bin = 0; bin < 2; bin++) {
                EXPECT_EQ(pField->m_pData[bin], cases[i].expected[ray * 2 + bin]);
            }
        }
    }
}

TEST_F(NcReaderTest, MissingPackingAttributesTakeCfDefaultsAndLargeValuesASmallerScale) {
    rdrtest::NcVolumeShape shape = rdrtest::simpleNcVolume(1, 1, 6);
    rdrtest::NcMomentShape kdp;
    kdp.m_name = "KDP";
    kdp.m_type = NC_SHORT;  // no scale_factor, add_offset or _FillValue
    kdp.m_values = {3, -4, 400, -400, -32767, 327};
    rdrtest::NcMomentShape zdr;
    zdr.m_name = "ZDR";
    zdr.m_type = NC_SHORT;
    zdr.m_scale = 0.5;  // add_offset absent
    zdr.m_values = {3, -4, 655, -655, 0, 654};
    rdrtest::NcMomentShape huge;
    huge.m_name = "PHIDP";
    huge.m_type = NC_INT;
    huge.m_values = {1, 40000, -2, 3, 4, 5};
    shape.m_moments = {kdp, zdr, huge};
    STD_RADAR* pStd = load(shape);
    ASSERT_NE(pStd, nullptr);
    const STD_FIELD* pKdp = field(pStd, 0, 0, "KD");
    const STD_FIELD* pZdr = field(pStd, 0, 0, "DR");
    const STD_FIELD* pHuge = field(pStd, 0, 0, "PH");
    ASSERT_NE(pKdp, nullptr);
    ASSERT_NE(pZdr, nullptr);
    ASSERT_NE(pHuge, nullptr);
    // 400 x 100 does not fit in 16 bits: the moment is kept at x 10 rather than losing those
    // values; -32767 is netCDF's default short fill and means no data.
    EXPECT_EQ(pKdp->m_hdr.m_iScaleFactor, 10);
    EXPECT_EQ(pZdr->m_hdr.m_iScaleFactor, 100);
    const short kdpExpected[] = {30, -40, 4000, -4000, -32767, 3270};
    const short zdrExpected[] = {150, -200, 32750, -32750, 0, 32700};
    // Even x 1 cannot hold 40000: that value alone is no data, never a wrapped one.
    EXPECT_EQ(pHuge->m_hdr.m_iScaleFactor, 1);
    const short hugeExpected[] = {1, -32767, -2, 3, 4, 5};
    for (int b = 0; b < 6; b++) {
        EXPECT_EQ(pKdp->m_pData[b], kdpExpected[b]) << "bin " << b;
        EXPECT_EQ(pZdr->m_pData[b], zdrExpected[b]) << "bin " << b;
        EXPECT_EQ(pHuge->m_pData[b], hugeExpected[b]) << "bin " << b;
    }
}

TEST_F(NcReaderTest, MissingValuesTheStoredTypeCannotHoldAreIgnored) {
    // A missing_value written as a double far outside the short range (or NaN) matches no
    // stored value; it must not be converted to the stored type to be compared.
    for (double missing : {1.0e10, std::nan("")}) {
        rdrtest::NcVolumeShape shape = rdrtest::simpleNcVolume(1, 1, 3);
        rdrtest::NcMomentShape dbz;
        dbz.m_name = "DBZ";
        dbz.m_type = NC_SHORT;
        dbz.m_values = {0, -32767, 100};
        shape.m_moments = {dbz};
        const std::string path = dir_.file("missing.nc");
        ASSERT_TRUE(rdrtest::writeNcVolume(path, shape));
        int ncid = -1;
        int varid = -1;
        ASSERT_EQ(nc_open(path.c_str(), NC_WRITE, &ncid), NC_NOERR);
        ASSERT_EQ(nc_redef(ncid), NC_NOERR);
        ASSERT_EQ(nc_inq_varid(ncid, "DBZ", &varid), NC_NOERR);
        ASSERT_EQ(nc_put_att_double(ncid, varid, "missing_value", NC_DOUBLE, 1, &missing),
                  NC_NOERR);
        ASSERT_EQ(nc_close(ncid), NC_NOERR);
        NC_RADAR* pNc = fnLoadNcRadar(path.c_str());
        ASSERT_NE(pNc, nullptr) << missing;
        ASSERT_EQ(pNc->m_iMaxMoment, 1);
        // 0 stays a value; -32767 is netCDF's default short fill.
        EXPECT_EQ(pNc->m_moment_var[0].m_pData[0], 0) << missing;
        EXPECT_EQ(pNc->m_moment_var[0].m_pData[1], STD_NO_DATA_CODE) << missing;
        EXPECT_EQ(pNc->m_moment_var[0].m_pData[2], 10000) << missing;
        fnFreeNcRadar(pNc);
    }
}

TEST_F(NcReaderTest, MomentsAreRecognisedByTableNameAliasOrStandardName) {
    rdrtest::NcVolumeShape shape = rdrtest::simpleNcVolume(1, 2, 2);
    rdrtest::NcMomentShape byStandard = rdrtest::rampMoment(shape, "refl_corr_x");
    byStandard.m_standardName = "equivalent_reflectivity_factor";
    rdrtest::NcMomentShape byAlias = rdrtest::rampMoment(shape, "velocity");
    rdrtest::NcMomentShape unknown = rdrtest::rampMoment(shape, "signal_to_noise_ratio");
    unknown.m_standardName = "signal_to_noise_ratio";
    rdrtest::NcMomentShape documented = rdrtest::rampMoment(shape, "DBZ");
    rdrtest::NcMomentShape notShaped;  // per-ray, not a moment
    notShaped.m_name = "reflectivity";
    notShaped.m_dims = {"time"};
    notShaped.m_values = {1, 2};
    shape.m_moments = {byStandard, byAlias, unknown, documented, notShaped};
    STD_RADAR* pStd = load(shape);
    ASSERT_NE(pStd, nullptr);
    STD_RAY* pRay = pStd->m_ppSweep[0]->m_ppRay[1];
    // The documented name wins "DZ" over the standard-name match, which keeps its own name
    // as every moment the table does not know does; the per-ray variable is no moment.
    ASSERT_EQ(pRay->m_iMaxField, 4);
    EXPECT_STREQ(pRay->m_ppField[0]->m_hdr.m_szFieldName, "DZ");
    EXPECT_STREQ(pRay->m_ppField[1]->m_hdr.m_szFieldName, "VR");
    EXPECT_STREQ(pRay->m_ppField[2]->m_hdr.m_szFieldName, "refl_cor");
    EXPECT_STREQ(pRay->m_ppField[3]->m_hdr.m_szFieldName, "signal_t");
    EXPECT_EQ(pRay->m_ppField[0]->m_pData[1], 101);  // ray 1 + bin 1 / 100
    EXPECT_EQ(pRay->m_ppField[3]->m_pData[1], 101);
    EXPECT_EQ(skipped_, "");
}

TEST_F(NcReaderTest, OwnNamesAreMadeUniqueAndMomentsBeyondTheVolumeAreListed) {
    rdrtest::NcVolumeShape shape = rdrtest::simpleNcVolume(1, 1, 2);
    for (int i = 0; i < NC_MAX_MOMENT + 2; i++) {
        shape.m_moments.push_back(rdrtest::rampMoment(shape, "total_power_" + std::to_string(i)));
    }
    STD_RADAR* pStd = load(shape);
    ASSERT_NE(pStd, nullptr);
    const STD_RAY* pRay = pStd->m_ppSweep[0]->m_ppRay[0];
    ASSERT_EQ(pRay->m_iMaxField, NC_MAX_MOMENT);
    EXPECT_STREQ(pRay->m_ppField[0]->m_hdr.m_szFieldName, "total_po");
    EXPECT_STREQ(pRay->m_ppField[1]->m_hdr.m_szFieldName, "total_p1");
    EXPECT_STREQ(pRay->m_ppField[10]->m_hdr.m_szFieldName, "total_10");
    EXPECT_EQ(skipped_,
              "total_power_32 (more moments than the volume holds); "
              "total_power_33 (more moments than the volume holds)");
}

TEST_F(NcReaderTest, HeaderGeometryAndTimes) {
    rdrtest::NcVolumeShape shape = rdrtest::simpleNcVolume(2, 3, 4);
    shape.m_range = {1500, 1750, 2000, 2250};
    shape.m_firstGate = 1500.0f;
    shape.m_time = {0.0, 1.0, 12.7, 20.0, 21.0, 22.0};
    shape.m_sweepMode = {"rhi  ", "azimuth_surveillance"};  // blank-padded, as some writers do
    shape.m_unlimitedStringLength = true;
    shape.m_moments.push_back(rdrtest::rampMoment(shape, "DBZ"));
    STD_RADAR* pStd = load(shape);
    ASSERT_NE(pStd, nullptr);
    ASSERT_EQ(pStd->m_iMaxSweep, 2);
    EXPECT_EQ(pStd->m_hdr.m_iSweepMode, STD_EN_SWMD_RHI);
    EXPECT_STREQ(pStd->m_hdr.m_szRadarName, "TESTRDR");
    EXPECT_DOUBLE_EQ(pStd->m_hdr.m_dLat, 37.5);
    EXPECT_EQ(pStd->m_hdr.m_iAnteHeight, 123);
    const time_t start = fnMakeTime(1, 2024, 5, 1, 0, 0, 0);
    EXPECT_EQ(pStd->m_hdr.m_tConvertTime, start);
    const STD_RAY_HDR& ray = pStd->m_ppSweep[0]->m_ppRay[2]->m_hdr;
    EXPECT_EQ(ray.m_tTime, start + 12);
    EXPECT_EQ(ray.m_iStartRangeKm, 1);
    EXPECT_EQ(ray.m_iStartRangeMeter, 500);
    EXPECT_EQ(ray.m_iBinSpacing, 250);
    EXPECT_FLOAT_EQ(ray.m_fAzimuth, 2.5f);
    EXPECT_FLOAT_EQ(pStd->m_ppSweep[1]->m_ppRay[0]->m_hdr.m_fFixedAngle, 1.5f);
    EXPECT_EQ(pStd->m_ppSweep[1]->m_ppRay[0]->m_ppField[0]->m_pData[3], 303);
}

TEST_F(NcReaderTest, UnknownSweepModeLeavesZero) {
    rdrtest::NcVolumeShape shape = rdrtest::simpleNcVolume(1, 2, 2);
    shape.m_sweepMode = {"spiral"};
    STD_RADAR* pStd = load(shape);
    ASSERT_NE(pStd, nullptr);
    EXPECT_EQ(pStd->m_hdr.m_iSweepMode, 0);
    EXPECT_EQ(fnValidStdRadar(pStd), 1);
    EXPECT_EQ(pStd->m_ppSweep[0]->m_ppRay[0]->m_iMaxField, 0);
}

TEST_F(NcReaderTest, RayTimesFollowTheTimeVariablesOwnReference) {
    // Rays timed before a reference one minute after the coverage start (as JMA writes).
    rdrtest::NcVolumeShape shape = rdrtest::simpleNcVolume(1, 3, 2);
    shape.m_timeCoverageStart = "2023-08-01T19:59:01Z";
    shape.m_timeUnits = "seconds since 2023-08-01T20:00:00Z";
    shape.m_time = {-58.985, -0.5, 1.25};
    STD_RADAR* pStd = load(shape);
    ASSERT_NE(pStd, nullptr);
    const time_t ref = fnMakeTime(1, 2023, 8, 1, 20, 0, 0);
    EXPECT_EQ(pStd->m_hdr.m_tConvertTime, ref - 59);
    EXPECT_EQ(pStd->m_ppSweep[0]->m_ppRay[0]->m_hdr.m_tTime, ref - 59);
    EXPECT_EQ(pStd->m_ppSweep[0]->m_ppRay[1]->m_hdr.m_tTime, ref - 1);
    EXPECT_EQ(pStd->m_ppSweep[0]->m_ppRay[2]->m_hdr.m_tTime, ref + 1);
}

TEST_F(NcReaderTest, RangeGeometryFromValuesWhenAttributesAreAbsentOrStale) {
    rdrtest::NcVolumeShape shape = rdrtest::simpleNcVolume(1, 1, 3);
    shape.m_range = {249.999f, 749.997f, 1249.995f};  // float32 error, no attributes
    shape.m_firstGate.reset();
    shape.m_gateSpacing.reset();
    STD_RADAR* pStd = load(shape);
    ASSERT_NE(pStd, nullptr);
    const STD_RAY_HDR& ray = pStd->m_ppSweep[0]->m_ppRay[0]->m_hdr;
    EXPECT_EQ(ray.m_iStartRangeKm * 1000 + ray.m_iStartRangeMeter, 250);
    EXPECT_EQ(ray.m_iBinSpacing, 500);

    fnFreeStdRadar(std_);
    std_ = nullptr;
    shape.m_range = {0.0f, 960.0f, 1920.0f};  // gates thinned, attributes left behind
    shape.m_firstGate = 0.0f;
    shape.m_gateSpacing = 60.0f;
    pStd = load(shape);
    ASSERT_NE(pStd, nullptr);
    EXPECT_EQ(pStd->m_ppSweep[0]->m_ppRay[0]->m_hdr.m_iBinSpacing, 960);

    fnFreeStdRadar(std_);
    std_ = nullptr;
    shape.m_range = {62.4565f, 187.3695f, 312.2826f};  // DOW8 gates: nearest metre, not below
    shape.m_firstGate = 62.4565f;
    shape.m_gateSpacing = 124.913f;
    pStd = load(shape);
    ASSERT_NE(pStd, nullptr);
    EXPECT_EQ(pStd->m_ppSweep[0]->m_ppRay[0]->m_hdr.m_iBinSpacing, 125);
    EXPECT_EQ(pStd->m_ppSweep[0]->m_ppRay[0]->m_hdr.m_iStartRangeMeter, 62);
}

TEST_F(NcReaderTest, TransitionRaysBetweenSweepsAreLeftOut) {
    rdrtest::NcVolumeShape shape = rdrtest::simpleNcVolume(2, 4, 2);
    shape.m_sweepStart = {1, 5};
    shape.m_sweepEnd = {3, 6};
    shape.m_moments.push_back(rdrtest::rampMoment(shape, "DBZ"));
    STD_RADAR* pStd = load(shape);
    ASSERT_NE(pStd, nullptr);
    ASSERT_EQ(pStd->m_ppSweep[0]->m_iMaxRay, 3);
    ASSERT_EQ(pStd->m_ppSweep[1]->m_iMaxRay, 2);
    EXPECT_EQ(pStd->m_ppSweep[0]->m_ppRay[0]->m_ppField[0]->m_pData[0], 100);
    EXPECT_EQ(pStd->m_ppSweep[1]->m_ppRay[1]->m_ppField[0]->m_pData[1], 601);
}

TEST_F(NcReaderTest, BadSweepIndicesAreRefused) {
    const std::pair<int, int> bad[] = {{0, 4}, {-1, 2}, {3, 2}};  // past time, negative, reversed
    for (const auto& [start, end] : bad) {
        rdrtest::NcVolumeShape shape = rdrtest::simpleNcVolume(1, 4, 2);
        shape.m_sweepStart = {start};
        shape.m_sweepEnd = {end};
        EXPECT_EQ(loadFailure(shape), "fnNcSyncUpStd : invalid nc\n") << start << ".." << end;
    }
    // Sweeps that take the same rays again: each would be another copy of the volume, so a
    // small file naming one ray range thousands of times would exhaust memory.
    rdrtest::NcVolumeShape repeated = rdrtest::simpleNcVolume(2, 4, 2);
    repeated.m_sweepStart = {0, 0};
    repeated.m_sweepEnd = {7, 7};
    EXPECT_EQ(loadFailure(repeated), "fnNcSyncUpStd : invalid nc\n");
    rdrtest::NcVolumeShape noSweeps = rdrtest::simpleNcVolume(1, 4, 2);
    noSweeps.m_sweepStart.clear();
    noSweeps.m_sweepEnd.clear();
    noSweeps.m_fixedAngle.clear();
    noSweeps.m_sweepMode.clear();
    EXPECT_EQ(loadFailure(noSweeps), "fnNcSyncUpStd : invalid nc\n");
}

TEST_F(NcReaderTest, UnreadableFilesAreRefusedWithOneLine) {
    rdrtest::NcVolumeShape shape = rdrtest::simpleNcVolume(1, 4, 2);
    rdrtest::NcMomentShape ragged;
    ragged.m_name = "DBZ";  // a moment's name on a variable that is not (time, range)
    ragged.m_dims = {"range"};
    ragged.m_values = {1, 2};
    shape.m_moments.push_back(ragged);
    EXPECT_EQ(loadFailure(shape), "fnLoadNcRadar : fnReadNcRadarVariables fail\n");

    // Dimensions alone cost nothing in a file but would size every array.
    const std::string huge = dir_.file("huge.nc");
    int ncid = -1;
    int dims[2];
    ASSERT_EQ(nc_create(huge.c_str(), NC_CLOBBER | NC_NETCDF4, &ncid), NC_NOERR);
    ASSERT_EQ(nc_def_dim(ncid, "time", 200000000, &dims[0]), NC_NOERR);
    ASSERT_EQ(nc_def_dim(ncid, "range", 4000, &dims[1]), NC_NOERR);
    ASSERT_EQ(nc_close(ncid), NC_NOERR);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(fnLoadNcRadar(huge.c_str()), nullptr);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "fnLoadNcRadar : fnInitNcRadar fail\n");

    // One stored value is spread over every ray, sweep or calibration, so even a modest
    // count of those, with scalars beside it, would allocate gigabytes.
    const struct {
        const char* dim;
        size_t len;
        const char* var;
    } spread[] = {
        {"sweep", 4000000, "sweep_mode"},
        {"r_calib", 1 << 24, "r_calib_time"},
        {"frequency", 1 << 24, "frequency"},
        {"time", 2000000, "azimuth"},
    };
    for (const auto& c : spread) {
        const std::string file = dir_.file("spread.nc");
        int dimid = -1;
        int varid = -1;
        const bool bText = std::string(c.var).find("_mode") != std::string::npos ||
                           std::string(c.var).find("_time") != std::string::npos;
        ASSERT_EQ(nc_create(file.c_str(), NC_CLOBBER | NC_NETCDF4, &ncid), NC_NOERR);
        ASSERT_EQ(nc_def_dim(ncid, c.dim, c.len, &dimid), NC_NOERR);
        if (std::string(c.dim) != "time") {
            ASSERT_EQ(nc_def_dim(ncid, "time", 1, &dimid), NC_NOERR);
        }
        ASSERT_EQ(nc_def_dim(ncid, "range", 1, &dimid), NC_NOERR);
        ASSERT_EQ(nc_def_var(ncid, c.var, bText ? NC_CHAR : NC_FLOAT, 0, nullptr, &varid),
                  NC_NOERR);
        ASSERT_EQ(nc_close(ncid), NC_NOERR);
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(fnLoadNcRadar(file.c_str()), nullptr) << c.dim;
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "fnLoadNcRadar : fnInitNcRadar fail\n")
            << c.dim;
    }

    const std::string notNc = dir_.file("not.nc");
    FILE* f = std::fopen(notNc.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("this is not a netCDF file", f);
    std::fclose(f);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(fnLoadNcRadar(notNc.c_str()), nullptr);
    EXPECT_EQ(fnLoadNcRadar(nullptr), nullptr);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "fnLoadNcRadar : nc_open fail\nfnLoadNcRadar : nc_open fail\n");
    EXPECT_EQ(fnNcSyncUpStd(nullptr), nullptr);
}

TEST_F(NcReaderTest, EssentialVariableOfTheWrongSizeIsRefused) {
    // azimuth along the sweep dimension: one value per sweep, not per ray.
    rdrtest::NcVolumeShape shape = rdrtest::simpleNcVolume(2, 4, 2);
    const std::string path = dir_.file("azimuth.nc");
    ASSERT_TRUE(rdrtest::writeNcVolume(path, shape));
    int ncid = -1;
    int sweepDim = -1;
    int varid = -1;
    ASSERT_EQ(nc_open(path.c_str(), NC_WRITE, &ncid), NC_NOERR);
    ASSERT_EQ(nc_redef(ncid), NC_NOERR);
    ASSERT_EQ(nc_inq_varid(ncid, "azimuth", &varid), NC_NOERR);
    ASSERT_EQ(nc_rename_var(ncid, varid, "azimuth_per_ray"), NC_NOERR);
    ASSERT_EQ(nc_inq_dimid(ncid, "sweep", &sweepDim), NC_NOERR);
    ASSERT_EQ(nc_def_var(ncid, "azimuth", NC_FLOAT, 1, &sweepDim, &varid), NC_NOERR);
    ASSERT_EQ(nc_close(ncid), NC_NOERR);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(fnLoadNcRadar(path.c_str()), nullptr);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "fnLoadNcRadar : fnReadNcRadarVariables fail\n");
}

TEST_F(NcReaderTest, EpochBasedRayTimes) {
    rdrtest::NcVolumeShape shape = rdrtest::simpleNcVolume(1, 2, 2);
    shape.m_timeUnits = "seconds since 1970-01-01T00:00:00Z";
    const double t0 = 1714521600.0;  // 2024-05-01T00:00:00Z
    shape.m_time = {t0 + 0.25, t0 + 61.9};
    STD_RADAR* pStd = load(shape);
    ASSERT_NE(pStd, nullptr);
    const time_t start = fnMakeTime(1, 2024, 5, 1, 0, 0, 0);
    EXPECT_EQ(pStd->m_ppSweep[0]->m_ppRay[0]->m_hdr.m_tTime, start);
    EXPECT_EQ(pStd->m_ppSweep[0]->m_ppRay[1]->m_hdr.m_tTime, start + 61);
}

TEST(NcParseTime, AcceptsTheSpellingsWritersUse) {
    setenv("TZ", "UTC", 1);
    tzset();
    const time_t base = fnMakeTime(1, 2021, 10, 11, 22, 36, 2);
    struct Case {
        const char* text;
        time_t expected;
        double fraction;
    };
    const Case good[] = {
        {"2021-10-11T22:36:02Z", base, 0.0},
        {"2021-10-11 22:36:02.712", base, 0.712},
        {"2021-10-11T22:36:02.5Z", base, 0.5},
        {"2021-10-11 22:36:02 0:00", base, 0.0},
        {"2021-10-12T07:36:02+09:00", base, 0.0},
        {"2021-10-11T22:36:02 UTC", base, 0.0},
        {"2021-10-11", fnMakeTime(1, 2021, 10, 11, 0, 0, 0), 0.0},
        {"  2021-10-11T22:36Z", base - 2, 0.0},
    };
    for (const Case& c : good) {
        time_t t = 0;
        double fraction = -1.0;
        ASSERT_EQ(ncParseTime(c.text, &t, &fraction), 1) << c.text;
        EXPECT_EQ(t, c.expected) << c.text;
        EXPECT_NEAR(fraction, c.fraction, 1e-9) << c.text;
    }
    const char* bad[] = {"",
                         "not a time",
                         "2021-13-01T00:00:00Z",
                         "2021-02-29T00:00:00Z",
                         "2021-10-11T22:36:02Q",
                         "2021/10/11 22:36:02",
                         "2021-10-11T25:00:00Z"};
    for (const char* text : bad) {
        time_t t = 0;
        EXPECT_EQ(ncParseTime(text, &t, nullptr), 0) << text;
    }
}

}  // namespace
