// What a fuzz target asserts about its input. FUZZ_CHECK stays active in every build type
// (unlike assert), so a kept corpus replayed in a Release build fails on a broken property,
// not only on a crash. The message names the condition, the place and, when the replay
// driver runs the target, the input file (libFuzzer writes its own crash input).
#ifndef FUZZ_FUZZ_CHECK_H
#define FUZZ_FUZZ_CHECK_H

#include <cstdio>
#include <cstdlib>

// Path of the input being replayed; set by the replay driver, empty under libFuzzer.
inline const char* g_fuzz_input_name = "";

[[noreturn]] inline void fuzz_check_failed(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: fuzz check failed: %s\n", file, line, condition);
    if (g_fuzz_input_name[0] != '\0') {
        std::fprintf(stderr, "input: %s\n", g_fuzz_input_name);
    }
    std::fflush(stderr);
    std::abort();
}

#define FUZZ_CHECK(condition)                                  \
    do {                                                       \
        if (!(condition)) {                                    \
            fuzz_check_failed(#condition, __FILE__, __LINE__); \
        }                                                      \
    } while (false)

#endif
