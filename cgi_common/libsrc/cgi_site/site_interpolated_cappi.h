// Constant-altitude PPI interpolated, in the manner of Mohr and Vaughan, between the two
// sweeps that bracket a cell's elevation, the two rays that bracket its azimuth and the two
// bins that bracket its slant range; for a window of a site grid or for one cell (the
// cross-section uses the latter). Works on the site volume and azimuth tables of
// site_volume_engine.h.
//
// Cell (row y, column x) of an nYdim x nXdim grid lies dx = x - (nXdim - 1)/2 and
// dy = y - (nYdim - 1)/2 cells from the radar (row 0 north). Only real values are
// interpolated: a bin outside its ray, -9999 or a marker contributes 0, and a ray (or sweep)
// without any real sample takes no part. A cell without any real sample is -9999.
#ifndef CGI_SITE_INTERPOLATED_CAPPI_H
#define CGI_SITE_INTERPOLATED_CAPPI_H

#include "site_volume_engine.h"

// Elevation (degrees) and slant range (m) of a cell's sample point.
struct CAPPI_LOC {
    float m_fElev;
    float m_fSrange;
};

// The members below come in pairs: index 0 the lower (counter-clockwise, nearer) member,
// index 1 the upper. A missing member has valid flag 0, index -1 and angle -250.
struct st_CloestValues {  // the two bins of one ray
    int m_rgnValid[2];
    float m_rgfDbz[2];  // sample (Z when interpolating reflectivity)
    int m_rgnBinNum[2];
    float m_rgfR[2];  // start distance of the bin, m
};

struct st_CloestAzims {  // the two rays of one sweep
    int m_rgnValid[2];
    int m_rgnAzim[2];     // ray index
    float m_rgfTheta[2];  // ray azimuth, degrees
    st_CloestValues m_tValues[2];
};

struct st_CloestSweeps {  // the two sweeps of one cell
    int m_rgnValid[2];
    int m_rgnS[2];
    float m_rgfPhi[2];  // sweep elevation, degrees
    st_CloestAzims m_tAzims[2];
};

enum CAPPI_TYPE {
    REAL_CAPPI = 0,    // no value below the lowest sweep
    PSEUDO_CAPPI = 1,  // below the lowest / above the highest sweep, that sweep's value
};

// Grid of nYdim x nXdim floats (release with free()), 0 outside the window rows nY1 to
// nY2 - 1 and columns nX1 to nX2 - 1 (clipped to the grid). fSiteGridKm is the cell size,
// fHeightFromRadar the CAPPI height above the antenna in km; sweeps within 2 degrees of a
// cell's elevation bracket it. With nIs_Dbz the samples are interpolated as Z = 10^(dBZ/10)
// and the result is 10 log10(Z) (0 for Z = 0). Null for a null volume or table or a bad
// size.
float* fnMakeMohrCappi(ST_UF_DATA* pUf, int nIs_Dbz, int nYdim, int nXdim, float fSiteGridKm,
                       int nY1, int nY2, int nX1, int nX2, float fHeightFromRadar,
                       st_Azimuth** table);

// The same interpolation for the one cell (column nXIdx, row nYIdx) at fHeight_Km. Sweeps
// within 3 degrees bracket the cell when nIsCross is 1 (cross-sections), 2 degrees
// otherwise. -9999 for a null volume, an unknown CAPPI type, or no value.
float fnCAPPI_At_h_Cart(ST_UF_DATA* pUf, float fHeight_Km, int nXdim, int nYdim, float fGridSize_Km,
                        int nXIdx, int nYIdx, CAPPI_TYPE pseudo_cappi, int nIs_Dbz, int nIsCross,
                        st_Azimuth** table);

#endif
