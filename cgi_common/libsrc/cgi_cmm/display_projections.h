// Map projections of the display library between geographic coordinates (degrees) and grid
// coordinates (cells) on a sphere: Lambert conformal conic with two standard parallels
// (composite grids) and azimuthal equidistant centred on a radar (site images). The
// mathematics is shared with the radar core's projections; the records and argument orders
// are the display library's own.
//
// The caller owns both records of a projection. A state record starts zero-filled, is
// filled by the first call and must then stay with the one parameter record it was made
// for: later calls reuse the cached constants (the Lambert projection still reads m_fXo and
// m_fYo on every call). In both projections x grows eastward and y grows northward.
#ifndef CGI_DISPLAY_PROJECTIONS_H
#define CGI_DISPLAY_PROJECTIONS_H

// Direction codes: 0 converts (lon, lat) to (x, y); any other code converts back.
enum {
    CGI_EN_PROJ_TO_GRID = 0,
    CGI_EN_PROJ_TO_LONLAT = 1,
};

struct st_LAMC_PARAMETER {
    float m_fRe;     // earth radius, km
    float m_fGrid;   // grid cell size, km
    float m_fSlat1;  // first standard parallel, degrees
    float m_fSlat2;  // second standard parallel, degrees
    float m_fOlon;   // reference point longitude, degrees
    float m_fOlat;   // reference point latitude, degrees
    float m_fXo;     // grid x of the reference point
    float m_fYo;     // grid y of the reference point
};

struct st_LAMC_VAR {
    int m_nFirst;  // 0 until the first call fills the constants below
    double m_sdPI;
    double m_sdDEGRAD;
    double m_sdRADDEG;
    double m_sdRe;  // earth radius in grid cells
    double m_sdOlon;
    double m_sdOlat;
    double m_sdSn;  // cone constant
    double m_sdSf;
    double m_sdRo;
};

struct st_AzedParameter {
    float m_fRe;    // earth radius, km
    float m_fGrid;  // grid cell size, km
    float m_fSlon;  // projection centre, degrees
    float m_fSlat;
    float m_fOlon;  // reference point, degrees
    float m_fOlat;
    float m_fXo;  // grid position of the reference point
    float m_fYo;
};

struct st_AzedVar {
    int m_nFirst;  // 0 until the first call fills the constants below
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

// Note the order: grid size after the reference point, reference grid point as integers.
st_LAMC_PARAMETER fnCgiGetMapInfo(float fRe, float fSlat1, float fSlat2, float fOriginLon,
                                  float fOriginLat, float fGridKm, int nOriginX, int nOriginY);

// 0; -1 when a pointer is null (nothing is changed then).
int fnCgiLamcproj(float* pLon, float* pLat, float* pX, float* pY, int nCode,
                  st_LAMC_PARAMETER* p_Map, st_LAMC_VAR* p_Var);

st_AzedParameter fnCgiGetMapInfoAzed(float fRe, float fCenterLon, float fCenterLat,
                                     float fOriginLon, float fOriginLat, float fGridKm,
                                     int nOriginX, int nOriginY);

// 0; -1 when the reference point (while the state is set up) or the converted point is
// antipodal to the centre, or a pointer is null. On -1 the outputs are unchanged.
int fnCgiAzedProj(float* fLon, float* fLat, float* fX, float* fY, int nCode, st_AzedParameter Map,
                  st_AzedVar* Mapv);

#endif
