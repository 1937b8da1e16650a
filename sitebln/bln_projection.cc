#include "bln_projection.h"

#include <cmath>

namespace {

// The radar products' projection uses this shortened pi; keep it so that the lines land
// on the same cells as the echoes.
constexpr double kPi = 3.141592;
constexpr double kDegRad = kPi / 180.0;
constexpr double kAntipodeCos = -0.99999;
constexpr double kSameCos = 0.99999;

// Distance factor c / sin c of the projection, 1 near the centre.
double distanceFactor(double dCosC) {
    if (dCosC > kSameCos) {
        return 1.0;
    }
    double dC = std::acos(dCosC);
    return dC / std::sin(dC);
}

void setUp(BLN_AZED_MAP* pMap) {
    pMap->m_dRe = pMap->m_fRe / pMap->m_fGridKm;
    pMap->m_dSlon = pMap->m_fSlon * kDegRad;
    pMap->m_dSlat = pMap->m_fSlat * kDegRad;
    double dOlon = pMap->m_fOlon * kDegRad;
    double dOlat = pMap->m_fOlat * kDegRad;

    double dCosC = std::sin(pMap->m_dSlat) * std::sin(dOlat) +
                   std::cos(pMap->m_dSlat) * std::cos(dOlat) * std::cos(dOlon - pMap->m_dSlon);
    if (dCosC < kAntipodeCos) {
        // No offsets for a reference point opposite the centre; try again next call.
        pMap->m_dXo = 0.0;
        pMap->m_dYo = 0.0;
        return;
    }
    double dK = distanceFactor(dCosC);
    pMap->m_dXo =
        dK * pMap->m_dRe * std::cos(dOlat) * std::sin(dOlon - pMap->m_dSlon) - pMap->m_fXo;
    pMap->m_dYo =
        dK * pMap->m_dRe *
            (std::cos(pMap->m_dSlat) * std::sin(dOlat) -
             std::sin(pMap->m_dSlat) * std::cos(dOlat) * std::cos(dOlon - pMap->m_dSlon)) -
        pMap->m_fYo;
    pMap->m_iFirst = 1;
}

}  // namespace

BLN_AZED_MAP fnBlnSiteMap(float fSiteLon, float fSiteLat) {
    BLN_AZED_MAP map{};
    map.m_fRe = 6370.196f;
    map.m_fGridKm = 1.0f;
    map.m_fSlon = fSiteLon;
    map.m_fSlat = fSiteLat;
    map.m_fOlon = fSiteLon;
    map.m_fOlat = fSiteLat;
    map.m_fXo = 500.0f;
    map.m_fYo = 500.0f;
    map.m_iFirst = 0;
    return map;
}

bool fnBlnAzedForward(float fLon, float fLat, float* pfX, float* pfY, BLN_AZED_MAP* pMap) {
    if (pfX == nullptr || pfY == nullptr || pMap == nullptr || !std::isfinite(fLon) ||
        !std::isfinite(fLat)) {
        return false;
    }
    if (pMap->m_iFirst == 0) {
        setUp(pMap);
    }
    double dDelta = fLon * kDegRad - pMap->m_dSlon;
    double dLat = fLat * kDegRad;
    double dCosC = std::sin(dLat) * std::sin(pMap->m_dSlat) +
                   std::cos(pMap->m_dSlat) * std::cos(dLat) * std::cos(dDelta);
    if (dCosC < kAntipodeCos) {
        return false;
    }
    double dK = distanceFactor(dCosC);
    *pfX = static_cast<float>(std::cos(dLat) * dK * pMap->m_dRe * std::sin(dDelta) - pMap->m_dXo);
    *pfY = static_cast<float>(dK * pMap->m_dRe *
                                  (std::cos(pMap->m_dSlat) * std::sin(dLat) -
                                   std::cos(dLat) * std::sin(pMap->m_dSlat) * std::cos(dDelta)) -
                              pMap->m_dYo);
    return true;
}
