// Feeds arbitrary bytes to the ODIM_H5 volume loader as a file and converts what loads.
// libhdf5 reads in the loader's child process, so a library failure on a damaged file must
// come back as a refusal with a message, never take this process down; what loads must
// convert into a whole volume.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_check.h"
#include "hdf_radar.h"
#include "internal/isolated_decode.h"
#include "internal/odim_file_image.h"

namespace {

// One scratch file for the whole run; libhdf5 does not open a memfd through its /proc path.
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
                  "/hdf_reader_fuzz.XXXXXX";
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

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    IsolationLimits limits = odimIsolationLimits();
    limits.addressSpaceBytes = std::size_t{1} << 30;
    limits.cpuSeconds = 3;
    limits.wallSeconds = 6;
    setOdimIsolationLimits(limits);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const ScratchFile& file = scratchFile();
    FUZZ_CHECK(ftruncate(file.fd, 0) == 0 &&
               pwrite(file.fd, data, size, 0) == static_cast<ssize_t>(size));
    HDF_RADAR* hdf = fnLoadHdfRadar(file.path.c_str());
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
