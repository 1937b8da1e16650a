// Test helper for the image modules: a private resource tree with the staged colour files
// and fonts, and map-line and station files written by the test. RDR_ROOT points at the
// tree while the object lives and is put back afterwards.
#ifndef RDR_IMAGE_TEST_ROOT_H
#define RDR_IMAGE_TEST_ROOT_H

#include <gd.h>
#include <gdfonts.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "test_support.h"

namespace imgtest {

namespace fs = std::filesystem;

// Earth radius of the site projection, km.
constexpr double kEarthKm = 6371.0087890625;

// Latitude of the point `km` kilometres north of `lat` along a meridian.
inline float northOf(float lat, double km) {
    return static_cast<float>(lat + km / kEarthKm * 180.0 / 3.14159265358979323846);
}

struct SitePolyline {
    int32_t lineClass;
    std::vector<std::pair<float, float>> latLon;
};

struct CompPolyline {
    float code;
    std::vector<std::pair<float, float>> xy;
};

class ImageTestRoot {
  public:
    ImageTestRoot() {
        const fs::path res = resourceDir();
        for (const char* d : {"color", "font", "map", "aws"}) {
            fs::create_directories(res / d);
        }
        const fs::path staged = fs::path(RDR_STAGED_ROOT) / "rdr/www/cgi-src/resource";
        for (const auto& e : fs::directory_iterator(staged / "color")) {
            fs::copy_file(e.path(), res / "color" / e.path().filename());
        }
        for (const auto& e : fs::directory_iterator(staged / "font")) {
            fs::create_symlink(fs::canonical(e.path()), res / "font" / e.path().filename());
        }
    }
    ImageTestRoot(const ImageTestRoot&) = delete;
    ImageTestRoot& operator=(const ImageTestRoot&) = delete;

    fs::path resourceDir() const { return dir_.path() / "rdr/www/cgi-src/resource"; }
    std::string tempFile(const std::string& name) const { return dir_.file(name); }

    // The national lines of site images, and the world lines drawn beyond them.
    void writeSiteMap(const std::vector<SitePolyline>& lines) const {
        writeRaw("map/fine_kr_binary.dat", siteLineBytes(lines));
    }
    void writeWorldMap(const std::vector<SitePolyline>& lines) const {
        writeRaw("map/world_binary.dat", siteLineBytes(lines));
    }
    static std::string siteLineBytes(const std::vector<SitePolyline>& lines) {
        std::string bytes;
        for (const SitePolyline& l : lines) {
            put(&bytes, static_cast<int32_t>(l.latLon.size()));
            put(&bytes, l.lineClass);
            for (auto [lat, lon] : l.latLon) {
                put(&bytes, lat);
                put(&bytes, lon);
            }
        }
        return bytes;
    }

    void writeCompMap(const std::string& name, const std::vector<CompPolyline>& lines) const {
        std::string bytes;
        for (const CompPolyline& l : lines) {
            put(&bytes, static_cast<float>(l.xy.size()));
            put(&bytes, l.code);
            for (auto [x, y] : l.xy) {
                put(&bytes, x);
                put(&bytes, y);
            }
        }
        writeRaw("map/" + name, bytes);
    }

    void writeRaw(const std::string& relative, const std::string& bytes) const {
        std::ofstream out(resourceDir() / relative, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

    void remove(const std::string& relative) const { fs::remove(resourceDir() / relative); }

    template <typename T>
    static void put(std::string* pBytes, T value) {
        static_assert(sizeof(T) == 4);
        uint32_t u;
        std::memcpy(&u, &value, 4);
        for (int i = 0; i < 4; ++i) {
            pBytes->push_back(static_cast<char>((u >> (8 * i)) & 0xFF));
        }
    }

  private:
    rdrtest::TempDir dir_;
    rdrtest::ScopedRdrRoot root_{dir_.path().string()};
};

// Pixels of colour c inside the box [x0, x1] x [y0, y1] of a true-colour image.
inline int countColour(gdImagePtr img, int c, int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = y0; y <= y1; ++y) {
        for (int x = x0; x <= x1; ++x) {
            n += gdImageGetTrueColorPixel(img, x, y) == c;
        }
    }
    return n;
}

// Pixels darker than mid-grey (antialiased text included) inside the box.
inline int countDark(gdImagePtr img, int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = y0; y <= y1; ++y) {
        for (int x = x0; x <= x1; ++x) {
            const int c = gdImageGetTrueColorPixel(img, x, y);
            n += gdTrueColorGetRed(c) + gdTrueColorGetGreen(c) + gdTrueColorGetBlue(c) < 384;
        }
    }
    return n;
}

// True when `text` in libgd's small font is written in `colour` with its top-left corner
// somewhere in [x0, x1] x [y0, y1] (other pixels around the glyphs may hold anything).
inline bool hasText(gdImagePtr img, const std::string& text, int colour, int x0, int y0, int x1,
                    int y1) {
    gdFontPtr font = gdFontGetSmall();
    const int w = font->w * static_cast<int>(text.size()), h = font->h;
    const int ink = gdTrueColor(1, 2, 3);
    gdImagePtr glyphs = gdImageCreateTrueColor(w, h);
    std::string t = text;
    gdImageString(glyphs, font, 0, 0, reinterpret_cast<unsigned char*>(t.data()), ink);
    bool found = false;
    for (int y = y0; y <= y1 && !found; ++y) {
        for (int x = x0; x <= x1 && !found; ++x) {
            bool match = true;
            for (int gy = 0; gy < h && match; ++gy) {
                for (int gx = 0; gx < w && match; ++gx) {
                    match = gdImageGetTrueColorPixel(glyphs, gx, gy) != ink ||
                            gdImageGetTrueColorPixel(img, x + gx, y + gy) == colour;
                }
            }
            found = match;
        }
    }
    gdImageDestroy(glyphs);
    return found;
}

}  // namespace imgtest

#endif
