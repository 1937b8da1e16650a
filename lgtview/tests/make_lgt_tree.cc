// Writes lightning data trees for lgtview:
//   lgtview_fixture_tree ROOT
//       the web test's strikes (lv_fixture.h) in both layouts, the NX1 day in CRLF
//   lgtview_fixture_tree ROOT --day YYYYMMDD --strikes N [--dup-percent P]
//       a day of N NX1 strike lines (P percent of them repeats of earlier identifiers) and
//       the same strikes in the agency layout, around the cells of a squall line that runs
//       from south-south-west to north-north-east about 50 km east of the Gwanaksan radar
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "lv_fixture.h"
#include "testing/lightning_fixture.h"

namespace {

constexpr double kSiteLat = 37.4439;
constexpr double kSiteLon = 126.9639;
constexpr double kKmPerDegLat = 111.2;

unsigned long long g_state = 0x2545F4914F6CDD1DULL;
double uniform() {
    g_state ^= g_state << 13;
    g_state ^= g_state >> 7;
    g_state ^= g_state << 17;
    return static_cast<double>(g_state >> 11) / 9007199254740992.0;
}

void fixtureTree(const std::filesystem::path& root) {
    std::vector<std::string> nx1, vyq;
    for (const lv_fixture::Strike& f : lv_fixture::kStrikes) {
        lgt_test::Strike s;
        s.time = f.time;
        s.id = f.id;
        s.lon = f.lon;
        s.lat = f.lat;
        s.impact = f.impact;
        s.type = f.type;
        char flash[16];
        std::snprintf(flash, sizeof flash, "F%d", f.id);
        s.flash = flash;
        const std::string day = s.time.substr(0, 8);
        // Each day's lines go to that day's file.
        const auto nx1File = lgt_test::dailyFile(root, "NX1", day);
        const auto vyqFile = lgt_test::dailyFile(root, "VYQ", day);
        std::filesystem::create_directories(nx1File.parent_path());
        std::FILE* out = std::fopen(nx1File.c_str(), "ab");
        std::fprintf(out, "%s\r\n", lgt_test::nx1Line(s).c_str());
        std::fclose(out);
        if (f.inVyq) {
            out = std::fopen(vyqFile.c_str(), "ab");
            std::fprintf(out, "%s\n", lgt_test::vyqLine(s).c_str());
            std::fclose(out);
        }
    }
}

// The province list and one day's statistics for LGTAREA's table.
void areaStatistics(const std::filesystem::path& root) {
    lgt_test::writeLines(
        root / "DATA/OUTPUT/BIN/BASI/LGT_VYQ_BASI_AREA.txt",
        {"5 3 2", "Gyeonggi 41", "Gangwon 42", "Chungbuk 43", "Suwon 41110", "Chuncheon 42110"});
    lgt_test::writeStats(
        lgt_test::statsFile(root, 'D', std::string(lv_fixture::kEnd, 8)), 3,
        {{41, 7, -80.5, 45.0f, -12.0f}, {42, 3, 10.0, 20.0f, -5.0f}, {43, 0, 0.0, 0.0f, 0.0f}});
}

void squallDay(const std::filesystem::path& root, const std::string& day, int strikes,
               int dupPercent) {
    // Cells along the line, as the demo volume places them (km east and north of the radar).
    const double ax = 25, ay = -170, bx = 125, by = 150;
    std::vector<lgt_test::Strike> list;
    list.reserve(strikes);
    int nextId = 100000000;
    for (int i = 0; i < strikes; ++i) {
        lgt_test::Strike s;
        const int minuteOfDay = static_cast<int>(static_cast<long long>(i) * 1440 / strikes);
        char t[16];
        std::snprintf(t, sizeof t, "%s%02d%02d", day.c_str(), minuteOfDay / 60, minuteOfDay % 60);
        s.time = t;
        if (i > 0 && uniform() * 100.0 < dupPercent) {
            s = list[static_cast<size_t>(uniform() * static_cast<double>(list.size()))];
            list.push_back(s);
            continue;
        }
        s.id = nextId++;
        // The line drifts east through the day; strikes cluster on its eleven cells.
        const double cell = std::floor(uniform() * 11.0);
        const double along = 0.04 + 0.092 * cell;
        const double drift = 40.0 * minuteOfDay / 1440.0 - 20.0;
        const double r = 8.0 * std::sqrt(uniform());
        const double a = 6.283185307179586 * uniform();
        const double x = ax + (bx - ax) * along + drift + r * std::cos(a);
        const double y = ay + (by - ay) * along + r * std::sin(a);
        s.lat = static_cast<float>(kSiteLat + y / kKmPerDegLat);
        s.lon = static_cast<float>(
            kSiteLon + x / (kKmPerDegLat * std::cos(kSiteLat * 3.141592653589793 / 180)));
        const double current = 5.0 + 60.0 * std::pow(uniform(), 3.0);
        s.impact = static_cast<float>(uniform() < 0.85 ? -current : current);
        s.type = uniform() < 0.1 ? 'C' : 'G';
        s.sensors = 3 + static_cast<int>(uniform() * 8);
        s.flash = std::to_string(200000000 + s.id);
        list.push_back(s);
    }
    std::vector<std::string> nx1, vyq;
    nx1.reserve(list.size());
    vyq.reserve(list.size());
    for (const lgt_test::Strike& s : list) {
        nx1.push_back(lgt_test::nx1Line(s));
        vyq.push_back(lgt_test::vyqLine(s));
    }
    lgt_test::writeLines(lgt_test::dailyFile(root, "NX1", day), nx1);
    lgt_test::writeLines(lgt_test::dailyFile(root, "VYQ", day), vyq);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s ROOT [--day YYYYMMDD --strikes N [--dup-percent P]]\n",
                     argv[0]);
        return 2;
    }
    const std::filesystem::path root = argv[1];
    std::string day;
    int strikes = 0;
    int dup = 0;
    for (int i = 2; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--day") == 0) {
            day = argv[i + 1];
        } else if (std::strcmp(argv[i], "--strikes") == 0) {
            strikes = std::atoi(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--dup-percent") == 0) {
            dup = std::atoi(argv[i + 1]);
        }
    }
    if (day.empty()) {
        fixtureTree(root);
        areaStatistics(root);
    } else if (day.size() == 8 && strikes > 0) {
        squallDay(root, day, strikes, dup);
    } else {
        std::fprintf(stderr, "%s: --day YYYYMMDD and --strikes N > 0\n", argv[0]);
        return 2;
    }
    return 0;
}
