#include "standard_product.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <type_traits>

#include "core_utilities.h"
#include "grid_codes.h"
#include "internal/fixed_text.h"
#include "internal/product_families.h"
#include "map_projections.h"

namespace {

// Earth radius of the product grids, km (held in single precision like every projection).
constexpr float kEarthRadiusKm = 6371.00877f;

// The composite grid: Lambert conformal conic, standard parallels 30N and 60N, reference
// point 126E 38N.
constexpr float kCompSlat1 = 30.0f;
constexpr float kCompSlat2 = 60.0f;
constexpr float kCompOlon = 126.0f;
constexpr float kCompOlat = 38.0f;

using product_families::kMaxFamilyCount;
constexpr int kProductNameLen = 6;
constexpr int kFieldNameLen = 8;

// Two product parameters select the same dataset when both agree this closely.
constexpr double kProdparTolerance = 1e-15;
// Grid cells within this of a cell code carry the code.
constexpr float kCodeTolerance = 1e-6f;

using product_families::familyArray;
using product_families::familyCount;
using product_families::kFamilyCount;

constexpr const char* kFamilyNames[kFamilyCount] = {"PPI", "CAPPI", "BASE", "CMAX", "VIL", "ETOP"};

int familyIndex(const char* szProduct) {
    if (szProduct == nullptr) {
        return -1;
    }
    for (int i = 0; i < kFamilyCount; ++i) {
        if (std::strcmp(szProduct, kFamilyNames[i]) == 0) {
            return i;
        }
    }
    return -1;
}

bool sameField(const STD_PRODUCT_DATA* pData, const char* szFieldName) {
    return pData != nullptr && pData->m_szFieldName[0] != '\0' &&
           std::strncmp(pData->m_szFieldName, szFieldName, kFieldNameLen) == 0;
}

bool nearCode(float v, float code) {
    return std::fabs(v - code) <= kCodeTolerance;
}

// Packing of one moment into integer storage of type T. The stored range excludes the two
// codes, and values beyond it are clamped to its ends: a value must never wrap into another
// value or into a code. The rule is held in locals so that the loops need not reload it
// through the rows they write, and choices are selects rather than branches since code
// cells and echo cells interleave.
template <typename T>
struct IntPacking {
    float offset;
    float scale;
    T bad;
    T out;
    float lo;
    float hi;

    explicit IntPacking(const FIELD_MEM_INFO_TBL& rule)
        : offset(rule.m_fOffset), scale(rule.m_fScale) {
        bad = static_cast<T>(rule.m_fBadValue);
        out = static_cast<T>(rule.m_fOutBound);
        long low = std::numeric_limits<T>::min();
        long high = std::numeric_limits<T>::max();
        while (low < high && (low == bad || low == out)) {
            ++low;
        }
        while (high > low && (high == bad || high == out)) {
            --high;
        }
        lo = static_cast<float>(low);
        hi = static_cast<float>(high);
    }

    T pack(float v) const {
        // fmax turns NaN into lo; NaN is then coded as no data below.
        const float s = std::fmin(std::fmax(std::trunc((v + offset) * scale), lo), hi);
        T packed = static_cast<T>(s);
        // A code inside the range (not at either end) is stepped over towards zero.
        const T stepped = static_cast<T>(packed < 0 ? packed + 1 : packed - 1);
        packed = (packed == bad || packed == out) ? stepped : packed;
        packed = (nearCode(v, RDR_GRID_NO_DATA) || std::isnan(v)) ? bad : packed;
        return nearCode(v, RDR_GRID_OUT_BOUND) ? out : packed;
    }
};

struct FloatPacking {
    float offset;
    float scale;
    float bad;
    float out;

    explicit FloatPacking(const FIELD_MEM_INFO_TBL& rule)
        : offset(rule.m_fOffset),
          scale(rule.m_fScale),
          bad(rule.m_fBadValue),
          out(rule.m_fOutBound) {}

    float pack(float v) const {
        float packed = (v + offset) * scale;
        packed = (nearCode(v, RDR_GRID_NO_DATA) || std::isnan(v)) ? bad : packed;
        return nearCode(v, RDR_GRID_OUT_BOUND) ? out : packed;
    }
};

struct Unpacking {
    float offset;
    float scale;
    float bad;
    float out;

    explicit Unpacking(const FIELD_MEM_INFO_TBL& rule)
        : offset(rule.m_fOffset),
          scale(rule.m_fScale),
          bad(rule.m_fBadValue),
          out(rule.m_fOutBound) {}

    float unpack(float s) const {
        float v = s / scale - offset;
        v = nearCode(s, bad) ? RDR_GRID_NO_DATA : v;
        return nearCode(s, out) ? RDR_GRID_OUT_BOUND : v;
    }
};

template <typename T>
T** packRows(const float* pData, int iYdim, int iXdim, const FIELD_MEM_INFO_TBL& rule,
             T** (*makeMatrix)(int, int)) {
    T** rows = makeMatrix(iYdim, iXdim);
    if (rows == nullptr) {
        return nullptr;
    }
    // 8-bit storage is signed whatever the platform's char is.
    using Stored = std::conditional_t<std::is_same_v<T, char>, signed char, T>;
    using Packing = std::conditional_t<std::is_same_v<T, float>, FloatPacking, IntPacking<Stored>>;
    const Packing packing(rule);
    for (int y = 0; y < iYdim; ++y) {
        const float* src = pData + static_cast<size_t>(y) * iXdim;
        T* dst = rows[y];
        for (int x = 0; x < iXdim; ++x) {
            dst[x] = static_cast<T>(packing.pack(src[x]));
        }
    }
    return rows;
}

template <typename T>
void unpackRows(T** rows, float** grid, int iYdim, int iXdim, const FIELD_MEM_INFO_TBL& rule) {
    const Unpacking unpacking(rule);
    if constexpr (sizeof(T) == 1) {
        // 256 possible bytes: decode each once.
        float table[256];
        for (int b = 0; b < 256; ++b) {
            table[b] = unpacking.unpack(static_cast<float>(static_cast<signed char>(b)));
        }
        for (int y = 0; y < iYdim; ++y) {
            const T* src = rows[y];
            float* dst = grid[y];
            for (int x = 0; x < iXdim; ++x) {
                dst[x] = table[static_cast<unsigned char>(src[x])];
            }
        }
    } else {
        for (int y = 0; y < iYdim; ++y) {
            const T* src = rows[y];
            float* dst = grid[y];
            for (int x = 0; x < iXdim; ++x) {
                dst[x] = unpacking.unpack(static_cast<float>(src[x]));
            }
        }
    }
}

// True when some slot of the product holds rows: the grid size may then no longer change,
// since rows are released by the header's row count.
bool holdsRows(STD_PRODUCT* pStdProduct) {
    STD_TOTAL_PRODUCT& total = pStdProduct->m_totalProduct;
    for (int f = 0; f < kFamilyCount; ++f) {
        STD_PRODUCT_DATASET** ppDset = *familyArray(total, f);
        for (int d = 0; ppDset != nullptr && d < *familyCount(total, f); ++d) {
            for (int k = 0; ppDset[d] != nullptr && k < ppDset[d]->m_iMaxField; ++k) {
                const STD_PRODUCT_DATA* pData = ppDset[d]->m_ppProductData[k];
                if (pData != nullptr &&
                    (pData->m_ppData_c != nullptr || pData->m_ppData_s != nullptr ||
                     pData->m_ppData_f != nullptr)) {
                    return true;
                }
            }
        }
    }
    return false;
}

// Header setters accept a new grid only when it is usable and cannot orphan stored rows.
bool gridAcceptable(STD_PRODUCT* pStdProduct, int iYdim, int iXdim, float fGridKm) {
    if (iYdim <= 0 || iXdim <= 0 || !(fGridKm > 0.0f) || !std::isfinite(fGridKm)) {
        return false;
    }
    const STD_PRODUCT_HDR& hdr = pStdProduct->m_product_hdr;
    return (hdr.m_lYsize == iYdim && hdr.m_lXsize == iXdim) || !holdsRows(pStdProduct);
}

void setGrid(STD_PRODUCT_HDR& hdr, int iYdim, int iXdim, float fGridKm) {
    hdr.m_lXsize = iXdim;
    hdr.m_lYsize = iYdim;
    hdr.m_dXscale = fGridKm;
    hdr.m_dYscale = fGridKm;
}

// Outer corners of the grid, x east and y north from the lower-left corner.
template <typename Param, typename State>
void setCorners(STD_PRODUCT_HDR& hdr, Param& map,
                void (*project)(float*, float*, float*, float*, int, Param*, State*)) {
    State state{};
    const float xs[4] = {0.0f, 0.0f, static_cast<float>(hdr.m_lXsize),
                         static_cast<float>(hdr.m_lXsize)};
    const float ys[4] = {0.0f, static_cast<float>(hdr.m_lYsize), static_cast<float>(hdr.m_lYsize),
                         0.0f};
    double* lons[4] = {&hdr.m_LL_lon, &hdr.m_UL_lon, &hdr.m_UR_lon, &hdr.m_LR_lon};
    double* lats[4] = {&hdr.m_LL_lat, &hdr.m_UL_lat, &hdr.m_UR_lat, &hdr.m_LR_lat};
    for (int i = 0; i < 4; ++i) {
        float x = xs[i];
        float y = ys[i];
        float lon = 0.0f;
        float lat = 0.0f;
        project(&lon, &lat, &x, &y, RDR_EN_PROJ_TO_LONLAT, &map, &state);
        *lons[i] = lon;
        *lats[i] = lat;
    }
}

STD_PRODUCT_DATASET* datasetAt(STD_PRODUCT* pStdProduct, const char* szProduct, int iProductIdx) {
    int iMaxDset = 0;
    STD_PRODUCT_DATASET** ppDset = fnFindDsetStdProduct(pStdProduct, szProduct, &iMaxDset);
    if (ppDset == nullptr || iProductIdx < 0 || iProductIdx >= iMaxDset) {
        return nullptr;
    }
    return ppDset[iProductIdx];
}

// A new float grid in physical units from one field of one dataset, or null.
float** readField(STD_PRODUCT* pStdProduct, STD_PRODUCT_DATASET* pDset, const char* szFieldName) {
    if (pDset == nullptr) {
        return nullptr;
    }
    const int idx = fnGetStdDataIdx(pDset, szFieldName);
    if (idx < 0) {
        return nullptr;
    }
    const STD_PRODUCT_DATA* pData = pDset->m_ppProductData[idx];
    FIELD_MEM_INFO_TBL rule{};
    if (fnGetFieldMemInfo(pData->m_szFieldName, &rule) != 1) {
        return nullptr;
    }
    // A slot without the rows of its type has nothing to give; a zero grid would pass for
    // real data.
    const bool hasRows = (pData->m_iMemType == RDR_EN_MEM_CHAR && pData->m_ppData_c != nullptr) ||
                         (pData->m_iMemType == RDR_EN_MEM_SHORT && pData->m_ppData_s != nullptr) ||
                         (pData->m_iMemType == RDR_EN_MEM_FLOAT && pData->m_ppData_f != nullptr);
    const long ySize = pStdProduct->m_product_hdr.m_lYsize;
    const long xSize = pStdProduct->m_product_hdr.m_lXsize;
    if (!hasRows || ySize <= 0 || xSize <= 0 || ySize > std::numeric_limits<int>::max() ||
        xSize > std::numeric_limits<int>::max()) {
        return nullptr;
    }
    const int iYdim = static_cast<int>(ySize);
    const int iXdim = static_cast<int>(xSize);
    float** grid = fnMakeMatrix2D_F(iYdim, iXdim);
    if (grid == nullptr) {
        return nullptr;
    }
    switch (pData->m_iMemType) {
        case RDR_EN_MEM_CHAR:
            unpackRows(pData->m_ppData_c, grid, iYdim, iXdim, rule);
            break;
        case RDR_EN_MEM_SHORT:
            unpackRows(pData->m_ppData_s, grid, iYdim, iXdim, rule);
            break;
        default:
            unpackRows(pData->m_ppData_f, grid, iYdim, iXdim, rule);
            break;
    }
    return grid;
}

STD_PRODUCT_DATASET* datasetByArg(STD_PRODUCT* pStdProduct, const char* szProduct, double dArg1,
                                  double dArg2) {
    int iMaxDset = 0;
    STD_PRODUCT_DATASET** ppDset = fnFindDsetStdProduct(pStdProduct, szProduct, &iMaxDset);
    for (int i = 0; ppDset != nullptr && i < iMaxDset; ++i) {
        STD_PRODUCT_DATASET* pDset = ppDset[i];
        if (pDset != nullptr && std::fabs(pDset->m_dProdpar[0] - dArg1) <= kProdparTolerance &&
            std::fabs(pDset->m_dProdpar[1] - dArg2) <= kProdparTolerance) {
            return pDset;
        }
    }
    return nullptr;
}

}  // namespace

STD_PRODUCT_DATASET** fnInitStdDataset(const char* szProduct, int iMaxDataset, int iMaxField) {
    if (szProduct == nullptr || iMaxDataset <= 0 || iMaxField <= 0) {
        return nullptr;
    }
    STD_PRODUCT_DATASET** ppDset =
        product_families::makeFamily<STD_PRODUCT_DATASET>(iMaxDataset, iMaxField);
    for (int i = 0; ppDset != nullptr && i < iMaxDataset; ++i) {
        copyFixedText(ppDset[i]->m_szProduct, kProductNameLen + 1, szProduct);
    }
    return ppDset;
}

void fnFreeStdDataset(STD_PRODUCT_DATASET** ppStdDataset, int iMaxDataset, int iYdim) {
    product_families::freeFamily(ppStdDataset, iMaxDataset, iYdim);
}

STD_PRODUCT* fnInitStdProduct(int iMaxField, int iMaxPpi, int iMaxCappi, int iMaxBase, int iMaxCmax,
                              int iMaxVil, int iMaxEtop) {
    if (iMaxField <= 0) {
        return nullptr;
    }
    auto* pProduct = static_cast<STD_PRODUCT*>(std::calloc(1, sizeof(STD_PRODUCT)));
    if (pProduct == nullptr) {
        return nullptr;
    }
    const int requested[kFamilyCount] = {iMaxPpi, iMaxCappi, iMaxBase, iMaxCmax, iMaxVil, iMaxEtop};
    STD_TOTAL_PRODUCT& total = pProduct->m_totalProduct;
    for (int f = 0; f < kFamilyCount; ++f) {
        if (requested[f] < 1 || requested[f] > kMaxFamilyCount) {
            continue;
        }
        STD_PRODUCT_DATASET** ppDset = fnInitStdDataset(kFamilyNames[f], requested[f], iMaxField);
        if (ppDset == nullptr) {
            rdrError("fnInitStdProduct", "fnInitStdDataset fail");
            fnFreeStdProduct(pProduct);
            return nullptr;
        }
        *familyArray(total, f) = ppDset;
        *familyCount(total, f) = requested[f];
    }
    return pProduct;
}

void fnFreeStdProduct(STD_PRODUCT* pStdProduct) {
    if (pStdProduct == nullptr) {
        return;
    }
    STD_TOTAL_PRODUCT& total = pStdProduct->m_totalProduct;
    const int iYdim = static_cast<int>(pStdProduct->m_product_hdr.m_lYsize);
    for (int f = 0; f < kFamilyCount; ++f) {
        if (*familyCount(total, f) > 0) {
            fnFreeStdDataset(*familyArray(total, f), *familyCount(total, f), iYdim);
        }
    }
    std::free(pStdProduct);
}

int fnSetStdProductSiteHdr(STD_RADAR* pStd, STD_PRODUCT* pStdProduct, int iYdim, int iXdim,
                           float fGridKm) {
    if (pStd == nullptr || pStdProduct == nullptr ||
        !gridAcceptable(pStdProduct, iYdim, iXdim, fGridKm)) {
        return 0;
    }
    STD_PRODUCT_HDR& hdr = pStdProduct->m_product_hdr;
    const STD_GLOBAL_HDR& vol = pStd->m_hdr;
    pStdProduct->m_iStdProductType = STD_EN_PRODUCT_SITE;
    hdr.m_tConvertTime = vol.m_tConvertTime;
    copyFixedText(hdr.m_szSiteName, kFieldNameLen + 1, vol.m_szSiteName);
    hdr.m_dLon = vol.m_dLon;
    hdr.m_dLat = vol.m_dLat;
    hdr.m_iAnteHeightM = vol.m_iAnteHeight;
    copyFixedText(hdr.m_szTask, kFieldNameLen + 1, vol.m_szConvertName);
    copyFixedText(hdr.m_szSystem, kFieldNameLen + 1, vol.m_szRadarName);
    hdr.m_dNi = 0.0;
    if (pStd->m_iMaxSweep > 0 && pStd->m_ppSweep != nullptr && pStd->m_ppSweep[0] != nullptr) {
        hdr.m_dNi = pStd->m_ppSweep[0]->m_hdr.m_fNyquistVelocity;
    }
    setGrid(hdr, iYdim, iXdim, fGridKm);

    const float lon = static_cast<float>(hdr.m_dLon);
    const float lat = static_cast<float>(hdr.m_dLat);
    AZED_PARAMETER map =
        fnGetAzedMapInfo(kEarthRadiusKm, fGridKm, lon, lat, lon, lat, static_cast<float>(iXdim / 2),
                         static_cast<float>(iYdim / 2));
    setCorners<AZED_PARAMETER, AZED_VAR>(hdr, map, fnAzedProj);
    return 1;
}

int fnSetStdProductCompHdr(STD_PRODUCT* pStdProduct, const char* szCompMethod,
                           const char* szDateTime, int iYdim, int iXdim, float fGridKm, int iXo,
                           int iYo) {
    if (pStdProduct == nullptr || szDateTime == nullptr ||
        !gridAcceptable(pStdProduct, iYdim, iXdim, fGridKm)) {
        return 0;
    }
    struct tm tmTime {};
    const char* rest = strptime(szDateTime, "%Y%m%d%H%M", &tmTime);
    if (rest == nullptr) {
        return 0;
    }
    STD_PRODUCT_HDR& hdr = pStdProduct->m_product_hdr;
    pStdProduct->m_iStdProductType = STD_EN_PRODUCT_COMP;
    hdr.m_tConvertTime = std::mktime(&tmTime);
    setGrid(hdr, iYdim, iXdim, fGridKm);
    hdr.m_szCompMethod[0] = '\0';
    if (szCompMethod != nullptr) {
        copyFixedText(hdr.m_szCompMethod, sizeof hdr.m_szCompMethod, szCompMethod);
    }
    LAMC_PARAMETER map =
        fnGetLamcMapInfo(kEarthRadiusKm, fGridKm, kCompSlat1, kCompSlat2, kCompOlon, kCompOlat,
                         static_cast<float>(iXo), static_cast<float>(iYo));
    setCorners<LAMC_PARAMETER, LAMC_VAR>(hdr, map, fnLamcProj);
    return 1;
}

STD_PRODUCT_DATASET** fnFindDsetStdProduct(STD_PRODUCT* pStdProduct, const char* szProduct,
                                           int* pMaxDset) {
    if (pMaxDset != nullptr) {
        *pMaxDset = 0;
    }
    const int f = familyIndex(szProduct);
    if (pStdProduct == nullptr || f < 0) {
        return nullptr;
    }
    STD_TOTAL_PRODUCT& total = pStdProduct->m_totalProduct;
    if (pMaxDset != nullptr) {
        *pMaxDset = *familyCount(total, f);
    }
    return *familyArray(total, f);
}

int fnGetStdDataIdx(STD_PRODUCT_DATASET* pStdDataset, const char* szFieldName) {
    if (pStdDataset == nullptr || szFieldName == nullptr || szFieldName[0] == '\0' ||
        pStdDataset->m_ppProductData == nullptr) {
        return -1;
    }
    for (int k = 0; k < pStdDataset->m_iMaxField; ++k) {
        if (sameField(pStdDataset->m_ppProductData[k], szFieldName)) {
            return k;
        }
    }
    return -1;
}

int fnAddStdDatasetToData(STD_PRODUCT_DATASET* pStdDataset, const char* szFieldName,
                          const float* pData, int iYdim, int iXdim) {
    if (pStdDataset == nullptr || szFieldName == nullptr || szFieldName[0] == '\0' ||
        pData == nullptr || iYdim <= 0 || iXdim <= 0 || pStdDataset->m_ppProductData == nullptr) {
        return 0;
    }
    STD_PRODUCT_DATA* pSlot = nullptr;
    for (int k = 0; k < pStdDataset->m_iMaxField; ++k) {
        STD_PRODUCT_DATA* pCand = pStdDataset->m_ppProductData[k];
        if (pCand == nullptr) {
            continue;
        }
        if (sameField(pCand, szFieldName)) {
            return 0;  // a stored field is never replaced
        }
        if (pCand->m_szFieldName[0] == '\0') {
            pSlot = pCand;
            break;
        }
    }
    if (pSlot == nullptr) {
        return 0;
    }
    FIELD_MEM_INFO_TBL rule{};
    if (fnGetFieldMemInfo(szFieldName, &rule) != 1) {
        return 0;
    }
    switch (rule.m_iMemType) {
        case RDR_EN_MEM_CHAR:
            pSlot->m_ppData_c = packRows<char>(pData, iYdim, iXdim, rule, fnMakeMatrix2D_C);
            if (pSlot->m_ppData_c == nullptr) {
                return 0;
            }
            break;
        case RDR_EN_MEM_SHORT:
            pSlot->m_ppData_s = packRows<short>(pData, iYdim, iXdim, rule, fnMakeMatrix2D_S);
            if (pSlot->m_ppData_s == nullptr) {
                return 0;
            }
            break;
        case RDR_EN_MEM_FLOAT:
            pSlot->m_ppData_f = packRows<float>(pData, iYdim, iXdim, rule, fnMakeMatrix2D_F);
            if (pSlot->m_ppData_f == nullptr) {
                return 0;
            }
            break;
        default:
            return 0;  // no storage for this type: the slot stays free
    }
    pSlot->m_iMemType = rule.m_iMemType;
    copyFixedText(pSlot->m_szFieldName, kFieldNameLen + 1, szFieldName);
    return 1;
}

int fnAddStdProductToData(STD_PRODUCT* pStdProduct, const char* szProduct, int iProductIdx,
                          double dProductArg1, double dProductArg2, const char* szFieldName,
                          const float* pData, int iYdim, int iXdim) {
    if (pStdProduct == nullptr || szProduct == nullptr || szFieldName == nullptr ||
        pData == nullptr || iXdim != pStdProduct->m_product_hdr.m_lXsize ||
        iYdim != pStdProduct->m_product_hdr.m_lYsize) {
        return 0;
    }
    STD_PRODUCT_DATASET* pDset = datasetAt(pStdProduct, szProduct, iProductIdx);
    if (pDset == nullptr) {
        return 0;
    }
    if (fnAddStdDatasetToData(pDset, szFieldName, pData, iYdim, iXdim) != 1) {
        // The dataset keeps its parameters: they are the search key of the fields already
        // stored in it.
        return 0;
    }
    pDset->m_dProdpar[0] = dProductArg1;
    pDset->m_dProdpar[1] = dProductArg2;
    return 1;
}

int fnGetStdProductProdpar(STD_PRODUCT* pStdProduct, const char* szProduct, int iProductIdx,
                           double* pProductArg1, double* pProductArg2) {
    STD_PRODUCT_DATASET* pDset = datasetAt(pStdProduct, szProduct, iProductIdx);
    if (pDset == nullptr) {
        return 0;
    }
    if (pProductArg1 != nullptr) {
        *pProductArg1 = pDset->m_dProdpar[0];
    }
    if (pProductArg2 != nullptr) {
        *pProductArg2 = pDset->m_dProdpar[1];
    }
    return 1;
}

float** fnGetStdProductDataByArg(STD_PRODUCT* pStdProduct, const char* szProduct,
                                 double dProductArg1, double dProductArg2,
                                 const char* szFieldName) {
    if (pStdProduct == nullptr || szFieldName == nullptr || szFieldName[0] == '\0') {
        return nullptr;
    }
    return readField(pStdProduct, datasetByArg(pStdProduct, szProduct, dProductArg1, dProductArg2),
                     szFieldName);
}

float** fnGetStdProductDataByArgDBZ(STD_PRODUCT* pStdProduct, const char* szProduct,
                                    double dProductArg1, double dProductArg2) {
    float** grid =
        fnGetStdProductDataByArg(pStdProduct, szProduct, dProductArg1, dProductArg2, "CZ");
    if (grid == nullptr) {
        grid = fnGetStdProductDataByArg(pStdProduct, szProduct, dProductArg1, dProductArg2, "DZ");
    }
    return grid;
}

float** fnGetStdProductDataByIdx(STD_PRODUCT* pStdProduct, const char* szProduct, int iProductIdx,
                                 const char* szFieldName) {
    if (pStdProduct == nullptr || szFieldName == nullptr || szFieldName[0] == '\0') {
        return nullptr;
    }
    return readField(pStdProduct, datasetAt(pStdProduct, szProduct, iProductIdx), szFieldName);
}

float** fnGetStdProductDataByIdxDBZ(STD_PRODUCT* pStdProduct, const char* szProduct,
                                    int iProductIdx) {
    float** grid = fnGetStdProductDataByIdx(pStdProduct, szProduct, iProductIdx, "CZ");
    if (grid == nullptr) {
        grid = fnGetStdProductDataByIdx(pStdProduct, szProduct, iProductIdx, "DZ");
    }
    return grid;
}
