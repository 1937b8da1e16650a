#include "aws_overlay.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include <gdfontl.h>
#include <gdfonts.h>

#include "image_layers.h"
#include "precipview_state.h"

namespace {

constexpr double kPiBarb = 3.1415927;
constexpr int kShaftPixels = 30;
constexpr int kFeatherPixels = 20;
constexpr int kFeatherStep = 5;  // pixels between feathers along the shaft
constexpr float kSpeedPerFeather = 5.0f;

unsigned char* text(char* s) {
    return reinterpret_cast<unsigned char*>(s);
}

// Wind barb: the shaft points to where the wind comes from (north up, clockwise degrees).
void draw_barb(gdImagePtr im, int px, int py, float wd, float ws, int colour) {
    const double a = wd * kPiBarb / 180.0;
    const double b = (wd + 60.0) * kPiBarb / 180.0;
    double sx = px + std::sin(a) * kShaftPixels;
    double sy = py - std::cos(a) * kShaftPixels;
    gdImageLine(im, px, py, static_cast<int>(sx), static_cast<int>(sy), colour);
    for (float s = ws; s > 0.0f; s -= kSpeedPerFeather) {
        double len = s >= kSpeedPerFeather ? kFeatherPixels : 4.0 * s;
        double fx = sx + std::sin(b) * len;
        double fy = sy - std::cos(b) * len;
        gdImageLine(im, static_cast<int>(sx), static_cast<int>(sy), static_cast<int>(fx),
                    static_cast<int>(fy), colour);
        sx -= std::sin(a) * kFeatherStep;
        sy += std::cos(a) * kFeatherStep;
    }
}

void draw_label(gdImagePtr im, const STN_VAL& s, int px, int py, int colour) {
    int mode = var.aws;
    char label[64];
    if (mode == 1 || mode == 6) {
        char utf8[80] = {0};
        euckr2utf(s.stn_ko, utf8);
        pv_draw_ttf(im, colour, 10.0, px - 10, py + 15, utf8);
    } else if (mode == 2 || mode == 7) {
        std::snprintf(label, sizeof label, "%d", s.stn_id);
        gdImageString(im, gdFontGetLarge(), px - 10, py + 3, text(label), colour);
    } else if (mode >= 3 && mode <= 10) {
        if (s.d > 0.0f) {
            std::snprintf(label, sizeof label, "%.1f", s.d);
            gdImageString(im, gdFontGetLarge(), px - 10, py + 3, text(label), colour);
        } else if (s.d == 0.0f) {
            std::snprintf(label, sizeof label, "0");
            gdImageString(im, gdFontGetLarge(), px - 10 + 7, py + 3, text(label), colour);
        }
    }
}

}  // namespace

int aws_zooming() {
    var.num_area_stn = var.num_aws_stn;
    if (var.zoom_level == 0 || var.num_aws_stn <= 0) {
        return var.num_area_stn;
    }
    ZoomPath z =
        pv_zoom_path(static_cast<float>(var.NX), static_cast<float>(var.NY), 0.0f, 0.0f, false);
    int inside = 0;
    for (int k = 0; k < var.num_aws_stn; k++) {
        STN_VAL& s = stn_data[k];
        s.x = (s.x - z.xo) * z.zm;
        s.y = (s.y - z.yo) * z.zm;
        if (s.x > 0.0f && s.x < static_cast<float>(var.NX) && s.y > 0.0f &&
            s.y < static_cast<float>(var.NY)) {
            inside++;
        }
    }
    var.num_area_stn = inside;
    return inside;
}

int aws_disp(gdImagePtr im, int color_lvl[]) {
    const float rate = static_cast<float>(var.NI) / static_cast<float>(var.NX);
    int n = aws_info_get(var.seq);
    var.num_aws_stn = n > 0 ? n : 0;
    if (var.num_aws_stn > 0) {
        aws_rain_data_get(var.seq, var.aws, var.num_aws_stn);
    }
    aws_zooming();
    if (var.num_aws_stn <= 0 || var.num_area_stn <= 0 || var.aws == 0 || var.zoom_level <= 0) {
        return 0;
    }
    for (int k = 0; k < var.num_aws_stn; k++) {
        const STN_VAL& s = stn_data[k];
        if (var.zoom_level <= 2 && (s.stn_id < 90 || s.stn_id > 299)) {
            continue;
        }
        if (!(s.x > 0.0f && s.x < static_cast<float>(var.NX) && s.y > 0.0f &&
              s.y < static_cast<float>(var.NY))) {
            continue;
        }
        int px = static_cast<int>(s.x * rate);
        int py = var.GJ - static_cast<int>(s.y * rate);
        if (var.aws > 5 && s.wd >= 0.0f && s.ws > 0.2f) {
            draw_barb(im, px, py, s.wd, s.ws, color_lvl[kSlotText]);
        }
        gdImageFilledEllipse(im, px, py, 8, 8, color_lvl[kSlotStationRing]);
        gdImageFilledEllipse(im, px, py, 5, 5, color_lvl[s.re == 1 ? kSlotBlue : kSlotRed]);
        if (var.aws <= 10) {
            draw_label(im, s, px, py, color_lvl[kSlotText]);
        }
    }
    return 0;
}
