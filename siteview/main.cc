// siteview: answers a web query with a PNG image of one radar site's product (PPI, CAPPI,
// CMAX, BASE, ETOP, VIL or a vertical cross-section), made by the display library from the
// site's UF volume. Every refusal is answered with the no-data image and its reason; the
// exit status is 0 whenever an answer was sent.
#include <cstdio>
#include <cstdlib>

#include "site_answer.h"
#include "site_product.h"
#include "site_request.h"
#include "site_volume_file.h"

namespace {

int answer() {
    char reason[kSvReasonSize];
    SvRequest req;
    svDefaultRequest(&req);
    if (svParseQuery(std::getenv("QUERY_STRING"), &req, reason) != 0) {
        svAnswerRefusal(reason);
        return 0;
    }
    char path[4096];
    SvVolumeTime time{};
    if (!svFindVolume(req, path, sizeof path, &time)) {
        std::snprintf(reason, sizeof reason,
                      "no %s volume at %04d.%02d.%02d %02d:%02d KST or %d minutes before", req.site,
                      req.year, req.month, req.day, req.hour, req.minute, kSvSearchMinutes);
        svAnswerRefusal(reason);
        return 0;
    }
    SvVolume volume;
    if (!svLoadVolume(path, svVolumeField(req.field), &volume)) {
        // The path goes to the server's log only.
        std::fprintf(stderr, "siteview: cannot read field %s of %s\n", svVolumeField(req.field),
                     path);
        std::snprintf(reason, sizeof reason, "the volume is damaged or has no %s field",
                      svVolumeField(req.field));
        svAnswerRefusal(reason);
        return 0;
    }
    bool sent = false;
    if (req.product == SvProduct::Cross) {
        sent = svAnswerCrossSection(req, volume, time, reason);
    } else {
        SvGridPtr grid = svMakeProductGrid(req, volume, reason);
        sent = grid != nullptr && svAnswerPlanView(req, volume, grid.get(), time, reason);
    }
    if (!sent) {
        svAnswerRefusal(reason);
    }
    return 0;
}

}  // namespace

int main() {
    return answer();
}
