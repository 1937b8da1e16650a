#include "site_volume_file.h"

#include <sys/stat.h>

#include <cstdio>
#include <ctime>

#include "rdr_root.h"

namespace {

// Minute steps on the calendar of the volume times, which have no daylight-saving shifts.
SvVolumeTime minutesEarlier(const SvVolumeTime& t, int minutes) {
    struct tm tmv = {};
    tmv.tm_year = t.year - 1900;
    tmv.tm_mon = t.month - 1;
    tmv.tm_mday = t.day;
    tmv.tm_hour = t.hour;
    tmv.tm_min = t.minute - minutes;
    const time_t when = timegm(&tmv);
    struct tm out = {};
    gmtime_r(&when, &out);
    return SvVolumeTime{out.tm_year + 1900, out.tm_mon + 1, out.tm_mday, out.tm_hour, out.tm_min};
}

bool isRegularFile(const char* path) {
    struct stat st = {};
    // A FIFO or device under a volume's name would block or mislead the reader.
    return stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

bool svVolumePath(const char* site, const SvVolumeTime& t, const char* ext, char* buf,
                  size_t size) {
    char rel[160];
    const int n = std::snprintf(
        rel, sizeof rel, "/DATA/RDR/SITE/%s/%04d%02d/%02d/RDR_%s_%04d%02d%02d%02d%02d%s", site,
        t.year, t.month, t.day, site, t.year, t.month, t.day, t.hour, t.minute, ext);
    if (n < 0 || static_cast<size_t>(n) >= sizeof rel) {
        return false;
    }
    return rdrRootPath(rel, buf, static_cast<int>(size)) != nullptr;
}

bool svFindVolume(const SvRequest& req, char* path, size_t size, SvVolumeTime* found) {
    const SvVolumeTime asked{req.year, req.month, req.day, req.hour, req.minute};
    for (int back = 0; back <= kSvSearchMinutes; ++back) {
        const SvVolumeTime t = minutesEarlier(asked, back);
        for (const char* ext : {".uf", ".uf.gz"}) {
            if (svVolumePath(req.site, t, ext, path, size) && isRegularFile(path)) {
                *found = t;
                return true;
            }
        }
    }
    path[0] = '\0';
    return false;
}
