// One pass of the 1-2-1 smoothing of a site display grid.
#ifndef CGI_SITE_SMOOTHING_H
#define CGI_SITE_SMOOTHING_H

// Smooths pData[nYdim][nXdim] in place, first along every row, then along every column:
// an interior cell whose two neighbours and itself are echoes (above -50) becomes
// (left + 2 centre + right) / 4; a one-cell gap (centre at or below -50) between two
// echoes becomes their mean; other cells and the end cells do not change. Each output
// depends on the values of its row (column) before that row (column) was smoothed.
// 0; -1 for a null grid or row or a negative size.
int fnVyqSmooth(float** pData, int nYdim, int nXdim);

#endif
