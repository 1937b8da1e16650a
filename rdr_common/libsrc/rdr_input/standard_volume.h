// The standard radar volume: the one in-memory form of a volume scan that every
// product algorithm reads. Readers fill their own structures and a sync-up function
// turns them into a STD_RADAR (sweeps of rays of fields of 16-bit bins).
//
// Stored value conventions: physical = stored / m_iScaleFactor; -32767 is the
// converters' no-data code; m_hdr.m_iNoDataValue names the code in force and
// consumers also treat -32768 as no value.
#ifndef RDR_STD_RADAR_H
#define RDR_STD_RADAR_H

#include <ctime>

enum {
    STD_EN_SWMD_CALIBATION = 0,
    STD_EN_SWMD_PPI = 1,
    STD_EN_SWMD_COPLANE = 2,
    STD_EN_SWMD_RHI = 3,
    STD_EN_SWMD_VERTICAL = 4,
    STD_EN_SWMD_TARGET = 5,
    STD_EN_SWMD_MANUAL = 6,
    STD_EN_SWMD_IDLE = 7,
    STD_EN_SWMD_SECTOR = 8,
    STD_EN_SWMD_POINTING = 9,
    STD_EN_SWMD_SUNSCAN = 10,
};

enum {
    STD_EN_PM_HORIZONTAL = 0,
    STD_EN_PM_VERTICAL = 1,
    STD_EN_PM_CIRCULAR = 2,
    STD_EN_PM_ELLIPTICAL = 3,
    STD_EN_PM_HV_ALT = 4,
    STD_EN_PM_HV_SIM = 5,
};

// Converters' no-data code and the code every consumer treats as no value.
constexpr short STD_NO_DATA_CODE = -32767;
constexpr short STD_NO_VALUE_CODE = -32768;

struct STD_GLOBAL_HDR {
    int m_iVolumeNo;
    char m_szRadarName[9];
    char m_szSiteName[9];
    double m_dLat;
    double m_dLon;
    int m_iAnteHeight;
    int m_iSweepMode;
    float m_fSweepRate;
    char m_szConvertName[9];
    time_t m_tConvertTime;
    int m_iNoDataValue;
    char m_szProjectName[9];
    float m_fBaselineAzimuth;
    float m_fBaselineElevation;
    char m_szFieldTapeName[9];
    int m_iPulseWidth;
    float m_fBeamWidthH;
    float m_fBeamWidthV;
    int m_iBandWidth;
    int m_iPolarMode;
    float m_fWaveLength;
    char m_szThresholdType[3];
    int m_iThresholdValue;
    int m_iScale;
    char m_szEditCode[3];
    int m_iPRT;
    int m_iBitsPerBin;
};

struct STD_SWEEP_HDR {
    float m_fNyquistVelocity;
    char m_szVelocityFlag[3];
    float m_fRadarConstant;
    float m_fNoisePower;
    float m_fReceiverGain;
    float m_fPeakPower;
    float m_fAntennaGain;
    float m_fPulseDuration;
};

struct STD_RAY_HDR {
    time_t m_tTime;
    float m_fAzimuth;
    float m_fElevation;
    float m_fFixedAngle;
    int m_iStartRangeKm;
    int m_iStartRangeMeter;
    int m_iBinSpacing;
    int m_iSampleSize;
};

struct STD_FIELD_HDR {
    int m_iScaleFactor;
    char m_szFieldName[9];
    // Range geometry of this moment when it differs from the ray's (UF rays may carry
    // reflectivity at 1000 m gates and velocity at 250 m gates). m_iBinSpacing = 0 means
    // the field uses the ray header's geometry.
    int m_iStartRangeKm;
    int m_iStartRangeMeter;
    int m_iBinSpacing;
};

struct STD_FIELD {
    STD_FIELD_HDR m_hdr;
    int m_iMaxBin;
    short* m_pData;
};

struct STD_RAY {
    STD_RAY_HDR m_hdr;
    int m_iMaxField;
    STD_FIELD** m_ppField;
};

struct STD_SWEEP {
    STD_SWEEP_HDR m_hdr;
    int m_iMaxRay;
    STD_RAY** m_ppRay;
};

struct STD_RADAR {
    STD_GLOBAL_HDR m_hdr;
    int m_iMaxSweep;
    STD_SWEEP** m_ppSweep;
    // Set by loaders that allocate bins in a few large blocks (null otherwise): such bin
    // buffers are released by fnFreeStdRadar only. To replace one, assign a malloc'd buffer
    // to m_pData; fnFreeStdRadar frees that one on its own.
    struct StdBinBlocks* m_pBinBlocks;
};

// One row of a sweep's azimuth hash table. Row k is bucket k (m_fAzimuth, m_iCon)
// and ray k (m_iHigh, m_iLow: the neighbour ring) at the same time.
struct STD_AZIMUTH_TBL {
    float m_fAzimuth;
    int m_iCon;
    int m_iHigh;
    int m_iLow;
};

// All memory of a volume (every level, every bin array outside m_pBinBlocks) is allocated
// with malloc/calloc so that fnFreeStdRadar, and callers that free() grids, release it.
STD_RADAR* fnInitStd(int iMaxSweep, int iMaxRay, int iMaxBin, int iMaxField);
void fnFreeStdRadar(STD_RADAR* pStd);
int fnValidStdRadar(STD_RADAR* pStd);
int fnGetMaxCountStd(STD_RADAR* pStd, int* pTotalRay, int* pMaxSweep, int* pMaxRay, int* pMaxBin,
                     int* pMaxField);
void fnGetSweepMaxCountStd(STD_SWEEP* pSweep, int* pMaxRay, int* pMaxField, int* pMaxBin);
float fnGetMaxRangeStd(STD_RADAR* pStd);
int fnStdRadarAzimuthCorrection(STD_RADAR* pStd, float fAzimCor);

// Azimuth hash tables. A table has m_iMaxRay rows; release a single table with free()
// and the array of fnMakeAllHashTable with fnFreeMatrix2D((void**)tables, m_iMaxSweep).
STD_AZIMUTH_TBL* fnMakeRayHashTable(STD_SWEEP* pSweep);
STD_AZIMUTH_TBL** fnMakeAllHashTable(STD_RADAR* pStd);
int fnGetRayHashIndex(float fRes, float fAzimuth);
int fnTheClosestRay(STD_SWEEP* pSweep, STD_AZIMUTH_TBL* pTable, int iHashIdx, float fAzimuth);
int fnGetFieldIdxRay(STD_RAY* pRay, const char* szFieldName);
// True when some ray of some sweep carries the moment.
bool fnStdRadarHasMoment(STD_RADAR* pStd, const char* szFieldName);

#endif
