// The site engine's VIL as siteview makes it (513 x 513 cells over 240 km, 1 km layers from
// 0 to 15 km): threaded (fnVolumeToVIL: CAPPI workers four at a time, then two summing
// workers) against the same work done one worker after another on the calling thread.
// Wall time; tools/bench.sh runs this binary on two cores. Volumes: a synthetic 10-sweep x
// 360-ray x 480-bin volume with three convective cores in a stratiform shield, written by
// the site engine's test writer, and the real KLIX volume when ../shared/data is there.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "owned_handle.h"
#include "site_cartesian_products.h"
#include "synthetic_storm.h"
#include "testing/site_uf_writer.h"

namespace {

constexpr int kCells = 513;
constexpr int kRangeKm = 240;
constexpr int kTopKm = 15;

using FreeDeleter = rdr::ReleaseWith<rdr::freeMemory>;

struct Site {
    std::unique_ptr<ST_UF_DATA, FreeDeleter> uf;
    std::vector<std::unique_ptr<st_Azimuth, FreeDeleter>> owned;
    std::vector<st_Azimuth*> tables;

    explicit Site(const std::string& path) {
        uf.reset(fnReadUfFile(path.c_str(), "DZ", 0.0f));
        for (int s = 0; uf != nullptr && s < uf->m_nSweeps; ++s) {
            owned.emplace_back(fnMakeHashTable(uf.get(), s));
            tables.push_back(owned.back().get());
        }
    }
};

Site& synthetic() {
    static Site site = [] {
        site_test::UfLayout layout;
        layout.elevations = {0.5f, 1.5f, 2.4f, 3.4f, 4.3f, 6.0f, 8.0f, 11.0f, 15.0f, 19.5f};
        layout.gates = 480;
        layout.gateM = 500;
        layout.value = [&layout](int s, float az, double rangeM, const std::string&) {
            const double elev = layout.elevations[static_cast<size_t>(s)] * M_PI / 180.0;
            const double r = rangeM / 1000.0;
            const double ground = r * std::cos(elev);
            const double z = r * std::sin(elev) + r * r / (2 * 8494.67836);
            const double a = az * M_PI / 180.0;
            const double dbz = syntheticDbz(ground * std::sin(a), ground * std::cos(a), z);
            return dbz < 5 ? std::nanf("") : static_cast<float>(dbz);
        };
        char path[] = "/tmp/display_bench_vil.XXXXXX";
        const int fd = mkstemp(path);
        if (fd >= 0) {
            close(fd);
        }
        const bool written =
            fd >= 0 && site_test::writeBytes(path, site_test::encodeUf(layout).bytes);
        Site s(written ? path : "");
        std::remove(path);
        return s;
    }();
    return site;
}

Site& klix() {
    static Site site(std::string(RDR_SHARED_DATA_DIR) + "/uf/KLIX20050828_180149_rsl.uf");
    return site;
}

using Source = Site& (*)();

void vilThreaded(benchmark::State& state, Source source) {
    Site& site = source();
    if (site.uf == nullptr) {
        state.SkipWithError("volume not available");
        return;
    }
    for (auto _ : state) {
        float* vil =
            fnVolumeToVIL(site.uf.get(), kCells, kCells, kRangeKm, kTopKm, 0, site.tables.data());
        benchmark::DoNotOptimize(vil);
        std::free(vil);
    }
}

void vilSerial(benchmark::State& state, Source source) {
    Site& site = source();
    if (site.uf == nullptr) {
        state.SkipWithError("volume not available");
        return;
    }
    for (auto _ : state) {
        std::vector<float*> levels(kTopKm, nullptr);
        for (int i = 0; i < kTopKm; ++i) {
            st_VilCappiThrArg arg{site.uf.get(), i, site.tables.data(), kCells, kCells, kRangeKm,
                                  nullptr,       i, levels.data()};
            fnMakeCappiThread(&arg);
        }
        const int cells = kCells * kCells;
        float* vil = static_cast<float*>(std::malloc(sizeof(float) * cells));
        std::fill_n(vil, cells, SITE_NO_DATA);
        st_VilThrArg all{levels.data(), kTopKm, 0, cells, vil};
        fnMakeVilThread(&all);
        benchmark::DoNotOptimize(vil);
        std::free(vil);
        for (float* g : levels) {
            std::free(g);
        }
    }
}

}  // namespace

BENCHMARK_CAPTURE(vilSerial, synthetic, &synthetic)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(vilThreaded, synthetic, &synthetic)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(vilSerial, klix, &klix)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(vilThreaded, klix, &klix)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
