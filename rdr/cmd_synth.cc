// rdr synth-volume OUT.uf: writes a realistic 10-sweep S-band volume as UF, for the demo and
// the benchmarks on machines without sample data. The radar stands at the agency's
// Gwanaksan site south of Seoul; the scene holds a line of convective cells (one of them
// rotating), a stratiform rain shield with a bright band below the melting level,
// clear-air return near the radar, a south-westerly wind veering and strengthening with
// height, and a few missing rays.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "commands.h"
#include "core_utilities.h"
#include "standard_volume.h"
#include "uf_radar.h"
#include "uf_volume_output.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180.0;

// Site and scan strategy.
constexpr double kSiteLat = 37.4439;
constexpr double kSiteLon = 126.9639;
constexpr int kAntennaM = 627;
constexpr float kElevations[] = {0.5f, 1.0f, 1.5f, 2.4f, 3.4f, 4.6f, 6.2f, 8.5f, 11.5f, 15.0f};
constexpr int kSweeps = sizeof kElevations / sizeof kElevations[0];
constexpr int kRays = 360;
constexpr int kDefaultBins = 480;
// Moments beyond DZ and VR, derived from the scene for volumes of benchmark size.
constexpr const char* kExtraFields[] = {"SW", "DR", "RH", "PH"};
constexpr int kMaxFields = 2 + sizeof kExtraFields / sizeof kExtraFields[0];
constexpr int kBinM = 500;
constexpr int kScale = 100;  // stored = physical * 100
constexpr short kNoData = STD_NO_VALUE_CODE;
constexpr float kNyquist = 32.0f;
constexpr double kEffectiveEarthKm = 6371.0 * 4.0 / 3.0;

// Missing rays: (sweep, first azimuth index, count).
struct Gap {
    int sweep, first, count;
};
constexpr Gap kGaps[] = {{0, 148, 3}, {3, 300, 2}};

// Smooth value noise in [-1, 1] on a lattice of `scaleKm`, fixed seed.
double latticeValue(int ix, int iy, uint32_t seed) {
    uint32_t h = static_cast<uint32_t>(ix) * 374761393u + static_cast<uint32_t>(iy) * 668265263u +
                 seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    h ^= h >> 16;
    return (h & 0xFFFFFF) / static_cast<double>(0x7FFFFF) - 1.0;
}

double noise(double x, double y, double scaleKm, uint32_t seed) {
    const double fx = x / scaleKm, fy = y / scaleKm;
    const int ix = static_cast<int>(std::floor(fx)), iy = static_cast<int>(std::floor(fy));
    const double tx = fx - ix, ty = fy - iy;
    const double sx = tx * tx * (3 - 2 * tx), sy = ty * ty * (3 - 2 * ty);
    const double a = latticeValue(ix, iy, seed), b = latticeValue(ix + 1, iy, seed);
    const double c = latticeValue(ix, iy + 1, seed), d = latticeValue(ix + 1, iy + 1, seed);
    return (a + (b - a) * sx) * (1 - sy) + (c + (d - c) * sx) * sy;
}

double toLinear(double dbz) {
    return std::pow(10.0, dbz / 10.0);
}

struct Cell {
    double x, y, peakDbz, radiusKm, topKm;
};

// Convective cells strung along a line from south-south-west to north-north-east, about
// 50 km east of the radar.
struct Scene {
    Cell cells[11];
    int nCells = 0;
    int rotating = 4;  // index of the cell with the mesocyclone

    Scene() {
        const double ax = 25, ay = -170, bx = 125, by = 150;
        for (int i = 0; i < 11; ++i) {
            const double t = 0.04 + 0.092 * i;
            Cell& c = cells[nCells++];
            c.x = ax + (bx - ax) * t + 6.0 * latticeValue(i, 1, 7);
            c.y = ay + (by - ay) * t + 6.0 * latticeValue(i, 2, 7);
            c.peakDbz = 52.0 + 5.0 * latticeValue(i, 3, 7);
            c.radiusKm = 6.0 + 1.5 * latticeValue(i, 4, 7);
            c.topKm = 12.0 + 1.5 * latticeValue(i, 5, 7);
        }
        cells[rotating].peakDbz = 60.0;
        cells[rotating].topKm = 14.5;
    }

    // Reflectivity (dBZ) at ground position (x east, y north, km) and height z above sea
    // level (km); -99 for no echo.
    double reflectivity(double x, double y, double z, double groundKm) const {
        double linear = 0.0;

        // Stratiform shield over the sea to the west and south-west, trailing the line.
        const double ca = std::cos(35 * kDeg), sa = std::sin(35 * kDeg);
        const double ex = ((x + 60) * ca - (y + 20) * sa) / 150.0;
        const double ey = ((x + 60) * sa + (y + 20) * ca) / 80.0;
        const double edge = std::sqrt(ex * ex + ey * ey);
        const double mask = edge < 0.75 ? 1.0 : edge > 1.15 ? 0.0 : (1.15 - edge) / 0.4;
        if (mask > 0.0) {
            const double surface = 27.0 + 5.0 * noise(x, y, 35.0, 11) + 2.0 * noise(x, y, 8.0, 12);
            const double freezingKm = 3.3;
            double dbz = surface;
            if (z > freezingKm) {
                dbz = surface - 1.0 - 6.0 * (z - freezingKm);
            }
            const double bb = (z - (freezingKm - 0.3)) / 0.25;
            dbz += 9.0 * std::exp(-bb * bb);  // bright band of melting snow
            if (z < 8.0) {
                linear += toLinear(dbz) * mask;
            }
        }

        // Convective line: a band of moderate rain joining the cells, and the cells.
        for (int i = 0; i < nCells; ++i) {
            const Cell& c = cells[i];
            const double d2 = (x - c.x) * (x - c.x) + (y - c.y) * (y - c.y);
            if (d2 > 40.0 * 40.0 || z > c.topKm) {
                continue;
            }
            double core = c.peakDbz - (z > 5.0 ? 3.5 * (z - 5.0) : 0.0);
            core -= 4.343 * d2 / (c.radiusKm * c.radiusKm);
            if (z > c.topKm - 1.0) {
                core -= 15.0 * (z - (c.topKm - 1.0));
            }
            linear += toLinear(core);
            // Anvil and trailing band between this cell and the next.
            if (i + 1 < nCells) {
                const Cell& n = cells[i + 1];
                const double vx = n.x - c.x, vy = n.y - c.y;
                const double t = ((x - c.x) * vx + (y - c.y) * vy) / (vx * vx + vy * vy);
                if (t >= 0.0 && t <= 1.0) {
                    const double px = c.x + t * vx - x, py = c.y + t * vy - y;
                    const double band = 38.0 + 3.0 * noise(x, y, 6.0, 21) -
                                        4.343 * (px * px + py * py) / 64.0 -
                                        (z > 6.0 ? 4.0 * (z - 6.0) : 0.0);
                    linear += toLinear(band);
                }
            }
        }

        // Clear-air return (insects, refractive-index gradients) in the boundary layer near
        // the radar.
        if (groundKm < 70.0 && z < 1.8) {
            const double dbz = 8.0 + 5.0 * noise(x, y, 4.0, 31) - 0.12 * groundKm;
            linear += toLinear(dbz);
        }
        return linear > 0.0 ? 10.0 * std::log10(linear) : -99.0;
    }

    // Wind (towards east, towards north), m/s: south-westerly, veering and strengthening
    // with height, plus a cyclonic vortex in the rotating cell.
    void wind(double x, double y, double z, double* pU, double* pV) const {
        const double speed = std::min(12.0 + 3.0 * z, 30.0);
        const double towards = (45.0 + 3.0 * z) * kDeg;
        double u = speed * std::sin(towards), v = speed * std::cos(towards);
        const Cell& c = cells[rotating];
        const double dx = x - c.x, dy = y - c.y;
        const double d = std::sqrt(dx * dx + dy * dy);
        if (d > 0.01 && z < 9.0) {
            const double coreKm = 3.0, vmax = 24.0;
            const double vt = d < coreKm ? vmax * d / coreKm : vmax * coreKm / d;
            u += vt * (-dy / d);
            v += vt * (dx / d);
        }
        *pU = u;
        *pV = v;
    }
};

short stored(double value) {
    const double s = std::round(value * kScale);
    return static_cast<short>(std::max(-32767.0, std::min(32767.0, s)));
}

double fold(double v) {
    const double span = 2.0 * kNyquist;
    return v - span * std::floor((v + kNyquist) / span);
}

// Frees the last n rays of a sweep (allocated with calloc/malloc like every level of a
// STD_RADAR) and shortens it, so that the sweep simply lacks those rays.
void dropTrailingRays(STD_SWEEP* pSweep, int n) {
    for (int k = 0; k < n && pSweep->m_iMaxRay > 0; ++k) {
        STD_RAY* pRay = pSweep->m_ppRay[--pSweep->m_iMaxRay];
        for (int f = 0; f < pRay->m_iMaxField; ++f) {
            std::free(pRay->m_ppField[f]->m_pData);
            std::free(pRay->m_ppField[f]);
        }
        std::free(pRay->m_ppField);
        std::free(pRay);
        pSweep->m_ppRay[pSweep->m_iMaxRay] = nullptr;
    }
}

void fillHeader(STD_RADAR* pStd, time_t tStart) {
    STD_GLOBAL_HDR& h = pStd->m_hdr;
    h.m_iVolumeNo = 1;
    std::strcpy(h.m_szRadarName, "KWK");
    std::strcpy(h.m_szSiteName, "KWK");
    h.m_dLat = kSiteLat;
    h.m_dLon = kSiteLon;
    h.m_iAnteHeight = kAntennaM;
    h.m_iSweepMode = STD_EN_SWMD_PPI;
    h.m_fSweepRate = 18.0f;
    std::strcpy(h.m_szConvertName, "SYNTH");
    h.m_tConvertTime = tStart;
    h.m_iNoDataValue = kNoData;
    std::strcpy(h.m_szProjectName, "DEMO");
    std::strcpy(h.m_szFieldTapeName, "SYNTH");
    h.m_iPulseWidth = 1000;
    h.m_fBeamWidthH = 1.0f;
    h.m_fBeamWidthV = 1.0f;
    h.m_iBandWidth = 1000;
    h.m_iPolarMode = STD_EN_PM_HORIZONTAL;
    h.m_fWaveLength = 10.7f;
    std::strcpy(h.m_szThresholdType, "NO");
    h.m_iScale = kScale;
    std::strcpy(h.m_szEditCode, "NO");
    h.m_iPRT = 1000;
    h.m_iBitsPerBin = 16;
}

STD_RADAR* buildVolume(int nBins, int nFields) {
    STD_RADAR* pStd = fnInitStd(kSweeps, kRays, nBins, nFields);
    if (pStd == nullptr) {
        return nullptr;
    }
    // 2026-07-15 06:30 UTC, a summer afternoon in local time.
    const time_t tStart = fnMakeTime(1, 2026, 7, 15, 6, 30, 0);
    fillHeader(pStd, tStart);
    const Scene scene;
    for (int s = 0; s < kSweeps; ++s) {
        STD_SWEEP* pSweep = pStd->m_ppSweep[s];
        pSweep->m_hdr.m_fNyquistVelocity = kNyquist;
        std::strcpy(pSweep->m_hdr.m_szVelocityFlag, "NO");
        const double el = kElevations[s] * kDeg;
        int iGapFirst = -1, iGapCount = 0;
        for (const Gap& g : kGaps) {
            if (g.sweep == s) {
                iGapFirst = g.first;
                iGapCount = g.count;
            }
        }
        int r = 0;
        for (int a = 0; a < kRays; ++a) {
            if (a >= iGapFirst && a < iGapFirst + iGapCount) {
                continue;
            }
            STD_RAY* pRay = pSweep->m_ppRay[r++];
            const double az = (a + 0.5) * kDeg;
            pRay->m_hdr.m_tTime = tStart + s * 20 + a / 18;
            pRay->m_hdr.m_fAzimuth = static_cast<float>(a + 0.5);
            pRay->m_hdr.m_fElevation = kElevations[s];
            pRay->m_hdr.m_fFixedAngle = kElevations[s];
            pRay->m_hdr.m_iBinSpacing = kBinM;
            pRay->m_hdr.m_iSampleSize = 64;
            STD_FIELD* pDz = pRay->m_ppField[0];
            STD_FIELD* pVr = pRay->m_ppField[1];
            std::strcpy(pDz->m_hdr.m_szFieldName, "DZ");
            std::strcpy(pVr->m_hdr.m_szFieldName, "VR");
            pDz->m_hdr.m_iScaleFactor = kScale;
            pVr->m_hdr.m_iScaleFactor = kScale;
            for (int k = 2; k < nFields; ++k) {
                std::strcpy(pRay->m_ppField[k]->m_hdr.m_szFieldName, kExtraFields[k - 2]);
                pRay->m_ppField[k]->m_hdr.m_iScaleFactor = kScale;
            }
            for (int b = 0; b < nBins; ++b) {
                // 4/3-earth beam: height above the antenna and distance along the ground.
                const double rangeKm = (b + 0.5) * kBinM / 1000.0;
                const double h =
                    std::sqrt(rangeKm * rangeKm + kEffectiveEarthKm * kEffectiveEarthKm +
                              2.0 * rangeKm * kEffectiveEarthKm * std::sin(el)) -
                    kEffectiveEarthKm;
                const double ground =
                    kEffectiveEarthKm * std::asin(rangeKm * std::cos(el) / (kEffectiveEarthKm + h));
                const double x = ground * std::sin(az), y = ground * std::cos(az);
                const double z = h + kAntennaM / 1000.0;
                const double dbz = scene.reflectivity(x, y, z, ground);
                if (dbz < -5.0) {
                    for (int k = 0; k < nFields; ++k) {
                        pRay->m_ppField[k]->m_pData[b] = kNoData;
                    }
                    continue;
                }
                if (nFields > 2) {
                    // Plausible rather than physical: width, ZDR and rho track the echo,
                    // phase accumulates with range.
                    const double extra[] = {1.0 + 0.05 * dbz, 0.04 * std::max(dbz, 0.0),
                                            0.995 - 0.001 * std::abs(dbz - 30.0),
                                            std::fmod(20.0 + 0.2 * ground, 360.0)};
                    for (int k = 2; k < nFields; ++k) {
                        pRay->m_ppField[k]->m_pData[b] = stored(extra[k - 2]);
                    }
                }
                double u, v;
                scene.wind(x, y, z, &u, &v);
                const double radial = (u * std::sin(az) + v * std::cos(az)) * std::cos(el);
                pDz->m_pData[b] = stored(dbz);
                pVr->m_pData[b] = stored(fold(radial + 0.6 * noise(x, y, 2.0, 41)));
            }
        }
        dropTrailingRays(pSweep, kRays - r);
    }
    return pStd;
}

}  // namespace

int runSynth(int argc, char** argv) {
    int nBins = kDefaultBins;
    int nFields = 2;
    const char* szOut = nullptr;
    bool bUsage = false;
    for (int i = 0; i < argc && !bUsage; ++i) {
        if ((std::strcmp(argv[i], "--bins") == 0 || std::strcmp(argv[i], "--fields") == 0) &&
            i + 1 < argc) {
            char* end = nullptr;
            long v = std::strtol(argv[i + 1], &end, 10);
            bool bins = argv[i][2] == 'b';
            long lo = bins ? 1 : 2, hi = bins ? 2499 : kMaxFields;
            if (*end != '\0' || v < lo || v > hi) {
                std::fprintf(stderr, "rdr synth-volume: %s wants %ld to %ld\n", argv[i], lo, hi);
                return 2;
            }
            (bins ? nBins : nFields) = static_cast<int>(v);
            ++i;
        } else if (argv[i][0] != '-' && szOut == nullptr) {
            szOut = argv[i];
        } else {
            bUsage = true;
        }
    }
    if (bUsage || szOut == nullptr) {
        std::fprintf(stderr,
                     "usage: rdr synth-volume [--bins N] [--fields N] OUT.uf\n"
                     "  writes a synthetic 10-sweep volume at the Gwanaksan site: 360 rays of\n"
                     "  N bins of 500 m (default 480), moments DZ and VR, or with --fields up\n"
                     "  to 6 also SW, DR, RH and PH\n");
        return 2;
    }
    STD_RADAR* pStd = buildVolume(nBins, nFields);
    if (pStd == nullptr) {
        std::fprintf(stderr, "rdr synth-volume: out of memory\n");
        return 1;
    }
    UF_RADAR* pUf = fnStdSyncDownUf(pStd);
    fnFreeStdRadar(pStd);
    if (pUf == nullptr) {
        return 1;
    }
    const int ok = fnWriteUf(pUf, szOut, UF_FRAME_FOUR, 0);
    fnFreeUfRadar(pUf);
    return ok == 1 ? 0 : 1;
}
