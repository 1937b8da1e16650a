#include "site_request.h"

#include <cstdio>
#include <cstring>
#include <iterator>
#include <string_view>

#include "display_query.h"
#include "display_utilities.h"

namespace {

static_assert(kSvReasonSize == kCgiReasonSize);

// The national sites, and KLIX (a foreign sample volume kept for checks and the demo).
constexpr const char* kSites[] = {
    "KWK", "KSN", "PSN",  "CJU",  "GNG", "DNH", "BRI", "IIA", "SCN", "TAG",  "WNJ",
    "YCN", "KWJ", "RKJK", "RKSG", "GDK", "MYN", "MET", "SSP", "GSN", "KLIX",
};

struct ProductName {
    const char* name;
    SvProduct product;
};
constexpr ProductName kProducts[] = {
    {"PPI", SvProduct::Ppi},     {"CAPPI", SvProduct::Cappi}, {"CMAX", SvProduct::Cmax},
    {"BASE", SvProduct::Base},   {"ETOP", SvProduct::Etop},   {"VIL", SvProduct::Vil},
    {"CROSS", SvProduct::Cross},
};

constexpr const char* kFields[] = {"DZ", "CZ", "VR", "SW", "DR", "RH", "PH", "KD", "RN"};

// Bounds of the numeric keys.
constexpr int kMaxSweepIndex = 19;  // the site volume holds 20 sweeps
constexpr int kMinHeightM = 250;
constexpr int kMaxHeightM = 15000;
constexpr int kFirstYear = 1970;
constexpr int kLastYear = 2099;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool allDigits(std::string_view s) {
    for (char c : s) {
        if (!isDigit(c)) {
            return false;
        }
    }
    return true;
}

// Finds s in a table of names; the table's own string is returned, so that nothing the
// client sent is kept.
template <size_t N>
const char* lookup(const char* const (&table)[N], std::string_view s) {
    for (const char* name : table) {
        if (s == name) {
            return name;
        }
    }
    return nullptr;
}

// An optional '-' and 1 to 6 digits, within [lo, hi].
bool parseInt(std::string_view s, int lo, int hi, int* out) {
    bool negative = !s.empty() && s[0] == '-';
    if (negative) {
        s.remove_prefix(1);
    }
    if (s.empty() || s.size() > 6 || !allDigits(s)) {
        return false;
    }
    int v = 0;
    for (char c : s) {
        v = v * 10 + (c - '0');
    }
    v = negative ? -v : v;
    if (v < lo || v > hi) {
        return false;
    }
    *out = v;
    return true;
}

// Degrees: an optional '-', 1 to 3 digits, optionally '.' and 1 to 6 digits, within
// [-limit, limit].
bool parseDegrees(std::string_view s, double limit, double* out) {
    bool negative = !s.empty() && s[0] == '-';
    if (negative) {
        s.remove_prefix(1);
    }
    const size_t dot = s.find('.');
    const std::string_view whole = s.substr(0, dot);
    const std::string_view fraction = dot == std::string_view::npos ? "" : s.substr(dot + 1);
    if (whole.empty() || whole.size() > 3 || !allDigits(whole) ||
        (dot != std::string_view::npos && (fraction.empty() || fraction.size() > 6)) ||
        !allDigits(fraction)) {
        return false;
    }
    double v = 0.0;
    for (char c : whole) {
        v = v * 10.0 + (c - '0');
    }
    double scale = 0.1;
    for (char c : fraction) {
        v += (c - '0') * scale;
        scale /= 10.0;
    }
    if (v > limit) {
        return false;
    }
    *out = negative ? -v : v;
    return true;
}

bool parseSwitch(std::string_view s, bool* out) {
    if (s != "0" && s != "1") {
        return false;
    }
    *out = s == "1";
    return true;
}

// YYYYMMDDHHMI of a date that exists.
bool parseTime(std::string_view s, SvRequest* req) {
    if (s.size() != 12 || !allDigits(s)) {
        return false;
    }
    auto num = [&](size_t at, size_t n) {
        int v = 0;
        for (size_t k = at; k < at + n; ++k) {
            v = v * 10 + (s[k] - '0');
        }
        return v;
    };
    const int year = num(0, 4), month = num(4, 2), day = num(6, 2);
    const int hour = num(8, 2), minute = num(10, 2);
    if (year < kFirstYear || year > kLastYear || month < 1 || month > 12 || day < 1 ||
        day > fnGetLastDay(year, month) || hour > 23 || minute > 59) {
        return false;
    }
    req->year = year;
    req->month = month;
    req->day = day;
    req->hour = hour;
    req->minute = minute;
    return true;
}

enum Key {
    kSite,
    kTime,
    kProduct,
    kField,
    kWindow,
    kSweep,
    kHeight,
    kRings,
    kMap,
    kStations,
    kLon1,
    kLat1,
    kLon2,
    kLat2,
    kKeyCount
};

constexpr const char* kKeyNames[kKeyCount] = {
    "site",  "tm",  "product",  "field", "window", "sweep", "height",
    "rings", "map", "stations", "lon1",  "lat1",   "lon2",  "lat2",
};

// Stores one checked value; false when it is not valid for its key.
bool storeValue(Key key, std::string_view value, SvRequest* req) {
    switch (key) {
        case kSite:
            req->site = lookup(kSites, value);
            return req->site != nullptr;
        case kTime:
            return parseTime(value, req);
        case kProduct:
            for (const ProductName& p : kProducts) {
                if (value == p.name) {
                    req->product = p.product;
                    req->product_name = p.name;
                    return true;
                }
            }
            return false;
        case kField: {
            const char* field = lookup(kFields, value);
            if (field != nullptr) {
                req->field = field;
            }
            return field != nullptr;
        }
        case kWindow: {
            int km = 0;
            if (!parseInt(value, 240, 480, &km) || (km != 240 && km != 480)) {
                return false;
            }
            req->window_km = km;
            return true;
        }
        case kSweep:
            return parseInt(value, 0, kMaxSweepIndex, &req->sweep);
        case kHeight:
            return parseInt(value, kMinHeightM, kMaxHeightM, &req->height_m);
        case kRings:
            return parseSwitch(value, &req->rings);
        case kMap:
            return parseSwitch(value, &req->map);
        case kStations:
            return parseSwitch(value, &req->stations);
        case kLon1:
            return parseDegrees(value, 180.0, &req->lon1);
        case kLat1:
            return parseDegrees(value, 90.0, &req->lat1);
        case kLon2:
            return parseDegrees(value, 180.0, &req->lon2);
        case kLat2:
            return parseDegrees(value, 90.0, &req->lat2);
        case kKeyCount:
            break;
    }
    return false;
}

// The product's own requirements, once every pair is read.
int checkCombination(const SvRequest& req, const bool* seen, char* reason) {
    if (!seen[kSite]) {
        return cgiRefuse(reason, "no site given (site=)");
    }
    if (!seen[kTime]) {
        return cgiRefuse(reason, "no time given (tm=YYYYMMDDHHMI)");
    }
    if (!seen[kProduct]) {
        return cgiRefuse(reason, "no product given (product=)");
    }
    const bool dbz = std::strcmp(req.field, "DZ") == 0 || std::strcmp(req.field, "CZ") == 0;
    if ((req.product == SvProduct::Etop || req.product == SvProduct::Vil) && !dbz) {
        return cgiRefuse(reason, "ETOP and VIL are made from reflectivity (field DZ or CZ)");
    }
    if (seen[kSweep] && req.product != SvProduct::Ppi) {
        return cgiRefuse(reason, "sweep= belongs to PPI only");
    }
    if (seen[kHeight] && req.product != SvProduct::Cappi) {
        return cgiRefuse(reason, "height= belongs to CAPPI only");
    }
    const bool anyPoint = seen[kLon1] || seen[kLat1] || seen[kLon2] || seen[kLat2];
    const bool allPoints = seen[kLon1] && seen[kLat1] && seen[kLon2] && seen[kLat2];
    if (req.product == SvProduct::Cross && !allPoints) {
        return cgiRefuse(reason, "CROSS needs lon1, lat1, lon2 and lat2");
    }
    if (req.product != SvProduct::Cross && anyPoint) {
        return cgiRefuse(reason, "lon1, lat1, lon2, lat2 belong to CROSS only");
    }
    return 0;
}

// The reason when a known key's value is refused; null for the plain "bad value for".
const char* refusalOf(int k) {
    switch (k) {
        case kSite:
            return "unknown site";
        case kTime:
            return "no such time (tm=YYYYMMDDHHMI, a real date)";
        case kProduct:
            return "unknown product";
        case kField:
            return "unknown field";
        default:
            return nullptr;
    }
}

const CgiQueryRules kRules = {kSvMaxQueryLength, kSvMaxPairs, kSvMaxKeyLength, kSvMaxValueLength,
                              kKeyNames,         kKeyCount,   refusalOf};

}  // namespace

void svDefaultRequest(SvRequest* req) {
    *req = SvRequest{};
    req->product = SvProduct::Ppi;
    req->product_name = "";
    req->site = "";
    req->field = "DZ";
    req->window_km = 240;
    req->sweep = 0;
    req->height_m = 1500;
    req->rings = true;
    req->map = true;
    req->stations = false;
}

int svParseQuery(const char* qs, SvRequest* req, char* reason) {
    bool seen[kKeyCount] = {};
    const auto store = [req](int k, std::string_view value) {
        return storeValue(static_cast<Key>(k), value, req);
    };
    if (cgiParseQuery(qs, kRules, store, seen, reason) != 0) {
        return -1;
    }
    return checkCombination(*req, seen, reason);
}

int svSiteCount() {
    return static_cast<int>(std::size(kSites));
}

const char* svSiteCode(int i) {
    return i >= 0 && i < svSiteCount() ? kSites[i] : nullptr;
}

const char* svVolumeField(const char* field) {
    return std::strcmp(field, "RN") == 0 ? "DZ" : field;
}

bool svIsReflectivity(const char* field) {
    return std::strcmp(field, "DZ") == 0 || std::strcmp(field, "CZ") == 0 ||
           std::strcmp(field, "RN") == 0;
}
