// The value of a display grid under an image pixel.
#ifndef CGI_SITE_VALUE_LOOKUP_H
#define CGI_SITE_VALUE_LOOKUP_H

// Value pData[row][column] of the nDataYdim x nDataXdim grid, with
// column = trunc((nXpoint - nDiff_x) / fXGridScale) and
// row = trunc((nYpoint - nDiff_y) / fYGridScale) (pixels per cell), computed in double
// precision; -9998.0 outside the grid, for a null grid or a scale that is not positive.
float fnCalcRadarValue(float** pData, int nDataXdim, int nDataYdim, int nDiff_x, int nDiff_y,
                       int nXpoint, int nYpoint, float fXGridScale, float fYGridScale);

// The same with one scale for both axes.
float fnCalcRadarValue_Map(float** pData, int nDataXdim, int nDataYdim, int nDiff_x, int nDiff_y,
                           int nXpoint, int nYpoint, float fGridScale);

#endif
