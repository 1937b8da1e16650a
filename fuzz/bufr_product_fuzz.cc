// Feeds arbitrary bytes to the BUFR product loader as a file and converts what loads: what
// loads must be a whole product (grids of the header's size in every slot that has a name)
// or be refused by the conversion; nothing may crash, overrun or run away.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "bufr_output.h"
#include "bufr_product_input.h"
#include "core_utilities.h"
#include "fuzz_check.h"
#include "fuzz_product_check.h"
#include "fuzz_scratch_file.h"
#include "fuzz_staged_root.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzUseStagedRoot();  // the descriptor tables
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* szPath = fuzzInputFile("bufr_product_fuzz", data, size);
    BUFR_PRODUCT* bufr = fnLoadBufrProduct(szPath, size % 2 == 0 ? "AZIM" : "COMP");
    if (bufr == nullptr) {
        return 0;
    }
    const HDF_IMAGE_WHERE& image = bufr->m_where.m_image_where;
    FUZZ_CHECK(image.m_lXsize >= 1 && image.m_lYsize >= 1);
    int counts[7] = {};
    FUZZ_CHECK(fnGetMaxCountBufrProduct(bufr, &counts[0], &counts[1], &counts[2], &counts[3],
                                        &counts[4], &counts[5], &counts[6]) == 1);
    FUZZ_CHECK(counts[0] >= 1);
    STD_PRODUCT* std = fnBufrProductSyncUpStd(bufr);
    if (std != nullptr) {
        fuzzCheckStdProduct(std, image.m_lXsize, image.m_lYsize);
    }
    fnFreeBufrProduct(bufr);
    fnFreeStdProduct(std);
    return 0;
}
