#include "internal/standard_family_check.h"

#include <cstdio>
#include <string>

#include "core_utilities.h"
#include "info_tables.h"

bool standardSlotHoldsRows(const STD_PRODUCT_DATA& data) {
    return (data.m_iMemType == RDR_EN_MEM_CHAR && data.m_ppData_c != nullptr) ||
           (data.m_iMemType == RDR_EN_MEM_SHORT && data.m_ppData_s != nullptr) ||
           (data.m_iMemType == RDR_EN_MEM_FLOAT && data.m_ppData_f != nullptr);
}

bool standardFamilyConvertible(STD_PRODUCT_DATASET** ppStd, int iCount, const char* szFamily,
                               const char* szDatasetStep, const char* szDataStep) {
    for (int d = 0; d < iCount; ++d) {
        const STD_PRODUCT_DATASET* pDset = ppStd[d];
        const std::string where = std::string(szFamily) + " dataset " + std::to_string(d + 1);
        if (pDset == nullptr || (pDset->m_iMaxField > 0 && pDset->m_ppProductData == nullptr)) {
            rdrError(szDatasetStep, (where + " missing").c_str());
            return false;
        }
        bool bHoldsRows = false;
        for (int k = 0; k < pDset->m_iMaxField; ++k) {
            const STD_PRODUCT_DATA* pData = pDset->m_ppProductData[k];
            FIELD_INFO_TBL field{};
            if (pData == nullptr) {
                rdrError(szDatasetStep, (where + " has a missing slot").c_str());
                return false;
            }
            if (!standardSlotHoldsRows(*pData)) {
                continue;
            }
            bHoldsRows = true;
            if (fnGetStdFieldInfo(pData->m_szFieldName, &field) != 1) {
                std::fprintf(stderr, "%s : unknown %s\n", szDataStep, pData->m_szFieldName);
                return false;
            }
        }
        PRODUCT_INFO_TBL product{};
        if (bHoldsRows && fnGetStdProductInfo(pDset->m_szProduct, &product) != 1) {
            rdrError(szDatasetStep, (where + " has an unknown product name").c_str());
            return false;
        }
    }
    return true;
}
