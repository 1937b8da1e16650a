// The ODIM product loader against files it did not write: an independent check of our
// layout with h5py, products written by h5py the way other producers write them (decoded
// values computed by numpy), and damaged copies (attributes edited, truncated, bytes
// flipped), which are refused with a message and never bring the caller down.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <vector>

#include "odim_product_fixture.h"
#include "test_support.h"

namespace {

const char* const kScript = R"PY(
import sys
import h5py
import numpy as np

def text(v):
    return v.decode() if isinstance(v, bytes) else str(v)

def layout(path):
    # Prints one line per data item; fails on anything that is not the ODIM layout.
    f = h5py.File(path, "r")
    assert text(f.attrs["Conventions"]).startswith("ODIM_H5"), "Conventions"
    for g in ("what", "where", "how"):
        assert isinstance(f[g], h5py.Group), g
    what, where = f["what"].attrs, f["where"].attrs
    for a in ("object", "version", "date", "time", "source"):
        assert a in what, "what/" + a
    ysize, xsize = int(where["ysize"]), int(where["xsize"])
    print("top", text(what["object"]), text(what["date"]), text(what["time"]),
          text(what["source"]), xsize, ysize, float(where["xscale"]), float(where["yscale"]))
    n = 1
    while "dataset%d" % n in f:
        ds = f["dataset%d" % n]
        product = text(ds["what"].attrs["product"])
        prodpar = list(ds["what/prodpar"][()]) if "prodpar" in ds["what"] else []
        m = 1
        while "data%d" % m in ds:
            d = ds["data%d" % m]
            w = d["what"].attrs
            arr = d["data"]
            assert arr.ndim == 2 and arr.shape == (ysize, xsize), "shape"
            assert text(arr.attrs["CLASS"]) == "IMAGE", "CLASS"
            v = arr[()].astype(np.float64)
            coded = (v == w["nodata"]) | (v == w["undetect"])
            physical = w["offset"] + w["gain"] * v[~coded]
            print("data", n, m, product, " ".join("%r" % p for p in prodpar) or "-",
                  text(w["quantity"]), arr.dtype.str, int(coded.sum()),
                  "%.6f" % physical.sum())
            m += 1
        assert m > 1, "dataset%d without data" % n
        n += 1
    assert n > 1, "no dataset"
    assert len([k for k in f.keys() if k.startswith("dataset")]) == n - 1, "numbering"

def foreign(path, expected_dir):
    # A site product as other producers write it: unsigned 8-bit DBZH with gain 0.5 and
    # offset -32, 16-bit ZDR with the coding in the dataset's what, float RATE, prodpar
    # attributes in metres, xscale in metres, a product we do not read and a quality group.
    rng = np.random.default_rng(7)
    ny, nx = 23, 31
    f = h5py.File(path, "w")
    f.attrs["Conventions"] = np.bytes_("ODIM_H5/V2_3")
    w = f.create_group("what").attrs
    w["object"] = np.bytes_("IMAGE"); w["version"] = np.bytes_("H5rad 2.3")
    w["date"] = np.bytes_("20170421"); w["time"] = np.bytes_("090837")
    w["source"] = np.bytes_("WMO:01384,RAD:NO41,NOD:nohgb,PLC:Hurum")
    g = f.create_group("where").attrs
    g["xsize"] = nx; g["ysize"] = ny; g["xscale"] = 2000.0; g["yscale"] = 2000.0
    g["projdef"] = np.bytes_("+proj=aeqd +lat_0=59.6 +lon_0=10.6")
    for k, v in (("LL_lon", 9.5), ("LL_lat", 59.1), ("UL_lon", 9.4), ("UL_lat", 60.2),
                 ("UR_lon", 11.8), ("UR_lat", 60.1), ("LR_lon", 11.7), ("LR_lat", 59.0)):
        g[k] = v
    f.create_group("how").attrs["NI"] = 13.5
    dbzh = rng.integers(0, 256, (ny, nx)).astype(np.uint8)
    zdr = rng.integers(0, 65536, (ny, nx)).astype(np.uint16)
    rate = (rng.random((ny, nx)) * 40).astype(np.float32)
    rate[0, :5] = -1.0
    rate[1, :5] = 0.0
    d1 = f.create_group("dataset1")
    a = d1.create_group("what").attrs
    a["product"] = np.bytes_("PPI"); a["prodpar"] = 0.5
    x = d1.create_group("data1")
    x.create_dataset("data", data=dbzh, compression="gzip")
    b = x.create_group("what").attrs
    b["quantity"] = np.bytes_("DBZH"); b["gain"] = 0.5; b["offset"] = -32.0
    b["nodata"] = 255.0; b["undetect"] = 0.0
    x.create_group("quality1").create_dataset("data", data=dbzh)
    # Float rain rate coded exactly as the standard product stores it, with NaN cells.
    rain = rate.copy()
    rain[4, :4] = np.nan
    x = d1.create_group("data2")
    x.create_dataset("data", data=rain)
    b = x.create_group("what").attrs
    b["quantity"] = np.bytes_("RATE"); b["gain"] = 1.0; b["offset"] = 0.0
    b["nodata"] = -9998.0; b["undetect"] = -9999.0
    d2 = f.create_group("dataset2")
    a = d2.create_group("what").attrs
    a["product"] = np.bytes_("RR")
    d2.create_group("data1").create_dataset("data", data=rate)
    d2["data1"].create_group("what").attrs["quantity"] = np.bytes_("RATE")
    d3 = f.create_group("dataset3")
    a = d3.create_group("what").attrs
    a["product"] = np.bytes_("PCAPPI"); a["prodpar"] = 2000.0
    a["gain"] = 0.0625; a["offset"] = -8.0; a["nodata"] = 65535.0; a["undetect"] = 0.0
    d3.create_group("data1").create_dataset("data", data=zdr)
    d3["data1"].create_group("what").attrs["quantity"] = np.bytes_("ZDR")
    x = d3.create_group("data2")
    x.create_dataset("data", data=rate)
    b = x.create_group("what").attrs
    b["quantity"] = np.bytes_("RATE"); b["gain"] = 1.0; b["offset"] = 0.0
    b["nodata"] = -1.0; b["undetect"] = 0.0
    kdp = rng.integers(-30000, 30001, (ny, nx)).astype(np.int16)
    kdp[2, :3] = 32767
    kdp[3, :3] = -32768
    x = d3.create_group("data3")
    x.create_dataset("data", data=kdp)
    b = x.create_group("what").attrs
    b["quantity"] = np.bytes_("KDP"); b["gain"] = 0.01; b["offset"] = 0.0
    b["nodata"] = 32767.0; b["undetect"] = -32768.0
    d4 = f.create_group("dataset4")
    a = d4.create_group("what").attrs
    a["product"] = np.bytes_("VIL"); a["prodpar"] = np.bytes_("1000,5000")
    d4.create_group("data1").create_dataset("data", data=dbzh)
    b = d4["data1"].create_group("what").attrs
    b["quantity"] = np.bytes_("VIL"); b["gain"] = 0.25; b["offset"] = 0.0
    b["nodata"] = 255.0; b["undetect"] = 0.0
    f.close()

    # What the standard product must give back: ODIM's decoding, then the moment's memory
    # rule (stored = trunc(value x scale) within the storage range, read back / scale).
    def expect(raw, gain, offset, nodata, undetect, scale, lo, hi):
        v = offset + gain * raw.astype(np.float64)
        if scale is None:  # float storage keeps the value
            s = v.astype(np.float32)
        else:
            s = np.clip(np.trunc(v * scale), lo, hi).astype(np.float32) / np.float32(scale)
        s = np.where(raw == undetect, -9999.0, s)
        return np.where(raw == nodata, -9998.0, s).astype(np.float32)
    expect(dbzh, 0.5, -32.0, 255, 0, 1.0, -126, 127).tofile(expected_dir + "/CZ.f4")
    expect(zdr, 0.0625, -8.0, 65535, 0, 100.0, -32766, 32767).tofile(expected_dir + "/DR.f4")
    expect(rate, 1.0, 0.0, -1.0, 0.0, None, 0, 0).tofile(expected_dir + "/RN.f4")
    np.where(np.isnan(rain), -9999.0, rain).astype(np.float32).tofile(expected_dir + "/PPI_RN.f4")
    # A gain that binary fractions cannot hold: the stored hundredths come back whole.
    k = np.where(kdp == -32768, -9999.0, np.float32(kdp) / np.float32(100))
    np.where(kdp == 32767, -9998.0, k).astype(np.float32).tofile(expected_dir + "/KD.f4")
    expect(dbzh, 0.25, 0.0, 255, 0, 10.0, -32766, 32767).tofile(expected_dir + "/VIL.f4")

def edit(path, how):
    f = h5py.File(path, "r+")
    if how == "object":
        f["what"].attrs["object"] = np.bytes_("PVOL")
    elif how == "xsize":
        f["where"].attrs["xsize"] = f["where"].attrs["xsize"] + 1
    elif how == "zerosize":
        f["where"].attrs["ysize"] = 0
    elif how == "noquantity":
        del f["dataset1/data1/what"].attrs["quantity"]
    elif how == "nodata":
        del f["dataset1/data1/data"]
    elif how == "longquantity":
        f["dataset1/data1/what"].attrs["quantity"] = np.bytes_("DBZH_CORRECTED")
    elif how == "date":
        f["what"].attrs["date"] = np.bytes_("2026O715")
    elif how == "conventions":
        f.attrs["Conventions"] = np.bytes_("CF/Radial")
    elif how == "threed":
        shape = f["dataset1/data1/data"].shape
        del f["dataset1/data1/data"]
        f["dataset1/data1"].create_dataset("data", data=np.zeros((1,) + shape, np.int8))
    elif how == "strings":
        shape = f["dataset1/data1/data"].shape
        del f["dataset1/data1/data"]
        f["dataset1/data1"].create_dataset("data", data=np.full(shape, b"x", "S1"))
    elif how == "prodpar":
        del f["dataset1/what/prodpar"]
        f["dataset1/what"].create_dataset("prodpar", data=np.zeros(5))
    elif how == "gain":
        f["dataset1/data1/what"].attrs["gain"] = np.nan
    elif how == "longsource":
        f["what"].attrs["source"] = np.bytes_("NOD:averylongname,WMO:47102")
    f.close()

if sys.argv[1] == "layout":
    layout(sys.argv[2])
elif sys.argv[1] == "foreign":
    foreign(sys.argv[2], sys.argv[3])
else:
    edit(sys.argv[2], sys.argv[3])
)PY";

// Runs the script with the arguments; its standard output, or "FAILED" when it failed.
std::string python(const rdrtest::TempDir& dir, const std::string& args) {
    const std::string script = dir.file("odim.py");
    if (!std::filesystem::exists(script)) {
        std::ofstream(script) << kScript;
    }
    const std::string out = dir.file("python.out");
    const std::string command = "/usr/bin/python3 '" + script + "' " + args + " > '" + out + "'";
    if (std::system(command.c_str()) != 0) {
        return "FAILED";
    }
    std::ifstream in(out);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<float> readFloats(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<float> values;
    float v = 0;
    while (in.read(reinterpret_cast<char*>(&v), sizeof v)) {
        values.push_back(v);
    }
    return values;
}

// Loads the file; the stderr of the attempt in *pErr.
rdr::StdProductPtr loadCapturing(const std::string& file, std::string* pErr) {
    testing::internal::CaptureStderr();
    rdr::StdProductPtr p = odimfix::readOdim(file);
    *pErr = testing::internal::GetCapturedStderr();
    return p;
}

TEST(OdimProductFile, OurFilesHaveTheOdimLayoutForH5py) {
    rdrtest::TempDir dir;
    const std::string file = dir.file("site.h5");
    rdr::StdProductPtr p = odimfix::siteProduct(12, 17);
    rdr::StdProductPtr reference = odimfix::siteProduct(12, 17);
    ASSERT_TRUE(odimfix::writeOdim(p.get(), file));
    const std::string out = python(dir, "layout '" + file + "'");
    ASSERT_NE(out, "FAILED");
    std::istringstream lines(out);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "top AZIM 20260715 093000 NOD:KWK 17 12 500.0 500.0");
    // Each data item: dataset and data numbers, product, prodpar, quantity, array type.
    const char* const expected[] = {
        "1 1 PPI 0.5 TH |i1",     "1 2 PPI 0.5 RATE <f4",     "1 3 PPI 0.5 ZDR <i2",
        "2 1 PPI 1.5 DBZH |i1",   "2 2 PPI 1.5 WRADH |i1",    "3 1 PCAPPI 1.5 TH |i1",
        "3 2 PCAPPI 1.5 KDP <i2", "4 1 BASE - DBZH |i1",      "4 2 BASE - RHOHV |i1",
        "5 1 MAX - TH |i1",       "6 1 VIL 0.0 15.0 VIL <i2", "7 1 ETOP 18.0 HIGH <i2"};
    const struct {
        const char* family;
        int idx;
        const char* field;
    } sources[] = {{"PPI", 0, "DZ"},  {"PPI", 0, "RN"},   {"PPI", 0, "DR"},   {"PPI", 1, "CZ"},
                   {"PPI", 1, "SW"},  {"CAPPI", 0, "DZ"}, {"CAPPI", 0, "KD"}, {"BASE", 0, "CZ"},
                   {"BASE", 0, "RH"}, {"CMAX", 0, "DZ"},  {"VIL", 0, "VIL"},  {"ETOP", 0, "ETOP"}};
    for (size_t i = 0; i < std::size(expected); ++i) {
        ASSERT_TRUE(std::getline(lines, line)) << i;
        SCOPED_TRACE(line);
        const std::string head = "data " + std::string(expected[i]) + " ";
        ASSERT_EQ(line.compare(0, head.size(), head), 0) << head;
        // h5py's decode of the stored values agrees with the product's own float reader.
        std::istringstream rest(line.substr(head.size()));
        int nCoded = 0;
        double sum = 0;
        rest >> nCoded >> sum;
        float** grid = fnGetStdProductDataByIdx(reference.get(), sources[i].family, sources[i].idx,
                                                sources[i].field);
        ASSERT_NE(grid, nullptr);
        int nCodes = 0;
        double expectedSum = 0;
        for (int y = 0; y < 12; ++y) {
            for (int x = 0; x < 17; ++x) {
                const float v = grid[y][x];
                nCodes += v == -9999.0f || v == -9998.0f;
                expectedSum += v == -9999.0f || v == -9998.0f ? 0.0 : v;
            }
        }
        fnFreeMatrix2D(reinterpret_cast<void**>(grid), 12);
        EXPECT_EQ(nCoded, nCodes);
        EXPECT_NEAR(sum, expectedSum, 1e-3 * (1.0 + std::fabs(expectedSum)));
    }
    EXPECT_FALSE(std::getline(lines, line)) << line;
    const std::string dump = "h5dump -H '" + file + "' > /dev/null";
    EXPECT_EQ(std::system(dump.c_str()), 0);
}

TEST(OdimProductFile, OtherProducersFilesDecodeAsOdimSays) {
    rdrtest::TempDir dir;
    const std::string file = dir.file("foreign.h5");
    ASSERT_NE(python(dir, "foreign '" + file + "' '" + dir.path().string() + "'"), "FAILED");
    odimfix::HdfProductPtr hdf(fnLoadHdfProduct(file.c_str()));
    ASSERT_NE(hdf, nullptr);
    EXPECT_EQ(hdf->m_iHdfProductType, HDF_EN_PRODUCT_SITE);
    rdr::StdProductPtr p(fnHdfProductSyncUpStd(hdf.get()));
    ASSERT_NE(p, nullptr);
    const STD_PRODUCT_HDR& h = p->m_product_hdr;
    EXPECT_EQ(p->m_iStdProductType, STD_EN_PRODUCT_SITE);
    EXPECT_STREQ(h.m_szSiteName, "nohgb");
    EXPECT_EQ(h.m_tConvertTime, 1492765717 + 32400);  // 2017-04-21 09:08:37 UTC
    EXPECT_EQ(h.m_lXsize, 31);
    EXPECT_EQ(h.m_lYsize, 23);
    EXPECT_EQ(h.m_dXscale, 2.0);  // metres in the file
    EXPECT_EQ(h.m_UR_lat, 60.1);
    EXPECT_EQ(h.m_dNi, 13.5);
    // The RR dataset is no family of ours; PPI, PCAPPI and VIL are.
    EXPECT_EQ(p->m_totalProduct.m_iMaxPpi, 1);
    EXPECT_EQ(p->m_totalProduct.m_iMaxCappi, 1);
    EXPECT_EQ(p->m_totalProduct.m_iMaxVil, 1);
    EXPECT_EQ(p->m_totalProduct.m_iMaxBase, 0);
    double a1 = 0, a2 = 0;
    ASSERT_EQ(fnGetStdProductProdpar(p.get(), "CAPPI", 0, &a1, &a2), 1);
    EXPECT_EQ(a1, 2.0);  // metres in the file
    ASSERT_EQ(fnGetStdProductProdpar(p.get(), "VIL", 0, &a1, &a2), 1);
    EXPECT_EQ(a1, 1.0);
    EXPECT_EQ(a2, 5.0);
    const struct {
        const char* family;
        const char* field;
        const char* expected;
    } grids[] = {{"PPI", "CZ", "CZ"},   {"PPI", "RN", "PPI_RN"}, {"CAPPI", "DR", "DR"},
                 {"CAPPI", "RN", "RN"}, {"CAPPI", "KD", "KD"},   {"VIL", "VIL", "VIL"}};
    for (const auto& g : grids) {
        SCOPED_TRACE(std::string(g.family) + " " + g.field);
        const std::vector<float> expected = readFloats(dir.file(std::string(g.expected) + ".f4"));
        ASSERT_EQ(expected.size(), 23u * 31u);
        float** grid = fnGetStdProductDataByIdx(p.get(), g.family, 0, g.field);
        ASSERT_NE(grid, nullptr);
        int nWrong = 0;
        for (int y = 0; y < 23; ++y) {
            for (int x = 0; x < 31; ++x) {
                nWrong += grid[y][x] != expected[static_cast<size_t>(y) * 31 + x];
            }
        }
        EXPECT_EQ(nWrong, 0);
        fnFreeMatrix2D(reinterpret_cast<void**>(grid), 23);
    }
}

TEST(OdimProductFile, EditedAttributesAreRefusedByName) {
    rdrtest::TempDir dir;
    const std::string original = dir.file("original.h5");
    rdr::StdProductPtr p = odimfix::siteProduct(6, 9);
    ASSERT_TRUE(odimfix::writeOdim(p.get(), original));
    const struct {
        const char* edit;
        const char* message;
    } cases[] = {
        {"object", "what/object 'PVOL' is not a product"},
        {"xsize", "where/ysize x xsize says 6 x 10"},
        {"zerosize", "where/ysize is not a size"},
        {"noquantity", "dataset1/data1/what/quantity missing"},
        {"nodata", "dataset1/data1/data missing"},
        {"longquantity", "dataset1/data1/what/quantity 'DBZH_CORRECTED' longer than 6"},
        {"date", "are not YYYYMMDD"},
        {"conventions", "Conventions 'CF/Radial' is not ODIM_H5"},
        {"threed", "dataset1/data1/data is not a 2-D array"},
        {"strings", "dataset1/data1/data holds neither integers nor floats"},
        {"prodpar", "dataset1/what/prodpar is not one or two values"},
        {"gain", "dataset1/data1/what/gain unreadable"},
        {"longsource", "longer than 8 characters"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.edit);
        const std::string copy = dir.file(std::string(c.edit) + ".h5");
        std::filesystem::copy_file(original, copy);
        ASSERT_NE(python(dir, "edit '" + copy + "' " + c.edit), "FAILED");
        std::string err;
        EXPECT_EQ(loadCapturing(copy, &err), nullptr);
        EXPECT_NE(err.find(c.message), std::string::npos) << err;
    }
    std::string err;
    EXPECT_NE(loadCapturing(original, &err), nullptr) << err;
    EXPECT_EQ(loadCapturing(dir.file("absent.h5"), &err), nullptr);
    EXPECT_NE(err.find("H5Fopen fail"), std::string::npos) << err;
}

TEST(OdimProductFile, TruncatedAndBitFlippedFilesNeverCrash) {
    rdrtest::TempDir dir;
    const std::string original = dir.file("original.h5");
    rdr::StdProductPtr p = odimfix::siteProduct(9, 11);
    ASSERT_TRUE(odimfix::writeOdim(p.get(), original));
    std::ifstream in(original, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string damaged = dir.file("damaged.h5");
    auto loadBytes = [&](const std::string& content) {
        std::ofstream(damaged, std::ios::binary | std::ios::trunc) << content;
        std::string err;
        rdr::StdProductPtr back = loadCapturing(damaged, &err);
        // A refusal always says why.
        return back != nullptr || !err.empty();
    };
    for (size_t length :
         {size_t{0}, size_t{8}, size_t{100}, size_t{1000}, bytes.size() / 2, bytes.size() - 1}) {
        SCOPED_TRACE(length);
        EXPECT_TRUE(loadBytes(bytes.substr(0, length)));
    }
    std::mt19937 random(20260715);
    std::uniform_int_distribution<size_t> position(0, bytes.size() - 1);
    std::uniform_int_distribution<int> bit(0, 7);
    for (int i = 0; i < 150; ++i) {
        std::string flipped = bytes;
        const size_t at = position(random);
        flipped[at] = static_cast<char>(flipped[at] ^ (1 << bit(random)));
        SCOPED_TRACE(at);
        EXPECT_TRUE(loadBytes(flipped));
    }
}

TEST(OdimProductFile, APolarVolumeIsNotAProduct) {
    RDR_REQUIRE_SHARED_DATA();
    std::string err;
    EXPECT_EQ(loadCapturing(rdrtest::sharedData("odim_hdf5/knmi_polar_volume.h5"), &err), nullptr);
    EXPECT_NE(err.find("what/object 'PVOL' is not a product"), std::string::npos) << err;
}

}  // namespace
