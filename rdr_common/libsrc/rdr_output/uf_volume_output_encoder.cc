// The UF encoder (see internal/uf_volume_output_encoder.h).
#include <algorithm>
#include <cstring>
#include <vector>

#include "internal/uf_volume_input_record.h"
#include "internal/uf_volume_output_encoder.h"

namespace {

// The reader adds 360 to negative azimuth words, so a value still below 0 came from a
// word below -360 degrees (such as -32768, "missing").
short toAzimuth64(float fValue) {
    return ufFixed64(fValue < 0.0f ? fValue - 360.0f : fValue);
}

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
    return pLayout->nWords <= kUfMaxRecordWords;
}

class WordWriter {
  public:
    WordWriter(unsigned char* pBytes, int nWords) : m_pBytes(pBytes), m_nWords(nWords) {}
    void word(int iPos, long iValue) {
        if (iPos >= 1 && iPos <= m_nWords) {
            const auto v = static_cast<unsigned short>(ufClampWord(iValue));
            m_pBytes[2 * (iPos - 1)] = static_cast<unsigned char>(v >> 8);
            m_pBytes[2 * (iPos - 1) + 1] = static_cast<unsigned char>(v & 0xff);
        }
    }
    void fixed64(int iPos, float fValue) { word(iPos, ufFixed64(fValue)); }
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
        w.word(p + 20, ufScaledWord(h.m_fNyquistVelocity, h.m_iScaleFactor));
        w.text(p + 21, 1, h.m_szVelocityFlag);
    } else if (std::strcmp(szName, "DM") == 0) {
        w.fixed64(p + 20, h.m_fRadarConstant);
        w.word(p + 21, ufScaledWord(h.m_fNoisePower, h.m_iScaleFactor));
        w.word(p + 22, ufScaledWord(h.m_fReceiverGain, h.m_iScaleFactor));
        w.word(p + 23, ufScaledWord(h.m_fPeakPower, h.m_iScaleFactor));
        w.word(p + 24, ufScaledWord(h.m_fAntennaGain, h.m_iScaleFactor));
        w.fixed64(p + 25, h.m_fPulseDuration);
    }
    unsigned char* pOut = w.bytes(iDataPos);
    for (int i = 0; i < pField->m_iCurBin; ++i) {
        const auto v = static_cast<unsigned short>(pField->m_pData[i]);
        pOut[2 * i] = static_cast<unsigned char>(v >> 8);
        pOut[2 * i + 1] = static_cast<unsigned char>(v & 0xff);
    }
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
