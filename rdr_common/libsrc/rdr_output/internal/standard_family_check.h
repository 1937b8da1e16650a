// The check the sync-downs run on each standard family before a grid moves to an exchange
// record, so that a product which cannot be converted keeps all of its grids.
#ifndef RDR_STANDARD_FAMILY_CHECK_H
#define RDR_STANDARD_FAMILY_CHECK_H

#include "standard_product.h"

// True when the slot holds the rows of its memory type (others may be set too: the standard
// product releases whatever rows a slot holds).
bool standardSlotHoldsRows(const STD_PRODUCT_DATA& data);

// True when every dataset and slot is present and every grid's field and its dataset's
// product are in the tables. A dataset without grids needs no name. Messages name
// szDatasetStep (a dataset's fault) or szDataStep (an unknown field).
bool standardFamilyConvertible(STD_PRODUCT_DATASET** ppStd, int iCount, const char* szFamily,
                               const char* szDatasetStep, const char* szDataStep);

#endif
