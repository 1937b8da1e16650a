#include "site_value_lookup.h"

#include <cmath>

namespace {

constexpr float kOutside = -9998.0f;

// Index trunc((point - offset) / scale), or -1 when it falls outside [0, n).
int cellIndex(int nPoint, int nDiff, double scale, int n) {
    if (!(scale > 0.0) || !std::isfinite(scale)) {
        return -1;
    }
    const double x = (static_cast<double>(nPoint) - nDiff) / scale;
    // Truncation toward zero: a point less than one cell before the offset lands on cell 0.
    if (!(x > -1.0) || x >= n) {
        return -1;
    }
    return static_cast<int>(x);
}

}  // namespace

float fnCalcRadarValue(float** pData, int nDataXdim, int nDataYdim, int nDiff_x, int nDiff_y,
                       int nXpoint, int nYpoint, float fXGridScale, float fYGridScale) {
    if (pData == nullptr) {
        return kOutside;
    }
    const int col = cellIndex(nXpoint, nDiff_x, fXGridScale, nDataXdim);
    const int row = cellIndex(nYpoint, nDiff_y, fYGridScale, nDataYdim);
    if (col < 0 || row < 0 || pData[row] == nullptr) {
        return kOutside;
    }
    return pData[row][col];
}

float fnCalcRadarValue_Map(float** pData, int nDataXdim, int nDataYdim, int nDiff_x, int nDiff_y,
                           int nXpoint, int nYpoint, float fGridScale) {
    return fnCalcRadarValue(pData, nDataXdim, nDataYdim, nDiff_x, nDiff_y, nXpoint, nYpoint,
                            fGridScale, fGridScale);
}
