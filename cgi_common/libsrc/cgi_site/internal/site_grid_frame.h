// The frame every square site grid shares: the cell geometry (range and azimuth of a cell
// seen from the radar) and the bin of a sweep under a cell. Products are the rule that turns
// the bins under a cell into its value.
#ifndef CGI_SITE_GRID_FRAME_H
#define CGI_SITE_GRID_FRAME_H

#include <cmath>
#include <cstdlib>
#include <vector>

#include "site_volume_engine.h"

namespace site_frame {

// Row 0 is the north edge and column 0 the west edge. The radar sits at row n/2 and
// column (n-1)/2, so odd sizes are centred and every row and column is a real cell.
struct CellGeometry {
    float rangeKm;  // ground range of the cell centre
    float azimuth;  // degrees clockwise from north
    int rowOffset;  // rows south of the radar
    int colOffset;  // columns west of the radar
};

inline CellGeometry cellGeometry(int n, float cellKm, int row, int col) {
    const int i = row - n / 2;
    const int j = (n - 1) / 2 - col;
    CellGeometry g{};
    g.rowOffset = i;
    g.colOffset = j;
    g.rangeKm = static_cast<float>(
        std::sqrt(static_cast<double>(i) * i + static_cast<double>(j) * j) * cellKm);
    // Angle of the offset vector counted from the west, with the products' pi of 3.14159.
    double t = 0.0;
    if (j == 0) {
        t = i < 0 ? -90.0 : 90.0;
    } else {
        t = std::atan(static_cast<double>(i) / j) * 180.0 / 3.14159;
        if (j < 0) {
            t += i >= 0 ? 180.0 : -180.0;
        }
    }
    double a = -t - 90.0;
    if (a < 0.0) {
        a += 360.0;
    }
    g.azimuth = static_cast<float>(a);
    return g;
}

// A square grid of n cells per side covering rangeKm from the radar to the half width.
struct SquareGrid {
    int n = 0;
    float rangeKm = 0.0f;
    float cellKm = 0.0f;
    bool ok() const { return n >= 2 && rangeKm > 0.0f && std::isfinite(rangeKm); }
};

inline SquareGrid squareGrid(int nXdim, int nYdim, float rangeKm) {
    SquareGrid g;
    // Bounded so that a grid stays a display grid (and n * n an int).
    if (nXdim != nYdim || nXdim < 2 || nXdim > 8192) {
        return g;
    }
    g.n = nXdim;
    g.rangeKm = rangeKm;
    g.cellKm = rangeKm / static_cast<float>(nXdim / 2);
    return g;
}

// Calls rule(geometry) for every cell within the range and stores its answer; cells beyond
// the range are -9999.
template <class Rule>
void fillGrid(const SquareGrid& grid, float* out, Rule rule) {
    for (int row = 0; row < grid.n; ++row) {
        for (int col = 0; col < grid.n; ++col) {
            const CellGeometry g = cellGeometry(grid.n, grid.cellKm, row, col);
            out[static_cast<size_t>(row) * grid.n + col] =
                g.rangeKm > grid.rangeKm ? SITE_NO_DATA : rule(g);
        }
    }
}

inline bool sweepUsable(const ST_UF_DATA& uf, int s, const st_Azimuth* table) {
    return table != nullptr && s >= 0 && s < uf.m_nSweeps && s < SITE_UF_MAX_SWEEPS &&
           uf.m_rgnRays[s] > 0;
}

// Bin index trunc((range - first bin) / gate) of ray r, or -1 outside the ray or for a ray
// without a gate spacing.
inline int binAtRange(const ST_UF_DATA& uf, int s, int r, double rangeM) {
    const int gate = uf.m_nGateSize[s][r];
    if (gate <= 0) {
        return -1;
    }
    const double x = (rangeM - uf.m_nRangeBin[s][r]) / gate;
    if (!(x > -1.0) || x >= uf.m_nBins[s][r]) {
        return -1;
    }
    const int b = static_cast<int>(x);
    return b < SITE_UF_MAX_BINS ? b : -1;
}

// Value of sweep s under a cell: the nearest ray within one beam width and the bin at the
// cell's range; -9999 for no ray, no bin or a marker.
inline float sweepValueAt(const ST_UF_DATA& uf, int s, const st_Azimuth* table, float rangeKm,
                          float azimuth) {
    const int r = siteClosestRay(&uf, s, table, azimuth);
    if (r < 0 || siteAzimuthDistance(azimuth, uf.m_AZIM[s][r]) > uf.m_fBeamWidth) {
        return SITE_NO_DATA;
    }
    const int b = binAtRange(uf, s, r, rangeKm * 1000.0);
    if (b < 0) {
        return SITE_NO_DATA;
    }
    const float v = uf.m_fData[s][r][b];
    return siteIsValue(v) ? v : SITE_NO_DATA;
}

inline float* newGrid(size_t cells) {
    return static_cast<float*>(std::malloc((cells > 0 ? cells : 1) * sizeof(float)));
}

}  // namespace site_frame

#endif
