// A fuzz target that fails on purpose, for the tests of the replay driver: an input starting
// with "check" breaks a FUZZ_CHECK, one starting with "reject" is rejected (-1).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    if (input.substr(0, 6) == "reject") {
        return -1;
    }
    FUZZ_CHECK(input.substr(0, 5) != "check");
    return 0;
}
