// The one frame of the nine column products: check the request, build the per-sweep views
// once, then for every cell let the product's rule pick a sweep and write that sweep's
// value, its beam height or its quality index.
#ifndef RDR_COLUMN_PRODUCT_FRAME_H
#define RDR_COLUMN_PRODUCT_FRAME_H

#include <vector>

#include "internal/product_grid.h"
#include "standard_volume.h"

namespace rdr_product {

// What each sweep's PPI holds at one cell, computed on demand.
class ColumnSampler {
  public:
    int sweepCount() const { return static_cast<int>(views_.size()); }
    // False when the sweep's PPI (or, for quality-index products, its QI PPI) cannot exist.
    bool usable(int iSweep) const { return usable_[iSweep]; }
    float value(int iSweep, const GridCell& cell) const {
        return sample(views_[iSweep], cell, noData_);
    }
    float qualityIndex(int iSweep, const GridCell& cell) const {
        return sample(qiViews_[iSweep], cell, qiNoData_);
    }

  private:
    float sample(const SweepView& view, const GridCell& cell, int noData) const {
        if (!cell.visited) {
            return kNoData;
        }
        const float rangeKm = cell.rootDist * gridKm_;
        if (rangeKm > maxRangeKm_) {
            return kNoData;
        }
        return samplePpiCell(view, cell.azimuth, rangeKm, noData);
    }
    friend float* runColumnProduct(const struct ColumnRequest& request);
    float gridKm_ = 0;
    float maxRangeKm_ = 0;
    int noData_ = 0;
    int qiNoData_ = 0;
    std::vector<SweepView> views_;
    std::vector<SweepView> qiViews_;
    std::vector<char> usable_;
};

// The sweep a rule chose for a cell (-1: none) and its value there.
struct SweepPick {
    int sweep = -1;
    float value = kNoData;
};

using SweepRule = SweepPick (*)(const ColumnSampler& sampler, const GridCell& cell,
                                float fThreshold);

enum class CellOutput {
    kValue,          // the picked value
    kEchoTopHeight,  // beam-centre height of the picked sweep, km, when above 0
    kQualityIndex,   // the QI volume's value in the picked sweep
};

struct ColumnRequest {
    const char* function = nullptr;  // name used in failure messages
    STD_RADAR* pStd = nullptr;
    STD_RADAR* pQiStd = nullptr;  // set for quality-index products only
    int iXdim = 0;
    int iYdim = 0;
    float fMaxRangeKm = 0;
    float fGridKm = 0;
    float fThreshold = 0;
    const char* szFieldName = nullptr;
    STD_AZIMUTH_TBL** ppTable = nullptr;
    STD_AZIMUTH_TBL** ppQiTable = nullptr;
    SweepRule rule = nullptr;
    CellOutput output = CellOutput::kValue;
};

float* runColumnProduct(const ColumnRequest& request);

// A product's grid and volume as its public function receives them.
struct ColumnGrid {
    STD_RADAR* pStd;
    int iXdim;
    int iYdim;
    float fMaxRangeKm;
    float fGridKm;
    const char* szFieldName;
    STD_AZIMUTH_TBL** ppTable;
};

// The rule's product over the grid, writing what output says.
inline float* runColumnRule(const char* function, const ColumnGrid& g, SweepRule rule,
                            float fThreshold, CellOutput output, STD_RADAR* pQiStd = nullptr,
                            STD_AZIMUTH_TBL** ppQiTable = nullptr) {
    return runColumnProduct(ColumnRequest{.function = function,
                                          .pStd = g.pStd,
                                          .pQiStd = pQiStd,
                                          .iXdim = g.iXdim,
                                          .iYdim = g.iYdim,
                                          .fMaxRangeKm = g.fMaxRangeKm,
                                          .fGridKm = g.fGridKm,
                                          .fThreshold = fThreshold,
                                          .szFieldName = g.szFieldName,
                                          .ppTable = g.ppTable,
                                          .ppQiTable = ppQiTable,
                                          .rule = rule,
                                          .output = output});
}

// The quality index of the QI volume at the sweep the rule picks in the data volume.
inline float* runColumnRuleQi(const char* function, const ColumnGrid& g, STD_RADAR* pQiStd,
                              STD_AZIMUTH_TBL** ppQiTable, SweepRule rule, float fThreshold) {
    return runColumnRule(function, g, rule, fThreshold, CellOutput::kQualityIndex, pQiStd,
                         ppQiTable);
}

// Corrected reflectivity when the volume has it, the uncorrected moment otherwise:
// make(field) is tried with "CZ", then with "DZ".
template <class Make>
float* withReflectivity(Make make) {
    char corrected[] = "CZ";
    char uncorrected[] = "DZ";
    float* grid = make(corrected);
    return grid != nullptr ? grid : make(uncorrected);
}

// Beam-centre height (km above sea level) of a sweep of fixed angle fAngleDeg over the cell
// (iRow, iCol) of a square grid, 4/3 effective earth radius.
float echoTopHeightKm(int iDim, int iRow, int iCol, float fGridKm, float fAngleDeg,
                      int iAnteHeightM);

}  // namespace rdr_product

#endif
