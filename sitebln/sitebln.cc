#include "sitebln.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "atomic_file.h"
#include "bln_file.h"
#include "rdr_root.h"

namespace {

constexpr const char* kMapPaths[kBlnMapCount] = {
    "/DATA/GIS/MAP/govern_map.dat",
    "/DATA/GIS/MAP/river_map.dat",
    "/DATA/GIS/MAP/highway_map.dat",
    "/DATA/GIS/MAP/fine_kr.dat",
};

void reportFailure(const char* szFunc, const std::string& message) {
    std::fflush(stdout);  // keep the report after the map path it concerns
    std::fprintf(stderr, "%s : %s\n", szFunc, message.c_str());
}

// Projects one map into outPath. Returns 0 written, 1 map absent (output untouched),
// -1 output could not be created or written.
int writeOneMap(const std::string& outPath, int iMapIndex, BLN_AZED_MAP* pMap) {
    AtomicFile file;
    // The stream closes its own descriptor; the file keeps one for the sync and rename.
    const int fd = file.open(outPath) ? file.duplicateFd() : -1;
    FILE* out = fd >= 0 ? fdopen(fd, "wb") : nullptr;
    if (out == nullptr) {
        if (fd >= 0) {
            close(fd);
        }
        reportFailure("sitebln", "cannot create " + outPath + ": " +
                                     (file.error().empty() ? std::strerror(errno) : file.error()));
        return -1;
    }

    std::string mapPath = rdrRootPath(fnBlnMapPath(iMapIndex));
    std::printf("%s\n", mapPath.c_str());
    if (bln_file(out, iMapIndex, mapPath.c_str(), kBlnGridSize, kBlnGridSize, pMap) < 0) {
        std::fclose(out);
        reportFailure("bln_file", "cannot open " + mapPath + "; " + outPath + " left as it was");
        return 1;
    }
    const bool bWriteError = std::ferror(out) != 0;
    if (std::fclose(out) != 0 || bWriteError) {
        reportFailure("sitebln", "cannot write " + outPath);
        return -1;
    }
    if (!file.commit()) {
        reportFailure("sitebln", "cannot write " + outPath + ": " + file.error());
        return -1;
    }
    return 0;
}

}  // namespace

const char* fnBlnMapPath(int iMapIndex) {
    return (iMapIndex >= 0 && iMapIndex < kBlnMapCount) ? kMapPaths[iMapIndex] : nullptr;
}

std::string fnBlnOutputPath(const char* szCode, int iMapIndex) {
    return rdrRootPath("/www/yek/cgi-src/rdr/bln/RDR_" + std::string(szCode) + "_" +
                       std::to_string(iMapIndex + 1) + "_20100428.bln");
}

int sitebln(const char* szCode, float fLon, float fLat) {
    // A fresh installation has no output folder yet; make it rather than fail every file.
    const std::filesystem::path outDir =
        std::filesystem::path(fnBlnOutputPath(szCode, 0)).parent_path();
    std::error_code ec;
    std::filesystem::create_directories(outDir, ec);
    if (ec) {
        reportFailure("sitebln",
                      "cannot create the output folder " + outDir.string() + ": " + ec.message());
        return -1;
    }
    BLN_AZED_MAP map = fnBlnSiteMap(fLon, fLat);
    int iResult = 0;
    for (int iMap = 0; iMap < kBlnMapCount; ++iMap) {
        if (writeOneMap(fnBlnOutputPath(szCode, iMap), iMap, &map) < 0) {
            iResult = -1;
        }
    }
    return iResult;
}
