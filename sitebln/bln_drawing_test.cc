// The committed national map lines through the tool for one site, drawn for a look.
#include <gd.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bln_projection.h"
#include "bln_test_support.h"
#include "owned_handle.h"
#include "site_table.h"
#include "sitebln.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

using GdImageFree = rdr::ReleaseWith<gdImageDestroy>;

// Distance (km) from the grid position of (lon, lat) to the nearest line of the runs.
double nearestLineKm(const std::vector<blntest::BlnRun>& runs, BLN_AZED_MAP* map, float lon,
                     float lat) {
    float x = 0;
    float y = 0;
    EXPECT_TRUE(fnBlnAzedForward(lon, lat, &x, &y, map));
    double best = 1e9;
    for (const auto& run : runs) {
        for (size_t k = 1; k < run.points.size(); ++k) {
            double ax = run.points[k - 1].x;
            double ay = run.points[k - 1].y;
            double dx = run.points[k].x - ax;
            double dy = run.points[k].y - ay;
            double len2 = dx * dx + dy * dy;
            double t = len2 > 0 ? std::clamp(((x - ax) * dx + (y - ay) * dy) / len2, 0.0, 1.0) : 0;
            best = std::min(best, std::hypot(ax + t * dx - x, ay + t * dy - y));
        }
    }
    return best;
}

TEST(BlnNationalMaps, SeoulSiteLinesLandWhereTheGeographyIs) {
    fs::path maps = fs::path(RDR_STAGED_ROOT) / "DATA/GIS/MAP";
    ASSERT_TRUE(fs::exists(maps / "fine_kr.dat")) << "staged map-line inputs missing";

    rdrtest::TempDir root;
    fs::create_directories(root.path() / "DATA/GIS");
    fs::create_directory_symlink(maps, root.path() / "DATA/GIS/MAP");
    fs::create_directories(root.path() / "www/yek/cgi-src/rdr/bln");
    blntest::ScopedRdrRoot rootGuard(root.path().string());

    float lon = 0;
    float lat = 0;
    ASSERT_EQ(rdr_position("KWK", &lon, &lat), 0);
    ASSERT_EQ(sitebln("KWK", lon, lat), 0);

    std::vector<blntest::BlnRun> layers[kBlnMapCount];
    for (int i = 0; i < kBlnMapCount; ++i) {
        bool ok = false;
        layers[i] = blntest::readRuns(fnBlnOutputPath("KWK", i), &ok);
        ASSERT_TRUE(ok) << "map " << i + 1;
        ASSERT_FALSE(layers[i].empty()) << "map " << i + 1;
        for (const auto& run : layers[i]) {
            ASSERT_GE(run.points.size(), 2u);
            for (const auto& p : run.points) {
                ASSERT_TRUE(p.x >= 0 && p.x <= 1000 && p.y >= 0 && p.y <= 1000);
            }
            if (i == 3) {
                EXPECT_NE(run.type, 3) << "fine detail is left out";
            }
        }
    }

    BLN_AZED_MAP map = fnBlnSiteMap(lon, lat);
    // The military demarcation line at Panmunjom, the east coast at Gangneung's beach,
    // the west coast at the Taean peninsula tip, the Han river in Seoul.
    EXPECT_LT(nearestLineKm(layers[0], &map, 126.677f, 37.956f), 4.0);
    EXPECT_LT(nearestLineKm(layers[3], &map, 128.910f, 37.806f), 2.0);
    EXPECT_LT(nearestLineKm(layers[3], &map, 126.130f, 36.690f), 4.0);
    EXPECT_LT(nearestLineKm(layers[1], &map, 126.980f, 37.520f), 3.0);

    // A picture for a person to look at: 1 pixel per km, north up, radar in the middle.
    std::unique_ptr<gdImage, GdImageFree> img(gdImageCreateTrueColor(1001, 1001));
    ASSERT_TRUE(img);
    gdImageFilledRectangle(img.get(), 0, 0, 1000, 1000, gdTrueColor(255, 255, 255));
    const int colours[kBlnMapCount] = {gdTrueColor(200, 0, 0), gdTrueColor(0, 120, 255),
                                       gdTrueColor(255, 150, 0), gdTrueColor(0, 0, 0)};
    for (int i : {1, 2, 3, 0}) {
        for (const auto& run : layers[i]) {
            for (size_t k = 1; k < run.points.size(); ++k) {
                gdImageLine(img.get(), int(run.points[k - 1].x), 1000 - int(run.points[k - 1].y),
                            int(run.points[k].x), 1000 - int(run.points[k].y), colours[i]);
            }
        }
    }
    gdImageFilledEllipse(img.get(), 500, 500, 9, 9, gdTrueColor(0, 160, 0));
    for (int r = 100; r <= 500; r += 100) {
        gdImageArc(img.get(), 500, 500, 2 * r, 2 * r, 0, 360, gdTrueColor(180, 180, 180));
    }
    std::string png = (fs::current_path() / "sitebln_KWK.png").string();
    FILE* fp = std::fopen(png.c_str(), "wb");
    ASSERT_NE(fp, nullptr);
    gdImagePng(img.get(), fp);
    std::fclose(fp);
}

}  // namespace
