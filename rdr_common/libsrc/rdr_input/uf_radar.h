// The UF reader's own volume: one UF_RADAR of sweeps of rays (one ray per UF record),
// each ray keeping its record's headers field by field and its fields' bins unchanged.
//
// Slots are allocated as records arrive: a sweep slot exists for every sweep number up
// to the highest one seen, a ray slot for every ray stored, a field slot for every field
// of a ray, and each field's bin buffer holds exactly its bins (at least one value, so
// that a field without bins still has a buffer). The acceptance limits below are the
// format's classic capacities; a record beyond them makes the load fail.
//
// Calling order: fnLoadUf, fnUfSyncUpStd (moves the bin buffers into the STD_RADAR),
// fnFreeUfRadar on the UF structure, later fnFreeStdRadar on the standard one.
#ifndef RDR_UF_RADAR_H
#define RDR_UF_RADAR_H

#include <string>
#include <vector>

#include "standard_volume.h"

// File types, by where the first "UF" stands in the first six bytes of the file.
enum {
    EN_UF_TYPE_UNKNOWN = 0,
    EN_UF_TYPE_FOUR = 1,  // each record preceded by a 32-bit byte count
    EN_UF_TYPE_TWO = 2,   // 16-bit byte count before, 16-bit word after each record
    EN_UF_TYPE_ZERO = 3,  // records back to back
};

// Acceptance limits of one volume.
constexpr int UF_MAX_SWEEP = 20;        // sweep numbers 1 to 20
constexpr int UF_MAX_RAY = 999;         // rays per sweep
constexpr int UF_MAX_FIELD = 14;        // fields per ray
constexpr int UF_MAX_BIN = 2499;        // bins per field
constexpr int UF_MAX_RECORD = 1000000;  // records per file

// The first six bytes of a file, as looked at by the type detection.
struct UF_TYPE_HDR {
    unsigned char m_rgByte[6];
};

// Head of a record in the 4-byte framing (the 32-bit count is not relied upon).
struct UF_SIZE_HEAD {
    int m_iTotalLen;
    char m_szID[2];
    short m_iRecLen;  // record length in 16-bit words
};

// Mandatory header, words 1 to 45. Angles and seconds are the /64 words in degrees.
struct UF_MANDATORY_HDR {
    char m_szID[3];
    short m_iRecLen;
    short m_iOHpos;
    short m_iLHpos;
    short m_iDHpos;
    short m_iRecordNo;
    short m_iVolumeNo;
    short m_iRayNo;
    short m_iRecordInRay;
    short m_iSweepNo;
    char m_szRadarName[9];
    char m_szSiteName[9];
    short m_iLatDeg;
    short m_iLatMin;
    float m_fLatSec;
    short m_iLonDeg;
    short m_iLonMin;
    float m_fLonSec;
    short m_iAnteHeight;
    short m_iYear;  // four digits (two-digit years: 80-99 are 19xx, 0-79 are 20xx)
    short m_iMonth;
    short m_iDay;
    short m_iHour;
    short m_iMinute;
    short m_iSecond;
    char m_szTimeZone[3];
    float m_fAzimuth;  // 0 to 360 (negative words have 360 added)
    float m_fElevation;
    short m_iSweepMode;
    float m_fFixedAngle;
    float m_fSweepRate;
    short m_iConvertYear;  // same two-digit rule as m_iYear
    short m_iConvertMonth;
    short m_iConvertDay;
    char m_szConvertName[9];
    short m_iNoDataValue;
};

// Optional header, 14 words; present when m_iOHpos != m_iLHpos, else all empty/zero.
struct UF_OPTIONAL_HDR {
    char m_szProjectName[9];
    float m_fBaselineAzimuth;
    float m_fBaselineElevation;
    short m_iVolumeScanHour;
    short m_iVolumeScanMin;
    short m_iVolumeScanSec;
    char m_szFieldTapeName[9];
    short m_iFlag;
};

// Local-use words copied as raw bytes in file order; null and 0 when absent.
struct UF_LOCAL_HDR {
    int m_iMaxContent;
    char* m_pszContent;
};

struct UF_FIELD_INFO {
    char m_szFieldName[3];
    short m_iFHpos;
};

struct UF_DATA_HDR {
    short m_iMaxField;  // fields in this ray
    short m_iMaxRecord;
    short m_iMaxFieldInRecord;
    UF_FIELD_INFO* m_pfi;  // one entry per field of the ray
};

// Field header. Words 20 and following exist only for velocity fields ("VF", "VE", "VR",
// "VT", "VP": Nyquist velocity and flag) and for "DM"; elsewhere they stay zero.
struct UF_FIELD_HDR {
    short m_iDataPos;
    short m_iScaleFactor;
    short m_iStartRangeKm;
    short m_iStartRangeMeter;
    short m_iBinSpacing;
    short m_iMaxBin;
    short m_iPulseWidth;
    float m_fBeamWidthH;
    float m_fBeamWidthV;
    short m_iBandWidth;
    short m_iPolarMode;
    float m_fWaveLength;
    short m_iSampleSize;
    char m_szThresholdType[3];
    short m_iThresholdValue;
    short m_iScale;
    char m_szEditCode[3];
    short m_iPRT;
    short m_iBitsPerBin;
    float m_fNyquistVelocity;  // word 20 / scale factor
    char m_szVelocityFlag[3];
    float m_fRadarConstant;
    float m_fNoisePower;
    float m_fReceiverGain;
    float m_fPeakPower;
    float m_fAntennaGain;
    float m_fPulseDuration;
};

struct UF_FIELD {
    UF_FIELD_HDR fh;
    int m_iCurBin;   // bins of this field
    int m_iMaxBin;   // capacity of m_pData (m_iCurBin, at least 1); 0 for a moment left out
    short* m_pData;  // null once handed over to a STD_RADAR, or for a moment left out
};

struct UF_RAY {
    UF_MANDATORY_HDR mh;
    UF_OPTIONAL_HDR oh;
    UF_LOCAL_HDR lh;
    UF_DATA_HDR dh;
    int m_iCurField;  // fields of this ray
    int m_iMaxField;  // field slots in m_ppField
    UF_FIELD** m_ppField;
};

struct UF_SWEEP {
    int m_iCurRay;  // rays stored in this sweep
    int m_iMaxRay;  // ray slots in m_ppRay
    UF_RAY** m_ppRay;
};

struct UF_RADAR {
    int m_iCurSweep;  // sweeps filled in order 1, 2, 3, ... (what the conversion sees)
    int m_iMaxSweep;  // sweep slots in m_ppSweep
    UF_SWEEP** m_ppSweep;
    // Set when the load kept what it could of a damaged file ("the file ends inside record
    // 1760; the 1759 complete records are kept"); empty otherwise.
    char m_szLoadNote[160];
    // The loader's bin buffers, when it allocated them in blocks (null otherwise).
    struct StdBinBlocks* m_pBinBlocks;
};

// Loads a plain or gzip-compressed UF file; null with a one-line message on failure.
UF_RADAR* fnLoadUf(const char* pFile);
// The same with only the moments named in *pMoments read (every one when it is null): the
// others keep their headers but get no bins, and fnUfSyncUpStd leaves them out.
UF_RADAR* fnLoadUfMoments(const char* pFile, const std::vector<std::string>* pMoments);
// 1 when every slot below the counts holds its structure and buffers, else 0.
int fnValidUf(UF_RADAR* pUf);
// Releases everything the UF tree still owns; null is accepted.
void fnFreeUfRadar(UF_RADAR* pUf);
// Builds a STD_RADAR from the sweeps 1..m_iCurSweep, moving the bin buffers over
// (the UF fields' pointers are cleared). Null with a message on failure.
STD_RADAR* fnUfSyncUpStd(UF_RADAR* pUf);

// Velocity fields carry the Nyquist velocity in field header word 20.
int isUfVelocityField(const char* szFieldName);

#endif
