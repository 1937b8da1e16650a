// PPI: one sweep of a standard volume on a square Cartesian grid centred on the radar.
#ifndef RDR_PPI_GRID_H
#define RDR_PPI_GRID_H

#include "standard_volume.h"

// Returns a new iXdim x iXdim row-major float grid (release with free()), row 0 north,
// column 0 west, fGridKm km per cell, or null after a "fnCreatePPI : <reason>" line on
// standard error. iXdim must equal iYdim. The radar sits at row iYdim/2, column
// (iXdim-1) - iXdim/2; for an odd size the last row and first column stay -9999.
//
// Each cell within fMaxRangeKm takes the value of the moment szFieldName on the ray of
// sweep iSweepIdx nearest to the cell's azimuth (pTable: that sweep's fnMakeRayHashTable),
// at the bin of the cell's horizontal distance; -9999 when no ray lies within one degree
// or the bin holds no value. The moment is looked up on every ray, so it may sit at a
// different field index per ray or be missing on some rays; the call fails with
// "no moment" only when no ray of the sweep carries it.
float* fnCreatePPI(STD_RADAR* pStd, int iSweepIdx, int iXdim, int iYdim, float fMaxRangeKm,
                   float fGridKm, const char* szFieldName, STD_AZIMUTH_TBL* pTable);

#endif
