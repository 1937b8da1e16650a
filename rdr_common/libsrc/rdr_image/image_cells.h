// Image data from product grids: resampling a product grid to the pixels of an echo
// panel, smoothing and rain-rate conversion on that pixel grid, and painting coverage,
// echo colours, range rings and direction lines into a true-colour gd image.
//
// Grids are row-major float matrices [row][column], row 0 at the top of the image, made
// with fnMakeMatrix2D_F and released by the caller with fnFreeMatrix2D(grid, rows).
// Cell codes: -9998 outside the coverage, -9999 inside it without echo.
#ifndef RDR_IMAGE_CELLS_H
#define RDR_IMAGE_CELLS_H

#include <gd.h>

#include "colour_tables.h"
#include "grid_codes.h"

// Site (single-radar) image grid: the data is centred on a square image. Null when the
// image is not square or an argument is unusable.
float** fnMakeSiteImageData(float** ppData, int iYdim, int iXdim, float fDataGridKm, int iWidth,
                            int iHeight, float fImgGridKm);

// Composite image grid: the data's top-left corner sits on the image's top-left corner.
// szImgKind is accepted for symmetry with the other composite functions and not used.
float** fnMakeCompImageData(char* szImgKind, float** ppData, int iYdim, int iXdim,
                            float fDataGridKm, int iWidth, int iHeight, float fImgGridKm);

// (l + 2c + r) / 4 along rows then columns, iSmoothNum times; one-cell gaps between echoes
// are filled with the mean of their neighbours. 1, or 0 for a null grid.
int fnVyqCmpSmooth(float** ppData, int iYdim, int iXdim, int iSmoothNum);

// In-place 3 x 3 median over the interior cells. 1, or 0 for a null grid.
int fnCompSmooth(float** ppData, int iYdim, int iXdim);

// Reflectivity (dBZ) to rain rate (mm/h) with Z = 200 R^1.6; cell codes are kept and
// values at or below 0 dBZ become -9999. iUnit does not change the conversion.
int fnDbzToRainrate(float** ppData, int iYdim, int iXdim, int iUnit);

// Coverage: iOutBoundColor where the image value equals fOutBound, else iInBoundColor.
int fnDrawRadarImgBound(gdImagePtr pImg, float** ppImgData, int iWidth, int iHeight,
                        float fOutBound, int iInBoundColor, int iOutBoundColor);

// Echo colours by fnGetColorLevel; pixels without a level keep their coverage colour.
int fnDrawRadarEcho(gdImagePtr pImg, float** ppImgData, int iWidth, int iHeight,
                    RDR_COLOR_TBL* pColorTbl, int iColorKind, float fMinValue, int iMinDiffType,
                    int iEchoDiffType, int* echoColorBar);

// Range rings around the image centre, every fnGetSiteRingStepKm of radius.
int fnDrawSiteImgRing(gdImagePtr pImg, int iWidth, int iHeight, float fImgGridKm, int iLineColor);

// Ring spacing in km of radius: 100 km whenever one such ring fits the image; a smaller
// window (a short-range volume) gets the largest of 50, 20, 10, 5, 2 and 1 km that gives
// three rings (1 km: any ring at all). 0 when no ring fits or the grid size is unusable.
float fnGetSiteRingStepKm(int iWidth, int iHeight, float fImgGridKm);

// The radius of each ring ("20 km") in libgd's small font, inside the ring just below its
// northern point; a label that would overlap the one of the ring inside it is left out.
int fnDrawSiteImgRingLabels(gdImagePtr pImg, int iWidth, int iHeight, float fImgGridKm,
                            int iTextColor);

// The two diagonals, the vertical and the horizontal through the image centre.
int fnDrawSiteImgDirection(gdImagePtr pImg, int iWidth, int iHeight, int iLineColor);

// The grid value under one image point, with separate scales (pixels per cell) and offsets
// per axis; -9998 outside the grid.
float fnGetRadarValue(float** ppData, int iYdim, int iXdim, int iDiff_x, int iDiff_y, int iYPoint,
                      int iXPoint, float fXGridScale, float fYGridScale);

#endif
