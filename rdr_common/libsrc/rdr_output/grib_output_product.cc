// GRIB_PRODUCT allocation, release and counts. The layout follows STD_PRODUCT: six families
// of datasets, every dataset with the same number of zero-filled slots, rows released by the
// grid's row count.
#include <cstdlib>

#include "core_utilities.h"
#include "grib_output.h"
#include "internal/grib_product_families.h"

namespace {

constexpr int kMaxFamilyCount = 99;  // as for the standard product

void freeSlotRows(GRIB_PRODUCT_DATA* pData, int iYdim) {
    fnFreeMatrix2D(reinterpret_cast<void**>(pData->m_ppData_c), iYdim);
    fnFreeMatrix2D(reinterpret_cast<void**>(pData->m_ppData_s), iYdim);
    fnFreeMatrix2D(reinterpret_cast<void**>(pData->m_ppData_f), iYdim);
    pData->m_ppData_c = nullptr;
    pData->m_ppData_s = nullptr;
    pData->m_ppData_f = nullptr;
}

void freeFamily(GRIB_PRODUCT_DATASET** ppDset, int iMaxDataset, int iYdim) {
    if (ppDset == nullptr) {
        return;
    }
    for (int i = 0; i < iMaxDataset; ++i) {
        GRIB_PRODUCT_DATASET* pDset = ppDset[i];
        if (pDset == nullptr) {
            continue;
        }
        for (int k = 0; pDset->m_ppProductData != nullptr && k < pDset->m_iMaxField; ++k) {
            if (pDset->m_ppProductData[k] != nullptr) {
                freeSlotRows(pDset->m_ppProductData[k], iYdim);
                std::free(pDset->m_ppProductData[k]);
            }
        }
        std::free(pDset->m_ppProductData);
        std::free(pDset);
    }
    std::free(ppDset);
}

GRIB_PRODUCT_DATASET** makeFamily(int iMaxDataset, int iMaxField) {
    auto** ppDset = static_cast<GRIB_PRODUCT_DATASET**>(
        std::calloc(static_cast<size_t>(iMaxDataset), sizeof(GRIB_PRODUCT_DATASET*)));
    if (ppDset == nullptr) {
        return nullptr;
    }
    for (int i = 0; i < iMaxDataset; ++i) {
        auto* pDset =
            static_cast<GRIB_PRODUCT_DATASET*>(std::calloc(1, sizeof(GRIB_PRODUCT_DATASET)));
        ppDset[i] = pDset;
        if (pDset == nullptr) {
            freeFamily(ppDset, iMaxDataset, 0);
            return nullptr;
        }
        pDset->m_iMaxField = iMaxField;
        pDset->m_ppProductData = static_cast<GRIB_PRODUCT_DATA**>(
            std::calloc(static_cast<size_t>(iMaxField), sizeof(GRIB_PRODUCT_DATA*)));
        if (pDset->m_ppProductData == nullptr) {
            freeFamily(ppDset, iMaxDataset, 0);
            return nullptr;
        }
        for (int k = 0; k < iMaxField; ++k) {
            pDset->m_ppProductData[k] =
                static_cast<GRIB_PRODUCT_DATA*>(std::calloc(1, sizeof(GRIB_PRODUCT_DATA)));
            if (pDset->m_ppProductData[k] == nullptr) {
                freeFamily(ppDset, iMaxDataset, 0);
                return nullptr;
            }
        }
    }
    return ppDset;
}

}  // namespace

GRIB_PRODUCT* fnInitGribProduct(int iMaxField, int iMaxPpi, int iMaxCappi, int iMaxBase,
                                int iMaxCmax, int iMaxVil, int iMaxEtop) {
    if (iMaxField <= 0) {
        return nullptr;
    }
    auto* pProduct = static_cast<GRIB_PRODUCT*>(std::calloc(1, sizeof(GRIB_PRODUCT)));
    if (pProduct == nullptr) {
        return nullptr;
    }
    const int requested[kGribFamilyCount] = {iMaxPpi,  iMaxCappi, iMaxBase,
                                             iMaxCmax, iMaxVil,   iMaxEtop};
    for (int f = 0; f < kGribFamilyCount; ++f) {
        if (requested[f] < 1 || requested[f] > kMaxFamilyCount) {
            continue;
        }
        GRIB_PRODUCT_DATASET** ppDset = makeFamily(requested[f], iMaxField);
        if (ppDset == nullptr) {
            rdrError("fnInitGribProduct", "calloc fail");
            fnFreeGribProduct(pProduct);
            return nullptr;
        }
        *gribFamilyArray(pProduct->m_totalProduct, f) = ppDset;
        *gribFamilyCount(pProduct->m_totalProduct, f) = requested[f];
    }
    return pProduct;
}

GRIB_PRODUCT* fnInitGribProductToStdProduct(void* pStdPtr) {
    auto* pStd = static_cast<STD_PRODUCT*>(pStdPtr);
    if (pStd == nullptr) {
        return nullptr;
    }
    int counts[kGribFamilyCount] = {};
    int iMaxField = 0;
    for (int f = 0; f < kGribFamilyCount; ++f) {
        STD_PRODUCT_DATASET** ppDset = fnFindDsetStdProduct(pStd, kGribFamilyNames[f], &counts[f]);
        if (ppDset == nullptr) {
            counts[f] = 0;
        }
        for (int d = 0; d < counts[f]; ++d) {
            if (ppDset[d] != nullptr && ppDset[d]->m_iMaxField > iMaxField) {
                iMaxField = ppDset[d]->m_iMaxField;
            }
        }
    }
    return fnInitGribProduct(iMaxField, counts[0], counts[1], counts[2], counts[3], counts[4],
                             counts[5]);
}

void fnFreeGribProduct(GRIB_PRODUCT* pGribProduct) {
    if (pGribProduct == nullptr) {
        return;
    }
    const int iYdim = static_cast<int>(pGribProduct->m_where.m_lYsize);
    for (int f = 0; f < kGribFamilyCount; ++f) {
        freeFamily(*gribFamilyArray(pGribProduct->m_totalProduct, f),
                   *gribFamilyCount(pGribProduct->m_totalProduct, f), iYdim);
    }
    std::free(pGribProduct);
}

int fnGetMaxCountGribProduct(GRIB_PRODUCT* pGribProduct, int* pMaxField, int* pMaxPpi,
                             int* pMaxCappi, int* pMaxBase, int* pMaxCmax, int* pMaxVil,
                             int* pMaxEtop) {
    if (pGribProduct == nullptr) {
        return 0;
    }
    int* outs[kGribFamilyCount] = {pMaxPpi, pMaxCappi, pMaxBase, pMaxCmax, pMaxVil, pMaxEtop};
    int iMaxField = 0;
    for (int f = 0; f < kGribFamilyCount; ++f) {
        GRIB_PRODUCT_DATASET** ppDset = *gribFamilyArray(pGribProduct->m_totalProduct, f);
        const int n = ppDset != nullptr ? *gribFamilyCount(pGribProduct->m_totalProduct, f) : 0;
        for (int d = 0; d < n; ++d) {
            if (ppDset[d] != nullptr && ppDset[d]->m_iMaxField > iMaxField) {
                iMaxField = ppDset[d]->m_iMaxField;
            }
        }
        if (outs[f] != nullptr) {
            *outs[f] = n > 0 ? n : 0;
        }
    }
    if (pMaxField != nullptr) {
        *pMaxField = iMaxField;
    }
    return 1;
}
