#include "composite_image_data.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "composite_lookup.h"
#include "internal/composite_grid.h"
#include "proj_runner.h"
#include "test_support.h"
#include "testing/composite_storm_fixture.h"

namespace {

using comp_grid::MatrixPtr;
using comp_test::ImageGrid;

constexpr float kOutside = -9998.0f;
constexpr float kMissing = -9999.0f;

using XY = rdrtest::ProjPoint;

std::vector<XY> runProjSixDecimals(const std::vector<std::string>& args,
                                   const std::vector<XY>& in) {
    return rdrtest::runProj(args, in, "%.6f");
}

// The composite's own grid and the display projection, as proj spells them (radii are the
// floats the library holds).
const std::vector<std::string> kOwnGrid = {"+proj=lcc", "+lat_1=30",  "+lat_2=60",
                                           "+lat_0=38", "+lon_0=126", "+R=6371008.7890625",
                                           "+units=m"};
const std::vector<std::string> kDisplay = {"+proj=lcc", "+lat_1=30",  "+lat_2=60",
                                           "+lat_0=0",  "+lon_0=126", "+R=6378137.20703125",
                                           "+units=m"};

// The 1 km composite: 960 x 1200 cells, each holding row x 1000 + column.
constexpr int kCompX = 960;
constexpr int kCompY = 1200;
constexpr double kCompLeftM = -400000.0;
constexpr double kCompTopM = 400000.0;

ImageGrid indexComposite() {
    return ImageGrid(kCompY, kCompX, [](int r, int c) { return static_cast<float>(r * 1000 + c); });
}

struct Window {
    const char* name;
    float luLon;
    float luLat;
    int xdim;
    int ydim;
    double pixelM;
};

// proj puts each probe point in its pixel and that pixel's left-upper corner on the
// composite's own grid; the value drawn there must come from a composite cell within one
// pixel of that corner.
TEST(CompositeImageGrid, ProbedPointsAgreeWithProjWithinOnePixel) {
    ImageGrid comp = indexComposite();
    const Window windows[] = {
        {"whole composite, 2 km", COMP_LU_LON, COMP_LU_LAT, 481, 601, 2000.0},
        {"south-east, 1 km", 128.0f, 35.5f, 400, 300, 1000.0},
        {"north-west, 0.5 km", 124.5f, 38.8f, 300, 300, 500.0},
        {"beyond the composite, 2.5 km", 119.0f, 43.0f, 700, 800, 2500.0},
    };
    for (const Window& w : windows) {
        SCOPED_TRACE(w.name);
        MatrixPtr img(fnMakeCompImgData(
            comp.data(), w.xdim, w.ydim, w.luLon, w.luLat, static_cast<float>(w.xdim * w.pixelM),
            static_cast<float>(w.ydim * w.pixelM), 0, kCompX, kCompY, 1.0f, "CMAX"));
        ASSERT_TRUE(img);
        // A lattice of points over the window (about 90 km per degree of longitude here).
        const double lonStep = w.xdim * w.pixelM / 1000.0 / 90.0 / 20.0;
        const double latStep = w.ydim * w.pixelM / 1000.0 / 111.0 / 20.0;
        std::vector<XY> geo = {{w.luLon, w.luLat}};
        for (int a = 0; a < 22; ++a) {
            for (int b = 0; b < 22; ++b) {
                geo.push_back({w.luLon + (a + 0.37) * lonStep, w.luLat - (b + 0.61) * latStep});
            }
        }
        const std::vector<XY> disp = runProjSixDecimals(kDisplay, geo);
        ASSERT_EQ(disp.size(), geo.size());
        struct Probe {
            int col;
            int row;
        };
        std::vector<Probe> probes;
        std::vector<XY> corners;
        for (size_t k = 1; k < geo.size(); ++k) {
            const int col = static_cast<int>(std::floor((disp[k].a - disp[0].a) / w.pixelM));
            const int row = static_cast<int>(std::floor((disp[0].b - disp[k].b) / w.pixelM));
            if (col >= 0 && row >= 0 && col < w.xdim && row < w.ydim) {
                probes.push_back({col, row});
                corners.push_back({disp[0].a + col * w.pixelM, disp[0].b - row * w.pixelM});
            }
        }
        std::vector<std::string> inverse = kDisplay;
        inverse.insert(inverse.begin(), "-I");
        const std::vector<XY> own =
            runProjSixDecimals(kOwnGrid, runProjSixDecimals(inverse, corners));
        ASSERT_EQ(own.size(), probes.size());
        int insideComposite = 0;
        const double pixelCells = w.pixelM / 1000.0;
        for (size_t k = 0; k < probes.size(); ++k) {
            const float v = img.get()[probes[k].row][probes[k].col];
            // Where the pixel's corner lies on the composite, in cells.
            const double cx = (own[k].a - kCompLeftM) / 1000.0;
            const double cy = (kCompTopM - own[k].b) / 1000.0;
            const bool wellInside = cx > pixelCells && cy > pixelCells &&
                                    cx < kCompX - pixelCells && cy < kCompY - pixelCells;
            if (v == kOutside) {
                EXPECT_FALSE(wellInside) << "pixel " << probes[k].col << ", " << probes[k].row;
                continue;
            }
            ASSERT_GE(v, 0.0f) << "pixel " << probes[k].col << ", " << probes[k].row;
            ++insideComposite;
            const int shownRow = static_cast<int>(v) / 1000;
            const int shownCol = static_cast<int>(v) % 1000;
            const auto gap = [](double p, int cell) {
                return p < cell ? cell - p : p > cell + 1 ? p - (cell + 1) : 0.0;
            };
            EXPECT_LE(gap(cx, shownCol), pixelCells) << "pixel " << probes[k].col << " at " << cx;
            EXPECT_LE(gap(cy, shownRow), pixelCells) << "pixel " << probes[k].row << " at " << cy;
        }
        EXPECT_GT(probes.size(), 300u);
        EXPECT_GT(insideComposite, 100);
    }
}

// The re-placement's shortcut (a scale about the window corner) against the documented
// per-cell round trip: the composite's grid back to longitude and latitude, then forward on
// the display projection, nearest pixel.
TEST(CompositeImageGrid, RePlacementEqualsThePerCellRoundTripThroughBothProjections) {
    const int nx = 1300;
    const int ny = 900;
    const float gridM = 800.0f;
    const float luLon = 123.1f;
    const float luLat = 39.7f;
    ImageGrid grid(ny, nx, [](int r, int c) { return static_cast<float>(r * 10000 + c); });
    ImageGrid expected(ny, nx, kMissing);
    st_LAMC_PARAMETER own = compGridProjection();
    st_LAMC_PARAMETER disp = compDisplayProjection();
    st_LAMC_VAR ownVar{};
    st_LAMC_VAR dispVar{};
    float lon = luLon;
    float lat = luLat;
    float xa0 = 0, ya0 = 0, xb0 = 0, yb0 = 0;
    fnCgiLamcproj(&lon, &lat, &xa0, &ya0, CGI_EN_PROJ_TO_GRID, &own, &ownVar);
    fnCgiLamcproj(&lon, &lat, &xb0, &yb0, CGI_EN_PROJ_TO_GRID, &disp, &dispVar);
    for (int r = 0; r < ny; ++r) {
        for (int c = 0; c < nx; ++c) {
            float xa = c * gridM + xa0;
            float ya = ya0 - r * gridM;
            float plon = 0, plat = 0, xb = 0, yb = 0;
            fnCgiLamcproj(&plon, &plat, &xa, &ya, CGI_EN_PROJ_TO_LONLAT, &own, &ownVar);
            fnCgiLamcproj(&plon, &plat, &xb, &yb, CGI_EN_PROJ_TO_GRID, &disp, &dispVar);
            const int tc = static_cast<int>(std::floor((xb - xb0) / gridM + 0.5f));
            const int tr = static_cast<int>(std::floor((yb0 - yb) / gridM + 0.5f));
            if (tc >= 0 && tr >= 0 && tc < nx && tr < ny) {
                expected.at(tr, tc) = grid.at(r, c);
            }
        }
    }
    ASSERT_EQ(fnVyqPosToGisPos(grid.data(), ny, nx, gridM, gridM, luLon, luLat, 0, 0, 0, 0), 0);
    int differ = 0;
    int holes = 0;
    for (int r = 0; r < ny; ++r) {
        for (int c = 0; c < nx; ++c) {
            differ += grid.at(r, c) != expected.at(r, c);
            holes += grid.at(r, c) == kMissing;
        }
    }
    // The float round trip lands a hair on the other side of a half pixel now and then.
    EXPECT_LE(differ, nx + ny);
    // 0.11 % more pixels on the display: a hole row and a hole column about every 900.
    EXPECT_GT(holes, 0);
}

TEST(CompositeImageGrid, UnreachedPixelsAreMissingInsideTheCompositeAndFilledThere) {
    const int n = 1000;
    ImageGrid grid(n, n, 5.0f);
    // The composite spans pixel rows 100 to 300 and columns 50 to 900 before placement.
    ASSERT_EQ(
        fnVyqPosToGisPos(grid.data(), n, n, 1000.0f, 1000.0f, 126.0f, 38.0f, 50, 100, 900, 300), 0);
    const double scale = 6378.13720703125 / 6371.0087890625;
    const auto placed = [&](int p) { return static_cast<int>(std::floor(scale * p + 0.5)); };
    int holes = 0;
    for (int r = 0; r < n; ++r) {
        for (int c = 0; c < n; ++c) {
            const float v = grid.at(r, c);
            if (v == 5.0f) {
                continue;
            }
            ++holes;
            const bool inside =
                r >= placed(100) && r <= placed(300) && c >= placed(50) && c <= placed(900);
            EXPECT_EQ(v, inside ? kMissing : kOutside) << r << ", " << c;
        }
    }
    EXPECT_GE(holes, 2 * n - 1);
    compFillImageGaps(grid.data(), n, n);
    for (int r = placed(100); r <= placed(300); ++r) {
        for (int c = placed(50); c <= placed(900); ++c) {
            ASSERT_EQ(grid.at(r, c), 5.0f) << r << ", " << c;
        }
    }
}

TEST(CompositeImageGrid, GapFillClosesSinglePixelHolesOnly) {
    // 7 x 7: sideways in columns 1 to 4, vertically in rows 1 to 4.
    ImageGrid g(7, 7, 1.0f);
    for (int c = 0; c < 7; ++c) {
        g.at(1, c) = static_cast<float>(10 + c);
        g.at(2, c) = static_cast<float>(20 + c);
    }
    g.at(0, 3) = kMissing;  // first row: sideways only
    g.at(2, 2) = kMissing;  // both ways: the row before wins
    g.at(3, 3) = kMissing;  // two side by side: the first from above,
    g.at(3, 4) = kMissing;  // the second from its filled left neighbour, then from above
    g.at(4, 5) = kMissing;  // past column 4: from above only
    g.at(6, 0) = kMissing;  // column 0 of the last row: not at all
    g.at(6, 2) = kMissing;  // last row: sideways only
    g.at(5, 2) = kOutside;  // an outside cell is a neighbour like any other
    g.at(5, 3) = kMissing;
    compFillImageGaps(g.data(), 7, 7);
    EXPECT_EQ(g.at(0, 3), 1.0f);
    EXPECT_EQ(g.at(2, 2), 12.0f);
    EXPECT_EQ(g.at(3, 3), 23.0f);
    EXPECT_EQ(g.at(3, 4), 24.0f);
    EXPECT_EQ(g.at(4, 5), 1.0f);
    EXPECT_EQ(g.at(6, 0), kMissing);
    EXPECT_EQ(g.at(6, 2), 1.0f);
    EXPECT_EQ(g.at(5, 3), kOutside);

    ImageGrid edge(4, 7, 2.0f);
    edge.at(0, 5) = kMissing;  // past column nImgXdim - 3 in the first row
    edge.at(2, 5) = kMissing;  // and in a row past nImgYdim - 3
    compFillImageGaps(edge.data(), 7, 4);
    EXPECT_EQ(edge.at(0, 5), kMissing);
    EXPECT_EQ(edge.at(2, 5), kMissing);
}

TEST(CompositeImageGrid, GuideAndMapGridsAreThePlainComposite) {
    ImageGrid comp = indexComposite();
    // The whole composite at a pixel per cell on its own grid: the composite itself.
    ImageGrid guide(kCompY, kCompX, 0.0f);
    ASSERT_EQ(
        fnMakeCompVsrfConGuideImgData(guide.data(), comp.data(), kCompX, kCompY, COMP_LU_LON,
                                      COMP_LU_LAT, 960000.0f, 1200000.0f, kCompX, kCompY, 1.0f),
        0);
    int differ = 0;
    for (int r = 0; r < kCompY; ++r) {
        for (int c = 0; c < kCompX; ++c) {
            differ += guide.at(r, c) != comp.at(r, c);
        }
    }
    EXPECT_EQ(differ, 0);

    // A window off the corner at 1.3 km pixels: each pixel is the nearest lookup's cell.
    ImageGrid window(333, 444, 0.0f);
    ASSERT_EQ(fnMakeCompVsrfConGuideImgData(window.data(), comp.data(), 444, 333, 124.2f, 39.1f,
                                            444 * 1300.0f, 333 * 1300.0f, kCompX, kCompY, 1.0f),
              0);
    CompImageFrame f{};
    ASSERT_TRUE(compImageFrame(444, 333, 124.2f, 39.1f, 444 * 1300.0f, 333 * 1300.0f, 1.0f, &f));
    differ = 0;
    for (int r = 0; r < 333; ++r) {
        for (int c = 0; c < 444; ++c) {
            differ +=
                window.at(r, c) != fnCalcRadarValue(comp.data(), kCompX, kCompY, f.nDiff_x,
                                                    f.nDiff_y, c, r, f.fXGridScale, f.fYGridScale);
        }
    }
    EXPECT_EQ(differ, 0);

    // Half a pixel per 1 km cell: every second cell from the corner.
    ImageGrid map(700, 500, 0.0f);
    ASSERT_EQ(fnMakeCompMapImgData(map.data(), comp.data(), 500, 700, kCompX, kCompY, 1.0f), 0);
    EXPECT_EQ(map.at(0, 0), 0.0f);
    EXPECT_EQ(map.at(10, 7), comp.at(20, 14));
    EXPECT_EQ(map.at(599, 479), comp.at(1198, 958));
    EXPECT_EQ(map.at(600, 479), kOutside);
    EXPECT_EQ(map.at(10, 480), kOutside);
}

TEST(CompositeImageGrid, SmoothingFollowsTheProductAndBadArgumentsGiveNoGrid) {
    ImageGrid comp(kCompY, kCompX, [](int r, int c) { return static_cast<float>((r + c) % 50); });
    const auto make = [&](int smooth, const char* product) {
        return MatrixPtr(fnMakeCompImgData(comp.data(), 200, 150, 125.0f, 37.5f, 100000.0f,
                                           75000.0f, smooth, kCompX, kCompY, 1.0f, product));
    };
    MatrixPtr nearest = make(0, "CMAX");
    MatrixPtr smooth = make(1, "CMAX");
    MatrixPtr etop = make(1, "ETOP");
    MatrixPtr vil = make(1, "VIL");
    ASSERT_TRUE(nearest && smooth && etop && vil);
    int smoothDiffers = 0;
    int heightsDiffer = 0;
    for (int r = 0; r < 150; ++r) {
        for (int c = 0; c < 200; ++c) {
            smoothDiffers += nearest.get()[r][c] != smooth.get()[r][c];
            heightsDiffer += nearest.get()[r][c] != etop.get()[r][c];
            heightsDiffer += nearest.get()[r][c] != vil.get()[r][c];
        }
    }
    EXPECT_GT(smoothDiffers, 1000);
    EXPECT_EQ(heightsDiffer, 0);

    EXPECT_EQ(fnMakeCompImgData(nullptr, 200, 150, 125.0f, 37.5f, 1e5f, 1e5f, 0, kCompX, kCompY,
                                1.0f, "CMAX"),
              nullptr);
    EXPECT_EQ(fnMakeComp480ImgData(comp.data(), 0, 150, 125.0f, 37.5f, 1e5f, 1e5f, 0, kCompX,
                                   kCompY, 1.0f),
              nullptr);
    EXPECT_EQ(fnMakeCompCj3ImgData(comp.data(), 200, 150, 125.0f, 37.5f, 1e5f, -1.0f, 0, kCompX,
                                   kCompY, 1.0f),
              nullptr);
    EXPECT_EQ(fnMakeCompImgData(comp.data(), 200, 150, 125.0f, NAN, 1e5f, 1e5f, 0, kCompX, kCompY,
                                1.0f, "CMAX"),
              nullptr);
    EXPECT_EQ(fnMakeCompVsrfEchoImgData(nullptr, comp.data(), 200, 150, 125.0f, 37.5f, 1e5f, 1e5f,
                                        0, kCompX, kCompY, 1.0f),
              -1);
    EXPECT_EQ(fnVyqPosToGisPos(comp.data(), 10, 10, 0.0f, 1.0f, 125.0f, 37.5f, 0, 0, 0, 0), -1);
}

}  // namespace
