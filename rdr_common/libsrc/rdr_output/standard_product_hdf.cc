// The standard product to and from the HDF_PRODUCT records.
#include <cstdio>
#include <ctime>
#include <string>

#include "core_utilities.h"
#include "hdf5_output.h"
#include "hdf_product_input.h"
#include "internal/fixed_text.h"
#include "internal/odim_product_to_std.h"
#include "internal/product_families.h"
#include "internal/standard_family_check.h"

namespace {

constexpr const char* kSyncDown = "fnStdProductSyncDownHdf";

constexpr const char* kConventions = "ODIM_H5/V2_2";
constexpr const char* kVersion = "H5rad 1.0";
constexpr const char* kCompSource = "CTY:116";
constexpr const char* kCompProjdef =
    "+proj=lcc +lat_1=30 +lat_2=60 +lat_0=38 +lon_0=126 +x_0=0 +y_0=0 +ellps=WGS84 +units=m "
    "+no_defs";

void report(const std::string& message) {
    rdrError(kSyncDown, message.c_str());
}

STD_PRODUCT_DATASET** stdFamily(STD_PRODUCT* pStd, int f, int* pCount) {
    return fnFindDsetStdProduct(pStd, kOdimStdFamilyNames[f], pCount);
}

void convertFamily(STD_PRODUCT_DATASET** ppStd, int iCount, HDF_PRODUCT_DATASET** ppHdf) {
    for (int d = 0; d < iCount; ++d) {
        STD_PRODUCT_DATASET* pStd = ppStd[d];
        HDF_PRODUCT_DATASET* pHdf = ppHdf[d];
        PRODUCT_INFO_TBL product{};
        fnGetStdProductInfo(pStd->m_szProduct, &product);
        copyFixedText(pHdf->m_what.m_szProduct, sizeof pHdf->m_what.m_szProduct,
                      product.m_szHdfProduct);
        pHdf->m_what.m_dProdpar[0] = pStd->m_dProdpar[0];
        pHdf->m_what.m_dProdpar[1] = pStd->m_dProdpar[1];
        for (int k = 0; k < pStd->m_iMaxField && k < pHdf->m_iMaxField; ++k) {
            STD_PRODUCT_DATA* pFrom = pStd->m_ppProductData[k];
            if (!standardSlotHoldsRows(*pFrom)) {
                continue;
            }
            HDF_PRODUCT_DATA* pTo = pHdf->m_ppProductData[k];
            FIELD_INFO_TBL field{};
            FIELD_MEM_INFO_TBL rule{};
            fnGetStdFieldInfo(pFrom->m_szFieldName, &field);
            fnGetFieldMemInfo(pFrom->m_szFieldName, &rule);
            copyFixedText(pTo->m_szFieldName, sizeof pTo->m_szFieldName, pFrom->m_szFieldName);
            copyFixedText(pTo->m_szClass, sizeof pTo->m_szClass, "IMAGE");
            copyFixedText(pTo->m_szVersion, sizeof pTo->m_szVersion, "1.2");
            copyFixedText(pTo->m_what.m_szProduct, sizeof pTo->m_what.m_szProduct,
                          product.m_szHdfProduct);
            copyFixedText(pTo->m_what.m_szQuantity, sizeof pTo->m_what.m_szQuantity,
                          field.m_szHdfQuantity);
            // physical = offset + gain x stored, as ODIM defines it
            pTo->m_what.m_dGain = 1.0 / rule.m_fScale;
            pTo->m_what.m_dOffset = -static_cast<double>(rule.m_fOffset);
            pTo->m_what.m_dNodata = rule.m_fOutBound;
            pTo->m_what.m_dUndetect = rule.m_fBadValue;
            product_families::moveSlotRows(*pFrom, *pTo);
        }
    }
}

}  // namespace

HDF_PRODUCT* fnStdProductSyncDownHdf(STD_PRODUCT* pStdProduct) {
    if (pStdProduct == nullptr || (pStdProduct->m_iStdProductType != STD_EN_PRODUCT_SITE &&
                                   pStdProduct->m_iStdProductType != STD_EN_PRODUCT_COMP)) {
        report(pStdProduct == nullptr ? "no product" : "the product has no header");
        return nullptr;
    }
    for (int f = 0; f < kOdimFamilyCount; ++f) {
        int n = 0;
        STD_PRODUCT_DATASET** ppStd = stdFamily(pStdProduct, f, &n);
        if (ppStd != nullptr && n > 0 &&
            !standardFamilyConvertible(ppStd, n, kOdimStdFamilyNames[f], "fnConvertHdfDataset",
                                       "fnConvertHdfData")) {
            report(std::string("fnConvertHdfDataset ") + kOdimStdFamilyNames[f] + " fail");
            return nullptr;
        }
    }
    HDF_PRODUCT* pHdf = fnInitHdfProductToStdProduct(pStdProduct);
    if (pHdf == nullptr) {
        report("fnInitHdfProductToStdProduct fail");
        return nullptr;
    }
    const STD_PRODUCT_HDR& hdr = pStdProduct->m_product_hdr;
    const bool bSite = pStdProduct->m_iStdProductType == STD_EN_PRODUCT_SITE;
    pHdf->m_iHdfProductType = bSite ? HDF_EN_PRODUCT_SITE : HDF_EN_PRODUCT_COMP;
    copyFixedText(pHdf->m_szConventions, sizeof pHdf->m_szConventions, kConventions);
    HDF_TOP_WHAT& what = pHdf->m_what;
    copyFixedText(what.m_szVersion, sizeof what.m_szVersion, kVersion);
    product_families::formatWhatTime(hdr.m_tConvertTime, &what);
    HDF_IMAGE_WHERE& image = pHdf->m_where.m_image_where;
    HDF_HOW& how = pHdf->m_how;
    if (bSite) {
        copyFixedText(what.m_szObject, sizeof what.m_szObject, "AZIM");
        std::snprintf(what.m_szSource, sizeof what.m_szSource, "NOD:%s", hdr.m_szSiteName);
        std::snprintf(image.m_szProjdef, sizeof image.m_szProjdef,
                      "+proj=aeqd +lat_0=%f +lon_0=%f +x_0=0 +y_0=0", hdr.m_dLat, hdr.m_dLon);
        how.m_radar_how.m_dNi = hdr.m_dNi;
        copyFixedText(how.m_general_how.m_szTask, sizeof how.m_general_how.m_szTask, hdr.m_szTask);
        copyFixedText(how.m_general_how.m_szSystem, sizeof how.m_general_how.m_szSystem,
                      hdr.m_szSystem);
    } else {
        copyFixedText(what.m_szObject, sizeof what.m_szObject, "COMP");
        copyFixedText(what.m_szSource, sizeof what.m_szSource, kCompSource);
        copyFixedText(image.m_szProjdef, sizeof image.m_szProjdef, kCompProjdef);
        COMP_INFO_TBL method{};
        if (fnGetStdCompInfo(hdr.m_szCompMethod, &method) == 1) {
            copyFixedText(how.m_image_how.m_szCamethod, sizeof how.m_image_how.m_szCamethod,
                          method.m_szHdfCompMethod);
        }
    }
    HDF_POLAR_WHERE& polar = pHdf->m_where.m_polar_where;
    polar.m_dLon = hdr.m_dLon;
    polar.m_dLat = hdr.m_dLat;
    polar.m_dHeightM = hdr.m_iAnteHeightM;
    // The row count first: it is what releases the rows about to move in.
    product_families::copyGridPlacement(hdr, image);

    for (int f = 0; f < kOdimFamilyCount; ++f) {
        int n = 0;
        STD_PRODUCT_DATASET** ppStd = stdFamily(pStdProduct, f, &n);
        if (ppStd != nullptr && n > 0) {
            convertFamily(ppStd, n, *odimFamilyArray(pHdf->m_totalProduct, f));
        }
    }
    return pHdf;
}

STD_PRODUCT* fnHdfProductSyncUpStd(HDF_PRODUCT* pHdfProduct) {
    if (pHdfProduct == nullptr) {
        rdrError("fnHdfProductSyncUpStd", "fnGetMaxCountHdfProduct fail");
        return nullptr;
    }
    static const OdimProductReader kReader = {"fnHdfProductSyncUpStd", "fnConvertStdDatasetToHdf",
                                              fnGetHdfProductInfo};
    return odimProductToStd(pHdfProduct->m_iHdfProductType, pHdfProduct->m_what,
                            pHdfProduct->m_where, pHdfProduct->m_how, pHdfProduct->m_totalProduct,
                            kReader);
}
