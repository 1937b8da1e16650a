// Checks an image compview answered for the fixture tree's block pattern (cv_pattern.h):
//   compview_png_check PNG kind=image source=dbz|etop|rain|forecast unit=U window=W
//                      [smooth=0|1] [lead=HOURS] [view=echo|cells|contour|guide]
//                      [map=0|1] [legend=0|1] [cells=0|1] [symbols=0|1] [maple=1]
//   compview_png_check PNG kind=nodata width=W height=H
// Probes, at the centre of every pattern block inside the window (placed with the two
// Lambert set-ups of the composite: its own grid for the blocks, the display projection for
// the window): the block's value in the requested unit shows its colour of the colour file
// (all of them without map lines, most of them with); the block outside the composite is a
// grey shade, the missing block the background. Overlays: map lines in the line colour,
// black storm-cell outlines, the weather symbols of codes 61 (drawn) and 45 (not drawn),
// the legend strip, the title; forecast views: contour and guide colours.
#include <gd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "comp_window.h"
#include "cv_pattern.h"
#include "display_colours.h"
#include "display_projections.h"

namespace {

constexpr int kTitleRows = 30;
constexpr int kForecastTimeRows = 62;
constexpr int kEdge = 10;

int g_failures = 0;

void fail(const std::string& what) {
    std::fprintf(stderr, "compview_png_check: %s\n", what.c_str());
    ++g_failures;
}

int rgb(int r, int g, int b) {
    return (r << 16) | (g << 8) | b;
}

int pixel(gdImagePtr im, int x, int y) {
    const int c = gdImageGetPixel(im, x, y);
    if (gdImageTrueColor(im)) {
        return c & 0xffffff;
    }
    return rgb(gdImageRed(im, c), gdImageGreen(im, c), gdImageBlue(im, c));
}

int alphaAt(gdImagePtr im, int x, int y) {
    const int c = gdImageGetPixel(im, x, y);
    return gdImageTrueColor(im) ? gdTrueColorGetAlpha(c) : gdImageAlpha(im, c);
}

bool dark(int c) {
    return ((c >> 16) & 255) + ((c >> 8) & 255) + (c & 255) < 200;
}

struct Args {
    std::map<std::string, std::string> kv;
    std::string operator[](const std::string& k) const {
        auto it = kv.find(k);
        return it == kv.end() ? "" : it->second;
    }
    bool on(const std::string& k, bool fallback) const {
        auto it = kv.find(k);
        return it == kv.end() ? fallback : it->second == "1";
    }
};

double dbzToRate(double dbz, double a, double b) {
    return std::pow(std::pow(10.0, dbz / 10.0) / a, 1.0 / b);
}

double rateToDbz(double rate, double a, double b) {
    return 10.0 * std::log10(a) + 10.0 * b * std::log10(rate);
}

// The value of block (i, j) in the requested unit, as the image should show it.
double expectedValue(const Args& a, int i, int j) {
    const std::string source = a["source"], unit = a["unit"];
    const bool dbzUnit = unit == "CZ" || unit == "DZ", snow = unit == "SN";
    if (source == "etop") {
        return 2 + cvtest::blockStep(i, j);
    }
    if (source == "dbz") {
        // Whole pixels per cell: the interpolation lands on cells and returns them unchanged.
        const double dbz = cvtest::blockDbz(i, j);
        return dbzUnit ? dbz : dbzToRate(dbz, snow ? 2000.0 : 200.0, snow ? 2.0 : 1.6);
    }
    const int hours = std::atoi(a["lead"].c_str());
    const double rain =
        source == "forecast" ? cvtest::forecastBlockRain(i, j, hours) : cvtest::blockRain(i, j);
    if (dbzUnit || snow) {
        const double dbz = rateToDbz(rain, 200.0, 1.6);
        return snow ? dbzToRate(dbz, 2000.0, 2.0) : dbz;
    }
    return rain;
}

struct Table {
    CGI_COLOR_TBL* t = nullptr;
    ~Table() { std::free(t); }
};

std::string tablePath(const Args& a) {
    const char* root = std::getenv("RDR_ROOT");
    const std::string name = a["source"] == "etop" ? "vyq_etop_tarvo.col"
                             : a["unit"] == "SN"   ? "vyq_sn_tarvo.col"
                                                   : "vyq_rn_tarvo.col";
    return std::string(root != nullptr ? root : "") + "/srv/brem/cgi_project/resource/color/" +
           name;
}

int colourOf(const CGI_COLOR_INFO& c) {
    return rgb(c.m_iR, c.m_iG, c.m_iB);
}

// Pixel of a point of the composite's own grid (km from 126 E 38 N) in the window.
bool pixelOf(const CvWindowPlace& place, const CvWindow& w, double xKm, double yKm, int* px,
             int* py) {
    st_LAMC_PARAMETER own = fnCgiGetMapInfo(6371.00877f, 30.0f, 60.0f, 126.0f, 38.0f, 1.0f, 0, 0);
    st_LAMC_PARAMETER display = fnCgiGetMapInfo(6378.137f, 30.0f, 60.0f, 126.0f, 0.0f, 1.0f, 0, 0);
    st_LAMC_VAR ownVar = {}, displayVar = {}, cornerVar = {};
    float lon = 0, lat = 0, x = static_cast<float>(xKm), y = static_cast<float>(yKm);
    fnCgiLamcproj(&lon, &lat, &x, &y, CGI_EN_PROJ_TO_LONLAT, &own, &ownVar);
    float dx = 0, dy = 0, cx = 0, cy = 0;
    fnCgiLamcproj(&lon, &lat, &dx, &dy, CGI_EN_PROJ_TO_GRID, &display, &displayVar);
    float clon = place.lu_lon, clat = place.lu_lat;
    fnCgiLamcproj(&clon, &clat, &cx, &cy, CGI_EN_PROJ_TO_GRID, &display, &cornerVar);
    const double kmPerPx = w.width_km / w.width_px;
    *px = static_cast<int>(std::floor((dx - cx) / kmPerPx));
    *py = static_cast<int>(std::floor((cy - dy) / kmPerPx));
    return true;
}

bool pixelOfLonLat(const CvWindowPlace& place, const CvWindow& w, float lon, float lat, int* px,
                   int* py) {
    st_LAMC_PARAMETER display = fnCgiGetMapInfo(6378.137f, 30.0f, 60.0f, 126.0f, 0.0f, 1.0f, 0, 0);
    st_LAMC_VAR var = {}, cornerVar = {};
    float x = 0, y = 0, cx = 0, cy = 0, clon = place.lu_lon, clat = place.lu_lat;
    fnCgiLamcproj(&lon, &lat, &x, &y, CGI_EN_PROJ_TO_GRID, &display, &var);
    fnCgiLamcproj(&clon, &clat, &cx, &cy, CGI_EN_PROJ_TO_GRID, &display, &cornerVar);
    const double kmPerPx = w.width_km / w.width_px;
    *px = static_cast<int>((x - cx) / kmPerPx);
    *py = static_cast<int>((cy - y) / kmPerPx);
    return true;
}

int countColour(gdImagePtr im, int x0, int y0, int x1, int y1, int colour) {
    int n = 0;
    for (int y = y0; y <= y1; ++y) {
        for (int x = x0; x <= x1; ++x) {
            n += pixel(im, x, y) == colour;
        }
    }
    return n;
}

void checkImage(gdImagePtr im, const Args& a) {
    const int wi = cvWindowIndex(a["window"].empty() ? "korea" : a["window"]);
    const CvWindow* w = cvWindowAt(wi);
    CvWindowPlace place = {};
    if (w == nullptr || !cvPlaceWindow(wi, &place)) {
        fail("unknown window");
        return;
    }
    const bool legend = a.on("legend", true), map = a.on("map", true);
    const int nx = w->width_px, ny = w->height_px;
    if (gdImageSX(im) != nx + (legend ? 46 : 0) || gdImageSY(im) != ny) {
        fail("image is " + std::to_string(gdImageSX(im)) + "x" + std::to_string(gdImageSY(im)));
        return;
    }
    Table table;
    table.t = fnReadColorTable(tablePath(a).c_str());
    if (table.t == nullptr) {
        fail("colour file unreadable");
        return;
    }
    const std::string view = a["view"].empty() ? "echo" : a["view"];
    const std::string unit = a["unit"];
    const int kind = a["source"] == "etop" || unit == "CZ" || unit == "DZ" ? CGI_EN_COLOR_UNIT
                                                                           : CGI_EN_COLOR_RAIN;
    const int background = colourOf(table.t->m_dispColorTbl[CGI_EN_IN_BOUND_COLOR]);
    const int line = colourOf(table.t->m_dispColorTbl[CGI_EN_LINE_COLOR]);
    const bool forecast = a["source"] == "forecast";
    const int bottom = forecast ? kForecastTimeRows : kEdge;
    int probes = 0, exact = 0, outside = 0, missing = 0;
    for (int j = 0; j < 10; ++j) {
        for (int i = 0; i < 8; ++i) {
            int px, py;
            pixelOf(place, *w, -400.0 + (i + 0.5) * cvtest::kBlockKm,
                    400.0 - (j + 0.5) * cvtest::kBlockKm, &px, &py);
            if (px < kEdge || px >= nx - kEdge || py < kTitleRows || py >= ny - bottom) {
                continue;
            }
            const int got = pixel(im, px, py);
            char where[96];
            std::snprintf(where, sizeof where, "block (%d,%d) at pixel (%d,%d): %06x", i, j, px, py,
                          got);
            const int hours = std::atoi(a["lead"].c_str());
            const bool mapleGap =
                a["maple"] == "1" && (j + 0.5) * cvtest::kBlockKm < cvtest::kMapleFirstRow;
            if (mapleGap && (cvtest::blockOutside(i, j) || cvtest::blockMissing(i, j))) {
                continue;  // a missing row of the file's placement over a code of the pattern
            }
            if (cvtest::blockOutside(i, j)) {
                const int r = (got >> 16) & 255;
                ++outside;
                if (!(r == ((got >> 8) & 255) && r == (got & 255) && r > 150 && r < 240)) {
                    fail(std::string("outside ") + where + ", expected a grey shade");
                }
                continue;
            }
            if (cvtest::blockMissing(i, j) || mapleGap ||
                (forecast && view == "echo" && cvtest::forecastDry(i, j, hours))) {
                ++missing;
                if (got != background) {
                    fail(std::string("missing ") + where + ", expected the background");
                }
                continue;
            }
            if (view != "echo") {
                continue;
            }
            const double v = expectedValue(a, i, j);
            const int level = fnGetColorLevel(static_cast<float>(v), table.t, kind, 0.0f, 1, 0);
            const int want = level >= 0 && level < table.t->m_iEchoColorCnt
                                 ? colourOf(table.t->m_echoColorTbl[level])
                                 : background;
            ++probes;
            if (got == want) {
                ++exact;
            } else if (!map) {
                char msg[200];
                std::snprintf(msg, sizeof msg, "%s, value %.2f: expected %06x", where, v, want);
                fail(msg);
            }
        }
    }
    if (view == "echo" && (probes < 3 || exact * 100 < probes * 80)) {
        fail(std::to_string(exact) + " of " + std::to_string(probes) + " probes show their colour");
    }
    if (a["window"] == "korea" && a["maple"] != "1" && (outside != 1 || missing < 1)) {
        fail("the outside and missing blocks were not probed");
    }
    const int lines = countColour(im, 0, kTitleRows, nx - 1, ny - bottom, line);
    if (map && lines < 300) {
        fail("no map lines (" + std::to_string(lines) + " pixels)");
    }
    if (!map && lines > 0) {
        fail("map lines drawn with map=0");
    }
    const int black = countColour(im, 0, kTitleRows, nx - 1, ny - bottom, 0);
    if (a.on("cells", false) && black < 300) {
        fail("no storm-cell outlines (" + std::to_string(black) + " black pixels)");
    }
    if (!a.on("cells", false) && view == "echo" && black > 50) {
        fail("black pixels without storm cells");
    }
    if (a.on("symbols", false)) {
        int px, py;
        pixelOfLonLat(place, *w, 126.98f, 37.57f, &px, &py);
        if (pixel(im, px, py) != rgb(51, 51, 51)) {
            fail("no rain symbol at the Seoul station");
        }
        pixelOfLonLat(place, *w, 127.38f, 36.35f, &px, &py);
        if (countColour(im, px - 5, py - 5, px + 5, py + 5, rgb(51, 51, 51)) != 0) {
            fail("a symbol drawn for code 45");
        }
    }
    if (legend && countColour(im, nx + 1, 0, nx + 10, ny - 1, rgb(255, 255, 255)) > ny * 5) {
        fail("legend strip without colours");
    }
    int title = 0;
    for (int y = 0; y < 24; ++y) {
        for (int x = 20; x < nx - 20; ++x) {
            title += dark(pixel(im, x, y));
        }
    }
    if (title < 80) {
        fail("title without text");
    }
    if (view == "contour") {
        int n = 0;
        for (int c : {rgb(0, 119, 179), rgb(0, 128, 0), rgb(255, 156, 0), rgb(179, 0, 0)}) {
            n += countColour(im, 0, 0, nx - 1, ny - 1, c);
        }
        if (n < 200) {
            fail("no contour lines");
        }
    }
    if (view == "guide") {
        for (int c : {rgb(255, 0, 0), rgb(0, 255, 0), rgb(0, 0, 255)}) {
            if (countColour(im, 0, 0, nx - 1, ny - 1, c) < 100) {
                char msg[64];
                std::snprintf(msg, sizeof msg, "no guide outline in %06x", c);
                fail(msg);
            }
        }
    }
    if (view == "cells" &&
        countColour(im, 0, 0, nx - 1, ny - 1, colourOf(table.t->m_echoColorTbl[0])) < 1000) {
        fail("no forecast storm cells");
    }
}

void checkNoData(gdImagePtr im, const Args& a) {
    const int w = gdImageSX(im), h = gdImageSY(im);
    if (w != std::atoi(a["width"].c_str()) || h != std::atoi(a["height"].c_str())) {
        fail("no-data image is " + std::to_string(w) + "x" + std::to_string(h));
        return;
    }
    if (alphaAt(im, 3, 3) != gdAlphaTransparent ||
        alphaAt(im, w - 3, h - 3) != gdAlphaTransparent) {
        fail("no-data image is not transparent");
    }
    int text = 0;
    for (int y = h / 2 - 24; y < h / 2 + 30; ++y) {
        for (int x = 10; x < w - 10; ++x) {
            text += dark(pixel(im, x, y)) && alphaAt(im, x, y) <= 40;
        }
    }
    if (text < 150) {
        fail("no-data message missing");
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: compview_png_check PNG kind=image|nodata KEY=VALUE...\n");
        return 2;
    }
    Args a;
    for (int k = 2; k < argc; ++k) {
        const std::string s = argv[k];
        const size_t eq = s.find('=');
        if (eq != std::string::npos) {
            a.kv[s.substr(0, eq)] = s.substr(eq + 1);
        }
    }
    FILE* fp = std::fopen(argv[1], "rb");
    if (fp == nullptr) {
        std::fprintf(stderr, "compview_png_check: cannot open %s\n", argv[1]);
        return 1;
    }
    gdImagePtr im = gdImageCreateFromPng(fp);
    std::fclose(fp);
    if (im == nullptr) {
        std::fprintf(stderr, "compview_png_check: %s is no PNG\n", argv[1]);
        return 1;
    }
    if (a["kind"] == "image") {
        checkImage(im, a);
    } else if (a["kind"] == "nodata") {
        checkNoData(im, a);
    } else {
        fail("unknown kind " + a["kind"]);
    }
    gdImageDestroy(im);
    return g_failures == 0 ? 0 : 1;
}
