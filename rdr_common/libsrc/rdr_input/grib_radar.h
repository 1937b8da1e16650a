// The GRIB reader's own volume: one GRIB edition 2 message per moment, written with the
// system's local section (centre 40, local section 1, keys rdc_*). Every message carries
// the volume header and the per-sweep and per-ray arrays; the loader takes them from the
// first message and each moment's values and gate geometry from its own message.
//
// A moment's values are m_iMaxRay rows (rays of all sweeps in order) of its own m_iMaxBin
// stored integers; cells past a ray's own bin count hold the no-data value.
//
// Calling order: fnLoadGribRadar, fnGribSyncUpStd (moves the rows into a new STD_RADAR),
// fnFreeGribRadar, later fnFreeStdRadar.
#ifndef RDR_GRIB_RADAR_H
#define RDR_GRIB_RADAR_H

#include <ctime>

#include "standard_volume.h"

// The local section of the system's own messages.
constexpr int GRIB_RADAR_CENTRE = 40;
constexpr int GRIB_LOCAL_VOLUME = 1;   // one moment of a polar volume
constexpr int GRIB_LOCAL_PRODUCT = 2;  // one dataset of a product family
// Acceptance limits of one volume (a ray's moment slot is one byte, 255 meaning absent).
constexpr int GRIB_MAX_FIELD = 254;
constexpr long GRIB_MAX_VALUES = 64L << 20;  // values of one moment's message

struct GRIB_GLOBAL_HDR {
    int m_iMaxSweep;
    int m_iMaxRay;  // rays of all sweeps together
    int m_iMaxBin;  // the widest moment's bin count
    int m_iMaxField;
    char m_szRadarName[9];
    char m_szSiteName[9];
    char m_szConvertName[9];
    double m_dLat;
    double m_dLon;
    int m_iAnteHeight;
    int m_iSweepMode;
    float m_fSweepRate;
    time_t m_tConvertTime;  // UTC, without the stored times' nine-hour offset
    int m_iNoDataValue;
    int m_iScaleFactor;        // the first moment's
    float m_fStartRangeMeter;  // the first moment's
    int m_iBinSpacing;         // the first moment's
    int m_iPulseWidth;
    float m_fBeamWidthH;
    float m_fBeamWidthV;
    int m_iBandWidth;
    int m_iPolarMode;
    float m_fWaveLength;
    int m_iSampleSize;
    int m_iThresholdValue;
    int m_iScale;
    int m_iPRT;
    int m_iBitsPerBin;
    // Header fields of the standard volume that the documented keys leave out.
    int m_iVolumeNo;
    char m_szProjectName[9];
    float m_fBaselineAzimuth;
    float m_fBaselineElevation;
    char m_szFieldTapeName[9];
    char m_szThresholdType[3];
    char m_szEditCode[3];

    long* m_pMaxRay;     // per sweep
    long* m_pMaxBin;     // per ray: the most bins of any moment on it
    double* m_pRayTime;  // per ray, seconds after m_tConvertTime
    double* m_pRayAzimuth;
    double* m_pRayElevation;
    double* m_pRayFixedAngle;
    long* m_pRayStartRange;  // per ray, metres
    long* m_pRayBinSpacing;
    long* m_pRaySampleSize;
    STD_SWEEP_HDR* m_pSweepHdr;  // per sweep
};

struct GRIB_VOLUME {
    short* m_pData;  // m_iMaxRay x m_iMaxBin of this moment
    char m_szName[9];
    // This moment's row width, and per ray its place among the ray's moments (255: not
    // on the ray), bin count, scale factor and gate geometry (spacing 0: the ray's own).
    int m_iMaxBin;
    unsigned char* m_pFieldSlot;
    long* m_pBinNumber;
    long* m_pScaleFactor;
    long* m_pStartRange;
    long* m_pBinSpacing;
};

struct GRIB_RADAR {
    GRIB_GLOBAL_HDR m_hdr;
    int m_iMaxVolume;
    GRIB_VOLUME** m_ppVolume;
    // Set by the loader, which puts the moments' values in a few large blocks (null
    // otherwise): the sync-up then hands the rows themselves to the STD_RADAR instead of
    // copying them, and the loaded GRIB_RADAR keeps its headers only.
    struct StdBinBlocks* m_pBinBlocks;
};

// A volume of the given shape, every array allocated and zeroed, every value the no-data
// value; null when a count is below 1 or beyond the limits, or memory runs out.
// pBinCounts gives each moment's row width.
GRIB_RADAR* fnInitGribRadar(int iMaxSweep, int iMaxRay, int iMaxField, const int* pBinCounts);
void fnFreeGribRadar(GRIB_RADAR* pGrib);

// Reads a file of the system's volume messages (plain or gzip-compressed). The messages
// are decoded by ecCodes in a child process, so a hostile file cannot harm the caller.
// Null after a one-line message on any failure or a file that is not such a volume.
GRIB_RADAR* fnLoadGribRadar(char* szFile);

// A new STD_RADAR of the volume, or null after a message when the volume is inconsistent
// (moment slots, bin counts beyond a row). A loaded volume's rows move over (see
// m_pBinBlocks); any other volume's are copied.
STD_RADAR* fnGribSyncUpStd(GRIB_RADAR* pGrib);

#endif
