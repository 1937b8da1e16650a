#include "uf_volume_output.h"

#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "core_utilities.h"
#include "internal/uf_volume_input_record.h"

namespace {

constexpr const char* kSyncDown = "fnStdSyncDownUf";
constexpr const char* kWrite = "fnWriteUf";
constexpr int kMaxRecordWords = 32767;  // positions are signed 16-bit words

void reportError(const char* szFunction, const char* szFormat, ...)
    __attribute__((format(printf, 2, 3)));
void reportError(const char* szFunction, const char* szFormat, ...) {
    char szMessage[512];
    va_list args;
    va_start(args, szFormat);
    std::vsnprintf(szMessage, sizeof(szMessage), szFormat, args);
    va_end(args);
    rdrError(szFunction, szMessage);
}

short clampWord(long iValue) {
    return static_cast<short>(std::clamp<long>(iValue, -32768, 32767));
}
short toFixed64(float fValue) {
    return clampWord(std::lround(fValue * 64.0));
}
// The reader adds 360 to negative azimuth words, so a value still below 0 came from a
// word below -360 degrees (such as -32768, "missing").
short toAzimuth64(float fValue) {
    return toFixed64(fValue < 0.0f ? fValue - 360.0f : fValue);
}
// Inverse of "word / scale factor"; a zero scale stores nothing.
short toScaled(float fValue, short iScale) {
    return iScale != 0 ? clampWord(std::lround(static_cast<double>(fValue) * iScale)) : 0;
}

// Truncating copy that always terminates and zero-fills the rest, like the headers' arrays.
void copyText(char* szDst, std::size_t nDst, const char* szSrc) {
    const std::size_t n = strnlen(szSrc, nDst - 1);
    std::memcpy(szDst, szSrc, n);
    std::memset(szDst + n, 0, nDst - n);
}

// ---- encoder ------------------------------------------------------------------------

struct Layout {
    int iOHpos, iLHpos, iDHpos;
    int nWords;
    int rgFHpos[UF_MAX_FIELD];
    int rgDataPos[UF_MAX_FIELD];
};

bool computeLayout(const UF_RAY* pRay, Layout* pLayout) {
    const int nField = pRay->m_iCurField;
    if (nField < 0 || nField > UF_MAX_FIELD || nField > pRay->m_iMaxField) {
        return false;
    }
    long iPos = UF_MANDATORY_WORDS + 1;
    pLayout->iOHpos = static_cast<int>(iPos);
    if (pRay->mh.m_iOHpos != pRay->mh.m_iLHpos) {
        iPos += UF_OPTIONAL_WORDS;
    }
    pLayout->iLHpos = static_cast<int>(iPos);
    iPos += (std::max(pRay->lh.m_iMaxContent, 0) + 1) / 2;
    pLayout->iDHpos = static_cast<int>(iPos);
    iPos += UF_DATA_HDR_FIXED_WORDS + 2 * nField;
    for (int k = 0; k < nField; ++k) {
        const UF_FIELD* pField = pRay->m_ppField[k];
        if (pField == nullptr || pField->m_iCurBin < 0 || pField->m_iCurBin > UF_MAX_BIN ||
            (pField->m_iCurBin > 0 && pField->m_pData == nullptr)) {
            return false;
        }
        pLayout->rgFHpos[k] = static_cast<int>(iPos);
        iPos += ufFieldHeaderWords(pRay->dh.m_pfi[k].m_szFieldName);
        pLayout->rgDataPos[k] = static_cast<int>(iPos);
        iPos += pField->m_iCurBin;
    }
    pLayout->nWords = static_cast<int>(iPos - 1);
    return pLayout->nWords <= kMaxRecordWords;
}

class WordWriter {
  public:
    WordWriter(unsigned char* pBytes, int nWords) : m_pBytes(pBytes), m_nWords(nWords) {}
    void word(int iPos, long iValue) {
        if (iPos >= 1 && iPos <= m_nWords) {
            const auto v = static_cast<unsigned short>(clampWord(iValue));
            m_pBytes[2 * (iPos - 1)] = static_cast<unsigned char>(v >> 8);
            m_pBytes[2 * (iPos - 1) + 1] = static_cast<unsigned char>(v & 0xff);
        }
    }
    void fixed64(int iPos, float fValue) { word(iPos, toFixed64(fValue)); }
    // Characters in file order, NUL-padded to 2 * nWords.
    void text(int iPos, int nWords, const char* szText) {
        const std::size_t n = std::min(std::strlen(szText), static_cast<std::size_t>(2 * nWords));
        if (iPos >= 1 && iPos + nWords - 1 <= m_nWords) {
            std::memset(m_pBytes + 2 * (iPos - 1), 0, 2 * nWords);
            std::memcpy(m_pBytes + 2 * (iPos - 1), szText, n);
        }
    }
    unsigned char* bytes(int iPos) { return m_pBytes + 2 * (iPos - 1); }

  private:
    unsigned char* m_pBytes;
    int m_nWords;
};

void encodeMandatory(const UF_MANDATORY_HDR& h, const Layout& L, WordWriter& w) {
    w.text(1, 1, "UF");
    w.word(2, L.nWords);
    w.word(3, L.iOHpos);
    w.word(4, L.iLHpos);
    w.word(5, L.iDHpos);
    w.word(6, h.m_iRecordNo);
    w.word(7, h.m_iVolumeNo);
    w.word(8, h.m_iRayNo);
    w.word(9, h.m_iRecordInRay);
    w.word(10, h.m_iSweepNo);
    w.text(11, 4, h.m_szRadarName);
    w.text(15, 4, h.m_szSiteName);
    w.word(19, h.m_iLatDeg);
    w.word(20, h.m_iLatMin);
    w.fixed64(21, h.m_fLatSec);
    w.word(22, h.m_iLonDeg);
    w.word(23, h.m_iLonMin);
    w.fixed64(24, h.m_fLonSec);
    w.word(25, h.m_iAnteHeight);
    w.word(26, h.m_iYear);
    w.word(27, h.m_iMonth);
    w.word(28, h.m_iDay);
    w.word(29, h.m_iHour);
    w.word(30, h.m_iMinute);
    w.word(31, h.m_iSecond);
    w.text(32, 1, h.m_szTimeZone);
    w.word(33, toAzimuth64(h.m_fAzimuth));
    w.fixed64(34, h.m_fElevation);
    w.word(35, h.m_iSweepMode);
    w.fixed64(36, h.m_fFixedAngle);
    w.fixed64(37, h.m_fSweepRate);
    w.word(38, h.m_iConvertYear);
    w.word(39, h.m_iConvertMonth);
    w.word(40, h.m_iConvertDay);
    w.text(41, 4, h.m_szConvertName);
    w.word(45, h.m_iNoDataValue);
}

void encodeOptional(const UF_OPTIONAL_HDR& h, int iPos, WordWriter& w) {
    w.text(iPos, 4, h.m_szProjectName);
    w.word(iPos + 4, toAzimuth64(h.m_fBaselineAzimuth));
    w.fixed64(iPos + 5, h.m_fBaselineElevation);
    w.word(iPos + 6, h.m_iVolumeScanHour);
    w.word(iPos + 7, h.m_iVolumeScanMin);
    w.word(iPos + 8, h.m_iVolumeScanSec);
    w.text(iPos + 9, 4, h.m_szFieldTapeName);
    w.word(iPos + 13, h.m_iFlag);
}

void encodeField(const UF_FIELD* pField, const char* szName, int iPos, int iDataPos,
                 WordWriter& w) {
    const UF_FIELD_HDR& h = pField->fh;
    const int p = iPos - 1;
    w.word(p + 1, iDataPos);
    w.word(p + 2, h.m_iScaleFactor);
    w.word(p + 3, h.m_iStartRangeKm);
    w.word(p + 4, h.m_iStartRangeMeter);
    w.word(p + 5, h.m_iBinSpacing);
    w.word(p + 6, pField->m_iCurBin);
    w.word(p + 7, h.m_iPulseWidth);
    w.fixed64(p + 8, h.m_fBeamWidthH);
    w.fixed64(p + 9, h.m_fBeamWidthV);
    w.word(p + 10, h.m_iBandWidth);
    w.word(p + 11, h.m_iPolarMode);
    w.fixed64(p + 12, h.m_fWaveLength);
    w.word(p + 13, h.m_iSampleSize);
    w.text(p + 14, 1, h.m_szThresholdType);
    w.word(p + 15, h.m_iThresholdValue);
    w.word(p + 16, h.m_iScale);
    w.text(p + 17, 1, h.m_szEditCode);
    w.word(p + 18, h.m_iPRT);
    w.word(p + 19, h.m_iBitsPerBin);
    if (isUfVelocityField(szName)) {
        w.word(p + 20, toScaled(h.m_fNyquistVelocity, h.m_iScaleFactor));
        w.text(p + 21, 1, h.m_szVelocityFlag);
    } else if (std::strcmp(szName, "DM") == 0) {
        w.fixed64(p + 20, h.m_fRadarConstant);
        w.word(p + 21, toScaled(h.m_fNoisePower, h.m_iScaleFactor));
        w.word(p + 22, toScaled(h.m_fReceiverGain, h.m_iScaleFactor));
        w.word(p + 23, toScaled(h.m_fPeakPower, h.m_iScaleFactor));
        w.word(p + 24, toScaled(h.m_fAntennaGain, h.m_iScaleFactor));
        w.fixed64(p + 25, h.m_fPulseDuration);
    }
    unsigned char* pOut = w.bytes(iDataPos);
    for (int i = 0; i < pField->m_iCurBin; ++i) {
        const auto v = static_cast<unsigned short>(pField->m_pData[i]);
        pOut[2 * i] = static_cast<unsigned char>(v >> 8);
        pOut[2 * i + 1] = static_cast<unsigned char>(v & 0xff);
    }
}

// ---- sync-down ----------------------------------------------------------------------

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
    *pDeg = clampWord(iSign * iDeg);
    *pMin = clampWord(iSign * iMin);
    *pSec = static_cast<float>(iSign * iSec64) * 0.015625f;
}

bool checkShape(const STD_RADAR* pStd) {
    if (pStd->m_iMaxSweep > UF_MAX_SWEEP) {
        reportError(kSyncDown, "%d sweeps, more than %d", pStd->m_iMaxSweep, UF_MAX_SWEEP);
        return false;
    }
    for (int s = 0; s < pStd->m_iMaxSweep; ++s) {
        const STD_SWEEP* pSweep = pStd->m_ppSweep[s];
        if (pSweep->m_iMaxRay > UF_MAX_RAY) {
            reportError(kSyncDown, "sweep %d has %d rays, more than %d", s + 1, pSweep->m_iMaxRay,
                        UF_MAX_RAY);
            return false;
        }
        for (int r = 0; r < pSweep->m_iMaxRay; ++r) {
            const STD_RAY* pRay = pSweep->m_ppRay[r];
            if (pRay->m_iMaxField > UF_MAX_FIELD) {
                reportError(kSyncDown, "sweep %d ray %d has %d fields, more than %d", s + 1, r + 1,
                            pRay->m_iMaxField, UF_MAX_FIELD);
                return false;
            }
            for (int k = 0; k < pRay->m_iMaxField; ++k) {
                const int nBin = pRay->m_ppField[k]->m_iMaxBin;
                if (nBin > UF_MAX_BIN) {
                    reportError(kSyncDown, "sweep %d ray %d field %d has %d bins, more than %d",
                                s + 1, r + 1, k + 1, nBin, UF_MAX_BIN);
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
    h->m_iScaleFactor = clampWord(pField->m_hdr.m_iScaleFactor);
    // A moment with its own gates keeps them; the others share the ray's.
    const bool bOwnGates = pField->m_hdr.m_iBinSpacing != 0;
    h->m_iStartRangeKm =
        clampWord(bOwnGates ? pField->m_hdr.m_iStartRangeKm : pRay->m_hdr.m_iStartRangeKm);
    h->m_iStartRangeMeter =
        clampWord(bOwnGates ? pField->m_hdr.m_iStartRangeMeter : pRay->m_hdr.m_iStartRangeMeter);
    h->m_iBinSpacing =
        clampWord(bOwnGates ? pField->m_hdr.m_iBinSpacing : pRay->m_hdr.m_iBinSpacing);
    h->m_iMaxBin = clampWord(pField->m_iMaxBin);
    h->m_iPulseWidth = clampWord(g.m_iPulseWidth);
    h->m_fBeamWidthH = toFixed64(g.m_fBeamWidthH) * 0.015625f;
    h->m_fBeamWidthV = toFixed64(g.m_fBeamWidthV) * 0.015625f;
    h->m_iBandWidth = clampWord(g.m_iBandWidth);
    h->m_iPolarMode = clampWord(g.m_iPolarMode);
    h->m_fWaveLength = toFixed64(g.m_fWaveLength) * 0.015625f;
    h->m_iSampleSize = clampWord(pRay->m_hdr.m_iSampleSize);
    copyText(h->m_szThresholdType, sizeof(h->m_szThresholdType), g.m_szThresholdType);
    h->m_iThresholdValue = clampWord(g.m_iThresholdValue);
    h->m_iScale = clampWord(g.m_iScale);
    copyText(h->m_szEditCode, sizeof(h->m_szEditCode), g.m_szEditCode);
    h->m_iPRT = clampWord(g.m_iPRT);
    h->m_iBitsPerBin = clampWord(g.m_iBitsPerBin);
    const STD_SWEEP_HDR& sh = pSweep->m_hdr;
    const char* szName = pField->m_hdr.m_szFieldName;
    const short iScale = h->m_iScaleFactor;
    // Stored as the reader will give them back: quantised to the record's words.
    auto scaled = [iScale](float f) {
        return iScale != 0 ? static_cast<float>(toScaled(f, iScale)) / iScale : 0.0f;
    };
    if (isUfVelocityField(szName)) {
        h->m_fNyquistVelocity = scaled(sh.m_fNyquistVelocity);
        copyText(h->m_szVelocityFlag, sizeof(h->m_szVelocityFlag), sh.m_szVelocityFlag);
    } else if (std::strcmp(szName, "DM") == 0) {
        h->m_fRadarConstant = toFixed64(sh.m_fRadarConstant) * 0.015625f;
        h->m_fNoisePower = scaled(sh.m_fNoisePower);
        h->m_fReceiverGain = scaled(sh.m_fReceiverGain);
        h->m_fPeakPower = scaled(sh.m_fPeakPower);
        h->m_fAntennaGain = scaled(sh.m_fAntennaGain);
        h->m_fPulseDuration = toFixed64(sh.m_fPulseDuration) * 0.015625f;
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
    copyText(mh.m_szID, sizeof(mh.m_szID), "UF");
    mh.m_iRecordNo = static_cast<short>(iRecordNo % 32768);
    mh.m_iVolumeNo = clampWord(g.m_iVolumeNo);
    mh.m_iRayNo = clampWord(iRay + 1);
    mh.m_iRecordInRay = 1;
    mh.m_iSweepNo = clampWord(iSweep + 1);
    copyText(mh.m_szRadarName, sizeof(mh.m_szRadarName), g.m_szRadarName);
    copyText(mh.m_szSiteName, sizeof(mh.m_szSiteName), g.m_szSiteName);
    toDms(g.m_dLat, &mh.m_iLatDeg, &mh.m_iLatMin, &mh.m_fLatSec);
    toDms(g.m_dLon, &mh.m_iLonDeg, &mh.m_iLonMin, &mh.m_fLonSec);
    mh.m_iAnteHeight = clampWord(g.m_iAnteHeight);
    const struct tm tmRay = brokenDownTime(pStdRay->m_hdr.m_tTime);
    mh.m_iYear = clampWord(tmRay.tm_year + 1900L);
    mh.m_iMonth = clampWord(tmRay.tm_mon + 1);
    mh.m_iDay = clampWord(tmRay.tm_mday);
    mh.m_iHour = clampWord(tmRay.tm_hour);
    mh.m_iMinute = clampWord(tmRay.tm_min);
    mh.m_iSecond = clampWord(tmRay.tm_sec);
    copyText(mh.m_szTimeZone, sizeof(mh.m_szTimeZone), "UT");
    float fAzimuth = toFixed64(pStdRay->m_hdr.m_fAzimuth) * 0.015625f;
    mh.m_fAzimuth = fAzimuth < 0.0f ? fAzimuth + 360.0f : fAzimuth;
    mh.m_fElevation = toFixed64(pStdRay->m_hdr.m_fElevation) * 0.015625f;
    mh.m_iSweepMode = clampWord(g.m_iSweepMode);
    mh.m_fFixedAngle = toFixed64(pStdRay->m_hdr.m_fFixedAngle) * 0.015625f;
    mh.m_fSweepRate = toFixed64(g.m_fSweepRate) * 0.015625f;
    const struct tm tmVolume = brokenDownTime(g.m_tConvertTime);
    mh.m_iConvertYear = clampWord(tmVolume.tm_year + 1900L);
    mh.m_iConvertMonth = clampWord(tmVolume.tm_mon + 1);
    mh.m_iConvertDay = clampWord(tmVolume.tm_mday);
    copyText(mh.m_szConvertName, sizeof(mh.m_szConvertName), g.m_szConvertName);
    mh.m_iNoDataValue = clampWord(g.m_iNoDataValue);
    mh.m_iOHpos = UF_MANDATORY_WORDS + 1;
    mh.m_iLHpos = mh.m_iOHpos + UF_OPTIONAL_WORDS;  // the optional header is there

    UF_OPTIONAL_HDR& oh = pRay->oh;
    copyText(oh.m_szProjectName, sizeof(oh.m_szProjectName), g.m_szProjectName);
    float fBaseline = toFixed64(g.m_fBaselineAzimuth) * 0.015625f;
    oh.m_fBaselineAzimuth = fBaseline < 0.0f ? fBaseline + 360.0f : fBaseline;
    oh.m_fBaselineElevation = toFixed64(g.m_fBaselineElevation) * 0.015625f;
    oh.m_iVolumeScanHour = clampWord(tmVolume.tm_hour);
    oh.m_iVolumeScanMin = clampWord(tmVolume.tm_min);
    oh.m_iVolumeScanSec = clampWord(tmVolume.tm_sec);
    copyText(oh.m_szFieldTapeName, sizeof(oh.m_szFieldTapeName), g.m_szFieldTapeName);

    pRay->dh.m_iMaxField = clampWord(nField);
    pRay->dh.m_iMaxRecord = 1;
    pRay->dh.m_iMaxFieldInRecord = clampWord(nField);
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
        copyText(szName, sizeof(szName), pStdField->m_hdr.m_szFieldName);
        copyText(pRay->dh.m_pfi[k].m_szFieldName, sizeof(szName), szName);
        fillFieldHeader(pStd, pSweep, pStdRay, pStdField, &pField->fh);
    }
    return pRay;
}

// ---- file output --------------------------------------------------------------------

void putBe16(std::vector<unsigned char>& v, unsigned iValue) {
    v.push_back(static_cast<unsigned char>(iValue >> 8));
    v.push_back(static_cast<unsigned char>(iValue & 0xff));
}
void putBe32(std::vector<unsigned char>& v, unsigned long iValue) {
    putBe16(v, (iValue >> 16) & 0xffff);
    putBe16(v, iValue & 0xffff);
}

}  // namespace

int ufLayoutRay(UF_RAY* pRay) {
    Layout L;
    if (pRay == nullptr || !computeLayout(pRay, &L)) {
        return 0;
    }
    pRay->mh.m_iRecLen = static_cast<short>(L.nWords);
    pRay->mh.m_iOHpos = static_cast<short>(L.iOHpos);
    pRay->mh.m_iLHpos = static_cast<short>(L.iLHpos);
    pRay->mh.m_iDHpos = static_cast<short>(L.iDHpos);
    for (int k = 0; k < pRay->m_iCurField; ++k) {
        pRay->dh.m_pfi[k].m_iFHpos = static_cast<short>(L.rgFHpos[k]);
        pRay->m_ppField[k]->fh.m_iDataPos = static_cast<short>(L.rgDataPos[k]);
        pRay->m_ppField[k]->fh.m_iMaxBin = static_cast<short>(pRay->m_ppField[k]->m_iCurBin);
    }
    return 1;
}

int encodeUfRecord(const UF_RAY* pRay, std::vector<unsigned char>* pOut) {
    Layout L;
    if (pRay == nullptr || pOut == nullptr || pRay->m_ppField == nullptr ||
        pRay->dh.m_pfi == nullptr || !computeLayout(pRay, &L)) {
        return 0;
    }
    const std::size_t iStart = pOut->size();
    pOut->resize(iStart + 2 * static_cast<std::size_t>(L.nWords), 0);
    WordWriter w(pOut->data() + iStart, L.nWords);
    encodeMandatory(pRay->mh, L, w);
    if (L.iLHpos != L.iOHpos) {
        encodeOptional(pRay->oh, L.iOHpos, w);
    }
    if (pRay->lh.m_iMaxContent > 0 && pRay->lh.m_pszContent != nullptr) {
        std::memcpy(w.bytes(L.iLHpos), pRay->lh.m_pszContent, pRay->lh.m_iMaxContent);
    }
    const int nField = pRay->m_iCurField;
    w.word(L.iDHpos, nField);
    w.word(L.iDHpos + 1, pRay->dh.m_iMaxRecord);
    w.word(L.iDHpos + 2, pRay->dh.m_iMaxFieldInRecord);
    for (int k = 0; k < nField; ++k) {
        const char* szName = pRay->dh.m_pfi[k].m_szFieldName;
        w.text(L.iDHpos + 3 + 2 * k, 1, szName);
        w.word(L.iDHpos + 4 + 2 * k, L.rgFHpos[k]);
        encodeField(pRay->m_ppField[k], szName, L.rgFHpos[k], L.rgDataPos[k], w);
    }
    return 1;
}

UF_RADAR* fnStdSyncDownUf(STD_RADAR* pStd) {
    if (!fnValidStdRadar(pStd)) {
        rdrError(kSyncDown, "incomplete STD_RADAR");
        return nullptr;
    }
    if (!checkShape(pStd)) {
        return nullptr;
    }
    auto* pUf = static_cast<UF_RADAR*>(std::calloc(1, sizeof(UF_RADAR)));
    if (pUf != nullptr) {
        pUf->m_ppSweep = static_cast<UF_SWEEP**>(std::calloc(UF_MAX_SWEEP, sizeof(UF_SWEEP*)));
    }
    if (pUf == nullptr || pUf->m_ppSweep == nullptr) {
        std::free(pUf);
        rdrError(kSyncDown, "out of memory");
        return nullptr;
    }
    long iRecordNo = 0;
    for (int s = 0; s < pStd->m_iMaxSweep; ++s) {
        const STD_SWEEP* pStdSweep = pStd->m_ppSweep[s];
        auto* pSweep = static_cast<UF_SWEEP*>(std::calloc(1, sizeof(UF_SWEEP)));
        if (pSweep != nullptr) {
            pSweep->m_ppRay = static_cast<UF_RAY**>(std::calloc(UF_MAX_RAY, sizeof(UF_RAY*)));
        }
        if (pSweep == nullptr || pSweep->m_ppRay == nullptr) {
            std::free(pSweep);
            fnFreeUfRadar(pUf);
            rdrError(kSyncDown, "out of memory");
            return nullptr;
        }
        pUf->m_ppSweep[pUf->m_iMaxSweep++] = pSweep;
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
                reportError(kSyncDown, "sweep %d ray %d needs a record of more than %d words",
                            s + 1, r + 1, kMaxRecordWords);
                return nullptr;
            }
        }
        pUf->m_iCurSweep = s + 1;
    }
    return pUf;
}

int fnWriteUf(UF_RADAR* pUf, const char* pFile, int iFraming, int bGzip) {
    if (pUf == nullptr || pFile == nullptr || !fnValidUf(pUf)) {
        rdrError(kWrite, "InValid UF");
        return 0;
    }
    if (iFraming < UF_FRAME_ZERO || iFraming > UF_FRAME_FOUR_NO_TRAILER) {
        reportError(kWrite, "unknown framing %d", iFraming);
        return 0;
    }
    std::string tmpName = std::string(pFile) + ".XXXXXX";
    const int fd = mkstemp(tmpName.data());
    if (fd < 0) {
        reportError(kWrite, "cannot create a temporary file next to %s", pFile);
        return 0;
    }
    fchmod(fd, 0644);
    gzFile out = gzdopen(fd, bGzip ? "wb6" : "wbT");
    if (out == nullptr) {
        close(fd);
        unlink(tmpName.c_str());
        reportError(kWrite, "gzdopen fail for %s", tmpName.c_str());
        return 0;
    }
    gzbuffer(out, 256 * 1024);

    bool bOk = true;
    std::vector<unsigned char> record;
    std::vector<unsigned char> frame;
    std::vector<unsigned char> trailer;
    for (int s = 0; s < pUf->m_iMaxSweep && bOk; ++s) {
        const UF_SWEEP* pSweep = pUf->m_ppSweep[s];
        for (int r = 0; r < pSweep->m_iCurRay && bOk; ++r) {
            record.clear();
            if (!encodeUfRecord(pSweep->m_ppRay[r], &record)) {
                reportError(kWrite, "sweep slot %d ray %d cannot be encoded", s + 1, r + 1);
                bOk = false;
                break;
            }
            const std::size_t n = record.size();
            if (iFraming == UF_FRAME_TWO && n > 0xffff) {
                reportError(kWrite, "a record of %zu bytes exceeds the 2-byte framing", n);
                bOk = false;
                break;
            }
            frame.clear();
            if (iFraming == UF_FRAME_TWO) {
                putBe16(frame, static_cast<unsigned>(n));
            } else if (iFraming != UF_FRAME_ZERO) {
                putBe32(frame, n);
            }
            trailer.clear();
            if (iFraming == UF_FRAME_TWO) {
                putBe16(trailer, static_cast<unsigned>(n));
            } else if (iFraming == UF_FRAME_FOUR) {
                putBe32(trailer, n);
            }
            for (const auto* pPart : {&frame, &record, &trailer}) {
                if (!pPart->empty() &&
                    gzwrite(out, pPart->data(), static_cast<unsigned>(pPart->size())) !=
                        static_cast<int>(pPart->size())) {
                    reportError(kWrite, "write fail on %s", tmpName.c_str());
                    bOk = false;
                    break;
                }
            }
        }
    }
    if (gzclose(out) != Z_OK && bOk) {
        reportError(kWrite, "close fail on %s", tmpName.c_str());
        bOk = false;
    }
    if (bOk && std::rename(tmpName.c_str(), pFile) != 0) {
        reportError(kWrite, "cannot rename %s to %s", tmpName.c_str(), pFile);
        bOk = false;
    }
    if (!bOk) {
        unlink(tmpName.c_str());
        return 0;
    }
    return 1;
}
