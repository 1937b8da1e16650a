// Test support for the site drawing: a private resource tree (the staged colour files and
// fonts of /rdr/REF, and map-line and station files the test writes) that RDR_ROOT points
// at while the object lives; standard output captured into a string; PNG answers decoded.
#ifndef CGI_SITE_TESTING_SITE_DRAW_SUPPORT_H
#define CGI_SITE_TESTING_SITE_DRAW_SUPPORT_H

#include <gd.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "owned_handle.h"
#include "test_support.h"

namespace site_test {

namespace fs = std::filesystem;

// Earth radius of the site projection, km.
constexpr double kEarthKm = 6371.0087890625;

// Longitude and latitude of the point kmEast and kmNorth from a site on the site's
// azimuthal grid: the end of the great circle of that bearing and length.
inline std::pair<float, float> lonLatAt(float siteLon, float siteLat, double kmEast,
                                        double kmNorth) {
    constexpr double kPi = 3.14159265358979323846;
    const double lat1 = siteLat * kPi / 180.0;
    const double d = std::hypot(kmEast, kmNorth) / kEarthKm;
    const double t = std::atan2(kmEast, kmNorth);
    const double lat2 =
        std::asin(std::sin(lat1) * std::cos(d) + std::cos(lat1) * std::sin(d) * std::cos(t));
    const double lon2 =
        siteLon * kPi / 180.0 + std::atan2(std::sin(t) * std::sin(d) * std::cos(lat1),
                                           std::cos(d) - std::sin(lat1) * std::sin(lat2));
    return {static_cast<float>(lon2 * 180.0 / kPi), static_cast<float>(lat2 * 180.0 / kPi)};
}

using ImageDeleter = rdr::ReleaseWith<gdImageDestroy>;
using ImagePtr = std::unique_ptr<gdImage, ImageDeleter>;

class DrawRoot {
  public:
    DrawRoot() {
        const fs::path staged = fs::path(RDR_STAGED_ROOT);
        for (const char* d :
             {"rdr/REF/COLOR", "rdr/REF/FONT", "rdr/REF/MAP", "rdr/REF/AWS",
              "srv/brem/cgi_project/resource/font", "rdr/www/cgi-src/data/temp/load_rain"}) {
            fs::create_directories(dir_.path() / d);
        }
        for (const char* d :
             {"rdr/REF/COLOR", "rdr/REF/FONT", "srv/brem/cgi_project/resource/font"}) {
            for (const auto& e : fs::directory_iterator(staged / d)) {
                fs::create_symlink(fs::canonical(e.path()), dir_.path() / d / e.path().filename());
            }
        }
    }
    DrawRoot(const DrawRoot&) = delete;
    DrawRoot& operator=(const DrawRoot&) = delete;

    fs::path path(const std::string& relative) const { return dir_.path() / relative; }

    void write(const std::string& relative, const std::string& bytes) const {
        std::ofstream out(path(relative), std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

    // One map-line record: class, then (latitude, longitude) points.
    struct MapLine {
        int32_t lineClass;
        std::vector<std::pair<float, float>> latLon;
    };
    void writeMap(const std::vector<MapLine>& lines) const {
        std::string bytes;
        for (const MapLine& l : lines) {
            put(bytes, static_cast<int32_t>(l.latLon.size()));
            put(bytes, l.lineClass);
            for (auto [lat, lon] : l.latLon) {
                put(bytes, lat);
                put(bytes, lon);
            }
        }
        write("rdr/REF/MAP/fine_kr_binary.dat", bytes);
    }

  private:
    template <typename T>
    static void put(std::string& bytes, T value) {
        static_assert(sizeof(T) == 4);
        uint32_t u;
        std::memcpy(&u, &value, 4);
        for (int i = 0; i < 4; ++i) {
            bytes.push_back(static_cast<char>((u >> (8 * i)) & 0xFF));
        }
    }

    rdrtest::TempDir dir_;
    rdrtest::ScopedRdrRoot root_{dir_.path().string()};
};

// Everything written to standard output while fn runs.
template <class Fn>
std::string captureStdout(Fn fn) {
    rdrtest::TempDir dir;
    const std::string path = dir.file("stdout");
    std::fflush(stdout);
    const int saved = dup(fileno(stdout));
    FILE* out = std::fopen(path.c_str(), "wb");
    if (saved < 0 || out == nullptr) {
        ADD_FAILURE() << "cannot redirect standard output";
        return {};
    }
    dup2(fileno(out), fileno(stdout));
    fn();
    std::fflush(stdout);
    dup2(saved, fileno(stdout));
    close(saved);
    std::fclose(out);
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The image of a PNG answer ("Content-type: image/png\r\n\r\n" and the PNG), or null.
inline ImagePtr decodePngAnswer(const std::string& answer) {
    const std::string header = "Content-type: image/png\r\n\r\n";
    if (answer.compare(0, header.size(), header) != 0) {
        ADD_FAILURE() << "not a PNG answer: " << answer.substr(0, 80);
        return nullptr;
    }
    std::string png = answer.substr(header.size());
    return ImagePtr(gdImageCreateFromPngPtr(static_cast<int>(png.size()), png.data()));
}

// An image after a round trip through PNG, as a client sees it.
inline ImagePtr throughPng(gdImagePtr img) {
    int size = 0;
    void* png = gdImagePngPtr(img, &size);
    ImagePtr out(png != nullptr ? gdImageCreateFromPngPtr(size, png) : nullptr);
    gdFree(png);
    return out;
}

inline int rgb(gdImagePtr img, int x, int y) {
    return gdImageGetTrueColorPixel(img, x, y) & 0xFFFFFF;
}

// Pixels darker than mid-grey (antialiased text included) inside the box.
inline int countDark(gdImagePtr img, int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = y0; y <= y1; ++y) {
        for (int x = x0; x <= x1; ++x) {
            const int c = gdImageGetTrueColorPixel(img, x, y);
            n += gdTrueColorGetAlpha(c) < 64 &&
                 gdTrueColorGetRed(c) + gdTrueColorGetGreen(c) + gdTrueColorGetBlue(c) < 384;
        }
    }
    return n;
}

}  // namespace site_test

#endif
