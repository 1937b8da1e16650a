// Value lookup of a composite grid for one image pixel. The composite starts nDiff_x
// pixels right of and nDiff_y pixels below the image's left-upper corner, and one composite
// cell spans fXGridScale x fYGridScale pixels. pData is the composite, nXdim columns by
// nYdim rows, row 0 north.
#ifndef CGI_COMP_COMPOSITE_LOOKUP_H
#define CGI_COMP_COMPOSITE_LOOKUP_H

// The nearest cell, fnCalcRadarValue, is the display library's one lookup for site and
// composite grids alike.
#include "site_value_lookup.h"

// Bilinear interpolation between the cell of the pixel and its right, lower and lower-right
// neighbours, plus 0.5 (the integer composites round that way). -9998 outside the inner
// cells (the grid's first and last row and column) or when the pixel's own cell is -9998;
// the cell's own value on a cell corner. Code neighbours (-9999 missing, -9998 outside)
// count as 0; when every neighbour is a code the result is -9999. On a whole row the row
// before takes the place of the lower neighbours with weight 0.
float fnCalcRadarValueSmooth(float** pData, int nXdim, int nYdim, int nDiff_x, int nDiff_y,
                             int nCol, int nRow, float fXGridScale, float fYGridScale);

// The same for the float composite, without the 0.5 and without the all-missing case:
// every negative neighbour counts as 0.
float fnCalcRadarValueSmooth480(float** pData, int nXdim, int nYdim, int nDiff_x, int nDiff_y,
                                int nCol, int nRow, float fXGridScale, float fYGridScale);

#endif
