#include <cstdio>
#include <cstring>

#include "aws_overlay.h"
#include "image_layers.h"
#include "precipview_state.h"

namespace {
// Largest image height accepted (the width is bounded by the request check).
constexpr int kMaxImageHeight = 8000;
}  // namespace

int pv_send_png(gdImagePtr im) {
    int size = 0;
    void* png = gdImagePngPtr(im, &size);
    if (png == nullptr || size <= 0) {
        return -1;
    }
    std::fputs("Content-type: image/png\r\n\r\n", stdout);
    std::fwrite(png, 1, static_cast<size_t>(size), stdout);
    std::fflush(stdout);
    gdFree(png);
    return 0;
}

gdImagePtr pv_draw_image() {
    if (var.NX <= 0 || var.NY <= 0 || var.size <= 0) {
        return nullptr;
    }
    var.NI = var.size;
    var.NJ = static_cast<int>(static_cast<float>(var.NI) *
                              (static_cast<float>(var.NY) / static_cast<float>(var.NX)));
    if (var.NJ < 2 || var.NJ > kMaxImageHeight) {
        return nullptr;
    }
    var.GI = var.NI + (var.legend == 1 ? 35 : 0);
    var.GJ = var.NJ + 20;
    gdImagePtr im = gdImageCreate(var.GI, var.GJ);
    if (im == nullptr) {
        return nullptr;
    }
    int color_lvl[256] = {0};
    float data_lvl[256] = {0};
    color_table(im, color_lvl, data_lvl);
    gdImageFilledRectangle(im, 0, 0, var.GI, var.GJ, color_lvl[kSlotBackground]);
    grid_disp(im, color_lvl, data_lvl);
    if (std::strchr(var.gis, 'T') != nullptr) {
        topo_disp(im, color_lvl, data_lvl);
    }
    if (var.zoom_level > 1) {
        map_disp(im, color_lvl[kSlotMapKind1], 1);
    }
    map_disp(im, color_lvl[kSlotText], 4);
    if (var.aws > 0 && var.zoom_level > 0) {
        aws_disp(im, color_lvl);
    }
    title_disp(im, color_lvl);
    legend_disp(im, color_lvl, data_lvl);
    gdImageRectangle(im, 0, 20, var.NI - 1, var.GJ - 1, color_lvl[kSlotFrame]);
    cross_line_disp(im, color_lvl);
    return im;
}

int precipview() {
    gdImagePtr im = pv_draw_image();
    if (im == nullptr) {
        return -1;
    }
    int rc = pv_send_png(im);
    gdImageDestroy(im);
    return rc;
}
