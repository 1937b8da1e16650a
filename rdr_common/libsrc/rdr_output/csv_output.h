// Product grids as comma-separated text in zip archives, for download. Each text holds lines
// "key=value", a blank line and the grid rows, all ending in CRLF. Archives are written in
// process and replace the old archive atomically; no text file is left on disk.
//
// The composite and 3-D writers put one text, named like the last part of szOutFile, into
// the archive szOutFile + ".zip". Composite rows run from the last grid row (south) up; site
// rows from row 0 down.
//
//   240   8-bit values, -127 no echo, -128 outside; VIL rounded up from 0.4; values clamped
//         to -126..127 (never wrapped onto a code)
//   480   "%.2f" values (reflectivity as rain rate, Z = 200 R^1.6), -9999.00 for both codes,
//         then a blank line and an in-bound mask (0 outside, 1 inside)
//   KCJ   "%.2f" values (reflectivity as rain rate), -9999.00 no echo, -9998.00 outside
//   3-D   iCappiCnt levels (datasets 0..iCappiCnt-1) of 8-bit values (-127 for both codes),
//         a blank line after each, another, then the mask of the last level
//   site  3-D levels of "%.2f" values as stored, a blank line after each
//
// All return 1 when the archive was written, else 0 (a null argument, a missing family, grid
// or level, a rejected name format, a failed write); write failures print one line.
#ifndef RDR_CSV_OUTPUT_H
#define RDR_CSV_OUTPUT_H

#include <vector>

#include "standard_product.h"

int fnWriteStdProductCsvComp240(STD_PRODUCT* pStdProduct, const char* szProduct,
                                const char* szFieldName, const char* szOutFile);
int fnWriteStdProductCsvComp480(STD_PRODUCT* pStdProduct, const char* szProduct,
                                const char* szFieldName, const char* szOutFile);
int fnWriteStdProductCsvCompKCJ(STD_PRODUCT* pStdProduct, const char* szProduct,
                                const char* szFieldName, const char* szOutFile);
int fnWriteStdProductCsvComp3D(STD_PRODUCT* pStdProduct, const char* szProduct,
                               const char* szFieldName, int iCappiCnt, float fCrossGridKm,
                               const char* szOutFile);
int fnWriteStdProductCsvSite3D(STD_PRODUCT* pStdProduct, const char* szProduct,
                               const char* szFieldName, int iCappiCnt, float fCrossGridKm,
                               const char* szOutFile);

// One text per dataset and named field of the family, all in the archive szOutFile + ".zip".
// Each is named by szCsvFormat (its last part, at most 1023 characters), which takes the
// field name through one "%s" and, for PPI, the dataset index or, for CAPPI, the height in
// tenths of a km through one integer conversion after it ("%s_%03d.csv"); other families take
// no number. Flags, a width and a precision of up to three digits are allowed, and "%%";
// any other conversion refuses the format. Returns 0 when any text could not be made (a
// name too long or repeated) or the archive was not written; the others are still archived.
int fnWriteStdProductCsvSite(STD_PRODUCT* pStdProduct, const char* szProduct,
                             const char* szCsvFormat, const char* szOutFile);

// The same site texts and archives from grids held outside a container, at full precision
// (the container keeps DZ, CZ and VR in whole units): hdr gives the size (m_lYsize rows of
// m_lXsize, row 0 north), the radar position and the cell size.
struct CsvSiteGrid {
    const char* szFieldName;
    int iDatasetIdx;      // the number of a PPI text
    double dProdpar;      // the CAPPI height, km
    const float* pCells;  // row-major
};
int writeCsvSiteGrids(const STD_PRODUCT_HDR& hdr, const char* szProduct,
                      const std::vector<CsvSiteGrid>& grids, const char* szCsvFormat,
                      const char* szOutFile);
int writeCsvSite3DGrids(const STD_PRODUCT_HDR& hdr, const std::vector<const float*>& levels,
                        float fCrossGridKm, const char* szOutFile);

#endif
