// Painting of composite image grids into gd images with the colours of a display colour
// table: plain echo, a three-dimensional look with a shadow, and storm cells (connected areas
// of strong echo of a minimum size).
//
// Grid cell (row i, column j) is image pixel (j, i); the codes -9998 and -9999 are negative
// and never drawn. rgnColor holds the colours of the table's echo levels as fnAllocColorTbl
// fills them. The level of a value is fnGetColorLevel(value, pColor_ini, kind, 0.0, test, 0)
// with kind 1 (unit column) for the reflectivity units "CZ" and "DZ" and 0 otherwise, and a
// pixel is painted only for a level from 0 to m_iEchoColorCnt - 1.
//
// All return 0, or -1 (nothing drawn) when the image, the grid, the colour array or the
// table is missing or a size is not positive.
#ifndef CGI_COMP_COMPOSITE_ECHO_DRAWING_H
#define CGI_COMP_COMPOSITE_ECHO_DRAWING_H

#include <gd.h>

#include "display_colours.h"

// Plain echo. Kind: "ETOP" 1, "VIL" 0, otherwise by unit. "VIL" draws values from 0 up,
// every other product values above 0.
int fnCompEchoDisp(int nImgXdim, int nImgYdim, const char* szP_type, const char* szUnit,
                   float** pImgData, gdImagePtr pImg, int* rgnColor, CGI_COLOR_TBL* pColor_ini);

// Plain echo of the KCJ composite: kind by unit, values above 0.
int fnCompCj3EchoDisp(int nImgXdim, int nImgYdim, const char* szP_type, const char* szUnit,
                      float** pImgData, gdImagePtr pImg, int* rgnColor, CGI_COLOR_TBL* pColor_ini);

// Plain echo of the float composite: kind by unit, values above 0.
int fnComp480EchoDisp(int nImgXdim, int nImgYdim, const char* szUnit, float** pImgData,
                      gdImagePtr pImg, int* rgnColor, CGI_COLOR_TBL* pColor_ini);

// Three-dimensional look: levels from the lowest up, each pixel off the image border painted
// in its level colour with a shadow two pixels right and down, the level colour 30 darker in
// red, green and blue (opaque); higher levels cover the shadows of lower ones and shadows
// past the image are clipped. Kind as fnCompEchoDisp; values from 0 up. Each level's shadow
// colour is allocated once (the closest palette colour when a palette is full).
int fnComp3dEchoDisp(int nImgXdim, int nImgYdim, const char* szP_type, const char* szUnit,
                     float** pImgData, gdImagePtr pImg, int* rgnColor, CGI_COLOR_TBL* pColor_ini);

// Storm cells: pixels of at least 40 (units "CZ", "DZ") or 15 (other units) joined through
// their left, right, upper and lower neighbours; a cell whose bounding box, at 2 km per
// pixel, is under 10 km wide, under 10 km high and under 10 km across its diagonal is
// dropped. The pixels of the other cells are painted in the colour of level(0) (kind by
// unit, values from 0 up) in pImgTitan.
int fnCompTitanDisp(int nImgXdim, int nImgYdim, const char* szUnit, float** pImgData,
                    gdImagePtr pImgTitan, int* rgnColorTitan, CGI_COLOR_TBL* pColor_ini);

#endif
