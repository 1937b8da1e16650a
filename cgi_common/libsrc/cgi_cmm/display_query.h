// The query string of a CGI program, split and checked the one way every program of the
// web site does it: bounded length and pair count, keys of [A-Za-z0-9_] only, one value per
// key, values bounded; keys the program does not know (a page's cache breaker) are ignored
// when their value is a plain name. The program says which keys it knows and takes each
// value; the reasons for a refusal are plain words, never the offending value.
#ifndef CGI_DISPLAY_QUERY_H
#define CGI_DISPLAY_QUERY_H

#include <cstddef>
#include <functional>
#include <string_view>

// Size of every refusal reason buffer.
constexpr size_t kCgiReasonSize = 96;

struct CgiQueryRules {
    size_t maxQueryLength;
    int maxPairs;
    size_t maxKeyLength;
    size_t maxValueLength;
    const char* const* keys;  // the keys the program knows
    int keyCount;
    // The reason when key k's value is refused; null gives "bad value for 'KEY'".
    const char* (*refusalOf)(int k);
};

bool cgiIsNameChar(char c);
bool cgiAllNameChars(std::string_view s);
bool cgiAllDigits(std::string_view s);

// Values of a query, each false when the text is not exactly of its form:
// an optional '-' and 1 to 6 digits within [lo, hi];
bool cgiParseInt(std::string_view s, int lo, int hi, int* out);
// degrees: an optional '-', 1 to 3 digits, optionally '.' and 1 to 6 digits, within
// [-limit, limit];
bool cgiParseDegrees(std::string_view s, double limit, double* out);
// "0" or "1";
bool cgiParseSwitch(std::string_view s, bool* out);
// YYYYMMDDHHMI of a date that exists, its year within [firstYear, lastYear].
struct CgiTime {
    int year, month, day, hour, minute;
};
bool cgiParseTime(std::string_view s, int firstYear, int lastYear, CgiTime* out);

// Finds s in a table of names and returns the table's own string, so that nothing the
// client sent is kept; null when it is not there.
template <size_t N>
const char* cgiLookupName(const char* const (&table)[N], std::string_view s) {
    for (const char* name : table) {
        if (s == name) {
            return name;
        }
    }
    return nullptr;
}

// Writes text into reason (kCgiReasonSize bytes); returns -1, the refusal result.
int cgiRefuse(char* reason, const char* text);
// The same with a key named after the text: keys are checked to be short names first.
int cgiRefuseKey(char* reason, const char* text, std::string_view key);

// Calls store(k, value) for each pair whose key is rules.keys[k] and marks seen[k] (an array
// of rules.keyCount flags, cleared by the caller). 0 when every pair was taken; -1 with the
// reason at the first one refused (what was stored before stays).
int cgiParseQuery(const char* szQuery, const CgiQueryRules& rules,
                  const std::function<bool(int, std::string_view)>& store, bool* seen,
                  char* reason);

#endif
