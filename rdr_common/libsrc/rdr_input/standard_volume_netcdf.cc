// NC_RADAR to STD_RADAR: one sweep per start/end ray index pair (rays between sweeps,
// such as antenna transitions, belong to none), every recognised moment on every ray.
// Everything is allocated with malloc/calloc so that fnFreeStdRadar releases it.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "core_utilities.h"
#include "info_tables.h"
#include "internal/fixed_text.h"
#include "internal/standard_volume_builder.h"
#include "internal/standard_volume_coding.h"
#include "nc_radar.h"

namespace {

constexpr const char* kSyncFunc = "fnNcSyncUpStd";

// Ray time offsets beyond this (about 3000 years) are taken as corrupt; "seconds since
// 1970-01-01" offsets of real rays are far below it.
constexpr double kMaxTimeOffsetSec = 1.0e11;

// Speed of light over two: metres of range per second of pulse.
constexpr double kHalfLightSpeed = 299792458.0 / 2.0;

int truncToInt(double value) {
    if (!std::isfinite(value) || value >= 2147483647.0 || value <= -2147483648.0) {
        return 0;
    }
    return static_cast<int>(value);
}

// ---------------------------------------------------------------------------------------
// Date-time text

// Reads 1..maxDigits decimal digits.
bool readNumber(const char*& p, int maxDigits, int* pValue) {
    int n = 0;
    int value = 0;
    while (n < maxDigits && std::isdigit(static_cast<unsigned char>(*p))) {
        value = value * 10 + (*p - '0');
        p++;
        n++;
    }
    *pValue = value;
    return n > 0;
}

void skipBlanks(const char*& p) {
    while (*p == ' ' || *p == '\t') {
        p++;
    }
}

// Zone designator after the time: "Z", "UTC", "GMT", "+09:00", "-0300", "0:00" (ARM).
// Returns the offset east of UTC in seconds, or false for anything else.
bool readZone(const char*& p, long* pOffset) {
    *pOffset = 0;
    skipBlanks(p);
    if (*p == '\0') {
        return true;
    }
    if (*p == 'Z' || *p == 'z') {
        p++;
    } else if (std::strncmp(p, "UTC", 3) == 0 || std::strncmp(p, "GMT", 3) == 0) {
        p += 3;
    } else {
        int sign = 1;
        if (*p == '+' || *p == '-') {
            sign = *p == '-' ? -1 : 1;
            p++;
        }
        int hours = 0;
        int minutes = 0;
        if (!readNumber(p, 2, &hours)) {
            return false;
        }
        if (*p == ':') {
            p++;
        }
        if (std::isdigit(static_cast<unsigned char>(*p)) && !readNumber(p, 2, &minutes)) {
            return false;
        }
        if (hours > 14 || minutes > 59) {
            return false;
        }
        *pOffset = sign * (hours * 3600L + minutes * 60L);
    }
    skipBlanks(p);
    return *p == '\0';
}

// Reference time of a CF time unit ("seconds since 2023-08-01T20:00:00Z") and the unit's
// length in seconds.
bool parseTimeUnits(const char* szUnits, time_t* pRef, double* pRefFraction, double* pSeconds) {
    struct Unit {
        const char* m_szName;
        double m_dSeconds;
    };
    static const Unit kUnits[] = {
        {"seconds", 1.0}, {"second", 1.0},   {"secs", 1.0},    {"sec", 1.0},
        {"s", 1.0},       {"minutes", 60.0}, {"minute", 60.0}, {"mins", 60.0},
        {"min", 60.0},    {"hours", 3600.0}, {"hour", 3600.0}, {"hrs", 3600.0},
        {"h", 3600.0},    {"days", 86400.0}, {"day", 86400.0}, {"d", 86400.0},
    };
    const char* p = szUnits;
    skipBlanks(p);
    const char* szSince = std::strstr(p, " since ");
    if (szSince == nullptr) {
        return false;
    }
    const size_t wordLen = static_cast<size_t>(szSince - p);
    for (const Unit& unit : kUnits) {
        if (std::strlen(unit.m_szName) == wordLen && std::strncmp(p, unit.m_szName, wordLen) == 0) {
            *pSeconds = unit.m_dSeconds;
            return ncParseTime(szSince + 7, pRef, pRefFraction) == 1;
        }
    }
    return false;
}

// ---------------------------------------------------------------------------------------
// Header tables

struct TextCode {
    const char* m_szText;
    int m_iCode;
};

const TextCode kSweepModes[] = {
    {"sector", STD_EN_SWMD_SECTOR},
    {"coplane", STD_EN_SWMD_COPLANE},
    {"rhi", STD_EN_SWMD_RHI},
    {"vertical_pointing", STD_EN_SWMD_VERTICAL},
    {"idle", STD_EN_SWMD_IDLE},
    {"azimuth_surveillance", STD_EN_SWMD_PPI},
    {"elevation_surveillance", STD_EN_SWMD_RHI},
    {"sunscan", STD_EN_SWMD_SUNSCAN},
    {"pointing", STD_EN_SWMD_POINTING},
    {"manual_ppi", STD_EN_SWMD_MANUAL},
    {"manual_rhi", STD_EN_SWMD_MANUAL},
};

const TextCode kPolarModes[] = {
    {"horizontal", STD_EN_PM_HORIZONTAL}, {"vertical", STD_EN_PM_VERTICAL},
    {"hv_alt", STD_EN_PM_HV_ALT},         {"hv_sim", STD_EN_PM_HV_SIM},
    {"circular", STD_EN_PM_CIRCULAR},
};

template <size_t N>
int codeOf(const TextCode (&table)[N], const char* szText) {
    for (const TextCode& row : table) {
        if (std::strcmp(row.m_szText, szText) == 0) {
            return row.m_iCode;
        }
    }
    return 0;
}

// ---------------------------------------------------------------------------------------
// Times

struct VolumeTimes {
    bool m_bHaveRef = false;
    time_t m_tRef = 0;  // reference of the "time" variable
    double m_dRefFraction = 0.0;
    double m_dUnitSeconds = 1.0;
    time_t m_tVolume = 0;
};

// Ray times are offsets from the "time" variable's own reference (its units), which CF
// makes authoritative and which differs from time_coverage_start in files where rays start
// before the nominal time; time_reference and time_coverage_start stand in for it when
// the units carry none.
VolumeTimes volumeTimes(const NC_RADAR* pNc) {
    VolumeTimes times;
    double fraction = 0.0;
    time_t t = 0;
    if (parseTimeUnits(pNc->m_coordi_var.m_szTimeUnits, &t, &fraction, &times.m_dUnitSeconds)) {
        times.m_bHaveRef = true;
        times.m_tRef = t;
        times.m_dRefFraction = fraction;
    } else {
        times.m_dUnitSeconds = 1.0;
        for (const char* szText :
             {pNc->m_global_var.m_szTime_reference, pNc->m_global_var.m_szTime_coverage_start,
              pNc->m_global_attr.m_szTime_coverage_start}) {
            if (ncParseTime(szText, &t, &fraction) == 1) {
                times.m_bHaveRef = true;
                times.m_tRef = t;
                times.m_dRefFraction = fraction;
                break;
            }
        }
    }
    if (ncParseTime(pNc->m_global_var.m_szTime_coverage_start, &t, &fraction) == 1 ||
        ncParseTime(pNc->m_global_attr.m_szTime_coverage_start, &t, &fraction) == 1) {
        times.m_tVolume = t;
    } else if (times.m_bHaveRef) {
        // No coverage start: the first ray's time, which is what it would hold.
        double offset = pNc->m_coordi_var.m_pTime != nullptr && pNc->m_dim.m_nTime > 0
                            ? pNc->m_coordi_var.m_pTime[0] * times.m_dUnitSeconds
                            : 0.0;
        if (!std::isfinite(offset) || std::fabs(offset) > kMaxTimeOffsetSec) {
            offset = 0.0;
        }
        times.m_tVolume =
            times.m_tRef + static_cast<time_t>(std::floor(times.m_dRefFraction + offset));
    }
    return times;
}

time_t rayTime(const NC_RADAR* pNc, const VolumeTimes& times, int iRay) {
    if (!times.m_bHaveRef || pNc->m_coordi_var.m_pTime == nullptr) {
        return times.m_tVolume;
    }
    double offset = pNc->m_coordi_var.m_pTime[iRay] * times.m_dUnitSeconds;
    if (!std::isfinite(offset) || std::fabs(offset) > kMaxTimeOffsetSec) {
        return times.m_tVolume;
    }
    // Whole seconds at or before the ray time (truncation would move negative offsets later).
    return times.m_tRef + static_cast<time_t>(std::floor(times.m_dRefFraction + offset));
}

// ---------------------------------------------------------------------------------------
// Range geometry

struct RangeGeometry {
    int m_iFirstGate = 0;  // metres to the centre of the first bin
    int m_iSpacing = 0;    // metres between bins
};

// The range variable holds the distance of each bin; its gate attributes are a summary
// that some writers leave out (MeteoSwiss) or leave stale after thinning the gates
// (Py-ART examples). The attributes are used when they agree with the values; otherwise
// first gate and spacing come from the values. Both are rounded to whole metres, not
// truncated: a spacing of 124.913 m kept as 124 would put the last of 950 bins 0.87 km
// short, and float32 ranges carry errors such as 249.999 for 250.
RangeGeometry rangeGeometry(const NC_RADAR* pNc) {
    RangeGeometry geometry;
    const NC_RANGE_ATTR& attr = pNc->m_coordi_var.m_rangeAttr;
    const float* pRange = pNc->m_coordi_var.m_pRange;
    const int nRange = pNc->m_dim.m_nRange;

    bool bHaveValues = pRange != nullptr && nRange >= 1 && std::isfinite(pRange[0]);
    double dFirst = bHaveValues ? pRange[0] : 0.0;
    double dSpacing = 0.0;
    bool bHaveSpacing = false;
    if (bHaveValues && nRange >= 2 && std::isfinite(pRange[nRange - 1])) {
        dSpacing = (static_cast<double>(pRange[nRange - 1]) - pRange[0]) / (nRange - 1);
        bHaveSpacing = dSpacing > 0.0;
    }

    const double tolerance = std::max(1.0, 0.01 * (bHaveSpacing ? dSpacing : 0.0));
    bool bFirstFromAttr =
        attr.m_bHasFirstGate &&
        (!bHaveValues || std::fabs(attr.m_fMeters_to_center_of_first_gate - dFirst) <= tolerance);
    bool bSpacingFromAttr =
        attr.m_bHasGateSpacing &&
        (!bHaveSpacing || std::fabs(attr.m_fMeters_between_gates - dSpacing) <= tolerance);

    if (bFirstFromAttr) {
        geometry.m_iFirstGate = truncToInt(std::round(attr.m_fMeters_to_center_of_first_gate));
    } else if (bHaveValues) {
        geometry.m_iFirstGate = truncToInt(std::round(dFirst));
    }
    if (bSpacingFromAttr) {
        geometry.m_iSpacing = truncToInt(std::round(attr.m_fMeters_between_gates));
    } else if (bHaveSpacing) {
        geometry.m_iSpacing = truncToInt(std::round(dSpacing));
    }
    return geometry;
}

// ---------------------------------------------------------------------------------------
// Tree

bool validSweepIndices(const NC_RADAR* pNc) {
    const NC_SWEEP_VAR& sweeps = pNc->m_sweep_var;
    // A file without sweeps holds no volume scan.
    if (sweeps.m_pSweep_start_ray_index == nullptr || sweeps.m_pSweep_end_ray_index == nullptr ||
        pNc->m_dim.m_nSweep <= 0) {
        return false;
    }
    // A ray belongs to one sweep at most: sweeps naming the same rays again would each copy
    // them, so a small file could ask for many times the memory its rays take.
    long long nRayTotal = 0;
    for (int s = 0; s < pNc->m_dim.m_nSweep; s++) {
        const int iStart = sweeps.m_pSweep_start_ray_index[s];
        const int iEnd = sweeps.m_pSweep_end_ray_index[s];
        if (iStart < 0 || iEnd < iStart || iEnd >= pNc->m_dim.m_nTime) {
            return false;
        }
        nRayTotal += iEnd - iStart + 1;
        if (nRayTotal > pNc->m_dim.m_nTime) {
            return false;
        }
    }
    return true;
}

void fillGlobalHeader(const NC_RADAR* pNc, const VolumeTimes& times, STD_GLOBAL_HDR* pHdr) {
    const NC_INSTRUMENT_SUB& instr = pNc->m_instru_sub;
    const bool bHaveRays = pNc->m_dim.m_nTime > 0;
    const bool bHaveSweeps = pNc->m_dim.m_nSweep > 0;

    pHdr->m_iVolumeNo = pNc->m_global_var.m_iVolume_number;
    copyFixedText(pHdr->m_szRadarName, sizeof(pHdr->m_szRadarName),
                  pNc->m_global_attr.m_szInstrument_name);
    copyFixedText(pHdr->m_szSiteName, sizeof(pHdr->m_szSiteName), pNc->m_global_attr.m_szSite_name);
    pHdr->m_dLat = pNc->m_locat_var.m_dLatitude;
    pHdr->m_dLon = pNc->m_locat_var.m_dLongitude;
    pHdr->m_iAnteHeight = truncToInt(pNc->m_locat_var.m_dAltitude);
    if (bHaveSweeps && pNc->m_sweep_var.m_ppSweep_mode != nullptr) {
        pHdr->m_iSweepMode = codeOf(kSweepModes, pNc->m_sweep_var.m_ppSweep_mode[0]);
    }
    if (bHaveSweeps && pNc->m_sweep_var.m_pTarget_scan_rate != nullptr) {
        pHdr->m_fSweepRate = pNc->m_sweep_var.m_pTarget_scan_rate[0];
    }
    copyFixedText(pHdr->m_szConvertName, sizeof(pHdr->m_szConvertName),
                  pNc->m_global_attr.m_szScan_name);
    pHdr->m_tConvertTime = times.m_tVolume;
    pHdr->m_iNoDataValue = STD_NO_DATA_CODE;
    // CF/Radial gives the pulse width in seconds; the header holds the pulse length in metres.
    if (bHaveRays && instr.m_pPulse_width != nullptr) {
        pHdr->m_iPulseWidth = truncToInt(instr.m_pPulse_width[0] * kHalfLightSpeed);
    }
    pHdr->m_fBeamWidthH = pNc->m_radar_sub.m_fRadar_beam_width_h;
    pHdr->m_fBeamWidthV = pNc->m_radar_sub.m_fRadar_beam_width_v;
    pHdr->m_iBandWidth = truncToInt(pNc->m_radar_sub.m_fRadar_receiver_bandwidth);
    if (bHaveSweeps && instr.m_ppPolarization_mode != nullptr) {
        pHdr->m_iPolarMode = codeOf(kPolarModes, instr.m_ppPolarization_mode[0]);
    }
    if (bHaveRays && instr.m_pPrt != nullptr) {
        pHdr->m_iPRT = truncToInt(1000000.0 * instr.m_pPrt[0]);
    }
    pHdr->m_iBitsPerBin = 16;
}

void fillSweepHeader(const NC_RADAR* pNc, int iFirstRay, STD_SWEEP_HDR* pHdr) {
    // Per-ray metadata is taken from the sweep's own first ray.
    if (pNc->m_instru_sub.m_pNyquist_velocity != nullptr) {
        pHdr->m_fNyquistVelocity = pNc->m_instru_sub.m_pNyquist_velocity[iFirstRay];
    }
    if (pNc->m_dim.m_nR_calib > 0) {
        if (pNc->m_r_calib_sub.m_pR_calib_radar_constant_h != nullptr) {
            pHdr->m_fRadarConstant = pNc->m_r_calib_sub.m_pR_calib_radar_constant_h[0];
        }
        if (pNc->m_r_calib_sub.m_pR_calib_receiver_gain_hc != nullptr) {
            pHdr->m_fReceiverGain = pNc->m_r_calib_sub.m_pR_calib_receiver_gain_hc[0];
        }
    }
    pHdr->m_fAntennaGain = pNc->m_radar_sub.m_fRadar_antenna_gain_h;
}

void fillRayHeader(const NC_RADAR* pNc, const VolumeTimes& times, const RangeGeometry& geometry,
                   int iSweep, int iRay, STD_RAY_HDR* pHdr) {
    pHdr->m_tTime = rayTime(pNc, times, iRay);
    pHdr->m_fAzimuth =
        pNc->m_sensor_var.m_pAzimuth != nullptr ? pNc->m_sensor_var.m_pAzimuth[iRay] : 0.0f;
    pHdr->m_fElevation =
        pNc->m_sensor_var.m_pElevation != nullptr ? pNc->m_sensor_var.m_pElevation[iRay] : 0.0f;
    pHdr->m_fFixedAngle =
        pNc->m_sweep_var.m_pFixed_angle != nullptr ? pNc->m_sweep_var.m_pFixed_angle[iSweep] : 0.0f;
    pHdr->m_iStartRangeKm = geometry.m_iFirstGate / 1000;
    pHdr->m_iStartRangeMeter = geometry.m_iFirstGate - 1000 * pHdr->m_iStartRangeKm;
    pHdr->m_iBinSpacing = geometry.m_iSpacing;
    pHdr->m_iSampleSize =
        pNc->m_instru_sub.m_pN_samples != nullptr ? pNc->m_instru_sub.m_pN_samples[iRay] : 0;
}

// Copies every moment's bins of file ray iRay into the ray's fields.
void fillRayFields(const NC_RADAR* pNc, const char (*szFieldNames)[9], int iRay, STD_RAY* pRay) {
    const int nRange = pNc->m_dim.m_nRange;
    for (int m = 0; m < pRay->m_iMaxField; m++) {
        STD_FIELD* pField = pRay->m_ppField[m];
        const int scale = pNc->m_moment_var[m].m_iScaleFactor;
        pField->m_hdr.m_iScaleFactor = scale > 0 ? scale : kStdScaleFactor;
        copyFixedText(pField->m_hdr.m_szFieldName, sizeof(pField->m_hdr.m_szFieldName),
                      szFieldNames[m]);
        if (nRange > 0) {
            std::memcpy(pField->m_pData,
                        pNc->m_moment_var[m].m_pData + static_cast<size_t>(iRay) * nRange,
                        nRange * sizeof(short));
        }
    }
}

}  // namespace

int ncParseTime(const char* szText, time_t* pTime, double* pFraction) {
    if (szText == nullptr || pTime == nullptr) {
        return 0;
    }
    const char* p = szText;
    skipBlanks(p);
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    double fraction = 0.0;
    if (!readNumber(p, 4, &year) || *p++ != '-' || !readNumber(p, 2, &month) || *p++ != '-' ||
        !readNumber(p, 2, &day)) {
        return 0;
    }
    if (*p == 'T' || *p == 't' || *p == ' ' || *p == '_') {
        const char* pClock = p + 1;
        skipBlanks(pClock);
        // A blank may also introduce the zone of a date without a clock time.
        if (std::isdigit(static_cast<unsigned char>(*pClock)) &&
            std::strchr(pClock, ':') != nullptr && readNumber(pClock, 2, &hour) && *pClock == ':') {
            pClock++;
            if (!readNumber(pClock, 2, &minute)) {
                return 0;
            }
            if (*pClock == ':') {
                pClock++;
                if (!readNumber(pClock, 2, &second)) {
                    return 0;
                }
                if (*pClock == '.' || *pClock == ',') {
                    pClock++;
                    double scale = 0.1;
                    while (std::isdigit(static_cast<unsigned char>(*pClock))) {
                        fraction += (*pClock - '0') * scale;
                        scale *= 0.1;
                        pClock++;
                    }
                }
            }
            p = pClock;
        }
    }
    long zoneOffset = 0;
    if (!readZone(p, &zoneOffset)) {
        return 0;
    }
    if (year < 1900 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > fnGetLastDayOfYM(year, month) || hour > 24 || minute > 59 || second > 60) {
        return 0;
    }
    *pTime = fnMakeTime(1, static_cast<short>(year), static_cast<short>(month),
                        static_cast<short>(day), static_cast<short>(hour),
                        static_cast<short>(minute), static_cast<short>(second)) -
             zoneOffset;
    if (pFraction != nullptr) {
        *pFraction = fraction;
    }
    return 1;
}

STD_RADAR* fnNcSyncUpStd(NC_RADAR* pNc) {
    if (pNc == nullptr) {
        return nullptr;
    }
    if (!validSweepIndices(pNc) || pNc->m_iMaxMoment < 0 || pNc->m_iMaxMoment > NC_MAX_MOMENT ||
        pNc->m_dim.m_nSweep < 0 || pNc->m_dim.m_nRange < 0) {
        rdrError(kSyncFunc, "invalid nc");
        return nullptr;
    }
    for (int m = 0; m < pNc->m_iMaxMoment; m++) {
        if (pNc->m_moment_var[m].m_pData == nullptr) {
            rdrError(kSyncFunc, "invalid nc");
            return nullptr;
        }
    }

    // Standard names of the moments: the loader's choice, else (a structure filled by other
    // code) the field table's name of the moment, else the moment's own.
    char szFieldNames[NC_MAX_MOMENT][9] = {};
    for (int m = 0; m < pNc->m_iMaxMoment; m++) {
        const NC_MOMENT_VAR& moment = pNc->m_moment_var[m];
        FIELD_INFO_TBL row{};
        const char* szName = moment.m_szFieldName;
        if (szName[0] == '\0') {
            szName = fnGetNcFieldInfo(moment.m_szMoment, &row) == 1 ? row.m_szFieldName
                                                                    : moment.m_szMoment;
        }
        copyFixedText(szFieldNames[m], sizeof(szFieldNames[m]), szName);
    }

    const VolumeTimes times = volumeTimes(pNc);
    const RangeGeometry geometry = rangeGeometry(pNc);
    const int nSweep = pNc->m_dim.m_nSweep;

    const int* pStart = pNc->m_sweep_var.m_pSweep_start_ray_index;
    const int* pEnd = pNc->m_sweep_var.m_pSweep_end_ray_index;
    auto rays = [pStart, pEnd](int s) { return pEnd[s] - pStart[s] + 1; };
    auto fields = [pNc](int, int) { return pNc->m_iMaxMoment; };
    auto bins = [pNc](int, int, int) { return pNc->m_dim.m_nRange; };
    STD_RADAR* pStd = buildStdTree(nSweep, rays, fields, bins, StdBins::kUninitialised);
    if (pStd == nullptr) {
        rdrError(kSyncFunc, "fnInitStdtoNc fail");
        return nullptr;
    }
    fillGlobalHeader(pNc, times, &pStd->m_hdr);
    for (int s = 0; s < nSweep; s++) {
        STD_SWEEP* pSweep = pStd->m_ppSweep[s];
        fillSweepHeader(pNc, pStart[s], &pSweep->m_hdr);
        for (int r = 0; r < pSweep->m_iMaxRay; r++) {
            STD_RAY* pRay = pSweep->m_ppRay[r];
            fillRayFields(pNc, szFieldNames, pStart[s] + r, pRay);
            fillRayHeader(pNc, times, geometry, s, pStart[s] + r, &pRay->m_hdr);
        }
    }
    return pStd;
}
