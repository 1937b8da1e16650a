// Map projections between geographic coordinates (degrees) and grid coordinates (cells) on
// a sphere: Lambert conformal conic with two standard parallels (composites, national
// grids) and azimuthal equidistant centred on a radar (single-radar products and images).
//
// The caller owns both records of a projection. A state record starts zero-filled, is
// filled by the first call and must then stay with the one parameter record it was made
// for: later calls reuse the cached constants (the Lambert projection still reads m_fXo and
// m_fYo on every call). In both projections x grows eastward and y grows northward.
#ifndef RDR_MAP_PROJECTIONS_H
#define RDR_MAP_PROJECTIONS_H

// Direction codes: 0 converts (lon, lat) to (x, y); any other code converts back.
enum {
    RDR_EN_PROJ_TO_GRID = 0,
    RDR_EN_PROJ_TO_LONLAT = 1,
};

struct LAMC_PARAMETER {
    float m_fRe;      // earth radius, km
    float m_fGridKm;  // grid cell size, km
    float m_fSlat1;   // first standard parallel, degrees
    float m_fSlat2;   // second standard parallel, degrees
    float m_fOlon;    // reference point longitude, degrees
    float m_fOlat;    // reference point latitude, degrees
    float m_fXo;      // grid x of the reference point
    float m_fYo;      // grid y of the reference point
};

struct LAMC_VAR {
    int m_iFirst;  // 0 until the first call fills the constants below
    double m_dPi;
    double m_dDegard;
    double m_dRaddeg;
    double m_dRe;  // earth radius in grid cells
    double m_dOlon;
    double m_dOlat;
    double m_dSn;  // cone constant
    double m_dSf;
    double m_dRo;
};

struct AZED_PARAMETER {
    float m_fRe;      // earth radius, km
    float m_fGridKm;  // grid cell size, km
    float m_fSlon;    // projection centre, degrees
    float m_fSlat;
    float m_fOlon;  // reference point, degrees
    float m_fOlat;
    float m_fXo;  // grid position of the reference point
    float m_fYo;
};

struct AZED_VAR {
    int m_iFirst;  // 0 until the first call fills the constants below
    double m_dRe;  // earth radius in grid cells
    double m_dSlon;
    double m_dSlat;
    double m_dOlon;
    double m_dOlat;
    double m_dXo;  // projected reference point minus its grid position
    double m_dYo;
    double m_dPI;
    double m_dDegrad;
    double m_dRaddeg;
};

LAMC_PARAMETER fnGetLamcMapInfo(float fRe, float fGridKm, float fSlat1, float fSlat2, float fOlon,
                                float fOlat, float fXo, float fYo);
void fnLamcProj(float* fLon, float* fLat, float* fX, float* fY, int iCode, LAMC_PARAMETER* pMap,
                LAMC_VAR* pVar);

AZED_PARAMETER fnGetAzedMapInfo(float fRe, float fGridKm, float fSlon, float fSlat, float fOlon,
                                float fOlat, float fXo, float fYo);
void fnAzedProj(float* fLon, float* fLat, float* fX, float* fY, int iCode, AZED_PARAMETER* pMap,
                AZED_VAR* pMapv);

#endif
