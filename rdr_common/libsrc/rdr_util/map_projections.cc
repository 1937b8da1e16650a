#include "map_projections.h"

#include <cmath>

namespace {

// The Lambert projection keeps full-precision constants.
constexpr double kLamcPi = 3.141592653589793;
constexpr double kLamcDegrad = 0.017453292519943295;
constexpr double kLamcRaddeg = 57.29577951308232;

// The azimuthal projection uses the radar core's shortened pi, so that positions agree with
// every other degree/radian conversion of the core.
constexpr double kAzedPi = 3.141592;
constexpr double kAzedDegrad = kAzedPi / 180.0;
constexpr double kAzedRaddeg = 180.0 / kAzedPi;

// Beyond this the point is taken as antipodal to the centre and has no position.
constexpr double kAntipodeCos = -0.99999;

void initLamc(const LAMC_PARAMETER& map, LAMC_VAR& var) {
    var.m_dPi = kLamcPi;
    var.m_dDegard = kLamcDegrad;
    var.m_dRaddeg = kLamcRaddeg;
    var.m_dRe = map.m_fRe / map.m_fGridKm;
    var.m_dOlon = map.m_fOlon * kLamcDegrad;
    var.m_dOlat = map.m_fOlat * kLamcDegrad;
    const double slat1 = map.m_fSlat1 * kLamcDegrad;
    const double slat2 = map.m_fSlat2 * kLamcDegrad;
    const double quarter = kLamcPi * 0.25;

    double sn = std::sin(slat1);  // one standard parallel: the cone touches there
    if (std::fabs(slat1 - slat2) > 1e-10) {
        sn = std::tan(quarter + slat2 * 0.5) / std::tan(quarter + slat1 * 0.5);
        sn = std::log(std::cos(slat1) / std::cos(slat2)) / std::log(sn);
    }
    const double sf = std::pow(std::tan(quarter + slat1 * 0.5), sn) * std::cos(slat1) / sn;
    var.m_dSn = sn;
    var.m_dSf = sf;
    var.m_dRo = var.m_dRe * sf / std::pow(std::tan(quarter + var.m_dOlat * 0.5), sn);
    var.m_iFirst = 1;
}

// Great-circle offset of a point from the centre, as the two components of the azimuthal
// equidistant position (before the earth radius). False when the point is antipodal.
//
// The scale k = c / sin c is taken from atan2 of the sine and cosine of the arc, which stays
// exact close to the centre where acos of a cosine near 1 would not.
bool azedOffset(double slat, double dLon, double lat, double& east, double& north) {
    const double cosLat = std::cos(lat);
    const double sinLat = std::sin(lat);
    const double cosC = std::sin(slat) * sinLat + std::cos(slat) * cosLat * std::cos(dLon);
    if (cosC < kAntipodeCos) {
        return false;
    }
    const double a = cosLat * std::sin(dLon);
    const double b = std::cos(slat) * sinLat - std::sin(slat) * cosLat * std::cos(dLon);
    const double sinC = std::hypot(a, b);
    const double k = sinC > 0.0 ? std::atan2(sinC, cosC) / sinC : 1.0;
    east = k * a;
    north = k * b;
    return true;
}

void initAzed(const AZED_PARAMETER& map, AZED_VAR& var) {
    var.m_dPI = kAzedPi;
    var.m_dDegrad = kAzedDegrad;
    var.m_dRaddeg = kAzedRaddeg;
    var.m_dRe = map.m_fRe / map.m_fGridKm;
    var.m_dSlon = map.m_fSlon * kAzedDegrad;
    var.m_dSlat = map.m_fSlat * kAzedDegrad;
    var.m_dOlon = map.m_fOlon * kAzedDegrad;
    var.m_dOlat = map.m_fOlat * kAzedDegrad;

    double east = 0.0;
    double north = 0.0;
    if (!azedOffset(var.m_dSlat, var.m_dOlon - var.m_dSlon, var.m_dOlat, east, north)) {
        // A reference point antipodal to the centre has no position: offsets stay 0 and
        // the state stays uninitialised.
        var.m_dXo = 0.0;
        var.m_dYo = 0.0;
        return;
    }
    var.m_dXo = east * var.m_dRe - map.m_fXo;
    var.m_dYo = north * var.m_dRe - map.m_fYo;
    var.m_iFirst = 1;
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
    const double pi = pVar->m_dPi;
    const double re = pVar->m_dRe;
    const double sn = pVar->m_dSn;
    const double sf = pVar->m_dSf;
    const double ro = pVar->m_dRo;

    if (iCode == RDR_EN_PROJ_TO_GRID) {
        const double ra =
            re * sf / std::pow(std::tan(pi * 0.25 + *fLat * pVar->m_dDegard * 0.5), sn);
        double theta = *fLon * pVar->m_dDegard - pVar->m_dOlon;
        if (theta > pi) {
            theta -= 2.0 * pi;
        }
        if (theta < -pi) {
            theta += 2.0 * pi;
        }
        theta *= sn;
        // The projected part is rounded to float before the grid offset is added, as the
        // grids of stored products were laid out that way.
        *fX = static_cast<float>(ra * std::sin(theta)) + pMap->m_fXo;
        *fY = static_cast<float>(ro - ra * std::cos(theta)) + pMap->m_fYo;
        return;
    }

    const double xn = static_cast<double>(*fX) - pMap->m_fXo;
    const double yn = ro - *fY + pMap->m_fYo;
    double ra = std::sqrt(xn * xn + yn * yn);
    if (sn < 0.0) {
        ra = -ra;
    }
    const double lat = 2.0 * std::atan(std::pow(re * sf / ra, 1.0 / sn)) - pi * 0.5;
    double theta = 0.0;
    if (std::fabs(xn) > 0.0) {
        if (std::fabs(yn) <= 0.0) {
            theta = xn < 0.0 ? -pi * 0.5 : pi * 0.5;
        } else {
            theta = std::atan2(xn, yn);
        }
    }
    *fLon = static_cast<float>((theta / sn + pVar->m_dOlon) * pVar->m_dRaddeg);
    *fLat = static_cast<float>(lat * pVar->m_dRaddeg);
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
    const double re = pMapv->m_dRe;
    const double slat = pMapv->m_dSlat;

    if (iCode == RDR_EN_PROJ_TO_GRID) {
        double east = 0.0;
        double north = 0.0;
        if (!azedOffset(slat, *fLon * pMapv->m_dDegrad - pMapv->m_dSlon, *fLat * pMapv->m_dDegrad,
                        east, north)) {
            return;  // antipodal: no position, outputs untouched
        }
        *fX = static_cast<float>(east * re - pMapv->m_dXo);
        *fY = static_cast<float>(north * re - pMapv->m_dYo);
        return;
    }

    const double xp = *fX + pMapv->m_dXo;
    const double yp = *fY + pMapv->m_dYo;
    const double rho2 = xp * xp + yp * yp;
    double lat = slat;
    double sinC = 0.0;
    double cosC = 1.0;
    double rho = 0.0;
    if (rho2 > 0.0) {
        rho = std::sqrt(rho2);
        const double c = rho / re;
        sinC = std::sin(c);
        cosC = std::cos(c);
        lat = std::asin(cosC * std::sin(slat) + sinC * yp * std::cos(slat) / rho);
    }
    const double dn = rho * std::cos(slat) * cosC - yp * std::sin(slat) * sinC;
    // atan2 also covers dn = 0: the centre itself (0 rather than a quarter turn) and points
    // west of it (a negative quarter turn).
    const double angle = std::atan2(sinC * xp, dn);
    *fLon = static_cast<float>((angle + pMapv->m_dSlon) * pMapv->m_dRaddeg);
    *fLat = static_cast<float>(lat * pMapv->m_dRaddeg);
}
