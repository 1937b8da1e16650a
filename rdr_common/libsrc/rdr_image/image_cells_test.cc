#include "image_cells.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "core_utilities.h"
#include "image_test_root.h"
#include "owned_handles.h"

namespace {

// A float matrix released with fnFreeMatrix2D.
struct Matrix {
    float** p;
    int rows;
    Matrix(float** pData, int iRows) : p(pData), rows(iRows) {}
    ~Matrix() {
        if (p != nullptr) {
            fnFreeMatrix2D(reinterpret_cast<void**>(p), rows);
        }
    }
};

Matrix filled(int rows, int cols, float v) {
    Matrix m(fnMakeMatrix2D_F(rows, cols), rows);
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < cols; ++x) {
            m.p[y][x] = v;
        }
    }
    return m;
}

using Image = rdr::GdImageHandle;

std::vector<float> row3(float a, float b, float c) {
    Matrix m(fnMakeMatrix2D_F(1, 3), 1);
    m.p[0][0] = a;
    m.p[0][1] = b;
    m.p[0][2] = c;
    EXPECT_EQ(fnVyqCmpSmooth(m.p, 1, 3, 1), 1);
    return {m.p[0][0], m.p[0][1], m.p[0][2]};
}

TEST(ImageData, SiteGridIsCentredOnASquareImage) {
    Matrix data = filled(480, 480, 7.0f);
    data.p[0][0] = 1.0f;
    data.p[479][479] = 2.0f;
    EXPECT_EQ(fnMakeSiteImageData(data.p, 480, 480, 1.0f, 600, 500, 1.0f), nullptr);

    Matrix img(fnMakeSiteImageData(data.p, 480, 480, 1.0f, 600, 600, 1.0f), 600);
    ASSERT_NE(img.p, nullptr);
    EXPECT_EQ(img.p[59][59], RDR_GRID_OUT_BOUND);
    EXPECT_EQ(img.p[60][59], RDR_GRID_OUT_BOUND);
    EXPECT_EQ(img.p[60][60], 1.0f);
    EXPECT_EQ(img.p[539][539], 2.0f);
    EXPECT_EQ(img.p[540][300], RDR_GRID_OUT_BOUND);
    EXPECT_EQ(img.p[300][540], RDR_GRID_OUT_BOUND);
    EXPECT_EQ(img.p[300][300], 7.0f);
}

TEST(ImageData, EnlargedSiteGridDoesNotSpillPastItsEdge) {
    // 10 cells of 1 km on 24 pixels of 0.5 km: 2 pixels per cell, 2 pixels of margin.
    Matrix data = filled(10, 10, 5.0f);
    Matrix img(fnMakeSiteImageData(data.p, 10, 10, 1.0f, 24, 24, 0.5f), 24);
    ASSERT_NE(img.p, nullptr);
    EXPECT_EQ(img.p[12][1], RDR_GRID_OUT_BOUND);  // half a cell before the data
    EXPECT_EQ(img.p[12][2], 5.0f);
    EXPECT_EQ(img.p[12][21], 5.0f);
    EXPECT_EQ(img.p[12][22], RDR_GRID_OUT_BOUND);
}

TEST(ImageData, CellsFarLargerThanTheImageAreRefused) {
    // Each cell would span about 1e30 pixels: no pixel offset can place the grid.
    Matrix data = filled(4, 4, 5.0f);
    EXPECT_EQ(fnMakeSiteImageData(data.p, 4, 4, 1.0f, 8, 8, 1e-30f), nullptr);
    EXPECT_EQ(fnMakeSiteImageData(data.p, 4, 4, 1e30f, 8, 8, 1.0f), nullptr);
}

TEST(ImageData, CompositeGridSitsTopLeft) {
    Matrix data = filled(4, 3, 9.0f);
    data.p[3][2] = 4.0f;
    Matrix img(fnMakeCompImageData(nullptr, data.p, 4, 3, 2.0f, 10, 12, 1.0f), 12);
    ASSERT_NE(img.p, nullptr);
    EXPECT_EQ(img.p[0][0], 9.0f);
    EXPECT_EQ(img.p[7][5], 4.0f);  // cell (3, 2) covers pixels 6-7 x 4-5
    EXPECT_EQ(img.p[8][0], RDR_GRID_OUT_BOUND);
    EXPECT_EQ(img.p[0][6], RDR_GRID_OUT_BOUND);
    EXPECT_EQ(fnMakeCompImageData(nullptr, nullptr, 4, 3, 2.0f, 10, 12, 1.0f), nullptr);
    EXPECT_EQ(fnMakeCompImageData(nullptr, data.p, 4, 3, 2.0f, 10, 12, 0.0f), nullptr);
}

TEST(ImageData, RadarValueUnderAPoint) {
    Matrix data = filled(5, 5, 1.0f);
    data.p[2][3] = 8.0f;
    // 2 pixels per cell across, 4 down, data starting at pixel (10, 20).
    EXPECT_EQ(fnGetRadarValue(data.p, 5, 5, 10, 20, 20 + 4 * 2 + 3, 10 + 2 * 3 + 1, 2.0f, 4.0f),
              8.0f);
    EXPECT_EQ(fnGetRadarValue(data.p, 5, 5, 10, 20, 19, 10, 2.0f, 4.0f), RDR_GRID_OUT_BOUND);
    EXPECT_EQ(fnGetRadarValue(data.p, 5, 5, 10, 20, 20, 20, 2.0f, 4.0f), RDR_GRID_OUT_BOUND);
}

TEST(Smoothing, WeighsNeighboursAndFillsOneCellGaps) {
    EXPECT_EQ(row3(10, -60, 20), (std::vector<float>{10, 15, 20}));
    EXPECT_EQ(row3(-60, 10, 20), (std::vector<float>{-60, 10, 20}));
    EXPECT_EQ(row3(10, 20, 30), (std::vector<float>{10, 20, 30}));
    EXPECT_EQ(row3(10, 20, -9999), (std::vector<float>{10, 20, -9999}));

    // Each cell sees its unsmoothed left neighbour: (0, 40, 0, 0) -> (0, 20, 10, 0).
    Matrix line(fnMakeMatrix2D_F(1, 4), 1);
    line.p[0][1] = 40.0f;
    fnVyqCmpSmooth(line.p, 1, 4, 1);
    EXPECT_EQ(line.p[0][1], 20.0f);
    EXPECT_EQ(line.p[0][2], 10.0f);
    EXPECT_EQ(fnVyqCmpSmooth(nullptr, 1, 4, 1), 0);
}

TEST(Smoothing, RowsThenColumns) {
    Matrix m = filled(3, 3, 0.0f);
    m.p[1][1] = 16.0f;
    fnVyqCmpSmooth(m.p, 3, 3, 1);
    // Row pass: centre 8; column pass: centre (0 + 16 + 0) / 4 = 4.
    EXPECT_EQ(m.p[1][1], 4.0f);
    EXPECT_EQ(m.p[0][1], 0.0f);  // end cells of the column never change
    Matrix two = filled(2, 3, 0.0f);
    two.p[0][1] = 8.0f;
    fnVyqCmpSmooth(two.p, 2, 3, 2);
    EXPECT_EQ(two.p[0][1], 2.0f);  // two row passes, no column pass on 2 rows
}

TEST(Smoothing, MedianIsInPlace) {
    Matrix spike = filled(4, 4, 5.0f);
    spike.p[1][1] = 100.0f;
    EXPECT_EQ(fnCompSmooth(spike.p, 4, 4), 1);
    EXPECT_EQ(spike.p[1][1], 5.0f);

    // Five high cells around (1, 2) would keep it high, but (1, 1) is filtered first and
    // drops to 0, leaving four.
    Matrix m = filled(3, 4, 0.0f);
    for (auto [y, x] : {std::pair{1, 1}, {1, 2}, {0, 3}, {1, 3}, {2, 3}}) {
        m.p[y][x] = 9.0f;
    }
    fnCompSmooth(m.p, 3, 4);
    EXPECT_EQ(m.p[1][1], 0.0f);
    EXPECT_EQ(m.p[1][2], 0.0f);
    EXPECT_EQ(m.p[0][3], 9.0f);

    Matrix small = filled(2, 5, 1.0f);
    small.p[0][2] = 50.0f;
    fnCompSmooth(small.p, 2, 5);
    EXPECT_EQ(small.p[0][2], 50.0f);
    EXPECT_EQ(fnCompSmooth(nullptr, 4, 4), 0);
}

TEST(RainRate, ConvertsWithMarshallPalmerLikeRelation) {
    Matrix m = filled(1, 5, 0.0f);
    m.p[0][0] = RDR_GRID_OUT_BOUND;
    m.p[0][1] = RDR_GRID_NO_DATA;
    m.p[0][2] = 0.0f;
    m.p[0][3] = 40.0f;
    m.p[0][4] = 30.0f;
    EXPECT_EQ(fnDbzToRainrate(m.p, 1, 5, 0), 1);
    EXPECT_EQ(m.p[0][0], RDR_GRID_OUT_BOUND);
    EXPECT_EQ(m.p[0][1], RDR_GRID_NO_DATA);
    EXPECT_EQ(m.p[0][2], RDR_GRID_NO_DATA);
    EXPECT_NEAR(m.p[0][3], std::pow(1e4 / 200.0, 1 / 1.6), 1e-3);  // 11.53 mm/h
    EXPECT_NEAR(m.p[0][4], std::pow(1e3 / 200.0, 1 / 1.6), 1e-3);  // 2.73 mm/h
    EXPECT_EQ(fnDbzToRainrate(nullptr, 1, 5, 0), 0);
}

TEST(Painting, CoverageAndEchoColours) {
    Image img(gdImageCreateTrueColor(4, 1));
    Matrix m(fnMakeMatrix2D_F(1, 4), 1);
    m.p[0][0] = RDR_GRID_OUT_BOUND;
    m.p[0][1] = RDR_GRID_NO_DATA;
    m.p[0][2] = 12.0f;
    m.p[0][3] = 99.0f;
    const int in = gdTrueColor(255, 255, 255), out = gdTrueColor(200, 200, 200);
    ASSERT_EQ(fnDrawRadarImgBound(img.get(), m.p, 4, 1, RDR_GRID_OUT_BOUND, in, out), 1);
    EXPECT_EQ(gdImageGetPixel(img.get(), 0, 0), out);
    EXPECT_EQ(gdImageGetPixel(img.get(), 1, 0), in);

    RDR_COLOR_TBL table{};
    table.m_iEchoColorCnt = 3;
    const float thresholds[] = {0.0f, 10.0f, 20.0f};
    for (int i = 0; i < 3; ++i) {
        table.m_echoColorTbl[i].m_fUnit = thresholds[i];
    }
    int bar[3] = {gdTrueColor(1, 0, 0), gdTrueColor(2, 0, 0), gdTrueColor(3, 0, 0)};
    ASSERT_EQ(fnDrawRadarEcho(img.get(), m.p, 4, 1, &table, RDR_EN_COLOR_UNIT, 0.0f, 0, 0, bar), 1);
    EXPECT_EQ(gdImageGetPixel(img.get(), 0, 0), out);  // below the minimum: not drawn
    EXPECT_EQ(gdImageGetPixel(img.get(), 1, 0), in);
    EXPECT_EQ(gdImageGetPixel(img.get(), 2, 0), bar[2]);  // [10, 20)
    EXPECT_EQ(gdImageGetPixel(img.get(), 3, 0), bar[2]);  // above the scale: top colour
    EXPECT_EQ(fnDrawRadarEcho(img.get(), m.p, 4, 1, nullptr, 1, 0.0f, 0, 0, bar), 0);
}

TEST(Painting, RingsEveryHundredKilometres) {
    Image img(gdImageCreateTrueColor(480, 480));
    const int line = gdTrueColor(255, 0, 0);
    ASSERT_EQ(fnDrawSiteImgRing(img.get(), 480, 480, 1.0f, line), 1);
    EXPECT_EQ(gdImageGetPixel(img.get(), 240 + 100, 240), line);
    EXPECT_EQ(gdImageGetPixel(img.get(), 240, 240 - 200), line);
    EXPECT_EQ(gdImageGetPixel(img.get(), 240 + 150, 240), 0);
    int count = 0;  // only the diameters 200 and 400 cross the horizontal through the centre
    for (int x = 241; x < 480; ++x) {
        count += gdImageGetPixel(img.get(), x, 240) == line;
    }
    EXPECT_EQ(count, 2);

    Image fine(gdImageCreateTrueColor(400, 400));
    fnDrawSiteImgRing(fine.get(), 400, 400, 0.5f, line);        // 100 km = 200 pixels of radius
    EXPECT_EQ(gdImageGetPixel(fine.get(), 200 + 200, 200), 0);  // diameter 400 + 1 pixel edge
    EXPECT_EQ(gdImageGetPixel(fine.get(), 200, 200 + 199), 0);
    // A grid too fine for one ring in the image draws nothing and a zero grid is refused.
    EXPECT_EQ(fnDrawSiteImgRing(fine.get(), 400, 400, 0.0f, line), 1);
    Image blank(gdImageCreateTrueColor(400, 400));
    EXPECT_EQ(fnDrawSiteImgRing(blank.get(), 400, 400, 1e-9f, line), 1);  // 2e11 pixels apart
    int painted = 0;
    for (int y = 0; y < 400; ++y) {
        for (int x = 0; x < 400; ++x) {
            painted += gdImageGetPixel(blank.get(), x, y) != 0;
        }
    }
    EXPECT_EQ(painted, 0);
    EXPECT_EQ(fnDrawSiteImgRing(nullptr, 400, 400, 1.0f, line), 0);
}

TEST(Painting, WindowsTooSmallForAHundredKilometreRingGetCloserRings) {
    // A 40 km volume fitted to a 513-pixel panel: 80/513 km per pixel, no 100 km ring fits.
    const float g = 80.0f / 513.0f;
    EXPECT_EQ(fnGetSiteRingStepKm(513, 513, g), 10.0f);
    Image img(gdImageCreateTrueColor(513, 513));
    const int line = gdTrueColor(255, 0, 0), text = gdTrueColor(0, 0, 255);
    ASSERT_EQ(fnDrawSiteImgRing(img.get(), 513, 513, g, line), 1);
    ASSERT_EQ(fnDrawSiteImgRingLabels(img.get(), 513, 513, g, text), 1);
    // Diameters 128, 256, 384 and 512 pixels.
    for (const int radius : {64, 128, 192, 256}) {
        EXPECT_EQ(gdImageGetPixel(img.get(), 256 + radius, 256), line) << radius;
        EXPECT_EQ(gdImageGetPixel(img.get(), 256 - radius, 256), line) << radius;
    }
    int count = 0;
    for (int x = 257; x < 513; ++x) {
        count += gdImageGetPixel(img.get(), x, 256) == line;
    }
    EXPECT_EQ(count, 4);
    // Each label just inside its ring, below its northern point.
    EXPECT_TRUE(imgtest::hasText(img.get(), "10 km", text, 259, 256 - 64 + 3, 259, 256 - 64 + 3));
    EXPECT_TRUE(imgtest::hasText(img.get(), "40 km", text, 259, 3, 259, 3));

    // Spacing: 100 km whenever one such ring fits, else three rings of the largest step.
    EXPECT_EQ(fnGetSiteRingStepKm(513, 513, 1.0f), 100.0f);
    EXPECT_EQ(fnGetSiteRingStepKm(513, 513, 200.0f / 513.0f), 100.0f);  // one ring, 513 wide
    EXPECT_EQ(fnGetSiteRingStepKm(513, 513, 198.0f / 513.0f), 20.0f);   // 99 km: 4 rings
    EXPECT_EQ(fnGetSiteRingStepKm(513, 513, 4.0f / 513.0f), 1.0f);      // 2 km: any ring
    EXPECT_EQ(fnGetSiteRingStepKm(513, 513, 1.0f / 513.0f), 0.0f);
    EXPECT_EQ(fnGetSiteRingStepKm(513, 513, 0.0f), 0.0f);
}

TEST(Painting, RingLabelsCloserThanALineOfTextSkipEveryOther) {
    // 10 km per pixel: 100 km rings 10 pixels apart, labels 13 pixels tall.
    Image img(gdImageCreateTrueColor(513, 513));
    const int text = gdTrueColor(0, 0, 255);
    ASSERT_EQ(fnDrawSiteImgRingLabels(img.get(), 513, 513, 10.0f, text), 1);
    EXPECT_TRUE(imgtest::hasText(img.get(), "100 km", text, 259, 249, 259, 249));
    EXPECT_FALSE(imgtest::hasText(img.get(), "200 km", text, 259, 239, 259, 239));
    EXPECT_TRUE(imgtest::hasText(img.get(), "300 km", text, 259, 229, 259, 229));
    EXPECT_EQ(fnDrawSiteImgRingLabels(nullptr, 513, 513, 10.0f, text), 0);
}

TEST(Painting, DirectionLinesCrossAtTheCentre) {
    Image img(gdImageCreateTrueColor(101, 101));
    const int line = gdTrueColor(0, 0, 255);
    ASSERT_EQ(fnDrawSiteImgDirection(img.get(), 101, 101, line), 1);
    for (auto [x, y] : {std::pair{0, 0},
                        {100, 100},
                        {100, 0},
                        {0, 100},
                        {50, 0},
                        {50, 100},
                        {0, 50},
                        {100, 50},
                        {50, 50},
                        {25, 25}}) {
        EXPECT_EQ(gdImageGetPixel(img.get(), x, y), line) << x << "," << y;
    }
    EXPECT_EQ(gdImageGetPixel(img.get(), 30, 10), 0);
}

}  // namespace
