// CAPPI: a moment at one height above the radar.
//
// The real method takes, per cell, the sweep whose elevation best reaches the height at
// that ground distance and reads its nearest ray and bin (no interpolation); VIL is built
// on it. The Mohr method brackets the point between two sweeps and two rays and
// interpolates linearly (in linear reflectivity for "DZ"/"CZ"). Both return a new
// iYdim x iXdim row-major grid (free()), -9999 where there is no value, or null.
#ifndef RDR_CAPPI_PRODUCT_H
#define RDR_CAPPI_PRODUCT_H

#include "standard_volume.h"

enum {
    RDR_EN_PSEUDO_CAPPI = 1,  // below the lowest sweep the lowest sweep is used
    RDR_EN_REAL_CAPPI = 2,    // below the lowest sweep there is no data
};

// fCappiHeightKm above the radar; the cell size is fMaxRangeKm / (iXdim / 2), so the range
// circle just fits the grid. The grid must be square.
float* fnCreateCappiReal(STD_RADAR* pStd, float fCappiHeightKm, int iXdim, int iYdim,
                         float fMaxRangeKm, float fGridKm, char* szFieldName,
                         STD_AZIMUTH_TBL** ppTable);

// fCappiHeightKm above sea level (the antenna height is subtracted); cells of fGridKm with
// the radar at the geometric centre; no range limit. iYesCross widens the elevation limit
// above and below the sweeps from 2 to 3 degrees.
float* fnCreateCappiMohr(STD_RADAR* pStd, float fCappiHeightKm, int iXdim, int iYdim,
                         float fMaxRangeKm, float fGridKm, int iCappiKind, int iYesCross,
                         char* szFieldName, STD_AZIMUTH_TBL** ppTable);

// One Mohr point at (fPointX east, fPointY south) cells from the radar and fHeightToRadarKm
// above it; iYesDbz interpolates in linear reflectivity. Returns the value or -9999.
float fnCappi_at_h_cart(STD_RADAR* pStd, float fHeightToRadarKm, float fPointX, float fPointY,
                        float fGridKm, int iCappiKind, int iYesCross, int iYesDbz,
                        char* szFieldName, STD_AZIMUTH_TBL** ppTable);

#endif
