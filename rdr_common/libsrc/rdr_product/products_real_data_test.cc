// Every volume product on real volumes written by other software: multi-sweep PPI volumes
// (UF plain and gzip, CF/Radial), RHI and vertically pointing files, which must give sparse
// or empty grids rather than failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cappi_product.h"
#include "column_products.h"
#include "core_utilities.h"
#include "nc_radar.h"
#include "product_test_support.h"
#include "test_support.h"
#include "uf_radar.h"
#include "vil_product.h"

namespace {

struct VolumeDeleter {
    void operator()(STD_RADAR* p) const { fnFreeStdRadar(p); }
};
using Volume = std::unique_ptr<STD_RADAR, VolumeDeleter>;

using rdrtest::Grid;

Volume load(const std::string& relative) {
    const std::string path = rdrtest::sharedData(relative);
    if (relative.rfind("uf/", 0) == 0) {
        UF_RADAR* uf = fnLoadUf(path.c_str());
        if (uf == nullptr) {
            return nullptr;
        }
        Volume v(fnUfSyncUpStd(uf));
        fnFreeUfRadar(uf);
        return v;
    }
    NC_RADAR* nc = fnLoadNcRadar(path.c_str());
    if (nc == nullptr) {
        return nullptr;
    }
    Volume v(fnNcSyncUpStd(nc));
    fnFreeNcRadar(nc);
    return v;
}

bool carries(STD_RADAR* pStd, const char* field) {
    for (int s = 0; s < pStd->m_iMaxSweep; ++s) {
        const STD_SWEEP* sweep = pStd->m_ppSweep[s];
        for (int r = 0; sweep != nullptr && r < sweep->m_iMaxRay; ++r) {
            if (fnGetFieldIdxRay(sweep->m_ppRay[r], field) >= 0) {
                return true;
            }
        }
    }
    return false;
}

struct Products {
    std::vector<std::pair<std::string, Grid>> grids;
    int dim = 0;
};

constexpr int kDim = 120;
constexpr float kGridKm = 2.0f;
constexpr float kRangeKm = kDim / 2 * kGridKm;

Products makeAll(STD_RADAR* pStd, char* field) {
    STD_AZIMUTH_TBL** t = fnMakeAllHashTable(pStd);
    EXPECT_NE(t, nullptr);
    Products p;
    p.dim = kDim;
    if (t == nullptr) {
        return p;
    }
    auto add = [&p](const char* name, float* grid) { p.grids.emplace_back(name, Grid(grid)); };
    add("BASE", fnCreateBase(pStd, kDim, kDim, kRangeKm, kGridKm, field, t));
    add("CMAX", fnCreateCmax(pStd, kDim, kDim, kRangeKm, kGridKm, field, t));
    add("ETOP", fnCreateEtop(pStd, kDim, kDim, kRangeKm, kGridKm, 18.0f, field, t));
    // The volume stands in for its own QI volume: without a "QI" moment no sweep counts.
    add("BASE QI", fnCreateBaseQI(pStd, pStd, kDim, kDim, kRangeKm, kGridKm, field, t, t));
    add("CAPPI real", fnCreateCappiReal(pStd, 2.0f, kDim, kDim, kRangeKm, kGridKm, field, t));
    add("CAPPI Mohr pseudo", fnCreateCappiMohr(pStd, 2.0f, kDim, kDim, kRangeKm, kGridKm,
                                               RDR_EN_PSEUDO_CAPPI, 0, field, t));
    add("CAPPI Mohr real", fnCreateCappiMohr(pStd, 2.0f, kDim, kDim, kRangeKm, kGridKm,
                                             RDR_EN_REAL_CAPPI, 1, field, t));
    add("VIL", fnCreateVil(pStd, kDim, kDim, kRangeKm, kGridKm, 12, 0, field, t));
    fnFreeMatrix2D(reinterpret_cast<void**>(t), pStd->m_iMaxSweep);
    return p;
}

int cellsWithData(const float* g) {
    return static_cast<int>(
        std::count_if(g, g + kDim * kDim, [](float v) { return v != -9999.0f; }));
}

// Every product exists, holds only finite values or no data, and stays in its physical range.
void checkSane(const Products& p, const std::string& file) {
    for (const auto& [name, grid] : p.grids) {
        ASSERT_TRUE(grid) << file << ": " << name;
        for (int i = 0; i < kDim * kDim; ++i) {
            const float v = grid.get()[i];
            if (v == -9999.0f) {
                continue;
            }
            ASSERT_TRUE(std::isfinite(v)) << file << ": " << name << " cell " << i;
            if (name == "ETOP") {
                ASSERT_TRUE(v > 0 && v < 30) << file << ": ETOP " << v;
            } else if (name == "VIL") {
                ASSERT_TRUE(v > 0 && v < 200) << file << ": VIL " << v;
            } else if (name != "BASE QI") {
                ASSERT_TRUE(v > -80 && v < 100) << file << ": " << name << " " << v;
            }
        }
    }
    const float* base = p.grids[0].second.get();
    const float* cmax = p.grids[1].second.get();
    for (int i = 0; i < kDim * kDim; ++i) {
        ASSERT_EQ(base[i] == -9999.0f, cmax[i] == -9999.0f) << file << " cell " << i;
        ASSERT_GE(cmax[i], base[i]) << file << " cell " << i;
    }
    EXPECT_EQ(cellsWithData(p.grids[3].second.get()), 0) << file << ": QI without a QI moment";
}

TEST(ProductsOnRealVolumes, KlixUfVolumeGivesTheSameProductsPlainAndCompressed) {
    RDR_REQUIRE_SHARED_DATA();
    Volume plain = load("uf/KLIX20050828_180149_rsl.uf");
    Volume packed = load("uf/KLIX20050828_180149_rsl.uf.gz");
    ASSERT_TRUE(plain && packed);
    ASSERT_EQ(plain->m_iMaxSweep, 14);
    char dz[] = "DZ";
    Products a = makeAll(plain.get(), dz);
    Products b = makeAll(packed.get(), dz);
    checkSane(a, "KLIX");
    for (size_t k = 0; k < a.grids.size(); ++k) {
        ASSERT_TRUE(b.grids[k].second);
        EXPECT_EQ(std::memcmp(a.grids[k].second.get(), b.grids[k].second.get(),
                              sizeof(float) * kDim * kDim),
                  0)
            << a.grids[k].first;
    }
    // A hurricane rain shield around the radar: most of the disc has echo.
    EXPECT_GT(cellsWithData(a.grids[1].second.get()), kDim * kDim / 4);
    EXPECT_GT(cellsWithData(a.grids[2].second.get()), 100);
    EXPECT_GT(cellsWithData(a.grids[4].second.get()), kDim * kDim / 8);
    EXPECT_GT(cellsWithData(a.grids[5].second.get()), kDim * kDim / 8);
    EXPECT_GT(cellsWithData(a.grids[7].second.get()), kDim * kDim / 8);

    // Velocity sits on 250 m gates in the same rays: products of it run as well.
    char vr[] = "VR";
    STD_AZIMUTH_TBL** t = fnMakeAllHashTable(plain.get());
    Grid mohrVr(fnCreateCappiMohr(plain.get(), 2.0f, kDim, kDim, kRangeKm, kGridKm,
                                  RDR_EN_PSEUDO_CAPPI, 0, vr, t));
    Grid cmaxVr(fnCreateCmax(plain.get(), kDim, kDim, kRangeKm, kGridKm, vr, t));
    fnFreeMatrix2D(reinterpret_cast<void**>(t), plain->m_iMaxSweep);
    ASSERT_TRUE(mohrVr && cmaxVr);
    EXPECT_GT(cellsWithData(mohrVr.get()), 100);
}

TEST(ProductsOnRealVolumes, EveryOtherSampleVolumeGivesGridsNotFailures) {
    RDR_REQUIRE_SHARED_DATA();
    const char* const kFiles[] = {
        "cfradial/example_plot_ppi_single_sweep.nc",
        "cfradial/example_cfradial_ppi.nc",
        "cfradial/MLL2217907250U.003.nc",
        "cfradial/Z__C_RJTD_20230801200000_RDR_JMAGPV_RS47937_Gar0p250km0p70deg_PRref_N18_ANAL_"
        "cfrad.nc",
        "cfradial/example_cfradial_rhi.nc",
        "cfradial/cfrad.20211011_223602.712_to_20211011_223612.091_DOW8_RHI.nc",
        "cfradial/sgpxsaprcfrvptI4.a1.20200205.100827.nc",
        "uf/MC3E_NPOL_2011_0524_2356_hid.uf.gz",
        "uf/mc3e_npol_20110427_114155.uf",
        "uf/example_uf_ppi.uf",
    };
    for (const char* file : kFiles) {
        Volume v = load(file);
        ASSERT_TRUE(v) << file;
        char field[3] = "DZ";
        if (!carries(v.get(), field)) {
            std::strcpy(field, "CZ");
        }
        ASSERT_TRUE(carries(v.get(), field)) << file;
        Products p = makeAll(v.get(), field);
        checkSane(p, file);
        if (std::strstr(file, "RHI") != nullptr || std::strstr(file, "rhi") != nullptr) {
            // One azimuth seen at many elevations: a line of cells at most.
            EXPECT_LT(cellsWithData(p.grids[1].second.get()), kDim * kDim / 20) << file;
        }
    }
}

}  // namespace
