// Analysis-file reading: header checks, the grids of every product and the type rules.
#include <cstring>
#include <string>
#include <vector>

#include "analysis_file.h"
#include "map_window.h"
#include "pv_test_env.h"

namespace {

using pvtest::PvTest;

TEST(TypeRules, DecodeBothNibblesPerProduct) {
    // a = AWS type (low nibble), r = radar type (high nibble).
    EXPECT_EQ(pv_type_rule("RNEX", 0x21), 3);
    EXPECT_EQ(pv_type_rule("RNSN", 0x21), 2);
    EXPECT_EQ(pv_type_rule("RNSN1", 0x21), 1);
    EXPECT_EQ(pv_type_rule("RNSN2", 0x21), 2);
    EXPECT_EQ(pv_type_rule("RNEX", 0x02), 2);
    EXPECT_EQ(pv_type_rule("RNSN", 0x02), 2);
    EXPECT_EQ(pv_type_rule("RNSN1", 0x02), 2);
    EXPECT_EQ(pv_type_rule("RNSN2", 0x02), 0);
    EXPECT_EQ(pv_type_rule("RNEX", 0x33), 4);
    EXPECT_EQ(pv_type_rule("RNEX", 0x11), 1);
    EXPECT_EQ(pv_type_rule("RNEX", 0x01), 0);
    EXPECT_EQ(pv_type_rule("RNSN", 0x40), 4);
    EXPECT_EQ(pv_type_rule("RNSN", 0x11), 1);
    EXPECT_EQ(pv_type_rule("RNSN1", 0x43), 4);
    EXPECT_EQ(pv_type_rule("RNSN1", 0x40), 4);
}

class Reader : public PvTest {
  protected:
    void write(const pvtest::AnalysisGrids& g, long truncate_to = 0) {
        pvtest::writeAnalysis(root_, 2024, 7, 1, 6, 0, g, truncate_to);
        std::snprintf(var.fname, sizeof var.fname, "%s",
                      pvtest::analysisPath(root_, 2024, 7, 1, 6, 0).c_str());
    }
    pvtest::AnalysisGrids small() {
        pvtest::AnalysisGrids g;
        g.nx = 5;
        g.ny = 3;
        g.map_code = 2;
        g.type = [](int x, int y) { return static_cast<uint8_t>(x == 1 && y == 2 ? 0x21 : 0x02); };
        g.area = [](int x, int y) { return static_cast<uint8_t>(x + y); };
        g.tw = [](int x, int) { return static_cast<int16_t>(x == 0 ? -10000 : 20000 + x); };
        g.hsr = [](int x, int y) { return static_cast<int16_t>(y == 0 ? 150 : x * 100); };
        g.rn15x = [](int x, int y) { return static_cast<int16_t>(x == 4 ? -30000 : 10 * y); };
        return g;
    }
};

TEST_F(Reader, EveryProductReadsItsOwnGrid) {
    write(small());
    request("TW", "KM", 600);
    ASSERT_EQ(rdr_sfc_pty_get(), 0);
    EXPECT_EQ(rdr_cmp_head.nx, 5);
    EXPECT_EQ(rdr_cmp_head.ny, 3);
    EXPECT_EQ(rdr_cmp_head.map_code, 2);
    EXPECT_EQ(rdr_cmp_head.dxy, 1000);
    EXPECT_EQ(rdr_cmp_head.tm.YY, 2024);
    EXPECT_EQ(var.NX, 800);  // the window comes with the read
    EXPECT_EQ(var.SY, 700);
    EXPECT_NEAR(data[1][2], 0.02f, 1e-4);
    EXPECT_LE(data[0][0], kNoValue);

    std::strcpy(var.obs, "HSR");
    ASSERT_EQ(rdr_sfc_pty_get(), 0);
    EXPECT_NEAR(data[0][3], 1.5f, 1e-5);
    EXPECT_NEAR(data[2][3], 3.0f, 1e-5);

    std::strcpy(var.obs, "RN15X");
    ASSERT_EQ(rdr_sfc_pty_get(), 0);
    EXPECT_NEAR(data[2][1], 0.2f, 1e-5);
    EXPECT_LE(data[1][4], kNoValue);

    std::strcpy(var.obs, "AREA");
    ASSERT_EQ(rdr_sfc_pty_get(), 0);
    EXPECT_EQ(pty[2][4], 6);

    for (const char* obs : {"RNEX", "RNSN", "RNSN1", "RNSN2"}) {
        std::strcpy(var.obs, obs);
        ASSERT_EQ(rdr_sfc_pty_get(), 0) << obs;
        EXPECT_EQ(pty[2][1], pv_type_rule(obs, 0x21)) << obs;
        EXPECT_EQ(pty[0][0], pv_type_rule(obs, 0x02)) << obs;
    }
}

TEST_F(Reader, RefusesShortFilesAndImpossibleHeaders) {
    request("RN15X", "KM", 600);
    write(small(), 64 + 5 * 3 * 8 - 1);  // the last value cut
    EXPECT_EQ(rdr_sfc_pty_get(), -3);
    write(small(), 40);  // not even a header
    EXPECT_EQ(rdr_sfc_pty_get(), -3);
    std::strcpy(var.obs, "RNSN");
    write(small(), 64 + 14);
    EXPECT_EQ(rdr_sfc_pty_get(), -3);

    pvtest::AnalysisGrids g = small();
    g.dxy = 0;  // would divide the window by zero
    write(g);
    EXPECT_EQ(rdr_sfc_pty_get(), -2);
    std::vector<unsigned char> head(64 + 4096, 0);
    head[20] = 0xfc;  // nx = -4
    head[21] = 0xff;
    head[22] = 3;
    head[26] = 0xe8;  // dxy = 1000
    head[27] = 0x03;
    pvtest::writeGzip(var.fname, head);
    EXPECT_EQ(rdr_sfc_pty_get(), -2);
    head[20] = 0x01;  // nx = 4097: larger than any grid served
    head[21] = 0x10;
    pvtest::writeGzip(var.fname, head);
    EXPECT_EQ(rdr_sfc_pty_get(), -2);

    pvtest::writeFile(var.fname, std::string(500, 'z'));  // not gzip: read as it stands, too short
    EXPECT_LT(rdr_sfc_pty_get(), 0);
    var.fname[0] = '\0';
    EXPECT_EQ(rdr_sfc_pty_get(), -1);
}

TEST_F(Reader, MapWindowTable) {
    int nx = 0, ny = 0, sx = 0, sy = 0;
    EXPECT_EQ(grid_map_inf("KM", &nx, &ny, &sx, &sy), 0);
    EXPECT_EQ(nx * 10000 + ny, 800 * 10000 + 1000);
    EXPECT_EQ(sx * 10000 + sy, 400 * 10000 + 700);
    nx = ny = sx = sy = 0;
    EXPECT_EQ(grid_map_inf("K", &nx, &ny, &sx, &sy), 1);  // names match whole
    EXPECT_EQ(grid_map_inf("# test windows\n", &nx, &ny, &sx, &sy), 1);
    EXPECT_EQ(nx + ny + sx + sy, 0);
    pvtest::writeMapTable(root_, "A:10:10\nB:x:1:1:1\nC:10:10:1:1:extra\n");
    EXPECT_EQ(grid_map_inf("A", &nx, &ny, &sx, &sy), 1);
    EXPECT_EQ(grid_map_inf("B", &nx, &ny, &sx, &sy), 1);
    EXPECT_EQ(grid_map_inf("C", &nx, &ny, &sx, &sy), 0);
    std::remove((root_ + "/rdr/REF/MAP/map.ini").c_str());
    EXPECT_EQ(grid_map_inf("C", &nx, &ny, &sx, &sy), -1);
}

}  // namespace
