// The site VIL product: CAPPIs at whole kilometres made by worker threads (four at a time),
// then the column sums made by two workers over the two halves of the cells.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <system_error>
#include <thread>
#include <vector>

#include "internal/site_grid_frame.h"
#include "site_cartesian_products.h"

namespace {

// Effective earth radius (4/3 of the earth's) of the CAPPI levels, km.
constexpr double kCappiRadiusKm = 8498.666666666666;
constexpr double kRaddeg = 57.29577951308232;
constexpr int kMaxLevels = 30;
constexpr int kCappiWorkersAtOnce = 4;

// Polar CAPPI on the rays and bins of sweep 0 (bin k at ground range first + k gates): for
// each bin the sweep whose elevation is nearest the beam that reaches height h there.
std::vector<float> polarCappi(const ST_UF_DATA& uf, st_Azimuth* const* table, double hKm,
                              int& rays0, int& bins0) {
    rays0 = std::clamp(uf.m_rgnRays[0], 0, SITE_UF_MAX_RAYS);
    bins0 = rays0 > 0 ? std::clamp(uf.m_nBins[0][0], 0, SITE_UF_MAX_BINS) : 0;
    std::vector<float> polar(static_cast<size_t>(rays0) * bins0, SITE_NO_DATA);
    const int gate0 = rays0 > 0 ? uf.m_nGateSize[0][0] : 0;
    if (rays0 == 0 || bins0 == 0 || gate0 <= 0) {
        return polar;
    }
    const int sweeps = std::clamp(uf.m_nSweeps, 0, SITE_UF_MAX_SWEEPS);
    const double r = kCappiRadiusKm;
    const double rh = r + hKm;
    // Closest ray of sweep s to ray q of sweep 0, looked up once.
    std::vector<int> closest(static_cast<size_t>(rays0) * sweeps, -2);
    for (int k = 0; k < bins0; ++k) {
        const double groundKm = (static_cast<double>(k) * gate0 + uf.m_nRangeBin[0][0]) / 1000.0;
        if (groundKm <= 0.0) {
            continue;
        }
        const double slant = std::sqrt(r * r + rh * rh - 2.0 * r * rh * std::cos(groundKm / r));
        if (!(slant > 0.0)) {
            continue;
        }
        // Rounding can carry the cosine just outside [-1, 1].
        const double cosArg =
            std::clamp((r * r + slant * slant - rh * rh) / (2.0 * r * slant), -1.0, 1.0);
        const double phi = std::acos(cosArg) * kRaddeg - 90.0;
        int best = -1;
        for (int s = 0; s < sweeps; ++s) {
            if (site_frame::sweepUsable(uf, s, table[s]) &&
                (best < 0 || std::fabs(uf.m_fUfElevation[s] - phi) <=
                                 std::fabs(uf.m_fUfElevation[best] - phi))) {
                best = s;  // ties go to the later sweep
            }
        }
        if (best < 0 || std::fabs(uf.m_fUfElevation[best] - phi) > uf.m_fV_BeamWidth / 2.0) {
            continue;
        }
        for (int q = 0; q < rays0; ++q) {
            int& ray = closest[static_cast<size_t>(q) * sweeps + best];
            if (ray == -2) {
                ray = siteClosestRay(&uf, best, table[best], uf.m_AZIM[0][q]);
            }
            if (ray < 0) {
                continue;
            }
            const int b = site_frame::binAtRange(uf, best, ray, slant * 1000.0);
            if (b >= 0 && siteIsValue(uf.m_fData[best][ray][b])) {
                polar[static_cast<size_t>(q) * bins0 + k] = uf.m_fData[best][ray][b];
            }
        }
    }
    return polar;
}

float* makeCappi(const st_VilCappiThrArg& arg) {
    const site_frame::SquareGrid grid =
        site_frame::squareGrid(arg.m_nXdim, arg.m_nYdim, static_cast<float>(arg.m_nRange));
    if (arg.m_pUf == nullptr || arg.m_ppTable == nullptr || !grid.ok()) {
        return nullptr;
    }
    const ST_UF_DATA& uf = *arg.m_pUf;
    float* out = site_frame::newGrid(static_cast<size_t>(grid.n) * grid.n);
    if (out == nullptr) {
        return nullptr;
    }
    int rays0 = 0;
    int bins0 = 0;
    const std::vector<float> polar = polarCappi(uf, arg.m_ppTable, arg.m_nHeight, rays0, bins0);
    st_Azimuth* table0 =
        site_frame::sweepUsable(uf, 0, arg.m_ppTable[0]) ? arg.m_ppTable[0] : nullptr;
    site_frame::fillGrid(grid, out, [&](const site_frame::CellGeometry& g) {
        if (table0 == nullptr) {
            return SITE_NO_DATA;
        }
        const int q = siteClosestRay(&uf, 0, table0, g.azimuth);
        if (q < 0 || siteAzimuthDistance(g.azimuth, uf.m_AZIM[0][q]) > uf.m_fBeamWidth) {
            return SITE_NO_DATA;
        }
        const int k = site_frame::binAtRange(uf, 0, 0, g.rangeKm * 1000.0);
        return k >= 0 && k < bins0 ? polar[static_cast<size_t>(q) * bins0 + k] : SITE_NO_DATA;
    });
    return out;
}

// Liquid water of one layer from its reflectivity factor, kg/m2 for a 1 km layer.
double layerWater(double z) {
    return std::pow(z, 4.0 / 7.0) * 3.44e-6 * 1000.0;
}

// Runs fn on a new thread, or on this one when no thread can be started; true when a thread
// was started (and must be joined).
template <class Fn>
bool startOrRun(std::vector<std::thread>& running, Fn fn) {
    try {
        running.emplace_back(fn);
        return true;
    } catch (const std::system_error&) {
        fn();
        return false;
    }
}

void joinAll(std::vector<std::thread>& running) {
    for (std::thread& t : running) {
        t.join();
    }
    running.clear();
}

}  // namespace

void* fnMakeCappiThread(void* pArg) {
    if (pArg == nullptr) {
        return nullptr;
    }
    auto& arg = *static_cast<st_VilCappiThrArg*>(pArg);
    arg.m_pData = makeCappi(arg);
    if (arg.m_ppData != nullptr && arg.m_nIdx >= 0) {
        arg.m_ppData[arg.m_nIdx] = arg.m_pData;
    }
    return nullptr;
}

void* fnMakeVilThread(void* pArg) {
    if (pArg == nullptr) {
        return nullptr;
    }
    const auto& arg = *static_cast<const st_VilThrArg*>(pArg);
    if (arg.m_ppData == nullptr || arg.m_pVilData == nullptr || arg.m_nHeight <= 0) {
        return nullptr;
    }
    const int levels = arg.m_nHeight;
    for (int c = arg.m_nStartIdx; c < arg.m_nEndIdx; ++c) {
        double sum = 0.0;
        for (int i = levels - 1; i >= 0; --i) {
            const float* level = arg.m_ppData[i];
            if (level == nullptr || !(level[c] > 0.0f)) {
                continue;
            }
            const double z = std::pow(10.0, level[c] / 10.0);
            const float* above = i + 1 < levels ? arg.m_ppData[i + 1] : nullptr;
            if (above != nullptr && above[c] > 0.0f) {
                sum += layerWater((z + std::pow(10.0, above[c] / 10.0)) / 2.0);
            } else {
                sum += layerWater(z);
            }
        }
        arg.m_pVilData[c] = sum > 0.0 ? static_cast<float>(sum) : SITE_NO_DATA;
    }
    return nullptr;
}

float* fnVolumeToVIL(ST_UF_DATA* pUf, int nXdim, int nYdim, int nRange, int nTop_h_km,
                     int nBottom_h_km, st_Azimuth** table) {
    const site_frame::SquareGrid grid =
        site_frame::squareGrid(nXdim, nYdim, static_cast<float>(nRange));
    const long levelsLong = static_cast<long>(nTop_h_km) - nBottom_h_km;
    if (pUf == nullptr || table == nullptr || !grid.ok() || levelsLong > kMaxLevels) {
        return nullptr;
    }
    const int levels = levelsLong > 0 ? static_cast<int>(levelsLong) : 0;
    const int cells = grid.n * grid.n;
    float* vil = site_frame::newGrid(static_cast<size_t>(cells));
    if (vil == nullptr) {
        return nullptr;
    }
    std::fill_n(vil, cells, SITE_NO_DATA);
    if (levels == 0) {
        return vil;
    }

    std::vector<float*> levelGrids(static_cast<size_t>(levels), nullptr);
    std::vector<st_VilCappiThrArg> cappiArgs(static_cast<size_t>(levels));
    for (int i = 0; i < levels; ++i) {
        cappiArgs[i] = st_VilCappiThrArg{
            pUf, nBottom_h_km + i, table, nXdim, nYdim, nRange, nullptr, i, levelGrids.data()};
    }
    // Four workers at a time, each taking the next level as it finishes one: levels differ
    // in cost, and a batch would wait for its slowest.
    std::atomic<int> nextLevel{0};
    auto worker = [&] {
        for (int i = nextLevel.fetch_add(1); i < levels; i = nextLevel.fetch_add(1)) {
            fnMakeCappiThread(&cappiArgs[i]);
        }
    };
    std::vector<std::thread> running;
    for (int w = 0; w < std::min(kCappiWorkersAtOnce, levels); ++w) {
        startOrRun(running, worker);
    }
    joinAll(running);

    // Two workers over disjoint halves: [0, n/2) and [n/2, n).
    st_VilThrArg halves[2] = {{levelGrids.data(), levels, 0, cells / 2, vil},
                              {levelGrids.data(), levels, cells / 2, cells, vil}};
    for (st_VilThrArg& half : halves) {
        startOrRun(running, [&half] { fnMakeVilThread(&half); });
    }
    joinAll(running);
    for (float* level : levelGrids) {
        std::free(level);
    }
    return vil;
}
