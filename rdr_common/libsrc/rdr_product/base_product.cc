// BASE: the value of the lowest sweep (by index) that has data in the cell.
#include "column_products.h"
#include "internal/column_product_frame.h"

using rdr_product::CellOutput;
using rdr_product::ColumnRequest;
using rdr_product::ColumnSampler;
using rdr_product::SweepPick;

namespace {

SweepPick lowestSweepWithData(const ColumnSampler& sampler, const rdr_product::GridCell& cell,
                              float) {
    for (int s = 0; s < sampler.sweepCount(); ++s) {
        if (!sampler.usable(s)) {
            continue;
        }
        const float value = sampler.value(s, cell);
        if (value != rdr_product::kNoData) {
            return {s, value};
        }
    }
    return {};
}

}  // namespace

float* fnCreateBase(STD_RADAR* pStd, int iXdim, int iYdim, float fMaxRangeKm, float fGridKm,
                    char* szFieldName, STD_AZIMUTH_TBL** ppTable) {
    return rdr_product::runColumnProduct(ColumnRequest{.function = "fnCreateBase",
                                                       .pStd = pStd,
                                                       .iXdim = iXdim,
                                                       .iYdim = iYdim,
                                                       .fMaxRangeKm = fMaxRangeKm,
                                                       .fGridKm = fGridKm,
                                                       .fThreshold = 0,
                                                       .szFieldName = szFieldName,
                                                       .ppTable = ppTable,
                                                       .rule = lowestSweepWithData,
                                                       .output = CellOutput::kValue});
}

float* fnCreateBaseQI(STD_RADAR* pStd, STD_RADAR* pQiStd, int iXdim, int iYdim, float fMaxRangeKm,
                      float fGridKm, char* szFieldName, STD_AZIMUTH_TBL** ppTable,
                      STD_AZIMUTH_TBL** ppQiTable) {
    return rdr_product::runColumnProduct(ColumnRequest{.function = "fnCreateBaseQI",
                                                       .pStd = pStd,
                                                       .pQiStd = pQiStd,
                                                       .iXdim = iXdim,
                                                       .iYdim = iYdim,
                                                       .fMaxRangeKm = fMaxRangeKm,
                                                       .fGridKm = fGridKm,
                                                       .fThreshold = 0,
                                                       .szFieldName = szFieldName,
                                                       .ppTable = ppTable,
                                                       .ppQiTable = ppQiTable,
                                                       .rule = lowestSweepWithData,
                                                       .output = CellOutput::kQualityIndex});
}

// Corrected reflectivity when the volume has it, the uncorrected moment otherwise.
float* fnCreateBaseQIToDbz(STD_RADAR* pStd, STD_RADAR* pQiStd, int iXdim, int iYdim,
                           float fMaxRangeKm, float fGridKm, STD_AZIMUTH_TBL** ppTable,
                           STD_AZIMUTH_TBL** ppQiTable) {
    char corrected[] = "CZ";
    char uncorrected[] = "DZ";
    float* grid = fnCreateBaseQI(pStd, pQiStd, iXdim, iYdim, fMaxRangeKm, fGridKm, corrected,
                                 ppTable, ppQiTable);
    if (grid == nullptr) {
        grid = fnCreateBaseQI(pStd, pQiStd, iXdim, iYdim, fMaxRangeKm, fGridKm, uncorrected,
                              ppTable, ppQiTable);
    }
    return grid;
}
