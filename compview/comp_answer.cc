#include "comp_answer.h"

#include <cstdio>
#include <cstring>

#include "comp_grid.h"
#include "comp_image.h"
#include "composite_extras.h"
#include "display_utilities.h"
#include "owned_handle.h"
#include "wind_drawing.h"

namespace {

// The reference point of the composite grids.
constexpr float kRefLon = 126.0f, kRefLat = 38.0f;

bool fail(char* reason, const char* text) {
    std::snprintf(reason, kCvReasonSize, "%s", text);
    return false;
}

}  // namespace

void cvAnswerRefusal(const CvRequest& req, bool text, const char* reason) {
    std::fprintf(stderr, "compview: %s\n", reason);
    if (text) {
        std::printf("Content-type: text/html\r\n\r\nerror: %s\r\n", reason);
        std::fflush(stdout);
        return;
    }
    rdr::GdImageHandle img(siteNoDataImage(cvImageHeight(req), cvImageWidth(req), reason));
    if (img == nullptr) {
        fnNoDataDisp(cvImageHeight(req), cvImageWidth(req));
        return;
    }
    cgiWritePngAnswer(img.get(), stdout);
}

bool cvAnswerImage(const CvRequest& req, const CvTime& t, const char* path, char* reason) {
    rdr::GdImageHandle img = cvDrawImage(req, t, path, reason);
    if (img == nullptr) {
        return false;
    }
    if (cgiWritePngAnswer(img.get(), stdout) != 0) {
        // The library has answered "500" itself: nothing to fall back on.
        std::fprintf(stderr, "compview: the answer could not be written\n");
    }
    return true;
}

bool cvAnswerPoint(const CvRequest& req, const char* path, char* reason) {
    CvGrid comp = cvReadGrid(req, path, req.lead_min);
    if (!comp) {
        return fail(reason, cvIsForecast(req.kind)
                                ? "the forecast file is damaged or lacks this lead"
                                : "the composite file is damaged or cut short");
    }
    const CvGridShape& s = cvGridShape(req.kind);
    int flag = COMP_UNIT_UNCHANGED;
    // The point service converts "CZ" (not "DZ") from rain rates.
    const char* unit = std::strcmp(req.unit, "DZ") == 0 ? "CZ" : req.unit;
    if (cvIsForecast(req.kind)) {
        cvScaleHundredths(comp.get(), s.rows, s.columns);
    } else if (req.kind == CvKind::Comp240) {
        const bool ownUnit = cvHasOwnUnit(req);
        flag = ownUnit || cvIsReflectivityUnit(req.unit) ? COMP_UNIT_UNCHANGED : COMP_UNIT_AS_RATE;
    } else if (std::strcmp(req.unit, "RN") != 0) {
        flag = COMP_UNIT_AS_DBZ;
    }
    fnWritePointRain(comp.get(), unit, s.columns, s.rows, s.cell_km, kRefLon, kRefLat, s.ref_column,
                     s.ref_row, static_cast<float>(req.lon), static_cast<float>(req.lat), flag);
    std::fflush(stdout);
    return true;
}
