#include "internal/odim_product_to_std.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "core_utilities.h"
#include "internal/fixed_text.h"
#include "internal/product_families.h"

const char* const kOdimStdFamilyNames[kOdimFamilyCount] = {"PPI",  "CAPPI", "BASE",
                                                           "CMAX", "VIL",   "ETOP"};

namespace {

// A standard product family holds at most this many datasets.
using product_families::kMaxFamilyCount;

// The standard names of the composite method table, searched backwards from the HDF5 name.
constexpr const char* kStdCompMethods[] = {"MAX", "AVE", "MIN", "NEAR_DIST", "DIST_WEIGHT", "QI"};

void report(const OdimProductReader& reader, const std::string& message) {
    rdrError(reader.szFunc, message.c_str());
}

// The standard method whose HDF5 name is szHdf, when exactly one is: several methods share
// "DOMAIN", and naming one of them would claim what the file does not say.
void compMethodFromHdf(const char* szHdf, char* szOut, std::size_t nOut) {
    szOut[0] = '\0';
    int matches = 0;
    for (const char* std : kStdCompMethods) {
        COMP_INFO_TBL row{};
        if (szHdf[0] != '\0' && fnGetStdCompInfo(std, &row) == 1 &&
            std::strcmp(row.m_szHdfCompMethod, szHdf) == 0) {
            ++matches;
            copyFixedText(szOut, nOut, std);
        }
    }
    if (matches != 1) {
        szOut[0] = '\0';
    }
}

// Checks one family before anything moves: every dataset and slot present, every grid held
// in the rows of its memory type, that type the one the moment is stored in.
bool familyConvertible(HDF_PRODUCT_DATASET** ppDset, int iCount, bool bGridSize,
                       std::string* pWhy) {
    if (ppDset == nullptr) {
        *pWhy = "no dataset array";
        return false;
    }
    if (iCount > kMaxFamilyCount) {
        *pWhy = std::to_string(iCount) + " datasets, more than " + std::to_string(kMaxFamilyCount);
        return false;
    }
    for (int d = 0; d < iCount; ++d) {
        const HDF_PRODUCT_DATASET* pDset = ppDset[d];
        if (pDset == nullptr || (pDset->m_iMaxField > 0 && pDset->m_ppProductData == nullptr)) {
            *pWhy = "dataset " + std::to_string(d + 1) + " missing";
            return false;
        }
        for (int k = 0; k < pDset->m_iMaxField; ++k) {
            const HDF_PRODUCT_DATA* pData = pDset->m_ppProductData[k];
            if (pData == nullptr) {
                *pWhy = "dataset " + std::to_string(d + 1) + " slot " + std::to_string(k + 1) +
                        " missing";
                return false;
            }
            const bool anyRows = pData->m_ppData_c != nullptr || pData->m_ppData_s != nullptr ||
                                 pData->m_ppData_f != nullptr;
            if (!anyRows) {
                continue;
            }
            FIELD_MEM_INFO_TBL rule{};
            fnGetFieldMemInfo(pData->m_szFieldName, &rule);
            if (pData->m_szFieldName[0] == '\0' || !odimSlotHoldsRows(*pData) ||
                pData->m_iMemType != rule.m_iMemType || !bGridSize) {
                *pWhy = "dataset " + std::to_string(d + 1) + " field '" +
                        std::string(pData->m_szFieldName) +
                        "' is not stored as its memory rule says";
                return false;
            }
        }
    }
    return true;
}

void moveFamily(HDF_PRODUCT_DATASET** ppDset, int iCount, STD_PRODUCT_DATASET** ppStd,
                const OdimProductReader& reader) {
    for (int d = 0; d < iCount; ++d) {
        HDF_PRODUCT_DATASET* pDset = ppDset[d];
        STD_PRODUCT_DATASET* pStd = ppStd[d];
        PRODUCT_INFO_TBL info{};
        if (reader.getProductInfo(pDset->m_what.m_szProduct, &info) != 1) {
            pStd->m_szProduct[0] = '\0';  // an unknown product is left empty
            continue;
        }
        copyFixedText(pStd->m_szProduct, sizeof pStd->m_szProduct, info.m_szStdProduct);
        pStd->m_dProdpar[0] = pDset->m_what.m_dProdpar[0];
        pStd->m_dProdpar[1] = pDset->m_what.m_dProdpar[1];
        for (int k = 0; k < pDset->m_iMaxField && k < pStd->m_iMaxField; ++k) {
            HDF_PRODUCT_DATA* pData = pDset->m_ppProductData[k];
            if (!odimSlotHoldsRows(*pData)) {
                continue;
            }
            STD_PRODUCT_DATA* pSlot = pStd->m_ppProductData[k];
            copyFixedText(pSlot->m_szFieldName, sizeof pSlot->m_szFieldName, pData->m_szFieldName);
            product_families::moveSlotRows(*pData, *pSlot);
        }
    }
}

}  // namespace

int* odimFamilyCount(HDF_TOTAL_PRODUCT& total, int iFamily) {
    return product_families::familyCount(total, iFamily);
}

HDF_PRODUCT_DATASET*** odimFamilyArray(HDF_TOTAL_PRODUCT& total, int iFamily) {
    return product_families::familyArray(total, iFamily);
}

int odimProductCounts(HDF_TOTAL_PRODUCT& total, int rgCount[kOdimFamilyCount]) {
    return product_families::familyCounts(total, rgCount);
}

bool odimSlotHoldsRows(const HDF_PRODUCT_DATA& data) {
    return product_families::slotHoldsOnlyItsRows(data);
}

bool odimSiteName(const char* szSource, char* szOut, std::size_t nOut) {
    if (szSource == nullptr || nOut == 0) {
        return false;
    }
    const std::string source(szSource);
    std::size_t start = std::string::npos;
    // Entries are "KEY:value" separated by ','.
    for (std::size_t pos = 0; pos <= source.size();) {
        const std::size_t end = std::min(source.find(',', pos), source.size());
        if (source.compare(pos, 4, "NOD:") == 0) {
            start = pos + 4;
            break;
        }
        pos = end + 1;
    }
    if (start == std::string::npos) {
        const std::size_t colon = source.find(':');
        start = colon == std::string::npos ? source.size() : colon + 1;
    }
    const std::size_t end = std::min(source.find(',', start), source.size());
    if (end - start + 1 > nOut) {
        return false;
    }
    copyFixedText(szOut, nOut, source.c_str() + start, end - start);
    return true;
}

STD_PRODUCT* odimProductToStd(int iProductType, const HDF_TOP_WHAT& what, const HDF_WHERE& where,
                              const HDF_HOW& how, HDF_TOTAL_PRODUCT& total,
                              const OdimProductReader& reader) {
    if (iProductType != HDF_EN_PRODUCT_SITE && iProductType != HDF_EN_PRODUCT_COMP) {
        report(reader, "unknown product type " + std::to_string(iProductType));
        return nullptr;
    }
    int counts[kOdimFamilyCount] = {};
    const int iMaxField = odimProductCounts(total, counts);
    time_t tConvert = 0;
    if (!product_families::parseWhatTime(what, &tConvert)) {
        report(reader, "unreadable date and time '" + std::string(what.m_szDate) + "' '" +
                           std::string(what.m_szTime) + "'");
        return nullptr;
    }
    char szSite[9] = "";
    if (iProductType == HDF_EN_PRODUCT_SITE &&
        !odimSiteName(what.m_szSource, szSite, sizeof szSite)) {
        report(reader, "site name of source '" + std::string(what.m_szSource) +
                           "' is longer than 8 characters");
        return nullptr;
    }
    const HDF_IMAGE_WHERE& image = where.m_image_where;
    const bool bGridSize = image.m_lXsize > 0 && image.m_lYsize > 0 &&
                           image.m_lXsize <= 0x7fffffff && image.m_lYsize <= 0x7fffffff;
    for (int f = 0; f < kOdimFamilyCount; ++f) {
        std::string why;
        if (counts[f] > 0 &&
            !familyConvertible(*odimFamilyArray(total, f), counts[f], bGridSize, &why)) {
            report(reader, std::string(reader.szFamilyStep) + " " + kOdimStdFamilyNames[f] +
                               " fail (" + why + ")");
            return nullptr;
        }
    }

    STD_PRODUCT* pStd = fnInitStdProduct(iMaxField, counts[0], counts[1], counts[2], counts[3],
                                         counts[4], counts[5]);
    if (pStd == nullptr) {
        report(reader, "fnInitStdProduct fail");
        return nullptr;
    }
    pStd->m_iStdProductType =
        iProductType == HDF_EN_PRODUCT_SITE ? STD_EN_PRODUCT_SITE : STD_EN_PRODUCT_COMP;
    STD_PRODUCT_HDR& hdr = pStd->m_product_hdr;
    hdr.m_tConvertTime = tConvert;
    copyFixedText(hdr.m_szSiteName, sizeof hdr.m_szSiteName, szSite);
    hdr.m_dLon = where.m_polar_where.m_dLon;
    hdr.m_dLat = where.m_polar_where.m_dLat;
    hdr.m_iAnteHeightM = static_cast<int>(where.m_polar_where.m_dHeightM);
    copyFixedText(hdr.m_szTask, sizeof hdr.m_szTask, how.m_general_how.m_szTask);
    copyFixedText(hdr.m_szSystem, sizeof hdr.m_szSystem, how.m_general_how.m_szSystem);
    hdr.m_dNi = how.m_radar_how.m_dNi;
    if (iProductType == HDF_EN_PRODUCT_COMP) {
        compMethodFromHdf(how.m_image_how.m_szCamethod, hdr.m_szCompMethod,
                          sizeof hdr.m_szCompMethod);
    }
    product_families::copyGridPlacement(image, hdr);

    for (int f = 0; f < kOdimFamilyCount; ++f) {
        if (counts[f] > 0) {
            int iStdCount = 0;
            STD_PRODUCT_DATASET** ppStd =
                fnFindDsetStdProduct(pStd, kOdimStdFamilyNames[f], &iStdCount);
            moveFamily(*odimFamilyArray(total, f), counts[f], ppStd, reader);
        }
    }
    return pStd;
}
