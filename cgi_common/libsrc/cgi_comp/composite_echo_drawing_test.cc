#include "composite_echo_drawing.h"

#include <gd.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "internal/composite_storm_cells.h"
#include "owned_handle.h"
#include "testing/composite_storm_fixture.h"

namespace {

using comp_test::ImageGrid;

constexpr float kOutside = -9998.0f;
constexpr float kMissing = -9999.0f;

// Three echo levels: rain column thresholds 10, 20, 30 and unit column 5, 15, 25 (levels
// cover [t(i-1), t(i)), values above the top take the top colour).
rdr::MallocPtr<CGI_COLOR_TBL> threeLevelTable() {
    rdr::MallocPtr<CGI_COLOR_TBL> t(
        static_cast<CGI_COLOR_TBL*>(std::calloc(1, sizeof(CGI_COLOR_TBL))));
    t->m_iEchoColorCnt = 3;
    t->m_echoColorTbl[0] = {0, 200, 100, 20, 10.0f, 5.0f};
    t->m_echoColorTbl[1] = {1, 100, 200, 20, 20.0f, 15.0f};
    t->m_echoColorTbl[2] = {2, 20, 100, 200, 30.0f, 25.0f};
    return t;
}

const int kLevelColour[3] = {gdTrueColor(200, 100, 20), gdTrueColor(100, 200, 20),
                             gdTrueColor(20, 100, 200)};
const int kBackground = gdTrueColor(255, 255, 255);

rdr::GdImageHandle whiteImage(int w, int h) {
    rdr::GdImageHandle img(gdImageCreateTrueColor(w, h));
    gdImageFilledRectangle(img.get(), 0, 0, w - 1, h - 1, kBackground);
    return img;
}

// Flood-fill reference: 4-connected areas of pixels at or above the threshold, numbered in
// the order their first pixel appears row by row.
std::vector<int32_t> floodFillLabels(const ImageGrid& g, float threshold) {
    const int nx = g.cols();
    const int ny = g.rows();
    std::vector<int32_t> labels(static_cast<size_t>(nx) * ny, -1);
    int32_t next = 0;
    std::vector<int> stack;
    for (int s = 0; s < nx * ny; ++s) {
        if (!(g.at(s / nx, s % nx) >= threshold) || labels[static_cast<size_t>(s)] >= 0) {
            continue;
        }
        labels[static_cast<size_t>(s)] = next;
        stack.push_back(s);
        while (!stack.empty()) {
            const int p = stack.back();
            stack.pop_back();
            const int i = p / nx;
            const int j = p % nx;
            const int around[4][2] = {{i, j - 1}, {i, j + 1}, {i - 1, j}, {i + 1, j}};
            for (const auto& q : around) {
                if (q[0] < 0 || q[1] < 0 || q[0] >= ny || q[1] >= nx) {
                    continue;
                }
                const int r = q[0] * nx + q[1];
                if (g.at(q[0], q[1]) >= threshold && labels[static_cast<size_t>(r)] < 0) {
                    labels[static_cast<size_t>(r)] = next;
                    stack.push_back(r);
                }
            }
        }
        ++next;
    }
    return labels;
}

TEST(StormCells, LabellingEqualsAFloodFillOnRandomImages) {
    const int sizes[][2] = {{1, 1}, {1, 17}, {23, 1}, {3, 3}, {6, 6}, {7, 40}, {64, 64}, {97, 131}};
    uint32_t seed = 1;
    for (const auto& s : sizes) {
        for (double p : {0.2, 0.45, 0.6, 0.85}) {
            for (int rep = 0; rep < 6; ++rep) {
                const ImageGrid g = comp_test::randomStorms(seed++, s[0], s[1], p, 45.0f, 30.0f);
                ImageGrid copy(g);
                ASSERT_EQ(comp_storm::labelStormCells(copy.data(), s[1], s[0], 40.0f),
                          floodFillLabels(g, 40.0f))
                    << s[0] << " x " << s[1] << ", p " << p << ", seed " << seed - 1;
            }
        }
    }
    // A shape whose pixels were once left behind on a dropped label when a later pixel of the
    // same column joined the cell.
    ImageGrid u(5, 5, 10.0f);
    u.block(1, 3, 3, 1, 50.0f).block(2, 1, 2, 1, 50.0f).block(3, 1, 1, 3, 50.0f);
    const std::vector<int32_t> labels = comp_storm::labelStormCells(u.data(), 5, 5, 40.0f);
    EXPECT_EQ(labels, floodFillLabels(u, 40.0f));
    EXPECT_EQ(*std::max_element(labels.begin(), labels.end()), 0);
}

// The pixels fnCompTitanDisp painted, row-major.
std::vector<bool> painted(gdImagePtr img) {
    std::vector<bool> out;
    for (int y = 0; y < gdImageSY(img); ++y) {
        for (int x = 0; x < gdImageSX(img); ++x) {
            out.push_back(gdImageGetPixel(img, x, y) != kBackground);
        }
    }
    return out;
}

TEST(StormCells, OnlyCellsOfTenKilometresAreDrawnInTheColourOfZero) {
    auto table = threeLevelTable();
    int colours[CGI_MAX_ECHO_COLOR] = {kLevelColour[0], kLevelColour[1], kLevelColour[2]};
    // 3 x 3 pixels is a 4 km box: dropped; 6 x 6 is a 10 km box: kept.
    ImageGrid g(40, 40, 20.0f);
    g.block(2, 2, 3, 3, 50.0f).block(20, 20, 6, 6, 50.0f).block(30, 2, 1, 6, 45.0f);
    g.at(0, 39) = 60.0f;  // a single pixel in the corner is no cell either
    auto img = whiteImage(40, 40);
    ASSERT_EQ(fnCompTitanDisp(40, 40, "DZ", g.data(), img.get(), colours, table.get()), 0);
    int drawn = 0;
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 40; ++x) {
            const int c = gdImageGetPixel(img.get(), x, y);
            const bool inCell = y >= 20 && y < 26 && x >= 20 && x < 26;
            const bool inLine = y == 30 && x >= 2 && x < 8;  // 10 km long, 0 km wide: kept
            EXPECT_EQ(c, inCell || inLine ? kLevelColour[0] : kBackground) << x << ", " << y;
            drawn += c != kBackground;
        }
    }
    EXPECT_EQ(drawn, 36 + 6);

    // Rain rates use 15: the whole grid of 20 is one cell then.
    auto rain = whiteImage(40, 40);
    ASSERT_EQ(fnCompTitanDisp(40, 40, "RN", g.data(), rain.get(), colours, table.get()), 0);
    const std::vector<bool> all = painted(rain.get());
    EXPECT_EQ(std::count(all.begin(), all.end(), true), 1600);

    EXPECT_EQ(fnCompTitanDisp(40, 40, "DZ", nullptr, img.get(), colours, table.get()), -1);
    EXPECT_EQ(fnCompTitanDisp(40, 40, "DZ", g.data(), nullptr, colours, table.get()), -1);
    EXPECT_EQ(fnCompTitanDisp(40, 40, "DZ", g.data(), img.get(), colours, nullptr), -1);
}

TEST(StormCells, LargeImagesKeepTheirSizeRuleEverywhere) {
    // Past column 999 and with more than 999999 cells, box corners and labels are plain
    // numbers, not markers.
    const int nx = 2100;
    const int ny = 2010;
    ImageGrid g(ny, nx, 0.0f);
    for (int i = 0; i < 2000; i += 2) {
        for (int j = 0; j < 2000; j += 2) {
            g.at(i, j) = 50.0f;  // a million single pixels
        }
    }
    g.block(2003, 999, 3, 3, 55.0f);   // a small cell from column 999: dropped
    g.block(2003, 2090, 6, 6, 55.0f);  // a 10 km cell at the far corner: kept
    ImageGrid copy(g);
    const std::vector<int32_t> labels = comp_storm::labelStormCells(copy.data(), nx, ny, 40.0f);
    EXPECT_GT(*std::max_element(labels.begin(), labels.end()), 1000000);
    auto table = threeLevelTable();
    int colours[CGI_MAX_ECHO_COLOR] = {kLevelColour[0], kLevelColour[1], kLevelColour[2]};
    auto img = whiteImage(nx, ny);
    ASSERT_EQ(fnCompTitanDisp(nx, ny, "CZ", g.data(), img.get(), colours, table.get()), 0);
    const std::vector<bool> all = painted(img.get());
    EXPECT_EQ(std::count(all.begin(), all.end(), true), 36);
    EXPECT_NE(gdImageGetPixel(img.get(), 2095, 2008), kBackground);
    EXPECT_EQ(gdImageGetPixel(img.get(), 1000, 2004), kBackground);
}

TEST(CompositeEcho, ColourKindAndMinimumFollowProductAndUnit) {
    auto table = threeLevelTable();
    int colours[CGI_MAX_ECHO_COLOR] = {kLevelColour[0], kLevelColour[1], kLevelColour[2]};
    // One row: 0, 12, 22, 40, -9999, -9998, -1.
    ImageGrid g(1, 7, 0.0f);
    const float values[7] = {0.0f, 12.0f, 22.0f, 40.0f, kMissing, kOutside, -1.0f};
    for (int c = 0; c < 7; ++c) {
        g.at(0, c) = values[c];
    }
    const auto draw = [&](const char* product, const char* unit, auto fn) {
        auto img = whiteImage(7, 1);
        EXPECT_EQ(fn(product, unit, img.get()), 0);
        std::vector<int> levels;
        for (int c = 0; c < 7; ++c) {
            const int px = gdImageGetPixel(img.get(), c, 0);
            int level = -1;
            for (int l = 0; l < 3; ++l) {
                level = px == kLevelColour[l] ? l : level;
            }
            levels.push_back(level);
        }
        return levels;
    };
    const auto echo = [&](const char* product, const char* unit, gdImagePtr img) {
        return fnCompEchoDisp(7, 1, product, unit, g.data(), img, colours, table.get());
    };
    using L = std::vector<int>;
    // Rain column for rain rates and VIL, unit column for reflectivity and echo tops.
    EXPECT_EQ(draw("CMAX", "RN", echo), (L{-1, 1, 2, 2, -1, -1, -1}));
    EXPECT_EQ(draw("CMAX", "DZ", echo), (L{-1, 1, 2, 2, -1, -1, -1}));
    EXPECT_EQ(draw("CMAX", "CZ", echo), (L{-1, 1, 2, 2, -1, -1, -1}));
    EXPECT_EQ(draw("ETOP", "RN", echo), (L{-1, 1, 2, 2, -1, -1, -1}));
    // VIL of 0 is drawn; the unit does not matter.
    EXPECT_EQ(draw("VIL", "CZ", echo), (L{0, 1, 2, 2, -1, -1, -1}));
    g.at(0, 1) = 7.0f;  // level 1 by unit, 0 by rain
    EXPECT_EQ(draw("CMAX", "DZ", echo)[1], 1);
    EXPECT_EQ(draw("CMAX", "SN", echo)[1], 0);
    EXPECT_EQ(draw("ETOP", "SN", echo)[1], 1);
    EXPECT_EQ(draw("VIL", "DZ", echo)[1], 0);
    const auto cj3 = [&](const char* product, const char* unit, gdImagePtr img) {
        return fnCompCj3EchoDisp(7, 1, product, unit, g.data(), img, colours, table.get());
    };
    EXPECT_EQ(draw("VIL", "RN", cj3), (L{-1, 0, 2, 2, -1, -1, -1}));
    const auto c480 = [&](const char*, const char* unit, gdImagePtr img) {
        return fnComp480EchoDisp(7, 1, unit, g.data(), img, colours, table.get());
    };
    EXPECT_EQ(draw(nullptr, "CZ", c480), (L{-1, 1, 2, 2, -1, -1, -1}));

    auto img = whiteImage(7, 1);
    EXPECT_EQ(fnCompEchoDisp(7, 1, "CMAX", "RN", nullptr, img.get(), colours, table.get()), -1);
    EXPECT_EQ(fnComp480EchoDisp(7, 1, "RN", g.data(), nullptr, colours, table.get()), -1);
    EXPECT_EQ(fnCompCj3EchoDisp(7, 1, "CMAX", "RN", g.data(), img.get(), nullptr, table.get()), -1);
    EXPECT_EQ(fnComp3dEchoDisp(0, 1, "CMAX", "RN", g.data(), img.get(), colours, table.get()), -1);
}

TEST(CompositeEcho, ThreeDimensionalLookDrawsShadowsOnceAllocatedPerLevel) {
    auto table = threeLevelTable();
    // A palette image: white background, then the three level colours.
    rdr::GdImageHandle img(gdImageCreate(12, 10));
    const int white = gdImageColorAllocate(img.get(), 255, 255, 255);
    int colours[CGI_MAX_ECHO_COLOR] = {};
    int disp[CGI_EN_DISP_COLOR_MAX] = {};
    ASSERT_EQ(fnAllocColorTbl(img.get(), table.get(), colours, disp), 0);
    const int before = gdImageColorsTotal(img.get());
    ImageGrid g(10, 12, kMissing);
    g.block(1, 1, 3, 3, 25.0f);  // level 2 (rain column)
    g.block(3, 3, 3, 3, 5.0f);   // level 0: its shadows are covered by nothing
    g.at(0, 5) = 25.0f;          // border pixels are not drawn
    g.block(7, 9, 2, 2, 15.0f);  // level 1: shadows past the image are clipped
    ASSERT_EQ(fnComp3dEchoDisp(12, 10, "CMAX", "RN", g.data(), img.get(), colours, table.get()), 0);
    // One shadow colour per level drawn, however many pixels.
    EXPECT_EQ(gdImageColorsTotal(img.get()), before + 3);
    const auto rgb = [&](int x, int y) {
        const int c = gdImageGetPixel(img.get(), x, y);
        return std::vector<int>{gdImageRed(img.get(), c), gdImageGreen(img.get(), c),
                                gdImageBlue(img.get(), c)};
    };
    using V = std::vector<int>;
    EXPECT_EQ(rgb(1, 1), (V{20, 100, 200}));
    // The level-2 block's shadow lands on the level-0 block drawn before it.
    EXPECT_EQ(rgb(4, 3), (V{0, 70, 170}));
    EXPECT_EQ(rgb(5, 5), (V{200, 100, 20}));  // level 0 pixel itself
    EXPECT_EQ(rgb(7, 7), (V{170, 70, 0}));    // level-0 shadow
    EXPECT_EQ(rgb(10, 8), (V{100, 200, 20}));
    EXPECT_EQ(rgb(11, 9), (V{70, 170, 0}));  // shadow of (9, 7); (10, 8)'s is clipped
    EXPECT_EQ(gdImageGetPixel(img.get(), 5, 0), white);

    // A full palette: the drawing still works with the closest colours it holds.
    rdr::GdImageHandle full(gdImageCreate(12, 10));
    for (int k = 0; k < gdMaxColors; ++k) {
        gdImageColorAllocate(full.get(), k, 255 - k, (k * 7) % 256);
    }
    ASSERT_EQ(fnComp3dEchoDisp(12, 10, "CMAX", "RN", g.data(), full.get(), colours, table.get()),
              0);
    EXPECT_EQ(gdImageColorsTotal(full.get()), gdMaxColors);
}

}  // namespace
