#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "image_layers.h"
#include "precipview_state.h"
#include "rdr_root.h"

namespace {
// Points of one record; a count beyond it marks a damaged file.
constexpr int kMaxRecordPoints = 1000000;
}  // namespace

int map_disp(gdImagePtr im, int color_map, int kind) {
    char rel[128];
    std::snprintf(rel, sizeof rel, "/DATA/GIS/MAP/dat/JVT_%s_map%d.dat", var.map, kind);
    std::unique_ptr<FILE, int (*)(FILE*)> fp(std::fopen(rdrRootPath(std::string(rel)).c_str(), "r"),
                                             std::fclose);
    if (!fp) {
        return -1;
    }
    ZoomPath z =
        pv_zoom_path(static_cast<float>(var.NX), static_cast<float>(var.NY), 0.0f, 0.0f, false);
    const bool zoomed = var.zoom_level > 0;
    const bool thick = var.NI >= 601 || (kind == 4 && var.NI >= 451);
    const float scale = static_cast<float>(var.NI) / static_cast<float>(var.NX);
    // Points far outside the image are clipped by gd; keep the integers in range first.
    auto to_pixel = [&](float v) {
        float p = v * scale;
        if (!(p > -1.0e6f)) {  // also NaN
            p = -1.0e6f;
        } else if (p > 1.0e6f) {
            p = 1.0e6f;
        }
        return static_cast<int>(p);
    };

    // The whole file is read at once and parsed in place: national coastlines run to tens of
    // thousands of points.
    std::string text;
    {
        char buf[1 << 16];
        size_t got;
        while ((got = std::fread(buf, 1, sizeof buf, fp.get())) > 0) {
            text.append(buf, got);
        }
    }
    const char* p = text.data();
    const char* end = p + text.size();
    auto next_number = [&](auto* out) {
        while (p < end && (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')) {
            p++;
        }
        auto r = std::from_chars(p, end, *out);
        if (r.ec != std::errc()) {
            return false;
        }
        p = r.ptr;
        return true;
    };
    int n, mode;
    while (next_number(&n) && next_number(&mode)) {
        if (n < 0 || n > kMaxRecordPoints) {
            break;
        }
        int px0 = 0, py0 = 0;
        for (int k = 0; k < n; k++) {
            float x, y;
            if (!next_number(&x) || !next_number(&y)) {
                return 0;
            }
            if (zoomed) {
                x = (x - z.xo) * z.zm;
                y = (y - z.yo) * z.zm;
            }
            int px = to_pixel(x);
            int py = var.GJ - to_pixel(y);
            if (k > 0) {
                gdImageLine(im, px0, py0, px, py, color_map);
                if (thick) {
                    gdImageLine(im, px0, py0 - 1, px, py - 1, color_map);
                }
            }
            px0 = px;
            py0 = py;
        }
    }
    return 0;
}
