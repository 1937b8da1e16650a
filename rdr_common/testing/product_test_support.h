// Ownership helpers for product tests: grids returned by product functions and the
// per-sweep azimuth tables they read.
#ifndef RDR_PRODUCT_TEST_SUPPORT_H
#define RDR_PRODUCT_TEST_SUPPORT_H

#include <cstdlib>
#include <memory>

#include "core_utilities.h"
#include "owned_handles.h"
#include "standard_volume.h"

namespace rdrtest {

// A product grid, released with free() as the product functions document.
using Grid = rdr::GridPtr;

// The azimuth tables of every sweep of a volume.
struct Tables {
    STD_AZIMUTH_TBL** p = nullptr;
    int n = 0;
    explicit Tables(STD_RADAR* pStd) : p(fnMakeAllHashTable(pStd)), n(pStd->m_iMaxSweep) {}
    ~Tables() { fnFreeMatrix2D(reinterpret_cast<void**>(p), n); }
    Tables(const Tables&) = delete;
    Tables& operator=(const Tables&) = delete;
};

// The product functions take field names as char*, as their callers pass them.
inline char* name(const char* s) {
    return const_cast<char*>(s);
}

}  // namespace rdrtest

#endif
