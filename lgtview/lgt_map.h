// The map windows of lgtview and the map under the strikes: the national Lambert conformal
// projection (sphere 6371.00877 km, standard parallels 30 and 60 N, 126 E 38 N) at a
// window's scale, and the map lines of the resource tree drawn through it.
#ifndef LGTVIEW_LGT_MAP_H
#define LGTVIEW_LGT_MAP_H

#include <gd.h>

#include "display_projections.h"

struct LvMapWindow {
    const char* name;
    float widthKm, heightKm;     // extent of the window
    float originXKm, originYKm;  // 126 E 38 N, km east and north of the south-west corner
    float kmPerPixel;
};

// The window of a name ("SE", "SK", "KR"), or null.
const LvMapWindow* lvFindMapWindow(const char* name);

// A window as pixels: x east from the left edge, y down from the top edge.
class LvMapProjection {
  public:
    explicit LvMapProjection(const LvMapWindow& w);
    int width() const { return width_; }
    int height() const { return height_; }
    // Pixel of a position; false when it cannot be projected.
    bool toPixel(float lon, float lat, double* x, double* y);

  private:
    st_LAMC_PARAMETER map_;
    st_LAMC_VAR var_{};
    int width_;
    int height_;
};

// Draws the map lines of "/rdr/REF/MAP/fine_kr_binary.dat" (records of int32 count, int32
// class and count float32 latitude/longitude pairs, little-endian) offset by (dx, dy);
// the fine-detail class only at 0.5 km per pixel or finer. False when the file is missing.
bool lvDrawMapLines(gdImagePtr img, LvMapProjection& proj, const LvMapWindow& w, int dx, int dy,
                    int colour);

#endif
