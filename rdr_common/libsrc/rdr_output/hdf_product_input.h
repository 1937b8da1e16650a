// ODIM_H5 product files into the standard product: fnLoadHdfProduct reads a file into an
// HDF_PRODUCT, fnHdfProductSyncUpStd turns that into a STD_PRODUCT.
//
//   HDF_PRODUCT* pHdf = fnLoadHdfProduct(szFile);
//   STD_PRODUCT* pStd = fnHdfProductSyncUpStd(pHdf);  // moves the grids
//   fnFreeHdfProduct(pHdf);
#ifndef RDR_HDF_PRODUCT_INPUT_H
#define RDR_HDF_PRODUCT_INPUT_H

#include "hdf_radar.h"
#include "standard_product.h"

// Loads a product file of object IMAGE or AZIM (site products) or COMP (composites): the
// datasets whose product is one of PPI, PCAPPI, BASE, MAX, VIL and ETOP, grouped in those
// families in file order, each data item decoded (gain, offset; undetect as no data and
// nodata as outside range) and packed by its moment's memory rule. Our own files come back
// exactly as they were written. Null after a one-line message that names what is wrong.
// libhdf5 runs in a child process, so a file that breaks it is refused like any other.
HDF_PRODUCT* fnLoadHdfProduct(const char* szFile);

// A new standard product, or null with a message. The grids move to it; when the product
// cannot be converted whole the HDF_PRODUCT keeps them. It stays the caller's in every case.
STD_PRODUCT* fnHdfProductSyncUpStd(HDF_PRODUCT* pHdfProduct);

#endif
