#include "lgt_request.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "display_query.h"
#include "display_utilities.h"
#include "lgt_map.h"

namespace {

static_assert(kLvReasonSize == kCgiReasonSize);

struct ProductName {
    const char* name;
    LvProduct product;
};
constexpr ProductName kProducts[] = {
    {"LGTTIME", LvProduct::Time},
    {"LGTINTN", LvProduct::Intensity},
    {"LGTAREA", LvProduct::Area},
    {"LGTVWORLD", LvProduct::World},
};

constexpr int kFirstYear = 1970;
constexpr int kLastYear = 2099;

bool parseTime(std::string_view s, LvRequest* req) {
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

enum Key { kProduct, kTime, kInterval, kMap, kSource, kLegend, kHeight, kKeyCount };
constexpr const char* kKeyNames[kKeyCount] = {"product", "tm",     "intv",  "map",
                                              "src",     "legend", "height"};

bool storeValue(Key key, std::string_view value, LvRequest* req) {
    switch (key) {
        case kProduct:
            for (const ProductName& p : kProducts) {
                if (value == p.name) {
                    req->product = p.product;
                    req->product_name = p.name;
                    return true;
                }
            }
            return false;
        case kTime:
            return parseTime(value, req);
        case kInterval:
            return cgiParseInt(value, 1, kLvMaxIntervalMinutes, &req->interval);
        case kMap: {
            const LvMapWindow* w = lvFindMapWindow(std::string(value).c_str());
            if (w != nullptr) {
                req->map = w->name;
            }
            return w != nullptr;
        }
        case kSource:
            if (value == "NX1" || value == "VYQ") {
                req->layout = value == "NX1" ? LvLayout::Nx1 : LvLayout::Vyq;
                return true;
            }
            return false;
        case kLegend:
            if (value == "0" || value == "1") {
                req->legend = value == "1";
                return true;
            }
            return false;
        case kHeight:
            return cgiParseInt(value, kLvMinLegendHeight, kLvMaxLegendHeight, &req->height);
        case kKeyCount:
            break;
    }
    return false;
}

// The reason when a known key's value is refused; null for the plain "bad value for".
const char* refusalOf(int k) {
    switch (k) {
        case kProduct:
            return "unknown product";
        case kTime:
            return "no such time (tm=YYYYMMDDHHMI, a real date)";
        case kMap:
            return "unknown map window";
        default:
            return nullptr;
    }
}

const CgiQueryRules kRules = {kLvMaxQueryLength, kLvMaxPairs, kLvMaxKeyLength, kLvMaxValueLength,
                              kKeyNames,         kKeyCount,   refusalOf};

}  // namespace

void lvDefaultRequest(LvRequest* req) {
    *req = LvRequest{};
    req->product = LvProduct::Time;
    req->product_name = "";
    req->interval = 0;
    req->map = "SK";
    req->layout = LvLayout::Nx1;
    req->legend = false;
    req->height = 0;
}

int lvParseQuery(const char* qs, LvRequest* req, char* reason) {
    bool seen[kKeyCount] = {};
    const auto store = [req](int k, std::string_view value) {
        return storeValue(static_cast<Key>(k), value, req);
    };
    if (cgiParseQuery(qs, kRules, store, seen, reason) != 0) {
        return -1;
    }
    if (!seen[kProduct]) {
        return cgiRefuse(reason, "no product given (product=)");
    }
    if (!seen[kTime]) {
        return cgiRefuse(reason, "no time given (tm=YYYYMMDDHHMI)");
    }
    if (seen[kHeight] && !req->legend) {
        return cgiRefuse(reason, "height= belongs to the legend (legend=1)");
    }
    if (!seen[kInterval]) {
        req->interval = req->product == LvProduct::Intensity ? 60
                        : req->product == LvProduct::Area    ? 1
                                                             : 10;
    }
    if (req->product == LvProduct::Area && req->interval > kLvMaxAreaDays) {
        return cgiRefuse(reason, "LGTAREA covers 1 to 31 days (intv=)");
    }
    return 0;
}
