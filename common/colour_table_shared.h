// The colour-file logic both libraries build their colour tables from: parsing a ".col"
// file, allocating its colours in a palette image and the threshold search. Each library
// instantiates these templates for its own table type (RDR_COLOR_TBL in the radar core,
// CGI_COLOR_TBL in the display library); the tables differ only in their echo capacity.
//
// A table type has m_szRainTitle[20], m_szUnitTitle[20], m_iEchoColorCnt,
// m_dispColorTbl[5] and m_echoColorTbl[capacity] of an entry type with m_iNum, m_iR, m_iG,
// m_iB, m_fRain and m_fUnit. Internal to the two libraries: programs use the libraries'
// own functions.
#ifndef RDR_COLOUR_TABLE_SHARED_H
#define RDR_COLOUR_TABLE_SHARED_H

#include <gd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <type_traits>
#include <utility>

#include "owned_handle.h"

namespace colour_table_shared {

constexpr int kLineLen = 1024;
constexpr int kTitleLen = 19;
constexpr int kDisplayColours = 5;

// Columns a value is compared against.
constexpr int kRainColumn = 0;
constexpr int kUnitColumn = 1;

// Rain values that mark a colour line as something other than an echo colour.
constexpr float kSkipLine = -9999.0f;
constexpr float kDispLineFirst = -9998.0f;  // line colour; -9997 font ... -9994 station

using FileCloser = rdr::ReleaseWith<rdr::closeStdio>;
using FilePtr = std::unique_ptr<FILE, FileCloser>;

using FreeDeleter = rdr::ReleaseWith<rdr::freeMemory>;

// Reads one whole line without its line end. False at end of file, and for a line too long
// for the buffer (its tail would otherwise be read as the next line).
inline bool readLine(FILE* f, char* buf) {
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

inline bool parseCount(const char* line, int& count) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(line, &end, 10);
    if (end == line || errno == ERANGE || v > INT_MAX || v < INT_MIN) {
        return false;
    }
    count = static_cast<int>(v);
    return true;
}

inline bool isChannel(int v) {
    return v >= 0 && v <= 255;
}

// One colour line: six numbers, colour channels within 0..255, finite thresholds, nothing
// but blanks after them.
template <class Info>
bool parseColorLine(const char* line, Info& info) {
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

inline void copyTitle(char* dst, const char* line) {
    const size_t len = strnlen(line, kTitleLen);
    std::memcpy(dst, line, len);
    dst[len] = '\0';
}

template <class Table>
constexpr int echoCapacity() {
    return static_cast<int>(sizeof(Table::m_echoColorTbl) / sizeof(Table::m_echoColorTbl[0]));
}

// Echo colours actually usable: the count clamped to the table's capacity.
template <class Table>
int echoCount(const Table& table) {
    const int n = table.m_iEchoColorCnt;
    return n < 0 ? 0 : (n > echoCapacity<Table>() ? echoCapacity<Table>() : n);
}

// Reads a colour file into a zero-filled heap table the caller releases with free(); null
// for a null path, a missing file or a malformed one.
template <class Table>
Table* readColourFile(const char* szFile) {
    using Info = std::remove_cvref_t<decltype(std::declval<Table&>().m_echoColorTbl[0])>;
    static_assert(sizeof(Table::m_dispColorTbl) / sizeof(Table::m_dispColorTbl[0]) ==
                  kDisplayColours);
    if (szFile == nullptr) {
        return nullptr;
    }
    char szPath[kLineLen];
    std::snprintf(szPath, sizeof szPath, "%s", szFile);
    std::unique_ptr<Table, FreeDeleter> table(static_cast<Table*>(std::calloc(1, sizeof(Table))));
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
        Info info{};
        if (!readLine(f.get(), line) || !parseColorLine(line, info)) {
            return nullptr;
        }
        if (info.m_fRain == kSkipLine) {
            continue;
        }
        bool display = false;
        for (int d = 0; d < kDisplayColours; ++d) {
            if (info.m_fRain == kDispLineFirst + static_cast<float>(d)) {
                table->m_dispColorTbl[d] = info;
                display = true;
                break;
            }
        }
        if (!display && table->m_iEchoColorCnt < echoCapacity<Table>()) {
            table->m_echoColorTbl[table->m_iEchoColorCnt++] = info;
        }
    }
    return table.release();
}

inline int clampChannel(int v) {
    return v < 0 ? 0 : (v > 255 ? 255 : v);
}

// A palette image that is full answers -1: take the closest colour it already has.
template <class Info>
int allocateColour(gdImagePtr pImg, const Info& c) {
    const int r = clampChannel(c.m_iR);
    const int g = clampChannel(c.m_iG);
    const int b = clampChannel(c.m_iB);
    const int idx = gdImageColorAllocate(pImg, r, g, b);
    return idx >= 0 ? idx : gdImageColorClosest(pImg, r, g, b);
}

// Echo colours into echoColorBar[0 .. n-1], then the display colours into dispColorBar[0..4].
// False for a null image or table.
template <class Table>
bool allocateColours(gdImagePtr pImg, const Table* pColorTbl, int* echoColorBar,
                     int* dispColorBar) {
    if (pImg == nullptr || pColorTbl == nullptr) {
        return false;
    }
    const int n = echoCount(*pColorTbl);
    for (int i = 0; i < n; ++i) {
        const int idx = allocateColour(pImg, pColorTbl->m_echoColorTbl[i]);
        if (echoColorBar != nullptr) {
            echoColorBar[i] = idx;
        }
    }
    for (int d = 0; d < kDisplayColours; ++d) {
        const int idx = allocateColour(pImg, pColorTbl->m_dispColorTbl[d]);
        if (dispColorBar != nullptr) {
            dispColorBar[d] = idx;
        }
    }
    return true;
}

// How a build answers the search modes beyond 0 and 1.
struct LevelRules {
    bool lowerBoundMode;  // mode 2: colour i covers (t(i), t(i+1)]
    int otherModeResult;  // any other mode
};

// Echo colour index of a value, or -1 when the cell is not drawn. An empty table, a NaN
// value or a column other than rain/unit give -1: there is no colour to draw them with.
template <class Table>
int colourLevel(float fData, const Table* pColorTbl, int iColorKind, float fMinValue,
                int iMinDiffType, int iDiffType, LevelRules rules) {
    if (pColorTbl == nullptr || std::isnan(fData)) {
        return -1;
    }
    if (iMinDiffType == 0 && fData < fMinValue) {
        return -1;
    }
    if (iMinDiffType == 1 && fData <= fMinValue) {
        return -1;
    }
    if (iColorKind != kRainColumn && iColorKind != kUnitColumn) {
        return -1;
    }
    const int n = echoCount(*pColorTbl);
    if (n <= 0) {
        return -1;
    }
    const auto* echo = pColorTbl->m_echoColorTbl;
    const bool rain = iColorKind == kRainColumn;
    auto threshold = [&](int i) { return rain ? echo[i].m_fRain : echo[i].m_fUnit; };
    if (iDiffType == 0 || iDiffType == 1) {
        for (int i = 0; i < n; ++i) {
            if (iDiffType == 0 ? fData < threshold(i) : fData <= threshold(i)) {
                return i;
            }
        }
        return n - 1;  // above the scale: the top colour
    }
    if (iDiffType == 2 && rules.lowerBoundMode) {
        for (int i = n - 1; i >= 0; --i) {
            if (fData > threshold(i)) {
                return i;
            }
        }
        return 0;  // at or below the lowest threshold: the lowest colour
    }
    return rules.otherModeResult;
}

}  // namespace colour_table_shared

#endif
