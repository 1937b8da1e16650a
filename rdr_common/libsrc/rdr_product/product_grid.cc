#include "internal/product_grid.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <new>

#include "core_utilities.h"
#include "ray_lookup.h"

namespace rdr_product {

namespace {

// fnCalcAzimuthToXY forms atan(y / x) in double, rounds it to single precision and turns it
// into degrees with pi = 3.14159; the arc tangent is odd and IEEE negation exact, so the
// first quadrant serves all four bit for bit.
constexpr double kPiAzimuth = 3.14159;

inline float quadrantAngle(float atanRad) {
    return static_cast<float>(atanRad * 180.0 / kPiAzimuth);
}

// The float that atan(x / y) rounds to, from pi/2 - atan(y / x) when that lies clearly
// inside one float's rounding interval (true for all but about one cell in ten million;
// the two doubles differ by a few units in the last place at most), else computed.
float mirroredAtanFloat(double atanYX, int y, int x) {
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

}  // namespace

bool buildCellGeometry(int iDim, float fScaleKm, float fLimitKm, CellGeometry* pGeometry) {
    if (iDim <= 0 || pGeometry == nullptr) {
        return false;
    }
    const int half = iDim / 2;
    const int side = half + 1;
    std::vector<float>& root = pGeometry->quadRoot_;
    std::vector<float>& angle = pGeometry->quadAngle_;
    try {
        root.assign(static_cast<size_t>(side) * side, 0.0f);
        angle.assign(root.size(), 0.0f);
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const long long squares = static_cast<long long>(x) * x + static_cast<long long>(y) * y;
            root[static_cast<size_t>(y) * side + x] =
                static_cast<float>(std::sqrt(static_cast<double>(squares)));
        }
    }
    auto inRange = [&](size_t k) { return !(root[k] * fScaleKm > fLimitKm); };
    // Offsets (y, x) and (x, y) share one arc tangent: walk the half below the diagonal.
    for (int y = 0; y < side; ++y) {
        angle[static_cast<size_t>(y) * side] = 90.0f;  // x = 0
        for (int x = std::max(y, 1); x < side; ++x) {
            const size_t k = static_cast<size_t>(y) * side + x;
            const size_t mirror = static_cast<size_t>(x) * side + y;
            const bool needK = inRange(k);
            const bool needMirror = y > 0 && x != y && inRange(mirror);
            if (!needK && !needMirror) {
                continue;
            }
            const double t = std::atan(static_cast<double>(y) / static_cast<double>(x));
            if (needK) {
                angle[k] = quadrantAngle(static_cast<float>(t));
            }
            if (needMirror) {
                angle[mirror] = quadrantAngle(mirroredAtanFloat(t, y, x));
            }
        }
    }
    pGeometry->dim_ = iDim;
    pGeometry->half_ = half;
    pGeometry->side_ = side;
    return true;
}

FieldRange fieldRange(const STD_RAY* pRay, int iFieldIdx) {
    int km = pRay->m_hdr.m_iStartRangeKm;
    int metres = pRay->m_hdr.m_iStartRangeMeter;
    int spacing = pRay->m_hdr.m_iBinSpacing;
    if (iFieldIdx >= 0 && iFieldIdx < pRay->m_iMaxField && pRay->m_ppField != nullptr &&
        pRay->m_ppField[iFieldIdx] != nullptr &&
        pRay->m_ppField[iFieldIdx]->m_hdr.m_iBinSpacing != 0) {
        const STD_FIELD_HDR& hdr = pRay->m_ppField[iFieldIdx]->m_hdr;
        km = hdr.m_iStartRangeKm;
        metres = hdr.m_iStartRangeMeter;
        spacing = hdr.m_iBinSpacing;
    }
    FieldRange range;
    range.startKm = static_cast<float>(km + metres / 1000.0);
    range.startKmSingle = static_cast<float>(km) + static_cast<float>(metres) / 1000.0f;
    range.spacingM = spacing;
    return range;
}

namespace {

// Fills the flat record of one ray for the moment at iFieldIdx (-1: absent); the same
// checks, in the same precision, as fnGetBinValueToRay.
void describeRay(const STD_RAY* pRay, int iFieldIdx, RayBins* pBins) {
    pBins->azimuth = pRay->m_hdr.m_fAzimuth;
    pBins->onRing = std::isfinite(pBins->azimuth);
    pBins->walkAzimuth = rdr_ring::walkAzimuth(pBins->azimuth);
    pBins->fieldIdx = iFieldIdx;
    if (iFieldIdx < 0) {
        return;
    }
    const STD_FIELD* pField = pRay->m_ppField[iFieldIdx];
    const FieldRange range = fieldRange(pRay, iFieldIdx);
    const int scale = pField->m_hdr.m_iScaleFactor;
    if (pField->m_pData == nullptr || range.spacingM == 0 || scale == 0) {
        return;
    }
    pBins->startM = range.startKmSingle * 1000.0f;
    pBins->spacingM = static_cast<float>(range.spacingM);
    pBins->scale = static_cast<float>(scale);
    auto small = [](int d) { return d >= -kMaxExactDivisor && d <= kMaxExactDivisor; };
    pBins->reciprocal = small(range.spacingM) && small(scale);
    pBins->invSpacing = 1.0 / range.spacingM;
    pBins->invScale = 1.0 / scale;
    pBins->maxBin = pField->m_iMaxBin;
    const char* name = pField->m_hdr.m_szFieldName;
    pBins->snapKdp = name[0] == 'K' && name[1] == 'D' && name[2] == '\0';
    pBins->data = pField->m_pData;
}

// The farthest range (km) at which the ray's bins can give a value, with a margin that
// keeps clear of the single-precision rounding of a cell's bin position; infinite when
// the bins run inward.
double rayReachKm(const STD_RAY* pRay, const RayBins& bins) {
    if (bins.spacingM < 0.0f) {
        return std::numeric_limits<double>::infinity();
    }
    const FieldRange range = fieldRange(pRay, bins.fieldIdx);
    const double startKm = range.startKm;
    const double spanKm = (bins.maxBin + 1.0) * range.spacingM / 1000.0;
    return startKm + spanKm + 1.0 + (std::fabs(startKm) + std::fabs(spanKm)) * 1e-6;
}

}  // namespace

SweepView buildSweepView(STD_SWEEP* pSweep, const char* szFieldName, STD_AZIMUTH_TBL* pTable) {
    SweepView view;
    view.sweep = pSweep;
    view.table = pTable;
    if (pSweep == nullptr || pSweep->m_ppRay == nullptr || pSweep->m_iMaxRay <= 0) {
        return view;
    }
    const int nRay = pSweep->m_iMaxRay;
    view.res = static_cast<float>(360.0 / nRay);
    view.fieldIdx.assign(nRay, -1);
    view.rays.assign(nRay, RayBins{});
    double reachKm = 0.0;
    bool anyBins = false;
    for (int r = 0; r < nRay; ++r) {
        STD_RAY* ray = pSweep->m_ppRay[r];
        if (ray == nullptr) {
            continue;
        }
        if (!view.hasAngle) {
            view.hasAngle = true;
            view.fixedAngle = ray->m_hdr.m_fFixedAngle;
            view.firstRay = r;
        }
        const int idx = szFieldName != nullptr ? fnGetFieldIdxRay(ray, szFieldName) : -1;
        RayBins& bins = view.rays[r];
        describeRay(ray, idx, &bins);
        if (idx < 0) {
            continue;
        }
        view.hasMoment = true;
        if (bins.data != nullptr) {
            anyBins = true;
            reachKm = std::max(reachKm, rayReachKm(ray, bins));
        }
        if (ray->m_ppField[idx]->m_pData != nullptr && fieldRange(ray, idx).spacingM > 0) {
            view.fieldIdx[r] = idx;
        }
    }
    view.reachKm = static_cast<float>(reachKm);
    view.usable = anyBins && pTable != nullptr;
    return view;
}

std::vector<SweepView> buildSweepViews(STD_RADAR* pStd, const char* szFieldName,
                                       STD_AZIMUTH_TBL** ppTable) {
    std::vector<SweepView> views;
    if (pStd == nullptr || pStd->m_ppSweep == nullptr || pStd->m_iMaxSweep <= 0) {
        return views;
    }
    views.reserve(pStd->m_iMaxSweep);
    for (int s = 0; s < pStd->m_iMaxSweep; ++s) {
        views.push_back(buildSweepView(pStd->m_ppSweep[s], szFieldName,
                                       ppTable != nullptr ? ppTable[s] : nullptr));
    }
    return views;
}

namespace {

bool distinctAzimuthsInCircle(const SweepView& view) {
    std::vector<float> azimuths;
    azimuths.reserve(view.rays.size());
    for (const RayBins& ray : view.rays) {
        if (!ray.onRing) {
            continue;  // not on the search ring
        }
        if (!(ray.azimuth >= 0.0f && ray.azimuth < 360.0f)) {
            return false;
        }
        azimuths.push_back(ray.azimuth);
    }
    std::sort(azimuths.begin(), azimuths.end());
    return std::adjacent_find(azimuths.begin(), azimuths.end()) == azimuths.end();
}

}  // namespace

void buildRayLut(SweepView* pView) {
    constexpr int kBuckets = 360 * kRayLutPerDegree;
    SweepView& view = *pView;
    if (!view.usable || !distinctAzimuthsInCircle(view)) {
        return;
    }
    view.rayLut.resize(kBuckets);
    for (int b = 0; b < kBuckets; ++b) {
        const float lo = static_cast<float>(b) / kRayLutPerDegree;
        const float hi = std::nextafter(static_cast<float>(b + 1) / kRayLutPerDegree, 0.0f);
        const int rayLo = searchRay(view, lo);
        const int rayHi = searchRay(view, hi);
        view.rayLut[b] = rayLo == rayHi ? rayLo : kRayLutMixed;
    }
}

void buildRayLuts(std::vector<SweepView>* pViews) {
    for (SweepView& view : *pViews) {
        buildRayLut(&view);
    }
}

}  // namespace rdr_product
