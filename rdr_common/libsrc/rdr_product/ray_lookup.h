// Shared answers of the gridded products: the azimuth of a grid offset, the ray of a sweep
// nearest to an azimuth, the physical value of the bin at a range on a ray, and three
// clean-up filters for whole product grids.
//
// Product grids are row-major float arrays, row 0 the northern edge, column 0 the western
// edge, holding physical values or one of the two grid codes below.
#ifndef RDR_RAY_LOOKUP_H
#define RDR_RAY_LOOKUP_H

#include <cmath>

#include "grid_codes.h"
#include "standard_volume.h"

// Grid cell codes.

// Answers of fnGetBinValueToRay besides physical values.
constexpr float RDR_BIN_NO_VALUE = 131072.0f;  // any lookup failure
// Special levels of the specific differential phase moment, passed through unchanged.
constexpr float RDR_KDP_SPECIAL_1 = 131071.0f;
constexpr float RDR_KDP_SPECIAL_2 = 131070.0f;
constexpr float RDR_KDP_SPECIAL_3 = 131067.0f;
// Further codes that a product cell stores as no data (alongside RDR_BIN_NO_VALUE).
constexpr float RDR_BIN_RESERVED_1 = 131069.0f;
constexpr float RDR_BIN_RESERVED_2 = 131068.0f;

// True when a bin lookup answer means "no value" for a product cell: within 1e-6 of
// 131072, 131069 or 131068. The KDP special levels are values, not failures.
inline bool isBinNoValue(float fValue) {
    // The codes are exact in float; the tolerance only matters for values computed nearby.
    auto near = [fValue](float code) { return std::fabs(fValue - code) < 1e-6f; };
    return near(RDR_BIN_NO_VALUE) || near(RDR_BIN_RESERVED_1) || near(RDR_BIN_RESERVED_2);
}

// Physical value of the bin at slant range fRangeKm on field iFieldIdx of the ray, or
// RDR_BIN_NO_VALUE (bad arguments, range outside the bins, stored -32768 or iNoDataValue,
// no bin spacing, zero scale factor). A field with its own range geometry (non-zero
// m_iBinSpacing in its header) is looked up with it, otherwise with the ray's. Values of
// a field named exactly "KD" are snapped to the moment's logarithmic 8-bit level grid.
float fnGetBinValueToRay(STD_RAY* pRay, int iFieldIdx, float fRangeKm, int iNoDataValue);

// Index of the ray of the sweep nearest to fAzim (degrees), or -1. fRes is the hash
// resolution the table was built with (360 / m_iMaxRay); pTable comes from
// fnMakeRayHashTable. Starts at the azimuth's bucket and probes forward to the first
// occupied one, then walks the neighbour ring.
int fnSearchRayToAzim(STD_SWEEP* pSweep, float fRes, float fAzim, STD_AZIMUTH_TBL* pTable);

// Azimuth (0 to below 360) of the offset (x east, y south).
float fnGetAzimuth(float fPointX, float fPointY);

// Azimuth (0 to below 360) of a cell offset iYIdx rows south and iXIdx columns west of the
// radar, as the PPI and CAPPI grids count them; the centre gives 180.
float fnCalcAzimuthToXY(int iYIdx, int iXIdx);

// Fills single-cell -9999 gaps of the interior in place: from the west neighbour when
// west and east both hold values, then from the north one when north and south do.
int fnFillSpaceData(float* pData, int iYdim, int iXdim);

// Erodes every echo area by its outer ring: in each interior 3 x 3 window that holds one
// to three echo cells, the last of them becomes -9999. Returns 0 when the grid is null or
// the work copy cannot be allocated.
int fnDeleteIndenpentEcho(float* pData, int iYdim, int iXdim);

// Marks with -9998 every cell farther than fMaxRange km from the grid centre.
int fnProcOutBound(float* pData, int iYdim, int iXdim, float fGridKm, float fMaxRange);

#endif
