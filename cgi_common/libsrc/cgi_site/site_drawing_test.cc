#include "site_drawing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "owned_handle.h"
#include "testing/site_draw_support.h"

namespace {

using site_test::countDark;
using site_test::DrawRoot;
using site_test::ImagePtr;
using site_test::rgb;

constexpr int kImg = 513;  // echo area of the standard site image
constexpr int kCentre = kImg / 2;
constexpr float kSiteLon = 126.95f;
constexpr float kSiteLat = 37.44f;

using FreeDeleter = rdr::ReleaseWith<rdr::freeMemory>;
using TablePtr = std::unique_ptr<CGI_COLOR_TBL, FreeDeleter>;

ImagePtr newSiteImage(int img = kImg) {
    ImagePtr p(gdImageCreateTrueColor(img + SITE_LEGEND_WIDTH, img + SITE_BOTTOM_HEIGHT));
    gdImageFilledRectangle(p.get(), 0, 0, gdImageSX(p.get()) - 1, gdImageSY(p.get()) - 1, 0xFFFFFF);
    return p;
}

// Colour of a pixel, or of any pixel within one of it (gd's circles and text land within
// a pixel of the exact position).
bool near(gdImagePtr img, int x, int y, int colour) {
    for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
            if (rgb(img, x + dx, y + dy) == colour) {
                return true;
            }
        }
    }
    return false;
}

POINT offsetPoint(double kmEast, double kmNorth) {
    const auto [lon, lat] = site_test::lonLatAt(kSiteLon, kSiteLat, kmEast, kmNorth);
    return POINT{lon, lat};
}

TEST(SiteColourInfo, RowsFollowProductAndFieldAndEveryColourFileReads) {
    DrawRoot root;
    st_ColorInfo info{};
    ASSERT_EQ(fnGetColorInfo("VIL", "VR", &info), 0);
    EXPECT_STREQ(info.m_szColorFile, root.path("rdr/REF/COLOR/vyq_vil_tarvo.col").c_str());
    EXPECT_EQ(info.m_nColorKind, 0);
    EXPECT_STREQ(info.m_szProductType, "VIL");
    EXPECT_EQ(fnGetColorInfo("HSR", "SW", &info), -1);
    EXPECT_EQ(fnGetColorInfo("PPI", "XX", &info), -1);
    EXPECT_EQ(fnGetColorInfo(nullptr, "DZ", &info), -1);
    ASSERT_EQ(fnGetColorInfo("CMAX", "SN", &info), 0);
    EXPECT_STREQ(info.m_szDispFormat, "%.1f");
    ASSERT_EQ(fnGetColorInfo("CAPPI", "SN", &info), 0);
    EXPECT_STREQ(info.m_szDispFormat, "%.2f");
    ASSERT_EQ(fnGetColorInfo("ETOP", "RN", &info), 0);
    EXPECT_EQ(info.m_nColorKind, 1);
    ASSERT_EQ(fnGetColorInfo("PPI", "VR", &info), 0);
    EXPECT_EQ(info.m_fMinValue, -50.0f);
    EXPECT_STREQ(siteFieldUnit("KD"), "deg/km");
    EXPECT_STREQ(siteFieldUnit("ZZ"), "dBZ");

    int rows = 0;
    for (const char* product : {"PPI", "CAPPI", "BASE", "CMAX", "VIL", "ETOP", "HSR"}) {
        for (const char* field : {"DZ", "RN", "CZ", "SW", "RH", "PH", "VR", "DR", "KD", "SN"}) {
            if (fnGetColorInfo(product, field, &info) == 0) {
                ++rows;
                TablePtr table(fnReadColorTable(info.m_szColorFile));
                EXPECT_TRUE(table != nullptr && table->m_iEchoColorCnt > 1) << info.m_szColorFile;
            }
        }
    }
    EXPECT_EQ(rows, 63);
}

// A table of 15 echo colours, level i coloured (10 i, 200 - 10 i, 50), unit threshold 5 i.
TablePtr fifteenColours(const DrawRoot& root) {
    std::string text = "15\nmm/h\ndBZ\n";
    for (int i = 0; i < 15; ++i) {
        text += std::to_string(i + 1) + " " + std::to_string(10 * i) + " " +
                std::to_string(200 - 10 * i) + " 50 " + std::to_string(i + 1) + ".0 " +
                std::to_string(5 * i) + ".0\n";
    }
    root.write("rdr/REF/COLOR/fifteen.col", text);
    return TablePtr(fnReadColorTable(root.path("rdr/REF/COLOR/fifteen.col").c_str()));
}

TEST(SiteLegend, FifteenColoursGiveCellsOf34PixelsAndFourteenLabels) {
    DrawRoot root;
    TablePtr table = fifteenColours(root);
    ASSERT_NE(table, nullptr);
    ImagePtr img = newSiteImage();
    int echo[CGI_MAX_ECHO_COLOR];
    int disp[CGI_EN_DISP_COLOR_MAX];
    ASSERT_EQ(fnAllocColorTbl(img.get(), table.get(), echo, disp), 0);
    st_ColorInfo info{};
    ASSERT_EQ(fnGetColorInfo("PPI", "DZ", &info), 0);
    ASSERT_EQ(fnWriteSiteColorIndx(img.get(), kImg, kImg, table.get(), echo, info, "DZ"), 0);
    ImagePtr png = site_test::throughPng(img.get());

    const int cell = 34;
    const int boxX = kImg + 5;
    for (int g = 0; g < 15; ++g) {
        const int level = 14 - g;
        const int colour = (10 * level) << 16 | (200 - 10 * level) << 8 | 50;
        EXPECT_EQ(rgb(png.get(), boxX, g * cell + 2), colour) << g;
        EXPECT_EQ(rgb(png.get(), boxX, g * cell + cell - 3), colour) << g;
    }
    EXPECT_EQ(rgb(png.get(), boxX, kImg - 2), 200 << 8 | 50);  // level 0 reaches the bottom
    const int labelX0 = kImg + 15;
    for (int g = 0; g < 14; ++g) {
        EXPECT_GT(countDark(png.get(), labelX0, (g + 1) * cell - 6, kImg + 44, (g + 1) * cell + 6),
                  3)
            << "label " << g;
    }
    EXPECT_EQ(countDark(png.get(), labelX0, 15 * cell - 4, kImg + 44, kImg - 1), 0);
    EXPECT_EQ(rgb(png.get(), kImg + 10, 300), 0);  // the frame

    // No colours: nothing to divide the height by.
    TablePtr empty(static_cast<CGI_COLOR_TBL*>(std::calloc(1, sizeof(CGI_COLOR_TBL))));
    EXPECT_EQ(fnWriteSiteColorIndx(img.get(), kImg, kImg, empty.get(), echo, info, "DZ"), -1);
    // A number format that is not one is never used as one.
    info.m_szDispFormat = "%s%s%s%s%n";
    EXPECT_EQ(fnWriteSiteColorIndx(img.get(), kImg, kImg, table.get(), echo, info, "DZ"), 0);
}

TEST(SiteRangeRings, RingsEvery100KmAndNoneBeyond100KmPerPixel) {
    const int line = 0x464646;
    ImagePtr img = newSiteImage();
    ASSERT_EQ(fnDrawRangeRing(img.get(), line, 1.0f, kCentre), 0);
    for (int r : {100, 200}) {
        EXPECT_TRUE(near(img.get(), kCentre + r, kCentre, line)) << r;
        EXPECT_TRUE(near(img.get(), kCentre, kCentre - r, line)) << r;
    }
    for (int r : {50, 150, 250}) {
        EXPECT_FALSE(near(img.get(), kCentre + r, kCentre, line)) << r;
    }
    ImagePtr half = newSiteImage();
    ASSERT_EQ(fnDrawRangeRing_50(half.get(), line, 0.5f, kCentre), 0);
    EXPECT_TRUE(near(half.get(), kCentre - 200, kCentre, line));
    EXPECT_FALSE(near(half.get(), kCentre - 100, kCentre, line));

    // At more than 100 km per pixel the ring step is 0: nothing to draw, and it returns.
    ImagePtr coarse = newSiteImage();
    EXPECT_EQ(fnDrawRangeRing(coarse.get(), line, 150.0f, kCentre), 0);
    EXPECT_EQ(fnDrawRangeRing(coarse.get(), line, NAN, kCentre), 0);
    EXPECT_EQ(site_test::countDark(coarse.get(), 0, 0, kImg - 1, kImg - 1), 0);
    EXPECT_EQ(fnDrawRangeRing(nullptr, line, 1.0f, kCentre), -1);

    ImagePtr dirs = newSiteImage();
    ASSERT_EQ(fnDrawRangeDirection(dirs.get(), line), 0);
    for (auto [x, y] : {std::pair{0, 0}, {512, 512}, {512, 0}, {0, 512}, {256, 40}, {40, 256}}) {
        EXPECT_EQ(rgb(dirs.get(), x, y), line) << x << "," << y;
    }
    EXPECT_NE(rgb(dirs.get(), 100, 40), line);
}

TEST(SiteTexts, TitleAndStripsDrawCallerTextAsText) {
    DrawRoot root;
    struct tm t {};
    t.tm_year = 124;
    t.tm_mon = 6;
    t.tm_mday = 15;
    t.tm_hour = 9;
    t.tm_min = 30;
    // A site name that strftime would expand must appear as written: the two images
    // differ although "%Y%m" in a format would read "202407".
    ImagePtr a = newSiteImage();
    ImagePtr b = newSiteImage();
    ASSERT_EQ(fnWriteEchoInfo(a.get(), "PPI", "DZ", "%Y%m", t, 0, kImg, 0), 0);
    ASSERT_EQ(fnWriteEchoInfo(b.get(), "PPI", "DZ", "202407", t, 0, kImg, 0), 0);
    int differing = 0;
    int left = kImg;
    int right = 0;
    for (int y = 0; y < 25; ++y) {
        for (int x = 0; x < kImg; ++x) {
            differing += rgb(a.get(), x, y) != rgb(b.get(), x, y);
            if (countDark(b.get(), x, y, x, y) > 0) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
    }
    EXPECT_GT(differing, 20);
    EXPECT_NEAR((left + right) / 2.0, kImg / 2.0, 4.0);     // centred on the echo area
    EXPECT_EQ(countDark(b.get(), 0, 27, kImg - 1, 40), 0);  // on the baseline at 20
    EXPECT_EQ(fnWriteEchoInfo(a.get(), "PPI", "DZ", "%s%s%n%n", t, 0, kImg, 1), 0);
    EXPECT_EQ(fnWriteEchoInfo(nullptr, "PPI", "DZ", "X", t, 0, kImg, 0), -1);

    ImagePtr title(fnSiteImgComment(t, "%n%s", "CAPPI", "VR", kImg));
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(gdImageSX(title.get()), kImg);
    EXPECT_EQ(gdImageSY(title.get()), 25);
    EXPECT_EQ(rgb(title.get(), 2, 2), 0xFFFFFF);
    EXPECT_GT(countDark(title.get(), 10, 5, 300, 22), 50);
    EXPECT_GT(countDark(title.get(), kImg - 55, 10, kImg - 1, 22), 5);  // the unit, m/s
    EXPECT_EQ(fnSiteImgComment(t, "X", "PPI", "DZ", 0), nullptr);

    // The velocity strip adds the Nyquist velocity to the same line.
    ImagePtr dz = newSiteImage();
    ImagePtr vr = newSiteImage();
    ASSERT_EQ(
        fnWriteBottomText(dz.get(), "FQC", "PPI", "DZ", 0.5f, 240, 250, 960, 27.1f, kImg, kImg), 0);
    ASSERT_EQ(
        fnWriteBottomText(vr.get(), "FQC", "PPI", "VR", 0.5f, 240, 250, 960, 27.1f, kImg, kImg), 0);
    const int dzInk = countDark(dz.get(), 1, kImg + 1, kImg + 40, kImg + 18);
    EXPECT_GT(dzInk, 100);
    EXPECT_GT(countDark(vr.get(), 1, kImg + 1, kImg + 40, kImg + 18), dzInk + 50);
    EXPECT_EQ(fnWriteBottomText(dz.get(), nullptr, nullptr, nullptr, 0, 0, 0, 0, 0, kImg, kImg), 0);
    EXPECT_EQ(fnWriteBottomText(nullptr, "", "", "", 0, 0, 0, 0, 0, kImg, kImg), -1);
}

TEST(SiteMapAndStations, LinesAndMarksLandWhereTheSiteGridPutsThem) {
    DrawRoot root;
    auto ll = [](double east, double north) {
        const POINT p = offsetPoint(east, north);
        return std::pair<float, float>{p.m_fY_Point, p.m_fX_Point};
    };
    root.writeMap({{1, {ll(0, 50), ll(0, 100)}},
                   {1, {ll(0, 0), ll(0, -20)}},
                   {3, {ll(50, 0), ll(100, 0)}},  // fine detail: never drawn
                   {1, {ll(-60, -60)}}});         // a single point draws nothing
    const int map = 0x123456;
    ImagePtr img = newSiteImage();
    ASSERT_EQ(fnDrawMap(img.get(), kSiteLon, kSiteLat, kCentre, kCentre, 1.0f, map), 0);
    EXPECT_EQ(rgb(img.get(), kCentre, kCentre - 50), map);
    EXPECT_EQ(rgb(img.get(), kCentre, kCentre - 75), map);
    EXPECT_EQ(rgb(img.get(), kCentre, kCentre - 100), map);
    // The site itself lands on the centre row, where the rings are centred.
    EXPECT_EQ(rgb(img.get(), kCentre, kCentre), map);
    EXPECT_EQ(rgb(img.get(), kCentre, kCentre + 20), map);
    EXPECT_NE(rgb(img.get(), kCentre, kCentre - 1), map);
    EXPECT_NE(rgb(img.get(), kCentre + 75, kCentre), map);
    EXPECT_NE(rgb(img.get(), kCentre - 60, kCentre + 60), map);

    // A record whose count runs past the file ends the reading quietly.
    root.write("rdr/REF/MAP/fine_kr_binary.dat",
               std::string("\x40\x42\x0f\x00\x01\x00\x00\x00", 8));
    EXPECT_EQ(fnDrawMap(img.get(), kSiteLon, kSiteLat, kCentre, kCentre, 1.0f, map), 0);
    std::filesystem::remove(root.path("rdr/REF/MAP/fine_kr_binary.dat"));
    EXPECT_EQ(fnDrawMap(img.get(), kSiteLon, kSiteLat, kCentre, kCentre, 1.0f, map), -1);

    // Stations: 30.4 km east and 0.4 km north lands at column 286, row 256; the mark is
    // centred one column right. The EUC-KR name is drawn, the far station is skipped.
    const POINT east = offsetPoint(30.4, 0.4);
    const POINT far = offsetPoint(0.0, 400.0);
    char list[256];
    std::snprintf(list, sizeof list, "3\n\xbc\xad\xbf\xef %.6f %.6f\nFar %.6f %.6f\n",
                  east.m_fY_Point, east.m_fX_Point, far.m_fY_Point, far.m_fX_Point);
    root.write("rdr/REF/AWS/aws_pos_han_1.txt", list);
    const int aws = 0x0000AA;
    ImagePtr st = newSiteImage();
    ASSERT_EQ(fnSiteAws(st.get(), kImg, kImg, 1.0f, kSiteLon, kSiteLat, kCentre, kCentre, aws, 0),
              0);
    EXPECT_EQ(rgb(st.get(), 287, 256), aws);
    EXPECT_EQ(rgb(st.get(), 286, 256), aws);
    EXPECT_GT(countDark(st.get(), 261, 240, 300, 254), 10);
    EXPECT_EQ(site_test::countDark(st.get(), 0, 0, kImg - 1, 200), 0);
    root.write("rdr/REF/AWS/aws_pos_han_1.txt", "many\n");
    EXPECT_EQ(fnSiteAws(st.get(), kImg, kImg, 1.0f, kSiteLon, kSiteLat, kCentre, kCentre, aws, 0),
              -1);
}

TEST(SiteMapAndStations, InstalledMapAndStationListDrawAroundASite) {
    // The staged tree's own files (RDR_ROOT as the tests run).
    const int map = 0x123456;
    const int aws = 0x0000AA;
    ImagePtr img = newSiteImage();
    ASSERT_EQ(fnDrawMap(img.get(), kSiteLon, kSiteLat, kCentre, kCentre, 0.9375f, map), 0);
    ASSERT_EQ(
        fnSiteAws(img.get(), kImg, kImg, 0.9375f, kSiteLon, kSiteLat, kCentre, kCentre, aws, 0), 0);
    int lines = 0;
    int marks = 0;
    for (int y = 0; y < kImg; ++y) {
        for (int x = 0; x < kImg; ++x) {
            lines += rgb(img.get(), x, y) == map;
            marks += rgb(img.get(), x, y) == aws;
        }
    }
    EXPECT_GT(lines, 1000);
    EXPECT_GT(marks, 10 * 12);  // a dozen stations or more
}

// A 101 x 101 grid of 2 km cells, the radar in the middle; no echo inside 100 km except a
// block of 30 dBZ 50-70 km north of the radar.
std::vector<float> blockGrid() {
    std::vector<float> grid(101 * 101, -9999.0f);
    for (int row = 15; row <= 25; ++row) {
        for (int col = 45; col <= 55; ++col) {
            grid[row * 101 + col] = 30.0f;
        }
    }
    return grid;
}

SITE_IMAGE_REQUEST blockRequest(const std::vector<float>& grid, const char* field) {
    SITE_IMAGE_REQUEST r{};
    r.pGrid = grid.data();
    r.nGridXdim = 101;
    r.nGridYdim = 101;
    r.fGridKm = 2.0f;
    r.szProductType = "CAPPI";
    r.szDataType = field;
    r.szSiteName = "GNS";
    r.szQC_Type = "NOQC";
    r.stFileTime.tm_year = 124;
    r.fProductArg = 1.5f;
    r.fMaxRange = 100.0f;
    r.nGateSize = 250;
    r.nBinCount = 400;
    r.fSiteLon = kSiteLon;
    r.fSiteLat = kSiteLat;
    r.nImgXdim = kImg;
    r.nImgYdim = kImg;
    r.fImgGridKm = 0.5f;
    r.fZr_A = 200.0f;
    r.fZr_B = 1.6f;
    return r;
}

TEST(SiteProductImage, GridDrawnNorthUpInsideItsRangeWithRingsLegendAndBarbs) {
    DrawRoot root;
    const std::vector<float> grid = blockGrid();
    SITE_IMAGE_REQUEST r = blockRequest(grid, "DZ");
    r.bRings = 1;
    const WIND wind{0, 0, 300, 300, 0, 12, 90};  // from the east
    r.pWinds = &wind;
    r.nWinds = 1;
    ImagePtr img(siteDrawProductImage(&r));
    ASSERT_NE(img, nullptr);
    ImagePtr png = site_test::throughPng(img.get());
    EXPECT_EQ(gdImageSX(png.get()), kImg + 45);
    EXPECT_EQ(gdImageSY(png.get()), kImg + 20);
    // 60 km north, 4 km east: 120 pixels up. 30 dBZ is the 25-35 dBZ colour (yellow).
    EXPECT_EQ(rgb(png.get(), kCentre + 8, kCentre - 120), 0xFFFF00);
    EXPECT_EQ(rgb(png.get(), kCentre + 8, kCentre + 120), 0xFFFFFF);  // no echo: in-bound
    EXPECT_EQ(rgb(png.get(), 3, 3), 0xCDCDCD);                        // beyond 100 km
    EXPECT_EQ(rgb(png.get(), kCentre + 200, kCentre), 0x464646);      // the 100 km ring
    EXPECT_EQ(rgb(png.get(), 324, 300), 0);                           // barb tip, east
    EXPECT_NE(rgb(png.get(), 285, 300), 0);
    EXPECT_EQ(rgb(png.get(), kImg + 5, 5), 0x46006E);                    // legend, top colour
    EXPECT_GT(countDark(png.get(), 0, 2, kImg - 1, 22), 100);            // title
    EXPECT_GT(countDark(png.get(), 5, kImg + 1, kImg, kImg + 18), 100);  // bottom strip

    // Rain is coloured by rain rate: 30 dBZ is 2.73 mm/h, the 2-3 mm/h colour (green).
    ImagePtr rain(siteDrawProductImage(&(r = blockRequest(grid, "RN"))));
    ASSERT_NE(rain, nullptr);
    EXPECT_EQ(rgb(rain.get(), kCentre + 8, kCentre - 120), 0x00C800);
    EXPECT_EQ(grid[20 * 101 + 50], 30.0f);

    r = blockRequest(grid, "DZ");
    r.nImgYdim = kImg - 1;  // site images are square
    EXPECT_EQ(siteDrawProductImage(&r), nullptr);
    r = blockRequest(grid, "XX");
    EXPECT_EQ(siteDrawProductImage(&r), nullptr);
    EXPECT_EQ(siteDrawProductImage(nullptr), nullptr);
}

TEST(SiteProductImage, CrossSectionImageStacksLevelsFromTheGround) {
    DrawRoot root;
    auto c = std::make_unique<CROSS_SECTION>();
    std::memset(c.get(), 0, sizeof(CROSS_SECTION));
    for (int i = 0; i < CROSS_SECTION_SAMPLES; ++i) {
        for (int k = 0; k < CROSS_SECTION_LEVELS; ++k) {
            c->m_rgfData[i][k] = k < 20 ? 30.0f : -9999.0f;
        }
        c->m_rgfData[i][0] = i < 100 ? -9998.0f : 30.0f;
        c->m_stPoint[i] = POINT{static_cast<float>(i), 100.0f};
    }
    c->m_nCenter_Idx = 362;
    struct tm t {};
    ImagePtr img(siteDrawCrossSection(c.get(), 80, 0.25f, 1.0f, "CAPPI", "DZ", "GNS", t, 725, 400,
                                      200.0f, 1.6f));
    ASSERT_NE(img, nullptr);
    EXPECT_EQ(gdImageSX(img.get()), 725 + 45);
    EXPECT_EQ(gdImageSY(img.get()), 25 + 400 + 20);
    // 20 of 80 levels: the lowest quarter of the 400 rows is echo.
    EXPECT_EQ(rgb(img.get(), 500, 25 + 399 - 60), 0xFFFF00);
    EXPECT_EQ(rgb(img.get(), 500, 25 + 399 - 140), 0xFFFFFF);
    EXPECT_EQ(rgb(img.get(), 50, 25 + 398), 0xCDCDCD);   // outside the coverage
    EXPECT_GT(countDark(img.get(), 0, 0, 724, 24), 50);  // title
    EXPECT_EQ(siteDrawCrossSection(c.get(), 0, 0.25f, 1.0f, "CAPPI", "DZ", "GNS", t, 725, 400,
                                   200.0f, 1.6f),
              nullptr);
}

}  // namespace
