// Times the strike readers on one day's files (for bench/lgtview_bench.sh):
//   lgtview_read_day YYYYMMDD RUNS     (RDR_ROOT names the data tree)
// prints the median CPU time of fnReadLgtDataNX1 into a reused array, of the visitor
// reader, and of fnReadLgtDataVYQ, with the number of strikes each read.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "lightning_input.h"

namespace {

template <class F>
double medianMs(int runs, F&& f) {
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        // CPU time of the process: the machine is shared, wall time is not ours alone.
        timespec a{}, b{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &a);
        f();
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &b);
        t.push_back((b.tv_sec - a.tv_sec) * 1e3 + (b.tv_nsec - a.tv_nsec) / 1e6);
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
