// The six families of a GRIB_PRODUCT, in the order of every product container: PPI, CAPPI,
// BASE, CMAX, VIL, ETOP, reached by number.
#ifndef RDR_GRIB_PRODUCT_FAMILIES_H
#define RDR_GRIB_PRODUCT_FAMILIES_H

#include <cstring>

#include "grib_output.h"

constexpr int kGribFamilyCount = 6;
inline constexpr const char* kGribFamilyNames[kGribFamilyCount] = {"PPI",  "CAPPI", "BASE",
                                                                   "CMAX", "VIL",   "ETOP"};

inline int* gribFamilyCount(GRIB_TOTAL_PRODUCT& total, int iFamily) {
    int* counts[kGribFamilyCount] = {&total.m_iMaxPpi,  &total.m_iMaxCappi, &total.m_iMaxBase,
                                     &total.m_iMaxCmax, &total.m_iMaxVil,   &total.m_iMaxEtop};
    return counts[iFamily];
}

inline GRIB_PRODUCT_DATASET*** gribFamilyArray(GRIB_TOTAL_PRODUCT& total, int iFamily) {
    GRIB_PRODUCT_DATASET*** arrays[kGribFamilyCount] = {&total.m_ppPpi,  &total.m_ppCappi,
                                                        &total.m_ppBase, &total.m_ppCmax,
                                                        &total.m_ppVil,  &total.m_ppEtop};
    return arrays[iFamily];
}

// The family's number, or -1 for a name that is none of the six.
inline int gribFamilyIndex(const char* szFamily) {
    for (int f = 0; szFamily != nullptr && f < kGribFamilyCount; ++f) {
        if (std::strcmp(szFamily, kGribFamilyNames[f]) == 0) {
            return f;
        }
    }
    return -1;
}

// True when the slot's rows are those of its memory type and no other.
inline bool gribSlotHoldsRows(const GRIB_PRODUCT_DATA& data) {
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

#endif
