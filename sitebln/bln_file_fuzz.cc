// Arbitrary map-line text through the clipping reader, for every map index rule. Whatever
// the input, the output must split into whole runs of two points or more, lying in the box
// and typed as the map index requires.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bln_file.h"
#include "bln_test_support.h"
#include "fuzz_check.h"

namespace {

constexpr int kBox = 1000;
// Crossing points are computed in float: allow their rounding, nothing more.
constexpr float kBorderSlack = 1e-2f;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = [] {
        const char* tmp = std::getenv("TMPDIR");
        return std::string(tmp != nullptr ? tmp : "/tmp") + "/bln_file_fuzz." +
               std::to_string(getpid());
    }();
    FILE* in = std::fopen(path.c_str(), "wb");
    FUZZ_CHECK(in != nullptr);
    FUZZ_CHECK(std::fwrite(data, 1, size, in) == size);
    FUZZ_CHECK(std::fclose(in) == 0);

    char* written = nullptr;
    size_t writtenSize = 0;
    FILE* out = open_memstream(&written, &writtenSize);
    FUZZ_CHECK(out != nullptr);
    BLN_AZED_MAP map = fnBlnSiteMap(126.966110f, 37.441944f);
    const int mapIndex = size > 0 ? data[0] % 4 : 0;
    const int rc = bln_file(out, mapIndex, path.c_str(), kBox, kBox, &map);
    FUZZ_CHECK(std::fclose(out) == 0);
    const std::string bytes(written, writtenSize);
    std::free(written);
    std::remove(path.c_str());

    FUZZ_CHECK(rc == 0);
    bool whole = false;
    const auto runs = blntest::parseRuns(bytes, &whole);
    FUZZ_CHECK(whole);
    for (const auto& run : runs) {
        FUZZ_CHECK(run.points.size() >= 2);
        FUZZ_CHECK(mapIndex != kBlnRiverMap || run.type == 3);
        FUZZ_CHECK(mapIndex != kBlnFineMap || run.type != kBlnFineType);
        for (const auto& p : run.points) {
            FUZZ_CHECK(p.x >= -kBorderSlack && p.x <= kBox + kBorderSlack);
            FUZZ_CHECK(p.y >= -kBorderSlack && p.y <= kBox + kBorderSlack);
        }
    }
    return 0;
}
