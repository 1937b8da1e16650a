#include <cstdio>
#include <cstring>
#include <string>

#include "display_utilities.h"
#include "internal/composite_text.h"
#include "rdr_root.h"

namespace comp_text {

bool sameName(const char* szName, const char* szKnown) {
    return szName != nullptr && std::strcmp(szName, szKnown) == 0;
}

bool parseDate(const char* szDate, struct tm& out) {
    if (szDate == nullptr || std::strlen(szDate) != 12) {
        return false;
    }
    int digits[12];
    for (int i = 0; i < 12; ++i) {
        if (szDate[i] < '0' || szDate[i] > '9') {
            return false;
        }
        digits[i] = szDate[i] - '0';
    }
    auto number = [&](int from, int count) {
        int v = 0;
        for (int i = from; i < from + count; ++i) {
            v = v * 10 + digits[i];
        }
        return v;
    };
    const int year = number(0, 4);
    const int month = number(4, 2);
    const int day = number(6, 2);
    const int hour = number(8, 2);
    const int minute = number(10, 2);
    if (fnGetLastDay(year, month) == 0 || day < 1 || day > fnGetLastDay(year, month) || hour > 23 ||
        minute > 59) {
        return false;
    }
    out = tm{};
    out.tm_year = year - 1900;
    out.tm_mon = month - 1;
    out.tm_mday = day;
    out.tm_hour = hour;
    out.tm_min = minute;
    out.tm_isdst = -1;
    return true;
}

std::string displayDate(const char* szDate) {
    struct tm t {};
    if (!parseDate(szDate, t)) {
        return {};
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d.%02d.%02d. %02d:%02d", t.tm_year + 1900, t.tm_mon + 1,
                  t.tm_mday, t.tm_hour, t.tm_min);
    return buf;
}

std::string fontPath(const char* szName) {
    return rdrRootPath(std::string("/srv/brem/cgi_project/resource/font/") + szName);
}

bool measure(const std::string& font, double pt, const std::string& text, int brect[8]) {
    std::string f = font;
    std::string t = text;
    return gdImageStringFT(nullptr, brect, 0, f.data(), pt, 0.0, 0, 0, t.data()) == nullptr;
}

bool draw(gdImagePtr img, const std::string& font, double pt, int colour, int x, int y,
          const std::string& text) {
    if (img == nullptr) {
        return false;
    }
    std::string f = font;
    std::string t = text;
    int brect[8];
    return gdImageStringFT(img, brect, colour, f.data(), pt, 0.0, x, y, t.data()) == nullptr;
}

bool drawCentred(gdImagePtr img, const std::string& font, double pt, int colour, int nSpan, int y,
                 const std::string& text) {
    int brect[8];
    if (!measure(font, pt, text, brect)) {
        return false;
    }
    return draw(img, font, pt, colour, (nSpan + brect[0] - brect[2]) / 2, y, text);
}

}  // namespace comp_text
