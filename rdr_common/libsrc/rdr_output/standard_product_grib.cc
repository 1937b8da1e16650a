// The standard product to and from the GRIB_PRODUCT record. Both directions check the
// whole product before a grid moves, so a product that cannot be converted keeps its grids.
#include <cmath>
#include <cstdio>
#include <ctime>
#include <string>

#include "core_utilities.h"
#include "grib_output.h"
#include "grib_product_input.h"
#include "internal/fixed_text.h"
#include "internal/grib_product_families.h"
#include "internal/standard_family_check.h"

namespace {

constexpr const char* kSyncDown = "fnStdProductSyncDownGrib";
constexpr const char* kSyncUp = "fnGribProductSyncUpStd";
using product_families::kMaxFamilyCount;

// The grids' own codes in the file: -9998 outside the range, -9999 no data.
constexpr double kGribNodata = -9998.0;
constexpr double kGribUndetect = -9999.0;

constexpr const char* kCompProjdef =
    "+proj=lcc +lat_1=30 +lat_2=60 +lat_0=38 +lon_0=126 +x_0=0 +y_0=0 +ellps=WGS84 +units=m "
    "+no_defs";

void convertFamily(STD_PRODUCT_DATASET** ppStd, int iCount, GRIB_PRODUCT_DATASET** ppGrib) {
    for (int d = 0; d < iCount; ++d) {
        STD_PRODUCT_DATASET* pStd = ppStd[d];
        GRIB_PRODUCT_DATASET* pGrib = ppGrib[d];
        PRODUCT_INFO_TBL product{};
        fnGetStdProductInfo(pStd->m_szProduct, &product);
        GRIB_DATASET_WHAT& what = pGrib->m_what;
        copyFixedText(what.m_szProduct, sizeof what.m_szProduct, product.m_szGribProduct);
        what.m_dProdpar[0] = pStd->m_dProdpar[0];
        what.m_dProdpar[1] = pStd->m_dProdpar[1];
        what.m_dScale = 1.0;
        what.m_dOffset = 0.0;
        what.m_dNodata = kGribNodata;
        what.m_dUndetect = kGribUndetect;
        for (int k = 0; k < pStd->m_iMaxField && k < pGrib->m_iMaxField; ++k) {
            STD_PRODUCT_DATA* pFrom = pStd->m_ppProductData[k];
            if (!standardSlotHoldsRows(*pFrom)) {
                continue;
            }
            GRIB_PRODUCT_DATA* pTo = pGrib->m_ppProductData[k];
            FIELD_INFO_TBL field{};
            fnGetStdFieldInfo(pFrom->m_szFieldName, &field);
            pTo->m_what = what;
            copyFixedText(pTo->m_what.m_szQuantity, sizeof pTo->m_what.m_szQuantity,
                          field.m_szGribQuantity);
            copyFixedText(pTo->m_szFieldName, sizeof pTo->m_szFieldName, pFrom->m_szFieldName);
            product_families::moveSlotRows(*pFrom, *pTo);
        }
    }
}

// Checks one family of a GRIB_PRODUCT before anything moves: every dataset and slot
// present, a known product name where there are grids, every grid held in the rows of the
// memory type its moment is stored in.
bool gribFamilyConvertible(GRIB_PRODUCT_DATASET** ppDset, int iCount, std::string* pWhy) {
    if (ppDset == nullptr) {
        *pWhy = "no dataset array";
        return false;
    }
    if (iCount > kMaxFamilyCount) {
        *pWhy = std::to_string(iCount) + " datasets, more than " + std::to_string(kMaxFamilyCount);
        return false;
    }
    for (int d = 0; d < iCount; ++d) {
        const GRIB_PRODUCT_DATASET* pDset = ppDset[d];
        const std::string where = "dataset " + std::to_string(d + 1);
        if (pDset == nullptr || (pDset->m_iMaxField > 0 && pDset->m_ppProductData == nullptr)) {
            *pWhy = where + " missing";
            return false;
        }
        bool bHoldsRows = false;
        for (int k = 0; k < pDset->m_iMaxField; ++k) {
            const GRIB_PRODUCT_DATA* pData = pDset->m_ppProductData[k];
            if (pData == nullptr) {
                *pWhy = where + " slot " + std::to_string(k + 1) + " missing";
                return false;
            }
            if (pData->m_ppData_c == nullptr && pData->m_ppData_s == nullptr &&
                pData->m_ppData_f == nullptr) {
                continue;
            }
            bHoldsRows = true;
            FIELD_MEM_INFO_TBL rule{};
            fnGetFieldMemInfo(pData->m_szFieldName, &rule);
            if (pData->m_szFieldName[0] == '\0' || !gribSlotHoldsRows(*pData) ||
                pData->m_iMemType != rule.m_iMemType) {
                *pWhy = where + " field '" + std::string(pData->m_szFieldName) +
                        "' is not stored as its memory rule says";
                return false;
            }
        }
        PRODUCT_INFO_TBL info{};
        if (bHoldsRows && fnGetGribProductInfo(pDset->m_what.m_szProduct, &info) != 1) {
            *pWhy = where + " product '" + std::string(pDset->m_what.m_szProduct) +
                    "' is none of PPI, CAPPI, BASE, CMAX, VIL and ETOP";
            return false;
        }
    }
    return true;
}

void moveFamily(GRIB_PRODUCT_DATASET** ppDset, int iCount, STD_PRODUCT_DATASET** ppStd) {
    for (int d = 0; d < iCount; ++d) {
        GRIB_PRODUCT_DATASET* pDset = ppDset[d];
        STD_PRODUCT_DATASET* pStd = ppStd[d];
        PRODUCT_INFO_TBL info{};
        if (fnGetGribProductInfo(pDset->m_what.m_szProduct, &info) != 1) {
            continue;  // a dataset without grids
        }
        copyFixedText(pStd->m_szProduct, sizeof pStd->m_szProduct, info.m_szStdProduct);
        pStd->m_dProdpar[0] = pDset->m_what.m_dProdpar[0];
        pStd->m_dProdpar[1] = pDset->m_what.m_dProdpar[1];
        for (int k = 0; k < pDset->m_iMaxField && k < pStd->m_iMaxField; ++k) {
            GRIB_PRODUCT_DATA* pData = pDset->m_ppProductData[k];
            if (!gribSlotHoldsRows(*pData)) {
                continue;
            }
            STD_PRODUCT_DATA* pSlot = pStd->m_ppProductData[k];
            copyFixedText(pSlot->m_szFieldName, sizeof pSlot->m_szFieldName, pData->m_szFieldName);
            product_families::moveSlotRows(*pData, *pSlot);
        }
    }
}

}  // namespace

GRIB_PRODUCT* fnStdProductSyncDownGrib(STD_PRODUCT* pStdProduct) {
    if (pStdProduct == nullptr || (pStdProduct->m_iStdProductType != STD_EN_PRODUCT_SITE &&
                                   pStdProduct->m_iStdProductType != STD_EN_PRODUCT_COMP)) {
        rdrError(kSyncDown, pStdProduct == nullptr ? "no product" : "the product has no header");
        return nullptr;
    }
    for (int f = 0; f < kGribFamilyCount; ++f) {
        int n = 0;
        STD_PRODUCT_DATASET** ppStd = fnFindDsetStdProduct(pStdProduct, kGribFamilyNames[f], &n);
        if (ppStd != nullptr && n > 0 &&
            !standardFamilyConvertible(ppStd, n, kGribFamilyNames[f], "fnConvertGribDataset",
                                       "fnConvertGribData")) {
            rdrError(
                kSyncDown,
                (std::string("fnConvertGribDataset ") + kGribFamilyNames[f] + " fail").c_str());
            return nullptr;
        }
    }
    GRIB_PRODUCT* pGrib = fnInitGribProductToStdProduct(pStdProduct);
    if (pGrib == nullptr) {
        rdrError(kSyncDown, "fnInitGribProductToStdProduct fail");
        return nullptr;
    }
    const STD_PRODUCT_HDR& hdr = pStdProduct->m_product_hdr;
    const bool bSite = pStdProduct->m_iStdProductType == STD_EN_PRODUCT_SITE;
    pGrib->m_iGribProductType = bSite ? GRIB_EN_PRODUCT_SITE : GRIB_EN_PRODUCT_COMP;
    product_families::formatWhatTime(hdr.m_tConvertTime, &pGrib->m_what);
    GRIB_PRODUCT_HOW& how = pGrib->m_how;
    copyFixedText(how.m_szSiteName, sizeof how.m_szSiteName, hdr.m_szSiteName);
    copyFixedText(how.m_szTask, sizeof how.m_szTask, hdr.m_szTask);
    copyFixedText(how.m_szSystem, sizeof how.m_szSystem, hdr.m_szSystem);
    copyFixedText(how.m_szCompMethod, sizeof how.m_szCompMethod, hdr.m_szCompMethod);
    how.m_dNi = hdr.m_dNi;
    GRIB_PROUDCT_WHERE& where = pGrib->m_where;
    where.m_dLon = hdr.m_dLon;
    where.m_dLat = hdr.m_dLat;
    // The antenna height travels too (siteElevation), or a product read back would lose it.
    where.m_dHeightM = hdr.m_iAnteHeightM;
    if (bSite) {
        std::snprintf(where.m_szProjdef, sizeof where.m_szProjdef,
                      "+proj=aeqd +lat_0=%f +lon_0=%f +x_0=0 +y_0=0", hdr.m_dLat, hdr.m_dLon);
    } else {
        copyFixedText(where.m_szProjdef, sizeof where.m_szProjdef, kCompProjdef);
    }
    // The row count first: it is what releases the rows about to move in.
    product_families::copyGridPlacement(hdr, where);

    for (int f = 0; f < kGribFamilyCount; ++f) {
        int n = 0;
        STD_PRODUCT_DATASET** ppStd = fnFindDsetStdProduct(pStdProduct, kGribFamilyNames[f], &n);
        if (ppStd != nullptr && n > 0) {
            convertFamily(ppStd, n, *gribFamilyArray(pGrib->m_totalProduct, f));
        }
    }
    return pGrib;
}

STD_PRODUCT* fnGribProductSyncUpStd(GRIB_PRODUCT* pGribProduct) {
    int counts[kGribFamilyCount] = {};
    int iMaxField = 0;
    if (fnGetMaxCountGribProduct(pGribProduct, &iMaxField, &counts[0], &counts[1], &counts[2],
                                 &counts[3], &counts[4], &counts[5]) != 1) {
        rdrError(kSyncUp, "fnGetMaxCountGribProduct fail");
        return nullptr;
    }
    const int iType = pGribProduct->m_iGribProductType;
    if (iType != GRIB_EN_PRODUCT_SITE && iType != GRIB_EN_PRODUCT_COMP) {
        rdrError(kSyncUp, ("unknown product type " + std::to_string(iType)).c_str());
        return nullptr;
    }
    time_t tConvert = 0;
    if (!product_families::parseWhatTime(pGribProduct->m_what, &tConvert)) {
        rdrError(kSyncUp,
                 ("unreadable date and time '" + std::string(pGribProduct->m_what.m_szDate) +
                  "' '" + std::string(pGribProduct->m_what.m_szTime) + "'")
                     .c_str());
        return nullptr;
    }
    const GRIB_PROUDCT_WHERE& where = pGribProduct->m_where;
    if (where.m_lXsize <= 0 || where.m_lYsize <= 0 || where.m_lXsize > 0x7fffffff ||
        where.m_lYsize > 0x7fffffff) {
        rdrError(kSyncUp, "the product has no grid size");
        return nullptr;
    }
    for (int f = 0; f < kGribFamilyCount; ++f) {
        std::string why;
        if (counts[f] > 0 &&
            !gribFamilyConvertible(*gribFamilyArray(pGribProduct->m_totalProduct, f), counts[f],
                                   &why)) {
            rdrError(kSyncUp, (std::string("fnConvertStdDatasetToGrib ") + kGribFamilyNames[f] +
                               " fail (" + why + ")")
                                  .c_str());
            return nullptr;
        }
    }
    STD_PRODUCT* pStd = fnInitStdProduct(iMaxField, counts[0], counts[1], counts[2], counts[3],
                                         counts[4], counts[5]);
    if (pStd == nullptr) {
        rdrError(kSyncUp, "fnInitStdProduct fail");
        return nullptr;
    }
    pStd->m_iStdProductType =
        iType == GRIB_EN_PRODUCT_SITE ? STD_EN_PRODUCT_SITE : STD_EN_PRODUCT_COMP;
    STD_PRODUCT_HDR& hdr = pStd->m_product_hdr;
    hdr.m_tConvertTime = tConvert;
    const GRIB_PRODUCT_HOW& how = pGribProduct->m_how;
    copyFixedText(hdr.m_szSiteName, sizeof hdr.m_szSiteName, how.m_szSiteName);
    copyFixedText(hdr.m_szTask, sizeof hdr.m_szTask, how.m_szTask);
    copyFixedText(hdr.m_szSystem, sizeof hdr.m_szSystem, how.m_szSystem);
    copyFixedText(hdr.m_szCompMethod, sizeof hdr.m_szCompMethod, how.m_szCompMethod);
    hdr.m_dNi = how.m_dNi;
    hdr.m_dLon = where.m_dLon;
    hdr.m_dLat = where.m_dLat;
    hdr.m_iAnteHeightM = static_cast<int>(where.m_dHeightM);
    product_families::copyGridPlacement(where, hdr);
    for (int f = 0; f < kGribFamilyCount; ++f) {
        if (counts[f] > 0) {
            int iStdCount = 0;
            STD_PRODUCT_DATASET** ppStd =
                fnFindDsetStdProduct(pStd, kGribFamilyNames[f], &iStdCount);
            moveFamily(*gribFamilyArray(pGribProduct->m_totalProduct, f), counts[f], ppStd);
        }
    }
    return pStd;
}
