#include "display_utilities.h"

#include <gd.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "owned_handle.h"

namespace {

constexpr int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

// Normalises a broken-down local time, letting mktime decide whether daylight-saving time
// is in force at the resulting wall-clock time. False when it cannot be represented.
bool normalise(struct tm& tm) {
    tm.tm_isdst = -1;
    const time_t t = std::mktime(&tm);
    if (t == static_cast<time_t>(-1)) {
        return false;
    }
    struct tm out {};
    if (localtime_r(&t, &out) == nullptr) {
        return false;
    }
    tm = out;
    return true;
}

// Moves the calendar month by nAddMonth, keeping the day (clamped to the month's length)
// and the time of day.
struct tm shiftMonths(struct tm in, long long nAddMonth) {
    const long long months = static_cast<long long>(in.tm_year) * 12 + in.tm_mon + nAddMonth;
    long long year = months / 12;
    long long mon = months % 12;
    if (mon < 0) {
        mon += 12;
        --year;
    }
    if (year + 1900 > INT_MAX / 2 || year + 1900 < INT_MIN / 2) {
        return in;
    }
    struct tm out = in;
    out.tm_year = static_cast<int>(year);
    out.tm_mon = static_cast<int>(mon);
    const int lastDay = fnGetLastDay(out.tm_year + 1900, out.tm_mon + 1);
    if (lastDay > 0 && out.tm_mday > lastDay) {
        out.tm_mday = lastDay;
    }
    return normalise(out) ? out : in;
}

template <class Convert>
int convertGrid(float** data, int nYDim, int nXDim, float fOutBound, float fBadValue,
                Convert convert) {
    if (data == nullptr || nYDim < 0 || nXDim < 0) {
        return -1;
    }
    for (int y = 0; y < nYDim; ++y) {
        float* row = data[y];
        if (row == nullptr) {
            return -1;
        }
        for (int x = 0; x < nXDim; ++x) {
            const float v = row[x];
            if (v == fOutBound || v == fBadValue) {
                continue;
            }
            row[x] = v > 0.0f ? convert(v) : fBadValue;
        }
    }
    return 0;
}

// Rows are followed by a null entry, so the release can find the real end of the array.
template <class T>
T** makeMatrix(int nYDim, int nXDim) {
    if (nYDim < 0 || nXDim < 0) {
        return nullptr;
    }
    T** rows = static_cast<T**>(std::calloc(static_cast<size_t>(nYDim) + 1, sizeof(T*)));
    if (rows == nullptr) {
        return nullptr;
    }
    for (int y = 0; y < nYDim; ++y) {
        // calloc(0) may answer null; every row gets at least one cell.
        rows[y] =
            static_cast<T*>(std::calloc(nXDim > 0 ? static_cast<size_t>(nXDim) : 1, sizeof(T)));
        if (rows[y] == nullptr) {
            for (int k = 0; k < y; ++k) {
                std::free(rows[k]);
            }
            std::free(rows);
            return nullptr;
        }
    }
    return rows;
}

template <class T>
void freeMatrix(T** rows) {
    if (rows == nullptr) {
        return;
    }
    for (T** row = rows; *row != nullptr; ++row) {
        std::free(*row);
    }
    std::free(rows);
}

using ImageDeleter = rdr::ReleaseWith<gdImageDestroy>;
using GdFree = rdr::ReleaseWith<gdFree>;

}  // namespace

int fnChkLeapYear(int nYear) {
    return ((nYear % 4 == 0 && nYear % 100 != 0) || nYear % 400 == 0) ? 1 : 0;
}

int fnGetLastDay(int nYear, int nMon) {
    if (nYear <= 0 || nMon < 1 || nMon > 12) {
        return 0;
    }
    return nMon == 2 && fnChkLeapYear(nYear) ? 29 : kMonthDays[nMon - 1];
}

struct tm fnGetIncMin(struct tm tm_ptr, int nAddMin) {
    struct tm work = tm_ptr;
    work.tm_isdst = -1;  // a hand-made time carries no reliable flag
    const time_t t = std::mktime(&work);
    if (t == static_cast<time_t>(-1)) {
        return tm_ptr;
    }
    const time_t moved = t + static_cast<time_t>(nAddMin) * 60;
    struct tm out {};
    return localtime_r(&moved, &out) != nullptr ? out : tm_ptr;
}

struct tm fnGetIncDay(struct tm tm_ptr, int nAddDay) {
    struct tm out = tm_ptr;
    const long long mday = static_cast<long long>(out.tm_mday) + nAddDay;
    if (mday > INT_MAX || mday < INT_MIN) {
        return tm_ptr;
    }
    out.tm_mday = static_cast<int>(mday);
    return normalise(out) ? out : tm_ptr;
}

struct tm fnGetIncMonth(struct tm tm_ptr, int nAddMonth) {
    if (nAddMonth == 0) {
        return tm_ptr;
    }
    return shiftMonths(tm_ptr, nAddMonth);
}

struct tm fnGetIncYear(struct tm tm_ptr, int nAddYear) {
    return shiftMonths(tm_ptr, static_cast<long long>(nAddYear) * 12);
}

void fnSwap2bytes(void* pWord) {
    if (pWord == nullptr) {
        return;
    }
    auto* b = static_cast<unsigned char*>(pWord);
    const unsigned char first = b[0];
    b[0] = b[1];
    b[1] = first;
}

float fnR_to_dBZ_f(double fRain, float fZr_a, float fZr_b) {
    return static_cast<float>(10.0 * std::log10(fZr_a) + fZr_b * 10.0 * std::log10(fRain));
}

float fnDbz_To_R_f(double dDbz, float fZr_a, float fZr_b) {
    return static_cast<float>(std::pow(std::pow(10.0, dDbz / 10.0) / fZr_a, 1.0 / fZr_b));
}

int fnRainrateToDbz(float** data, int nYDim, int nXDim, float fOutBound_f, float fBadValue_f,
                    float fZr_a, float fZr_b) {
    return convertGrid(data, nYDim, nXDim, fOutBound_f, fBadValue_f,
                       [&](float v) { return fnR_to_dBZ_f(v, fZr_a, fZr_b); });
}

int fnDbzToRainrate(float** data, int nYDim, int nXDim, float fOutBound_f, float fBadValue_f,
                    float fZr_a, float fZr_b) {
    return convertGrid(data, nYDim, nXDim, fOutBound_f, fBadValue_f,
                       [&](float v) { return fnDbz_To_R_f(v, fZr_a, fZr_b); });
}

float** fnGetMatrixFloat(int nYDim, int nXDim) {
    return makeMatrix<float>(nYDim, nXDim);
}

int** fnGetMatrixInt(int nYDim, int nXDim) {
    return makeMatrix<int>(nYDim, nXDim);
}

void fnFreeMatrixFloat(float** ppMatrix, int /*nRows: the end marker is authoritative*/) {
    freeMatrix(ppMatrix);
}

void fnFreeMatrixInt(int** ppMatrix, int /*nRows: the end marker is authoritative*/) {
    freeMatrix(ppMatrix);
}

double* fnGetAxisDataDouble(int nDim) {
    if (nDim < 0) {
        return nullptr;
    }
    return static_cast<double*>(
        std::calloc(nDim > 0 ? static_cast<size_t>(nDim) : 1, sizeof(double)));
}

void fnFreeAxisDataDouble(double* pAxis) {
    std::free(pAxis);
}

void fnFreeAxisDataFloat(float* pAxis) {
    std::free(pAxis);
}

void fnDumpDisp() {
    std::unique_ptr<gdImage, ImageDeleter> img(gdImageCreateTrueColor(1000, 1000));
    if (img != nullptr) {
        gdImageSaveAlpha(img.get(), 1);
        gdImageAlphaBlending(img.get(), 0);
        gdImageFilledRectangle(img.get(), 0, 0, 999, 999,
                               gdTrueColorAlpha(0, 0, 0, gdAlphaTransparent));
    }
    cgiWritePngAnswer(img.get(), stdout);
}

int cgiWritePngAnswer(gdImagePtr pImg, FILE* pOut) {
    if (pOut == nullptr) {
        return -1;
    }
    // zlib level 3: a request's image is encoded in about half the time of the default level
    // for a somewhat larger file.
    constexpr int kPngLevel = 3;
    int size = 0;
    std::unique_ptr<void, GdFree> png(pImg != nullptr ? gdImagePngPtrEx(pImg, &size, kPngLevel)
                                                      : nullptr);
    if (png == nullptr || size <= 0) {
        std::fputs(
            "Status: 500 Internal Server Error\r\nContent-type: text/plain\r\n\r\n"
            "The image could not be made.\r\n",
            pOut);
        std::fflush(pOut);
        return -1;
    }
    const bool ok =
        std::fputs("Content-type: image/png\r\n\r\n", pOut) >= 0 &&
        std::fwrite(png.get(), 1, static_cast<size_t>(size), pOut) == static_cast<size_t>(size) &&
        std::fflush(pOut) == 0;
    return ok ? 0 : -1;
}
