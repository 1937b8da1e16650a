// Feeds arbitrary bytes to the CF/Radial loader as a file, converts what loads and checks
// the volume is whole. Classic files are read in this process after their header check;
// NetCDF-4 (HDF5) files in the loader's child process, so a libhdf5 failure on a damaged
// file must come back as a refusal, never take this process down.

#include <cstdint>

#include "fuzz_check.h"
#include "fuzz_scratch_file.h"
#include "internal/netcdf_volume_input.h"
#include "nc_radar.h"

// The loader's child gets a few seconds, so that a file on which libhdf5 loops is the
// child's timeout (a refusal), not the fuzzer's.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setNcIsolationLimits(fuzzChildLimits(ncIsolationLimits()));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* szPath = fuzzInputFile("netcdf_reader_fuzz", data, size);
    NC_RADAR* nc = fnLoadNcRadar(szPath);
    if (nc == nullptr) {
        return 0;
    }
    FUZZ_CHECK(nc->m_iMaxMoment >= 0 && nc->m_iMaxMoment <= NC_MAX_MOMENT);
    STD_RADAR* std = fnNcSyncUpStd(nc);
    FUZZ_CHECK(std == nullptr || fnValidStdRadar(std) == 1);
    fnFreeNcRadar(nc);
    fnFreeStdRadar(std);
    return 0;
}
