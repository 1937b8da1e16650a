// Arbitrary map-line text through the clipping reader, for every map index rule.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bln_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = [] {
        const char* tmp = std::getenv("TMPDIR");
        return std::string(tmp != nullptr ? tmp : "/tmp") + "/bln_file_fuzz." +
               std::to_string(getpid());
    }();
    FILE* in = std::fopen(path.c_str(), "wb");
    if (in == nullptr)
        return 0;
    std::fwrite(data, 1, size, in);
    std::fclose(in);

    FILE* out = std::fopen("/dev/null", "wb");
    if (out == nullptr)
        return 0;
    BLN_AZED_MAP map = fnBlnSiteMap(126.966110f, 37.441944f);
    int mapIndex = size > 0 ? data[0] % 4 : 0;
    bln_file(out, mapIndex, path.c_str(), 1000, 1000, &map);
    std::fclose(out);
    return 0;
}
