#include "composite_image_data.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "composite_lookup.h"
#include "internal/composite_grid.h"

namespace {

using comp_grid::kMissing;
using comp_grid::kOutside;
using comp_grid::MatrixPtr;

constexpr float kCompGridEarthKm = 6371.00877f;
constexpr float kDisplayEarthKm = 6378.137f;

// The composite's corners on its own grid, in metres from 126 E 38 N: the corner
// coordinates in degrees are these points, rounded.
constexpr double kCompLeftM = -400000.0;
constexpr double kCompTopM = 400000.0;
constexpr double kCompRightM = 560000.0;
constexpr double kCompBottomM = -800000.0;

// Both Lambert set-ups share their parallels and origin longitude, so the display projection
// is the composite's own grid scaled by the ratio of the radii (and shifted north): a
// distance on the grid becomes this many times longer on the display.
double displayScale() {
    return static_cast<double>(kDisplayEarthKm) / static_cast<double>(kCompGridEarthKm);
}

bool finitePositive(float v) {
    return std::isfinite(v) && v > 0.0f;
}

bool validImage(float** pImgData, int nImgXdim, int nImgYdim) {
    return pImgData != nullptr && nImgXdim > 0 && nImgYdim > 0;
}

void fillGrid(float** pData, int nXdim, int nYdim, float v) {
    for (int i = 0; i < nYdim; ++i) {
        std::fill_n(pData[i], nXdim, v);
    }
}

enum class Lookup { kNearest, kSmooth, kSmooth480 };

float lookUp(Lookup how, float** pCompData, int nCompXdim, int nCompYdim, const CompImageFrame& f,
             int j, int i) {
    switch (how) {
        case Lookup::kSmooth:
            return fnCalcRadarValueSmooth(pCompData, nCompXdim, nCompYdim, f.nDiff_x, f.nDiff_y, j,
                                          i, f.fXGridScale, f.fYGridScale);
        case Lookup::kSmooth480:
            return fnCalcRadarValueSmooth480(pCompData, nCompXdim, nCompYdim, f.nDiff_x, f.nDiff_y,
                                             j, i, f.fXGridScale, f.fYGridScale);
        case Lookup::kNearest:
            break;
    }
    return fnCalcRadarValue(pCompData, nCompXdim, nCompYdim, f.nDiff_x, f.nDiff_y, j, i,
                            f.fXGridScale, f.fYGridScale);
}

// The cell index fnCalcRadarValue takes along one axis for each of n pixels, -1 outside: the
// nearest lookup is separable, so asking it once per column and once per row over a grid of
// indexes gives exactly its answers without a call per pixel.
std::vector<int> nearestCells(int nPixels, int nCells, int nDiff, float fScale, bool columns) {
    std::vector<float> index(static_cast<std::size_t>(nCells));
    std::vector<float*> rows;
    for (int k = 0; k < nCells; ++k) {
        index[static_cast<std::size_t>(k)] = static_cast<float>(k);
    }
    if (columns) {
        rows.push_back(index.data());
    } else {
        for (float& v : index) {
            rows.push_back(&v);
        }
    }
    std::vector<int> cells(static_cast<std::size_t>(nPixels));
    for (int p = 0; p < nPixels; ++p) {
        const float v =
            columns ? fnCalcRadarValue(rows.data(), nCells, 1, nDiff, 0, p, 0, fScale, 1.0f)
                    : fnCalcRadarValue(rows.data(), 1, nCells, 0, nDiff, 0, p, 1.0f, fScale);
        cells[static_cast<std::size_t>(p)] = v < 0.0f ? -1 : static_cast<int>(v);
    }
    return cells;
}

void lookUpNearest(float** pImgData, float** pCompData, int nImgXdim, int nImgYdim, int nCompXdim,
                   int nCompYdim, const CompImageFrame& f) {
    const std::vector<int> col = nearestCells(nImgXdim, nCompXdim, f.nDiff_x, f.fXGridScale, true);
    const std::vector<int> row = nearestCells(nImgYdim, nCompYdim, f.nDiff_y, f.fYGridScale, false);
    for (int i = 0; i < nImgYdim; ++i) {
        float* out = pImgData[i];
        const int r = row[static_cast<std::size_t>(i)];
        if (r < 0) {
            std::fill_n(out, nImgXdim, kOutside);
            continue;
        }
        const float* src = pCompData[r];
        for (int j = 0; j < nImgXdim; ++j) {
            const int c = col[static_cast<std::size_t>(j)];
            out[j] = c < 0 ? kOutside : src[c];
        }
    }
}

// Looks every pixel up into pImgData (already filled with -9999); then, when asked,
// re-places and fills gaps. False for a bad frame.
bool buildImageGrid(float** pImgData, float** pCompData, int nImgXdim, int nImgYdim, float fLU_lon,
                    float fLU_lat, float fXDist, float fYDist, Lookup how, int nCompXdim,
                    int nCompYdim, float fCompGridKm, bool replace) {
    CompImageFrame f{};
    if (!compImageFrame(nImgXdim, nImgYdim, fLU_lon, fLU_lat, fXDist, fYDist, fCompGridKm, &f)) {
        return false;
    }
    if (how == Lookup::kNearest) {
        lookUpNearest(pImgData, pCompData, nImgXdim, nImgYdim, nCompXdim, nCompYdim, f);
    } else {
        for (int i = 0; i < nImgYdim; ++i) {
            float* row = pImgData[i];
            for (int j = 0; j < nImgXdim; ++j) {
                row[j] = lookUp(how, pCompData, nCompXdim, nCompYdim, f, j, i);
            }
        }
    }
    if (replace) {
        if (fnVyqPosToGisPos(pImgData, nImgYdim, nImgXdim, f.fYGridM, f.fXGridM, fLU_lon, fLU_lat,
                             f.nDiff_x, f.nDiff_y, f.nDiff_RL_x, f.nDiff_RL_y) != 0) {
            return false;
        }
        compFillImageGaps(pImgData, nImgXdim, nImgYdim);
    }
    return true;
}

float** newImageGrid(float** pCompData, int nImgXdim, int nImgYdim, float fLU_lon, float fLU_lat,
                     float fXDist, float fYDist, Lookup how, int nCompXdim, int nCompYdim,
                     float fCompGridKm) {
    if (pCompData == nullptr || nCompXdim <= 0 || nCompYdim <= 0) {
        return nullptr;
    }
    MatrixPtr img = comp_grid::makeFilled(nImgYdim, nImgXdim, kMissing);
    if (!img || !buildImageGrid(img.get(), pCompData, nImgXdim, nImgYdim, fLU_lon, fLU_lat, fXDist,
                                fYDist, how, nCompXdim, nCompYdim, fCompGridKm, true)) {
        return nullptr;
    }
    return img.release();
}

// Where the pixels of one axis land on the display projection: pixel p at p x grid metres
// from the window corner on the composite's own grid is scale x p x grid metres from it on
// the display, so its target is the nearest pixel to scale x p.
std::vector<int> placedPixels(int n) {
    const double scale = displayScale();
    std::vector<int> target(static_cast<std::size_t>(n));
    for (int p = 0; p < n; ++p) {
        target[static_cast<std::size_t>(p)] = static_cast<int>(std::floor(scale * p + 0.5));
    }
    return target;
}

int placedOffset(int nDiff) {
    return static_cast<int>(std::floor(displayScale() * nDiff + 0.5));
}

}  // namespace

st_LAMC_PARAMETER compGridProjection() {
    return fnCgiGetMapInfo(kCompGridEarthKm, 30.0f, 60.0f, 126.0f, 38.0f, 0.001f, 0, 0);
}

st_LAMC_PARAMETER compDisplayProjection() {
    return fnCgiGetMapInfo(kDisplayEarthKm, 30.0f, 60.0f, 126.0f, 0.0f, 0.001f, 0, 0);
}

bool compImageFrame(int nImgXdim, int nImgYdim, float fLU_lon, float fLU_lat, float fXDist,
                    float fYDist, float fCompGridKm, CompImageFrame* pFrame) {
    if (pFrame == nullptr || nImgXdim <= 0 || nImgYdim <= 0 || !finitePositive(fXDist) ||
        !finitePositive(fYDist) || !finitePositive(fCompGridKm) || !std::isfinite(fLU_lon) ||
        !std::isfinite(fLU_lat) || std::fabs(fLU_lat) >= 90.0f) {
        return false;
    }
    CompImageFrame f{};
    f.fXGridM = fXDist / static_cast<float>(nImgXdim);
    f.fYGridM = fYDist / static_cast<float>(nImgYdim);
    if (!finitePositive(f.fXGridM) || !finitePositive(f.fYGridM)) {
        return false;
    }
    // The window's corner on the composite's own grid, where the composite's corners and
    // cells are exact: offsets measured on the display projection would be 0.11 % too long
    // and put a window far from the composite's corner a pixel or more off.
    st_LAMC_PARAMETER own = compGridProjection();
    st_LAMC_VAR ownVar{};
    float lon = fLU_lon;
    float lat = fLU_lat;
    float x0 = 0.0f;
    float y0 = 0.0f;
    fnCgiLamcproj(&lon, &lat, &x0, &y0, CGI_EN_PROJ_TO_GRID, &own, &ownVar);
    if (!std::isfinite(x0) || !std::isfinite(y0)) {
        return false;
    }
    // Rounded to the nearest pixel: the integer part would shift windows that start inside
    // the composite by up to a whole pixel.
    const auto pixels = [](double metres, float grid) {
        const double p = std::floor(metres / grid + 0.5);
        return p < -1e9 ? -1000000000 : p > 1e9 ? 1000000000 : static_cast<int>(p);
    };
    f.nDiff_x = pixels(kCompLeftM - x0, f.fXGridM);
    f.nDiff_y = pixels(y0 - kCompTopM, f.fYGridM);
    f.nDiff_RL_x = pixels(kCompRightM - x0, f.fXGridM);
    f.nDiff_RL_y = pixels(y0 - kCompBottomM, f.fYGridM);
    f.fXGridScale = fCompGridKm / (f.fXGridM / 1000.0f);
    f.fYGridScale = fCompGridKm / (f.fYGridM / 1000.0f);
    if (!finitePositive(f.fXGridScale) || !finitePositive(f.fYGridScale)) {
        return false;
    }
    *pFrame = f;
    return true;
}

void compFillImageGaps(float** pImgData, int nImgXdim, int nImgYdim) {
    if (!validImage(pImgData, nImgXdim, nImgYdim)) {
        return;
    }
    std::vector<float> before(static_cast<std::size_t>(nImgXdim));
    for (int i = 0; i < nImgYdim; ++i) {
        float* row = pImgData[i];
        std::memcpy(before.data(), row, before.size() * sizeof(float));
        const bool verticalRow = i >= 1 && i <= nImgYdim - 3;
        for (int j = 0; j < nImgXdim; ++j) {
            if (before[static_cast<std::size_t>(j)] != kMissing) {
                continue;
            }
            if (j >= 1 && j <= nImgXdim - 3 && row[j - 1] != kMissing && row[j + 1] != kMissing) {
                row[j] = row[j - 1];
            }
            if (verticalRow && pImgData[i - 1][j] != kMissing && pImgData[i + 1][j] != kMissing) {
                row[j] = pImgData[i - 1][j];
            }
        }
    }
}

float** fnMakeCompImgData(float** pCompData, int nImgXdim, int nImgYdim, float fLU_lon,
                          float fLU_lat, float fXDist, float fYDist, int nSmooth, int nCompXdim,
                          int nCompYdim, float fCompGridKm, const char* szP_type) {
    // Echo tops and VIL are not interpolated: a mean of heights or of columns is no value.
    const bool keepNearest = szP_type != nullptr && (std::strcmp(szP_type, "ETOP") == 0 ||
                                                     std::strcmp(szP_type, "VIL") == 0);
    const Lookup how = nSmooth == 1 && !keepNearest ? Lookup::kSmooth : Lookup::kNearest;
    return newImageGrid(pCompData, nImgXdim, nImgYdim, fLU_lon, fLU_lat, fXDist, fYDist, how,
                        nCompXdim, nCompYdim, fCompGridKm);
}

float** fnMakeComp480ImgData(float** pCompData, int nImgXdim, int nImgYdim, float fLU_lon,
                             float fLU_lat, float fXDist, float fYDist, int nSmooth, int nCompXdim,
                             int nCompYdim, float fCompGridKm) {
    return newImageGrid(pCompData, nImgXdim, nImgYdim, fLU_lon, fLU_lat, fXDist, fYDist,
                        nSmooth == 1 ? Lookup::kSmooth480 : Lookup::kNearest, nCompXdim, nCompYdim,
                        fCompGridKm);
}

float** fnMakeCompCj3ImgData(float** pCompData, int nImgXdim, int nImgYdim, float fLU_lon,
                             float fLU_lat, float fXDist, float fYDist, int nSmooth, int nCompXdim,
                             int nCompYdim, float fCompGridKm) {
    return fnMakeComp480ImgData(pCompData, nImgXdim, nImgYdim, fLU_lon, fLU_lat, fXDist, fYDist,
                                nSmooth, nCompXdim, nCompYdim, fCompGridKm);
}

int fnMakeCompVsrfEchoImgData(float** pImgData, float** pCompData, int nImgXdim, int nImgYdim,
                              float fLU_lon, float fLU_lat, float fXDist, float fYDist, int nSmooth,
                              int nCompXdim, int nCompYdim, float fCompGridKm) {
    CompImageFrame f{};
    if (!validImage(pImgData, nImgXdim, nImgYdim) || pCompData == nullptr || nCompXdim <= 0 ||
        nCompYdim <= 0 ||
        !compImageFrame(nImgXdim, nImgYdim, fLU_lon, fLU_lat, fXDist, fYDist, fCompGridKm, &f)) {
        return -1;
    }
    fillGrid(pImgData, nImgXdim, nImgYdim, kMissing);
    return buildImageGrid(pImgData, pCompData, nImgXdim, nImgYdim, fLU_lon, fLU_lat, fXDist, fYDist,
                          nSmooth == 1 ? Lookup::kSmooth : Lookup::kNearest, nCompXdim, nCompYdim,
                          fCompGridKm, true)
               ? 0
               : -1;
}

int fnMakeCompVsrfConGuideImgData(float** pImgData, float** pCompData, int nImgXdim, int nImgYdim,
                                  float fLU_lon, float fLU_lat, float fXDist, float fYDist,
                                  int nCompXdim, int nCompYdim, float fCompGridKm) {
    CompImageFrame f{};
    if (!validImage(pImgData, nImgXdim, nImgYdim) || pCompData == nullptr || nCompXdim <= 0 ||
        nCompYdim <= 0 ||
        !compImageFrame(nImgXdim, nImgYdim, fLU_lon, fLU_lat, fXDist, fYDist, fCompGridKm, &f)) {
        return -1;
    }
    fillGrid(pImgData, nImgXdim, nImgYdim, kMissing);
    return buildImageGrid(pImgData, pCompData, nImgXdim, nImgYdim, fLU_lon, fLU_lat, fXDist, fYDist,
                          Lookup::kNearest, nCompXdim, nCompYdim, fCompGridKm, false)
               ? 0
               : -1;
}

int fnMakeCompMapImgData(float** pImgData, float** pCompData, int nImgXdim, int nImgYdim,
                         int nCompXdim, int nCompYdim, float fCompGridKm) {
    if (!validImage(pImgData, nImgXdim, nImgYdim) || pCompData == nullptr || nCompXdim <= 0 ||
        nCompYdim <= 0 || !finitePositive(fCompGridKm)) {
        return -1;
    }
    CompImageFrame f{};
    f.fXGridScale = fCompGridKm / 2.0f;
    f.fYGridScale = f.fXGridScale;
    lookUpNearest(pImgData, pCompData, nImgXdim, nImgYdim, nCompXdim, nCompYdim, f);
    return 0;
}

int fnVyqPosToGisPos(float** pData, int nYdim, int nXdim, float fYGridM, float fXGridM,
                     float fLU_lon, float fLU_lat, int nDiff_x, int nDiff_y, int nDiff_RL_x,
                     int nDiff_RL_y) {
    if (!validImage(pData, nXdim, nYdim) || !finitePositive(fXGridM) || !finitePositive(fYGridM) ||
        !std::isfinite(fLU_lon) || !std::isfinite(fLU_lat)) {
        return -1;
    }
    MatrixPtr placed = comp_grid::makeFilled(nYdim, nXdim, kMissing);
    if (!placed) {
        return -1;
    }
    // Pixels no cell reaches: missing inside the composite (the gap fill closes them), outside
    // beyond it. The frame is where the composite's corners land after the placement; image
    // rows count from the top, as the offsets do.
    if (nDiff_x != 0 || nDiff_y != 0 || nDiff_RL_x != 0 || nDiff_RL_y != 0) {
        const int left = placedOffset(nDiff_x);
        const int right = placedOffset(nDiff_RL_x);
        const int top = placedOffset(nDiff_y);
        const int bottom = placedOffset(nDiff_RL_y);
        for (int r = 0; r < nYdim; ++r) {
            float* row = placed.get()[r];
            const bool insideRows = r >= top && r <= bottom;
            for (int c = 0; c < nXdim; ++c) {
                row[c] = insideRows && c >= left && c <= right ? kMissing : kOutside;
            }
        }
    }
    // The two projections differ by a scale about the window's corner alone, so a cell's
    // target row depends on its row only and its target column on its column only; this is
    // the per-cell round trip through longitude and latitude without its trigonometry.
    const std::vector<int> targetCol = placedPixels(nXdim);
    const std::vector<int> targetRow = placedPixels(nYdim);
    for (int r = 0; r < nYdim; ++r) {
        const int tr = targetRow[static_cast<std::size_t>(r)];
        if (tr >= nYdim) {
            break;
        }
        const float* src = pData[r];
        float* dst = placed.get()[tr];
        for (int c = 0; c < nXdim; ++c) {
            const int tc = targetCol[static_cast<std::size_t>(c)];
            if (tc >= nXdim) {
                break;
            }
            dst[tc] = src[c];
        }
    }
    for (int r = 0; r < nYdim; ++r) {
        std::memcpy(pData[r], placed.get()[r], static_cast<std::size_t>(nXdim) * sizeof(float));
    }
    return 0;
}
