// The azimuthal equidistant projection of the radar products, carried here so that the
// boundary-line tool needs nothing beyond the C and math libraries. Same formulas and
// constants as the radar core's projection (including its shortened pi), forward only.
#ifndef SITEBLN_BLN_PROJECTION_H
#define SITEBLN_BLN_PROJECTION_H

// Parameters (degrees, km, grid cells), the first-call flag and the constants cached on
// the first call. A record with m_iFirst = 0 sets itself up on its first projection.
struct BLN_AZED_MAP {
    float m_fRe;      // earth radius, km
    float m_fGridKm;  // grid cell size, km
    float m_fSlon;    // projection centre
    float m_fSlat;
    float m_fOlon;  // reference point
    float m_fOlat;
    float m_fXo;  // grid position of the reference point
    float m_fYo;
    int m_iFirst;
    double m_dRe;  // radius in grid cells
    double m_dSlon;
    double m_dSlat;
    double m_dXo;  // projected reference point minus its grid position
    double m_dYo;
};

// The record the tool uses for one site: Re 6370.196 km, 1 km cells, centre and reference
// point at the site, which sits at grid point (500, 500).
BLN_AZED_MAP fnBlnSiteMap(float fSiteLon, float fSiteLat);

// Longitude/latitude (degrees) to grid x (east) and y (north). Returns false, leaving the
// outputs unchanged, for a point (nearly) antipodal to the centre or a non-finite input.
bool fnBlnAzedForward(float fLon, float fLat, float* pfX, float* pfY, BLN_AZED_MAP* pMap);

#endif
