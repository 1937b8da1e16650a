// The format registry: the file's first bytes are read once (inflated when the file is
// gzip-compressed) and each row's identify check is asked in turn; the first row that
// recognises the file loads it.
#include "volume_formats.h"

#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <iterator>

#include "core_utilities.h"
#include "hdf_radar.h"
#include "internal/volume_formats_table.h"
#include "nc_radar.h"
#include "uf_radar.h"

namespace {

constexpr const char* kLoad = "fnLoadStdRadarFile";
constexpr unsigned char kHdf5Magic[8] = {0x89, 'H', 'D', 'F', '\r', '\n', 0x1a, '\n'};

bool startsWith(const VolumeFileHead& head, const void* magic, std::size_t n) {
    return head.size >= n && std::memcmp(head.bytes, magic, n) == 0;
}

bool isNetcdfClassic(const VolumeFileHead& head) {
    return head.size >= 4 && std::memcmp(head.bytes, "CDF", 3) == 0 &&
           (head.bytes[3] == 1 || head.bytes[3] == 2 || head.bytes[3] == 5);
}

bool identifyUf(const VolumeFileHead& head) {
    return ufFramingOfHead(head.bytes, head.size) != EN_UF_TYPE_UNKNOWN;
}

// NetCDF cannot read through gzip, so only plain files qualify. A NetCDF-4 file is HDF5
// underneath: it is CF/Radial when its Conventions name CF, or, lacking that attribute,
// when it holds the CF/Radial sweep_number variable.
bool identifyCfRadial(const VolumeFileHead& head) {
    if (head.gzip) {
        return false;
    }
    if (isNetcdfClassic(head)) {
        return true;
    }
    return head.hdf5 && (head.conventions.find("CF") != std::string::npos ||
                         (head.conventions.empty() && head.hasSweepNumber));
}

bool identifyOdim(const VolumeFileHead& head) {
    return head.hdf5 && !head.gzip && head.conventions.rfind("ODIM_H5", 0) == 0;
}

// A BUFR message may follow a bulletin heading, so its start is looked for in the head.
bool identifyBufr(const VolumeFileHead& head) {
    const unsigned char* end = head.bytes + head.size;
    static constexpr char kMagic[] = "BUFR";
    return std::search(head.bytes, end, kMagic, kMagic + 4) != end;
}

bool identifyGrib(const VolumeFileHead& head) {
    return startsWith(head, "GRIB", 4);
}

STD_RADAR* loadUf(const char* szFile) {
    UF_RADAR* pUf = fnLoadUf(szFile);
    if (pUf == nullptr) {
        return nullptr;
    }
    STD_RADAR* pStd = fnUfSyncUpStd(pUf);
    fnFreeUfRadar(pUf);
    return pStd;
}

STD_RADAR* loadCfRadial(const char* szFile) {
    NC_RADAR* pNc = fnLoadNcRadar(szFile);
    if (pNc == nullptr) {
        return nullptr;
    }
    STD_RADAR* pStd = fnNcSyncUpStd(pNc);
    fnFreeNcRadar(pNc);
    return pStd;
}

STD_RADAR* loadOdim(const char* szFile) {
    HDF_RADAR* pHdf = fnLoadHdfRadar(szFile);
    if (pHdf == nullptr) {
        return nullptr;
    }
    STD_RADAR* pStd = fnHdfSyncUpStd(pHdf);
    fnFreeHdfRadar(pHdf);
    return pStd;
}

// In order: the checks that read only the head come before the HDF5 ones.
constexpr VolumeFormat kFormats[] = {
    {"UF", identifyUf, loadUf},
    {"CF/Radial", identifyCfRadial, loadCfRadial},
    {"ODIM HDF5", identifyOdim, loadOdim},
    {"BUFR", identifyBufr, nullptr},
    {"GRIB", identifyGrib, nullptr},
};

// Reads the head into buf and fills head; false with the reason when the file cannot be
// read or is too short to be anything.
bool readHead(const char* szFile, std::array<unsigned char, kVolumeHeadBytes>* pBuf,
              VolumeFileHead* pHead, std::string* pWhy) {
    struct stat st {};
    if (szFile == nullptr || stat(szFile, &st) != 0) {
        *pWhy = std::string("cannot open: ") + std::strerror(szFile ? errno : EINVAL);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        *pWhy = "is a directory, not a file";
        return false;
    }
    if (S_ISREG(st.st_mode) && st.st_size == 0) {
        *pWhy = "the file is empty";
        return false;
    }
    gzFile gz = gzopen(szFile, "rb");
    if (gz == nullptr) {
        *pWhy = std::string("cannot open: ") + std::strerror(errno ? errno : ENOMEM);
        return false;
    }
    const int nRead = gzread(gz, pBuf->data(), static_cast<unsigned>(pBuf->size()));
    int iErr = Z_OK;
    const char* szGzError = gzerror(gz, &iErr);
    const bool bGzip = gzdirect(gz) == 0;
    std::string gzReason = iErr != Z_OK && szGzError != nullptr ? szGzError : "";
    gzclose(gz);

    *pHead = VolumeFileHead{szFile, pBuf->data(), nRead > 0 ? static_cast<std::size_t>(nRead) : 0,
                            bGzip,  false,        "",
                            false};
    if (nRead < 0 || (bGzip && pHead->size < 6)) {
        *pWhy = bGzip ? "the gzip stream is truncated or corrupt" : "read error";
        if (!gzReason.empty()) {
            *pWhy += " (" + gzReason + ")";
        }
        return false;
    }
    if (pHead->size < 6) {
        *pWhy = "too short to be a radar volume (" + std::to_string(pHead->size) + " bytes)";
        return false;
    }
    if (!bGzip && startsWith(*pHead, kHdf5Magic, sizeof(kHdf5Magic))) {
        pHead->hdf5 = true;
        if (!probeHdf5Root(pHead)) {
            *pWhy = "an HDF5 signature, but the HDF5 library cannot open the file";
            return false;
        }
    }
    return true;
}

const VolumeFormat* findFormat(const char* szFile, std::string* pWhy) {
    std::array<unsigned char, kVolumeHeadBytes> buf{};
    VolumeFileHead head{};
    if (!readHead(szFile, &buf, &head, pWhy)) {
        return nullptr;
    }
    for (const VolumeFormat& format : kFormats) {
        if (format.identify(head)) {
            return &format;
        }
    }
    if (head.hdf5) {
        *pWhy = "an HDF5 file, but neither CF/Radial nor ODIM_H5 (Conventions \"" +
                head.conventions + "\")";
    } else if (head.gzip) {
        *pWhy = "gzip-compressed, but the content is not a radar volume this library reads";
    } else {
        *pWhy = "not a radar volume this library recognises (UF, CF/Radial, ODIM HDF5, BUFR, GRIB)";
    }
    return nullptr;
}

}  // namespace

const char* fnIdentifyVolumeFile(const char* szFile, std::string* pWhy) {
    std::string why;
    const VolumeFormat* format = findFormat(szFile, &why);
    if (pWhy != nullptr) {
        *pWhy = why;
    }
    return format != nullptr ? format->name : nullptr;
}

STD_RADAR* fnLoadStdRadarFile(const char* szFile, const char** pFormat) {
    std::string why;
    const VolumeFormat* format = findFormat(szFile, &why);
    if (pFormat != nullptr) {
        *pFormat = format != nullptr ? format->name : nullptr;
    }
    const std::string name = szFile != nullptr ? szFile : "(null)";
    if (format == nullptr) {
        rdrError(kLoad, (name + ": " + why).c_str());
        return nullptr;
    }
    if (format->load == nullptr) {
        rdrError(kLoad, (name + ": " + format->name + " files are not supported yet").c_str());
        return nullptr;
    }
    return format->load(szFile);
}
