// BUFR product writer: the standard product to a BUFR_PRODUCT (the sync-down) and that to
// one edition-4 message in a file, laid out for the radar-exchange gridded products: date,
// time, source, projection, grid size and corners, projection origin, then one replicated
// block per grid (product name, both product parameters, quantity, zlib-compressed grid).
//
//   BUFR_PRODUCT* pBufr = fnStdProductSyncDownBufr(pStdProduct);  // moves the grids out
//   int iOk = pBufr != nullptr && fnWriteBufrProduct(pBufr, szFile);
//   fnFreeBufrProduct(pBufr);
//
// The BUFR product has the layout of the ODIM product (hdf5_output.h): the records are the
// same types under BUFR names, as the volume records are (bufr_radar.h). The file is
// replaced atomically: a failed write leaves no file and the old one untouched.
// fnLoadBufrProduct (bufr_product_input.h) reads it back.
#ifndef RDR_BUFR_OUTPUT_H
#define RDR_BUFR_OUTPUT_H

#include "bufr_radar.h"
#include "hdf5_output.h"
#include "standard_product.h"

using BUFR_PRODUCT_DATA = HDF_PRODUCT_DATA;
using BUFR_PRODUCT_DATASET = HDF_PRODUCT_DATASET;
using BUFR_TOTAL_PRODUCT = HDF_TOTAL_PRODUCT;
// m_iHdfProductType holds the product type (BUFR_EN_PRODUCT_*).
using BUFR_PRODUCT = HDF_PRODUCT;

constexpr int BUFR_EN_PRODUCT_SITE = HDF_EN_PRODUCT_SITE;
constexpr int BUFR_EN_PRODUCT_COMP = HDF_EN_PRODUCT_COMP;

// Lifecycle, as the ODIM product's: empty families of 1 to 99 datasets of iMaxField slots.
BUFR_PRODUCT* fnInitBufrProduct(int iMaxField, int iMaxPpi, int iMaxCappi, int iMaxBase,
                                int iMaxCmax, int iMaxVil, int iMaxEtop);
BUFR_PRODUCT* fnInitBufrProductToStdProduct(void* pStdPtr);
void fnFreeBufrProduct(BUFR_PRODUCT* pBufrProduct);
int fnGetMaxCountBufrProduct(BUFR_PRODUCT* pBufrProduct, int* pMaxField, int* pMaxPpi,
                             int* pMaxCappi, int* pMaxBase, int* pMaxCmax, int* pMaxVil,
                             int* pMaxEtop);

// A new BUFR_PRODUCT holding the standard product's grids, which move out of it, or null
// with a message; a product that cannot be converted whole keeps every grid. Every slot
// describes its grid in physical units: gain 1, offset 0, nodata the largest double and
// undetect its negative.
BUFR_PRODUCT* fnStdProductSyncDownBufr(STD_PRODUCT* pStdProduct);

// Writes the product as one BUFR edition-4 message. 1, or 0 with a message: any value that
// does not fit its descriptor, a source entry that does not fit, a grid that cannot be
// compressed or a failed write refuses the whole file (no file is left, an existing one is
// untouched).
int fnWriteBufrProduct(BUFR_PRODUCT* pBufrProduct, const char* szFileName);

#endif
