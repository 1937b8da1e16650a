#include "standard_product.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "core_utilities.h"
#include "map_projections.h"
#include "owned_handles.h"
#include "test_support.h"

namespace {

using ProductPtr = rdr::StdProductPtr;

// A float grid handed out by the readers, released with its row count.
struct Grid {
    float** rows = nullptr;
    int ydim = 0;
    Grid(float** r, int y) : rows(r), ydim(y) {}
    ~Grid() { fnFreeMatrix2D(reinterpret_cast<void**>(rows), ydim); }
    Grid(const Grid&) = delete;
    Grid& operator=(const Grid&) = delete;
};

// A product with a composite header of the given size, ready to take grids.
ProductPtr compProduct(int iMaxField, int iMaxPpi, int ydim, int xdim) {
    ProductPtr p(fnInitStdProduct(iMaxField, iMaxPpi, 1, 1, 1, 1, 1));
    EXPECT_NE(p, nullptr);
    EXPECT_EQ(fnSetStdProductCompHdr(p.get(), "MAX", "202607150930", ydim, xdim, 2.0f, 0, 0), 1);
    return p;
}

std::vector<float> filled(int n, float v) {
    return std::vector<float>(static_cast<size_t>(n), v);
}

TEST(StandardProduct, FamiliesAndSlotsAreMadeAsAsked) {
    ProductPtr p(fnInitStdProduct(2, 1, 0, 0, 0, 0, 100));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->m_iStdProductType, 0);
    int n = -1;
    STD_PRODUCT_DATASET** ppi = fnFindDsetStdProduct(p.get(), "PPI", &n);
    ASSERT_NE(ppi, nullptr);
    EXPECT_EQ(n, 1);
    EXPECT_STREQ(ppi[0]->m_szProduct, "PPI");
    EXPECT_EQ(ppi[0]->m_iMaxField, 2);
    EXPECT_EQ(fnFindDsetStdProduct(p.get(), "ETOP", &n), nullptr);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(fnFindDsetStdProduct(p.get(), "ppi", &n), nullptr);
    EXPECT_EQ(fnFindDsetStdProduct(p.get(), "COMP", &n), nullptr);

    EXPECT_EQ(fnInitStdProduct(0, 1, 1, 1, 1, 1, 1), nullptr);
    fnFreeStdProduct(nullptr);
}

TEST(StandardProduct, AddRefusesWhatItCannotStore) {
    ProductPtr p(fnInitStdProduct(2, 1, 0, 0, 0, 0, 0));
    std::vector<float> grid = filled(12, 30.0f);
    // No header yet: the grid size is 0 x 0.
    EXPECT_EQ(fnAddStdProductToData(p.get(), "PPI", 0, 0.5, 0, "DZ", grid.data(), 3, 4), 0);
    ASSERT_EQ(fnSetStdProductCompHdr(p.get(), "MAX", "202607150930", 3, 4, 1.0f, 0, 0), 1);
    EXPECT_EQ(fnAddStdProductToData(p.get(), "PPI", 0, 0.5, 0, "DZ", grid.data(), 4, 3), 0);
    EXPECT_EQ(fnAddStdProductToData(p.get(), "PPI", 1, 0.5, 0, "DZ", grid.data(), 3, 4), 0);
    EXPECT_EQ(fnAddStdProductToData(p.get(), "CAPPI", 0, 0.5, 0, "DZ", grid.data(), 3, 4), 0);
    EXPECT_EQ(fnAddStdProductToData(p.get(), "PPI", 0, 0.5, 0, "", grid.data(), 3, 4), 0);

    ASSERT_EQ(fnAddStdProductToData(p.get(), "PPI", 0, 0.5, 0, "DZ", grid.data(), 3, 4), 1);
    // A field is never replaced, and a failed add leaves the dataset's key alone.
    std::vector<float> other = filled(12, 45.0f);
    EXPECT_EQ(fnAddStdProductToData(p.get(), "PPI", 0, 1.5, 0, "DZ", other.data(), 3, 4), 0);
    double a1 = 0, a2 = 0;
    ASSERT_EQ(fnGetStdProductProdpar(p.get(), "PPI", 0, &a1, &a2), 1);
    EXPECT_EQ(a1, 0.5);
    Grid dz(fnGetStdProductDataByArg(p.get(), "PPI", 0.5, 0, "DZ"), 3);
    ASSERT_NE(dz.rows, nullptr);
    EXPECT_EQ(dz.rows[2][3], 30.0f);

    ASSERT_EQ(fnAddStdProductToData(p.get(), "PPI", 0, 0.5, 0, "VR", grid.data(), 3, 4), 1);
    EXPECT_EQ(fnAddStdProductToData(p.get(), "PPI", 0, 0.5, 0, "SW", grid.data(), 3, 4), 0);
    EXPECT_EQ(fnGetStdProductProdpar(p.get(), "PPI", 1, &a1, nullptr), 0);
    EXPECT_EQ(fnGetStdProductProdpar(p.get(), "PPI", -1, &a1, nullptr), 0);
}

TEST(StandardProduct, PackedGridsComeBackWithinOneStorageStep) {
    // One moment of each storage kind: 8-bit (scales 1, 10, 100), 16-bit (100, 10), float.
    struct Case {
        const char* field;
        float step;
        float lo;
        float hi;
    };
    const Case cases[] = {
        {"DZ", 1.0f, -30.0f, 75.0f}, {"SW", 0.1f, 0.0f, 12.0f},  {"RH", 0.01f, 0.2f, 1.05f},
        {"DR", 0.01f, -4.0f, 8.0f},  {"VIL", 0.1f, 0.0f, 90.0f}, {"ETOP", 0.1f, 0.0f, 20.0f},
        {"KD", 0.01f, -2.0f, 12.0f}, {"RN", 0.0f, 0.0f, 200.0f}, {"ZZ", 0.0f, -1000.0f, 1000.0f}};
    const int ydim = 37;
    const int xdim = 53;
    ProductPtr p = compProduct(9, 2, ydim, xdim);
    std::vector<std::vector<float>> inputs;
    for (const Case& c : cases) {
        std::vector<float> g(static_cast<size_t>(ydim * xdim));
        for (int k = 0; k < ydim * xdim; ++k) {
            g[k] = c.lo + (c.hi - c.lo) * static_cast<float>((k * 7919) % 1000) / 999.0f;
        }
        g[0] = -9999.0f;
        g[1] = -9998.0f;
        g[2] = -9998.0000001f;
        ASSERT_EQ(fnAddStdProductToData(p.get(), "PPI", 1, 2.4, 0, c.field, g.data(), ydim, xdim),
                  1)
            << c.field;
        inputs.push_back(std::move(g));
    }
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        Grid byArg(fnGetStdProductDataByArg(p.get(), "PPI", 2.4, 0, c.field), ydim);
        Grid byIdx(fnGetStdProductDataByIdx(p.get(), "PPI", 1, c.field), ydim);
        ASSERT_NE(byArg.rows, nullptr) << c.field;
        ASSERT_NE(byIdx.rows, nullptr) << c.field;
        for (int y = 0; y < ydim; ++y) {
            for (int x = 0; x < xdim; ++x) {
                const float want = inputs[i][static_cast<size_t>(y * xdim + x)];
                const float got = byArg.rows[y][x];
                EXPECT_EQ(got, byIdx.rows[y][x]);
                if (want <= -9998.0f) {
                    EXPECT_EQ(got, std::round(want)) << c.field;
                } else {
                    // Truncation toward zero: the value read back is never further than one
                    // step, and never on the far side of zero.
                    EXPECT_NEAR(got, want, c.step * 1.0001f + 1e-6f * std::fabs(want)) << c.field;
                    EXPECT_LE(std::fabs(got), std::fabs(want) + 1e-4f) << c.field;
                }
            }
        }
    }
    // A short-stored moment with scale 100: 12.34 keeps two decimals exactly as stored.
    int n = 0;
    STD_PRODUCT_DATASET** ppi = fnFindDsetStdProduct(p.get(), "PPI", &n);
    const int dr = fnGetStdDataIdx(ppi[1], "DR");
    ASSERT_GE(dr, 0);
    EXPECT_EQ(ppi[1]->m_ppProductData[dr]->m_iMemType, RDR_EN_MEM_SHORT);
    EXPECT_EQ(ppi[1]->m_ppProductData[dr]->m_ppData_s[0][0], -32767);
    EXPECT_EQ(ppi[1]->m_ppProductData[dr]->m_ppData_s[0][1], -32768);
}

TEST(StandardProduct, EachMomentIsStoredInItsDocumentedUnits) {
    // The storage rules of the field table, written out here: stored = trunc(value x
    // scale) in 8 bits (-127 no data, -128 out of range), 16 bits (-32767, -32768) or as
    // float (-9999, -9998).
    struct Rule {
        const char* field;
        int memType;
        float scale;
        float value;
        long stored;
    };
    const Rule rules[] = {
        {"DZ", RDR_EN_MEM_CHAR, 1, 37.8f, 37},      {"VR", RDR_EN_MEM_CHAR, 1, -12.6f, -12},
        {"SW", RDR_EN_MEM_CHAR, 10, 3.47f, 34},     {"CZ", RDR_EN_MEM_CHAR, 1, 55.2f, 55},
        {"RH", RDR_EN_MEM_CHAR, 100, 0.987f, 98},   {"DR", RDR_EN_MEM_SHORT, 100, -1.234f, -123},
        {"PH", RDR_EN_MEM_SHORT, 1, 187.9f, 187},   {"KD", RDR_EN_MEM_SHORT, 100, 2.345f, 234},
        {"VIL", RDR_EN_MEM_SHORT, 10, 41.27f, 412}, {"ETOP", RDR_EN_MEM_SHORT, 10, 9.86f, 98},
        {"RN", RDR_EN_MEM_FLOAT, 1, 12.25f, 12},    {"QQ", RDR_EN_MEM_FLOAT, 1, -7.5f, -7}};
    ProductPtr p = compProduct(static_cast<int>(std::size(rules)), 1, 1, 3);
    for (const Rule& r : rules) {
        SCOPED_TRACE(r.field);
        const float grid[3] = {r.value, -9999.0f, -9998.0f};
        ASSERT_EQ(fnAddStdProductToData(p.get(), "CMAX", 0, 0, 0, r.field, grid, 1, 3), 1);
        int n = 0;
        STD_PRODUCT_DATASET** cmax = fnFindDsetStdProduct(p.get(), "CMAX", &n);
        const STD_PRODUCT_DATA* d = cmax[0]->m_ppProductData[fnGetStdDataIdx(cmax[0], r.field)];
        ASSERT_EQ(d->m_iMemType, r.memType);
        switch (r.memType) {
            case RDR_EN_MEM_CHAR:
                EXPECT_EQ(d->m_ppData_c[0][0], r.stored);
                EXPECT_EQ(d->m_ppData_c[0][1], -127);
                EXPECT_EQ(d->m_ppData_c[0][2], -128);
                break;
            case RDR_EN_MEM_SHORT:
                EXPECT_EQ(d->m_ppData_s[0][0], r.stored);
                EXPECT_EQ(d->m_ppData_s[0][1], -32767);
                EXPECT_EQ(d->m_ppData_s[0][2], -32768);
                break;
            default:
                EXPECT_EQ(d->m_ppData_f[0][0], r.value);  // floats are kept as given
                EXPECT_EQ(d->m_ppData_f[0][1], -9999.0f);
                EXPECT_EQ(d->m_ppData_f[0][2], -9998.0f);
                break;
        }
        Grid back(fnGetStdProductDataByIdx(p.get(), "CMAX", 0, r.field), 1);
        ASSERT_NE(back.rows, nullptr);
        const float want = r.memType == RDR_EN_MEM_FLOAT ? r.value : r.stored / r.scale;
        EXPECT_FLOAT_EQ(back.rows[0][0], want);
        EXPECT_EQ(back.rows[0][1], -9999.0f);
        EXPECT_EQ(back.rows[0][2], -9998.0f);
    }
}

TEST(StandardProduct, OutOfRangeValuesClampInsteadOfWrapping) {
    ProductPtr p = compProduct(4, 1, 1, 6);
    // 8-bit reflectivity: 200 dBZ would wrap to -56, -200 to 56, -127.5 to the no-data code.
    const float dz[6] = {200.0f, -200.0f, -127.5f, 127.9f, NAN, 1e30f};
    ASSERT_EQ(fnAddStdProductToData(p.get(), "PPI", 0, 0.5, 0, "DZ", dz, 1, 6), 1);
    Grid g(fnGetStdProductDataByIdx(p.get(), "PPI", 0, "DZ"), 1);
    ASSERT_NE(g.rows, nullptr);
    EXPECT_EQ(g.rows[0][0], 127.0f);
    EXPECT_EQ(g.rows[0][1], -126.0f);
    EXPECT_EQ(g.rows[0][2], -126.0f);
    EXPECT_EQ(g.rows[0][3], 127.0f);
    EXPECT_EQ(g.rows[0][4], -9999.0f);  // NaN is no data
    EXPECT_EQ(g.rows[0][5], 127.0f);

    // 16-bit differential reflectivity at scale 100: 400 dB is beyond 327.67.
    const float zdr[6] = {400.0f, -400.0f, -327.67f, 327.67f, 12.34f, -9999.0f};
    ASSERT_EQ(fnAddStdProductToData(p.get(), "PPI", 0, 0.5, 0, "DR", zdr, 1, 6), 1);
    Grid s(fnGetStdProductDataByIdx(p.get(), "PPI", 0, "DR"), 1);
    ASSERT_NE(s.rows, nullptr);
    EXPECT_FLOAT_EQ(s.rows[0][0], 327.67f);
    EXPECT_FLOAT_EQ(s.rows[0][1], -327.66f);
    EXPECT_FLOAT_EQ(s.rows[0][2], -327.66f);
    EXPECT_FLOAT_EQ(s.rows[0][3], 327.67f);
    EXPECT_FLOAT_EQ(s.rows[0][4], 12.34f);
    EXPECT_EQ(s.rows[0][5], -9999.0f);
}

TEST(StandardProduct, LookupByArgumentIsExactAndReflectivityPrefersCorrected) {
    ProductPtr p = compProduct(3, 2, 2, 2);
    const float dz[4] = {10, 20, 30, 40};
    const float cz[4] = {11, 21, 31, 41};
    ASSERT_EQ(fnAddStdProductToData(p.get(), "PPI", 0, 0.5, 0, "DZ", dz, 2, 2), 1);
    ASSERT_EQ(fnAddStdProductToData(p.get(), "PPI", 1, 1.5, 0, "DZ", dz, 2, 2), 1);
    ASSERT_EQ(fnAddStdProductToData(p.get(), "PPI", 1, 1.5, 0, "CZ", cz, 2, 2), 1);

    Grid found(fnGetStdProductDataByArg(p.get(), "PPI", 0.5, 0, "DZ"), 2);
    EXPECT_NE(found.rows, nullptr);
    EXPECT_EQ(fnGetStdProductDataByArg(p.get(), "PPI", 0.5000001, 0, "DZ"), nullptr);
    EXPECT_EQ(fnGetStdProductDataByArg(p.get(), "PPI", 0.5, 0, "CZ"), nullptr);
    EXPECT_EQ(fnGetStdProductDataByArg(p.get(), "PPI", 0.5, 0, ""), nullptr);
    EXPECT_EQ(fnGetStdProductDataByArg(p.get(), "VIL", 0.5, 0, "DZ"), nullptr);
    EXPECT_EQ(fnGetStdProductDataByIdx(p.get(), "PPI", 2, "DZ"), nullptr);

    Grid only(fnGetStdProductDataByIdxDBZ(p.get(), "PPI", 0), 2);
    ASSERT_NE(only.rows, nullptr);
    EXPECT_EQ(only.rows[1][1], 40.0f);
    Grid both(fnGetStdProductDataByArgDBZ(p.get(), "PPI", 1.5, 0), 2);
    ASSERT_NE(both.rows, nullptr);
    EXPECT_EQ(both.rows[1][1], 41.0f);
}

TEST(StandardProduct, SiteHeaderCopiesTheVolumeAndHasProjectedCorners) {
    STD_SWEEP sweep{};
    sweep.m_hdr.m_fNyquistVelocity = 26.5f;
    STD_SWEEP* sweeps[1] = {&sweep};
    STD_RADAR vol{};
    vol.m_iMaxSweep = 1;
    vol.m_ppSweep = sweeps;
    std::strcpy(vol.m_hdr.m_szSiteName, "GDK");
    std::strcpy(vol.m_hdr.m_szConvertName, "VOLTASK1");
    std::strcpy(vol.m_hdr.m_szRadarName, "SYS");
    vol.m_hdr.m_dLon = 128.44;
    vol.m_hdr.m_dLat = 37.68;
    vol.m_hdr.m_iAnteHeight = 1030;
    vol.m_hdr.m_tConvertTime = 1780000000;

    ProductPtr p(fnInitStdProduct(1, 1, 0, 0, 0, 0, 0));
    EXPECT_EQ(fnSetStdProductSiteHdr(nullptr, p.get(), 480, 480, 1.0f), 0);
    EXPECT_EQ(fnSetStdProductSiteHdr(&vol, p.get(), 0, 480, 1.0f), 0);
    ASSERT_EQ(fnSetStdProductSiteHdr(&vol, p.get(), 480, 480, 1.0f), 1);
    const STD_PRODUCT_HDR& h = p->m_product_hdr;
    EXPECT_EQ(p->m_iStdProductType, STD_EN_PRODUCT_SITE);
    EXPECT_STREQ(h.m_szSiteName, "GDK");
    EXPECT_STREQ(h.m_szTask, "VOLTASK1");
    EXPECT_STREQ(h.m_szSystem, "SYS");
    EXPECT_EQ(h.m_iAnteHeightM, 1030);
    EXPECT_EQ(h.m_tConvertTime, 1780000000);
    EXPECT_DOUBLE_EQ(h.m_dNi, 26.5);
    EXPECT_EQ(h.m_lXsize, 480);
    EXPECT_EQ(h.m_dXscale, 1.0);

    // 240 km from the radar each way: symmetric east-west, and the same 480 km span more
    // longitude along the northern edge than along the southern one.
    EXPECT_NEAR(h.m_LL_lon + h.m_LR_lon, 2 * 128.44, 1e-4);
    EXPECT_NEAR(h.m_UL_lon + h.m_UR_lon, 2 * 128.44, 1e-4);
    EXPECT_NEAR(h.m_LL_lat, h.m_LR_lat, 1e-5);
    EXPECT_NEAR(h.m_UL_lat, h.m_UR_lat, 1e-5);
    EXPECT_GT(h.m_UR_lon - h.m_UL_lon, h.m_LR_lon - h.m_LL_lon);
    EXPECT_NEAR(fnCalcDistKmLonLat(h.m_LL_lon, h.m_LL_lat, 128.44, 37.68), 240 * std::sqrt(2.0),
                2.0);

    // The corners are the grid's outer corners under the site projection.
    AZED_PARAMETER map =
        fnGetAzedMapInfo(6371.00877f, 1.0f, 128.44f, 37.68f, 128.44f, 37.68f, 240.0f, 240.0f);
    AZED_VAR var{};
    float lon = static_cast<float>(h.m_UR_lon), lat = static_cast<float>(h.m_UR_lat), x = 0, y = 0;
    fnAzedProj(&lon, &lat, &x, &y, 0, &map, &var);
    EXPECT_NEAR(x, 480.0f, 2e-3);
    EXPECT_NEAR(y, 480.0f, 2e-3);
}

TEST(StandardProduct, CompositeHeaderParsesTimeAndUsesTheLambertGrid) {
    ProductPtr p(fnInitStdProduct(1, 1, 0, 0, 0, 0, 0));
    EXPECT_EQ(fnSetStdProductCompHdr(p.get(), "MAX", "not a time", 600, 480, 2.0f, 240, 300), 0);
    ASSERT_EQ(fnSetStdProductCompHdr(p.get(), "DIST_WEIGHT_LONG_NAME", "202607150930", 600, 480,
                                     2.0f, 240, 300),
              1);
    const STD_PRODUCT_HDR& h = p->m_product_hdr;
    EXPECT_EQ(p->m_iStdProductType, STD_EN_PRODUCT_COMP);
    EXPECT_EQ(h.m_tConvertTime, 1784107800);  // 2026-07-15 09:30 with TZ=UTC
    EXPECT_STREQ(h.m_szCompMethod, "DIST_WEIGHT_LONG");
    EXPECT_EQ(h.m_lYsize, 600);

    LAMC_PARAMETER map = fnGetLamcMapInfo(6371.00877f, 2.0f, 30, 60, 126, 38, 240, 300);
    const double corners[4][4] = {{h.m_LL_lon, h.m_LL_lat, 0, 0},
                                  {h.m_UL_lon, h.m_UL_lat, 0, 600},
                                  {h.m_UR_lon, h.m_UR_lat, 480, 600},
                                  {h.m_LR_lon, h.m_LR_lat, 480, 0}};
    for (const auto& c : corners) {
        LAMC_VAR var{};
        float lon = static_cast<float>(c[0]), lat = static_cast<float>(c[1]), x = 0, y = 0;
        fnLamcProj(&lon, &lat, &x, &y, 0, &map, &var);
        EXPECT_NEAR(x, c[2], 2e-3);
        EXPECT_NEAR(y, c[3], 2e-3);
    }
    // The reference column is 126E: west corners west of it, east corners east.
    EXPECT_LT(h.m_LL_lon, 126.0);
    EXPECT_GT(h.m_LR_lon, 126.0);
}

TEST(StandardProduct, GridSizeIsFixedOnceRowsAreStored) {
    ProductPtr p = compProduct(1, 1, 4, 4);
    const std::vector<float> g = filled(16, 5.0f);
    ASSERT_EQ(fnAddStdProductToData(p.get(), "PPI", 0, 0.5, 0, "DZ", g.data(), 4, 4), 1);
    // Rows are released by the header's row count: a new size would lose or overrun them.
    EXPECT_EQ(fnSetStdProductCompHdr(p.get(), "MAX", "202607150930", 8, 4, 2.0f, 0, 0), 0);
    EXPECT_EQ(p->m_product_hdr.m_lYsize, 4);
    EXPECT_EQ(fnSetStdProductCompHdr(p.get(), "MAX", "202607151000", 4, 4, 2.0f, 0, 0), 1);
}

}  // namespace
