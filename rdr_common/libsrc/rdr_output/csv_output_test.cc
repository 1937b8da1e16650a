#include "csv_output.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core_utilities.h"
#include "export_test_support.h"
#include "test_support.h"

namespace {

using rdrtest::compositeProduct;
using rdrtest::unzipped;

// A text split at CRLF; a bare LF anywhere fails the test.
std::vector<std::string> crlfLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end = text.find("\r\n"); end != std::string::npos;
         start = end + 2, end = text.find("\r\n", start)) {
        lines.push_back(text.substr(start, end - start));
        EXPECT_EQ(lines.back().find('\n'), std::string::npos) << "bare LF in " << lines.back();
    }
    EXPECT_EQ(start, text.size()) << "text does not end in CRLF";
    return lines;
}

std::vector<std::string> cells(const std::string& line) {
    std::vector<std::string> out;
    std::stringstream in(line);
    for (std::string cell; std::getline(in, cell, ',');) {
        out.push_back(cell);
    }
    return out;
}

// 3 rows x 4 columns; row r, column c is 10 r + c, with a no-data and an outside cell.
float smallCell(int, int r, int c) {
    if (r == 1 && c == 1) {
        return -9999.0f;
    }
    if (r == 1 && c == 2) {
        return -9998.0f;
    }
    return static_cast<float>(10 * r + c) + 0.25f;
}

TEST(CsvComposite240, HeaderThenRowsFromTheSouthWithCodesAndClamping) {
    rdrtest::TempDir dir;
    auto p = compositeProduct("CMAX", "CMAX", 3, 4, 1.0f, 1, [](int k, int r, int c) {
        return r == 2 && c == 3 ? 200.0f : smallCell(k, r, c);
    });
    const std::string out = dir.file("c240.csv");
    ASSERT_EQ(fnWriteStdProductCsvComp240(p.get(), "CMAX", "CMAX", out.c_str()), 1);
    EXPECT_EQ(rdrtest::directoryNames(dir.path().string()), std::set<std::string>{"c240.csv.zip"});
    EXPECT_EQ(rdrtest::zipEntryNames(out + ".zip"), std::vector<std::string>{"c240.csv"});
    const auto lines = crlfLines(unzipped(out + ".zip"));
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(lines[0], "xdim=4");
    EXPECT_EQ(lines[1], "ydim=3");
    char lat[64];
    std::snprintf(lat, sizeof lat, "lat=%f", p->m_product_hdr.m_LL_lat);
    EXPECT_EQ(lines[2], lat);
    EXPECT_EQ(lines[4], "grid=1.000000");
    EXPECT_EQ(lines[5], "no_echo_val=-127");
    EXPECT_EQ(lines[6], "out_bound_val=-128");
    EXPECT_EQ(lines[7], "");
    EXPECT_EQ(lines[8], "20,21,22,127");  // the last row first; 200 clamped, not -56
    EXPECT_EQ(lines[9], "10,-127,-128,13");
    EXPECT_EQ(lines[10], "0,1,2,3");

    auto vil = compositeProduct("VIL", "XX", 1, 3, 1.0f, 1, [](int, int, int c) {
        return c == 0 ? 2.5f : c == 1 ? 2.3f : -2.5f;
    });
    ASSERT_EQ(fnWriteStdProductCsvComp240(vil.get(), "VIL", "XX", out.c_str()), 1);
    EXPECT_EQ(crlfLines(unzipped(out + ".zip")).back(), "3,2,-1");
}

TEST(CsvComposite480, ValueBlockAsRainRateThenMask) {
    rdrtest::TempDir dir;
    auto p = compositeProduct("CMAX", "DZ", 3, 4, 3.0f, 1, [](int k, int r, int c) {
        return r == 0 && c == 0 ? 23.0f : smallCell(k, r, c);
    });
    const std::string out = dir.file("c480");
    ASSERT_EQ(fnWriteStdProductCsvComp480(p.get(), "CMAX", "DZ", out.c_str()), 1);
    const auto lines = crlfLines(unzipped(out + ".zip"));
    ASSERT_EQ(lines.size(), 10u + 3 + 1 + 3);
    EXPECT_EQ(lines[5], "no_echo_val=-9999.000000");
    EXPECT_EQ(lines[6], "in_bound_pos=1");
    EXPECT_EQ(lines[7], "out_bound_pos=0");
    EXPECT_EQ(lines[8], "radar_center=2");
    EXPECT_EQ(lines[9], "");
    const auto middle = cells(lines[11]);
    EXPECT_EQ(middle[1], "-9999.00");
    EXPECT_EQ(middle[2], "-9999.00");  // both codes read as no echo ...
    EXPECT_EQ(lines[13], "");
    EXPECT_EQ(lines[15], "1,1,0,1");  // ... and the mask tells them apart
    EXPECT_EQ(lines[14], "1,1,1,1");
    // 23 dBZ: Z = 200 R^1.6 gives 1.35 mm/h; DZ is stored in whole dBZ (10.25 -> 10).
    const auto south = cells(lines[12]);
    EXPECT_NEAR(std::atof(south[0].c_str()), std::pow(std::pow(10.0, 2.3) / 200.0, 1 / 1.6), 0.005);
    EXPECT_NEAR(std::atof(middle[0].c_str()), std::pow(std::pow(10.0, 1.0) / 200.0, 1 / 1.6),
                0.005);
}

TEST(CsvCompositeKcj, CodesKeptValuesAsRainRate) {
    rdrtest::TempDir dir;
    auto p = compositeProduct("CMAX", "XX", 3, 4, 3.0f, 1, smallCell);
    const std::string out = dir.file("kcj");
    ASSERT_EQ(fnWriteStdProductCsvCompKCJ(p.get(), "CMAX", "XX", out.c_str()), 1);
    const auto lines = crlfLines(unzipped(out + ".zip"));
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(lines[5], "no_echo_val=-9999.000000");
    EXPECT_EQ(lines[6], "out_bound_val=-9998.000000");
    EXPECT_EQ(lines[8], "20.25,21.25,22.25,23.25");
    EXPECT_EQ(lines[9], "10.25,-9999.00,-9998.00,13.25");
}

TEST(CsvComposite3D, LevelsThenTheLastLevelsMask) {
    rdrtest::TempDir dir;
    auto p = compositeProduct("CAPPI", "XX", 2, 3, 1.0f, 2, [](int k, int r, int c) {
        if (r == 0 && c == 0) {
            return k == 0 ? -9998.0f : -9999.0f;  // outside on the first level only
        }
        return r == 1 && c == 2 && k == 1 ? -9998.0f : static_cast<float>(100 * k + 10 * r + c);
    });
    const std::string out = dir.file("c3d");
    ASSERT_EQ(fnWriteStdProductCsvComp3D(p.get(), "CAPPI", "XX", 2, 0.5f, out.c_str()), 1);
    const auto lines = crlfLines(unzipped(out + ".zip"));
    const std::vector<std::string> expected = {"xdim=3",
                                               "ydim=2",
                                               "zdim=2",
                                               lines[3],
                                               lines[4],
                                               "xy_grid_km=1.000000",
                                               "z_grid_km=0.500000",
                                               "no_echo_val=-127",
                                               "in_bound_pos=1",
                                               "out_bound_pos=0",
                                               "radar_center=2",
                                               "",
                                               "10,11,12",
                                               "-127,1,2",
                                               "",  // level 0, the southern row first
                                               "110,111,-127",
                                               "-127,101,102",
                                               "",  // level 1
                                               "",  // then the mask of level 1
                                               "1,1,0",
                                               "1,1,1"};
    EXPECT_EQ(lines, expected);

    const std::string missing = dir.file("missing");
    EXPECT_EQ(fnWriteStdProductCsvComp3D(p.get(), "CAPPI", "XX", 3, 0.5f, missing.c_str()), 0);
    EXPECT_EQ(rdrtest::directoryNames(dir.path().string()), std::set<std::string>{"c3d.zip"});
}

TEST(CsvSite3D, LevelsFromTheNorthAtTheRadar) {
    rdrtest::TempDir dir;
    auto p = compositeProduct("CAPPI", "XX", 2, 2, 0.5f, 2,
                              [](int k, int r, int c) { return k + 0.125f * (2 * r + c); });
    p->m_product_hdr.m_dLat = 35.5;
    p->m_product_hdr.m_dLon = 127.25;
    const std::string out = dir.file("s3d");
    ASSERT_EQ(fnWriteStdProductCsvSite3D(p.get(), "CAPPI", "XX", 2, 1.0f, out.c_str()), 1);
    const std::vector<std::string> expected = {
        "xdim=2",
        "ydim=2",
        "zdim=2",
        "lat=35.500000",
        "lon=127.250000",
        "xy_grid_km=0.500000",
        "z_grid_km=1.000000",
        "no_echo_val=-9999.000000",
        "out_bound_val=-9998.000000",
        "",
        "0.00,0.12",
        "0.25,0.38",
        "",  // printf rounds half to even on exact binary halves
        "1.00,1.12",
        "1.25,1.38",
        ""};
    EXPECT_EQ(crlfLines(unzipped(out + ".zip")), expected);
}

// A site product of two PPI elevations with DZ and VR, and one CAPPI at each height.
rdr::StdProductPtr siteProduct(const std::vector<double>& cappiKm) {
    rdr::StdProductPtr p(fnInitStdProduct(2, 2, static_cast<int>(cappiKm.size()), 1, 0, 0, 0));
    STD_PRODUCT_HDR& h = p->m_product_hdr;
    p->m_iStdProductType = STD_EN_PRODUCT_SITE;
    h.m_lXsize = 3;
    h.m_lYsize = 2;
    h.m_dXscale = h.m_dYscale = 1.0;
    h.m_dLat = 37.5;
    h.m_dLon = 126.75;
    const std::vector<float> grid = {1.5f, 2.5f, -9999.0f, 4.0f, -9998.0f, 6.25f};
    for (int e = 0; e < 2; ++e) {
        EXPECT_EQ(fnAddStdProductToData(p.get(), "PPI", e, 0.5 + e, 0, "DZ", grid.data(), 2, 3), 1);
        EXPECT_EQ(fnAddStdProductToData(p.get(), "PPI", e, 0.5 + e, 0, "VR", grid.data(), 2, 3), 1);
    }
    for (size_t k = 0; k < cappiKm.size(); ++k) {
        EXPECT_EQ(fnAddStdProductToData(p.get(), "CAPPI", static_cast<int>(k), cappiKm[k], 0, "RN",
                                        grid.data(), 2, 3),
                  1);
    }
    EXPECT_EQ(fnAddStdProductToData(p.get(), "BASE", 0, 0, 0, "RN", grid.data(), 2, 3), 1);
    return p;
}

TEST(CsvSite, OneTextPerDatasetAndFieldInOneArchive) {
    rdrtest::TempDir dir;
    auto p = siteProduct({1.5, 2.3});
    const std::string out = dir.file("site");
    const std::string format = dir.file("KWK_%s_%03d.csv");
    ASSERT_EQ(fnWriteStdProductCsvSite(p.get(), "PPI", format.c_str(), out.c_str()), 1);
    EXPECT_EQ(rdrtest::zipEntryNames(out + ".zip"),
              (std::vector<std::string>{"KWK_DZ_000.csv", "KWK_VR_000.csv", "KWK_DZ_001.csv",
                                        "KWK_VR_001.csv"}));
    EXPECT_EQ(rdrtest::directoryNames(dir.path().string()), std::set<std::string>{"site.zip"});
    const std::string dz1 = rdrtest::programOutput({"unzip", "-p", out + ".zip", "KWK_DZ_001.csv"});
    const std::vector<std::string> expected = {
        "product=PPI",
        "data_type=DZ",
        "xdim=3",
        "ydim=2",
        "lat=37.500000",
        "lon=126.750000",
        "grid=1.000000",
        "no_echo_val=-9999.000000",
        "out_bound_val=-9998.000000",
        "",
        "1.00,2.00,-9999.00",
        "4.00,-9998.00,6.00"};  // row 0 first; DZ stored in whole dBZ
    EXPECT_EQ(crlfLines(dz1), expected);

    ASSERT_EQ(fnWriteStdProductCsvSite(p.get(), "CAPPI", "c_%s_%d.csv", out.c_str()), 1);
    EXPECT_EQ(rdrtest::zipEntryNames(out + ".zip"),
              (std::vector<std::string>{"c_RN_15.csv", "c_RN_23.csv"}));  // 2.3 km is 23
    const auto rn = crlfLines(rdrtest::programOutput({"unzip", "-p", out + ".zip", "c_RN_15.csv"}));
    EXPECT_EQ(rn.back(), "4.00,-9998.00,6.25");  // RN is stored as float
    ASSERT_EQ(fnWriteStdProductCsvSite(p.get(), "BASE", "%%base_%s.csv", out.c_str()), 1);
    EXPECT_EQ(rdrtest::zipEntryNames(out + ".zip"), std::vector<std::string>{"%base_RN.csv"});
}

TEST(CsvSite, FormatsThatWouldReadMissingArgumentsAreRefused) {
    rdrtest::TempDir dir;
    auto p = siteProduct({1.5});
    const std::string out = dir.file("site");
    for (const char* bad :
         {"%s_%n.csv", "%d_%s.csv", "%s_%s.csv", "%s_%d_%d.csv", "%s_%*d.csv", "%s_%ld.csv",
          "%s_%f.csv", "%s_%1000d.csv", "%x.csv", "plain.csv", "%s_%p"}) {
        EXPECT_EQ(fnWriteStdProductCsvSite(p.get(), "PPI", bad, out.c_str()), 0) << bad;
    }
    // No number for the other families.
    EXPECT_EQ(fnWriteStdProductCsvSite(p.get(), "BASE", "%s_%d.csv", out.c_str()), 0);
    EXPECT_TRUE(rdrtest::directoryNames(dir.path().string()).empty());
}

TEST(CsvSite, ARepeatedNameFailsTheCallButTheOthersAreArchived) {
    rdrtest::TempDir dir;
    auto p = siteProduct({1.5});
    const std::string out = dir.file("site");
    // No number: both elevations would be named alike, and the second must not replace the
    // first unnoticed.
    EXPECT_EQ(fnWriteStdProductCsvSite(p.get(), "PPI", "ppi_%s.csv", out.c_str()), 0);
    EXPECT_EQ(rdrtest::zipEntryNames(out + ".zip"),
              (std::vector<std::string>{"ppi_DZ.csv", "ppi_VR.csv"}));
}

TEST(CsvSite, GridsOutsideAContainerKeepTheirPrecision) {
    rdrtest::TempDir dir;
    auto p = siteProduct({1.5});
    const std::vector<float> cells = {23.75f, -9999.0f, 0.5f, -9998.0f, 1.005f, -3.25f};
    const std::string out = dir.file("full");
    const std::vector<CsvSiteGrid> grids = {{"DZ", 3, 0.5, cells.data()}};
    ASSERT_EQ(writeCsvSiteGrids(p->m_product_hdr, "PPI", grids, "f_%s_%02d.csv", out.c_str()), 1);
    EXPECT_EQ(rdrtest::zipEntryNames(out + ".zip"), std::vector<std::string>{"f_DZ_03.csv"});
    auto lines = crlfLines(unzipped(out + ".zip"));
    ASSERT_EQ(lines.size(), 12u);
    EXPECT_EQ(lines[10], "23.75,-9999.00,0.50");  // the container would keep 23
    EXPECT_EQ(lines[11], "-9998.00,1.00,-3.25");

    ASSERT_EQ(
        writeCsvSite3DGrids(p->m_product_hdr, {cells.data(), cells.data()}, 0.5f, out.c_str()), 1);
    lines = crlfLines(unzipped(out + ".zip"));
    ASSERT_EQ(lines.size(), 10u + 3 + 3);
    EXPECT_EQ(lines[2], "zdim=2");
    EXPECT_EQ(lines[13], "23.75,-9999.00,0.50");
    EXPECT_EQ(writeCsvSite3DGrids(p->m_product_hdr, {cells.data(), nullptr}, 0.5f, out.c_str()), 0);
}

TEST(CsvArchives, AHostileNameIsWrittenAsNamedAndNothingRuns) {
    rdrtest::TempDir dir;
    auto p = compositeProduct("CMAX", "CMAX", 3, 4, 1.0f, 1, smallCell);
    const std::string out = dir.file(rdrtest::hostileName());
    ASSERT_EQ(fnWriteStdProductCsvComp240(p.get(), "CMAX", "CMAX", out.c_str()), 1);
    EXPECT_EQ(rdrtest::directoryNames(dir.path().string()),
              std::set<std::string>{rdrtest::hostileName() + ".zip"});
    EXPECT_EQ(rdrtest::zipEntryNames(out + ".zip"),
              std::vector<std::string>{rdrtest::hostileName()});
    EXPECT_EQ(crlfLines(unzipped(out + ".zip")).back(), "0,1,2,3");
    auto site = siteProduct({1.5});
    ASSERT_EQ(fnWriteStdProductCsvSite(site.get(), "CAPPI", "$(touch ran);`touch ran` %s_%d",
                                       out.c_str()),
              1);
    EXPECT_EQ(rdrtest::zipEntryNames(out + ".zip"),
              std::vector<std::string>{"$(touch ran);`touch ran` RN_15"});
    EXPECT_EQ(rdrtest::directoryNames(dir.path().string()).size(), 1u);
    EXPECT_FALSE(std::filesystem::exists("ran"));
}

TEST(CsvArchives, AFailedWriteKeepsTheOldArchiveAndLeavesNoTemporary) {
    rdrtest::TempDir dir;
    // A large grid of varied values, so that the archive outgrows the size limit.
    auto p = compositeProduct("CMAX", "XX", 400, 400, 1.0f, 1, [](int, int r, int c) {
        return static_cast<float>((r * 7919 + c * 104729) % 100000) / 100.0f;
    });
    const std::string out = dir.file("kcj");
    { std::ofstream(out + ".zip") << "old archive"; }
    rdrtest::withFileSizeLimit(50000, [&] {
        EXPECT_EQ(fnWriteStdProductCsvCompKCJ(p.get(), "CMAX", "XX", out.c_str()), 0);
    });
    std::ifstream in(out + ".zip");
    const std::string kept((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(kept, "old archive");
    EXPECT_EQ(rdrtest::directoryNames(dir.path().string()), std::set<std::string>{"kcj.zip"});
    // A folder the archive cannot be made in; a missing family or field.
    const std::string nowhere = dir.file("missing/kcj");
    EXPECT_EQ(fnWriteStdProductCsvCompKCJ(p.get(), "CMAX", "XX", nowhere.c_str()), 0);
    EXPECT_EQ(fnWriteStdProductCsvCompKCJ(p.get(), "PPI", "XX", out.c_str()), 0);
    EXPECT_EQ(fnWriteStdProductCsvComp480(p.get(), "CMAX", "DZ", out.c_str()), 0);
    EXPECT_EQ(fnWriteStdProductCsvSite(p.get(), "PPI", "%s", out.c_str()), 0);
    EXPECT_EQ(rdrtest::directoryNames(dir.path().string()), std::set<std::string>{"kcj.zip"});
}

}  // namespace
