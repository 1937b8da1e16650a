// Mohr-method CAPPI: the point is bracketed by the sweeps just below and above it and, in
// each, by the two rays either side of its azimuth; the value is interpolated linearly
// between rays and then between sweeps (in linear reflectivity for "DZ" and "CZ").
//
// Neighbours without a value are left out and the weights of the others renormalised, so an
// echo edge is not halved by the empty side; where every neighbour holds a value the
// interpolation is the plain bilinear one.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "cappi_product.h"
#include "core_utilities.h"
#include "internal/product_grid.h"
#include "ray_lookup.h"

namespace {

using rdr_product::kNoData;
using rdr_product::SweepView;

// Two bins along one ray: the bin that holds the point's slant range and the next one.
struct CLOEST_VALUES {
    int m_valid[2];
    float m_dBZ[2];
    float m_R[2];  // slant range of the lookup, metres
};

// Two rays of one sweep: index 0 counter-clockwise of the point, index 1 clockwise.
struct CLOEST_AZIMS {
    int m_valid[2];
    STD_RAY* m_ray[2];
    CLOEST_VALUES m_values[2];
    float m_theta[2];
    int m_spacingM[2];
};

// Two sweeps: index 0 below the point, index 1 above it or the only one found.
struct CLOEST_SWEEPS {
    int m_valid[2];
    int m_swIdx[2];
    CLOEST_AZIMS m_azims[2];
    float m_phi[2];
};

struct MohrVolume {
    std::vector<SweepView> views;
    int noData = 0;
    float heightKm = 0;  // above the radar
    float gridKm = 0;
    int kind = 0;
    float elevLimitDeg = 0;
    bool linearReflectivity = false;
};

constexpr float kMaxRayOffsetDeg = 1.0f;

bool rayNearAzimuth(const SweepView& view, int rayIdx, float fAzim) {
    return rayIdx >= 0 && rayIdx < view.sweep->m_iMaxRay &&
           view.sweep->m_ppRay[rayIdx] != nullptr &&
           fnDiffDegree(fAzim, view.sweep->m_ppRay[rayIdx]->m_hdr.m_fAzimuth) <= kMaxRayOffsetDeg;
}

void placeRay(const SweepView& view, int rayIdx, float fAzim, float slantM, int noData,
              CLOEST_AZIMS* pAzims) {
    STD_RAY* ray = view.sweep->m_ppRay[rayIdx];
    const int slot = fnMinusDegree(ray->m_hdr.m_fAzimuth, fAzim) < 0 ? 0 : 1;
    pAzims->m_valid[slot] = 1;
    pAzims->m_ray[slot] = ray;
    pAzims->m_theta[slot] = ray->m_hdr.m_fAzimuth;
    CLOEST_VALUES& values = pAzims->m_values[slot];
    const int fieldIdx = view.fieldIdx[rayIdx];
    const int spacing = fieldIdx >= 0 ? rdr_product::fieldRange(ray, fieldIdx).spacingM : 0;
    pAzims->m_spacingM[slot] = spacing;
    for (int b = 0; b < 2; ++b) {
        const float rangeM = b == 0 ? slantM : slantM + spacing;
        const float value = fieldIdx >= 0
                                ? rdr_product::rayBinValue(view, rayIdx, rangeM / 1000, noData)
                                : RDR_BIN_NO_VALUE;
        values.m_valid[b] = value != RDR_BIN_NO_VALUE;
        values.m_dBZ[b] = values.m_valid[b] ? value : kNoData;
        values.m_R[b] = values.m_valid[b] ? rangeM : -1.0f;
    }
}

// The nearest ray within one degree and the nearer of its two ring neighbours.
void findRays(const SweepView& view, float fAzim, float slantM, int noData, CLOEST_AZIMS* pAzims) {
    if (!view.usable) {
        return;
    }
    const int first = rdr_product::searchRay(view, fAzim);
    if (!rayNearAzimuth(view, first, fAzim)) {
        return;
    }
    const STD_AZIMUTH_TBL& links = view.table[first];
    int second = -1;
    float secondDiff = 0;
    for (int neighbour : {links.m_iHigh, links.m_iLow}) {
        if (!rayNearAzimuth(view, neighbour, fAzim)) {
            continue;
        }
        const float diff = fnDiffDegree(fAzim, view.sweep->m_ppRay[neighbour]->m_hdr.m_fAzimuth);
        if (second < 0 || diff < secondDiff) {
            second = neighbour;
            secondDiff = diff;
        }
    }
    placeRay(view, first, fAzim, slantM, noData, pAzims);
    if (second >= 0) {
        placeRay(view, second, fAzim, slantM, noData, pAzims);
    }
}

float asInterpolated(const CLOEST_VALUES& values, int bin, bool linear) {
    if (!values.m_valid[bin]) {
        return 0.0f;
    }
    return linear ? static_cast<float>(fnDbzToZeF(values.m_dBZ[bin])) : values.m_dBZ[bin];
}

// Interpolated value of one sweep slot in the interpolation units; false when no ray of the
// slot holds a value near the point.
bool sweepSlotValue(const CLOEST_AZIMS& azims, float fAzim, float slantM, float defaultGapKm,
                    bool linear, float* pValue) {
    float z[2][2];  // [ray][bin]
    bool rayHasValue[2];
    bool allValid = true;
    int rays = 0;
    for (int j = 0; j < 2; ++j) {
        const CLOEST_VALUES& values = azims.m_values[j];
        z[j][0] = azims.m_valid[j] ? asInterpolated(values, 0, linear) : 0.0f;
        z[j][1] = azims.m_valid[j] ? asInterpolated(values, 1, linear) : 0.0f;
        rayHasValue[j] = azims.m_valid[j] && (values.m_valid[0] || values.m_valid[1]);
        if (azims.m_valid[j]) {
            ++rays;
            allValid = allValid && values.m_valid[0] && values.m_valid[1];
        }
    }
    if (!rayHasValue[0] && !rayHasValue[1]) {
        return false;
    }
    const float tj = azims.m_valid[0] ? fnMinusDegree(fAzim, azims.m_theta[0]) : 0.0f;
    const float tj1 = azims.m_valid[1] ? fnMinusDegree(fAzim, azims.m_theta[1]) : 0.0f;
    const float dt = fnDiffDegree(azims.m_theta[0], azims.m_theta[1]);

    if (allValid && (rays == 1 || dt > 0.0f)) {
        float dr = defaultGapKm;
        float ri = dr * 0.5f;
        float ri1 = -ri;
        for (int j = 0; j < 2; ++j) {
            if (azims.m_valid[j] && azims.m_values[j].m_valid[0]) {
                ri = (slantM - azims.m_values[j].m_R[0]) / 1000;
                dr = azims.m_spacingM[j] / 1000.0f;
                break;
            }
        }
        for (int j = 0; j < 2; ++j) {
            if (azims.m_valid[j] && azims.m_values[j].m_valid[1]) {
                ri1 = (slantM - azims.m_values[j].m_R[1]) / 1000;
                dr = azims.m_spacingM[j] / 1000.0f;
                break;
            }
        }
        if (rays == 2) {
            *pValue = ((z[1][1] * tj - z[0][1] * tj1) * ri - (tj * z[1][0] - z[0][0] * tj1) * ri1) /
                      (dt * dr);
        } else {
            const int j = azims.m_valid[0] ? 0 : 1;
            *pValue = (ri * z[j][1] - ri1 * z[j][0]) / dr;
        }
        return true;
    }

    // Some neighbour is missing: the range step takes the valid bin of each ray, the
    // azimuth step the rays that hold a value.
    float rayValue[2] = {0.0f, 0.0f};
    for (int j = 0; j < 2; ++j) {
        if (!rayHasValue[j]) {
            continue;
        }
        const CLOEST_VALUES& values = azims.m_values[j];
        if (values.m_valid[0] && values.m_valid[1]) {
            const float dr = azims.m_spacingM[j] / 1000.0f;
            const float ri = (slantM - values.m_R[0]) / 1000;
            const float ri1 = (slantM - values.m_R[1]) / 1000;
            rayValue[j] = (ri * z[j][1] - ri1 * z[j][0]) / dr;
        } else {
            rayValue[j] = values.m_valid[0] ? z[j][0] : z[j][1];
        }
    }
    if (rayHasValue[0] && rayHasValue[1]) {
        *pValue = dt > 0.0f ? (tj * rayValue[1] - tj1 * rayValue[0]) / dt
                            : 0.5f * (rayValue[0] + rayValue[1]);
    } else {
        *pValue = rayHasValue[0] ? rayValue[0] : rayValue[1];
    }
    return true;
}

float defaultGapKm(const SweepView& view) {
    if (view.firstRay < 0) {
        return 1.0f;
    }
    return view.sweep->m_ppRay[view.firstRay]->m_hdr.m_iBinSpacing / 1000.0f;
}

float mohrPoint(const MohrVolume& volume, float fPointX, float fPointY) {
    const float slantM =
        fnGetSlantRange(fPointX, fPointY, volume.heightKm * 1000, volume.gridKm * 1000);
    if (!(slantM > 0.0f)) {
        return kNoData;  // the radar itself: no elevation angle exists
    }
    const float elev = fnGetElevation(slantM, volume.heightKm * 1000);
    const float azim = fnGetAzimuth(fPointX, fPointY);
    const std::vector<SweepView>& views = volume.views;
    const int sweeps = static_cast<int>(views.size());

    int lower = -1;
    float best = 91.0f;
    for (int s = 0; s < sweeps; ++s) {
        if (!views[s].hasAngle) {
            continue;
        }
        if (views[s].fixedAngle > elev) {
            break;
        }
        const float diff = fnDiffDegree(views[s].fixedAngle, elev);
        if (diff <= best) {
            best = diff;
            lower = s;
        }
    }
    int upper = -1;
    best = 91.0f;
    for (int s = sweeps - 1; s >= 0; --s) {
        if (s == lower || !views[s].hasAngle) {
            continue;
        }
        if (views[s].fixedAngle < elev) {
            break;
        }
        const float diff = fnDiffDegree(views[s].fixedAngle, elev);
        if (diff <= best) {
            best = diff;
            upper = s;
        }
    }
    if (lower >= upper) {
        std::swap(lower, upper);
    }

    CLOEST_SWEEPS sweepsAround;
    std::memset(&sweepsAround, 0, sizeof sweepsAround);
    sweepsAround.m_swIdx[0] = lower;
    sweepsAround.m_swIdx[1] = upper;
    bool anyBin = false;
    for (int k = 0; k < 2; ++k) {
        const int s = sweepsAround.m_swIdx[k];
        sweepsAround.m_phi[k] = -250.0f;
        if (s < 0 || fnDiffDegree(elev, views[s].fixedAngle) > volume.elevLimitDeg) {
            continue;
        }
        sweepsAround.m_valid[k] = 1;
        sweepsAround.m_phi[k] = views[s].fixedAngle;
        CLOEST_AZIMS& azims = sweepsAround.m_azims[k];
        azims.m_theta[0] = azims.m_theta[1] = -250.0f;
        findRays(views[s], azim, slantM, volume.noData, &azims);
        for (int j = 0; j < 2; ++j) {
            anyBin = anyBin || (azims.m_valid[j] &&
                                (azims.m_values[j].m_valid[0] || azims.m_values[j].m_valid[1]));
        }
    }
    if (!anyBin || (volume.kind != RDR_EN_PSEUDO_CAPPI && volume.kind != RDR_EN_REAL_CAPPI)) {
        return kNoData;
    }
    if (volume.kind == RDR_EN_REAL_CAPPI && !sweepsAround.m_valid[0] && sweepsAround.m_valid[1] &&
        sweepsAround.m_swIdx[1] == 0 && elev < views[0].fixedAngle) {
        return kNoData;  // under the lowest sweep
    }

    float slotValue[2] = {0.0f, 0.0f};
    bool hasValue[2] = {false, false};
    for (int k = 0; k < 2; ++k) {
        if (sweepsAround.m_valid[k]) {
            const SweepView& view = views[sweepsAround.m_swIdx[k]];
            hasValue[k] = sweepSlotValue(sweepsAround.m_azims[k], azim, slantM, defaultGapKm(view),
                                         volume.linearReflectivity, &slotValue[k]);
        }
    }
    float value;
    if (hasValue[0] && hasValue[1]) {
        const float phi0 = sweepsAround.m_phi[0];
        const float phi1 = sweepsAround.m_phi[1];
        if (elev == phi0) {
            value = slotValue[0];
        } else if (elev == phi1) {
            value = slotValue[1];
        } else {
            const float dp = fnDiffDegree(phi1, phi0);
            const float p0 = fnMinusDegree(elev, phi0);
            const float p1 = fnMinusDegree(elev, phi1);
            value = dp > 0.0f ? (p0 * slotValue[1] - p1 * slotValue[0]) / dp
                              : 0.5f * (slotValue[0] + slotValue[1]);
        }
    } else if (hasValue[0] || hasValue[1]) {
        value = hasValue[0] ? slotValue[0] : slotValue[1];
    } else {
        return kNoData;
    }
    return volume.linearReflectivity ? static_cast<float>(fnZeToDbzF(value)) : value;
}

bool isReflectivity(const char* szFieldName) {
    return std::strcmp(szFieldName, "DZ") == 0 || std::strcmp(szFieldName, "CZ") == 0;
}

bool prepareMohr(STD_RADAR* pStd, float fHeightToRadarKm, float fGridKm, int iCappiKind,
                 int iYesCross, bool linear, const char* szFieldName, STD_AZIMUTH_TBL** ppTable,
                 MohrVolume* pVolume) {
    try {
        pVolume->views = rdr_product::buildSweepViews(pStd, szFieldName, ppTable);
    } catch (const std::bad_alloc&) {
        return false;
    }
    pVolume->noData = pStd->m_hdr.m_iNoDataValue;
    pVolume->heightKm = fHeightToRadarKm;
    pVolume->gridKm = fGridKm;
    pVolume->kind = iCappiKind;
    pVolume->elevLimitDeg = iYesCross == 1 ? 3.0f : 2.0f;
    pVolume->linearReflectivity = linear;
    return true;
}

}  // namespace

float fnCappi_at_h_cart(STD_RADAR* pStd, float fHeightToRadarKm, float fPointX, float fPointY,
                        float fGridKm, int iCappiKind, int iYesCross, int iYesDbz,
                        char* szFieldName, STD_AZIMUTH_TBL** ppTable) {
    if (szFieldName == nullptr || pStd == nullptr || ppTable == nullptr ||
        !fnStdRadarHasMoment(pStd, szFieldName)) {
        return kNoData;
    }
    MohrVolume volume;
    if (!prepareMohr(pStd, fHeightToRadarKm, fGridKm, iCappiKind, iYesCross, iYesDbz == 1,
                     szFieldName, ppTable, &volume)) {
        return kNoData;
    }
    return mohrPoint(volume, fPointX, fPointY);
}

float* fnCreateCappiMohr(STD_RADAR* pStd, float fCappiHeightKm, int iXdim, int iYdim,
                         float /*fMaxRangeKm: the grid is not cut at a range*/, float fGridKm,
                         int iCappiKind, int iYesCross, char* szFieldName,
                         STD_AZIMUTH_TBL** ppTable) {
    static const char kFunction[] = "fnCreateCappiMohr";
    if (szFieldName == nullptr || pStd == nullptr || ppTable == nullptr || iXdim <= 0 ||
        iYdim <= 0) {
        return nullptr;
    }
    if (pStd->m_ppSweep == nullptr || pStd->m_iMaxSweep <= 0) {
        rdrError(kFunction, "sweep is null or m_ppRay is null");
        return nullptr;
    }
    if (!fnStdRadarHasMoment(pStd, szFieldName)) {
        rdrError(kFunction, "no moment");
        return nullptr;
    }
    const float heightToRadarKm = fCappiHeightKm + pStd->m_hdr.m_iAnteHeight / -1000.0f;
    MohrVolume volume;
    if (!prepareMohr(pStd, heightToRadarKm, fGridKm, iCappiKind, iYesCross,
                     isReflectivity(szFieldName), szFieldName, ppTable, &volume)) {
        return nullptr;
    }
    const size_t cells = static_cast<size_t>(iXdim) * static_cast<size_t>(iYdim);
    float* grid = static_cast<float*>(std::malloc(cells * sizeof(float)));
    if (grid == nullptr) {
        return nullptr;
    }
    for (int r = 0; r < iYdim; ++r) {
        const float pointY = static_cast<float>(r - 0.5 * (iYdim - 1));
        for (int c = 0; c < iXdim; ++c) {
            const float pointX = static_cast<float>(c - 0.5 * (iXdim - 1));
            grid[static_cast<size_t>(r) * iXdim + c] = mohrPoint(volume, pointX, pointY);
        }
    }
    return grid;
}
