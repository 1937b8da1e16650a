#include "comp_window.h"

#include <iterator>

#include "display_projections.h"

namespace {

// The composite's left-upper corner and height, and the map-line grid's cell size.
constexpr float kCompLeftLon = 121.02835f;
constexpr float kCompTopLat = 41.590557f;
constexpr float kCompHeightKm = 1200.0f;
constexpr float kMapCellKm = 4.0f;

// The whole country at 2 km per pixel (the storm-cell size rule counts 2 km per pixel);
// the regions at 1 km per pixel.
constexpr CvWindow kWindows[] = {
    {"korea", 0.0f, 0.0f, 960.0f, 1200.0f, 480, 600},
    {"central", 240.0f, 220.0f, 480.0f, 480.0f, 480, 480},
    {"south", 300.0f, 520.0f, 480.0f, 360.0f, 480, 360},
    {"jeju", 290.0f, 780.0f, 320.0f, 240.0f, 320, 240},
};

}  // namespace

int cvWindowCount() {
    return static_cast<int>(std::size(kWindows));
}

const CvWindow* cvWindowAt(int i) {
    return i >= 0 && i < cvWindowCount() ? &kWindows[i] : nullptr;
}

int cvWindowIndex(std::string_view name) {
    for (int i = 0; i < cvWindowCount(); ++i) {
        if (name == kWindows[i].name) {
            return i;
        }
    }
    return -1;
}

bool cvPlaceWindow(int i, CvWindowPlace* place) {
    const CvWindow* w = cvWindowAt(i);
    if (w == nullptr) {
        return false;
    }
    // Metres on the display projection.
    st_LAMC_PARAMETER map = fnCgiGetMapInfo(6378.137f, 30.0f, 60.0f, 126.0f, 0.0f, 0.001f, 0, 0);
    st_LAMC_VAR var = {};
    float lon = kCompLeftLon, lat = kCompTopLat, x = 0.0f, y = 0.0f;
    if (fnCgiLamcproj(&lon, &lat, &x, &y, CGI_EN_PROJ_TO_GRID, &map, &var) != 0) {
        return false;
    }
    x += w->east_km * 1000.0f;
    y -= w->south_km * 1000.0f;
    if (fnCgiLamcproj(&lon, &lat, &x, &y, CGI_EN_PROJ_TO_LONLAT, &map, &var) != 0) {
        return false;
    }
    place->lu_lon = lon;
    place->lu_lat = lat;
    place->x_dist_m = w->width_km * 1000.0f;
    place->y_dist_m = w->height_km * 1000.0f;
    const float kmPerPixel = w->width_km / static_cast<float>(w->width_px);
    place->map_zoom = kMapCellKm / kmPerPixel;
    place->map_xo = w->east_km / kMapCellKm;
    place->map_yo = (w->south_km + w->height_km - kCompHeightKm) / kMapCellKm;
    return true;
}
