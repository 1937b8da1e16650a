// ODIM HDF5 volume speed, each case beside its floor, in one run:
// - loading the KNMI sample (14 sweeps) into a STD_RADAR (fnLoadHdfRadar, which reads in a
//   child process, then fnHdfSyncUpStd), against a bare loop that opens the file and only
//   H5Dreads the same 14 data arrays into memory;
// - writing KLIX (14 sweeps, 5121 rays, moments at two gate spacings) as ODIM from its
//   STD_RADAR (fnStdSyncDownHdf then fnWriteHdfRadar, which syncs and renames), against
//   H5Dwrite of the same 16-bit arrays with the same chunking and deflate level into a new
//   file, nothing else.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <hdf5.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "hdf5_output.h"
#include "hdf_radar.h"
#include "internal/hdf5_access.h"
#include "internal/isolated_decode.h"
#include "internal/odim_file_image.h"
#include "owned_handles.h"
#include "standard_volume.h"
#include "volume_formats.h"

namespace {

using HdfRadarPtr = std::unique_ptr<HDF_RADAR, rdr::ReleaseWith<fnFreeHdfRadar>>;

const std::string kKnmi = std::string(RDR_SHARED_DATA_DIR) + "/odim_hdf5/knmi_polar_volume.h5";
const std::string kKlix = std::string(RDR_SHARED_DATA_DIR) + "/uf/KLIX20050828_180149_rsl.uf";

std::string tempDir() {
    static const std::string dir = [] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "bench_hdf.XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::exit(1);
        }
        std::atexit([] { std::filesystem::remove_all(tempDir()); });
        return pattern;
    }();
    return dir;
}

// CPU seconds the process's reaped children have used so far.
double childCpuSeconds() {
    struct rusage usage {};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Reports the CPU time of the child processes per iteration, which the benchmark's own CPU
// column leaves out, and the total of both.
class ChildCpu {
  public:
    explicit ChildCpu(benchmark::State& state) : state_(state), start_(childCpuSeconds()) {}
    ~ChildCpu() {
        const double n = static_cast<double>(state_.iterations());
        if (n > 0) {
            state_.counters["child_cpu_ms"] = (childCpuSeconds() - start_) * 1e3 / n;
        }
    }

  private:
    benchmark::State& state_;
    double start_;
};

void LoadKnmi(benchmark::State& state) {
    const ChildCpu childCpu(state);
    for (auto _ : state) {
        HdfRadarPtr hdf(fnLoadHdfRadar(kKnmi.c_str()));
        rdr::StdRadarPtr std(hdf ? fnHdfSyncUpStd(hdf.get()) : nullptr);
        if (!std) {
            state.SkipWithError("cannot load the KNMI volume");
            return;
        }
        benchmark::DoNotOptimize(std.get());
    }
}

// Where the load's time goes: an empty child process, and the file read in the child and
// handed back (no decoding).
void EmptyChildProcess(benchmark::State& state) {
    const ChildCpu childCpu(state);
    const IsolationLimits limits = odimIsolationLimits();
    for (auto _ : state) {
        const IsolatedResult result =
            runIsolatedDecode([](IsolatedOutput&) { return IsolatedVerdict::kDecoded; }, limits);
        benchmark::DoNotOptimize(result.outcome);
    }
}

void ReadKnmiInChild(benchmark::State& state) {
    const ChildCpu childCpu(state);
    for (auto _ : state) {
        OdimFileImage image;
        if (!readOdimFileImage(kKnmi.c_str(), "bench", &image)) {
            state.SkipWithError("cannot read the KNMI volume");
            return;
        }
        benchmark::DoNotOptimize(image.arrays.data());
    }
}

// The floor: open the file and H5Dread every data array, into one buffer reused across
// iterations (hot) or into memory allocated for each array (new), as a loader must.
void bareReadKnmi(benchmark::State& state, bool bFreshMemory) {
    std::vector<unsigned char> buffer;
    for (auto _ : state) {
        h5::File file(H5Fopen(kKnmi.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT));
        if (!file) {
            state.SkipWithError("cannot open the KNMI volume");
            return;
        }
        std::vector<std::vector<unsigned char>> arrays;
        for (int d = 1;; ++d) {
            const std::string group = "dataset" + std::to_string(d);
            if (H5Lexists(file.get(), group.c_str(), H5P_DEFAULT) <= 0) {
                break;
            }
            h5::Dataset data(H5Dopen2(file.get(), (group + "/data1/data").c_str(), H5P_DEFAULT));
            h5::Space space(H5Dget_space(data.get()));
            const auto n = static_cast<std::size_t>(H5Sget_simple_extent_npoints(space.get()));
            std::vector<unsigned char>& into = bFreshMemory ? arrays.emplace_back() : buffer;
            into.resize(n);
            H5Dread(data.get(), H5T_NATIVE_UCHAR, H5S_ALL, H5S_ALL, H5P_DEFAULT, into.data());
            benchmark::DoNotOptimize(into.data());
        }
    }
}

void BareReadKnmiHot(benchmark::State& state) {
    bareReadKnmi(state, false);
}

void BareReadKnmiNew(benchmark::State& state) {
    bareReadKnmi(state, true);
}

STD_RADAR* klix() {
    static rdr::StdRadarPtr volume(fnLoadStdRadarFile(kKlix.c_str()));
    return volume.get();
}

void WriteKlixOdim(benchmark::State& state) {
    if (klix() == nullptr) {
        state.SkipWithError("cannot load KLIX");
        return;
    }
    const std::string path = tempDir() + "/klix.h5";
    const ChildCpu childCpu(state);
    for (auto _ : state) {
        HdfRadarPtr hdf(fnStdSyncDownHdf(klix()));
        if (!hdf || fnWriteHdfRadar(hdf.get(), path.c_str()) != 1) {
            state.SkipWithError("cannot write KLIX");
            return;
        }
    }
}

// The 16-bit arrays the writer puts in the file, made once.
struct Arrays {
    std::vector<std::vector<short>> values;
    std::vector<std::pair<hsize_t, hsize_t>> shapes;
};

const Arrays& klixArrays() {
    static const Arrays arrays = [] {
        Arrays a;
        HdfRadarPtr hdf(fnStdSyncDownHdf(klix()));
        for (int d = 0; hdf && d < hdf->m_iMaxDataset; ++d) {
            const HDF_DATASET* pDataset = hdf->m_ppDataset[d];
            const long rows = pDataset->m_where.m_polar_where.m_nRays;
            const long cols = pDataset->m_where.m_polar_where.m_nBins;
            for (int k = 0; k < pDataset->m_iMaxData; ++k) {
                std::vector<short> v(static_cast<std::size_t>(rows * cols));
                for (long r = 0; r < rows; ++r) {
                    for (long c = 0; c < cols; ++c) {
                        v[static_cast<std::size_t>(r * cols + c)] =
                            static_cast<short>(pDataset->m_ppData[k]->m_ppData[r][c]);
                    }
                }
                a.values.push_back(std::move(v));
                a.shapes.emplace_back(rows, cols);
            }
        }
        return a;
    }();
    return arrays;
}

// The floor: H5Dwrite of the same arrays into a new file; with bSync the file is then synced
// to disk, as the atomic replacement of the real writer does before its rename.
void bareWriteKlix(benchmark::State& state, bool bSync) {
    if (klix() == nullptr) {
        state.SkipWithError("cannot load KLIX");
        return;
    }
    const Arrays& arrays = klixArrays();
    const std::string path = tempDir() + "/bare.h5";
    for (auto _ : state) {
        {
            h5::File file(H5Fcreate(path.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT));
            for (std::size_t i = 0; i < arrays.values.size(); ++i) {
                const hsize_t dims[2] = {arrays.shapes[i].first, arrays.shapes[i].second};
                const hsize_t chunk[2] = {h5::chunkEdge(dims[0]), h5::chunkEdge(dims[1])};
                h5::Space space(H5Screate_simple(2, dims, nullptr));
                h5::Plist props(H5Pcreate(H5P_DATASET_CREATE));
                H5Pset_chunk(props.get(), 2, chunk);
                H5Pset_deflate(props.get(), 6);
                const std::string name = "data" + std::to_string(i + 1);
                h5::Dataset data(H5Dcreate2(file.get(), name.c_str(), H5T_STD_I16LE, space.get(),
                                            H5P_DEFAULT, props.get(), H5P_DEFAULT));
                H5Dwrite(data.get(), H5T_NATIVE_SHORT, H5S_ALL, H5S_ALL, H5P_DEFAULT,
                         arrays.values[i].data());
            }
        }
        if (bSync) {
            const int fd = open(path.c_str(), O_RDONLY);
            fsync(fd);
            close(fd);
        }
    }
}

void BareWriteKlix(benchmark::State& state) {
    bareWriteKlix(state, false);
}

void BareWriteKlixSynced(benchmark::State& state) {
    bareWriteKlix(state, true);
}

BENCHMARK(LoadKnmi)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BareReadKnmiHot)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BareReadKnmiNew)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(EmptyChildProcess)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(ReadKnmiInChild)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(WriteKlixOdim)->Unit(benchmark::kMillisecond)->MinTime(5.0);
BENCHMARK(BareWriteKlix)->Unit(benchmark::kMillisecond)->MinTime(5.0);
BENCHMARK(BareWriteKlixSynced)->Unit(benchmark::kMillisecond)->MinTime(5.0);

}  // namespace

BENCHMARK_MAIN();
