#include "ppi_grid.h"

#include <algorithm>
#include <cstdlib>
#include <new>

#include "core_utilities.h"
#include "internal/product_grid.h"
#include "ray_lookup.h"

using rdr_product::GridCell;

namespace {

constexpr const char* kFunc = "fnCreatePPI";

}  // namespace

float* fnCreatePPI(STD_RADAR* pStd, int iSweepIdx, int iXdim, int iYdim, float fMaxRangeKm,
                   float fGridKm, const char* szFieldName, STD_AZIMUTH_TBL* pTable) {
    if (pStd == nullptr || pTable == nullptr || szFieldName == nullptr || iXdim != iYdim ||
        iXdim < 0 || iSweepIdx < 0 || iSweepIdx >= pStd->m_iMaxSweep) {
        rdrError(kFunc, "Invalid arg");
        return nullptr;
    }
    STD_SWEEP* pSweep = pStd->m_ppSweep != nullptr ? pStd->m_ppSweep[iSweepIdx] : nullptr;
    if (pSweep == nullptr || pSweep->m_ppRay == nullptr) {
        rdrError(kFunc, "sweep is null or m_ppRay is null");
        return nullptr;
    }

    const size_t cells = static_cast<size_t>(iXdim) * static_cast<size_t>(iXdim);
    float* pGrid = static_cast<float*>(std::malloc((cells > 0 ? cells : 1) * sizeof(float)));
    rdr_product::SweepView view;
    rdr_product::CellGeometry geometry;
    try {
        if (pGrid == nullptr) {
            throw std::bad_alloc();
        }
        view = rdr_product::buildSweepView(pSweep, szFieldName, pTable);
        if (!view.hasMoment) {
            std::free(pGrid);
            rdrError(kFunc, "no moment");
            return nullptr;
        }
        // Cells beyond both the range limit and the farthest bin of the sweep stay no data,
        // so they need neither an azimuth nor a ray search.
        const float limitKm = std::min(fMaxRangeKm, view.reachKm);
        if (iXdim > 0 && !buildCellGeometry(iXdim, fGridKm, limitKm, &geometry)) {
            throw std::bad_alloc();
        }
        if (cells >= rdr_product::kRayLutMinCells) {
            buildRayLut(&view);
        }
    } catch (const std::bad_alloc&) {
        std::free(pGrid);
        rdrError(kFunc, "calloc fail");
        return nullptr;
    }
    std::fill(pGrid, pGrid + cells, RDR_GRID_NO_DATA);

    const int noData = pStd->m_hdr.m_iNoDataValue;
    geometry.forEachCellInTiles(
        fGridKm, std::min(fMaxRangeKm, view.reachKm), [&](const GridCell& cell) {
            const float rangeKm = cell.rootDist * fGridKm;
            if (rangeKm > fMaxRangeKm) {
                return;
            }
            pGrid[cell.index] = rdr_product::samplePpiCell(view, cell.azimuth, rangeKm, noData);
        });
    return pGrid;
}
