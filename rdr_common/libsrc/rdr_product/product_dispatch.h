// One table of the products a volume can be turned into, so that every program asks for a
// product by name with the same parameters instead of keeping its own switch.
#ifndef RDR_PRODUCT_DISPATCH_H
#define RDR_PRODUCT_DISPATCH_H

#include "cappi_product.h"
#include "standard_volume.h"

// What any product of the table needs; each product reads the members it uses.
struct RDR_PRODUCT_ARGS {
    const char* szProduct = "PPI";  // a name of fnProductNames()
    const char* szField = "DZ";     // the moment the product is made of
    int iXdim = 0;
    int iYdim = 0;
    float fMaxRangeKm = 0.0f;
    float fGridKm = 1.0f;
    int iSweep = 0;          // PPI: sweep index
    float fHeightKm = 1.5f;  // CAPPI
    bool bMohrCappi = true;  // CAPPI: Mohr (above sea level) or real (above the radar)
    int iCappiKind = RDR_EN_PSEUDO_CAPPI;  // Mohr CAPPI: RDR_EN_PSEUDO_CAPPI or RDR_EN_REAL_CAPPI
    float fEtopDbz = 18.0f;                // ETOP: echo threshold
    int iVilBottomKm = 0;                  // VIL layers
    int iVilTopKm = 15;
};

// "PPI, CAPPI, BASE, CMAX, ETOP, VIL": the names the table knows, for messages.
const char* fnProductNames();
// True when szProduct is one of them.
bool fnIsProductName(const char* szProduct);
// True for the products computed from reflectivity whatever field is asked (ETOP, VIL).
bool fnIsReflectivityProduct(const char* szProduct);

// The product's grid (malloc'd, iYdim x iXdim, released with free), or null with a
// message. ppTable holds the azimuth tables of every sweep (fnMakeAllHashTable).
float* fnCreateProduct(STD_RADAR* pStd, STD_AZIMUTH_TBL** ppTable, const RDR_PRODUCT_ARGS& args);

#endif
