// ETOP: beam-centre height of the highest sweep (by index) whose value exceeds a threshold.
// The search stops at that sweep even when its height comes out at or below zero.
#include "column_products.h"
#include "internal/column_product_frame.h"

using rdr_product::CellOutput;
using rdr_product::ColumnGrid;
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
    const ColumnGrid grid{pStd, iXdim, iYdim, fMaxRangeKm, fGridKm, szFieldName, ppTable};
    return rdr_product::runColumnRule("fnCreateEtop", grid, highestSweepAboveThreshold,
                                      fEtopMinThreshold, CellOutput::kEchoTopHeight);
}

float* fnCreateEtopQI(STD_RADAR* pStd, STD_RADAR* pQiStd, int iXdim, int iYdim, float fMaxRangeKm,
                      float fGridKm, float fEtopMinThreshold, char* szFieldName,
                      STD_AZIMUTH_TBL** ppTable, STD_AZIMUTH_TBL** ppQiTable) {
    const ColumnGrid grid{pStd, iXdim, iYdim, fMaxRangeKm, fGridKm, szFieldName, ppTable};
    return rdr_product::runColumnRuleQi("fnCreateEtopQI", grid, pQiStd, ppQiTable,
                                        highestSweepAboveThreshold, fEtopMinThreshold);
}

float* fnCreateEtopQIToDbz(STD_RADAR* pStd, STD_RADAR* pQiStd, int iXdim, int iYdim,
                           float fMaxRangeKm, float fGridKm, float fEtopMinThreshold,
                           STD_AZIMUTH_TBL** ppTable, STD_AZIMUTH_TBL** ppQiTable) {
    return rdr_product::withReflectivity([&](char* szField) {
        return fnCreateEtopQI(pStd, pQiStd, iXdim, iYdim, fMaxRangeKm, fGridKm, fEtopMinThreshold,
                              szField, ppTable, ppQiTable);
    });
}
