// The child-process decode: results come back whole, and every way a library can fail in
// the child (crash, runaway allocation, endless loop, exit(), too much output) is a
// failure with its reason while the caller carries on with its signals and stdio intact.
#include "internal/isolated_decode.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr IsolationLimits kLimits = {std::size_t{256} << 20, 5, 20, std::size_t{16} << 20};

IsolatedResult run(const IsolatedDecode& decode, IsolationLimits limits = kLimits) {
    return runIsolatedDecode(decode, limits);
}

std::vector<unsigned char> pattern(std::size_t n) {
    std::vector<unsigned char> bytes(n);
    for (std::size_t i = 0; i < n; i++) {
        bytes[i] = static_cast<unsigned char>((i * 131) ^ (i >> 9));
    }
    return bytes;
}

TEST(IsolatedDecode, HandsBackTheChildsBytesOrItsRefusal) {
    // Several pipe-fulls in uneven writes: chunking must not lose or reorder a byte.
    const std::vector<unsigned char> expected = pattern((std::size_t{5} << 20) + 12345);
    const IsolatedResult decoded = run([&](IsolatedOutput& out) {
        std::size_t done = 0;
        for (std::size_t step = 1; done < expected.size(); step = step * 3 + 7) {
            const std::size_t n = std::min(step, expected.size() - done);
            if (!out.write(expected.data() + done, n)) {
                return IsolatedVerdict::kRefused;
            }
            done += n;
        }
        return IsolatedVerdict::kDecoded;
    });
    ASSERT_EQ(decoded.outcome, IsolatedResult::kDecoded) << decoded.failure;
    EXPECT_TRUE(decoded.bytes == expected);

    const IsolatedResult empty = run([](IsolatedOutput&) { return IsolatedVerdict::kDecoded; });
    EXPECT_EQ(empty.outcome, IsolatedResult::kDecoded);
    EXPECT_TRUE(empty.bytes.empty());

    const IsolatedResult refused = run([](IsolatedOutput& out) {
        out.write("partial", 7);
        return IsolatedVerdict::kRefused;
    });
    EXPECT_EQ(refused.outcome, IsolatedResult::kRefused);
    EXPECT_TRUE(refused.bytes.empty());
}

TEST(IsolatedDecode, CrashesLimitsAndStrayExitsAreFailuresWithTheirReason) {
    struct Case {
        const char* name;
        IsolatedDecode decode;
        IsolationLimits limits;
        const char* reason;  // start of the failure text
    };
    const Case cases[] = {
        {"segfault",
         [](IsolatedOutput& out) {
             out.write("x", 1);
             raise(SIGSEGV);
             return IsolatedVerdict::kDecoded;
         },
         kLimits, "killed by signal 11"},
        {"abort", [](IsolatedOutput&) -> IsolatedVerdict { std::abort(); }, kLimits,
         "killed by signal 6"},
        {"exit", [](IsolatedOutput&) -> IsolatedVerdict { std::exit(0); }, kLimits,
         "the library ended the process"},
        {"exception",
         [](IsolatedOutput&) -> IsolatedVerdict { throw std::runtime_error("library"); }, kLimits,
         "an unexpected exception"},
        {"endless loop",
         [](IsolatedOutput&) {
             for (;;) {
                 asm volatile("" ::: "memory");
             }
             return IsolatedVerdict::kDecoded;
         },
         {kLimits.addressSpaceBytes, 1, 20, kLimits.maxResultBytes},
         "CPU time limit of 1 s"},
        {"hang",
         [](IsolatedOutput&) {
             ::sleep(60);
             return IsolatedVerdict::kDecoded;
         },
         {kLimits.addressSpaceBytes, 5, 1, kLimits.maxResultBytes},
         "no result within 1 s"},
        {"too much output",
         [](IsolatedOutput& out) {
             const std::vector<unsigned char> block(1 << 20, 1);
             while (out.write(block.data(), block.size())) {
             }
             return IsolatedVerdict::kDecoded;
         },
         kLimits, "a result larger than 16777216 bytes"},
    };
    for (const Case& c : cases) {
        const auto start = std::chrono::steady_clock::now();
        const IsolatedResult result = run(c.decode, c.limits);
        EXPECT_EQ(result.outcome, IsolatedResult::kFailed) << c.name;
        EXPECT_EQ(result.failure.rfind(c.reason, 0), 0u) << c.name << ": " << result.failure;
        EXPECT_TRUE(result.bytes.empty() || result.outcome != IsolatedResult::kDecoded);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)) << c.name;
    }

    // Allocating without end stops at the budget (sanitizer builds die in their own
    // allocator instead of throwing, which is a failure just the same).
    const IsolatedResult runaway = run([](IsolatedOutput&) {
        std::vector<char*> blocks;
        for (;;) {
            char* block = new char[16 << 20];
            for (int i = 0; i < (16 << 20); i += 4096) {
                block[i] = 1;
            }
            blocks.push_back(block);
        }
        return IsolatedVerdict::kDecoded;
    });
    EXPECT_EQ(runaway.outcome, IsolatedResult::kFailed);
#if !defined(__SANITIZE_ADDRESS__)
    EXPECT_EQ(runaway.failure, "memory limit of 256 MiB reached");
#endif
}

TEST(IsolatedDecode, CallersStdioIsNeitherFlushedTwiceNorWrittenTo) {
    // Pending output in the caller's buffers would be written again by a child that
    // flushed them (exit() in a library); the child's own printing must not reach stdout.
    std::FILE* log = std::tmpfile();
    ASSERT_NE(log, nullptr);
    ASSERT_EQ(std::setvbuf(log, nullptr, _IOFBF, 4096), 0);
    std::fputs("caller line\n", log);
    ::testing::internal::CaptureStdout();
    std::fputs("caller stdout ", stdout);
    const IsolatedResult result = run([](IsolatedOutput&) -> IsolatedVerdict {
        std::puts("child stdout");
        std::fflush(stdout);
        std::exit(0);
    });
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(result.outcome, IsolatedResult::kFailed);
    EXPECT_EQ(out, "caller stdout ");
    std::fflush(log);
    std::rewind(log);
    char text[64] = {};
    const std::size_t n = std::fread(text, 1, sizeof(text) - 1, log);
    std::fclose(log);
    EXPECT_EQ(std::string(text, n), "caller line\n");
}

TEST(IsolatedDecode, UninitialisedMemoryInTheChildIsNotZero) {
    // A library that frees or follows an uninitialised pointer must fail every time, not
    // only when the heap happens to hold garbage.
    const IsolatedResult result = run([](IsolatedOutput& out) {
        // Blocks from the heap proper (glibc's per-thread cache below 1 KiB hands back its
        // blocks untouched, and large blocks are fresh zero pages).
        for (std::size_t size : {std::size_t{2000}, std::size_t{5000}, std::size_t{60000}}) {
            auto* p = static_cast<volatile unsigned char*>(std::malloc(size));
            const unsigned char first = p[0];
            const unsigned char last = p[size - 1];
            out.write(&first, 1);
            out.write(&last, 1);
        }
        return IsolatedVerdict::kDecoded;
    });
    ASSERT_EQ(result.outcome, IsolatedResult::kDecoded);
    ASSERT_EQ(result.bytes.size(), 6u);
#if !defined(__SANITIZE_ADDRESS__)
    for (unsigned char byte : result.bytes) {
        EXPECT_NE(byte, 0);
    }
#else
    // Sanitizer builds fill only the first bytes of an allocation, with their own pattern.
    EXPECT_NE(result.bytes[0], 0);
#endif
}

void quietCrashReporter(int) {
    _exit(0);
}

TEST(IsolatedDecode, CallersCrashHandlersDoNotRunInTheChild) {
    // A fuzzer or crash reporter in the caller catches SIGSEGV; in the child the fault
    // must stay a fault, not become a clean exit without a result.
    struct sigaction action {};
    struct sigaction previous {};
    action.sa_handler = quietCrashReporter;
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(sigaction(SIGSEGV, &action, &previous), 0);
    const IsolatedResult result = run([](IsolatedOutput&) {
        raise(SIGSEGV);
        return IsolatedVerdict::kDecoded;
    });
    sigaction(SIGSEGV, &previous, nullptr);
    EXPECT_EQ(result.outcome, IsolatedResult::kFailed);
    EXPECT_EQ(result.failure.rfind("killed by signal 11", 0), 0u) << result.failure;
}

volatile sig_atomic_t g_alarms = 0;
void countAlarm(int) {
    g_alarms = g_alarms + 1;
}

TEST(IsolatedDecode, InterruptedWaitsAndForeignReapingDoNotLoseTheResult) {
    // A caller's timer interrupts poll and read over and over (no SA_RESTART).
    struct sigaction action {};
    struct sigaction previous {};
    action.sa_handler = countAlarm;
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(sigaction(SIGALRM, &action, &previous), 0);
    struct itimerval every5ms {
        {0, 5000}, { 0, 5000 }
    };
    struct itimerval off {};
    ASSERT_EQ(setitimer(ITIMER_REAL, &every5ms, nullptr), 0);
    const std::vector<unsigned char> expected = pattern(3 << 20);
    const auto slowDecode = [&](IsolatedOutput& out) {
        ::usleep(100000);
        out.write(expected.data(), expected.size());
        return IsolatedVerdict::kDecoded;
    };
    const IsolatedResult interrupted = run(slowDecode);
    setitimer(ITIMER_REAL, &off, nullptr);
    sigaction(SIGALRM, &previous, nullptr);
    EXPECT_GT(g_alarms, 5);
    ASSERT_EQ(interrupted.outcome, IsolatedResult::kDecoded) << interrupted.failure;
    EXPECT_TRUE(interrupted.bytes == expected);

    // With SIGCHLD ignored the kernel reaps the child and its status is gone; the result
    // stands on its trailer.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(sigaction(SIGCHLD, &ignore, &previous), 0);
    const IsolatedResult unreaped = run(slowDecode);
    const IsolatedResult crashed = run([](IsolatedOutput&) -> IsolatedVerdict { std::abort(); });
    sigaction(SIGCHLD, &previous, nullptr);
    EXPECT_EQ(unreaped.outcome, IsolatedResult::kDecoded) << unreaped.failure;
    EXPECT_TRUE(unreaped.bytes == expected);
    EXPECT_EQ(crashed.outcome, IsolatedResult::kFailed);
}

}  // namespace
