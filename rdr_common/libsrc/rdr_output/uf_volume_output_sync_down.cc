// The UF sync-down: STD_RADAR to a UF_RADAR of one ray per record, with every value
// already quantised to the words the encoder will write.
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "core_utilities.h"
#include "internal/fixed_text.h"
#include "internal/uf_radar_tree.h"
#include "internal/uf_volume_input_record.h"
#include "internal/uf_volume_output_encoder.h"
#include "uf_volume_output.h"

namespace {

constexpr const char* kSyncDown = "fnStdSyncDownUf";

void reportError(const char* szFormat, ...) __attribute__((format(printf, 1, 2)));
void reportError(const char* szFormat, ...) {
    char szMessage[512];
    va_list args;
    va_start(args, szFormat);
    std::vsnprintf(szMessage, sizeof(szMessage), szFormat, args);
    va_end(args);
    rdrError(kSyncDown, szMessage);
}

// The inverse of fnMakeTime(1, ...): the broken-down fields it was made from.
struct tm brokenDownTime(time_t t) {
    struct tm tmOut {};
    const time_t tLocal = t - RDR_KST_OFFSET_SEC;
    localtime_r(&tLocal, &tmOut);
    return tmOut;
}

// Degrees to degrees, minutes and /64 seconds, all three with the sign of the angle.
void toDms(double dDeg, short* pDeg, short* pMin, float* pSec) {
    // A missing (not finite) position is written as 0; one beyond a word, as the largest word.
    const double dAbs = std::isfinite(dDeg) ? std::min(std::fabs(dDeg), 32767.0) : 0.0;
    long iDeg = static_cast<long>(dAbs);
    const double dMin = (dAbs - iDeg) * 60.0;
    long iMin = static_cast<long>(dMin);
    long iSec64 = std::lround((dMin - iMin) * 60.0 * 64.0);
    if (iSec64 >= 60 * 64) {
        iSec64 -= 60 * 64;
        if (++iMin >= 60) {
            iMin -= 60;
            ++iDeg;
        }
    }
    const int iSign = dDeg < 0 ? -1 : 1;
    *pDeg = ufClampWord(iSign * iDeg);
    *pMin = ufClampWord(iSign * iMin);
    *pSec = static_cast<float>(iSign * iSec64) * 0.015625f;
}

bool checkShape(const STD_RADAR* pStd) {
    if (pStd->m_iMaxSweep > UF_MAX_SWEEP) {
        reportError("%d sweeps, more than %d", pStd->m_iMaxSweep, UF_MAX_SWEEP);
        return false;
    }
    for (int s = 0; s < pStd->m_iMaxSweep; ++s) {
        const STD_SWEEP* pSweep = pStd->m_ppSweep[s];
        if (pSweep->m_iMaxRay > UF_MAX_RAY) {
            reportError("sweep %d has %d rays, more than %d", s + 1, pSweep->m_iMaxRay, UF_MAX_RAY);
            return false;
        }
        for (int r = 0; r < pSweep->m_iMaxRay; ++r) {
            const STD_RAY* pRay = pSweep->m_ppRay[r];
            if (pRay->m_iMaxField > UF_MAX_FIELD) {
                reportError("sweep %d ray %d has %d fields, more than %d", s + 1, r + 1,
                            pRay->m_iMaxField, UF_MAX_FIELD);
                return false;
            }
            for (int k = 0; k < pRay->m_iMaxField; ++k) {
                const int nBin = pRay->m_ppField[k]->m_iMaxBin;
                if (nBin > UF_MAX_BIN) {
                    reportError("sweep %d ray %d field %d has %d bins, more than %d", s + 1, r + 1,
                                k + 1, nBin, UF_MAX_BIN);
                    return false;
                }
            }
        }
    }
    return true;
}

void fillFieldHeader(const STD_RADAR* pStd, const STD_SWEEP* pSweep, const STD_RAY* pRay,
                     const STD_FIELD* pField, UF_FIELD_HDR* h) {
    const STD_GLOBAL_HDR& g = pStd->m_hdr;
    h->m_iScaleFactor = ufClampWord(pField->m_hdr.m_iScaleFactor);
    // A moment with its own gates keeps them; the others share the ray's.
    const bool bOwnGates = pField->m_hdr.m_iBinSpacing != 0;
    h->m_iStartRangeKm =
        ufClampWord(bOwnGates ? pField->m_hdr.m_iStartRangeKm : pRay->m_hdr.m_iStartRangeKm);
    h->m_iStartRangeMeter =
        ufClampWord(bOwnGates ? pField->m_hdr.m_iStartRangeMeter : pRay->m_hdr.m_iStartRangeMeter);
    h->m_iBinSpacing =
        ufClampWord(bOwnGates ? pField->m_hdr.m_iBinSpacing : pRay->m_hdr.m_iBinSpacing);
    h->m_iMaxBin = ufClampWord(pField->m_iMaxBin);
    h->m_iPulseWidth = ufClampWord(g.m_iPulseWidth);
    h->m_fBeamWidthH = ufFixed64(g.m_fBeamWidthH) * 0.015625f;
    h->m_fBeamWidthV = ufFixed64(g.m_fBeamWidthV) * 0.015625f;
    h->m_iBandWidth = ufClampWord(g.m_iBandWidth);
    h->m_iPolarMode = ufClampWord(g.m_iPolarMode);
    h->m_fWaveLength = ufFixed64(g.m_fWaveLength) * 0.015625f;
    h->m_iSampleSize = ufClampWord(pRay->m_hdr.m_iSampleSize);
    copyFixedText(h->m_szThresholdType, sizeof(h->m_szThresholdType), g.m_szThresholdType);
    h->m_iThresholdValue = ufClampWord(g.m_iThresholdValue);
    h->m_iScale = ufClampWord(g.m_iScale);
    copyFixedText(h->m_szEditCode, sizeof(h->m_szEditCode), g.m_szEditCode);
    h->m_iPRT = ufClampWord(g.m_iPRT);
    h->m_iBitsPerBin = ufClampWord(g.m_iBitsPerBin);
    const STD_SWEEP_HDR& sh = pSweep->m_hdr;
    const char* szName = pField->m_hdr.m_szFieldName;
    const short iScale = h->m_iScaleFactor;
    // Stored as the reader will give them back: quantised to the record's words.
    auto scaled = [iScale](float f) {
        return iScale != 0 ? static_cast<float>(ufScaledWord(f, iScale)) / iScale : 0.0f;
    };
    if (isUfVelocityField(szName)) {
        h->m_fNyquistVelocity = scaled(sh.m_fNyquistVelocity);
        copyFixedText(h->m_szVelocityFlag, sizeof(h->m_szVelocityFlag), sh.m_szVelocityFlag);
    } else if (std::strcmp(szName, "DM") == 0) {
        h->m_fRadarConstant = ufFixed64(sh.m_fRadarConstant) * 0.015625f;
        h->m_fNoisePower = scaled(sh.m_fNoisePower);
        h->m_fReceiverGain = scaled(sh.m_fReceiverGain);
        h->m_fPeakPower = scaled(sh.m_fPeakPower);
        h->m_fAntennaGain = scaled(sh.m_fAntennaGain);
        h->m_fPulseDuration = ufFixed64(sh.m_fPulseDuration) * 0.015625f;
    }
}

UF_RAY* syncDownRay(const STD_RADAR* pStd, const STD_SWEEP* pSweep, int iSweep, int iRay,
                    long iRecordNo) {
    const STD_GLOBAL_HDR& g = pStd->m_hdr;
    const STD_RAY* pStdRay = pSweep->m_ppRay[iRay];
    const int nField = std::max(pStdRay->m_iMaxField, 0);
    int binCount[UF_MAX_FIELD];
    for (int k = 0; k < nField; ++k) {
        binCount[k] = std::max(pStdRay->m_ppField[k]->m_iMaxBin, 0);
    }
    UF_RAY* pRay = ufAllocRay(nField, binCount);
    if (pRay == nullptr) {
        return nullptr;
    }
    pRay->m_iCurField = nField;

    UF_MANDATORY_HDR& mh = pRay->mh;
    copyFixedText(mh.m_szID, sizeof(mh.m_szID), "UF");
    mh.m_iRecordNo = static_cast<short>(iRecordNo % 32768);
    mh.m_iVolumeNo = ufClampWord(g.m_iVolumeNo);
    mh.m_iRayNo = ufClampWord(iRay + 1);
    mh.m_iRecordInRay = 1;
    mh.m_iSweepNo = ufClampWord(iSweep + 1);
    copyFixedText(mh.m_szRadarName, sizeof(mh.m_szRadarName), g.m_szRadarName);
    copyFixedText(mh.m_szSiteName, sizeof(mh.m_szSiteName), g.m_szSiteName);
    toDms(g.m_dLat, &mh.m_iLatDeg, &mh.m_iLatMin, &mh.m_fLatSec);
    toDms(g.m_dLon, &mh.m_iLonDeg, &mh.m_iLonMin, &mh.m_fLonSec);
    mh.m_iAnteHeight = ufClampWord(g.m_iAnteHeight);
    const struct tm tmRay = brokenDownTime(pStdRay->m_hdr.m_tTime);
    mh.m_iYear = ufClampWord(tmRay.tm_year + 1900L);
    mh.m_iMonth = ufClampWord(tmRay.tm_mon + 1);
    mh.m_iDay = ufClampWord(tmRay.tm_mday);
    mh.m_iHour = ufClampWord(tmRay.tm_hour);
    mh.m_iMinute = ufClampWord(tmRay.tm_min);
    mh.m_iSecond = ufClampWord(tmRay.tm_sec);
    copyFixedText(mh.m_szTimeZone, sizeof(mh.m_szTimeZone), "UT");
    float fAzimuth = ufFixed64(pStdRay->m_hdr.m_fAzimuth) * 0.015625f;
    mh.m_fAzimuth = fAzimuth < 0.0f ? fAzimuth + 360.0f : fAzimuth;
    mh.m_fElevation = ufFixed64(pStdRay->m_hdr.m_fElevation) * 0.015625f;
    mh.m_iSweepMode = ufClampWord(g.m_iSweepMode);
    mh.m_fFixedAngle = ufFixed64(pStdRay->m_hdr.m_fFixedAngle) * 0.015625f;
    mh.m_fSweepRate = ufFixed64(g.m_fSweepRate) * 0.015625f;
    const struct tm tmVolume = brokenDownTime(g.m_tConvertTime);
    mh.m_iConvertYear = ufClampWord(tmVolume.tm_year + 1900L);
    mh.m_iConvertMonth = ufClampWord(tmVolume.tm_mon + 1);
    mh.m_iConvertDay = ufClampWord(tmVolume.tm_mday);
    copyFixedText(mh.m_szConvertName, sizeof(mh.m_szConvertName), g.m_szConvertName);
    mh.m_iNoDataValue = ufClampWord(g.m_iNoDataValue);
    mh.m_iOHpos = UF_MANDATORY_WORDS + 1;
    mh.m_iLHpos = mh.m_iOHpos + UF_OPTIONAL_WORDS;  // the optional header is there

    UF_OPTIONAL_HDR& oh = pRay->oh;
    copyFixedText(oh.m_szProjectName, sizeof(oh.m_szProjectName), g.m_szProjectName);
    float fBaseline = ufFixed64(g.m_fBaselineAzimuth) * 0.015625f;
    oh.m_fBaselineAzimuth = fBaseline < 0.0f ? fBaseline + 360.0f : fBaseline;
    oh.m_fBaselineElevation = ufFixed64(g.m_fBaselineElevation) * 0.015625f;
    oh.m_iVolumeScanHour = ufClampWord(tmVolume.tm_hour);
    oh.m_iVolumeScanMin = ufClampWord(tmVolume.tm_min);
    oh.m_iVolumeScanSec = ufClampWord(tmVolume.tm_sec);
    copyFixedText(oh.m_szFieldTapeName, sizeof(oh.m_szFieldTapeName), g.m_szFieldTapeName);

    pRay->dh.m_iMaxField = ufClampWord(nField);
    pRay->dh.m_iMaxRecord = 1;
    pRay->dh.m_iMaxFieldInRecord = ufClampWord(nField);
    for (int k = 0; k < nField; ++k) {
        const STD_FIELD* pStdField = pStdRay->m_ppField[k];
        UF_FIELD* pField = pRay->m_ppField[k];
        const int nBin = binCount[k];
        pField->m_iCurBin = nBin;
        pField->m_pData[0] = 0;
        if (nBin > 0) {
            std::memcpy(pField->m_pData, pStdField->m_pData, sizeof(short) * nBin);
        }
        char szName[3];
        copyFixedText(szName, sizeof(szName), pStdField->m_hdr.m_szFieldName);
        copyFixedText(pRay->dh.m_pfi[k].m_szFieldName, sizeof(szName), szName);
        fillFieldHeader(pStd, pSweep, pStdRay, pStdField, &pField->fh);
    }
    return pRay;
}

}  // namespace

UF_RADAR* fnStdSyncDownUf(STD_RADAR* pStd) {
    if (!fnValidStdRadar(pStd)) {
        rdrError(kSyncDown, "incomplete STD_RADAR");
        return nullptr;
    }
    if (!checkShape(pStd)) {
        return nullptr;
    }
    UF_RADAR* pUf = fnInitUf();
    if (pUf == nullptr) {
        rdrError(kSyncDown, "out of memory");
        return nullptr;
    }
    long iRecordNo = 0;
    for (int s = 0; s < pStd->m_iMaxSweep; ++s) {
        const STD_SWEEP* pStdSweep = pStd->m_ppSweep[s];
        if (!ufEnsureSweepSlots(pUf, s + 1)) {
            fnFreeUfRadar(pUf);
            rdrError(kSyncDown, "out of memory");
            return nullptr;
        }
        UF_SWEEP* pSweep = pUf->m_ppSweep[s];
        for (int r = 0; r < pStdSweep->m_iMaxRay; ++r) {
            UF_RAY* pRay = syncDownRay(pStd, pStdSweep, s, r, ++iRecordNo);
            if (pRay == nullptr) {
                fnFreeUfRadar(pUf);
                rdrError(kSyncDown, "out of memory");
                return nullptr;
            }
            pSweep->m_ppRay[pSweep->m_iCurRay++] = pRay;
            pSweep->m_iMaxRay = pSweep->m_iCurRay;
            // Fields within their own limits can still add up to more than one record holds.
            if (!ufLayoutRay(pRay)) {
                fnFreeUfRadar(pUf);
                reportError("sweep %d ray %d needs a record of more than %d words", s + 1, r + 1,
                            kUfMaxRecordWords);
                return nullptr;
            }
        }
        pUf->m_iCurSweep = s + 1;
    }
    return pUf;
}
