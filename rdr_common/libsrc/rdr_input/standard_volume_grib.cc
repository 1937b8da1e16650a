// GRIB_RADAR to STD_RADAR: each ray gets the moments whose slot on it is set, in slot
// order, each with its own bin count, scale factor and gate geometry.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core_utilities.h"
#include "grib_radar.h"
#include "internal/bin_blocks.h"
#include "internal/fixed_text.h"
#include "internal/standard_volume_builder.h"

namespace {

constexpr const char* kSyncUp = "fnGribSyncUpStd";
constexpr unsigned char kAbsent = 255;

int toInt(long v) {
    return static_cast<int>(std::clamp<long>(v, INT_MIN, INT_MAX));
}

// Whole kilometres and the metres beyond them, as the standard headers split a range.
void splitRange(long metres, int* pKm, int* pMetres) {
    *pKm = toInt(metres / 1000);
    *pMetres = toInt(metres - 1000L * (metres / 1000));
}

bool fail(const std::string& why) {
    rdrError(kSyncUp, why.c_str());
    return false;
}

// For every ray, the volumes on it in slot order: volumes[first[g] .. first[g + 1]).
struct RayMoments {
    std::vector<int> first;
    std::vector<int> volumes;
};

bool checkShape(const GRIB_RADAR* pGrib) {
    const GRIB_GLOBAL_HDR& hdr = pGrib->m_hdr;
    if (hdr.m_iMaxSweep < 1 || hdr.m_iMaxRay < 1 || pGrib->m_iMaxVolume < 1 ||
        pGrib->m_iMaxVolume > GRIB_MAX_FIELD || pGrib->m_ppVolume == nullptr ||
        hdr.m_pMaxRay == nullptr || hdr.m_pSweepHdr == nullptr || hdr.m_pRayTime == nullptr ||
        hdr.m_pRayAzimuth == nullptr || hdr.m_pRayElevation == nullptr ||
        hdr.m_pRayFixedAngle == nullptr || hdr.m_pRayStartRange == nullptr ||
        hdr.m_pRayBinSpacing == nullptr || hdr.m_pRaySampleSize == nullptr) {
        return fail("fnInitStdToGrib fail (incomplete volume)");
    }
    long nRays = 0;
    for (int s = 0; s < hdr.m_iMaxSweep; ++s) {
        if (hdr.m_pMaxRay[s] < 0 || hdr.m_pMaxRay[s] > hdr.m_iMaxRay - nRays) {
            return fail("the sweeps' ray counts exceed the volume's " +
                        std::to_string(hdr.m_iMaxRay) + " rays");
        }
        nRays += hdr.m_pMaxRay[s];
    }
    if (nRays != hdr.m_iMaxRay) {
        return fail("the sweeps hold " + std::to_string(nRays) + " rays, the volume " +
                    std::to_string(hdr.m_iMaxRay));
    }
    for (int k = 0; k < pGrib->m_iMaxVolume; ++k) {
        const GRIB_VOLUME* p = pGrib->m_ppVolume[k];
        if (p == nullptr || p->m_pData == nullptr || p->m_pFieldSlot == nullptr ||
            p->m_pBinNumber == nullptr || p->m_pScaleFactor == nullptr ||
            p->m_pStartRange == nullptr || p->m_pBinSpacing == nullptr || p->m_iMaxBin < 1) {
            return fail("Invalid pVolume " + std::to_string(k));
        }
    }
    return true;
}

bool collectRayMoments(const GRIB_RADAR* pGrib, RayMoments* pOut) {
    const int nRay = pGrib->m_hdr.m_iMaxRay;
    const int nVolume = pGrib->m_iMaxVolume;
    pOut->first.assign(static_cast<std::size_t>(nRay) + 1, 0);
    pOut->volumes.clear();
    std::vector<int> bySlot(nVolume);
    for (int g = 0; g < nRay; ++g) {
        std::fill(bySlot.begin(), bySlot.end(), -1);
        int n = 0;
        for (int k = 0; k < nVolume; ++k) {
            const GRIB_VOLUME* p = pGrib->m_ppVolume[k];
            const unsigned char slot = p->m_pFieldSlot[g];
            if (slot == kAbsent) {
                continue;
            }
            if (slot >= nVolume || bySlot[slot] != -1) {
                return fail("ray " + std::to_string(g) + ": moment " + p->m_szName + " has slot " +
                            std::to_string(slot) + ", taken or beyond the volume's moments");
            }
            if (p->m_pBinNumber[g] < 0 || p->m_pBinNumber[g] > p->m_iMaxBin) {
                return fail("ray " + std::to_string(g) + ": moment " + p->m_szName + " has " +
                            std::to_string(p->m_pBinNumber[g]) + " bins, its rows " +
                            std::to_string(p->m_iMaxBin));
            }
            bySlot[slot] = k;
            ++n;
        }
        for (int f = 0; f < n; ++f) {
            if (bySlot[f] < 0) {
                return fail("ray " + std::to_string(g) + ": its moment slots leave a gap");
            }
            pOut->volumes.push_back(bySlot[f]);
        }
        pOut->first[g + 1] = static_cast<int>(pOut->volumes.size());
    }
    return true;
}

void copyGlobal(const GRIB_GLOBAL_HDR& src, STD_GLOBAL_HDR* pDst) {
    pDst->m_iVolumeNo = src.m_iVolumeNo;
    copyFixedText(pDst->m_szRadarName, sizeof(pDst->m_szRadarName), src.m_szRadarName,
                  sizeof(src.m_szRadarName));
    copyFixedText(pDst->m_szSiteName, sizeof(pDst->m_szSiteName), src.m_szSiteName,
                  sizeof(src.m_szSiteName));
    pDst->m_dLat = src.m_dLat;
    pDst->m_dLon = src.m_dLon;
    pDst->m_iAnteHeight = src.m_iAnteHeight;
    pDst->m_iSweepMode = src.m_iSweepMode;
    pDst->m_fSweepRate = src.m_fSweepRate;
    copyFixedText(pDst->m_szConvertName, sizeof(pDst->m_szConvertName), src.m_szConvertName,
                  sizeof(src.m_szConvertName));
    pDst->m_tConvertTime = src.m_tConvertTime + RDR_KST_OFFSET_SEC;
    pDst->m_iNoDataValue = src.m_iNoDataValue;
    copyFixedText(pDst->m_szProjectName, sizeof(pDst->m_szProjectName), src.m_szProjectName,
                  sizeof(src.m_szProjectName));
    pDst->m_fBaselineAzimuth = src.m_fBaselineAzimuth;
    pDst->m_fBaselineElevation = src.m_fBaselineElevation;
    copyFixedText(pDst->m_szFieldTapeName, sizeof(pDst->m_szFieldTapeName), src.m_szFieldTapeName,
                  sizeof(src.m_szFieldTapeName));
    pDst->m_iPulseWidth = src.m_iPulseWidth;
    pDst->m_fBeamWidthH = src.m_fBeamWidthH;
    pDst->m_fBeamWidthV = src.m_fBeamWidthV;
    pDst->m_iBandWidth = src.m_iBandWidth;
    pDst->m_iPolarMode = src.m_iPolarMode;
    pDst->m_fWaveLength = src.m_fWaveLength;
    copyFixedText(pDst->m_szThresholdType, sizeof(pDst->m_szThresholdType), src.m_szThresholdType,
                  sizeof(src.m_szThresholdType));
    pDst->m_iThresholdValue = src.m_iThresholdValue;
    pDst->m_iScale = src.m_iScale;
    copyFixedText(pDst->m_szEditCode, sizeof(pDst->m_szEditCode), src.m_szEditCode,
                  sizeof(src.m_szEditCode));
    pDst->m_iPRT = src.m_iPRT;
    pDst->m_iBitsPerBin = src.m_iBitsPerBin;
}

// Ray times are whole seconds as written; a fractional one is rounded, not cut.
time_t rayTime(time_t tVolume, double dSeconds) {
    if (!std::isfinite(dSeconds)) {
        return tVolume;
    }
    return tVolume + static_cast<time_t>(std::llround(std::clamp(dSeconds, -2e9, 2e9)));
}

}  // namespace

STD_RADAR* fnGribSyncUpStd(GRIB_RADAR* pGrib) {
    if (pGrib == nullptr || !checkShape(pGrib)) {
        return nullptr;
    }
    RayMoments moments;
    if (!collectRayMoments(pGrib, &moments)) {
        return nullptr;
    }
    const GRIB_GLOBAL_HDR& hdr = pGrib->m_hdr;
    std::vector<int> firstRay(hdr.m_iMaxSweep + 1, 0);
    for (int s = 0; s < hdr.m_iMaxSweep; ++s) {
        firstRay[s + 1] = firstRay[s] + static_cast<int>(hdr.m_pMaxRay[s]);
    }
    auto rays = [&](int s) { return static_cast<int>(hdr.m_pMaxRay[s]); };
    auto fields = [&](int s, int r) {
        const int g = firstRay[s] + r;
        return moments.first[g + 1] - moments.first[g];
    };
    auto bins = [](int, int, int) { return 0; };
    STD_RADAR* pStd = buildStdTree(hdr.m_iMaxSweep, rays, fields, bins, StdBins::kNone);
    if (pStd == nullptr) {
        rdrError(kSyncUp, "fnInitStdToGrib fail");
        return nullptr;
    }
    // A loaded volume's rows lie in its bin blocks: they become the standard volume's.
    const bool bMove = pGrib->m_pBinBlocks != nullptr;
    pStd->m_pBinBlocks = bMove ? pGrib->m_pBinBlocks : binBlocksNew();
    pGrib->m_pBinBlocks = nullptr;
    std::vector<short*> data(static_cast<std::size_t>(pGrib->m_iMaxVolume));
    for (int k = 0; k < pGrib->m_iMaxVolume; ++k) {
        data[k] = pGrib->m_ppVolume[k]->m_pData;
        if (bMove) {
            pGrib->m_ppVolume[k]->m_pData = nullptr;
        }
    }
    if (pStd->m_pBinBlocks == nullptr) {
        fnFreeStdRadar(pStd);
        rdrError(kSyncUp, "fnInitStdToGrib fail");
        return nullptr;
    }
    copyGlobal(hdr, &pStd->m_hdr);
    const time_t tVolume = pStd->m_hdr.m_tConvertTime;
    for (int s = 0; s < hdr.m_iMaxSweep; ++s) {
        STD_SWEEP* pSweep = pStd->m_ppSweep[s];
        pSweep->m_hdr = hdr.m_pSweepHdr[s];
        pSweep->m_hdr.m_szVelocityFlag[sizeof(pSweep->m_hdr.m_szVelocityFlag) - 1] = '\0';
        for (int r = 0; r < pSweep->m_iMaxRay; ++r) {
            const int g = firstRay[s] + r;
            STD_RAY* pRay = pSweep->m_ppRay[r];
            STD_RAY_HDR& ray = pRay->m_hdr;
            ray.m_tTime = rayTime(tVolume, hdr.m_pRayTime[g]);
            ray.m_fAzimuth = static_cast<float>(hdr.m_pRayAzimuth[g]);
            ray.m_fElevation = static_cast<float>(hdr.m_pRayElevation[g]);
            ray.m_fFixedAngle = static_cast<float>(hdr.m_pRayFixedAngle[g]);
            splitRange(hdr.m_pRayStartRange[g], &ray.m_iStartRangeKm, &ray.m_iStartRangeMeter);
            ray.m_iBinSpacing = toInt(hdr.m_pRayBinSpacing[g]);
            ray.m_iSampleSize = toInt(hdr.m_pRaySampleSize[g]);
            for (int f = 0; f < pRay->m_iMaxField; ++f) {
                const int k = moments.volumes[moments.first[g] + f];
                const GRIB_VOLUME* pVolume = pGrib->m_ppVolume[k];
                STD_FIELD* pField = pRay->m_ppField[f];
                const int nBin = static_cast<int>(pVolume->m_pBinNumber[g]);
                short* pRow = data[k] + static_cast<long>(g) * pVolume->m_iMaxBin;
                if (bMove) {
                    pField->m_pData = pRow;
                } else {
                    pField->m_pData =
                        binBlocksTake(pStd->m_pBinBlocks, static_cast<std::size_t>(nBin));
                    if (pField->m_pData == nullptr) {
                        fnFreeStdRadar(pStd);
                        rdrError(kSyncUp, "fnInitStdToGrib fail");
                        return nullptr;
                    }
                    std::memcpy(pField->m_pData, pRow,
                                sizeof(short) * static_cast<std::size_t>(nBin));
                }
                pField->m_iMaxBin = nBin;
                STD_FIELD_HDR& field = pField->m_hdr;
                copyFixedText(field.m_szFieldName, sizeof(field.m_szFieldName), pVolume->m_szName,
                              sizeof(pVolume->m_szName));
                field.m_iScaleFactor = toInt(pVolume->m_pScaleFactor[g]);
                splitRange(pVolume->m_pStartRange[g], &field.m_iStartRangeKm,
                           &field.m_iStartRangeMeter);
                field.m_iBinSpacing = toInt(pVolume->m_pBinSpacing[g]);
            }
        }
    }
    return pStd;
}
