// The map of a single-radar image: the azimuthal equidistant projection centred on the site
// that every site overlay draws with, and the geographic extent of the image it shows.
// Pixels follow the overlay convention: the site at (fXo, fYo) counted from the
// bottom-left corner; a projected point (fx, fy) lands on column trunc(fx + 0.5) and row
// (iHeight - 1) - trunc(fy + 0.5).
#ifndef RDR_IMAGE_SITE_WINDOW_H
#define RDR_IMAGE_SITE_WINDOW_H

#include "map_projections.h"

namespace rdr_site_window {

// Earth radius of the site projection, km (the float 6371.0087890625).
constexpr float kEarthRadiusKm = 6371.00877f;

class SiteProjection {
  public:
    SiteProjection(float fImgGridKm, float fSiteLon, float fSiteLat, float fXo, float fYo);
    void forward(float fLon, float fLat, float* pX, float* pY);
    void inverse(float fX, float fY, float* pLon, float* pLat);
    // Cosine of the angle at the earth's centre between the site and (lon, lat).
    double cosDistance(double dLon, double dLat) const;
    float siteLon() const { return map_.m_fSlon; }
    float siteLat() const { return map_.m_fSlat; }

  private:
    AZED_PARAMETER map_;
    AZED_VAR var_{};
    double sinSiteLat_;
    double cosSiteLat_;
};

// A latitude band and a longitude span. Longitudes are counted east of the site's meridian
// (-180 to 180), so that a window across the antimeridian stays one span; a window that
// holds a pole spans every longitude.
struct GeoExtent {
    double south = 0.0;
    double north = 0.0;
    double west = 0.0;
    double east = 0.0;
};

// The extent of an iWidth x iHeight image, from its border taken back through the
// projection, widened by a little for the curvature between the border samples.
GeoExtent siteWindowExtent(SiteProjection& proj, int iWidth, int iHeight);

// Longitude folded into (-180, 180].
double wrapLongitude(double dLon);

// A site position the drawing can work from: finite, latitude within 90 degrees and
// longitude within a turn either way (a damaged header may hold anything).
bool usableSite(float fSiteLon, float fSiteLat, float fImgGridKm);

}  // namespace rdr_site_window

#endif
