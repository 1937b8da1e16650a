// Feeds arbitrary bytes to the GRIB product loader as a file and converts what loads. The
// messages are decoded by ecCodes in the loader's child process, so whatever ecCodes does
// with a damaged message must come back as a refusal here; what loads must be one family of
// whole grids of the header's size, or be refused by the conversion.
#include <cstdint>
#include <cstdlib>

#include "core_utilities.h"
#include "fuzz_check.h"
#include "fuzz_product_check.h"
#include "fuzz_scratch_file.h"
#include "fuzz_staged_root.h"
#include "grib_output.h"
#include "grib_product_input.h"
#include "internal/grib_product_messages.h"

// ecCodes finds the system's definitions under the resource tree: the staged one of the
// build, unless the caller names another.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzUseStagedRoot();
    setGribProductIsolationLimits(fuzzChildLimits(gribProductIsolationLimits()));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* szPath = fuzzInputFile("grib_product_fuzz", data, size);
    GRIB_PRODUCT* grib = fnLoadGribProduct(szPath, GRIB_EN_PRODUCT_SITE);
    if (grib == nullptr) {
        return 0;
    }
    const long xdim = grib->m_where.m_lXsize;
    const long ydim = grib->m_where.m_lYsize;
    FUZZ_CHECK(xdim >= 1 && ydim >= 1);
    int counts[7] = {};
    FUZZ_CHECK(fnGetMaxCountGribProduct(grib, &counts[0], &counts[1], &counts[2], &counts[3],
                                        &counts[4], &counts[5], &counts[6]) == 1);
    FUZZ_CHECK(counts[0] >= 1);
    int families = 0;
    for (int f = 1; f < 7; ++f) {
        families += counts[f] > 0 ? 1 : 0;
    }
    FUZZ_CHECK(families == 1);  // a file holds one family
    STD_PRODUCT* std = fnGribProductSyncUpStd(grib);
    if (std != nullptr) {
        fuzzCheckStdProduct(std, xdim, ydim);
        fnFreeStdProduct(std);
    }
    fnFreeGribProduct(grib);
    return 0;
}
