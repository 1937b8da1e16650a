// ODIM-shaped products (the HDF_PRODUCT records, which the BUFR product shares) into the
// standard product, and the family bookkeeping both containers need. Only the names in
// messages and the product lookup differ between the HDF5 and the BUFR reader, so both
// call odimProductToStd with their own OdimProductReader.
#ifndef RDR_ODIM_PRODUCT_TO_STD_H
#define RDR_ODIM_PRODUCT_TO_STD_H

#include <cstddef>

#include "hdf_radar.h"
#include "info_tables.h"
#include "internal/product_families.h"
#include "standard_product.h"

// The six families, in the order of both containers: PPI, CAPPI, BASE, CMAX, VIL, ETOP.
constexpr int kOdimFamilyCount = product_families::kFamilyCount;
extern const char* const kOdimStdFamilyNames[kOdimFamilyCount];

int* odimFamilyCount(HDF_TOTAL_PRODUCT& total, int iFamily);
HDF_PRODUCT_DATASET*** odimFamilyArray(HDF_TOTAL_PRODUCT& total, int iFamily);

// The family counts (0 for a family without an array) into rgCount; returns the largest
// slot count of any dataset.
int odimProductCounts(HDF_TOTAL_PRODUCT& total, int rgCount[kOdimFamilyCount]);

// True when the slot's rows are those of its memory type and no other.
bool odimSlotHoldsRows(const HDF_PRODUCT_DATA& data);

// The site name of an ODIM source text: the value of its NOD entry, else the text after the
// first ':' up to the next ','. False when it does not fit nOut with its terminator.
bool odimSiteName(const char* szSource, char* szOut, std::size_t nOut);

// What tells the readers apart in messages and lookups.
struct OdimProductReader {
    const char* szFunc;        // the sync-up, first word of every message
    const char* szFamilyStep;  // "<step> PPI fail" when a family cannot be converted
    int (*getProductInfo)(const char* szProduct, PRODUCT_INFO_TBL* pBuf);
};

// A new standard product from the parts of an ODIM product, or null with a message. The
// grids move to the standard product (their pointers in `total` are cleared) only when the
// whole product converts: on failure the ODIM product keeps every grid.
STD_PRODUCT* odimProductToStd(int iProductType, const HDF_TOP_WHAT& what, const HDF_WHERE& where,
                              const HDF_HOW& how, HDF_TOTAL_PRODUCT& total,
                              const OdimProductReader& reader);

#endif
