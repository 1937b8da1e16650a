// Feeds arbitrary bytes to the ODIM_H5 product loader as a file and converts what loads.
// libhdf5 reads in the loader's child process, so a library failure on a damaged file must
// come back as a refusal, never take this process down; what loads must be a whole product
// that converts (its grids of the header's size), or be refused by the conversion.

#include <cstdint>

#include "core_utilities.h"
#include "fuzz_check.h"
#include "fuzz_product_check.h"
#include "fuzz_scratch_file.h"
#include "hdf5_output.h"
#include "hdf_product_input.h"
#include "internal/hdf_product_input_transfer.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setHdfProductIsolationLimits(fuzzChildLimits(hdfProductIsolationLimits()));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* szPath = fuzzInputFile("hdf_product_fuzz", data, size);
    HDF_PRODUCT* hdf = fnLoadHdfProduct(szPath);
    if (hdf == nullptr) {
        return 0;
    }
    const HDF_IMAGE_WHERE& image = hdf->m_where.m_image_where;
    FUZZ_CHECK(image.m_lXsize >= 1 && image.m_lYsize >= 1);
    int counts[7] = {};
    FUZZ_CHECK(fnGetMaxCountHdfProduct(hdf, &counts[0], &counts[1], &counts[2], &counts[3],
                                       &counts[4], &counts[5], &counts[6]) == 1);
    FUZZ_CHECK(counts[0] >= 1);
    STD_PRODUCT* std = fnHdfProductSyncUpStd(hdf);
    if (std != nullptr) {
        fuzzCheckStdProduct(std, image.m_lXsize, image.m_lYsize);
    }
    fnFreeHdfProduct(hdf);
    fnFreeStdProduct(std);
    return 0;
}
