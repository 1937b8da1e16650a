#include "section_images.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gdfonts.h>

#include "colour_tables.h"
#include "core_utilities.h"
#include "image_cells.h"
#include "info_tables.h"
#include "internal/image_panels.h"
#include "ray_lookup.h"
#include "rdr_root.h"

namespace {

using rdr_image_panels::Image;

constexpr double kPi = 3.14159265358979323846;
constexpr double kDegToRad = kPi / 180.0;
// Effective earth radius of the standard refraction model, km.
constexpr double kEffectiveEarthKm = 4.0 / 3.0 * 6371.0;
constexpr float kDefaultTopKm = 20.0f;
constexpr int kDefaultWidth = 800;
constexpr int kDefaultHeight = 400;
constexpr int kMaxPanel = 8000;
// Frame around the echo panel: title strip, axis margins and the colour bar.
constexpr int kTopHeight = 30;
constexpr int kLeftWidth = 52;
constexpr int kBottomHeight = 36;
constexpr int kRightWidth = 45;
constexpr int kTickPixels = 5;
constexpr double kTitlePt = 12.0;
constexpr double kUnitPt = 10.0;

// One ray that carries the drawn moment, placed on the section's axis (elevation or time).
struct SectionRay {
    double axis;
    STD_RAY* ray;
    int fieldIdx;
    float reachKm;  // slant range of the far edge of the last bin
    float elevation;
};

// Far edge of the last bin of one moment of a ray, with the geometry fnGetBinValueToRay
// looks the bins up with.
float reachKm(const STD_RAY* pRay, const STD_FIELD* pField) {
    int startKm = pRay->m_hdr.m_iStartRangeKm;
    int startM = pRay->m_hdr.m_iStartRangeMeter;
    int spacingM = pRay->m_hdr.m_iBinSpacing;
    if (pField->m_hdr.m_iBinSpacing != 0) {
        startKm = pField->m_hdr.m_iStartRangeKm;
        startM = pField->m_hdr.m_iStartRangeMeter;
        spacingM = pField->m_hdr.m_iBinSpacing;
    }
    return static_cast<float>(startKm) + static_cast<float>(startM) / 1000.0f +
           static_cast<float>(pField->m_iMaxBin) * static_cast<float>(spacingM) / 1000.0f;
}

// The rays of one sweep (or of every sweep when iSweep < 0) that carry the moment with
// usable bins; the axis is left at 0.
std::vector<SectionRay> raysWithMoment(STD_RADAR* pStd, int iSweep, const char* szMoment) {
    std::vector<SectionRay> rays;
    const int first = iSweep < 0 ? 0 : iSweep;
    const int last = iSweep < 0 ? pStd->m_iMaxSweep - 1 : iSweep;
    for (int s = first; s <= last && pStd->m_ppSweep != nullptr; ++s) {
        STD_SWEEP* pSweep = pStd->m_ppSweep[s];
        for (int r = 0; pSweep != nullptr && pSweep->m_ppRay != nullptr && r < pSweep->m_iMaxRay;
             ++r) {
            STD_RAY* pRay = pSweep->m_ppRay[r];
            if (pRay == nullptr || !std::isfinite(pRay->m_hdr.m_fElevation)) {
                continue;
            }
            const int idx = fnGetFieldIdxRay(pRay, szMoment);
            if (idx < 0 || pRay->m_ppField[idx] == nullptr ||
                pRay->m_ppField[idx]->m_iMaxBin <= 0) {
                continue;
            }
            const float reach = reachKm(pRay, pRay->m_ppField[idx]);
            if (!(reach > 0.0f)) {
                continue;
            }
            rays.push_back({0.0, pRay, idx, reach, pRay->m_hdr.m_fElevation});
        }
    }
    return rays;
}

// Half the median step between neighbours on the axis: the farthest a pixel may lie from
// its ray. fFallback when there are fewer than two distinct positions.
double halfSpacing(const std::vector<SectionRay>& sorted, double dFallback) {
    std::vector<double> steps;
    for (size_t i = 1; i < sorted.size(); ++i) {
        const double d = sorted[i].axis - sorted[i - 1].axis;
        if (d > 1e-9) {
            steps.push_back(d);
        }
    }
    if (steps.empty()) {
        return dFallback / 2.0;
    }
    std::nth_element(steps.begin(), steps.begin() + static_cast<long>(steps.size() / 2),
                     steps.end());
    return steps[steps.size() / 2] / 2.0;
}

// The ray nearest to position dAxis, or null when none lies within dHalfWidth.
const SectionRay* nearestRay(const std::vector<SectionRay>& sorted, double dAxis,
                             double dHalfWidth) {
    auto it = std::lower_bound(sorted.begin(), sorted.end(), dAxis,
                               [](const SectionRay& r, double a) { return r.axis < a; });
    const SectionRay* best = nullptr;
    double bestDiff = dHalfWidth;
    if (it != sorted.end() && std::fabs(it->axis - dAxis) <= bestDiff) {
        best = &*it;
        bestDiff = std::fabs(it->axis - dAxis);
    }
    if (it != sorted.begin() && std::fabs((it - 1)->axis - dAxis) <= bestDiff) {
        best = &*(it - 1);
    }
    return best;
}

// The product-image cell of the bin at slant range fRangeKm: -9998 beyond the ray's reach,
// -9999 for a bin without a value.
float cellValue(const SectionRay& r, float fRangeKm, int iNoDataValue) {
    if (!(fRangeKm >= 0.0f) || fRangeKm >= r.reachKm) {
        return RDR_GRID_OUT_BOUND;
    }
    const float v = fnGetBinValueToRay(r.ray, r.fieldIdx, fRangeKm, iNoDataValue);
    return isBinNoValue(v) ? RDR_GRID_NO_DATA : v;
}

// Slant range at which a beam at fElevationDeg reaches dHeightKm above the antenna.
double slantRangeAtHeight(double dHeightKm, double dElevationDeg) {
    const double R = kEffectiveEarthKm, s = std::sin(dElevationDeg * kDegToRad);
    return -R * s + std::sqrt(R * R * s * s + (R + dHeightKm) * (R + dHeightKm) - R * R);
}

// A step of 1, 2 or 5 times a power of ten that divides dSpan into at most about iMax parts.
double niceStep(double dSpan, int iMax) {
    const double raw = dSpan / iMax;
    const double p = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        if (m * p >= raw) {
            return m * p;
        }
    }
    return 10.0 * p;
}

// A step in seconds from the usual clock steps; whole days beyond them (ray times that
// span years come from damaged files and still get a handful of ticks).
double timeStep(double dSpan, int iMax) {
    for (double s : {1.0, 2.0, 5.0, 10.0, 15.0, 20.0, 30.0, 60.0, 120.0, 300.0, 600.0, 900.0,
                     1800.0, 3600.0, 7200.0, 10800.0, 21600.0, 43200.0}) {
        if (dSpan / s <= iMax) {
            return s;
        }
    }
    return std::ceil(dSpan / iMax / 86400.0) * 86400.0;
}

std::string fontPath(const char* szFont) {
    return rdrRootPath(std::string("/rdr/www/cgi-src")) + "/resource/font/" + szFont;
}

void drawTtf(gdImagePtr pImg, int iColour, double dPt, int x, int y, const std::string& text) {
    if (text.empty()) {
        return;
    }
    int brect[8];
    std::string font = fontPath("NanumGothic.ttf");
    std::string mutableText = text;
    gdImageStringTTF(pImg, brect, iColour, font.data(), dPt, 0.0, x, y, mutableText.data());
}

void drawSmall(gdImagePtr pImg, int x, int y, const std::string& text, int iColour) {
    std::string t = text;
    gdImageString(pImg, gdFontGetSmall(), x, y, reinterpret_cast<unsigned char*>(t.data()),
                  iColour);
}

// One axis of the panel: the value at the panel's low and high edges.
struct Axis {
    double low;
    double high;
};

// What a section image needs besides its cells.
struct SectionFrame {
    const char* szFunction;
    std::string title;
    Axis x;
    Axis y;
    bool bTimeAxis;  // x holds stored times (seconds), labelled as clock times
    int iWidth;
    int iHeight;
};

int fail(const char* szFunction, const std::string& reason) {
    rdrError(szFunction, reason.c_str());
    return 0;
}

// Ticks and labels of both axes, in the margins of the finished image.
void drawAxes(gdImagePtr pImg, const SectionFrame& f, int iBlack) {
    const int x0 = kLeftWidth, y0 = kTopHeight, W = f.iWidth, H = f.iHeight;
    gdFontPtr font = gdFontGetSmall();
    gdImageRectangle(pImg, x0 - 1, y0 - 1, x0 + W, y0 + H, iBlack);

    const double xSpan = f.x.high - f.x.low;
    const double xStep = f.bTimeAxis ? timeStep(xSpan, 8) : niceStep(xSpan, 10);
    for (double v = std::ceil(f.x.low / xStep - 1e-9) * xStep; v <= f.x.high + 1e-9 * xSpan;
         v += xStep) {
        const int px = x0 + static_cast<int>(std::lround((v - f.x.low) / xSpan * W));
        gdImageLine(pImg, px, y0 + H, px, y0 + H + kTickPixels, iBlack);
        char sz[32];
        if (f.bTimeAxis) {
            std::snprintf(
                sz, sizeof sz, "%s",
                formatStoredTime(static_cast<time_t>(std::llround(v)), "%H:%M:%S").c_str());
        } else {
            std::snprintf(sz, sizeof sz, "%g", std::fabs(v) < 1e-9 ? 0.0 : v);
        }
        const int w = font->w * static_cast<int>(std::strlen(sz));
        drawSmall(pImg, std::clamp(px - w / 2, 0, gdImageSX(pImg) - w), y0 + H + kTickPixels + 1,
                  sz, iBlack);
    }
    const std::string xTitle = f.bTimeAxis ? "Time (KST)" : "Distance from radar (km)";
    drawSmall(pImg, x0 + W / 2 - font->w * static_cast<int>(xTitle.size()) / 2,
              y0 + H + kTickPixels + font->h + 2, xTitle, iBlack);

    const double ySpan = f.y.high - f.y.low;
    const double yStep = niceStep(ySpan, 8);
    for (double v = std::ceil(f.y.low / yStep - 1e-9) * yStep; v <= f.y.high + 1e-9 * ySpan;
         v += yStep) {
        const int py = y0 + H - static_cast<int>(std::lround((v - f.y.low) / ySpan * H));
        gdImageLine(pImg, x0 - 1 - kTickPixels, py, x0 - 1, py, iBlack);
        char sz[32];
        std::snprintf(sz, sizeof sz, "%g", std::fabs(v) < 1e-9 ? 0.0 : v);
        const int w = font->w * static_cast<int>(std::strlen(sz));
        drawSmall(pImg, x0 - kTickPixels - 3 - w,
                  std::clamp(py - font->h / 2, 0, gdImageSY(pImg) - font->h), sz, iBlack);
    }
    const std::string yTitle = "Height (km)";
    std::string t = yTitle;
    gdImageStringUp(pImg, font, 2, y0 + H / 2 + font->w * static_cast<int>(t.size()) / 2,
                    reinterpret_cast<unsigned char*>(t.data()), iBlack);
}

// Fills the echo grid by pixel centre, converts rain rate when asked, and composes, frames
// and writes the image.
int drawSection(const SectionFrame& f, const char* szFieldName, bool bDbzToRain,
                SECTION_IMAGE_OPTION option, const char* szOutFile,
                const std::function<float(double x, double y)>& cellAt, SECTION_IMAGE_AXES* pAxes) {
    RDR_DISP_INFO_TBL disp{};
    if (fnGetColorFileInfo(szFieldName, &disp) != 1) {
        return fail(f.szFunction, std::string("no colour table for field ") + szFieldName);
    }
    RDR_IMG_INFO_TBL img{};
    if (fnGetImgSizeInfo("SITE_480", &img) != 1) {
        return fail(f.szFunction, "fnGetImgSizeInfo fail");
    }
    const std::string colourFile =
        rdrRootPath(std::string("/rdr/www/cgi-src")) + "/resource/color/" + disp.m_szColorFIle;
    std::unique_ptr<RDR_COLOR_TBL, decltype(&std::free)> colours(
        fnReadColorTable(colourFile.c_str()), &std::free);
    if (!colours) {
        return fail(f.szFunction, "fnReadColorTable fail (cannot read " + colourFile + ")");
    }
    const int W = f.iWidth, H = f.iHeight;
    std::unique_ptr<float*, std::function<void(float**)>> grid(
        fnMakeMatrix2D_F(H, W), [H](float** p) { fnFreeMatrix2D(reinterpret_cast<void**>(p), H); });
    if (!grid) {
        return fail(f.szFunction, "cannot allocate the image grid");
    }
    const double dx = (f.x.high - f.x.low) / W, dy = (f.y.high - f.y.low) / H;
    for (int row = 0; row < H; ++row) {
        const double y = f.y.high - (row + 0.5) * dy;
        for (int col = 0; col < W; ++col) {
            grid.get()[row][col] = cellAt(f.x.low + (col + 0.5) * dx, y);
        }
    }
    if (bDbzToRain) {
        fnDbzToRainrate(grid.get(), H, W, 1);
    }

    Image back(
        gdImageCreateTrueColor(kLeftWidth + W + kRightWidth, kTopHeight + H + kBottomHeight));
    Image echo(gdImageCreateTrueColor(W, H));
    Image bar(gdImageCreateTrueColor(kRightWidth, H));
    if (!back || !echo || !bar) {
        return fail(f.szFunction, "cannot allocate the image");
    }
    const int iWhite = gdImageColorAllocate(back.get(), 255, 255, 255);
    const int iBlack = gdImageColorAllocate(back.get(), 0, 0, 0);
    gdImageFilledRectangle(back.get(), 0, 0, gdImageSX(back.get()) - 1, gdImageSY(back.get()) - 1,
                           iWhite);
    gdImageFilledRectangle(bar.get(), 0, 0, kRightWidth - 1, H - 1,
                           gdImageColorAllocate(bar.get(), 255, 255, 255));

    int echoColorBar[RDR_MAX_ECHO_COLOR];
    int dispColorBar[RDR_EN_DISP_COLOR_MAX];
    if (fnAllocColorTbl(echo.get(), colours.get(), echoColorBar, dispColorBar) != 1) {
        return fail(f.szFunction, "fnAllocColorTbl fail");
    }
    fnDrawRadarImgBound(echo.get(), grid.get(), W, H, RDR_GRID_OUT_BOUND,
                        dispColorBar[RDR_EN_IN_BOUND_COLOR], dispColorBar[RDR_EN_OUT_BOUND_COLOR]);
    fnDrawRadarEcho(echo.get(), grid.get(), W, H, colours.get(), disp.m_iColorKind,
                    disp.m_fMinValue, img.m_iMinDiffType, img.m_iEchoDIffType, echoColorBar);
    if (fnAllocColorTbl(bar.get(), colours.get(), echoColorBar, dispColorBar) != 1) {
        return fail(f.szFunction, "fnAllocColorTbl fail");
    }
    rdr_image_panels::drawColourBar(bar.get(), H, echoColorBar, *colours, disp, szFieldName);

    gdImageCopy(back.get(), echo.get(), kLeftWidth, kTopHeight, 0, 0, W, H);
    gdImageCopy(back.get(), bar.get(), kLeftWidth + W + 4, kTopHeight, 0, 0, kRightWidth - 4, H);
    drawAxes(back.get(), f, iBlack);
    drawTtf(back.get(), iBlack, kTitlePt, 4, kTopHeight - 9, f.title);
    const char* szUnit =
        disp.m_iColorKind == RDR_EN_COLOR_UNIT ? colours->m_szUnitTitle : colours->m_szRainTitle;
    std::string unit(szUnit, strnlen(szUnit, sizeof colours->m_szUnitTitle));
    unit.resize(std::min<size_t>(unit.size(), rdr_image_panels::kLabelMax));
    drawTtf(back.get(), iBlack, kUnitPt, gdImageSX(back.get()) - kRightWidth, kTopHeight - 9, unit);

    if (option.m_iImgWidth > 0 && option.m_iImgHeight > 0) {
        Image sized(gdImageCreateTrueColor(option.m_iImgWidth, option.m_iImgHeight));
        if (!sized) {
            return fail(f.szFunction, "cannot allocate the resampled image");
        }
        gdImageCopyResampled(sized.get(), back.get(), 0, 0, 0, 0, option.m_iImgWidth,
                             option.m_iImgHeight, gdImageSX(back.get()), gdImageSY(back.get()));
        back = std::move(sized);
    }
    std::string why;
    if (!rdr_image_panels::saveImage(back.get(), option.m_iImgType, szOutFile, &why)) {
        return fail(f.szFunction, why.empty()
                                      ? std::string("unknown image type")
                                      : "cannot write " + std::string(szOutFile) + ": " + why);
    }
    if (pAxes != nullptr) {
        *pAxes = {kLeftWidth, kTopHeight, W, H, f.x.low, f.x.high, f.y.low, f.y.high};
    }
    return 1;
}

// The moment a display field is drawn from: the field itself, or reflectivity (corrected
// first) for rain rate when the volume holds no rain-rate moment.
std::string sourceMoment(STD_RADAR* pStd, const char* szFieldName, bool* pDbzToRain) {
    *pDbzToRain = false;
    if (fnStdRadarHasMoment(pStd, szFieldName)) {
        return szFieldName;
    }
    if (std::strcmp(szFieldName, "RN") == 0) {
        for (const char* dbz : {"CZ", "DZ"}) {
            if (fnStdRadarHasMoment(pStd, dbz)) {
                *pDbzToRain = true;
                return dbz;
            }
        }
    }
    return std::string();
}

// Panel size and top from the options, checked.
bool panelFromOption(const SECTION_IMAGE_OPTION& option, float fHighestKm, SectionFrame* pFrame,
                     std::string* pWhy) {
    pFrame->iWidth = option.m_iPanelWidth > 0 ? option.m_iPanelWidth : kDefaultWidth;
    pFrame->iHeight = option.m_iPanelHeight > 0 ? option.m_iPanelHeight : kDefaultHeight;
    if (pFrame->iWidth < 16 || pFrame->iHeight < 16 || pFrame->iWidth > kMaxPanel ||
        pFrame->iHeight > kMaxPanel) {
        *pWhy = "panel size out of range (16 to 8000 pixels)";
        return false;
    }
    const float top =
        option.m_fMaxHeightKm > 0.0f ? option.m_fMaxHeightKm : std::min(fHighestKm, kDefaultTopKm);
    if (!(top > 0.0f) || !std::isfinite(top)) {
        *pWhy = "no height to draw";
        return false;
    }
    pFrame->y = {0.0, top};
    return true;
}

std::string siteLabel(const STD_RADAR* pStd, const char* szSiteCode) {
    if (szSiteCode != nullptr && szSiteCode[0] != '\0') {
        return szSiteCode;
    }
    return std::string(pStd->m_hdr.m_szRadarName,
                       strnlen(pStd->m_hdr.m_szRadarName, sizeof pStd->m_hdr.m_szRadarName));
}

}  // namespace

float fnBeamHeightKm(float fSlantRangeKm, float fElevationDeg) {
    const double R = kEffectiveEarthKm, r = fSlantRangeKm;
    const double s = std::sin(fElevationDeg * kDegToRad);
    return static_cast<float>(std::sqrt(r * r + R * R + 2.0 * r * R * s) - R);
}

float fnBeamGroundRangeKm(float fSlantRangeKm, float fElevationDeg) {
    const double R = kEffectiveEarthKm, r = fSlantRangeKm;
    const double h = fnBeamHeightKm(fSlantRangeKm, fElevationDeg);
    return static_cast<float>(R * std::asin(r * std::cos(fElevationDeg * kDegToRad) / (R + h)));
}

int fnMakeRhiImage(STD_RADAR* pStd, int iSweep, const char* szFieldName, const char* szSiteCode,
                   SECTION_IMAGE_OPTION option, const char* szOutFile, SECTION_IMAGE_AXES* pAxes) {
    const char* szFunction = "fnMakeRhiImage";
    if (pStd == nullptr || szFieldName == nullptr || szOutFile == nullptr) {
        return 0;
    }
    if (iSweep < 0 || iSweep >= pStd->m_iMaxSweep || pStd->m_ppSweep == nullptr ||
        pStd->m_ppSweep[iSweep] == nullptr) {
        return fail(szFunction, "no sweep " + std::to_string(iSweep) + " (the volume has " +
                                    std::to_string(pStd->m_iMaxSweep) + ")");
    }
    bool bDbzToRain = false;
    const std::string moment = sourceMoment(pStd, szFieldName, &bDbzToRain);
    std::vector<SectionRay> rays = raysWithMoment(pStd, iSweep, moment.c_str());
    if (moment.empty() || rays.empty()) {
        return fail(szFunction,
                    "sweep " + std::to_string(iSweep) + " has no rays of " + szFieldName);
    }
    float fHighest = 0.0f, fFar = 0.0f, fBehind = 0.0f;
    for (SectionRay& r : rays) {
        r.axis = r.elevation;
        fHighest = std::max(fHighest, fnBeamHeightKm(r.reachKm, r.elevation));
        const float ground = fnBeamGroundRangeKm(r.reachKm, r.elevation);
        fFar = std::max(fFar, ground);
        fBehind = std::min(fBehind, ground);
    }
    std::stable_sort(rays.begin(), rays.end(),
                     [](const SectionRay& a, const SectionRay& b) { return a.axis < b.axis; });
    // A sweep of one ray, or of rays at one angle, is drawn one beam width wide.
    const float beam = pStd->m_hdr.m_fBeamWidthV > 0.0f ? pStd->m_hdr.m_fBeamWidthV : 1.0f;
    const double halfWidth = halfSpacing(rays, beam);

    SectionFrame f{szFunction, "", {}, {}, false, 0, 0};
    std::string why;
    if (!panelFromOption(option, fHighest, &f, &why)) {
        return fail(szFunction, why);
    }
    const double far = option.m_fMaxRangeKm > 0.0f ? option.m_fMaxRangeKm : fFar;
    const double behind = std::max<double>(fBehind, -far);
    f.x = {behind < -1e-3 ? behind : 0.0, far};
    if (!(f.x.high > f.x.low)) {
        return fail(szFunction, "the sweep reaches no distance from the radar");
    }
    const float azimuth = rays.front().ray->m_hdr.m_fFixedAngle;
    char sz[256];
    std::snprintf(sz, sizeof sz, "%s Radar RHI(%s) Azimuth:%.1f %s",
                  siteLabel(pStd, szSiteCode).c_str(), szFieldName, azimuth,
                  formatStoredTime(pStd->m_hdr.m_tConvertTime, "%Y.%m.%d. %H:%M:%S(KST)").c_str());
    f.title = sz;

    const int iNoData = pStd->m_hdr.m_iNoDataValue;
    const double R = kEffectiveEarthKm;
    auto cellAt = [&](double dGroundKm, double dHeightKm) {
        // The point at ground distance s and height h, seen from the antenna.
        const double theta = dGroundKm / R;
        const double px = (R + dHeightKm) * std::sin(theta);
        const double py = (R + dHeightKm) * std::cos(theta) - R;
        const double el = std::atan2(py, px) / kDegToRad;
        const SectionRay* r = nearestRay(rays, el, halfWidth);
        if (r == nullptr) {
            return RDR_GRID_OUT_BOUND;
        }
        return cellValue(*r, static_cast<float>(std::hypot(px, py)), iNoData);
    };
    return drawSection(f, szFieldName, bDbzToRain, option, szOutFile, cellAt, pAxes);
}

int fnMakeTimeHeightImage(STD_RADAR* pStd, const char* szFieldName, const char* szSiteCode,
                          SECTION_IMAGE_OPTION option, const char* szOutFile,
                          SECTION_IMAGE_AXES* pAxes) {
    const char* szFunction = "fnMakeTimeHeightImage";
    if (pStd == nullptr || szFieldName == nullptr || szOutFile == nullptr) {
        return 0;
    }
    bool bDbzToRain = false;
    const std::string moment = sourceMoment(pStd, szFieldName, &bDbzToRain);
    std::vector<SectionRay> rays = raysWithMoment(pStd, -1, moment.c_str());
    if (moment.empty() || rays.empty()) {
        return fail(szFunction, std::string("no rays of ") + szFieldName);
    }
    std::stable_sort(rays.begin(), rays.end(), [](const SectionRay& a, const SectionRay& b) {
        return a.ray->m_hdr.m_tTime < b.ray->m_hdr.m_tTime;
    });
    // Ray times are whole seconds: the rays of one second are spread evenly over it. A second
    // with fewer rays than usual is only partly scanned (the file starts or ends in it, or
    // scanning paused): its rays keep the usual interval, against the neighbouring second.
    struct Second {
        size_t first;
        size_t end;
        time_t t;
    };
    std::vector<Second> seconds;
    for (size_t i = 0; i < rays.size();) {
        size_t j = i;
        while (j < rays.size() && rays[j].ray->m_hdr.m_tTime == rays[i].ray->m_hdr.m_tTime) {
            ++j;
        }
        seconds.push_back({i, j, rays[i].ray->m_hdr.m_tTime});
        i = j;
    }
    auto contiguous = [&](size_t g, int step) {
        const long k = static_cast<long>(g) + step;
        return k >= 0 && k < static_cast<long>(seconds.size()) &&
               seconds[static_cast<size_t>(k)].t == seconds[g].t + step;
    };
    std::vector<size_t> fullCounts;
    size_t mostRays = 0;
    for (size_t g = 0; g < seconds.size(); ++g) {
        mostRays = std::max(mostRays, seconds[g].end - seconds[g].first);
        if (contiguous(g, -1) && contiguous(g, 1)) {
            fullCounts.push_back(seconds[g].end - seconds[g].first);
        }
    }
    std::sort(fullCounts.begin(), fullCounts.end());
    const double perSecond =
        static_cast<double>(fullCounts.empty() ? mostRays : fullCounts[fullCounts.size() / 2]);
    for (size_t g = 0; g < seconds.size(); ++g) {
        const double n = static_cast<double>(seconds[g].end - seconds[g].first);
        double step = 1.0 / n, start = 0.0;
        if (n < perSecond && (contiguous(g, -1) || contiguous(g, 1))) {
            step = 1.0 / perSecond;
            start = contiguous(g, -1) ? 0.0 : 1.0 - n * step;
        }
        for (size_t k = seconds[g].first; k < seconds[g].end; ++k) {
            rays[k].axis = static_cast<double>(seconds[g].t) + start +
                           (static_cast<double>(k - seconds[g].first) + 0.5) * step;
        }
    }
    float fHighest = 0.0f;
    for (const SectionRay& r : rays) {
        fHighest = std::max(fHighest, fnBeamHeightKm(r.reachKm, r.elevation));
    }
    const double halfWidth = halfSpacing(rays, 1.0);

    SectionFrame f{szFunction, "", {}, {}, true, 0, 0};
    std::string why;
    if (!panelFromOption(option, fHighest, &f, &why)) {
        return fail(szFunction, why);
    }
    f.x = {rays.front().axis - halfWidth, rays.back().axis + halfWidth};
    const time_t t0 = rays.front().ray->m_hdr.m_tTime, t1 = rays.back().ray->m_hdr.m_tTime;
    char sz[256];
    std::snprintf(sz, sizeof sz, "%s Radar Time-Height(%s) %s - %s(KST)",
                  siteLabel(pStd, szSiteCode).c_str(), szFieldName,
                  formatStoredTime(t0, "%Y.%m.%d. %H:%M:%S").c_str(),
                  formatStoredTime(t1, "%H:%M:%S").c_str());
    f.title = sz;

    const int iNoData = pStd->m_hdr.m_iNoDataValue;
    // A gap of more than about two ray intervals stays empty.
    const double reach = 1.5 * halfWidth;
    auto cellAt = [&](double dTime, double dHeightKm) {
        const SectionRay* r = nearestRay(rays, dTime, reach);
        if (r == nullptr) {
            return RDR_GRID_OUT_BOUND;
        }
        return cellValue(*r, static_cast<float>(slantRangeAtHeight(dHeightKm, r->elevation)),
                         iNoData);
    };
    return drawSection(f, szFieldName, bDbzToRain, option, szOutFile, cellAt, pAxes);
}
