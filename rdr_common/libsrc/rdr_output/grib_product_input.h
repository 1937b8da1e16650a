// GRIB product files into the standard product: fnLoadGribProduct reads a file of one
// product family (one message per dataset, as fnWriteGribProduct writes it) into a
// GRIB_PRODUCT, fnGribProductSyncUpStd turns that into a STD_PRODUCT.
//
//   GRIB_PRODUCT* pGrib = fnLoadGribProduct(szFile, GRIB_EN_PRODUCT_SITE);
//   STD_PRODUCT* pStd = fnGribProductSyncUpStd(pGrib);  // moves the grids
//   fnFreeGribProduct(pGrib);
#ifndef RDR_GRIB_PRODUCT_INPUT_H
#define RDR_GRIB_PRODUCT_INPUT_H

#include "grib_output.h"
#include "standard_product.h"

// Loads a product file of this system (GRIB 2 messages of centre 40 carrying the rdr_ keys
// of local section 2); iProductType (GRIB_EN_PRODUCT_SITE or _COMP) becomes the product's
// type. Every count, size and name is checked against the others and against the values
// present before anything is kept; grids are packed by their moment's memory rule, integers
// rounded to the nearest and held inside their storage range. Null after a one-line
// message: any other GRIB file is refused as not one of ours. ecCodes decodes in a child
// process, so a file that breaks it is refused like any other.
GRIB_PRODUCT* fnLoadGribProduct(const char* szFile, int iProductType);

// A new standard product, or null with a message. The grids move to it; when the product
// cannot be converted whole the GRIB_PRODUCT keeps them. It stays the caller's in every
// case.
STD_PRODUCT* fnGribProductSyncUpStd(GRIB_PRODUCT* pGribProduct);

#endif
