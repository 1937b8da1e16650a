#include "comp_image.h"

#include <cstdio>
#include <cstring>

#include "comp_grid.h"
#include "comp_window.h"
#include "composite_echo_drawing.h"
#include "composite_extras.h"
#include "composite_forecast_images.h"
#include "composite_image_data.h"
#include "display_colours.h"
#include "display_utilities.h"
#include "station_overlay.h"

namespace {

constexpr float kOutside = -9998.0f;
constexpr float kMissing = -9999.0f;

// Z = a R^b: rain (and reflectivity) and snow.
constexpr float kRainA = 200.0f, kRainB = 1.6f;
constexpr float kSnowA = 2000.0f, kSnowB = 2.0f;

using ImagePtr = rdr::GdImageHandle;
using TablePtr = rdr::MallocPtr<CGI_COLOR_TBL>;

ImagePtr failed(char* reason, const char* text) {
    std::snprintf(reason, kCvReasonSize, "%s", text);
    return nullptr;
}

// Product, unit and title kind as the library's drawing takes them. ETOP and VIL have their
// own tables; their titles and legends name reflectivity and rain.
struct Drawing {
    const char* product;
    const char* unit;
    int title;
};

Drawing drawingOf(const CvRequest& req) {
    switch (req.kind) {
        case CvKind::Comp240:
            if (std::strcmp(req.product, "ETOP") == 0) {
                return {req.product, "CZ", COMP_TITLE_PRODUCT};
            }
            if (std::strcmp(req.product, "VIL") == 0) {
                return {req.product, "RN", COMP_TITLE_PRODUCT};
            }
            return {req.product, req.unit, COMP_TITLE_PRODUCT};
        case CvKind::Comp480:
            return {"PPI", req.unit, COMP_TITLE_480};
        case CvKind::Kcj:
            return {"PPI", req.unit, COMP_TITLE_RAIN};
        case CvKind::Vsrf:
            return {"VSRF", req.unit, COMP_TITLE_FORECAST};
        case CvKind::Maple:
            return {"MAPLE", req.unit, COMP_TITLE_FORECAST};
    }
    return {"PPI", req.unit, COMP_TITLE_RAIN};
}

// The byte composite holds reflectivity; the float and 16-bit ones rain rate. An image grid
// of the stored quantity becomes the requested unit.
void convertToUnit(const CvRequest& req, float** grid, int rows, int columns) {
    const bool dbz = cvIsReflectivityUnit(req.unit);
    const bool snow = std::strcmp(req.unit, "SN") == 0;
    if (req.kind == CvKind::Comp240) {
        if (cvHasOwnUnit(req) || dbz) {
            return;
        }
        fnDbzToRainrate(grid, rows, columns, kOutside, kMissing, snow ? kSnowA : kRainA,
                        snow ? kSnowB : kRainB);
        return;
    }
    if (dbz || snow) {
        fnRainrateToDbz(grid, rows, columns, kOutside, kMissing, kRainA, kRainB);
    }
    if (snow) {
        fnDbzToRainrate(grid, rows, columns, kOutside, kMissing, kSnowA, kSnowB);
    }
}

// The image grid of the window: composite cells looked up (interpolated when asked),
// re-placed on the display projection and gap-filled.
CvGrid makeImageGrid(const CvRequest& req, float** comp, const CvWindowPlace& place, int nx,
                     int ny) {
    const CvGridShape& s = cvGridShape(req.kind);
    const int smooth = req.smooth ? 1 : 0;
    switch (req.kind) {
        case CvKind::Comp240:
            return CvGrid(fnMakeCompImgData(comp, nx, ny, place.lu_lon, place.lu_lat,
                                            place.x_dist_m, place.y_dist_m, smooth, s.columns,
                                            s.rows, s.cell_km, req.product),
                          ny);
        case CvKind::Comp480:
            return CvGrid(
                fnMakeComp480ImgData(comp, nx, ny, place.lu_lon, place.lu_lat, place.x_dist_m,
                                     place.y_dist_m, smooth, s.columns, s.rows, s.cell_km),
                ny);
        case CvKind::Kcj:
            return CvGrid(
                fnMakeCompCj3ImgData(comp, nx, ny, place.lu_lon, place.lu_lat, place.x_dist_m,
                                     place.y_dist_m, smooth, s.columns, s.rows, s.cell_km),
                ny);
        case CvKind::Vsrf:
        case CvKind::Maple:
            break;
    }
    CvGrid grid(fnGetMatrixFloat(ny, nx), ny);
    if (!grid) {
        return grid;
    }
    for (int r = 0; r < ny; ++r) {
        for (int c = 0; c < nx; ++c) {
            grid.get()[r][c] = kMissing;
        }
    }
    if (fnMakeCompVsrfEchoImgData(grid.get(), comp, nx, ny, place.lu_lon, place.lu_lat,
                                  place.x_dist_m, place.y_dist_m, smooth, s.columns, s.rows,
                                  s.cell_km) != 0) {
        return CvGrid();
    }
    return grid;
}

// Paints the echo of the image grid into the image by kind.
int paintEcho(const CvRequest& req, const Drawing& d, float** grid, int nx, int ny, gdImagePtr img,
              int* colours, CGI_COLOR_TBL* table) {
    switch (req.kind) {
        case CvKind::Comp240:
            return req.shadow
                       ? fnComp3dEchoDisp(nx, ny, d.product, d.unit, grid, img, colours, table)
                       : fnCompEchoDisp(nx, ny, d.product, d.unit, grid, img, colours, table);
        case CvKind::Comp480:
            return fnComp480EchoDisp(nx, ny, d.unit, grid, img, colours, table);
        case CvKind::Kcj:
            return fnCompCj3EchoDisp(nx, ny, d.product, d.unit, grid, img, colours, table);
        case CvKind::Vsrf:
        case CvKind::Maple:
            break;
    }
    return fnCompEchoDisp(nx, ny, d.product, d.unit, grid, img, colours, table);
}

// A transparent true-colour layer of the echo area.
ImagePtr transparentLayer(int nx, int ny) {
    ImagePtr layer(gdImageCreateTrueColor(nx, ny));
    if (layer != nullptr) {
        gdImageAlphaBlending(layer.get(), 0);
        gdImageSaveAlpha(layer.get(), 1);
        gdImageFilledRectangle(layer.get(), 0, 0, nx - 1, ny - 1,
                               gdTrueColorAlpha(0, 0, 0, gdAlphaTransparent));
    }
    return layer;
}

// Pixels outside the composite: the library marks them translucent black, which a layer
// of their own turns into a shade of the background once laid over it.
bool markOutside(float** grid, int nx, int ny, gdImagePtr img) {
    ImagePtr layer = transparentLayer(nx, ny);
    if (layer == nullptr || fnBoundDisp(nx, ny, grid, layer.get(), kOutside) != 0) {
        return false;
    }
    gdImageCopy(img, layer.get(), 0, 0, 0, 0, nx, ny);
    return true;
}

bool painted(gdImagePtr layer, int x, int y) {
    return gdTrueColorGetAlpha(gdImageGetTrueColorPixel(layer, x, y)) != gdAlphaTransparent;
}

// The storm cells of the image grid, outlined in black on the image: the library paints the
// cells' pixels into a layer of their own, and every painted pixel with an unpainted
// neighbour (or on the image border) is an outline pixel.
bool outlineStormCells(const Drawing& d, float** grid, int nx, int ny, gdImagePtr img,
                       CGI_COLOR_TBL* table) {
    ImagePtr layer = transparentLayer(nx, ny);
    int colours[CGI_MAX_ECHO_COLOR] = {};
    int display[CGI_EN_DISP_COLOR_MAX] = {};
    if (layer == nullptr || fnAllocColorTbl(layer.get(), table, colours, display) != 0 ||
        fnCompTitanDisp(nx, ny, d.unit, grid, layer.get(), colours, table) != 0) {
        return false;
    }
    const int black = gdTrueColor(0, 0, 0);
    for (int y = 0; y < ny; ++y) {
        for (int x = 0; x < nx; ++x) {
            if (!painted(layer.get(), x, y)) {
                continue;
            }
            const bool edge = x == 0 || y == 0 || x == nx - 1 || y == ny - 1 ||
                              !painted(layer.get(), x - 1, y) || !painted(layer.get(), x + 1, y) ||
                              !painted(layer.get(), x, y - 1) || !painted(layer.get(), x, y + 1);
            if (edge) {
                gdImageSetPixel(img, x, y, black);
            }
        }
    }
    return true;
}

// The forecast views other than the echo, drawn by the library into a transparent image of
// the echo area and laid over the image. *no_grid when a grid of the guide view is missing.
bool drawForecastView(const CvRequest& req, const Drawing& d, float** grid, const char* path,
                      const CvWindowPlace& place, int nx, int ny, const char* valid,
                      const char* issued, gdImagePtr img, bool* no_grid) {
    const CvGridShape& s = cvGridShape(req.kind);
    COMP_VSRF_IMAGE_REQUEST r = {};
    r.pImgData = grid;
    r.szP_type = d.product;
    r.nImgXdim = nx;
    r.nImgYdim = ny;
    r.szUnit = d.unit;
    r.nTitan = req.view == CvView::Cells ? 1 : 0;
    r.nContour = req.view == CvView::Contour ? 1 : 0;
    r.nForeGuide = req.view == CvView::Guide ? 1 : 0;
    r.szF_name = path;
    r.nCompXdim = s.columns;
    r.nCompYdim = s.rows;
    r.fLU_lon = place.lu_lon;
    r.fLU_lat = place.lu_lat;
    r.fXDist = place.x_dist_m;
    r.fYDist = place.y_dist_m;
    r.nSmooth = req.smooth ? 1 : 0;
    r.fCompGridKm = s.cell_km;
    r.szDate = valid;
    r.szForecastDate = issued;
    int status = COMP_VSRF_FAILED;
    ImagePtr layer(compDrawVsrfImage(&r, &status));
    *no_grid = status == COMP_VSRF_NO_GRID;
    if (layer == nullptr) {
        return false;
    }
    gdImageCopy(img, layer.get(), 0, 0, 0, 0, nx, ny);
    return true;
}

}  // namespace

int cvImageWidth(const CvRequest& req) {
    const CvWindow* w = cvWindowAt(req.window);
    return (w != nullptr ? w->width_px : 1) + (req.legend ? kCvLegendStrip : 0);
}

int cvImageHeight(const CvRequest& req) {
    const CvWindow* w = cvWindowAt(req.window);
    return w != nullptr ? w->height_px : 1;
}

rdr::GdImageHandle cvDrawImage(const CvRequest& req, const CvTime& t, const char* path,
                               char* reason) {
    CvWindowPlace place = {};
    const CvWindow* window = cvWindowAt(req.window);
    if (window == nullptr || !cvPlaceWindow(req.window, &place)) {
        return failed(reason, "the window cannot be placed");
    }
    const int nx = window->width_px, ny = window->height_px;
    const bool forecast = cvIsForecast(req.kind);
    // The guide view reads its three leads itself.
    CvGrid comp = cvReadGrid(req, path, req.view == CvView::Guide ? 0 : req.lead_min);
    if (!comp) {
        return failed(reason, forecast ? "the forecast file is damaged or lacks this lead"
                                       : "the composite file is damaged or cut short");
    }
    CvGrid grid = makeImageGrid(req, comp.get(), place, nx, ny);
    if (!grid) {
        return failed(reason, "the image grid could not be made");
    }
    const Drawing d = drawingOf(req);
    // Forecast grids hold hundredths of a rain rate: the echo and the storm cells are drawn
    // from rain rates, the contours from the hundredths their levels are set in.
    if (forecast && (req.view == CvView::Echo || req.view == CvView::Cells)) {
        cvScaleHundredths(grid.get(), ny, nx);
    } else if (!forecast) {
        convertToUnit(req, grid.get(), ny, nx);
    }
    TablePtr table(compReadColorTable(d.product, d.unit));
    ImagePtr img(gdImageCreateTrueColor(cvImageWidth(req), ny));
    int colours[CGI_MAX_ECHO_COLOR] = {};
    int display[CGI_EN_DISP_COLOR_MAX] = {};
    if (table == nullptr || img == nullptr ||
        fnAllocColorTbl(img.get(), table.get(), colours, display) != 0) {
        return failed(reason, "the colour table could not be read");
    }
    gdImageFilledRectangle(img.get(), 0, 0, gdImageSX(img.get()) - 1, ny - 1,
                           display[CGI_EN_IN_BOUND_COLOR]);
    char stamp[13], valid[13];
    cvFormatTime(t, stamp);
    cvFormatTime(cvAddMinutes(t, forecast && req.view != CvView::Guide ? req.lead_min : 0), valid);
    // MAPLE has no coverage: its -9998 marks rain below 0.1 mm/h, which is not outside.
    if (req.kind != CvKind::Maple && !markOutside(grid.get(), nx, ny, img.get())) {
        return failed(reason, "the image could not be drawn");
    }
    if (forecast && req.view != CvView::Echo) {
        bool noGrid = false;
        if (!drawForecastView(req, d, grid.get(), path, place, nx, ny, valid, stamp, img.get(),
                              &noGrid)) {
            return failed(reason, noGrid ? "the forecast file lacks the 3 or 6 hour grid"
                                         : "the forecast image could not be drawn");
        }
    } else if (paintEcho(req, d, grid.get(), nx, ny, img.get(), colours, table.get()) != 0) {
        return failed(reason, "the echo could not be drawn");
    }
    if (req.cells && !outlineStormCells(d, grid.get(), nx, ny, img.get(), table.get())) {
        return failed(reason, "the storm cells could not be drawn");
    }
    if (req.map) {
        fnMapLineDisp(ny, img.get(), display[CGI_EN_LINE_COLOR], place.map_xo, place.map_yo, 0, 0,
                      place.map_zoom);
    }
    // Observations: those of the composite's hour, for forecasts of the hour they were issued.
    if (req.symbols && fnCompWstDisp(place.lu_lon, place.lu_lat, stamp, nx, ny, place.x_dist_m,
                                     place.y_dist_m, img.get()) != 0) {
        return failed(reason, "the weather-station file is damaged");
    }
    // The library's contour and guide views carry their own title and times.
    if (!forecast || req.view == CvView::Echo || req.view == CvView::Cells) {
        if (fnImgTopTextDisp(img.get(), d.product, req.qc, d.unit, valid, nx, d.title, stamp) !=
                0 ||
            (forecast && fnVsrfMapleContentDisp(nx, ny, img.get(), valid, stamp) != 0)) {
            return failed(reason, "the title could not be drawn");
        }
    }
    if (req.legend) {
        // Over the map lines that run past the echo area.
        fnMapLevelColorDisp(nx, ny, d.product, d.unit, img.get(), colours, table.get());
    }
    gdImageRectangle(img.get(), 0, 0, nx - 1, ny - 1, gdTrueColor(51, 51, 51));
    return img;
}
