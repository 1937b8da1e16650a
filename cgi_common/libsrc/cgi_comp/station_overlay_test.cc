#include "station_overlay.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "testing/composite_draw_support.h"
#include "testing/composite_station_writer.h"

namespace {

using comp_test::CompRoot;
using comp_test::ImagePtr;
using comp_test::WeatherStation;

// The display projection in closed form: spherical Lambert conformal conic, radius
// 6378.137 km, standard parallels 30 and 60, origin 126 E 0 N, metres.
struct DisplayLambert {
    static constexpr double kPi = 3.14159265358979323846;
    double re = 6378137.0;
    double sn;
    double sf;
    double ro;
    DisplayLambert() {
        const double p1 = 30.0 * kPi / 180.0;
        const double p2 = 60.0 * kPi / 180.0;
        sn = std::log(std::cos(p1) / std::cos(p2)) /
             std::log(std::tan(kPi / 4 + p2 / 2) / std::tan(kPi / 4 + p1 / 2));
        sf = std::pow(std::tan(kPi / 4 + p1 / 2), sn) * std::cos(p1) / sn;
        ro = re * sf;  // tan(pi/4 + 0)^sn = 1 at the origin latitude 0
    }
    std::pair<double, double> forward(double lon, double lat) const {
        const double ra = re * sf / std::pow(std::tan(kPi / 4 + lat * kPi / 360.0), sn);
        const double theta = (lon - 126.0) * kPi / 180.0 * sn;
        return {ra * std::sin(theta), ro - ra * std::cos(theta)};
    }
    std::pair<float, float> inverse(double x, double y) const {
        const double yn = ro - y;
        const double ra = std::hypot(x, yn);
        const double lat = 2.0 * std::atan(std::pow(re * sf / ra, 1.0 / sn)) - kPi / 2;
        const double lon = std::atan2(x, yn) / sn + 126.0 * kPi / 180.0;
        return {static_cast<float>(lon * 180.0 / kPi), static_cast<float>(lat * 180.0 / kPi)};
    }
};

// A 200 x 200 image of 1 km pixels whose left-upper corner is 124 E 38 N.
struct Scene {
    static constexpr float kLon = 124.0f;
    static constexpr float kLat = 38.0f;
    static constexpr int kSize = 200;
    DisplayLambert lambert;
    std::pair<double, double> corner = lambert.forward(kLon, kLat);

    // A station in the middle of pixel (c, r).
    WeatherStation at(int code, int c, int r) const {
        auto [lon, lat] =
            lambert.inverse(corner.first + (c + 0.5) * 1000.0, corner.second - (r + 0.5) * 1000.0);
        return WeatherStation{code, lat, lon};
    }
};

ImagePtr blankImage() {
    ImagePtr img(gdImageCreateTrueColor(Scene::kSize, Scene::kSize));
    gdImageSaveAlpha(img.get(), 1);
    gdImageAlphaBlending(img.get(), 0);
    gdImageFilledRectangle(img.get(), 0, 0, Scene::kSize - 1, Scene::kSize - 1,
                           gdTrueColorAlpha(0, 0, 0, gdAlphaTransparent));
    gdImageAlphaBlending(img.get(), 1);
    return img;
}

bool marked(gdImagePtr img, int x, int y) {
    return comp_test::isOpaqueRgb(img, x, y, 51, 51, 51);
}

constexpr const char* kDate = "202407011350";

TEST(CompWeatherSymbols, RainSnowAndFogCodesProbedInTheDecodedPng) {
    CompRoot root;
    Scene scene;
    comp_test::writeStationFile(
        root.root(), kDate, {scene.at(61, 50, 50), scene.at(71, 120, 60), scene.at(45, 80, 150)});
    ImagePtr drawn = blankImage();
    ASSERT_EQ(fnCompWstDisp(Scene::kLon, Scene::kLat, kDate, Scene::kSize, Scene::kSize,
                            Scene::kSize * 1000.0f, Scene::kSize * 1000.0f, drawn.get()),
              0);
    ImagePtr img = comp_test::throughPng(drawn.get());
    ASSERT_NE(img, nullptr);

    // 61: a filled circle of diameter 9 around (50, 50).
    for (int dy = -3; dy <= 3; ++dy) {
        for (int dx = -3; dx <= 3; ++dx) {
            if (dx * dx + dy * dy <= 9) {
                EXPECT_TRUE(marked(img.get(), 50 + dx, 50 + dy)) << dx << "," << dy;
            }
        }
    }
    EXPECT_FALSE(marked(img.get(), 56, 50));
    EXPECT_FALSE(marked(img.get(), 50, 56));

    // 71: a bar from c - 3 to c + 3 on row r and a cross through (c, r); nothing else in
    // the symbol's column.
    for (int d = -3; d <= 3; ++d) {
        EXPECT_TRUE(marked(img.get(), 120 + d, 60)) << d;
        EXPECT_TRUE(marked(img.get(), 120 + d, 60 + d)) << d;
        EXPECT_TRUE(marked(img.get(), 120 + d, 60 - d)) << d;
    }
    EXPECT_FALSE(marked(img.get(), 120, 62));
    EXPECT_FALSE(marked(img.get(), 120, 58));
    EXPECT_FALSE(marked(img.get(), 121, 63));

    // 45: nothing at all near it, and nothing anywhere but the two symbols.
    EXPECT_EQ(comp_test::countVisible(img.get(), 70, 140, 90, 160), 0);
    const auto all = comp_test::pixelsOf(img.get(), 51, 51, 51);
    EXPECT_EQ(static_cast<int>(all.size()), comp_test::countVisible(img.get(), 0, 0, 199, 199));
    for (auto [x, y] : all.xy) {
        EXPECT_TRUE((std::abs(x - 50) <= 4 && std::abs(y - 50) <= 4) ||
                    (std::abs(x - 120) <= 3 && std::abs(y - 60) <= 3))
            << x << "," << y;
    }
}

TEST(CompWeatherSymbols, EveryCodeGroupHasItsShape) {
    ImagePtr img = blankImage();
    const int colour = gdTrueColor(51, 51, 51);
    struct Probe {
        int code;
        std::vector<std::pair<int, int>> on;   // offsets that are drawn
        std::vector<std::pair<int, int>> off;  // offsets that are not
    };
    const std::vector<Probe> probes = {
        {1, {{4, 0}, {0, -4}}, {{0, 0}, {2, 0}}},                     // circle
        {4, {{4, 0}, {0, 0}, {0, 3}}, {{1, 0}}},                      // circle, bar
        {7, {{-1, 0}, {1, 3}, {4, 0}}, {{0, 0}}},                     // circle, two bars
        {10, {{4, 0}, {2, 0}}, {{0, 0}}},                             // two circles
        {81, {{0, 0}, {3, 2}}, {{0, 6}}},                             // filled circle
        {83, {{0, 0}, {0, 5}, {-3, 2}, {3, 8}, {-3, 8}}, {{0, -4}}},  // sleet
        {88, {{0, 0}, {-3, -3}, {3, -3}}, {{0, 2}}},                  // snow
        {95, {}, {{0, 0}, {4, 0}}},                                   // nothing
    };
    int x = 15;
    for (const Probe& p : probes) {
        compDrawWeatherSymbol(img.get(), p.code, x, 30, colour);
        for (auto [dx, dy] : p.on) {
            EXPECT_TRUE(marked(img.get(), x + dx, 30 + dy)) << p.code << ": " << dx << "," << dy;
        }
        for (auto [dx, dy] : p.off) {
            EXPECT_FALSE(marked(img.get(), x + dx, 30 + dy)) << p.code << ": " << dx << "," << dy;
        }
        x += 20;
    }
}

TEST(CompWeatherSymbols, EdgeStationsCountsAndBrokenFiles) {
    CompRoot root;
    Scene scene;
    const float dist = Scene::kSize * 1000.0f;
    // Column 0, row 0 and outside the image are skipped; only the announced two are read.
    comp_test::writeStationFile(
        root.root(), kDate,
        {scene.at(61, 0, 100), scene.at(61, 100, 0), scene.at(61, -5, 100), scene.at(61, 100, 100)},
        "4");
    ImagePtr img = blankImage();
    ASSERT_EQ(fnCompWstDisp(Scene::kLon, Scene::kLat, kDate, Scene::kSize, Scene::kSize, dist, dist,
                            img.get()),
              0);
    EXPECT_TRUE(marked(img.get(), 100, 100));
    EXPECT_EQ(comp_test::countVisible(img.get(), 0, 0, 5, 199), 0);
    EXPECT_EQ(comp_test::countVisible(img.get(), 0, 0, 199, 5), 0);

    comp_test::writeStationFile(root.root(), kDate,
                                {scene.at(61, 30, 30), scene.at(61, 60, 60), scene.at(61, 90, 90)},
                                "2");
    img = blankImage();
    ASSERT_EQ(fnCompWstDisp(Scene::kLon, Scene::kLat, kDate, Scene::kSize, Scene::kSize, dist, dist,
                            img.get()),
              0);
    EXPECT_TRUE(marked(img.get(), 30, 30));
    EXPECT_TRUE(marked(img.get(), 60, 60));
    EXPECT_FALSE(marked(img.get(), 90, 90));

    // A line that is not a station ends the list; a station file that says more than it
    // holds is read to its end.
    const std::string path = comp_test::writeStationFile(
        root.root(), kDate, {scene.at(61, 30, 30), scene.at(61, 60, 60)}, "1000");
    {
        std::ofstream out(path, std::ios::app);
        out << "61 nonsense\n";
        out << "61 37.0 127.0\n";
    }
    img = blankImage();
    EXPECT_EQ(fnCompWstDisp(Scene::kLon, Scene::kLat, kDate, Scene::kSize, Scene::kSize, dist, dist,
                            img.get()),
              0);
    EXPECT_TRUE(marked(img.get(), 60, 60));

    // No count, a count no file holds, a missing image or date: -1. No file: 0.
    for (const char* first : {"", "many", "99999999999", "-3"}) {
        comp_test::writeStationFile(root.root(), kDate, {scene.at(61, 30, 30)}, first);
        if (std::string(first).empty()) {
            std::ofstream(path, std::ios::trunc);
        }
        EXPECT_EQ(fnCompWstDisp(Scene::kLon, Scene::kLat, kDate, Scene::kSize, Scene::kSize, dist,
                                dist, img.get()),
                  -1)
            << first;
    }
    EXPECT_EQ(fnCompWstDisp(Scene::kLon, Scene::kLat, kDate, Scene::kSize, Scene::kSize, dist, dist,
                            nullptr),
              -1);
    EXPECT_EQ(fnCompWstDisp(Scene::kLon, Scene::kLat, "2024070113", Scene::kSize, Scene::kSize,
                            dist, dist, img.get()),
              -1);
    EXPECT_EQ(fnCompWstDisp(Scene::kLon, Scene::kLat, "202407011450", Scene::kSize, Scene::kSize,
                            dist, dist, img.get()),
              0);
}

}  // namespace
