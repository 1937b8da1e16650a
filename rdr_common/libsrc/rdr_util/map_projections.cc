#include "map_projections.h"

#include "map_projection_shared.h"

namespace mps = map_projection_shared;

namespace {

mps::LamcConstants lamcFromState(const LAMC_VAR& var) {
    return mps::LamcConstants{var.m_dRe, var.m_dOlon, var.m_dOlat, var.m_dSn, var.m_dSf, var.m_dRo};
}

void initLamc(const LAMC_PARAMETER& map, LAMC_VAR& var) {
    const mps::LamcConstants c = mps::lamcConstants(map.m_fRe, map.m_fGridKm, map.m_fSlat1,
                                                    map.m_fSlat2, map.m_fOlon, map.m_fOlat);
    var.m_dPi = mps::kLamcPi;
    var.m_dDegard = mps::kLamcDegrad;
    var.m_dRaddeg = mps::kLamcRaddeg;
    var.m_dRe = c.re;
    var.m_dOlon = c.olon;
    var.m_dOlat = c.olat;
    var.m_dSn = c.sn;
    var.m_dSf = c.sf;
    var.m_dRo = c.ro;
    var.m_iFirst = 1;
}

mps::AzedConstants azedFromState(const AZED_VAR& var) {
    return mps::AzedConstants{var.m_dRe,   var.m_dSlon, var.m_dSlat, var.m_dOlon,
                              var.m_dOlat, var.m_dXo,   var.m_dYo};
}

void initAzed(const AZED_PARAMETER& map, AZED_VAR& var) {
    mps::AzedConstants c{};
    const bool ok = mps::azedConstants(map.m_fRe, map.m_fGridKm, map.m_fSlon, map.m_fSlat,
                                       map.m_fOlon, map.m_fOlat, map.m_fXo, map.m_fYo, c);
    var.m_dPI = mps::kAzedPi;
    var.m_dDegrad = mps::kAzedDegrad;
    var.m_dRaddeg = mps::kAzedRaddeg;
    var.m_dRe = c.re;
    var.m_dSlon = c.slon;
    var.m_dSlat = c.slat;
    var.m_dOlon = c.olon;
    var.m_dOlat = c.olat;
    // A reference point antipodal to the centre has no position: offsets stay 0 and the
    // state stays uninitialised.
    var.m_dXo = c.xo;
    var.m_dYo = c.yo;
    var.m_iFirst = ok ? 1 : 0;
}

}  // namespace

LAMC_PARAMETER fnGetLamcMapInfo(float fRe, float fGridKm, float fSlat1, float fSlat2, float fOlon,
                                float fOlat, float fXo, float fYo) {
    return LAMC_PARAMETER{fRe, fGridKm, fSlat1, fSlat2, fOlon, fOlat, fXo, fYo};
}

void fnLamcProj(float* fLon, float* fLat, float* fX, float* fY, int iCode, LAMC_PARAMETER* pMap,
                LAMC_VAR* pVar) {
    if (fLon == nullptr || fLat == nullptr || fX == nullptr || fY == nullptr || pMap == nullptr ||
        pVar == nullptr) {
        return;
    }
    if (pVar->m_iFirst == 0) {
        initLamc(*pMap, *pVar);
    }
    const mps::LamcConstants c = lamcFromState(*pVar);
    if (iCode == RDR_EN_PROJ_TO_GRID) {
        mps::lamcForward(c, *fLon, *fLat, pMap->m_fXo, pMap->m_fYo, *fX, *fY);
    } else {
        mps::lamcInverse(c, *fX, *fY, pMap->m_fXo, pMap->m_fYo, *fLon, *fLat);
    }
}

AZED_PARAMETER fnGetAzedMapInfo(float fRe, float fGridKm, float fSlon, float fSlat, float fOlon,
                                float fOlat, float fXo, float fYo) {
    return AZED_PARAMETER{fRe, fGridKm, fSlon, fSlat, fOlon, fOlat, fXo, fYo};
}

void fnAzedProj(float* fLon, float* fLat, float* fX, float* fY, int iCode, AZED_PARAMETER* pMap,
                AZED_VAR* pMapv) {
    if (fLon == nullptr || fLat == nullptr || fX == nullptr || fY == nullptr || pMap == nullptr ||
        pMapv == nullptr) {
        return;
    }
    if (pMapv->m_iFirst == 0) {
        initAzed(*pMap, *pMapv);
    }
    const mps::AzedConstants c = azedFromState(*pMapv);
    if (iCode == RDR_EN_PROJ_TO_GRID) {
        mps::azedForward(c, *fLon, *fLat, *fX, *fY);  // antipodal: outputs untouched
    } else {
        mps::azedInverse(c, *fX, *fY, *fLon, *fLat);
    }
}
