// BASE: the value of the lowest sweep (by index) that has data in the cell.
#include "column_products.h"
#include "internal/column_product_frame.h"

using rdr_product::CellOutput;
using rdr_product::ColumnGrid;
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
    const ColumnGrid grid{pStd, iXdim, iYdim, fMaxRangeKm, fGridKm, szFieldName, ppTable};
    return rdr_product::runColumnRule("fnCreateBase", grid, lowestSweepWithData, 0,
                                      CellOutput::kValue);
}

float* fnCreateBaseQI(STD_RADAR* pStd, STD_RADAR* pQiStd, int iXdim, int iYdim, float fMaxRangeKm,
                      float fGridKm, char* szFieldName, STD_AZIMUTH_TBL** ppTable,
                      STD_AZIMUTH_TBL** ppQiTable) {
    const ColumnGrid grid{pStd, iXdim, iYdim, fMaxRangeKm, fGridKm, szFieldName, ppTable};
    return rdr_product::runColumnRuleQi("fnCreateBaseQI", grid, pQiStd, ppQiTable,
                                        lowestSweepWithData, 0);
}

float* fnCreateBaseQIToDbz(STD_RADAR* pStd, STD_RADAR* pQiStd, int iXdim, int iYdim,
                           float fMaxRangeKm, float fGridKm, STD_AZIMUTH_TBL** ppTable,
                           STD_AZIMUTH_TBL** ppQiTable) {
    return rdr_product::withReflectivity([&](char* szField) {
        return fnCreateBaseQI(pStd, pQiStd, iXdim, iYdim, fMaxRangeKm, fGridKm, szField, ppTable,
                              ppQiTable);
    });
}
