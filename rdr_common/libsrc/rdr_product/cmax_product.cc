// CMAX: the largest value over all sweeps; on equal values the lowest sweep is chosen.
#include "column_products.h"
#include "internal/column_product_frame.h"

using rdr_product::CellOutput;
using rdr_product::ColumnRequest;
using rdr_product::ColumnSampler;
using rdr_product::SweepPick;

namespace {

SweepPick columnMaximum(const ColumnSampler& sampler, const rdr_product::GridCell& cell, float) {
    SweepPick pick;
    for (int s = 0; s < sampler.sweepCount(); ++s) {
        if (!sampler.usable(s)) {
            continue;
        }
        const float value = sampler.value(s, cell);
        if (value > pick.value) {
            pick = {s, value};
        }
    }
    return pick;
}

}  // namespace

float* fnCreateCmax(STD_RADAR* pStd, int iXdim, int iYdim, float fMaxRangeKm, float fGridKm,
                    char* szFieldName, STD_AZIMUTH_TBL** ppTable) {
    return rdr_product::runColumnProduct(ColumnRequest{.function = "fnCreateCmax",
                                                       .pStd = pStd,
                                                       .iXdim = iXdim,
                                                       .iYdim = iYdim,
                                                       .fMaxRangeKm = fMaxRangeKm,
                                                       .fGridKm = fGridKm,
                                                       .fThreshold = 0,
                                                       .szFieldName = szFieldName,
                                                       .ppTable = ppTable,
                                                       .rule = columnMaximum,
                                                       .output = CellOutput::kValue});
}

float* fnCreateCmaxQI(STD_RADAR* pStd, STD_RADAR* pQiStd, int iXdim, int iYdim, float fMaxRangeKm,
                      float fGridKm, char* szFieldName, STD_AZIMUTH_TBL** ppTable,
                      STD_AZIMUTH_TBL** ppQiTable) {
    return rdr_product::runColumnProduct(ColumnRequest{.function = "fnCreateCmaxQI",
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
                                                       .rule = columnMaximum,
                                                       .output = CellOutput::kQualityIndex});
}

// Corrected reflectivity when the volume has it, the uncorrected moment otherwise.
float* fnCreateCmaxQIToDbz(STD_RADAR* pStd, STD_RADAR* pQiStd, int iXdim, int iYdim,
                           float fMaxRangeKm, float fGridKm, STD_AZIMUTH_TBL** ppTable,
                           STD_AZIMUTH_TBL** ppQiTable) {
    char corrected[] = "CZ";
    char uncorrected[] = "DZ";
    float* grid = fnCreateCmaxQI(pStd, pQiStd, iXdim, iYdim, fMaxRangeKm, fGridKm, corrected,
                                 ppTable, ppQiTable);
    if (grid == nullptr) {
        grid = fnCreateCmaxQI(pStd, pQiStd, iXdim, iYdim, fMaxRangeKm, fGridKm, uncorrected,
                              ppTable, ppQiTable);
    }
    return grid;
}
