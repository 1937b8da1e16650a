// BUFR volume speed, in one run: decoding the Meteo-France edition-4 volume
// (odim-polar-ref.bfr: 3 sweeps of 720 rays x 256 bins, 0.58 MB) into a STD_RADAR
// (fnLoadBufrRadar then fnBufrSyncUpStd), against its floor, zlib's uncompress of the
// message's three compressed arrays alone (extracted once beforehand) into one reused
// buffer, or into fresh memory per array (mapped anew each time, so its pages are touched
// for the first time, as in a process that loads one file); and ecCodes unpacking the same
// message
// (every byte of a compressed array is one data element there), which is why the
// project decodes with its own table-driven decoder.
#include <benchmark/benchmark.h>
#include <sys/mman.h>
#include <zlib.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "bufr_radar.h"
#include "internal/bufr_decoder.h"
#include "internal/bufr_message.h"
#include "internal/bufr_tables.h"
#include "internal/eccodes_library.h"
#include "owned_handles.h"
#include "standard_volume.h"

namespace {

using BufrRadarPtr = std::unique_ptr<BUFR_RADAR, rdr::ReleaseWith<fnFreeBufrRadar>>;

const std::string kPolar = std::string(RDR_SHARED_DATA_DIR) + "/bufr/odim-polar-ref.bfr";
constexpr size_t kRays = 720, kBins = 256;

std::vector<unsigned char> fileBytes() {
    std::ifstream in(kPolar, std::ios::binary);
    return std::vector<unsigned char>((std::istreambuf_iterator<char>(in)),
                                      std::istreambuf_iterator<char>());
}

// The byte runs of each compressed array, joined.
struct Arrays : BufrValueSink {
    std::vector<std::vector<unsigned char>> streams;
    bool in = false;
    bool number(int, double, bool) override { return true; }
    bool text(int, std::string_view) override { return true; }
    bool bytes(int, const unsigned char* p, size_t n) override {
        streams.back().insert(streams.back().end(), p, p + n);
        return true;
    }
    bool enter(int iFxy) override {
        if (iFxy == 321206) {
            streams.emplace_back();
        }
        return true;
    }
};

const std::vector<std::vector<unsigned char>>& compressedArrays() {
    static const std::vector<std::vector<unsigned char>> arrays = [] {
        const std::vector<unsigned char> bytes = fileBytes();
        BufrMessage msg;
        BufrTables tables;
        Arrays sink;
        std::string why;
        if (!parseBufrMessage(bytes.data(), bytes.size(), &msg, &why) ||
            !tables.load(bufrTableRoot(), msg.iMaster, msg.iCentre, msg.iSubcentre, msg.iLocal,
                         &why) ||
            !decodeBufrData(msg, tables, sink, &why)) {
            sink.streams.clear();
        }
        return sink.streams;
    }();
    return arrays;
}

void DecodePolarToStd(benchmark::State& state) {
    for (auto _ : state) {
        BufrRadarPtr bufr(fnLoadBufrRadar(kPolar.c_str()));
        rdr::StdRadarPtr std(bufr ? fnBufrSyncUpStd(bufr.get()) : nullptr);
        if (!std) {
            state.SkipWithError("cannot load odim-polar-ref.bfr");
            return;
        }
        benchmark::DoNotOptimize(std.get());
    }
}

// The two halves of the decode: the BUFR records, then the standard volume from them.
void LoadPolar(benchmark::State& state) {
    for (auto _ : state) {
        BufrRadarPtr bufr(fnLoadBufrRadar(kPolar.c_str()));
        if (!bufr) {
            state.SkipWithError("cannot load odim-polar-ref.bfr");
            return;
        }
        benchmark::DoNotOptimize(bufr.get());
    }
}

void SyncUpPolar(benchmark::State& state) {
    BufrRadarPtr bufr(fnLoadBufrRadar(kPolar.c_str()));
    if (!bufr) {
        state.SkipWithError("cannot load odim-polar-ref.bfr");
        return;
    }
    for (auto _ : state) {
        rdr::StdRadarPtr std(fnBufrSyncUpStd(bufr.get()));
        benchmark::DoNotOptimize(std.get());
    }
}

void inflateArrays(benchmark::State& state, bool bFreshMemory) {
    const auto& arrays = compressedArrays();
    if (arrays.size() != 3) {
        state.SkipWithError("cannot extract the compressed arrays");
        return;
    }
    std::vector<unsigned char> reused(kRays * kBins * 8);
    for (auto _ : state) {
        for (const std::vector<unsigned char>& z : arrays) {
            unsigned char* out = reused.data();
            if (bFreshMemory) {
                void* p = mmap(nullptr, kRays * kBins * 8, PROT_READ | PROT_WRITE,
                               MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
                if (p == MAP_FAILED) {
                    state.SkipWithError("mmap failed");
                    return;
                }
                out = static_cast<unsigned char*>(p);
            }
            uLongf n = kRays * kBins * 8;
            const int rc = uncompress(out, &n, z.data(), static_cast<uLong>(z.size()));
            benchmark::DoNotOptimize(out);
            if (bFreshMemory) {
                munmap(out, kRays * kBins * 8);
            }
            if (rc != Z_OK) {
                state.SkipWithError("uncompress failed");
                return;
            }
        }
    }
}

void FloorInflateReused(benchmark::State& state) {
    inflateArrays(state, false);
}

void FloorInflateFresh(benchmark::State& state) {
    inflateArrays(state, true);
}

void EccodesUnpackPolar(benchmark::State& state) {
    std::string why;
    if (eccodesLibrary(&why) == nullptr) {
        state.SkipWithError(why.c_str());
        return;
    }
    const std::vector<unsigned char> bytes = fileBytes();
    for (auto _ : state) {
        codes_handle* h = ec().handle_new_from_message(nullptr, bytes.data(), bytes.size());
        if (h == nullptr || ec().set_long(h, "unpack", 1) != 0) {
            state.SkipWithError("ecCodes cannot unpack the message");
            return;
        }
        ec().handle_delete(h);
    }
}

}  // namespace

BENCHMARK(DecodePolarToStd)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly();
BENCHMARK(LoadPolar)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly();
BENCHMARK(SyncUpPolar)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly();
BENCHMARK(FloorInflateReused)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly();
BENCHMARK(FloorInflateFresh)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly();
BENCHMARK(EccodesUnpackPolar)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);

BENCHMARK_MAIN();
