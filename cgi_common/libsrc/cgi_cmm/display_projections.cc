#include "display_projections.h"

#include "map_projection_shared.h"

namespace mps = map_projection_shared;

namespace {

void initLamc(const st_LAMC_PARAMETER& map, st_LAMC_VAR& var) {
    const mps::LamcConstants c = mps::lamcConstants(map.m_fRe, map.m_fGrid, map.m_fSlat1,
                                                    map.m_fSlat2, map.m_fOlon, map.m_fOlat);
    var.m_sdPI = mps::kLamcPi;
    var.m_sdDEGRAD = mps::kLamcDegrad;
    var.m_sdRADDEG = mps::kLamcRaddeg;
    var.m_sdRe = c.re;
    var.m_sdOlon = c.olon;
    var.m_sdOlat = c.olat;
    var.m_sdSn = c.sn;
    var.m_sdSf = c.sf;
    var.m_sdRo = c.ro;
    var.m_nFirst = 1;
}

// False, with the state left uninitialised, when the reference point is antipodal.
bool initAzed(const st_AzedParameter& map, st_AzedVar& var) {
    mps::AzedConstants c{};
    if (!mps::azedConstants(map.m_fRe, map.m_fGrid, map.m_fSlon, map.m_fSlat, map.m_fOlon,
                            map.m_fOlat, map.m_fXo, map.m_fYo, c)) {
        return false;
    }
    var.m_dPI = mps::kAzedPi;
    var.m_dDegrad = mps::kAzedDegrad;
    var.m_dRaddeg = mps::kAzedRaddeg;
    var.m_dRe = c.re;
    var.m_dSlon = c.slon;
    var.m_dSlat = c.slat;
    var.m_dOlon = c.olon;
    var.m_dOlat = c.olat;
    var.m_dXo = c.xo;
    var.m_dYo = c.yo;
    var.m_nFirst = 1;
    return true;
}

}  // namespace

st_LAMC_PARAMETER fnCgiGetMapInfo(float fRe, float fSlat1, float fSlat2, float fOriginLon,
                                  float fOriginLat, float fGridKm, int nOriginX, int nOriginY) {
    return st_LAMC_PARAMETER{fRe,
                             fGridKm,
                             fSlat1,
                             fSlat2,
                             fOriginLon,
                             fOriginLat,
                             static_cast<float>(nOriginX),
                             static_cast<float>(nOriginY)};
}

int fnCgiLamcproj(float* pLon, float* pLat, float* pX, float* pY, int nCode,
                  st_LAMC_PARAMETER* p_Map, st_LAMC_VAR* p_Var) {
    if (pLon == nullptr || pLat == nullptr || pX == nullptr || pY == nullptr || p_Map == nullptr ||
        p_Var == nullptr) {
        return -1;
    }
    if (p_Var->m_nFirst == 0) {
        initLamc(*p_Map, *p_Var);
    }
    const mps::LamcConstants c{p_Var->m_sdRe, p_Var->m_sdOlon, p_Var->m_sdOlat,
                               p_Var->m_sdSn, p_Var->m_sdSf,   p_Var->m_sdRo};
    if (nCode == CGI_EN_PROJ_TO_GRID) {
        mps::lamcForward(c, *pLon, *pLat, p_Map->m_fXo, p_Map->m_fYo, *pX, *pY);
    } else {
        mps::lamcInverse(c, *pX, *pY, p_Map->m_fXo, p_Map->m_fYo, *pLon, *pLat);
    }
    return 0;
}

st_AzedParameter fnCgiGetMapInfoAzed(float fRe, float fCenterLon, float fCenterLat,
                                     float fOriginLon, float fOriginLat, float fGridKm,
                                     int nOriginX, int nOriginY) {
    return st_AzedParameter{fRe,
                            fGridKm,
                            fCenterLon,
                            fCenterLat,
                            fOriginLon,
                            fOriginLat,
                            static_cast<float>(nOriginX),
                            static_cast<float>(nOriginY)};
}

int fnCgiAzedProj(float* fLon, float* fLat, float* fX, float* fY, int nCode, st_AzedParameter Map,
                  st_AzedVar* Mapv) {
    if (fLon == nullptr || fLat == nullptr || fX == nullptr || fY == nullptr || Mapv == nullptr) {
        return -1;
    }
    if (Mapv->m_nFirst == 0 && !initAzed(Map, *Mapv)) {
        return -1;
    }
    const mps::AzedConstants c{Mapv->m_dRe,   Mapv->m_dSlon, Mapv->m_dSlat, Mapv->m_dOlon,
                               Mapv->m_dOlat, Mapv->m_dXo,   Mapv->m_dYo};
    if (nCode == CGI_EN_PROJ_TO_GRID) {
        return mps::azedForward(c, *fLon, *fLat, *fX, *fY) ? 0 : -1;
    }
    mps::azedInverse(c, *fX, *fY, *fLon, *fLat);
    return 0;
}
