#include "time_seq.h"

#include <ctime>

namespace {
constexpr int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
}

int pv_days_in_month(int YY, int MM) {
    if (MM < 1 || MM > 12) {
        return 0;
    }
    return (MM == 2 && YY % 4 == 0) ? 29 : kMonthDays[MM - 1];
}

int get_time(int* YY, int* MM, int* DD, int* HH, int* MI, int* SS) {
    std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    *YY = t.tm_year < 50 ? t.tm_year + 2000 : t.tm_year + 1900;
    *MM = t.tm_mon + 1;
    *DD = t.tm_mday;
    *HH = t.tm_hour;
    *MI = t.tm_min;
    *SS = t.tm_sec;
    return 0;
}

int time2seq(int YY, int MM, int DD, int HH, int MI, char mode) {
    int days = (YY - 1900) * 365 + (YY - 1897) / 4;
    for (int m = 1; m < MM && m <= 12; m++) {
        days += kMonthDays[m - 1];
    }
    if (MM > 2 && YY % 4 == 0) {
        days += 1;
    }
    days += DD - 1;
    if (mode == 'h') {
        return days * 24 + HH;
    }
    if (mode == 'm') {
        return (days * 24 + HH) * 60 + MI;
    }
    return days;
}

int seq2time(int seq, int* YY, int* MM, int* DD, int* HH, int* MI, char mode, char mode2) {
    int rest = seq;
    *MI = 0;
    *HH = 0;
    if (mode == 'm') {
        *MI = rest % 60;
        rest /= 60;
    }
    if (mode == 'm' || mode == 'h') {
        *HH = rest % 24;
        rest /= 24;
        if (mode2 == 'y' && *HH == 0 && *MI == 0) {
            *HH = 24;
            rest -= 1;
        }
    }
    // Blocks of 1461 days start at 1900, a leap year by the rule above (475 * 4 = 1900).
    int days = rest;
    *YY = (days / 1461 + 475) * 4;
    int r = days % 1461;
    if (r > 365) {
        r -= 366;
        *YY += r / 365 + 1;
        r %= 365;
    }
    r += 1;
    int m = 1;
    while (m <= 12) {
        int len = pv_days_in_month(*YY, m);
        if (r <= len) {
            break;
        }
        r -= len;
        m++;
    }
    *MM = m;
    *DD = r;
    return 0;
}
