// Forecast images: storm cells, plain echo, contours and the three-lead guide.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <vector>

#include "composite_echo_drawing.h"
#include "composite_extras.h"
#include "composite_forecast_images.h"
#include "composite_image_data.h"
#include "display_utilities.h"
#include "internal/composite_canvas.h"
#include "internal/composite_contour.h"
#include "internal/composite_grid.h"
#include "internal/composite_guide_reading.h"
#include "owned_handle.h"

namespace {

constexpr std::array<double, 6> kContourLevels = {-7000.0, 100.0, 500.0, 1200.0, 5000.0, 10000.0};
struct Rgb {
    int r;
    int g;
    int b;
};
constexpr std::array<Rgb, 6> kContourColours = {
    Rgb{0, 0, 0},     Rgb{0, 119, 179}, Rgb{0, 128, 0},
    Rgb{255, 156, 0}, Rgb{179, 0, 0},   Rgb{127, 0, 191},
};

struct GuideLead {
    int minutes;
    Rgb colour;
};
constexpr std::array<GuideLead, 3> kGuideLeads = {
    GuideLead{0, Rgb{255, 0, 0}}, GuideLead{180, Rgb{0, 255, 0}}, GuideLead{360, Rgb{0, 0, 255}}};
constexpr int kGuideBrushSize = 2;

using rdr::GdImageHandle;
using TablePtr = rdr::MallocPtr<CGI_COLOR_TBL>;

// Line colour of contour level k: colour k + 1, and black, unused by any other level, for
// the top level that has no colour of its own.
Rgb contourColour(size_t k) {
    return k + 1 < kContourColours.size() ? kContourColours[k + 1] : kContourColours[0];
}

// Pixel of a contour position: the grid value of column c lies on pixel c.
int toPixel(double v) {
    constexpr double kLimit = 1.0e6;
    return std::isnan(v) ? 0 : static_cast<int>(std::lround(std::clamp(v, -kLimit, kLimit)));
}

void fnDrawline(gdImagePtr img, double x1, double y1, double x2, double y2, int colour) {
    gdImageLine(img, toPixel(x1), toPixel(y1), toPixel(x2), toPixel(y2), colour);
}

// Contours levels over the whole grid, each segment in colourOf(k).
template <class ColourOf>
void drawContours(gdImagePtr img, float** grid, int nImgXdim, int nImgYdim, const double* levels,
                  int nLevels, ColourOf colourOf) {
    std::vector<double> columns(static_cast<size_t>(nImgXdim));
    std::vector<double> rows(static_cast<size_t>(nImgYdim));
    for (int j = 0; j < nImgXdim; ++j) {
        columns[static_cast<size_t>(j)] = j;
    }
    for (int i = 0; i < nImgYdim; ++i) {
        rows[static_cast<size_t>(i)] = i;
    }
    comp_contour::conrec(grid, 0, nImgXdim - 1, 0, nImgYdim - 1, columns.data(), rows.data(),
                         nLevels, levels, [&](double x1, double y1, double x2, double y2, int k) {
                             fnDrawline(img, x1, y1, x2, y2, colourOf(k));
                         });
}

bool drawForecastTexts(gdImagePtr img, const COMP_VSRF_IMAGE_REQUEST& q) {
    return fnImgTopTextDisp(img, q.szP_type, nullptr, q.szUnit, q.szDate, q.nImgXdim,
                            COMP_TITLE_FORECAST, q.szForecastDate) == 0 &&
           fnVsrfMapleContentDisp(q.nImgXdim, q.nImgYdim, img, q.szDate, q.szForecastDate) == 0;
}

struct RainColours {
    TablePtr table;
    int echo[CGI_MAX_ECHO_COLOR];
    int disp[CGI_EN_DISP_COLOR_MAX];
};

bool allocRainColours(gdImagePtr img, RainColours& colours) {
    colours.table.reset(compReadColorTable(nullptr, "RN"));
    return colours.table != nullptr &&
           fnAllocColorTbl(img, colours.table.get(), colours.echo, colours.disp) == 0;
}

GdImageHandle fnCreateTitanImg(const COMP_VSRF_IMAGE_REQUEST& q) {
    GdImageHandle img = comp_canvas::newTransparentImage(q.nImgXdim, q.nImgYdim);
    RainColours colours;
    if (img == nullptr || !allocRainColours(img.get(), colours) ||
        fnCompTitanDisp(q.nImgXdim, q.nImgYdim, q.szUnit, q.pImgData, img.get(), colours.echo,
                        colours.table.get()) != 0) {
        return nullptr;
    }
    return img;
}

GdImageHandle fnCreateNoTitanImg(const COMP_VSRF_IMAGE_REQUEST& q) {
    GdImageHandle img = comp_canvas::newTransparentImage(q.nImgXdim, q.nImgYdim);
    RainColours colours;
    if (img == nullptr || !allocRainColours(img.get(), colours) ||
        fnCompEchoDisp(q.nImgXdim, q.nImgYdim, q.szP_type, q.szUnit, q.pImgData, img.get(),
                       colours.echo, colours.table.get()) != 0 ||
        !drawForecastTexts(img.get(), q)) {
        return nullptr;
    }
    return img;
}

GdImageHandle fnCreateContourImg(const COMP_VSRF_IMAGE_REQUEST& q) {
    GdImageHandle img = comp_canvas::newTransparentImage(q.nImgXdim, q.nImgYdim);
    if (img == nullptr || q.pImgData == nullptr) {
        return nullptr;
    }
    for (int i = 0; i < q.nImgYdim; ++i) {
        if (q.pImgData[i] == nullptr) {
            return nullptr;
        }
    }
    comp_contour::smoothGrid(q.pImgData, q.nImgXdim, q.nImgYdim);
    std::array<int, kContourLevels.size()> levelColour{};
    for (size_t k = 0; k < kContourLevels.size(); ++k) {
        const Rgb c = contourColour(k);
        levelColour[k] = gdImageColorResolve(img.get(), c.r, c.g, c.b);
    }
    drawContours(img.get(), q.pImgData, q.nImgXdim, q.nImgYdim, kContourLevels.data(),
                 static_cast<int>(kContourLevels.size()),
                 [&](int k) { return levelColour[static_cast<size_t>(k)]; });
    if (!drawForecastTexts(img.get(), q)) {
        return nullptr;
    }
    return img;
}

GdImageHandle fnCreateForeGuideImg(const COMP_VSRF_IMAGE_REQUEST& q, int* pnStatus) {
    std::array<comp_guide::GuideRead, kGuideLeads.size()> reads;
    for (size_t n = 0; n < reads.size(); ++n) {
        reads[n].product = q.szP_type != nullptr ? q.szP_type : "";
        reads[n].fileName = q.szF_name != nullptr ? q.szF_name : "";
        reads[n].nCompXdim = q.nCompXdim;
        reads[n].nCompYdim = q.nCompYdim;
        reads[n].nFcstTime = kGuideLeads[n].minutes;
    }
    comp_guide::readGuideGrids(reads);

    GdImageHandle img = comp_canvas::newTransparentImage(q.nImgXdim, q.nImgYdim);
    comp_grid::MatrixPtr grid = comp_grid::makeFilled(q.nImgYdim, q.nImgXdim, comp_grid::kMissing);
    if (img == nullptr || grid == nullptr) {
        return nullptr;
    }
    const double level = kContourLevels[0];
    for (size_t n = 0; n < reads.size(); ++n) {
        if (reads[n].grid == nullptr) {
            *pnStatus = COMP_VSRF_NO_GRID;
            return nullptr;
        }
        for (int i = 0; i < q.nImgYdim; ++i) {
            std::fill_n(grid.get()[i], q.nImgXdim, comp_grid::kMissing);
        }
        if (fnMakeCompVsrfConGuideImgData(grid.get(), reads[n].grid.get(), q.nImgXdim, q.nImgYdim,
                                          q.fLU_lon, q.fLU_lat, q.fXDist, q.fYDist, q.nCompXdim,
                                          q.nCompYdim, q.fCompGridKm) != 0) {
            return nullptr;
        }
        comp_contour::smoothGrid(grid.get(), q.nImgXdim, q.nImgYdim);
        GdImageHandle brush(gdImageCreateTrueColor(kGuideBrushSize, kGuideBrushSize));
        if (brush == nullptr) {
            return nullptr;
        }
        const Rgb c = kGuideLeads[n].colour;
        gdImageFilledRectangle(brush.get(), 0, 0, kGuideBrushSize - 1, kGuideBrushSize - 1,
                               gdTrueColor(c.r, c.g, c.b));
        gdImageSetBrush(img.get(), brush.get());
        drawContours(img.get(), grid.get(), q.nImgXdim, q.nImgYdim, &level, 1,
                     [](int) { return gdBrushed; });
        gdImageSetBrush(img.get(), nullptr);
    }
    if (!drawForecastTexts(img.get(), q)) {
        return nullptr;
    }
    return img;
}

}  // namespace

gdImagePtr compDrawVsrfImage(const COMP_VSRF_IMAGE_REQUEST* pReq, int* pnStatus) {
    int status = COMP_VSRF_FAILED;
    GdImageHandle img;
    if (pReq != nullptr && pReq->nImgXdim >= 1 && pReq->nImgXdim <= COMP_MAX_IMAGE_DIM &&
        pReq->nImgYdim >= 1 && pReq->nImgYdim <= COMP_MAX_IMAGE_DIM) {
        if (pReq->nTitan == 1) {
            img = fnCreateTitanImg(*pReq);
        } else if (pReq->nContour == 1) {
            img = fnCreateContourImg(*pReq);
        } else if (pReq->nForeGuide == 1) {
            img = fnCreateForeGuideImg(*pReq, &status);
        } else {
            img = fnCreateNoTitanImg(*pReq);
        }
    }
    if (img != nullptr) {
        status = COMP_VSRF_IMAGE;
    }
    if (pnStatus != nullptr) {
        *pnStatus = status;
    }
    return img.release();
}

int fnCreateCompVsrfImg(float** pImgData, const char* szP_type, int nImgXdim, int nImgYdim,
                        const char* szUnit, int nTitan, int nContour, int nForeGuide,
                        const char* szF_name, int nCompXdim, int nCompYdim, float fLU_lon,
                        float fLU_lat, float fXDist, float fYDist, int nSmooth, float fCompGridKm,
                        const char* szDate, const char* szForecastDate) {
    const COMP_VSRF_IMAGE_REQUEST req{pImgData,  szP_type,    nImgXdim,   nImgYdim,      szUnit,
                                      nTitan,    nContour,    nForeGuide, szF_name,      nCompXdim,
                                      nCompYdim, fLU_lon,     fLU_lat,    fXDist,        fYDist,
                                      nSmooth,   fCompGridKm, szDate,     szForecastDate};
    int status = COMP_VSRF_FAILED;
    GdImageHandle img(compDrawVsrfImage(&req, &status));
    if (status == COMP_VSRF_NO_GRID) {
        return fnNoCompDataDisp(nImgXdim, nImgYdim);
    }
    if (img == nullptr) {
        return -1;
    }
    return cgiWritePngAnswer(img.get(), stdout);
}
