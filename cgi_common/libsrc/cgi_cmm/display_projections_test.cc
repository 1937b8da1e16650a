#include "display_projections.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr float kRe = 6371.00877f;

TEST(DisplayProjections, LambertReferencePointRoundTripsAndStateIsCached) {
    // Display order: radius, parallels, reference point, grid size, grid point.
    st_LAMC_PARAMETER map = fnCgiGetMapInfo(kRe, 30.0f, 60.0f, 126.0f, 38.0f, 1.0f, 100, 200);
    EXPECT_EQ(map.m_fGrid, 1.0f);
    EXPECT_EQ(map.m_fXo, 100.0f);
    st_LAMC_VAR var{};
    float lon = 126.0f, lat = 38.0f, x = 0.0f, y = 0.0f;
    ASSERT_EQ(fnCgiLamcproj(&lon, &lat, &x, &y, CGI_EN_PROJ_TO_GRID, &map, &var), 0);
    EXPECT_FLOAT_EQ(x, 100.0f);
    EXPECT_FLOAT_EQ(y, 200.0f);
    EXPECT_EQ(var.m_nFirst, 1);

    for (float plon : {120.0f, 126.5f, 131.0f}) {
        for (float plat : {32.0f, 38.0f, 43.0f}) {
            float px = 0.0f, py = 0.0f, qlon = plon, qlat = plat;
            fnCgiLamcproj(&qlon, &qlat, &px, &py, CGI_EN_PROJ_TO_GRID, &map, &var);
            fnCgiLamcproj(&qlon, &qlat, &px, &py, CGI_EN_PROJ_TO_LONLAT, &map, &var);
            EXPECT_NEAR(qlon, plon, 1e-3);
            EXPECT_NEAR(qlat, plat, 1e-3);
        }
    }
    // A changed reference point is ignored once the state is set; the grid point is not.
    map.m_fOlat = 10.0f;
    map.m_fXo = 0.0f;
    lon = 126.0f;
    lat = 38.0f;
    fnCgiLamcproj(&lon, &lat, &x, &y, CGI_EN_PROJ_TO_GRID, &map, &var);
    EXPECT_FLOAT_EQ(x, 0.0f);
    EXPECT_FLOAT_EQ(y, 200.0f);
    EXPECT_EQ(fnCgiLamcproj(nullptr, &lat, &x, &y, 0, &map, &var), -1);
}

TEST(DisplayProjections, AzimuthalCentreCardinalPointsAndAntipode) {
    const st_AzedParameter map =
        fnCgiGetMapInfoAzed(kRe, 127.0f, 37.0f, 127.0f, 37.0f, 1.0f, 256, 256);
    st_AzedVar var{};
    float lon = 127.0f, lat = 37.0f, x = 0.0f, y = 0.0f;
    ASSERT_EQ(fnCgiAzedProj(&lon, &lat, &x, &y, CGI_EN_PROJ_TO_GRID, map, &var), 0);
    EXPECT_NEAR(x, 256.0f, 1e-3);
    EXPECT_NEAR(y, 256.0f, 1e-3);

    // 10 km along the meridian is exactly 10 cells north; east along the great circle.
    const double kmPerDegree = kRe * 3.141592 / 180.0;
    lon = 127.0f;
    lat = static_cast<float>(37.0 + 10.0 / kmPerDegree);
    ASSERT_EQ(fnCgiAzedProj(&lon, &lat, &x, &y, CGI_EN_PROJ_TO_GRID, map, &var), 0);
    EXPECT_NEAR(x, 256.0f, 1e-3);
    EXPECT_NEAR(y, 266.0f, 2e-3);
    lon = static_cast<float>(127.0 + 10.0 / (kmPerDegree * std::cos(37.0 * 3.141592 / 180.0)));
    lat = 37.0f;
    ASSERT_EQ(fnCgiAzedProj(&lon, &lat, &x, &y, CGI_EN_PROJ_TO_GRID, map, &var), 0);
    EXPECT_NEAR(x, 266.0f, 0.01);
    EXPECT_NEAR(y, 256.0f, 0.01);
    ASSERT_EQ(fnCgiAzedProj(&lon, &lat, &x, &y, CGI_EN_PROJ_TO_LONLAT, map, &var), 0);
    EXPECT_NEAR(lat, 37.0f, 1e-4);

    // The antipode of the centre has no position: -1 and the outputs stay.
    lon = -53.0f;
    lat = -37.0f;
    x = y = -1.0f;
    EXPECT_EQ(fnCgiAzedProj(&lon, &lat, &x, &y, CGI_EN_PROJ_TO_GRID, map, &var), -1);
    EXPECT_EQ(x, -1.0f);

    // A reference point antipodal to the centre cannot set the state up.
    const st_AzedParameter bad =
        fnCgiGetMapInfoAzed(kRe, 127.0f, 37.0f, -53.0f, -37.0f, 1.0f, 0, 0);
    st_AzedVar badVar{};
    EXPECT_EQ(fnCgiAzedProj(&lon, &lat, &x, &y, CGI_EN_PROJ_TO_GRID, bad, &badVar), -1);
    EXPECT_EQ(badVar.m_nFirst, 0);
}

}  // namespace
