// Every volume product on real volumes written by other software: multi-sweep PPI volumes
// (UF plain and gzip, CF/Radial), RHI and vertically pointing files, which must give sparse
// or empty grids rather than failures; and cells of the KLIX products against the bins of
// the file itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cappi_product.h"
#include "column_products.h"
#include "core_utilities.h"
#include "nc_radar.h"
#include "owned_handles.h"
#include "ppi_grid.h"
#include "product_test_support.h"
#include "test_support.h"
#include "uf_radar.h"
#include "uf_words.h"
#include "vil_product.h"

namespace {

using Volume = rdr::StdRadarPtr;

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

// ---------------------------------------------------------------------------------------------
// Cells of products of the KLIX volume against the file's own bins, decoded word by word
// by ufwords (no library reader involved) and looked up by plain geometry: cell -> range
// and bearing -> nearest ray -> bin. Cells where the answer hangs on a tie (two rays
// equally near, a range on a bin edge, an angle on a limit) are left out.

enum class Want { kSkip, kNoData, kValue };

double angleBetween(double a, double b) {
    const double d = std::fabs(std::fmod(a - b, 360.0));
    return d > 180 ? 360 - d : d;
}

bool nearInteger(double v) {
    return std::fabs(v - std::round(v)) < 1e-3;
}

// Nearest rays of one decoded sweep by azimuth, through the sorted azimuths.
class NearestRay {
  public:
    explicit NearestRay(const ufwords::Sweep& sweep) {
        for (size_t r = 0; r < sweep.rays.size(); ++r) {
            sorted_.emplace_back(sweep.rays[r].azimuth, static_cast<int>(r));
        }
        std::sort(sorted_.begin(), sorted_.end());
    }
    // The nearest ray and its distance in degrees; -1 when a second ray is as near
    // (within 0.01 degree).
    int find(double az, double* distance) const {
        const int n = static_cast<int>(sorted_.size());
        const int at = static_cast<int>(
            std::lower_bound(sorted_.begin(), sorted_.end(), std::make_pair(float(az), -1)) -
            sorted_.begin());
        int best = -1;
        double d1 = 1e9, d2 = 1e9;
        for (int k = at - 3; k <= at + 2; ++k) {
            const auto& [rayAz, ray] = sorted_[((k % n) + n) % n];
            const double d = angleBetween(az, rayAz);
            if (ray == best) {
                continue;
            }
            if (d < d1) {
                d2 = d1;
                d1 = d;
                best = ray;
            } else if (d < d2) {
                d2 = d;
            }
        }
        *distance = d1;
        return d2 - d1 < 0.01 ? -1 : best;
    }

  private:
    std::vector<std::pair<float, int>> sorted_;
};

// Bearing (degrees from north) and distance (cells) of a cell of a product grid of even
// size: the radar at row dim/2, column dim/2 - 1.
void cellPlace(int row, int col, int dim, double* az, double* cells) {
    const double north = dim / 2 - row;
    const double east = col - ((dim - 1) - dim / 2);
    *az = std::atan2(east, north) * 180 / M_PI;
    *az += *az < 0 ? 360 : 0;
    *cells = std::hypot(north, east);
}

// Value of a bin of the nearest ray at a range, as a PPI cell sees it.
Want binAt(const ufwords::Sweep& sweep, const NearestRay& rays, double az, double rangeKm,
           const std::string& field, float* value) {
    double distance = 0;
    const int r = rays.find(az, &distance);
    if (r < 0 || std::fabs(distance - 1) < 1e-3) {
        return Want::kSkip;
    }
    if (distance > 1) {
        return Want::kNoData;
    }
    const ufwords::Ray& ray = sweep.rays[r];
    const ufwords::Field* f = ray.field(field);
    if (f == nullptr) {
        return Want::kNoData;
    }
    const double pos = (rangeKm - f->startKmTotal()) * 1000 / f->spacingM;
    if (nearInteger(pos)) {
        return Want::kSkip;
    }
    if (pos <= -1) {
        return Want::kNoData;
    }
    return ray.value(field, static_cast<int>(pos), value) ? Want::kValue : Want::kNoData;
}

// Compares every cell of a grid that `want` can decide; at least `minValues` cells with a
// value must have been compared.
void compareCells(const float* grid, const std::string& what, int minValues,
                  const std::function<Want(int row, int col, float* value)>& want) {
    ASSERT_NE(grid, nullptr) << what;
    int values = 0, differing = 0;
    for (int row = 0; row < kDim; ++row) {
        for (int col = 0; col < kDim; ++col) {
            float expected = -9999.0f;
            const Want w = want(row, col, &expected);
            if (w == Want::kSkip) {
                continue;
            }
            values += w == Want::kValue;
            const float got = grid[row * kDim + col];
            if (got != (w == Want::kValue ? expected : -9999.0f) && differing++ < 3) {
                ADD_FAILURE() << what << ": cell " << row << "," << col << " holds " << got
                              << ", the file " << (w == Want::kValue ? expected : -9999.0f);
            }
        }
    }
    EXPECT_EQ(differing, 0) << what;
    EXPECT_GE(values, minValues) << what;
}

void checkKlixAgainstFile(const std::string& file) {
    Volume vol = load(file);
    ASSERT_TRUE(vol) << file;
    const ufwords::Volume words = ufwords::decodeFourFramed(rdrtest::sharedData(file));
    ASSERT_EQ(words.sweeps.size(), 14u) << file;
    ASSERT_EQ(vol->m_iMaxSweep, 14) << file;
    std::vector<NearestRay> nearest;
    for (const ufwords::Sweep& s : words.sweeps) {
        nearest.emplace_back(s);
    }
    rdrtest::Tables tables(vol.get());
    char dz[] = "DZ";

    // PPIs: the lowest sweep's reflectivity (a rain shield over most of the disc), and
    // velocity of the third sweep, on its own 250 m gates starting 375 m before the antenna.
    struct PpiCase {
        int sweep;
        const char* field;
        int minValues;
    };
    for (const PpiCase& c :
         {PpiCase{0, "DZ", kDim * kDim / 2}, PpiCase{2, "VR", kDim * kDim / 10}}) {
        const int sweep = c.sweep;
        const char* field = c.field;
        Grid ppi(
            fnCreatePPI(vol.get(), sweep, kDim, kDim, kRangeKm, kGridKm, field, tables.p[sweep]));
        compareCells(
            ppi.get(), file + " PPI " + field, c.minValues, [&](int row, int col, float* v) {
                double az, cells;
                cellPlace(row, col, kDim, &az, &cells);
                const double rangeKm = cells * kGridKm;
                if (cells == 0 || std::fabs(rangeKm - kRangeKm) < 1e-3) {
                    return Want::kSkip;
                }
                return rangeKm > kRangeKm
                           ? Want::kNoData
                           : binAt(words.sweeps[sweep], nearest[sweep], az, rangeKm, field, v);
            });
    }

    // CMAX: the largest of those values over every sweep.
    Grid cmax(fnCreateCmax(vol.get(), kDim, kDim, kRangeKm, kGridKm, dz, tables.p));
    compareCells(cmax.get(), file + " CMAX", kDim * kDim / 2, [&](int row, int col, float* v) {
        double az, cells;
        cellPlace(row, col, kDim, &az, &cells);
        const double rangeKm = cells * kGridKm;
        if (cells == 0 || std::fabs(rangeKm - kRangeKm) < 1e-3) {
            return Want::kSkip;
        }
        if (rangeKm > kRangeKm) {
            return Want::kNoData;
        }
        Want result = Want::kNoData;
        for (size_t s = 0; s < words.sweeps.size(); ++s) {
            float value = 0;
            const Want w = binAt(words.sweeps[s], nearest[s], az, rangeKm, "DZ", &value);
            if (w == Want::kSkip) {
                return Want::kSkip;
            }
            if (w == Want::kValue && (result == Want::kNoData || value > *v)) {
                *v = value;
                result = Want::kValue;
            }
        }
        return result;
    });

    // Real-method CAPPI at 2 km above the antenna: the bin of the reference geometry (first
    // ray of the file) under the cell gives the elevation and slant range of a 4/3-earth
    // beam reaching 2 km there; the sweep nearest that elevation, its nearest ray within
    // the beam widths, its bin at that slant range.
    const double heightKm = 2.0;
    Grid cappi(fnCreateCappiReal(vol.get(), static_cast<float>(heightKm), kDim, kDim, kRangeKm,
                                 kGridKm, dz, tables.p));
    const ufwords::Field& ref = *words.sweeps[0].rays[0].field("DZ");
    const ufwords::Field& first = words.sweeps[0].rays[0].fields[0];
    const double cellKm = kRangeKm / (0.5 * kDim);
    compareCells(
        cappi.get(), file + " CAPPI real", kDim * kDim / 4, [&](int row, int col, float* v) {
            double az, cells;
            cellPlace(row, col, kDim, &az, &cells);
            const double rangeKm = cells * cellKm;
            if (cells == 0 || std::fabs(rangeKm - kRangeKm) < 1e-3) {
                return Want::kSkip;
            }
            const double pos = (rangeKm - ref.startKmTotal()) * 1000 / ref.spacingM;
            if (rangeKm > kRangeKm || pos >= static_cast<double>(ref.bins.size())) {
                return Want::kNoData;
            }
            if (nearInteger(pos)) {
                return Want::kSkip;
            }
            const double groundKm = std::floor(pos) * ref.spacingM / 1000 + ref.startKmTotal();
            const double ae = 8494.67836;  // 4/3 of the earth's radius, km
            const double h = heightKm + ae;
            const double slantKm =
                std::sqrt(ae * ae + h * h - 2 * ae * h * std::cos(groundKm / ae));
            const double elev =
                std::acos((ae * ae + slantKm * slantKm - h * h) / (2 * ae * slantKm)) * 180 / M_PI -
                90;
            // Nearest fixed angle; on a near tie the answer is a tie-break.
            std::vector<double> diffs;
            for (const ufwords::Sweep& s : words.sweeps) {
                diffs.push_back(std::fabs(s.rays[0].fixedAngle - elev));
            }
            const int s =
                static_cast<int>(std::min_element(diffs.begin(), diffs.end()) - diffs.begin());
            for (size_t o = 0; o < diffs.size(); ++o) {
                if (static_cast<int>(o) != s && diffs[o] - diffs[s] < 1e-3) {
                    return Want::kSkip;
                }
            }
            double distance = 0;
            const int r = nearest[s].find(az, &distance);
            if (r < 0) {
                return Want::kSkip;
            }
            const ufwords::Ray& ray = words.sweeps[s].rays[r];
            const double offElev = std::fabs(elev - ray.fixedAngle) - 0.5 * first.beamWidthV;
            const double offAz = distance - first.beamWidthH;
            if (std::fabs(offElev) < 1e-3 || std::fabs(offAz) < 1e-3) {
                return Want::kSkip;
            }
            if (offElev > 0 || offAz > 0) {
                return Want::kNoData;
            }
            const ufwords::Field* f = ray.field("DZ");
            const double bin = (slantKm - f->startKmTotal()) * 1000 / f->spacingM;
            if (nearInteger(bin)) {
                return Want::kSkip;
            }
            return ray.value("DZ", static_cast<int>(bin), v) ? Want::kValue : Want::kNoData;
        });
}

TEST(ProductsOnRealVolumes, KlixProductsHoldTheFilesOwnBinsPlainAndCompressed) {
    RDR_REQUIRE_SHARED_DATA();
    checkKlixAgainstFile("uf/KLIX20050828_180149_rsl.uf");
    checkKlixAgainstFile("uf/KLIX20050828_180149_rsl.uf.gz");
}

TEST(ProductsOnRealVolumes, KlixUfVolumeGivesSaneProducts) {
    RDR_REQUIRE_SHARED_DATA();
    Volume plain = load("uf/KLIX20050828_180149_rsl.uf");
    ASSERT_TRUE(plain);
    ASSERT_EQ(plain->m_iMaxSweep, 14);
    char dz[] = "DZ";
    Products a = makeAll(plain.get(), dz);
    checkSane(a, "KLIX");
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
