// The ODIM volume sync-down: STD_RADAR to HDF_RADAR, holding the stored integers with the
// gain and codes that decode them, laid out so that the loader gives the volume back:
// - moments of one sweep gated differently (reflectivity at 1000 m beside velocity at
//   250 m) go to datasets of their own with the same elevation and times;
// - rows run clockwise from north, a1gate is the row of the first ray acquired, and each
//   row's azimuth, elevation and time travel in how/startazA, stopazA, elangles,
//   startazT and stopazT.
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <numeric>
#include <string>
#include <vector>

#include "core_utilities.h"
#include "hdf5_output.h"
#include "info_tables.h"
#include "internal/fixed_text.h"

namespace {

constexpr const char* kSyncDown = "fnStdSyncDownHdf";
// Codes of the written integers: rows a moment lacks, and the volume's no-data bins.
constexpr double kNodataCode = 32767.0;

void reportError(const char* szFormat, ...) __attribute__((format(printf, 1, 2)));
void reportError(const char* szFormat, ...) {
    char szMessage[512];
    va_list args;
    va_start(args, szFormat);
    std::vsnprintf(szMessage, sizeof(szMessage), szFormat, args);
    va_end(args);
    rdrError(kSyncDown, szMessage);
}

// A stored time (fnMakeTime's convention) as broken-down UTC fields.
struct tm utcFields(time_t tStored) {
    struct tm fields {};
    const time_t tLocal = tStored - RDR_KST_OFFSET_SEC;
    localtime_r(&tLocal, &fields);
    return fields;
}

double epochOf(time_t tStored) {
    struct tm fields = utcFields(tStored);
    return static_cast<double>(timegm(&fields));
}

void formatDateTime(time_t tStored, char (&szDate)[9], char (&szTime)[7]) {
    const struct tm fields = utcFields(tStored);
    if (std::strftime(szDate, sizeof szDate, "%Y%m%d", &fields) == 0) {
        szDate[0] = '\0';
    }
    if (std::strftime(szTime, sizeof szTime, "%H%M%S", &fields) == 0) {
        szTime[0] = '\0';
    }
}

struct Geometry {
    int km = 0;
    int meter = 0;
    int spacing = 0;
    bool operator==(const Geometry&) const = default;
};

Geometry geometryOf(const STD_RAY* pRay, const STD_FIELD* pField) {
    if (pField->m_hdr.m_iBinSpacing != 0) {
        return {pField->m_hdr.m_iStartRangeKm, pField->m_hdr.m_iStartRangeMeter,
                pField->m_hdr.m_iBinSpacing};
    }
    return {pRay->m_hdr.m_iStartRangeKm, pRay->m_hdr.m_iStartRangeMeter, pRay->m_hdr.m_iBinSpacing};
}

// One moment of a sweep: its name, geometry, largest bin count and scale.
struct Moment {
    std::string name;
    Geometry geometry;
    int bins = 0;
    int scale = 0;
};

// The datasets one sweep becomes: moments grouped by geometry and bin count.
struct DatasetPlan {
    int sweep = 0;
    std::vector<Moment> moments;
};

std::vector<Moment> momentsOf(const STD_SWEEP* pSweep) {
    std::vector<Moment> moments;
    for (int r = 0; r < pSweep->m_iMaxRay; ++r) {
        const STD_RAY* pRay = pSweep->m_ppRay[r];
        for (int f = 0; f < pRay->m_iMaxField; ++f) {
            const STD_FIELD* pField = pRay->m_ppField[f];
            const std::string name = pField->m_hdr.m_szFieldName;
            auto it = std::find_if(moments.begin(), moments.end(),
                                   [&](const Moment& m) { return m.name == name; });
            if (it == moments.end()) {
                moments.push_back({name, geometryOf(pRay, pField), pField->m_iMaxBin,
                                   pField->m_hdr.m_iScaleFactor});
            } else {
                it->bins = std::max(it->bins, pField->m_iMaxBin);
            }
        }
    }
    return moments;
}

std::vector<DatasetPlan> planDatasets(STD_RADAR* pStd) {
    std::vector<DatasetPlan> plans;
    for (int s = 0; s < pStd->m_iMaxSweep; ++s) {
        const std::size_t firstOfSweep = plans.size();
        for (const Moment& m : momentsOf(pStd->m_ppSweep[s])) {
            auto it = std::find_if(plans.begin() + static_cast<long>(firstOfSweep), plans.end(),
                                   [&](const DatasetPlan& p) {
                                       return p.moments.front().geometry == m.geometry &&
                                              p.moments.front().bins == m.bins;
                                   });
            if (it == plans.end()) {
                plans.push_back({s, {m}});
            } else {
                it->moments.push_back(m);
            }
        }
    }
    return plans;
}

float normalisedAzimuth(float az) {
    float a = std::fmod(az, 360.0f);
    if (a < 0.0f) {
        a += 360.0f;
    }
    return a >= 360.0f ? 0.0f : a;
}

double wrap360(double a) {
    a = std::fmod(a, 360.0);
    return a < 0.0 ? a + 360.0 : a;
}

// ODIM quantity of a standard field name; false when it does not fit the format.
// The ODIM quantity of every moment of the volume: the field table's, else the moment's own
// name as the loader gives it. A name longer than the 6 characters a quantity holds is cut
// and, when that is taken in the volume already, numbered; the data is kept either way. An
// empty map when a name cannot be given a quantity.
std::map<std::string, std::string> assignQuantities(const std::vector<DatasetPlan>& plans) {
    std::map<std::string, std::string> quantities;
    std::vector<std::string> taken;
    std::vector<std::string> own;
    for (const DatasetPlan& plan : plans) {
        for (const Moment& m : plan.moments) {
            FIELD_INFO_TBL info{};
            if (quantities.count(m.name) != 0 ||
                std::find(own.begin(), own.end(), m.name) != own.end()) {
                continue;
            }
            if (fnGetStdFieldInfo(m.name.c_str(), &info) == 1) {
                quantities[m.name] = info.m_szHdfQuantity;
                taken.emplace_back(info.m_szHdfQuantity);
            } else {
                own.push_back(m.name);
            }
        }
    }
    constexpr std::size_t kWidth = sizeof(HDF_DATASET_WHAT::m_szQuantity) - 1;
    auto isTaken = [&taken](const std::string& q) {
        return std::find(taken.begin(), taken.end(), q) != taken.end();
    };
    for (const std::string& name : own) {
        std::string quantity = name.substr(0, kWidth);
        for (int k = 1; (quantity.empty() || isTaken(quantity)) && k < 1000; ++k) {
            const std::string number = std::to_string(k);
            quantity = name.substr(0, kWidth - number.size()) + number;
        }
        if (quantity.empty() || isTaken(quantity)) {
            reportError("the moment %s has no ODIM quantity left", name.c_str());
            return {};
        }
        if (quantity != name) {
            reportError("the moment %s is written as quantity %s (a quantity holds 6 characters)",
                        name.c_str(), quantity.c_str());
        }
        quantities[name] = quantity;
        taken.push_back(quantity);
    }
    return quantities;
}

// Rows of malloc'd floats (fnFreeMatrix2D releases them), left for the caller to fill: the
// rows are filled once, not zeroed first.
float** newMatrix(int nRows, int nCols) {
    auto** rows = static_cast<float**>(std::calloc(nRows, sizeof(float*)));
    for (int r = 0; rows != nullptr && r < nRows; ++r) {
        rows[r] = static_cast<float*>(std::malloc(sizeof(float) * std::max(nCols, 1)));
        if (rows[r] == nullptr) {
            fnFreeMatrix2D(reinterpret_cast<void**>(rows), nRows);
            return nullptr;
        }
    }
    return rows;
}

bool allocRayHow(HDF_DATASET* pDataset, long n) {
    auto* p = static_cast<HDF_RAY_HOW*>(std::calloc(1, sizeof(HDF_RAY_HOW)));
    if (p == nullptr) {
        return false;
    }
    pDataset->m_pRayHow = p;
    p->m_nRays = n;
    for (double** pp :
         {&p->m_pStartazA, &p->m_pStopazA, &p->m_pStartazT, &p->m_pStopazT, &p->m_pElangles}) {
        *pp = static_cast<double*>(std::calloc(static_cast<std::size_t>(n), sizeof(double)));
        if (*pp == nullptr) {
            return false;
        }
    }
    return true;
}

// Fills one dataset: where, what, how with the per-ray values, and the data items.
bool fillDataset(const STD_RADAR* pStd, const DatasetPlan& plan,
                 const std::map<std::string, std::string>& quantities, HDF_DATASET* pDataset) {
    const STD_SWEEP* pSweep = pStd->m_ppSweep[plan.sweep];
    const int nRays = pSweep->m_iMaxRay;
    const Geometry& g = plan.moments.front().geometry;

    // Rows clockwise from north; equal azimuths keep their acquisition order.
    std::vector<int> rows(static_cast<std::size_t>(nRays));
    std::iota(rows.begin(), rows.end(), 0);
    std::stable_sort(rows.begin(), rows.end(), [pSweep](int a, int b) {
        return normalisedAzimuth(pSweep->m_ppRay[a]->m_hdr.m_fAzimuth) <
               normalisedAzimuth(pSweep->m_ppRay[b]->m_hdr.m_fAzimuth);
    });

    HDF_DATASET_WHAT& w = pDataset->m_what;
    copyFixedText(w.m_szProduct, sizeof w.m_szProduct, "SCAN");
    formatDateTime(pSweep->m_ppRay[0]->m_hdr.m_tTime, w.m_szStartDate, w.m_szStartTime);
    formatDateTime(pSweep->m_ppRay[nRays - 1]->m_hdr.m_tTime, w.m_szEndDate, w.m_szEndTime);

    HDF_POLAR_WHERE& p = pDataset->m_where.m_polar_where;
    p.m_dLon = pStd->m_hdr.m_dLon;
    p.m_dLat = pStd->m_hdr.m_dLat;
    p.m_dHeightM = pStd->m_hdr.m_iAnteHeight;
    p.m_dElangle = pSweep->m_ppRay[0]->m_hdr.m_fFixedAngle;
    p.m_nBins = plan.moments.front().bins;
    p.m_dRstart = g.km + g.meter / 1000.0;
    p.m_dRScale = g.spacing;
    p.m_nRays = nRays;
    p.m_lA1gate = std::find(rows.begin(), rows.end(), 0) - rows.begin();

    HDF_RADAR_HOW& r = pDataset->m_how.m_radar_how;
    r.m_dNi = pSweep->m_hdr.m_fNyquistVelocity;
    r.m_dRadconstH = pSweep->m_hdr.m_fRadarConstant;
    r.m_dAntgainH = pSweep->m_hdr.m_fAntennaGain;

    if (!allocRayHow(pDataset, nRays)) {
        return false;
    }
    HDF_RAY_HOW* rh = pDataset->m_pRayHow;
    HDF_POLAR_HOW& ph = pDataset->m_how.m_polar_how;
    const double halfSector = 180.0 / nRays;
    for (int row = 0; row < nRays; ++row) {
        const STD_RAY_HDR& h = pSweep->m_ppRay[rows[static_cast<std::size_t>(row)]]->m_hdr;
        const double az = normalisedAzimuth(h.m_fAzimuth);
        rh->m_pStartazA[row] = wrap360(az - halfSector);
        rh->m_pStopazA[row] = wrap360(az + halfSector);
        // One time stamp per ray: the ray's start and stop are the same second.
        rh->m_pStartazT[row] = rh->m_pStopazT[row] = epochOf(h.m_tTime);
        rh->m_pElangles[row] = h.m_fElevation;
        if (row < HDF_MAX_RAY_HOW) {
            ph.m_dStartazA[row] = rh->m_pStartazA[row];
            ph.m_dStopazA[row] = rh->m_pStopazA[row];
            ph.m_dStartazT[row] = rh->m_pStartazT[row];
            ph.m_dStopazT[row] = rh->m_pStopazT[row];
            ph.m_dElangles[row] = rh->m_pElangles[row];
        }
    }

    // The volume's no-data bins are written as undetect, in a code the 16-bit array holds.
    const int iNoData = pStd->m_hdr.m_iNoDataValue;
    const int iUndetect = iNoData >= -32768 && iNoData < 32767 ? iNoData : STD_NO_VALUE_CODE;
    const int nMoments = static_cast<int>(plan.moments.size());
    pDataset->m_ppData = static_cast<HDF_DATA**>(std::calloc(nMoments, sizeof(HDF_DATA*)));
    if (pDataset->m_ppData == nullptr) {
        return false;
    }
    pDataset->m_iMaxData = nMoments;
    for (int k = 0; k < nMoments; ++k) {
        const Moment& m = plan.moments[static_cast<std::size_t>(k)];
        auto* pData = static_cast<HDF_DATA*>(std::calloc(1, sizeof(HDF_DATA)));
        pDataset->m_ppData[k] = pData;
        if (pData == nullptr) {
            return false;
        }
        pData->m_where.m_polar_where = p;
        copyFixedText(pData->m_szClass, sizeof pData->m_szClass, "IMAGE");
        copyFixedText(pData->m_szVersion, sizeof pData->m_szVersion, "1.2");
        HDF_DATASET_WHAT& dw = pData->m_what;
        dw = w;
        copyFixedText(dw.m_szQuantity, sizeof dw.m_szQuantity, quantities.at(m.name).c_str());
        const int scale = m.scale != 0 ? m.scale : 1;
        dw.m_dGain = 1.0 / scale;
        dw.m_dOffset = 0.0;
        dw.m_dNodata = kNodataCode;
        dw.m_dUndetect = iUndetect;
        pData->m_ppData = newMatrix(nRays, m.bins);
        if (pData->m_ppData == nullptr) {
            reportError("fnStdToHdfData fail");
            return false;
        }
        for (int row = 0; row < nRays; ++row) {
            const STD_RAY* pRay = pSweep->m_ppRay[rows[static_cast<std::size_t>(row)]];
            float* out = pData->m_ppData[row];
            const int f = fnGetFieldIdxRay(const_cast<STD_RAY*>(pRay), m.name.c_str());
            const STD_FIELD* pField = f >= 0 ? pRay->m_ppField[f] : nullptr;
            const int nOwn = pField != nullptr ? std::min(pField->m_iMaxBin, m.bins) : 0;
            std::fill(out + nOwn, out + m.bins, static_cast<float>(kNodataCode));
            if (pField == nullptr) {
                continue;
            }
            const int fieldScale = pField->m_hdr.m_iScaleFactor;
            for (int b = 0; b < pField->m_iMaxBin && b < m.bins; ++b) {
                const short v = pField->m_pData[b];
                if (v == STD_NO_VALUE_CODE || v == iNoData) {
                    out[b] = static_cast<float>(iUndetect);
                } else if (fieldScale == scale || fieldScale == 0) {
                    out[b] = v;
                } else {
                    // A ray stored at another scale: its value at the moment's scale.
                    out[b] = static_cast<float>(
                        std::clamp(std::round(static_cast<double>(v) * scale / fieldScale),
                                   -32766.0, 32766.0));
                }
            }
        }
    }
    return true;
}

}  // namespace

HDF_RADAR* fnStdSyncDownHdf(STD_RADAR* pStd) {
    if (fnValidStdRadar(pStd) != 1) {
        reportError("fnValidStdRadar fail");
        return nullptr;
    }
    int nSweep = 0;
    int nField = 0;
    if (fnGetMaxCountStd(pStd, nullptr, &nSweep, nullptr, nullptr, &nField) != 1) {
        reportError("fnGetMaxCountStd fail");
        return nullptr;
    }
    if (nSweep <= 0 || nField <= 0) {
        reportError("fnGetMaxCountStd error");
        return nullptr;
    }
    const std::vector<DatasetPlan> plans = planDatasets(pStd);
    const std::map<std::string, std::string> quantities = assignQuantities(plans);
    if (quantities.empty()) {
        reportError("fnStdToHdfData fail");
        return nullptr;
    }
    HDF_RADAR* pHdf = fnInitHdfRadar(static_cast<int>(plans.size()), 0, 0, 0);
    if (pHdf == nullptr) {
        reportError("fnInitHdfRadar fail");
        return nullptr;
    }
    pHdf->m_iHdfType = HDF_EN_R_TYPE_POLAR;
    copyFixedText(pHdf->m_szConventions, sizeof pHdf->m_szConventions, "ODIM_H5/V2_2");
    HDF_TOP_WHAT& w = pHdf->m_what;
    copyFixedText(w.m_szObject, sizeof w.m_szObject, "PVOL");
    copyFixedText(w.m_szVersion, sizeof w.m_szVersion, "H5rad 1.0");
    formatDateTime(pStd->m_hdr.m_tConvertTime, w.m_szDate, w.m_szTime);
    std::snprintf(w.m_szSource, sizeof w.m_szSource, "NOD:%s", pStd->m_hdr.m_szSiteName);
    HDF_POLAR_WHERE& p = pHdf->m_where.m_polar_where;
    p.m_dLon = pStd->m_hdr.m_dLon;
    p.m_dLat = pStd->m_hdr.m_dLat;
    p.m_dHeightM = pStd->m_hdr.m_iAnteHeight;
    copyFixedText(pHdf->m_how.m_general_how.m_szTask, sizeof pHdf->m_how.m_general_how.m_szTask,
                  pStd->m_hdr.m_szConvertName);
    HDF_RADAR_HOW& r = pHdf->m_how.m_radar_how;
    r.m_dPulseWidth = pStd->m_hdr.m_iPulseWidth / 299.792458;
    r.m_dBeamwH = pStd->m_hdr.m_fBeamWidthH;
    r.m_dBeamwV = pStd->m_hdr.m_fBeamWidthV;
    r.m_dRXbandWidth = pStd->m_hdr.m_iBandWidth;
    r.m_dWaveLength = pStd->m_hdr.m_fWaveLength;

    for (std::size_t d = 0; d < plans.size(); ++d) {
        HDF_DATASET* pDataset = pHdf->m_ppDataset[d];
        std::free(pDataset->m_ppData);  // fnInitHdfRadar's empty array; sized per dataset below
        pDataset->m_ppData = nullptr;
        pDataset->m_iMaxData = 0;
        if (!fillDataset(pStd, plans[d], quantities, pDataset)) {
            reportError("fnStdToHdfData fail");
            fnFreeHdfRadar(pHdf);
            return nullptr;
        }
    }
    return pHdf;
}
