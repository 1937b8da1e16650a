// Times the strike readers on one day's files (for bench/lgtview_bench.sh):
//   lgtview_read_day YYYYMMDD RUNS     (RDR_ROOT names the data tree)
// prints the median wall time of fnReadLgtDataNX1 into a reused array, of the visitor
// reader, and of fnReadLgtDataVYQ, with the number of strikes each read.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "lightning_input.h"

namespace {

template <class F>
double medianMs(int runs, F&& f) {
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        const auto a = std::chrono::steady_clock::now();
        f();
        t.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - a)
                        .count());
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s YYYYMMDD RUNS\n", argv[0]);
        return 2;
    }
    const std::string start = std::string(argv[1]) + "0000";
    const std::string end = std::string(argv[1]) + "2359";
    const int runs = std::max(1, std::atoi(argv[2]));
    constexpr int kMax = 400000;
    std::vector<LGT_NX1_DATA> nx1(kMax);
    std::vector<LGT_VYQ_DATA> vyq(kMax);
    int n = 0;
    const double array =
        medianMs(runs, [&] { n = fnReadLgtDataNX1(start.c_str(), end.c_str(), nx1.data(), kMax); });
    std::printf("NX1 into an array: %d strikes, median %.2f ms\n", n, array);
    int visited = 0;
    const double visit = medianMs(runs, [&] {
        visited = lgtVisitStrikesNX1(start.c_str(), end.c_str(),
                                     [](const LGT_NX1_DATA&) { return true; });
    });
    std::printf("NX1 visited: %d strikes, median %.2f ms\n", visited, visit);
    const double agency =
        medianMs(runs, [&] { n = fnReadLgtDataVYQ(start.c_str(), end.c_str(), vyq.data(), kMax); });
    std::printf("VYQ into an array: %d strikes, median %.2f ms\n", n, agency);
    return 0;
}
