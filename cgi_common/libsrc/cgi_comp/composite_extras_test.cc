#include "composite_extras.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "composite_image_data.h"
#include "display_projections.h"
#include "display_utilities.h"
#include "owned_handle.h"
#include "testing/composite_draw_support.h"

namespace {

using comp_test::CompRoot;
using comp_test::Grid;
using comp_test::ImagePtr;

std::string title(const char* product, const char* quality, const char* unit, const char* date,
                  int flag, const char* forecast = nullptr) {
    char buf[256];
    if (!compTitleText(product, quality, unit, date, flag, forecast, buf, sizeof buf)) {
        return "<refused>";
    }
    return buf;
}

ImagePtr transparentImage(int w, int h) {
    ImagePtr img(gdImageCreateTrueColor(w, h));
    gdImageSaveAlpha(img.get(), 1);
    gdImageAlphaBlending(img.get(), 0);
    gdImageFilledRectangle(img.get(), 0, 0, w - 1, h - 1,
                           gdTrueColorAlpha(0, 0, 0, gdAlphaTransparent));
    gdImageAlphaBlending(img.get(), 1);
    return img;
}

// Leftmost column of a visible pixel in rows y0..y1, or -1.
int leftmostVisible(gdImagePtr img, int y0, int y1) {
    for (int x = 0; x < gdImageSX(img); ++x) {
        if (comp_test::countVisible(img, x, y0, x, y1) > 0) {
            return x;
        }
    }
    return -1;
}
int rightmostVisible(gdImagePtr img, int y0, int y1) {
    for (int x = gdImageSX(img) - 1; x >= 0; --x) {
        if (comp_test::countVisible(img, x, y0, x, y1) > 0) {
            return x;
        }
    }
    return -1;
}

TEST(CompTitles, TextByKindWithQualityNamesAndForcedUnits) {
    const char* date = "202407011350";
    EXPECT_EQ(title("ETOP", "CHAFFQC", "RN", date, 1), "ETOP Chaff(CZ) 2024.07.01. 13:50(KST)");
    EXPECT_EQ(title("VIL", "NOQC", "CZ", date, 1), "VIL NoQC(RN) 2024.07.01. 13:50(KST)");
    EXPECT_EQ(title("CAPPI", "FUZZYQC", "SN", date, 1),
              "CAPPI Fuzzy(SN) 2024.07.01. 13:50(KST) Rain Rate");
    EXPECT_EQ(title("CAPPI", "ORPGQC", "RN", date, 1),
              "CAPPI ORPG(RN) 2024.07.01. 13:50(KST) Rain Rate");
    EXPECT_EQ(title("", "", "RN", date, 0), "PPI0(RN) 2024.07.01. 13:50(KST) Rain Rate");
    EXPECT_EQ(title("", "", "CZ", date, 2), "PPI0(CZ) 480km Rainrate 2024.07.01. 13:50(KST)");
    EXPECT_EQ(title("", "", "RN", date, 3), "PPI0 Fuzzy(RN) 2024.07.01. 13:50(KST) Rain Rate");
    EXPECT_EQ(title("", "", "RN", date, 4), "PPI0 NoQC(RN) 2024.07.01. 13:50(KST) Rain Rate");
    EXPECT_EQ(title("", "", "RN", date, 6), "PPI0 ORPG(RN) 2024.07.01. 13:50(KST) Rain Rate");
    EXPECT_EQ(title("VSRF", nullptr, "RN", date, 5, "202407011200"),
              "VSRF(RN) 1km 2024.07.01. 13:50(KST) Rain Rate  Forecast Time = 2024.07.01. 12:00");
    EXPECT_EQ(title("MAPLE", nullptr, "RN", date, 5, "202407011200"),
              "MAPLE(RN) 2024.07.01. 13:50(KST) Rain Rate  Forecast Time = 2024.07.01. 12:00");
}

TEST(CompTitles, DatesThatAreNotTwelveDigitsOfARealTimeAreRefused) {
    // A short date once read past its end; a malformed one printed garbage.
    for (const char* bad : {"2024070113", "20240701135", "2024070113500", "20241301135x",
                            "202402301200", "202407012460", "", "２０２４"}) {
        EXPECT_EQ(title("", "", "RN", bad, 0), "<refused>") << bad;
    }
    EXPECT_EQ(title("", "", "RN", nullptr, 0), "<refused>");
    EXPECT_EQ(title("VSRF", "", "RN", "202407011350", 5, "2024"), "<refused>");
    EXPECT_EQ(title("", "", "RN", "202407011350", 7), "<refused>");
    EXPECT_EQ(title("", "", "RN", "202402291200", 0), "PPI0(RN) 2024.02.29. 12:00(KST) Rain Rate");
}

TEST(CompTitles, TitleIsCentredAndTheImageStaysTheCallersOnFailure) {
    CompRoot root;
    ImagePtr img = transparentImage(400, 120);
    ASSERT_EQ(
        fnImgTopTextDisp(img.get(), "VSRF", nullptr, "RN", "202407011350", 400, 5, "202407011200"),
        0);
    const int left = leftmostVisible(img.get(), 0, 25);
    const int right = rightmostVisible(img.get(), 0, 25);
    ASSERT_GE(left, 0);
    EXPECT_NEAR((left + right) / 2.0, 200.0, 3.0);
    EXPECT_EQ(comp_test::countVisible(img.get(), 0, 26, 399, 119), 0);
    EXPECT_GT(comp_test::pixelsOf(img.get(), 0, 50, 255).size(), 50u) << "forecast titles are blue";

    // Bad input and a missing font answer -1 and leave the image usable (and ours to free).
    EXPECT_EQ(fnImgTopTextDisp(img.get(), "CAPPI", "NOQC", "RN", "2024", 400, 1, nullptr), -1);
    EXPECT_EQ(fnImgTopTextDisp(nullptr, "CAPPI", "NOQC", "RN", "202407011350", 400, 1, nullptr),
              -1);
    {
        CompRoot noFonts(false);
        EXPECT_EQ(
            fnImgTopTextDisp(img.get(), "CAPPI", "NOQC", "RN", "202407011350", 400, 1, nullptr),
            -1);
        EXPECT_EQ(fnVsrfMapleContentDisp(400, 120, img.get(), "202407011350", "202407011200"), -1);
    }
    gdImageSetPixel(img.get(), 0, 0, gdTrueColor(1, 2, 3));
    EXPECT_EQ(comp_test::rgbAt(img.get(), 0, 0), 0x010203);
}

TEST(CompTitles, ForecastAndValidTimesStartInOneColumnAtTheBottom) {
    CompRoot root;
    const int h = 200;
    ImagePtr img = transparentImage(400, h);
    ASSERT_EQ(fnVsrfMapleContentDisp(400, h, img.get(), "202407011350", "202407011200"), 0);
    const int forecastLeft = leftmostVisible(img.get(), h - 58, h - 42);
    const int validLeft = leftmostVisible(img.get(), h - 38, h - 22);
    ASSERT_GE(forecastLeft, 0);
    ASSERT_GE(validLeft, 0);
    EXPECT_NEAR(forecastLeft, validLeft, 2);
    const int forecastRight = rightmostVisible(img.get(), h - 58, h - 42);
    EXPECT_NEAR((forecastLeft + forecastRight) / 2.0, 200.0, 3.0);
    EXPECT_EQ(comp_test::countVisible(img.get(), 0, 0, 399, h - 62), 0);
}

// A rain table of three echo levels (blue, green, red) for the legend geometry.
void writeThreeLevels(const CompRoot& root) {
    root.writeColourTable(
        "vyq_rn_tarvo.col",
        {{0, 0, 255, 1.0f, 20.0f}, {0, 255, 0, 12.5f, 30.0f}, {255, 0, 0, 20.0f, 40.0f}});
    root.writeColourTable(
        "vyq_sn_tarvo.col",
        {{0, 0, 255, 0.5f, 20.0f}, {0, 255, 0, 1.0f, 30.0f}, {255, 0, 0, 2.0f, 40.0f}});
}

TEST(CompLegend, ThreeLevelsOnAHundredRowsFollowTheBandRule) {
    CompRoot root;
    writeThreeLevels(root);
    // h = (100 - 26) / 3.5 + 0.2 = 21.34: bands over rows 30-51, 51-72 and 72-94.
    ImagePtr legend(compLevelColorImage("CAPPI", 100, "RN"));
    ASSERT_NE(legend, nullptr);
    ImagePtr img = comp_test::throughPng(legend.get());
    ASSERT_NE(img, nullptr);
    EXPECT_EQ(gdImageSX(img.get()), COMP_LEGEND_WIDTH);
    EXPECT_EQ(gdImageSY(img.get()), 100);
    for (int y = 31; y <= 50; ++y) {
        EXPECT_TRUE(comp_test::isOpaqueRgb(img.get(), 5, y, 255, 0, 0)) << y;
    }
    for (int y = 52; y <= 71; ++y) {
        EXPECT_TRUE(comp_test::isOpaqueRgb(img.get(), 5, y, 0, 255, 0)) << y;
    }
    for (int y = 73; y <= 91; ++y) {
        EXPECT_TRUE(comp_test::isOpaqueRgb(img.get(), 5, y, 0, 0, 255)) << y;
    }
    // The outline stops 2 rows above the last band's end, which still shows below it.
    EXPECT_TRUE(comp_test::isOpaqueRgb(img.get(), 5, 30, 0, 0, 0));
    EXPECT_TRUE(comp_test::isOpaqueRgb(img.get(), 5, 92, 0, 0, 0));
    EXPECT_TRUE(comp_test::isOpaqueRgb(img.get(), 0, 60, 0, 0, 0));
    EXPECT_TRUE(comp_test::isOpaqueRgb(img.get(), 5, 94, 0, 0, 255));
    EXPECT_EQ(comp_test::alphaAt(img.get(), 5, 95), gdAlphaTransparent);
    EXPECT_EQ(comp_test::alphaAt(img.get(), 11, 60), gdAlphaTransparent);

    // Two labels (the thresholds between the three bands), white, from row
    // trunc(i h + h - 6 + 30): "12" (rain column, %.0f from 10 up) then "1.0".
    const auto white = comp_test::pixelsOf(img.get(), 255, 255, 255, 30, 99);
    ASSERT_GT(white.size(), 10u);
    int firstLabelRows = 0;
    int secondLabelRows = 0;
    for (auto [x, y] : white.xy) {
        EXPECT_GE(x, 15);
        firstLabelRows += y >= 45 && y < 45 + 13;
        secondLabelRows += y >= 66 && y < 66 + 13;
        EXPECT_TRUE((y >= 45 && y < 58) || (y >= 66 && y < 79)) << y;
    }
    EXPECT_GT(firstLabelRows, 0);
    EXPECT_GT(secondLabelRows, 0);
    // "1.0" is one character wider than "12".
    EXPECT_GT(rightmostVisible(img.get(), 66, 78), rightmostVisible(img.get(), 45, 57));
    // The title at the top, white.
    EXPECT_GT(comp_test::countVisible(img.get(), 0, 5, 44, 22), 5);
}

TEST(CompLegend, SnowKeepsTheFullOutlineAndTheAnswerIsAPng) {
    CompRoot root;
    writeThreeLevels(root);
    ImagePtr snow(compLevelColorImage("CAPPI", 100, "SN"));
    ASSERT_NE(snow, nullptr);
    EXPECT_TRUE(comp_test::isOpaqueRgb(snow.get(), 5, 94, 0, 0, 0));
    EXPECT_TRUE(comp_test::isOpaqueRgb(snow.get(), 5, 92, 0, 0, 255));

    const std::string answer =
        comp_test::captureStdout([] { EXPECT_EQ(fnCreateLevelColorImg("CAPPI", 100, "RN"), 0); });
    ImagePtr img = comp_test::decodePngAnswer(answer);
    ASSERT_NE(img, nullptr);
    EXPECT_TRUE(comp_test::isOpaqueRgb(img.get(), 5, 40, 255, 0, 0));

    // No table, or a height no image can have: no answer at all.
    EXPECT_EQ(compLevelColorImage("CAPPI", 0, "RN"), nullptr);
    EXPECT_EQ(compLevelColorImage("CAPPI", 100000, "RN"), nullptr);
    std::filesystem::remove(root.path("srv/brem/cgi_project/resource/color/vyq_rn_tarvo.col"));
    EXPECT_TRUE(comp_test::captureStdout([] {
                    EXPECT_EQ(fnCreateLevelColorImg("CAPPI", 100, "RN"), -1);
                }).empty());
}

TEST(CompLegend, MapStripStacksBandsFromTheTopRightOfTheMap) {
    CompRoot root;
    writeThreeLevels(root);
    rdr::MallocPtr<CGI_COLOR_TBL> table(compReadColorTable("CAPPI", "RN"));
    ASSERT_NE(table, nullptr);
    ImagePtr img = transparentImage(200 + 46, 136 + 26);
    int echo[CGI_MAX_ECHO_COLOR];
    int disp[CGI_EN_DISP_COLOR_MAX];
    ASSERT_EQ(fnAllocColorTbl(img.get(), table.get(), echo, disp), 0);
    ASSERT_EQ(fnMapLevelColorDisp(200, 136, "CAPPI", "RN", img.get(), echo, table.get()), 0);
    // h = (136 + 4) / 3.5 + 0.2 = 40.2: bands over rows 0-40, 40-80, 80-120.
    EXPECT_TRUE(comp_test::isOpaqueRgb(img.get(), 205, 20, 255, 0, 0));
    EXPECT_TRUE(comp_test::isOpaqueRgb(img.get(), 205, 60, 0, 255, 0));
    EXPECT_TRUE(comp_test::isOpaqueRgb(img.get(), 205, 100, 0, 0, 255));
    EXPECT_TRUE(comp_test::isOpaqueRgb(img.get(), 205, 120, 51, 51, 51));
    EXPECT_TRUE(comp_test::isOpaqueRgb(img.get(), 205, 130, 255, 255, 255));
    EXPECT_TRUE(comp_test::isOpaqueRgb(img.get(), 240, 5, 255, 255, 255));
    EXPECT_EQ(comp_test::alphaAt(img.get(), 199, 20), gdAlphaTransparent);
    EXPECT_GT(comp_test::pixelsOf(img.get(), 51, 51, 51, 0, 135).size(), 20u);
    EXPECT_EQ(fnMapLevelColorDisp(200, 136, "CAPPI", "RN", nullptr, echo, table.get()), -1);
    EXPECT_EQ(fnLevelColorDisp(100, "CAPPI", "RN", img.get(), echo, nullptr), -1);
}

TEST(CompMapLines, DrawnKindsOnlyAndBrokenCountsStopTheReading) {
    CompRoot root;
    const float nan = std::nanf("");
    // Kind 0 at y = 20 km, kind 3 (not drawn) at y = 40, a single point, kind 8 at y = 60;
    // then a count beyond the file, which ends the reading before the last record.
    root.writeMapWords({2, 0, 10, 20, 90, 20,  //
                        2, 3, 10, 40, 90, 40,  //
                        1, 0, 50, 50,          //
                        3, 8, 10, 60, 50, 60, 90, 60, 1e9f, 0, 10, 70, 90, 70});
    ImagePtr img = transparentImage(100, 100);
    const int line = gdTrueColor(10, 20, 30);
    ASSERT_EQ(fnMapLineDisp(100, img.get(), line, 0.0f, 0.0f, 0, 0, 1.0f), 0);
    EXPECT_TRUE(comp_test::isOpaqueRgb(img.get(), 50, 80, 10, 20, 30));
    EXPECT_TRUE(comp_test::isOpaqueRgb(img.get(), 50, 40, 10, 20, 30));
    EXPECT_EQ(comp_test::pixelsOf(img.get(), 10, 20, 30, 59, 61).size(), 0u) << "kind 3";
    EXPECT_EQ(comp_test::pixelsOf(img.get(), 10, 20, 30, 29, 31).size(), 0u) << "bad count";
    EXPECT_EQ(comp_test::pixelsOf(img.get(), 10, 20, 30).size(), 81u + 81u);

    // Offsets and zoom: x = (x - fXo) * fZm + nMoveX, y = height - (y + fYo) * fZm - nMoveY.
    ImagePtr moved = transparentImage(100, 100);
    root.writeMapWords({2, 1, 10, 20, 20, 20});
    ASSERT_EQ(fnMapLineDisp(100, moved.get(), line, 5.0f, 5.0f, 3, 4, 2.0f), 0);
    EXPECT_TRUE(comp_test::isOpaqueRgb(moved.get(), 13, 46, 10, 20, 30));
    EXPECT_TRUE(comp_test::isOpaqueRgb(moved.get(), 33, 46, 10, 20, 30));
    EXPECT_EQ(comp_test::pixelsOf(moved.get(), 10, 20, 30).size(), 21u);

    // Counts that are not a whole number of points in the file, and a truncated record.
    for (const std::vector<float>& words :
         {std::vector<float>{nan, 0, 1, 1, 2, 2}, std::vector<float>{-2, 0, 1, 1, 2, 2},
          std::vector<float>{1.5f, 0, 1, 1, 2, 2}, std::vector<float>{3, 0, 1, 1, 2, 2},
          std::vector<float>{2}}) {
        ImagePtr other = transparentImage(100, 100);
        root.writeMapWords(words);
        EXPECT_EQ(fnMapLineDisp(100, other.get(), line, 0.0f, 0.0f, 0, 0, 1.0f), 0);
        EXPECT_EQ(comp_test::pixelsOf(other.get(), 10, 20, 30).size(), 0u);
    }
    std::filesystem::remove(root.path("srv/brem/cgi_project/resource/map/map_data.bln"));
    EXPECT_EQ(fnMapLineDisp(100, img.get(), line, 0.0f, 0.0f, 0, 0, 1.0f), 0);
    EXPECT_EQ(fnMapLineDisp(100, nullptr, line, 0.0f, 0.0f, 0, 0, 1.0f), -1);
}

TEST(CompOutOfArea, MarkedPixelsTakeTranslucentBlack) {
    ImagePtr img = transparentImage(4, 3);
    gdImageAlphaBlending(img.get(), 1);
    Grid grid(3, 4, 5.0f);
    grid.at(1, 2) = -9998.0f;
    grid.at(2, 0) = -9998.0f;
    gdImageSetPixel(img.get(), 2, 1, gdTrueColor(200, 200, 200));
    ASSERT_EQ(fnBoundDisp(4, 3, grid.data(), img.get(), -9998.0f), 0);
    EXPECT_EQ(gdImageGetTrueColorPixel(img.get(), 2, 1), gdTrueColorAlpha(0, 0, 0, 100));
    EXPECT_EQ(gdImageGetTrueColorPixel(img.get(), 0, 2), gdTrueColorAlpha(0, 0, 0, 100));
    EXPECT_EQ(comp_test::alphaAt(img.get(), 0, 0), gdAlphaTransparent);
    EXPECT_EQ(img->alphaBlendingFlag, 1);
    EXPECT_EQ(fnBoundDisp(4, 3, nullptr, img.get(), -9998.0f), -1);
    EXPECT_EQ(fnBoundDisp(4, 3, grid.data(), nullptr, -9998.0f), -1);
}

TEST(CompNoData, TransparentMessageImageAndMapImageAnswers) {
    CompRoot root;
    const std::string answer =
        comp_test::captureStdout([] { EXPECT_EQ(fnNoCompDataDisp(600, 400), 0); });
    ImagePtr img = comp_test::decodePngAnswer(answer);
    ASSERT_NE(img, nullptr);
    EXPECT_EQ(gdImageSX(img.get()), 600);
    EXPECT_EQ(gdImageSY(img.get()), 400);
    EXPECT_EQ(comp_test::alphaAt(img.get(), 0, 0), gdAlphaTransparent);
    EXPECT_GT(comp_test::countVisible(img.get(), 0, 180, 599, 205), 100);
    EXPECT_EQ(comp_test::countVisible(img.get(), 0, 0, 599, 170), 0);
    const int left = leftmostVisible(img.get(), 180, 205);
    const int right = rightmostVisible(img.get(), 180, 205);
    EXPECT_NEAR((left + right) / 2.0, 300.0, 3.0);

    writeThreeLevels(root);
    root.writeMapWords({2, 0, 10, 20, 90, 20});
    ImagePtr map(compNoDataMapImage("CAPPI", 300, 200, "RN"));
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(gdImageSX(map.get()), 346);
    EXPECT_EQ(gdImageSY(map.get()), 226);
    EXPECT_TRUE(comp_test::isOpaqueRgb(map.get(), 100, 5, 255, 255, 255));
    // Map lines at 2 pixels per km in the table's line colour (70, 70, 70).
    EXPECT_TRUE(comp_test::isOpaqueRgb(map.get(), 100, 160, 70, 70, 70));
    EXPECT_TRUE(comp_test::isOpaqueRgb(map.get(), 305, 20, 255, 0, 0));
    EXPECT_TRUE(comp_test::isOpaqueRgb(map.get(), 0, 50, 51, 51, 51));
    EXPECT_GT(comp_test::pixelsOf(map.get(), 0, 0, 0, 80, 110).size(), 50u);
    EXPECT_FALSE(comp_test::captureStdout([] {
                     EXPECT_EQ(fnNoCompMapDataDisp("CAPPI", 300, 200, "RN"), 0);
                 }).empty());
}

TEST(CompNoData, NoAnswerWithoutTheFontOrForSizesNoImageCanHave) {
    CompRoot root(false);
    EXPECT_TRUE(
        comp_test::captureStdout([] { EXPECT_EQ(fnNoCompDataDisp(600, 400), -1); }).empty());
    EXPECT_TRUE(comp_test::captureStdout([] {
                    EXPECT_EQ(fnNoCompMapDataDisp("CAPPI", 300, 200, "RN"), -1);
                }).empty());
    CompRoot withFonts;
    for (auto [w, h] : {std::pair{0, 10}, {10, -1}, {5000, 10}}) {
        EXPECT_EQ(compNoDataImage(w, h), nullptr);
        EXPECT_EQ(compNoDataMapImage("CAPPI", w, h, "RN"), nullptr);
    }
}

// A composite of 2 km cells covering the whole composite area (480 x 600 cells), holding v
// everywhere except for missing (-9999) western and out-of-area (-9998) southern strips.
struct Composite {
    static constexpr int kX = 480;
    static constexpr int kY = 600;
    Grid grid;
    explicit Composite(float v) : grid(kY, kX, v) {
        for (int r = 0; r < kY; ++r) {
            for (int c = 0; c < kX; ++c) {
                if (c < 100) {
                    grid.at(r, c) = -9999.0f;
                } else if (r >= 500) {
                    grid.at(r, c) = -9998.0f;
                }
            }
        }
    }
};

std::vector<float> readFloats(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::vector<float> v;
    float f;
    while (in.read(reinterpret_cast<char*>(&f), sizeof f)) {
        v.push_back(f);
    }
    return v;
}

struct Window {
    int w = 240;
    int h = 300;
    float lon = COMP_LU_LON;
    float lat = COMP_LU_LAT;
    float xDist = 960000.0f;
    float yDist = 1200000.0f;
};

TEST(CompRainGrid, RefusedFlagLeavesNoFileAndCodesAreNeverConverted) {
    CompRoot root;
    Composite comp(30.0f);
    const Window w;
    const auto file = root.rainGridDir() / "1234.bin";
    EXPECT_EQ(fnRainPointFileWrite(comp.grid.data(), "RN", 1234, Composite::kX, Composite::kY, 4,
                                   w.w, w.h, w.lon, w.lat, w.xDist, w.yDist, 2.0f),
              -1);
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_TRUE(std::filesystem::is_empty(root.rainGridDir()));

    ASSERT_EQ(fnRainPointFileWrite(comp.grid.data(), "RN", 1234, Composite::kX, Composite::kY, 0,
                                   w.w, w.h, w.lon, w.lat, w.xDist, w.yDist, 2.0f),
              0);
    const std::vector<float> values = readFloats(file);
    ASSERT_EQ(values.size(), static_cast<size_t>(w.w * w.h));
    // The whole file is the nearest-cell image grid of the window, converted value by value.
    float** expected = fnMakeCompImgData(comp.grid.data(), w.w, w.h, w.lon, w.lat, w.xDist, w.yDist,
                                         0, Composite::kX, Composite::kY, 2.0f, "RN");
    ASSERT_NE(expected, nullptr);
    const float rate = fnDbz_To_R_f(30.0, 200.0f, 1.6f);
    int rain = 0;
    int missing = 0;
    int outside = 0;
    for (int i = 0; i < w.h; ++i) {
        for (int j = 0; j < w.w; ++j) {
            const float e = expected[i][j];
            const float got = values[static_cast<size_t>(i * w.w + j)];
            if (e == -9999.0f || e == -9998.0f) {
                ASSERT_EQ(got, e) << i << "," << j;
            } else {
                ASSERT_FLOAT_EQ(got, rate) << i << "," << j;
            }
            rain += got == rate;
            missing += got == -9999.0f;
            outside += got == -9998.0f;
        }
    }
    fnFreeMatrixFloat(expected, w.h);
    EXPECT_GT(rain, 1000);
    EXPECT_GT(missing, 1000);
    EXPECT_GT(outside, 1000);
    EXPECT_EQ(rain + missing + outside, w.w * w.h);
}

TEST(CompRainGrid, ReflectivityOfNoRainIsMissingNotMinusInfinity) {
    CompRoot root;
    Composite comp(0.0f);
    for (int r = 0; r < 250; ++r) {
        for (int c = 100; c < Composite::kX; ++c) {
            comp.grid.at(r, c) = 10.0f;
        }
    }
    const Window w;
    ASSERT_EQ(fnRainPointFileWrite(comp.grid.data(), "CZ", 7, Composite::kX, Composite::kY, 1, w.w,
                                   w.h, w.lon, w.lat, w.xDist, w.yDist, 2.0f),
              0);
    const float dbz = fnR_to_dBZ_f(10.0, 200.0f, 1.6f);
    int converted = 0;
    for (float v : readFloats(root.rainGridDir() / "7.bin")) {
        ASSERT_TRUE(std::isfinite(v));
        ASSERT_TRUE(v == -9999.0f || v == -9998.0f || v == dbz) << v;
        converted += v == dbz;
    }
    EXPECT_GT(converted, 1000);

    // Snow: rain rate to dBZ, then to snow rate.
    ASSERT_EQ(fnRainPointFileWrite(comp.grid.data(), "SN", 8, Composite::kX, Composite::kY, 1, w.w,
                                   w.h, w.lon, w.lat, w.xDist, w.yDist, 2.0f),
              0);
    const float snow = fnDbz_To_R_f(dbz, 2000.0f, 2.0f);
    int snowy = 0;
    for (float v : readFloats(root.rainGridDir() / "8.bin")) {
        snowy += v == snow;
    }
    EXPECT_EQ(snowy, converted);
}

TEST(CompRainGrid, HundredthsAreDividedAndEverythingElseIsKept) {
    CompRoot root;
    Composite comp(1234.0f);
    const Window w;
    ASSERT_EQ(fnRainPointFileWrite(comp.grid.data(), "RN", 9, Composite::kX, Composite::kY, 3, w.w,
                                   w.h, w.lon, w.lat, w.xDist, w.yDist, 2.0f),
              0);
    int data = 0;
    for (float v : readFloats(root.rainGridDir() / "9.bin")) {
        ASSERT_TRUE(v == -9999.0f || v == -9998.0f || v == 12.34f) << v;
        data += v == 12.34f;
    }
    EXPECT_GT(data, 1000);
    ASSERT_EQ(fnRainPointFileWrite(comp.grid.data(), "RN", 10, Composite::kX, Composite::kY, 2, w.w,
                                   w.h, w.lon, w.lat, w.xDist, w.yDist, 2.0f),
              0);
    for (float v : readFloats(root.rainGridDir() / "10.bin")) {
        ASSERT_TRUE(v == -9999.0f || v == -9998.0f || v == 1234.0f) << v;
    }
    // Nothing to write without a grid or a directory to write into.
    EXPECT_EQ(fnRainPointFileWrite(nullptr, "RN", 11, Composite::kX, Composite::kY, 2, w.w, w.h,
                                   w.lon, w.lat, w.xDist, w.yDist, 2.0f),
              -1);
    std::filesystem::remove_all(root.rainGridDir());
    EXPECT_EQ(fnRainPointFileWrite(comp.grid.data(), "RN", 12, Composite::kX, Composite::kY, 2, w.w,
                                   w.h, w.lon, w.lat, w.xDist, w.yDist, 2.0f),
              -1);
}

// Longitude and latitude of composite cell centre (column, y) on the composite's Lambert grid
// (sphere 6371.00877 km, parallels 30 and 60, 126 E 38 N at cell (200, 400), 2 km), from
// the closed-form inverse of the projection.
std::pair<float, float> cellLonLat(double column, double y) {
    constexpr double kPi = 3.14159265358979323846;
    const double re = 6371.00877 / 2.0;
    const double p1 = 30.0 * kPi / 180.0;
    const double p2 = 60.0 * kPi / 180.0;
    const double sn = std::log(std::cos(p1) / std::cos(p2)) /
                      std::log(std::tan(kPi / 4 + p2 / 2) / std::tan(kPi / 4 + p1 / 2));
    const double sf = std::pow(std::tan(kPi / 4 + p1 / 2), sn) * std::cos(p1) / sn;
    const double ro = re * sf / std::pow(std::tan(kPi / 4 + 38.0 * kPi / 360.0), sn);
    const double xn = column - 200.0;
    const double yn = ro - y + 400.0;
    const double ra = std::hypot(xn, yn);
    const double lat = 2.0 * std::atan(std::pow(re * sf / ra, 1.0 / sn)) - kPi / 2;
    const double lon = std::atan2(xn, yn) / sn + 126.0 * kPi / 180.0;
    return {static_cast<float>(lon * 180.0 / kPi), static_cast<float>(lat * 180.0 / kPi)};
}

std::string pointValue(Grid& g, const char* unit, float lon, float lat, int flag) {
    char buf[64];
    compFormatPointRain(g.data(), unit, 480, 600, 2.0f, 126.0f, 38.0f, 200, 400, lon, lat, flag,
                        buf, sizeof buf);
    return buf;
}

TEST(CompPointValue, CellUnderThePointAndCodesAnsweredAsNoValue) {
    Grid g(600, 480, 0.0f);
    for (int r = 0; r < 600; ++r) {
        for (int c = 0; c < 480; ++c) {
            g.at(r, c) = static_cast<float>(c) + r / 1000.0f;
        }
    }
    // Row = trunc(600 - y - 1): y 299.5 is matrix row 299; column = trunc(x + 0.5).
    auto [lon, lat] = cellLonLat(250.0, 299.5);
    EXPECT_EQ(pointValue(g, "CZ", lon, lat, 2), "250.30");
    std::tie(lon, lat) = cellLonLat(10.2, 580.5);  // column 10, row 18
    EXPECT_EQ(pointValue(g, "CZ", lon, lat, 3), "10.02");

    g.at(299, 250) = 40.0f;
    std::tie(lon, lat) = cellLonLat(250.0, 299.5);
    EXPECT_EQ(pointValue(g, "RN", lon, lat, 0), "11.53");
    EXPECT_EQ(pointValue(g, "CZ", lon, lat, 0), "40.00");
    g.at(299, 250) = 11.53f;
    EXPECT_EQ(pointValue(g, "CZ", lon, lat, 1), "40.00");
    for (float code : {-9999.0f, -9998.0f, -128.0f, -127.0f, std::nanf("")}) {
        g.at(299, 250) = code;
        EXPECT_EQ(pointValue(g, "CZ", lon, lat, 2), "-") << code;
    }
    g.at(299, 250) = 0.0f;
    EXPECT_EQ(pointValue(g, "CZ", lon, lat, 1), "-") << "no rain has no reflectivity";
    g.at(299, 250) = 5.0f;
    EXPECT_EQ(pointValue(g, "CZ", lon, lat, 4), "-") << "unknown flag";

    // Outside the grid on every side, also less than a cell off its western and northern
    // edges.
    for (auto [c, y] :
         {std::pair{-0.7, 300.0}, {480.6, 300.0}, {250.0, -1.5}, {250.0, 599.5}, {-30.0, -30.0}}) {
        std::tie(lon, lat) = cellLonLat(c, y);
        EXPECT_EQ(pointValue(g, "CZ", lon, lat, 2), "-") << c << "," << y;
    }
    std::tie(lon, lat) = cellLonLat(0.0, 598.5);
    EXPECT_EQ(pointValue(g, "CZ", lon, lat, 2), "0.00");

    const std::string answer = comp_test::captureStdout([&] {
        auto [plon, plat] = cellLonLat(250.0, 299.5);
        EXPECT_EQ(fnWritePointRain(g.data(), "CZ", 480, 600, 2.0f, 126.0f, 38.0f, 200, 400, plon,
                                   plat, 2),
                  0);
    });
    EXPECT_EQ(answer, "Content-type: text/html\r\n\r\n5.00\r\n\r\n");
}

}  // namespace
