// PPI of one sweep of a full-size volume: 10 sweeps x 360 rays x 1000 bins x 6 moments,
// 1000 x 1000 cells of 1 km out to 500 km (target: at most 20 ms on one core).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>

#include "core_utilities.h"
#include "ppi_grid.h"
#include "ray_lookup.h"
#include "standard_volume.h"
#include "synthetic_volume.h"

namespace {

constexpr int kSweeps = 10;
constexpr int kRays = 360;
constexpr int kBins = 1000;
constexpr int kGrid = 1000;
constexpr float kGridKm = 1.0f;
constexpr float kMaxRangeKm = 500.0f;

// Storm-like reflectivity: bands in range modulated by azimuth, some empty bins.
rdrtest::StdRadarPtr makeVolume() {
    rdrtest::VolumeShape shape =
        rdrtest::uniformVolume(kSweeps, kRays, kBins, {"DZ", "VR", "SW", "DR", "PH", "RH"});
    for (rdrtest::SweepShape& sweep : shape.sweeps) {
        sweep.binSpacingM = 500;  // 500 km of bins
    }
    shape.value = [](int s, int r, int b, int f) -> short {
        const double v = 30.0 + 25.0 * std::sin(b * 0.02 + s) * std::cos(r * 0.05 + f);
        return v < 5.0 ? STD_NO_DATA_CODE : static_cast<short>(v * 100.0);
    };
    return rdrtest::buildVolume(shape);
}

rdrtest::StdRadarPtr& volume() {
    static rdrtest::StdRadarPtr vol = makeVolume();
    return vol;
}

void BM_CreatePpi(benchmark::State& state) {
    STD_RADAR* vol = volume().get();
    const int sweep = static_cast<int>(state.range(0));
    STD_AZIMUTH_TBL* table = fnMakeRayHashTable(vol->m_ppSweep[sweep]);
    for (auto _ : state) {
        float* grid = fnCreatePPI(vol, sweep, kGrid, kGrid, kMaxRangeKm, kGridKm, "RH", table);
        benchmark::DoNotOptimize(grid);
        std::free(grid);
    }
    std::free(table);
    state.counters["cells"] = kGrid * kGrid;
}
BENCHMARK(BM_CreatePpi)->Arg(0)->Arg(9)->Unit(benchmark::kMillisecond);

void BM_HashTables(benchmark::State& state) {
    STD_RADAR* vol = volume().get();
    for (auto _ : state) {
        STD_AZIMUTH_TBL** tables = fnMakeAllHashTable(vol);
        benchmark::DoNotOptimize(tables);
        fnFreeMatrix2D(reinterpret_cast<void**>(tables), vol->m_iMaxSweep);
    }
}
BENCHMARK(BM_HashTables)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
