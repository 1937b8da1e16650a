// The sample line of a vertical cross-section between two geographic points on a site
// grid, and the profile values along it from the interpolated CAPPI.
//
// Grid positions are x (column, growing east) and row (growing south) of an nXdim x nYdim
// site grid of fSiteGridKm cells with the radar at (nXdim/2, nYdim/2).
#ifndef CGI_SITE_SECTION_LINE_H
#define CGI_SITE_SECTION_LINE_H

#include "site_volume_engine.h"

constexpr int CROSS_SECTION_SAMPLES = 725;
constexpr int CROSS_SECTION_LEVELS = 360;

// Longitude and latitude on input to the line; grid x and row in the sample list.
struct POINT {
    float m_fX_Point;
    float m_fY_Point;
};

// A cross-section (caller-owned; about 1 MB, so not for the stack).
struct CROSS_SECTION {
    float m_rgfData[CROSS_SECTION_SAMPLES][CROSS_SECTION_LEVELS];  // [sample][height level]
    float m_szBound[CROSS_SECTION_SAMPLES];    // per-sample boundary value (caller's)
    int m_nCenter_Idx;                         // sample nearest the grid centre
    int m_rgnAws_Idx[CROSS_SECTION_SAMPLES];   // per-sample station index (caller's)
    int m_rgnMap_High[CROSS_SECTION_SAMPLES];  // per-sample terrain height (caller's)
    int m_nMinValue;                           // value range (caller's)
    int m_nMaxValue;
    POINT m_stStart;  // end points (caller's)
    POINT m_stEnd;
    POINT m_stPoint[CROSS_SECTION_SAMPLES];  // sample positions, grid x and row
};

// Places the 725 samples of the line from stStartPoint to stEndPoint (longitude, latitude)
// in equal steps, the first one step from the start, the last on the end point, listed
// from the start towards the end; a line and its reverse have the same positions. Sets
// m_nCenter_Idx to the sample nearest the grid centre (the lowest index on a tie). 0; -1
// when the points lie within one grid cell of each other, cannot be projected, or an
// argument is invalid; nothing is written then.
int fnGetCross_Section_Point(CROSS_SECTION* stCross_Section, POINT stStartPoint, POINT stEndPoint,
                             int nYdim, int nXdim, float fSiteLon, float fSiteLat,
                             float fSiteGridKm);

// Fills m_rgfData[i][k] for every sample i and the levels k < nLevels with the single-cell
// interpolated CAPPI (cross-section bracket) at height (k + 0.5) x fLevelKm above the
// radar, at the grid cell nearest sample i. Levels from nLevels on are set to -9999.
// 0; -1 for an invalid argument (nLevels outside 1 .. 360, fLevelKm not positive).
int siteFillCrossSection(CROSS_SECTION* pCross, ST_UF_DATA* pUf, st_Azimuth** table, int nYdim,
                         int nXdim, float fSiteGridKm, int nLevels, float fLevelKm, int nIs_Dbz);

#endif
