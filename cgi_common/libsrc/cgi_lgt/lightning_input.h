// Lightning observations for the lightning pages: cloud-to-ground strikes from the detection
// network's daily text files in two layouts (the agency's own, "VYQ", and the newer network
// layout, "NX1"), and precomputed strike statistics per administrative area from gzip
// statistics files.
//
// Times are 12-digit strings YYYYMMDDHHMM in local time (KST); a window [start, end] is
// inclusive at both ends. Daily files are read under the installation root "/DATA"
// (relocated by RDR_ROOT, see rdr_root.h):
//   /DATA/INPUT/LGT/<YYYY>/LGT_VYQ_<YYYYMMDD>.asc          agency layout
//   /DATA/INPUT/LGT/<YYYY>/VYQ_LGT_NX1_<YYYYMMDD>.asc      NX1 layout
//   /DATA/OUTPUT/BIN/BASI/<YYYY>/LGT_VYQ_BASI_<YYYY>.bin.gz       statistics of a year
//   /DATA/OUTPUT/BIN/BASI/<YYYY>/LGT_VYQ_BASI_<YYYYMM>.bin.gz     ... of a month
//   /DATA/OUTPUT/BIN/BASI/<YYYYMM>/LGT_VYQ_BASI_<YYYYMMDD>.bin.gz ... of a day
//
// Text lines: columns separated by one or more blanks or tabs, the line ending in LF or
// CRLF. A column that opens a parenthesis runs to the matching one, and a word followed by
// such a group takes it in, so a location written "POINT(127.1 37.5)" or
// "POINT (127.1 37.5)" stays one column and the columns after it keep their numbers. A line
// with fewer columns than its layout uses, a time that is not a real date or a number that
// does not parse is not a strike and is passed over.
#ifndef CGI_LIGHTNING_INPUT_H
#define CGI_LIGHTNING_INPUT_H

#include <functional>

constexpr int LGT_TEXT_LEN = 64;
// The readers look at this many daily files at most, whatever the window.
constexpr int LGT_MAX_DAYS = 365;

// One strike of the agency layout.
struct LGT_VYQ_DATA {
    char m_szDateTime[LGT_TEXT_LEN];  // YYYYMMDDHHMM
    float m_fLon;                     // degrees
    float m_fLat;
    float m_fImpact;  // peak current, kA, signed
    char m_cType;     // first character of the type column
    int m_nSensor;    // sensors that detected the strike
};

// One strike of the NX1 layout.
struct LGT_NX1_DATA {
    int m_nStrkes_id;  // strike identifier: a strike listed twice is read once
    char m_szDateTime[LGT_TEXT_LEN];
    int m_nNsfrac;                    // nanosecond fraction column
    char m_szWKT_info[LGT_TEXT_LEN];  // location as well-known text, as read (cut at 63)
    float m_fLon;
    float m_fLat;
    float m_fAltitude;
    float m_fImpact;
    float m_fErrRadius;
    char m_cType;
    int m_nSensor;
    int m_rgnSensorNum[8];
    int m_nQuality;
    char m_szFlash_id[LGT_TEXT_LEN];
};

// Strike statistics of one administrative area.
struct BASIN_DATA {
    char m_szName[1024];
    int m_nColor;  // display colour index, -1 until a caller sets it
    int m_nCode;   // area code
    int m_nLgtCnt;
    double m_dTot_impact;
    float m_fMax_impact;
    float m_fMin_impact;
};

enum {
    LGT_BASIN_TYPE_DO = 0,    // provinces
    LGT_BASIN_TYPE_SIGU = 1,  // cities and counties
};

// Columns of the agency layout (5 to 10 are not used).
enum {
    LGT_VYQ_DATE = 0,  // MM/DD/YY
    LGT_VYQ_TIME = 1,  // HH:MM...
    LGT_VYQ_LAT = 2,
    LGT_VYQ_LON = 3,
    LGT_VYQ_IMPACT = 4,
    LGT_VYQ_N_SENSOR = 11,
    LGT_VYQ_TYPE = 12,
    LGT_VYQ_DATA_MAX = 13,
};

// Columns of the NX1 layout.
enum {
    LGT_NX1_STRKES_ID = 0,
    LGT_NX1_DATE = 1,  // YYYY-MM-DD
    LGT_NX1_TIME = 2,  // HH:MM...
    LGT_NX1_NSFRAC = 3,
    LGT_NX1_WKT = 4,
    LGT_NX1_LON = 5,
    LGT_NX1_LAT = 6,
    LGT_NX1_ALTITUDE = 7,
    LGT_NX1_IMPACT = 8,
    LGT_NX1_ERR_RADIUS = 9,
    LGT_NX1_TYPE = 10,
    LGT_NX1_N_SENSOR = 11,
    LGT_NX1_SENOSR_NUM1 = 12,
    LGT_NX1_SENOSR_NUM8 = 19,
    LGT_NX1_QUALITY = 20,
    LGT_NX1_FLASH_ID = 21,
    LGT_NX1_DATA_MAX = 22,
};

// Strikes of the agency layout with szStartTime <= time <= szEndTime, in file order, into
// pBuf (at most nBufMax; further strikes are dropped). The number stored, or -1 when a
// time is not a valid YYYYMMDDHHMM, pBuf is null or nBufMax negative.
int fnReadLgtDataVYQ(const char* szStartTime, const char* szEndTime, LGT_VYQ_DATA* pBuf,
                     int nBufMax);

// The same for the NX1 layout; a strike identifier seen before in the same call (in any of
// the window's files) is dropped, and distinct identifiers are all kept.
int fnReadLgtDataNX1(const char* szStartTime, const char* szEndTime, LGT_NX1_DATA* pBuf,
                     int nBufMax);

// The same readers without a buffer: visit is called for each strike in the window (NX1
// without duplicates) and returns false to stop the reading. The number of strikes visited,
// or -1 for an invalid time. For callers that draw strikes as they come instead of
// holding a day of them in memory.
int lgtVisitStrikesVYQ(const char* szStartTime, const char* szEndTime,
                       const std::function<bool(const LGT_VYQ_DATA&)>& visit);
int lgtVisitStrikesNX1(const char* szStartTime, const char* szEndTime,
                       const std::function<bool(const LGT_NX1_DATA&)>& visit);

// Sets all nBufMax records to colour -1, code 0, no strikes, maximum 0 and minimum 999, then
// loads the names and codes of one area type (LGT_BASIN_TYPE_DO or _SIGU) from the area
// list file szFile: a line "total provinces cities", the province lines, then the city and
// county lines, each "name code" (a name without blanks, cut at 1023 characters). Returns
// the number of areas loaded (at most nBufMax), or -1 when an argument is missing or
// invalid, nBufMax is not positive, or the file is no regular file, cannot be opened or has
// no valid count line.
int fnInitLgtBasinData(const char* szFile, int nType, BASIN_DATA* pBuf, int nBufMax);

// Adds the statistics of nLgt_intv consecutive periods ending with the one holding
// szEndTime (cLgt_t_mode 'Y' years, 'M' months, 'D' days) to the area records, record k of
// every file into pBuf[k]: the code is set, counts and current sums added, the maximum
// raised and the minimum lowered. Files that are missing or no regular files, or whose
// record count or records
// are cut short, add nothing past the last whole record; at most LGT_MAX_DAYS periods are
// read. Returns the largest number of records merged from one file (never more than
// nBufMax; 0 when no file was read), or -1 when pBuf is null, nBufMax is not positive or
// szEndTime is not a valid time.
int fnReadLgtDataBasin(const char* szEndTime, char cLgt_t_mode, int nLgt_intv, BASIN_DATA* pBuf,
                       int nBufMax);

#endif
