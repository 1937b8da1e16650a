#include "internal/site_window.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

namespace rdr_site_window {

namespace {

constexpr double kDegToRad = 3.14159265358979323846 / 180.0;
// Border samples per image side: the extent of a 513-pixel side is then exact to a pixel.
constexpr int kBorderSamples = 128;
// Outputs of a forward projection that leaves them alone (the antipode) read as "nowhere".
constexpr float kNowhere = -1.0e30f;

}  // namespace

SiteProjection::SiteProjection(float fImgGridKm, float fSiteLon, float fSiteLat, float fXo,
                               float fYo)
    : map_(fnGetAzedMapInfo(kEarthRadiusKm, fImgGridKm, fSiteLon, fSiteLat, fSiteLon, fSiteLat, fXo,
                            fYo)),
      sinSiteLat_(std::sin(fSiteLat * kDegToRad)),
      cosSiteLat_(std::cos(fSiteLat * kDegToRad)) {}

void SiteProjection::forward(float fLon, float fLat, float* pX, float* pY) {
    fnAzedProj(&fLon, &fLat, pX, pY, RDR_EN_PROJ_TO_GRID, &map_, &var_);
}

void SiteProjection::inverse(float fX, float fY, float* pLon, float* pLat) {
    fnAzedProj(pLon, pLat, &fX, &fY, RDR_EN_PROJ_TO_LONLAT, &map_, &var_);
}

double SiteProjection::cosDistance(double dLon, double dLat) const {
    const double lat = dLat * kDegToRad;
    return sinSiteLat_ * std::sin(lat) +
           cosSiteLat_ * std::cos(lat) * std::cos((dLon - map_.m_fSlon) * kDegToRad);
}

double wrapLongitude(double dLon) {
    double l = std::fmod(dLon, 360.0);
    if (l > 180.0) {
        l -= 360.0;
    } else if (l <= -180.0) {
        l += 360.0;
    }
    return l;
}

bool usableSite(float fSiteLon, float fSiteLat, float fImgGridKm) {
    return std::fabs(fSiteLat) <= 90.0f && std::fabs(fSiteLon) <= 360.0f && fImgGridKm > 0.0f &&
           std::isfinite(fImgGridKm);
}

GeoExtent siteWindowExtent(SiteProjection& proj, int iWidth, int iHeight) {
    // The image covers fx from -0.5 to iWidth - 0.5 and fy likewise.
    const float x0 = -0.5f, x1 = static_cast<float>(iWidth) - 0.5f;
    const float y0 = -0.5f, y1 = static_cast<float>(iHeight) - 0.5f;
    GeoExtent e{90.0, -90.0, 180.0, -180.0};
    auto take = [&](float fx, float fy) {
        float lon = 0.0f, lat = 0.0f;
        proj.inverse(fx, fy, &lon, &lat);
        if (!std::isfinite(lon) || !std::isfinite(lat)) {
            return;
        }
        const double rel = wrapLongitude(static_cast<double>(lon) - proj.siteLon());
        e.south = std::min(e.south, static_cast<double>(lat));
        e.north = std::max(e.north, static_cast<double>(lat));
        e.west = std::min(e.west, rel);
        e.east = std::max(e.east, rel);
    };
    for (int i = 0; i <= kBorderSamples; ++i) {
        const float t = static_cast<float>(i) / kBorderSamples;
        take(x0 + (x1 - x0) * t, y0);
        take(x0 + (x1 - x0) * t, y1);
        take(x0, y0 + (y1 - y0) * t);
        take(x1, y0 + (y1 - y0) * t);
    }
    if (e.south > e.north) {
        return GeoExtent{proj.siteLat(), proj.siteLat(), 0.0, 0.0};
    }
    const double padLat = 0.01 * (e.north - e.south) + 0.01;
    const double padLon = 0.01 * (e.east - e.west) + 0.01;
    e.south = std::max(-90.0, e.south - padLat);
    e.north = std::min(90.0, e.north + padLat);
    e.west = std::max(-180.0, e.west - padLon);
    e.east = std::min(180.0, e.east + padLon);
    // A pole inside the image: every longitude meets it.
    for (const float fPoleLat : {90.0f, -90.0f}) {
        float fx = kNowhere, fy = kNowhere;
        proj.forward(proj.siteLon(), fPoleLat, &fx, &fy);
        if (fx >= x0 && fx <= x1 && fy >= y0 && fy <= y1) {
            (fPoleLat > 0.0f ? e.north : e.south) = fPoleLat;
            e.west = -180.0;
            e.east = 180.0;
        }
    }
    return e;
}

}  // namespace rdr_site_window
