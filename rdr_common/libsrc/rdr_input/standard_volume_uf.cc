// UF_RADAR to STD_RADAR. The tree is allocated first; only then are the bin buffers
// moved over, so a failed allocation never leaves a buffer with two owners.
#include <cstdlib>
#include <cstring>

#include "core_utilities.h"
#include "internal/bin_blocks.h"
#include "internal/fixed_text.h"
#include "internal/standard_volume_builder.h"
#include "uf_radar.h"

namespace {

constexpr const char* kSyncUp = "fnUfSyncUpStd";

// A field the loader was asked to leave out: its header is there, its bins are not.
bool leftOut(const UF_FIELD* pField) {
    return pField->m_iMaxBin == 0 && pField->m_pData == nullptr;
}

// The UF field behind field f of the standard ray: the f-th one not left out.
int ufFieldIndex(const UF_RAY* pRay, int f) {
    for (int k = 0; k < pRay->m_iCurField; ++k) {
        if (!leftOut(pRay->m_ppField[k]) && f-- == 0) {
            return k;
        }
    }
    return -1;
}

// Ragged tree of the UF sweeps 1..m_iCurSweep; fields get no bin arrays here.
STD_RADAR* initStdToUf(const UF_RADAR* pUf) {
    auto rays = [pUf](int s) { return pUf->m_ppSweep[s]->m_iCurRay; };
    auto fields = [pUf](int s, int r) {
        const UF_RAY* pRay = pUf->m_ppSweep[s]->m_ppRay[r];
        int n = 0;
        for (int k = 0; k < pRay->m_iCurField; ++k) {
            n += leftOut(pRay->m_ppField[k]) ? 0 : 1;
        }
        return n;
    };
    auto bins = [pUf](int s, int r, int f) {
        const UF_RAY* pRay = pUf->m_ppSweep[s]->m_ppRay[r];
        return pRay->m_ppField[ufFieldIndex(pRay, f)]->m_iCurBin;
    };
    return buildStdTree(pUf->m_iCurSweep, rays, fields, bins, StdBins::kNone);
}

// The bin blocks go with the standard volume; buffers of sweeps it does not take (those
// that arrived out of order) lie in them too and are forgotten by the UF tree.
void handOverBinBlocks(UF_RADAR* pUf, STD_RADAR* pStd) {
    if (pUf->m_pBinBlocks == nullptr) {
        return;
    }
    for (int s = 0; s < pUf->m_iMaxSweep; ++s) {
        const UF_SWEEP* pSweep = pUf->m_ppSweep[s];
        for (int r = 0; r < pSweep->m_iMaxRay; ++r) {
            const UF_RAY* pRay = pSweep->m_ppRay[r];
            for (int k = 0; pRay != nullptr && k < pRay->m_iMaxField; ++k) {
                if (binBlocksOwn(pUf->m_pBinBlocks, pRay->m_ppField[k]->m_pData)) {
                    pRay->m_ppField[k]->m_pData = nullptr;
                }
            }
        }
    }
    pStd->m_pBinBlocks = pUf->m_pBinBlocks;
    pUf->m_pBinBlocks = nullptr;
}

// fnMakeTime goes through mktime, which consults the time zone on every call; rays of
// one second share the result.
class RayClock {
  public:
    time_t timeOf(const UF_MANDATORY_HDR& mh) {
        const short key[6] = {mh.m_iYear, mh.m_iMonth,  mh.m_iDay,
                              mh.m_iHour, mh.m_iMinute, mh.m_iSecond};
        if (!m_bValid || std::memcmp(key, m_key, sizeof(key)) != 0) {
            std::memcpy(m_key, key, sizeof(key));
            m_t = fnMakeTime(1, key[0], key[1], key[2], key[3], key[4], key[5]);
            m_bValid = true;
        }
        return m_t;
    }

  private:
    short m_key[6] = {};
    time_t m_t = 0;
    bool m_bValid = false;
};

void fnUfRayToStdRay(const UF_RAY* pUfRay, RayClock& clock, STD_RAY_HDR* pHdr) {
    const UF_MANDATORY_HDR& mh = pUfRay->mh;
    pHdr->m_tTime = clock.timeOf(mh);
    pHdr->m_fAzimuth = mh.m_fAzimuth;
    pHdr->m_fElevation = mh.m_fElevation;
    pHdr->m_fFixedAngle = mh.m_fFixedAngle;
}

void fnUfFieldToStdRay(const UF_FIELD_HDR& fh, STD_RAY_HDR* pHdr) {
    pHdr->m_iStartRangeKm = fh.m_iStartRangeKm;
    pHdr->m_iStartRangeMeter = fh.m_iStartRangeMeter;
    pHdr->m_iBinSpacing = fh.m_iBinSpacing;
    pHdr->m_iSampleSize = fh.m_iSampleSize;
}

void fnUfFieldToStdField(const UF_RAY* pUfRay, int k, UF_FIELD* pUfField, STD_FIELD* pField) {
    copyFixedText(pField->m_hdr.m_szFieldName, sizeof(pField->m_hdr.m_szFieldName),
                  pUfRay->dh.m_pfi[k].m_szFieldName);
    pField->m_hdr.m_iScaleFactor = pUfField->fh.m_iScaleFactor;
    // Moments gated unlike the ray's first field (velocity at 250 m beside reflectivity at
    // 1000 m) keep their own geometry; otherwise they read the ray header's.
    const UF_FIELD_HDR& fh = pUfField->fh;
    const UF_FIELD_HDR& first = pUfRay->m_ppField[0]->fh;
    if (k > 0 && fh.m_iBinSpacing > 0 &&
        (fh.m_iStartRangeKm != first.m_iStartRangeKm ||
         fh.m_iStartRangeMeter != first.m_iStartRangeMeter ||
         fh.m_iBinSpacing != first.m_iBinSpacing)) {
        pField->m_hdr.m_iStartRangeKm = fh.m_iStartRangeKm;
        pField->m_hdr.m_iStartRangeMeter = fh.m_iStartRangeMeter;
        pField->m_hdr.m_iBinSpacing = fh.m_iBinSpacing;
    }
    pField->m_pData = pUfField->m_pData;  // the buffer changes owner
    pUfField->m_pData = nullptr;
}

// The volume's nominal time is the scan's start time of day. Its date is taken from the
// first ray rather than from the generation date: files converted days after the scan
// (archives replayed through another converter) would otherwise be titled with the
// conversion day. A start time of day later than the first ray's means the scan began
// before midnight; a start stamped up to an hour after the first ray is taken as the same
// day. Without an optional header the first ray's own time stands in.
time_t ufVolumeTime(const UF_MANDATORY_HDR& mh, const UF_OPTIONAL_HDR& oh) {
    time_t tRay =
        fnMakeTime(1, mh.m_iYear, mh.m_iMonth, mh.m_iDay, mh.m_iHour, mh.m_iMinute, mh.m_iSecond);
    bool bHaveStart = mh.m_iOHpos != mh.m_iLHpos && oh.m_iVolumeScanHour >= 0 &&
                      oh.m_iVolumeScanHour < 24 && oh.m_iVolumeScanMin >= 0 &&
                      oh.m_iVolumeScanMin < 60 && oh.m_iVolumeScanSec >= 0 &&
                      oh.m_iVolumeScanSec < 61;
    if (!bHaveStart) {
        return tRay;
    }
    long rayOfDay = mh.m_iHour * 3600L + mh.m_iMinute * 60L + mh.m_iSecond;
    long startOfDay =
        oh.m_iVolumeScanHour * 3600L + oh.m_iVolumeScanMin * 60L + oh.m_iVolumeScanSec;
    long back = rayOfDay - startOfDay;
    if (back < -3600) {
        back += 86400;
    }
    return tRay - back;
}

void fnUfToStdGlobal(const UF_RAY* pUfRay, const UF_FIELD_HDR& fh, STD_GLOBAL_HDR* g) {
    const UF_MANDATORY_HDR& mh = pUfRay->mh;
    const UF_OPTIONAL_HDR& oh = pUfRay->oh;
    g->m_iVolumeNo = mh.m_iVolumeNo;
    copyFixedText(g->m_szRadarName, sizeof(g->m_szRadarName), mh.m_szRadarName);
    copyFixedText(g->m_szSiteName, sizeof(g->m_szSiteName), mh.m_szSiteName);
    g->m_dLat = fnConvertDms2Deg(mh.m_iLatDeg, mh.m_iLatMin, mh.m_fLatSec);
    g->m_dLon = fnConvertDms2Deg(mh.m_iLonDeg, mh.m_iLonMin, mh.m_fLonSec);
    g->m_iAnteHeight = mh.m_iAnteHeight;
    g->m_iSweepMode = mh.m_iSweepMode;
    g->m_fSweepRate = mh.m_fSweepRate;
    copyFixedText(g->m_szConvertName, sizeof(g->m_szConvertName), mh.m_szConvertName);
    g->m_tConvertTime = ufVolumeTime(mh, oh);
    g->m_iNoDataValue = mh.m_iNoDataValue;
    copyFixedText(g->m_szProjectName, sizeof(g->m_szProjectName), oh.m_szProjectName);
    g->m_fBaselineAzimuth = oh.m_fBaselineAzimuth;
    g->m_fBaselineElevation = oh.m_fBaselineElevation;
    copyFixedText(g->m_szFieldTapeName, sizeof(g->m_szFieldTapeName), oh.m_szFieldTapeName);
    g->m_iPulseWidth = fh.m_iPulseWidth;
    g->m_fBeamWidthH = fh.m_fBeamWidthH;
    g->m_fBeamWidthV = fh.m_fBeamWidthV;
    g->m_iBandWidth = fh.m_iBandWidth;
    g->m_iPolarMode = fh.m_iPolarMode;
    g->m_fWaveLength = fh.m_fWaveLength;
    copyFixedText(g->m_szThresholdType, sizeof(g->m_szThresholdType), fh.m_szThresholdType);
    g->m_iThresholdValue = fh.m_iThresholdValue;
    g->m_iScale = fh.m_iScale;
    copyFixedText(g->m_szEditCode, sizeof(g->m_szEditCode), fh.m_szEditCode);
    g->m_iPRT = fh.m_iPRT;
    g->m_iBitsPerBin = fh.m_iBitsPerBin;
}

// Later rays overwrite what earlier rays of the sweep set.
void ufFieldToStdSweep(const char* szName, const UF_FIELD_HDR& fh, STD_SWEEP_HDR* pHdr) {
    if (isUfVelocityField(szName)) {
        if (fh.m_fNyquistVelocity != 0.0f) {
            pHdr->m_fNyquistVelocity = fh.m_fNyquistVelocity;
            copyFixedText(pHdr->m_szVelocityFlag, sizeof(pHdr->m_szVelocityFlag),
                          fh.m_szVelocityFlag);
        }
    } else if (std::strcmp(szName, "DM") == 0) {
        pHdr->m_fRadarConstant = fh.m_fRadarConstant;
        pHdr->m_fNoisePower = fh.m_fNoisePower;
        pHdr->m_fReceiverGain = fh.m_fReceiverGain;
        pHdr->m_fPeakPower = fh.m_fPeakPower;
        pHdr->m_fAntennaGain = fh.m_fAntennaGain;
        pHdr->m_fPulseDuration = fh.m_fPulseDuration;
    }
}

}  // namespace

STD_RADAR* fnUfSyncUpStd(UF_RADAR* pUf) {
    // A structure already converted has handed its buffers over and fails here.
    if (!fnValidUf(pUf)) {
        rdrError(kSyncUp, "InValid UF");
        return nullptr;
    }
    STD_RADAR* pStd = initStdToUf(pUf);
    if (pStd == nullptr) {
        rdrError(kSyncUp, "fnInitStdToUf fail");
        return nullptr;
    }
    bool bGlobalDone = false;
    RayClock clock;
    for (int s = 0; s < pStd->m_iMaxSweep; ++s) {
        UF_SWEEP* pUfSweep = pUf->m_ppSweep[s];
        STD_SWEEP* pSweep = pStd->m_ppSweep[s];
        for (int r = 0; r < pSweep->m_iMaxRay; ++r) {
            UF_RAY* pUfRay = pUfSweep->m_ppRay[r];
            STD_RAY* pRay = pSweep->m_ppRay[r];
            fnUfRayToStdRay(pUfRay, clock, &pRay->m_hdr);
            if (pUfRay->m_iCurField > 0) {
                fnUfFieldToStdRay(pUfRay->m_ppField[0]->fh, &pRay->m_hdr);
            }
            // Moments left out still set the volume's and the sweep's headers, so that
            // those read the same whatever was asked for.
            int f = 0;
            for (int k = 0; k < pUfRay->m_iCurField; ++k) {
                UF_FIELD* pUfField = pUfRay->m_ppField[k];
                if (!bGlobalDone) {
                    fnUfToStdGlobal(pUfRay, pUfField->fh, &pStd->m_hdr);
                    bGlobalDone = true;
                }
                ufFieldToStdSweep(pUfRay->dh.m_pfi[k].m_szFieldName, pUfField->fh, &pSweep->m_hdr);
                if (!leftOut(pUfField)) {
                    fnUfFieldToStdField(pUfRay, k, pUfField, pRay->m_ppField[f++]);
                }
            }
        }
    }
    handOverBinBlocks(pUf, pStd);
    return pStd;
}
