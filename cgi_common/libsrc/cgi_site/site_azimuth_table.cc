// Azimuth tables of the site engine and the nearest-ray search every product uses.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numeric>
#include <vector>

#include "site_volume_engine.h"

namespace {

bool validAzimuth(float a) {
    return a >= 0.0f && a < 360.0f;  // also false for -9999 and NaN
}

int sweepRays(const ST_UF_DATA& uf, int s) {
    return std::clamp(uf.m_rgnRays[s], 0, SITE_UF_MAX_RAYS);
}

// Slot of an azimuth: trunc(a / q + q / 2) with q = 360 / n, folded into the table.
int slotOf(float a, int n) {
    const double q = 360.0 / n;
    const long k = static_cast<long>(a / q + q * 0.5);
    return static_cast<int>(k % n);
}

}  // namespace

float siteAzimuthDistance(float fA, float fB) {
    float d = std::fmod(std::fabs(fA - fB), 360.0f);
    return d > 180.0f ? 360.0f - d : d;
}

st_Azimuth* fnMakeHashTable(ST_UF_DATA* pUf, int nSweepNo) {
    if (pUf == nullptr || nSweepNo < 0 || nSweepNo >= SITE_UF_MAX_SWEEPS) {
        return nullptr;
    }
    const int n = sweepRays(*pUf, nSweepNo);
    if (n == 0) {
        return nullptr;
    }
    auto* table = static_cast<st_Azimuth*>(std::calloc(static_cast<size_t>(n), sizeof(st_Azimuth)));
    if (table == nullptr) {
        return nullptr;
    }
    for (int k = 0; k < n; ++k) {
        table[k] = st_Azimuth{SITE_NO_DATA, -1, -1, -1};
    }
    const float* azim = pUf->m_AZIM[nSweepNo];
    std::vector<int> order;
    order.reserve(static_cast<size_t>(n));
    for (int j = 0; j < n; ++j) {
        if (!validAzimuth(azim[j])) {
            continue;
        }
        const int k = slotOf(azim[j], n);
        table[k].m_nCon = j;  // a later ray in the same slot replaces an earlier one
        table[k].m_fAzimuth = azim[j];
        order.push_back(j);
    }
    // Neighbours follow azimuth order rather than recording order, so that the search walk
    // is right for scans that run anticlockwise or were recorded out of order.
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return azim[a] < azim[b]; });
    const size_t m = order.size();
    for (size_t i = 0; i < m; ++i) {
        table[order[i]].m_nHigh = order[(i + 1) % m];
        table[order[i]].m_nLow = order[(i + m - 1) % m];
    }
    return table;
}

int siteClosestRay(const ST_UF_DATA* pUf, int nSweepNo, const st_Azimuth* pTable, float fAzimuth) {
    if (pUf == nullptr || pTable == nullptr || nSweepNo < 0 || nSweepNo >= SITE_UF_MAX_SWEEPS ||
        !std::isfinite(fAzimuth)) {
        return -1;
    }
    const int n = sweepRays(*pUf, nSweepNo);
    if (n == 0) {
        return -1;
    }
    float a = std::fmod(fAzimuth, 360.0f);
    if (a < 0.0f) {
        a += 360.0f;
    }
    const float* azim = pUf->m_AZIM[nSweepNo];
    auto usable = [&](int j) { return j >= 0 && j < n && validAzimuth(azim[j]); };

    int ray = -1;
    const int start = slotOf(a, n);
    for (int step = 0; step < n && ray < 0; ++step) {
        const int candidate = pTable[(start + step) % n].m_nCon;
        if (usable(candidate)) {
            ray = candidate;
        }
    }
    if (ray < 0) {
        return -1;
    }
    // In azimuth order the distance to a falls to one minimum and rises again, so walking
    // downhill (across equal azimuths too) from any ray ends there; each walk is bounded by
    // the ray count.
    for (const bool clockwise : {true, false}) {
        for (int step = 0; step < n; ++step) {
            const int next = clockwise ? pTable[ray].m_nHigh : pTable[ray].m_nLow;
            if (!usable(next) || next == ray ||
                siteAzimuthDistance(azim[next], a) > siteAzimuthDistance(azim[ray], a)) {
                break;
            }
            ray = next;
        }
    }
    return ray;
}
