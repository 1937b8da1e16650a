// The drawn image: geometry, palette and classes, layers, legend and title.
#include <cstring>
#include <memory>
#include <string>

#include "analysis_file.h"
#include "image_layers.h"
#include "map_window.h"
#include "owned_handle.h"
#include "pv_test_env.h"
#include "time_seq.h"

namespace {

using pvtest::PvTest;
using pvtest::rgbAt;

using ImageDeleter = rdr::ReleaseWith<gdImageDestroy>;
using Image = std::unique_ptr<gdImage, ImageDeleter>;

constexpr int kWhite = 0xffffff;
constexpr int kBackground = 0xb4b4b4;

class Drawing : public PvTest {
  protected:
    // Serves one request against a grid written for it (HR window, 1 km cells, origin code 1).
    Image draw(const char* obs, const pvtest::AnalysisGrids& g, int size = 576) {
        request(obs, "HR", size);
        var.seq = time2seq(2024, 7, 1, 6, 0, 'm');
        pvtest::writeAnalysis(root_, 2024, 7, 1, 6, 0, g);
        std::snprintf(var.fname, sizeof var.fname, "%s",
                      pvtest::analysisPath(root_, 2024, 7, 1, 6, 0).c_str());
        EXPECT_EQ(rdr_sfc_pty_get(), 0);
        if (std::strcmp(obs, "HSR") == 0 || std::strcmp(obs, "RN15X") == 0) {
            std::strcpy(var.obs, "RNSN");
            EXPECT_EQ(rdr_sfc_pty_get(), 0);
            std::strcpy(var.obs, obs);
        }
        return Image(pv_draw_image());
    }
    // Image row of a map-area row counted from the bottom.
    int row(int j) const { return var.GJ - j; }

    // Columns of the 1152 x 1440 grid in three bands of 384 cells; 2 cells per pixel at 576.
    static pvtest::AnalysisGrids bands(int16_t west, int16_t middle, int16_t east, uint8_t type) {
        pvtest::AnalysisGrids g;
        g.type = [type](int, int) { return type; };
        g.area = [](int, int) { return uint8_t{0}; };
        g.tw = [](int, int) { return int16_t{20000}; };
        g.hsr = [=](int x, int) { return x < 384 ? west : (x < 768 ? middle : east); };
        g.rn15x = g.hsr;
        return g;
    }
};

TEST_F(Drawing, ImageGeometryFollowsSizeWindowAndLegend) {
    request("RNSN", "KM", 600);
    ASSERT_EQ(grid_map_inf("KM", &var.NX, &var.NY, &var.SX, &var.SY), 0);
    Image im(pv_draw_image());
    ASSERT_TRUE(im);
    EXPECT_EQ(gdImageSX(im.get()), 635);
    EXPECT_EQ(gdImageSY(im.get()), 770);
    EXPECT_EQ(var.NJ, 750);
    var.legend = 0;
    Image plain(pv_draw_image());
    EXPECT_EQ(gdImageSX(plain.get()), 600);
    EXPECT_EQ(gdImageSY(plain.get()), 770);
    var.NX = 0;
    EXPECT_EQ(pv_draw_image(), nullptr);
}

TEST_F(Drawing, ValueClassesTakeTheFirstLevelNotBelowTheValue) {
    // 0.1 is exactly the second level, 60 lies above every level, 0 is rain-free snow.
    Image im = draw("HSR", bands(10, 6000, 0, 0x44));
    ASSERT_TRUE(im);
    const int j = row(300);
    EXPECT_EQ(rgbAt(im.get(), 96, j), 0x00c8ff);
    EXPECT_EQ(rgbAt(im.get(), 288, j), 0xff0000);
    EXPECT_EQ(rgbAt(im.get(), 480, j), 0x00c8ff);  // rnexdisp 1: the second colour
    EXPECT_EQ(rgbAt(im.get(), 0, j), 0x1e1e1e);    // frame
    var.rnexdisp = 2;
    Image im2(pv_draw_image());
    EXPECT_EQ(rgbAt(im2.get(), 480, j), 0x3939d1);
    var.rnexdisp = 0;
    Image im0(pv_draw_image());
    EXPECT_EQ(rgbAt(im0.get(), 480, j), 0xfafafa);
}

TEST_F(Drawing, NoDataAndCellsOutsideTheGridStayBackground) {
    pvtest::AnalysisGrids g = bands(-30000, 100, 100, 0x11);
    g.nx = 1000;  // the window runs past the grid's east edge
    Image im = draw("RN15X", g);
    ASSERT_TRUE(im);
    EXPECT_EQ(rgbAt(im.get(), 96, row(300)), kBackground);
    EXPECT_EQ(rgbAt(im.get(), 300, row(300)), 0x004af5);  // 1.0 mm/h
    EXPECT_EQ(rgbAt(im.get(), 560, row(300)), kBackground);
}

TEST_F(Drawing, BilinearBlendsFourCellsAndSkipsNoData) {
    pvtest::AnalysisGrids g = bands(0, 0, 0, 0x11);
    g.hsr = [](int x, int) { return static_cast<int16_t>(x % 2 == 0 ? 0 : 1800); };
    Image nearest = draw("HSR", g);
    ASSERT_TRUE(nearest);
    EXPECT_EQ(rgbAt(nearest.get(), 100, row(300)), 0xfafafa);  // even cells only: 0
    var.griddisp = 1;
    var.zoom_level = 1;
    std::strcpy(var.zoom_x, "11");
    std::strcpy(var.zoom_y, "11");  // half a cell per pixel: between two cells 9.0
    Image blend(pv_draw_image());
    EXPECT_EQ(rgbAt(blend.get(), 101, row(300)), 0xffff00);
}

TEST_F(Drawing, WetBulbScaleShiftsToTheMonthsLowerBound) {
    request("TW", "HR", 576);
    int lvl[256];
    float levels[256];
    Image im(gdImageCreate(10, 10));
    var.seq = time2seq(2024, 7, 15, 0, 0, 'm');
    color_table(im.get(), lvl, levels);
    EXPECT_EQ(var.num_color, 3);
    EXPECT_FLOAT_EQ(levels[0], 11.0f);
    EXPECT_FLOAT_EQ(levels[2], 13.0f);
    Image im2(gdImageCreate(10, 10));
    var.seq = time2seq(2024, 1, 15, 0, 0, 'm');
    color_table(im2.get(), lvl, levels);
    EXPECT_FLOAT_EQ(levels[0], -14.0f);
    EXPECT_FLOAT_EQ(levels[150] + levels[153], 5001.0f);
}

TEST_F(Drawing, TypeLegendRunsFromNothingAtTheBottomAndTitleStripIsDrawn) {
    Image im = draw("RNSN", bands(0, 0, 0, 0x41));  // a = 1, r = 4: snow
    ASSERT_TRUE(im);
    EXPECT_EQ(rgbAt(im.get(), 300, row(300)), 0xff66ff);
    const int x = var.NI + 4;
    EXPECT_EQ(rgbAt(im.get(), x, var.GJ - 5), kWhite);  // "없음"
    EXPECT_EQ(rgbAt(im.get(), x, 25), 0xff66ff);        // "눈"
    EXPECT_EQ(rgbAt(im.get(), x, 20 + 720 / 4 + 90), 0x66ffff);
    EXPECT_EQ(rgbAt(im.get(), 2, 2), kWhite);
    int blue = 0, black = 0;
    for (int y = 0; y < 20; y++) {
        for (int i = 0; i < 300; i++) {
            blue += rgbAt(im.get(), i, y) == 0x0000ff;
            black += rgbAt(im.get(), i, y) == 0x000000;
        }
    }
    EXPECT_GT(blue, 40) << "Korean title drawn in the TrueType font";
    EXPECT_GT(black, 40) << "time in the built-in font";
}

TEST_F(Drawing, MissingScaleShowsNoColourLevelWithoutLegend) {
    std::remove((root_ + "/rdr/REF/COLOR/color_rn_echo.rgb").c_str());
    Image im = draw("HSR", bands(100, 100, 100, 0x11));
    ASSERT_TRUE(im);
    EXPECT_EQ(var.num_color, 0);
    EXPECT_EQ(rgbAt(im.get(), 300, row(300)), kBackground);
    EXPECT_EQ(rgbAt(im.get(), var.NI + 4, var.GJ - 60), kBackground);
    int black = 0;
    for (int y = 100; y < 116; y++) {
        for (int i = 100; i < 220; i++) {
            black += rgbAt(im.get(), i, y) == 0;
        }
    }
    EXPECT_GT(black, 50);
}

TEST_F(Drawing, TopographyPaintsOnlyTheFirstColourByHeightClass) {
    pvtest::writeTopography(root_, [](int col, int) { return int16_t(col < 560 ? 500 : 3000); });
    pvtest::AnalysisGrids g = bands(0, 0, 0, 0x11);
    g.type = [](int, int y) { return uint8_t(y < 720 ? 0x11 : 0x22); };  // none / rain
    std::strcpy(var.gis, "T");
    Image im = draw("RNSN", g);
    ASSERT_TRUE(im);
    EXPECT_EQ(rgbAt(im.get(), 100, row(100)), 0xf0f0e1);  // 50 m
    EXPECT_EQ(rgbAt(im.get(), 400, row(100)), 0xaaaaaa);  // 300 m
    EXPECT_EQ(rgbAt(im.get(), 400, row(600)), 0x3366ff);  // rain stays
}

TEST_F(Drawing, ZoomPathMovesByEighthsOfTheCurrentExtent) {
    var.zoom_level = 1;
    var.zoom_rate = 2;
    std::strcpy(var.zoom_x, "12");
    std::strcpy(var.zoom_y, "21");
    ZoomPath z = pv_zoom_path(800, 1000, 0, 0, false);
    EXPECT_FLOAT_EQ(z.xo, 50.0f);
    EXPECT_FLOAT_EQ(z.yo, 125.0f);
    EXPECT_FLOAT_EQ(z.zm, 4.0f);
    std::strcpy(var.zoom_x, "3");  // shorter text ends the path
    z = pv_zoom_path(800, 1000, 0, 0, false);
    EXPECT_FLOAT_EQ(z.zm, 2.0f);
    std::strcpy(var.zoom_x, "99999999");
    std::strcpy(var.zoom_y, "20999999");
    var.zoom_rate = 3;
    z = pv_zoom_path(900, 900, 0, 0, false);  // rate 3: the 0 ends it after one step
    EXPECT_FLOAT_EQ(z.xo, 800.0f);
    EXPECT_FLOAT_EQ(z.zm, 3.0f);
    z = pv_zoom_path(800, 800, 0, 0, true);  // section line: always rate 2
    EXPECT_FLOAT_EQ(z.zm, 2.0f);
    var.zoom_rate = 5;
    EXPECT_FLOAT_EQ(pv_zoom_path(800, 800, 0, 0, false).zm, 1.0f);
}

TEST_F(Drawing, MapLinesThickenWithImageSizeAndSectionLineIsMarked) {
    pvtest::writeMapLines(root_, "KM", 4, "2 1\n10.0 500.0\n790.0 500.0\n");
    pvtest::writeMapLines(root_, "KM", 1, "2 1\n10.0 250.0\n790.0 250.0\n");
    auto lineRows = [&](int size, int y_km) {
        request("RNSN", "KM", size);
        var.zoom_level = 2;
        grid_map_inf("KM", &var.NX, &var.NY, &var.SX, &var.SY);
        Image im(pv_draw_image());
        int py = var.GJ - static_cast<int>(y_km * static_cast<float>(size) / 800.0f);
        int n = 0;
        for (int y = py - 2; y <= py + 2; y++) {
            int c = rgbAt(im.get(), size / 2, y);
            n += (c == 0x000000 || c == 0x6e6e6e);
        }
        return n;
    };
    EXPECT_EQ(lineRows(450, 500), 1);
    EXPECT_EQ(lineRows(500, 500), 2);  // kind 4 thick from 451
    EXPECT_EQ(lineRows(500, 250), 1);  // kind 1 thick only from 601
    EXPECT_EQ(lineRows(601, 250), 2);

    request("RNSN", "KM", 400);
    grid_map_inf("KM", &var.NX, &var.NY, &var.SX, &var.SY);
    var.x1 = 200;
    var.y1 = 200;
    var.x2 = 600;
    var.y2 = 800;
    Image im(pv_draw_image());
    EXPECT_EQ(rgbAt(im.get(), 100, var.GJ - 100), 0xff00ac);
    EXPECT_EQ(rgbAt(im.get(), 300, var.GJ - 400), 0xff00ac);
}

}  // namespace
