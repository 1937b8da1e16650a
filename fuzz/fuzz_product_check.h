// What every product target asks of a product its reader loaded and converted to the
// standard product: the grid size of the record it came from, and every named grid read
// back whole (its first and last cell of every row touched, so a short row is caught).
#ifndef FUZZ_FUZZ_PRODUCT_CHECK_H
#define FUZZ_FUZZ_PRODUCT_CHECK_H

#include "core_utilities.h"
#include "fuzz_check.h"
#include "standard_product.h"

inline void fuzzCheckStdProduct(STD_PRODUCT* std, long xdim, long ydim) {
    FUZZ_CHECK(std->m_product_hdr.m_lXsize == xdim && std->m_product_hdr.m_lYsize == ydim);
    for (const char* family : {"PPI", "CAPPI", "BASE", "CMAX", "VIL", "ETOP"}) {
        int n = 0;
        STD_PRODUCT_DATASET** sets = fnFindDsetStdProduct(std, family, &n);
        for (int d = 0; sets != nullptr && d < n; ++d) {
            for (int k = 0; k < sets[d]->m_iMaxField; ++k) {
                const char* name = sets[d]->m_ppProductData[k]->m_szFieldName;
                if (name[0] == '\0') {
                    continue;
                }
                float** grid = fnGetStdProductDataByIdx(std, family, d, name);
                FUZZ_CHECK(grid != nullptr);
                volatile float sum = 0.0f;
                for (long y = 0; y < ydim; ++y) {
                    sum = sum + grid[y][0] + grid[y][xdim - 1];
                }
                fnFreeMatrix2D(reinterpret_cast<void**>(grid), static_cast<int>(ydim));
            }
        }
    }
}

#endif
