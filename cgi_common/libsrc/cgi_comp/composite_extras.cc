// Map lines, out-of-area marking and the no-radar-data images of composite images.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "composite_extras.h"
#include "display_utilities.h"
#include "internal/composite_canvas.h"
#include "internal/composite_text.h"
#include "owned_handle.h"
#include "rdr_root.h"

namespace {

// The national map file is well under a megabyte; anything far larger is not a map file.
constexpr long kMaxMapFileBytes = 256L * 1024 * 1024;
// Far-away map points land thousands of pixels off the image; positions are clamped before
// conversion to int (gd clips the lines).
constexpr double kPixelLimit = 1.0e6;
constexpr int kOutBoundAlpha = 100;

// "No radar data for the selected time."
constexpr const char* kNoDataMessage = "선택된 시각의 레이더자료가 없습니다.";
constexpr double kNoDataPt = 16.0;
// The no-data map image is drawn at 2 pixels per km of the map-line file.
constexpr float kNoDataMapZoom = 2.0f;
constexpr int kMapImageExtraWidth = 46;
constexpr int kMapImageExtraHeight = 26;

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

float floatAt(const std::vector<unsigned char>& bytes, size_t pos) {
    const uint32_t u =
        static_cast<uint32_t>(bytes[pos]) | static_cast<uint32_t>(bytes[pos + 1]) << 8 |
        static_cast<uint32_t>(bytes[pos + 2]) << 16 | static_cast<uint32_t>(bytes[pos + 3]) << 24;
    float v;
    std::memcpy(&v, &u, 4);
    return v;
}

int toPixel(double v) {
    if (!(v > -kPixelLimit)) {
        return static_cast<int>(-kPixelLimit);  // also NaN
    }
    return static_cast<int>(v < kPixelLimit ? v : kPixelLimit);
}

bool isDrawnKind(float kind) {
    for (int k : {0, 1, 2, 5, 6, 7, 8}) {
        if (kind == static_cast<float>(k)) {
            return true;
        }
    }
    return false;
}

bool validSize(int w, int h) {
    return w >= 1 && w <= COMP_MAX_IMAGE_DIM && h >= 1 && h <= COMP_MAX_IMAGE_DIM;
}

}  // namespace

int fnMapLineDisp(int nImgYdim, gdImagePtr pImg, int nMap_color, float fXo, float fYo, int nMoveX,
                  int nMoveY, float fZm) {
    if (pImg == nullptr) {
        return -1;
    }
    std::vector<unsigned char> bytes;
    if (!readWholeFile(rdrRootPath(std::string("/srv/brem/cgi_project/resource/map/map_data.bln")),
                       bytes)) {
        return 0;
    }
    size_t pos = 0;
    std::vector<gdPoint> points;
    while (bytes.size() - pos >= 8) {
        const float count = floatAt(bytes, pos);
        const float kind = floatAt(bytes, pos + 4);
        pos += 8;
        // A count must be a whole number of points the file still holds; anything else
        // means the rest is not map lines.
        const size_t left = (bytes.size() - pos) / 8;
        if (!(count >= 0.0f) || count != std::floor(count) ||
            static_cast<double>(count) > static_cast<double>(left)) {
            break;
        }
        const auto n = static_cast<size_t>(count);
        if (n >= 2 && isDrawnKind(kind)) {
            points.resize(n);
            for (size_t i = 0; i < n; ++i) {
                const double x = floatAt(bytes, pos + 8 * i);
                const double y = floatAt(bytes, pos + 8 * i + 4);
                points[i].x = toPixel((x - fXo) * fZm + nMoveX);
                points[i].y = toPixel(nImgYdim - (y + fYo) * fZm - nMoveY);
            }
            gdImageOpenPolygon(pImg, points.data(), static_cast<int>(n), nMap_color);
        }
        pos += 8 * n;
    }
    return 0;
}

int fnBoundDisp(int nImgXdim, int nImgYdim, float** pImgData, gdImagePtr pImg,
                float fOutBoundValue) {
    if (pImg == nullptr || pImgData == nullptr) {
        return -1;
    }
    const int colour = gdImageColorResolveAlpha(pImg, 0, 0, 0, kOutBoundAlpha);
    const int blending = pImg->alphaBlendingFlag;
    // The pixel takes the translucent black itself rather than a blend with what is there.
    gdImageAlphaBlending(pImg, 0);
    for (int i = 0; i < nImgYdim; ++i) {
        const float* row = pImgData[i];
        if (row == nullptr) {
            continue;
        }
        for (int j = 0; j < nImgXdim; ++j) {
            if (row[j] == fOutBoundValue) {
                gdImageSetPixel(pImg, j, i, colour);
            }
        }
    }
    gdImageAlphaBlending(pImg, blending);
    return 0;
}

gdImagePtr compNoDataImage(int nImgXdim, int nImgYdim) {
    if (!validSize(nImgXdim, nImgYdim)) {
        return nullptr;
    }
    rdr::GdImageHandle img = comp_canvas::newTransparentImage(nImgXdim, nImgYdim);
    if (img == nullptr ||
        !comp_text::drawCentred(img.get(), comp_text::fontPath("NanumGothic.ttf"), kNoDataPt,
                                gdTrueColor(0, 0, 0), nImgXdim, nImgYdim / 2, kNoDataMessage)) {
        return nullptr;
    }
    return img.release();
}

gdImagePtr compNoDataMapImage(const char* szP_type, int nImgXdim, int nImgYdim,
                              const char* szUnit) {
    if (!validSize(nImgXdim + kMapImageExtraWidth, nImgYdim + kMapImageExtraHeight) ||
        nImgXdim < 1 || nImgYdim < 1) {
        return nullptr;
    }
    rdr::MallocPtr<CGI_COLOR_TBL> table(compReadMapColorTable(szP_type));
    if (table == nullptr) {
        return nullptr;
    }
    const int w = nImgXdim + kMapImageExtraWidth;
    const int h = nImgYdim + kMapImageExtraHeight;
    rdr::GdImageHandle img = comp_canvas::newImage(w, h, gdTrueColor(255, 255, 255), false);
    if (img == nullptr) {
        return nullptr;
    }
    int echo[CGI_MAX_ECHO_COLOR];
    int disp[CGI_EN_DISP_COLOR_MAX];
    fnAllocColorTbl(img.get(), table.get(), echo, disp);
    fnMapLineDisp(nImgYdim, img.get(), disp[CGI_EN_LINE_COLOR], 0.0f, 0.0f, 0, 0, kNoDataMapZoom);
    fnMapLevelColorDisp(nImgXdim, nImgYdim, szP_type, szUnit, img.get(), echo, table.get());
    gdImageRectangle(img.get(), 0, 0, w - 1, h - 1, gdTrueColor(51, 51, 51));
    if (!comp_text::draw(img.get(), comp_text::fontPath("NanumGothic.ttf"), kNoDataPt,
                         gdTrueColor(0, 0, 0), nImgXdim / 2 - 170, nImgYdim / 2, kNoDataMessage)) {
        return nullptr;
    }
    return img.release();
}

int fnNoCompDataDisp(int nImgXdim, int nImgYdim) {
    rdr::GdImageHandle img(compNoDataImage(nImgXdim, nImgYdim));
    return img != nullptr ? cgiWritePngAnswer(img.get(), stdout) : -1;
}

int fnNoCompMapDataDisp(const char* szP_type, int nImgXdim, int nImgYdim, const char* szUnit) {
    rdr::GdImageHandle img(compNoDataMapImage(szP_type, nImgXdim, nImgYdim, szUnit));
    return img != nullptr ? cgiWritePngAnswer(img.get(), stdout) : -1;
}
