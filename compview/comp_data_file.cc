#include "comp_data_file.h"

#include <sys/stat.h>

#include <cstdio>
#include <ctime>

#include "rdr_root.h"

namespace {

bool isRegularFile(const char* path) {
    struct stat st = {};
    // A FIFO or device under a file's name would block or mislead the reader.
    return stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

// The kind's part of the file name; every piece comes from the program's own tables.
int formatName(const CvRequest& req, char* buf, size_t size) {
    switch (req.kind) {
        case CvKind::Comp240:
            return std::snprintf(buf, size, "RDR_CMP_%s_%s", req.product, req.qc);
        case CvKind::Comp480:
            return std::snprintf(buf, size, "RDR_CMP480");
        case CvKind::Kcj:
            return std::snprintf(buf, size, "RDR_KCJ");
        case CvKind::Vsrf:
            return std::snprintf(buf, size, "RDR_VSRF");
        case CvKind::Maple:
            return std::snprintf(buf, size, "RDR_MAPLE");
    }
    return -1;
}

}  // namespace

CvTime cvAddMinutes(const CvTime& t, int minutes) {
    struct tm tmv = {};
    tmv.tm_year = t.year - 1900;
    tmv.tm_mon = t.month - 1;
    tmv.tm_mday = t.day;
    tmv.tm_hour = t.hour;
    tmv.tm_min = t.minute + minutes;
    const time_t when = timegm(&tmv);
    struct tm out = {};
    gmtime_r(&when, &out);
    return CvTime{out.tm_year + 1900, out.tm_mon + 1, out.tm_mday, out.tm_hour, out.tm_min};
}

void cvFormatTime(const CvTime& t, char* buf) {
    // The fields are bounded by the parser and the calendar; the mask keeps the text at 12
    // digits whatever they hold.
    auto digits = [](int v, unsigned limit) { return static_cast<unsigned>(v) % limit; };
    std::snprintf(buf, 13, "%04u%02u%02u%02u%02u", digits(t.year, 10000), digits(t.month, 100),
                  digits(t.day, 100), digits(t.hour, 100), digits(t.minute, 100));
}

bool cvDataPath(const CvRequest& req, const CvTime& t, char* buf, size_t size) {
    char name[48];
    const int n = formatName(req, name, sizeof name);
    if (n < 0 || static_cast<size_t>(n) >= sizeof name) {
        return false;
    }
    char stamp[13];
    cvFormatTime(t, stamp);
    char rel[128];
    const int m = std::snprintf(rel, sizeof rel, "/DATA/RDR/COMP/%.6s/%.2s/%s_%s.bin.gz", stamp,
                                stamp + 6, name, stamp);
    if (m < 0 || static_cast<size_t>(m) >= sizeof rel) {
        return false;
    }
    return rdrRootPath(rel, buf, static_cast<int>(size)) != nullptr;
}

bool cvFindDataFile(const CvRequest& req, char* path, size_t size, CvTime* found) {
    const CvTime asked{req.year, req.month, req.day, req.hour, req.minute};
    for (int back = 0; back <= kCvSearchMinutes; ++back) {
        const CvTime t = cvAddMinutes(asked, -back);
        if (cvDataPath(req, t, path, size) && isRegularFile(path)) {
            *found = t;
            return true;
        }
    }
    if (size > 0) {
        path[0] = '\0';
    }
    return false;
}
