// The standard product to the BUFR_PRODUCT records: the ODIM product's sync-down, then the
// names of the BUFR columns of the information tables and the physical description each
// grid has in a BUFR message.
#include <cfloat>
#include <string>

#include "bufr_output.h"
#include "core_utilities.h"
#include "internal/fixed_text.h"
#include "internal/odim_product_to_std.h"

namespace {

constexpr const char* kSyncDown = "fnStdProductSyncDownBufr";
constexpr const char* kConventions = "ODIM_H5/V2_1";

void toBufrNames(HDF_PRODUCT_DATASET** ppDset, int iCount) {
    for (int d = 0; ppDset != nullptr && d < iCount; ++d) {
        HDF_PRODUCT_DATASET* pDset = ppDset[d];
        PRODUCT_INFO_TBL product{};
        if (fnGetHdfProductInfo(pDset->m_what.m_szProduct, &product) == 1) {
            copyFixedText(pDset->m_what.m_szProduct, sizeof pDset->m_what.m_szProduct,
                          product.m_szBufrProduct);
        }
        for (int k = 0; k < pDset->m_iMaxField; ++k) {
            HDF_PRODUCT_DATA* pData = pDset->m_ppProductData[k];
            if (!odimSlotHoldsRows(*pData)) {
                continue;
            }
            FIELD_INFO_TBL field{};
            fnGetStdFieldInfo(pData->m_szFieldName, &field);
            HDF_DATASET_WHAT& w = pData->m_what;
            copyFixedText(w.m_szProduct, sizeof w.m_szProduct, pDset->m_what.m_szProduct);
            copyFixedText(w.m_szQuantity, sizeof w.m_szQuantity, field.m_szBufrQuantity);
            // The message carries physical values, with the two extreme doubles as codes.
            w.m_dGain = 1.0;
            w.m_dOffset = 0.0;
            w.m_dNodata = DBL_MAX;
            w.m_dUndetect = -DBL_MAX;
        }
    }
}

}  // namespace

BUFR_PRODUCT* fnStdProductSyncDownBufr(STD_PRODUCT* pStdProduct) {
    BUFR_PRODUCT* pBufr = fnStdProductSyncDownHdf(pStdProduct);
    if (pBufr == nullptr) {
        rdrError(kSyncDown, "the product cannot be converted (see the line above)");
        return nullptr;
    }
    copyFixedText(pBufr->m_szConventions, sizeof pBufr->m_szConventions, kConventions);
    if (pBufr->m_iHdfProductType == BUFR_EN_PRODUCT_COMP) {
        COMP_INFO_TBL method{};
        HDF_IMAGE_HOW& how = pBufr->m_how.m_image_how;
        how.m_szCamethod[0] = '\0';
        if (fnGetStdCompInfo(pStdProduct->m_product_hdr.m_szCompMethod, &method) == 1) {
            copyFixedText(how.m_szCamethod, sizeof how.m_szCamethod, method.m_szBufrCompMethod);
        }
    }
    for (int f = 0; f < kOdimFamilyCount; ++f) {
        toBufrNames(*odimFamilyArray(pBufr->m_totalProduct, f),
                    *odimFamilyCount(pBufr->m_totalProduct, f));
    }
    return pBufr;
}
