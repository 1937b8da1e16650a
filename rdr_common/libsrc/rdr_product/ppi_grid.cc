#include "ppi_grid.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "core_utilities.h"
#include "internal/ray_ring_walk.h"
#include "ray_lookup.h"

namespace {

constexpr const char* kFunc = "fnCreatePPI";

// Free-on-exit holder for the scratch arrays of one call.
template <typename T>
struct Scratch {
    T* p = nullptr;
    explicit Scratch(size_t n) : p(static_cast<T*>(std::malloc((n > 0 ? n : 1) * sizeof(T)))) {}
    ~Scratch() { std::free(p); }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
};

// The radial part of a cell's geometry depends only on |row offset| and |column offset|:
// one quadrant of square roots and arc tangents serves all four. The arc tangent is odd
// and IEEE negation is exact, so the azimuth derived below equals fnCalcAzimuthToXY bit
// for bit.
struct QuadrantGeometry {
    int side = 0;            // half + 1
    float* root = nullptr;   // sqrt(x^2 + y^2), single precision
    float* angle = nullptr;  // atan(y / x) in degrees (pi = 3.14159), single precision
};

constexpr double kPiAzimuth = 3.14159;  // the convention of fnCalcAzimuthToXY

// atan(y / x) in degrees as fnCalcAzimuthToXY forms it: the arc tangent rounded to float,
// then scaled and rounded again.
inline float quadrantAngle(double atanRad) {
    const float a = static_cast<float>(atanRad);
    return static_cast<float>(a * 180.0 / kPiAzimuth);
}

// The float that atan(x / y) rounds to, from pi/2 - atan(y / x) when that lies clearly
// inside one float's rounding interval (true for all but about one cell in ten million;
// the two doubles differ by a few units in the last place at most), else computed.
inline float mirroredAtanFloat(double atanYX, int y, int x) {
    const double c = 1.5707963267948966 - atanYX;
    const float f = static_cast<float>(c);
    const double up = std::nextafter(f, 2.0f);
    const double down = std::nextafter(f, -2.0f);
    const double tol = std::fabs(c) * 1e-14;
    if (std::fabs(c - (static_cast<double>(f) + up) * 0.5) > tol &&
        std::fabs(c - (static_cast<double>(f) + down) * 0.5) > tol) {
        return f;
    }
    return static_cast<float>(std::atan(static_cast<double>(x) / static_cast<double>(y)));
}

// Angles are only needed (and only computed) for cells within the range limit. Cells
// (y, x) and (x, y) share one arc tangent.
void fillQuadrant(QuadrantGeometry* q, float fGridKm, float fMaxRangeKm) {
    const size_t side = static_cast<size_t>(q->side);
    for (int y = 0; y < q->side; ++y) {
        for (int x = 0; x < q->side; ++x) {
            const long long squares = static_cast<long long>(x) * x + static_cast<long long>(y) * y;
            q->root[y * side + x] = static_cast<float>(std::sqrt(static_cast<double>(squares)));
        }
    }
    auto inRange = [&](size_t k) { return !(q->root[k] * fGridKm > fMaxRangeKm); };
    for (int y = 0; y < q->side; ++y) {
        q->angle[y * side] = 90.0f;  // x = 0 is handled apart by cellAzimuth
        for (int x = std::max(y, 1); x < q->side; ++x) {
            const size_t k = y * side + x;       // below the diagonal: y <= x
            const size_t mirror = x * side + y;  // above it
            const bool needK = inRange(k);
            const bool needMirror = y > 0 && x != y && inRange(mirror);
            q->angle[k] = 0.0f;
            if (mirror != k && y > 0) {
                q->angle[mirror] = 0.0f;
            }
            if (!needK && !needMirror) {
                continue;
            }
            const double t = std::atan(static_cast<double>(y) / static_cast<double>(x));
            if (needK) {
                q->angle[k] = quadrantAngle(t);
            }
            if (needMirror) {
                const float a = mirroredAtanFloat(t, y, x);
                q->angle[mirror] = static_cast<float>(a * 180.0 / kPiAzimuth);
            }
        }
    }
}

// fnCalcAzimuthToXY(iYIdx, iXIdx) from the quadrant angle of (|iYIdx|, |iXIdx|).
inline float cellAzimuth(int iYIdx, int iXIdx, float quadrantAngle) {
    float a = 0.0f;
    if (iXIdx == 0) {
        a = iYIdx < 0 ? -90.0f : 90.0f;
    } else {
        a = ((iYIdx < 0) != (iXIdx < 0)) ? -quadrantAngle : quadrantAngle;
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

// Single-precision quotient x / d of a float x by an integer d (|d| <= kMaxExactDivisor),
// computed as a double product with 1/d and rounded once to float. It equals the float
// division bit for bit: x has 24 significant bits, so x / d is either a float or lies at
// least 2^-25 / |d| (relative) away from every rounding midpoint, well above the
// 2^-52 error of the double product; a division costs several times a multiplication.
constexpr int kMaxExactDivisor = 1 << 24;

inline float exactQuotient(float x, double invDivisor) {
    return static_cast<float>(static_cast<double>(x) * invDivisor);
}

// What the cell loop needs of one ray, gathered once per call so that a cell costs a walk
// over a flat array and one bin read. The arithmetic below repeats fnGetBinValueToRay's
// step for step, so the cells equal the plain per-cell lookups exactly.
struct RayInfo {
    float azimuth = 0.0f;      // as stored
    float walkAzimuth = 0.0f;  // as the ring walk takes it
    bool onRing = false;       // present with a usable azimuth: a member of the neighbour ring
    bool usable = false;       // carries the moment with bins, spacing and a scale factor
    bool snapKdp = false;      // values go through the level snapping of fnGetBinValueToRay
    int fieldIdx = -1;
    const short* data = nullptr;
    int maxBin = 0;
    float startM = 0.0f;  // first-bin range in km, single precision, times 1000
    float spacingM = 0.0f;
    float scale = 0.0f;
    // Reciprocals for exact quotients by multiplication (see exactQuotient).
    bool reciprocal = false;
    double invSpacing = 0.0;
    double invScale = 0.0;
};

void describeRay(STD_RAY* pRay, int iFieldIdx, RayInfo* pInfo) {
    if (pRay == nullptr) {
        return;
    }
    pInfo->azimuth = pRay->m_hdr.m_fAzimuth;
    pInfo->onRing = std::isfinite(pInfo->azimuth);
    pInfo->walkAzimuth = rdr_ring::walkAzimuth(pInfo->azimuth);
    pInfo->fieldIdx = iFieldIdx;
    if (iFieldIdx < 0) {
        return;
    }
    const STD_FIELD* pField = pRay->m_ppField[iFieldIdx];
    if (pField->m_pData == nullptr) {
        return;
    }
    int startKm = pRay->m_hdr.m_iStartRangeKm;
    int startM = pRay->m_hdr.m_iStartRangeMeter;
    int spacingM = pRay->m_hdr.m_iBinSpacing;
    if (pField->m_hdr.m_iBinSpacing != 0) {
        startKm = pField->m_hdr.m_iStartRangeKm;
        startM = pField->m_hdr.m_iStartRangeMeter;
        spacingM = pField->m_hdr.m_iBinSpacing;
    }
    if (spacingM == 0 || pField->m_hdr.m_iScaleFactor == 0) {
        return;
    }
    const float startKmF = static_cast<float>(startKm) + static_cast<float>(startM) / 1000.0f;
    pInfo->startM = startKmF * 1000.0f;
    pInfo->spacingM = static_cast<float>(spacingM);
    pInfo->scale = static_cast<float>(pField->m_hdr.m_iScaleFactor);
    auto small = [](int d) { return d >= -kMaxExactDivisor && d <= kMaxExactDivisor; };
    pInfo->reciprocal = small(spacingM) && small(pField->m_hdr.m_iScaleFactor);
    pInfo->invSpacing = 1.0 / spacingM;
    pInfo->invScale = 1.0 / pField->m_hdr.m_iScaleFactor;
    pInfo->data = pField->m_pData;
    pInfo->maxBin = pField->m_iMaxBin;
    const char* name = pField->m_hdr.m_szFieldName;
    pInfo->snapKdp = name[0] == 'K' && name[1] == 'D' && name[2] == '\0';
    pInfo->usable = true;
}

// fnDiffDegree, inline.
inline float diffDegree(float fAlpha, float fBeta) {
    float d = fAlpha - fBeta;
    if (std::fabs(d) < 1e-6f) {
        return 0.0f;
    }
    if (d > 180.0f) {
        d -= 360.0f;
    } else if (d < -180.0f) {
        d += 360.0f;
    }
    return std::fabs(d);
}

// Cells are visited in square tiles: the rays and bins one tile needs lie close together,
// which keeps the bin reads in cache. Every cell is independent, so the order is free.
constexpr int kTile = 32;

}  // namespace

float* fnCreatePPI(STD_RADAR* pStd, int iSweepIdx, int iXdim, int iYdim, float fMaxRangeKm,
                   float fGridKm, const char* szFieldName, STD_AZIMUTH_TBL* pTable) {
    if (pStd == nullptr || pTable == nullptr || szFieldName == nullptr || iXdim != iYdim ||
        iXdim < 0 || iSweepIdx < 0 || iSweepIdx >= pStd->m_iMaxSweep) {
        rdrError(kFunc, "Invalid arg");
        return nullptr;
    }
    STD_SWEEP* pSweep = pStd->m_ppSweep != nullptr ? pStd->m_ppSweep[iSweepIdx] : nullptr;
    if (pSweep == nullptr || pSweep->m_ppRay == nullptr) {
        rdrError(kFunc, "sweep is null or m_ppRay is null");
        return nullptr;
    }
    const int nRay = pSweep->m_iMaxRay > 0 ? pSweep->m_iMaxRay : 0;

    // The moment may sit at a different index on every ray (or be absent from some), so
    // it is looked up once per ray here rather than taken from the first ray.
    Scratch<RayInfo> rays(static_cast<size_t>(nRay));
    if (rays.p == nullptr) {
        rdrError(kFunc, "calloc fail");
        return nullptr;
    }
    bool anyMoment = false;
    for (int r = 0; r < nRay; ++r) {
        STD_RAY* pRay = pSweep->m_ppRay[r];
        const int idx = fnGetFieldIdxRay(pRay, szFieldName);
        rays.p[r] = RayInfo{};
        describeRay(pRay, idx, &rays.p[r]);
        anyMoment = anyMoment || idx >= 0;
    }
    if (!anyMoment) {
        rdrError(kFunc, "no moment");
        return nullptr;
    }

    const size_t cells = static_cast<size_t>(iXdim) * static_cast<size_t>(iXdim);
    float* pGrid = static_cast<float*>(std::malloc((cells > 0 ? cells : 1) * sizeof(float)));
    if (pGrid == nullptr) {
        rdrError(kFunc, "calloc fail");
        return nullptr;
    }
    for (size_t i = 0; i < cells; ++i) {
        pGrid[i] = RDR_GRID_NO_DATA;
    }

    const int half = iXdim / 2;
    QuadrantGeometry quad;
    quad.side = half + 1;
    const size_t quadCells = static_cast<size_t>(quad.side) * quad.side;
    Scratch<float> root(quadCells);
    Scratch<float> angle(quadCells);
    if (root.p == nullptr || angle.p == nullptr) {
        std::free(pGrid);
        rdrError(kFunc, "calloc fail");
        return nullptr;
    }
    quad.root = root.p;
    quad.angle = angle.p;
    // Cells beyond both the range limit and the farthest bin of the sweep stay no data, so
    // neither their angle nor a ray search is needed.
    float limitKm = fMaxRangeKm;
    double reachKm = 0.0;
    for (int r = 0; r < nRay && reachKm >= 0.0; ++r) {
        const RayInfo& ray = rays.p[r];
        if (!ray.usable) {
            continue;
        }
        if (!(ray.spacingM > 0.0f)) {
            reachKm = -1.0;  // bins that run inward: no bound
            break;
        }
        // A bin beyond the last one, plus a kilometre and a millionth, keeps clear of the
        // single-precision rounding of the cell's bin position.
        const double lastBinEndKm =
            (static_cast<double>(ray.startM) + (ray.maxBin + 1.0) * ray.spacingM) / 1000.0;
        const double endKm = lastBinEndKm + 1.0 + std::fabs(lastBinEndKm) * 1e-6;
        reachKm = std::max(reachKm, endKm);
    }
    if (reachKm >= 0.0 && reachKm < static_cast<double>(limitKm)) {
        limitKm = static_cast<float>(reachKm);
    }
    fillQuadrant(&quad, fGridKm, limitKm);

    const float fRes = static_cast<float>(360.0 / pSweep->m_iMaxRay);
    const float halfRes = fRes * 0.5f;
    const int noData = pStd->m_hdr.m_iNoDataValue;
    const RayInfo* info = rays.p;
    auto azimuthOf = [info, nRay](int iRay, float* pAz) {
        if (iRay < 0 || iRay >= nRay || !info[iRay].onRing) {
            return false;
        }
        *pAz = info[iRay].walkAzimuth;
        return true;
    };
    // fnSearchRayToAzim over the flat ray array.
    auto searchRay = [&](float fAzim) {
        // fnGetRayHashIndex, inline; azimuths of cells are always within 0 to 360.
        int h = static_cast<int>(fAzim / fRes + halfRes) % nRay;
        if (h < 0) {
            h += nRay;
        }
        int steps = 0;
        while (pTable[h].m_iCon == -1 && steps < nRay) {
            h = (h + 1) % nRay;
            ++steps;
        }
        if (steps >= nRay) {
            return -1;
        }
        return rdr_ring::closestRayOnRing(pTable, nRay, h, fAzim, azimuthOf);
    };
    auto cellValue = [&](int iYIdx, int iXIdx, float* pOut) {
        const size_t k =
            static_cast<size_t>(std::abs(iYIdx)) * quad.side + static_cast<size_t>(std::abs(iXIdx));
        const float fRangeKm = quad.root[k] * fGridKm;
        if (fRangeKm > limitKm) {
            return false;
        }
        const float fAzim = cellAzimuth(iYIdx, iXIdx, quad.angle[k]);
        const int iRay = searchRay(fAzim);
        if (iRay < 0) {
            return false;
        }
        const RayInfo& ray = info[iRay];
        if (!ray.usable || diffDegree(fAzim, ray.azimuth) > 1.0f) {
            return false;
        }
        float fVal = 0.0f;
        if (ray.snapKdp) {
            fVal = fnGetBinValueToRay(pSweep->m_ppRay[iRay], ray.fieldIdx, fRangeKm, noData);
        } else {
            const float offsetM = fRangeKm * 1000.0f - ray.startM;
            const float binPos =
                ray.reciprocal ? exactQuotient(offsetM, ray.invSpacing) : offsetM / ray.spacingM;
            if (!(binPos > -1.0f) || !(binPos < static_cast<float>(ray.maxBin))) {
                return false;
            }
            const short stored = ray.data[static_cast<int>(binPos)];
            if (stored == STD_NO_VALUE_CODE || stored == noData) {
                return false;
            }
            // A 16-bit value over a non-zero integer scale never reaches the lookup's
            // no-value codes (131068 and up), so only the snapped path needs that test.
            fVal = ray.reciprocal ? exactQuotient(static_cast<float>(stored), ray.invScale)
                                  : static_cast<float>(stored) / ray.scale;
            *pOut = fVal;
            return true;
        }
        if (isBinNoValue(fVal)) {
            return false;
        }
        *pOut = fVal;
        return true;
    };

    const bool canSkipTiles = fGridKm >= 0.0f;
    for (int y0 = -half; y0 < half; y0 += kTile) {
        const int y1 = std::min(y0 + kTile, half);
        for (int x0 = -half; x0 < half; x0 += kTile) {
            const int x1 = std::min(x0 + kTile, half);
            if (canSkipTiles) {
                // Range grows away from the radar: the tile's nearest cell bounds them all.
                const int ny = std::abs(std::clamp(0, y0, y1 - 1));
                const int nx = std::abs(std::clamp(0, x0, x1 - 1));
                if (quad.root[static_cast<size_t>(ny) * quad.side + nx] * fGridKm > limitKm) {
                    continue;
                }
            }
            for (int iYIdx = y0; iYIdx < y1; ++iYIdx) {
                float* row = pGrid + static_cast<size_t>(iYIdx + half) * static_cast<size_t>(iXdim);
                for (int iXIdx = x0; iXIdx < x1; ++iXIdx) {
                    float fVal;
                    if (cellValue(iYIdx, iXIdx, &fVal)) {
                        row[(iXdim - 1) - (iXIdx + half)] = fVal;
                    }
                }
            }
        }
    }
    return pGrid;
}
