// The 3-D packed grid of 10 CAPPI levels on the 1 km national grid (11.5 MB before
// compression), written by fnWriteStdProductVyqComp3D, against zlib alone deflating the
// same bytes into a gzip stream at the same level (6) in memory. The writer's figure holds
// everything it does: reading the levels out of the product container, resampling, coding,
// compressing and the atomic replacement (to /dev/shm when there is one, so that the disk's
// latency does not enter). The ratio of the medians is printed at the end of the run.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "owned_handles.h"
#include "packed_grid_output.h"
#include "standard_product.h"
#include "synthetic_storm.h"

namespace {

constexpr int kRows = 1200;
constexpr int kCols = 960;
constexpr int kLevels = 10;

// One radar's storm on the national grid: the radar at row 700, column 420, its coverage
// 240 km; below 5 dBZ no echo.
rdr::StdProductPtr& stormProduct() {
    static rdr::StdProductPtr product = [] {
        rdr::StdProductPtr p(fnInitStdProduct(1, 0, kLevels, 0, 0, 0, 0));
        fnSetStdProductCompHdr(p.get(), "MAX", "202607150930", kRows, kCols, 1.0f, 400, 800);
        std::vector<float> cells(static_cast<size_t>(kRows) * kCols);
        for (int k = 0; k < kLevels; ++k) {
            for (int r = 0; r < kRows; ++r) {
                for (int c = 0; c < kCols; ++c) {
                    const double x = c - 420.0;
                    const double y = 700.0 - r;
                    const double dbz = syntheticDbz(x, y, k + 1.0);
                    cells[static_cast<size_t>(r) * kCols + c] = std::hypot(x, y) > 240.0 ? -9998.0f
                                                                : dbz < 5.0
                                                                    ? -9999.0f
                                                                    : static_cast<float>(dbz);
                }
            }
            fnAddStdProductToData(p.get(), "CAPPI", k, k + 1.0, 0.0, "DZ", cells.data(), kRows,
                                  kCols);
        }
        return p;
    }();
    return product;
}

std::string outputPath() {
    const std::filesystem::path dir = std::filesystem::is_directory("/dev/shm")
                                          ? "/dev/shm"
                                          : std::filesystem::temp_directory_path();
    return (dir / ("bench_grid_export_" + std::to_string(getpid()) + ".gz")).string();
}

// The unpacked bytes the writer compresses, read back from one written file.
const std::vector<unsigned char>& packedBytes() {
    static const std::vector<unsigned char> bytes = [] {
        const std::string path = outputPath();
        fnWriteStdProductVyqComp3D(stormProduct().get(), "CAPPI", "DZ", kLevels, path.c_str());
        std::vector<unsigned char> out(1152000u * (kLevels + 1));
        gzFile in = gzopen(path.c_str(), "rb");
        const int n =
            in != nullptr ? gzread(in, out.data(), static_cast<unsigned>(out.size())) : -1;
        if (in != nullptr) {
            gzclose(in);
        }
        std::filesystem::remove(path);
        out.resize(n > 0 ? static_cast<size_t>(n) : 0);
        return out;
    }();
    return bytes;
}

void writer(benchmark::State& state) {
    const std::string path = outputPath();
    STD_PRODUCT* p = stormProduct().get();
    for (auto _ : state) {
        if (fnWriteStdProductVyqComp3D(p, "CAPPI", "DZ", kLevels, path.c_str()) != 1) {
            state.SkipWithError("the writer failed");
            break;
        }
    }
    state.counters["file_bytes"] = static_cast<double>(std::filesystem::file_size(path));
    std::filesystem::remove(path);
    state.SetBytesProcessed(state.iterations() * 1152000 * (kLevels + 1));
}

void zlibAlone(benchmark::State& state) {
    const std::vector<unsigned char>& in = packedBytes();
    std::vector<unsigned char> out(compressBound(static_cast<uLong>(in.size())) + 64);
    size_t produced = 0;
    for (auto _ : state) {
        z_stream zs{};
        // The gzip wrapper and the parameters gzopen's "wb" gives.
        deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, MAX_WBITS + 16, 8, Z_DEFAULT_STRATEGY);
        zs.next_in = const_cast<unsigned char*>(in.data());
        zs.avail_in = static_cast<uInt>(in.size());
        zs.next_out = out.data();
        zs.avail_out = static_cast<uInt>(out.size());
        const int rc = deflate(&zs, Z_FINISH);
        produced = zs.total_out;
        deflateEnd(&zs);
        if (rc != Z_STREAM_END) {
            state.SkipWithError("deflate did not finish");
            break;
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["file_bytes"] = static_cast<double>(produced);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(in.size()));
}

BENCHMARK(writer)->Name("comp3d_10_levels/writer")->Unit(benchmark::kMillisecond)->Repetitions(5);
BENCHMARK(zlibAlone)
    ->Name("comp3d_10_levels/zlib_alone")
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5);

// Keeps the median real and CPU times of each benchmark for the ratio. On a shared machine the
// CPU times are the steadier figure.
class MedianReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                medians[run.run_name.function_name] = {run.GetAdjustedRealTime(),
                                                       run.GetAdjustedCPUTime()};
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, std::pair<double, double>> medians;  // real, CPU
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto w = reporter.medians.find("comp3d_10_levels/writer");
    const auto z = reporter.medians.find("comp3d_10_levels/zlib_alone");
    if (w != reporter.medians.end() && z != reporter.medians.end() && z->second.first > 0.0 &&
        z->second.second > 0.0) {
        std::printf(
            "comp3d 10 levels: writer %.1f ms (CPU %.1f), zlib alone %.1f ms (CPU %.1f), "
            "ratio %.2fx (CPU %.2fx; target <= 1.3x)\n",
            w->second.first, w->second.second, z->second.first, z->second.second,
            w->second.first / z->second.first, w->second.second / z->second.second);
    }
    benchmark::Shutdown();
    return 0;
}
