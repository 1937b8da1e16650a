// ODIM_H5 polar volumes and products held in memory: the HDF_* records mirror the groups
// and attributes of an ODIM file (top what/where/how, dataset<n> per sweep, data<m> per
// moment). fnLoadHdfRadar fills an HDF_RADAR from a file, fnHdfSyncUpStd turns it into a
// STD_RADAR; the writer side (hdf5_output.h) goes the other way.
//
// The records below keep the documented field order and widths; the BUFR reader shares
// the member records (its volume has the same layout). Strings are always terminated.
//
// A loaded HDF_DATA's m_ppData holds physical values (m_nRays rows of m_nBins), with
// -9999 where the file says "undetect" and -9998 where it says "nodata"; its what then
// reads gain 1, offset 0, nodata -9998, undetect -9999, so that the record describes its
// own matrix. A data item made by the sync-down (fnStdSyncDownHdf) holds the stored
// integers of the standard volume with the gain, offset and codes that decode them.
//
// Per-ray angles and times: ODIM keeps them in how/startazA, stopazA, startazT, stopazT
// and elangles. The fixed 600-value arrays of HDF_POLAR_HOW hold the first 600 of them;
// m_pRayHow of a dataset holds them for a sweep of any length and is what the
// conversions and the writer use.
#ifndef RDR_HDF_RADAR_H
#define RDR_HDF_RADAR_H

#include "standard_volume.h"

// m_iHdfType of a volume structure.
enum {
    HDF_EN_R_TYPE_POLAR = 1,
    HDF_EN_R_TYPE_IMAGE = 2,
    HDF_EN_R_TYPE_CROSS = 3,
    HDF_EN_R_TYPE_VERTICAL = 4,
};

// m_iHdfProductType of a product structure.
enum {
    HDF_EN_PRODUCT_SITE = 1,
    HDF_EN_PRODUCT_COMP = 2,
};

// Grid codes of a loaded data matrix.
constexpr float HDF_UNDETECT_VALUE = -9999.0f;
constexpr float HDF_NODATA_VALUE = -9998.0f;

// Capacity of the fixed per-ray arrays of HDF_POLAR_HOW.
constexpr int HDF_MAX_RAY_HOW = 600;

struct HDF_TOP_WHAT {
    char m_szObject[7];
    char m_szVersion[11];
    char m_szDate[9];  // YYYYMMDD
    char m_szTime[7];  // HHMMSS
    char m_szSource[256];
};

struct HDF_POLAR_WHERE {
    double m_dLon;
    double m_dLat;
    double m_dHeightM;
    double m_dElangle;
    long m_nBins;
    double m_dRstart;  // km
    double m_dRScale;  // m
    long m_nRays;
    long m_lA1gate;
    double m_dStartAz;
    double m_dStopAz;
};

struct HDF_DATASET_WHAT {
    char m_szProduct[7];
    double m_dProdpar[2];
    char m_szStartDate[9];
    char m_szStartTime[7];
    char m_szEndDate[9];
    char m_szEndTime[7];
    char m_szQuantity[7];
    double m_dGain;
    double m_dOffset;
    double m_dNodata;
    double m_dUndetect;
};

struct HDF_IMAGE_WHERE {
    char m_szProjdef[256];
    long m_lXsize;
    long m_lYsize;
    double m_dXscale;
    double m_dYscale;
    double m_LL_lon;
    double m_LL_lat;
    double m_UL_lon;
    double m_UL_lat;
    double m_UR_lon;
    double m_UR_lat;
    double m_LR_lon;
    double m_LR_lat;
};

struct HDF_CROSS_WHERE {
    long m_lXsize;
    long m_lYsize;
    double m_dXscale;
    double m_dYscale;
    double m_dMinHeightM;
    double m_dMaxHeightM;
    double m_dLon;
    double m_dLat;
    double m_dAz_angle;
    double m_dAngles[20];
    double m_dRange;
    double m_dStart_lon;
    double m_dStart_lat;
    double m_dStop_lon;
    double m_dStop_lat;
};

struct HDF_VERTICAL_WHERE {
    double m_dLon;
    double m_dLat;
    double m_dHeightM;
    long m_lLevels;
    double m_dInterval;
    double m_dMinHeightM;
    double m_dMaxHeightM;
};

struct HDF_WHERE {
    HDF_POLAR_WHERE m_polar_where;
    HDF_IMAGE_WHERE m_image_where;
    HDF_CROSS_WHERE m_cross_where;
    HDF_VERTICAL_WHERE m_vertical_where;
};

struct HDF_GENERAL_HOW {
    char m_szTask[9];
    char m_szTaskArg[256];
    double m_dStartepochs;
    double m_dEndepochs;
    char m_szSystem[9];
    char m_szTXtype[17];
    char m_szPoltype[33];
    char m_szPolmode[33];
    char m_szSoftware[11];
    char m_szSW_version[17];
    double m_dZr_a;
    double m_dZr_b;
    double m_dKr_a;
    double m_dKr_b;
    char m_bSimulated[7];
};

struct HDF_RADAR_HOW {
    double m_dBeamwidth;
    double m_dWaveLength;
    double m_dRpm;
    double m_dElevsSpeed;
    double m_dPulseWidth;  // microseconds
    double m_dRXbandWidth;
    double m_dLowPrf;
    double m_dMidPrf;
    double m_dHighPrf;
    double m_dTXlossH;
    double m_dTXlossV;
    double m_dInjectlossH;
    double m_dInjectlossV;
    double m_dRXlossH;
    double m_dRXlossV;
    double m_dRadomelossH;
    double m_dRadomelossV;
    double m_dAntgainH;
    double m_dAntgainV;
    double m_dBeamwH;
    double m_dBeamwV;
    double m_dGasattn;
    double m_dRadconstH;
    double m_dRadconstV;
    double m_dNomTXpower;
    double m_dTXpower[600];
    double m_dPowerDiff;
    double m_dPhaseDiff;
    double m_dNi;
    long m_lVsamples;
};

struct HDF_POLAR_HOW {
    long m_lScan_index;
    long m_lScan_count;
    double m_dAstart;
    char m_szAzmethod[17];
    char m_szElmethod[17];
    char m_szBinmethod[17];
    double m_dElangles[HDF_MAX_RAY_HOW];
    double m_dStartazA[HDF_MAX_RAY_HOW];
    double m_dStopazA[HDF_MAX_RAY_HOW];
    double m_dStartazT[HDF_MAX_RAY_HOW];
    double m_dStopazT[HDF_MAX_RAY_HOW];
    double m_dStartelA[HDF_MAX_RAY_HOW];
    double m_dStopelA[HDF_MAX_RAY_HOW];
    double m_dStartelT[HDF_MAX_RAY_HOW];
    double m_dStopelT[HDF_MAX_RAY_HOW];
};

struct HDF_IMAGE_HOW {
    double m_dAngles[100];
    double m_dArotation[100];
    char m_szCamethod[17];
    char m_szNodes[256];
    long m_lAccNum;
};

struct HDF_VERTICAL_HOW {
    double m_dMinRangeKm;
    double m_dMaxRangeKm;
    char m_szDealiased[7];
};

struct HDF_QUALITY_HOW {
    double m_dPointAccEl;
    double m_dPointAccAZ;
    char m_szAngleSync[17];
    double m_dAnglesSyncRes;
    char m_szMalfunc[7];
    char m_szRadar_msg[256];
    double m_dRadarHoriz;
    double m_dNEZH;
    double m_dNEZV;
    double m_dOUR;
    char m_szDclutter[256];
    char m_szClutterType[256];
    char m_szClutterMap[256];
    double m_dZcalH;
    double m_dZcalV;
    double m_dNsampleH;
    double m_dNsampleV;
    char m_szComment[256];
    double m_dSQI;
    double m_dCSR;
    double m_dLOG;
    char m_szVPRCorr[7];
    double m_dFreeze;
    double m_dMin;
    double m_dMax;
    double m_dStep;
    long m_lLevels;
    double m_dPeakpwr;
    double m_dAvgpwr;
    double m_dDynrange;
    double m_dRAC;
    char m_szBBC[7];
    double m_dPAC;
    double m_dS2N;
    char m_szPolarization[256];
};

struct HDF_HOW {
    HDF_GENERAL_HOW m_general_how;
    HDF_RADAR_HOW m_radar_how;
    HDF_POLAR_HOW m_polar_how;
    HDF_IMAGE_HOW m_image_how;
    HDF_VERTICAL_HOW m_vertical_how;
    HDF_QUALITY_HOW m_quality_how;
};

struct HDF_DATA_QUALITY {
    HDF_DATASET_WHAT m_what;
    HDF_WHERE m_where;
    HDF_HOW m_how;
    char m_szClass[7];
    char m_szVersion[5];
    float** m_ppData;  // rows
};

struct HDF_DATASET_QUALITY {
    HDF_DATASET_WHAT m_what;
    HDF_WHERE m_where;
    HDF_HOW m_how;
    char m_szClass[7];
    char m_szVersion[5];
    float** m_ppData;
};

struct HDF_DATA {
    HDF_DATASET_WHAT m_what;
    HDF_WHERE m_where;
    HDF_HOW m_how;
    char m_szClass[7];
    char m_szVersion[5];
    float** m_ppData;  // m_nRays rows of m_nBins values of the dataset's polar where
    int m_iMaxQuality;
    HDF_DATA_QUALITY** m_ppQuality;
};

// Per-ray angles and times of one sweep (each array m_nRays long, null when absent).
// Azimuths and elevations in degrees, times in seconds since 1970-01-01 UTC.
struct HDF_RAY_HOW {
    long m_nRays;
    double* m_pStartazA;
    double* m_pStopazA;
    double* m_pStartazT;
    double* m_pStopazT;
    double* m_pElangles;
};

struct HDF_DATASET {
    HDF_DATASET_WHAT m_what;
    HDF_WHERE m_where;
    HDF_HOW m_how;
    int m_iMaxData;
    int m_iMaxQuality;
    HDF_DATA** m_ppData;
    HDF_DATASET_QUALITY** m_ppQuality;
    // Appended to the documented record: the sweep's per-ray values (null when the file
    // has none). Owned by the dataset.
    HDF_RAY_HOW* m_pRayHow;
};

struct HDF_RADAR {
    int m_iHdfType;
    char m_szConventions[17];
    HDF_TOP_WHAT m_what;
    HDF_WHERE m_where;
    HDF_HOW m_how;
    int m_iMaxDataset;
    HDF_DATASET** m_ppDataset;  // one per sweep
};

// Products (the standard product container's families, as ODIM datasets).
struct HDF_PRODUCT_DATA {
    HDF_DATASET_WHAT m_what;
    char m_szFieldName[9];
    char m_szClass[7];
    char m_szVersion[5];
    int m_iMemType;  // RDR_EN_MEM_CHAR, _SHORT or _FLOAT
    char** m_ppData_c;
    short** m_ppData_s;
    float** m_ppData_f;
};

struct HDF_PRODUCT_DATASET {
    HDF_DATASET_WHAT m_what;
    int m_iMaxField;
    HDF_PRODUCT_DATA** m_ppProductData;
};

struct HDF_TOTAL_PRODUCT {
    int m_iMaxPpi;
    int m_iMaxCappi;
    int m_iMaxBase;
    int m_iMaxCmax;
    int m_iMaxVil;
    int m_iMaxEtop;
    HDF_PRODUCT_DATASET** m_ppPpi;
    HDF_PRODUCT_DATASET** m_ppCappi;
    HDF_PRODUCT_DATASET** m_ppBase;
    HDF_PRODUCT_DATASET** m_ppCmax;
    HDF_PRODUCT_DATASET** m_ppVil;
    HDF_PRODUCT_DATASET** m_ppEtop;
};

struct HDF_PRODUCT {
    int m_iHdfProductType;
    char m_szConventions[17];
    HDF_TOP_WHAT m_what;
    HDF_WHERE m_where;
    HDF_HOW m_how;
    HDF_TOTAL_PRODUCT m_totalProduct;
};

// A zeroed volume of iMaxSweep datasets with iMaxField zeroed data items each (their
// matrices not allocated). The last two arguments are unused. Null on a count below 1 or
// failed allocation.
HDF_RADAR* fnInitHdfRadar(int iMaxSweep, int iMaxField, int, int);
// Releases the volume with every dataset, data item, matrix (m_nRays rows of its dataset)
// and quality layer; null is accepted.
void fnFreeHdfRadar(HDF_RADAR* pHdf);
// 1 and the dataset count, the largest data count of a dataset, the largest m_nRays and
// the largest m_nBins over the datasets that hold data; 0 for a null volume.
int fnGetMaxCountHdfRadar(HDF_RADAR* pHdf, int* pMaxDataset, int* pMaxData, int* pMaxRay,
                          int* pMaxBin);

// Loads an ODIM_H5 polar volume (object PVOL or SCAN). Null after a one-line message that
// names the object at fault.
HDF_RADAR* fnLoadHdfRadar(const char* szFile);

// A new STD_RADAR (physical values x 100, -32767 for undetect and nodata), or null with a
// message. The HDF_RADAR stays the caller's.
STD_RADAR* fnHdfSyncUpStd(HDF_RADAR* pHdf);

#endif
