// The site display library's own small product engine, independent of the radar core: one
// field of a Universal Format (UF) volume file (plain or gzip-compressed) read into a
// fixed-size volume, and one azimuth table per sweep through which every product finds the
// ray nearest to an azimuth. The Cartesian products are in site_cartesian_products.h, the
// interpolated CAPPI in site_interpolated_cappi.h.
//
// Sweep numbers in this engine are 0-based indexes into the volume's arrays.
#ifndef CGI_SITE_VOLUME_ENGINE_H
#define CGI_SITE_VOLUME_ENGINE_H

// Fixed limits of a site volume; data beyond them is read and not stored.
constexpr int SITE_UF_MAX_SWEEPS = 20;
constexpr int SITE_UF_MAX_RAYS = 1000;
constexpr int SITE_UF_MAX_BINS = 2000;
constexpr int SITE_UF_MAX_FIELDS = 10;

// Bin codes: -9999 where nothing was read, 131072 (2^17) for a bin the file marks deleted.
// 131067 to 131071 are further reserved markers; products treat every marker as no data.
constexpr float SITE_NO_DATA = -9999.0f;
constexpr float SITE_DELETED_BIN = 131072.0f;
constexpr float SITE_FIRST_MARKER = 131067.0f;

// One heap block of about 160 MB from fnReadUfFile; the caller releases it with free().
struct ST_UF_DATA {
    float m_fNyqVel;       // Nyquist velocity of the "VR" field, m/s
    float m_fBeamWidth;    // horizontal beam width, degrees
    float m_fV_BeamWidth;  // vertical beam width, degrees
    float m_fSiteLon;      // degrees
    float m_fSiteLat;      // degrees
    int m_nSweeps;         // sweeps stored
    int m_nHeight;         // antenna height, m
    float m_fData[SITE_UF_MAX_SWEEPS][SITE_UF_MAX_RAYS][SITE_UF_MAX_BINS];  // physical values
    float m_AZIM[SITE_UF_MAX_SWEEPS][SITE_UF_MAX_RAYS];     // ray azimuth, degrees; -9999 none
    float m_fUfElevation[SITE_UF_MAX_SWEEPS];               // sweep elevation, degrees
    int m_rgnRays[SITE_UF_MAX_SWEEPS];                      // rays per sweep
    int m_nBins[SITE_UF_MAX_SWEEPS][SITE_UF_MAX_RAYS];      // bins per ray
    int m_nGateSize[SITE_UF_MAX_SWEEPS][SITE_UF_MAX_RAYS];  // bin spacing, m
    int m_nRangeBin[SITE_UF_MAX_SWEEPS][SITE_UF_MAX_RAYS];  // range of the first bin, m
    int m_nFieldCnt;                                        // fields in the file
    char szField_Name[SITE_UF_MAX_FIELDS][3];               // field names of the file
};

// Azimuth table entry. Slot k of a sweep's table holds the ray whose azimuth falls into it
// (m_nCon, m_fAzimuth); entry j also links ray j to its clockwise (m_nHigh) and
// counter-clockwise (m_nLow) neighbours in azimuth order, whatever order the rays were
// recorded in. Empty: -9999 / -1.
struct st_Azimuth {
    float m_fAzimuth;
    int m_nCon;
    int m_nHigh;
    int m_nLow;
};

// Reads field szField (a two-letter name such as "DZ" or "VR") of a UF file, adding
// fAzimuthCorrection degrees to every ray azimuth. Records may be back to back or framed by
// length words and padding; the framing is measured after the first record. Null when the
// file cannot be read, is cut short or malformed, the field is not among the first
// record's fields, or no ray of the field was stored.
ST_UF_DATA* fnReadUfFile(const char* szFilename, const char* szField, float fAzimuthCorrection);

// Azimuth table of sweep nSweepNo: one entry per ray of the sweep (m_rgnRays), released by
// the caller with free(). Null for a null volume, a sweep outside the volume or one without
// rays.
st_Azimuth* fnMakeHashTable(ST_UF_DATA* pUf, int nSweepNo);

// Index of the ray of sweep nSweepNo nearest in azimuth to fAzimuth (degrees, any turn),
// found through the sweep's table; -1 when the sweep has no ray or an argument is invalid.
int siteClosestRay(const ST_UF_DATA* pUf, int nSweepNo, const st_Azimuth* pTable, float fAzimuth);

// Angular distance between two azimuths, degrees in [0, 180].
float siteAzimuthDistance(float fA, float fB);

// True for a bin value that carries data (not -9999 and not a marker).
inline bool siteIsValue(float v) {
    return v != SITE_NO_DATA && v < SITE_FIRST_MARKER && v == v;
}

#endif
