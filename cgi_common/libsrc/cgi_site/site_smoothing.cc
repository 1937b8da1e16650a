#include "site_smoothing.h"

namespace {

// Values at or below it are no echo.
constexpr float kEchoFloor = -50.0f;

// One 1-2-1 pass over the n cells at(0) .. at(n - 1) of a row or column. Each output uses
// the unsmoothed left neighbour, kept in `left` before that cell was overwritten.
template <class At>
void smoothLine(int n, At at) {
    if (n < 3) {
        return;
    }
    float left = at(0);
    for (int i = 1; i < n - 1; ++i) {
        float& centre = at(i);
        const float c = centre;
        const float r = at(i + 1);
        if (left > kEchoFloor && r > kEchoFloor) {
            // A one-cell gap between two echoes is filled with their mean.
            centre = c > kEchoFloor ? (left + 2.0f * c + r) * 0.25f : (left + r) * 0.5f;
        }
        left = c;
    }
}

}  // namespace

int fnVyqSmooth(float** pData, int nYdim, int nXdim) {
    if (pData == nullptr || nYdim < 0 || nXdim < 0) {
        return -1;
    }
    for (int y = 0; y < nYdim; ++y) {
        if (pData[y] == nullptr) {
            return -1;
        }
    }
    for (int y = 0; y < nYdim; ++y) {
        float* row = pData[y];
        smoothLine(nXdim, [row](int i) -> float& { return row[i]; });
    }
    for (int x = 0; x < nXdim; ++x) {
        smoothLine(nYdim, [pData, x](int i) -> float& { return pData[i][x]; });
    }
    return 0;
}
