#include "site_drawing.h"

#include <gdfonts.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "internal/site_draw_text.h"
#include "rdr_root.h"

namespace {

// Colours of one field: the colour file under /rdr/REF/COLOR, the legend's number format,
// the threshold column (0 rain, 1 unit) and the lowest value drawn.
struct FieldColour {
    const char* field;
    const char* file;
    const char* format;
    int kind;
    float minValue;
};

// Products that show a field's own values, each field in its own colours.
constexpr const char* kEchoProducts[] = {"PPI", "CAPPI", "BASE", "CMAX"};
constexpr FieldColour kEchoFields[] = {
    {"DZ", "vyq_rn_tarvo.col", "%.0f", 1, 0.0f},   {"RN", "vyq_rn_tarvo.col", "%.1f", 0, 0.0f},
    {"CZ", "vyq_rn_tarvo.col", "%.0f", 1, 0.0f},   {"SW", "vyq_sw_tarvo.col", "%.1f", 1, 0.0f},
    {"RH", "vyq_rh_tarvo.col", "%.2f", 1, 0.0f},   {"PH", "vyq_ph_tarvo.col", "%.1f", 1, 0.0f},
    {"VR", "vyq_vr_tarvo.col", "%.0f", 1, -50.0f}, {"DR", "vyq_dr_tarvo.col", "%.2f", 1, -3.0f},
    {"KD", "vyq_kd_tarvo.col", "%.2f", 1, -20.0f}, {"SN", "vyq_sn_tarvo.col", "%.2f", 0, 0.0f},
};
constexpr FieldColour kHsrFields[] = {
    {"DZ", "vyq_rn_tarvo.col", "%.0f", 1, 0.0f},
    {"RN", "vyq_rn_tarvo.col", "%.1f", 0, 0.0f},
    {"CZ", "vyq_rn_tarvo.col", "%.0f", 1, 0.0f},
};
// VIL and ETOP colour every field alike.
constexpr const char* kAllFields[] = {"DZ", "RN", "CZ", "SW", "RH", "PH", "VR", "DR", "KD", "SN"};
constexpr FieldColour kVilColour = {nullptr, "vyq_vil_tarvo.col", "%.1f", 0, 0.0f};
constexpr FieldColour kEtopColour = {nullptr, "vyq_etop_tarvo.col", "%.1f", 1, 0.0f};

constexpr const char* kProductTypes[] = {"PPI", "CAPPI", "BASE", "CMAX", "VIL", "ETOP", "HSR"};

// The list's own copy of name, or null.
template <size_t N>
const char* tableName(const char* const (&names)[N], const char* name) {
    for (const char* n : names) {
        if (std::strcmp(n, name) == 0) {
            return n;
        }
    }
    return nullptr;
}

template <size_t N>
bool listed(const char* const (&names)[N], const char* name) {
    return tableName(names, name) != nullptr;
}

template <size_t N>
const FieldColour* findField(const FieldColour (&rows)[N], const char* field) {
    for (const FieldColour& row : rows) {
        if (std::strcmp(row.field, field) == 0) {
            return &row;
        }
    }
    return nullptr;
}

// The colours of a product's field, or null; *pFormat may override the row's format.
const FieldColour* fieldColour(const char* product, const char* field, const char** pFormat) {
    const FieldColour* row = nullptr;
    if (listed(kEchoProducts, product)) {
        row = findField(kEchoFields, field);
        // Snow amounts of the column products are coarser than those of a single level.
        if (row != nullptr && std::strcmp(field, "SN") == 0 &&
            (std::strcmp(product, "BASE") == 0 || std::strcmp(product, "CMAX") == 0)) {
            *pFormat = "%.1f";
        }
    } else if (std::strcmp(product, "HSR") == 0) {
        row = findField(kHsrFields, field);
    } else if (listed(kAllFields, field)) {
        row = std::strcmp(product, "VIL") == 0    ? &kVilColour
              : std::strcmp(product, "ETOP") == 0 ? &kEtopColour
                                                  : nullptr;
    }
    if (row != nullptr && *pFormat == nullptr) {
        *pFormat = row->format;
    }
    return row;
}

// Side of the standard site image, which the documented direction lines are fixed to.
constexpr int kFixedSiteImage = 513;
constexpr int kLegendBoxWidth = 10;
constexpr long kMaxRings = 1000000;
constexpr int kLegendLabelX = 15;

const char* orEmpty(const char* s) {
    return s != nullptr ? s : "";
}

bool same(const char* a, const char* b) {
    return a != nullptr && b != nullptr && std::strcmp(a, b) == 0;
}

// A legend number format must be one fixed-point conversion ("%.2f"); anything else a
// caller put in the row is replaced, so that row text never acts as a format.
const char* safeNumberFormat(const char* f) {
    if (f != nullptr && std::strlen(f) == 4 && f[0] == '%' && f[1] == '.' && f[2] >= '0' &&
        f[2] <= '9' && f[3] == 'f') {
        return f;
    }
    return "%.1f";
}

void legendLabel(const CGI_COLOR_TBL& table, const st_ColorInfo& info, const char* szDataType,
                 int i, char* out, size_t len) {
    if (info.m_nColorKind != 0) {
        std::snprintf(out, len, safeNumberFormat(info.m_szDispFormat),
                      table.m_echoColorTbl[i].m_fUnit);
        return;
    }
    const float rain = table.m_echoColorTbl[i].m_fRain;
    if (same(szDataType, "SN")) {
        std::snprintf(out, len, rain < 1.0f ? "%.2f" : "%.0f", rain);
    } else {
        std::snprintf(out, len, rain < 10.0f ? "%.1f" : "%.0f", rain);
    }
}

}  // namespace

int fnGetColorInfo(const char* szProductType, const char* szDataType, st_ColorInfo* pBuf) {
    if (szProductType == nullptr || szDataType == nullptr || pBuf == nullptr) {
        return -1;
    }
    const char* format = nullptr;
    const FieldColour* row = fieldColour(szProductType, szDataType, &format);
    if (row == nullptr) {
        return -1;
    }
    st_ColorInfo info{};
    const std::string path = std::string("/rdr/REF/COLOR/") + row->file;
    if (rdrRootPath(path.c_str(), info.m_szColorFile, sizeof info.m_szColorFile) == nullptr) {
        return -1;
    }
    // The texts point at the table's own strings, which live as long as the program.
    info.m_szProductType = tableName(kProductTypes, szProductType);
    info.m_szDataType = tableName(kAllFields, szDataType);
    info.m_szDispFormat = format;
    info.m_nColorKind = row->kind;
    info.m_fMinValue = row->minValue;
    *pBuf = info;
    return 0;
}

const char* siteFieldUnit(const char* szDataType) {
    const char* f = orEmpty(szDataType);
    if (same(f, "VR") || same(f, "SW")) {
        return "m/s";
    }
    if (same(f, "RN") || same(f, "SN")) {
        return "mm/hr";
    }
    if (same(f, "DR")) {
        return "dB";
    }
    if (same(f, "RH")) {
        return " ";
    }
    if (same(f, "PH")) {
        return "deg";
    }
    if (same(f, "KD")) {
        return "deg/km";
    }
    return "dBZ";
}

int fnWriteSiteColorIndx(gdImagePtr pImg, int nImgXdim, int nImgYdim, CGI_COLOR_TBL* pColor_ini,
                         int* rgnColor, st_ColorInfo stColorInfo, const char* szDataType) {
    if (pImg == nullptr || pColor_ini == nullptr || rgnColor == nullptr || szDataType == nullptr) {
        return -1;
    }
    const int n = std::min(pColor_ini->m_iEchoColorCnt, CGI_MAX_ECHO_COLOR);
    if (n <= 0 || nImgYdim <= 0) {
        return -1;  // no colours, no boxes (and no division by zero)
    }
    const int black = gdImageColorAllocate(pImg, 0, 0, 0);
    const int white = gdImageColorAllocate(pImg, 255, 255, 255);
    gdImageFilledRectangle(pImg, nImgXdim, 0, nImgXdim + SITE_LEGEND_WIDTH, nImgYdim, white);
    const int cell = nImgYdim / n;
    for (int g = 0; g < n; ++g) {
        const int level = n - 1 - g;
        const int bottom = level == 0 ? nImgYdim : (g + 1) * cell - 1;
        gdImageFilledRectangle(pImg, nImgXdim, g * cell, nImgXdim + kLegendBoxWidth, bottom,
                               rgnColor[level]);
    }
    gdFontPtr font = gdFontGetSmall();
    char label[64];
    for (int i = n - 2, g = 0; i >= 0; --i, ++g) {
        legendLabel(*pColor_ini, stColorInfo, szDataType, i, label, sizeof label);
        gdImageString(pImg, font, nImgXdim + kLegendLabelX, (g + 1) * cell - font->h / 2,
                      reinterpret_cast<unsigned char*>(label), black);
    }
    gdImageRectangle(pImg, nImgXdim, 0, nImgXdim + kLegendBoxWidth, nImgYdim, black);
    return 0;
}

int fnWriteBottomText(gdImagePtr pImg, const char* szQC_Type, const char* szProductType,
                      const char* szDataType, float fProductArg, float fMaxRange, int nGateSize,
                      int nBinCount, float fNyqVel, int nImgXdim, int nImgYdim) {
    if (pImg == nullptr) {
        return -1;
    }
    const int black = gdImageColorAllocate(pImg, 0, 0, 0);
    const int white = gdImageColorAllocate(pImg, 255, 255, 255);
    gdImageFilledRectangle(pImg, 0, nImgYdim, nImgXdim + SITE_LEGEND_WIDTH,
                           nImgYdim + SITE_BOTTOM_HEIGHT, white);
    gdImageRectangle(pImg, 0, nImgYdim - 1, nImgXdim + kLegendBoxWidth, nImgYdim + 49, black);

    char product[64] = "";
    if (same(szProductType, "PPI")) {
        std::snprintf(product, sizeof product, "Elevation:%.2f", fProductArg);
    } else if (!same(szProductType, "HSR") && !same(szProductType, "ATOM7")) {
        std::snprintf(product, sizeof product, "Height:%.1f km", fProductArg);
    }
    char range[128];
    std::snprintf(range, sizeof range, "MaxRange:%.0fkm  GateSize:%dm  Gates:%d", fMaxRange,
                  nGateSize, nBinCount);
    const char* qc = same(szQC_Type, "NOQC") ? "NoQC" : same(szQC_Type, "FQC") ? "Fuzzy QC" : "";
    char text[320];
    if (same(szDataType, "VR")) {
        std::snprintf(text, sizeof text, "%s %s Nyq.Vel:%.2fm/s, %s", product, range, fNyqVel, qc);
    } else {
        std::snprintf(text, sizeof text, "%s %s %s", product, range, qc);
    }
    gdImageString(pImg, gdFontGetSmall(), 10, nImgYdim + 2, reinterpret_cast<unsigned char*>(text),
                  black);
    return 0;
}

int fnWriteEchoInfo(gdImagePtr pImg, const char* szProductType, const char* szDataType,
                    const char* szSiteName, struct tm FileTime, int nBlack, int nImgXdim,
                    int nFlag) {
    if (pImg == nullptr) {
        return -1;
    }
    // The caller's texts are arguments, never part of a format.
    const std::string time = site_text::titleTime(FileTime);
    std::string text = std::string(orEmpty(szSiteName)) + " Radar ";
    if (nFlag != 0) {
        text += "Hydrometeors " + time;
    } else {
        text += std::string(orEmpty(szProductType)) + "(" + orEmpty(szDataType) + ") " + time;
    }
    const std::string font = site_text::refFont("arialbd.ttf");
    const int width = site_text::textWidth(font, 15.0, text);
    site_text::drawText(pImg, font, 15.0, nBlack, (nImgXdim - width) / 2, 20, text);
    return 0;
}

gdImagePtr fnSiteImgComment(struct tm stFileTime, const char* szSiteName, const char* szProductType,
                            const char* szDataType, int nImgXdim) {
    if (nImgXdim <= 0 || nImgXdim > SITE_MAX_IMAGE_DIM + SITE_LEGEND_WIDTH) {
        return nullptr;
    }
    gdImagePtr img = gdImageCreateTrueColor(nImgXdim, 25);
    if (img == nullptr) {
        return nullptr;
    }
    const int white = gdImageColorAllocate(img, 255, 255, 255);
    const int black = gdImageColorAllocate(img, 0, 0, 0);
    gdImageFilledRectangle(img, 0, 0, nImgXdim - 1, 24, white);
    const std::string text = std::string(orEmpty(szSiteName)) + " Radar " + orEmpty(szProductType) +
                             "(" + orEmpty(szDataType) + ") " + site_text::titleTime(stFileTime);
    const std::string font = site_text::refFont("NanumGothic.ttf");
    site_text::drawText(img, font, 11.0, black, 10, 20, text);
    site_text::drawText(img, font, 8.0, black, nImgXdim - 55, 20, siteFieldUnit(szDataType));
    return img;
}

int fnDrawRangeRing(gdImagePtr pImg, int nLineColor, float fImgGridKm, int nDimCenter) {
    if (pImg == nullptr) {
        return -1;
    }
    if (!(fImgGridKm > 0.0f) || !std::isfinite(fImgGridKm)) {
        return 0;
    }
    // Diameter step of 100 km of radius; at more than 100 km per pixel it is 0 and there is
    // no ring to draw.
    const double steps = std::trunc(100.0 / fImgGridKm);
    if (steps < 1.0 || steps > 1.0e6) {
        return 0;
    }
    const long step = static_cast<long>(steps) * 2;
    // A centre far outside any image must not mean billions of rings.
    long rings = 0;
    for (long d = step; d < 2L * nDimCenter && rings < kMaxRings; d += step, ++rings) {
        gdImageArc(pImg, nDimCenter, nDimCenter, static_cast<int>(d), static_cast<int>(d), 0, 360,
                   nLineColor);
    }
    return 0;
}

int fnDrawRangeRing_50(gdImagePtr pImg, int nLineColor, float fImgGridKm, int nDimCenter) {
    return fnDrawRangeRing(pImg, nLineColor, fImgGridKm, nDimCenter);
}

int siteDrawDirectionLines(gdImagePtr pImg, int nSize, int nLineColor) {
    if (pImg == nullptr || nSize <= 0) {
        return -1;
    }
    const int last = nSize - 1;
    const int mid = nSize / 2;
    gdImageLine(pImg, 0, 0, last, last, nLineColor);
    gdImageLine(pImg, last, 0, 0, last, nLineColor);
    gdImageLine(pImg, mid, 0, mid, last, nLineColor);
    gdImageLine(pImg, 0, mid, last, mid, nLineColor);
    return 0;
}

int fnDrawRangeDirection(gdImagePtr pImg, int nLineColor) {
    return siteDrawDirectionLines(pImg, kFixedSiteImage, nLineColor);
}
