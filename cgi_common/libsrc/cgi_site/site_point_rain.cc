// The point-rain services: the value under one point as a text answer, and the whole grid
// dumped to a file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "atomic_file.h"
#include "display_projections.h"
#include "display_utilities.h"
#include "rdr_root.h"
#include "site_drawing.h"

namespace {

constexpr float kEarthRadiusKm = 6371.00877f;
constexpr float kNoEcho = -9999.0f;
constexpr float kOutsideCoverage = -9998.0f;
// 131067 and above are the site engine's bin markers.
constexpr float kFirstMarker = 131067.0f;

bool isRainField(const char* szDataType) {
    return szDataType != nullptr &&
           (std::strcmp(szDataType, "RN") == 0 || std::strcmp(szDataType, "SN") == 0);
}

// Codes stand for something other than a value and are never converted or shown as one.
bool isCode(float v) {
    return v == kNoEcho || v == kOutsideCoverage || v >= kFirstMarker || !std::isfinite(v);
}

float displayValue(float v, bool rain, float a, float b) {
    return rain && !isCode(v) ? fnDbz_To_R_f(v, a, b) : v;
}

}  // namespace

void siteFormatPointRain(float** pSiteData, const char* szDataType, int nSiteXdim, int nSiteYdim,
                         float fSiteGridKm, float fSiteLon, float fSiteLat, float fXo, float fYo,
                         float fPointLon, float fPointLat, float fZr_A, float fZr_B, char* szOut,
                         int nOutLen) {
    if (szOut == nullptr || nOutLen <= 0) {
        return;
    }
    std::snprintf(szOut, static_cast<size_t>(nOutLen), "%s", "-");
    if (pSiteData == nullptr || nSiteXdim <= 0 || nSiteYdim <= 0 || !(fSiteGridKm > 0.0f)) {
        return;
    }
    const st_AzedParameter map =
        fnCgiGetMapInfoAzed(kEarthRadiusKm, fSiteLon, fSiteLat, fSiteLon, fSiteLat, fSiteGridKm,
                            static_cast<int>(fXo), static_cast<int>(fYo));
    st_AzedVar var{};
    float x = 0.0f;
    float y = 0.0f;
    if (fnCgiAzedProj(&fPointLon, &fPointLat, &x, &y, CGI_EN_PROJ_TO_GRID, map, &var) != 0) {
        return;
    }
    const double col = std::trunc(x + 0.5);
    const double row = std::trunc(nSiteYdim - static_cast<double>(y) - 1.0);
    if (!(col >= 0.0 && col < nSiteXdim && row >= 0.0 && row < nSiteYdim)) {
        return;  // also NaN
    }
    const float* cells = pSiteData[static_cast<int>(row)];
    if (cells == nullptr) {
        return;
    }
    const float v = cells[static_cast<int>(col)];
    if (isCode(v)) {
        return;
    }
    std::snprintf(szOut, static_cast<size_t>(nOutLen), "%.2f",
                  displayValue(v, isRainField(szDataType), fZr_A, fZr_B));
}

int fnWritePointRain(float** pSiteData, const char* szDataType, int nSiteXdim, int nSiteYdim,
                     float fSiteGridKm, float fSiteLon, float fSiteLat, float fXo, float fYo,
                     float fPointLon, float fPointLat, float fZr_A, float fZr_B) {
    char value[64];
    siteFormatPointRain(pSiteData, szDataType, nSiteXdim, nSiteYdim, fSiteGridKm, fSiteLon,
                        fSiteLat, fXo, fYo, fPointLon, fPointLat, fZr_A, fZr_B, value,
                        sizeof value);
    std::printf("Content-type: text/html\r\n\r\n%s\r\n\r\n", value);
    std::fflush(stdout);
    return 0;
}

int fnRainPointFileWrite(float** pImgData, const char* szDataType, long lN_Date, int nSiteYdim,
                         int nSiteXdim, float fZr_A, float fZr_B) {
    if (pImgData == nullptr || nSiteYdim < 0 || nSiteXdim < 0) {
        return -1;
    }
    for (int y = 0; y < nSiteYdim; ++y) {
        if (pImgData[y] == nullptr) {
            return -1;
        }
    }
    const std::string path = rdrRootPath(std::string("/rdr/www/cgi-src/data/temp/load_rain")) +
                             "/" + std::to_string(lN_Date) + ".bin";
    // Readers see the old file or the whole new one, never a part.
    AtomicFile out;
    if (!out.open(path)) {
        return -1;
    }
    const bool rain = isRainField(szDataType);
    std::vector<float> row(static_cast<size_t>(nSiteXdim));
    bool ok = true;
    for (int y = 0; ok && y < nSiteYdim; ++y) {
        for (int x = 0; x < nSiteXdim; ++x) {
            row[static_cast<size_t>(x)] = displayValue(pImgData[y][x], rain, fZr_A, fZr_B);
        }
        ok = out.write(row.data(), row.size() * sizeof(float));
    }
    if (!ok || !out.commit()) {
        return -1;
    }
    return 0;
}
