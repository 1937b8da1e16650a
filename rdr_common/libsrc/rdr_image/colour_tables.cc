#include "colour_tables.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

constexpr int kLineLen = 1024;
constexpr int kTitleLen = 19;

// Rain values that mark a colour line as something other than an echo colour.
constexpr float kSkipLine = -9999.0f;
constexpr float kDispLineFirst = -9998.0f;  // line colour; -9997 font ... -9994 station

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

// Reads one whole line without its line end. False at end of file, and for a line too long
// for the buffer (its tail would otherwise be read as the next line).
bool readLine(FILE* f, char* buf) {
    if (std::fgets(buf, kLineLen, f) == nullptr) {
        return false;
    }
    size_t len = std::strlen(buf);
    if (len > 0 && buf[len - 1] == '\n') {
        buf[--len] = '\0';
    } else if (!std::feof(f)) {
        return false;
    }
    if (len > 0 && buf[len - 1] == '\r') {
        buf[--len] = '\0';
    }
    return true;
}

bool parseCount(const char* line, int& count) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(line, &end, 10);
    if (end == line || errno == ERANGE || v > INT_MAX || v < INT_MIN) {
        return false;
    }
    count = static_cast<int>(v);
    return true;
}

bool isChannel(int v) {
    return v >= 0 && v <= 255;
}

// One colour line: six numbers, colour channels within 0..255, finite thresholds, nothing
// but blanks after them.
bool parseColorLine(const char* line, RDR_COLOR_INFO& info) {
    int used = 0;
    if (std::sscanf(line, "%d %d %d %d %f %f%n", &info.m_iNum, &info.m_iR, &info.m_iG, &info.m_iB,
                    &info.m_fRain, &info.m_fUnit, &used) != 6) {
        return false;
    }
    for (const char* p = line + used; *p != '\0'; ++p) {
        if (*p != ' ' && *p != '\t') {
            return false;
        }
    }
    return isChannel(info.m_iR) && isChannel(info.m_iG) && isChannel(info.m_iB) &&
           std::isfinite(info.m_fRain) && std::isfinite(info.m_fUnit);
}

void copyTitle(char* dst, const char* line) {
    const size_t len = strnlen(line, kTitleLen);
    std::memcpy(dst, line, len);
    dst[len] = '\0';
}

int clampChannel(int v) {
    return v < 0 ? 0 : (v > 255 ? 255 : v);
}

// A palette image that is full answers -1: take the closest colour it already has.
int allocate(gdImagePtr pImg, const RDR_COLOR_INFO& c) {
    const int r = clampChannel(c.m_iR);
    const int g = clampChannel(c.m_iG);
    const int b = clampChannel(c.m_iB);
    const int idx = gdImageColorAllocate(pImg, r, g, b);
    return idx >= 0 ? idx : gdImageColorClosest(pImg, r, g, b);
}

}  // namespace

RDR_COLOR_TBL* fnReadColorTable(const char* szFile) {
    if (szFile == nullptr) {
        return nullptr;
    }
    char szPath[kLineLen];
    std::snprintf(szPath, sizeof szPath, "%s", szFile);
    std::unique_ptr<RDR_COLOR_TBL, FreeDeleter> table(
        static_cast<RDR_COLOR_TBL*>(std::calloc(1, sizeof(RDR_COLOR_TBL))));
    if (table == nullptr) {
        return nullptr;
    }
    FilePtr f(std::fopen(szPath, "r"));
    if (f == nullptr) {
        return nullptr;
    }
    char line[kLineLen];
    int count = 0;
    if (!readLine(f.get(), line) || !parseCount(line, count)) {
        return nullptr;
    }
    if (!readLine(f.get(), line)) {
        return nullptr;
    }
    copyTitle(table->m_szRainTitle, line);
    if (!readLine(f.get(), line)) {
        return nullptr;
    }
    copyTitle(table->m_szUnitTitle, line);

    for (int i = 0; i < count; ++i) {
        RDR_COLOR_INFO info{};
        if (!readLine(f.get(), line) || !parseColorLine(line, info)) {
            return nullptr;
        }
        if (info.m_fRain == kSkipLine) {
            continue;
        }
        bool display = false;
        for (int d = 0; d < RDR_EN_DISP_COLOR_MAX; ++d) {
            if (info.m_fRain == kDispLineFirst + static_cast<float>(d)) {
                table->m_dispColorTbl[d] = info;
                display = true;
                break;
            }
        }
        if (!display && table->m_iEchoColorCnt < RDR_MAX_ECHO_COLOR) {
            table->m_echoColorTbl[table->m_iEchoColorCnt++] = info;
        }
    }
    return table.release();
}

int fnAllocColorTbl(gdImagePtr pImg, RDR_COLOR_TBL* pColorTbl, int* echoColorBar,
                    int* dispColorBar) {
    if (pImg == nullptr || pColorTbl == nullptr) {
        return 0;
    }
    const int n = pColorTbl->m_iEchoColorCnt < 0 ? 0
                                                 : (pColorTbl->m_iEchoColorCnt > RDR_MAX_ECHO_COLOR
                                                        ? RDR_MAX_ECHO_COLOR
                                                        : pColorTbl->m_iEchoColorCnt);
    for (int i = 0; i < n; ++i) {
        const int idx = allocate(pImg, pColorTbl->m_echoColorTbl[i]);
        if (echoColorBar != nullptr) {
            echoColorBar[i] = idx;
        }
    }
    for (int d = 0; d < RDR_EN_DISP_COLOR_MAX; ++d) {
        const int idx = allocate(pImg, pColorTbl->m_dispColorTbl[d]);
        if (dispColorBar != nullptr) {
            dispColorBar[d] = idx;
        }
    }
    return 1;
}

int fnGetColorLevel(float fData, RDR_COLOR_TBL* pColorTbl, int iColorKind, float fMinValue,
                    int iMinDiffType, int iDiffType) {
    if (pColorTbl == nullptr || std::isnan(fData)) {
        return -1;
    }
    if (iMinDiffType == 0 && fData < fMinValue) {
        return -1;
    }
    if (iMinDiffType == 1 && fData <= fMinValue) {
        return -1;
    }
    if (iColorKind != RDR_EN_COLOR_RAIN && iColorKind != RDR_EN_COLOR_UNIT) {
        return -1;
    }
    const int n = pColorTbl->m_iEchoColorCnt > RDR_MAX_ECHO_COLOR ? RDR_MAX_ECHO_COLOR
                                                                  : pColorTbl->m_iEchoColorCnt;
    // A table without echo colours has nothing to draw with.
    if (n <= 0 || (iDiffType != 0 && iDiffType != 1)) {
        return -1;
    }
    const RDR_COLOR_INFO* echo = pColorTbl->m_echoColorTbl;
    const bool rain = iColorKind == RDR_EN_COLOR_RAIN;
    for (int i = 0; i < n; ++i) {
        const float t = rain ? echo[i].m_fRain : echo[i].m_fUnit;
        if (iDiffType == 0 ? fData < t : fData <= t) {
            return i;
        }
    }
    return n - 1;  // above the scale: the top colour
}
