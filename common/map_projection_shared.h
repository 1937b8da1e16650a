// The projection mathematics both libraries build their map projections from: Lambert
// conformal conic with two standard parallels and azimuthal equidistant, on a sphere, in
// grid cells. Each library keeps its own parameter and state records (LAMC_PARAMETER and
// LAMC_VAR in the radar core, st_LAMC_PARAMETER and st_LAMC_VAR in the display library, and
// the azimuthal pairs) and copies the constants below into them. Internal to the two
// libraries: programs use the libraries' own functions.
#ifndef RDR_MAP_PROJECTION_SHARED_H
#define RDR_MAP_PROJECTION_SHARED_H

#include <cmath>

namespace map_projection_shared {

// The Lambert projection keeps full-precision constants.
constexpr double kLamcPi = 3.141592653589793;
constexpr double kLamcDegrad = 0.017453292519943295;
constexpr double kLamcRaddeg = 57.29577951308232;

// The azimuthal projection uses the shortened pi of the systems' degree/radian conversions,
// so that positions agree with every other conversion of the products.
constexpr double kAzedPi = 3.141592;
constexpr double kAzedDegrad = kAzedPi / 180.0;
constexpr double kAzedRaddeg = 180.0 / kAzedPi;

// Beyond this the point is taken as antipodal to the centre and has no position.
constexpr double kAntipodeCos = -0.99999;

struct LamcConstants {
    double re;  // earth radius in grid cells
    double olon;
    double olat;  // reference point, radians
    double sn;    // cone constant
    double sf;
    double ro;
};

inline LamcConstants lamcConstants(double fRe, double fGridKm, double fSlat1, double fSlat2,
                                   double fOlon, double fOlat) {
    LamcConstants c{};
    c.re = fRe / fGridKm;
    c.olon = fOlon * kLamcDegrad;
    c.olat = fOlat * kLamcDegrad;
    const double slat1 = fSlat1 * kLamcDegrad;
    const double slat2 = fSlat2 * kLamcDegrad;
    const double quarter = kLamcPi * 0.25;

    double sn = std::sin(slat1);  // one standard parallel: the cone touches there
    if (std::fabs(slat1 - slat2) > 1e-10) {
        sn = std::tan(quarter + slat2 * 0.5) / std::tan(quarter + slat1 * 0.5);
        sn = std::log(std::cos(slat1) / std::cos(slat2)) / std::log(sn);
    }
    c.sn = sn;
    c.sf = std::pow(std::tan(quarter + slat1 * 0.5), sn) * std::cos(slat1) / sn;
    c.ro = c.re * c.sf / std::pow(std::tan(quarter + c.olat * 0.5), sn);
    return c;
}

// (lon, lat) degrees to grid (x, y); xo, yo is the grid position of the reference point.
inline void lamcForward(const LamcConstants& c, float fLon, float fLat, float fXo, float fYo,
                        float& fX, float& fY) {
    const double ra =
        c.re * c.sf / std::pow(std::tan(kLamcPi * 0.25 + fLat * kLamcDegrad * 0.5), c.sn);
    double theta = fLon * kLamcDegrad - c.olon;
    if (theta > kLamcPi) {
        theta -= 2.0 * kLamcPi;
    }
    if (theta < -kLamcPi) {
        theta += 2.0 * kLamcPi;
    }
    theta *= c.sn;
    // The projected part is rounded to float before the grid offset is added, as the grids
    // of stored products were laid out that way.
    fX = static_cast<float>(ra * std::sin(theta)) + fXo;
    fY = static_cast<float>(c.ro - ra * std::cos(theta)) + fYo;
}

inline void lamcInverse(const LamcConstants& c, float fX, float fY, float fXo, float fYo,
                        float& fLon, float& fLat) {
    const double xn = static_cast<double>(fX) - fXo;
    const double yn = c.ro - fY + fYo;
    double ra = std::sqrt(xn * xn + yn * yn);
    if (c.sn < 0.0) {
        ra = -ra;
    }
    const double lat = 2.0 * std::atan(std::pow(c.re * c.sf / ra, 1.0 / c.sn)) - kLamcPi * 0.5;
    double theta = 0.0;
    if (std::fabs(xn) > 0.0) {
        if (std::fabs(yn) <= 0.0) {
            theta = xn < 0.0 ? -kLamcPi * 0.5 : kLamcPi * 0.5;
        } else {
            theta = std::atan2(xn, yn);
        }
    }
    fLon = static_cast<float>((theta / c.sn + c.olon) * kLamcRaddeg);
    fLat = static_cast<float>(lat * kLamcRaddeg);
}

// Great-circle offset of a point from the centre, as the two components of the azimuthal
// equidistant position (before the earth radius). False when the point is antipodal.
//
// The scale k = c / sin c is taken from atan2 of the sine and cosine of the arc, which stays
// exact close to the centre where acos of a cosine near 1 would not.
inline bool azedOffset(double slat, double dLon, double lat, double& east, double& north) {
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

struct AzedConstants {
    double re;  // earth radius in grid cells
    double slon;
    double slat;
    double olon;
    double olat;  // radians
    double xo;    // projected reference point minus its grid position
    double yo;
};

// False when the reference point is antipodal to the centre; the offsets are then 0.
inline bool azedConstants(double fRe, double fGridKm, double fSlon, double fSlat, double fOlon,
                          double fOlat, double fXo, double fYo, AzedConstants& c) {
    c = AzedConstants{};
    c.re = fRe / fGridKm;
    c.slon = fSlon * kAzedDegrad;
    c.slat = fSlat * kAzedDegrad;
    c.olon = fOlon * kAzedDegrad;
    c.olat = fOlat * kAzedDegrad;
    double east = 0.0;
    double north = 0.0;
    if (!azedOffset(c.slat, c.olon - c.slon, c.olat, east, north)) {
        return false;
    }
    c.xo = east * c.re - fXo;
    c.yo = north * c.re - fYo;
    return true;
}

// False, with the outputs untouched, for a point antipodal to the centre.
inline bool azedForward(const AzedConstants& c, float fLon, float fLat, float& fX, float& fY) {
    double east = 0.0;
    double north = 0.0;
    if (!azedOffset(c.slat, fLon * kAzedDegrad - c.slon, fLat * kAzedDegrad, east, north)) {
        return false;
    }
    fX = static_cast<float>(east * c.re - c.xo);
    fY = static_cast<float>(north * c.re - c.yo);
    return true;
}

inline void azedInverse(const AzedConstants& c, float fX, float fY, float& fLon, float& fLat) {
    const double xp = fX + c.xo;
    const double yp = fY + c.yo;
    const double rho2 = xp * xp + yp * yp;
    double lat = c.slat;
    double sinC = 0.0;
    double cosC = 1.0;
    double rho = 0.0;
    if (rho2 > 0.0) {
        rho = std::sqrt(rho2);
        const double arc = rho / c.re;
        sinC = std::sin(arc);
        cosC = std::cos(arc);
        lat = std::asin(cosC * std::sin(c.slat) + sinC * yp * std::cos(c.slat) / rho);
    }
    const double dn = rho * std::cos(c.slat) * cosC - yp * std::sin(c.slat) * sinC;
    // atan2 also covers dn = 0: the centre itself (0 rather than a quarter turn) and points
    // west of it (a negative quarter turn).
    const double angle = std::atan2(sinC * xp, dn);
    fLon = static_cast<float>((angle + c.slon) * kAzedRaddeg);
    fLat = static_cast<float>(lat * kAzedRaddeg);
}

}  // namespace map_projection_shared

#endif
