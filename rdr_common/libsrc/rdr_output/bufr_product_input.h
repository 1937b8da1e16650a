// BUFR product files into the standard product: fnLoadBufrProduct reads one message into a
// BUFR_PRODUCT, fnBufrProductSyncUpStd turns that into a STD_PRODUCT.
//
//   BUFR_PRODUCT* pBufr = fnLoadBufrProduct(szFile, "AZIM");  // or "COMP"
//   STD_PRODUCT* pStd = fnBufrProductSyncUpStd(pBufr);         // moves the grids
//   fnFreeBufrProduct(pBufr);
#ifndef RDR_BUFR_PRODUCT_INPUT_H
#define RDR_BUFR_PRODUCT_INPUT_H

#include "bufr_output.h"

// Loads a gridded product message: ours (one block per grid with product name, both
// product parameters and quantity) or the radar exchange's composite layout (time stamps,
// picture type and product type per grid). Each grid goes to the family of its product
// name; a grid that names none goes by its picture type (PPI to PPI, CAPPI to CAPPI, a
// composite to BASE). Grids are grouped into datasets by their product parameters, in the
// order they come, and packed by their moment's memory rule. szObject is "AZIM" for a site
// product, "COMP" for a composite. Null after a one-line message naming what is wrong.
BUFR_PRODUCT* fnLoadBufrProduct(const char* szFile, const char* szObject);

// A new standard product, or null with a message. The grids move to it; when the product
// cannot be converted whole the BUFR_PRODUCT keeps them. It stays the caller's.
STD_PRODUCT* fnBufrProductSyncUpStd(BUFR_PRODUCT* pBufrProduct);

#endif
