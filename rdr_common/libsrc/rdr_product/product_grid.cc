#include "internal/product_grid.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>

#include "core_utilities.h"
#include "ray_lookup.h"

namespace rdr_product {

bool buildCellGeometry(int iDim, CellGeometry* pGeometry) {
    if (iDim <= 0 || pGeometry == nullptr) {
        return false;
    }
    // fnCalcAzimuthToXY forms atan(y / x) in double, rounds it to single precision and turns
    // it into degrees with pi = 3.14159; the arc tangent is odd and IEEE negation exact, so
    // the first quadrant serves all four bit for bit.
    constexpr double kPi = 3.14159;
    const int half = iDim / 2;
    const int side = half + 1;
    try {
        pGeometry->quadRoot_.resize(static_cast<size_t>(side) * side);
        pGeometry->quadAngle_.resize(pGeometry->quadRoot_.size());
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const size_t k = static_cast<size_t>(y) * side + x;
            const long squares = static_cast<long>(x) * x + static_cast<long>(y) * y;
            pGeometry->quadRoot_[k] = static_cast<float>(std::sqrt(static_cast<double>(squares)));
            float angle = 90.0f;
            if (x > 0) {
                const float a = static_cast<float>(std::atan(static_cast<double>(y) / x));
                angle = static_cast<float>(a * 180.0 / kPi);
            }
            pGeometry->quadAngle_[k] = angle;
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

float rayReachKm(const STD_RAY* pRay, int iFieldIdx) {
    const STD_FIELD* field = pRay->m_ppField[iFieldIdx];
    const FieldRange own = fieldRange(pRay, iFieldIdx);
    // Either geometry bounds the bins; take the farther so that skipping is always safe.
    const double rayStart = pRay->m_hdr.m_iStartRangeKm + pRay->m_hdr.m_iStartRangeMeter / 1000.0;
    const double ownEnd = own.startKm + (field->m_iMaxBin + 1.0) * own.spacingM / 1000.0;
    const double rayEnd =
        rayStart + (field->m_iMaxBin + 1.0) * std::max(pRay->m_hdr.m_iBinSpacing, 0) / 1000.0;
    return static_cast<float>(std::max(ownEnd, rayEnd) + 1.0);
}

}  // namespace

std::vector<SweepView> buildSweepViews(STD_RADAR* pStd, const char* szFieldName,
                                       STD_AZIMUTH_TBL** ppTable) {
    std::vector<SweepView> views;
    if (pStd == nullptr || pStd->m_ppSweep == nullptr || pStd->m_iMaxSweep <= 0) {
        return views;
    }
    views.resize(pStd->m_iMaxSweep);
    for (int s = 0; s < pStd->m_iMaxSweep; ++s) {
        SweepView& view = views[s];
        STD_SWEEP* sweep = pStd->m_ppSweep[s];
        view.sweep = sweep;
        view.table = ppTable != nullptr ? ppTable[s] : nullptr;
        if (sweep == nullptr || sweep->m_ppRay == nullptr || sweep->m_iMaxRay <= 0) {
            continue;
        }
        view.res = static_cast<float>(360.0 / sweep->m_iMaxRay);
        view.fieldIdx.assign(sweep->m_iMaxRay, -1);
        bool anyMoment = false;
        for (int r = 0; r < sweep->m_iMaxRay; ++r) {
            STD_RAY* ray = sweep->m_ppRay[r];
            if (ray == nullptr) {
                continue;
            }
            if (!view.hasAngle) {
                view.hasAngle = true;
                view.fixedAngle = ray->m_hdr.m_fFixedAngle;
                view.firstRay = r;
            }
            if (szFieldName == nullptr) {
                continue;
            }
            const int idx = fnGetFieldIdxRay(ray, szFieldName);
            if (idx < 0 || ray->m_ppField[idx]->m_pData == nullptr ||
                fieldRange(ray, idx).spacingM <= 0) {
                continue;  // a ray without usable bins holds no value anywhere
            }
            view.fieldIdx[r] = idx;
            view.reachKm = std::max(view.reachKm, rayReachKm(ray, idx));
            anyMoment = true;
        }
        view.usable = anyMoment && view.table != nullptr;
    }
    return views;
}

namespace {

bool distinctAzimuthsInCircle(const STD_SWEEP* pSweep) {
    std::vector<float> azimuths;
    azimuths.reserve(pSweep->m_iMaxRay);
    for (int r = 0; r < pSweep->m_iMaxRay; ++r) {
        const STD_RAY* ray = pSweep->m_ppRay[r];
        if (ray == nullptr || !std::isfinite(ray->m_hdr.m_fAzimuth)) {
            continue;  // not on the search ring
        }
        const float az = ray->m_hdr.m_fAzimuth;
        if (!(az >= 0.0f && az < 360.0f)) {
            return false;
        }
        azimuths.push_back(az);
    }
    std::sort(azimuths.begin(), azimuths.end());
    return std::adjacent_find(azimuths.begin(), azimuths.end()) == azimuths.end();
}

}  // namespace

void buildRayLuts(std::vector<SweepView>* pViews) {
    constexpr int kBuckets = 360 * kRayLutPerDegree;
    for (SweepView& view : *pViews) {
        if (!view.usable || !distinctAzimuthsInCircle(view.sweep)) {
            continue;
        }
        view.rayLut.resize(kBuckets);
        for (int b = 0; b < kBuckets; ++b) {
            const float lo = static_cast<float>(b) / kRayLutPerDegree;
            const float hi = std::nextafter(static_cast<float>(b + 1) / kRayLutPerDegree, 0.0f);
            const int rayLo = fnSearchRayToAzim(view.sweep, view.res, lo, view.table);
            const int rayHi = fnSearchRayToAzim(view.sweep, view.res, hi, view.table);
            view.rayLut[b] = rayLo == rayHi ? rayLo : kRayLutMixed;
        }
    }
}

float samplePpiCell(const SweepView& view, float fAzim, float fRangeKm, int iNoDataValue) {
    if (!view.usable || fRangeKm > view.reachKm) {
        return kNoData;
    }
    const int rayIdx = findRay(view, fAzim);
    if (rayIdx < 0 || rayIdx >= view.sweep->m_iMaxRay) {
        return kNoData;
    }
    STD_RAY* ray = view.sweep->m_ppRay[rayIdx];
    const int fieldIdx = view.fieldIdx[rayIdx];
    if (ray == nullptr || fieldIdx < 0 || fnDiffDegree(fAzim, ray->m_hdr.m_fAzimuth) > 1.0f) {
        return kNoData;
    }
    const float value = fnGetBinValueToRay(ray, fieldIdx, fRangeKm, iNoDataValue);
    return isBinNoValue(value) ? kNoData : value;
}

}  // namespace rdr_product
