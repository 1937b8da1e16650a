#include "comp_request.h"

#include <cstdio>
#include <cstring>
#include <iterator>
#include <string_view>

#include "comp_window.h"
#include "display_query.h"
#include "display_utilities.h"

namespace {

static_assert(kCvReasonSize == kCgiReasonSize);

struct KindName {
    const char* name;
    CvKind kind;
};
constexpr KindName kKinds[] = {
    {"comp240", CvKind::Comp240}, {"comp480", CvKind::Comp480}, {"kcj", CvKind::Kcj},
    {"vsrf", CvKind::Vsrf},       {"maple", CvKind::Maple},
};

constexpr const char* kProducts[] = {"PPI", "CAPPI", "CMAX", "ETOP", "VIL"};
constexpr const char* kQualityControls[] = {"NOQC", "FUZZYQC", "ORPGQC", "CHAFFQC"};
constexpr const char* kUnits[] = {"RN", "SN", "CZ", "DZ"};

struct ViewName {
    const char* name;
    CvView view;
};
constexpr ViewName kViews[] = {
    {"echo", CvView::Echo},
    {"cells", CvView::Cells},
    {"contour", CvView::Contour},
    {"guide", CvView::Guide},
};

// Lead times: the forecast files hold one grid per hour (VSRF) or one field per ten minutes
// (MAPLE), up to six hours.
constexpr int kMaxLeadMin = 360;
constexpr int kVsrfLeadStepMin = 60;
constexpr int kMapleLeadStepMin = 10;
constexpr int kFirstYear = 1970;
constexpr int kLastYear = 2099;

// 1 to 4 digits, within [lo, hi].
bool parseCount(std::string_view s, int lo, int hi, int* out) {
    if (s.empty() || s.size() > 4 || !cgiAllDigits(s)) {
        return false;
    }
    int v = 0;
    for (char c : s) {
        v = v * 10 + (c - '0');
    }
    if (v < lo || v > hi) {
        return false;
    }
    *out = v;
    return true;
}

bool parseTime(std::string_view s, CvRequest* req) {
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
    kKind,
    kTime,
    kProduct,
    kQc,
    kUnit,
    kWindow,
    kLead,
    kView,
    kAnswer,
    kSmooth,
    kShadow,
    kCells,
    kSymbols,
    kMap,
    kLegend,
    kLon,
    kLat,
    kKeyCount
};

constexpr const char* kKeyNames[kKeyCount] = {
    "kind",   "tm",     "product", "qc",      "unit", "window", "lead", "view", "answer",
    "smooth", "shadow", "cells",   "symbols", "map",  "legend", "lon",  "lat",
};

// Stores one checked value; false when it is not valid for its key. Values that depend on
// another key (the lead's step, which differs by kind) are checked once all pairs are read.
bool storeValue(Key key, std::string_view value, CvRequest* req) {
    switch (key) {
        case kKind:
            for (const KindName& k : kKinds) {
                if (value == k.name) {
                    req->kind = k.kind;
                    req->kind_name = k.name;
                    return true;
                }
            }
            return false;
        case kTime:
            return parseTime(value, req);
        case kProduct: {
            const char* product = cgiLookupName(kProducts, value);
            req->product = product != nullptr ? product : req->product;
            return product != nullptr;
        }
        case kQc: {
            const char* qc = cgiLookupName(kQualityControls, value);
            req->qc = qc != nullptr ? qc : req->qc;
            return qc != nullptr;
        }
        case kUnit: {
            const char* unit = cgiLookupName(kUnits, value);
            req->unit = unit != nullptr ? unit : req->unit;
            return unit != nullptr;
        }
        case kWindow: {
            const int w = cvWindowIndex(value);
            req->window = w >= 0 ? w : req->window;
            return w >= 0;
        }
        case kLead:
            return parseCount(value, 0, kMaxLeadMin, &req->lead_min);
        case kView:
            for (const ViewName& v : kViews) {
                if (value == v.name) {
                    req->view = v.view;
                    return true;
                }
            }
            return false;
        case kAnswer:
            if (value == "image" || value == "point") {
                req->answer = value == "image" ? CvAnswer::Image : CvAnswer::Point;
                return true;
            }
            return false;
        case kSmooth:
            return cgiParseSwitch(value, &req->smooth);
        case kShadow:
            return cgiParseSwitch(value, &req->shadow);
        case kCells:
            return cgiParseSwitch(value, &req->cells);
        case kSymbols:
            return cgiParseSwitch(value, &req->symbols);
        case kMap:
            return cgiParseSwitch(value, &req->map);
        case kLegend:
            return cgiParseSwitch(value, &req->legend);
        case kLon:
            return cgiParseDegrees(value, 180.0, &req->lon);
        case kLat:
            return cgiParseDegrees(value, 90.0, &req->lat);
        case kKeyCount:
            break;
    }
    return false;
}

// Keys that belong to some requests only.
constexpr Key kComp240Keys[] = {kProduct, kQc, kShadow};
constexpr Key kForecastKeys[] = {kLead, kView};
constexpr Key kImageKeys[] = {kWindow, kView, kSmooth, kShadow, kCells, kSymbols, kMap, kLegend};

// The kind's and the answer's own requirements, once every pair is read.
int checkCombination(const CvRequest& req, const bool* seen, char* reason) {
    if (!seen[kKind]) {
        return cgiRefuse(reason, "no composite kind given (kind=)");
    }
    if (!seen[kTime]) {
        return cgiRefuse(reason, "no time given (tm=YYYYMMDDHHMI)");
    }
    for (Key k : kComp240Keys) {
        if (seen[k] && req.kind != CvKind::Comp240) {
            return cgiRefuseKey(reason, "only comp240 takes", kKeyNames[k]);
        }
    }
    const bool forecast = cvIsForecast(req.kind);
    for (Key k : kForecastKeys) {
        if (seen[k] && !forecast) {
            return cgiRefuseKey(reason, "only the forecasts (vsrf, maple) take", kKeyNames[k]);
        }
    }
    if (seen[kCells] && forecast) {
        return cgiRefuse(reason, "forecasts show storm cells with view=cells");
    }
    const bool point = req.answer == CvAnswer::Point;
    for (Key k : kImageKeys) {
        if (seen[k] && point) {
            return cgiRefuseKey(reason, "a point answer does not take", kKeyNames[k]);
        }
    }
    if (point != (seen[kLon] && seen[kLat])) {
        return cgiRefuse(reason, point ? "answer=point needs lon and lat"
                                       : "lon and lat belong to answer=point");
    }
    if (seen[kLon] != seen[kLat]) {
        return cgiRefuse(reason, "lon and lat come together");
    }
    const bool ownUnit = cvHasOwnUnit(req);
    if (ownUnit && seen[kUnit]) {
        return cgiRefuse(reason, "ETOP and VIL are drawn in their own unit (no unit=)");
    }
    if (ownUnit && req.cells) {
        return cgiRefuse(reason,
                         "storm cells are found in rain rate or reflectivity, not ETOP or VIL");
    }
    if (forecast && std::strcmp(req.unit, "RN") != 0) {
        return cgiRefuse(reason, "forecasts are rain rates (unit RN)");
    }
    const int step = req.kind == CvKind::Vsrf ? kVsrfLeadStepMin : kMapleLeadStepMin;
    if (forecast && req.lead_min % step != 0) {
        return cgiRefuse(reason,
                         req.kind == CvKind::Vsrf
                             ? "vsrf leads are whole hours (lead=0, 60, ... 360)"
                             : "maple leads are steps of ten minutes (lead=0, 10, ... 360)");
    }
    if (seen[kLead] && req.view == CvView::Guide) {
        return cgiRefuse(reason, "the guide view shows the leads 0, 180 and 360 (no lead=)");
    }
    return 0;
}

// The reason when a known key's value is refused; null for the plain "bad value for".
const char* refusalOf(int k) {
    switch (k) {
        case kKind:
            return "unknown composite kind";
        case kTime:
            return "no such time (tm=YYYYMMDDHHMI, a real date)";
        case kProduct:
            return "unknown product";
        case kUnit:
            return "unknown unit";
        case kWindow:
            return "unknown window";
        default:
            return nullptr;
    }
}

const CgiQueryRules kRules = {kCvMaxQueryLength, kCvMaxPairs, kCvMaxKeyLength, kCvMaxValueLength,
                              kKeyNames,         kKeyCount,   refusalOf};

}  // namespace

void cvDefaultRequest(CvRequest* req) {
    *req = CvRequest{};
    req->kind = CvKind::Comp240;
    req->kind_name = "";
    req->product = "CAPPI";
    req->qc = "NOQC";
    req->unit = "RN";
    req->window = 0;
    req->lead_min = 0;
    req->view = CvView::Echo;
    req->answer = CvAnswer::Image;
    req->smooth = true;
    req->shadow = false;
    req->cells = false;
    req->symbols = false;
    req->map = true;
    req->legend = true;
}

int cvParseQuery(const char* qs, CvRequest* req, char* reason) {
    bool seen[kKeyCount] = {};
    const auto store = [req](int k, std::string_view value) {
        return storeValue(static_cast<Key>(k), value, req);
    };
    if (cgiParseQuery(qs, kRules, store, seen, reason) != 0) {
        return -1;
    }
    return checkCombination(*req, seen, reason);
}

bool cvWantsText(const char* qs) {
    if (qs == nullptr) {
        return false;
    }
    std::string_view rest(qs, strnlen(qs, kCvMaxQueryLength + 1));
    while (!rest.empty()) {
        const size_t amp = rest.find('&');
        if (rest.substr(0, amp) == "answer=point") {
            return true;
        }
        rest = amp == std::string_view::npos ? std::string_view() : rest.substr(amp + 1);
    }
    return false;
}

bool cvHasOwnUnit(const CvRequest& req) {
    return req.kind == CvKind::Comp240 &&
           (std::strcmp(req.product, "ETOP") == 0 || std::strcmp(req.product, "VIL") == 0);
}

bool cvIsForecast(CvKind kind) {
    return kind == CvKind::Vsrf || kind == CvKind::Maple;
}

int cvKindCount() {
    return static_cast<int>(std::size(kKinds));
}

const char* cvKindName(int i) {
    return i >= 0 && i < cvKindCount() ? kKinds[i].name : nullptr;
}

int cvUnitCount() {
    return static_cast<int>(std::size(kUnits));
}

const char* cvUnitName(int i) {
    return i >= 0 && i < cvUnitCount() ? kUnits[i] : nullptr;
}

bool cvIsReflectivityUnit(const char* unit) {
    return std::strcmp(unit, "CZ") == 0 || std::strcmp(unit, "DZ") == 0;
}
