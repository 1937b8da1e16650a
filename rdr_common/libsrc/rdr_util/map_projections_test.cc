#include "map_projections.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "proj_runner.h"
#include "test_support.h"

namespace {

// Earth radius of every projection of the system, as the float it is held in.
constexpr float kEarthKm = 6371.00877f;

using XY = rdrtest::ProjPoint;
using rdrtest::runProj;

std::string radiusArg() {
    char buf[64];
    std::snprintf(buf, sizeof buf, "+R=%.10f", static_cast<double>(kEarthKm) * 1000.0);
    return buf;
}

std::string degArg(const char* key, float v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "+%s=%.9g", key, static_cast<double>(v));
    return buf;
}

// One image window: a grid of xdim x ydim cells of gridKm whose reference point sits at
// grid (xo, yo).
struct Window {
    const char* name;
    int xdim;
    int ydim;
    float gridKm;
    float xo;
    float yo;
};

// Relative agreement, with the window's extent as the scale of coordinates near zero.
void expectClose(double got, double want, double scale, const std::string& what) {
    const double tol = 1e-6 * std::max(std::fabs(want), scale);
    EXPECT_NEAR(got, want, tol) << what;
}

// Projection under test, in both directions, seen through one interface.
struct Projection {
    virtual void toGrid(float lon, float lat, float& x, float& y) = 0;
    virtual void toLonLat(float x, float y, float& lon, float& lat) = 0;
    virtual ~Projection() = default;
};

struct Lamc : Projection {
    LAMC_PARAMETER map;
    LAMC_VAR var{};
    explicit Lamc(LAMC_PARAMETER m) : map(m) {}
    void toGrid(float lon, float lat, float& x, float& y) override {
        fnLamcProj(&lon, &lat, &x, &y, 0, &map, &var);
    }
    void toLonLat(float x, float y, float& lon, float& lat) override {
        fnLamcProj(&lon, &lat, &x, &y, 1, &map, &var);
    }
};

struct Azed : Projection {
    AZED_PARAMETER map;
    AZED_VAR var{};
    explicit Azed(AZED_PARAMETER m) : map(m) {}
    void toGrid(float lon, float lat, float& x, float& y) override {
        fnAzedProj(&lon, &lat, &x, &y, 0, &map, &var);
    }
    void toLonLat(float x, float y, float& lon, float& lat) override {
        fnAzedProj(&lon, &lat, &x, &y, 1, &map, &var);
    }
};

// Samples the window on a 21 x 21 lattice (edges included) and compares both directions
// with proj: the inverse at the lattice points, then the forward of proj's geographic
// answers rounded to float.
void compareWithProj(Projection& p, const std::vector<std::string>& projArgs, const Window& w) {
    const double metresPerCell = static_cast<double>(w.gridKm) * 1000.0;
    const double extent = std::max(w.xdim, w.ydim);
    std::vector<float> xs;
    std::vector<float> ys;
    std::vector<XY> metres;
    for (int j = 0; j <= 20; ++j) {
        for (int i = 0; i <= 20; ++i) {
            const float x = static_cast<float>(w.xdim * i / 20.0);
            const float y = static_cast<float>(w.ydim * j / 20.0);
            xs.push_back(x);
            ys.push_back(y);
            metres.push_back({(x - w.xo) * metresPerCell, (y - w.yo) * metresPerCell});
        }
    }
    std::vector<std::string> inverseArgs = {"-I"};
    inverseArgs.insert(inverseArgs.end(), projArgs.begin(), projArgs.end());
    const std::vector<XY> geo = runProj(inverseArgs, metres);
    ASSERT_EQ(geo.size(), xs.size());

    std::vector<XY> geoFloat;
    for (size_t k = 0; k < xs.size(); ++k) {
        float lon = 0.0f;
        float lat = 0.0f;
        p.toLonLat(xs[k], ys[k], lon, lat);
        const std::string where = std::string(w.name) + " inverse at (" + std::to_string(xs[k]) +
                                  ", " + std::to_string(ys[k]) + ")";
        expectClose(lon, geo[k].a, 1.0, where + " lon");
        expectClose(lat, geo[k].b, 1.0, where + " lat");
        geoFloat.push_back({static_cast<float>(geo[k].a), static_cast<float>(geo[k].b)});
    }

    const std::vector<XY> fwd = runProj(projArgs, geoFloat);
    ASSERT_EQ(fwd.size(), geoFloat.size());
    for (size_t k = 0; k < geoFloat.size(); ++k) {
        float x = 0.0f;
        float y = 0.0f;
        p.toGrid(static_cast<float>(geoFloat[k].a), static_cast<float>(geoFloat[k].b), x, y);
        const std::string where = std::string(w.name) + " forward at (" +
                                  std::to_string(geoFloat[k].a) + ", " +
                                  std::to_string(geoFloat[k].b) + ")";
        expectClose(x, fwd[k].a / metresPerCell + w.xo, extent, where + " x");
        expectClose(y, fwd[k].b / metresPerCell + w.yo, extent, where + " y");
    }
}

TEST(MapProjections, LambertAgreesWithProjOverCompositeWindows) {
    // The composite image windows, with the reference point at the centre and off centre.
    const Window windows[] = {
        {"COMP_240", 480, 600, 2.0f, 240.0f, 300.0f},
        {"COMP_240 off", 480, 600, 2.0f, 200.0f, 380.0f},
        {"COMP_480", 526, 576, 3.0f, 263.0f, 288.0f},
        {"COMP_KCJ", 751, 1101, 3.0f, 300.0f, 700.0f},
        {"national 1 km", 1024, 1024, 1.0f, 560.0f, 840.0f},
    };
    for (const Window& w : windows) {
        Lamc p(fnGetLamcMapInfo(kEarthKm, w.gridKm, 30.0f, 60.0f, 126.0f, 38.0f, w.xo, w.yo));
        compareWithProj(p,
                        {"+proj=lcc", "+lat_1=30", "+lat_2=60", "+lat_0=38", "+lon_0=126",
                         radiusArg(), "+units=m"},
                        w);
    }
}

TEST(MapProjections, LambertWithOneStandardParallelAgreesWithProj) {
    // Equal parallels make the two-parallel cone constant 0/0; the tangent cone applies.
    const Window w{"tangent 45N", 600, 600, 2.0f, 300.0f, 300.0f};
    Lamc p(fnGetLamcMapInfo(kEarthKm, w.gridKm, 45.0f, 45.0f, 126.0f, 38.0f, w.xo, w.yo));
    compareWithProj(
        p,
        {"+proj=lcc", "+lat_1=45", "+lat_2=45", "+lat_0=38", "+lon_0=126", radiusArg(), "+units=m"},
        w);
}

TEST(MapProjections, AzimuthalAgreesWithProjOverSiteWindows) {
    struct Site {
        float lon;
        float lat;
    };
    // Radar positions across the region, and one far away on another continent.
    const Site sites[] = {{126.9f, 37.44f}, {129.0f, 35.12f}, {126.3f, 33.29f}, {-89.83f, 30.34f}};
    // Site image windows (513 pixels at 1 km and at 960/513 km) and a 480-cell product grid.
    const Window windows[] = {
        {"SITE_240", 513, 513, 1.0f, 256.0f, 256.0f},
        {"SITE_480", 513, 513, 960.0f / 513.0f, 256.0f, 256.0f},
        {"product 480", 480, 480, 1.0f, 240.0f, 240.0f},
    };
    for (const Site& s : sites) {
        for (const Window& w : windows) {
            Azed p(fnGetAzedMapInfo(kEarthKm, w.gridKm, s.lon, s.lat, s.lon, s.lat, w.xo, w.yo));
            compareWithProj(p,
                            {"+proj=aeqd", degArg("lat_0", s.lat), degArg("lon_0", s.lon),
                             radiusArg(), "+units=m"},
                            w);
        }
    }
}

TEST(MapProjections, AzimuthalWithReferenceAwayFromCentre) {
    // Reference point 200 km north-east of the centre, placed at grid (50, 60): the grid is
    // the centred projection shifted so that the reference lands there.
    AZED_PARAMETER map = fnGetAzedMapInfo(kEarthKm, 1.0f, 127.0f, 37.0f, 128.5f, 38.3f, 50, 60);
    AZED_VAR var{};
    float lon = 128.5f;
    float lat = 38.3f;
    float x = 0.0f;
    float y = 0.0f;
    fnAzedProj(&lon, &lat, &x, &y, 0, &map, &var);
    EXPECT_NEAR(x, 50.0f, 1e-4);
    EXPECT_NEAR(y, 60.0f, 1e-4);
    x = 50.0f;
    y = 60.0f;
    fnAzedProj(&lon, &lat, &x, &y, 1, &map, &var);
    EXPECT_NEAR(lon, 128.5f, 1e-5);
    EXPECT_NEAR(lat, 38.3f, 1e-5);
}

TEST(MapProjections, LambertReferencePointAndWrap) {
    LAMC_PARAMETER map = fnGetLamcMapInfo(kEarthKm, 1.0f, 30.0f, 60.0f, 126.0f, 38.0f, 100, 200);
    LAMC_VAR var{};
    float lon = 126.0f;
    float lat = 38.0f;
    float x = 0.0f;
    float y = 0.0f;
    fnLamcProj(&lon, &lat, &x, &y, 0, &map, &var);
    EXPECT_EQ(x, 100.0f);
    EXPECT_EQ(y, 200.0f);
    EXPECT_EQ(var.m_iFirst, 1);
    fnLamcProj(&lon, &lat, &x, &y, 1, &map, &var);
    EXPECT_NEAR(lon, 126.0f, 1e-5);
    EXPECT_NEAR(lat, 38.0f, 1e-5);

    // 126 + 190 degrees is 170 degrees west of the reference: same as 126 - 170.
    float xa = 0.0f, ya = 0.0f, xb = 0.0f, yb = 0.0f;
    float lonA = 126.0f + 190.0f, lonB = 126.0f - 170.0f, lat45 = 45.0f;
    fnLamcProj(&lonA, &lat45, &xa, &ya, 0, &map, &var);
    fnLamcProj(&lonB, &lat45, &xb, &yb, 0, &map, &var);
    EXPECT_NEAR(xa, xb, 1e-2);
    EXPECT_NEAR(ya, yb, 1e-2);

    // Straight west of the pole's column (yn = 0) and on the reference column (xn = 0).
    float west = 0.0f, latOut = 0.0f, xw = 100.0f - 50.0f, yw = static_cast<float>(var.m_dRo) + 200;
    fnLamcProj(&west, &latOut, &xw, &yw, 1, &map, &var);
    EXPECT_NEAR(west, (-3.141592653589793 / 2 / var.m_dSn + var.m_dOlon) * 57.29577951308232, 1e-3);
    float onColumn = 0.0f, xc = 100.0f, yc = 500.0f;
    fnLamcProj(&onColumn, &latOut, &xc, &yc, 1, &map, &var);
    EXPECT_FLOAT_EQ(onColumn, 126.0f);
}

TEST(MapProjections, AzimuthalCentreAndCardinalPoints) {
    AZED_PARAMETER map = fnGetAzedMapInfo(kEarthKm, 1.0f, 127.0f, 37.0f, 127.0f, 37.0f, 256, 256);
    AZED_VAR var{};
    float lon = 127.0f, lat = 37.0f, x = 0.0f, y = 0.0f;
    fnAzedProj(&lon, &lat, &x, &y, 0, &map, &var);
    EXPECT_FLOAT_EQ(x, 256.0f);
    EXPECT_FLOAT_EQ(y, 256.0f);

    // The centre itself comes back as the centre (not a quarter turn away).
    fnAzedProj(&lon, &lat, &x, &y, 1, &map, &var);
    EXPECT_NEAR(lon, 127.0f, 1e-5);
    EXPECT_NEAR(lat, 37.0f, 1e-5);

    const double kmPerDeg = kEarthKm * 3.141592653589793 / 180.0;
    float east =
        static_cast<float>(127.0 + 10.0 / (kmPerDeg * std::cos(37.0 * 3.141592653589793 / 180)));
    lat = 37.0f;
    fnAzedProj(&east, &lat, &x, &y, 0, &map, &var);
    EXPECT_NEAR(x, 266.0f, 0.01);
    EXPECT_NEAR(y, 256.0f, 0.1);  // the parallel curves away from the great circle
    float north = static_cast<float>(37.0 + 10.0 / kmPerDeg);
    lon = 127.0f;
    fnAzedProj(&lon, &north, &x, &y, 0, &map, &var);
    EXPECT_NEAR(x, 256.0f, 1e-4);
    EXPECT_NEAR(y, 266.0f, 0.01);

    // West of the centre on its parallel of the grid comes back west.
    x = 246.0f;
    y = 256.0f;
    fnAzedProj(&lon, &lat, &x, &y, 1, &map, &var);
    EXPECT_LT(lon, 127.0f);
}

TEST(MapProjections, StateIsCachedAndNullPointersAreIgnored) {
    LAMC_PARAMETER lamc = fnGetLamcMapInfo(kEarthKm, 1.0f, 30.0f, 60.0f, 126.0f, 38.0f, 0, 0);
    LAMC_VAR lvar{};
    float lon = 127.0f, lat = 37.0f, x1 = 0.0f, y1 = 0.0f, x2 = 0.0f, y2 = 0.0f;
    fnLamcProj(&lon, &lat, &x1, &y1, 0, &lamc, &lvar);
    // A changed grid size is ignored once the state is filled; a moved reference cell is not.
    lamc.m_fGridKm = 2.0f;
    lamc.m_fXo = 10.0f;
    fnLamcProj(&lon, &lat, &x2, &y2, 0, &lamc, &lvar);
    EXPECT_FLOAT_EQ(x2, x1 + 10.0f);
    EXPECT_FLOAT_EQ(y2, y1);

    AZED_PARAMETER azed = fnGetAzedMapInfo(kEarthKm, 1.0f, 127.0f, 37.0f, 127.0f, 37.0f, 0, 0);
    AZED_VAR avar{};
    float ax = 5.0f, ay = 5.0f;
    fnAzedProj(&lon, &lat, &ax, nullptr, 0, &azed, &avar);
    EXPECT_EQ(avar.m_iFirst, 0);
    EXPECT_EQ(ax, 5.0f);
    fnAzedProj(&lon, &lat, &ax, &ay, 0, &azed, nullptr);
    EXPECT_EQ(ax, 5.0f);
    fnLamcProj(nullptr, &lat, &ax, &ay, 1, &lamc, &lvar);
    EXPECT_EQ(lat, 37.0f);
}

TEST(MapProjections, AntipodalPointsHaveNoPosition) {
    // Reference antipodal to the centre: the state stays uninitialised with zero offsets.
    AZED_PARAMETER map = fnGetAzedMapInfo(kEarthKm, 1.0f, 127.0f, 37.0f, -53.0f, -37.0f, 0, 0);
    AZED_VAR var{};
    float lon = 127.0f, lat = 37.0f, x = 0.0f, y = 0.0f;
    fnAzedProj(&lon, &lat, &x, &y, 0, &map, &var);
    EXPECT_EQ(var.m_iFirst, 0);
    EXPECT_EQ(var.m_dXo, 0.0);

    AZED_PARAMETER good = fnGetAzedMapInfo(kEarthKm, 1.0f, 127.0f, 37.0f, 127.0f, 37.0f, 0, 0);
    AZED_VAR gvar{};
    float alon = -53.0f, alat = -37.0f, ax = 1.5f, ay = 2.5f;
    fnAzedProj(&alon, &alat, &ax, &ay, 0, &good, &gvar);
    EXPECT_EQ(ax, 1.5f);
    EXPECT_EQ(ay, 2.5f);
}

}  // namespace
