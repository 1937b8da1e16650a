#include "site_answer.h"

#include <cstdio>
#include <memory>

#include "display_utilities.h"
#include "owned_handle.h"
#include "site_drawing.h"
#include "site_section_line.h"
#include "wind_drawing.h"

namespace {

// Marshall-Palmer Z-R relation for the rain-rate field.
constexpr float kZrA = 200.0f;
constexpr float kZrB = 1.6f;

using ImageDeleter = rdr::ReleaseWith<gdImageDestroy>;
using ImagePtr = std::unique_ptr<gdImage, ImageDeleter>;

struct tm volumeTm(const SvVolumeTime& t) {
    struct tm out = {};
    out.tm_year = t.year - 1900;
    out.tm_mon = t.month - 1;
    out.tm_mday = t.day;
    out.tm_hour = t.hour;
    out.tm_min = t.minute;
    return out;
}

bool fail(char* reason, const char* text) {
    std::snprintf(reason, kSvReasonSize, "%s", text);
    return false;
}

// Once the image exists the answer is sent, whatever happens: a failed encoding is answered
// by the library's own "500" text, so there is nothing to fall back on.
bool send(gdImagePtr img) {
    if (cgiWritePngAnswer(img, stdout) != 0) {
        std::fprintf(stderr, "siteview: the answer could not be written\n");
    }
    return true;
}

}  // namespace

int svImageWidth() {
    return kSvGridCells + SITE_LEGEND_WIDTH;
}

int svImageHeight() {
    return kSvGridCells + SITE_BOTTOM_HEIGHT;
}

void svAnswerRefusal(const char* reason) {
    std::fprintf(stderr, "siteview: %s\n", reason);
    ImagePtr img(siteNoDataImage(svImageHeight(), svImageWidth(), reason));
    if (img == nullptr) {
        fnNoDataDisp(svImageHeight(), svImageWidth());
        return;
    }
    cgiWritePngAnswer(img.get(), stdout);
}

bool svAnswerPlanView(const SvRequest& req, const SvVolume& volume, const float* grid,
                      const SvVolumeTime& time, char* reason) {
    const ST_UF_DATA& uf = *volume.uf;
    // The bottom strip describes the sweep the product starts from.
    const int sweep = req.product == SvProduct::Ppi ? req.sweep : 0;
    SITE_IMAGE_REQUEST draw = {};
    draw.pGrid = grid;
    draw.nGridXdim = kSvGridCells;
    draw.nGridYdim = kSvGridCells;
    draw.fGridKm = svCellKm(req);
    draw.szProductType = req.product_name;
    draw.szDataType = req.field;
    draw.szSiteName = req.site;
    draw.szQC_Type = "NOQC";
    draw.stFileTime = volumeTm(time);
    draw.fProductArg = req.product == SvProduct::Ppi ? uf.m_fUfElevation[sweep]
                       : req.product == SvProduct::Cappi
                           ? static_cast<float>(req.height_m) / 1000.0f
                           : 0.0f;
    draw.fMaxRange = static_cast<float>(req.window_km);
    draw.nGateSize = uf.m_nGateSize[sweep][0];
    draw.nBinCount = uf.m_nBins[sweep][0];
    draw.fNyqVel = uf.m_fNyqVel;
    draw.fSiteLon = uf.m_fSiteLon;
    draw.fSiteLat = uf.m_fSiteLat;
    draw.nImgXdim = kSvGridCells;
    draw.nImgYdim = kSvGridCells;
    draw.fImgGridKm = svCellKm(req);
    draw.bRings = req.rings ? 1 : 0;
    draw.bDirections = req.rings ? 1 : 0;
    draw.bMap = req.map ? 1 : 0;
    draw.bStations = req.stations ? 1 : 0;
    draw.pWinds = nullptr;
    draw.nWinds = 0;
    draw.fZr_A = kZrA;
    draw.fZr_B = kZrB;
    ImagePtr img(siteDrawProductImage(&draw));
    if (img == nullptr) {
        return fail(reason, "the image could not be drawn");
    }
    return send(img.get());
}

bool svAnswerCrossSection(const SvRequest& req, SvVolume& volume, const SvVolumeTime& time,
                          char* reason) {
    const ST_UF_DATA& uf = *volume.uf;
    const int n = kSvGridCells;
    const float cellKm = svCellKm(req);
    // About 1 MB: on the heap.
    auto cross = std::make_unique<CROSS_SECTION>();
    const POINT start{static_cast<float>(req.lon1), static_cast<float>(req.lat1)};
    const POINT end{static_cast<float>(req.lon2), static_cast<float>(req.lat2)};
    if (fnGetCross_Section_Point(cross.get(), start, end, n, n, uf.m_fSiteLon, uf.m_fSiteLat,
                                 cellKm) != 0) {
        return fail(reason, "the two points of the cross-section are too close together");
    }
    for (const POINT& p : cross->m_stPoint) {
        if (!(p.m_fX_Point >= 0.0f && p.m_fX_Point < n && p.m_fY_Point >= 0.0f &&
              p.m_fY_Point < n)) {
            return fail(reason, "the cross-section leaves the window");
        }
    }
    cross->m_stStart = start;
    cross->m_stEnd = end;
    if (siteFillCrossSection(cross.get(), volume.uf.get(), volume.tables.data(), n, n, cellKm,
                             kSvCrossLevels, kSvCrossLevelKm,
                             svIsReflectivity(req.field) ? 1 : 0) != 0) {
        return fail(reason, "the cross-section could not be computed");
    }
    ImagePtr img(siteDrawCrossSection(cross.get(), kSvCrossLevels, kSvCrossLevelKm, cellKm, "CAPPI",
                                      req.field, req.site, volumeTm(time), CROSS_SECTION_SAMPLES,
                                      kSvCrossLevels, kZrA, kZrB));
    if (img == nullptr) {
        return fail(reason, "the image could not be drawn");
    }
    return send(img.get());
}
