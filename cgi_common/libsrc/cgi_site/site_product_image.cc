// A whole site image from a product grid, and the no-data image with legend.
#include <algorithm>
#include <cmath>
#include <vector>

#include "display_utilities.h"
#include "internal/site_image_colours.h"
#include "site_drawing.h"

namespace {

using site_image::ImagePtr;
using site_image::ProductColours;

constexpr int kMaxGridDim = 8192;
constexpr int kBarbSize = 24;
constexpr int kBarbWing = 10;

bool validImageSize(int nImgXdim, int nImgYdim) {
    return nImgXdim > 0 && nImgYdim > 0 && nImgXdim <= SITE_MAX_IMAGE_DIM &&
           nImgYdim <= SITE_MAX_IMAGE_DIM;
}

bool positive(float v) {
    return v > 0.0f && std::isfinite(v);
}

// Grid index of every pixel along one axis (nearest cell, -1 outside the grid): pixel p
// lies (p - centrePixel) x imgKm from the radar, which sits on cell radarCell.
std::vector<int> axisCells(int pixels, int centrePixel, float imgKm, int cells, int radarCell,
                           float gridKm) {
    std::vector<int> out(static_cast<size_t>(pixels));
    const double ratio = static_cast<double>(imgKm) / gridKm;
    for (int p = 0; p < pixels; ++p) {
        const double c = radarCell + std::round((p - centrePixel) * ratio);
        out[static_cast<size_t>(p)] = c >= 0.0 && c < cells ? static_cast<int>(c) : -1;
    }
    return out;
}

void paintEcho(gdImagePtr img, const SITE_IMAGE_REQUEST& r, const ProductColours& colours) {
    const int nx = r.nGridXdim;
    const int ny = r.nGridYdim;
    const int cx = r.nImgXdim / 2;
    const int cy = r.nImgYdim / 2;
    const std::vector<int> cols =
        axisCells(r.nImgXdim, cx, r.fImgGridKm, nx, (nx - 1) / 2, r.fGridKm);
    const std::vector<int> rows = axisCells(r.nImgYdim, cy, r.fImgGridKm, ny, ny / 2, r.fGridKm);
    const int outside = colours.display(CGI_EN_OUT_BOUND_COLOR);
    const double maxRangePx = positive(r.fMaxRange) ? r.fMaxRange / r.fImgGridKm : HUGE_VAL;
    const double maxRange2 = maxRangePx * maxRangePx;
    for (int py = 0; py < r.nImgYdim; ++py) {
        const int row = rows[static_cast<size_t>(py)];
        const double dy = py - cy;
        for (int px = 0; px < r.nImgXdim; ++px) {
            const int col = cols[static_cast<size_t>(px)];
            const double dx = px - cx;
            const bool covered = row >= 0 && col >= 0 && dx * dx + dy * dy <= maxRange2;
            gdImageSetPixel(
                img, px, py,
                covered ? colours.colourOf(r.pGrid[static_cast<size_t>(row) * nx + col]) : outside);
        }
    }
}

void drawOverlays(gdImagePtr img, const SITE_IMAGE_REQUEST& r, const ProductColours& colours) {
    const int cx = r.nImgXdim / 2;
    const int cy = r.nImgYdim / 2;
    const int line = colours.display(CGI_EN_LINE_COLOR);
    // Overlays stay inside the echo area; the legend and strip are drawn after them.
    gdImageSetClip(img, 0, 0, r.nImgXdim - 1, r.nImgYdim - 1);
    if (r.bMap) {
        fnDrawMap(img, r.fSiteLon, r.fSiteLat, static_cast<float>(cx), static_cast<float>(cy),
                  r.fImgGridKm, line);
        gdImageSetThickness(img, 1);
    }
    if (r.bDirections) {
        siteDrawDirectionLines(img, r.nImgXdim, line);
    }
    if (r.bRings) {
        fnDrawRangeRing(img, line, r.fImgGridKm, cx);
    }
    if (r.bStations) {
        fnSiteAws(img, r.nImgXdim, r.nImgYdim, r.fImgGridKm, r.fSiteLon, r.fSiteLat,
                  static_cast<float>(cx), static_cast<float>(cy), colours.display(CGI_EN_AWS_COLOR),
                  colours.display(CGI_EN_FONT_COLOR));
    }
    if (r.pWinds != nullptr) {
        const int black = gdImageColorAllocate(img, 0, 0, 0);
        for (int i = 0; i < r.nWinds; ++i) {
            fnWindDraw(img, r.pWinds[i], black, kBarbSize, kBarbWing, r.nImgXdim, r.nImgYdim);
        }
    }
    gdImageSetClip(img, 0, 0, gdImageSX(img) - 1, gdImageSY(img) - 1);
}

bool validRequest(const SITE_IMAGE_REQUEST* r) {
    return r != nullptr && r->pGrid != nullptr && r->nGridXdim > 0 && r->nGridYdim > 0 &&
           r->nGridXdim <= kMaxGridDim && r->nGridYdim <= kMaxGridDim && positive(r->fGridKm) &&
           positive(r->fImgGridKm) && r->szProductType != nullptr && r->szDataType != nullptr &&
           r->nImgXdim == r->nImgYdim && validImageSize(r->nImgXdim, r->nImgYdim) && r->nWinds >= 0;
}

}  // namespace

gdImagePtr siteDrawProductImage(const SITE_IMAGE_REQUEST* pReq) {
    if (!validRequest(pReq)) {
        return nullptr;
    }
    const SITE_IMAGE_REQUEST& r = *pReq;
    ProductColours colours;
    if (!colours.load(r.szProductType, r.szDataType, r.fZr_A, r.fZr_B)) {
        return nullptr;
    }
    ImagePtr img(
        gdImageCreateTrueColor(r.nImgXdim + SITE_LEGEND_WIDTH, r.nImgYdim + SITE_BOTTOM_HEIGHT));
    if (img == nullptr || !colours.allocate(img.get())) {
        return nullptr;
    }
    const int white = gdImageColorAllocate(img.get(), 255, 255, 255);
    const int black = gdImageColorAllocate(img.get(), 0, 0, 0);
    gdImageFilledRectangle(img.get(), 0, 0, gdImageSX(img.get()) - 1, gdImageSY(img.get()) - 1,
                           white);
    paintEcho(img.get(), r, colours);
    drawOverlays(img.get(), r, colours);
    fnWriteSiteColorIndx(img.get(), r.nImgXdim, r.nImgYdim, colours.table(), colours.echoColours(),
                         colours.info(), r.szDataType);
    fnWriteBottomText(img.get(), r.szQC_Type, r.szProductType, r.szDataType, r.fProductArg,
                      r.fMaxRange, r.nGateSize, r.nBinCount, r.fNyqVel, r.nImgXdim, r.nImgYdim);
    fnWriteEchoInfo(img.get(), r.szProductType, r.szDataType, r.szSiteName, r.stFileTime, black,
                    r.nImgXdim, 0);
    return img.release();
}

gdImagePtr siteNoDataMapImage(const char* szQC_Type, const char* szProductType,
                              const char* szDataType, float fProductArg, float fMaxRange,
                              int nGateSize, int nBinCount, float fNyqVel, int nImgXdim,
                              int nImgYdim, const char* szReason) {
    if (!validImageSize(nImgXdim, nImgYdim)) {
        return nullptr;
    }
    ProductColours colours;
    if (!colours.load(szProductType, szDataType, 0.0f, 0.0f)) {
        return nullptr;
    }
    ImagePtr img(
        gdImageCreateTrueColor(nImgXdim + SITE_LEGEND_WIDTH, nImgYdim + SITE_BOTTOM_HEIGHT));
    if (img == nullptr || !colours.allocate(img.get())) {
        return nullptr;
    }
    gdImageSaveAlpha(img.get(), 1);
    gdImageAlphaBlending(img.get(), 0);
    gdImageFilledRectangle(img.get(), 0, 0, gdImageSX(img.get()) - 1, gdImageSY(img.get()) - 1,
                           gdTrueColorAlpha(0, 0, 0, gdAlphaTransparent));
    const int white = gdImageColorAllocate(img.get(), 255, 255, 255);
    const int black = gdImageColorAllocate(img.get(), 0, 0, 0);
    gdImageFilledRectangle(img.get(), 0, 0, nImgXdim - 1, nImgYdim - 1, white);
    gdImageRectangle(img.get(), 0, 0, nImgXdim, nImgYdim, black);
    siteDrawNoDataMessage(img.get(), nImgXdim / 2, nImgYdim / 2, szReason);
    fnWriteSiteColorIndx(img.get(), nImgXdim, nImgYdim, colours.table(), colours.echoColours(),
                         colours.info(), szDataType);
    fnWriteBottomText(img.get(), szQC_Type, szProductType, szDataType, fProductArg, fMaxRange,
                      nGateSize, nBinCount, fNyqVel, nImgXdim, nImgYdim);
    return img.release();
}

void fnNoDataDisp_MAP(const char* szQC_Type, const char* szProductType, const char* szDataType,
                      float fProductArg, float fMaxRange, int nGateSize, int nBinCount,
                      float fNyqVel, int nImgXdim, int nImgYdim) {
    ImagePtr img(siteNoDataMapImage(szQC_Type, szProductType, szDataType, fProductArg, fMaxRange,
                                    nGateSize, nBinCount, fNyqVel, nImgXdim, nImgYdim, nullptr));
    if (img == nullptr) {
        // Without the product's colours, the plain no-data image of the same size: the
        // request still gets its answer.
        img.reset(
            siteNoDataImage(nImgYdim + SITE_BOTTOM_HEIGHT, nImgXdim + SITE_LEGEND_WIDTH, nullptr));
    }
    cgiWritePngAnswer(img.get(), stdout);
}
