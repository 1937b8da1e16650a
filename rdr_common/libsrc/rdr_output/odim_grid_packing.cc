#include "internal/odim_grid_packing.h"

#include <algorithm>
#include <cmath>

#include "standard_product.h"

float physicalForRule(double value, const FIELD_MEM_INFO_TBL& rule) {
    if (rule.m_iMemType == RDR_EN_MEM_FLOAT || !std::isfinite(value)) {
        return static_cast<float>(value);
    }
    const double scaled = (value + rule.m_fOffset) * rule.m_fScale;
    const double nearest = std::nearbyint(scaled);
    const double stored = std::fabs(scaled - nearest) <= 1e-6 * std::max(1.0, std::fabs(nearest))
                              ? nearest
                              : std::trunc(scaled);
    if (stored == 0.0 || std::fabs(stored) > 1e9) {
        return static_cast<float>(stored / rule.m_fScale - rule.m_fOffset);
    }
    const double middle = stored + (stored > 0 ? 0.5 : -0.5);
    return static_cast<float>(middle / rule.m_fScale - rule.m_fOffset);
}

bool packPhysicalGrid(const float* pPhysical, const char* szField, int iYdim, int iXdim,
                      HDF_PRODUCT_DATA* pOut) {
    // Packed by the standard product's own rule, in a dataset of one slot lent for it.
    STD_PRODUCT_DATASET** ppLent = fnInitStdDataset("LOAD", 1, 1);
    if (ppLent == nullptr) {
        return false;
    }
    STD_PRODUCT_DATA* pSlot = ppLent[0]->m_ppProductData[0];
    const int iStored = fnAddStdDatasetToData(ppLent[0], szField, pPhysical, iYdim, iXdim);
    if (iStored == 1) {
        pOut->m_iMemType = pSlot->m_iMemType;
        pOut->m_ppData_c = pSlot->m_ppData_c;
        pOut->m_ppData_s = pSlot->m_ppData_s;
        pOut->m_ppData_f = pSlot->m_ppData_f;
        pSlot->m_ppData_c = nullptr;
        pSlot->m_ppData_s = nullptr;
        pSlot->m_ppData_f = nullptr;
    }
    fnFreeStdDataset(ppLent, 1, iYdim);
    return iStored == 1;
}
