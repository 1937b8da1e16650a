#include "site_graticule.h"

#include <gdfonts.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

#include "internal/site_window.h"

namespace {

using rdr_site_window::GeoExtent;
using rdr_site_window::SiteProjection;

constexpr double kStepsDeg[] = {0.1, 0.2, 0.25, 0.5, 1.0, 2.0, 5.0, 10.0, 15.0, 30.0};
constexpr double kMaxLinesAcross = 6.0;
// Samples along each line; the drawn polyline keeps a vertex every few pixels of them.
constexpr int kTraceSamples = 1024;
constexpr float kVertexSpacingPx = 4.0f;
constexpr int kDotOn = 3;
constexpr int kDotPeriod = 6;
constexpr int kLabelGap = 2;
constexpr unsigned char kDegreeSign = 0xB0;  // in the Latin-2 set of libgd's built-in fonts

// Dotted lines in image pixels: a running count decides which pixels are painted, so the
// pattern flows along a polyline of any number of pieces.
class DottedPen {
  public:
    DottedPen(gdImagePtr pImg, int iColour) : pImg_(pImg), iColour_(iColour) {}
    void lineTo(int x0, int y0, int x1, int y1) {
        const int n = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
        if (std::max(x0, x1) < 0 || std::min(x0, x1) >= gdImageSX(pImg_) || std::max(y0, y1) < 0 ||
            std::min(y0, y1) >= gdImageSY(pImg_)) {
            count_ += n;  // wholly off the image: only the pattern moves on
            lastX_ = x1;
            lastY_ = y1;
            return;
        }
        for (int i = 0; i <= n; ++i) {
            const int x = n == 0 ? x0 : x0 + static_cast<int>(std::lround(double(x1 - x0) * i / n));
            const int y = n == 0 ? y0 : y0 + static_cast<int>(std::lround(double(y1 - y0) * i / n));
            if (x == lastX_ && y == lastY_) {
                continue;
            }
            if (count_++ % kDotPeriod < kDotOn) {
                gdImageSetPixel(pImg_, x, y, iColour_);
            }
            lastX_ = x;
            lastY_ = y;
        }
    }

  private:
    gdImagePtr pImg_;
    int iColour_;
    long count_ = 0;
    int lastX_ = -1, lastY_ = -1;
};

struct Pixel {
    float fx;
    float fy;
};

// "30°N", "89.5°W", "0°", "180°", with as many decimals as the step needs.
std::string label(double dValue, double dStep, char cPositive, char cNegative) {
    const bool bTenths = std::fabs(dStep * 10.0 - std::round(dStep * 10.0)) < 1e-9;
    const int iDecimals = dStep >= 1.0 ? 0 : bTenths ? 1 : 2;
    const double dScale = std::pow(10.0, iDecimals);
    const double dRounded = std::round(std::fabs(dValue) * dScale) / dScale;
    char sz[32];
    std::snprintf(sz, sizeof sz, "%.*f", iDecimals, dRounded);
    std::string s = sz;
    s += static_cast<char>(kDegreeSign);
    if (dRounded != 0.0 && dRounded != 180.0) {
        s += dValue > 0.0 ? cPositive : cNegative;
    }
    return s;
}

class GraticuleDrawer {
  public:
    GraticuleDrawer(gdImagePtr pImg, int iWidth, int iHeight, SiteProjection& proj, int iLineColor,
                    int iTextColor)
        : pImg_(pImg),
          iWidth_(iWidth),
          iHeight_(iHeight),
          proj_(proj),
          iLine_(iLineColor),
          iText_(iTextColor) {}

    // Traces (lon, lat) of sample t in [0, 1], draws the dotted line and returns the first
    // point inside the image through *pEntry (false when the line misses the image).
    template <typename At>
    bool trace(At at, Pixel* pEntry) {
        DottedPen pen(pImg_, iLine_);
        bool bHaveVertex = false, bEntered = false;
        Pixel vertex{};
        for (int i = 0; i <= kTraceSamples; ++i) {
            double lon = 0.0, lat = 0.0;
            at(static_cast<double>(i) / kTraceSamples, &lon, &lat);
            if (proj_.cosDistance(lon, lat) < 0.0) {
                bHaveVertex = false;  // beyond a quarter of the globe: see the map lines
                continue;
            }
            Pixel p{};
            proj_.forward(static_cast<float>(lon), static_cast<float>(lat), &p.fx, &p.fy);
            if (!bEntered && inside(p)) {
                bEntered = true;
                *pEntry = p;
            }
            if (!bHaveVertex) {
                vertex = p;
                bHaveVertex = true;
                continue;
            }
            if (std::hypot(p.fx - vertex.fx, p.fy - vertex.fy) < kVertexSpacingPx &&
                i < kTraceSamples) {
                continue;
            }
            pen.lineTo(column(vertex.fx), row(vertex.fy), column(p.fx), row(p.fy));
            vertex = p;
        }
        return bEntered;
    }

    // A label that would overlap one already written is left out.
    void text(const std::string& s, Pixel at) {
        gdFontPtr pFont = gdFontGetSmall();
        const int w = pFont->w * static_cast<int>(s.size());
        const int x = std::clamp(column(at.fx) + kLabelGap, 0, std::max(0, iWidth_ - w));
        const int y =
            std::clamp(row(at.fy) - pFont->h - kLabelGap + 1, 0, std::max(0, iHeight_ - pFont->h));
        const Box box{x, y, x + w, y + pFont->h};
        for (const Box& b : labels_) {
            if (box.x0 < b.x1 && b.x0 < box.x1 && box.y0 < b.y1 && b.y0 < box.y1) {
                return;
            }
        }
        labels_.push_back(box);
        std::string mutableText = s;
        gdImageString(pImg_, pFont, x, y, reinterpret_cast<unsigned char*>(mutableText.data()),
                      iText_);
    }

  private:
    bool inside(const Pixel& p) const {
        return p.fx >= -0.5f && p.fx < static_cast<float>(iWidth_) - 0.5f && p.fy >= -0.5f &&
               p.fy < static_cast<float>(iHeight_) - 0.5f;
    }
    static int column(float fx) { return clampPixel(std::floor(fx + 0.5f)); }
    int row(float fy) const { return (iHeight_ - 1) - clampPixel(std::floor(fy + 0.5f)); }
    static int clampPixel(float f) {
        // Lines reach a little past the image; far-off pixels only need to stay far off.
        return static_cast<int>(std::clamp(f, -1.0e6f, 1.0e6f));
    }

    struct Box {
        int x0, y0, x1, y1;
    };

    gdImagePtr pImg_;
    int iWidth_, iHeight_;
    SiteProjection& proj_;
    int iLine_, iText_;
    std::vector<Box> labels_;
};

}  // namespace

double fnGetGraticuleStepDeg(double dSpanDeg) {
    for (const double dStep : kStepsDeg) {
        if (dSpanDeg / dStep <= kMaxLinesAcross) {
            return dStep;
        }
    }
    return kStepsDeg[std::size(kStepsDeg) - 1];
}

int fnDrawSiteImgGraticule(gdImagePtr pImg, int iWidth, int iHeight, float fImgGridKm,
                           float fSiteLon, float fSiteLat, float fSiteXo, float fSiteYo,
                           int iLineColor, int iTextColor) {
    if (pImg == nullptr || !rdr_site_window::usableSite(fSiteLon, fSiteLat, fImgGridKm) ||
        iWidth <= 0 || iHeight <= 0) {
        return 0;
    }
    SiteProjection proj(fImgGridKm, fSiteLon, fSiteLat, fSiteXo, fSiteYo);
    const GeoExtent e = rdr_site_window::siteWindowExtent(proj, iWidth, iHeight);
    const double dLatStep = fnGetGraticuleStepDeg(e.north - e.south);
    const double dLonStep = fnGetGraticuleStepDeg(e.east - e.west);
    GraticuleDrawer draw(pImg, iWidth, iHeight, proj, iLineColor, iTextColor);

    for (long k = std::lround(std::ceil(e.south / dLatStep)); k * dLatStep <= e.north; ++k) {
        const double lat = k * dLatStep;
        if (std::fabs(lat) >= 90.0) {
            continue;  // a pole is a point
        }
        Pixel entry{};
        if (draw.trace(
                [&](double t, double* pLon, double* pLat) {
                    *pLon = fSiteLon + e.west + (e.east - e.west) * t;
                    *pLat = lat;
                },
                &entry)) {
            draw.text(label(lat, dLatStep, 'N', 'S'), entry);
        }
    }
    const double west = fSiteLon + e.west, east = fSiteLon + e.east;
    for (long k = std::lround(std::ceil(west / dLonStep)); k * dLonStep <= east; ++k) {
        const double lon = k * dLonStep;
        if (lon >= west + 360.0) {
            break;  // a window around a pole: the first meridian again
        }
        Pixel entry{};
        if (draw.trace(
                [&](double t, double* pLon, double* pLat) {
                    *pLon = lon;
                    *pLat = e.south + (e.north - e.south) * t;
                },
                &entry)) {
            draw.text(label(rdr_site_window::wrapLongitude(lon), dLonStep, 'E', 'W'), entry);
        }
    }
    return 1;
}
