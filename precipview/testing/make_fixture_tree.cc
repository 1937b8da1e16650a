// Adds the data of one analysis time to a resource tree, for the web-server test and the
// benchmark: precipview_fixture_tree ROOT YYYYMMDDHHMI
//   analysis file at the time (pattern grids), none five minutes later, a truncated file ten
//   minutes earlier, a 100-byte file twenty minutes earlier; the fixture station lists and
//   15 minutes of their observations around the time.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "pv_fixtures.h"
#include "time_seq.h"

int main(int argc, char** argv) {
    if (argc != 3 || std::strlen(argv[2]) != 12) {
        std::fprintf(stderr, "usage: %s ROOT YYYYMMDDHHMI\n", argv[0]);
        return 2;
    }
    int v[5];
    const int widths[5] = {4, 2, 2, 2, 2};
    const char* p = argv[2];
    for (int k = 0; k < 5; k++) {
        char buf[5] = {0};
        std::memcpy(buf, p, static_cast<size_t>(widths[k]));
        v[k] = std::atoi(buf);
        p += widths[k];
    }
    try {
        const std::string root = argv[1];
        pvtest::writeAnalysis(root, v[0], v[1], v[2], v[3], v[4], pvtest::patternGrids());
        int seq = time2seq(v[0], v[1], v[2], v[3], v[4], 'm');
        int t[5];
        seq2time(seq - 10, &t[0], &t[1], &t[2], &t[3], &t[4], 'm', 'n');
        pvtest::writeAnalysis(root, t[0], t[1], t[2], t[3], t[4], pvtest::patternGrids(),
                              64 + 5000);
        seq2time(seq - 20, &t[0], &t[1], &t[2], &t[3], &t[4], 'm', 'n');
        pvtest::writeFile(pvtest::analysisPath(root, t[0], t[1], t[2], t[3], t[4]),
                          std::string(100, 'x'));
        auto stations = pvtest::fixtureStations();
        pvtest::writeStationLists(root, stations);
        pvtest::writeAwsMinutes(
            root, pvtest::fixtureObservations(stations, v[0], v[1], v[2], v[3], v[4]));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "precipview_fixture_tree: %s\n", e.what());
        return 1;
    }
    return 0;
}
