// Columns, times and numbers of the strike lines (internal/lightning_text.h).
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "display_utilities.h"
#include "internal/lightning_text.h"

namespace lgt_text {

namespace {

// Character classes of the column splitter.
constexpr unsigned char kPlainChar = 0;
constexpr unsigned char kBlankChar = 1;
constexpr unsigned char kOpenChar = 2;
constexpr unsigned char kCloseChar = 3;

struct CharClasses {
    unsigned char of[256] = {};
    constexpr CharClasses() {
        of[static_cast<unsigned char>(' ')] = kBlankChar;
        of[static_cast<unsigned char>('\t')] = kBlankChar;
        of[static_cast<unsigned char>('(')] = kOpenChar;
        of[static_cast<unsigned char>(')')] = kCloseChar;
    }
};
constexpr CharClasses kClasses;

unsigned char charClass(char c) {
    return kClasses.of[static_cast<unsigned char>(c)];
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// minDigits to maxDigits digits, the whole of s.
bool digits(std::string_view s, size_t minDigits, size_t maxDigits, int* out) {
    if (s.size() < minDigits || s.size() > maxDigits) {
        return false;
    }
    int v = 0;
    for (char c : s) {
        if (!isDigit(c)) {
            return false;
        }
        v = v * 10 + (c - '0');
    }
    *out = v;
    return true;
}

void put2(char* out, int v) {
    out[0] = static_cast<char>('0' + v / 10);
    out[1] = static_cast<char>('0' + v % 10);
}

bool realDate(int year, int month, int day, int hour, int minute) {
    return year >= 1900 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
           day <= fnGetLastDay(year, month) && hour >= 0 && hour <= 23 && minute >= 0 &&
           minute <= 59;
}

bool writeTime(int year, int month, int day, int hour, int minute, char* out) {
    if (!realDate(year, month, day, hour, minute)) {
        return false;
    }
    put2(out, year / 100);
    put2(out + 2, year % 100);
    put2(out + 4, month);
    put2(out + 6, day);
    put2(out + 8, hour);
    put2(out + 10, minute);
    return true;
}

// "H:MM" or "HH:MM" at the start of a time column (seconds and fractions may follow).
bool hourMinute(std::string_view s, int* hour, int* minute) {
    const size_t colon = s.find(':');
    if (colon == std::string_view::npos || s.size() < colon + 3) {
        return false;
    }
    if (s.size() > colon + 3 && isDigit(s[colon + 3])) {
        return false;  // more than two minute digits
    }
    return digits(s.substr(0, colon), 1, 2, hour) && digits(s.substr(colon + 1, 2), 2, 2, minute);
}

void copyText(std::string_view s, char* out) {
    const size_t n = s.size() < LGT_TEXT_LEN - 1 ? s.size() : LGT_TEXT_LEN - 1;
    std::memcpy(out, s.data(), n);
    out[n] = '\0';
}

constexpr double kPow10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                             1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

// Anything the fast path does not take (exponents, long mantissas): the C library, on a
// terminated copy, the whole column or nothing.
bool parseFloatSlow(std::string_view s, float* out) {
    if (s.empty() || s.size() > 64) {
        return false;
    }
    char buf[65];
    std::memcpy(buf, s.data(), s.size());
    buf[s.size()] = '\0';
    for (size_t i = 0; i < s.size(); ++i) {
        const char c = buf[i];
        if (!isDigit(c) && c != '.' && c != '-' && c != '+' && c != 'e' && c != 'E') {
            return false;  // no "nan", "inf" or hexadecimal
        }
    }
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(buf, &end);
    if (end != buf + s.size() || errno == ERANGE || !std::isfinite(static_cast<float>(v))) {
        return false;
    }
    *out = static_cast<float>(v);
    return true;
}

}  // namespace

int splitColumnsScalar(std::string_view line, std::string_view* columns, int maxColumns) {
    const char* p = line.data();
    const char* const end = p + line.size();
    int n = 0;
    while (n < maxColumns) {
        while (p < end && charClass(*p) == kBlankChar) {
            ++p;
        }
        if (p == end) {
            break;
        }
        const char* start = p;
        int depth = 0;
        while (p < end) {
            // Most columns hold neither blanks nor parentheses: skip them in one tight loop.
            while (p < end && charClass(*p) == kPlainChar) {
                ++p;
            }
            if (p == end) {
                break;
            }
            const int cls = charClass(*p);
            if (cls == kOpenChar) {
                ++depth;
            } else if (cls == kCloseChar) {
                depth -= depth > 0;
            } else if (depth == 0) {
                // A word and the parenthesised group after it are one column:
                // "POINT (127.1 37.5)".
                const char* q = p;
                while (q < end && charClass(*q) == kBlankChar) {
                    ++q;
                }
                if (q == end || *q != '(') {
                    break;
                }
                p = q;
                continue;
            }
            ++p;
        }
        columns[n++] = std::string_view(start, static_cast<size_t>(p - start));
    }
    return n;
}

#ifdef __SSE2__
// The same columns, found from the blanks and parentheses only: sixteen bytes at a time
// are searched for them, and the characters between are never looked at one by one.
int splitColumns(std::string_view line, std::string_view* columns, int maxColumns) {
    const char* const s = line.data();
    const size_t n = line.size();
    if (maxColumns <= 0) {
        return 0;
    }
    int count = 0;
    size_t start = 0;
    bool inColumn = n > 0 && charClass(s[0]) == kPlainChar;
    int depth = 0;
    size_t skipTo = 0;  // blanks before a group that joins the column are passed over
    // Handles the blank or parenthesis at i; false once maxColumns columns are found.
    auto event = [&](size_t i) {
        if (i < skipTo) {
            return true;
        }
        const unsigned char cls = charClass(s[i]);
        if (cls != kBlankChar) {
            if (!inColumn) {
                inColumn = true;
                start = i;
            }
            depth = cls == kOpenChar ? depth + 1 : depth - (depth > 0);
            return true;
        }
        if (inColumn) {
            if (depth > 0) {
                return true;
            }
            size_t q = i + 1;
            while (q < n && charClass(s[q]) == kBlankChar) {
                ++q;
            }
            if (q < n && s[q] == '(') {
                skipTo = q;
                return true;
            }
            columns[count++] = std::string_view(s + start, i - start);
            inColumn = false;
            if (count == maxColumns) {
                return false;
            }
        }
        if (i + 1 < n && charClass(s[i + 1]) == kPlainChar) {
            inColumn = true;
            start = i + 1;
        }
        return true;
    };
    const __m128i blank = _mm_set1_epi8(' ');
    const __m128i tab = _mm_set1_epi8('\t');
    const __m128i open = _mm_set1_epi8('(');
    const __m128i close = _mm_set1_epi8(')');
    for (size_t off = 0; off < n; off += 16) {
        unsigned mask = 0;
        if (n - off >= 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + off));
            const __m128i hit =
                _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, blank), _mm_cmpeq_epi8(v, tab)),
                             _mm_or_si128(_mm_cmpeq_epi8(v, open), _mm_cmpeq_epi8(v, close)));
            mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
        } else {
            for (size_t k = 0; off + k < n; ++k) {
                mask |= static_cast<unsigned>(charClass(s[off + k]) != kPlainChar) << k;
            }
        }
        while (mask != 0) {
            const size_t i = off + static_cast<size_t>(__builtin_ctz(mask));
            mask &= mask - 1;
            if (!event(i)) {
                return count;
            }
        }
    }
    if (inColumn) {
        columns[count++] = std::string_view(s + start, n - start);
    }
    return count;
}
#else
int splitColumns(std::string_view line, std::string_view* columns, int maxColumns) {
    return splitColumnsScalar(line, columns, maxColumns);
}
#endif

bool parseInt(std::string_view s, int* out) {
    bool negative = false;
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    if (s.empty() || s.size() > 10) {
        return false;
    }
    long long v = 0;
    for (char c : s) {
        if (!isDigit(c)) {
            return false;
        }
        v = v * 10 + (c - '0');
    }
    v = negative ? -v : v;
    if (v < INT_MIN || v > INT_MAX) {
        return false;
    }
    *out = static_cast<int>(v);
    return true;
}

bool parseFloat(std::string_view s, float* out) {
    const std::string_view whole = s;
    bool negative = false;
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    // Fast path: up to 15 significant digits with an optional point, exact in a double
    // before the one division.
    unsigned long long mantissa = 0;
    size_t nDigits = 0;
    size_t nFraction = 0;
    bool point = false;
    for (char c : s) {
        if (isDigit(c)) {
            mantissa = mantissa * 10 + static_cast<unsigned>(c - '0');
            nFraction += point;
            if (++nDigits > 15) {
                return parseFloatSlow(whole, out);
            }
        } else if (c == '.' && !point) {
            point = true;
        } else {
            return parseFloatSlow(whole, out);
        }
    }
    if (nDigits == 0) {
        return false;
    }
    const double v = static_cast<double>(mantissa) / kPow10[nFraction];
    *out = static_cast<float>(negative ? -v : v);
    return true;
}

bool validTime(const char* s) {
    if (s == nullptr || strnlen(s, kTimeLen + 1) != kTimeLen) {
        return false;
    }
    const std::string_view t(s, kTimeLen);
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    return digits(t.substr(0, 4), 4, 4, &year) && digits(t.substr(4, 2), 2, 2, &month) &&
           digits(t.substr(6, 2), 2, 2, &day) && digits(t.substr(8, 2), 2, 2, &hour) &&
           digits(t.substr(10, 2), 2, 2, &minute) && realDate(year, month, day, hour, minute);
}

bool parseTime(const char* s, struct tm* out) {
    if (!validTime(s)) {
        return false;
    }
    auto num = [&](int at, int n) {
        int v = 0;
        for (int k = at; k < at + n; ++k) {
            v = v * 10 + (s[k] - '0');
        }
        return v;
    };
    *out = {};
    out->tm_year = num(0, 4) - 1900;
    out->tm_mon = num(4, 2) - 1;
    out->tm_mday = num(6, 2);
    out->tm_hour = num(8, 2);
    out->tm_min = num(10, 2);
    out->tm_isdst = -1;
    return true;
}

bool vyqTime(const std::string_view* columns, char* out) {
    // MM/DD/YY: two-digit years are of this century; a four-digit year is taken as written.
    const std::string_view date = columns[LGT_VYQ_DATE];
    const size_t slash1 = date.find('/');
    const size_t slash2 = slash1 == std::string_view::npos ? slash1 : date.find('/', slash1 + 1);
    if (slash2 == std::string_view::npos) {
        return false;
    }
    int month = 0, day = 0, year = 0, hour = 0, minute = 0;
    const std::string_view yearText = date.substr(slash2 + 1);
    if (!digits(date.substr(0, slash1), 1, 2, &month) ||
        !digits(date.substr(slash1 + 1, slash2 - slash1 - 1), 1, 2, &day) ||
        !(yearText.size() == 2 || yearText.size() == 4) || !digits(yearText, 2, 4, &year) ||
        !hourMinute(columns[LGT_VYQ_TIME], &hour, &minute)) {
        return false;
    }
    if (yearText.size() == 2) {
        year += 2000;
    }
    return writeTime(year, month, day, hour, minute, out);
}

bool nx1Time(const std::string_view* columns, char* out) {
    const std::string_view date = columns[LGT_NX1_DATE];
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    if (date.size() != 10 || date[4] != '-' || date[7] != '-' ||
        !digits(date.substr(0, 4), 4, 4, &year) || !digits(date.substr(5, 2), 2, 2, &month) ||
        !digits(date.substr(8, 2), 2, 2, &day) ||
        !hourMinute(columns[LGT_NX1_TIME], &hour, &minute)) {
        return false;
    }
    return writeTime(year, month, day, hour, minute, out);
}

bool nx1Id(const std::string_view* columns, int* out) {
    return parseInt(columns[LGT_NX1_STRKES_ID], out);
}

bool fillVyq(const std::string_view* columns, const char* time, LGT_VYQ_DATA* rec) {
    std::memcpy(rec->m_szDateTime, time, kTimeLen);
    rec->m_szDateTime[kTimeLen] = '\0';
    rec->m_cType = columns[LGT_VYQ_TYPE][0];
    return parseFloat(columns[LGT_VYQ_LAT], &rec->m_fLat) &&
           parseFloat(columns[LGT_VYQ_LON], &rec->m_fLon) &&
           parseFloat(columns[LGT_VYQ_IMPACT], &rec->m_fImpact) &&
           parseInt(columns[LGT_VYQ_N_SENSOR], &rec->m_nSensor);
}

bool fillNx1(const std::string_view* columns, const char* time, LGT_NX1_DATA* rec) {
    std::memcpy(rec->m_szDateTime, time, kTimeLen);
    rec->m_szDateTime[kTimeLen] = '\0';
    copyText(columns[LGT_NX1_WKT], rec->m_szWKT_info);
    copyText(columns[LGT_NX1_FLASH_ID], rec->m_szFlash_id);
    rec->m_cType = columns[LGT_NX1_TYPE][0];
    if (!parseInt(columns[LGT_NX1_STRKES_ID], &rec->m_nStrkes_id) ||
        !parseInt(columns[LGT_NX1_NSFRAC], &rec->m_nNsfrac) ||
        !parseFloat(columns[LGT_NX1_LON], &rec->m_fLon) ||
        !parseFloat(columns[LGT_NX1_LAT], &rec->m_fLat) ||
        !parseFloat(columns[LGT_NX1_ALTITUDE], &rec->m_fAltitude) ||
        !parseFloat(columns[LGT_NX1_IMPACT], &rec->m_fImpact) ||
        !parseFloat(columns[LGT_NX1_ERR_RADIUS], &rec->m_fErrRadius) ||
        !parseInt(columns[LGT_NX1_N_SENSOR], &rec->m_nSensor) ||
        !parseInt(columns[LGT_NX1_QUALITY], &rec->m_nQuality)) {
        return false;
    }
    for (int k = 0; k < 8; ++k) {
        if (!parseInt(columns[LGT_NX1_SENOSR_NUM1 + k], &rec->m_rgnSensorNum[k])) {
            return false;
        }
    }
    return true;
}

}  // namespace lgt_text
