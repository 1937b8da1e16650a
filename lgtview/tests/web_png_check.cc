// Checks an image lgtview answered for the fixture tree (lv_fixture.h):
//   web_png_check PNG kind=map product=P map=M src=NX1|VYQ [title=TEXT]
//   web_png_check PNG kind=legend product=P height=H
//   web_png_check PNG kind=error
// Colours come from the colour files under RDR_ROOT, read here on their own ("num r g b
// rain unit" lines after a count and two titles). Probes:
// - map: each fixture strike the product draws shows its marker, pixel for pixel, in the
//   colour of its expected level (plus for positive, ring for negative, a filled dot for a
//   cloud strike); strikes it must not draw (a repeated NX1 identifier, outside the window)
//   leave their marker's pixels unpainted; map lines show; the title band is the title=
//   text drawn alone, pixel for pixel (nothing for LGTVWORLD);
//   the legend strip holds the six boxes, top down.
// - legend: 45 pixels wide, the asked height, the six boxes and labels.
// - error: the grey error image with its message.
#include <gd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "lgt_answer.h"
#include "lgt_map.h"
#include "lightning_drawing.h"
#include "lv_fixture.h"

namespace {

int g_failures = 0;

void fail(const std::string& what) {
    std::fprintf(stderr, "web_png_check: %s\n", what.c_str());
    ++g_failures;
}

int rgbAt(gdImagePtr im, int x, int y) {
    return gdImageGetPixel(im, x, y) & 0xFFFFFF;
}

struct Colours {
    std::vector<int> echo;
    int line = -1;
    int inBound = -1;
};

Colours readColours(const std::string& product) {
    const char* name = product == "LGTTIME"   ? "vyq_lgt_time_tarvo.col"
                       : product == "LGTINTN" ? "vyq_lgt_pow_tarvo.col"
                                              : "vyq_lgt_area_tarvo.col";
    const char* root = std::getenv("RDR_ROOT");
    std::ifstream in(std::string(root != nullptr ? root : "") +
                     "/srv/brem/cgi_project/resource/color/" + name);
    std::string line;
    for (int i = 0; i < 3 && std::getline(in, line); ++i) {
    }
    Colours c;
    while (std::getline(in, line)) {
        std::istringstream f(line);
        int num, r, g, b;
        float rain, unit;
        if (!(f >> num >> r >> g >> b >> rain >> unit)) {
            continue;
        }
        const int rgb = (r << 16) | (g << 8) | b;
        if (rain == -9998.0f) {
            c.line = rgb;
        } else if (rain == -9996.0f) {
            c.inBound = rgb;
        } else if (rain > -9990.0f) {
            c.echo.push_back(rgb);
        }
    }
    if (c.echo.size() < 6 || c.line < 0 || c.inBound < 0) {
        fail(std::string("colour file ") + name + " unreadable");
    }
    return c;
}

// The pixels a marker paints, centred on (x, y).
std::vector<std::pair<int, int>> markerPixels(char type, float impact, int x, int y) {
    std::vector<std::pair<int, int>> p;
    if (type == 'C') {
        p = {{x, y}, {x - 1, y}, {x + 1, y}, {x, y - 1}, {x, y + 1}};
    } else if (impact > 0.0f) {
        for (int d = -3; d <= 3; ++d) {
            p.push_back({x + d, y});
            p.push_back({x, y + d});
        }
    } else {
        for (int d = -1; d <= 1; ++d) {
            p.push_back({x - 3, y + d});
            p.push_back({x + 3, y + d});
            p.push_back({x + d, y - 3});
            p.push_back({x + d, y + 3});
        }
        p.push_back({x - 2, y - 2});
        p.push_back({x + 2, y + 2});
    }
    return p;
}

void checkLegendBoxes(gdImagePtr im, int left, int top, int height, const Colours& c) {
    const int h = (height - 30) / 6;
    for (int k = 0; k < 6; ++k) {
        const int y = top + 30 + k * h + h / 2;
        if (rgbAt(im, left + 5, y) != c.echo[5 - k] ||
            (gdImageTrueColor(im) && gdTrueColorGetAlpha(gdImageGetPixel(im, left + 5, y)) != 0)) {
            fail("legend box " + std::to_string(k) + " is not colour " + std::to_string(5 - k));
        }
    }
    if (rgbAt(im, left, top + 30) != 0 || rgbAt(im, left + 10, top + 30 + 6 * h) != 0) {
        fail("legend outline missing");
    }
}

void checkMap(gdImagePtr im, const std::map<std::string, std::string>& args) {
    const std::string product = args.at("product");
    const LvMapWindow* w = lvFindMapWindow(args.at("map").c_str());
    if (w == nullptr) {
        fail("unknown map window");
        return;
    }
    LvMapProjection proj(*w);
    const int mapW = proj.width();
    const int mapH = proj.height();
    if (gdImageSX(im) != mapW + 45 || gdImageSY(im) != mapH + kLvTitleRows) {
        fail("map image of the wrong size");
        return;
    }
    const Colours c = readColours(product);
    const bool vyq = args.at("src") == "VYQ";
    for (const lv_fixture::Strike& s : lv_fixture::kStrikes) {
        double x = 0, y = 0;
        proj.toPixel(s.lon, s.lat, &x, &y);
        const int px = static_cast<int>(x);
        const int py = static_cast<int>(y) + kLvTitleRows;
        int level = product == "LGTINTN"   ? s.intnLevel
                    : product == "LGTAREA" ? s.areaLevel
                                           : s.timeLevel;
        if (vyq && !s.inVyq) {
            level = -1;
        }
        int painted = 0;
        const auto pixels = markerPixels(s.type, s.impact, px, py);
        for (const auto& [mx, my] : pixels) {
            const int rgb = rgbAt(im, mx, my);
            if (level >= 0 && rgb != c.echo[level]) {
                fail("strike " + std::to_string(s.id) + " at " + s.time + ": pixel (" +
                     std::to_string(mx) + "," + std::to_string(my) + ") is not level " +
                     std::to_string(level));
                break;
            }
            for (int e : c.echo) {
                painted += rgb == e;
            }
        }
        if (level < 0 && painted > 2) {
            fail("strike " + std::to_string(s.id) + " at " + s.time + " drawn but should not be");
        }
    }
    int lines = 0;
    for (int y = kLvTitleRows + 1; y < mapH + kLvTitleRows - 1; ++y) {
        for (int x = 1; x < mapW - 1; ++x) {
            lines += rgbAt(im, x, y) == c.line;
        }
    }
    if (lines < 500) {
        fail("no map lines (" + std::to_string(lines) + " pixels)");
    }
    // The title band, pixel for pixel against the expected title drawn on its own.
    const std::string title = args.count("title") ? args.at("title") : "";
    gdImagePtr want = gdImageCreateTrueColor(mapW, kLvTitleRows);
    gdImageFilledRectangle(want, 0, 0, mapW - 1, kLvTitleRows - 1, 0xFFFFFF);
    if (!title.empty()) {
        std::string font = lgtFont("times.ttf");
        std::string text = title;
        int box[8];
        if (gdImageStringFT(nullptr, box, 0, font.data(), 15.0, 0.0, 0, 0, text.data()) !=
            nullptr) {
            fail("title font missing");
        }
        gdImageStringFT(want, box, 0, font.data(), 15.0, 0.0, (mapW + box[0] - box[2]) / 2, 40,
                        text.data());
    }
    int differ = 0;
    for (int y = 0; y < kLvTitleRows; ++y) {
        for (int x = 0; x < mapW; ++x) {
            differ += rgbAt(im, x, y) != rgbAt(want, x, y);
        }
    }
    gdImageDestroy(want);
    if (differ != 0) {
        fail("title band differs from \"" + title + "\" in " + std::to_string(differ) + " pixels");
    }
    checkLegendBoxes(im, mapW, kLvTitleRows, mapH, c);
    // LGTAREA's table of provinces: a white box in the lower left corner with text (two
    // provinces with strikes: three rows).
    const int bottom = kLvTitleRows + mapH - 6;
    int black = 0;
    for (int y = bottom - 60; y < bottom; ++y) {
        for (int x = 8; x < 200; ++x) {
            black += rgbAt(im, x, y) == 0;
        }
    }
    const bool table = rgbAt(im, 8, bottom - 2) == 0xFFFFFF &&
                       rgbAt(im, 8, bottom - 3 * 16) == 0xFFFFFF &&
                       rgbAt(im, 8, bottom - 5 * 16) != 0xFFFFFF && black > 40;
    if (table != (product == "LGTAREA")) {
        fail(std::string("area table ") + (table ? "drawn" : "missing"));
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s PNG kind=... [key=value...]\n", argv[0]);
        return 2;
    }
    std::map<std::string, std::string> args;
    for (int i = 2; i < argc; ++i) {
        const char* eq = std::strchr(argv[i], '=');
        if (eq != nullptr) {
            args[std::string(argv[i], static_cast<size_t>(eq - argv[i]))] = eq + 1;
        }
    }
    std::FILE* f = std::fopen(argv[1], "rb");
    gdImagePtr im = f != nullptr ? gdImageCreateFromPng(f) : nullptr;
    if (f != nullptr) {
        std::fclose(f);
    }
    if (im == nullptr) {
        std::fprintf(stderr, "web_png_check: %s is no PNG\n", argv[1]);
        return 1;
    }
    const std::string kind = args["kind"];
    if (kind == "map") {
        checkMap(im, args);
    } else if (kind == "legend") {
        const int height = std::atoi(args["height"].c_str());
        if (gdImageSX(im) != 45 || gdImageSY(im) != height) {
            fail("legend of the wrong size");
        } else {
            checkLegendBoxes(im, 0, 0, height, readColours(args["product"]));
        }
    } else if (kind == "error") {
        int dark = 0;
        for (int y = 0; y < gdImageSY(im); ++y) {
            for (int x = 0; x < gdImageSX(im); ++x) {
                dark += rgbAt(im, x, y) == 0;
            }
        }
        if (rgbAt(im, 2, 2) != 0xE8E8E8 || dark < 100) {
            fail("not the error image with its message");
        }
    } else {
        fail("unknown kind");
    }
    gdImageDestroy(im);
    return g_failures == 0 ? 0 : 1;
}
