// Feeds arbitrary bytes to the ODIM_H5 volume loader as a file and converts what loads.
// libhdf5 reads in the loader's child process, so a library failure on a damaged file must
// come back as a refusal with a message, never take this process down; what loads must
// convert into a whole volume.

#include <cstdint>

#include "fuzz_check.h"
#include "fuzz_scratch_file.h"
#include "hdf_radar.h"
#include "internal/odim_file_image.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setOdimIsolationLimits(fuzzChildLimits(odimIsolationLimits()));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* szPath = fuzzInputFile("hdf_reader_fuzz", data, size);
    HDF_RADAR* hdf = fnLoadHdfRadar(szPath);
    if (hdf == nullptr) {
        return 0;
    }
    FUZZ_CHECK(hdf->m_iMaxDataset >= 1 && hdf->m_ppDataset != nullptr);
    for (int d = 0; d < hdf->m_iMaxDataset; ++d) {
        const HDF_DATASET* dataset = hdf->m_ppDataset[d];
        FUZZ_CHECK(dataset != nullptr && dataset->m_iMaxData >= 1);
        const HDF_POLAR_WHERE& where = dataset->m_where.m_polar_where;
        FUZZ_CHECK(where.m_nRays >= 1 && where.m_nBins >= 1 && where.m_lA1gate >= 0 &&
                   where.m_lA1gate < where.m_nRays);
    }
    STD_RADAR* std = fnHdfSyncUpStd(hdf);
    FUZZ_CHECK(std != nullptr && fnValidStdRadar(std) == 1);
    fnFreeHdfRadar(hdf);
    fnFreeStdRadar(std);
    return 0;
}
