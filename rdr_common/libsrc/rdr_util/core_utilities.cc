#include "core_utilities.h"
#include "grid_codes.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// Grid code of product cells outside the radar's range.

// 4/3 effective earth radius (m) and its double, as the beam geometry has always used them.
constexpr double kEffectiveEarthM = 8494678.360000001;
constexpr double kTwoEffectiveEarthM = 16989356.720000003;

constexpr double kEarthCircumferenceKm = 40030.22036752368;

template <typename T>
T** makeMatrix(int iYdim, int iXdim) {
    if (iYdim <= 0 || iXdim < 0) {
        return nullptr;
    }
    T** rows = static_cast<T**>(std::calloc(static_cast<size_t>(iYdim), sizeof(T*)));
    if (rows == nullptr) {
        return nullptr;
    }
    // calloc(0, ...) may legitimately return null; ask for one element so that a zero-width
    // matrix still has distinct, freeable rows.
    const size_t rowLen = iXdim > 0 ? static_cast<size_t>(iXdim) : 1;
    for (int y = 0; y < iYdim; ++y) {
        rows[y] = static_cast<T*>(std::calloc(rowLen, sizeof(T)));
        if (rows[y] == nullptr) {
            fnFreeMatrix2D(reinterpret_cast<void**>(rows), iYdim);
            return nullptr;
        }
    }
    return rows;
}

// One day of wall-clock time forward (+1) or backward (-1), through mktime/localtime_r.
struct tm stepDay(const struct tm& tmIn, int iDir) {
    struct tm tmCopy = tmIn;
    time_t t = std::mktime(&tmCopy) + static_cast<time_t>(iDir) * 86400;
    struct tm tmOut {};
    localtime_r(&t, &tmOut);
    return tmOut;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Byte order

int fnIsLittleEndian() {
    const uint16_t probe = 1;
    unsigned char first = 0;
    std::memcpy(&first, &probe, 1);
    return first == 1 ? 1 : 0;
}

void fnSwap2Byte(void* word) {
    if (word == nullptr) {
        return;
    }
    unsigned char* b = static_cast<unsigned char*>(word);
    const unsigned char t = b[0];
    b[0] = b[1];
    b[1] = t;
}

void fnSwap4Byte(void* word) {
    if (word == nullptr) {
        return;
    }
    unsigned char* b = static_cast<unsigned char*>(word);
    unsigned char t = b[0];
    b[0] = b[3];
    b[3] = t;
    t = b[1];
    b[1] = b[2];
    b[2] = t;
}

void fnSwap2Array(short int* pBuf, int len) {
    if (pBuf == nullptr) {
        return;
    }
    for (int i = 0; i < len; ++i) {
        const uint16_t v = static_cast<uint16_t>(pBuf[i]);
        pBuf[i] = static_cast<short int>(static_cast<uint16_t>((v << 8) | (v >> 8)));
    }
}

// ---------------------------------------------------------------------------------------------
// Angles and coordinates

float fnConvertDms2Deg(int Deg, int Min, float Sec) {
    return static_cast<float>(Deg) + (static_cast<float>(Min) + Sec / 60.0f) / 60.0f;
}

double fnDegToRad(double dDeg) {
    return dDeg * RDR_PI / 180.0;
}

double fnRadToDeg(double dRad) {
    return dRad * 180.0 / RDR_PI;
}

float fnMinusDegree(float fAlpha, float fBeta) {
    const float d = fAlpha - fBeta;
    if (std::fabs(d) < 1e-6f) {
        return 0.0f;
    }
    if (d > 180.0f) {
        return d - 360.0f;
    }
    if (d < -180.0f) {
        return d + 360.0f;
    }
    return d;
}

float fnDiffDegree(float fAlpha, float fBeta) {
    return std::fabs(fnMinusDegree(fAlpha, fBeta));
}

// ---------------------------------------------------------------------------------------------
// Z = a R^b

double fnRainToDbzF(double dRain, float fZr_a, float fZr_b) {
    const float tenB = 10.0f * fZr_b;
    return 10.0 * std::log10(static_cast<double>(fZr_a)) + tenB * std::log10(dRain);
}

double fnDbzToRainF(double dDbz, float fZr_a, float fZr_b) {
    const float invB = 1.0f / fZr_b;
    return std::pow(std::pow(10.0, dDbz / 10.0) / fZr_a, static_cast<double>(invB));
}

double fnZeToDbzF(double dZe) {
    if (dZe <= 0.0) {
        return 0.0;
    }
    return 10.0 * std::log10(dZe);
}

double fnDbzToZeF(double dDbz) {
    return std::pow(10.0, dDbz / 10.0);
}

// ---------------------------------------------------------------------------------------------
// Beam geometry and distances

float fnGetElevation(float fSlantRangeM, float fHeightM) {
    const double r = fSlantRangeM;
    const double h = fHeightM;
    const float hSquared = fHeightM * fHeightM;
    const double sinElev = (static_cast<double>(hSquared) - r * r + kTwoEffectiveEarthM * h) /
                           (2.0 * r * kEffectiveEarthM);
    return static_cast<float>(std::asin(sinElev) * RDR_RAD_TO_DEG);
}

float fnGetSlantRange(float fPointX, float fPointY, float fHeightM, float fGridM) {
    const float x = fPointX * fGridM;
    const float y = fPointY * fGridM;
    const double sum = static_cast<double>(x) * x + static_cast<double>(y) * y +
                       static_cast<double>(fHeightM) * fHeightM;
    return static_cast<float>(std::sqrt(sum));
}

double fnDistSphericalSurface(float fLon1, float fLat1, float fLon2, float fLat2) {
    const float a = static_cast<float>(RDR_DEG_TO_RAD * (90.0 - fLat2));
    const float b = static_cast<float>(RDR_DEG_TO_RAD * (90.0 - fLat1));
    const float dLon = fLon1 - fLon2;
    const float d = std::fabs(static_cast<float>(dLon * RDR_DEG_TO_RAD));
    const double cosC = std::cos(static_cast<double>(a)) * std::cos(static_cast<double>(b)) +
                        std::sin(static_cast<double>(a)) * std::sin(static_cast<double>(b)) *
                            std::cos(static_cast<double>(d));
    const float centralDeg = static_cast<float>(std::acos(cosC) * RDR_RAD_TO_DEG);
    return centralDeg / 360.0 * kEarthCircumferenceKm;
}

double fnCalcDistKmLonLat(double dLon1, double dLat1, double dLon2, double dLat2) {
    const double lat1 = dLat1 * RDR_PI / 180.0;
    const double lat2 = dLat2 * RDR_PI / 180.0;
    const double dLon = (dLon1 - dLon2) * RDR_PI / 180.0;
    const double theta = std::acos(std::sin(lat1) * std::sin(lat2) +
                                   std::cos(lat1) * std::cos(lat2) * std::cos(dLon));
    // degrees -> nautical miles -> statute miles -> km
    return theta * 180.0 / RDR_PI * 60.0 * 1.1515 * 1.609344;
}

float fnGetMaxRangeToData(float** ppData, int iYdim, int iXdim, float fGridKm) {
    if (ppData == nullptr || iYdim <= 0 || iXdim <= 0 || ppData[iYdim / 2] == nullptr) {
        return -9999.0f;
    }
    const float* row = ppData[iYdim / 2];
    auto inRange = [](float v) { return std::fabs(v - RDR_GRID_OUT_BOUND) >= 1e-6f; };
    int left = 0;
    for (int x = 0; x < iXdim; ++x) {
        if (inRange(row[x])) {
            left = x;
            break;
        }
    }
    int right = 0;
    for (int x = iXdim - 1; x >= 0; --x) {
        if (inRange(row[x])) {
            right = x;
            break;
        }
    }
    return static_cast<float>(right - left) * fGridKm * 0.5f;
}

// ---------------------------------------------------------------------------------------------
// Calendar

int fnCheckLeapYear(int iYear) {
    return ((iYear % 4 == 0 && iYear % 100 != 0) || iYear % 400 == 0) ? 1 : 0;
}

int fnGetLastDayOfYM(int iYear, int iMon) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (iMon < 1 || iMon > 12 || iYear <= 0) {
        return 0;
    }
    if (iMon == 2 && fnCheckLeapYear(iYear)) {
        return 29;
    }
    return kDays[iMon - 1];
}

time_t fnMakeTime(int bUTC, short year, short mon, short day, short hour, short min, short sec) {
    struct tm tmVal {};
    tmVal.tm_year = year - 1900;
    tmVal.tm_mon = mon - 1;
    tmVal.tm_mday = day;
    tmVal.tm_hour = hour;
    tmVal.tm_min = min;
    tmVal.tm_sec = sec;
    tmVal.tm_isdst = 0;
    time_t t = std::mktime(&tmVal);
    if (bUTC == 1) {
        t += RDR_KST_OFFSET_SEC;
    }
    return t;
}

struct tm fnIncMin(struct tm tm_ptr, int iAddMin) {
    const time_t t = std::mktime(&tm_ptr) + static_cast<time_t>(iAddMin) * 60;
    struct tm out {};
    localtime_r(&t, &out);
    return out;
}

struct tm fnIncDay(struct tm tm_ptr, int iAddDay) {
    const time_t t = std::mktime(&tm_ptr) + static_cast<time_t>(iAddDay) * 86400;
    struct tm out {};
    localtime_r(&t, &out);
    return out;
}

struct tm fnIncMonth(struct tm tm_ptr, int iAddMonth) {
    if (iAddMonth == 0) {
        return tm_ptr;
    }
    const int dir = iAddMonth > 0 ? 1 : -1;
    const long long wanted = iAddMonth > 0 ? iAddMonth : -static_cast<long long>(iAddMonth);
    const int wantedDay = tm_ptr.tm_mday;

    // Day steps until the month has changed |n| times: forward lands on the first day of
    // the target month, backward on its last day.
    struct tm cur = tm_ptr;
    long long changes = 0;
    while (changes < wanted) {
        const struct tm next = stepDay(cur, dir);
        if (next.tm_mon != cur.tm_mon) {
            ++changes;
        }
        cur = next;
    }

    if (dir > 0) {
        while (cur.tm_mday != wantedDay) {
            const struct tm next = stepDay(cur, 1);
            if (next.tm_mon != cur.tm_mon) {
                return cur;  // target month is shorter: its last day
            }
            cur = next;
        }
        return cur;
    }
    if (wantedDay > cur.tm_mday) {
        return cur;
    }
    while (cur.tm_mday != wantedDay) {
        cur = stepDay(cur, -1);
    }
    return cur;
}

struct tm fnIncYear(struct tm tm_ptr, int iAddYear) {
    tm_ptr.tm_year += iAddYear;
    if (tm_ptr.tm_mon == 1 && tm_ptr.tm_mday == 29 && !fnCheckLeapYear(tm_ptr.tm_year + 1900)) {
        tm_ptr.tm_mday = 28;
    }
    const time_t t = std::mktime(&tm_ptr);
    struct tm out {};
    localtime_r(&t, &out);
    return out;
}

// ---------------------------------------------------------------------------------------------
// Strings and matrices

int fnSplit(char* szStr, char** pSp, int iSpCnt, char var) {
    if (szStr == nullptr || pSp == nullptr || var == '\0' || iSpCnt <= 0) {
        return -1;
    }
    pSp[0] = szStr;
    int count = 1;
    for (char* p = szStr; *p != '\0' && count < iSpCnt; ++p) {
        if (*p == var) {
            *p = '\0';
            pSp[count++] = p + 1;
        }
    }
    return count;
}

int** fnMakeMatrix2D_I(int iYdim, int iXdim) {
    return makeMatrix<int>(iYdim, iXdim);
}

unsigned char** fnMakeMatrix2D_UC(int iYdim, int iXdim) {
    return makeMatrix<unsigned char>(iYdim, iXdim);
}

char** fnMakeMatrix2D_C(int iYdim, int iXdim) {
    return makeMatrix<char>(iYdim, iXdim);
}

short int** fnMakeMatrix2D_S(int iYdim, int iXdim) {
    return makeMatrix<short int>(iYdim, iXdim);
}

float** fnMakeMatrix2D_F(int iYdim, int iXdim) {
    return makeMatrix<float>(iYdim, iXdim);
}

void fnFreeMatrix2D(void** ppMatrix, int iCnt) {
    if (ppMatrix == nullptr) {
        return;
    }
    for (int i = 0; i < iCnt; ++i) {
        std::free(ppMatrix[i]);
    }
    std::free(ppMatrix);
}

std::string formatStoredTime(time_t t, const char* szFormat) {
    struct tm tmLocal {};
    localtime_r(&t, &tmLocal);
    char sz[128];
    return std::strftime(sz, sizeof sz, szFormat, &tmLocal) > 0 ? std::string(sz) : std::string();
}
