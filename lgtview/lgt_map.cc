#include "lgt_map.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "owned_handle.h"
#include "rdr_root.h"

namespace {

constexpr float kEarthRadiusKm = 6371.00877f;
// Windows of the precipitation-type images' table, at a scale that suits strike markers.
constexpr LvMapWindow kWindows[] = {
    {"SE", 240.0f, 240.0f, 40.0f, 150.0f, 0.5f},
    {"SK", 760.0f, 720.0f, 220.0f, 620.0f, 1.25f},
    {"KR", 800.0f, 1000.0f, 280.0f, 660.0f, 1.6f},
};
constexpr int32_t kFineDetailClass = 3;
constexpr float kFineDetailKmPerPixel = 0.5f;
constexpr long kMaxMapFileBytes = 64L * 1024 * 1024;
constexpr double kPixelLimit = 1.0e6;

int clampPixel(double v) {
    if (!(v > -kPixelLimit)) {
        return static_cast<int>(-kPixelLimit);
    }
    return static_cast<int>(v < kPixelLimit ? v : kPixelLimit);
}

bool readWholeFile(const std::string& path, std::vector<unsigned char>& bytes) {
    rdr::FilePtr f(std::fopen(path.c_str(), "rb"));
    if (!f || std::fseek(f.get(), 0, SEEK_END) != 0) {
        return false;
    }
    const long size = std::ftell(f.get());
    if (size < 0 || size > kMaxMapFileBytes || std::fseek(f.get(), 0, SEEK_SET) != 0) {
        return false;
    }
    bytes.resize(static_cast<size_t>(size));
    return size == 0 || std::fread(bytes.data(), 1, bytes.size(), f.get()) == bytes.size();
}

template <class T>
T le(const unsigned char* p) {
    const uint32_t u = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                       static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
    T v;
    std::memcpy(&v, &u, 4);
    return v;
}

}  // namespace

const LvMapWindow* lvFindMapWindow(const char* name) {
    for (const LvMapWindow& w : kWindows) {
        if (name != nullptr && std::strcmp(name, w.name) == 0) {
            return &w;
        }
    }
    return nullptr;
}

LvMapProjection::LvMapProjection(const LvMapWindow& w)
    : map_(fnCgiGetMapInfo(kEarthRadiusKm, 30.0f, 60.0f, 126.0f, 38.0f, w.kmPerPixel,
                           static_cast<int>(std::lround(w.originXKm / w.kmPerPixel)),
                           static_cast<int>(std::lround(w.originYKm / w.kmPerPixel)))),
      width_(static_cast<int>(std::lround(w.widthKm / w.kmPerPixel))),
      height_(static_cast<int>(std::lround(w.heightKm / w.kmPerPixel))) {}

bool LvMapProjection::toPixel(float lon, float lat, double* x, double* y) {
    if (!std::isfinite(lon) || !std::isfinite(lat) || lat <= -89.0f || lat >= 89.0f) {
        return false;
    }
    float gx = 0.0f;
    float gy = 0.0f;
    if (fnCgiLamcproj(&lon, &lat, &gx, &gy, CGI_EN_PROJ_TO_GRID, &map_, &var_) != 0 ||
        !std::isfinite(gx) || !std::isfinite(gy)) {
        return false;
    }
    // Grid y grows northward; image rows grow southward.
    *x = gx;
    *y = (height_ - 1) - gy;
    return true;
}

bool lvDrawMapLines(gdImagePtr img, LvMapProjection& proj, const LvMapWindow& w, int dx, int dy,
                    int colour) {
    std::vector<unsigned char> bytes;
    if (!readWholeFile(rdrRootPath(std::string("/rdr/REF/MAP/fine_kr_binary.dat")), bytes)) {
        return false;
    }
    const bool fine = w.kmPerPixel <= kFineDetailKmPerPixel;
    size_t pos = 0;
    while (bytes.size() - pos >= 8) {
        const int32_t count = le<int32_t>(&bytes[pos]);
        const int32_t lineClass = le<int32_t>(&bytes[pos + 4]);
        pos += 8;
        if (count <= 0) {
            continue;
        }
        if (static_cast<size_t>(count) > (bytes.size() - pos) / 8) {
            break;  // a record cut short: the file ends here
        }
        const bool draw = fine || lineClass != kFineDetailClass;
        bool havePrev = false;
        int prevX = 0;
        int prevY = 0;
        for (int32_t i = 0; i < count && draw; ++i) {
            const float lat = le<float>(&bytes[pos + 8 * static_cast<size_t>(i)]);
            const float lon = le<float>(&bytes[pos + 8 * static_cast<size_t>(i) + 4]);
            double x = 0.0;
            double y = 0.0;
            if (!proj.toPixel(lon, lat, &x, &y)) {
                havePrev = false;
                continue;
            }
            const int px = clampPixel(x + 0.5) + dx;
            const int py = clampPixel(y + 0.5) + dy;
            if (havePrev) {
                gdImageLine(img, prevX, prevY, px, py, colour);
            }
            prevX = px;
            prevY = py;
            havePrev = true;
        }
        pos += 8 * static_cast<size_t>(count);
    }
    return true;
}
