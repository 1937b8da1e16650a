// HDF_PRODUCT allocation, release and counts. The layout follows STD_PRODUCT: six families
// of datasets, every dataset with the same number of zero-filled slots, rows released by the
// image's row count.
#include <cstdlib>

#include "core_utilities.h"
#include "hdf5_output.h"
#include "internal/odim_product_to_std.h"
#include "standard_product.h"

namespace {

constexpr int kMaxFamilyCount = 99;  // as for the standard product

void freeSlotRows(HDF_PRODUCT_DATA* pData, int iYdim) {
    fnFreeMatrix2D(reinterpret_cast<void**>(pData->m_ppData_c), iYdim);
    fnFreeMatrix2D(reinterpret_cast<void**>(pData->m_ppData_s), iYdim);
    fnFreeMatrix2D(reinterpret_cast<void**>(pData->m_ppData_f), iYdim);
    pData->m_ppData_c = nullptr;
    pData->m_ppData_s = nullptr;
    pData->m_ppData_f = nullptr;
}

void freeFamily(HDF_PRODUCT_DATASET** ppDset, int iMaxDataset, int iYdim) {
    if (ppDset == nullptr) {
        return;
    }
    for (int i = 0; i < iMaxDataset; ++i) {
        HDF_PRODUCT_DATASET* pDset = ppDset[i];
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

HDF_PRODUCT_DATASET** makeFamily(int iMaxDataset, int iMaxField) {
    auto** ppDset = static_cast<HDF_PRODUCT_DATASET**>(
        std::calloc(static_cast<size_t>(iMaxDataset), sizeof(HDF_PRODUCT_DATASET*)));
    if (ppDset == nullptr) {
        return nullptr;
    }
    for (int i = 0; i < iMaxDataset; ++i) {
        auto* pDset =
            static_cast<HDF_PRODUCT_DATASET*>(std::calloc(1, sizeof(HDF_PRODUCT_DATASET)));
        ppDset[i] = pDset;
        if (pDset == nullptr) {
            freeFamily(ppDset, iMaxDataset, 0);
            return nullptr;
        }
        pDset->m_iMaxField = iMaxField;
        pDset->m_ppProductData = static_cast<HDF_PRODUCT_DATA**>(
            std::calloc(static_cast<size_t>(iMaxField), sizeof(HDF_PRODUCT_DATA*)));
        if (pDset->m_ppProductData == nullptr) {
            freeFamily(ppDset, iMaxDataset, 0);
            return nullptr;
        }
        for (int k = 0; k < iMaxField; ++k) {
            pDset->m_ppProductData[k] =
                static_cast<HDF_PRODUCT_DATA*>(std::calloc(1, sizeof(HDF_PRODUCT_DATA)));
            if (pDset->m_ppProductData[k] == nullptr) {
                freeFamily(ppDset, iMaxDataset, 0);
                return nullptr;
            }
        }
    }
    return ppDset;
}

}  // namespace

HDF_PRODUCT* fnInitHdfProduct(int iMaxField, int iMaxPpi, int iMaxCappi, int iMaxBase, int iMaxCmax,
                              int iMaxVil, int iMaxEtop) {
    if (iMaxField <= 0) {
        return nullptr;
    }
    auto* pProduct = static_cast<HDF_PRODUCT*>(std::calloc(1, sizeof(HDF_PRODUCT)));
    if (pProduct == nullptr) {
        return nullptr;
    }
    const int requested[kOdimFamilyCount] = {iMaxPpi,  iMaxCappi, iMaxBase,
                                             iMaxCmax, iMaxVil,   iMaxEtop};
    for (int f = 0; f < kOdimFamilyCount; ++f) {
        if (requested[f] < 1 || requested[f] > kMaxFamilyCount) {
            continue;
        }
        HDF_PRODUCT_DATASET** ppDset = makeFamily(requested[f], iMaxField);
        if (ppDset == nullptr) {
            rdrError("fnInitHdfProduct", "calloc fail");
            fnFreeHdfProduct(pProduct);
            return nullptr;
        }
        *odimFamilyArray(pProduct->m_totalProduct, f) = ppDset;
        *odimFamilyCount(pProduct->m_totalProduct, f) = requested[f];
    }
    return pProduct;
}

HDF_PRODUCT* fnInitHdfProductToStdProduct(void* pStdPtr) {
    auto* pStd = static_cast<STD_PRODUCT*>(pStdPtr);
    if (pStd == nullptr) {
        return nullptr;
    }
    const STD_TOTAL_PRODUCT& total = pStd->m_totalProduct;
    STD_PRODUCT_DATASET** const arrays[kOdimFamilyCount] = {total.m_ppPpi,  total.m_ppCappi,
                                                            total.m_ppBase, total.m_ppCmax,
                                                            total.m_ppVil,  total.m_ppEtop};
    const int counts[kOdimFamilyCount] = {total.m_iMaxPpi,  total.m_iMaxCappi, total.m_iMaxBase,
                                          total.m_iMaxCmax, total.m_iMaxVil,   total.m_iMaxEtop};
    int iMaxField = 0;
    for (int f = 0; f < kOdimFamilyCount; ++f) {
        for (int d = 0; arrays[f] != nullptr && d < counts[f]; ++d) {
            if (arrays[f][d] != nullptr && arrays[f][d]->m_iMaxField > iMaxField) {
                iMaxField = arrays[f][d]->m_iMaxField;
            }
        }
    }
    return fnInitHdfProduct(iMaxField, arrays[0] ? counts[0] : 0, arrays[1] ? counts[1] : 0,
                            arrays[2] ? counts[2] : 0, arrays[3] ? counts[3] : 0,
                            arrays[4] ? counts[4] : 0, arrays[5] ? counts[5] : 0);
}

void fnFreeHdfProduct(HDF_PRODUCT* pHdfProduct) {
    if (pHdfProduct == nullptr) {
        return;
    }
    const int iYdim = static_cast<int>(pHdfProduct->m_where.m_image_where.m_lYsize);
    for (int f = 0; f < kOdimFamilyCount; ++f) {
        freeFamily(*odimFamilyArray(pHdfProduct->m_totalProduct, f),
                   *odimFamilyCount(pHdfProduct->m_totalProduct, f), iYdim);
    }
    std::free(pHdfProduct);
}

int fnGetMaxCountHdfProduct(HDF_PRODUCT* pHdfProduct, int* pMaxField, int* pMaxPpi, int* pMaxCappi,
                            int* pMaxBase, int* pMaxCmax, int* pMaxVil, int* pMaxEtop) {
    if (pHdfProduct == nullptr) {
        return 0;
    }
    int counts[kOdimFamilyCount] = {};
    const int iMaxField = odimProductCounts(pHdfProduct->m_totalProduct, counts);
    int* outs[kOdimFamilyCount] = {pMaxPpi, pMaxCappi, pMaxBase, pMaxCmax, pMaxVil, pMaxEtop};
    for (int f = 0; f < kOdimFamilyCount; ++f) {
        if (outs[f] != nullptr) {
            *outs[f] = counts[f];
        }
    }
    if (pMaxField != nullptr) {
        *pMaxField = iMaxField;
    }
    return 1;
}
