// GRIB volume load speed against its floor.
//
// The real KLIX volume (14 sweeps, 5121 rays, DZ at 460 bins, VR and SW at 920) is written
// as GRIB (one message per moment) to a temporary directory. loadToStd reads it into a
// STD_RADAR the way every caller does (ecCodes in the loader's child, the hand-over, the
// sync-up); eccodesValues is ecCodes alone decoding the same messages' values
// (codes_get_double_array over every message into one buffer per file, as the loader has),
// with no conversion. Each runs 7 times; the medians are the figures. RDR_ROOT must name
// the staged resource tree (tools/bench.sh sets it).
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "grib_radar.h"
#include "grib_volume_output.h"
#include "internal/eccodes_library.h"
#include "internal/grib_volume_input.h"
#include "owned_handles.h"
#include "volume_formats.h"

namespace {

struct BenchFile {
    std::string dir, path;
    bool ok = false;

    BenchFile() {
        const std::string klix =
            std::string(RDR_SHARED_DATA_DIR) + "/uf/KLIX20050828_180149_rsl.uf.gz";
        std::string pattern =
            (std::filesystem::temp_directory_path() / "bench_grib.XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::exit(1);
        }
        dir = pattern;
        path = dir + "/klix.grib2";
        rdr::StdRadarPtr volume(fnLoadStdRadarFile(klix.c_str()));
        if (!volume) {
            return;
        }
        GRIB_RADAR* pGrib = fnStdSyncDownGribRadar(volume.get());
        ok = pGrib != nullptr && fnWriteGribRadar(pGrib, path.c_str()) == 1;
        fnFreeGribRadar(pGrib);
    }
    ~BenchFile() { std::filesystem::remove_all(dir); }
};

// CPU of the reaped decoding children, which the benchmark's own CPU column leaves out.
double childCpuMs() {
    struct rusage usage {};
    getrusage(RUSAGE_CHILDREN, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

const BenchFile& benchFile() {
    static const BenchFile file;
    return file;
}

void loadToStd(benchmark::State& state) {
    const BenchFile& file = benchFile();
    if (!file.ok) {
        state.SkipWithError("KLIX sample or GRIB writer unavailable");
        return;
    }
    std::string path = file.path;
    const double childBefore = childCpuMs();
    for (auto _ : state) {
        GRIB_RADAR* pGrib = fnLoadGribRadar(path.data());
        STD_RADAR* pStd = pGrib != nullptr ? fnGribSyncUpStd(pGrib) : nullptr;
        if (pStd == nullptr) {
            state.SkipWithError("load failed");
        }
        benchmark::DoNotOptimize(pStd);
        fnFreeGribRadar(pGrib);
        fnFreeStdRadar(pStd);
    }
    state.counters["child_cpu_ms"] =
        benchmark::Counter((childCpuMs() - childBefore) / static_cast<double>(state.iterations()));
}

// The loader's own decode without the child process: what the isolation costs.
void decodeInProcess(benchmark::State& state) {
    const BenchFile& file = benchFile();
    std::string why;
    if (!file.ok || eccodesLibrary(&why) == nullptr) {
        state.SkipWithError("KLIX sample or ecCodes unavailable");
        return;
    }
    std::ifstream in(file.path, std::ios::binary);
    const std::vector<unsigned char> content((std::istreambuf_iterator<char>(in)), {});
    for (auto _ : state) {
        GRIB_RADAR* pGrib = decodeGribRadar(content.data(), content.size());
        if (pGrib == nullptr) {
            state.SkipWithError("decode failed");
        }
        benchmark::DoNotOptimize(pGrib);
        fnFreeGribRadar(pGrib);
    }
}

void eccodesValues(benchmark::State& state) {
    const BenchFile& file = benchFile();
    std::string why;
    if (!file.ok || eccodesLibrary(&why) == nullptr) {
        state.SkipWithError("KLIX sample or ecCodes unavailable");
        return;
    }
    for (auto _ : state) {
        // One buffer for the file's messages, as the loader has.
        std::vector<double> values;
        FILE* in = std::fopen(file.path.c_str(), "rb");
        int err = 0;
        std::size_t nMessages = 0;
        while (codes_handle* h = ec().handle_new_from_file(nullptr, in, PRODUCT_GRIB, &err)) {
            std::size_t n = 0;
            ec().get_size(h, "values", &n);
            values.resize(n);
            ec().get_double_array(h, "values", values.data(), &n);
            benchmark::DoNotOptimize(values.data());
            ec().handle_delete(h);
            ++nMessages;
        }
        std::fclose(in);
        if (nMessages != 3) {
            state.SkipWithError("the file does not hold three messages");
        }
    }
}

BENCHMARK(loadToStd)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true);
BENCHMARK(decodeInProcess)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);
BENCHMARK(eccodesValues)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
