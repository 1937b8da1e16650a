// Packed binary grids of composite products: gzip streams without a header, whose layout the
// reader knows from the kind. The product grid is resampled by nearest cell (truncation) onto
// the kind's fixed output grid, whose row 0 and column 0 are the product's; rows are written
// from the southern edge (the last row) to the northern, each from west to east.
//
//   kind  rows x cols  cell  cells                                 bytes unpacked
//   240   1200 x 960   1 km  signed 8-bit                          1,152,000
//   480   576 x 526    3 km  float32 LE, then an unsigned 8-bit    1,514,880
//                            in-bound mask (1 inside, 0 outside)
//   KCJ   1101 x 751   3 km  signed 16-bit big-endian, value x100  1,653,702
//   3-D   1200 x 960   1 km  one signed 8-bit grid per level,      1,152,000 x (levels + 1)
//                            then the last level's mask
//
// Codes: 240 -128 outside the product grid or range, -127 no data; 480 -9998 with mask 0,
// -9999 with mask 1; KCJ -32768 and -32767; 3-D 0 with mask 0, -127 with mask 1. Values are
// clamped short of the codes. Reflectivity (CZ, DZ) becomes rain rate (Z = 200 R^1.6) in the
// 480 and KCJ kinds; VIL is rounded up from 0.4 in the 240 kind.
//
// All return 1 when the file was written whole, else 0 (a null argument, a missing grid or
// level, a cell size that is not positive, a failed write); write failures print one line.
// The file is replaced atomically: a failure leaves the old file and no temporary file.
#ifndef RDR_PACKED_GRID_OUTPUT_H
#define RDR_PACKED_GRID_OUTPUT_H

#include "standard_product.h"

// Dataset 0 of the family szProduct, field szFieldName.
int fnWriteStdProductVyqComp240(STD_PRODUCT* pStdProduct, const char* szProduct,
                                const char* szFieldName, const char* szOutFile);
int fnWriteStdProductVyqComp480(STD_PRODUCT* pStdProduct, const char* szProduct,
                                const char* szFieldName, const char* szOutFile);
int fnWriteStdProductVyqCompKCJ(STD_PRODUCT* pStdProduct, const char* szProduct,
                                const char* szFieldName, const char* szOutFile);

// Datasets 0 to iCappiCnt - 1 of the family as the levels, bottom first.
int fnWriteStdProductVyqComp3D(STD_PRODUCT* pStdProduct, const char* szProduct,
                               const char* szFieldName, int iCappiCnt, const char* szOutFile);

#endif
