#include "composite_forecast_images.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <limits>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "composite_image_data.h"
#include "internal/composite_contour.h"
#include "internal/composite_guide_reading.h"
#include "testing/composite_draw_support.h"
#include "testing/composite_forecast_writer.h"

namespace {

using comp_test::CompRoot;
using comp_test::Grid;
using comp_test::ImagePtr;

constexpr const char* kValid = "202407011350";
constexpr const char* kIssued = "202407011200";

TEST(CompContour, ConrecRingLiesAtTheClosedFormRadius) {
    // f = (column - 32)^2 + (row - 30)^2: the level R^2 is the circle of radius R.
    Grid g(64, 64, 0.0f);
    for (int r = 0; r < 64; ++r) {
        for (int c = 0; c < 64; ++c) {
            g.at(r, c) = static_cast<float>((c - 32) * (c - 32) + (r - 30) * (r - 30));
        }
    }
    std::vector<double> x(64);
    std::vector<double> y(64);
    for (int i = 0; i < 64; ++i) {
        x[i] = i;
        y[i] = i;
    }
    const std::array<double, 2> levels = {100.0, 400.0};
    std::array<double, 2> length{};
    std::array<int, 2> segments{};
    comp_contour::conrec(g.data(), 0, 63, 0, 63, x.data(), y.data(), 2, levels.data(),
                         [&](double x1, double y1, double x2, double y2, int k) {
                             const double radius = std::sqrt(levels[k]);
                             EXPECT_NEAR(std::hypot(x1 - 32, y1 - 30), radius, 0.05);
                             EXPECT_NEAR(std::hypot(x2 - 32, y2 - 30), radius, 0.05);
                             length[k] += std::hypot(x2 - x1, y2 - y1);
                             ++segments[k];
                         });
    // A closed ring: its length is the circumference.
    EXPECT_NEAR(length[0], 2 * M_PI * 10.0, 0.01 * 2 * M_PI * 10.0);
    EXPECT_NEAR(length[1], 2 * M_PI * 20.0, 0.01 * 2 * M_PI * 20.0);
    EXPECT_GT(segments[1], segments[0]);
}

TEST(CompContour, SmoothingIsAnIntegerMeanFedByCellsAlreadySmoothed) {
    Grid g(1, 10, 0.0f);
    g.at(0, 0) = 90.0f;
    comp_contour::smoothGrid(g.data(), 10, 1);
    EXPECT_EQ(g.at(0, 0), 18.0f);  // (90 + 0 x 4) / 5
    EXPECT_EQ(g.at(0, 1), 3.0f);   // (18 + 0 x 5) / 6: the smoothed first cell, not 90
    EXPECT_EQ(g.at(0, 4), 3.0f);   // (18 + 3 + 3 + 3) / 9
    EXPECT_EQ(g.at(0, 5), 1.0f);   // (3 + 3 + 3 + 3) / 9

    // Codes take part; quotients truncate towards zero.
    Grid codes(3, 3, -9999.0f);
    codes.at(0, 0) = 0.0f;
    comp_contour::smoothGrid(codes.data(), 3, 3);
    EXPECT_EQ(codes.at(0, 0), -8888.0f);  // (0 - 9999 x 8) / 9 = -8888

    // What a corrupt forecast file may hold counts as missing.
    Grid corrupt(1, 3, 0.0f);
    corrupt.at(0, 1) = std::nanf("");
    corrupt.at(0, 2) = std::numeric_limits<float>::infinity();
    comp_contour::smoothGrid(corrupt.data(), 3, 1);
    EXPECT_EQ(corrupt.at(0, 0), -6666.0f);  // (0 - 9999 - 9999) / 3
    EXPECT_EQ(corrupt.at(0, 1), -8888.0f);  // (-6666 - 9999 - 9999) / 3
    EXPECT_EQ(corrupt.at(0, 2), -8517.0f);  // (-6666 - 8888 - 9999) / 3, towards zero
}

// The smoothing rule as written, for comparison: each window summed anew in row order,
// truncated to an integer after every addition, cells replaced as they are done.
void smoothAsWritten(Grid& g, int nx, int ny) {
    for (int r = 0; r < ny; ++r) {
        for (int c = 0; c < nx; ++c) {
            long sum = 0;
            long count = 0;
            for (int rr = std::max(0, r - 4); rr <= std::min(ny - 1, r + 4); ++rr) {
                for (int cc = std::max(0, c - 4); cc <= std::min(nx - 1, c + 4); ++cc) {
                    sum = static_cast<long>(static_cast<double>(sum) + g.at(rr, cc));
                    ++count;
                }
            }
            g.at(r, c) = static_cast<float>(sum / count);
        }
    }
}

TEST(CompContour, SmoothingEqualsTheWindowRuleOnWholeAndFractionalGrids) {
    std::mt19937 random(17);
    std::uniform_int_distribution<int> pick(0, 9);
    std::uniform_real_distribution<float> fraction(-300.0f, 300.0f);
    for (auto [nx, ny] : {std::pair{1, 1}, {3, 3}, {10, 1}, {1, 12}, {20, 5}, {37, 53}}) {
        for (bool whole : {true, false}) {
            Grid g(ny, nx, 0.0f);
            for (int r = 0; r < ny; ++r) {
                for (int c = 0; c < nx; ++c) {
                    const int k = pick(random);
                    g.at(r, c) = k == 0   ? -9999.0f
                                 : k == 1 ? -9998.0f
                                 : k == 2 ? 3.0e7f
                                 : whole  ? std::round(fraction(random) * 20.0f)
                                          : fraction(random);
                }
            }
            Grid expected = g;
            expected.rows.clear();
            for (auto& row : expected.cells) {
                expected.rows.push_back(row.data());
            }
            smoothAsWritten(expected, nx, ny);
            comp_contour::smoothGrid(g.data(), nx, ny);
            for (int r = 0; r < ny; ++r) {
                for (int c = 0; c < nx; ++c) {
                    ASSERT_EQ(g.at(r, c), expected.at(r, c))
                        << nx << "x" << ny << (whole ? " whole" : " fractional") << " at " << r
                        << "," << c;
                }
            }
        }
    }
}

COMP_VSRF_IMAGE_REQUEST request(Grid& g, int w, int h) {
    COMP_VSRF_IMAGE_REQUEST q{};
    q.pImgData = g.data();
    q.szP_type = "VSRF";
    q.nImgXdim = w;
    q.nImgYdim = h;
    q.szUnit = "RN";
    q.szF_name = "";
    q.fLU_lon = COMP_LU_LON;
    q.fLU_lat = COMP_LU_LAT;
    q.fXDist = w * 1000.0f;
    q.fYDist = h * 1000.0f;
    q.fCompGridKm = 1.0f;
    q.szDate = kValid;
    q.szForecastDate = kIssued;
    return q;
}

// A cone v = top - 100 r about (100, 100) of a 200 x 200 grid: level L at r = (top - L) / 100.
Grid cone(float top) {
    Grid g(200, 200, 0.0f);
    for (int r = 0; r < 200; ++r) {
        for (int c = 0; c < 200; ++c) {
            g.at(r, c) = std::round(top - 100.0f * std::hypot(c - 100.0f, r - 100.0f));
        }
    }
    return g;
}

ImagePtr drawnThroughPng(const COMP_VSRF_IMAGE_REQUEST& q, int expectedStatus = COMP_VSRF_IMAGE) {
    int status = -2;
    ImagePtr img(compDrawVsrfImage(&q, &status));
    EXPECT_EQ(status, expectedStatus);
    return img != nullptr ? comp_test::throughPng(img.get()) : nullptr;
}

TEST(CompContourImage, LevelRingsInTheirColoursAtTheirRadii) {
    CompRoot root;
    Grid g = cone(3000.0f);
    COMP_VSRF_IMAGE_REQUEST q = request(g, 200, 200);
    q.nContour = 1;
    q.nForeGuide = 1;  // the contour image comes first
    ImagePtr img = drawnThroughPng(q);
    ASSERT_NE(img, nullptr);
    struct Ring {
        int r, g, b;
        double radius;
    };
    for (const Ring& ring :
         {Ring{0, 128, 0, 29.0}, Ring{255, 156, 0, 25.0}, Ring{179, 0, 0, 18.0}}) {
        const auto pixels = comp_test::pixelsOf(img.get(), ring.r, ring.g, ring.b, 30, 130);
        ASSERT_GT(pixels.size(), 4 * ring.radius) << ring.radius;
        const auto [lo, hi] = comp_test::radiusRange(pixels, 100, 100);
        EXPECT_GT(lo, ring.radius - 1.5) << ring.radius;
        EXPECT_LT(hi, ring.radius + 1.5) << ring.radius;
    }
    // The -7000 edge level, where the cone reaches r = 100, in (0, 119, 179).
    EXPECT_GT(comp_test::pixelsOf(img.get(), 0, 119, 179).size(), 100u);
    // The title in blue and the times drawn.
    EXPECT_GT(comp_test::pixelsOf(img.get(), 0, 50, 255, 0, 25).size(), 20u);
    EXPECT_GT(comp_test::countVisible(img.get(), 0, 140, 199, 180), 50);
}

TEST(CompContourImage, TheTopLevelIsDrawnInBlackNotPastTheColourTable) {
    CompRoot root;
    Grid g = cone(12000.0f);
    COMP_VSRF_IMAGE_REQUEST q = request(g, 200, 200);
    q.nContour = 1;
    ImagePtr img = drawnThroughPng(q);
    ASSERT_NE(img, nullptr);
    const auto black = comp_test::pixelsOf(img.get(), 0, 0, 0, 30, 130);
    ASSERT_GT(black.size(), 60u);
    const auto [lo, hi] = comp_test::radiusRange(black, 100, 100);
    EXPECT_GT(lo, 18.5);
    EXPECT_LT(hi, 21.5);
    const auto purple = comp_test::pixelsOf(img.get(), 127, 0, 191, 30, 130);
    EXPECT_GT(purple.size(), 100u);
    // Between title and times only contour colours.
    const std::set<int> allowed = {0x000000, 0x0077B3, 0x008000, 0xFF9C00, 0xB30000, 0x7F00BF};
    for (int y = 30; y <= 130; ++y) {
        for (int x = 0; x < 200; ++x) {
            if (comp_test::alphaAt(img.get(), x, y) == 0) {
                ASSERT_TRUE(allowed.count(comp_test::rgbAt(img.get(), x, y))) << x << "," << y;
            }
        }
    }
}

TEST(CompForecastImage, StormCellsTakePrecedenceOverContours) {
    CompRoot root;
    Grid g(100, 100, -9999.0f);
    for (int r = 40; r < 46; ++r) {
        for (int c = 40; c < 46; ++c) {
            g.at(r, c) = 50.0f;
        }
    }
    COMP_VSRF_IMAGE_REQUEST q = request(g, 100, 100);
    q.szUnit = "CZ";
    q.nTitan = 1;
    q.nContour = 1;
    ImagePtr img = drawnThroughPng(q);
    ASSERT_NE(img, nullptr);
    // The 6 x 6 cell and nothing else: no title, no contour.
    EXPECT_EQ(comp_test::countVisible(img.get(), 40, 40, 45, 45), 36);
    EXPECT_EQ(comp_test::countVisible(img.get(), 0, 0, 99, 99), 36);
}

TEST(CompForecastImage, PlainEchoWithTitleAndTimes) {
    CompRoot root;
    Grid g(200, 200, -9999.0f);
    for (int r = 60; r < 120; ++r) {
        for (int c = 60; c < 140; ++c) {
            g.at(r, c) = 2.5f;
        }
    }
    COMP_VSRF_IMAGE_REQUEST q = request(g, 200, 200);
    ImagePtr img = drawnThroughPng(q);
    ASSERT_NE(img, nullptr);
    const int echo = comp_test::rgbAt(img.get(), 100, 90);
    EXPECT_EQ(comp_test::alphaAt(img.get(), 100, 90), 0);
    EXPECT_EQ(
        comp_test::pixelsOf(img.get(), echo >> 16, (echo >> 8) & 0xFF, echo & 0xFF, 30, 130).size(),
        60u * 80u);
    EXPECT_GT(comp_test::pixelsOf(img.get(), 0, 50, 255, 0, 25).size(), 20u);
    EXPECT_GT(comp_test::countVisible(img.get(), 0, 140, 199, 180), 50);

    // Without a valid time there is no image and no answer.
    q.szForecastDate = "20240701";
    EXPECT_EQ(drawnThroughPng(q, COMP_VSRF_FAILED), nullptr);
    EXPECT_TRUE(comp_test::captureStdout([&] {
                    EXPECT_EQ(fnCreateCompVsrfImg(g.data(), "VSRF", 200, 200, "RN", 0, 0, 0, "", 0,
                                                  0, COMP_LU_LON, COMP_LU_LAT, 2e5f, 2e5f, 0, 1.0f,
                                                  kValid, "20240701"),
                              -1);
                }).empty());
}

// Hourly forecast grids of a 200 x 200 composite of 1 km cells: grid g holds 100 inside a
// disc of radius 20 + 20 g / 3 about cell (100, 100) and -9999 outside it, so that leads
// 0, 180 and 360 minutes have discs of radius 20, 40 and 60.
void writeGuideFile(const std::string& path, int nGrids) {
    ASSERT_TRUE(comp_test::writeVsrfFile(path, 200, 200, nGrids, [](int g, int r, int c) {
        const double radius = 20.0 + 20.0 * g / 3.0;
        return static_cast<int16_t>(std::hypot(c - 100.0, (199 - r) - 100.0) < radius ? 100
                                                                                      : -32767);
    }));
}

TEST(CompGuideImage, ThreadedReadsOfThreeLeadsOutlinedInRedGreenAndBlue) {
    CompRoot root;
    const std::string file = root.path("vsrf.gz").string();
    writeGuideFile(file, 7);
    Grid unused(200, 200, -9999.0f);
    COMP_VSRF_IMAGE_REQUEST q = request(unused, 200, 200);
    q.nForeGuide = 1;
    q.szF_name = file.c_str();
    q.nCompXdim = 200;
    q.nCompYdim = 200;
    ImagePtr img = drawnThroughPng(q);
    ASSERT_NE(img, nullptr);
    struct Lead {
        int r, g, b;
        double radius;
    };
    for (const Lead& lead : {Lead{255, 0, 0, 20.0}, Lead{0, 255, 0, 40.0}, Lead{0, 0, 255, 60.0}}) {
        const auto pixels = comp_test::pixelsOf(img.get(), lead.r, lead.g, lead.b, 30, 130);
        ASSERT_GT(pixels.size(), 3 * lead.radius) << lead.radius;
        // The edge level follows the disc's edge; smoothing in place, which feeds smoothed
        // cells from above and to the left into later windows, moves it a few pixels towards
        // the lower right.
        const auto [lo, hi] = comp_test::radiusRange(pixels, 100, 100);
        EXPECT_GT(lo, lead.radius - 3.0) << lead.radius;
        EXPECT_LT(hi, lead.radius + 5.0) << lead.radius;
    }
    EXPECT_GT(comp_test::pixelsOf(img.get(), 0, 50, 255, 0, 25).size(), 20u);
}

TEST(CompGuideImage, ThreadedReadsWithALeadMissingAnswerTheNoDataImage) {
    CompRoot root;
    const std::string file = root.path("short.gz").string();
    writeGuideFile(file, 2);  // leads 0 and 60 only
    Grid unused(200, 200, -9999.0f);
    COMP_VSRF_IMAGE_REQUEST q = request(unused, 200, 200);
    q.nForeGuide = 1;
    q.szF_name = file.c_str();
    q.nCompXdim = 200;
    q.nCompYdim = 200;
    EXPECT_EQ(drawnThroughPng(q, COMP_VSRF_NO_GRID), nullptr);
    const std::string answer = comp_test::captureStdout([&] {
        EXPECT_EQ(fnCreateCompVsrfImg(unused.data(), "VSRF", 200, 200, "RN", 0, 0, 1, file.c_str(),
                                      200, 200, COMP_LU_LON, COMP_LU_LAT, 2e5f, 2e5f, 0, 1.0f,
                                      kValid, kIssued),
                  0);
    });
    ImagePtr img = comp_test::decodePngAnswer(answer);
    ASSERT_NE(img, nullptr);
    EXPECT_EQ(comp_test::alphaAt(img.get(), 0, 0), gdAlphaTransparent);
    EXPECT_GT(comp_test::countVisible(img.get(), 0, 80, 199, 105), 50);
}

std::array<comp_guide::GuideRead, 3> guideReads(const std::string& product, const std::string& file,
                                                int nx, int ny) {
    std::array<comp_guide::GuideRead, 3> reads;
    const int leads[3] = {0, 180, 360};
    for (int n = 0; n < 3; ++n) {
        reads[n].product = product;
        reads[n].fileName = file;
        reads[n].nCompXdim = nx;
        reads[n].nCompYdim = ny;
        reads[n].nFcstTime = leads[n];
    }
    return reads;
}

void expectSameGrids(const std::array<comp_guide::GuideRead, 3>& a,
                     const std::array<comp_guide::GuideRead, 3>& b, int nx, int ny) {
    for (int n = 0; n < 3; ++n) {
        ASSERT_NE(a[n].grid, nullptr) << n;
        ASSERT_NE(b[n].grid, nullptr) << n;
        for (int r = 0; r < ny; ++r) {
            for (int c = 0; c < nx; ++c) {
                ASSERT_EQ(a[n].grid.get()[r][c], b[n].grid.get()[r][c])
                    << n << ":" << r << "," << c;
            }
        }
    }
}

TEST(CompGuideReading, ThreadedReadsEqualASerialRun) {
    rdrtest::TempDir dir;
    const std::string file = dir.file("vsrf.gz");
    writeGuideFile(file, 7);
    auto threaded = guideReads("VSRF", file, 200, 200);
    comp_guide::readGuideGrids(threaded);
    auto serial = guideReads("VSRF", file, 200, 200);
    for (auto& read : serial) {
        comp_guide::readGuideGrid(read);
    }
    expectSameGrids(threaded, serial, 200, 200);
    // Each lead its own grid: the discs grow with the lead.
    EXPECT_EQ(threaded[0].grid.get()[99][125], -9999.0f);
    EXPECT_EQ(threaded[1].grid.get()[99][125], 100.0f);
}

TEST(CompGuideReading, ThreadedReadsWhereAWorkerCannotStartReadTheRestInTheCaller) {
    rdrtest::TempDir dir;
    const std::string file = dir.file("vsrf.gz");
    writeGuideFile(file, 7);
    auto serial = guideReads("VSRF", file, 200, 200);
    for (auto& read : serial) {
        comp_guide::readGuideGrid(read);
    }
    // The second worker never starts: it must be neither joined nor left unread.
    int calls = 0;
    auto reads = guideReads("VSRF", file, 200, 200);
    comp_guide::readGuideGrids(reads, [&](std::thread& worker, comp_guide::GuideRead& read) {
        return ++calls != 2 && comp_guide::startWorker(worker, read);
    });
    EXPECT_EQ(calls, 3);
    expectSameGrids(reads, serial, 200, 200);
    // No worker at all.
    auto none = guideReads("VSRF", file, 200, 200);
    comp_guide::readGuideGrids(none, [](std::thread&, comp_guide::GuideRead&) { return false; });
    expectSameGrids(none, serial, 200, 200);
}

TEST(CompGuideReading, ThreadedMapleFieldsOfTheThreeLeadsAndLongNamesKeptWhole) {
    rdrtest::TempDir dir;
    // A directory path well past the 1023 characters a fixed name field held.
    std::filesystem::path deep = dir.path();
    for (int i = 0; i < 5; ++i) {
        deep /= std::string(240, static_cast<char>('a' + i));
    }
    std::filesystem::create_directories(deep);
    const std::string file = (deep / "maple.bin").string();
    ASSERT_GT(file.size(), 1200u);
    // Field k holds k + row / 1000 (data x 100 once read); leads 0, 180 and 360 minutes
    // read fields 36, 17 and 35.
    std::map<int, comp_test::MapleValue> fields;
    for (int k : {17, 35, 36}) {
        fields[k] = [k](int r, int) { return static_cast<float>(k) + r / 1000.0f; };
    }
    ASSERT_TRUE(comp_test::writeMapleFile(file, 37, fields));
    constexpr int kX = 64;
    constexpr int kY = 1060;
    auto threaded = guideReads("MAPLE", file, kX, kY);
    comp_guide::readGuideGrids(threaded);
    auto serial = guideReads("PIRET", file, kX, kY);
    for (auto& read : serial) {
        comp_guide::readGuideGrid(read);
    }
    expectSameGrids(threaded, serial, kX, kY);
    // Field row 500 lands in matrix row 500 + 1060 - 1052.
    const int fieldOf[3] = {36, 17, 35};
    for (int n = 0; n < 3; ++n) {
        EXPECT_FLOAT_EQ(threaded[n].grid.get()[508][3], (fieldOf[n] + 0.5f) * 100.0f) << n;
    }
}

}  // namespace
