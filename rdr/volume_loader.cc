#include "volume_loader.h"

#include <zlib.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "core_utilities.h"
#include "nc_radar.h"
#include "uf_radar.h"

namespace {

constexpr unsigned char kGzipMagic[2] = {0x1f, 0x8b};
constexpr unsigned char kHdf5Magic[8] = {0x89, 'H', 'D', 'F', '\r', '\n', 0x1a, '\n'};

bool hasUfAtStart(const unsigned char* bytes, size_t n) {
    for (size_t offset : {0u, 2u, 4u}) {
        if (offset + 1 < n && bytes[offset] == 'U' && bytes[offset + 1] == 'F') {
            return true;
        }
    }
    return false;
}

// The first bytes of the stream after inflating, so that gzip-compressed UF is recognised.
size_t readInflatedHead(const std::string& path, unsigned char* buf, size_t n) {
    gzFile gz = gzopen(path.c_str(), "rb");
    if (gz == nullptr) {
        return 0;
    }
    int got = gzread(gz, buf, static_cast<unsigned>(n));
    gzclose(gz);
    return got > 0 ? static_cast<size_t>(got) : 0;
}

}  // namespace

RDR_VOLUME_FORMAT fnDetectVolumeFormat(const std::string& path, std::string* pWhy) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) {
        if (pWhy != nullptr) {
            *pWhy = std::string("cannot open: ") + std::strerror(errno);
        }
        return RDR_EN_FORMAT_UNKNOWN;
    }
    std::array<unsigned char, 8> head{};
    size_t n = std::fread(head.data(), 1, head.size(), file.get());

    if (n >= 4 && std::memcmp(head.data(), "CDF", 3) == 0 && head[3] >= 1 && head[3] <= 5) {
        return RDR_EN_FORMAT_NETCDF;
    }
    if (n == sizeof(kHdf5Magic) && std::memcmp(head.data(), kHdf5Magic, n) == 0) {
        return RDR_EN_FORMAT_NETCDF;
    }
    if (hasUfAtStart(head.data(), n)) {
        return RDR_EN_FORMAT_UF;
    }
    if (n >= 2 && head[0] == kGzipMagic[0] && head[1] == kGzipMagic[1]) {
        std::array<unsigned char, 6> inflated{};
        size_t m = readInflatedHead(path, inflated.data(), inflated.size());
        if (hasUfAtStart(inflated.data(), m)) {
            return RDR_EN_FORMAT_UF;
        }
        if (pWhy != nullptr) {
            *pWhy = "gzip-compressed, but the content is not a UF volume";
        }
        return RDR_EN_FORMAT_UNKNOWN;
    }
    if (pWhy != nullptr) {
        *pWhy = n < 6 ? "file too short to be a radar volume"
                      : "not a UF, NetCDF or HDF5 file (unknown signature)";
    }
    return RDR_EN_FORMAT_UNKNOWN;
}

const char* fnVolumeFormatName(RDR_VOLUME_FORMAT format) {
    switch (format) {
        case RDR_EN_FORMAT_UF:
            return "UF";
        case RDR_EN_FORMAT_NETCDF:
            return "CF/Radial NetCDF";
        default:
            return "unknown";
    }
}

STD_RADAR* fnLoadStdVolume(const std::string& path, RDR_VOLUME_FORMAT* pFormat) {
    std::string why;
    RDR_VOLUME_FORMAT format = fnDetectVolumeFormat(path, &why);
    if (pFormat != nullptr) {
        *pFormat = format;
    }
    std::vector<char> name(path.begin(), path.end());
    name.push_back('\0');
    switch (format) {
        case RDR_EN_FORMAT_UF: {
            UF_RADAR* pUf = fnLoadUf(name.data());
            if (pUf == nullptr) {
                return nullptr;
            }
            STD_RADAR* pStd = fnUfSyncUpStd(pUf);
            fnFreeUfRadar(pUf);
            return pStd;
        }
        case RDR_EN_FORMAT_NETCDF: {
            NC_RADAR* pNc = fnLoadNcRadar(name.data());
            if (pNc == nullptr) {
                return nullptr;
            }
            STD_RADAR* pStd = fnNcSyncUpStd(pNc);
            fnFreeNcRadar(pNc);
            return pStd;
        }
        default:
            rdrError("fnLoadStdVolume", (path + ": " + why).c_str());
            return nullptr;
    }
}
