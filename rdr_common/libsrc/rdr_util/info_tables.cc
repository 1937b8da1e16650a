#include "info_tables.h"

#include <cstdio>
#include <cstring>

namespace {

// Every table ends with a row whose key columns are empty.
const FIELD_INFO_TBL kFieldInfo[] = {
    {"DZ", "TH", "TH", "DBZ", "DZ"},           // reflectivity (uncorrected)
    {"VR", "VRADDH", "VRADDH", "VEL", "VR"},   // radial velocity
    {"SW", "WRADH", "WRADH", "WIDTH", "SW"},   // spectrum width
    {"CZ", "DBZH", "DBZH", "DBZc", "CZ"},      // corrected reflectivity
    {"DR", "ZDR", "ZDR", "ZDR", "DR"},         // differential reflectivity
    {"PH", "PHIDP", "PHIDP", "PHIDP", "PH"},   // differential phase
    {"RH", "RHOHV", "RHOHV", "RHOHV", "RH"},   // correlation coefficient
    {"KD", "KDP", "KDP", "KDP", "KD"},         // specific differential phase
    {"RN", "RATE", "RATE", "RR", "RN"},        // rain rate
    {"VIL", "VIL", "VIL", "VIL", "VIL"},       // vertically integrated liquid
    {"ETOP", "HIGH", "HIGH", "ETOP", "ETOP"},  // echo top height
    {"", "", "", "", ""},
};

const PRODUCT_INFO_TBL kProductInfo[] = {
    {"PPI", "PPI", "PPI", "PPI"},     {"CAPPI", "PCAPPI", "PCAPPI", "CAPPI"},
    {"BASE", "BASE", "BASE", "BASE"}, {"CMAX", "MAX", "MAX", "CMAX"},
    {"VIL", "VIL", "VIL", "VIL"},     {"ETOP", "ETOP", "ETOP", "ETOP"},
    {"COMP", "COMP", "COMP", "COMP"}, {"", "", "", ""},
};

// Only the standard column is searched: the HDF5 and BUFR names are many-to-one.
const COMP_INFO_TBL kCompInfo[] = {
    {"MAX", "MAXIMUM", "MAXIMUM", "MAX"},
    {"AVE", "AVERAGE", "AVERAGE", "AVE"},
    {"MIN", "DOMAIN", "DOMAIN", "MIN"},
    {"NEAR_DIST", "DOMAIN", "DOMAIN", "NEAR_DIST"},
    {"DIST_WEIGHT", "DOMAIN", "DOMAIN", "DIST_WEIGHT"},
    {"QI", "DOMAIN", "DOMAIN", "QI"},
    {"", "", "", ""},
};

// The end row is also the answer for a field not listed: float storage with the product
// grids' own cell codes.
const FIELD_MEM_INFO_TBL kFieldMemInfo[] = {
    {"DZ", RDR_EN_MEM_CHAR, 1.0f, 0.0f, -127.0f, -128.0f},
    {"VR", RDR_EN_MEM_CHAR, 1.0f, 0.0f, -127.0f, -128.0f},
    {"SW", RDR_EN_MEM_CHAR, 10.0f, 0.0f, -127.0f, -128.0f},
    {"CZ", RDR_EN_MEM_CHAR, 1.0f, 0.0f, -127.0f, -128.0f},
    {"DR", RDR_EN_MEM_SHORT, 100.0f, 0.0f, -32767.0f, -32768.0f},
    {"PH", RDR_EN_MEM_SHORT, 1.0f, 0.0f, -32767.0f, -32768.0f},
    {"RH", RDR_EN_MEM_CHAR, 100.0f, 0.0f, -127.0f, -128.0f},
    {"KD", RDR_EN_MEM_SHORT, 100.0f, 0.0f, -32767.0f, -32768.0f},
    {"RN", RDR_EN_MEM_FLOAT, 1.0f, 0.0f, -9999.0f, -9998.0f},
    {"VIL", RDR_EN_MEM_SHORT, 10.0f, 0.0f, -32767.0f, -32768.0f},
    {"ETOP", RDR_EN_MEM_SHORT, 10.0f, 0.0f, -32767.0f, -32768.0f},
    {"", RDR_EN_MEM_FLOAT, 1.0f, 0.0f, -9999.0f, -9998.0f},
};

const RDR_DISP_INFO_TBL kDispInfo[] = {
    {"DZ", "vyq_rn_tarvo.col", "%.0f", RDR_EN_COLOR_UNIT, 0.0f},
    {"VR", "vyq_vr_tarvo.col", "%.0f", RDR_EN_COLOR_UNIT, -50.0f},
    {"SW", "vyq_sw_tarvo.col", "%.1f", RDR_EN_COLOR_UNIT, 0.0f},
    {"CZ", "vyq_rn_tarvo.col", "%.0f", RDR_EN_COLOR_UNIT, 0.0f},
    {"DR", "vyq_dr_tarvo.col", "%.2f", RDR_EN_COLOR_UNIT, -3.0f},
    {"PH", "vyq_ph_tarvo.col", "%.1f", RDR_EN_COLOR_UNIT, 0.0f},
    {"RH", "vyq_rh_tarvo.col", "%.2f", RDR_EN_COLOR_UNIT, 0.0f},
    {"KD", "vyq_kd_tarvo.col", "%.2f", RDR_EN_COLOR_UNIT, -20.0f},
    {"RN", "vyq_rn_tarvo.col", "%.1f", RDR_EN_COLOR_RAIN, 0.0f},
    {"VIL", "vyq_vil_tarvo.col", "%.1f", RDR_EN_COLOR_RAIN, 0.0f},
    {"ETOP", "vyq_etop_tarvo.col", "%.1f", RDR_EN_COLOR_UNIT, 0.0f},
    {"TH", "vyq_rn_tarvo.col", "%.0f", RDR_EN_COLOR_UNIT, 0.0f},
    {"TV", "vyq_rn_tarvo.col", "%.0f", RDR_EN_COLOR_UNIT, 0.0f},
    {"VRADH", "vyq_vr_tarvo.col", "%.0f", RDR_EN_COLOR_UNIT, -50.0f},
    {"VRADV", "vyq_vr_tarvo.col", "%.0f", RDR_EN_COLOR_UNIT, -50.0f},
    {"WRADH", "vyq_sw_tarvo.col", "%.1f", RDR_EN_COLOR_UNIT, 0.0f},
    {"WRADV", "vyq_sw_tarvo.col", "%.1f", RDR_EN_COLOR_UNIT, 0.0f},
    {"DBZH", "vyq_rn_tarvo.col", "%.0f", RDR_EN_COLOR_UNIT, 0.0f},
    {"DBZV", "vyq_rn_tarvo.col", "%.0f", RDR_EN_COLOR_UNIT, 0.0f},
    {"ZDR", "vyq_dr_tarvo.col", "%.2f", RDR_EN_COLOR_UNIT, -3.0f},
    {"PHIDP", "vyq_ph_tarvo.col", "%.1f", RDR_EN_COLOR_UNIT, 0.0f},
    {"RHOHV", "vyq_rh_tarvo.col", "%.2f", RDR_EN_COLOR_UNIT, 0.0f},
    {"KDP", "vyq_kd_tarvo.col", "%.2f", RDR_EN_COLOR_UNIT, -20.0f},
    {"RATE", "vyq_rn_tarvo.col", "%.1f", RDR_EN_COLOR_RAIN, 0.0f},
    {"", "", "", 0, 0.0f},
};

const RDR_IMG_INFO_TBL kImgInfo[] = {
    {"SITE_240", 30, 45, 20, 513, 513, 1, 0, 0, 0, 0},
    {"SITE_480", 30, 45, 20, 513, 513, 0, 0, 0, 0, 0},
    {"COMP_240", 30, 45, 0, 600, 480, 2, 0, 0, 1, 0},
    {"COMP_480", 30, 45, 0, 576, 526, 3, -92, 71, 0, 0},
    {"COMP_KCJ", 30, 45, 0, 1101, 751, 3, -162, 367, 1, 0},
    {"", 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
};

// Guards a walk over a table whose end row went missing.
constexpr int kMaxTableRows = 1000000;

// Finds the row whose `column` equals `szKey`; when the key is absent answers null and
// points *ppEnd at the end row.
template <typename Row, size_t Len>
const Row* findRowIn(const Row* table, const char (Row::*column)[Len], const char* szKey,
                     const Row** ppEnd) {
    for (int i = 0; i < kMaxTableRows; ++i) {
        const Row& row = table[i];
        if ((row.*column)[0] == '\0') {
            *ppEnd = &row;
            return nullptr;
        }
        if (std::strcmp(row.*column, szKey) == 0) {
            return &row;
        }
    }
    *ppEnd = nullptr;
    return nullptr;
}

// Lookup without a fallback: copy the matching row or answer 0.
template <typename Row, size_t Len>
int lookup(const Row* table, const char (Row::*column)[Len], const char* szKey, Row* pBuf) {
    if (szKey == nullptr || pBuf == nullptr) {
        return 0;
    }
    const Row* pEnd = nullptr;
    const Row* pRow = findRowIn(table, column, szKey, &pEnd);
    if (pRow == nullptr) {
        return 0;
    }
    *pBuf = *pRow;
    return 1;
}

// Format-specific field lookup: an unknown quantity passes through under its own name.
template <size_t Len>
int lookupFieldOrPassThrough(const char (FIELD_INFO_TBL::*column)[Len], const char* szKey,
                             FIELD_INFO_TBL* pBuf) {
    if (szKey == nullptr || pBuf == nullptr) {
        return 0;
    }
    const FIELD_INFO_TBL* pEnd = nullptr;
    const FIELD_INFO_TBL* pRow = findRowIn(kFieldInfo, column, szKey, &pEnd);
    if (pRow != nullptr) {
        *pBuf = *pRow;
        return 1;
    }
    *pBuf = FIELD_INFO_TBL{};
    std::snprintf(pBuf->m_szFieldName, sizeof(pBuf->m_szFieldName), "%s", szKey);
    std::snprintf(pBuf->m_szHdfQuantity, sizeof(pBuf->m_szHdfQuantity), "%s", szKey);
    std::snprintf(pBuf->m_szBufrQuantity, sizeof(pBuf->m_szBufrQuantity), "%s", szKey);
    std::snprintf(pBuf->m_szNcMoment, sizeof(pBuf->m_szNcMoment), "%s", szKey);
    std::snprintf(pBuf->m_szGribQuantity, sizeof(pBuf->m_szGribQuantity), "%s", szKey);
    return 1;
}

}  // namespace

int fnGetStdFieldInfo(const char* szFieldName, FIELD_INFO_TBL* pBuf) {
    return lookup(kFieldInfo, &FIELD_INFO_TBL::m_szFieldName, szFieldName, pBuf);
}

int fnGetHdfFieldInfo(const char* szQuantity, FIELD_INFO_TBL* pBuf) {
    return lookupFieldOrPassThrough(&FIELD_INFO_TBL::m_szHdfQuantity, szQuantity, pBuf);
}

int fnGetBufrFieldInfo(const char* szQuantity, FIELD_INFO_TBL* pBuf) {
    return lookupFieldOrPassThrough(&FIELD_INFO_TBL::m_szBufrQuantity, szQuantity, pBuf);
}

int fnGetNcFieldInfo(const char* szMoment, FIELD_INFO_TBL* pBuf) {
    return lookupFieldOrPassThrough(&FIELD_INFO_TBL::m_szNcMoment, szMoment, pBuf);
}

int fnGetGribFieldInfo(const char* szQuantity, FIELD_INFO_TBL* pBuf) {
    return lookupFieldOrPassThrough(&FIELD_INFO_TBL::m_szGribQuantity, szQuantity, pBuf);
}

int fnGetStdProductInfo(const char* szProduct, PRODUCT_INFO_TBL* pBuf) {
    return lookup(kProductInfo, &PRODUCT_INFO_TBL::m_szStdProduct, szProduct, pBuf);
}

int fnGetHdfProductInfo(const char* szProduct, PRODUCT_INFO_TBL* pBuf) {
    return lookup(kProductInfo, &PRODUCT_INFO_TBL::m_szHdfProduct, szProduct, pBuf);
}

int fnGetBufrProductInfo(const char* szProduct, PRODUCT_INFO_TBL* pBuf) {
    return lookup(kProductInfo, &PRODUCT_INFO_TBL::m_szBufrProduct, szProduct, pBuf);
}

int fnGetGribProductInfo(const char* szProduct, PRODUCT_INFO_TBL* pBuf) {
    return lookup(kProductInfo, &PRODUCT_INFO_TBL::m_szGribProduct, szProduct, pBuf);
}

int fnGetStdCompInfo(const char* szCompMethod, COMP_INFO_TBL* pBuf) {
    return lookup(kCompInfo, &COMP_INFO_TBL::m_szStdCompMethod, szCompMethod, pBuf);
}

int fnGetFieldMemInfo(const char* szFieldName, FIELD_MEM_INFO_TBL* pBuf) {
    if (szFieldName == nullptr || pBuf == nullptr) {
        return 0;
    }
    const FIELD_MEM_INFO_TBL* pEnd = nullptr;
    const FIELD_MEM_INFO_TBL* pRow =
        findRowIn(kFieldMemInfo, &FIELD_MEM_INFO_TBL::m_szFieldName, szFieldName, &pEnd);
    if (pRow == nullptr) {
        pRow = pEnd;
    }
    if (pRow == nullptr) {
        return 0;
    }
    *pBuf = *pRow;
    return 1;
}

int fnGetColorFileInfo(const char* szFieldName, RDR_DISP_INFO_TBL* pBuf) {
    return lookup(kDispInfo, &RDR_DISP_INFO_TBL::m_szFieldName, szFieldName, pBuf);
}

int fnGetImgSizeInfo(const char* szImgKind, RDR_IMG_INFO_TBL* pBuf) {
    return lookup(kImgInfo, &RDR_IMG_INFO_TBL::m_szImgKind, szImgKind, pBuf);
}
