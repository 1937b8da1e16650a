// The map windows compview draws: named areas of the national composite, each an image of
// fixed size. A window is set out on the composite display projection (Lambert conformal
// conic, sphere 6378.137 km, standard parallels 30 and 60 N, origin 126 E 0 N) by its
// offset from the composite's left-upper corner (121.02835 E, 41.590557 N) and its size in
// km; the library's image-grid, station and map-line functions take it as a left-upper
// corner in degrees, a width and height in metres and a placement of the map-line grid.
#ifndef COMPVIEW_COMP_WINDOW_H
#define COMPVIEW_COMP_WINDOW_H

#include <string_view>

struct CvWindow {
    const char* name;
    float east_km;   // left edge, km east of the composite's left edge
    float south_km;  // top edge, km south of the composite's top edge
    float width_km;
    float height_km;
    int width_px;  // echo area of the image; the legend strip is added at the right
    int height_px;
};

// Where a window lies, in the arguments the library's functions take.
struct CvWindowPlace {
    float lu_lon, lu_lat;  // left-upper corner, degrees
    float x_dist_m, y_dist_m;
    // Map lines (4 km cells of the composite's own grid, lower-left corner of the
    // composite at cell (0, 0)) land at pixel ((x - map_xo) * map_zoom,
    // height - (y + map_yo) * map_zoom).
    float map_xo, map_yo, map_zoom;
};

// Number of windows, window i (null outside the table), and the index of a window name
// (-1 for a name not in the table).
int cvWindowCount();
const CvWindow* cvWindowAt(int i);
int cvWindowIndex(std::string_view name);

// The place of window i. False when the projection fails (it does not for the table's
// windows).
bool cvPlaceWindow(int i, CvWindowPlace* place);

#endif
