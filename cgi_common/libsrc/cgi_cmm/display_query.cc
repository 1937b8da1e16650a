#include "display_query.h"

#include <cstdio>
#include <cstring>

#include "display_utilities.h"

bool cgiIsNameChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

bool cgiAllNameChars(std::string_view s) {
    for (char c : s) {
        if (!cgiIsNameChar(c)) {
            return false;
        }
    }
    return true;
}

bool cgiAllDigits(std::string_view s) {
    for (char c : s) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

bool cgiParseInt(std::string_view s, int lo, int hi, int* out) {
    const bool negative = !s.empty() && s[0] == '-';
    if (negative) {
        s.remove_prefix(1);
    }
    if (s.empty() || s.size() > 6 || !cgiAllDigits(s)) {
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

bool cgiParseDegrees(std::string_view s, double limit, double* out) {
    const bool negative = !s.empty() && s[0] == '-';
    if (negative) {
        s.remove_prefix(1);
    }
    const size_t dot = s.find('.');
    const std::string_view whole = s.substr(0, dot);
    const std::string_view fraction = dot == std::string_view::npos ? "" : s.substr(dot + 1);
    if (whole.empty() || whole.size() > 3 || !cgiAllDigits(whole) ||
        (dot != std::string_view::npos && (fraction.empty() || fraction.size() > 6)) ||
        !cgiAllDigits(fraction)) {
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

bool cgiParseSwitch(std::string_view s, bool* out) {
    if (s != "0" && s != "1") {
        return false;
    }
    *out = s == "1";
    return true;
}

bool cgiParseTime(std::string_view s, int firstYear, int lastYear, CgiTime* out) {
    if (s.size() != 12 || !cgiAllDigits(s)) {
        return false;
    }
    auto num = [&](size_t at, size_t n) {
        int v = 0;
        for (size_t k = at; k < at + n; ++k) {
            v = v * 10 + (s[k] - '0');
        }
        return v;
    };
    const CgiTime t{num(0, 4), num(4, 2), num(6, 2), num(8, 2), num(10, 2)};
    if (t.year < firstYear || t.year > lastYear || t.month < 1 || t.month > 12 || t.day < 1 ||
        t.day > fnGetLastDay(t.year, t.month) || t.hour > 23 || t.minute > 59) {
        return false;
    }
    *out = t;
    return true;
}

int cgiRefuse(char* reason, const char* text) {
    std::snprintf(reason, kCgiReasonSize, "%s", text);
    return -1;
}

int cgiRefuseKey(char* reason, const char* text, std::string_view key) {
    std::snprintf(reason, kCgiReasonSize, "%s '%.*s'", text, static_cast<int>(key.size()),
                  key.data());
    return -1;
}

int cgiParseQuery(const char* szQuery, const CgiQueryRules& rules,
                  const std::function<bool(int, std::string_view)>& store, bool* seen,
                  char* reason) {
    reason[0] = '\0';
    if (szQuery == nullptr || szQuery[0] == '\0') {
        return cgiRefuse(reason, "empty query");
    }
    // strnlen: a client's overlong query is never walked past the bound.
    const size_t length = strnlen(szQuery, rules.maxQueryLength + 1);
    if (length > rules.maxQueryLength) {
        return cgiRefuse(reason, "query too long");
    }
    std::string_view rest(szQuery, length);
    int pairs = 0;
    while (!rest.empty()) {
        const size_t amp = rest.find('&');
        const std::string_view pair = rest.substr(0, amp);
        rest = amp == std::string_view::npos ? std::string_view() : rest.substr(amp + 1);
        if (pair.empty()) {
            continue;
        }
        if (++pairs > rules.maxPairs) {
            return cgiRefuse(reason, "too many pairs in the query");
        }
        const size_t eq = pair.find('=');
        const std::string_view key = pair.substr(0, eq);
        if (key.empty() || key.size() > rules.maxKeyLength || !cgiAllNameChars(key)) {
            return cgiRefuse(reason, "malformed key in the query");
        }
        if (eq == std::string_view::npos || eq + 1 == pair.size()) {
            return cgiRefuseKey(reason, "no value for", key);
        }
        const std::string_view value = pair.substr(eq + 1);
        if (value.size() > rules.maxValueLength) {
            return cgiRefuseKey(reason, "value too long for", key);
        }
        int k = 0;
        while (k < rules.keyCount && key != rules.keys[k]) {
            ++k;
        }
        if (k == rules.keyCount) {
            // Unknown keys pass only with a plain value: nothing else reaches the logs.
            if (!cgiAllNameChars(value)) {
                return cgiRefuseKey(reason, "malformed value for", key);
            }
            continue;
        }
        if (seen[k]) {
            return cgiRefuseKey(reason, "key given twice:", key);
        }
        seen[k] = true;
        if (!store(k, value)) {
            const char* szRefusal = rules.refusalOf != nullptr ? rules.refusalOf(k) : nullptr;
            return szRefusal != nullptr ? cgiRefuse(reason, szRefusal)
                                        : cgiRefuseKey(reason, "bad value for", key);
        }
    }
    return 0;
}
