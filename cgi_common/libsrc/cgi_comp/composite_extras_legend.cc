// Colour legends of composite images: a separate legend image, and a strip at the right of
// a map image.
#include <gdfonts.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "composite_extras.h"
#include "display_utilities.h"
#include "internal/composite_canvas.h"
#include "internal/composite_text.h"
#include "owned_handle.h"
#include "rdr_root.h"

namespace {

using comp_text::sameName;

constexpr double kLegendTitlePt = 10.0;
// The bands of a legend image start below its title.
constexpr int kLegendTop = 30;
constexpr int kBandWidth = 10;
constexpr int kLabelX = 15;

// Reflectivity thresholds have no useful decimals; other values show one below 10.
std::string thresholdText(float v, bool reflectivity) {
    char buf[32];
    std::snprintf(buf, sizeof buf, reflectivity || !(std::fabs(v) < 10.0f) ? "%.0f" : "%.1f", v);
    return buf;
}

// Band rows, labels and outline shared by both legends: n bands of h rows from row top,
// the highest level first, over columns x0 .. x0 + 10.
void drawBands(gdImagePtr img, const CGI_COLOR_TBL* tbl, const int* rgnColor, double h, int top,
               int x0, int outlineBottomLess, bool rainColumn, bool reflectivity, int lineColour,
               int labelColour) {
    const int n = tbl->m_iEchoColorCnt;
    for (int e = 0; e < n; ++e) {
        gdImageFilledRectangle(img, x0, static_cast<int>(e * h + top), x0 + kBandWidth,
                               static_cast<int>((e + 1) * h + top), rgnColor[n - 1 - e]);
    }
    gdImageRectangle(img, x0, top, x0 + kBandWidth,
                     static_cast<int>(n * h + top) - outlineBottomLess, lineColour);
    gdFontPtr font = gdFontGetSmall();
    for (int i = 0; i + 1 < n; ++i) {
        const CGI_COLOR_INFO& entry = tbl->m_echoColorTbl[n - 2 - i];
        const std::string label =
            thresholdText(rainColumn ? entry.m_fRain : entry.m_fUnit, reflectivity);
        std::string s = label;
        gdImageString(img, font, x0 + kLabelX, static_cast<int>(i * h + h - font->h / 2 + top),
                      reinterpret_cast<unsigned char*>(s.data()), labelColour);
    }
}

bool isReflectivityUnit(const char* szUnit) {
    return sameName(szUnit, "CZ") || sameName(szUnit, "DZ");
}

bool isColumnProduct(const char* szP_type) {
    return sameName(szP_type, "ETOP") || sameName(szP_type, "VIL");
}

CGI_COLOR_TBL* readTable(const char* szName) {
    return fnReadColorTable(
        rdrRootPath(std::string("/srv/brem/cgi_project/resource/color/") + szName).c_str());
}

}  // namespace

CGI_COLOR_TBL* compReadColorTable(const char* szP_type, const char* szUnit) {
    if (sameName(szP_type, "ETOP")) {
        return readTable("vyq_etop_tarvo.col");
    }
    if (sameName(szP_type, "VIL")) {
        return readTable("vyq_vil_tarvo.col");
    }
    return readTable(sameName(szUnit, "SN") ? "vyq_sn_tarvo.col" : "vyq_rn_tarvo.col");
}

CGI_COLOR_TBL* compReadMapColorTable(const char* szP_type) {
    return compReadColorTable(isColumnProduct(szP_type) ? szP_type : "", "RN");
}

int fnLevelColorDisp(int nImgYdim, const char* szP_type, const char* szUnit, gdImagePtr pImg,
                     int* rgnColor, CGI_COLOR_TBL* pColor_ini) {
    if (pImg == nullptr || rgnColor == nullptr || pColor_ini == nullptr) {
        return -1;
    }
    const int white = gdImageColorResolve(pImg, 255, 255, 255);
    const int black = gdImageColorResolve(pImg, 0, 0, 0);
    const bool rainTitle =
        sameName(szP_type, "VIL") ||
        (!sameName(szP_type, "ETOP") && (sameName(szUnit, "RN") || sameName(szUnit, "SN")));
    // The title is decoration: a legend without its font still shows the scale.
    comp_text::draw(pImg, comp_text::fontPath("gulim.ttc"), kLegendTitlePt, white, 0, 20,
                    rainTitle ? pColor_ini->m_szRainTitle : pColor_ini->m_szUnitTitle);
    const int n = pColor_ini->m_iEchoColorCnt;
    if (n <= 0) {
        return 0;
    }
    const double h = (nImgYdim - 26) / (n + 0.5) + 0.2;
    const bool rainColumn =
        sameName(szUnit, "RN") || (sameName(szUnit, "SN") && !isColumnProduct(szP_type));
    const bool reflectivity =
        !rainColumn && !isColumnProduct(szP_type) && isReflectivityUnit(szUnit);
    drawBands(pImg, pColor_ini, rgnColor, h, kLegendTop, 0, sameName(szUnit, "SN") ? 0 : 2,
              rainColumn, reflectivity, black, white);
    return 0;
}

gdImagePtr compLevelColorImage(const char* szP_type, int nImgYdim, const char* szUnit) {
    if (nImgYdim < 1 || nImgYdim > COMP_MAX_IMAGE_DIM) {
        return nullptr;
    }
    rdr::MallocPtr<CGI_COLOR_TBL> table(compReadColorTable(szP_type, szUnit));
    if (table == nullptr) {
        return nullptr;
    }
    rdr::GdImageHandle img = comp_canvas::newTransparentImage(COMP_LEGEND_WIDTH, nImgYdim);
    if (img == nullptr) {
        return nullptr;
    }
    int echo[CGI_MAX_ECHO_COLOR];
    int disp[CGI_EN_DISP_COLOR_MAX];
    fnAllocColorTbl(img.get(), table.get(), echo, disp);
    fnLevelColorDisp(nImgYdim, szP_type, szUnit, img.get(), echo, table.get());
    return img.release();
}

int fnCreateLevelColorImg(const char* szP_type, int nImgYdim, const char* szUnit) {
    rdr::GdImageHandle img(compLevelColorImage(szP_type, nImgYdim, szUnit));
    if (img == nullptr) {
        return -1;
    }
    return cgiWritePngAnswer(img.get(), stdout);
}

int fnMapLevelColorDisp(int nImgXdim, int nImgYdim, const char* szP_type, const char* szUnit,
                        gdImagePtr pImg, int* rgnColor, CGI_COLOR_TBL* pColor_ini) {
    if (pImg == nullptr || rgnColor == nullptr || pColor_ini == nullptr) {
        return -1;
    }
    const int white = gdImageColorResolve(pImg, 255, 255, 255);
    const int grey = gdImageColorResolve(pImg, 51, 51, 51);
    gdImageFilledRectangle(pImg, nImgXdim, 0, nImgXdim + COMP_LEGEND_WIDTH, gdImageSY(pImg) - 1,
                           white);
    const int n = pColor_ini->m_iEchoColorCnt;
    if (n <= 0) {
        return 0;
    }
    const double h = (nImgYdim + 4) / (n + 0.5) + 0.2;
    const bool rainColumn = sameName(szUnit, "RN");
    const bool reflectivity =
        !rainColumn && !isColumnProduct(szP_type) && isReflectivityUnit(szUnit);
    drawBands(pImg, pColor_ini, rgnColor, h, 0, nImgXdim, 0, rainColumn, reflectivity, grey, grey);
    return 0;
}
