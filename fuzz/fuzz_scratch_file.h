// What the fuzz targets of file readers share: one real scratch file per run holding the
// current input (libhdf5 opens files by name and does not open a memfd through its /proc
// path), and the limits of a reader's isolated child, tight enough that a file on which a
// library loops is the child's timeout (a refusal), not the fuzzer's.
#ifndef FUZZ_FUZZ_SCRATCH_FILE_H
#define FUZZ_FUZZ_SCRATCH_FILE_H

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_check.h"
#include "internal/isolated_decode.h"

namespace fuzz_internal {

struct ScratchFile {
    std::string path;
    int fd = -1;
};

// Never destroyed, so that the exit handler that removes the file can still read its path.
inline const ScratchFile& scratchFile(const char* szName) {
    static const ScratchFile* const file = [szName] {
        const char* dir = std::getenv("TMPDIR");
        auto* f = new ScratchFile;
        f->path =
            std::string(dir != nullptr && dir[0] != '\0' ? dir : "/tmp") + "/" + szName + ".XXXXXX";
        f->fd = mkstemp(f->path.data());
        if (f->fd < 0) {
            std::perror("mkstemp");
            std::abort();
        }
        std::atexit([] { unlink(scratchFile(nullptr).path.c_str()); });
        return f;
    }();
    return *file;
}

}  // namespace fuzz_internal

// Writes the input into the run's scratch file (named after szName) and returns its path.
inline const char* fuzzInputFile(const char* szName, const uint8_t* data, size_t size) {
    const fuzz_internal::ScratchFile& file = fuzz_internal::scratchFile(szName);
    FUZZ_CHECK(ftruncate(file.fd, 0) == 0 &&
               pwrite(file.fd, data, size, 0) == static_cast<ssize_t>(size));
    return file.path.c_str();
}

// A reader's child limits for fuzzing: 1 GiB, 3 s of CPU, 6 s in all.
inline IsolationLimits fuzzChildLimits(IsolationLimits limits) {
    limits.addressSpaceBytes = std::size_t{1} << 30;
    limits.cpuSeconds = 3;
    limits.wallSeconds = 6;
    return limits;
}

#endif
