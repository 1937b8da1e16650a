// Volume products on one core: 1000 x 1000 grids of 1 km from a 14-sweep x 360-ray x
// 1000-bin synthetic volume with convective and stratiform echo, and from the real
// 14-sweep KLIX UF volume. Each benchmark also reports the peak resident memory added
// while the product was made (peak_MB).
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "cappi_product.h"
#include "column_products.h"
#include "core_utilities.h"
#include "synthetic_storm.h"
#include "synthetic_volume.h"
#include "uf_radar.h"
#include "vil_product.h"

namespace {

constexpr int kDim = 1000;
constexpr float kGridKm = 1.0f;
constexpr float kMaxRangeKm = 500.0f;

// Resident-set high-water mark in kB since the last reset.
long residentKb(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key, 0) == 0) {
            return std::atol(line.c_str() + std::strlen(key));
        }
    }
    return 0;
}

void resetPeak() {
    if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
}

rdrtest::StdRadarPtr syntheticVolume() {
    static const float kElevations[14] = {0.5f, 1.5f, 2.4f,  3.4f,  4.3f,  5.3f,  6.2f,
                                          7.5f, 8.7f, 10.0f, 12.0f, 14.0f, 16.7f, 19.5f};
    rdrtest::VolumeShape shape = rdrtest::uniformVolume(14, 360, 1000, {"DZ", "VR"});
    for (int s = 0; s < 14; ++s) {
        shape.sweeps[s].elevation = kElevations[s];
        shape.sweeps[s].binSpacingM = 500;
    }
    shape.value = [](int s, int r, int b, int f) -> short {
        const double rangeKm = (b + 0.5) * 0.5;
        const double elev = kElevations[s] * M_PI / 180;
        const double az = (r + 0.5) * M_PI / 180;
        const double ground = rangeKm * std::cos(elev);
        const double z = rangeKm * std::sin(elev) + rangeKm * rangeKm / (2 * 8494.67836);
        if (f == 1) {
            return static_cast<short>(100 * 20 * std::sin(az));
        }
        const double dbz = syntheticDbz(ground * std::sin(az), ground * std::cos(az), z);
        return dbz < 5 ? STD_NO_DATA_CODE : static_cast<short>(dbz * 100);
    };
    rdrtest::StdRadarPtr vol = rdrtest::buildVolume(shape);
    vol->m_hdr.m_fBeamWidthH = 1.0f;
    vol->m_hdr.m_fBeamWidthV = 1.0f;
    vol->m_hdr.m_iAnteHeight = 100;
    return vol;
}

rdrtest::StdRadarPtr klixVolume() {
    const std::string path = std::string(RDR_SHARED_DATA_DIR) + "/uf/KLIX20050828_180149_rsl.uf";
    UF_RADAR* uf = fnLoadUf(path.c_str());
    if (uf == nullptr) {
        return nullptr;
    }
    rdrtest::StdRadarPtr vol(fnUfSyncUpStd(uf));
    fnFreeUfRadar(uf);
    return vol;
}

struct Volume {
    rdrtest::StdRadarPtr radar;
    STD_AZIMUTH_TBL** tables = nullptr;
    explicit Volume(rdrtest::StdRadarPtr v) : radar(std::move(v)) {
        if (radar) {
            tables = fnMakeAllHashTable(radar.get());
        }
    }
    ~Volume() {
        if (radar) {
            fnFreeMatrix2D(reinterpret_cast<void**>(tables), radar->m_iMaxSweep);
        }
    }
};

Volume& synthetic() {
    static Volume v(syntheticVolume());
    return v;
}

Volume& klix() {
    static Volume v(klixVolume());
    return v;
}

char* dz() {
    static char name[] = "DZ";
    return name;
}

using VolumeSource = Volume& (*)();

template <typename Make>
void runProduct(benchmark::State& state, VolumeSource source, Make make) {
    Volume& volume = source();
    if (!volume.radar || volume.tables == nullptr) {
        state.SkipWithError("volume not available");
        return;
    }
    long peakKb = 0;
    for (auto _ : state) {
        resetPeak();
        const long before = residentKb("VmRSS:");
        float* grid = make(volume.radar.get(), volume.tables);
        peakKb = std::max(peakKb, residentKb("VmHWM:") - before);
        if (grid == nullptr) {
            state.SkipWithError("product failed");
            return;
        }
        benchmark::DoNotOptimize(grid);
        std::free(grid);
    }
    state.counters["peak_MB"] = peakKb / 1024.0;
    state.counters["sweeps"] = volume.radar->m_iMaxSweep;
}

void cappiReal(benchmark::State& state, VolumeSource v) {
    runProduct(state, v, [](STD_RADAR* p, STD_AZIMUTH_TBL** t) {
        return fnCreateCappiReal(p, 3.0f, kDim, kDim, kMaxRangeKm, kGridKm, dz(), t);
    });
}
void cappiMohr(benchmark::State& state, VolumeSource v) {
    runProduct(state, v, [](STD_RADAR* p, STD_AZIMUTH_TBL** t) {
        return fnCreateCappiMohr(p, 3.0f, kDim, kDim, kMaxRangeKm, kGridKm, RDR_EN_PSEUDO_CAPPI, 0,
                                 dz(), t);
    });
}
void vil(benchmark::State& state, VolumeSource v) {
    runProduct(state, v, [](STD_RADAR* p, STD_AZIMUTH_TBL** t) {
        return fnCreateVil(p, kDim, kDim, kMaxRangeKm, kGridKm, 16, 1, dz(), t);
    });
}
void base(benchmark::State& state, VolumeSource v) {
    runProduct(state, v, [](STD_RADAR* p, STD_AZIMUTH_TBL** t) {
        return fnCreateBase(p, kDim, kDim, kMaxRangeKm, kGridKm, dz(), t);
    });
}
void cmax(benchmark::State& state, VolumeSource v) {
    runProduct(state, v, [](STD_RADAR* p, STD_AZIMUTH_TBL** t) {
        return fnCreateCmax(p, kDim, kDim, kMaxRangeKm, kGridKm, dz(), t);
    });
}
void etop(benchmark::State& state, VolumeSource v) {
    runProduct(state, v, [](STD_RADAR* p, STD_AZIMUTH_TBL** t) {
        return fnCreateEtop(p, kDim, kDim, kMaxRangeKm, kGridKm, 18.0f, dz(), t);
    });
}

#define RDR_PRODUCT_BENCH(fn)                                                                   \
    BENCHMARK_CAPTURE(fn, synthetic, &synthetic)->Unit(benchmark::kMillisecond)->UseRealTime(); \
    BENCHMARK_CAPTURE(fn, klix, &klix)->Unit(benchmark::kMillisecond)->UseRealTime()

RDR_PRODUCT_BENCH(cappiReal);
RDR_PRODUCT_BENCH(cappiMohr);
RDR_PRODUCT_BENCH(vil);
RDR_PRODUCT_BENCH(base);
RDR_PRODUCT_BENCH(cmax);
RDR_PRODUCT_BENCH(etop);

}  // namespace

// Large blocks always come from (and go back to) the kernel, so that the resident peak
// of each product call is its own working memory.
int main(int argc, char** argv) {
    mallopt(M_MMAP_THRESHOLD, 64 * 1024);
    mallopt(M_TRIM_THRESHOLD, 64 * 1024);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
