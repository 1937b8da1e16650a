// Feeds arbitrary bytes to the CF/Radial loader as a file, converts what loads and checks
// the volume is whole. Classic files are read in this process after their header check;
// NetCDF-4 (HDF5) files in the loader's child process, so a libhdf5 failure on a damaged
// file must come back as a refusal, never take this process down.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_check.h"
#include "internal/netcdf_volume_input.h"
#include "nc_radar.h"

namespace {

// One scratch file for the whole run. A real file, not an in-memory one: libhdf5 does not
// open a memfd through its /proc path.
struct ScratchFile {
    std::string path;
    int fd = -1;
};

// Never destroyed, so that the exit handler that removes the file can still read its path.
const ScratchFile& scratchFile() {
    static const ScratchFile* const file = [] {
        const char* dir = std::getenv("TMPDIR");
        auto* f = new ScratchFile;
        f->path = std::string(dir != nullptr && dir[0] != '\0' ? dir : "/tmp") +
                  "/netcdf_reader_fuzz.XXXXXX";
        f->fd = mkstemp(f->path.data());
        if (f->fd < 0) {
            std::perror("mkstemp");
            std::abort();
        }
        std::atexit([] { unlink(scratchFile().path.c_str()); });
        return f;
    }();
    return *file;
}

}  // namespace

// The loader's child gets a few seconds, so that a file on which libhdf5 loops is the
// child's timeout (a refusal), not the fuzzer's.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    IsolationLimits limits = ncIsolationLimits();
    limits.addressSpaceBytes = std::size_t{1} << 30;
    limits.cpuSeconds = 3;
    limits.wallSeconds = 6;
    setNcIsolationLimits(limits);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const ScratchFile& file = scratchFile();
    FUZZ_CHECK(ftruncate(file.fd, 0) == 0 &&
               pwrite(file.fd, data, size, 0) == static_cast<ssize_t>(size));
    NC_RADAR* nc = fnLoadNcRadar(file.path.c_str());
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
