// Checks an image the web server returned for the fixture tree of precipview_fixture_tree
// (pattern grids on the HR window): web_png_check PNG KEY=VALUE...
//   obs=NAME size=N legend=0|1 zoom=0|1 gis=T|- stations=0|1   a product image
//   error=1 size=N legend=0|1                                   the grey error image
// Every block centre of the pattern must show its product colour or an overlay colour
// (map line, station, topography where the product leaves the first colour), most of them
// the product colour; the legend bands must show the scale; the title strip must carry text.
#include <gd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "pv_fixtures.h"

namespace {

int g_failures = 0;

void fail(const std::string& what) {
    std::fprintf(stderr, "web_png_check: %s\n", what.c_str());
    g_failures++;
}

int rgb(int r, int g, int b) {
    return (r << 16) | (g << 8) | b;
}

int pixel(gdImagePtr im, int x, int y) {
    int c = gdImageGetPixel(im, x, y);
    if (gdImageTrueColor(im)) {
        return c & 0xffffff;
    }
    return rgb(gdImageRed(im, c), gdImageGreen(im, c), gdImageBlue(im, c));
}

// Most frequent colour in the 5 x 5 box around (x, y).
int modeAround(gdImagePtr im, int x, int y) {
    std::map<int, int> n;
    for (int dy = -2; dy <= 2; dy++) {
        for (int dx = -2; dx <= 2; dx++) {
            n[pixel(im, x + dx, y + dy)]++;
        }
    }
    int best = -1, count = 0;
    for (auto [c, k] : n) {
        if (k > count) {
            best = c;
            count = k;
        }
    }
    return best;
}

int countColour(gdImagePtr im, int x0, int y0, int x1, int y1, int colour) {
    int n = 0;
    for (int y = y0; y <= y1; y++) {
        for (int x = x0; x <= x1; x++) {
            n += pixel(im, x, y) == colour;
        }
    }
    return n;
}

struct Scale {
    std::vector<int> colour;
    std::vector<float> level;
    int classOf(float v) const {
        for (size_t k = 0; k < level.size(); k++) {
            if (v <= level[k]) {
                return static_cast<int>(k);
            }
        }
        return static_cast<int>(level.size()) - 1;
    }
};

Scale readScale(const std::string& path) {
    Scale s;
    std::ifstream in(path);
    int r, g, b;
    float lv;
    while (in >> r >> g >> b >> lv) {
        s.colour.push_back(rgb(r, g, b));
        s.level.push_back(lv);
    }
    return s;
}

const int kRnex[5] = {-1, rgb(255, 255, 255), rgb(51, 204, 51), rgb(51, 153, 255),
                      rgb(57, 57, 209)};
const int kRnsn[5] = {-1, rgb(255, 255, 255), rgb(51, 102, 255), rgb(102, 255, 255),
                      rgb(255, 102, 255)};
const int kBackground = rgb(180, 180, 180);

// Expected colour of a cell; -1 = not painted (background).
int expected(const std::string& obs, int x, int y, const Scale& scale, bool* first_colour) {
    uint8_t cell = pvtest::patternType(x, y);
    int a = cell & 15, r = cell >> 4;
    *first_colour = false;
    int code = -1;
    if (obs == "RNEX") {
        code = a > 1 ? (r > 1 ? 4 : 2) : (r > 1 ? 3 : (r == 1 ? 1 : 0));
        *first_colour = code == 1;
        return code > 0 ? kRnex[code] : -1;
    }
    if (obs == "RNSN") {
        code = (a == 0 || (a == 1 && r >= 2)) ? r : a;
    } else if (obs == "RNSN1") {
        code = a == 0 ? r : (a == 1 ? 1 : (r == 0 ? a : r));
    } else if (obs == "RNSN2") {
        code = r;
    } else if (obs == "AREA") {
        code = pvtest::patternArea(x, y);
    }
    if (code >= 0) {
        *first_colour = code == 1;
        return code > 0 ? kRnsn[code] : -1;
    }
    int16_t stored = obs == "TW"    ? pvtest::patternTw(x, y)
                     : obs == "HSR" ? pvtest::patternHsr(x, y)
                                    : pvtest::patternRn15x(x, y);
    float v = stored * 0.01f - (obs == "TW" ? 200.0f : 0.0f);
    if (v <= -299.999f) {
        return -1;
    }
    int k = scale.classOf(v);
    *first_colour = k == 0;
    // Rain-free cells typed rain or snow take the scale's second colour (rnexdisp 1).
    int rnsn = (a == 0 || (a == 1 && r >= 2)) ? r : a;
    if (obs != "TW" && v <= scale.level[0] && rnsn >= 2) {
        *first_colour = false;
        return scale.colour[1];
    }
    return scale.colour[static_cast<size_t>(k)];
}

bool isOverlay(int c) {
    return c == 0x000000 || c == rgb(110, 110, 110) || c == rgb(240, 240, 240) ||
           c == rgb(255, 0, 0) || c == rgb(0, 0, 255);
}

bool isTopography(int c) {
    return c == rgb(240, 240, 225) || c == rgb(170, 170, 170) || c == rgb(120, 120, 120);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: web_png_check PNG KEY=VALUE...\n");
        return 2;
    }
    std::map<std::string, std::string> arg;
    for (int k = 2; k < argc; k++) {
        const char* eq = std::strchr(argv[k], '=');
        if (eq != nullptr) {
            arg[std::string(argv[k], static_cast<size_t>(eq - argv[k]))] = eq + 1;
        }
    }
    FILE* fp = std::fopen(argv[1], "rb");
    if (fp == nullptr) {
        std::fprintf(stderr, "web_png_check: cannot open %s\n", argv[1]);
        return 1;
    }
    gdImagePtr im = gdImageCreateFromPng(fp);
    std::fclose(fp);
    if (im == nullptr) {
        std::fprintf(stderr, "web_png_check: %s is no PNG\n", argv[1]);
        return 1;
    }
    const int size = std::atoi(arg["size"].c_str());
    const bool legend = arg["legend"] != "0";
    const int W = gdImageSX(im), H = gdImageSY(im);

    if (arg["error"] == "1") {
        if (W != size + (legend ? 35 : 0) || H != size + 20) {
            fail("error image is " + std::to_string(W) + "x" + std::to_string(H));
        }
        if (pixel(im, 5, 5) != rgb(240, 240, 240)) {
            fail("error image background");
        }
        if (countColour(im, 50, 50, 400, 66, 0) < 40 ||
            countColour(im, 50, 130, 400, 146, 0) < 40) {
            fail("error image text lines missing");
        }
        gdImageDestroy(im);
        return g_failures == 0 ? 0 : 1;
    }

    // HR window: 1152 x 1440 km, 1 km cells, origin code 1: 2 cells per pixel at 576.
    const std::string obs = arg["obs"];
    const int NI = size, NJ = static_cast<int>(NI * (1440.0f / 1152.0f)), GJ = NJ + 20;
    if (W != NI + (legend ? 35 : 0) || H != GJ) {
        fail("image is " + std::to_string(W) + "x" + std::to_string(H));
    }
    const char* root = std::getenv("RDR_ROOT");
    Scale scale;
    if (obs == "TW") {
        scale = readScale(std::string(root) + "/rdr/REF/COLOR/color_ta_e30.rgb");
    } else if (obs == "HSR" || obs == "RN15X") {
        scale = readScale(std::string(root) + "/rdr/REF/COLOR/color_rn_echo.rgb");
    }
    const bool zoom = arg["zoom"] == "1";
    const bool topo = arg["gis"] == "T";
    const float rate = 1152.0f / NI;
    // zoom_x = zoom_y = "2" at rate 2: the window moves by 1/8 and doubles.
    const float xo = zoom ? 144.0f : 0.0f, yo = zoom ? 180.0f : 0.0f, zm = zoom ? 2.0f : 1.0f;
    int probes = 0, exact = 0;
    for (int by = 0; by < 12; by++) {
        for (int bx = 0; bx < 9; bx++) {
            const int cx = bx * pvtest::kBlock + pvtest::kBlock / 2;
            const int cy = by * pvtest::kBlock + pvtest::kBlock / 2;
            const int i = static_cast<int>((cx - xo) * zm / rate);
            const int j = static_cast<int>((cy - yo) * zm / rate);
            if (i < 4 || i > NI - 5 || j < 4 || j > NJ - 5) {
                continue;
            }
            bool first = false;
            int want = expected(obs, cx, cy, scale, &first);
            if (want < 0) {
                want = kBackground;
            }
            int got = modeAround(im, i, GJ - j);
            probes++;
            if (got == want) {
                exact++;
            } else if (!(isOverlay(got) || (topo && first && isTopography(got)))) {
                char msg[160];
                std::snprintf(msg, sizeof msg, "%s block (%d,%d) at (%d,%d): %06x, expected %06x",
                              obs.c_str(), bx, by, i, GJ - j, got, want);
                fail(msg);
            }
        }
    }
    if (probes < 20 || exact * 10 < probes * 6) {
        fail(obs + ": " + std::to_string(exact) + " of " + std::to_string(probes) +
             " blocks show their colour");
    }

    if (legend) {
        const bool type = obs == "RNEX" || obs == "AREA" || obs.find("RNSN") != std::string::npos;
        const int n = type ? 4 : static_cast<int>(scale.colour.size());
        const float dy = static_cast<float>(NJ) / n;
        for (int k = 0; k < n; k++) {
            int y = type ? static_cast<int>((n - 1 - k) * dy + 20 + dy / 2)
                         : static_cast<int>(GJ - k * dy - dy / 2);
            int want = type ? (obs == "RNEX" ? kRnex[k + 1] : kRnsn[k + 1]) : scale.colour[k];
            if (pixel(im, NI + 4, y) != want) {
                char msg[120];
                std::snprintf(msg, sizeof msg, "legend class %d at y=%d: %06x, expected %06x", k, y,
                              pixel(im, NI + 4, y), want);
                fail(msg);
            }
        }
    }
    // The time follows the title; the smallest images have room for the title only.
    const bool room_for_time = gdImageSX(im) > 320;
    if (pixel(im, 2, 2) != rgb(255, 255, 255) ||
        countColour(im, 0, 0, std::min(120, gdImageSX(im) - 1), 19, rgb(0, 0, 255)) < 40 ||
        (room_for_time && countColour(im, 130, 0, 320, 19, 0) < 40)) {
        fail("title strip without title or time");
    }
    if (arg["stations"] == "1" && countColour(im, 0, 20, NI - 1, GJ - 1, rgb(240, 240, 240)) < 50) {
        fail("no station marks");
    }
    gdImageDestroy(im);
    return g_failures == 0 ? 0 : 1;
}
