// GRIB edition 2 product writer: the standard product to the GRIB_PRODUCT record (the
// sync-down) and one family of that record to a file of one message per dataset, written
// through ecCodes with the resource tree's local definitions (local section 2 of centre
// 40, keys rdr_*). Files are replaced atomically: a failed write leaves no file and the old
// one untouched.
//
//   GRIB_PRODUCT* pGrib = fnStdProductSyncDownGrib(pStdProduct);  // moves the grids out
//   int iOk = pGrib != nullptr && fnWriteGribProduct(pGrib, "CAPPI", szFile);
//   fnFreeGribProduct(pGrib);
//
// Message layout: section 1 carries the product time (UTC) and centre 40; section 2 the
// family (rdr_product, rdr_max_product datasets), the site name, task, system, composite
// method and Nyquist velocity, the grid (rdr_projdef, rdr_xsize,
// rdr_ysize, rdr_xscale and rdr_yscale in km, the four corners), every dataset's two
// parameters (rdr_prodpar: dataset j at elements 2j and 2j+1) and the quantities
// (rdr_quantity: "," between a dataset's grids, "/" between datasets); section 3 a grid of
// rdr_xsize columns and rdr_max_data x rdr_ysize rows; section 4 the radar product
// template 4.20 with the site position; sections 5 to 7 the values as 32-bit IEEE floats:
// each grid's rows one after another, in physical units, -9999 no data and -9998 outside
// the range. fnLoadGribProduct (grib_product_input.h) reads such a file back.
#ifndef RDR_GRIB_OUTPUT_H
#define RDR_GRIB_OUTPUT_H

#include "standard_product.h"

enum {
    GRIB_EN_PRODUCT_SITE = 1,
    GRIB_EN_PRODUCT_COMP = 2,
};

struct GRIB_PRODUCT_WHAT {
    char m_szDate[9];  // "%Y%m%d", UTC
    char m_szTime[7];  // "%H%M%S"
};

struct GRIB_PROUDCT_WHERE {
    double m_dLon;  // radar position, degrees
    double m_dLat;
    double m_dHeightM;
    char m_szProjdef[256];
    long m_lXsize;
    long m_lYsize;
    double m_dXscale;  // cell size, km
    double m_dYscale;
    double m_LL_lon, m_LL_lat;
    double m_UL_lon, m_UL_lat;
    double m_UR_lon, m_UR_lat;
    double m_LR_lon, m_LR_lat;
};

struct GRIB_DATASET_WHAT {
    char m_szProduct[7];
    double m_dProdpar[2];
    char m_szQuantity[7];
    double m_dScale;  // physical = value x scale + offset in the file (1 and 0)
    double m_dOffset;
    double m_dNodata;    // -9998: outside the range
    double m_dUndetect;  // -9999: no data
};

// One grid slot: exactly one row array, per m_iMemType, holding the moment as the standard
// product stores it (m_lYsize rows of m_lXsize values).
struct GRIB_PRODUCT_DATA {
    GRIB_DATASET_WHAT m_what;
    char m_szFieldName[9];
    int m_iMemType;
    char** m_ppData_c;
    short** m_ppData_s;
    float** m_ppData_f;
};

struct GRIB_PRODUCT_DATASET {
    GRIB_DATASET_WHAT m_what;
    int m_iMaxField;
    GRIB_PRODUCT_DATA** m_ppProductData;
};

struct GRIB_TOTAL_PRODUCT {
    int m_iMaxPpi;
    int m_iMaxCappi;
    int m_iMaxBase;
    int m_iMaxCmax;
    int m_iMaxVil;
    int m_iMaxEtop;
    GRIB_PRODUCT_DATASET** m_ppPpi;
    GRIB_PRODUCT_DATASET** m_ppCappi;
    GRIB_PRODUCT_DATASET** m_ppBase;
    GRIB_PRODUCT_DATASET** m_ppCmax;
    GRIB_PRODUCT_DATASET** m_ppVil;
    GRIB_PRODUCT_DATASET** m_ppEtop;
};

// Appended to the documented record: the rest of the standard product's header, so that a
// product read back is the product written.
struct GRIB_PRODUCT_HOW {
    char m_szSiteName[9];
    char m_szTask[9];
    char m_szSystem[9];
    char m_szCompMethod[17];
    double m_dNi;  // Nyquist velocity, m/s
};

struct GRIB_PRODUCT {
    int m_iGribProductType;  // GRIB_EN_PRODUCT_*
    GRIB_PRODUCT_WHAT m_what;
    GRIB_PROUDCT_WHERE m_where;
    GRIB_TOTAL_PRODUCT m_totalProduct;
    GRIB_PRODUCT_HOW m_how;
};

// An empty product: every dataset of the families with a count of 1 to 99 (others stay
// empty) with iMaxField zeroed slots. Null when iMaxField <= 0 or an allocation fails.
GRIB_PRODUCT* fnInitGribProduct(int iMaxField, int iMaxPpi, int iMaxCappi, int iMaxBase,
                                int iMaxCmax, int iMaxVil, int iMaxEtop);
// An empty product with the family counts and the largest slot count of a STD_PRODUCT.
GRIB_PRODUCT* fnInitGribProductToStdProduct(void* pStdPtr);
// Releases datasets, slots and rows (m_where.m_lYsize rows each); null is accepted.
void fnFreeGribProduct(GRIB_PRODUCT* pGribProduct);
// 1 and the family counts, with the largest slot count of any dataset as *pMaxField; 0 for
// a null product. Null outputs are skipped.
int fnGetMaxCountGribProduct(GRIB_PRODUCT* pGribProduct, int* pMaxField, int* pMaxPpi,
                             int* pMaxCappi, int* pMaxBase, int* pMaxCmax, int* pMaxVil,
                             int* pMaxEtop);

// A new GRIB_PRODUCT holding the standard product's grids, which move out of it, or null
// with a message. A product that cannot be converted whole (a moment or product name
// missing from the information tables, no header) keeps every grid.
GRIB_PRODUCT* fnStdProductSyncDownGrib(STD_PRODUCT* pStdProduct);

// Writes the family szProduct ("PPI", "CAPPI", "BASE", "CMAX", "VIL" or "ETOP") as a GRIB
// file of one message per dataset holding grids. 1, or 0 with a message: no file is left
// and an existing one is untouched.
int fnWriteGribProduct(GRIB_PRODUCT* pGribProduct, const char* szProduct, const char* szFileName);

#endif
