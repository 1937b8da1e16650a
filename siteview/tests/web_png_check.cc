// Checks an image siteview answered for the fixture tree's pattern volume (sv_pattern.h):
//   web_png_check PNG kind=plan product=P field=F window=240|480 rings=0|1 map=0|1 stations=0|1
//   web_png_check PNG kind=cross field=F
//   web_png_check PNG kind=nodata
// Colours are read from the colour files under RDR_ROOT by this checker's own reading of the
// format ("num r g b rain unit" lines after a count and two titles). Probes:
// - plan: every pixel of a band in each quadrant (20 to 200 km from the radar, 10 degrees
//   clear of the quadrant edges) shows the colour of the pattern's value there (PPI, BASE,
//   CMAX, CAPPI), of the echo-top height of the highest sweep (ETOP), or an echo colour
//   ranked by the quadrant's reflectivity (VIL); with overlays on, most of them do and the
//   overlays show (range rings at their radii, map lines, station marks); corners beyond the
//   window show the outside colour; the legend lists the scale's colours, top down; title
//   and bottom strip carry text.
// - cross: a line from south-west to north-east through the radar shows the south-west
//   value on its first half and the north-east value on its second, low down.
// - nodata: the transparent no-data image with its message and a reason line.
#include <gd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "sv_pattern.h"

namespace {

constexpr int kEcho = 513;  // echo area of a plan image, pixels
constexpr int kLegend = 45;
constexpr int kBottom = 20;
constexpr int kTitleRows = 28;  // the title is drawn over the top of the echo area
constexpr double kEarthKm = 8494.678385416666;
constexpr double kPi = 3.14159265358979;

int g_failures = 0;

void fail(const std::string& what) {
    std::fprintf(stderr, "web_png_check: %s\n", what.c_str());
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

// A colour file: the five display colours and the echo colours with their thresholds.
struct Scale {
    std::vector<int> colour;
    std::vector<float> rain;
    std::vector<float> unit;
    int line = -1, inBound = -1, outBound = -1, station = -1;

    // Echo colour of v in the rain (kind 0) or unit column: colour i covers the values
    // between thresholds i-1 and i; values above the scale take the top colour. -1 below the
    // scale's first threshold or within `margin` of any threshold (ambiguous there).
    int colourOf(float v, bool rainColumn, float margin = 1e-3f) const {
        const std::vector<float>& t = rainColumn ? rain : unit;
        for (size_t i = 0; i < t.size(); ++i) {
            if (std::fabs(v - t[i]) < margin) {
                return -1;
            }
        }
        for (size_t i = 1; i < t.size(); ++i) {
            if (v > t[i - 1] && v < t[i]) {
                return colour[i];
            }
        }
        return !t.empty() && v > t.back() ? colour.back() : -1;
    }
    int rank(int c) const {
        for (size_t i = 0; i < colour.size(); ++i) {
            if (colour[i] == c) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }
};

Scale readScale(const std::string& name) {
    Scale s;
    const char* root = std::getenv("RDR_ROOT");
    std::ifstream in(std::string(root != nullptr ? root : "") + "/rdr/REF/COLOR/" + name);
    std::string line;
    for (int header = 0; header < 3 && std::getline(in, line); ++header) {
    }
    while (std::getline(in, line)) {
        std::istringstream f(line);
        int num, r, g, b;
        float rain, unit;
        if (!(f >> num >> r >> g >> b >> rain >> unit)) {
            continue;
        }
        const int c = rgb(r, g, b);
        if (rain == -9998.0f) {
            s.line = c;
        } else if (rain == -9996.0f) {
            s.inBound = c;
        } else if (rain == -9995.0f) {
            s.outBound = c;
        } else if (rain == -9994.0f) {
            s.station = c;
        } else if (rain > -9990.0f) {
            s.colour.push_back(c);
            s.rain.push_back(rain);
            s.unit.push_back(unit);
        }
    }
    if (s.colour.empty() || s.inBound < 0 || s.outBound < 0) {
        fail("colour file " + name + " unreadable");
    }
    return s;
}

std::string scaleFile(const std::string& product, const std::string& field) {
    if (product == "VIL") {
        return "vyq_vil_tarvo.col";
    }
    if (product == "ETOP") {
        return "vyq_etop_tarvo.col";
    }
    if (field == "VR") {
        return "vyq_vr_tarvo.col";
    }
    return "vyq_rn_tarvo.col";
}

// Pixel at azimuth az (degrees) and ground range km, radar at the echo area's centre.
void pixelAt(double az, double km, double kmPerPx, int* x, int* y) {
    const double r = km / kmPerPx;
    *x = kEcho / 2 + static_cast<int>(std::lround(r * std::sin(az * kPi / 180.0)));
    *y = kEcho / 2 - static_cast<int>(std::lround(r * std::cos(az * kPi / 180.0)));
}

// Echo-top height of the pattern volume's highest sweep (15 degrees) at a cell whose
// centre lies g km from the radar's cell, antenna at 627 m.
double echoTopKm(double g) {
    const double phi = 15.0 * kPi / 180.0;
    const double r = g / std::cos(phi);
    return std::sqrt(r * r + kEarthKm * kEarthKm + 2.0 * r * kEarthKm * std::sin(phi)) - kEarthKm +
           0.627;
}

struct Args {
    std::map<std::string, std::string> kv;
    std::string operator[](const std::string& k) const {
        auto it = kv.find(k);
        return it == kv.end() ? "" : it->second;
    }
};

void checkLegend(gdImagePtr im, const Scale& scale) {
    const int n = static_cast<int>(scale.colour.size());
    if (n == 0) {
        return;
    }
    const int cell = kEcho / n;
    for (int k = 0; k < n; ++k) {
        const int y = k * cell + cell / 2;
        const int want = scale.colour[static_cast<size_t>(n - 1 - k)];
        if (pixel(im, kEcho + 5, y) != want) {
            char msg[120];
            std::snprintf(msg, sizeof msg, "legend box %d at y=%d: %06x, expected %06x", k, y,
                          pixel(im, kEcho + 5, y), want);
            fail(msg);
        }
    }
}

int countDark(gdImagePtr im, int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = y0; y <= y1; ++y) {
        for (int x = x0; x <= x1; ++x) {
            // Anti-aliased text on a transparent image is partly transparent at its edges.
            n += dark(pixel(im, x, y)) && alphaAt(im, x, y) <= 40;
        }
    }
    return n;
}

void checkPlan(gdImagePtr im, const Args& a) {
    const std::string product = a["product"], field = a["field"];
    const int window = std::atoi(a["window"].c_str());
    const bool rings = a["rings"] == "1", map = a["map"] == "1", stations = a["stations"] == "1";
    const bool overlays = rings || map || stations;
    if (gdImageSX(im) != kEcho + kLegend || gdImageSY(im) != kEcho + kBottom) {
        fail("plan image is " + std::to_string(gdImageSX(im)) + "x" +
             std::to_string(gdImageSY(im)));
        return;
    }
    const Scale scale = readScale(scaleFile(product, field));
    const double kmPerPx = window / 256.0;
    const bool vil = product == "VIL", etop = product == "ETOP";
    int probes = 0, exact = 0, other = 0;
    std::map<int, int> vilRank[3];  // echo quadrant -> colour rank per probe index
    for (int q = 0; q < 4; ++q) {
        int index = 0;
        for (double az = q * 90 + 10; az <= q * 90 + 80; az += 2.5) {
            for (double km = 20; km <= 200; km += 4.5, ++index) {
                if (km > window - 5) {
                    continue;
                }
                int x, y;
                pixelAt(az, km, kmPerPx, &x, &y);
                if (y < kTitleRows) {
                    continue;
                }
                const int got = pixel(im, x, y);
                int want = -1;
                if (field == "VR") {
                    want = scale.colourOf(q == 0 || q == 3 ? -12.0f : 12.0f, false);
                } else if (q == 3) {
                    want = scale.inBound;
                } else if (etop) {
                    // The engine measures from the cell (256, 256) with whole-cell offsets.
                    const double g = std::hypot(x - kEcho / 2, y - kEcho / 2) * kmPerPx;
                    want = scale.colourOf(static_cast<float>(echoTopKm(g)), false, 0.05f);
                } else if (vil) {
                    const int rank = scale.rank(got);
                    if (rank < 0) {
                        ++other;
                    } else {
                        vilRank[q][index] = rank;
                    }
                    ++probes;
                    continue;
                } else {
                    want = scale.colourOf(svtest::kPatternDbz[q], false);
                }
                if (want < 0) {
                    continue;  // on a scale step
                }
                ++probes;
                if (got == want) {
                    ++exact;
                } else if (!overlays) {
                    char msg[160];
                    std::snprintf(msg, sizeof msg,
                                  "%s %s: az %.1f, %.1f km, pixel (%d,%d): %06x, expected %06x",
                                  product.c_str(), field.c_str(), az, km, x, y, got, want);
                    if (++other <= 5) {
                        fail(msg);
                    }
                } else {
                    ++other;
                }
            }
        }
    }
    if (vil) {
        // No echo in the north-west; everywhere else an echo colour ranked by reflectivity.
        if (other > probes / 50) {
            fail("VIL: " + std::to_string(other) + " of " + std::to_string(probes) +
                 " probes show no echo colour");
        }
        int order = 0, compared = 0;
        for (auto [index, rank] : vilRank[2]) {
            if (vilRank[1].count(index) != 0 && vilRank[0].count(index) != 0) {
                ++compared;
                order += rank >= vilRank[1][index] && vilRank[1][index] >= vilRank[0][index];
            }
        }
        if (compared < 50 || order < compared * 95 / 100) {
            fail("VIL quadrants out of order (" + std::to_string(order) + " of " +
                 std::to_string(compared) + ")");
        }
    }
    if (!vil && (probes < 300 || (!overlays && exact != probes) ||
                 (overlays && exact * 100 < probes * 75))) {
        fail(product + " " + field + ": " + std::to_string(exact) + " of " +
             std::to_string(probes) + " probes show their colour");
    }
    if (map && other < 20) {
        fail("no map lines over the echo");
    }
    // Rings every 100 km of radius: a line-coloured pixel within a pixel of each radius.
    const int ringPx = static_cast<int>(100.0 / kmPerPx);
    for (int k = 1; rings && k * ringPx < kEcho / 2; ++k) {
        for (double az : {30.0, 60.0, 120.0, 150.0, 210.0, 240.0, 300.0, 330.0}) {
            bool found = false;
            for (double d = -1.5; d <= 1.5; d += 0.5) {
                int x, y;
                pixelAt(az, (k * ringPx + d) * kmPerPx, kmPerPx, &x, &y);
                found = found || pixel(im, x, y) == scale.line;
            }
            if (!found) {
                fail("no ring " + std::to_string(k) + " at azimuth " + std::to_string(az));
            }
        }
    }
    if (stations) {
        int marks = 0;
        for (int y = kTitleRows; y < kEcho; ++y) {
            for (int x = 0; x < kEcho; ++x) {
                marks += pixel(im, x, y) == scale.station;
            }
        }
        if (marks < 20) {
            fail("no station marks");
        }
    }
    // Corners lie beyond the window's radius (away from the diagonal direction lines).
    for (auto [x, y] : {std::pair{30, kEcho - 8}, std::pair{kEcho - 8, kEcho - 43}}) {
        if (pixel(im, x, y) != scale.outBound) {
            fail("corner (" + std::to_string(x) + "," + std::to_string(y) + ") not outside");
        }
    }
    checkLegend(im, scale);
    if (countDark(im, 40, 0, kEcho - 40, 24) < 100) {
        fail("title without text");
    }
    if (countDark(im, 5, kEcho + 2, 300, kEcho + kBottom - 2) < 100) {
        fail("bottom strip without text");
    }
}

void checkCross(gdImagePtr im, const Args& a) {
    constexpr int kSamples = 725, kLevels = 300, kTitle = 25;
    const Scale scale = readScale(scaleFile("CAPPI", a["field"]));
    if (gdImageSX(im) < kSamples + kLegend || gdImageSY(im) < kTitle + kLevels + kBottom) {
        fail("cross-section image is " + std::to_string(gdImageSX(im)) + "x" +
             std::to_string(gdImageSY(im)));
        return;
    }
    // Levels of 50 m from the bottom of the section; from 0.5 to 1.5 km high, the line's
    // second and third eighths lie south-west of the radar, the sixth and seventh north-east.
    int probes = 0, exact = 0;
    for (int level = 10; level <= 30; level += 5) {
        const int y = kTitle + kLevels - 1 - level;
        for (int i = kSamples / 8 + 10; i < kSamples * 3 / 8; i += 7) {
            ++probes;
            exact += pixel(im, i, y) == scale.colourOf(svtest::kPatternDbz[2], false);
        }
        for (int i = kSamples * 5 / 8 + 10; i < kSamples * 7 / 8; i += 7) {
            ++probes;
            exact += pixel(im, i, y) == scale.colourOf(svtest::kPatternDbz[0], false);
        }
    }
    if (exact * 100 < probes * 95) {
        fail("cross-section: " + std::to_string(exact) + " of " + std::to_string(probes) +
             " probes show their colour");
    }
    if (countDark(im, 20, 0, 600, kTitle - 1) < 100) {
        fail("cross-section title without text");
    }
}

void checkNoData(gdImagePtr im) {
    const int w = gdImageSX(im), h = gdImageSY(im);
    if (w != kEcho + kLegend || h != kEcho + kBottom) {
        fail("no-data image is " + std::to_string(w) + "x" + std::to_string(h));
        return;
    }
    if (alphaAt(im, 3, 3) != gdAlphaTransparent ||
        alphaAt(im, w - 3, h - 3) != gdAlphaTransparent) {
        fail("no-data image is not transparent");
    }
    // The message above the middle row, the reason below it.
    if (countDark(im, 20, h / 2 - 24, w - 20, h / 2 + 2) < 150) {
        fail("no-data message missing");
    }
    if (countDark(im, 20, h / 2 + 6, w - 20, h / 2 + 30) < 40) {
        fail("no-data reason missing");
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: web_png_check PNG kind=plan|cross|nodata KEY=VALUE...\n");
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
        std::fprintf(stderr, "web_png_check: cannot open %s\n", argv[1]);
        return 1;
    }
    gdImagePtr im = gdImageCreateFromPng(fp);
    std::fclose(fp);
    if (im == nullptr) {
        std::fprintf(stderr, "web_png_check: %s is no PNG\n", argv[1]);
        return 1;
    }
    if (a["kind"] == "plan") {
        checkPlan(im, a);
    } else if (a["kind"] == "cross") {
        checkCross(im, a);
    } else if (a["kind"] == "nodata") {
        checkNoData(im);
    } else {
        fail("unknown kind " + a["kind"]);
    }
    gdImageDestroy(im);
    return g_failures == 0 ? 0 : 1;
}
