// Feeds arbitrary bytes to the BUFR volume loader (message framing, the table-driven
// decoder, the exchange's layout, the compressed arrays) and converts what loads: it must
// convert into a whole volume or be refused; nothing may crash, overrun or run away.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "bufr_radar.h"
#include "fuzz_check.h"
#include "fuzz_staged_root.h"
#include "internal/bufr_tables.h"
#include "internal/bufr_volume_input.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzUseStagedRoot();  // the descriptor tables
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string root = bufrTableRoot();
    std::string why;
    BUFR_RADAR* bufr = loadBufrRadarFromBytes(data, size, root, &why);
    if (bufr == nullptr) {
        FUZZ_CHECK(!why.empty());
        return 0;
    }
    for (int d = 0; d < bufr->m_iMaxDataset; ++d) {
        const BUFR_DATASET* pDataset = bufr->m_ppDataset[d];
        FUZZ_CHECK(pDataset != nullptr && pDataset->m_iMaxData >= 1);
        for (int m = 0; m < pDataset->m_iMaxData; ++m) {
            const BUFR_DATA* pData = pDataset->m_ppData[m];
            FUZZ_CHECK(pData != nullptr && pData->m_ppData != nullptr);
            const BUFR_POLAR_WHERE& p = pData->m_where.m_polar_where;
            // Every cell of the announced shape is there to read.
            volatile float last = pData->m_ppData[p.m_nRays - 1][p.m_nBins - 1];
            (void)last;
        }
    }
    STD_RADAR* std = fnBufrSyncUpStd(bufr);
    FUZZ_CHECK(std == nullptr || fnValidStdRadar(std) == 1);
    fnFreeBufrRadar(bufr);
    fnFreeStdRadar(std);
    return 0;
}
