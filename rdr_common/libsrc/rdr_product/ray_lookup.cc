#include "ray_lookup.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core_utilities.h"

namespace {

constexpr double kLn2 = 0.6931471805599453;
constexpr double kLn600 = 6.396929655216146;

// The value of an 8-bit specific-differential-phase level (4 added to the level byte):
// levels 0 to 3 are the moment's special codes, 128 (+4) is zero, 1..127 and 129..255
// (+4) a logarithmic grid from -300 to -0.5 and 0.5 to 300.
float decodeKdpLevel(uint16_t level) {
    switch (level) {
        case 0:
            return RDR_BIN_NO_VALUE;
        case 1:
            return RDR_KDP_SPECIAL_1;
        case 2:
            return RDR_KDP_SPECIAL_2;
        case 3:
            return RDR_KDP_SPECIAL_3;
        default:
            break;
    }
    const int n = level - 4;
    if (n == 128) {
        return 0.0f;
    }
    if (n <= 127) {
        return -2.0f * static_cast<float>(0.25 * std::pow(600.0, (127 - n) / 126.0));
    }
    return 2.0f * static_cast<float>(0.25 * std::pow(600.0, (n - 129) / 126.0));
}

// Snaps a specific differential phase value to the nearest value the 8-bit level grid
// can hold, by encoding and decoding it.
float snapKdp(float v) {
    if (v == RDR_BIN_NO_VALUE || v == RDR_KDP_SPECIAL_1 || v == RDR_KDP_SPECIAL_2 ||
        v == RDR_KDP_SPECIAL_3 || v == 0.0f) {
        return v;
    }
    const float magnitude = std::fabs(v);
    // The logarithmic grid starts at 0.5: smaller magnitudes take the nearest of 0 and
    // +-0.5 rather than landing in the other sign's half of the grid.
    if (magnitude < 0.5f) {
        if (magnitude < 0.25f) {
            return 0.0f;
        }
        return v > 0.0f ? 0.5f : -0.5f;
    }
    double t = 0.0;
    if (v > 0.0f) {
        t = (std::log(static_cast<double>(v)) + kLn2) * 126.0 / kLn600 + 129.0 + 0.5;
    } else {
        t = (std::log(-static_cast<double>(v)) + kLn2) * 126.0 / (-kLn600) + 127.0 + 0.5;
    }
    int level = static_cast<int>(static_cast<float>(t) + 4.0f);
    // Beyond -300 the level would fall onto the special codes (or wrap); hold it at the
    // grid's last negative level instead.
    if (v < 0.0f && level < 5) {
        level = 5;
    }
    return decodeKdpLevel(static_cast<uint16_t>(level));
}

inline bool isEmptyCell(float v) {
    return std::fabs(v - RDR_GRID_NO_DATA) < 1e-6f;
}

inline bool isEchoCell(float v) {
    return v != RDR_GRID_NO_DATA && v != RDR_GRID_OUT_BOUND;
}

}  // namespace

float fnGetBinValueToRay(STD_RAY* pRay, int iFieldIdx, float fRangeKm, int iNoDataValue) {
    if (pRay == nullptr || iFieldIdx < 0 || iFieldIdx >= pRay->m_iMaxField ||
        pRay->m_ppField == nullptr) {
        return RDR_BIN_NO_VALUE;
    }
    const STD_FIELD* pField = pRay->m_ppField[iFieldIdx];
    if (pField == nullptr || pField->m_pData == nullptr) {
        return RDR_BIN_NO_VALUE;
    }

    // A moment gated unlike its ray carries its own geometry.
    int startKm = pRay->m_hdr.m_iStartRangeKm;
    int startM = pRay->m_hdr.m_iStartRangeMeter;
    int spacingM = pRay->m_hdr.m_iBinSpacing;
    if (pField->m_hdr.m_iBinSpacing != 0) {
        startKm = pField->m_hdr.m_iStartRangeKm;
        startM = pField->m_hdr.m_iStartRangeMeter;
        spacingM = pField->m_hdr.m_iBinSpacing;
    }
    if (spacingM == 0) {
        return RDR_BIN_NO_VALUE;
    }
    const float startKmF = static_cast<float>(startKm) + static_cast<float>(startM) / 1000.0f;
    const float binPos = (fRangeKm * 1000.0f - startKmF * 1000.0f) / static_cast<float>(spacingM);
    // Truncation toward zero: anything above -1 and below the bin count is a bin.
    if (!(binPos > -1.0f) || !(binPos < static_cast<float>(pField->m_iMaxBin))) {
        return RDR_BIN_NO_VALUE;
    }
    const int bin = static_cast<int>(binPos);

    const short stored = pField->m_pData[bin];
    if (stored == STD_NO_VALUE_CODE || stored == iNoDataValue) {
        return RDR_BIN_NO_VALUE;
    }
    if (pField->m_hdr.m_iScaleFactor == 0) {
        return RDR_BIN_NO_VALUE;  // no divisor: the stored integer has no physical meaning
    }
    const float value =
        static_cast<float>(stored) / static_cast<float>(pField->m_hdr.m_iScaleFactor);
    const char* name = pField->m_hdr.m_szFieldName;
    if (name[0] == 'K' && name[1] == 'D' && name[2] == '\0') {
        return snapKdp(value);
    }
    return value;
}

int fnSearchRayToAzim(STD_SWEEP* pSweep, float fRes, float fAzim, STD_AZIMUTH_TBL* pTable) {
    if (pSweep == nullptr || pTable == nullptr || pSweep->m_iMaxRay <= 0) {
        return -1;
    }
    const int nRay = pSweep->m_iMaxRay;
    int h = fnGetRayHashIndex(fRes, fAzim) % nRay;
    if (h < 0) {
        h += nRay;  // an azimuth below 0 must not index before the table
    }
    int steps = 0;
    while (pTable[h].m_iCon == -1 && steps < nRay) {
        h = (h + 1) % nRay;
        ++steps;
    }
    if (steps >= nRay) {
        return -1;
    }
    return fnTheClosestRay(pSweep, pTable, h, fAzim);
}

float fnGetAzimuth(float fPointX, float fPointY) {
    if (fPointX < 0.0f) {
        const float ratio = fPointY / fPointX;
        return static_cast<float>(270.0 + std::atan(static_cast<double>(ratio)) * 180.0 / RDR_PI);
    }
    if (fPointX > 0.0f) {
        const float ratio = fPointY / fPointX;
        return static_cast<float>(90.0 + std::atan(static_cast<double>(ratio)) * 180.0 / RDR_PI);
    }
    return fPointY > 0.0f ? 180.0f : 0.0f;
}

float fnCalcAzimuthToXY(int iYIdx, int iXIdx) {
    // This convention has always used pi = 3.14159.
    constexpr double kPi = 3.14159;
    float a = 0.0f;
    if (iXIdx == 0) {
        a = iYIdx < 0 ? -90.0f : 90.0f;
    } else {
        a = static_cast<float>(std::atan(static_cast<double>(iYIdx) / static_cast<double>(iXIdx)));
        a = static_cast<float>(a * 180.0 / kPi);
        if (iXIdx < 0) {
            a = iYIdx < 0 ? a - 180.0f : a + 180.0f;
        }
    }
    float az = -a - 90.0f;
    if (az < 0.0f) {
        az += 360.0f;
    }
    return az;
}

int fnFillSpaceData(float* pData, int iYdim, int iXdim) {
    if (pData == nullptr) {
        return 0;
    }
    const size_t w = iXdim > 0 ? static_cast<size_t>(iXdim) : 0;
    for (int y = 1; y < iYdim - 1; ++y) {
        float* row = pData + static_cast<size_t>(y) * w;
        const float* north = row - w;
        const float* south = row + w;
        for (int x = 1; x < iXdim - 1; ++x) {
            if (!isEmptyCell(row[x])) {
                continue;
            }
            if (!isEmptyCell(row[x - 1]) && !isEmptyCell(row[x + 1])) {
                row[x] = row[x - 1];
            }
            if (!isEmptyCell(north[x]) && !isEmptyCell(south[x])) {
                row[x] = north[x];
            }
        }
    }
    return 1;
}

int fnDeleteIndenpentEcho(float* pData, int iYdim, int iXdim) {
    if (pData == nullptr) {
        return 0;
    }
    if (iYdim < 3 || iXdim < 3) {
        return 1;  // no interior cell
    }
    const size_t w = static_cast<size_t>(iXdim);
    const size_t cells = static_cast<size_t>(iYdim) * w;
    float* copy = static_cast<float*>(std::malloc(cells * sizeof(float)));
    if (copy == nullptr) {
        return 0;
    }
    std::memcpy(copy, pData, cells * sizeof(float));
    for (int y = 1; y < iYdim - 1; ++y) {
        for (int x = 1; x < iXdim - 1; ++x) {
            int count = 0;
            size_t last = 0;
            for (int wy = y - 1; wy <= y + 1; ++wy) {
                const size_t base = static_cast<size_t>(wy) * w;
                for (int wx = x - 1; wx <= x + 1; ++wx) {
                    if (isEchoCell(copy[base + wx])) {
                        ++count;
                        last = base + wx;
                    }
                }
            }
            if (count >= 1 && count <= 3) {
                pData[last] = RDR_GRID_NO_DATA;
            }
        }
    }
    std::free(copy);
    return 1;
}

int fnProcOutBound(float* pData, int iYdim, int iXdim, float fGridKm, float fMaxRange) {
    if (pData == nullptr) {
        return 0;
    }
    const int cy = iYdim / 2;
    const int cx = iXdim / 2;
    for (int r = 0; r < iYdim; ++r) {
        const long long dy = r - cy;
        float* row = pData + static_cast<size_t>(r) * static_cast<size_t>(iXdim);
        for (int c = 0; c < iXdim; ++c) {
            const long long dx = c - cx;
            const float distKm =
                static_cast<float>(std::sqrt(static_cast<double>(dx * dx + dy * dy)) * fGridKm);
            if (fMaxRange < distKm) {
                row[c] = RDR_GRID_OUT_BOUND;
            }
        }
    }
    return 1;
}
