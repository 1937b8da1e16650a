#include "image_layers.h"
#include "precipview_state.h"

ZoomPath pv_zoom_path(float W, float H, float xo, float yo, bool force_rate2) {
    ZoomPath z{xo, yo, 1.0f};
    if (var.zoom_level <= 0) {
        return z;
    }
    int rate = force_rate2 ? 2 : var.zoom_rate;
    int steps, factor;
    float divisor;
    if (rate == 3) {
        steps = 2;
        divisor = 9.0f;
        factor = 3;
    } else if (rate == 2) {
        steps = 7;
        divisor = 8.0f;
        factor = 2;
    } else {
        return z;
    }
    for (int k = 0; k < steps; k++) {
        char cx = var.zoom_x[k];
        char cy = var.zoom_y[k];
        if (cx == '\0' || cy == '\0' || cx == '0' || cy == '0') {
            break;
        }
        z.xo += static_cast<float>(cx - '1') * (W / divisor) / z.zm;
        z.yo += static_cast<float>(cy - '1') * (H / divisor) / z.zm;
        z.zm *= static_cast<float>(factor);
    }
    return z;
}
