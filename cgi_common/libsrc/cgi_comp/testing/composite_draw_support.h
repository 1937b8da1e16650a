// Test support for the composite drawing: a private composite resource tree (the staged
// fonts, colour tables the test writes, a map-line file, the rain-grid directory) that
// RDR_ROOT points at while the object lives, and pixel probes of decoded images.
#ifndef CGI_COMP_TESTING_COMPOSITE_DRAW_SUPPORT_H
#define CGI_COMP_TESTING_COMPOSITE_DRAW_SUPPORT_H

#include <gd.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "test_support.h"
#include "testing/site_draw_support.h"

namespace comp_test {

namespace fs = std::filesystem;

using site_test::captureStdout;
using site_test::decodePngAnswer;
using site_test::ImagePtr;
using site_test::throughPng;

class CompRoot {
  public:
    static constexpr const char* kResource = "srv/brem/cgi_project/resource";

    // bFonts false leaves the font folder empty, so that every TrueType text fails.
    explicit CompRoot(bool bFonts = true) {
        for (const char* d :
             {"srv/brem/cgi_project/resource/font", "srv/brem/cgi_project/resource/color",
              "srv/brem/cgi_project/resource/map", "srv/brem/cgi_project/data/temp/load_rain"}) {
            fs::create_directories(dir_.path() / d);
        }
        const fs::path staged = fs::path(RDR_STAGED_ROOT) / kResource;
        for (const char* d : bFonts ? std::vector<const char*>{"font", "color"}
                                    : std::vector<const char*>{"color"}) {
            for (const auto& e : fs::directory_iterator(staged / d)) {
                fs::create_symlink(fs::canonical(e.path()),
                                   dir_.path() / kResource / d / e.path().filename());
            }
        }
    }
    CompRoot(const CompRoot&) = delete;
    CompRoot& operator=(const CompRoot&) = delete;

    std::string root() const { return dir_.path().string(); }
    fs::path path(const std::string& relative) const { return dir_.path() / relative; }

    // Replaces a colour table of resource/color with lines of "r g b rain unit" echo colours
    // (thresholds ascending) after the five display colours.
    struct Echo {
        int r, g, b;
        float rain, unit;
    };
    void writeColourTable(const std::string& name, const std::vector<Echo>& echoes,
                          const std::string& rainTitle = "mm/h",
                          const std::string& unitTitle = "dBZ") const {
        const fs::path p = dir_.path() / kResource / "color" / name;
        fs::remove(p);
        std::ofstream out(p);
        out << echoes.size() + 5 << "\n" << rainTitle << "\n" << unitTitle << "\n";
        out << "1 70 70 70 -9998.0 -9998.0\n2 0 0 0 -9997.0 -9997.0\n"
               "3 255 255 255 -9996.0 -9996.0\n4 205 205 205 -9995.0 -9995.0\n"
               "5 0 0 150 -9994.0 -9994.0\n";
        int n = 6;
        for (const Echo& e : echoes) {
            out << n++ << " " << e.r << " " << e.g << " " << e.b << " " << e.rain << " " << e.unit
                << "\n";
        }
    }

    // Map-line records as raw float32 words (count, kind, x0, y0, ...), little-endian.
    void writeMapWords(const std::vector<float>& words) const {
        std::string bytes;
        for (float w : words) {
            uint32_t u;
            std::memcpy(&u, &w, 4);
            for (int i = 0; i < 4; ++i) {
                bytes.push_back(static_cast<char>((u >> (8 * i)) & 0xFF));
            }
        }
        std::ofstream out(dir_.path() / kResource / "map" / "map_data.bln",
                          std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

    fs::path rainGridDir() const {
        return dir_.path() / "srv/brem/cgi_project/data/temp/load_rain";
    }

  private:
    rdrtest::TempDir dir_;
    rdrtest::ScopedRdrRoot root_{dir_.path().string()};
};

inline int rgbAt(gdImagePtr img, int x, int y) {
    return gdImageGetTrueColorPixel(img, x, y) & 0xFFFFFF;
}

inline int alphaAt(gdImagePtr img, int x, int y) {
    return gdTrueColorGetAlpha(gdImageGetTrueColorPixel(img, x, y));
}

inline bool isOpaqueRgb(gdImagePtr img, int x, int y, int r, int g, int b) {
    const int c = gdImageGetTrueColorPixel(img, x, y);
    return gdTrueColorGetAlpha(c) == 0 && (c & 0xFFFFFF) == ((r << 16) | (g << 8) | b);
}

// Pixels of exactly one opaque colour.
struct PixelSet {
    std::vector<std::pair<int, int>> xy;
    size_t size() const { return xy.size(); }
};
inline PixelSet pixelsOf(gdImagePtr img, int r, int g, int b, int y0 = 0, int y1 = -1) {
    PixelSet s;
    const int last = y1 < 0 ? gdImageSY(img) - 1 : y1;
    for (int y = y0; y <= last; ++y) {
        for (int x = 0; x < gdImageSX(img); ++x) {
            if (isOpaqueRgb(img, x, y, r, g, b)) {
                s.xy.emplace_back(x, y);
            }
        }
    }
    return s;
}

// Smallest and largest distance of the pixels from (cx, cy).
inline std::pair<double, double> radiusRange(const PixelSet& s, double cx, double cy) {
    double lo = 1e9;
    double hi = -1e9;
    for (auto [x, y] : s.xy) {
        const double r = std::hypot(x - cx, y - cy);
        lo = std::min(lo, r);
        hi = std::max(hi, r);
    }
    return {lo, hi};
}

// Pixels of any visible colour inside a box.
inline int countVisible(gdImagePtr img, int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = y0; y <= y1; ++y) {
        for (int x = x0; x <= x1; ++x) {
            n += alphaAt(img, x, y) < gdAlphaMax / 2;
        }
    }
    return n;
}

// A row-pointer grid owned by the test.
struct Grid {
    std::vector<std::vector<float>> cells;
    std::vector<float*> rows;
    Grid(int nRows, int nCols, float value) : cells(nRows, std::vector<float>(nCols, value)) {
        for (auto& r : cells) {
            rows.push_back(r.data());
        }
    }
    float** data() { return rows.data(); }
    float& at(int r, int c) { return cells[static_cast<size_t>(r)][static_cast<size_t>(c)]; }
};

}  // namespace comp_test

#endif
