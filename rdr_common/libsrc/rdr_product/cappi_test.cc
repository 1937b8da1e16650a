#include "cappi_product.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "core_utilities.h"
#include "product_test_support.h"
#include "ray_lookup.h"
#include "synthetic_volume.h"
#include "vil_product.h"

namespace {

using rdrtest::buildVolume;
using rdrtest::StdRadarPtr;
using rdrtest::uniformVolume;
using rdrtest::VolumeShape;

using rdrtest::Grid;
using rdrtest::name;
using rdrtest::Tables;

bool plainNoValue(float v) {
    return std::fabs(v - 131072.0) < 1e-6 || std::fabs(v - 131068.0) < 1e-6 ||
           std::fabs(v - 131069.0) < 1e-6;
}

// The real method written out cell by cell, with the location table of the reference ray
// (first ray of the first sweep) and a sweep scan per cell.
Grid plainCappiReal(STD_RADAR* pStd, float heightKm, int dim, float maxRangeKm, const char* field,
                    STD_AZIMUTH_TBL** tables) {
    const STD_RAY* ref = pStd->m_ppSweep[0]->m_ppRay[0];
    const int refField = fnGetFieldIdxRay(const_cast<STD_RAY*>(ref), field);
    const int bins = ref->m_ppField[refField]->m_iMaxBin;
    const float s0 =
        static_cast<float>(ref->m_hdr.m_iStartRangeKm + ref->m_hdr.m_iStartRangeMeter / 1000.0);
    const float s0Single = static_cast<float>(ref->m_hdr.m_iStartRangeKm) +
                           static_cast<float>(ref->m_hdr.m_iStartRangeMeter) / 1000.0f;
    const float g = ref->m_hdr.m_iBinSpacing / 1000.0f;
    std::vector<float> elev(bins), slant(bins);
    for (int i = 0; i < bins; ++i) {
        const float ground = static_cast<float>(i) * g + s0;
        if (std::fabs(ground) < 1e-6f) {
            elev[i] = slant[i] = 0;
            continue;
        }
        const double h = static_cast<float>(heightKm + 8494.67836);
        const double s2 =
            72159560.43985228 + h * h - 16989.35672 * h * std::cos(ground / 8494.67836);
        const double s = std::sqrt(s2);
        elev[i] = static_cast<float>(
            std::acos((72159560.43985228 + s * s - h * h) / (16989.35672 * s)) * 57.29579143313326 -
            90);
        slant[i] = static_cast<float>(s);
    }
    const float cellKm = static_cast<float>(maxRangeKm / (0.5 * dim));
    const float bwH = pStd->m_hdr.m_fBeamWidthH;
    const float bwV = pStd->m_hdr.m_fBeamWidthV;
    Grid out(static_cast<float*>(std::malloc(sizeof(float) * dim * dim)));
    std::fill(out.get(), out.get() + dim * dim, -9999.0f);
    for (int y = -(dim / 2); y < dim / 2; ++y) {
        for (int x = -(dim / 2); x < dim / 2; ++x) {
            float& cell = out.get()[(y + dim / 2) * dim + (dim - 1) - (x + dim / 2)];
            const float azim = fnCalcAzimuthToXY(y, x);
            const float range =
                static_cast<float>(std::sqrt(static_cast<double>(x * x + y * y))) * cellKm;
            if (range > maxRangeKm) {
                continue;
            }
            const float pos = (range - s0Single) * 1000 / ref->m_hdr.m_iBinSpacing;
            const int k = static_cast<int>(pos);
            if (!(pos > -1.0f) || k >= bins) {
                continue;
            }
            int choice = -1;
            float best = 91;
            for (int s = 0; s < pStd->m_iMaxSweep; ++s) {
                const float d =
                    fnDiffDegree(pStd->m_ppSweep[s]->m_ppRay[0]->m_hdr.m_fFixedAngle, elev[k]);
                if (d <= best) {
                    best = d;
                    choice = s;
                }
            }
            STD_SWEEP* sweep = pStd->m_ppSweep[choice];
            const int r = fnSearchRayToAzim(sweep, static_cast<float>(360.0 / sweep->m_iMaxRay),
                                            azim, tables[choice]);
            if (r < 0) {
                continue;
            }
            STD_RAY* ray = sweep->m_ppRay[r];
            if (fnDiffDegree(elev[k], ray->m_hdr.m_fFixedAngle) > 0.5f * bwV ||
                fnDiffDegree(azim, ray->m_hdr.m_fAzimuth) > bwH) {
                continue;
            }
            const float v = fnGetBinValueToRay(ray, fnGetFieldIdxRay(ray, field), slant[k],
                                               pStd->m_hdr.m_iNoDataValue);
            if (!plainNoValue(v)) {
                cell = v;
            }
        }
    }
    return out;
}

// The Mohr method written out point by point: the sweeps just below and above the point,
// in each the two rays either side of its azimuth, in each ray bins i and i + 1, then the
// range, azimuth and elevation steps with the weights of the method's formulas. Where a
// neighbour holds no value it is left out and the weights of the others renormalised (the
// product's treatment of echo edges): the valid bin of a ray, the rays that hold a value,
// the sweep slots that hold one.
struct PlainMohr {
    STD_RADAR* vol;
    STD_AZIMUTH_TBL** tables;
    const char* field;
    float heightKm;  // above the radar
    float gridKm;
    int kind;
    int cross;
    bool linear;  // interpolate in linear reflectivity

    struct RayBins {
        bool present = false;
        float azimuth = -250;
        int spacingM = 0;
        bool valid[2] = {false, false};
        float z[2] = {0, 0};       // in interpolation units, 0 where not valid
        float rangeM[2] = {0, 0};  // slant range looked up
    };

    static const STD_RAY* firstRay(const STD_SWEEP* sweep) {
        for (int r = 0; sweep != nullptr && sweep->m_ppRay != nullptr && r < sweep->m_iMaxRay;
             ++r) {
            if (sweep->m_ppRay[r] != nullptr) {
                return sweep->m_ppRay[r];
            }
        }
        return nullptr;
    }

    RayBins lookUp(STD_RAY* ray, float slantM) const {
        RayBins rb;
        rb.present = true;
        rb.azimuth = ray->m_hdr.m_fAzimuth;
        const int idx = fnGetFieldIdxRay(ray, field);
        if (idx < 0) {
            return rb;
        }
        const int own = ray->m_ppField[idx]->m_hdr.m_iBinSpacing;
        rb.spacingM = own != 0 ? own : ray->m_hdr.m_iBinSpacing;
        if (rb.spacingM <= 0) {
            return rb;
        }
        for (int b = 0; b < 2; ++b) {
            const float rangeM = b == 0 ? slantM : slantM + rb.spacingM;
            const float v = fnGetBinValueToRay(ray, idx, rangeM / 1000, vol->m_hdr.m_iNoDataValue);
            rb.valid[b] = v != 131072.0f;
            if (rb.valid[b]) {
                rb.z[b] = linear ? static_cast<float>(fnDbzToZeF(v)) : v;
                rb.rangeM[b] = rangeM;
            }
        }
        return rb;
    }

    // Rays [0] counter-clockwise and [1] clockwise of the azimuth: the nearest ray within
    // one degree and the nearer of its two ring neighbours within one degree.
    void findRays(int s, float azim, float slantM, RayBins rays[2]) const {
        STD_SWEEP* sweep = vol->m_ppSweep[s];
        const int r0 =
            fnSearchRayToAzim(sweep, static_cast<float>(360.0 / sweep->m_iMaxRay), azim, tables[s]);
        auto near = [&](int r) {
            return r >= 0 && r < sweep->m_iMaxRay && sweep->m_ppRay[r] != nullptr &&
                   fnDiffDegree(azim, sweep->m_ppRay[r]->m_hdr.m_fAzimuth) <= 1.0f;
        };
        if (!near(r0)) {
            return;
        }
        int r1 = -1;
        for (int n : {tables[s][r0].m_iHigh, tables[s][r0].m_iLow}) {
            if (near(n) &&
                (r1 < 0 || fnDiffDegree(azim, sweep->m_ppRay[n]->m_hdr.m_fAzimuth) <
                               fnDiffDegree(azim, sweep->m_ppRay[r1]->m_hdr.m_fAzimuth))) {
                r1 = n;
            }
        }
        for (int r : {r0, r1}) {
            if (r >= 0) {
                STD_RAY* ray = sweep->m_ppRay[r];
                rays[fnMinusDegree(ray->m_hdr.m_fAzimuth, azim) < 0 ? 0 : 1] = lookUp(ray, slantM);
            }
        }
    }

    // The value of one sweep slot; false when no ray holds a value near the point.
    static bool slotValue(const RayBins ray[2], float azim, float slantM, float* out) {
        bool holds[2];
        bool full = true;
        int present = 0;
        for (int j = 0; j < 2; ++j) {
            holds[j] = ray[j].present && (ray[j].valid[0] || ray[j].valid[1]);
            if (ray[j].present) {
                ++present;
                full = full && ray[j].valid[0] && ray[j].valid[1];
            }
        }
        if (!holds[0] && !holds[1]) {
            return false;
        }
        const float tj = ray[0].present ? fnMinusDegree(azim, ray[0].azimuth) : 0.0f;
        const float tj1 = ray[1].present ? fnMinusDegree(azim, ray[1].azimuth) : 0.0f;
        const float dt = fnDiffDegree(ray[0].azimuth, ray[1].azimuth);
        const float zi_j = ray[0].z[0], zi1_j = ray[0].z[1];
        const float zi_j1 = ray[1].z[0], zi1_j1 = ray[1].z[1];
        if (full && (present == 1 || dt > 0.0f)) {
            // Every bin holds a value, so Ri and Ri1 come from the first ray present.
            const RayBins& a = ray[0].present ? ray[0] : ray[1];
            const float ri = (slantM - a.rangeM[0]) / 1000;
            const float ri1 = (slantM - a.rangeM[1]) / 1000;
            const float dr = a.spacingM / 1000.0f;
            if (present == 2) {
                *out = ((zi1_j1 * tj - zi1_j * tj1) * ri - (tj * zi_j1 - zi_j * tj1) * ri1) /
                       (dt * dr);
            } else {
                *out = (ri * a.z[1] - ri1 * a.z[0]) / dr;
            }
            return true;
        }
        float along[2] = {0, 0};
        for (int j = 0; j < 2; ++j) {
            if (ray[j].valid[0] && ray[j].valid[1]) {
                const float dr = ray[j].spacingM / 1000.0f;
                along[j] = ((slantM - ray[j].rangeM[0]) / 1000 * ray[j].z[1] -
                            (slantM - ray[j].rangeM[1]) / 1000 * ray[j].z[0]) /
                           dr;
            } else if (holds[j]) {
                along[j] = ray[j].valid[0] ? ray[j].z[0] : ray[j].z[1];
            }
        }
        if (holds[0] && holds[1]) {
            *out = dt > 0.0f ? (tj * along[1] - tj1 * along[0]) / dt : 0.5f * (along[0] + along[1]);
        } else {
            *out = holds[0] ? along[0] : along[1];
        }
        return true;
    }

    float at(float x, float y) const {
        const float slantM = fnGetSlantRange(x, y, heightKm * 1000, gridKm * 1000);
        if (!(slantM > 0.0f)) {
            return -9999.0f;
        }
        const float elev = fnGetElevation(slantM, heightKm * 1000);
        const float azim = fnGetAzimuth(x, y);
        const int n = vol->m_iMaxSweep;
        std::vector<float> angle(n);
        std::vector<bool> hasAngle(n);
        for (int s = 0; s < n; ++s) {
            const STD_RAY* ray = firstRay(vol->m_ppSweep[s]);
            hasAngle[s] = ray != nullptr;
            angle[s] = ray != nullptr ? ray->m_hdr.m_fFixedAngle : 0.0f;
        }
        // Below: the nearest angle not above the point, scanning up until an angle is above
        // it; above: likewise scanning down from the top, never the sweep below.
        int below = -1, above = -1;
        float best = 91;
        for (int s = 0; s < n && !(hasAngle[s] && angle[s] > elev); ++s) {
            if (hasAngle[s] && fnDiffDegree(angle[s], elev) <= best) {
                best = fnDiffDegree(angle[s], elev);
                below = s;
            }
        }
        best = 91;
        for (int s = n - 1; s >= 0; --s) {
            if (s == below || !hasAngle[s]) {
                continue;
            }
            if (angle[s] < elev) {
                break;
            }
            if (fnDiffDegree(angle[s], elev) <= best) {
                best = fnDiffDegree(angle[s], elev);
                above = s;
            }
        }
        const int slot[2] = {std::min(below, above), std::max(below, above)};
        const float limit = cross == 1 ? 3.0f : 2.0f;
        bool inLimit[2] = {false, false};
        RayBins rays[2][2];
        bool anyBin = false;
        for (int k = 0; k < 2; ++k) {
            if (slot[k] < 0 || fnDiffDegree(elev, angle[slot[k]]) > limit) {
                continue;
            }
            inLimit[k] = true;
            findRays(slot[k], azim, slantM, rays[k]);
            for (const RayBins& r : rays[k]) {
                anyBin = anyBin || r.valid[0] || r.valid[1];
            }
        }
        if (!anyBin || (kind != RDR_EN_PSEUDO_CAPPI && kind != RDR_EN_REAL_CAPPI)) {
            return -9999.0f;
        }
        if (kind == RDR_EN_REAL_CAPPI && !inLimit[0] && inLimit[1] && slot[1] == 0 &&
            elev < angle[0]) {
            return -9999.0f;
        }
        float value[2];
        bool has[2] = {false, false};
        for (int k = 0; k < 2; ++k) {
            has[k] = inLimit[k] && slotValue(rays[k], azim, slantM, &value[k]);
        }
        float v;
        if (has[0] && has[1]) {
            const float phi0 = angle[slot[0]], phi1 = angle[slot[1]];
            if (elev == phi0) {
                v = value[0];
            } else if (elev == phi1) {
                v = value[1];
            } else {
                const float dp = fnDiffDegree(phi1, phi0);
                const float p0 = fnMinusDegree(elev, phi0);
                const float p1 = fnMinusDegree(elev, phi1);
                v = dp > 0.0f ? (p0 * value[1] - p1 * value[0]) / dp : 0.5f * (value[0] + value[1]);
            }
        } else if (has[0] || has[1]) {
            v = has[0] ? value[0] : value[1];
        } else {
            return -9999.0f;
        }
        return linear ? static_cast<float>(fnZeToDbzF(v)) : v;
    }
};

// Storms whose reflectivity falls off with height, over sweeps 0.5 to 19.5 degrees.
StdRadarPtr stormVolume(int sweeps, int rays, int bins) {
    VolumeShape shape = uniformVolume(sweeps, rays, bins, {"VR", "DZ"});
    for (int s = 0; s < sweeps; ++s) {
        shape.sweeps[s].elevation = 0.5f + s * 19.0f / std::max(sweeps - 1, 1);
    }
    shape.value = [rays, bins](int s, int r, int b, int f) -> short {
        if (f == 0) {
            return static_cast<short>(100 * ((r * 7 + b) % 40 - 20));
        }
        const double az = r * 360.0 / rays;
        const double dbz = 55 - std::fabs(az - 140) * 0.7 - std::fabs(b - bins * 0.4) - 2.5 * s;
        return dbz < 3 ? STD_NO_DATA_CODE : static_cast<short>(dbz * 100);
    };
    StdRadarPtr vol = buildVolume(shape);
    vol->m_hdr.m_fBeamWidthH = 1.0f;
    vol->m_hdr.m_fBeamWidthV = 0.95f;
    vol->m_hdr.m_iAnteHeight = 60;
    return vol;
}

void expectSameGrid(const float* fast, const float* plain, int cells, const std::string& what) {
    ASSERT_NE(fast, nullptr) << what;
    ASSERT_NE(plain, nullptr) << what;
    int differing = 0;
    int withData = 0;
    for (int i = 0; i < cells; ++i) {
        withData += plain[i] != -9999.0f;
        if (std::memcmp(&fast[i], &plain[i], sizeof(float)) != 0 && differing++ < 3) {
            ADD_FAILURE() << what << ": cell " << i << " " << fast[i] << " vs " << plain[i];
        }
    }
    EXPECT_EQ(differing, 0) << what;
    EXPECT_GT(withData, cells / 50) << what << ": too little echo to compare";
}

TEST(CappiReal, MatchesThePlainCellByCellComputationBitForBit) {
    StdRadarPtr vol = stormVolume(9, 180, 120);
    Tables tables(vol.get());
    for (int dim : {60, 61, 201}) {  // the large size uses the azimuth-bucket ray tables
        for (float height : {1.0f, 3.0f, 6.5f}) {
            Grid fast(fnCreateCappiReal(vol.get(), height, dim, dim, 110, 0, name("DZ"), tables.p));
            Grid plain = plainCappiReal(vol.get(), height, dim, 110, "DZ", tables.p);
            expectSameGrid(fast.get(), plain.get(), dim * dim,
                           "size " + std::to_string(dim) + " height " + std::to_string(height));
        }
    }
}

TEST(CappiReal, TakesOnlyRaysWhoseBeamReachesTheHeight) {
    // One steep sweep: at 2 km only the ranges where a 10-degree beam is near 2 km hold data.
    VolumeShape shape = uniformVolume(1, 360, 200, {"DZ"});
    shape.sweeps[0].elevation = 10.0f;
    shape.value = [](int, int, int, int) -> short { return 3000; };
    StdRadarPtr vol = buildVolume(shape);
    vol->m_hdr.m_fBeamWidthH = 1.0f;
    vol->m_hdr.m_fBeamWidthV = 1.0f;
    Tables tables(vol.get());
    const int dim = 200;
    Grid cappi(fnCreateCappiReal(vol.get(), 2.0f, dim, dim, 100, 0, name("DZ"), tables.p));
    ASSERT_TRUE(cappi);
    const float* eastRow = cappi.get() + (dim / 2) * dim;
    // Column (dim-1) - dim/2 is the radar; east is toward lower column numbers.
    const int radarCol = (dim - 1) - dim / 2;
    const float cellKm = 100.0f / (dim / 2);
    for (int k = 1; k < dim / 2; ++k) {
        const double groundKm = k * cellKm;
        const double elevDeg = std::atan2(2.0, groundKm) * 180 / M_PI;
        const float v = eastRow[radarCol - k];
        if (std::fabs(elevDeg - 10.0) < 0.35) {
            EXPECT_FLOAT_EQ(v, 30.0f) << "ground " << groundKm << " km";
        } else if (std::fabs(elevDeg - 10.0) > 0.7) {
            EXPECT_EQ(v, -9999.0f) << "ground " << groundKm << " km";
        }
    }
}

TEST(CappiReal, OfTwoSweepsEquallyNearTheLaterOneWins) {
    // A split cut: two sweeps at the same angle, 20 dBZ in the first and 30 in the second.
    VolumeShape shape = uniformVolume(2, 360, 100, {"DZ"});
    shape.sweeps[0].elevation = shape.sweeps[1].elevation = 1.5f;
    shape.value = [](int s, int, int, int) -> short { return s == 0 ? 2000 : 3000; };
    StdRadarPtr vol = buildVolume(shape);
    vol->m_hdr.m_fBeamWidthH = 1.0f;
    vol->m_hdr.m_fBeamWidthV = 1.0f;
    Tables tables(vol.get());
    const int dim = 100;
    Grid cappi(fnCreateCappiReal(vol.get(), 1.0f, dim, dim, 100, 0, name("DZ"), tables.p));
    ASSERT_TRUE(cappi);
    int withData = 0;
    for (int i = 0; i < dim * dim; ++i) {
        const float v = cappi.get()[i];
        ASSERT_TRUE(v == -9999.0f || v == 30.0f) << "cell " << i << ": " << v;
        withData += v == 30.0f;
    }
    EXPECT_GT(withData, 100);
}

TEST(CappiReal, RefusesNonSquareGridsAndMissingMoments) {
    StdRadarPtr vol = stormVolume(2, 90, 50);
    Tables tables(vol.get());
    testing::internal::CaptureStderr();
    EXPECT_EQ(fnCreateCappiReal(vol.get(), 1, 40, 30, 50, 0, name("DZ"), tables.p), nullptr);
    EXPECT_EQ(fnCreateCappiReal(vol.get(), 1, 40, 40, 50, 0, name("KD"), tables.p), nullptr);
    EXPECT_EQ(fnCreateVil(vol.get(), 40, 40, 50, 0, 3, 3, name("DZ"), tables.p), nullptr);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("fnCreateCappiReal : Invalid arg\n"), std::string::npos) << err;
    EXPECT_NE(err.find("fnCreateCappiReal : no moment\n"), std::string::npos) << err;
}

// One sweep at 0.5 degrees of 360 rays at 0.5, 1.5, ...; the bin value of each ray is
// given per ray (stored x 100).
StdRadarPtr singleSweep(std::function<short(int ray, int bin)> value, const char* field = "DZ",
                        float elevation = 0.5f) {
    VolumeShape shape = uniformVolume(1, 360, 100, {field});
    shape.sweeps[0].elevation = elevation;
    shape.value = [value](int, int r, int b, int) { return value(r, b); };
    return buildVolume(shape);
}

TEST(CappiMohr, InterpolatesReflectivityInLinearUnits) {
    // Rays at 89.5 (20 dBZ) and 90.5 (40 dBZ); the point due east lies midway.
    StdRadarPtr vol = singleSweep([](int r, int) -> short {
        return r == 89 ? 2000 : r == 90 ? 4000 : STD_NO_DATA_CODE;
    });
    Tables tables(vol.get());
    const float v = fnCappi_at_h_cart(vol.get(), 0.2f, 10, 0, 1.0f, RDR_EN_PSEUDO_CAPPI, 0, 1,
                                      name("DZ"), tables.p);
    EXPECT_NEAR(v, 10 * std::log10((100.0 + 10000.0) / 2), 1e-3);
    EXPECT_NEAR(v, 37.0, 0.05);
}

// Sweeps at uneven angles (one with its rays offset), 500 m bins from 250 m, and a
// velocity-like moment stored as 2 x fixed angle + 0.1 x ray azimuth + 0.5 x bin index.
// Interpolating linearly between rays and sweeps and taking the bin that holds the slant
// range reproduces 2 x elevation + 0.1 x azimuth + 0.5 x bin at every point between the
// lowest and highest sweep (no two sweeps are more than the 2-degree limit apart), so any
// misplaced weight shows.
constexpr float kLinearAngles[] = {0.5f, 1.2f, 2.4f, 3.1f, 4.5f, 6.0f, 7.9f};

StdRadarPtr linearVelocityVolume() {
    const int sweeps = static_cast<int>(std::size(kLinearAngles));
    VolumeShape shape = uniformVolume(sweeps, 360, 200, {"DZ", "VR"});
    for (int s = 0; s < sweeps; ++s) {
        shape.sweeps[s].elevation = kLinearAngles[s];
        shape.sweeps[s].binSpacingM = 500;
        shape.sweeps[s].startRangeMeter = 250;
    }
    shape.sweeps[3].azimuths = rdrtest::evenAzimuths(360, 0.2f);
    shape.value = [](int s, int r, int b, int f) -> short {
        if (f == 0) {
            return 2000;
        }
        const float azimuth = s == 3 ? r + 0.2f : r + 0.5f;
        return static_cast<short>(
            std::lround(200.0 * kLinearAngles[s] + 10.0 * azimuth + 50.0 * b));
    };
    return buildVolume(shape);
}

TEST(CappiMohr, ReproducesAFieldLinearInElevationAzimuthAndBin) {
    StdRadarPtr vol = linearVelocityVolume();
    Tables tables(vol.get());
    const int dim = 71;
    const float gridKm = 1.4f;
    for (float heightKm : {1.0f, 2.5f, 4.0f}) {
        Grid grid(fnCreateCappiMohr(vol.get(), heightKm, dim, dim, 0, gridKm, RDR_EN_PSEUDO_CAPPI,
                                    0, name("VR"), tables.p));
        ASSERT_TRUE(grid);
        const PlainMohr plain{vol.get(),           tables.p, "VR", heightKm, gridKm,
                              RDR_EN_PSEUDO_CAPPI, 0,        false};
        int checked = 0, differing = 0;
        for (int r = 0; r < dim; ++r) {
            for (int c = 0; c < dim; ++c) {
                const float x = c - 0.5f * (dim - 1);
                const float y = r - 0.5f * (dim - 1);
                const float v = grid.get()[r * dim + c];
                const float want = plain.at(x, y);
                if (std::memcmp(&v, &want, sizeof v) != 0 && differing++ < 3) {
                    ADD_FAILURE() << "height " << heightKm << " cell " << r << "," << c << ": " << v
                                  << " vs plain " << want;
                }
                const float slantM = fnGetSlantRange(x, y, heightKm * 1000, gridKm * 1000);
                const float elev = fnGetElevation(slantM, heightKm * 1000);
                const float az = fnGetAzimuth(x, y);
                const double bin = (slantM - 250.0) / 500.0;
                const double binFrac = bin - std::floor(bin);
                if (elev <= kLinearAngles[0] || elev >= kLinearAngles[6] || az < 1 || az > 359 ||
                    binFrac < 1e-3 || binFrac > 1 - 1e-3) {
                    continue;  // outside the sweeps, across north, or on a bin edge
                }
                const double closed = 2.0 * elev + 0.1 * az + 0.5 * std::floor(bin);
                // Exact but for single-precision rounding, mostly of the far bin's range.
                ASSERT_NEAR(v, closed, 1e-4 + 2e-5 * closed)
                    << "height " << heightKm << " cell " << r << "," << c << " elevation " << elev
                    << " azimuth " << az;
                ++checked;
            }
        }
        EXPECT_EQ(differing, 0) << "height " << heightKm;
        EXPECT_GT(checked, 1000) << "height " << heightKm;
    }
}

// Convective cells over a stratiform shield with scattered empty bins, so that many points
// have a neighbour without a value.
StdRadarPtr holedStormVolume() {
    VolumeShape shape = uniformVolume(8, 180, 120, {"DZ"});
    const float angles[] = {0.5f, 1.4f, 2.4f, 3.5f, 5.0f, 6.9f, 9.3f, 12.5f};
    for (int s = 0; s < 8; ++s) {
        shape.sweeps[s].elevation = angles[s];
    }
    shape.value = [](int s, int r, int b, int) -> short {
        if ((r * 7 + b * 3 + s) % 11 == 0) {
            return STD_NO_DATA_CODE;
        }
        const double az = r * 2.0;
        const double core = 58 - std::fabs(az - 140) * 0.6 - std::fabs(b - 50) * 0.9 - 2.5 * s;
        const double shield = 22 + 0.05 * b - 0.3 * s + 0.02 * r;
        const double dbz = std::max(core, shield);
        return az > 300 ? STD_NO_DATA_CODE : static_cast<short>(dbz * 100);
    };
    StdRadarPtr vol = buildVolume(shape);
    vol->m_hdr.m_iAnteHeight = 250;
    return vol;
}

TEST(CappiMohr, MatchesThePlainPointByPointComputationBitForBit) {
    StdRadarPtr vol = holedStormVolume();
    Tables tables(vol.get());
    const int dim = 50;
    const float gridKm = 2.3f;
    for (int kind : {RDR_EN_PSEUDO_CAPPI, RDR_EN_REAL_CAPPI}) {
        for (int cross : {0, 1}) {
            // Heights above sea level; the antenna stands 250 m up.
            for (float heightKm : {0.75f, 2.25f, 5.0f}) {
                Grid grid(fnCreateCappiMohr(vol.get(), heightKm, dim, dim, 0, gridKm, kind, cross,
                                            name("DZ"), tables.p));
                const PlainMohr plain{vol.get(), tables.p, "DZ",  heightKm - 0.25f,
                                      gridKm,    kind,     cross, true};
                std::vector<float> want(dim * dim);
                for (int r = 0; r < dim; ++r) {
                    for (int c = 0; c < dim; ++c) {
                        want[r * dim + c] = plain.at(c - 0.5f * (dim - 1), r - 0.5f * (dim - 1));
                    }
                }
                expectSameGrid(grid.get(), want.data(), dim * dim,
                               "kind " + std::to_string(kind) + " cross " + std::to_string(cross) +
                                   " height " + std::to_string(heightKm));
            }
        }
    }
}

TEST(CappiMohr, AnEchoEdgeIsNotHalvedByTheEmptySide) {
    // Echo on the ray at 90.5 only, and only in bins 0..9: the point midway between the
    // rays and the points in bin 9 (whose next bin is empty) keep the full 40 dBZ.
    StdRadarPtr vol = singleSweep(
        [](int r, int b) -> short { return r == 90 && b < 10 ? 4000 : STD_NO_DATA_CODE; });
    Tables tables(vol.get());
    for (float x : {5.0f, 9.3f}) {
        EXPECT_NEAR(fnCappi_at_h_cart(vol.get(), 0.0f, x, 0, 1.0f, RDR_EN_PSEUDO_CAPPI, 0, 1,
                                      name("DZ"), tables.p),
                    40.0f, 1e-3)
            << "x " << x;
    }
    EXPECT_EQ(fnCappi_at_h_cart(vol.get(), 0.0f, 12.0f, 0, 1.0f, RDR_EN_PSEUDO_CAPPI, 0, 1,
                                name("DZ"), tables.p),
              -9999.0f);

    // Values that change along and across the rays: at 9.5 km the ray at 89.5 holds bins
    // 9 and 10 (19 and 20 m/s), the ray at 90.5 only bin 9 (39 m/s). The full ray gives its
    // bin 9, the edge ray its only bin, and the two are weighted by azimuth as usual.
    StdRadarPtr edge = singleSweep(
        [](int r, int b) -> short {
            if (r == 89 && b < 15) {
                return static_cast<short>(100 * (10 + b));
            }
            return r == 90 && b < 10 ? static_cast<short>(100 * (30 + b)) : STD_NO_DATA_CODE;
        },
        "VR");
    Tables edgeTables(edge.get());
    for (float azDeg : {89.6f, 89.8f, 90.3f}) {
        const float x = static_cast<float>(9.5 * std::sin(azDeg * M_PI / 180));
        const float y = static_cast<float>(-9.5 * std::cos(azDeg * M_PI / 180));
        const float az = fnGetAzimuth(x, y);
        EXPECT_NEAR(fnCappi_at_h_cart(edge.get(), 0.0f, x, y, 1.0f, RDR_EN_PSEUDO_CAPPI, 0, 0,
                                      name("VR"), edgeTables.p),
                    19 + (az - 89.5f) * 20, 1e-3)
            << "azimuth " << az;
    }
}

TEST(CappiMohr, KindDecidesBelowTheLowestSweepAndTheLimitAboveTheHighest) {
    StdRadarPtr vol = singleSweep([](int, int) -> short { return 2500; }, "DZ", 2.0f);
    Tables tables(vol.get());
    auto at = [&](float heightKm, float x, int kind, int cross) {
        return fnCappi_at_h_cart(vol.get(), heightKm, x, 0, 1.0f, kind, cross, 1, name("DZ"),
                                 tables.p);
    };
    // 1 km up at 60 km: about 0.95 degrees, under the 2-degree sweep.
    EXPECT_NEAR(at(1.0f, 60, RDR_EN_PSEUDO_CAPPI, 0), 25.0f, 1e-3);
    EXPECT_EQ(at(1.0f, 60, RDR_EN_REAL_CAPPI, 0), -9999.0f);
    // 3 km up at 50 km: about 3.4 degrees, 1.4 above the sweep; 4 km at 50 km: 4.6 degrees.
    EXPECT_NEAR(at(3.0f, 50, RDR_EN_REAL_CAPPI, 0), 25.0f, 1e-3);
    EXPECT_EQ(at(4.0f, 50, RDR_EN_REAL_CAPPI, 0), -9999.0f);
    EXPECT_NEAR(at(4.0f, 50, RDR_EN_REAL_CAPPI, 1), 25.0f, 1e-3);
    // Unknown kind: no data anywhere.
    Grid none(fnCreateCappiMohr(vol.get(), 1.0f, 20, 20, 0, 2.0f, 0, 0, name("DZ"), tables.p));
    ASSERT_TRUE(none);
    EXPECT_TRUE(std::all_of(none.get(), none.get() + 400, [](float v) { return v == -9999.0f; }));
}

TEST(CappiMohr, DegenerateGeometryGivesValuesOrNoDataNeverInfinities) {
    // Two sweeps at the same angle, and a third whose bins have no spacing.
    VolumeShape shape = uniformVolume(3, 360, 100, {"DZ"});
    shape.sweeps[1].elevation = shape.sweeps[0].elevation;
    shape.sweeps[2].binSpacingM = 0;
    shape.value = [](int, int, int, int) -> short { return 3000; };
    StdRadarPtr vol = buildVolume(shape);
    Tables tables(vol.get());
    const int dim = 41;
    Grid mohr(fnCreateCappiMohr(vol.get(), 1.0f, dim, dim, 0, 2.0f, RDR_EN_PSEUDO_CAPPI, 0,
                                name("DZ"), tables.p));
    Grid real(fnCreateCappiReal(vol.get(), 1.0f, dim, dim, 80, 0, name("DZ"), tables.p));
    ASSERT_TRUE(mohr && real);
    int values = 0;
    for (int i = 0; i < dim * dim; ++i) {
        for (float v : {mohr.get()[i], real.get()[i]}) {
            ASSERT_TRUE(v == -9999.0f || std::fabs(v - 30.0f) < 1e-3) << i << ": " << v;
            values += v != -9999.0f;
        }
    }
    EXPECT_GT(values, 100);
}

}  // namespace
