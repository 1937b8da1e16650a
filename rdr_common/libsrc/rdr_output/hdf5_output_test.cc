// The ODIM volume writer: volumes written and loaded back keep every bin, angle, range and
// time; the files have the ODIM layout in h5py's eyes; a failed write leaves nothing.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "hdf5_output.h"
#include "internal/standard_volume_builder.h"
#include "owned_handles.h"
#include "standard_volume.h"
#include "test_support.h"
#include "volume_formats.h"

namespace {

using HdfRadarPtr = std::unique_ptr<HDF_RADAR, rdr::ReleaseWith<fnFreeHdfRadar>>;

class OdimWrite : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
    }
};

// Writes the volume as ODIM and loads it back; null on any failure.
STD_RADAR* throughOdim(STD_RADAR* pStd, const std::string& path) {
    HdfRadarPtr down(fnStdSyncDownHdf(pStd));
    if (!down || fnWriteHdfRadar(down.get(), path.c_str()) != 1) {
        return nullptr;
    }
    HdfRadarPtr up(fnLoadHdfRadar(path.c_str()));
    return up ? fnHdfSyncUpStd(up.get()) : nullptr;
}

bool noValue(short v, const STD_RADAR* pStd) {
    return v == STD_NO_VALUE_CODE || v == pStd->m_hdr.m_iNoDataValue;
}

struct Gates {
    int km, meter, spacing;
};

Gates gatesOf(const STD_RAY* pRay, const STD_FIELD* pField) {
    return pField->m_hdr.m_iBinSpacing != 0
               ? Gates{pField->m_hdr.m_iStartRangeKm, pField->m_hdr.m_iStartRangeMeter,
                       pField->m_hdr.m_iBinSpacing}
               : Gates{pRay->m_hdr.m_iStartRangeKm, pRay->m_hdr.m_iStartRangeMeter,
                       pRay->m_hdr.m_iBinSpacing};
}

// Every sweep, ray (in order), angle, time, range geometry, moment and bin of a equals b's;
// a bin without a value in one is a bin without a value in the other.
void expectSameVolume(const STD_RADAR* a, const STD_RADAR* b) {
    EXPECT_EQ(a->m_hdr.m_dLat, b->m_hdr.m_dLat);
    EXPECT_EQ(a->m_hdr.m_dLon, b->m_hdr.m_dLon);
    EXPECT_EQ(a->m_hdr.m_iAnteHeight, b->m_hdr.m_iAnteHeight);
    EXPECT_EQ(a->m_hdr.m_tConvertTime, b->m_hdr.m_tConvertTime);
    EXPECT_STREQ(a->m_hdr.m_szSiteName, b->m_hdr.m_szSiteName);
    ASSERT_EQ(a->m_iMaxSweep, b->m_iMaxSweep);
    long bins = 0;
    for (int s = 0; s < a->m_iMaxSweep; ++s) {
        const STD_SWEEP* sa = a->m_ppSweep[s];
        const STD_SWEEP* sb = b->m_ppSweep[s];
        ASSERT_EQ(sa->m_iMaxRay, sb->m_iMaxRay) << "sweep " << s;
        EXPECT_EQ(sa->m_hdr.m_fNyquistVelocity, sb->m_hdr.m_fNyquistVelocity) << "sweep " << s;
        for (int r = 0; r < sa->m_iMaxRay; ++r) {
            const STD_RAY* ra = sa->m_ppRay[r];
            const STD_RAY* rb = sb->m_ppRay[r];
            const std::string where = "sweep " + std::to_string(s) + " ray " + std::to_string(r);
            ASSERT_EQ(ra->m_hdr.m_fAzimuth, rb->m_hdr.m_fAzimuth) << where;
            ASSERT_EQ(ra->m_hdr.m_fElevation, rb->m_hdr.m_fElevation) << where;
            ASSERT_EQ(ra->m_hdr.m_fFixedAngle, rb->m_hdr.m_fFixedAngle) << where;
            ASSERT_EQ(ra->m_hdr.m_tTime, rb->m_hdr.m_tTime) << where;
            ASSERT_EQ(ra->m_iMaxField, rb->m_iMaxField) << where;
            for (int f = 0; f < ra->m_iMaxField; ++f) {
                const STD_FIELD* fa = ra->m_ppField[f];
                const STD_FIELD* fb = rb->m_ppField[f];
                ASSERT_STREQ(fa->m_hdr.m_szFieldName, fb->m_hdr.m_szFieldName) << where;
                ASSERT_EQ(fa->m_hdr.m_iScaleFactor, fb->m_hdr.m_iScaleFactor) << where;
                ASSERT_EQ(fa->m_iMaxBin, fb->m_iMaxBin) << where;
                const Gates ga = gatesOf(ra, fa);
                const Gates gb = gatesOf(rb, fb);
                ASSERT_EQ(ga.km * 1000 + ga.meter, gb.km * 1000 + gb.meter) << where;
                ASSERT_EQ(ga.spacing, gb.spacing) << where;
                for (int k = 0; k < fa->m_iMaxBin; ++k) {
                    const short va = fa->m_pData[k];
                    const short vb = fb->m_pData[k];
                    if (noValue(va, a) || noValue(vb, b)) {
                        ASSERT_TRUE(noValue(va, a) && noValue(vb, b))
                            << where << " bin " << k << ": " << va << " vs " << vb;
                    } else {
                        ASSERT_EQ(va, vb)
                            << where << " " << fa->m_hdr.m_szFieldName << " bin " << k;
                    }
                    ++bins;
                }
            }
        }
    }
    EXPECT_GT(bins, 0);
}

TEST_F(OdimWrite, UfVolumeThroughOdimIsTheSameVolume) {
    RDR_REQUIRE_SHARED_DATA();
    rdr::StdRadarPtr uf(
        fnLoadStdRadarFile(rdrtest::sharedData("uf/KLIX20050828_180149_rsl.uf").c_str()));
    ASSERT_TRUE(uf);
    rdrtest::TempDir dir;
    const std::string path = dir.file("klix.h5");
    rdr::StdRadarPtr back(throughOdim(uf.get(), path));
    ASSERT_TRUE(back);
    expectSameVolume(uf.get(), back.get());

    // Reflectivity (1000 m gates) and velocity and width (250 m from -375 m) of one sweep are
    // two datasets of one scan in the file.
    HdfRadarPtr hdf(fnLoadHdfRadar(path.c_str()));
    ASSERT_TRUE(hdf);
    EXPECT_EQ(hdf->m_iMaxDataset, 2 * uf->m_iMaxSweep);
    EXPECT_EQ(hdf->m_ppDataset[1]->m_where.m_polar_where.m_dRstart, -0.375);
    EXPECT_EQ(hdf->m_ppDataset[1]->m_iMaxData, 2);
}

TEST_F(OdimWrite, OdimSamplesSurviveAWriteAndLoad) {
    RDR_REQUIRE_SHARED_DATA();
    rdrtest::TempDir dir;
    for (const char* name :
         {"T_PAGZ35_C_ENMI_20170421090837.hdf", "T_PAGZ43_C_EFKL_20101217061505.h5_v2.1",
          "example_odim_200906101315.h5", "knmi_polar_volume.h5"}) {
        SCOPED_TRACE(name);
        rdr::StdRadarPtr first(
            fnLoadStdRadarFile(rdrtest::sharedData(std::string("odim_hdf5/") + name).c_str()));
        ASSERT_TRUE(first);
        rdr::StdRadarPtr second(throughOdim(first.get(), dir.file("again.h5")));
        ASSERT_TRUE(second);
        expectSameVolume(first.get(), second.get());
    }
}

// A small volume: two sweeps of 5 and 3 rays, the first with a moment the field table
// does not know, grids smaller than the ten-by-ten that chunking divides by.
STD_RADAR* smallVolume() {
    auto rays = [](int s) { return s == 0 ? 5 : 3; };
    auto fields = [](int s, int) { return s == 0 ? 2 : 1; };
    auto bins = [](int, int, int) { return 4; };
    STD_RADAR* pStd = buildStdTree(2, rays, fields, bins, StdBins::kNoData);
    if (pStd == nullptr) {
        std::abort();
    }
    std::snprintf(pStd->m_hdr.m_szSiteName, sizeof pStd->m_hdr.m_szSiteName, "tiny");
    pStd->m_hdr.m_iNoDataValue = STD_NO_DATA_CODE;
    pStd->m_hdr.m_tConvertTime = 1714564800 + RDR_KST_OFFSET_SEC;  // 2024-05-01 12:00 UTC
    for (int s = 0; s < 2; ++s) {
        STD_SWEEP* pSweep = pStd->m_ppSweep[s];
        pSweep->m_hdr.m_fNyquistVelocity = 12.5f;
        for (int r = 0; r < pSweep->m_iMaxRay; ++r) {
            STD_RAY* pRay = pSweep->m_ppRay[r];
            // Acquired from 226 degrees on, clockwise.
            pRay->m_hdr.m_fAzimuth =
                s == 0 ? 72.0f * static_cast<float>((r + 3) % 5) + 10.0f : 120.0f * r;
            pRay->m_hdr.m_fElevation = s == 0 ? 0.5f + 0.01f * r : 1.5f;
            pRay->m_hdr.m_fFixedAngle = s == 0 ? 0.5f : 1.5f;
            pRay->m_hdr.m_tTime = pStd->m_hdr.m_tConvertTime + 10 * s + r;
            pRay->m_hdr.m_iStartRangeMeter = s == 0 ? 300 : 0;
            pRay->m_hdr.m_iBinSpacing = s == 0 ? 250 : 1000;
            const char* names[] = {"DZ", "ZZ"};
            for (int f = 0; f < pRay->m_iMaxField; ++f) {
                STD_FIELD* pField = pRay->m_ppField[f];
                std::strcpy(pField->m_hdr.m_szFieldName, names[f]);
                pField->m_hdr.m_iScaleFactor = 100;
                for (int b = 0; b < 4; ++b) {
                    pField->m_pData[b] = static_cast<short>(r * 1000 + b * 29 - 2000 + f);
                }
            }
            pRay->m_ppField[0]->m_pData[3] = STD_NO_DATA_CODE;
        }
    }
    return pStd;
}

TEST_F(OdimWrite, SmallGridsAndUnknownMomentsAreWrittenWhole) {
    rdr::StdRadarPtr std(smallVolume());
    rdrtest::TempDir dir;
    rdr::StdRadarPtr back(throughOdim(std.get(), dir.file("small.h5")));
    ASSERT_TRUE(back);
    expectSameVolume(std.get(), back.get());
}

TEST_F(OdimWrite, FilesHaveTheOdimLayout) {
    rdr::StdRadarPtr std(smallVolume());
    rdrtest::TempDir dir;
    const std::string path = dir.file("layout.h5");
    HdfRadarPtr hdf(fnStdSyncDownHdf(std.get()));
    ASSERT_TRUE(hdf);
    ASSERT_EQ(fnWriteHdfRadar(hdf.get(), path.c_str()), 1);
    const std::string script = dir.file("layout.py");
    std::ofstream(script) << R"PY(
import sys, h5py, numpy as np
f = h5py.File(sys.argv[1], "r")
assert f.attrs["Conventions"] == b"ODIM_H5/V2_2", f.attrs["Conventions"]
for g in ("what", "where", "how"):
    assert isinstance(f[g], h5py.Group), g
w = f["what"].attrs
assert w["object"] == b"PVOL" and w["date"] == b"20240501" and w["time"] == b"120000", dict(w)
assert w["source"] == b"NOD:tiny", w["source"]
assert set(f.keys()) == {"what", "where", "how", "dataset1", "dataset2"}, list(f.keys())
ds = f["dataset1"]
where = ds["where"].attrs
assert where["nrays"] == 5 and where["nbins"] == 4 and where["rstart"] == 0.3, dict(where)
assert where["a1gate"] == 3, where["a1gate"]  # the first ray acquired points at 226 degrees
how = ds["how"].attrs
middle = (how["startazA"] + ((how["stopazA"] - how["startazA"]) % 360) / 2) % 360
assert len(middle) == 5 and list(middle) == sorted(middle), middle  # rows from north
for m, q in ((1, b"TH"), (2, b"ZZ")):
    d = ds["data%d" % m]
    assert d["what"].attrs["quantity"] == q
    data = d["data"]
    assert data.shape == (5, 4) and data.dtype == np.int16, (data.shape, data.dtype)
    assert data.attrs["CLASS"] == b"IMAGE" and data.chunks == (1, 1), data.chunks
    assert data.compression == "gzip"
print("ok")
)PY";
    EXPECT_EQ(std::system(("/usr/bin/python3 '" + script + "' '" + path + "'").c_str()), 0);
    if (std::system("command -v h5dump > /dev/null") == 0) {
        EXPECT_EQ(std::system(("h5dump -H '" + path + "' > /dev/null").c_str()), 0);
    }
}

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

TEST_F(OdimWrite, AFailedWriteLeavesNoFileAndTheOldOneIntact) {
    rdr::StdRadarPtr std(smallVolume());
    HdfRadarPtr hdf(fnStdSyncDownHdf(std.get()));
    ASSERT_TRUE(hdf);
    rdrtest::TempDir dir;
    const std::string target = dir.file("volume.h5");
    std::ofstream(target) << "old contents";

    // A file system that takes only the first kilobyte.
    struct rlimit saved {};
    getrlimit(RLIMIT_FSIZE, &saved);
    const sighandler_t handler = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 1024;
    setrlimit(RLIMIT_FSIZE, &small);
    testing::internal::CaptureStderr();
    const int written = fnWriteHdfRadar(hdf.get(), target.c_str());
    const std::string err = testing::internal::GetCapturedStderr();
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, handler);
    EXPECT_EQ(written, 0);
    EXPECT_NE(err.find("fnWriteHdfRadar : "), std::string::npos) << err;
    EXPECT_EQ(contents(target), "old contents");

    // A directory that cannot be written, and a name over the length the format allows.
    const std::string locked = dir.file("locked");
    mkdir(locked.c_str(), 0500);
    testing::internal::CaptureStderr();
    if (geteuid() != 0) {
        EXPECT_EQ(fnWriteHdfRadar(hdf.get(), (locked + "/v.h5").c_str()), 0);
    }
    EXPECT_EQ(fnWriteHdfRadar(hdf.get(), (dir.file(std::string(1100, 'a')) + ".h5").c_str()), 0);
    testing::internal::GetCapturedStderr();
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == "volume.h5" || name == "locked") << "left behind: " << name;
    }
}

TEST_F(OdimWrite, LongMomentNamesAreCutToUniqueQuantitiesAndKept) {
    rdr::StdRadarPtr std(smallVolume());
    ASSERT_GE(std->m_ppSweep[0]->m_ppRay[0]->m_iMaxField, 2);
    for (int r = 0; r < std->m_ppSweep[0]->m_iMaxRay; ++r) {
        STD_RAY* pRay = std->m_ppSweep[0]->m_ppRay[r];
        std::strcpy(pRay->m_ppField[0]->m_hdr.m_szFieldName, "LONGNAME");
        std::strcpy(pRay->m_ppField[1]->m_hdr.m_szFieldName, "LONGNAMX");
    }
    testing::internal::CaptureStderr();
    HdfRadarPtr hdf(fnStdSyncDownHdf(std.get()));
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(hdf) << err;
    std::vector<std::string> quantities;
    for (int s = 0; s < hdf->m_iMaxDataset; ++s) {
        for (int d = 0; d < hdf->m_ppDataset[s]->m_iMaxData; ++d) {
            quantities.emplace_back(hdf->m_ppDataset[s]->m_ppData[d]->m_what.m_szQuantity);
        }
    }
    EXPECT_NE(std::find(quantities.begin(), quantities.end(), "LONGNA"), quantities.end());
    EXPECT_NE(std::find(quantities.begin(), quantities.end(), "LONGN1"), quantities.end());
    EXPECT_NE(err.find("the moment LONGNAMX is written as quantity LONGN1"), std::string::npos)
        << err;
}

}  // namespace
