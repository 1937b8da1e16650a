// Replays kept fuzz inputs through a fuzz target without libFuzzer, so that the corpus
// (seeds and every input that once failed) runs as a regression test in ordinary and
// sanitizer builds. Arguments are files or directories of files.
//
// An input fails when the target crashes, when one of its FUZZ_CHECKs does not hold (the
// process aborts naming the input), or when the target returns anything but 0: a kept input
// is never one the target rejects (-1).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) __attribute__((weak));

namespace {

bool replay(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "replay: cannot read %s\n", path.c_str());
        return false;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    const std::string name = path.string();
    g_fuzz_input_name = name.c_str();
    // A copy of exactly the input's size, so that reads past its end show under ASan.
    std::vector<uint8_t> exact(bytes);
    const int rc = LLVMFuzzerTestOneInput(exact.data(), exact.size());
    g_fuzz_input_name = "";
    if (rc != 0) {
        std::fprintf(stderr, "replay: %s: the target returned %d\n", name.c_str(), rc);
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (LLVMFuzzerInitialize != nullptr) {
        LLVMFuzzerInitialize(&argc, &argv);
    }
    std::vector<std::filesystem::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path arg(argv[i]);
        if (std::filesystem::is_directory(arg)) {
            for (const auto& entry : std::filesystem::directory_iterator(arg)) {
                if (entry.is_regular_file()) {
                    inputs.push_back(entry.path());
                }
            }
        } else {
            inputs.push_back(arg);
        }
    }
    // A fixed order, so that a failure replays the same way every time.
    std::sort(inputs.begin(), inputs.end());
    int failures = 0;
    for (const auto& path : inputs) {
        if (!replay(path)) {
            ++failures;
        }
    }
    std::printf("replayed %zu inputs, %d failed\n", inputs.size(), failures);
    return failures == 0 && !inputs.empty() ? 0 : 1;
}
