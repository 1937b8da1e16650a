#include "lgt_request.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "display_utilities.h"
#include "lgt_map.h"

namespace {

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

bool isNameChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

bool allNameChars(std::string_view s) {
    for (char c : s) {
        if (!isNameChar(c)) {
            return false;
        }
    }
    return true;
}

// 1 to 6 digits within [lo, hi].
bool parseInt(std::string_view s, int lo, int hi, int* out) {
    if (s.empty() || s.size() > 6) {
        return false;
    }
    int v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') {
            return false;
        }
        v = v * 10 + (c - '0');
    }
    if (v < lo || v > hi) {
        return false;
    }
    *out = v;
    return true;
}

bool parseTime(std::string_view s, LvRequest* req) {
    if (s.size() != 12) {
        return false;
    }
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    if (!parseInt(s.substr(0, 4), kFirstYear, kLastYear, &year) ||
        !parseInt(s.substr(4, 2), 1, 12, &month) || !parseInt(s.substr(6, 2), 1, 31, &day) ||
        !parseInt(s.substr(8, 2), 0, 23, &hour) || !parseInt(s.substr(10, 2), 0, 59, &minute) ||
        day > fnGetLastDay(year, month)) {
        return false;
    }
    req->year = year;
    req->month = month;
    req->day = day;
    req->hour = hour;
    req->minute = minute;
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
            return parseInt(value, 1, kLvMaxIntervalMinutes, &req->interval);
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
            return parseInt(value, kLvMinLegendHeight, kLvMaxLegendHeight, &req->height);
        case kKeyCount:
            break;
    }
    return false;
}

int refuse(char* reason, const char* text) {
    std::snprintf(reason, kLvReasonSize, "%s", text);
    return -1;
}

int refuseKey(char* reason, const char* text, std::string_view key) {
    std::snprintf(reason, kLvReasonSize, "%s '%.*s'", text, static_cast<int>(key.size()),
                  key.data());
    return -1;
}

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
    reason[0] = '\0';
    if (qs == nullptr || qs[0] == '\0') {
        return refuse(reason, "empty query");
    }
    const size_t length = strnlen(qs, kLvMaxQueryLength + 1);
    if (length > kLvMaxQueryLength) {
        return refuse(reason, "query too long");
    }
    std::string_view rest(qs, length);
    bool seen[kKeyCount] = {};
    int pairs = 0;
    while (!rest.empty()) {
        const size_t amp = rest.find('&');
        const std::string_view pair = rest.substr(0, amp);
        rest = amp == std::string_view::npos ? std::string_view() : rest.substr(amp + 1);
        if (pair.empty()) {
            continue;
        }
        if (++pairs > kLvMaxPairs) {
            return refuse(reason, "too many pairs in the query");
        }
        const size_t eq = pair.find('=');
        const std::string_view key = pair.substr(0, eq);
        if (key.empty() || key.size() > kLvMaxKeyLength || !allNameChars(key)) {
            return refuse(reason, "malformed key in the query");
        }
        if (eq == std::string_view::npos || eq + 1 == pair.size()) {
            return refuseKey(reason, "no value for", key);
        }
        const std::string_view value = pair.substr(eq + 1);
        if (value.size() > kLvMaxValueLength) {
            return refuseKey(reason, "value too long for", key);
        }
        int k = 0;
        while (k < kKeyCount && key != kKeyNames[k]) {
            ++k;
        }
        if (k == kKeyCount) {
            // A page's cache breaker is ignored, but only with a plain value.
            if (!allNameChars(value)) {
                return refuseKey(reason, "malformed value for", key);
            }
            continue;
        }
        if (seen[k]) {
            return refuseKey(reason, "key given twice:", key);
        }
        seen[k] = true;
        if (!storeValue(static_cast<Key>(k), value, req)) {
            switch (k) {
                case kProduct:
                    return refuse(reason, "unknown product");
                case kTime:
                    return refuse(reason, "no such time (tm=YYYYMMDDHHMI, a real date)");
                case kMap:
                    return refuse(reason, "unknown map window");
                default:
                    return refuseKey(reason, "bad value for", key);
            }
        }
    }
    if (!seen[kProduct]) {
        return refuse(reason, "no product given (product=)");
    }
    if (!seen[kTime]) {
        return refuse(reason, "no time given (tm=YYYYMMDDHHMI)");
    }
    if (seen[kHeight] && !req->legend) {
        return refuse(reason, "height= belongs to the legend (legend=1)");
    }
    if (!seen[kInterval]) {
        req->interval = req->product == LvProduct::Intensity ? 60
                        : req->product == LvProduct::Area    ? 1
                                                             : 10;
    }
    if (req->product == LvProduct::Area && req->interval > kLvMaxAreaDays) {
        return refuse(reason, "LGTAREA covers 1 to 31 days (intv=)");
    }
    return 0;
}
