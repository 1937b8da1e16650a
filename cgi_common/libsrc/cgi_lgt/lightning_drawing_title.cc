// The title of a lightning map and the completion of date strings.
#include <cstdio>
#include <cstring>
#include <string>

#include "display_utilities.h"
#include "internal/lightning_text.h"
#include "lightning_drawing.h"
#include "rdr_root.h"

namespace {

constexpr double kTitlePt = 15.0;
constexpr int kTitleBaseline = 40;

// "YYYY.MM.DD. HH:MM" of a valid YYYYMMDDHHMM string.
std::string titleTime(const char* t) {
    char out[20];
    std::snprintf(out, sizeof out, "%.4s.%.2s.%.2s. %.2s:%.2s", t, t + 4, t + 6, t + 8, t + 10);
    return out;
}

bool isDigits(const char* s, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (s[i] < '0' || s[i] > '9') {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string lgtFont(const char* szName) {
    return rdrRootPath(std::string("/srv/brem/cgi_project/resource/font/") + szName);
}

int fnImgTopTextDisp(gdImagePtr pImg, const char* szP_type, const char* szStartTime,
                     const char* szEndTime, int nLgt_intv, int nImgXdim) {
    if (pImg == nullptr || szP_type == nullptr || !lgt_text::validTime(szEndTime)) {
        return -1;
    }
    const std::string type = szP_type;
    std::string title;
    if (type == "LGTTIME" || type == "LGTINTN") {
        char interval[32];
        if (nLgt_intv > 59) {
            std::snprintf(interval, sizeof interval, "%d HOUR", nLgt_intv / 60);
        } else {
            std::snprintf(interval, sizeof interval, "%d MIN", nLgt_intv);
        }
        title = std::string("LIGHTNING ") + interval + " " + titleTime(szEndTime) + "(KST)";
    } else if (type == "LGTAREA") {
        if (!lgt_text::validTime(szStartTime)) {
            return -1;
        }
        title = "LIGHTNING " + titleTime(szStartTime) + " ~ " + titleTime(szEndTime) + "(KST)";
    } else {
        return 0;
    }
    std::string font = lgtFont("times.ttf");
    int box[8];
    if (gdImageStringFT(nullptr, box, 0, font.data(), kTitlePt, 0.0, 0, 0, title.data()) !=
        nullptr) {
        return -1;
    }
    // Resolve: a palette image whose colours are all taken still gets its closest to black.
    const int black = gdImageColorResolve(pImg, 0, 0, 0);
    const int x = (nImgXdim + box[0] - box[2]) / 2;
    if (gdImageStringFT(pImg, box, black, font.data(), kTitlePt, 0.0, x, kTitleBaseline,
                        title.data()) != nullptr) {
        return -1;
    }
    return 0;
}

time_t getConvStrToDateTime(const char* str) {
    if (str == nullptr) {
        return -1;
    }
    // The parts a string of each length lacks.
    static constexpr const char* kCompletion[] = {"0101000000", "01000000", "000000",
                                                  "0000",       "00",       ""};
    const size_t len = strnlen(str, 15);
    if (len < 4 || len > 14 || len % 2 != 0 || !isDigits(str, len)) {
        return -1;
    }
    char full[15];
    std::memcpy(full, str, len);
    std::memcpy(full + len, kCompletion[(len - 4) / 2], 14 - len);
    full[14] = '\0';
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    std::sscanf(full, "%4d%2d%2d%2d%2d%2d", &year, &month, &day, &hour, &minute, &second);
    if (month < 1 || month > 12 || day < 1 || day > fnGetLastDay(year, month) || hour > 23 ||
        minute > 59 || second > 59) {
        return -1;
    }
    struct tm t = {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return std::mktime(&t);
}
