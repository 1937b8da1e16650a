#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "display_utilities.h"
#include "site_drawing.h"
#include "testing/site_draw_support.h"

namespace {

using site_test::DrawRoot;

constexpr float kSiteLon = 126.95f;
constexpr float kSiteLat = 37.44f;
constexpr int kN = 101;  // 1 km cells, the site at (50, 50)
constexpr float kA = 200.0f;
constexpr float kB = 1.6f;

// A grid of rows of kN cells with -9999 everywhere but the cells set by the test.
struct Grid {
    std::vector<std::vector<float>> cells{kN, std::vector<float>(kN, -9999.0f)};
    std::vector<float*> rows;
    Grid() {
        for (auto& r : cells) {
            rows.push_back(r.data());
        }
    }
    float** data() { return rows.data(); }
};

// The answer for the point kmEast and kmNorth of the site.
std::string pointAnswer(Grid& g, const char* field, double kmEast, double kmNorth) {
    const auto [lon, lat] = site_test::lonLatAt(kSiteLon, kSiteLat, kmEast, kmNorth);
    return site_test::captureStdout([&, lon = lon, lat = lat] {
        EXPECT_EQ(fnWritePointRain(g.data(), field, kN, kN, 1.0f, kSiteLon, kSiteLat, 50, 50, lon,
                                   lat, kA, kB),
                  0);
    });
}

TEST(SitePointRain, AnswersValueRainRateOrDashAndLeavesTheGrid) {
    Grid g;
    // 10.2 km east and 0.3 km south of the site: column trunc(60.2 + 0.5) = 60, row
    // trunc(101 - 49.7 - 1) = 50.
    g.cells[50][60] = 40.0f;
    g.cells[50][70] = -9998.0f;
    g.cells[50][80] = 131072.0f;  // deleted-bin marker
    EXPECT_EQ(pointAnswer(g, "DZ", 10.2, -0.3), "Content-type: text/html\r\n\r\n40.00\r\n\r\n");
    // (10^4 / 200)^(1 / 1.6) = 11.53 mm/h
    EXPECT_EQ(pointAnswer(g, "RN", 10.2, -0.3), "Content-type: text/html\r\n\r\n11.53\r\n\r\n");
    EXPECT_EQ(g.cells[50][60], 40.0f);
    for (double km : {20.2, 30.2, 40.2, 200.0}) {  // outside coverage, a marker, no echo, off grid
        EXPECT_EQ(pointAnswer(g, "RN", km, -0.3), "Content-type: text/html\r\n\r\n-\r\n\r\n") << km;
    }
    EXPECT_EQ(g.cells[50][70], -9998.0f);
    EXPECT_EQ(pointAnswer(g, "RN", NAN, 0.0), "Content-type: text/html\r\n\r\n-\r\n\r\n");
    const std::string nullGrid = site_test::captureStdout([] {
        fnWritePointRain(nullptr, "RN", kN, kN, 1.0f, kSiteLon, kSiteLat, 50, 50, kSiteLon,
                         kSiteLat, kA, kB);
    });
    EXPECT_EQ(nullGrid, "Content-type: text/html\r\n\r\n-\r\n\r\n");
}

std::vector<float> readFloats(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<float> out(bytes.size() / sizeof(float));
    std::memcpy(out.data(), bytes.data(), out.size() * sizeof(float));
    return out;
}

TEST(SiteRainDump, WritesRainRatesKeepsCodesAndReplacesWholeOrNotAtAll) {
    DrawRoot root;
    const auto dir = root.path("rdr/www/cgi-src/data/temp/load_rain");
    const auto file = dir / "202407011230.bin";
    Grid g;
    g.cells[3][4] = 40.0f;
    g.cells[5][6] = -9998.0f;
    g.cells[7][8] = 131069.0f;
    ASSERT_EQ(fnRainPointFileWrite(g.data(), "RN", 202407011230L, kN, kN, kA, kB), 0);
    std::vector<float> dump = readFloats(file);
    ASSERT_EQ(dump.size(), static_cast<size_t>(kN * kN));
    EXPECT_NEAR(dump[3 * kN + 4], 11.53f, 0.01f);
    EXPECT_EQ(dump[5 * kN + 6], -9998.0f);
    EXPECT_EQ(dump[7 * kN + 8], 131069.0f);
    EXPECT_EQ(dump[0], -9999.0f);
    EXPECT_EQ(g.cells[3][4], 40.0f);  // the caller's grid is not converted

    ASSERT_EQ(fnRainPointFileWrite(g.data(), "DZ", 202407011230L, kN, kN, kA, kB), 0);
    EXPECT_EQ(readFloats(file)[3 * kN + 4], 40.0f);

    // A write that fails part-way (the file size limit is below the grid's 40 KB) leaves
    // the old file whole and no temporary file behind.
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const int failed = fnRainPointFileWrite(g.data(), "RN", 202407011230L, kN, kN, kA, kB);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(failed, -1);
    EXPECT_EQ(readFloats(file)[3 * kN + 4], 40.0f);
    int entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 1);

    std::filesystem::remove_all(dir);
    EXPECT_EQ(fnRainPointFileWrite(g.data(), "RN", 1L, kN, kN, kA, kB), -1);
    EXPECT_EQ(fnRainPointFileWrite(nullptr, "RN", 1L, kN, kN, kA, kB), -1);
}

TEST(SiteNoDataMap, LegendAndStripAroundTheMessageOrThePlainImage) {
    DrawRoot root;
    const std::string answer = site_test::captureStdout(
        [] { fnNoDataDisp_MAP("NOQC", "CAPPI", "DZ", 1.5f, 240, 250, 960, 0, 513, 513); });
    site_test::ImagePtr img = site_test::decodePngAnswer(answer);
    ASSERT_NE(img, nullptr);
    EXPECT_EQ(gdImageSX(img.get()), 513 + 45);
    EXPECT_EQ(gdImageSY(img.get()), 513 + 20);
    EXPECT_EQ(site_test::rgb(img.get(), 20, 20), 0xFFFFFF);
    EXPECT_EQ(site_test::rgb(img.get(), 513 + 5, 5), 0x46006E);          // top legend colour
    EXPECT_GT(site_test::countDark(img.get(), 60, 230, 450, 260), 200);  // the message
    EXPECT_GT(site_test::countDark(img.get(), 5, 514, 500, 531), 100);   // the strip

    // No colours for the product: still an answer, the plain image of the same size.
    const std::string plain = site_test::captureStdout(
        [] { fnNoDataDisp_MAP("NOQC", "WHAT", "DZ", 1.5f, 240, 250, 960, 0, 513, 513); });
    img = site_test::decodePngAnswer(plain);
    ASSERT_NE(img, nullptr);
    EXPECT_EQ(gdImageSX(img.get()), 513 + 45);
    EXPECT_EQ(gdTrueColorGetAlpha(gdImageGetTrueColorPixel(img.get(), 5, 5)), gdAlphaTransparent);
}

}  // namespace
