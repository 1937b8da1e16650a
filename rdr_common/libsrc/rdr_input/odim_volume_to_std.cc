#include "internal/odim_volume_to_std.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "core_utilities.h"
#include "internal/fixed_text.h"
#include "internal/standard_volume_builder.h"
#include "internal/standard_volume_coding.h"

namespace {

// A dataset that can become (part of) a sweep.
bool usable(const HDF_DATASET* pDataset) {
    return pDataset != nullptr && pDataset->m_ppData != nullptr &&
           pDataset->m_where.m_polar_where.m_nRays > 0 &&
           pDataset->m_where.m_polar_where.m_nBins > 0;
}

// Data items of a dataset that carry a matrix.
std::vector<const HDF_DATA*> dataOf(const HDF_DATASET* pDataset) {
    std::vector<const HDF_DATA*> items;
    for (int d = 0; d < pDataset->m_iMaxData; ++d) {
        const HDF_DATA* pData = pDataset->m_ppData[d];
        if (pData != nullptr && pData->m_ppData != nullptr) {
            items.push_back(pData);
        }
    }
    return items;
}

// The per-ray values of a dataset, when they match its ray count.
const HDF_RAY_HOW* rayHowOf(const HDF_DATASET* pDataset) {
    const HDF_RAY_HOW* p = pDataset->m_pRayHow;
    return p != nullptr && p->m_nRays == pDataset->m_where.m_polar_where.m_nRays ? p : nullptr;
}

bool sameArray(const double* a, const double* b, long n) {
    if (a == nullptr || b == nullptr) {
        return a == b;
    }
    return std::equal(a, a + n, b);
}

bool sameRays(const HDF_DATASET* a, const HDF_DATASET* b) {
    const HDF_RAY_HOW* ra = rayHowOf(a);
    const HDF_RAY_HOW* rb = rayHowOf(b);
    if (ra == nullptr || rb == nullptr) {
        return ra == rb;
    }
    const long n = ra->m_nRays;
    return sameArray(ra->m_pStartazA, rb->m_pStartazA, n) &&
           sameArray(ra->m_pStopazA, rb->m_pStopazA, n) &&
           sameArray(ra->m_pStartazT, rb->m_pStartazT, n) &&
           sameArray(ra->m_pStopazT, rb->m_pStopazT, n) &&
           sameArray(ra->m_pElangles, rb->m_pElangles, n);
}

// True when b repeats the scan of a (the sweep joined so far) with other quantities.
bool repeatsScan(const std::vector<const HDF_DATASET*>& sweep, const HDF_DATASET* b) {
    const HDF_DATASET* a = sweep.front();
    const HDF_POLAR_WHERE& pa = a->m_where.m_polar_where;
    const HDF_POLAR_WHERE& pb = b->m_where.m_polar_where;
    const HDF_DATASET_WHAT& wa = a->m_what;
    const HDF_DATASET_WHAT& wb = b->m_what;
    if (pa.m_dElangle != pb.m_dElangle || pa.m_nRays != pb.m_nRays ||
        pa.m_lA1gate != pb.m_lA1gate || std::strcmp(wa.m_szStartDate, wb.m_szStartDate) != 0 ||
        std::strcmp(wa.m_szStartTime, wb.m_szStartTime) != 0 ||
        std::strcmp(wa.m_szEndDate, wb.m_szEndDate) != 0 ||
        std::strcmp(wa.m_szEndTime, wb.m_szEndTime) != 0 || !sameRays(a, b)) {
        return false;
    }
    for (const HDF_DATASET* joined : sweep) {
        for (const HDF_DATA* x : dataOf(joined)) {
            for (const HDF_DATA* y : dataOf(b)) {
                if (std::strcmp(x->m_what.m_szQuantity, y->m_what.m_szQuantity) == 0) {
                    return false;
                }
            }
        }
    }
    return true;
}

std::vector<std::vector<const HDF_DATASET*>> groupSweeps(const OdimVolumeParts& parts) {
    std::vector<std::vector<const HDF_DATASET*>> sweeps;
    for (int d = 0; d < parts.nDatasets; ++d) {
        const HDF_DATASET* pDataset = parts.datasets[d];
        if (!usable(pDataset)) {
            continue;
        }
        if (!sweeps.empty() && repeatsScan(sweeps.back(), pDataset)) {
            sweeps.back().push_back(pDataset);
        } else {
            sweeps.push_back({pDataset});
        }
    }
    return sweeps;
}

int digitsValue(const char* p, int n) {
    int v = 0;
    for (int i = 0; i < n; ++i) {
        v = v * 10 + (p[i] >= '0' && p[i] <= '9' ? p[i] - '0' : 0);
    }
    return v;
}

// "YYYYMMDD" and "HHMMSS" as a stored time (fnMakeTime's convention).
time_t storedTime(const char* szDate, const char* szTime) {
    if (std::strlen(szDate) < 8 || std::strlen(szTime) < 6) {
        return fnMakeTime(1, 1970, 1, 1, 0, 0, 0);
    }
    return fnMakeTime(1, static_cast<short>(digitsValue(szDate, 4)),
                      static_cast<short>(digitsValue(szDate + 4, 2)),
                      static_cast<short>(digitsValue(szDate + 6, 2)),
                      static_cast<short>(digitsValue(szTime, 2)),
                      static_cast<short>(digitsValue(szTime + 2, 2)),
                      static_cast<short>(digitsValue(szTime + 4, 2)));
}

// Seconds since 1970 UTC as a stored time; consecutive rays of one second share the work.
class EpochClock {
  public:
    time_t stored(double dEpoch) {
        const double whole = std::floor(dEpoch);
        if (!(whole > -1.0e12 && whole < 1.0e12)) {
            return fnMakeTime(1, 1970, 1, 1, 0, 0, 0);
        }
        const time_t t = static_cast<time_t>(whole);
        if (!valid_ || t != key_) {
            struct tm utc {};
            gmtime_r(&t, &utc);
            value_ = fnMakeTime(1, static_cast<short>(utc.tm_year + 1900),
                                static_cast<short>(utc.tm_mon + 1), static_cast<short>(utc.tm_mday),
                                static_cast<short>(utc.tm_hour), static_cast<short>(utc.tm_min),
                                static_cast<short>(utc.tm_sec));
            key_ = t;
            valid_ = true;
        }
        return value_;
    }

  private:
    time_t key_ = 0;
    time_t value_ = 0;
    bool valid_ = false;
};

double clockwise(double from, double to) {
    double d = std::fmod(to - from, 360.0);
    return d < 0.0 ? d + 360.0 : d;
}

double rowAzimuth(const HDF_DATASET* pDataset, long row) {
    const HDF_RAY_HOW* rh = rayHowOf(pDataset);
    const long n = pDataset->m_where.m_polar_where.m_nRays;
    double az = (static_cast<double>(row) + 0.5) * 360.0 / static_cast<double>(n);
    if (rh != nullptr && rh->m_pStartazA != nullptr && rh->m_pStopazA != nullptr) {
        const double start = rh->m_pStartazA[row];
        az = start + clockwise(start, rh->m_pStopazA[row]) / 2.0;
    }
    az = std::fmod(az, 360.0);
    return az < 0.0 ? az + 360.0 : az;
}

// Middle of the ray's acquisition, or NaN without per-ray times.
double rowEpoch(const HDF_RAY_HOW* rh, long row) {
    if (rh == nullptr || rh->m_pStartazT == nullptr) {
        return NAN;
    }
    const double start = rh->m_pStartazT[row];
    return rh->m_pStopazT != nullptr ? start + (rh->m_pStopazT[row] - start) / 2.0 : start;
}

// Rows in acquisition order: round the circle from a1gate; with per-ray times, by time,
// rays of one time stamp going clockwise on from the ray before them.
std::vector<long> acquisitionOrder(const HDF_DATASET* pDataset) {
    const HDF_POLAR_WHERE& p = pDataset->m_where.m_polar_where;
    const long n = p.m_nRays;
    std::vector<long> order(static_cast<std::size_t>(n));
    for (long k = 0; k < n; ++k) {
        order[static_cast<std::size_t>(k)] = (p.m_lA1gate + k) % n;
    }
    const HDF_RAY_HOW* rh = rayHowOf(pDataset);
    if (rh == nullptr || rh->m_pStartazT == nullptr) {
        return order;
    }
    std::stable_sort(order.begin(), order.end(),
                     [rh](long a, long b) { return rowEpoch(rh, a) < rowEpoch(rh, b); });
    std::size_t i = 0;
    while (i < order.size()) {
        std::size_t j = i + 1;
        while (j < order.size() && rowEpoch(rh, order[j]) == rowEpoch(rh, order[i])) {
            ++j;
        }
        const double ref = rowAzimuth(pDataset, i == 0 ? order[0] : order[i - 1]);
        std::stable_sort(order.begin() + static_cast<long>(i), order.begin() + static_cast<long>(j),
                         [&](long a, long b) {
                             return clockwise(ref, rowAzimuth(pDataset, a)) <
                                    clockwise(ref, rowAzimuth(pDataset, b));
                         });
        i = j;
    }
    return order;
}

struct RangeGeometry {
    int km;
    int meter;
    int spacing;
    bool operator==(const RangeGeometry&) const = default;
};

RangeGeometry geometryOf(const HDF_POLAR_WHERE& p) {
    const long meters = std::lround(p.m_dRstart * 1000.0);
    return RangeGeometry{static_cast<int>(meters / 1000), static_cast<int>(meters % 1000),
                         static_cast<int>(std::lround(p.m_dRScale))};
}

void fillGlobal(const OdimVolumeParts& parts, STD_GLOBAL_HDR* g) {
    g->m_iVolumeNo = 1;
    copyFixedText(g->m_szSiteName, sizeof g->m_szSiteName,
                  odimSourceNode(parts.what->m_szSource).c_str());
    const HDF_POLAR_WHERE& p = parts.where->m_polar_where;
    g->m_dLat = p.m_dLat;
    g->m_dLon = p.m_dLon;
    g->m_iAnteHeight = static_cast<int>(odimWhole(p.m_dHeightM));
    // A SCAN is a single PPI sweep.
    if (std::strcmp(parts.what->m_szObject, "PVOL") == 0 ||
        std::strcmp(parts.what->m_szObject, "SCAN") == 0) {
        g->m_iSweepMode = STD_EN_SWMD_PPI;
    }
    copyFixedText(g->m_szConvertName, sizeof g->m_szConvertName, parts.how->m_general_how.m_szTask);
    g->m_tConvertTime = storedTime(parts.what->m_szDate, parts.what->m_szTime);
    g->m_iNoDataValue = STD_NO_DATA_CODE;
    g->m_iBitsPerBin = 16;
    const HDF_RADAR_HOW& r = parts.how->m_radar_how;
    g->m_fBeamWidthH = static_cast<float>(r.m_dBeamwH);
    g->m_fBeamWidthV = static_cast<float>(r.m_dBeamwV);
    g->m_fWaveLength = static_cast<float>(r.m_dWaveLength);
    g->m_iPulseWidth = static_cast<int>(odimWhole(299.792458 * r.m_dPulseWidth));
    g->m_iBandWidth = static_cast<int>(odimWhole(r.m_dRXbandWidth));
}

void fillSweep(const std::vector<const HDF_DATASET*>& datasets, OdimFieldLookup lookup,
               EpochClock& clock, STD_SWEEP* pSweep) {
    const HDF_DATASET* first = datasets.front();
    const HDF_RADAR_HOW& r = first->m_how.m_radar_how;
    pSweep->m_hdr.m_fNyquistVelocity = static_cast<float>(r.m_dNi);
    pSweep->m_hdr.m_fRadarConstant = static_cast<float>(r.m_dRadconstH);
    pSweep->m_hdr.m_fAntennaGain = static_cast<float>(r.m_dAntgainH);

    const HDF_POLAR_WHERE& p = first->m_where.m_polar_where;
    const HDF_RAY_HOW* rh = rayHowOf(first);
    const std::vector<long> order = acquisitionOrder(first);
    const RangeGeometry rayGeometry = geometryOf(p);
    const time_t tStart = storedTime(first->m_what.m_szStartDate, first->m_what.m_szStartTime);
    const float fFixed = static_cast<float>(p.m_dElangle);

    // The moments of the sweep in dataset order, each with its geometry.
    struct Moment {
        const HDF_DATA* data;
        char name[9];
        RangeGeometry geometry;
        long bins;
        int scale;  // 100, or 10 or 1 when the values do not fit 16 bits at 100
    };
    std::vector<Moment> moments;
    for (const HDF_DATASET* pDataset : datasets) {
        for (const HDF_DATA* pData : dataOf(pDataset)) {
            Moment m{pData,
                     {},
                     geometryOf(pDataset->m_where.m_polar_where),
                     pDataset->m_where.m_polar_where.m_nBins,
                     odimStoredScale(pData->m_ppData, pDataset->m_where.m_polar_where.m_nRays,
                                     pDataset->m_where.m_polar_where.m_nBins)};
            FIELD_INFO_TBL info{};
            if (lookup(pData->m_what.m_szQuantity, &info) == 1) {
                copyFixedText(m.name, sizeof m.name, info.m_szFieldName);
            } else {
                copyFixedText(m.name, sizeof m.name, pData->m_what.m_szQuantity);
            }
            moments.push_back(m);
        }
    }

    for (int k = 0; k < pSweep->m_iMaxRay; ++k) {
        const long row = order[static_cast<std::size_t>(k)];
        STD_RAY* pRay = pSweep->m_ppRay[k];
        STD_RAY_HDR& h = pRay->m_hdr;
        const double epoch = rowEpoch(rh, row);
        h.m_tTime = std::isnan(epoch) ? tStart : clock.stored(epoch);
        h.m_fAzimuth = static_cast<float>(rowAzimuth(first, row));
        if (h.m_fAzimuth >= 360.0f) {
            h.m_fAzimuth = 0.0f;
        }
        h.m_fElevation = rh != nullptr && rh->m_pElangles != nullptr
                             ? static_cast<float>(rh->m_pElangles[row])
                             : fFixed;
        h.m_fFixedAngle = fFixed;
        h.m_iStartRangeKm = rayGeometry.km;
        h.m_iStartRangeMeter = rayGeometry.meter;
        h.m_iBinSpacing = rayGeometry.spacing;
        for (int f = 0; f < pRay->m_iMaxField; ++f) {
            const Moment& m = moments[static_cast<std::size_t>(f)];
            STD_FIELD* pField = pRay->m_ppField[f];
            pField->m_hdr.m_iScaleFactor = m.scale;
            copyFixedText(pField->m_hdr.m_szFieldName, sizeof pField->m_hdr.m_szFieldName, m.name);
            if (!(m.geometry == rayGeometry)) {
                pField->m_hdr.m_iStartRangeKm = m.geometry.km;
                pField->m_hdr.m_iStartRangeMeter = m.geometry.meter;
                pField->m_hdr.m_iBinSpacing = m.geometry.spacing;
            }
            const float* values = m.data->m_ppData[row];
            short* out = pField->m_pData;
            for (int b = 0; b < pField->m_iMaxBin; ++b) {
                out[b] = odimToStdStored(values[b], m.scale);
            }
        }
    }
}

}  // namespace

long odimWhole(double dValue) {
    if (!std::isfinite(dValue) || std::fabs(dValue) > 9.0e15) {
        return 0;
    }
    const double nearest = std::nearbyint(dValue);
    if (std::fabs(dValue - nearest) <= 1e-9 * std::max(1.0, std::fabs(dValue))) {
        return static_cast<long>(nearest);
    }
    return static_cast<long>(std::trunc(dValue));
}

std::string odimSourceNode(const char* szSource) {
    if (szSource == nullptr) {
        return "";
    }
    const std::string source = szSource;
    std::size_t pos = 0;
    while (pos <= source.size()) {
        const std::size_t end = std::min(source.find(',', pos), source.size());
        if (source.compare(pos, 4, "NOD:") == 0) {
            return source.substr(pos + 4, end - pos - 4);
        }
        pos = end + 1;
    }
    return "";
}

STD_RADAR* odimVolumeToStd(const OdimVolumeParts& parts, OdimFieldLookup lookup,
                           const char* szFunction) {
    if (parts.what == nullptr || parts.where == nullptr || parts.how == nullptr ||
        parts.datasets == nullptr || lookup == nullptr) {
        rdrError(szFunction, "incomplete volume");
        return nullptr;
    }
    const auto sweeps = groupSweeps(parts);
    if (sweeps.empty()) {
        rdrError(szFunction, "no dataset holds data");
        return nullptr;
    }
    auto rays = [&](int s) {
        return static_cast<int>(
            sweeps[static_cast<std::size_t>(s)].front()->m_where.m_polar_where.m_nRays);
    };
    // Each moment of a sweep, with its bin count, in dataset order.
    std::vector<std::vector<int>> bins(sweeps.size());
    for (std::size_t s = 0; s < sweeps.size(); ++s) {
        for (const HDF_DATASET* pDataset : sweeps[s]) {
            for (std::size_t k = 0; k < dataOf(pDataset).size(); ++k) {
                bins[s].push_back(static_cast<int>(pDataset->m_where.m_polar_where.m_nBins));
            }
        }
    }
    auto fields = [&](int s, int) {
        return static_cast<int>(bins[static_cast<std::size_t>(s)].size());
    };
    auto binCount = [&](int s, int, int f) {
        return bins[static_cast<std::size_t>(s)][static_cast<std::size_t>(f)];
    };
    STD_RADAR* pStd = buildStdTree(static_cast<int>(sweeps.size()), rays, fields, binCount,
                                   StdBins::kUninitialised);
    if (pStd == nullptr) {
        rdrError(szFunction, "fnInitStd fail");
        return nullptr;
    }
    fillGlobal(parts, &pStd->m_hdr);
    EpochClock clock;
    for (std::size_t s = 0; s < sweeps.size(); ++s) {
        fillSweep(sweeps[s], lookup, clock, pStd->m_ppSweep[s]);
    }
    return pStd;
}
