// The bookkeeping every product container shares. The standard, HDF and GRIB products are
// distinct record types of one shape: six families (PPI, CAPPI, BASE, CMAX, VIL, ETOP) of
// datasets, every dataset with m_iMaxField slots, every slot holding rows of one memory type.
// These templates serve all of them so that allocation and release cannot drift apart.
#ifndef RDR_PRODUCT_FAMILIES_H
#define RDR_PRODUCT_FAMILIES_H

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <type_traits>
#include <utility>

#include "core_utilities.h"
#include "info_tables.h"

namespace product_families {

constexpr int kFamilyCount = 6;
// No family holds more datasets: what writes, reads and allocates a product agrees on it.
constexpr int kMaxFamilyCount = 99;

// The slot type of a dataset type.
template <typename Dataset>
using SlotOf = std::remove_pointer_t<
    std::remove_pointer_t<decltype(std::declval<Dataset&>().m_ppProductData)>>;

// The dataset type of a family container type.
template <typename Total>
using DatasetOf =
    std::remove_pointer_t<std::remove_pointer_t<decltype(std::declval<Total&>().m_ppPpi)>>;

template <typename Total>
int* familyCount(Total& total, int iFamily) {
    int* counts[kFamilyCount] = {&total.m_iMaxPpi,  &total.m_iMaxCappi, &total.m_iMaxBase,
                                 &total.m_iMaxCmax, &total.m_iMaxVil,   &total.m_iMaxEtop};
    return counts[iFamily];
}

template <typename Total>
DatasetOf<Total>*** familyArray(Total& total, int iFamily) {
    DatasetOf<Total>*** arrays[kFamilyCount] = {&total.m_ppPpi,  &total.m_ppCappi, &total.m_ppBase,
                                                &total.m_ppCmax, &total.m_ppVil,   &total.m_ppEtop};
    return arrays[iFamily];
}

// The family counts (0 for a family without an array) into rgCount; returns the largest
// slot count of any dataset.
template <typename Total>
int familyCounts(Total& total, int rgCount[kFamilyCount]) {
    int iMaxField = 0;
    for (int f = 0; f < kFamilyCount; ++f) {
        DatasetOf<Total>** ppDset = *familyArray(total, f);
        const int n = ppDset != nullptr ? *familyCount(total, f) : 0;
        rgCount[f] = n > 0 ? n : 0;
        for (int d = 0; d < n; ++d) {
            if (ppDset[d] != nullptr && ppDset[d]->m_iMaxField > iMaxField) {
                iMaxField = ppDset[d]->m_iMaxField;
            }
        }
    }
    return iMaxField;
}

// familyCounts into the caller's outputs, each of which may be null.
template <typename Total>
void familyCountsInto(Total& total, int* pMaxField, int* const rgOut[kFamilyCount]) {
    int counts[kFamilyCount] = {};
    const int iMaxField = familyCounts(total, counts);
    for (int f = 0; f < kFamilyCount; ++f) {
        if (rgOut[f] != nullptr) {
            *rgOut[f] = counts[f];
        }
    }
    if (pMaxField != nullptr) {
        *pMaxField = iMaxField;
    }
}

// True when the slot's rows are those of its memory type and no other.
template <typename Slot>
bool slotHoldsOnlyItsRows(const Slot& data) {
    switch (data.m_iMemType) {
        case RDR_EN_MEM_CHAR:
            return data.m_ppData_c != nullptr && data.m_ppData_s == nullptr &&
                   data.m_ppData_f == nullptr;
        case RDR_EN_MEM_SHORT:
            return data.m_ppData_s != nullptr && data.m_ppData_c == nullptr &&
                   data.m_ppData_f == nullptr;
        case RDR_EN_MEM_FLOAT:
            return data.m_ppData_f != nullptr && data.m_ppData_c == nullptr &&
                   data.m_ppData_s == nullptr;
        default:
            return false;
    }
}

// Rows are released by the grid's row count, which the caller knows from its header.
template <typename Slot>
void freeSlotRows(Slot* pData, int iYdim) {
    fnFreeMatrix2D(reinterpret_cast<void**>(pData->m_ppData_c), iYdim);
    fnFreeMatrix2D(reinterpret_cast<void**>(pData->m_ppData_s), iYdim);
    fnFreeMatrix2D(reinterpret_cast<void**>(pData->m_ppData_f), iYdim);
    pData->m_ppData_c = nullptr;
    pData->m_ppData_s = nullptr;
    pData->m_ppData_f = nullptr;
}

// Releases a family as far as it was built: null datasets and slots are skipped.
template <typename Dataset>
void freeFamily(Dataset** ppDset, int iMaxDataset, int iYdim) {
    if (ppDset == nullptr) {
        return;
    }
    for (int i = 0; i < iMaxDataset; ++i) {
        Dataset* pDset = ppDset[i];
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

// iMaxDataset zero-filled datasets of iMaxField zero-filled slots each, or null with nothing
// left allocated. Both counts must be positive.
template <typename Dataset>
Dataset** makeFamily(int iMaxDataset, int iMaxField) {
    using Slot = SlotOf<Dataset>;
    auto** ppDset =
        static_cast<Dataset**>(std::calloc(static_cast<size_t>(iMaxDataset), sizeof(Dataset*)));
    if (ppDset == nullptr) {
        return nullptr;
    }
    for (int i = 0; i < iMaxDataset; ++i) {
        auto* pDset = static_cast<Dataset*>(std::calloc(1, sizeof(Dataset)));
        ppDset[i] = pDset;
        if (pDset == nullptr) {
            freeFamily(ppDset, iMaxDataset, 0);
            return nullptr;
        }
        pDset->m_iMaxField = iMaxField;
        pDset->m_ppProductData =
            static_cast<Slot**>(std::calloc(static_cast<size_t>(iMaxField), sizeof(Slot*)));
        if (pDset->m_ppProductData == nullptr) {
            freeFamily(ppDset, iMaxDataset, 0);
            return nullptr;
        }
        for (int k = 0; k < iMaxField; ++k) {
            pDset->m_ppProductData[k] = static_cast<Slot*>(std::calloc(1, sizeof(Slot)));
            if (pDset->m_ppProductData[k] == nullptr) {
                freeFamily(ppDset, iMaxDataset, 0);
                return nullptr;
            }
        }
    }
    return ppDset;
}

// Builds each family whose requested count is from 1 to kMaxFamilyCount (the others stay
// empty). False when memory runs out; what was built stays in `total` for freeFamilies.
template <typename Total>
bool makeFamilies(Total& total, const int rgRequested[kFamilyCount], int iMaxField) {
    for (int f = 0; f < kFamilyCount; ++f) {
        if (rgRequested[f] < 1 || rgRequested[f] > kMaxFamilyCount) {
            continue;
        }
        DatasetOf<Total>** ppDset = makeFamily<DatasetOf<Total>>(rgRequested[f], iMaxField);
        if (ppDset == nullptr) {
            return false;
        }
        *familyArray(total, f) = ppDset;
        *familyCount(total, f) = rgRequested[f];
    }
    return true;
}

template <typename Total>
void freeFamilies(Total& total, int iYdim) {
    for (int f = 0; f < kFamilyCount; ++f) {
        freeFamily(*familyArray(total, f), *familyCount(total, f), iYdim);
    }
}

// Hands a slot's rows to another record's slot; the source no longer owns them.
template <typename From, typename To>
void moveSlotRows(From& from, To& to) {
    to.m_iMemType = from.m_iMemType;
    to.m_ppData_c = from.m_ppData_c;
    to.m_ppData_s = from.m_ppData_s;
    to.m_ppData_f = from.m_ppData_f;
    from.m_ppData_c = nullptr;
    from.m_ppData_s = nullptr;
    from.m_ppData_f = nullptr;
}

// Grid size, cell size and corners, which every record names alike.
template <typename From, typename To>
void copyGridPlacement(const From& from, To& to) {
    to.m_lXsize = from.m_lXsize;
    to.m_lYsize = from.m_lYsize;
    to.m_dXscale = from.m_dXscale;
    to.m_dYscale = from.m_dYscale;
    to.m_LL_lon = from.m_LL_lon;
    to.m_LL_lat = from.m_LL_lat;
    to.m_UL_lon = from.m_UL_lon;
    to.m_UL_lat = from.m_UL_lat;
    to.m_UR_lon = from.m_UR_lon;
    to.m_UR_lat = from.m_UR_lat;
    to.m_LR_lon = from.m_LR_lon;
    to.m_LR_lat = from.m_LR_lat;
}

// The stored date and time (m_szDate "%Y%m%d", m_szTime "%H%M%S") of a standard time, which
// runs RDR_KST_OFFSET_SEC ahead of them. A field that cannot hold its text is left empty.
template <typename What>
void formatWhatTime(time_t tConvert, What* pWhat) {
    const time_t t = tConvert - RDR_KST_OFFSET_SEC;
    struct tm tmTime {};
    localtime_r(&t, &tmTime);
    if (std::strftime(pWhat->m_szDate, sizeof pWhat->m_szDate, "%Y%m%d", &tmTime) == 0) {
        pWhat->m_szDate[0] = '\0';
    }
    if (std::strftime(pWhat->m_szTime, sizeof pWhat->m_szTime, "%H%M%S", &tmTime) == 0) {
        pWhat->m_szTime[0] = '\0';
    }
}

// The standard time of a stored date and time; false when they do not read as one.
template <typename What>
bool parseWhatTime(const What& what, time_t* pTime) {
    char szStamp[16];
    std::snprintf(szStamp, sizeof szStamp, "%.8s%.6s", what.m_szDate, what.m_szTime);
    struct tm tmTime {};
    const char* rest = strptime(szStamp, "%Y%m%d%H%M%S", &tmTime);
    if (rest == nullptr || *rest != '\0') {
        return false;
    }
    tmTime.tm_isdst = -1;
    const time_t t = std::mktime(&tmTime);
    if (t == static_cast<time_t>(-1)) {
        return false;
    }
    *pTime = t + RDR_KST_OFFSET_SEC;
    return true;
}

}  // namespace product_families

#endif
