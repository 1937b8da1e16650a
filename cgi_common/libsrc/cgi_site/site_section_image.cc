// The image of a vertical cross-section.
#include <gdfonts.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "internal/site_image_colours.h"
#include "site_drawing.h"

namespace {

using site_image::ImagePtr;
using site_image::ProductColours;

constexpr int kTitleHeight = 25;

bool positive(float v) {
    return v > 0.0f && std::isfinite(v);
}

// Height lines every 1, 2 or 5 km, whichever keeps them at least 20 pixels apart.
double heightLineStepKm(double topKm, int pixels) {
    for (double step : {1.0, 2.0, 5.0, 10.0}) {
        if (pixels * step / topKm >= 20.0) {
            return step;
        }
    }
    return 20.0;
}

// Length of the line in km: the samples span it from one step after the start to the end.
double lineLengthKm(const CROSS_SECTION& c, float gridKm) {
    const POINT& a = c.m_stPoint[0];
    const POINT& b = c.m_stPoint[CROSS_SECTION_SAMPLES - 1];
    const double cells = std::hypot(b.m_fX_Point - a.m_fX_Point, b.m_fY_Point - a.m_fY_Point);
    return cells * CROSS_SECTION_SAMPLES / (CROSS_SECTION_SAMPLES - 1) * gridKm;
}

}  // namespace

gdImagePtr siteDrawCrossSection(const CROSS_SECTION* pCross, int nLevels, float fLevelKm,
                                float fSiteGridKm, const char* szProductType,
                                const char* szDataType, const char* szSiteName,
                                struct tm stFileTime, int nImgXdim, int nImgYdim, float fZr_A,
                                float fZr_B) {
    if (pCross == nullptr || nLevels < 1 || nLevels > CROSS_SECTION_LEVELS || !positive(fLevelKm) ||
        !positive(fSiteGridKm) || nImgXdim < 1 || nImgYdim < 1 || nImgXdim > SITE_MAX_IMAGE_DIM ||
        nImgYdim > SITE_MAX_IMAGE_DIM || szProductType == nullptr || szDataType == nullptr) {
        return nullptr;
    }
    ProductColours colours;
    if (!colours.load(szProductType, szDataType, fZr_A, fZr_B)) {
        return nullptr;
    }
    const int width = nImgXdim + SITE_LEGEND_WIDTH;
    ImagePtr img(gdImageCreateTrueColor(width, kTitleHeight + nImgYdim + SITE_BOTTOM_HEIGHT));
    if (img == nullptr) {
        return nullptr;
    }
    // The section is drawn in the site image's layout (legend right, strip below) and then
    // placed under the title.
    ImagePtr body(gdImageCreateTrueColor(width, nImgYdim + SITE_BOTTOM_HEIGHT));
    if (body == nullptr || !colours.allocate(body.get())) {
        return nullptr;
    }
    const int white = gdImageColorAllocate(body.get(), 255, 255, 255);
    const int black = gdImageColorAllocate(body.get(), 0, 0, 0);
    gdImageFilledRectangle(body.get(), 0, 0, width - 1, gdImageSY(body.get()) - 1, white);
    for (int px = 0; px < nImgXdim; ++px) {
        const int sample =
            static_cast<int>(static_cast<long>(px) * CROSS_SECTION_SAMPLES / nImgXdim);
        const float* column = pCross->m_rgfData[sample];
        for (int py = 0; py < nImgYdim; ++py) {
            const int level =
                static_cast<int>(static_cast<long>(nImgYdim - 1 - py) * nLevels / nImgYdim);
            gdImageSetPixel(body.get(), px, py, colours.colourOf(column[level]));
        }
    }

    const int line = colours.display(CGI_EN_LINE_COLOR);
    gdFontPtr font = gdFontGetSmall();
    const double topKm = nLevels * static_cast<double>(fLevelKm);
    const double stepKm = heightLineStepKm(topKm, nImgYdim);
    char label[64];
    for (double h = stepKm; h < topKm; h += stepKm) {
        const int py = nImgYdim - 1 - static_cast<int>(std::lround(h / topKm * nImgYdim));
        gdImageDashedLine(body.get(), 0, py, nImgXdim - 1, py, line);
        std::snprintf(label, sizeof label, "%.0f km", h);
        gdImageString(body.get(), font, 3, py - font->h, reinterpret_cast<unsigned char*>(label),
                      black);
    }
    // The radar's position along the line.
    const int centre = std::clamp(pCross->m_nCenter_Idx, 0, CROSS_SECTION_SAMPLES - 1);
    const int centreX =
        static_cast<int>(static_cast<long>(centre) * nImgXdim / CROSS_SECTION_SAMPLES);
    gdImageDashedLine(body.get(), centreX, 0, centreX, nImgYdim - 1, line);
    gdImageRectangle(body.get(), 0, 0, nImgXdim - 1, nImgYdim - 1, black);

    fnWriteSiteColorIndx(body.get(), nImgXdim, nImgYdim, colours.table(), colours.echoColours(),
                         colours.info(), szDataType);
    std::snprintf(label, sizeof label, "(%.2f, %.2f) - (%.2f, %.2f)  %.0f km  0-%.1f km",
                  pCross->m_stStart.m_fX_Point, pCross->m_stStart.m_fY_Point,
                  pCross->m_stEnd.m_fX_Point, pCross->m_stEnd.m_fY_Point,
                  lineLengthKm(*pCross, fSiteGridKm), topKm);
    gdImageString(body.get(), font, 10, nImgYdim + 2, reinterpret_cast<unsigned char*>(label),
                  black);

    gdImageFilledRectangle(img.get(), 0, 0, width - 1, kTitleHeight - 1,
                           gdImageColorAllocate(img.get(), 255, 255, 255));
    ImagePtr title(fnSiteImgComment(stFileTime, szSiteName, "SECTION", szDataType, nImgXdim));
    if (title != nullptr) {
        gdImageCopy(img.get(), title.get(), 0, 0, 0, 0, nImgXdim, kTitleHeight);
    }
    gdImageCopy(img.get(), body.get(), 0, kTitleHeight, 0, 0, width, gdImageSY(body.get()));
    return img.release();
}
