// Fuzzes the siteview query parser: any query is either refused with a reason made of the
// program's own words or accepted with every value inside its bounds, and the volume path
// built from an accepted query stays inside the data tree.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "display_utilities.h"
#include "fuzz_check.h"
#include "site_request.h"
#include "site_volume_file.h"

namespace {

bool reasonChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           std::strchr(" _'(),=:.-", c) != nullptr;
}

bool inTable(const char* site) {
    for (int i = 0; i < svSiteCount(); ++i) {
        if (site == svSiteCode(i)) {
            return true;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("RDR_ROOT", "/fuzz-root", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    std::string qs(reinterpret_cast<const char*>(bytes), size);
    qs = qs.c_str();  // the environment cannot hold NUL bytes
    SvRequest req;
    svDefaultRequest(&req);
    char reason[kSvReasonSize];
    std::memset(reason, 'x', sizeof reason);
    const int rc = svParseQuery(qs.c_str(), &req, reason);
    FUZZ_CHECK(rc == 0 || rc == -1);
    const size_t reasonLength = strnlen(reason, sizeof reason);
    FUZZ_CHECK(reasonLength < sizeof reason);
    FUZZ_CHECK((rc == 0) == (reasonLength == 0));
    for (size_t i = 0; i < reasonLength; ++i) {
        FUZZ_CHECK(reasonChar(reason[i]));
    }
    if (rc != 0) {
        return 0;
    }
    FUZZ_CHECK(qs.size() <= kSvMaxQueryLength);
    FUZZ_CHECK(inTable(req.site));
    FUZZ_CHECK(req.year >= 1970 && req.year <= 2099 && req.month >= 1 && req.month <= 12);
    FUZZ_CHECK(req.day >= 1 && req.day <= fnGetLastDay(req.year, req.month));
    FUZZ_CHECK(req.hour >= 0 && req.hour <= 23 && req.minute >= 0 && req.minute <= 59);
    FUZZ_CHECK(req.window_km == 240 || req.window_km == 480);
    FUZZ_CHECK(req.sweep >= 0 && req.sweep < 20);
    FUZZ_CHECK(req.height_m >= 250 && req.height_m <= 15000);
    FUZZ_CHECK(std::strlen(req.field) == 2 && std::strlen(svVolumeField(req.field)) == 2);
    FUZZ_CHECK(std::strlen(req.product_name) >= 3);
    if (req.product == SvProduct::Cross) {
        for (double lon : {req.lon1, req.lon2}) {
            FUZZ_CHECK(lon >= -180.0 && lon <= 180.0);
        }
        for (double lat : {req.lat1, req.lat2}) {
            FUZZ_CHECK(lat >= -90.0 && lat <= 90.0);
        }
    }
    // The path: the data tree, the site's directory, digits and the extension only.
    const SvVolumeTime t{req.year, req.month, req.day, req.hour, req.minute};
    char path[256];
    FUZZ_CHECK(svVolumePath(req.site, t, ".uf.gz", path, sizeof path));
    const std::string prefix = std::string("/fuzz-root/DATA/RDR/SITE/") + req.site + "/";
    FUZZ_CHECK(std::strncmp(path, prefix.c_str(), prefix.size()) == 0);
    FUZZ_CHECK(std::strstr(path, "..") == nullptr);
    FUZZ_CHECK(std::strlen(path) == prefix.size() + 10 + 5 + std::strlen(req.site) + 12 + 6);
    return 0;
}
