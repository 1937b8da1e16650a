// GRIB_PRODUCT allocation, release and counts. The layout follows STD_PRODUCT: six families
// of datasets, every dataset with the same number of zero-filled slots, rows released by the
// grid's row count.
#include <cstdlib>

#include "core_utilities.h"
#include "grib_output.h"
#include "internal/grib_product_families.h"
#include "internal/product_families.h"

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
    if (!product_families::makeFamilies(pProduct->m_totalProduct, requested, iMaxField)) {
        rdrError("fnInitGribProduct", "calloc fail");
        fnFreeGribProduct(pProduct);
        return nullptr;
    }
    return pProduct;
}

GRIB_PRODUCT* fnInitGribProductToStdProduct(void* pStdPtr) {
    auto* pStd = static_cast<STD_PRODUCT*>(pStdPtr);
    if (pStd == nullptr) {
        return nullptr;
    }
    int counts[kGribFamilyCount] = {};
    const int iMaxField = product_families::familyCounts(pStd->m_totalProduct, counts);
    return fnInitGribProduct(iMaxField, counts[0], counts[1], counts[2], counts[3], counts[4],
                             counts[5]);
}

void fnFreeGribProduct(GRIB_PRODUCT* pGribProduct) {
    if (pGribProduct == nullptr) {
        return;
    }
    const int iYdim = static_cast<int>(pGribProduct->m_where.m_lYsize);
    product_families::freeFamilies(pGribProduct->m_totalProduct, iYdim);
    std::free(pGribProduct);
}

int fnGetMaxCountGribProduct(GRIB_PRODUCT* pGribProduct, int* pMaxField, int* pMaxPpi,
                             int* pMaxCappi, int* pMaxBase, int* pMaxCmax, int* pMaxVil,
                             int* pMaxEtop) {
    if (pGribProduct == nullptr) {
        return 0;
    }
    int* const outs[kGribFamilyCount] = {pMaxPpi, pMaxCappi, pMaxBase, pMaxCmax, pMaxVil, pMaxEtop};
    product_families::familyCountsInto(pGribProduct->m_totalProduct, pMaxField, outs);
    return 1;
}
