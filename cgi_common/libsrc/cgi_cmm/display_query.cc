#include "display_query.h"

#include <cstdio>
#include <cstring>

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
