// The six families of a GRIB_PRODUCT, in the order of every product container: PPI, CAPPI,
// BASE, CMAX, VIL, ETOP, reached by number.
#ifndef RDR_GRIB_PRODUCT_FAMILIES_H
#define RDR_GRIB_PRODUCT_FAMILIES_H

#include <cstring>

#include "grib_output.h"
#include "internal/product_families.h"

constexpr int kGribFamilyCount = product_families::kFamilyCount;
inline constexpr const char* kGribFamilyNames[kGribFamilyCount] = {"PPI",  "CAPPI", "BASE",
                                                                   "CMAX", "VIL",   "ETOP"};

inline int* gribFamilyCount(GRIB_TOTAL_PRODUCT& total, int iFamily) {
    return product_families::familyCount(total, iFamily);
}

inline GRIB_PRODUCT_DATASET*** gribFamilyArray(GRIB_TOTAL_PRODUCT& total, int iFamily) {
    return product_families::familyArray(total, iFamily);
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
    return product_families::slotHoldsOnlyItsRows(data);
}

#endif
