// Ellipsoidal Lambert conformal conic projection of the station positions.
#ifndef PRECIPVIEW_LAMC_PROJ_H
#define PRECIPVIEW_LAMC_PROJ_H

struct lamc_parameter {
    float Re;     // earth radius, km (kept for the record; the ellipsoid is fixed)
    float grid;   // km per grid unit
    float slat1;  // standard parallels, degrees
    float slat2;
    float olon;  // projection origin, degrees
    float olat;
    float xo;  // origin position in grid units
    float yo;
    int first;  // 0 until the constants are computed
};

// code 0: (lon, lat) degrees -> (x, y) grid units; otherwise the inverse.
int lamcproj_ellp(float* lon, float* lat, float* x, float* y, int code, lamc_parameter* map);

#endif
