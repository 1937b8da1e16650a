// ODIM_H5 writer: the standard structures to the HDF_* records (the sync-downs) and the
// records to an HDF5 file laid out after ODIM_H5 (root Conventions; what, where and how
// groups; dataset<n>/data<m> with their what and a 2-D "data" array). Files are replaced
// atomically: a failed write leaves no file and the old one untouched.
//
// Volumes: fnStdSyncDownHdf (hdf5_output_sync_down.cc) then fnWriteHdfRadar
// (hdf5_output.cc); release the record with fnFreeHdfRadar.
#ifndef RDR_HDF5_OUTPUT_H
#define RDR_HDF5_OUTPUT_H

#include "hdf_radar.h"
#include "standard_product.h"
#include "standard_volume.h"

// ---- volumes ------------------------------------------------------------------------

// A new HDF_RADAR holding a copy of the volume (the STD_RADAR stays the caller's): one
// dataset per sweep and range geometry, rows ordered from north with a1gate the first ray
// acquired, per-ray angles and times in how. Null with a message when the volume is
// incomplete or a name does not fit the format.
HDF_RADAR* fnStdSyncDownHdf(STD_RADAR* pStd);

// Writes the volume as an ODIM_H5 file. 1, or 0 with a message (no file is left and an
// existing one is untouched).
int fnWriteHdfRadar(HDF_RADAR* pHdf, const char* szFileName);

// ---- products -----------------------------------------------------------------------
//
// Writing a standard product as an ODIM_H5 product file is one sequence:
//
//   HDF_PRODUCT* pHdf = fnStdProductSyncDownHdf(pStdProduct);  // moves the grids out
//   int iOk = pHdf != nullptr && fnWriteHdfProduct(pHdf, szFile);
//   fnFreeHdfProduct(pHdf);
//
// The sync-down takes the grids from the standard product (its slots keep their names but
// no rows), so it comes last among the product's uses. fnLoadHdfProduct and
// fnHdfProductSyncUpStd (hdf_product_input.h) read such a file back into the same standard
// product: header, prodpar and every cell.
//
// File layout: object AZIM (site) or COMP (composite); where holds projdef, xsize, ysize,
// xscale and yscale in metres, and the four corners (site products also lon, lat and
// height); how holds NI, task and system (site) or camethod (composite). Datasets are
// numbered from 1 across the families PPI, CAPPI, BASE, CMAX, VIL, ETOP, only those holding
// a grid; each has what/product and, as a 1-D double dataset what/prodpar, one value for
// PPI, PCAPPI and ETOP and two for VIL. Each grid is data<m> with what (quantity, gain,
// offset, nodata, undetect; physical = offset + gain x stored) and a ysize x xsize "data"
// array of the slot's type (signed 8-bit, 16-bit or float).

// An empty product: every dataset of the families with a count of 1 to 99 (others stay
// empty) with iMaxField zeroed slots. Null when iMaxField <= 0 or an allocation fails.
HDF_PRODUCT* fnInitHdfProduct(int iMaxField, int iMaxPpi, int iMaxCappi, int iMaxBase, int iMaxCmax,
                              int iMaxVil, int iMaxEtop);
// An empty product with the family counts and the largest slot count of a STD_PRODUCT.
HDF_PRODUCT* fnInitHdfProductToStdProduct(void* pStdPtr);
// Releases datasets, slots and rows (m_where.m_image_where.m_lYsize rows each); null is
// accepted.
void fnFreeHdfProduct(HDF_PRODUCT* pHdfProduct);
// 1 and the family counts, with the largest slot count of any dataset as *pMaxField; 0 for
// a null product. Null outputs are skipped.
int fnGetMaxCountHdfProduct(HDF_PRODUCT* pHdfProduct, int* pMaxField, int* pMaxPpi, int* pMaxCappi,
                            int* pMaxBase, int* pMaxCmax, int* pMaxVil, int* pMaxEtop);

// A new HDF_PRODUCT holding the standard product's grids, which move out of it, or null
// with a message. A product that cannot be converted whole (a moment or product name
// missing from the information tables, no header) keeps every grid.
HDF_PRODUCT* fnStdProductSyncDownHdf(STD_PRODUCT* pStdProduct);

// Writes the product as an ODIM_H5 file. 1, or 0 with a message: no file is left and an
// existing one is untouched. File names longer than 1023 characters are refused.
int fnWriteHdfProduct(HDF_PRODUCT* pHdfProduct, const char* szFileName);

#endif
