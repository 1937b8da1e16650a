// Ownership helpers for product tests: grids returned by product functions and the
// per-sweep azimuth tables they read.
#ifndef RDR_PRODUCT_TEST_SUPPORT_H
#define RDR_PRODUCT_TEST_SUPPORT_H

#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "core_utilities.h"
#include "owned_handles.h"
#include "ray_lookup.h"
#include "standard_volume.h"

namespace rdrtest {

// A product grid, released with free() as the product functions document.
using Grid = rdr::GridPtr;

// The azimuth tables of every sweep of a volume.
struct Tables {
    STD_AZIMUTH_TBL** p = nullptr;
    int n = 0;
    explicit Tables(STD_RADAR* pStd) : p(fnMakeAllHashTable(pStd)), n(pStd->m_iMaxSweep) {}
    ~Tables() { fnFreeMatrix2D(reinterpret_cast<void**>(p), n); }
    Tables(const Tables&) = delete;
    Tables& operator=(const Tables&) = delete;
};

// The product functions take field names as char*, as their callers pass them.
inline char* name(const char* s) {
    return const_cast<char*>(s);
}

// The PPI written the plain way, cell by cell as the product is defined, for checking the
// optimised products against: radar at row dim/2, column (dim-1) - dim/2, the nearest ray
// within one degree, the bin at the cell's distance. Empty when no ray of the sweep
// carries the field.
inline std::vector<float> plainPpi(STD_RADAR* pStd, int iSweep, int dim, float maxRangeKm,
                                   float gridKm, const char* szField, STD_AZIMUTH_TBL* pTable) {
    STD_SWEEP* sweep = pStd->m_ppSweep[iSweep];
    bool any = false;
    for (int r = 0; r < sweep->m_iMaxRay; ++r) {
        any = any || fnGetFieldIdxRay(sweep->m_ppRay[r], szField) >= 0;
    }
    if (!any) {
        return {};
    }
    std::vector<float> grid(static_cast<size_t>(dim) * dim, -9999.0f);
    const float res = static_cast<float>(360.0 / sweep->m_iMaxRay);
    const int half = dim / 2;
    for (int y = -half; y < half; ++y) {
        for (int x = -half; x < half; ++x) {
            const float rangeKm =
                static_cast<float>(std::sqrt(static_cast<double>(x * x + y * y))) * gridKm;
            if (rangeKm > maxRangeKm) {
                continue;
            }
            const float azim = fnCalcAzimuthToXY(y, x);
            const int iRay = fnSearchRayToAzim(sweep, res, azim, pTable);
            if (iRay < 0 || fnDiffDegree(azim, sweep->m_ppRay[iRay]->m_hdr.m_fAzimuth) > 1.0f) {
                continue;
            }
            STD_RAY* ray = sweep->m_ppRay[iRay];
            const float v = fnGetBinValueToRay(ray, fnGetFieldIdxRay(ray, szField), rangeKm,
                                               pStd->m_hdr.m_iNoDataValue);
            if (std::fabs(v - 131072.0f) < 1e-6f || std::fabs(v - 131068.0f) < 1e-6f ||
                std::fabs(v - 131069.0f) < 1e-6f) {
                continue;
            }
            grid[static_cast<size_t>(y + half) * dim + (dim - 1) - (x + half)] = v;
        }
    }
    return grid;
}

}  // namespace rdrtest

#endif
