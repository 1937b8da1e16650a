// NetCDF-4 files are HDF5 files, and libhdf5 can crash or allocate without bound on a
// damaged one (a bad free under nc_open has been seen). They are read in a child process,
// which hands the volume back; a crash, a limit or a timeout there is a refusal here.
#include <hdf5.h>
#include <netcdf.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "core_utilities.h"
#include "internal/isolated_decode.h"
#include "internal/netcdf_volume_input.h"
#include "internal/netcdf_volume_input_transfer.h"

namespace {

constexpr const char* kLoadFunc = "fnLoadNcRadar";

// The loader caps any variable at 64 M values, so a real volume needs a few hundred MB at
// most (20 sweeps of 720 rays x 2000 bins is 58 MB per moment); 3 GiB leaves room for the
// library's own buffers, while a runaway allocation stops well short of the machine's memory.
// A real volume decodes in well under a second of CPU.
IsolationLimits g_limits = {
    std::size_t{3} << 30,  // address space
    20,                    // CPU seconds
    40,                    // wall seconds
    std::size_t{3} << 30,  // result bytes
};

// libnetcdf copies a variable's or dimension's name into its callers' NC_MAX_NAME + 1 bytes
// without a bound, and an HDF5 name may be of any length. The root group's names (those the
// loader asks for) are measured first, with libhdf5 itself, still in the child.
bool rootNamesFit(const char* szFile) {
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    const hid_t file = H5Fopen(szFile, H5F_ACC_RDONLY, H5P_DEFAULT);
    if (file < 0) {
        return true;  // nc_open says what is wrong
    }
    std::size_t longest = 0;
    H5Literate(
        file, H5_INDEX_NAME, H5_ITER_NATIVE, nullptr,
        [](hid_t, const char* name, const H5L_info_t*, void* pLongest) -> herr_t {
            auto* p = static_cast<std::size_t*>(pLongest);
            *p = std::max(*p, std::strlen(name));
            return *p > NC_MAX_NAME ? 1 : 0;
        },
        &longest);
    H5Fclose(file);
    if (longest > NC_MAX_NAME) {
        rdrError(kLoadFunc,
                 ("a name of " + std::to_string(longest) + " bytes, longer than netCDF allows (" +
                  std::to_string(NC_MAX_NAME) + ")")
                     .c_str());
        return false;
    }
    return true;
}

IsolatedVerdict decodeInChild(const char* szFile, IsolatedOutput& output) {
    if (!rootNamesFit(szFile)) {
        return IsolatedVerdict::kRefused;
    }
    int openStatus = NC_NOERR;
    NC_RADAR* pNc = readNcRadarInProcess(szFile, &openStatus);
    if (pNc == nullptr) {
        if (openStatus == NC_ENOMEM) {
            return IsolatedVerdict::kOutOfMemory;
        }
        if (openStatus != NC_NOERR) {
            rdrError(kLoadFunc, "nc_open fail");
        }
        return IsolatedVerdict::kRefused;
    }
    // Not released: the child ends right after, and its memory with it.
    return writeNcRadarBytes(pNc, output) ? IsolatedVerdict::kDecoded : IsolatedVerdict::kRefused;
}

}  // namespace

IsolationLimits ncIsolationLimits() {
    return g_limits;
}

void setNcIsolationLimits(const IsolationLimits& limits) {
    g_limits = limits;
}

bool hasHdf5Signature(int fd, std::uint64_t fileSize) {
    static constexpr unsigned char kSignature[8] = {0x89, 'H', 'D', 'F', '\r', '\n', 0x1a, '\n'};
    // A user block before the HDF5 data is 512 bytes or a larger power of two.
    for (std::uint64_t offset = 0; offset + sizeof(kSignature) <= fileSize;
         offset = offset == 0 ? 512 : offset * 2) {
        unsigned char bytes[sizeof(kSignature)] = {};
        if (::pread(fd, bytes, sizeof(bytes), static_cast<off_t>(offset)) !=
            static_cast<ssize_t>(sizeof(bytes))) {
            return false;
        }
        if (std::memcmp(bytes, kSignature, sizeof(kSignature)) == 0) {
            return true;
        }
    }
    return false;
}

NC_RADAR* loadNcRadarIsolated(const char* szFile) {
    const IsolatedResult result = runIsolatedDecode(
        [szFile](IsolatedOutput& output) { return decodeInChild(szFile, output); }, g_limits);
    switch (result.outcome) {
        case IsolatedResult::kDecoded: {
            std::string why;
            NC_RADAR* pNc = readNcRadarBytes(result.bytes.data(), result.bytes.size(), &why);
            if (pNc == nullptr) {
                rdrError(kLoadFunc,
                         ("the HDF5 library failed on this file (the volume came back damaged: " +
                          why + ")")
                             .c_str());
            }
            return pNc;
        }
        case IsolatedResult::kRefused:
            return nullptr;  // the child printed the reason
        case IsolatedResult::kFailed:
            rdrError(kLoadFunc,
                     ("the HDF5 library failed on this file (" + result.failure + ")").c_str());
            return nullptr;
        case IsolatedResult::kNotRun:
            break;
    }
    rdrError(kLoadFunc,
             ("cannot read the HDF5 file in a child process (" + result.failure + ")").c_str());
    return nullptr;
}
