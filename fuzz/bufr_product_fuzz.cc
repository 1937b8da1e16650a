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
        FUZZ_CHECK(std->m_product_hdr.m_lXsize == image.m_lXsize &&
                   std->m_product_hdr.m_lYsize == image.m_lYsize);
        for (const char* family : {"PPI", "CAPPI", "BASE", "CMAX", "VIL", "ETOP"}) {
            int n = 0;
            STD_PRODUCT_DATASET** sets = fnFindDsetStdProduct(std, family, &n);
            for (int d = 0; sets != nullptr && d < n; ++d) {
                for (int k = 0; k < sets[d]->m_iMaxField; ++k) {
                    const char* field = sets[d]->m_ppProductData[k]->m_szFieldName;
                    if (field[0] == '\0') {
                        continue;
                    }
                    float** grid = fnGetStdProductDataByIdx(std, family, d, field);
                    FUZZ_CHECK(grid != nullptr);
                    fnFreeMatrix2D(reinterpret_cast<void**>(grid),
                                   static_cast<int>(image.m_lYsize));
                }
            }
        }
    }
    fnFreeBufrProduct(bufr);
    fnFreeStdProduct(std);
    return 0;
}
