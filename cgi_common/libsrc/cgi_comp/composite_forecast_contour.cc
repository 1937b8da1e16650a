// Smoothing and CONREC contouring of forecast image grids.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "internal/composite_contour.h"

namespace comp_contour {

namespace {

constexpr int kHalfWindow = 4;
// Whole values up to this size sum exactly in the sliding sums (and in a double).
constexpr double kLargestWholeValue = 1.0e12;

constexpr double kMissing = -9999.0;

// What a cell adds to a window sum: a value that is not a number (a corrupt file) counts as
// missing, and sums stay far inside the range of a long whatever a file holds.
double summand(float v) {
    return std::isfinite(v) ? std::clamp<double>(v, -kLargestWholeValue, kLargestWholeValue)
                            : kMissing;
}

// The rule as written: every window summed anew, truncating after each addition. Needed
// when a value has a fraction, since the truncation then depends on the order of the sum.
void smoothByWindows(float** pGrid, int nXdim, int nYdim) {
    for (int r = 0; r < nYdim; ++r) {
        const int r0 = std::max(0, r - kHalfWindow);
        const int r1 = std::min(nYdim - 1, r + kHalfWindow);
        for (int c = 0; c < nXdim; ++c) {
            const int c0 = std::max(0, c - kHalfWindow);
            const int c1 = std::min(nXdim - 1, c + kHalfWindow);
            long sum = 0;
            for (int rr = r0; rr <= r1; ++rr) {
                const float* row = pGrid[rr];
                for (int cc = c0; cc <= c1; ++cc) {
                    sum = static_cast<long>(static_cast<double>(sum) + summand(row[cc]));
                }
            }
            const long count = static_cast<long>(r1 - r0 + 1) * (c1 - c0 + 1);
            pGrid[r][c] = static_cast<float>(sum / count);
        }
    }
}

bool allWholeValues(float** pGrid, int nXdim, int nYdim) {
    for (int r = 0; r < nYdim; ++r) {
        for (int c = 0; c < nXdim; ++c) {
            const float v = pGrid[r][c];
            if (!(std::fabs(v) <= kLargestWholeValue) || v != std::trunc(v)) {
                return false;
            }
        }
    }
    return true;
}

// The same result for whole values, whose sums do not depend on their order: column sums
// over the window's rows and a running sum over the window's columns, both kept up to date
// as cells are replaced, so each cell costs a few additions instead of 81.
void smoothBySlidingSums(float** pGrid, int nXdim, int nYdim) {
    std::vector<int64_t> columnSum(static_cast<size_t>(nXdim), 0);
    for (int rr = 0; rr <= std::min(nYdim - 1, kHalfWindow); ++rr) {
        for (int c = 0; c < nXdim; ++c) {
            columnSum[static_cast<size_t>(c)] += static_cast<int64_t>(pGrid[rr][c]);
        }
    }
    for (int r = 0; r < nYdim; ++r) {
        const int rows = std::min(nYdim - 1, r + kHalfWindow) - std::max(0, r - kHalfWindow) + 1;
        int64_t sum = 0;
        for (int c = 0; c <= std::min(nXdim - 1, kHalfWindow); ++c) {
            sum += columnSum[static_cast<size_t>(c)];
        }
        float* row = pGrid[r];
        for (int c = 0; c < nXdim; ++c) {
            const int columns =
                std::min(nXdim - 1, c + kHalfWindow) - std::max(0, c - kHalfWindow) + 1;
            // The sums follow what the cell holds, the mean as a float.
            const float mean = static_cast<float>(sum / (static_cast<int64_t>(rows) * columns));
            const int64_t change = static_cast<int64_t>(mean) - static_cast<int64_t>(row[c]);
            row[c] = mean;
            columnSum[static_cast<size_t>(c)] += change;
            sum += change;
            if (c - kHalfWindow >= 0) {
                sum -= columnSum[static_cast<size_t>(c - kHalfWindow)];
            }
            if (c + kHalfWindow + 1 < nXdim) {
                sum += columnSum[static_cast<size_t>(c + kHalfWindow + 1)];
            }
        }
        if (r - kHalfWindow >= 0) {
            for (int c = 0; c < nXdim; ++c) {
                columnSum[static_cast<size_t>(c)] -=
                    static_cast<int64_t>(pGrid[r - kHalfWindow][c]);
            }
        }
        if (r + kHalfWindow + 1 < nYdim) {
            for (int c = 0; c < nXdim; ++c) {
                columnSum[static_cast<size_t>(c)] +=
                    static_cast<int64_t>(pGrid[r + kHalfWindow + 1][c]);
            }
        }
    }
}

}  // namespace

void smoothGrid(float** pGrid, int nXdim, int nYdim) {
    if (pGrid == nullptr || nXdim <= 0 || nYdim <= 0) {
        return;
    }
    if (allWholeValues(pGrid, nXdim, nYdim)) {
        smoothBySlidingSums(pGrid, nXdim, nYdim);
    } else {
        smoothByWindows(pGrid, nXdim, nYdim);
    }
}

void conrec(float** pGrid, int nColLow, int nColHigh, int nRowLow, int nRowHigh, const double* pX,
            const double* pY, int nLevels, const double* pLevels, const SegmentFn& segment) {
    if (pGrid == nullptr || pX == nullptr || pY == nullptr || pLevels == nullptr || nLevels <= 0) {
        return;
    }
    // Corner offsets of a square, counter-clockwise from its lower-left corner.
    static constexpr int kCornerCol[4] = {0, 1, 1, 0};
    static constexpr int kCornerRow[4] = {0, 0, 1, 1};
    // Which segment a triangle holds, by the signs (-1, 0, +1) of its vertices against the
    // level: 0 none, 1-3 along an edge, 4-6 from a vertex to the opposite side, 7-9 between
    // two sides.
    static constexpr int kCase[3][3][3] = {{{0, 0, 8}, {0, 2, 5}, {7, 6, 9}},
                                           {{0, 3, 4}, {1, 3, 1}, {4, 3, 0}},
                                           {{9, 6, 7}, {5, 2, 0}, {8, 0, 0}}};
    double h[5];
    int sh[5];
    double xh[5];
    double yh[5];
    auto xsect = [&](int p1, int p2) {
        return (h[p2] * xh[p1] - h[p1] * xh[p2]) / (h[p2] - h[p1]);
    };
    auto ysect = [&](int p1, int p2) {
        return (h[p2] * yh[p1] - h[p1] * yh[p2]) / (h[p2] - h[p1]);
    };

    for (int j = nRowHigh - 1; j >= nRowLow; --j) {
        for (int i = nColLow; i <= nColHigh - 1; ++i) {
            const double corner[4] = {pGrid[j][i], pGrid[j][i + 1], pGrid[j + 1][i + 1],
                                      pGrid[j + 1][i]};
            const double dmin = std::min({corner[0], corner[1], corner[2], corner[3]});
            const double dmax = std::max({corner[0], corner[1], corner[2], corner[3]});
            if (dmax < pLevels[0] || dmin > pLevels[nLevels - 1]) {
                continue;
            }
            for (int k = 0; k < nLevels; ++k) {
                if (pLevels[k] < dmin || pLevels[k] > dmax) {
                    continue;
                }
                for (int m = 4; m >= 0; --m) {
                    if (m > 0) {
                        h[m] = pGrid[j + kCornerRow[m - 1]][i + kCornerCol[m - 1]] - pLevels[k];
                        xh[m] = pX[i + kCornerCol[m - 1]];
                        yh[m] = pY[j + kCornerRow[m - 1]];
                    } else {
                        h[0] = 0.25 * (h[1] + h[2] + h[3] + h[4]);
                        xh[0] = 0.5 * (pX[i] + pX[i + 1]);
                        yh[0] = 0.5 * (pY[j] + pY[j + 1]);
                    }
                    sh[m] = h[m] > 0.0 ? 1 : h[m] < 0.0 ? -1 : 0;
                }
                for (int m = 1; m <= 4; ++m) {
                    const int m1 = m;
                    const int m2 = 0;
                    const int m3 = m != 4 ? m + 1 : 1;
                    double x1 = 0.0;
                    double y1 = 0.0;
                    double x2 = 0.0;
                    double y2 = 0.0;
                    switch (kCase[sh[m1] + 1][sh[m2] + 1][sh[m3] + 1]) {
                        case 0:
                            continue;
                        case 1:
                            x1 = xh[m1], y1 = yh[m1], x2 = xh[m2], y2 = yh[m2];
                            break;
                        case 2:
                            x1 = xh[m2], y1 = yh[m2], x2 = xh[m3], y2 = yh[m3];
                            break;
                        case 3:
                            x1 = xh[m3], y1 = yh[m3], x2 = xh[m1], y2 = yh[m1];
                            break;
                        case 4:
                            x1 = xh[m1], y1 = yh[m1], x2 = xsect(m2, m3), y2 = ysect(m2, m3);
                            break;
                        case 5:
                            x1 = xh[m2], y1 = yh[m2], x2 = xsect(m3, m1), y2 = ysect(m3, m1);
                            break;
                        case 6:
                            x1 = xh[m3], y1 = yh[m3], x2 = xsect(m1, m2), y2 = ysect(m1, m2);
                            break;
                        case 7:
                            x1 = xsect(m1, m2), y1 = ysect(m1, m2);
                            x2 = xsect(m2, m3), y2 = ysect(m2, m3);
                            break;
                        case 8:
                            x1 = xsect(m2, m3), y1 = ysect(m2, m3);
                            x2 = xsect(m3, m1), y2 = ysect(m3, m1);
                            break;
                        case 9:
                            x1 = xsect(m3, m1), y1 = ysect(m3, m1);
                            x2 = xsect(m1, m2), y2 = ysect(m1, m2);
                            break;
                    }
                    segment(x1, y1, x2, y2, k);
                }
            }
        }
    }
}

}  // namespace comp_contour
