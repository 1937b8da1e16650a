// The standard product container: one header (time, site or composite identity, grid size,
// scale, corners) and six dataset families (PPI, CAPPI, BASE, CMAX, VIL, ETOP). Each dataset
// carries its two product parameters and a fixed number of field slots; grids are packed
// into 8-bit, 16-bit or float rows by the moment's memory rule (fnGetFieldMemInfo) and
// handed back as float grids in physical units (-9999 no data, -9998 outside range).
// Packing truncates toward zero; values beyond the storage range are clamped to its ends
// (never onto the two codes), and NaN is stored as no data.
//
// Calling order: fnInitStdProduct, one header setter (it fixes the grid size every later
// call checks), fnAddStdProductToData per dataset and field, readers, fnFreeStdProduct.
#ifndef RDR_STANDARD_PRODUCT_H
#define RDR_STANDARD_PRODUCT_H

#include <ctime>

#include "info_tables.h"  // RDR_EN_MEM_* and the field memory rules
#include "standard_volume.h"

enum {
    STD_EN_PRODUCT_SITE = 1,  // azimuthal equidistant grid centred on the radar
    STD_EN_PRODUCT_COMP = 2,  // multi-radar composite on the fixed Lambert grid
};

struct STD_PRODUCT_HDR {
    time_t m_tConvertTime;
    char m_szSiteName[9];
    double m_dLon;  // radar position, degrees (site products)
    double m_dLat;
    int m_iAnteHeightM;
    char m_szTask[9];
    char m_szSystem[9];
    double m_dNi;  // Nyquist velocity of the first sweep, m/s
    char m_szCompMethod[17];
    long m_lXsize;
    long m_lYsize;
    double m_dXscale;  // cell size, km
    double m_dYscale;
    // Outer corners of the grid, degrees.
    double m_LL_lon, m_LL_lat;
    double m_UL_lon, m_UL_lat;
    double m_UR_lon, m_UR_lat;
    double m_LR_lon, m_LR_lat;
};

// One field slot. An empty name marks a free slot; exactly one row array is used, per
// m_iMemType, with m_lYsize rows of m_lXsize values, row 0 first.
struct STD_PRODUCT_DATA {
    char m_szFieldName[9];
    int m_iMemType;
    char** m_ppData_c;
    short** m_ppData_s;
    float** m_ppData_f;
};

struct STD_PRODUCT_DATASET {
    char m_szProduct[7];
    double m_dProdpar[2];  // elevation (PPI), height (CAPPI), threshold (ETOP), layer (VIL)
    int m_iMaxField;
    STD_PRODUCT_DATA** m_ppProductData;
};

struct STD_TOTAL_PRODUCT {
    int m_iMaxPpi;
    int m_iMaxCappi;
    int m_iMaxBase;
    int m_iMaxCmax;
    int m_iMaxVil;
    int m_iMaxEtop;
    STD_PRODUCT_DATASET** m_ppPpi;
    STD_PRODUCT_DATASET** m_ppCappi;
    STD_PRODUCT_DATASET** m_ppBase;
    STD_PRODUCT_DATASET** m_ppCmax;
    STD_PRODUCT_DATASET** m_ppVil;
    STD_PRODUCT_DATASET** m_ppEtop;
};

struct STD_PRODUCT {
    int m_iStdProductType;
    STD_PRODUCT_HDR m_product_hdr;
    STD_TOTAL_PRODUCT m_totalProduct;
};

// Family counts outside 1..99 leave that family empty. Null when iMaxField <= 0 or an
// allocation fails.
STD_PRODUCT* fnInitStdProduct(int iMaxField, int iMaxPpi, int iMaxCappi, int iMaxBase, int iMaxCmax,
                              int iMaxVil, int iMaxEtop);
void fnFreeStdProduct(STD_PRODUCT* pStdProduct);

// Header setters: 1, or 0 for a null argument, a non-positive size or cell, an unreadable
// date-time ("%Y%m%d%H%M", local time), or a size change once grids are stored (their rows
// are released by the header's row count). Corners are the outer corners of the grid.
int fnSetStdProductSiteHdr(STD_RADAR* pStd, STD_PRODUCT* pStdProduct, int iYdim, int iXdim,
                           float fGridKm);
int fnSetStdProductCompHdr(STD_PRODUCT* pStdProduct, const char* szCompMethod,
                           const char* szDateTime, int iYdim, int iXdim, float fGridKm, int iXo,
                           int iYo);

// Copies pData (iYdim x iXdim, row-major) into the first free slot of the dataset. 0 when
// the field is already there, the dataset is full or the size differs from the header. The
// dataset's two parameters are set only when the grid is stored, since they are the search
// key of the fields already in it.
int fnAddStdProductToData(STD_PRODUCT* pStdProduct, const char* szProduct, int iProductIdx,
                          double dProductArg1, double dProductArg2, const char* szFieldName,
                          const float* pData, int iYdim, int iXdim);

STD_PRODUCT_DATASET** fnFindDsetStdProduct(STD_PRODUCT* pStdProduct, const char* szProduct,
                                           int* pMaxDset);
int fnGetStdProductProdpar(STD_PRODUCT* pStdProduct, const char* szProduct, int iProductIdx,
                           double* pProductArg1, double* pProductArg2);

// Readers return a new float grid owned by the caller: fnFreeMatrix2D(grid, m_lYsize).
float** fnGetStdProductDataByArg(STD_PRODUCT* pStdProduct, const char* szProduct,
                                 double dProductArg1, double dProductArg2, const char* szFieldName);
float** fnGetStdProductDataByArgDBZ(STD_PRODUCT* pStdProduct, const char* szProduct,
                                    double dProductArg1, double dProductArg2);
float** fnGetStdProductDataByIdx(STD_PRODUCT* pStdProduct, const char* szProduct, int iProductIdx,
                                 const char* szFieldName);
float** fnGetStdProductDataByIdxDBZ(STD_PRODUCT* pStdProduct, const char* szProduct,
                                    int iProductIdx);

// Family-level helpers used by the functions above and by the product readers.
STD_PRODUCT_DATASET** fnInitStdDataset(const char* szProduct, int iMaxDataset, int iMaxField);
void fnFreeStdDataset(STD_PRODUCT_DATASET** ppStdDataset, int iMaxDataset, int iYdim);
int fnGetStdDataIdx(STD_PRODUCT_DATASET* pStdDataset, const char* szFieldName);
int fnAddStdDatasetToData(STD_PRODUCT_DATASET* pStdDataset, const char* szFieldName,
                          const float* pData, int iYdim, int iXdim);

#endif
