// Square Cartesian grids centred on the radar, made from a site volume through its azimuth
// tables: a single-sweep PPI, CMAX, BASE, echo tops (ETOP) and vertically integrated liquid
// (VIL) from whole-kilometre CAPPIs made by worker threads; also the removal of isolated
// echo cells and the grid size of a map level.
//
// Grids are rows x columns of floats, row 0 at the north edge and column 0 at the west
// edge, the radar at row n/2 and column (n-1)/2; -9999 is no data. The caller releases a
// grid with free(). Ranges are the distance in km that half the grid's width covers;
// `table` is the array of per-sweep azimuth tables (fnMakeHashTable), one per sweep of the
// volume (a null entry marks a sweep without rays).
#ifndef CGI_SITE_CARTESIAN_PRODUCTS_H
#define CGI_SITE_CARTESIAN_PRODUCTS_H

#include "site_volume_engine.h"

// PPI of one sweep: the nearest ray within one beam width and the bin at the cell's range.
// Null for a non-square or smaller than 2 x 2 request, a null volume or table.
float* fnKRL_SweepToCart(ST_UF_DATA* pUf, int nSweepNo, int nXdim, int nYdim, float fRange,
                         st_Azimuth* table);

// Largest value over all sweeps. Null as above.
float* fnVolumeToCMAX(ST_UF_DATA* pUf, int nXdim, int nYdim, int nRange, st_Azimuth** table);

// Value of the lowest sweep (in sweep order) that has one. Null as above.
float* fnVolumeToBASE(ST_UF_DATA* pUf, int nXdim, int nYdim, int nRange, st_Azimuth** table);

// Echo top height in km: the beam height of the highest sweep whose value exceeds
// etop_min_threshold, at the cell's ground distance (grid_km per cell), for an effective
// earth radius of 4/3 of the earth's, plus the antenna height (radar_height, m). Cells
// without such a sweep, or at a height at or below 0, are -9999.
float* fnVolumeToETOP(ST_UF_DATA* pUf, int xdim, int ydim, int range, int radar_height,
                      float etop_min_threshold, float grid_km, st_Azimuth** table);

// VIL in kg/m2 from CAPPIs at nBottom_h_km, nBottom_h_km + 1, ... nTop_h_km - 1 km, made by
// up to four worker threads at a time, then summed by two workers over the two halves of
// the cells. Null for a bad grid request or more than 30 levels; no levels give all -9999.
float* fnVolumeToVIL(ST_UF_DATA* pUf, int nXdim, int nYdim, int nRange, int nTop_h_km,
                     int nBottom_h_km, st_Azimuth** table);

// Work of one CAPPI worker of the VIL product.
struct st_VilCappiThrArg {
    ST_UF_DATA* m_pUf;
    int m_nHeight;  // CAPPI height, km
    st_Azimuth** m_ppTable;
    int m_nXdim;
    int m_nYdim;
    int m_nRange;      // km
    float* m_pData;    // out: the CAPPI grid (also stored in m_ppData[m_nIdx]); null on failure
    int m_nIdx;        // level index, the slot of m_ppData this worker writes
    float** m_ppData;  // result slots, one per level; may be null
};

// Work of one VIL worker: cells [m_nStartIdx, m_nEndIdx) of m_pVilData from the level grids.
struct st_VilThrArg {
    float** m_ppData;  // CAPPI grids by level, lowest first; a null grid is skipped
    int m_nHeight;     // number of levels
    int m_nStartIdx;   // first cell
    int m_nEndIdx;     // one past the last cell
    float* m_pVilData;
};

// Thread bodies (pthread start routines taking the records above). Each writes only its own
// result slot or cell range; both return null.
void* fnMakeCappiThread(void* pArg);
void* fnMakeVilThread(void* pArg);

// Removes isolated echoes: an interior cell whose 3 x 3 neighbourhood (itself included)
// holds 3 or fewer cells other than -9999 becomes -9999. Decisions use the grid as it was,
// so removals do not cascade. 1, or -9999 for a null grid.
int fnDel_Indenpent_Echo(float* pfImsiData, int nXdim, int nYdim);

// Grid cell size of a map zoom level: 2 x 0.5^nMapLevel km.
float fnGetGridKm(int nMapLevel);

#endif
