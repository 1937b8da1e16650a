#include "image_layers.h"
#include "precipview_state.h"

namespace {
// End points may lie far outside the image; gd clips, but the integers must stay valid.
int to_int(float v) {
    return static_cast<int>(v > 1.0e6f ? 1.0e6f : (v < -1.0e6f ? -1.0e6f : v));
}
}  // namespace

int cross_line_disp(gdImagePtr im, int color_lvl[]) {
    if (var.x1 <= 0) {
        return 0;
    }
    ZoomPath z =
        pv_zoom_path(static_cast<float>(var.NX), static_cast<float>(var.NY), 0.0f, 0.0f, true);
    auto px = [&](int x) {
        return to_int(static_cast<float>(var.NI) * (static_cast<float>(x) - z.xo) * z.zm /
                      static_cast<float>(var.NX));
    };
    auto py = [&](int y) {
        return to_int(static_cast<float>(var.GJ) - static_cast<float>(var.NJ) *
                                                       (static_cast<float>(y) - z.yo) * z.zm /
                                                       static_cast<float>(var.NY));
    };
    int x1 = px(var.x1), y1 = py(var.y1), x2 = px(var.x2), y2 = py(var.y2);
    const int c = color_lvl[kSlotSection];
    gdImageLine(im, x1, y1, x2, y2, c);
    gdImageLine(im, x1, y1 - 1, x2, y2 - 1, c);
    gdImageFilledEllipse(im, x1, y1, 5, 5, c);
    gdImageFilledEllipse(im, x2, y2, 5, 5, c);
    return 0;
}
