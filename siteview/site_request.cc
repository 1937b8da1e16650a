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

bool parseTime(std::string_view s, SvRequest* req) {
    CgiTime t{};
    if (!cgiParseTime(s, kFirstYear, kLastYear, &t)) {
        return false;
    }
    req->year = t.year;
    req->month = t.month;
    req->day = t.day;
    req->hour = t.hour;
    req->minute = t.minute;
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
            req->site = cgiLookupName(kSites, value);
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
            const char* field = cgiLookupName(kFields, value);
            if (field != nullptr) {
                req->field = field;
            }
            return field != nullptr;
        }
        case kWindow: {
            int km = 0;
            if (!cgiParseInt(value, 240, 480, &km) || (km != 240 && km != 480)) {
                return false;
            }
            req->window_km = km;
            return true;
        }
        case kSweep:
            return cgiParseInt(value, 0, kMaxSweepIndex, &req->sweep);
        case kHeight:
            return cgiParseInt(value, kMinHeightM, kMaxHeightM, &req->height_m);
        case kRings:
            return cgiParseSwitch(value, &req->rings);
        case kMap:
            return cgiParseSwitch(value, &req->map);
        case kStations:
            return cgiParseSwitch(value, &req->stations);
        case kLon1:
            return cgiParseDegrees(value, 180.0, &req->lon1);
        case kLat1:
            return cgiParseDegrees(value, 90.0, &req->lat1);
        case kLon2:
            return cgiParseDegrees(value, 180.0, &req->lon2);
        case kLat2:
            return cgiParseDegrees(value, 90.0, &req->lat2);
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
