// The ODIM_H5 loader and its conversion: every sample volume from other software against an
// independent decode by h5py (Debian python3-h5py), hostile copies of the samples, and the
// conversion rules on hand-built volumes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core_utilities.h"
#include "hdf_radar.h"
#include "info_tables.h"
#include "internal/odim_volume_to_std.h"
#include "owned_handles.h"
#include "standard_volume.h"
#include "test_support.h"
#include "volume_formats.h"

namespace {

using HdfRadarPtr = std::unique_ptr<HDF_RADAR, rdr::ReleaseWith<fnFreeHdfRadar>>;

// The decoder: ODIM's rules read straight off the file. Rows are listed in acquisition
// order (from a1gate round the circle), each row i at the middle of the i-th sector.
const char* const kDecodeScript = R"PY(
import sys, calendar, time
import numpy as np
import h5py

path, outdir = sys.argv[1], sys.argv[2]
f = h5py.File(path, "r")

def attr(group, name, default=None):
    if name not in group.attrs:
        return default
    v = group.attrs[name]
    if isinstance(v, np.ndarray):
        v = v.flat[0]
    return v.decode() if isinstance(v, bytes) else v

def epoch(date, tm):
    return calendar.timegm(time.strptime(date + tm, "%Y%m%d%H%M%S"))

out = open(outdir + "/header.txt", "w")
out.write("volume %d %r %r %r\n" % (epoch(attr(f["what"], "date"), attr(f["what"], "time")),
          float(attr(f["where"], "lat")), float(attr(f["where"], "lon")),
          float(attr(f["where"], "height"))))
d = 1
while "dataset%d" % d in f:
    ds = f["dataset%d" % d]
    w, wh = ds["where"], ds["what"]
    n, nb, a1 = int(attr(w, "nrays")), int(attr(w, "nbins")), int(attr(w, "a1gate", 0))
    rows = [(a1 + k) % n for k in range(n)]
    m = 1
    quantities = []
    while "data%d" % m in ds:
        g = ds["data%d" % m]
        q = attr(g["what"], "quantity")
        gain, offset = float(attr(g["what"], "gain", 1.0)), float(attr(g["what"], "offset", 0.0))
        raw = g["data"][()]
        # Physical values are held as floats; x 100, whole hundredths kept whole (19.46 is
        # 19.4599991 as a float), else truncated toward zero.
        v = (raw.astype(np.float64) * gain + offset).astype(np.float32).astype(np.float64)
        x = v * 100
        r = np.round(x)
        x = np.where(np.abs(x - r) <= np.abs(x) * 2.4e-7 + 1e-6, r, x)
        x = np.clip(np.trunc(x), -32766, 32767)
        for code in ("undetect", "nodata"):
            c = attr(g["what"], code)
            if c is not None:
                x = np.where(raw == c, -32767, x)
        x[rows].astype("<i2").tofile("%s/d%d_%d.i2" % (outdir, d, m))
        quantities.append(q)
        m += 1
    out.write("sweep %d %d %r %r %r %d %s\n" % (n, nb, float(attr(w, "elangle")),
              float(attr(w, "rstart", 0.0)), float(attr(w, "rscale")),
              epoch(attr(wh, "startdate"), attr(wh, "starttime")), " ".join(quantities)))
    out.write("az " + " ".join("%r" % ((i + 0.5) * 360.0 / n) for i in rows) + "\n")
    d += 1
out.close()
)PY";

struct RefSweep {
    int rays = 0, bins = 0;
    double elangle = 0, rstartKm = 0, rscale = 0;
    long start = 0;
    std::vector<std::string> quantities;
    std::vector<double> azimuths;
    std::vector<std::vector<short>> values;  // per quantity, rays x bins
};

struct Reference {
    long volumeTime = 0;
    double lat = 0, lon = 0, height = 0;
    std::vector<RefSweep> sweeps;
};

bool decode(const std::string& file, const rdrtest::TempDir& dir, Reference* pRef) {
    const std::string script = dir.file("decode.py");
    std::ofstream(script) << kDecodeScript;
    const std::string command =
        "/usr/bin/python3 '" + script + "' '" + file + "' '" + dir.path().string() + "'";
    if (std::system(command.c_str()) != 0) {
        return false;
    }
    std::ifstream in(dir.file("header.txt"));
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream ss(line);
        std::string key;
        ss >> key;
        if (key == "volume") {
            ss >> pRef->volumeTime >> pRef->lat >> pRef->lon >> pRef->height;
        } else if (key == "sweep") {
            RefSweep s;
            ss >> s.rays >> s.bins >> s.elangle >> s.rstartKm >> s.rscale >> s.start;
            std::string q;
            while (ss >> q) {
                s.quantities.push_back(q);
            }
            const int d = static_cast<int>(pRef->sweeps.size()) + 1;
            for (std::size_t m = 1; m <= s.quantities.size(); ++m) {
                std::string name = "d";
                name.append(std::to_string(d)).append("_").append(std::to_string(m)).append(".i2");
                std::ifstream bin(dir.file(name), std::ios::binary);
                std::vector<short> v(static_cast<std::size_t>(s.rays) * s.bins);
                bin.read(reinterpret_cast<char*>(v.data()),
                         static_cast<std::streamsize>(v.size() * sizeof(short)));
                if (!bin) {
                    return false;
                }
                s.values.push_back(std::move(v));
            }
            pRef->sweeps.push_back(std::move(s));
        } else if (key == "az") {
            double a = 0;
            while (ss >> a) {
                pRef->sweeps.back().azimuths.push_back(a);
            }
        }
    }
    return !pRef->sweeps.empty();
}

class OdimSampleTest : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
    }
};

TEST_P(OdimSampleTest, AgreesWithIndependentDecode) {
    RDR_REQUIRE_SHARED_DATA();
    const std::string path = rdrtest::sharedData(std::string("odim_hdf5/") + GetParam());
    const char* szFormat = nullptr;
    rdr::StdRadarPtr std(fnLoadStdRadarFile(path.c_str(), &szFormat));
    ASSERT_TRUE(std) << path;
    ASSERT_STREQ(szFormat, "ODIM HDF5");
    ASSERT_EQ(fnValidStdRadar(std.get()), 1);

    rdrtest::TempDir dir;
    Reference ref;
    ASSERT_TRUE(decode(path, dir, &ref));
    const STD_GLOBAL_HDR& hdr = std->m_hdr;
    EXPECT_EQ(hdr.m_tConvertTime, ref.volumeTime + RDR_KST_OFFSET_SEC);
    EXPECT_EQ(hdr.m_dLat, ref.lat);
    EXPECT_EQ(hdr.m_dLon, ref.lon);
    EXPECT_EQ(hdr.m_iAnteHeight, static_cast<int>(ref.height));
    EXPECT_EQ(hdr.m_iNoDataValue, STD_NO_DATA_CODE);

    // None of the samples repeats a scan: one sweep per dataset, each with its own shape.
    ASSERT_EQ(std->m_iMaxSweep, static_cast<int>(ref.sweeps.size()));
    long mismatches = 0;
    std::string first;
    for (int s = 0; s < std->m_iMaxSweep; ++s) {
        const RefSweep& want = ref.sweeps[static_cast<std::size_t>(s)];
        const STD_SWEEP* pSweep = std->m_ppSweep[s];
        ASSERT_EQ(pSweep->m_iMaxRay, want.rays) << "sweep " << s;
        const long startM = std::lround(want.rstartKm * 1000.0);
        for (int r = 0; r < want.rays; ++r) {
            const STD_RAY* pRay = pSweep->m_ppRay[r];
            const STD_RAY_HDR& h = pRay->m_hdr;
            ASSERT_NEAR(h.m_fAzimuth, want.azimuths[static_cast<std::size_t>(r)], 1e-4)
                << "sweep " << s << " ray " << r;
            ASSERT_EQ(h.m_fElevation, static_cast<float>(want.elangle));
            ASSERT_EQ(h.m_fFixedAngle, static_cast<float>(want.elangle));
            ASSERT_EQ(h.m_tTime, want.start + RDR_KST_OFFSET_SEC);
            ASSERT_EQ(h.m_iStartRangeKm * 1000L + h.m_iStartRangeMeter, startM);
            ASSERT_EQ(h.m_iBinSpacing, std::lround(want.rscale));
            ASSERT_EQ(pRay->m_iMaxField, static_cast<int>(want.quantities.size()));
            for (int f = 0; f < pRay->m_iMaxField; ++f) {
                const STD_FIELD* pField = pRay->m_ppField[f];
                FIELD_INFO_TBL info{};
                fnGetHdfFieldInfo(want.quantities[static_cast<std::size_t>(f)].c_str(), &info);
                ASSERT_STREQ(pField->m_hdr.m_szFieldName, info.m_szFieldName);
                ASSERT_EQ(pField->m_hdr.m_iScaleFactor, 100);
                ASSERT_EQ(pField->m_iMaxBin, want.bins);
                const short* pWant = want.values[static_cast<std::size_t>(f)].data() +
                                     static_cast<long>(r) * want.bins;
                for (int b = 0; b < want.bins; ++b) {
                    if (pField->m_pData[b] != pWant[b] && mismatches++ == 0) {
                        first = "sweep " + std::to_string(s) + " ray " + std::to_string(r) +
                                " bin " + std::to_string(b) + ": " +
                                std::to_string(pField->m_pData[b]) + " vs " +
                                std::to_string(pWant[b]);
                    }
                }
            }
        }
    }
    EXPECT_EQ(mismatches, 0) << first;
}

INSTANTIATE_TEST_SUITE_P(Samples, OdimSampleTest,
                         ::testing::Values("T_PAGZ35_C_ENMI_20170421090837.hdf",
                                           "T_PAGZ43_C_EFKL_20101217061505.h5_v2.1",
                                           "example_odim_200906101315.h5", "knmi_polar_volume.h5"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             std::string name;
                             for (const char* p = info.param; *p != '\0' && *p != '.'; ++p) {
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             }
                             return name;
                         });

// Loads a file expecting a refusal; returns what was printed.
std::string refusalOf(const std::string& path) {
    testing::internal::CaptureStderr();
    HdfRadarPtr hdf(fnLoadHdfRadar(path.c_str()));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(hdf) << path << " loaded";
    return err;
}

// Copies of a sample with one thing wrong, made by h5py: each must be refused, naming the
// object at fault.
TEST(OdimLoad, EditedCopiesAreRefusedByName) {
    RDR_REQUIRE_SHARED_DATA();
    rdrtest::TempDir dir;
    const std::string sample = rdrtest::sharedData("odim_hdf5/knmi_polar_volume.h5");
    const std::string script = dir.file("edit.py");
    std::ofstream(script) << R"PY(
import sys, shutil, numpy as np, h5py
src, out = sys.argv[1], sys.argv[2]
def edit(name, change):
    path = "%s/%s.h5" % (out, name)
    shutil.copy(src, path)
    with h5py.File(path, "r+") as f:
        change(f)
edit("nrays", lambda f: f["dataset2/where"].attrs.__setitem__("nrays", np.int32(359)))
edit("no_where", lambda f: f.__delitem__("dataset3/where"))
edit("no_quantity", lambda f: f["dataset1/data1/what"].attrs.__delitem__("quantity"))
edit("no_data", lambda f: f.__delitem__("dataset1/data1/data"))
edit("a1gate", lambda f: f["dataset1/where"].attrs.__setitem__("a1gate", np.int32(360)))
edit("long_quantity", lambda f: f["dataset1/data1/what"].attrs.__setitem__("quantity", np.bytes_("REFLECTIVITY")))
edit("object", lambda f: f["what"].attrs.__setitem__("object", np.bytes_("IMAGE")))
edit("date", lambda f: f["what"].attrs.__setitem__("date", np.bytes_("2011-06-10")))
edit("startazA", lambda f: f["dataset1"].require_group("how").attrs.__setitem__("startazA", np.zeros(359)))
def int64(f):
    del f["dataset4/data1/data"]
    f["dataset4/data1"].create_dataset("data", data=np.zeros((360, 240), np.int64))
edit("int64", int64)
def cube(f):
    del f["dataset4/data1/data"]
    f["dataset4/data1"].create_dataset("data", data=np.zeros((2, 360, 240), np.uint8))
edit("cube", cube)
edit("conventions", lambda f: f.attrs.__setitem__("Conventions", np.bytes_("CF/Radial")))
)PY";
    ASSERT_EQ(std::system(("/usr/bin/python3 '" + script + "' '" + sample + "' '" +
                           dir.path().string() + "'")
                              .c_str()),
              0);
    const std::pair<const char*, const char*> cases[] = {
        {"nrays", "dataset2/data1/data"},
        {"no_where", "dataset3/where"},
        {"no_quantity", "dataset1/data1/what/quantity"},
        {"no_data", "dataset1/data1"},
        {"a1gate", "dataset1/where/a1gate"},
        {"long_quantity", "dataset1/data1/what/quantity"},
        {"object", "what/object"},
        {"date", "what/date"},
        {"startazA", "dataset1/how/startazA"},
        {"int64", "dataset4/data1/data"},
        {"cube", "dataset4/data1/data"},
        {"conventions", "/Conventions"},
    };
    for (const auto& [name, object] : cases) {
        const std::string err = refusalOf(dir.file(std::string(name) + ".h5"));
        EXPECT_NE(err.find("fnLoadHdfRadar : "), std::string::npos) << name << ": " << err;
        EXPECT_NE(err.find(object), std::string::npos) << name << ": " << err;
    }
}

// Data of every element type the loader reads, with their codes, decoded and stored x 100.
TEST(OdimLoad, EveryElementTypeDecodesWithItsCodes) {
    setenv("TZ", "UTC", 1);
    tzset();
    rdrtest::TempDir dir;
    const std::string path = dir.file("types.h5");
    const std::string script = dir.file("make_element_types.py");
    std::ofstream(script) << R"PY(
import sys, numpy as np, h5py
f = h5py.File(sys.argv[1], "w")
f.attrs["Conventions"] = np.bytes_("ODIM_H5/V2_4")
w = f.create_group("what").attrs
w["object"], w["version"] = np.bytes_("PVOL"), np.bytes_("H5rad 2.4")
w["date"], w["time"], w["source"] = np.bytes_("20240501"), np.bytes_("120000"), np.bytes_("NOD:xxtst")
g = f.create_group("where").attrs
g["lat"], g["lon"], g["height"] = 60.0, 25.0, 100.0
cases = [
    (np.uint16, [0, 1, 1000, 65535], 0.01, -327.68, 65535, 0),
    (np.int16, [-32768, -1, 0, 12345], 0.01, 0.0, -32768, 0),
    (np.float32, [1.5, -0.25, np.nan, 400.0], 1.0, 0.0, None, None),
    (np.int8, [-128, -1, 0, 127], 0.5, 0.0, None, -128),
    (np.int32, [7, -7, 100000, 5], 0.1, 0.0, 5, None),
]
for d, (dtype, raw, gain, offset, nodata, undetect) in enumerate(cases, 1):
    ds = f.create_group("dataset%d" % d)
    wh = ds.create_group("what").attrs
    wh["product"], wh["startdate"], wh["starttime"] = np.bytes_("SCAN"), np.bytes_("20240501"), np.bytes_("120000")
    wr = ds.create_group("where").attrs
    wr["elangle"], wr["nrays"], wr["nbins"], wr["rscale"], wr["rstart"], wr["a1gate"] = 0.5 * d, 1, 4, 500.0, 0.0, 0
    data = ds.create_group("data1")
    q = data.create_group("what").attrs
    q["quantity"], q["gain"], q["offset"] = np.bytes_("DBZH"), gain, offset
    if nodata is not None:
        q["nodata"] = float(nodata)
    if undetect is not None:
        q["undetect"] = float(undetect)
    data.create_dataset("data", data=np.array([raw], dtype=dtype))
)PY";
    ASSERT_EQ(std::system(("/usr/bin/python3 '" + script + "' '" + path + "'").c_str()), 0);
    rdr::StdRadarPtr std(fnLoadStdRadarFile(path.c_str()));
    ASSERT_TRUE(std);
    ASSERT_EQ(std->m_iMaxSweep, 5);
    // A moment whose values do not all fit 16 bits at x 100 is kept at x 10 or x 1 (its
    // field says which), so that no value is lost or wrapped.
    const short want[5][4] = {
        {STD_NO_DATA_CODE, -3276, -3176, STD_NO_DATA_CODE},  // -327.67: x 10
        {STD_NO_DATA_CODE, -1, STD_NO_DATA_CODE, 12345},
        {15, -2, STD_NO_DATA_CODE, 4000},  // NaN is no data; 400: x 10
        {STD_NO_DATA_CODE, -50, 0, 6350},
        {0, 0, 10000, STD_NO_DATA_CODE},  // 10000: x 1
    };
    const int scale[5] = {10, 100, 10, 100, 1};
    for (int s = 0; s < 5; ++s) {
        const STD_FIELD* pField = std->m_ppSweep[s]->m_ppRay[0]->m_ppField[0];
        ASSERT_STREQ(pField->m_hdr.m_szFieldName, "CZ");
        EXPECT_EQ(pField->m_hdr.m_iScaleFactor, scale[s]) << "dataset " << s + 1;
        for (int b = 0; b < 4; ++b) {
            EXPECT_EQ(pField->m_pData[b], want[s][b]) << "dataset " << s + 1 << " bin " << b;
        }
    }
    EXPECT_STREQ(std->m_hdr.m_szSiteName, "xxtst");
}

// Damaged copies (cut short, bytes overwritten) never take the process down: each loads
// into a whole volume or is refused with a message.
TEST(OdimLoad, DamagedCopiesAreRefusedWithAMessageOrLoadWhole) {
    RDR_REQUIRE_SHARED_DATA();
    const std::string sample =
        rdrtest::sharedData("odim_hdf5/T_PAGZ43_C_EFKL_20101217061505.h5_v2.1");
    std::ifstream in(sample, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 100000u);
    rdrtest::TempDir dir;
    const std::string path = dir.file("damaged.h5");
    unsigned seed = 12345;
    int refused = 0;
    for (int k = 0; k < 40; ++k) {
        std::vector<char> copy = bytes;
        if (k < 10) {
            copy.resize(copy.size() * static_cast<std::size_t>(k + 1) / 12);
        } else {
            for (int flips = 0; flips < 1 + k % 4; ++flips) {
                seed = seed * 1103515245u + 12345u;
                // The metadata sits in the first few kilobytes; aim most flips there.
                const std::size_t span = k % 2 == 0 ? 4096 : copy.size();
                copy[(seed >> 8) % span] ^= static_cast<char>(1 << (seed % 8));
            }
        }
        std::ofstream(path, std::ios::binary).write(copy.data(), static_cast<long>(copy.size()));
        testing::internal::CaptureStderr();
        HdfRadarPtr hdf(fnLoadHdfRadar(path.c_str()));
        const std::string err = testing::internal::GetCapturedStderr();
        if (!hdf) {
            ++refused;
            EXPECT_NE(err.find("fnLoadHdfRadar : "), std::string::npos) << "copy " << k;
            continue;
        }
        rdr::StdRadarPtr std(fnHdfSyncUpStd(hdf.get()));
        EXPECT_TRUE(!std || fnValidStdRadar(std.get()) == 1) << "copy " << k;
    }
    EXPECT_GE(refused, 10);  // every truncated copy at least

    // Files that once crashed libhdf5 or sent it into an endless loop.
    const std::string kept = std::string(RDR_SOURCE_DIR) + "/fuzz/corpus/netcdf_reader_fuzz/";
    for (const char* name : {"hdf5-bad-free-in-dense-iterate", "hdf5-endless-loop"}) {
        EXPECT_NE(refusalOf(kept + name).find("fnLoadHdfRadar : "), std::string::npos) << name;
    }
}

// ---- the conversion on hand-built volumes ------------------------------------------

// A volume of the given datasets, each nRays x nBins with one quantity, all values v.
struct Builder {
    HdfRadarPtr hdf;

    Builder(int nDatasets, int nData) : hdf(fnInitHdfRadar(nDatasets, nData, 0, 0)) {
        std::strcpy(hdf->m_what.m_szObject, "PVOL");
        std::strcpy(hdf->m_what.m_szDate, "20240501");
        std::strcpy(hdf->m_what.m_szTime, "120000");
        std::strcpy(hdf->m_what.m_szSource, "NOD:abcd,WMO:01234");
    }

    HDF_DATASET* dataset(int d, double elangle, long nRays, long nBins, const char* start) {
        HDF_DATASET* p = hdf->m_ppDataset[d];
        std::strcpy(p->m_what.m_szStartDate, "20240501");
        std::strcpy(p->m_what.m_szStartTime, start);
        std::strcpy(p->m_what.m_szEndDate, "20240501");
        std::strcpy(p->m_what.m_szEndTime, start);
        HDF_POLAR_WHERE& w = p->m_where.m_polar_where;
        w.m_dElangle = elangle;
        w.m_nRays = nRays;
        w.m_nBins = nBins;
        w.m_dRScale = 250.0;
        return p;
    }

    void data(int d, int k, const char* quantity, float value) {
        HDF_DATASET* p = hdf->m_ppDataset[d];
        HDF_DATA* pData = p->m_ppData[k];
        std::strcpy(pData->m_what.m_szQuantity, quantity);
        const long n = p->m_where.m_polar_where.m_nRays;
        const long b = p->m_where.m_polar_where.m_nBins;
        pData->m_ppData = fnMakeMatrix2D_F(static_cast<int>(n), static_cast<int>(b));
        for (long r = 0; r < n; ++r) {
            std::fill_n(pData->m_ppData[r], b, value);
        }
    }
};

TEST(OdimToStd, DatasetsRepeatingOneScanJoinAndOthersStayApart) {
    setenv("TZ", "UTC", 1);
    tzset();
    Builder v(4, 1);
    v.dataset(0, 0.5, 360, 100, "120000")->m_where.m_polar_where.m_dRScale = 1000.0;
    v.data(0, 0, "TH", 30.0f);
    v.dataset(1, 0.5, 360, 400, "120000")->m_where.m_polar_where.m_dRstart = -0.375;
    v.data(1, 0, "VRADDH", -5.5f);
    // The same elevation scanned again later (as the Météo-France volume does) stays apart.
    v.dataset(2, 0.5, 360, 100, "120500");
    v.data(2, 0, "TH", 20.0f);
    // A repeated quantity is a second scan, not more moments of the first.
    v.dataset(3, 0.5, 360, 100, "120500");
    v.data(3, 0, "TH", 10.0f);
    rdr::StdRadarPtr std(fnHdfSyncUpStd(v.hdf.get()));
    ASSERT_TRUE(std);
    ASSERT_EQ(std->m_iMaxSweep, 3);
    const STD_RAY* pRay = std->m_ppSweep[0]->m_ppRay[0];
    ASSERT_EQ(pRay->m_iMaxField, 2);
    EXPECT_STREQ(pRay->m_ppField[0]->m_hdr.m_szFieldName, "DZ");
    EXPECT_EQ(pRay->m_ppField[0]->m_iMaxBin, 100);
    EXPECT_EQ(pRay->m_hdr.m_iBinSpacing, 1000);
    EXPECT_EQ(pRay->m_ppField[0]->m_hdr.m_iBinSpacing, 0);  // the ray's geometry
    EXPECT_STREQ(pRay->m_ppField[1]->m_hdr.m_szFieldName, "VR");
    EXPECT_EQ(pRay->m_ppField[1]->m_iMaxBin, 400);
    EXPECT_EQ(pRay->m_ppField[1]->m_hdr.m_iBinSpacing, 250);
    EXPECT_EQ(pRay->m_ppField[1]->m_hdr.m_iStartRangeKm, 0);
    EXPECT_EQ(pRay->m_ppField[1]->m_hdr.m_iStartRangeMeter, -375);
    EXPECT_EQ(pRay->m_ppField[1]->m_pData[7], -550);
    EXPECT_EQ(std->m_ppSweep[1]->m_ppRay[0]->m_ppField[0]->m_pData[0], 2000);
    EXPECT_EQ(std->m_ppSweep[2]->m_ppRay[0]->m_ppField[0]->m_pData[0], 1000);
}

TEST(OdimToStd, RowsAreSectorsFromNorthAndRaysFollowAcquisition) {
    setenv("TZ", "UTC", 1);
    tzset();
    Builder v(2, 1);
    HDF_DATASET* p = v.dataset(0, 1.0, 4, 2, "120000");
    p->m_where.m_polar_where.m_lA1gate = 2;
    p->m_where.m_polar_where.m_dRstart = 0.3;  // 300 m, not 299
    v.data(0, 0, "DBZH", 1.0f);
    // Sweeps keep their own ray count.
    v.dataset(1, 2.0, 8, 2, "120100");
    v.data(1, 0, "DBZH", 1.0f);
    rdr::StdRadarPtr std(fnHdfSyncUpStd(v.hdf.get()));
    ASSERT_TRUE(std);
    const STD_SWEEP* s0 = std->m_ppSweep[0];
    ASSERT_EQ(s0->m_iMaxRay, 4);
    ASSERT_EQ(std->m_ppSweep[1]->m_iMaxRay, 8);
    const float want[] = {225.0f, 315.0f, 45.0f, 135.0f};
    for (int r = 0; r < 4; ++r) {
        EXPECT_EQ(s0->m_ppRay[r]->m_hdr.m_fAzimuth, want[r]) << r;
    }
    EXPECT_EQ(s0->m_ppRay[0]->m_hdr.m_iStartRangeKm, 0);
    EXPECT_EQ(s0->m_ppRay[0]->m_hdr.m_iStartRangeMeter, 300);
    EXPECT_STREQ(std->m_hdr.m_szSiteName, "abcd");
}

TEST(OdimToStd, PerRayAnglesAndTimesAreUsedWhenGiven) {
    setenv("TZ", "UTC", 1);
    tzset();
    Builder v(1, 1);
    HDF_DATASET* p = v.dataset(0, 0.5, 4, 1, "120000");
    v.data(0, 0, "DBZH", 1.0f);
    auto* rh = static_cast<HDF_RAY_HOW*>(std::calloc(1, sizeof(HDF_RAY_HOW)));
    p->m_pRayHow = rh;
    rh->m_nRays = 4;
    auto array = [](std::initializer_list<double> values) {
        auto* a = static_cast<double*>(std::malloc(sizeof(double) * values.size()));
        std::copy(values.begin(), values.end(), a);
        return a;
    };
    // Rows from north; acquired from row 3 (t0) round to row 2 (t0 + 3 s); row 0 straddles
    // north.
    rh->m_pStartazA = array({359.0, 89.0, 179.0, 269.0});
    rh->m_pStopazA = array({1.0, 91.0, 181.0, 271.0});
    const double t0 = 1714564800.0;  // 2024-05-01 12:00:00 UTC
    rh->m_pStartazT = array({t0 + 1, t0 + 2, t0 + 3, t0});
    rh->m_pStopazT = array({t0 + 1.5, t0 + 2.5, t0 + 3.5, t0 + 0.5});
    rh->m_pElangles = array({0.4, 0.5, 0.6, 0.7});
    rdr::StdRadarPtr std(fnHdfSyncUpStd(v.hdf.get()));
    ASSERT_TRUE(std);
    const STD_SWEEP* s = std->m_ppSweep[0];
    const float wantAz[] = {270.0f, 0.0f, 90.0f, 180.0f};
    const float wantEl[] = {0.7f, 0.4f, 0.5f, 0.6f};
    for (int r = 0; r < 4; ++r) {
        EXPECT_EQ(s->m_ppRay[r]->m_hdr.m_fAzimuth, wantAz[r]) << r;
        EXPECT_EQ(s->m_ppRay[r]->m_hdr.m_fElevation, wantEl[r]) << r;
        EXPECT_EQ(s->m_ppRay[r]->m_hdr.m_tTime, static_cast<time_t>(t0) + r + RDR_KST_OFFSET_SEC)
            << r;
    }
}

TEST(OdimToStd, StoredValuesSaturateShortOfTheCodesAndKeepWholeHundredths) {
    EXPECT_EQ(odimToStdStored(400.0f), 32767);
    EXPECT_EQ(odimToStdStored(-400.0f), -32766);
    EXPECT_EQ(odimToStdStored(-327.67f), -32766);
    EXPECT_EQ(odimToStdStored(HDF_UNDETECT_VALUE), STD_NO_DATA_CODE);
    EXPECT_EQ(odimToStdStored(HDF_NODATA_VALUE), STD_NO_DATA_CODE);
    EXPECT_EQ(odimToStdStored(NAN), STD_NO_DATA_CODE);
    // Whole hundredths a float cannot hold exactly.
    EXPECT_EQ(odimToStdStored(0.29f), 29);
    EXPECT_EQ(odimToStdStored(300.27f), 30027);
    EXPECT_EQ(odimToStdStored(-12.34f), -1234);
    // Truncation toward zero otherwise.
    EXPECT_EQ(odimToStdStored(12.345f), 1234);
    EXPECT_EQ(odimToStdStored(-0.019f), -1);
}

TEST(OdimToStd, SiteNameIsTheNodeIdentifierUpToTheNextEntry) {
    EXPECT_EQ(odimSourceNode("NOD:abcd,WMO:01234"), "abcd");
    EXPECT_EQ(odimSourceNode("WMO:01104,NOD:norst"), "norst");
    EXPECT_EQ(odimSourceNode("RAD:NL51;PLC:nldhl"), "");
    EXPECT_EQ(odimWhole(299.792458 * (1000 / 299.792458)), 1000);
    EXPECT_EQ(odimWhole(17.9), 17);
}

}  // namespace
