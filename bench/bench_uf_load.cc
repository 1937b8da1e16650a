// UF load speed and memory.
//
// A 10-sweep x 360-ray x 1000-bin x 6-field volume is written by the UF writer to a
// temporary directory, 4-byte framed, plain and gzip. Next to each load stand its floors:
// inflating the same gzip file into memory, and reading the plain file into memory (both
// into a buffer reused between iterations). Peak memory is measured in a fresh process
// (this binary re-run with --peak FILE) as its VmHWM after load and conversion. The same
// figures are given for the real 14-sweep KLIX volume of the sample data.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "synthetic_volume.h"
#include "uf_radar.h"
#include "uf_volume_output.h"

namespace {

constexpr int kSweeps = 10, kRays = 360, kBins = 1000;
const std::vector<std::string> kFields = {"DZ", "VR", "SW", "ZT", "DR", "RH"};

// Decoded bin bytes of the synthetic volume.
constexpr double kDecodedBytes = 2.0 * kSweeps * kRays * kBins * 6;

// Plausible moments: a smooth echo pattern with noise, no data beyond a ragged edge.
short syntheticValue(int s, int r, int b, int f) {
    unsigned h = static_cast<unsigned>(s * 7919 + r * 104729 + b * 31 + f * 1299709);
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    const int noise = static_cast<int>(h % 200) - 100;
    const int edge = 600 + static_cast<int>(300 * std::sin(r * 0.05 + s));
    if (b > edge || (h & 31) == 0) {
        return -32768;
    }
    const double echo = 3000 * std::sin(r * 0.03 + b * 0.01 + f) * std::cos(b * 0.004 + s * 0.3);
    return static_cast<short>(echo + noise);
}

struct BenchFiles {
    std::string dir, plain, gzip, klix, klixGz;

    BenchFiles() {
        std::string pattern = (std::filesystem::temp_directory_path() / "bench_uf.XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::exit(1);
        }
        dir = pattern;
        plain = dir + "/volume.uf";
        gzip = dir + "/volume.uf.gz";
        klix = std::string(RDR_SHARED_DATA_DIR) + "/uf/KLIX20050828_180149_rsl.uf";
        klixGz = klix + ".gz";

        rdrtest::VolumeShape shape = rdrtest::uniformVolume(kSweeps, kRays, kBins, kFields);
        shape.noDataValue = -32768;
        shape.value = syntheticValue;
        rdrtest::StdRadarPtr std = rdrtest::buildVolume(shape);
        UF_RADAR* uf = fnStdSyncDownUf(std.get());
        if (uf == nullptr || !fnWriteUf(uf, plain.c_str(), UF_FRAME_FOUR, 0) ||
            !fnWriteUf(uf, gzip.c_str(), UF_FRAME_FOUR, 1)) {
            std::fprintf(stderr, "cannot write the benchmark volume\n");
            std::exit(1);
        }
        fnFreeUfRadar(uf);
    }
    ~BenchFiles() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    const std::string& path(const std::string& which) const {
        return which == "synthetic"      ? plain
               : which == "synthetic.gz" ? gzip
               : which == "KLIX"         ? klix
                                         : klixGz;
    }
};

const BenchFiles& files() {
    static BenchFiles f;
    return f;
}

std::size_t fileBytes(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<std::size_t>(st.st_size) : 0;
}

// fnLoadUf and the conversion to STD_RADAR; releasing them is not timed.
void loadToStd(benchmark::State& state, const std::string& which) {
    const std::string& path = files().path(which);
    if (fileBytes(path) == 0) {
        state.SkipWithError(("missing " + path).c_str());
        return;
    }
    for (auto _ : state) {
        UF_RADAR* uf = fnLoadUf(path.c_str());
        STD_RADAR* std = fnUfSyncUpStd(uf);
        benchmark::DoNotOptimize(std);
        state.PauseTiming();
        if (std == nullptr) {
            state.SkipWithError("load failed");
        }
        fnFreeUfRadar(uf);
        fnFreeStdRadar(std);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(fileBytes(path)));
}

// Where a floor puts the bytes: through one reused 1 MiB buffer ("stream", the loader's
// own way), into one reused buffer of the whole size ("hot"), or into fresh memory each
// time ("new", as a loader's output is).
enum FloorTarget { kStream, kHot, kNew };

// Floor of a gzip load: inflate the whole file, nothing else.
void inflateFloor(benchmark::State& state, const std::string& which, FloorTarget target) {
    const std::string& path = files().path(which);
    std::vector<unsigned char> hot(1 << 20);
    std::size_t nOut = hot.size();
    for (auto _ : state) {
        std::unique_ptr<unsigned char[]> fresh;
        unsigned char* out = hot.data();
        if (target == kNew) {
            fresh = std::make_unique_for_overwrite<unsigned char[]>(nOut);
            out = fresh.get();
        }
        gzFile in = gzopen(path.c_str(), "rb");
        gzbuffer(in, 256 * 1024);
        std::size_t n = 0;
        int got = 0;
        while ((got = gzread(in, out + n, static_cast<unsigned>(nOut - n))) > 0) {
            n += got;
            if (n < nOut) {
                continue;
            }
            if (target == kStream) {
                n = 0;
                continue;
            }
            nOut *= 2;  // first pass only: learn the inflated size
            hot.resize(nOut);
            if (target == kNew) {
                auto grown = std::make_unique_for_overwrite<unsigned char[]>(nOut);
                std::memcpy(grown.get(), out, n);
                fresh = std::move(grown);
            }
            out = target == kNew ? fresh.get() : hot.data();
        }
        gzclose(in);
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(fileBytes(path)));
}

// Floor of a plain load: read the whole file.
void readFloor(benchmark::State& state, const std::string& which, FloorTarget target) {
    const std::string& path = files().path(which);
    const std::size_t nFile = fileBytes(path);
    const std::size_t nBuffer = target == kStream ? std::size_t(1) << 20 : nFile + 1;
    std::vector<unsigned char> hot(nBuffer);
    for (auto _ : state) {
        std::unique_ptr<unsigned char[]> fresh;
        unsigned char* out = hot.data();
        if (target == kNew) {
            fresh = std::make_unique_for_overwrite<unsigned char[]>(nBuffer);
            out = fresh.get();
        }
        const int fd = open(path.c_str(), O_RDONLY);
        std::size_t n = 0;
        ssize_t got = 0;
        while ((got = read(fd, out + n, nBuffer - n)) > 0) {
            n += static_cast<std::size_t>(got);
            if (target == kStream) {
                n = 0;
            }
        }
        close(fd);
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(nFile));
}

// fnLoadUf alone.
void loadOnly(benchmark::State& state, const std::string& which) {
    const std::string& path = files().path(which);
    for (auto _ : state) {
        UF_RADAR* uf = fnLoadUf(path.c_str());
        benchmark::DoNotOptimize(uf);
        state.PauseTiming();
        fnFreeUfRadar(uf);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(fileBytes(path)));
}

long vmHighWaterKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::atol(line.c_str() + 6);
        }
    }
    return -1;
}

// Peak memory of a fresh process that loads the file into a STD_RADAR.
void peakMemory(benchmark::State& state, const std::string& which) {
    const std::string& path = files().path(which);
    long peakKb = -1;
    for (auto _ : state) {
        int fds[2];
        if (pipe(fds) != 0) {
            state.SkipWithError("pipe");
            return;
        }
        const pid_t pid = fork();
        if (pid == 0) {
            dup2(fds[1], STDOUT_FILENO);
            close(fds[0]);
            execl("/proc/self/exe", "bench_uf_load", "--peak", path.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        char buf[64] = {};
        const ssize_t n = read(fds[0], buf, sizeof(buf) - 1);
        close(fds[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        peakKb = n > 0 ? std::atol(buf) : -1;
    }
    if (peakKb <= 0) {
        state.SkipWithError("peak measurement failed");
        return;
    }
    const double decodedMb = (which.rfind("synthetic", 0) == 0 ? kDecodedBytes : 0) / 1e6;
    state.counters["peak_MB"] = peakKb / 1024.0;
    if (decodedMb > 0) {
        state.counters["decoded_MB"] = decodedMb;
        state.counters["limit_MB"] = 2 * decodedMb + 50;
    }
}

int peakChild(const char* path) {
    UF_RADAR* uf = fnLoadUf(path);
    STD_RADAR* std = fnUfSyncUpStd(uf);
    fnFreeUfRadar(uf);
    const long kb = vmHighWaterKb();
    fnFreeStdRadar(std);
    std::printf("%ld\n", std != nullptr ? kb : -1L);
    return std != nullptr ? 0 : 1;
}

}  // namespace

BENCHMARK_CAPTURE(loadToStd, synthetic_plain, std::string("synthetic"))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(loadOnly, synthetic_plain, std::string("synthetic"))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readFloor, synthetic_plain_stream, std::string("synthetic"), kStream)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readFloor, synthetic_plain_hot, std::string("synthetic"), kHot)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readFloor, synthetic_plain_new, std::string("synthetic"), kNew)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(peakMemory, synthetic_plain, std::string("synthetic"))->Iterations(1);
BENCHMARK_CAPTURE(loadToStd, synthetic_gzip, std::string("synthetic.gz"))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(loadOnly, synthetic_gzip, std::string("synthetic.gz"))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(inflateFloor, synthetic_gzip_stream, std::string("synthetic.gz"), kStream)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(inflateFloor, synthetic_gzip_hot, std::string("synthetic.gz"), kHot)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(inflateFloor, synthetic_gzip_new, std::string("synthetic.gz"), kNew)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(peakMemory, synthetic_gzip, std::string("synthetic.gz"))->Iterations(1);
BENCHMARK_CAPTURE(loadToStd, KLIX_plain, std::string("KLIX"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(loadOnly, KLIX_plain, std::string("KLIX"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readFloor, KLIX_plain_stream, std::string("KLIX"), kStream)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readFloor, KLIX_plain_hot, std::string("KLIX"), kHot)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readFloor, KLIX_plain_new, std::string("KLIX"), kNew)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(peakMemory, KLIX_plain, std::string("KLIX"))->Iterations(1);
BENCHMARK_CAPTURE(loadToStd, KLIX_gzip, std::string("KLIX.gz"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(loadOnly, KLIX_gzip, std::string("KLIX.gz"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(inflateFloor, KLIX_gzip_stream, std::string("KLIX.gz"), kStream)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(inflateFloor, KLIX_gzip_hot, std::string("KLIX.gz"), kHot)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(inflateFloor, KLIX_gzip_new, std::string("KLIX.gz"), kNew)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(peakMemory, KLIX_gzip, std::string("KLIX.gz"))->Iterations(1);

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--peak") == 0) {
        return peakChild(argv[2]);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    files();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
