// Image grids of a composite: for each pixel of a map window the value of the composite cell
// under it (nearest or interpolated), re-placed from the composite's own Lambert grid to the
// display projection of the window, with one-pixel gaps filled.
//
// Two Lambert conformal conic set-ups (standard parallels 30 and 60 degrees, origin
// longitude 126 E, grid unit 1 m) are in play:
//  - the composite's own grid: radius 6371.00877 km, origin latitude 38 N. The composite's
//    corners lie exactly at (-400, +400) km and (+560, -800) km on it, and its cells are
//    fCompGridKm on it;
//  - the display projection of image windows, map lines and stations: radius 6378.137 km,
//    origin latitude 0. The same corners are 0.11 % farther apart on it.
// A window's left-upper corner (fLU_lon, fLU_lat) and its size fXDist x fYDist (metres)
// are on the display projection; pixel (column j, row i) of the finished grid lies at
// (j x fXDist / nImgXdim, -i x fYDist / nImgYdim) metres from that corner. Image grids are
// nImgYdim rows by nImgXdim columns, row 0 at the top, made with fnGetMatrixFloat and
// released with fnFreeMatrixFloat(grid, nImgYdim). Codes: -9998 outside the composite,
// -9999 missing.
#ifndef CGI_COMP_COMPOSITE_IMAGE_DATA_H
#define CGI_COMP_COMPOSITE_IMAGE_DATA_H

#include "display_projections.h"

// Corners of the composite in degrees (left-upper, right-lower).
constexpr float COMP_LU_LON = 121.02835f;
constexpr float COMP_LU_LAT = 41.590557f;
constexpr float COMP_RL_LON = 131.86324f;
constexpr float COMP_RL_LAT = 30.506027f;

// The composite's own grid (metres, origin 126 E 38 N at (0, 0)).
st_LAMC_PARAMETER compGridProjection();
// The display projection of image windows (metres, origin 126 E 0 N at (0, 0)).
st_LAMC_PARAMETER compDisplayProjection();

// Where a window lies against the composite: metres per pixel, the pixel offsets of the
// composite's left-upper and right-lower corners from the window's left-upper corner
// (measured on the composite's own grid, where the corners and cells are exact), and the
// pixels per composite cell.
struct CompImageFrame {
    float fXGridM;
    float fYGridM;
    int nDiff_x;
    int nDiff_y;
    int nDiff_RL_x;
    int nDiff_RL_y;
    float fXGridScale;
    float fYGridScale;
};

// False (frame untouched) for a size or distance that is not positive and finite.
bool compImageFrame(int nImgXdim, int nImgYdim, float fLU_lon, float fLU_lat, float fXDist,
                    float fYDist, float fCompGridKm, CompImageFrame* pFrame);

// The one-pixel gap fill of finished image grids, in place, rows from the top: a -9999
// cell in columns 1 to nImgXdim - 3 between two cells that are not -9999 takes its left
// neighbour's value; in rows 1 to nImgYdim - 3, a cell that was -9999 between an upper and
// a lower cell that are not -9999 takes the upper one's value instead.
void compFillImageGaps(float** pImgData, int nImgXdim, int nImgYdim);

// Image grids of the composite kinds, filled first with -9999, then looked up, re-placed
// and gap-filled. Null for a null composite, a size that is not positive or a matrix that
// cannot be made. nSmooth 1 interpolates: fnCalcRadarValueSmooth for the 1-byte composite
// (not for "ETOP" and "VIL", which stay nearest), fnCalcRadarValueSmooth480 for the float
// and KCJ composites; any other nSmooth looks up the nearest cell.
float** fnMakeCompImgData(float** pCompData, int nImgXdim, int nImgYdim, float fLU_lon,
                          float fLU_lat, float fXDist, float fYDist, int nSmooth, int nCompXdim,
                          int nCompYdim, float fCompGridKm, const char* szP_type);
float** fnMakeComp480ImgData(float** pCompData, int nImgXdim, int nImgYdim, float fLU_lon,
                             float fLU_lat, float fXDist, float fYDist, int nSmooth, int nCompXdim,
                             int nCompYdim, float fCompGridKm);
float** fnMakeCompCj3ImgData(float** pCompData, int nImgXdim, int nImgYdim, float fLU_lon,
                             float fLU_lat, float fXDist, float fYDist, int nSmooth, int nCompXdim,
                             int nCompYdim, float fCompGridKm);

// The same into the caller's grid pImgData (nImgYdim x nImgXdim): the forecast echo
// (interpolated with fnCalcRadarValueSmooth when nSmooth is 1), re-placed and gap-filled.
// 0, or -1 for a null grid or a bad size (pImgData then untouched).
int fnMakeCompVsrfEchoImgData(float** pImgData, float** pCompData, int nImgXdim, int nImgYdim,
                              float fLU_lon, float fLU_lat, float fXDist, float fYDist, int nSmooth,
                              int nCompXdim, int nCompYdim, float fCompGridKm);

// The forecast guide grid: nearest cells on the composite's own grid, neither re-placed
// nor gap-filled. 0 or -1 as above.
int fnMakeCompVsrfConGuideImgData(float** pImgData, float** pCompData, int nImgXdim, int nImgYdim,
                                  float fLU_lon, float fLU_lat, float fXDist, float fYDist,
                                  int nCompXdim, int nCompYdim, float fCompGridKm);

// The whole composite at fCompGridKm / 2 pixels per cell from its left-upper corner, nearest
// cells, no re-placement. 0 or -1 as above.
int fnMakeCompMapImgData(float** pImgData, float** pCompData, int nImgXdim, int nImgYdim,
                         int nCompXdim, int nCompYdim, float fCompGridKm);

// Re-places pData (nYdim x nXdim, pixel (c, r) at (c x fXGridM, -r x fYGridM) metres from
// the window corner on the composite's own grid) onto the display projection, in place:
// each cell's value goes to the pixel (rounded to nearest) its position falls in on the
// display projection, later cells overwriting earlier ones. Pixels no cell reaches are
// -9999 inside the composite and -9998 outside it; the composite is where its rows nDiff_y
// to nDiff_RL_y and columns nDiff_x to nDiff_RL_x (offsets of CompImageFrame, on the
// composite's own grid) land. All -9999 when the four offsets are 0. 0, or -1 for a null
// grid, a bad size or no memory (pData then untouched).
int fnVyqPosToGisPos(float** pData, int nYdim, int nXdim, float fYGridM, float fXGridM,
                     float fLU_lon, float fLU_lat, int nDiff_x, int nDiff_y, int nDiff_RL_x,
                     int nDiff_RL_y);

#endif
