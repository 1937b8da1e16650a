// The services that answer with numbers: the rain grid of a map window written to a file,
// and the value under one geographic point.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "atomic_file.h"
#include "composite_extras.h"
#include "composite_image_data.h"
#include "composite_lookup.h"
#include "display_projections.h"
#include "display_utilities.h"
#include "internal/composite_grid.h"
#include "internal/composite_text.h"
#include "rdr_root.h"

namespace {

using comp_text::sameName;

constexpr float kCompEarthKm = 6371.00877f;
// Raw codes of the 1-byte composite that may still stand in a grid.
constexpr float kByteOutside = -128.0f;
constexpr float kByteMissing = -127.0f;

struct ZrRelation {
    float a;
    float b;
};
constexpr ZrRelation kRainZr{200.0f, 1.6f};
constexpr ZrRelation kSnowZr{2000.0f, 2.0f};

bool isCode(float v) {
    return v == comp_grid::kMissing || v == comp_grid::kOutside;
}

bool knownFlag(int nUnitFlag) {
    return nUnitFlag >= COMP_UNIT_AS_RATE && nUnitFlag <= COMP_UNIT_HUNDREDTHS;
}

// A data value in the unit the flag asks for. Codes stay codes, and a rate at or below 0,
// which has no reflectivity, becomes "missing" rather than -inf.
float convertValue(float v, const char* szUnit, int nUnitFlag) {
    if (isCode(v) || !std::isfinite(v)) {
        return v;
    }
    if (nUnitFlag == COMP_UNIT_AS_RATE) {
        if (sameName(szUnit, "RN")) {
            return fnDbz_To_R_f(v, kRainZr.a, kRainZr.b);
        }
        if (sameName(szUnit, "SN")) {
            return fnDbz_To_R_f(v, kSnowZr.a, kSnowZr.b);
        }
    } else if (nUnitFlag == COMP_UNIT_AS_DBZ &&
               (sameName(szUnit, "CZ") || sameName(szUnit, "SN"))) {
        if (!(v > 0.0f)) {
            return comp_grid::kMissing;
        }
        const float dbz = fnR_to_dBZ_f(v, kRainZr.a, kRainZr.b);
        return sameName(szUnit, "SN") ? fnDbz_To_R_f(dbz, kSnowZr.a, kSnowZr.b) : dbz;
    }
    return v;
}

}  // namespace

int fnRainPointFileWrite(float** pCompData, const char* szUnit, long lN_Date, int nCompXdim,
                         int nCompYdim, int nUnitFlag, int nImgXdim, int nImgYdim, float fLU_lon,
                         float fLU_lat, float fXDist, float fYDist, float fCompGridKm) {
    // Everything is checked before the file is touched: a refused request leaves no file.
    if (!knownFlag(nUnitFlag) || pCompData == nullptr || nCompXdim <= 0 || nCompYdim <= 0 ||
        nImgXdim <= 0 || nImgYdim <= 0 || nImgXdim > COMP_MAX_IMAGE_DIM ||
        nImgYdim > COMP_MAX_IMAGE_DIM) {
        return -1;
    }
    CompImageFrame frame{};
    if (!compImageFrame(nImgXdim, nImgYdim, fLU_lon, fLU_lat, fXDist, fYDist, fCompGridKm,
                        &frame)) {
        return -1;
    }
    comp_grid::MatrixPtr grid = comp_grid::makeFilled(nImgYdim, nImgXdim, comp_grid::kMissing);
    if (grid == nullptr) {
        return -1;
    }
    const bool hundredths = nUnitFlag == COMP_UNIT_HUNDREDTHS;
    for (int i = 0; i < nImgYdim; ++i) {
        for (int j = 0; j < nImgXdim; ++j) {
            float v = fnCalcRadarValue(pCompData, nCompXdim, nCompYdim, frame.nDiff_x,
                                       frame.nDiff_y, j, i, frame.fXGridScale, frame.fYGridScale);
            if (hundredths && !isCode(v)) {
                v /= 100.0f;
            }
            grid.get()[i][j] = v;
        }
    }
    if (hundredths) {
        fnVyqPosToGisPos(grid.get(), nImgYdim, nImgXdim, frame.fYGridM, frame.fXGridM, fLU_lon,
                         fLU_lat, 0, 0, 0, 0);
    } else {
        fnVyqPosToGisPos(grid.get(), nImgYdim, nImgXdim, frame.fYGridM, frame.fXGridM, fLU_lon,
                         fLU_lat, frame.nDiff_x, frame.nDiff_y, frame.nDiff_RL_x, frame.nDiff_RL_y);
    }
    compFillImageGaps(grid.get(), nImgXdim, nImgYdim);

    const std::string path = rdrRootPath(std::string("/srv/brem/cgi_project/data/temp/load_rain")) +
                             "/" + std::to_string(lN_Date) + ".bin";
    AtomicFile out;
    if (!out.open(path)) {
        return -1;
    }
    std::vector<float> row(static_cast<size_t>(nImgXdim));
    bool ok = true;
    for (int i = 0; ok && i < nImgYdim; ++i) {
        for (int j = 0; j < nImgXdim; ++j) {
            row[static_cast<size_t>(j)] = convertValue(grid.get()[i][j], szUnit, nUnitFlag);
        }
        ok = out.write(row.data(), row.size() * sizeof(float));
    }
    return ok && out.commit() ? 0 : -1;
}

void compFormatPointRain(float** pCompData, const char* szUnit, int nCompXdim, int nCompYdim,
                         float fCompGridKm, float fCompLon, float fCompLat, int nCompXo,
                         int nCompYo, float fPointLon, float fPointLat, int nUnitFlag, char* szOut,
                         std::size_t nOutLen) {
    if (szOut == nullptr || nOutLen == 0) {
        return;
    }
    std::snprintf(szOut, nOutLen, "%s", "-");
    if (pCompData == nullptr || nCompXdim <= 0 || nCompYdim <= 0 || !(fCompGridKm > 0.0f) ||
        !knownFlag(nUnitFlag)) {
        return;
    }
    st_LAMC_PARAMETER map = fnCgiGetMapInfo(kCompEarthKm, 30.0f, 60.0f, fCompLon, fCompLat,
                                            fCompGridKm, nCompXo, nCompYo);
    st_LAMC_VAR var{};
    float x = 0.0f;
    float y = 0.0f;
    if (fnCgiLamcproj(&fPointLon, &fPointLat, &x, &y, CGI_EN_PROJ_TO_GRID, &map, &var) != 0) {
        return;
    }
    // Rounded down rather than towards zero, so that a point just west of or above the grid
    // is outside it instead of on its edge cell.
    const double col = std::floor(static_cast<double>(x) + 0.5);
    const double row = std::floor(nCompYdim - static_cast<double>(y) - 1.0);
    if (!(col >= 0.0 && col < nCompXdim && row >= 0.0 && row < nCompYdim)) {
        return;  // also NaN
    }
    const float* cells = pCompData[static_cast<int>(row)];
    if (cells == nullptr) {
        return;
    }
    const float v = cells[static_cast<int>(col)];
    if (isCode(v) || v == kByteOutside || v == kByteMissing || !std::isfinite(v)) {
        return;
    }
    const float shown = convertValue(v, szUnit, nUnitFlag);
    if (isCode(shown) || !std::isfinite(shown)) {
        return;
    }
    std::snprintf(szOut, nOutLen, "%.2f", shown);
}

int fnWritePointRain(float** pCompData, const char* szUnit, int nCompXdim, int nCompYdim,
                     float fCompGridKm, float fCompLon, float fCompLat, int nCompXo, int nCompYo,
                     float fPointLon, float fPointLat, int nUnitFlag) {
    char value[64];
    compFormatPointRain(pCompData, szUnit, nCompXdim, nCompYdim, fCompGridKm, fCompLon, fCompLat,
                        nCompXo, nCompYo, fPointLon, fPointLat, nUnitFlag, value, sizeof value);
    std::printf("Content-type: text/html\r\n\r\n%s\r\n\r\n", value);
    std::fflush(stdout);
    return 0;
}
