// ETOP: beam-centre height of the highest sweep (by index) whose value exceeds a threshold.
// The search stops at that sweep even when its height comes out at or below zero.
#include "column_products.h"
#include "internal/column_product_frame.h"

using rdr_product::CellOutput;
using rdr_product::ColumnRequest;
using rdr_product::ColumnSampler;
using rdr_product::SweepPick;

namespace {

SweepPick highestSweepAboveThreshold(const ColumnSampler& sampler,
                                     const rdr_product::GridCell& cell, float fThreshold) {
    for (int s = sampler.sweepCount() - 1; s >= 0; --s) {
        if (!sampler.usable(s)) {
            continue;
        }
        const float value = sampler.value(s, cell);
        if (value > fThreshold) {
            return {s, value};
        }
    }
    return {};
}

}  // namespace

float* fnCreateEtop(STD_RADAR* pStd, int iXdim, int iYdim, float fMaxRangeKm, float fGridKm,
                    float fEtopMinThreshold, char* szFieldName, STD_AZIMUTH_TBL** ppTable) {
    return rdr_product::runColumnProduct(ColumnRequest{.function = "fnCreateEtop",
                                                       .pStd = pStd,
                                                       .iXdim = iXdim,
                                                       .iYdim = iYdim,
                                                       .fMaxRangeKm = fMaxRangeKm,
                                                       .fGridKm = fGridKm,
                                                       .fThreshold = fEtopMinThreshold,
                                                       .szFieldName = szFieldName,
                                                       .ppTable = ppTable,
                                                       .rule = highestSweepAboveThreshold,
                                                       .output = CellOutput::kEchoTopHeight});
}

float* fnCreateEtopQI(STD_RADAR* pStd, STD_RADAR* pQiStd, int iXdim, int iYdim, float fMaxRangeKm,
                      float fGridKm, float fEtopMinThreshold, char* szFieldName,
                      STD_AZIMUTH_TBL** ppTable, STD_AZIMUTH_TBL** ppQiTable) {
    return rdr_product::runColumnProduct(ColumnRequest{.function = "fnCreateEtopQI",
                                                       .pStd = pStd,
                                                       .pQiStd = pQiStd,
                                                       .iXdim = iXdim,
                                                       .iYdim = iYdim,
                                                       .fMaxRangeKm = fMaxRangeKm,
                                                       .fGridKm = fGridKm,
                                                       .fThreshold = fEtopMinThreshold,
                                                       .szFieldName = szFieldName,
                                                       .ppTable = ppTable,
                                                       .ppQiTable = ppQiTable,
                                                       .rule = highestSweepAboveThreshold,
                                                       .output = CellOutput::kQualityIndex});
}

// Corrected reflectivity when the volume has it, the uncorrected moment otherwise.
float* fnCreateEtopQIToDbz(STD_RADAR* pStd, STD_RADAR* pQiStd, int iXdim, int iYdim,
                           float fMaxRangeKm, float fGridKm, float fEtopMinThreshold,
                           STD_AZIMUTH_TBL** ppTable, STD_AZIMUTH_TBL** ppQiTable) {
    char corrected[] = "CZ";
    char uncorrected[] = "DZ";
    float* grid = fnCreateEtopQI(pStd, pQiStd, iXdim, iYdim, fMaxRangeKm, fGridKm,
                                 fEtopMinThreshold, corrected, ppTable, ppQiTable);
    if (grid == nullptr) {
        grid = fnCreateEtopQI(pStd, pQiStd, iXdim, iYdim, fMaxRangeKm, fGridKm, fEtopMinThreshold,
                              uncorrected, ppTable, ppQiTable);
    }
    return grid;
}
