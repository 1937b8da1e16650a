// Present-weather symbols of surface stations on composite images.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "composite_image_data.h"
#include "display_projections.h"
#include "internal/composite_text.h"
#include "owned_handle.h"
#include "rdr_root.h"
#include "station_overlay.h"

namespace {

// The file of a busy hour holds a few thousand stations; a count far beyond that is not a
// station count.
constexpr long kMaxStations = 1000000;

bool inRange(int code, int low, int high) {
    return code >= low && code <= high;
}

void circle(gdImagePtr img, int c, int r, int diameter, int colour) {
    gdImageArc(img, c, r, diameter, diameter, 0, 360, colour);
}

void cross(gdImagePtr img, int c, int top, int bottom, int colour) {
    gdImageLine(img, c - 3, top, c + 3, bottom, colour);
    gdImageLine(img, c - 3, bottom, c + 3, top, colour);
}

// Reads a whole line; false at the end of the file. Lines longer than the buffer are not
// station lines and fail the parse that follows.
bool readLine(FILE* f, char* buf, int size) {
    return std::fgets(buf, size, f) != nullptr;
}

}  // namespace

void compDrawWeatherSymbol(gdImagePtr pImg, int nCode, int c, int r, int nColour) {
    if (pImg == nullptr) {
        return;
    }
    if (inRange(nCode, 0, 2)) {
        circle(pImg, c, r, 9, nColour);
    } else if (inRange(nCode, 3, 5)) {
        circle(pImg, c, r, 9, nColour);
        gdImageLine(pImg, c, r - 3, c, r + 3, nColour);
    } else if (inRange(nCode, 6, 8)) {
        circle(pImg, c, r, 9, nColour);
        gdImageLine(pImg, c - 1, r - 3, c - 1, r + 3, nColour);
        gdImageLine(pImg, c + 1, r - 3, c + 1, r + 3, nColour);
    } else if (inRange(nCode, 9, 10)) {
        circle(pImg, c, r, 9, nColour);
        circle(pImg, c, r, 5, nColour);
    } else if (inRange(nCode, 50, 66) || inRange(nCode, 80, 82)) {
        gdImageFilledEllipse(pImg, c, r, 9, 9, nColour);
    } else if (inRange(nCode, 68, 69) || inRange(nCode, 83, 84)) {
        gdImageFilledEllipse(pImg, c, r, 7, 7, nColour);
        gdImageLine(pImg, c - 3, r + 5, c + 3, r + 5, nColour);
        cross(pImg, c, r + 2, r + 8, nColour);
    } else if (inRange(nCode, 70, 78) || inRange(nCode, 85, 88)) {
        gdImageLine(pImg, c - 3, r, c + 3, r, nColour);
        cross(pImg, c, r - 3, r + 3, nColour);
    }
}

int fnCompWstDisp(float fLU_lon, float fLU_lat, const char* szDate, int nImgXdim, int nImgYdim,
                  float fXDist, float fYDist, gdImagePtr pImg) {
    struct tm t {};
    if (pImg == nullptr || !comp_text::parseDate(szDate, t)) {
        return -1;
    }
    char path[96];
    std::snprintf(path, sizeof path, "/DATA/INPUT/WST/%04d%02d/%02d/WST_%04d%02d%02d%02d00.txt",
                  t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_year + 1900, t.tm_mon + 1,
                  t.tm_mday, t.tm_hour);
    rdr::FilePtr file(std::fopen(rdrRootPath(std::string(path)).c_str(), "r"));
    if (file == nullptr) {
        return 0;
    }
    char line[256];
    char* end = nullptr;
    if (!readLine(file.get(), line, sizeof line)) {
        return -1;
    }
    const long count = std::strtol(line, &end, 10);
    if (end == line || count < 0 || count > kMaxStations) {
        return -1;
    }
    if (nImgXdim <= 0 || nImgYdim <= 0 || !(fXDist > 0.0f) || !(fYDist > 0.0f) ||
        !std::isfinite(fXDist) || !std::isfinite(fYDist)) {
        return 0;
    }
    const double xGridM = static_cast<double>(fXDist) / nImgXdim;
    const double yGridM = static_cast<double>(fYDist) / nImgYdim;
    st_LAMC_PARAMETER map = compDisplayProjection();
    st_LAMC_VAR var{};
    float cornerX = 0.0f;
    float cornerY = 0.0f;
    fnCgiLamcproj(&fLU_lon, &fLU_lat, &cornerX, &cornerY, CGI_EN_PROJ_TO_GRID, &map, &var);
    const int colour = gdImageColorResolve(pImg, 51, 51, 51);
    for (long s = 0; s < count && readLine(file.get(), line, sizeof line); ++s) {
        int code = 0;
        float lat = 0.0f;
        float lon = 0.0f;
        if (std::sscanf(line, "%d %f %f", &code, &lat, &lon) != 3) {
            break;
        }
        if (!std::isfinite(lat) || !std::isfinite(lon) || std::fabs(lat) > 90.0f) {
            continue;
        }
        float x = 0.0f;
        float y = 0.0f;
        fnCgiLamcproj(&lon, &lat, &x, &y, CGI_EN_PROJ_TO_GRID, &map, &var);
        const double col = std::trunc((x - cornerX) / xGridM);
        const double row = std::trunc((cornerY - y) / yGridM);
        if (!(col > 0.0 && col < nImgXdim && row > 0.0 && row < nImgYdim)) {
            continue;
        }
        compDrawWeatherSymbol(pImg, code, static_cast<int>(col), static_cast<int>(row), colour);
    }
    return 0;
}
