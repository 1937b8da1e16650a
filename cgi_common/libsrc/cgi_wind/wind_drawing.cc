#include "wind_drawing.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "display_utilities.h"
#include "internal/site_draw_text.h"
#include "rdr_root.h"

namespace {

constexpr double kPi = 3.141592;
constexpr double kDegrad = kPi / 180.0;
// A barb has five mark positions, from the tip (0) towards the station.
constexpr int kMarkPositions = 5;
constexpr float kPennantSpeed = 25.0f;
constexpr float kFeatherSpeed = 5.0f;

// "No radar data for the selected time."
constexpr const char* kNoDataMessage = "선택된 시각의 레이더자료가 없습니다.";
constexpr double kMessagePt = 16.0;
constexpr double kReasonPt = 11.0;

struct Vec {
    double x;
    double y;
};

// Pixel coordinates truncate toward zero; far-off points (a huge size) are clamped first,
// gd clips the lines.
int px(double v) {
    constexpr double kLimit = 1.0e6;
    return static_cast<int>(std::clamp(v, -kLimit, kLimit));
}

void line(gdImagePtr img, Vec a, Vec b, int colour) {
    gdImageLine(img, px(a.x), px(a.y), px(b.x), px(b.y), colour);
}

// The wind module's font first, then the site display's copy of the same face.
std::string messageFont() {
    for (const char* path :
         {"/srv/brem/cgi_project/resource/font/NanumGothic.ttf", "/rdr/REF/FONT/NanumGothic.ttf"}) {
        std::string rooted = rdrRootPath(std::string(path));
        if (FILE* f = std::fopen(rooted.c_str(), "rb")) {
            std::fclose(f);
            return rooted;
        }
    }
    return {};
}

// Draws text horizontally centred on centreX with its baseline at baselineY; nothing when
// the font cannot be loaded.
void centredText(gdImagePtr img, const std::string& font, double pt, int colour, int centreX,
                 int baselineY, const std::string& text) {
    const int width = site_text::textWidth(font, pt, text);
    if (width > 0) {
        site_text::drawText(img, font, pt, colour, centreX - width / 2, baselineY, text);
    }
}

}  // namespace

int fnWindDraw(gdImagePtr pImg, WIND w, int nLine_Color, int nSize, int nWing, int nImgXdim,
               int nImgYdim) {
    if (pImg == nullptr || !std::isfinite(w.x) || !std::isfinite(w.y) || !std::isfinite(w.wd)) {
        return -1;
    }
    if (!(w.ws > 0.0f)) {
        return 1;
    }
    if (w.x < 0.0f || w.x > nImgXdim || w.y < 0.0f || w.y > nImgYdim) {
        return -1;
    }
    // The shaft points into the wind: from north (0) is up, since image rows grow southward.
    const double a = (w.wd - 90.0) * kDegrad;
    const Vec station{w.x, w.y};
    const Vec tip{w.x + std::cos(a) * nSize, w.y + std::sin(a) * nSize};
    line(pImg, station, tip, nLine_Color);

    const Vec step{(tip.x - station.x) / kMarkPositions, (tip.y - station.y) / kMarkPositions};
    auto position = [&](int k) { return Vec{tip.x - k * step.x, tip.y - k * step.y}; };
    const double b = (w.wd - 30.0) * kDegrad;
    auto feather = [&](int k, double length) {
        const Vec p = position(k);
        return Vec{p.x + length * std::cos(b), p.y + length * std::sin(b)};
    };

    int pennants = static_cast<int>(std::floor(w.ws / kPennantSpeed));
    if (w.ws - kPennantSpeed * pennants >= 24.0f) {
        ++pennants;
    }
    float rest = w.ws - kPennantSpeed * pennants;
    int feathers = 0;
    if (rest > 0.0f) {
        feathers = static_cast<int>(std::floor(rest / kFeatherSpeed));
        if (rest - kFeatherSpeed * feathers >= 4.0f) {
            ++feathers;
        }
        rest -= kFeatherSpeed * feathers;
    }
    // Marks that would fall beyond the station are not drawn.
    int k = 0;
    for (; k < pennants && k < kMarkPositions; ++k) {
        const Vec corners[3] = {position(k - 1), position(k), feather(k, nWing)};
        gdPoint pts[3];
        for (int c = 0; c < 3; ++c) {
            pts[c] = gdPoint{px(corners[c].x), px(corners[c].y)};
        }
        gdImageFilledPolygon(pImg, pts, 3, nLine_Color);
    }
    for (; k < pennants + feathers && k < kMarkPositions; ++k) {
        line(pImg, position(k), feather(k, nWing), nLine_Color);
    }
    if (rest >= 1.5f) {
        const int half = pennants + feathers == 0 ? 1 : pennants + feathers;
        if (half < kMarkPositions) {
            line(pImg, position(half), feather(half, 0.5 * nWing), nLine_Color);
        }
    }
    return 1;
}

void siteDrawNoDataMessage(gdImagePtr pImg, int nCentreX, int nBaselineY, const char* szReason) {
    if (pImg == nullptr) {
        return;
    }
    const std::string font = messageFont();
    const int black = gdImageColorAllocate(pImg, 0, 0, 0);
    centredText(pImg, font, kMessagePt, black, nCentreX, nBaselineY, kNoDataMessage);
    if (szReason != nullptr && szReason[0] != '\0') {
        centredText(pImg, font, kReasonPt, black, nCentreX, nBaselineY + 26, szReason);
    }
}

gdImagePtr siteNoDataImage(int nImgYdim, int nImgXdim, const char* szReason) {
    const int w = std::clamp(nImgXdim, 1, SITE_MAX_IMAGE_DIM);
    const int h = std::clamp(nImgYdim, 1, SITE_MAX_IMAGE_DIM);
    gdImagePtr img = gdImageCreateTrueColor(w, h);
    if (img == nullptr) {
        return nullptr;
    }
    gdImageSaveAlpha(img, 1);
    gdImageAlphaBlending(img, 0);
    gdImageFilledRectangle(img, 0, 0, w - 1, h - 1, gdTrueColorAlpha(0, 0, 0, gdAlphaTransparent));
    siteDrawNoDataMessage(img, w / 2, h / 2, szReason);
    return img;
}

void fnNoDataDisp(int nImgYdim, int nImgXdim) {
    gdImagePtr img = siteNoDataImage(nImgYdim, nImgXdim, nullptr);
    cgiWritePngAnswer(img, stdout);
    if (img != nullptr) {
        gdImageDestroy(img);
    }
}
