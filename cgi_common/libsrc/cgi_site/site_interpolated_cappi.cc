#include "site_interpolated_cappi.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "internal/site_grid_frame.h"

namespace {

// Effective earth radius (4/3 of 6371.00877 km), m.
constexpr double kRadiusM = 8494678.385416666;
constexpr double kPi = 3.141592;
constexpr double kRaddeg = 57.29579143313326;
// A ray takes part when it lies within this many degrees of the cell's azimuth.
constexpr double kRayLimitDeg = 1.0;
constexpr float kMissingAngle = -250.0f;

enum class Mode { Window, Real, Pseudo };

// Folds an angle difference into (-180, 180].
double fold(double d) {
    d = std::fmod(d, 360.0);
    if (d > 180.0) {
        d -= 360.0;
    } else if (d <= -180.0) {
        d += 360.0;
    }
    return d;
}

CAPPI_LOC sampleLocation(double dx, double dy, double gridM, double heightM) {
    const double rho =
        std::sqrt(gridM * dy * gridM * dy + gridM * dx * gridM * dx + heightM * heightM);
    CAPPI_LOC loc{0.0f, static_cast<float>(rho)};
    if (rho > 0.0) {
        const double s =
            (heightM * heightM - rho * rho + 2.0 * kRadiusM * heightM) / (2.0 * kRadiusM * rho);
        loc.m_fElev = static_cast<float>(std::asin(std::clamp(s, -1.0, 1.0)) * kRaddeg);
    }
    return loc;
}

double cellAzimuth(double dx, double dy) {
    if (dx == 0.0) {
        return dy <= 0.0 ? 0.0 : 180.0;
    }
    return std::atan(dy / dx) * 180.0 / kPi + (dx < 0.0 ? 270.0 : 90.0);
}

struct Interpolator {
    const ST_UF_DATA& uf;
    st_Azimuth* const* table;
    bool isDbz;

    double sample(int s, int r, int k, st_CloestValues& v, int idx) const {
        v.m_rgnBinNum[idx] = k;
        v.m_rgfR[idx] = static_cast<float>(uf.m_nRangeBin[s][r] +
                                           static_cast<double>(k) * uf.m_nGateSize[s][r]);
        const bool inside = k >= 0 && k < std::min(uf.m_nBins[s][r], SITE_UF_MAX_BINS);
        const float x = inside ? uf.m_fData[s][r][k] : SITE_NO_DATA;
        v.m_rgnValid[idx] = siteIsValue(x) ? 1 : 0;
        const double value = v.m_rgnValid[idx] ? (isDbz ? std::pow(10.0, x / 10.0) : x) : 0.0;
        v.m_rgfDbz[idx] = static_cast<float>(value);
        return value;
    }

    // Range interpolation along ray r between the bins bracketing rho; false when neither
    // bin holds a value.
    bool rayValue(int s, int r, double rhoM, st_CloestValues& v, double& out) const {
        const int gate = uf.m_nGateSize[s][r];
        if (gate <= 0) {
            return false;
        }
        const int b = static_cast<int>(std::floor((rhoM - uf.m_nRangeBin[s][r]) / gate));
        const double v0 = sample(s, r, b, v, 0);
        const double v1 = sample(s, r, b + 1, v, 1);
        if (!v.m_rgnValid[0] && !v.m_rgnValid[1]) {
            return false;
        }
        const double d0 = (rhoM - v.m_rgfR[0]) / 1000.0;
        const double d1 = (rhoM - v.m_rgfR[1]) / 1000.0;
        out = (d0 * v1 - d1 * v0) / (gate / 1000.0);
        return true;
    }

    // Azimuth interpolation between the rays bracketing theta in sweep s.
    bool sweepValue(int s, double thetaDeg, double rhoM, st_CloestAzims& a, double& out) const {
        a = st_CloestAzims{{0, 0}, {-1, -1}, {kMissingAngle, kMissingAngle}, {}};
        const int nearest = siteClosestRay(&uf, s, table[s], static_cast<float>(thetaDeg));
        if (nearest < 0 || std::fabs(fold(thetaDeg - uf.m_AZIM[s][nearest])) > kRayLimitDeg) {
            return false;
        }
        const bool nearestIsLower = fold(thetaDeg - uf.m_AZIM[s][nearest]) >= 0.0;
        const int other = nearestIsLower ? table[s][nearest].m_nHigh : table[s][nearest].m_nLow;
        const int lowerIdx = nearestIsLower ? 0 : 1;
        const int rays[2] = {nearest, other};
        const int slots[2] = {lowerIdx, 1 - lowerIdx};
        double values[2] = {0.0, 0.0};
        for (int m = 0; m < 2; ++m) {
            const int r = rays[m];
            if (r < 0 || r >= uf.m_rgnRays[s] || (m == 1 && r == nearest) ||
                std::fabs(fold(thetaDeg - uf.m_AZIM[s][r])) > kRayLimitDeg) {
                continue;
            }
            const int slot = slots[m];
            a.m_rgnAzim[slot] = r;
            a.m_rgfTheta[slot] = uf.m_AZIM[s][r];
            a.m_rgnValid[slot] = rayValue(s, r, rhoM, a.m_tValues[slot], values[slot]) ? 1 : 0;
        }
        if (a.m_rgnValid[0] && a.m_rgnValid[1]) {
            // Both differences folded, so that rays either side of north are 2 degrees
            // apart, not 358.
            const double t0 = fold(thetaDeg - a.m_rgfTheta[0]);
            const double t1 = fold(thetaDeg - a.m_rgfTheta[1]);
            const double span = t0 - t1;
            if (span > 0.0) {
                out = (values[1] * t0 - values[0] * t1) / span;
                return true;
            }
        }
        for (int slot = 0; slot < 2; ++slot) {
            if (a.m_rgnValid[slot]) {
                out = values[slot];
                return true;
            }
        }
        return false;
    }

    float cell(const CAPPI_LOC& loc, double thetaDeg, double limitDeg, Mode mode) const {
        if (!(loc.m_fSrange > 0.0f)) {
            return SITE_NO_DATA;  // the antenna itself: no beam reaches it
        }
        const double phi = loc.m_fElev;
        const int sweeps = std::clamp(uf.m_nSweeps, 0, SITE_UF_MAX_SWEEPS);
        int lower = -1;
        int upper = -1;
        for (int s = 0; s < sweeps; ++s) {
            if (!site_frame::sweepUsable(uf, s, table[s])) {
                continue;
            }
            const double e = uf.m_fUfElevation[s];
            if (e <= phi && (lower < 0 || e >= uf.m_fUfElevation[lower])) {
                lower = s;  // later sweeps win ties
            }
        }
        for (int s = 0; s < sweeps; ++s) {
            if (s == lower || !site_frame::sweepUsable(uf, s, table[s])) {
                continue;
            }
            const double e = uf.m_fUfElevation[s];
            if (e >= phi && (upper < 0 || e < uf.m_fUfElevation[upper])) {
                upper = s;
            }
        }
        if (lower < 0 && mode == Mode::Real) {
            return SITE_NO_DATA;
        }
        // Outside the span of the sweeps a pseudo CAPPI takes the nearest sweep at any
        // distance; within it every mode keeps to the bracket limit.
        const bool outside = lower < 0 || upper < 0;
        const bool unlimited = mode == Mode::Pseudo && outside;

        st_CloestSweeps sw{{0, 0}, {lower, upper}, {kMissingAngle, kMissingAngle}, {}};
        double values[2] = {0.0, 0.0};
        const int members[2] = {lower, upper};
        for (int m = 0; m < 2; ++m) {
            const int s = members[m];
            if (s < 0) {
                continue;
            }
            sw.m_rgfPhi[m] = uf.m_fUfElevation[s];
            if (!unlimited && std::fabs(uf.m_fUfElevation[s] - phi) > limitDeg) {
                continue;
            }
            sw.m_rgnValid[m] =
                sweepValue(s, thetaDeg, loc.m_fSrange, sw.m_tAzims[m], values[m]) ? 1 : 0;
        }
        double v = 0.0;
        if (sw.m_rgnValid[0] && sw.m_rgnValid[1] && sw.m_rgfPhi[1] != sw.m_rgfPhi[0] &&
            phi != sw.m_rgfPhi[0]) {
            v = ((phi - sw.m_rgfPhi[0]) * values[1] - (phi - sw.m_rgfPhi[1]) * values[0]) /
                std::fabs(sw.m_rgfPhi[1] - sw.m_rgfPhi[0]);
        } else if (sw.m_rgnValid[0]) {
            v = values[0];
        } else if (sw.m_rgnValid[1]) {
            v = values[1];
        } else {
            return SITE_NO_DATA;
        }
        if (isDbz) {
            return v > 0.0 ? static_cast<float>(10.0 * std::log10(v)) : 0.0f;
        }
        return static_cast<float>(v);
    }
};

}  // namespace

float* fnMakeMohrCappi(ST_UF_DATA* pUf, int nIs_Dbz, int nYdim, int nXdim, float fSiteGridKm,
                       int nY1, int nY2, int nX1, int nX2, float fHeightFromRadar,
                       st_Azimuth** table) {
    if (pUf == nullptr || table == nullptr || nYdim <= 0 || nXdim <= 0 || nYdim > 8192 ||
        nXdim > 8192 || !std::isfinite(fSiteGridKm) || !std::isfinite(fHeightFromRadar)) {
        return nullptr;
    }
    const size_t cells = static_cast<size_t>(nYdim) * nXdim;
    auto* out = static_cast<float*>(std::calloc(cells, sizeof(float)));
    if (out == nullptr) {
        return nullptr;
    }
    const Interpolator interp{*pUf, table, nIs_Dbz != 0};
    const double gridM = fSiteGridKm * 1000.0;
    const double heightM = fHeightFromRadar * 1000.0;
    const int y1 = std::max(nY1, 0);
    const int y2 = std::min(nY2, nYdim);
    const int x1 = std::max(nX1, 0);
    const int x2 = std::min(nX2, nXdim);
    for (int y = y1; y < y2; ++y) {
        for (int x = x1; x < x2; ++x) {
            const double dx = x - (nXdim - 1) / 2.0;
            const double dy = y - (nYdim - 1) / 2.0;
            out[static_cast<size_t>(y) * nXdim + x] = interp.cell(
                sampleLocation(dx, dy, gridM, heightM), cellAzimuth(dx, dy), 2.0, Mode::Window);
        }
    }
    return out;
}

float fnCAPPI_At_h_Cart(ST_UF_DATA* pUf, float fHeight_Km, int nXdim, int nYdim, float fGridSize_Km,
                        int nXIdx, int nYIdx, CAPPI_TYPE pseudo_cappi, int nIs_Dbz, int nIsCross,
                        st_Azimuth** table) {
    if (pUf == nullptr || table == nullptr || !std::isfinite(fHeight_Km) ||
        !std::isfinite(fGridSize_Km) ||
        (pseudo_cappi != REAL_CAPPI && pseudo_cappi != PSEUDO_CAPPI)) {
        return SITE_NO_DATA;
    }
    const Interpolator interp{*pUf, table, nIs_Dbz != 0};
    const double dx = nXIdx - (nXdim - 1) / 2.0;
    const double dy = nYIdx - (nYdim - 1) / 2.0;
    return interp.cell(sampleLocation(dx, dy, fGridSize_Km * 1000.0, fHeight_Km * 1000.0),
                       cellAzimuth(dx, dy), nIsCross == 1 ? 3.0 : 2.0,
                       pseudo_cappi == REAL_CAPPI ? Mode::Real : Mode::Pseudo);
}
