// GRIB product output and its way back: standard product -> GRIB_PRODUCT -> one file per
// family -> loader -> standard product keeps every cell, the header and each dataset's
// parameter pair; ecCodes' own tools read the files with and without our definitions; a
// failed write leaves no file; damaged and foreign files are refused, not crashed on.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>

#include "export_test_support.h"
#include "grib_output.h"
#include "grib_product_input.h"
#include "internal/eccodes_library.h"
#include "internal/grib_product_keys.h"
#include "odim_product_fixture.h"
#include "product_dispatch.h"
#include "product_test_support.h"
#include "test_support.h"
#include "volume_formats.h"

namespace {

using GribProductPtr = std::unique_ptr<GRIB_PRODUCT, rdr::ReleaseWith<fnFreeGribProduct>>;

constexpr const char* kFamilies[] = {"PPI", "CAPPI", "BASE", "CMAX", "VIL", "ETOP"};

std::string contents(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void putContents(const std::string& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
}

size_t entries(const rdrtest::TempDir& dir) {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(dir.path()),
                                             std::filesystem::directory_iterator()));
}

// Each family of the product into dir/<family>.grib2; the file names, one per family.
std::vector<std::string> writeFamilies(STD_PRODUCT* p, const rdrtest::TempDir& dir) {
    GribProductPtr grib(fnStdProductSyncDownGrib(p));
    EXPECT_NE(grib, nullptr);
    std::vector<std::string> files;
    for (const char* family : kFamilies) {
        files.push_back(dir.file(std::string(family) + ".grib2"));
        EXPECT_EQ(fnWriteGribProduct(grib.get(), family, files.back().c_str()), 1) << family;
    }
    return files;
}

rdr::StdProductPtr readFile(const std::string& file, int iType) {
    GribProductPtr grib(fnLoadGribProduct(file.c_str(), iType));
    return rdr::StdProductPtr(grib != nullptr ? fnGribProductSyncUpStd(grib.get()) : nullptr);
}

// The family files read back into one product: each file's family moved into it.
rdr::StdProductPtr readFamilies(const std::vector<std::string>& files, int iType) {
    rdr::StdProductPtr all(fnInitStdProduct(1, 0, 0, 0, 0, 0, 0));
    for (const std::string& file : files) {
        rdr::StdProductPtr one = readFile(file, iType);
        if (one == nullptr) {
            ADD_FAILURE() << file << " not read back";
            return nullptr;
        }
        all->m_iStdProductType = one->m_iStdProductType;
        all->m_product_hdr = one->m_product_hdr;
        STD_TOTAL_PRODUCT& a = all->m_totalProduct;
        STD_TOTAL_PRODUCT& b = one->m_totalProduct;
        const auto take = [](int& na, STD_PRODUCT_DATASET**& pa, int& nb,
                             STD_PRODUCT_DATASET**& pb) {
            if (nb > 0) {
                std::swap(na, nb);
                std::swap(pa, pb);
            }
        };
        take(a.m_iMaxPpi, a.m_ppPpi, b.m_iMaxPpi, b.m_ppPpi);
        take(a.m_iMaxCappi, a.m_ppCappi, b.m_iMaxCappi, b.m_ppCappi);
        take(a.m_iMaxBase, a.m_ppBase, b.m_iMaxBase, b.m_ppBase);
        take(a.m_iMaxCmax, a.m_ppCmax, b.m_iMaxCmax, b.m_ppCmax);
        take(a.m_iMaxVil, a.m_ppVil, b.m_iMaxVil, b.m_ppVil);
        take(a.m_iMaxEtop, a.m_ppEtop, b.m_iMaxEtop, b.m_ppEtop);
    }
    return all;
}

// Output of one of ecCodes' tools, with our definitions in front of ecCodes' own or with
// ecCodes' own alone.
std::string ecTool(std::vector<std::string> args, bool bOurDefinitions) {
    std::string why;
    EXPECT_NE(eccodesLibrary(&why), nullptr) << why;  // sets the definition path
    const std::string kept = std::getenv("ECCODES_EXTRA_DEFINITION_PATH");
    if (!bOurDefinitions) {
        unsetenv("ECCODES_EXTRA_DEFINITION_PATH");
    }
    int status = -1;
    std::string out = rdrtest::programOutput(args, &status);
    setenv("ECCODES_EXTRA_DEFINITION_PATH", kept.c_str(), 1);
    EXPECT_EQ(status, 0) << args[0];
    return out;
}

TEST(GribProduct, EveryFamilyComesBackUnchangedSiteAndComposite) {
    rdrtest::TempDir dir;
    struct Case {
        const char* name;
        int type;
        rdr::StdProductPtr (*make)(int, int);
    };
    for (const auto& [ydim, xdim] : {std::pair{41, 67}, std::pair{1, 1}}) {
        SCOPED_TRACE(std::to_string(ydim) + " x " + std::to_string(xdim));
        const Case cases[] = {
            {"site", GRIB_EN_PRODUCT_SITE, odimfix::siteProduct},
            {"composite", GRIB_EN_PRODUCT_COMP,
             [](int y, int x) { return odimfix::compProduct(y, x, "MAX"); }},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            rdr::StdProductPtr written = c.make(ydim, xdim);
            rdr::StdProductPtr expected = c.make(ydim, xdim);
            rdr::StdProductPtr back = readFamilies(writeFamilies(written.get(), dir), c.type);
            ASSERT_NE(back, nullptr);
            // 8- and 16-bit cells pass as 32-bit floats (2.37 as 2.3699999): each comes back
            // as the integer it was, both codes and the clamped extremes included.
            EXPECT_EQ(odimfix::diff(*back, *expected), "");
        }
    }
    EXPECT_EQ(entries(dir), 6u);  // one file a family, no temporary file left
}

TEST(GribProduct, MessagesCarryEachDatasetsParametersAndQuantitiesAsOurToolsAndEcCodesSeeThem) {
    rdrtest::TempDir dir;
    // Three CAPPI datasets of two moments each, at 03:15:27 on 2 January 2024.
    const auto make = [] {
        rdr::StdProductPtr p(fnInitStdProduct(2, 0, 3, 0, 0, 0, 0));
        EXPECT_EQ(fnSetStdProductCompHdr(p.get(), "MAX", "202401020315", 4, 5, 1.0f, 2, 2), 1);
        struct tm utc {};
        utc.tm_year = 124, utc.tm_mon = 0, utc.tm_mday = 2;
        utc.tm_hour = 3, utc.tm_min = 15, utc.tm_sec = 27;
        p->m_product_hdr.m_tConvertTime = timegm(&utc) + 32400;
        for (int d = 0; d < 3; ++d) {
            int seed = 10 * d;
            for (const char* field : {"DZ", "KD"}) {
                const std::vector<float> grid = odimfix::pattern(4, 5, ++seed, -2.0f, 9.0f);
                EXPECT_EQ(fnAddStdProductToData(p.get(), "CAPPI", d, d + 1, 10 * (d + 1), field,
                                                grid.data(), 4, 5),
                          1);
            }
        }
        return p;
    };
    rdr::StdProductPtr p = make();
    GribProductPtr grib(fnStdProductSyncDownGrib(p.get()));
    ASSERT_NE(grib, nullptr);
    const std::string file = dir.file("cappi.grib2");
    ASSERT_EQ(fnWriteGribProduct(grib.get(), "CAPPI", file.c_str()), 1);

    const std::string keys =
        "rdr_product,rdr_max_product,rdr_max_data,rdr_quantity,Nx,Ny,numberOfValues,dataDate,"
        "dataTime,second,centre:l";
    EXPECT_EQ(ecTool({"grib_get", "-p", keys, file}, true),
              "CAPPI 3 2 DZ,KD/DZ,KD/DZ,KD 5 8 40 20240102 315 27 40\n"
              "CAPPI 3 2 DZ,KD/DZ,KD/DZ,KD 5 8 40 20240102 315 27 40\n"
              "CAPPI 3 2 DZ,KD/DZ,KD/DZ,KD 5 8 40 20240102 315 27 40\n");
    // Each dataset's pair where the next dataset's first value would have overwritten it.
    std::string dump = ecTool({"grib_dump", "-p", "rdr_prodpar", file}, true);
    std::erase_if(dump, [](char c) { return std::isspace(static_cast<unsigned char>(c)); });
    EXPECT_NE(dump.find("{1,10,2,20,3,30}"), std::string::npos) << dump;
    // Without our definitions ecCodes still reads every message's standard sections.
    EXPECT_EQ(ecTool({"grib_get", "-p", "centre:l,Nx,Ny,numberOfValues,dataDate", file}, false),
              "40 5 8 40 20240102\n40 5 8 40 20240102\n40 5 8 40 20240102\n");
    // The first message's values: dataset 1's DZ grid, then its KD grid, row by row.
    std::istringstream values(ecTool({"grib_get_data", file}, false));
    rdr::StdProductPtr expected = make();
    std::vector<float> grids;
    for (const char* field : {"DZ", "KD"}) {
        rdr::MatrixPtr<float> grid(fnGetStdProductDataByIdx(expected.get(), "CAPPI", 0, field), 4);
        ASSERT_TRUE(grid);
        for (int y = 0; y < 4; ++y) {
            grids.insert(grids.end(), grid[y], grid[y] + 5);
        }
    }
    std::string line;
    std::getline(values, line);  // the column title
    for (size_t i = 0; i < grids.size() && std::getline(values, line); ++i) {
        EXPECT_NEAR(std::strtod(line.c_str(), nullptr), grids[i], 1e-4) << i;
    }

    // The loader pairs them the same way.
    GribProductPtr back(fnLoadGribProduct(file.c_str(), GRIB_EN_PRODUCT_COMP));
    ASSERT_NE(back, nullptr);
    for (int d = 0; d < 3; ++d) {
        EXPECT_EQ(back->m_totalProduct.m_ppCappi[d]->m_what.m_dProdpar[0], d + 1);
        EXPECT_EQ(back->m_totalProduct.m_ppCappi[d]->m_what.m_dProdpar[1], 10 * (d + 1));
    }
    EXPECT_STREQ(back->m_what.m_szDate, "20240102");
    EXPECT_STREQ(back->m_what.m_szTime, "031527");
}

TEST(GribProduct, TheSitePositionKeepsItsSignTheAntennaItsHeightAndTheSiteItsName) {
    rdrtest::TempDir dir;
    rdr::StdProductPtr p = odimfix::siteProduct(3, 4);
    p->m_product_hdr.m_dLon = -89.825533;  // New Orleans, west of Greenwich
    p->m_product_hdr.m_dLat = -33.7;
    p->m_product_hdr.m_iAnteHeightM = 1288;
    std::strcpy(p->m_product_hdr.m_szSiteName, "ABCDEFGH");  // as long as a site name is
    p->m_product_hdr.m_dNi = 0.1;
    rdr::StdProductPtr expected = odimfix::siteProduct(3, 4);
    expected->m_product_hdr = p->m_product_hdr;
    const std::vector<std::string> files = writeFamilies(p.get(), dir);
    rdr::StdProductPtr back = readFamilies(files, GRIB_EN_PRODUCT_SITE);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(odimfix::diff(*back, *expected), "");
    EXPECT_EQ(ecTool({"grib_get", "-p", "siteLongitude,siteElevation", files[0]}, true),
              "270174467 1288\n270174467 1288\n");
}

TEST(GribProduct, WritingRefusesWhatItCannotWriteAndLeavesNoFile) {
    rdrtest::TempDir dir;
    const std::string file = dir.file("kept.grib2");
    putContents(file, "old contents");
    rdr::StdProductPtr p(fnInitStdProduct(2, 1, 0, 0, 0, 0, 0));
    ASSERT_EQ(fnSetStdProductCompHdr(p.get(), "MAX", "202401020315", 200, 300, 1.0f, 2, 2), 1);
    odimfix::add(p.get(), "PPI", 0, 0.5, 0, "DZ", 1, -30.0f, 70.0f);
    // A moment the field table does not know stops the conversion before anything moves.
    odimfix::add(p.get(), "PPI", 0, 0.5, 0, "ZZ", 2, 0.0f, 10.0f);
    testing::internal::CaptureStderr();
    EXPECT_EQ(fnStdProductSyncDownGrib(p.get()), nullptr);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("fnConvertGribData : unknown ZZ"),
              std::string::npos);
    rdr::MatrixPtr<float> kept(fnGetStdProductDataByIdx(p.get(), "PPI", 0, "DZ"), 200);
    EXPECT_TRUE(kept);
    std::strcpy(p->m_totalProduct.m_ppPpi[0]->m_ppProductData[1]->m_szFieldName, "RN");
    GribProductPtr grib(fnStdProductSyncDownGrib(p.get()));
    ASSERT_NE(grib, nullptr);

    testing::internal::CaptureStderr();
    EXPECT_EQ(fnWriteGribProduct(grib.get(), "VIL", file.c_str()), 0);
    EXPECT_EQ(fnWriteGribProduct(grib.get(), "SURF", file.c_str()), 0);
    EXPECT_EQ(fnWriteGribProduct(grib.get(), "PPI", dir.file("missing/out.grib2").c_str()), 0);
    EXPECT_EQ(fnWriteGribProduct(grib.get(), "PPI", dir.path().c_str()), 0);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("fnWriteGribProduct : iMaxDset is 0"), std::string::npos) << err;
    EXPECT_NE(err.find("fnFindGribProduct fail"), std::string::npos) << err;

    // A full disk: the file may grow to 4 kB only.
    testing::internal::CaptureStderr();
    int iWritten = -1;
    rdrtest::withFileSizeLimit(
        4096, [&] { iWritten = fnWriteGribProduct(grib.get(), "PPI", file.c_str()); });
    err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(iWritten, 0);
    EXPECT_NE(err.find("fnWriteGribProduct : cannot write"), std::string::npos) << err;
    EXPECT_EQ(contents(file), "old contents");
    EXPECT_EQ(entries(dir), 1u);

    ASSERT_EQ(fnWriteGribProduct(grib.get(), "PPI", file.c_str()), 1);
    EXPECT_EQ(contents(file).substr(0, 4), "GRIB");
}

// A message of our own product changed as a hostile writer would change it.
std::string changed(const std::string& message, const std::function<void(codes_handle*)>& change) {
    std::string why;
    EXPECT_NE(eccodesLibrary(&why), nullptr);
    codes_handle* h = ec().handle_new_from_message_copy(nullptr, message.data(), message.size());
    EXPECT_NE(h, nullptr);
    change(h);
    const void* bytes = nullptr;
    size_t n = 0;
    EXPECT_EQ(ec().get_message(h, &bytes, &n), CODES_SUCCESS);
    std::string out(static_cast<const char*>(bytes), n);
    ec().handle_delete(h);
    return out;
}

std::string withKey(const std::string& message, const char* key, long value) {
    return changed(message, [&](codes_handle* h) {
        EXPECT_EQ(ec().set_long(h, key, value), CODES_SUCCESS) << key;
    });
}

TEST(GribProduct, ValuesComeBackAsTheNearestStoredIntegerInsideTheStorageRange) {
    rdrtest::TempDir dir;
    rdr::StdProductPtr p(fnInitStdProduct(2, 0, 0, 1, 0, 0, 0));
    ASSERT_EQ(fnSetStdProductCompHdr(p.get(), "MAX", "202401020315", 1, 8, 1.0f, 0, 0), 1);
    odimfix::add(p.get(), "BASE", 0, 0, 0, "DZ", 1, -30.0f, 70.0f);
    odimfix::add(p.get(), "BASE", 0, 0, 0, "DR", 2, -4.0f, 8.0f);
    const std::string file = dir.file("base.grib2");
    GribProductPtr grib(fnStdProductSyncDownGrib(p.get()));
    ASSERT_EQ(fnWriteGribProduct(grib.get(), "BASE", file.c_str()), 1);
    // What another writer's rounding leaves in the file, beside values no storage holds.
    const std::vector<double> values = {44.99998, 45.4,    126.7,     500.0,     -126.6, -500.0,
                                        -9999.0,  -9998.0, 2.3699999, -0.004999, 400.0,  -400.0,
                                        327.67,   -9999.0, -9998.0,   1e9};
    putContents(file, changed(contents(file), [&](codes_handle* h) {
                    EXPECT_EQ(ec().set_double_array(h, "values", values.data(), values.size()),
                              CODES_SUCCESS);
                }));
    rdr::StdProductPtr back = readFile(file, GRIB_EN_PRODUCT_COMP);
    ASSERT_NE(back, nullptr);
    const STD_PRODUCT_DATASET* base = back->m_totalProduct.m_ppBase[0];
    const char* dz = base->m_ppProductData[0]->m_ppData_c[0];
    const short* dr = base->m_ppProductData[1]->m_ppData_s[0];
    // -126.6 is nearest the no-data code -127 and steps off it; -500 stops above both codes.
    EXPECT_EQ(std::vector<int>(dz, dz + 8),
              (std::vector<int>{45, 45, 127, 127, -126, -126, -127, -128}));
    EXPECT_EQ(std::vector<int>(dr, dr + 8),
              (std::vector<int>{237, 0, 32767, -32766, 32767, -32767, -32768, 32767}));
}

TEST(GribProduct, SyncUpRefusesWholeAndLeavesTheGridsWithTheCaller) {
    rdrtest::TempDir dir;
    rdr::StdProductPtr p = odimfix::siteProduct(4, 4);
    GribProductPtr grib(
        fnLoadGribProduct(writeFamilies(p.get(), dir)[4].c_str(), GRIB_EN_PRODUCT_SITE));
    ASSERT_NE(grib, nullptr);
    // A 16-bit moment held in 8-bit rows would be read with the wrong codes.
    GRIB_PRODUCT_DATA* vil = grib->m_totalProduct.m_ppVil[0]->m_ppProductData[0];
    vil->m_iMemType = RDR_EN_MEM_CHAR;
    testing::internal::CaptureStderr();
    EXPECT_EQ(fnGribProductSyncUpStd(grib.get()), nullptr);
    EXPECT_EQ(fnGribProductSyncUpStd(nullptr), nullptr);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("fnConvertStdDatasetToGrib VIL fail"), std::string::npos) << err;
    EXPECT_NE(err.find("fnGetMaxCountGribProduct fail"), std::string::npos) << err;
    EXPECT_NE(vil->m_ppData_s, nullptr);
    vil->m_iMemType = RDR_EN_MEM_SHORT;
    rdr::StdProductPtr back(fnGribProductSyncUpStd(grib.get()));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(vil->m_ppData_s, nullptr);
    EXPECT_STREQ(back->m_totalProduct.m_ppVil[0]->m_szProduct, "VIL");
    EXPECT_EQ(back->m_totalProduct.m_ppVil[0]->m_dProdpar[1], 15.0);

    int counts[7] = {};
    ASSERT_EQ(fnGetMaxCountGribProduct(grib.get(), &counts[0], &counts[1], &counts[2], &counts[3],
                                       &counts[4], &counts[5], &counts[6]),
              1);
    EXPECT_EQ(counts[0], 1);  // one grid in the VIL dataset
    EXPECT_EQ(counts[5], 1);
    EXPECT_EQ(counts[1] + counts[2] + counts[3] + counts[4] + counts[6], 0);
    GribProductPtr empty(fnInitGribProduct(2, 1, 0, 0, 0, 0, 100));
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->m_totalProduct.m_ppEtop, nullptr);
    EXPECT_EQ(empty->m_totalProduct.m_ppPpi[0]->m_iMaxField, 2);
    EXPECT_EQ(fnInitGribProduct(0, 1, 1, 1, 1, 1, 1), nullptr);
}

TEST(GribProduct, DamagedForeignAndInconsistentFilesAreRefusedWithAReason) {
    rdrtest::TempDir dir;
    rdr::StdProductPtr p = odimfix::siteProduct(6, 7);
    const std::string good = contents(writeFamilies(p.get(), dir)[0]);  // two PPI messages
    const std::string file = dir.file("bad.grib2");
    const auto refused = [&](const std::string& bytes, const char* reason) {
        putContents(file, bytes);
        testing::internal::CaptureStderr();
        GribProductPtr grib(fnLoadGribProduct(file.c_str(), GRIB_EN_PRODUCT_SITE));
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(grib, nullptr) << reason;
        EXPECT_NE(err.find(reason), std::string::npos) << err;
    };
    size_t first = 0;  // the first message's length, from its section 0
    for (int i = 8; i < 16; ++i) {
        first = (first << 8) | static_cast<unsigned char>(good[static_cast<size_t>(i)]);
    }
    ASSERT_LT(first, good.size());
    refused(good.substr(0, first), "Dataset count error");
    refused(good.substr(0, first + 100), "cut short");
    refused(good + "junk", "are not a GRIB message");
    refused("", "the file is empty");
    refused("GRIB", "not a GRIB file");
    std::string edition1 = good;
    edition1[7] = 1;
    refused(edition1, "GRIB edition 1");
    // Counts that disagree with the values present, and sizes beyond every bound.
    const std::string one = good.substr(0, first);
    const std::string two = good.substr(first);
    refused(withKey(one, "rdr_max_data", 4) + two, "Data count error");
    refused(withKey(one, "rdr_xsize", 8) + withKey(two, "rdr_xsize", 8), "values on 7 x 18");
    refused(withKey(one, "rdr_xsize", 4000000) + withKey(two, "rdr_xsize", 4000000),
            "is not a grid of 1 to 20000 cells");
    refused(one + withKey(two, "rdr_max_product", 3), "does not belong to the family");
    refused(withKey(one, "centre", 98) + two, "not a product of this system");
    const auto withText = [](const std::string& message, const char* key, const char* text) {
        return changed(message, [&](codes_handle* h) {
            size_t n = std::strlen(text);
            EXPECT_EQ(ec().set_string(h, key, text, &n), CODES_SUCCESS) << key;
        });
    };
    refused(withText(one, "rdr_xscale", "0.5km") + two, "rdr_xscale '0.5km' is not a number");
    refused(withText(one, "rdr_site_longitude", "10") + two, "disagree with siteLongitude");
    refused(withText(one, "rdr_product", "SURF") + withText(two, "rdr_product", "SURF"),
            "rdr_product 'SURF' is none of");

    // Cut anywhere or with any byte changed, our own file is refused or read, never crashed
    // on.
    for (size_t cut = 1; cut < good.size(); cut += good.size() / 37 + 1) {
        putContents(file, good.substr(0, cut));
        testing::internal::CaptureStderr();
        EXPECT_EQ(GribProductPtr(fnLoadGribProduct(file.c_str(), GRIB_EN_PRODUCT_SITE)), nullptr);
        testing::internal::GetCapturedStderr();
    }
    for (size_t at = 0; at < first; at += first / 53 + 1) {
        std::string flipped = good;
        flipped[at] = static_cast<char>(flipped[at] ^ 0x5a);
        putContents(file, flipped);
        testing::internal::CaptureStderr();
        GribProductPtr grib(fnLoadGribProduct(file.c_str(), GRIB_EN_PRODUCT_SITE));
        testing::internal::GetCapturedStderr();
        rdr::StdProductPtr std(grib != nullptr ? fnGribProductSyncUpStd(grib.get()) : nullptr);
        EXPECT_EQ(grib == nullptr || std != nullptr, true) << "byte " << at;
    }
}

TEST(GribProduct, AnotherSystemsGribFileIsRefusedAsNotOneOfOurs) {
    RDR_REQUIRE_SHARED_DATA();
    rdrtest::TempDir dir;
    const std::string file = dir.file("mrms.grib2");
    putContents(file,
                rdrtest::gunzipped(rdrtest::sharedData(
                    "grib/MRMS_ReflectivityAtLowestAltitude_00.50_20230406-120039.grib2.gz")));
    testing::internal::CaptureStderr();
    EXPECT_EQ(GribProductPtr(fnLoadGribProduct(file.c_str(), GRIB_EN_PRODUCT_COMP)), nullptr);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("fnLoadGribProduct : GRIB message 1 is not a product of this system"),
              std::string::npos)
        << err;
}

TEST(GribProduct, AKlixProductComesBackUnchanged) {
    RDR_REQUIRE_SHARED_DATA();
    rdr::StdRadarPtr volume(
        fnLoadStdRadarFile(rdrtest::sharedData("uf/KLIX20050828_180149_rsl.uf").c_str()));
    ASSERT_NE(volume, nullptr);
    rdrtest::Tables tables(volume.get());
    constexpr int kDim = 240;
    // Real corners and a position west of Greenwich; the elevation of the lowest sweep and the
    // CAPPI height as prodpar; reflectivity in 8 bits, velocity too, VIL in 16.
    struct Grid {
        const char* family;
        const char* field;
        double arg1;
        double arg2;
        rdrtest::Grid cells;
    };
    std::vector<Grid> grids;
    for (const char* product : {"PPI", "CAPPI", "VIL"}) {
        for (const char* field : {"DZ", "VR"}) {
            RDR_PRODUCT_ARGS args;
            args.szProduct = product;
            args.szField = field;
            args.iXdim = args.iYdim = kDim;
            args.fMaxRangeKm = 240.0f;
            args.fGridKm = 2.0f;
            const bool bVil = std::string(product) == "VIL";
            if (bVil && std::string(field) == "VR") {
                continue;
            }
            rdrtest::Grid cells(fnCreateProduct(volume.get(), tables.p, args));
            ASSERT_NE(cells, nullptr) << product << " " << field;
            const double arg1 = std::string(product) == "PPI"
                                    ? volume->m_ppSweep[0]->m_ppRay[0]->m_hdr.m_fFixedAngle
                                : bVil ? 0.0
                                       : 1.5;
            grids.push_back(
                {product, bVil ? "VIL" : field, arg1, bVil ? 15.0 : 0.0, std::move(cells)});
        }
    }
    const auto make = [&] {
        rdr::StdProductPtr p(fnInitStdProduct(2, 1, 1, 0, 0, 1, 0));
        EXPECT_EQ(fnSetStdProductSiteHdr(volume.get(), p.get(), kDim, kDim, 2.0f), 1);
        for (const Grid& g : grids) {
            EXPECT_EQ(fnAddStdProductToData(p.get(), g.family, 0, g.arg1, g.arg2, g.field,
                                            g.cells.get(), kDim, kDim),
                      1);
        }
        return p;
    };
    rdr::StdProductPtr written = make();
    rdr::StdProductPtr expected = make();
    ASSERT_LT(expected->m_product_hdr.m_dLon, -89.0);
    rdrtest::TempDir dir;
    GribProductPtr grib(fnStdProductSyncDownGrib(written.get()));
    ASSERT_NE(grib, nullptr);
    std::vector<std::string> files;
    for (const char* family : {"PPI", "CAPPI", "VIL"}) {
        files.push_back(dir.file(std::string(family) + ".grib2"));
        ASSERT_EQ(fnWriteGribProduct(grib.get(), family, files.back().c_str()), 1);
    }
    rdr::StdProductPtr back = readFamilies(files, GRIB_EN_PRODUCT_SITE);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(odimfix::diff(*back, *expected), "");
}

TEST(GribProduct, WhatTheKeysCannotHoldIsRefusedBeforeAnyFileIsMade) {
    rdrtest::TempDir dir;
    const std::string file = dir.file("out.grib2");
    const auto refused = [&](STD_PRODUCT* p, const char* family, const char* reason) {
        GribProductPtr grib(fnStdProductSyncDownGrib(p));
        ASSERT_NE(grib, nullptr);
        testing::internal::CaptureStderr();
        EXPECT_EQ(fnWriteGribProduct(grib.get(), family, file.c_str()), 0) << reason;
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find(reason), std::string::npos) << err;
        EXPECT_EQ(entries(dir), 0u);
    };
    rdr::StdProductPtr low = odimfix::siteProduct(2, 2);
    low->m_product_hdr.m_iAnteHeightM = -3;
    refused(low.get(), "BASE", "outside the 0 to 65535 m siteElevation holds");
    rdr::StdProductPtr lost = odimfix::siteProduct(2, 2);
    lost->m_product_hdr.m_dLat = 91.0;
    refused(lost.get(), "BASE", "not a latitude and longitude");
    // 99 datasets of three moments name more quantities than rdr_quantity holds.
    rdr::StdProductPtr many(fnInitStdProduct(3, 0, 99, 0, 0, 0, 0));
    ASSERT_EQ(fnSetStdProductCompHdr(many.get(), "MAX", "202401020315", 1, 1, 1.0f, 0, 0), 1);
    const float cell = 1.0f;
    for (int d = 0; d < 99; ++d) {
        for (const char* field : {"DZ", "KD", "RN"}) {
            ASSERT_EQ(fnAddStdProductToData(many.get(), "CAPPI", d, d, 0, field, &cell, 1, 1), 1);
        }
    }
    refused(many.get(), "CAPPI", "the quantity list is longer than 511 characters");
}

TEST(GribProduct, SitePositionsCodeBothHemispheresAndBothSidesOfGreenwich) {
    const struct {
        double lat, lon;
        long codedLat, codedLon;
        double backLon;
    } cases[] = {
        {37.44, 126.96, 37440000, 126960000, 126.96},
        {-33.7, -89.825533, 0x80000000L | 33700000, 270174467, -89.825533},
        {0.0, -180.0, 0, 180000000, 180.0},    // the antimeridian comes back east
        {-0.0000004, 359.9999996, 0, 0, 0.0},  // less than half a micro-degree is none
        {-90.0, 180.0, 0x80000000L | 90000000, 180000000, 180.0},
    };
    for (const auto& c : cases) {
        long lat = -1;
        long lon = -1;
        ASSERT_TRUE(gribSiteLatitude(c.lat, &lat));
        ASSERT_TRUE(gribSiteLongitude(c.lon, &lon));
        EXPECT_EQ(lat, c.codedLat) << c.lat;
        EXPECT_EQ(lon, c.codedLon) << c.lon;
        EXPECT_EQ(gribLatitudeFromSite(lat), c.lat == -0.0000004 ? 0.0 : c.lat);
        EXPECT_EQ(gribLongitudeFromSite(lon), c.backLon);
    }
    long coded = 0;
    EXPECT_FALSE(gribSiteLatitude(90.5, &coded));
    EXPECT_FALSE(gribSiteLatitude(std::nan(""), &coded));
    EXPECT_FALSE(gribSiteLongitude(std::nan(""), &coded));
    double v = 0.0;
    EXPECT_TRUE(gribNumberFromText(gribNumberText(0.1 + 0.2), &v));
    EXPECT_EQ(v, 0.1 + 0.2);
    EXPECT_FALSE(gribNumberFromText("1.5x", &v));
    EXPECT_FALSE(gribNumberFromText("", &v));
}

}  // namespace
