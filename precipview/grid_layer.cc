#include <cmath>
#include <cstring>
#include <vector>

#include <gdfontl.h>
#include <gdfonts.h>
#include "analysis_file.h"

#include "image_layers.h"
#include "precipview_state.h"

extern int pv_pty_rows, pv_pty_cols;

namespace {

// Nearest cell as the analysis has always been drawn: t + 0.45, truncated; -1 outside.
int near_cell(float t, int n) {
    float s = t + 0.45f;
    if (!(s >= 0.0f && s < static_cast<float>(n))) {
        return -1;
    }
    return static_cast<int>(s);
}

// Cell positions of every map-area column (or row) along one axis; the layer walks the
// same positions on every row, so they are computed once.
struct Axis {
    std::vector<int> nearest;  // near(t), -1 outside
    std::vector<int> floor0;   // floor(t) with floor0 + 1 inside, else -1
    std::vector<float> frac;   // t - floor(t)
};

Axis make_axis(int pixels, float rate, float zm, float origin, int cells) {
    Axis a;
    a.nearest.assign(static_cast<size_t>(pixels), -1);
    a.floor0.assign(static_cast<size_t>(pixels), -1);
    a.frac.assign(static_cast<size_t>(pixels), 0.0f);
    for (int p = 1; p < pixels; p++) {
        float t = static_cast<float>(p) * rate / zm + origin;
        a.nearest[p] = near_cell(t, cells);
        float f = std::floor(t);
        if (f >= 0.0f && f < static_cast<float>(cells - 1)) {
            a.floor0[p] = static_cast<int>(f);
            a.frac[p] = t - f;
        }
    }
    return a;
}

int type_colour(unsigned char code, bool rnex) {
    for (int k = 0; k < 4; k++) {
        if (rnex ? rnex_color[k].rnex == code : rnsn_color[k].rnsn == code) {
            return rnex ? rnex_color[k].color : rnsn_color[k].color;
        }
    }
    return -1;
}

}  // namespace

int grid_disp(gdImagePtr im, int color_lvl[], float data_lvl[]) {
    if (var.num_color < 1) {
        gdImageString(im, gdFontGetLarge(), 100, 100,
                      reinterpret_cast<unsigned char*>(const_cast<char*>("No Color Level")),
                      color_lvl[kSlotText]);
        return -1;
    }
    const int dxy = rdr_cmp_head.dxy;
    const int nx = rdr_cmp_head.nx;
    const int ny = rdr_cmp_head.ny;
    if (dxy <= 0 || nx <= 0 || ny <= 0) {
        return 0;
    }
    const float grid_nx = static_cast<float>(var.NX) * 1000.0f / static_cast<float>(dxy);
    const float grid_ny = static_cast<float>(var.NY) * 1000.0f / static_cast<float>(dxy);
    int ox, oy;
    pv_domain_origin(rdr_cmp_head.map_code, &ox, &oy);
    float xo = 0.0f, yo = 0.0f;
    if (ox != 0 || oy != 0) {
        xo = static_cast<float>(ox - var.SX) * 1000.0f / static_cast<float>(dxy);
        yo = static_cast<float>(oy - var.SY) * 1000.0f / static_cast<float>(dxy);
    }
    ZoomPath z = pv_zoom_path(grid_nx, grid_ny, xo, yo, false);
    const float rate = grid_nx / static_cast<float>(var.NI);

    const Axis cols = make_axis(var.NI, rate, z.zm, z.xo, nx);
    const Axis rows = make_axis(var.NJ, rate, z.zm, z.yo, ny);
    const bool type_product = pv_is_type_product(var.obs);
    const bool rnex = std::strcmp(var.obs, "RNEX") == 0;
    const bool bilinear = var.griddisp != 0;

    // Rain-free cells of the rain products may take the colour of their type instead.
    int rain_free_colour = -1;
    if (std::strcmp(var.obs, "HSR") == 0 || std::strcmp(var.obs, "RN15X") == 0) {
        if (var.rnexdisp == 2) {
            rain_free_colour = color_lvl[kSlotRnexDisp];
        } else if (var.rnexdisp == 1 && var.num_color > 1) {
            rain_free_colour = color_lvl[1];
        }
    }

    const ClassLookup class_of(data_lvl, var.num_color);
    int type_lut[256];
    for (int c = 0; c < 256; c++) {
        type_lut[c] = type_colour(static_cast<unsigned char>(c), rnex);
    }

    for (int j = 1; j < var.NJ; j++) {
        unsigned char* line = im->pixels[var.GJ - j];
        if (type_product) {
            int r = rows.nearest[j];
            if (r < 0 || pty == nullptr || r >= pv_pty_rows || nx > pv_pty_cols) {
                continue;
            }
            const unsigned char* src = pty[r];
            for (int i = 1; i < var.NI; i++) {
                int c = cols.nearest[i];
                if (c < 0 || src[c] == 0) {
                    continue;
                }
                int colour = type_lut[src[c]];
                if (colour >= 0) {
                    line[i] = static_cast<unsigned char>(colour);
                }
            }
            continue;
        }
        if (data == nullptr) {
            continue;
        }
        for (int i = 1; i < var.NI; i++) {
            float v;
            int pty_row, pty_col;
            if (!bilinear) {
                int r = rows.nearest[j], c = cols.nearest[i];
                if (r < 0 || c < 0) {
                    continue;
                }
                v = data[r][c];
                if (v <= kNoValue) {
                    continue;
                }
                pty_row = r;
                pty_col = c;
            } else {
                int r0 = rows.floor0[j], c0 = cols.floor0[i];
                if (r0 < 0 || c0 < 0) {
                    continue;
                }
                const float* a = data[r0];
                const float* b = data[r0 + 1];
                if (a[c0] <= kNoValue || a[c0 + 1] <= kNoValue || b[c0] <= kNoValue ||
                    b[c0 + 1] <= kNoValue) {
                    continue;
                }
                float fx = cols.frac[i], fy = rows.frac[j];
                v = (a[c0] * (1 - fx) + a[c0 + 1] * fx) * (1 - fy) +
                    (b[c0] * (1 - fx) + b[c0 + 1] * fx) * fy;
                pty_row = rows.nearest[j];
                pty_col = c0;
            }
            int colour = color_lvl[class_of(v)];
            if (rain_free_colour >= 0 && v <= data_lvl[0] && pty != nullptr && pty_row >= 0 &&
                pty_row < pv_pty_rows && pty_col >= 0 && pty_col < pv_pty_cols &&
                pty[pty_row][pty_col] >= 2) {
                colour = rain_free_colour;
            }
            line[i] = static_cast<unsigned char>(colour);
        }
    }
    return 0;
}
