// CMAX: the largest value over all sweeps; on equal values the lowest sweep is chosen.
#include "column_products.h"
#include "internal/column_product_frame.h"

using rdr_product::CellOutput;
using rdr_product::ColumnGrid;
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
    const ColumnGrid grid{pStd, iXdim, iYdim, fMaxRangeKm, fGridKm, szFieldName, ppTable};
    return rdr_product::runColumnRule("fnCreateCmax", grid, columnMaximum, 0, CellOutput::kValue);
}

float* fnCreateCmaxQI(STD_RADAR* pStd, STD_RADAR* pQiStd, int iXdim, int iYdim, float fMaxRangeKm,
                      float fGridKm, char* szFieldName, STD_AZIMUTH_TBL** ppTable,
                      STD_AZIMUTH_TBL** ppQiTable) {
    const ColumnGrid grid{pStd, iXdim, iYdim, fMaxRangeKm, fGridKm, szFieldName, ppTable};
    return rdr_product::runColumnRuleQi("fnCreateCmaxQI", grid, pQiStd, ppQiTable, columnMaximum,
                                        0);
}

float* fnCreateCmaxQIToDbz(STD_RADAR* pStd, STD_RADAR* pQiStd, int iXdim, int iYdim,
                           float fMaxRangeKm, float fGridKm, STD_AZIMUTH_TBL** ppTable,
                           STD_AZIMUTH_TBL** ppQiTable) {
    return rdr_product::withReflectivity([&](char* szField) {
        return fnCreateCmaxQI(pStd, pQiStd, iXdim, iYdim, fMaxRangeKm, fGridKm, szField, ppTable,
                              ppQiTable);
    });
}
