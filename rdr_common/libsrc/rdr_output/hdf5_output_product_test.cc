// ODIM product output and its way back: standard product -> HDF_PRODUCT -> file -> loader
// -> standard product keeps every cell, the header and prodpar; the conversions keep the
// grids when they fail; a failed write leaves no file and the old one as it was.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "internal/odim_product_to_std.h"
#include "odim_product_fixture.h"
#include "test_support.h"

namespace {

using odimfix::HdfProductPtr;

std::string contents(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

size_t entries(const rdrtest::TempDir& dir) {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(dir.path()),
                                             std::filesystem::directory_iterator()));
}

TEST(OdimProduct, EveryFamilyComesBackUnchangedSiteAndComposite) {
    rdrtest::TempDir dir;
    struct Case {
        const char* name;
        rdr::StdProductPtr (*make)(int, int);
    };
    // Odd sizes keep rows and columns apart; 3 x 7 is below the tenth-of-a-side chunk.
    for (const auto& [ydim, xdim] : {std::pair{41, 67}, std::pair{3, 7}, std::pair{1, 1}}) {
        SCOPED_TRACE(std::to_string(ydim) + " x " + std::to_string(xdim));
        const Case cases[] = {
            {"site", odimfix::siteProduct},
            {"max composite", [](int y, int x) { return odimfix::compProduct(y, x, "MAX"); }},
            {"average composite", [](int y, int x) { return odimfix::compProduct(y, x, "AVE"); }},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            rdr::StdProductPtr written = c.make(ydim, xdim);
            rdr::StdProductPtr expected = c.make(ydim, xdim);
            const std::string file = dir.file("product.h5");
            ASSERT_TRUE(odimfix::writeOdim(written.get(), file));
            rdr::StdProductPtr back = odimfix::readOdim(file);
            ASSERT_NE(back, nullptr);
            EXPECT_EQ(odimfix::diff(*back, *expected), "");
            // The float readers agree as well, codes included.
            float** a = fnGetStdProductDataByArg(back.get(), "VIL", 0, 15, "VIL");
            float** b = fnGetStdProductDataByArg(expected.get(), "VIL", 0, 15, "VIL");
            ASSERT_NE(a, nullptr);
            ASSERT_NE(b, nullptr);
            for (int y = 0; y < ydim; ++y) {
                for (int x = 0; x < xdim; ++x) {
                    EXPECT_EQ(a[y][x], b[y][x]);
                }
            }
            fnFreeMatrix2D(reinterpret_cast<void**>(a), ydim);
            fnFreeMatrix2D(reinterpret_cast<void**>(b), ydim);
        }
    }
    EXPECT_EQ(entries(dir), 1u);  // no temporary file is left behind
}

TEST(OdimProduct, SyncDownMovesTheGridsAndKeepsThemWhenANameIsUnknown) {
    rdr::StdProductPtr p = odimfix::siteProduct(5, 6);
    // A moment the field table does not know stops the conversion before anything moves.
    std::vector<float> grid = odimfix::pattern(5, 6, 3, 0.0f, 10.0f);
    ASSERT_EQ(fnAddStdProductToData(p.get(), "ETOP", 0, 18, 0, "ZZ", grid.data(), 5, 6), 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(fnStdProductSyncDownHdf(p.get()), nullptr);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("fnConvertHdfData : unknown ZZ"), std::string::npos) << err;
    rdr::StdProductPtr untouched = odimfix::siteProduct(5, 6);
    ASSERT_EQ(fnAddStdProductToData(untouched.get(), "ETOP", 0, 18, 0, "ZZ", grid.data(), 5, 6), 1);
    EXPECT_EQ(odimfix::diff(*p, *untouched), "");

    rdr::StdProductPtr q = odimfix::siteProduct(5, 6);
    HdfProductPtr hdf(fnStdProductSyncDownHdf(q.get()));
    ASSERT_NE(hdf, nullptr);
    EXPECT_EQ(fnGetStdProductDataByIdx(q.get(), "PPI", 0, "DZ"), nullptr);
    HDF_PRODUCT_DATASET* cappi = hdf->m_totalProduct.m_ppCappi[0];
    EXPECT_STREQ(cappi->m_what.m_szProduct, "PCAPPI");
    const HDF_PRODUCT_DATA* kd = cappi->m_ppProductData[1];
    EXPECT_STREQ(kd->m_what.m_szQuantity, "KDP");
    EXPECT_EQ(kd->m_iMemType, RDR_EN_MEM_SHORT);
    EXPECT_NE(kd->m_ppData_s, nullptr);
    EXPECT_DOUBLE_EQ(kd->m_what.m_dGain, 0.01);
    EXPECT_EQ(kd->m_what.m_dNodata, -32768.0);
    EXPECT_EQ(kd->m_what.m_dUndetect, -32767.0);
    EXPECT_STREQ(hdf->m_what.m_szObject, "AZIM");
    EXPECT_STREQ(hdf->m_what.m_szSource, "NOD:KWK");
    EXPECT_STREQ(hdf->m_what.m_szDate, "20260715");
    EXPECT_STREQ(hdf->m_what.m_szTime, "093000");
    // A stamp past year 9999 does not fit the date field: it is left empty, not cut short
    // into another date.
    rdr::StdProductPtr late = odimfix::siteProduct(5, 6);
    late->m_product_hdr.m_tConvertTime = 253402300800 + RDR_KST_OFFSET_SEC;  // 10000-01-01
    HdfProductPtr lateHdf(fnStdProductSyncDownHdf(late.get()));
    ASSERT_NE(lateHdf, nullptr);
    EXPECT_STREQ(lateHdf->m_what.m_szDate, "");
    EXPECT_STREQ(lateHdf->m_what.m_szTime, "000000");

    int counts[7] = {};
    ASSERT_EQ(fnGetMaxCountHdfProduct(hdf.get(), &counts[0], &counts[1], &counts[2], &counts[3],
                                      &counts[4], &counts[5], &counts[6]),
              1);
    EXPECT_EQ(counts[0], 3);
    EXPECT_EQ(counts[1], 2);
    EXPECT_EQ(counts[6], 1);
    EXPECT_EQ(fnGetMaxCountHdfProduct(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                      nullptr),
              0);
}

TEST(OdimProduct, SyncUpRefusesWholeAndLeavesTheGridsWithTheCaller) {
    rdr::StdProductPtr p = odimfix::siteProduct(4, 4);
    HdfProductPtr hdf(fnStdProductSyncDownHdf(p.get()));
    ASSERT_NE(hdf, nullptr);
    // A 16-bit moment held in 8-bit rows would be read with the wrong codes.
    HDF_PRODUCT_DATA* vil = hdf->m_totalProduct.m_ppVil[0]->m_ppProductData[0];
    vil->m_iMemType = RDR_EN_MEM_CHAR;
    testing::internal::CaptureStderr();
    EXPECT_EQ(fnHdfProductSyncUpStd(hdf.get()), nullptr);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("fnConvertStdDatasetToHdf VIL fail"),
              std::string::npos);
    EXPECT_NE(hdf->m_totalProduct.m_ppPpi[0]->m_ppProductData[0]->m_ppData_c, nullptr);
    vil->m_iMemType = RDR_EN_MEM_SHORT;

    // A dataset of a product the table does not know is left empty; the others convert.
    std::strcpy(hdf->m_totalProduct.m_ppPpi[1]->m_what.m_szProduct, "SURF");
    rdr::StdProductPtr back(fnHdfProductSyncUpStd(hdf.get()));
    ASSERT_NE(back, nullptr);
    EXPECT_STREQ(back->m_totalProduct.m_ppPpi[1]->m_szProduct, "");
    EXPECT_STREQ(back->m_totalProduct.m_ppPpi[1]->m_ppProductData[0]->m_szFieldName, "");
    EXPECT_STREQ(back->m_totalProduct.m_ppPpi[0]->m_szProduct, "PPI");
    EXPECT_EQ(hdf->m_totalProduct.m_ppPpi[0]->m_ppProductData[0]->m_ppData_c, nullptr);
    // The emptied dataset needs no name to be written again.
    EXPECT_NE(HdfProductPtr(fnStdProductSyncDownHdf(back.get())), nullptr);
    EXPECT_EQ(fnHdfProductSyncUpStd(nullptr), nullptr);
}

TEST(OdimProduct, SiteNameIsTheNodEntryUpToItsComma) {
    char name[9];
    EXPECT_TRUE(odimSiteName("NOD:abcd,WMO:47102", name, sizeof name));
    EXPECT_STREQ(name, "abcd");
    EXPECT_TRUE(odimSiteName("WMO:02954,RAD:FI44,NOD:fivan,PLC:Vantaa", name, sizeof name));
    EXPECT_STREQ(name, "fivan");
    EXPECT_TRUE(odimSiteName("RAD:FI44", name, sizeof name));
    EXPECT_STREQ(name, "FI44");
    // Never cut: a name that does not fit is refused.
    EXPECT_FALSE(odimSiteName("NOD:abcdefghij,WMO:1", name, sizeof name));
    EXPECT_TRUE(odimSiteName("NOD:abcdefgh", name, sizeof name));
}

TEST(OdimProduct, AFailedWriteLeavesNoFileAndTheOldOneAsItWas) {
    rdrtest::TempDir dir;
    const std::string file = dir.file("kept.h5");
    std::ofstream(file) << "old contents";
    rdr::StdProductPtr p = odimfix::siteProduct(200, 300);
    HdfProductPtr hdf(fnStdProductSyncDownHdf(p.get()));
    ASSERT_NE(hdf, nullptr);

    {
        // A full disk: the file may grow to 4 kB only.
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        const sighandler_t handler = signal(SIGXFSZ, SIG_IGN);
        const rlimit small{4096, saved.rlim_max};
        setrlimit(RLIMIT_FSIZE, &small);
        testing::internal::CaptureStderr();
        const int iWritten = fnWriteHdfProduct(hdf.get(), file.c_str());
        const std::string err = testing::internal::GetCapturedStderr();
        setrlimit(RLIMIT_FSIZE, &saved);
        signal(SIGXFSZ, handler);
        EXPECT_EQ(iWritten, 0);
        EXPECT_NE(err.find("fnWriteHdfProduct"), std::string::npos);
    }
    EXPECT_EQ(contents(file), "old contents");
    EXPECT_EQ(entries(dir), 1u);

    // A family with datasets but no dataset array: nothing is written.
    HDF_PRODUCT_DATASET** etop = hdf->m_totalProduct.m_ppEtop;
    hdf->m_totalProduct.m_ppEtop = nullptr;
    testing::internal::CaptureStderr();
    EXPECT_EQ(fnWriteHdfProduct(hdf.get(), file.c_str()), 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("ETOP"), std::string::npos);
    hdf->m_totalProduct.m_ppEtop = etop;
    EXPECT_EQ(contents(file), "old contents");
    EXPECT_EQ(entries(dir), 1u);

    // A name longer than the documented buffer is refused, not cut to another file's name.
    const std::string longName = dir.file(std::string(1100, 'n'));
    testing::internal::CaptureStderr();
    EXPECT_EQ(fnWriteHdfProduct(hdf.get(), longName.c_str()), 0);
    testing::internal::GetCapturedStderr();
    // A directory that is not there, and a target that is one.
    testing::internal::CaptureStderr();
    EXPECT_EQ(fnWriteHdfProduct(hdf.get(), dir.file("missing/out.h5").c_str()), 0);
    EXPECT_EQ(fnWriteHdfProduct(hdf.get(), dir.path().c_str()), 0);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(entries(dir), 1u);
    if (geteuid() != 0) {  // root writes into any directory
        std::filesystem::permissions(
            dir.path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
        testing::internal::CaptureStderr();
        EXPECT_EQ(fnWriteHdfProduct(hdf.get(), file.c_str()), 0);
        testing::internal::GetCapturedStderr();
        std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_all);
        EXPECT_EQ(contents(file), "old contents");
        EXPECT_EQ(entries(dir), 1u);
    }

    ASSERT_EQ(fnWriteHdfProduct(hdf.get(), file.c_str()), 1);
    EXPECT_NE(contents(file), "old contents");
}

TEST(OdimProduct, InitFreeAndCountsFollowTheStandardProduct) {
    HdfProductPtr empty(fnInitHdfProduct(2, 1, 0, 0, 0, 0, 100));
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->m_totalProduct.m_iMaxPpi, 1);
    EXPECT_EQ(empty->m_totalProduct.m_iMaxEtop, 0);
    EXPECT_EQ(empty->m_totalProduct.m_ppEtop, nullptr);
    EXPECT_EQ(empty->m_totalProduct.m_ppPpi[0]->m_iMaxField, 2);
    EXPECT_EQ(fnInitHdfProduct(0, 1, 1, 1, 1, 1, 1), nullptr);
    fnFreeHdfProduct(nullptr);
    rdr::StdProductPtr p = odimfix::compProduct(3, 3, "MAX");
    HdfProductPtr shaped(fnInitHdfProductToStdProduct(p.get()));
    ASSERT_NE(shaped, nullptr);
    EXPECT_EQ(shaped->m_totalProduct.m_iMaxPpi, 2);
    EXPECT_EQ(shaped->m_totalProduct.m_ppCmax[0]->m_iMaxField, 3);
}

}  // namespace
