// Contouring of forecast image grids: the 9 x 9 smoothing that comes before it, and the
// CONREC contouring algorithm (each grid square split into four triangles around its centre,
// the mean of its corners; a straight segment per triangle that a level crosses).
#ifndef CGI_COMP_INTERNAL_COMPOSITE_CONTOUR_H
#define CGI_COMP_INTERNAL_COMPOSITE_CONTOUR_H

#include <functional>

namespace comp_contour {

// In place, row by row and column by column: each cell becomes the integer mean of the
// cells of the 9 x 9 window around it that lie inside the grid, codes included. The sum is
// truncated to an integer after each addition and the mean is the integer quotient; cells
// already smoothed feed later windows. A cell that is not a number counts as missing (-9999).
void smoothGrid(float** pGrid, int nXdim, int nYdim);

// Called once per segment: from (x1, y1) to (x2, y2) in the units of the axis arrays, on
// level index k.
using SegmentFn = std::function<void(double x1, double y1, double x2, double y2, int k)>;

// Contours pGrid (rows of columns) over columns nColLow .. nColHigh and rows nRowLow ..
// nRowHigh at the nLevels ascending levels, with column positions pX and row positions pY.
void conrec(float** pGrid, int nColLow, int nColHigh, int nRowLow, int nRowHigh, const double* pX,
            const double* pY, int nLevels, const double* pLevels, const SegmentFn& segment);

}  // namespace comp_contour

#endif
