// HDF_PRODUCT allocation, release and counts. The layout follows STD_PRODUCT: six families
// of datasets, every dataset with the same number of zero-filled slots, rows released by the
// image's row count.
#include <cstdlib>

#include "core_utilities.h"
#include "hdf5_output.h"
#include "internal/odim_product_to_std.h"
#include "internal/product_families.h"
#include "standard_product.h"

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
    if (!product_families::makeFamilies(pProduct->m_totalProduct, requested, iMaxField)) {
        rdrError("fnInitHdfProduct", "calloc fail");
        fnFreeHdfProduct(pProduct);
        return nullptr;
    }
    return pProduct;
}

HDF_PRODUCT* fnInitHdfProductToStdProduct(void* pStdPtr) {
    auto* pStd = static_cast<STD_PRODUCT*>(pStdPtr);
    if (pStd == nullptr) {
        return nullptr;
    }
    int counts[kOdimFamilyCount] = {};
    const int iMaxField = product_families::familyCounts(pStd->m_totalProduct, counts);
    return fnInitHdfProduct(iMaxField, counts[0], counts[1], counts[2], counts[3], counts[4],
                            counts[5]);
}

void fnFreeHdfProduct(HDF_PRODUCT* pHdfProduct) {
    if (pHdfProduct == nullptr) {
        return;
    }
    const int iYdim = static_cast<int>(pHdfProduct->m_where.m_image_where.m_lYsize);
    product_families::freeFamilies(pHdfProduct->m_totalProduct, iYdim);
    std::free(pHdfProduct);
}

int fnGetMaxCountHdfProduct(HDF_PRODUCT* pHdfProduct, int* pMaxField, int* pMaxPpi, int* pMaxCappi,
                            int* pMaxBase, int* pMaxCmax, int* pMaxVil, int* pMaxEtop) {
    if (pHdfProduct == nullptr) {
        return 0;
    }
    int* const outs[kOdimFamilyCount] = {pMaxPpi, pMaxCappi, pMaxBase, pMaxCmax, pMaxVil, pMaxEtop};
    product_families::familyCountsInto(pHdfProduct->m_totalProduct, pMaxField, outs);
    return 1;
}
