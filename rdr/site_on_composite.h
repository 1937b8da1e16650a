// A single-radar product grid placed on the national composite grid of a composite image
// kind, for the composite images of rdr image and the composite exports of rdr product.
#ifndef RDR_SITE_ON_COMPOSITE_H
#define RDR_SITE_ON_COMPOSITE_H

#include <cstdint>
#include <vector>

#include "info_tables.h"
#include "standard_volume.h"

// The composite grid of an image kind at a cell size of its own: the kind's area, its
// origin cell for fnSetStdProductCompHdr (iXo, iYo) and as the placement takes it (fXo, fYo;
// a third of a cell apart on the 3 km kinds, as the composite images have always been made).
struct CompositeFrame {
    int iXdim = 0;
    int iYdim = 0;
    int iXo = 0;
    int iYo = 0;
    float fXo = 0.0f;
    float fYo = 0.0f;
    float fGridKm = 0.0f;
};

// fGridKm 0 takes the kind's own cell size.
CompositeFrame compositeFrame(const RDR_IMG_INFO_TBL& img, float fGridKm = 0.0f);

// For every composite cell (row 0 north), the site cell under its centre as an index into
// the iDim x iDim site grid of fSiteKm cells centred on the radar, or -1 outside it. One
// placement serves every grid of the same site layout.
std::vector<int32_t> siteCellsOnComposite(const STD_RADAR* pStd, int iDim, float fSiteKm,
                                          const CompositeFrame& frame);

// The composite cells of one site grid by that placement; -9998 outside the site grid.
std::vector<float> placeOnComposite(const float* pSite, const std::vector<int32_t>& placement);

#endif
