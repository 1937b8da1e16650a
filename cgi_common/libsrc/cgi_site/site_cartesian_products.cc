// Single-sweep PPI and the column products CMAX, BASE and ETOP of the site engine.
#include "site_cartesian_products.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "internal/site_grid_frame.h"

namespace {

using site_frame::SquareGrid;

// Effective earth radius (4/3 of 6371.00877 km) of the echo-top heights.
constexpr double kEtopRadiusKm = 8494.678385416666;
constexpr double kDegrad = 3.141592 / 180.0;

// Calls rule(geometry, values) per cell, values[s] being sweep s's value under the cell.
template <class Rule>
float* columnProduct(const ST_UF_DATA* pUf, int nXdim, int nYdim, float rangeKm,
                     st_Azimuth* const* table, Rule rule) {
    const SquareGrid grid = site_frame::squareGrid(nXdim, nYdim, rangeKm);
    if (pUf == nullptr || table == nullptr || !grid.ok()) {
        return nullptr;
    }
    float* out = site_frame::newGrid(static_cast<size_t>(grid.n) * grid.n);
    if (out == nullptr) {
        return nullptr;
    }
    const int sweeps = std::clamp(pUf->m_nSweeps, 0, SITE_UF_MAX_SWEEPS);
    std::vector<float> values(static_cast<size_t>(sweeps));
    site_frame::fillGrid(grid, out, [&](const site_frame::CellGeometry& g) {
        for (int s = 0; s < sweeps; ++s) {
            values[s] = site_frame::sweepUsable(*pUf, s, table[s])
                            ? site_frame::sweepValueAt(*pUf, s, table[s], g.rangeKm, g.azimuth)
                            : SITE_NO_DATA;
        }
        return rule(g, values);
    });
    return out;
}

}  // namespace

float* fnKRL_SweepToCart(ST_UF_DATA* pUf, int nSweepNo, int nXdim, int nYdim, float fRange,
                         st_Azimuth* table) {
    const SquareGrid grid = site_frame::squareGrid(nXdim, nYdim, fRange);
    if (pUf == nullptr || table == nullptr || !grid.ok() ||
        !site_frame::sweepUsable(*pUf, nSweepNo, table)) {
        return nullptr;
    }
    float* out = site_frame::newGrid(static_cast<size_t>(grid.n) * grid.n);
    if (out == nullptr) {
        return nullptr;
    }
    site_frame::fillGrid(grid, out, [&](const site_frame::CellGeometry& g) {
        return site_frame::sweepValueAt(*pUf, nSweepNo, table, g.rangeKm, g.azimuth);
    });
    return out;
}

float* fnVolumeToCMAX(ST_UF_DATA* pUf, int nXdim, int nYdim, int nRange, st_Azimuth** table) {
    return columnProduct(pUf, nXdim, nYdim, static_cast<float>(nRange), table,
                         [](const site_frame::CellGeometry&, const std::vector<float>& v) {
                             float best = SITE_NO_DATA;
                             for (float x : v) {
                                 if (x != SITE_NO_DATA && (best == SITE_NO_DATA || x > best)) {
                                     best = x;
                                 }
                             }
                             return best;
                         });
}

float* fnVolumeToBASE(ST_UF_DATA* pUf, int nXdim, int nYdim, int nRange, st_Azimuth** table) {
    return columnProduct(pUf, nXdim, nYdim, static_cast<float>(nRange), table,
                         [](const site_frame::CellGeometry&, const std::vector<float>& v) {
                             for (float x : v) {
                                 if (x != SITE_NO_DATA) {
                                     return x;
                                 }
                             }
                             return SITE_NO_DATA;
                         });
}

float* fnVolumeToETOP(ST_UF_DATA* pUf, int xdim, int ydim, int range, int radar_height,
                      float etop_min_threshold, float grid_km, st_Azimuth** table) {
    if (pUf == nullptr || !(grid_km > 0.0f) || !std::isfinite(grid_km)) {
        return nullptr;
    }
    const ST_UF_DATA& uf = *pUf;
    return columnProduct(
        pUf, xdim, ydim, static_cast<float>(range), table,
        [&](const site_frame::CellGeometry& g, const std::vector<float>& v) {
            int top = -1;
            for (int s = 0; s < static_cast<int>(v.size()); ++s) {
                if (v[s] != SITE_NO_DATA && v[s] > etop_min_threshold &&
                    (top < 0 || uf.m_fUfElevation[s] > uf.m_fUfElevation[top])) {
                    top = s;
                }
            }
            if (top < 0) {
                return SITE_NO_DATA;
            }
            // Ground distance from the radar's own cell, the one the grid was made around.
            const double ground =
                std::hypot(static_cast<double>(g.rowOffset), g.colOffset) * grid_km;
            const double phi = uf.m_fUfElevation[top] * kDegrad;
            const double slant = ground / std::cos(phi);
            const double r = kEtopRadiusKm;
            const double height =
                std::sqrt(slant * slant + r * r + 2.0 * slant * r * std::sin(phi)) - r +
                radar_height / 1000.0;
            return height > 0.0 && std::isfinite(height) ? static_cast<float>(height)
                                                         : SITE_NO_DATA;
        });
}

int fnDel_Indenpent_Echo(float* pfImsiData, int nXdim, int nYdim) {
    if (pfImsiData == nullptr) {
        return -9999;
    }
    if (nXdim < 3 || nYdim < 3) {
        return 1;
    }
    const std::vector<float> before(pfImsiData, pfImsiData + static_cast<size_t>(nXdim) * nYdim);
    auto at = [&](int y, int x) { return before[static_cast<size_t>(y) * nXdim + x]; };
    for (int y = 1; y < nYdim - 1; ++y) {
        for (int x = 1; x < nXdim - 1; ++x) {
            int echoes = 0;
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    echoes += at(y + dy, x + dx) != SITE_NO_DATA ? 1 : 0;
                }
            }
            if (echoes <= 3) {
                pfImsiData[static_cast<size_t>(y) * nXdim + x] = SITE_NO_DATA;
            }
        }
    }
    return 1;
}

float fnGetGridKm(int nMapLevel) {
    return static_cast<float>(2.0 * std::pow(0.5, nMapLevel));
}
