#include "internal/uf_volume_input_record.h"

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>

void UfWords::text(int iPos, int iWords, char* szOut) const {
    int n = 0;
    if (iPos >= 1 && iWords > 0 && iWords <= m_iWords - (iPos - 1)) {
        n = 2 * iWords;
        std::memcpy(szOut, bytes(iPos), n);
    }
    szOut[n] = '\0';
}

void UfWords::copyWords(int iPos, int iCount, short* pOut) const {
    if (iPos < 1 || iCount <= 0 || iCount > m_iWords - (iPos - 1)) {
        return;
    }
    // One pass of unaligned loads and byte swaps, simple enough to vectorise.
    const unsigned char* p = bytes(iPos);
    auto* pWords = reinterpret_cast<std::uint16_t*>(pOut);
    for (int i = 0; i < iCount; ++i) {
        std::uint16_t v;
        std::memcpy(&v, p + 2 * i, 2);
        if constexpr (std::endian::native == std::endian::little) {
            v = static_cast<std::uint16_t>((v << 8) | (v >> 8));
        }
        pWords[i] = v;
    }
}

short ufFourDigitYear(short iYear) {
    int iFull = iYear;
    if (iFull <= 1899) {
        iFull += 1900;
        if (iFull <= 1979) {
            iFull = iYear + 2000;
        }
    }
    return static_cast<short>(iFull);
}

int isUfVelocityField(const char* szFieldName) {
    static const char* const kVelocityNames[] = {"VF", "VE", "VR", "VT", "VP"};
    if (szFieldName == nullptr) {
        return 0;
    }
    for (const char* szName : kVelocityNames) {
        if (std::strcmp(szFieldName, szName) == 0) {
            return 1;
        }
    }
    return 0;
}

int ufFieldHeaderWords(const char* szFieldName) {
    if (isUfVelocityField(szFieldName)) {
        return UF_VELOCITY_HDR_WORDS;
    }
    if (szFieldName != nullptr && std::strcmp(szFieldName, "DM") == 0) {
        return UF_DM_HDR_WORDS;
    }
    return UF_FIELD_HDR_WORDS;
}

namespace {

// Azimuths are kept in 0..360: a negative word is the same direction a turn later.
float positiveAzimuth(float fDeg) {
    return fDeg < 0.0f ? fDeg + 360.0f : fDeg;
}

// Engineering words stored as integer / scale factor; a zero scale has no meaning.
float scaledWord(short iWord, short iScale) {
    return iScale != 0 ? static_cast<float>(iWord) / static_cast<float>(iScale) : 0.0f;
}

}  // namespace

void fnMandatoryHeaderConvert(const UfWords& w, UF_MANDATORY_HDR* h) {
    std::memset(h, 0, sizeof(*h));
    w.text(1, 1, h->m_szID);
    h->m_iRecLen = w.word(2);
    h->m_iOHpos = w.word(3);
    h->m_iLHpos = w.word(4);
    h->m_iDHpos = w.word(5);
    h->m_iRecordNo = w.word(6);
    h->m_iVolumeNo = w.word(7);
    h->m_iRayNo = w.word(8);
    h->m_iRecordInRay = w.word(9);
    h->m_iSweepNo = w.word(10);
    w.text(11, 4, h->m_szRadarName);
    w.text(15, 4, h->m_szSiteName);
    h->m_iLatDeg = w.word(19);
    h->m_iLatMin = w.word(20);
    h->m_fLatSec = w.fixed64(21);
    h->m_iLonDeg = w.word(22);
    h->m_iLonMin = w.word(23);
    h->m_fLonSec = w.fixed64(24);
    h->m_iAnteHeight = w.word(25);
    h->m_iYear = ufFourDigitYear(w.word(26));
    h->m_iMonth = w.word(27);
    h->m_iDay = w.word(28);
    h->m_iHour = w.word(29);
    h->m_iMinute = w.word(30);
    h->m_iSecond = w.word(31);
    w.text(32, 1, h->m_szTimeZone);
    h->m_fAzimuth = positiveAzimuth(w.fixed64(33));
    h->m_fElevation = w.fixed64(34);
    h->m_iSweepMode = w.word(35);
    h->m_fFixedAngle = w.fixed64(36);
    h->m_fSweepRate = w.fixed64(37);
    h->m_iConvertYear = ufFourDigitYear(w.word(38));
    h->m_iConvertMonth = w.word(39);
    h->m_iConvertDay = w.word(40);
    w.text(41, 4, h->m_szConvertName);
    h->m_iNoDataValue = w.word(45);
}

void fnOptionalHeaderConvert(const UfWords& w, UF_OPTIONAL_HDR* h) {
    std::memset(h, 0, sizeof(*h));
    w.text(1, 4, h->m_szProjectName);
    h->m_fBaselineAzimuth = positiveAzimuth(w.fixed64(5));
    h->m_fBaselineElevation = w.fixed64(6);
    h->m_iVolumeScanHour = w.word(7);
    h->m_iVolumeScanMin = w.word(8);
    h->m_iVolumeScanSec = w.word(9);
    w.text(10, 4, h->m_szFieldTapeName);
    h->m_iFlag = w.word(14);
}

void fnLocalUseHeaderConvert(const UfWords& w, UF_LOCAL_HDR* h) {
    h->m_iMaxContent = 0;
    h->m_pszContent = nullptr;
    if (w.size() <= 0) {
        return;
    }
    const int nBytes = 2 * w.size();
    char* pCopy = static_cast<char*>(std::malloc(nBytes));
    if (pCopy == nullptr) {
        return;
    }
    std::memcpy(pCopy, w.bytes(1), nBytes);
    h->m_iMaxContent = nBytes;
    h->m_pszContent = pCopy;
}

void fnDataHeaderConvert(const UfWords& w, UF_DATA_HDR* h) {
    h->m_iMaxField = w.word(1);
    h->m_iMaxRecord = w.word(2);
    h->m_iMaxFieldInRecord = w.word(3);
}

void fieldInfoConvert(const UfWords& w, int iField, UF_FIELD_INFO* pInfo) {
    const int iNamePos = UF_DATA_HDR_FIXED_WORDS + 1 + 2 * iField;
    w.text(iNamePos, 1, pInfo->m_szFieldName);
    pInfo->m_iFHpos = w.word(iNamePos + 1);
}

void fnFieldHeaderConvert(const UfWords& w, const char* szFieldName, UF_FIELD_HDR* h) {
    std::memset(h, 0, sizeof(*h));
    h->m_iDataPos = w.word(1);
    h->m_iScaleFactor = w.word(2);
    h->m_iStartRangeKm = w.word(3);
    h->m_iStartRangeMeter = w.word(4);
    h->m_iBinSpacing = w.word(5);
    h->m_iMaxBin = w.word(6);
    h->m_iPulseWidth = w.word(7);
    h->m_fBeamWidthH = w.fixed64(8);
    h->m_fBeamWidthV = w.fixed64(9);
    h->m_iBandWidth = w.word(10);
    h->m_iPolarMode = w.word(11);
    h->m_fWaveLength = w.fixed64(12);
    h->m_iSampleSize = w.word(13);
    w.text(14, 1, h->m_szThresholdType);
    h->m_iThresholdValue = w.word(15);
    h->m_iScale = w.word(16);
    w.text(17, 1, h->m_szEditCode);
    h->m_iPRT = w.word(18);
    h->m_iBitsPerBin = w.word(19);
    if (isUfVelocityField(szFieldName) && w.size() >= UF_VELOCITY_HDR_WORDS) {
        h->m_fNyquistVelocity = scaledWord(w.word(20), h->m_iScaleFactor);
        w.text(21, 1, h->m_szVelocityFlag);
    } else if (szFieldName != nullptr && std::strcmp(szFieldName, "DM") == 0 &&
               w.size() >= UF_DM_HDR_WORDS) {
        h->m_fRadarConstant = w.fixed64(20);
        h->m_fNoisePower = scaledWord(w.word(21), h->m_iScaleFactor);
        h->m_fReceiverGain = scaledWord(w.word(22), h->m_iScaleFactor);
        h->m_fPeakPower = scaledWord(w.word(23), h->m_iScaleFactor);
        h->m_fAntennaGain = scaledWord(w.word(24), h->m_iScaleFactor);
        h->m_fPulseDuration = w.fixed64(25);
    }
}
