#include "ppi_grid.h"

#include <cmath>
#include <cstdlib>

#include "core_utilities.h"
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

void fillQuadrant(QuadrantGeometry* q) {
    constexpr double kPi = 3.14159;  // the convention of fnCalcAzimuthToXY
    for (int y = 0; y < q->side; ++y) {
        for (int x = 0; x < q->side; ++x) {
            const size_t k = static_cast<size_t>(y) * q->side + x;
            q->root[k] = static_cast<float>(std::sqrt(static_cast<double>(x * x + y * y)));
            if (x > 0) {
                const float a =
                    static_cast<float>(std::atan(static_cast<double>(y) / static_cast<double>(x)));
                q->angle[k] = static_cast<float>(a * 180.0 / kPi);
            } else {
                q->angle[k] = 90.0f;
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

}  // namespace

float* fnCreatePPI(STD_RADAR* pStd, int iSweepIdx, int iXdim, int iYdim, float fMaxRangeKm,
                   float fGridKm, const char* szFieldName, STD_AZIMUTH_TBL* pTable) {
    if (pStd == nullptr || pTable == nullptr || szFieldName == nullptr || iXdim != iYdim ||
        iXdim < 0 || iSweepIdx < 0 || iSweepIdx >= pStd->m_iMaxSweep) {
        fnRdrError(kFunc, "Invalid arg");
        return nullptr;
    }
    STD_SWEEP* pSweep = pStd->m_ppSweep != nullptr ? pStd->m_ppSweep[iSweepIdx] : nullptr;
    if (pSweep == nullptr || pSweep->m_ppRay == nullptr) {
        fnRdrError(kFunc, "sweep is null or m_ppRay is null");
        return nullptr;
    }
    const int nRay = pSweep->m_iMaxRay > 0 ? pSweep->m_iMaxRay : 0;

    // The moment may sit at a different index on every ray (or be absent from some), so
    // it is looked up once per ray here rather than taken from the first ray.
    Scratch<int> fieldIdx(static_cast<size_t>(nRay));
    if (fieldIdx.p == nullptr) {
        fnRdrError(kFunc, "calloc fail");
        return nullptr;
    }
    bool anyMoment = false;
    for (int r = 0; r < nRay; ++r) {
        fieldIdx.p[r] = fnGetFieldIdxRay(pSweep->m_ppRay[r], szFieldName);
        anyMoment = anyMoment || fieldIdx.p[r] >= 0;
    }
    if (!anyMoment) {
        fnRdrError(kFunc, "no moment");
        return nullptr;
    }

    const size_t cells = static_cast<size_t>(iXdim) * static_cast<size_t>(iXdim);
    float* pGrid = static_cast<float*>(std::malloc((cells > 0 ? cells : 1) * sizeof(float)));
    if (pGrid == nullptr) {
        fnRdrError(kFunc, "calloc fail");
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
        fnRdrError(kFunc, "calloc fail");
        return nullptr;
    }
    quad.root = root.p;
    quad.angle = angle.p;
    fillQuadrant(&quad);

    const float fRes = static_cast<float>(360.0 / pSweep->m_iMaxRay);
    const int noData = pStd->m_hdr.m_iNoDataValue;
    for (int iYIdx = -half; iYIdx < half; ++iYIdx) {
        float* row = pGrid + static_cast<size_t>(iYIdx + half) * static_cast<size_t>(iXdim);
        const size_t quadRow = static_cast<size_t>(std::abs(iYIdx)) * quad.side;
        for (int iXIdx = -half; iXIdx < half; ++iXIdx) {
            const size_t k = quadRow + static_cast<size_t>(std::abs(iXIdx));
            const float fRangeKm = quad.root[k] * fGridKm;
            if (fRangeKm > fMaxRangeKm) {
                continue;
            }
            const float fAzim = cellAzimuth(iYIdx, iXIdx, quad.angle[k]);
            const int iRay = fnSearchRayToAzim(pSweep, fRes, fAzim, pTable);
            if (iRay < 0) {
                continue;
            }
            STD_RAY* pRay = pSweep->m_ppRay[iRay];
            const int idx = fieldIdx.p[iRay];
            if (idx < 0 || fnDiffDegree(fAzim, pRay->m_hdr.m_fAzimuth) > 1.0f) {
                continue;
            }
            const float fVal = fnGetBinValueToRay(pRay, idx, fRangeKm, noData);
            if (fnIsBinNoValue(fVal)) {
                continue;
            }
            row[(iXdim - 1) - (iXIdx + half)] = fVal;
        }
    }
    return pGrid;
}
