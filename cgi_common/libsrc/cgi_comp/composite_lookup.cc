#include "composite_lookup.h"

#include <cmath>

#include "internal/composite_grid.h"

namespace {

using comp_grid::kMissing;
using comp_grid::kOutside;

bool isCode(float v) {
    return v == kOutside || v == kMissing;
}

// The cell under a pixel in composite cells (fractional), or false when the scales cannot
// place it.
bool cellPosition(int nDiff_x, int nDiff_y, int nCol, int nRow, float fXGridScale,
                  float fYGridScale, double& fx, double& fy) {
    if (!(fXGridScale > 0.0f) || !(fYGridScale > 0.0f)) {
        return false;
    }
    fx = (static_cast<double>(nCol) - nDiff_x) / fXGridScale;
    fy = (static_cast<double>(nRow) - nDiff_y) / fYGridScale;
    return std::isfinite(fx) && std::isfinite(fy);
}

// How the bilinear weights treat a neighbour.
enum class Neighbours { kCodesAsZero, kNegativesAsZero };

// The interpolation both smoothed lookups share; addHalf and the missing test are the only
// differences between the 1-byte and the float composite.
float smoothed(float** pData, int nXdim, int nYdim, int nDiff_x, int nDiff_y, int nCol, int nRow,
               float fXGridScale, float fYGridScale, Neighbours rule) {
    double fx = 0.0;
    double fy = 0.0;
    if (pData == nullptr ||
        !cellPosition(nDiff_x, nDiff_y, nCol, nRow, fXGridScale, fYGridScale, fx, fy)) {
        return kOutside;
    }
    // Only inner cells: the right and lower neighbours must exist.
    if (fx < 1.0 || fy < 1.0 || fx >= nXdim - 1 || fy >= nYdim - 1) {
        return kOutside;
    }
    const int ix = static_cast<int>(fx);
    const int iy = static_cast<int>(fy);
    const float v = pData[iy][ix];
    if (v == kOutside) {
        return kOutside;
    }
    if (fx == ix && fy == iy) {
        return v;
    }
    const double dx = fx - ix;
    const double dy = fy - iy;
    // On a whole row the lower neighbours have weight 0; the row before stands in for them.
    const int lowerRow = dy != 0.0 ? iy + 1 : iy - 1;
    const float cells[4] = {pData[iy][ix], pData[iy][ix + 1], pData[lowerRow][ix],
                            pData[lowerRow][ix + 1]};
    double w[4];
    int codes = 0;
    for (int k = 0; k < 4; ++k) {
        const float c = cells[k];
        if (rule == Neighbours::kCodesAsZero) {
            // Outside cells are no echo, as missing ones are: neither enters the sum.
            if (isCode(c)) {
                ++codes;
                w[k] = 0.0;
            } else {
                w[k] = c;
            }
        } else {
            w[k] = c < 0.0f || std::isnan(c) ? 0.0 : c;
        }
    }
    if (rule == Neighbours::kCodesAsZero && codes == 4) {
        return kMissing;
    }
    const double a = w[0] * (1.0 - dy) + w[2] * dy;
    const double b = w[1] * (1.0 - dy) + w[3] * dy;
    const double r = a + (b - a) * dx;
    return static_cast<float>(rule == Neighbours::kCodesAsZero ? r + 0.5 : r);
}

}  // namespace

float fnCalcRadarValueSmooth(float** pData, int nXdim, int nYdim, int nDiff_x, int nDiff_y,
                             int nCol, int nRow, float fXGridScale, float fYGridScale) {
    return smoothed(pData, nXdim, nYdim, nDiff_x, nDiff_y, nCol, nRow, fXGridScale, fYGridScale,
                    Neighbours::kCodesAsZero);
}

float fnCalcRadarValueSmooth480(float** pData, int nXdim, int nYdim, int nDiff_x, int nDiff_y,
                                int nCol, int nRow, float fXGridScale, float fYGridScale) {
    return smoothed(pData, nXdim, nYdim, nDiff_x, nDiff_y, nCol, nRow, fXGridScale, fYGridScale,
                    Neighbours::kNegativesAsZero);
}
