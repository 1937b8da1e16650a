// Feeds arbitrary bytes to the UF loader as a file (plain, or gzip when the bytes are),
// converts what loads and checks the volume is whole.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_check.h"
#include "uf_radar.h"

namespace {

// One in-memory file for the whole run, reached by its /proc path.
int memoryFile() {
    static const int fd = [] {
        const int f = memfd_create("uf_reader_fuzz", 0);
        if (f < 0) {
            std::perror("memfd_create");
            std::abort();
        }
        return f;
    }();
    return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int fd = memoryFile();
    FUZZ_CHECK(ftruncate(fd, 0) == 0 && pwrite(fd, data, size, 0) == static_cast<ssize_t>(size));
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    UF_RADAR* uf = fnLoadUf(path.c_str());
    if (uf == nullptr) {
        return 0;
    }
    STD_RADAR* std = fnUfSyncUpStd(uf);
    FUZZ_CHECK(std == nullptr || fnValidStdRadar(std) == 1);
    fnFreeUfRadar(uf);
    fnFreeStdRadar(std);
    return 0;
}
