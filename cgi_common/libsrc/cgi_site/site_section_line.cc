#include "site_section_line.h"

#include <cmath>
#include <limits>

#include "display_projections.h"
#include "site_interpolated_cappi.h"

namespace {

// Earth radius of the site projection, km (held as the float 6371.0087890625).
constexpr float kEarthRadiusKm = 6371.00877f;
constexpr float kOutsideGrid = -9998.0f;

struct GridPoint {
    double x;
    double row;
};

bool finite(float v) {
    return std::isfinite(v);
}

}  // namespace

int fnGetCross_Section_Point(CROSS_SECTION* stCross_Section, POINT stStartPoint, POINT stEndPoint,
                             int nYdim, int nXdim, float fSiteLon, float fSiteLat,
                             float fSiteGridKm) {
    if (stCross_Section == nullptr || nYdim <= 0 || nXdim <= 0 || !(fSiteGridKm > 0.0f) ||
        !finite(fSiteGridKm) || !finite(fSiteLon) || !finite(fSiteLat) ||
        !finite(stStartPoint.m_fX_Point) || !finite(stStartPoint.m_fY_Point) ||
        !finite(stEndPoint.m_fX_Point) || !finite(stEndPoint.m_fY_Point)) {
        return -1;
    }
    const st_AzedParameter map = fnCgiGetMapInfoAzed(kEarthRadiusKm, fSiteLon, fSiteLat, fSiteLon,
                                                     fSiteLat, fSiteGridKm, nXdim / 2, nYdim / 2);
    st_AzedVar var{};
    GridPoint ends[2];
    const POINT lonLat[2] = {stStartPoint, stEndPoint};
    for (int e = 0; e < 2; ++e) {
        float lon = lonLat[e].m_fX_Point;
        float lat = lonLat[e].m_fY_Point;
        float x = 0.0f;
        float y = 0.0f;
        if (fnCgiAzedProj(&lon, &lat, &x, &y, CGI_EN_PROJ_TO_GRID, map, &var) != 0 || !finite(x) ||
            !finite(y)) {
            return -1;
        }
        // Rows grow southward; the site lands on row nYdim/2, as it does on every site grid.
        ends[e] = GridPoint{x, 2.0 * (nYdim / 2) - y};
    }
    if (std::fabs(ends[0].x - ends[1].x) < 1.0 && std::fabs(ends[0].row - ends[1].row) < 1.0) {
        return -1;
    }

    // Samples are laid from the western (or, on a north-south line, the northern) end, so
    // that a line and its reverse share their positions; the list then runs from the start.
    const bool reversed =
        ends[1].x < ends[0].x || (ends[1].x == ends[0].x && ends[1].row < ends[0].row);
    const GridPoint& a = reversed ? ends[1] : ends[0];
    const GridPoint& b = reversed ? ends[0] : ends[1];
    // Both coordinates step along the line's own extent (never through a slope, which loses
    // precision on near-vertical lines and is undefined on vertical ones).
    const double stepX = (b.x - a.x) / CROSS_SECTION_SAMPLES;
    const double stepRow = (b.row - a.row) / CROSS_SECTION_SAMPLES;
    const double centreX = nXdim / 2;
    const double centreRow = nYdim / 2;
    for (int i = 1; i <= CROSS_SECTION_SAMPLES; ++i) {
        const int idx = reversed ? CROSS_SECTION_SAMPLES - i : i - 1;
        stCross_Section->m_stPoint[idx] =
            POINT{static_cast<float>(a.x + i * stepX), static_cast<float>(a.row + i * stepRow)};
    }
    double best = std::numeric_limits<double>::infinity();
    for (int idx = 0; idx < CROSS_SECTION_SAMPLES; ++idx) {
        const double dx = stCross_Section->m_stPoint[idx].m_fX_Point - centreX;
        const double dy = stCross_Section->m_stPoint[idx].m_fY_Point - centreRow;
        const double d = dx * dx + dy * dy;
        if (d < best) {
            best = d;
            stCross_Section->m_nCenter_Idx = idx;
        }
    }
    stCross_Section->m_stStart = stStartPoint;
    stCross_Section->m_stEnd = stEndPoint;
    return 0;
}

int siteFillCrossSection(CROSS_SECTION* pCross, ST_UF_DATA* pUf, st_Azimuth** table, int nYdim,
                         int nXdim, float fSiteGridKm, int nLevels, float fLevelKm, int nIs_Dbz) {
    if (pCross == nullptr || pUf == nullptr || table == nullptr || nYdim <= 0 || nXdim <= 0 ||
        nLevels < 1 || nLevels > CROSS_SECTION_LEVELS || !(fSiteGridKm > 0.0f) ||
        !finite(fSiteGridKm) || !(fLevelKm > 0.0f) || !finite(fLevelKm)) {
        return -1;
    }
    for (int i = 0; i < CROSS_SECTION_SAMPLES; ++i) {
        float* column = pCross->m_rgfData[i];
        const double x = std::round(pCross->m_stPoint[i].m_fX_Point);
        const double row = std::round(pCross->m_stPoint[i].m_fY_Point);
        const bool inside = x >= 0.0 && x < nXdim && row >= 0.0 && row < nYdim;
        for (int k = 0; k < CROSS_SECTION_LEVELS; ++k) {
            if (k >= nLevels) {
                column[k] = SITE_NO_DATA;
            } else if (!inside) {
                column[k] = kOutsideGrid;
            } else {
                column[k] = fnCAPPI_At_h_Cart(pUf, (k + 0.5f) * fLevelKm, nXdim, nYdim, fSiteGridKm,
                                              static_cast<int>(x), static_cast<int>(row),
                                              REAL_CAPPI, nIs_Dbz, 1, table);
            }
        }
    }
    return 0;
}
