#include "site_on_composite.h"

#include <cmath>

#include "grid_codes.h"
#include "map_projections.h"

namespace {

// The 4 km grid of the composite map files has the Lambert reference point 126 E 38 N at
// cell (100, 200); a composite image kind starts at cell (m_iCompOrgX, -m_iCompOrgY).
constexpr float kCompMapRefX = 100.0f;
constexpr float kCompMapRefY = 200.0f;
constexpr float kCompMapGridKm = 4.0f;
constexpr float kEarthRadiusKm = 6371.00877f;

float originX(const RDR_IMG_INFO_TBL& img, float fGridKm) {
    return (kCompMapRefX - img.m_iCompOrgX) * kCompMapGridKm / fGridKm;
}

float originY(const RDR_IMG_INFO_TBL& img, float fGridKm) {
    return (kCompMapRefY + img.m_iCompOrgY) * kCompMapGridKm / fGridKm;
}

}  // namespace

CompositeFrame compositeFrame(const RDR_IMG_INFO_TBL& img, float fGridKm) {
    CompositeFrame frame;
    const float fKindKm = static_cast<float>(img.m_iImgGridKm);
    frame.fGridKm = fGridKm > 0.0f ? fGridKm : fKindKm;
    frame.iXdim = static_cast<int>(std::lround(img.m_iImgXdim * fKindKm / frame.fGridKm));
    frame.iYdim = static_cast<int>(std::lround(img.m_iImgYdim * fKindKm / frame.fGridKm));
    frame.fXo = originX(img, frame.fGridKm);
    frame.fYo = originY(img, frame.fGridKm);
    frame.iXo = static_cast<int>(std::lround(frame.fXo));
    frame.iYo = static_cast<int>(std::lround(frame.fYo));
    return frame;
}

std::vector<int32_t> siteCellsOnComposite(const STD_RADAR* pStd, int iDim, float fSiteKm,
                                          const CompositeFrame& frame) {
    LAMC_PARAMETER lamc = fnGetLamcMapInfo(kEarthRadiusKm, frame.fGridKm, 30.0f, 60.0f, 126.0f,
                                           38.0f, frame.fXo, frame.fYo);
    LAMC_VAR lamcVar{};
    const float fLon0 = static_cast<float>(pStd->m_hdr.m_dLon);
    const float fLat0 = static_cast<float>(pStd->m_hdr.m_dLat);
    AZED_PARAMETER azed =
        fnGetAzedMapInfo(kEarthRadiusKm, fSiteKm, fLon0, fLat0, fLon0, fLat0,
                         static_cast<float>(iDim / 2), static_cast<float>(iDim / 2));
    AZED_VAR azedVar{};
    std::vector<int32_t> placement(static_cast<size_t>(frame.iXdim) * frame.iYdim, -1);
    for (int r = 0; r < frame.iYdim; ++r) {
        for (int c = 0; c < frame.iXdim; ++c) {
            float x = c + 0.5f, y = (frame.iYdim - r) - 0.5f, lon = 0.0f, lat = 0.0f;
            fnLamcProj(&lon, &lat, &x, &y, RDR_EN_PROJ_TO_LONLAT, &lamc, &lamcVar);
            float sx = -1.0f, sy = -1.0f;
            fnAzedProj(&lon, &lat, &sx, &sy, RDR_EN_PROJ_TO_GRID, &azed, &azedVar);
            if (sx >= 0.0f && sy >= 0.0f && sx < iDim && sy < iDim) {
                const int col = static_cast<int>(sx);
                const int row = iDim - 1 - static_cast<int>(sy);
                placement[static_cast<size_t>(r) * frame.iXdim + c] = row * iDim + col;
            }
        }
    }
    return placement;
}

std::vector<float> placeOnComposite(const float* pSite, const std::vector<int32_t>& placement) {
    std::vector<float> cells(placement.size(), RDR_GRID_OUT_BOUND);
    for (size_t i = 0; i < placement.size(); ++i) {
        if (placement[i] >= 0) {
            cells[i] = pSite[placement[i]];
        }
    }
    return cells;
}
