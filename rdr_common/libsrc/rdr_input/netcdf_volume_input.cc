// CF/Radial loader: dimensions, global attributes, metadata variables by name and the
// moments, into NC_RADAR. Every size is taken from the file and checked against the
// dimension it must match before anything is read into a buffer of that size. Where the
// file is opened at all depends on its container (see fnLoadNcRadar).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

#include "core_utilities.h"
#include "info_tables.h"
#include "internal/fixed_text.h"
#include "internal/netcdf_library.h"
#include "internal/netcdf_volume_input.h"
#include "internal/netcdf_volume_input_classic.h"
#include "internal/standard_volume_coding.h"
#include "nc_radar.h"

namespace {

constexpr const char* kLoadFunc = "fnLoadNcRadar";

// Largest number of values read from one variable: 64 M rays x bins (a 20-sweep volume of
// 720 rays x 2000 bins is 29 M); the bound keeps a hostile header from driving allocation.
constexpr size_t kMaxValues = size_t{1} << 26;
// Text variables are small; a larger one is not a CF/Radial string.
constexpr size_t kMaxTextBytes = size_t{1} << 20;
// Counts that size per-ray, per-sweep and per-calibration arrays. One stored value is spread
// over all of them, so a tiny file declaring a large count would otherwise cost gigabytes
// (over 40 per-ray arrays, per-sweep strings of 128 bytes, the standard volume's structures
// of every ray). 1 M rays is 12 days of rays at one a second, 50 times a UF volume's 20 x
// 999; real volumes have tens of sweeps and a few calibrations and frequencies.
constexpr size_t kMaxRays = size_t{1} << 20;
constexpr size_t kMaxSweeps = size_t{1} << 16;

// ---------------------------------------------------------------------------------------
// Metadata variable table

// How many values a variable holds.
enum Count { kOne, kPerRay, kPerBin, kPerSweep, kPerCalib, kPerFrequency };
// What the NC_RADAR member is: a scalar of that type (kOne) or an array of them.
enum Dest { kInt, kFloat, kDouble, kText };

struct NcVarDesc {
    const char* m_szName;
    int m_iClass;
    Count m_count;
    Dest m_dest;
    size_t m_offset;
    bool m_bEssential;  // a present variable of the wrong size makes the file unreadable
};

#define NCV(name, cls, count, dest, member) \
    { name, cls, count, dest, offsetof(NC_RADAR, member), false }
#define NCV_ESSENTIAL(name, cls, count, dest, member) \
    { name, cls, count, dest, offsetof(NC_RADAR, member), true }

const NcVarDesc kVarTable[] = {
    NCV("volume_number", NC_EN_VAR_GLOBAL, kOne, kInt, m_global_var.m_iVolume_number),
    NCV("platform_type", NC_EN_VAR_GLOBAL, kOne, kText, m_global_var.m_szPlatform_type),
    NCV("instrument_type", NC_EN_VAR_GLOBAL, kOne, kText, m_global_var.m_szInstrument_type),
    NCV("primary_axis", NC_EN_VAR_GLOBAL, kOne, kText, m_global_var.m_szPrimary_axis),
    NCV("time_coverage_start", NC_EN_VAR_GLOBAL, kOne, kText, m_global_var.m_szTime_coverage_start),
    NCV("time_coverage_end", NC_EN_VAR_GLOBAL, kOne, kText, m_global_var.m_szTime_coverage_end),
    NCV("time_reference", NC_EN_VAR_GLOBAL, kOne, kText, m_global_var.m_szTime_reference),

    NCV_ESSENTIAL("time", NC_EN_VAR_COORDINATE, kPerRay, kDouble, m_coordi_var.m_pTime),
    NCV_ESSENTIAL("range", NC_EN_VAR_COORDINATE, kPerBin, kFloat, m_coordi_var.m_pRange),

    NCV("latitude", NC_EN_VAR_LOCATION, kOne, kDouble, m_locat_var.m_dLatitude),
    NCV("longitude", NC_EN_VAR_LOCATION, kOne, kDouble, m_locat_var.m_dLongitude),
    NCV("altitude", NC_EN_VAR_LOCATION, kOne, kDouble, m_locat_var.m_dAltitude),
    NCV("altitude_agl", NC_EN_VAR_LOCATION, kOne, kDouble, m_locat_var.m_dAltitude_agl),

    NCV("sweep_number", NC_EN_VAR_SWEEP, kPerSweep, kInt, m_sweep_var.m_pSweep_number),
    NCV("sweep_mode", NC_EN_VAR_SWEEP, kPerSweep, kText, m_sweep_var.m_ppSweep_mode),
    NCV_ESSENTIAL("fixed_angle", NC_EN_VAR_SWEEP, kPerSweep, kFloat, m_sweep_var.m_pFixed_angle),
    NCV_ESSENTIAL("sweep_start_ray_index", NC_EN_VAR_SWEEP, kPerSweep, kInt,
                  m_sweep_var.m_pSweep_start_ray_index),
    NCV_ESSENTIAL("sweep_end_ray_index", NC_EN_VAR_SWEEP, kPerSweep, kInt,
                  m_sweep_var.m_pSweep_end_ray_index),
    NCV("target_scan_rate", NC_EN_VAR_SWEEP, kPerSweep, kFloat, m_sweep_var.m_pTarget_scan_rate),
    NCV("rays_are_indexed", NC_EN_VAR_SWEEP, kPerSweep, kText, m_sweep_var.m_ppRays_are_indexed),
    NCV("ray_angle_res", NC_EN_VAR_SWEEP, kPerSweep, kFloat, m_sweep_var.m_pRay_angled_res),

    NCV_ESSENTIAL("azimuth", NC_EN_VAR_SENSOR, kPerRay, kFloat, m_sensor_var.m_pAzimuth),
    NCV_ESSENTIAL("elevation", NC_EN_VAR_SENSOR, kPerRay, kFloat, m_sensor_var.m_pElevation),
    NCV("scan_rate", NC_EN_VAR_SENSOR, kPerRay, kFloat, m_sensor_var.m_pScan_rate),
    NCV("antenna_transition", NC_EN_VAR_SENSOR, kPerRay, kInt, m_sensor_var.m_pAntenna_transition),
    NCV("georefs_applied", NC_EN_VAR_SENSOR, kPerRay, kInt, m_sensor_var.m_pGeorefs_applied),

    NCV("heading", NC_EN_VAR_MOVING, kPerRay, kFloat, m_moving_var.m_pHeading),
    NCV("roll", NC_EN_VAR_MOVING, kPerRay, kFloat, m_moving_var.m_pRoll),
    NCV("pitch", NC_EN_VAR_MOVING, kPerRay, kFloat, m_moving_var.m_pPitch),
    NCV("drift", NC_EN_VAR_MOVING, kPerRay, kFloat, m_moving_var.m_pDrift),
    NCV("rotation", NC_EN_VAR_MOVING, kPerRay, kFloat, m_moving_var.m_pRotation),
    NCV("tilt", NC_EN_VAR_MOVING, kPerRay, kFloat, m_moving_var.m_pTilt),

    NCV("frequency", NC_EN_VAR_INSTRUMENT, kPerFrequency, kFloat, m_instru_sub.m_pFrequency),
    NCV("follow_mode", NC_EN_VAR_INSTRUMENT, kPerSweep, kText, m_instru_sub.m_ppFollow_mode),
    NCV("pulse_width", NC_EN_VAR_INSTRUMENT, kPerRay, kFloat, m_instru_sub.m_pPulse_width),
    NCV("prt_mode", NC_EN_VAR_INSTRUMENT, kPerSweep, kText, m_instru_sub.m_ppPrt_mode),
    NCV("prt", NC_EN_VAR_INSTRUMENT, kPerRay, kFloat, m_instru_sub.m_pPrt),
    NCV("prt_ratio", NC_EN_VAR_INSTRUMENT, kPerRay, kFloat, m_instru_sub.m_pPrt_ratio),
    NCV("polarization_mode", NC_EN_VAR_INSTRUMENT, kPerSweep, kText,
        m_instru_sub.m_ppPolarization_mode),
    NCV("nyquist_velocity", NC_EN_VAR_INSTRUMENT, kPerRay, kFloat,
        m_instru_sub.m_pNyquist_velocity),
    NCV("unambiguous_range", NC_EN_VAR_INSTRUMENT, kPerRay, kFloat,
        m_instru_sub.m_pUnambiguous_range),
    NCV("n_samples", NC_EN_VAR_INSTRUMENT, kPerRay, kInt, m_instru_sub.m_pN_samples),

    NCV("radar_antenna_gain_h", NC_EN_VAR_RADAR, kOne, kFloat, m_radar_sub.m_fRadar_antenna_gain_h),
    NCV("radar_antenna_gain_v", NC_EN_VAR_RADAR, kOne, kFloat, m_radar_sub.m_fRadar_antenna_gain_v),
    NCV("radar_beam_width_h", NC_EN_VAR_RADAR, kOne, kFloat, m_radar_sub.m_fRadar_beam_width_h),
    NCV("radar_beam_width_v", NC_EN_VAR_RADAR, kOne, kFloat, m_radar_sub.m_fRadar_beam_width_v),
    NCV("radar_receiver_bandwidth", NC_EN_VAR_RADAR, kOne, kFloat,
        m_radar_sub.m_fRadar_receiver_bandwidth),
    NCV("radar_measured_transmit_power_h", NC_EN_VAR_RADAR, kPerRay, kFloat,
        m_radar_sub.m_pRadar_measured_transmit_power_h),
    NCV("radar_measured_transmit_power_v", NC_EN_VAR_RADAR, kPerRay, kFloat,
        m_radar_sub.m_pRadar_measured_transmit_power_v),

#define NCV_CALIB(suffix) \
    NCV("r_calib_" #suffix, NC_EN_VAR_R_CALIB, kPerCalib, kFloat, m_r_calib_sub.m_pR_calib_##suffix)
    NCV("r_calib_index", NC_EN_VAR_R_CALIB, kPerRay, kInt, m_r_calib_sub.m_pR_calib_index),
    NCV("r_calib_time", NC_EN_VAR_R_CALIB, kPerCalib, kText, m_r_calib_sub.m_ppR_calib_time),
    NCV_CALIB(pulse_width),
    NCV_CALIB(antenna_gain_h),
    NCV_CALIB(antenna_gain_v),
    NCV_CALIB(xmit_power_h),
    NCV_CALIB(xmit_power_v),
    NCV_CALIB(two_way_waveguide_loss_h),
    NCV_CALIB(two_way_waveguide_loss_v),
    NCV_CALIB(two_way_radome_loss_h),
    NCV_CALIB(two_way_radome_loss_v),
    NCV_CALIB(receiver_mismatch_loss),
    NCV_CALIB(radar_constant_h),
    NCV_CALIB(radar_constant_v),
    NCV_CALIB(noise_hc),
    NCV_CALIB(noise_vc),
    NCV_CALIB(noise_hx),
    NCV_CALIB(noise_vx),
    NCV_CALIB(receiver_gain_hc),
    NCV_CALIB(receiver_gain_vc),
    NCV_CALIB(receiver_gain_hx),
    NCV_CALIB(receiver_gain_vx),
    NCV_CALIB(base_dbz_1km_hc),
    NCV_CALIB(base_dbz_1km_vc),
    NCV_CALIB(base_dbz_1km_hx),
    NCV_CALIB(base_dbz_1km_vx),
    NCV_CALIB(sun_power_hc),
    NCV_CALIB(sun_power_vc),
    NCV_CALIB(sun_power_hx),
    NCV_CALIB(sun_power_vx),
    NCV_CALIB(noise_source_power_h),
    NCV_CALIB(noise_source_power_v),
    NCV_CALIB(power_measure_loss_h),
    NCV_CALIB(power_measure_loss_v),
    NCV_CALIB(coupler_forward_loss_h),
    NCV_CALIB(coupler_forward_loss_v),
    NCV_CALIB(zdr_correction),
    NCV_CALIB(ldr_correction_h),
    NCV_CALIB(ldr_correction_v),
    NCV_CALIB(system_phidp),
    NCV_CALIB(test_power_h),
    NCV_CALIB(test_power_v),
    NCV_CALIB(receiver_slope_hc),
    NCV_CALIB(receiver_slope_vc),
    NCV_CALIB(receiver_slope_hx),
    NCV_CALIB(receiver_slope_vx),
#undef NCV_CALIB

    NCV("eastward_velocity", NC_EN_VAR_VEL, kPerRay, kFloat, m_vel_sub.m_pEastward_velocity),
    NCV("northward_velocity", NC_EN_VAR_VEL, kPerRay, kFloat, m_vel_sub.m_pNorthward_velocity),
    NCV("vertical_velocity", NC_EN_VAR_VEL, kPerRay, kFloat, m_vel_sub.m_pVertical_velocity),
    NCV("eastward_wind", NC_EN_VAR_VEL, kPerRay, kFloat, m_vel_sub.m_pEastward_wind),
    NCV("northward_wind", NC_EN_VAR_VEL, kPerRay, kFloat, m_vel_sub.m_pNorthward_wind),
    NCV("vertical_wind", NC_EN_VAR_VEL, kPerRay, kFloat, m_vel_sub.m_pVertical_wind),
    NCV("heading_rate", NC_EN_VAR_VEL, kPerRay, kFloat, m_vel_sub.m_pHeading_rate),
    NCV("roll_rate", NC_EN_VAR_VEL, kPerRay, kFloat, m_vel_sub.m_pRoll_rate),
    NCV("pitch_rate", NC_EN_VAR_VEL, kPerRay, kFloat, m_vel_sub.m_pPitch_rate),

#define NCV_COR(name, member) NCV(name, NC_EN_VAR_COR, kOne, kFloat, m_cor_sub.member)
    NCV_COR("azimuth_correction", m_fAzimuth_correction),
    NCV_COR("elevation_correction", m_fElevation_correction),
    NCV_COR("range_correction", m_fRange_correction),
    NCV_COR("longitude_correction", m_fLongitude_correction),
    NCV_COR("latitude_correction", m_fLatitude_correction),
    NCV_COR("pressure_altitude_correction", m_fPressure_altitude_correction),
    NCV_COR("radar_altitude_correction", m_fRadar_altitude_correction),
    NCV_COR("eastward_ground_speed_correction", m_fEastward_ground_speed_correction),
    NCV_COR("northward_ground_speed_correction", m_fNorthward_ground_speed_correction),
    NCV_COR("vertical_velocity_correction", m_fVertical_velocity_correction),
    NCV_COR("heading_correction", m_fHeading_correction),
    NCV_COR("roll_correction", m_fRoll_correction),
    NCV_COR("pitch_correction", m_fPitch_correction),
    NCV_COR("drift_correction", m_fDrift_correction),
    NCV_COR("rotation_correction", m_fRotation_correction),
    NCV_COR("tilt_correction", m_fTilt_correction),
#undef NCV_COR
};

#undef NCV
#undef NCV_ESSENTIAL

// ---------------------------------------------------------------------------------------
// Moment recognition. The documented NetCDF moment names come first; then names that
// other CF/Radial writers use for the same moments; then the variable's CF standard_name.
// Each maps to a documented moment name, so the field table still gives the standard
// name. A moment that is already present is not taken twice.

const char* const kMomentNames[] = {"DBZ", "VEL", "WIDTH", "ZDR", "PHIDP", "KDP", "RHOHV", "DBZc"};

struct NcAlias {
    const char* m_szKey;
    const char* m_szMoment;
};

const NcAlias kMomentAliases[] = {
    {"reflectivity", "DBZ"},
    {"reflectivity_horizontal", "DBZ"},
    {"DBZHC", "DBZ"},
    {"TH", "DBZ"},
    {"DBZH", "DBZc"},  // corrected reflectivity, as in the field table's HDF5 column
    {"corrected_reflectivity", "DBZc"},
    {"velocity", "VEL"},
    {"mean_doppler_velocity", "VEL"},
    {"VRADH", "VEL"},
    {"spectrum_width", "WIDTH"},
    {"spectral_width", "WIDTH"},
    {"WRADH", "WIDTH"},
    {"differential_reflectivity", "ZDR"},
    {"differential_phase", "PHIDP"},
    {"specific_differential_phase", "KDP"},
    {"cross_correlation_ratio", "RHOHV"},
    {"cross_correlation_ratio_hv", "RHOHV"},
};

const NcAlias kMomentStandardNames[] = {
    {"equivalent_reflectivity_factor", "DBZ"},
    {"radial_velocity_of_scatterers_away_from_instrument", "VEL"},
    {"doppler_spectrum_width", "WIDTH"},
    {"radar_doppler_spectrum_width", "WIDTH"},
    {"log_differential_reflectivity_hv", "ZDR"},
    {"radar_differential_reflectivity_hv", "ZDR"},
    {"differential_phase_hv", "PHIDP"},
    {"radar_differential_phase_hv", "PHIDP"},
    {"specific_differential_phase_hv", "KDP"},
    {"radar_specific_differential_phase_hv", "KDP"},
    {"cross_correlation_ratio_hv", "RHOHV"},
};

// ---------------------------------------------------------------------------------------
// Small netCDF helpers

struct NcFile {
    int m_id = -1;
    ~NcFile() {
        if (m_id >= 0) {
            nc().close(m_id);
        }
    }
};

struct VarShape {
    nc_type m_type = NC_NAT;
    int m_nDims = 0;
    int m_dimIds[NC_MAX_VAR_DIMS] = {};
    size_t m_dimLen[NC_MAX_VAR_DIMS] = {};
    size_t m_nValues = 0;  // product of the dimension lengths
    bool m_bTooLarge = false;
};

bool inquireVar(int ncid, int varid, VarShape* pShape) {
    if (nc().inq_var(ncid, varid, nullptr, &pShape->m_type, &pShape->m_nDims, pShape->m_dimIds,
                     nullptr) != NC_NOERR ||
        pShape->m_nDims < 0 || pShape->m_nDims > NC_MAX_VAR_DIMS) {
        return false;
    }
    pShape->m_nValues = 1;
    for (int d = 0; d < pShape->m_nDims; d++) {
        if (nc().inq_dimlen(ncid, pShape->m_dimIds[d], &pShape->m_dimLen[d]) != NC_NOERR) {
            return false;
        }
        size_t len = pShape->m_dimLen[d];
        if (len != 0 && pShape->m_nValues > kMaxValues / len) {
            pShape->m_bTooLarge = true;
        }
        pShape->m_nValues = pShape->m_bTooLarge ? kMaxValues : pShape->m_nValues * len;
    }
    return true;
}

bool isNumeric(nc_type type) {
    switch (type) {
        case NC_BYTE:
        case NC_UBYTE:
        case NC_SHORT:
        case NC_USHORT:
        case NC_INT:
        case NC_UINT:
        case NC_INT64:
        case NC_UINT64:
        case NC_FLOAT:
        case NC_DOUBLE:
            return true;
        default:
            return false;
    }
}

// Text of an attribute (text, string or the first number formatted); false when absent.
bool readAttText(int ncid, int varid, const char* szName, char* szDest, size_t destSize) {
    nc_type type;
    size_t len;
    if (nc().inq_att(ncid, varid, szName, &type, &len) != NC_NOERR) {
        return false;
    }
    if (type == NC_CHAR) {
        if (len > kMaxTextBytes) {
            return false;
        }
        std::vector<char> buf(len + 1, '\0');
        if (len > 0 && nc().get_att_text(ncid, varid, szName, buf.data()) != NC_NOERR) {
            return false;
        }
        copyFixedText(szDest, destSize, buf.data(), len, true);
        return true;
    }
    if (type == NC_STRING) {
        if (len == 0 || len > kMaxTextBytes) {
            return false;
        }
        std::vector<char*> strings(len, nullptr);
        if (nc().get_att_string(ncid, varid, szName, strings.data()) != NC_NOERR) {
            return false;
        }
        const char* first = strings[0] != nullptr ? strings[0] : "";
        copyFixedText(szDest, destSize, first, std::strlen(first), true);
        nc().free_string(len, strings.data());
        return true;
    }
    if (isNumeric(type) && len >= 1 && len <= kMaxTextBytes) {
        std::vector<double> values(len);
        if (nc().get_att_double(ncid, varid, szName, values.data()) != NC_NOERR) {
            return false;
        }
        std::string text = std::to_string(values[0]);
        copyFixedText(szDest, destSize, text.c_str(), text.size(), true);
        return true;
    }
    return false;
}

// First value of a numeric attribute; false when absent or not numeric.
bool readAttNumber(int ncid, int varid, const char* szName, double* pValue, nc_type* pType) {
    nc_type type;
    size_t len;
    if (nc().inq_att(ncid, varid, szName, &type, &len) != NC_NOERR || !isNumeric(type) || len < 1 ||
        len > kMaxTextBytes) {
        return false;
    }
    std::vector<double> values(len);
    if (nc().get_att_double(ncid, varid, szName, values.data()) != NC_NOERR) {
        return false;
    }
    *pValue = values[0];
    if (pType != nullptr) {
        *pType = type;
    }
    return true;
}

// ---------------------------------------------------------------------------------------
// Dimensions and global attributes

int readDimensions(int ncid, NC_DIMENSION* pDim) {
    struct DimName {
        const char* m_szName;
        int NC_DIMENSION::*m_pMember;
    };
    static const DimName kDims[] = {
        {"time", &NC_DIMENSION::m_nTime},
        {"range", &NC_DIMENSION::m_nRange},
        {"sweep", &NC_DIMENSION::m_nSweep},
        {"string_length_short", &NC_DIMENSION::m_nString_length_short},
        {"string_length_medium", &NC_DIMENSION::m_nString_length_medium},
        {"string_length_long", &NC_DIMENSION::m_nString_length_long},
        {"r_calib", &NC_DIMENSION::m_nR_calib},
        {"ray_n_gates", &NC_DIMENSION::m_nRay_n_gates},
        {"ray_start_index", &NC_DIMENSION::m_nRay_start_index},
        {"frequency", &NC_DIMENSION::m_nFrequency},
    };
    int nDims = 0;
    if (nc().inq_ndims(ncid, &nDims) != NC_NOERR || nDims < 0) {
        return 0;
    }
    for (int d = 0; d < nDims; d++) {
        char szName[NC_MAX_NAME + 1] = {};
        size_t len = 0;
        if (nc().inq_dim(ncid, d, szName, &len) != NC_NOERR) {
            return 0;
        }
        for (const DimName& dim : kDims) {
            if (std::strcmp(szName, dim.m_szName) == 0) {
                if (len > static_cast<size_t>(2147483647)) {
                    return 0;
                }
                pDim->*dim.m_pMember = static_cast<int>(len);
            }
        }
    }
    return 1;
}

void readGlobalAttributes(int ncid, NC_GLOBAL_ATTR* pAttr) {
    struct AttrName {
        const char* m_szName;
        char* m_szDest;
    };
    const AttrName kAttrs[] = {
        {"Conventions", pAttr->m_szConventions},
        {"version", pAttr->m_szVersion},
        {"institution", pAttr->m_szInstitution},
        {"references", pAttr->m_szReferences},
        {"source", pAttr->m_szSource},
        {"history", pAttr->m_szHistory},
        {"comment", pAttr->m_szComment},
        {"instrument_name", pAttr->m_szInstrument_name},
        {"site_name", pAttr->m_szSite_name},
        {"scan_name", pAttr->m_szScan_name},
        {"platform_is_mobile", pAttr->m_szPlatform_is_mobile},
        {"n_gates_vary", pAttr->m_szN_gates_vary},
        {"ray_times_increase", pAttr->m_szRay_times_increase},
        {"field_names", pAttr->m_szField_names},
        {"time_coverage_start", pAttr->m_szTime_coverage_start},
    };
    for (const AttrName& attr : kAttrs) {
        readAttText(ncid, NC_GLOBAL, attr.m_szName, attr.m_szDest, NC_ATTR_TEXT_LEN);
    }
    // scan_id is an integer, though some writers store it as text.
    double dScanId = 0.0;
    char szScanId[64] = {};
    if (readAttNumber(ncid, NC_GLOBAL, "scan_id", &dScanId, nullptr)) {
        if (std::isfinite(dScanId) && std::fabs(dScanId) < 2.0e9) {
            pAttr->m_iScan_id = static_cast<int>(dScanId);
        }
    } else if (readAttText(ncid, NC_GLOBAL, "scan_id", szScanId, sizeof(szScanId))) {
        pAttr->m_iScan_id = std::atoi(szScanId);
    }
}

// ---------------------------------------------------------------------------------------
// Metadata variables

size_t expectedCount(const NC_DIMENSION& dim, Count count) {
    switch (count) {
        case kOne:
            return 1;
        case kPerRay:
            return static_cast<size_t>(dim.m_nTime);
        case kPerBin:
            return static_cast<size_t>(dim.m_nRange);
        case kPerSweep:
            return static_cast<size_t>(dim.m_nSweep);
        case kPerCalib:
            return static_cast<size_t>(dim.m_nR_calib);
        case kPerFrequency:
            return static_cast<size_t>(dim.m_nFrequency);
    }
    return 0;
}

// Array of n strings of NC_VAR_TEXT_LEN bytes in one block, so that one free() releases it.
char** allocTextArray(size_t n) {
    size_t bytes = n * sizeof(char*) + n * NC_VAR_TEXT_LEN;
    char** pp = static_cast<char**>(std::calloc(1, bytes > 0 ? bytes : 1));
    if (pp == nullptr) {
        return nullptr;
    }
    char* pText = reinterpret_cast<char*>(pp + n);
    for (size_t i = 0; i < n; i++) {
        pp[i] = pText + i * NC_VAR_TEXT_LEN;
    }
    return pp;
}

// Reads the strings of a text variable (char with the string length as its last
// dimension, whatever that dimension is called or however long it is, or NC_STRING).
bool readStrings(int ncid, int varid, const VarShape& shape, std::vector<std::string>* pOut) {
    if (shape.m_bTooLarge || shape.m_nValues > kMaxTextBytes) {
        return false;
    }
    if (shape.m_type == NC_CHAR) {
        size_t strLen = shape.m_nDims > 0 ? shape.m_dimLen[shape.m_nDims - 1] : 1;
        if (strLen == 0) {
            return false;
        }
        std::vector<char> buf(shape.m_nValues + 1, '\0');
        if (shape.m_nValues > 0 && nc().get_var_text(ncid, varid, buf.data()) != NC_NOERR) {
            return false;
        }
        for (size_t start = 0; start + strLen <= shape.m_nValues; start += strLen) {
            char szText[NC_VAR_TEXT_LEN];
            copyFixedText(szText, sizeof(szText), buf.data() + start, strLen, true);
            pOut->emplace_back(szText);
        }
        return true;
    }
    if (shape.m_type == NC_STRING) {
        if (shape.m_nValues == 0) {
            return true;
        }
        std::vector<char*> strings(shape.m_nValues, nullptr);
        if (nc().get_var_string(ncid, varid, strings.data()) != NC_NOERR) {
            return false;
        }
        for (char* s : strings) {
            char szText[NC_VAR_TEXT_LEN];
            copyFixedText(szText, sizeof(szText), s != nullptr ? s : "",
                          s != nullptr ? std::strlen(s) : 0, true);
            pOut->emplace_back(szText);
        }
        nc().free_string(shape.m_nValues, strings.data());
        return true;
    }
    return false;
}

void storeNumber(Dest dest, void* pDest, double value) {
    switch (dest) {
        case kInt: {
            int v = 0;
            if (std::isfinite(value)) {
                v = value >= 2147483647.0    ? 2147483647
                    : value <= -2147483648.0 ? -2147483647 - 1
                                             : static_cast<int>(value);
            }
            *static_cast<int*>(pDest) = v;
            break;
        }
        case kFloat:
            *static_cast<float*>(pDest) = static_cast<float>(value);
            break;
        case kDouble:
            *static_cast<double*>(pDest) = value;
            break;
        case kText:
            break;
    }
}

size_t destSize(Dest dest) {
    switch (dest) {
        case kInt:
            return sizeof(int);
        case kFloat:
            return sizeof(float);
        case kDouble:
            return sizeof(double);
        case kText:
            return NC_VAR_TEXT_LEN;
    }
    return 0;
}

// Fills one NC_RADAR member from a metadata variable. A variable holding one value for a
// per-ray (or per-sweep) member is spread over all entries; a scalar member takes the
// first value of an array. Returns false only for an essential variable of the wrong size.
bool readMetaVar(int ncid, int varid, const NcVarDesc& desc, NC_RADAR* pNc) {
    VarShape shape;
    if (!inquireVar(ncid, varid, &shape)) {
        return false;
    }
    const size_t nWant = expectedCount(pNc->m_dim, desc.m_count);
    char* pMember = reinterpret_cast<char*>(pNc) + desc.m_offset;

    if (desc.m_dest == kText) {
        std::vector<std::string> strings;
        if (!readStrings(ncid, varid, shape, &strings) || strings.empty()) {
            return true;
        }
        if (desc.m_count == kOne) {
            copyFixedText(pMember, NC_VAR_TEXT_LEN, strings[0].c_str(), strings[0].size(), true);
            return true;
        }
        if (nWant == 0 || (strings.size() != nWant && strings.size() != 1)) {
            return true;
        }
        char** pp = allocTextArray(nWant);
        if (pp == nullptr) {
            return false;
        }
        for (size_t i = 0; i < nWant; i++) {
            const std::string& s = strings[strings.size() == 1 ? 0 : i];
            copyFixedText(pp[i], NC_VAR_TEXT_LEN, s.c_str(), s.size(), true);
        }
        std::free(*reinterpret_cast<char***>(pMember));
        *reinterpret_cast<char***>(pMember) = pp;
        return true;
    }

    if (!isNumeric(shape.m_type) || shape.m_bTooLarge) {
        return !desc.m_bEssential;
    }
    const bool bSizeOk = shape.m_nValues == nWant ||
                         (desc.m_count == kOne && shape.m_nValues >= 1) ||
                         (shape.m_nValues == 1 && nWant > 0);
    if (!bSizeOk) {
        return !desc.m_bEssential;
    }
    if (desc.m_count == kOne) {
        const size_t first[NC_MAX_VAR_DIMS] = {};
        double value = 0.0;
        if (nc().get_var1_double(ncid, varid, first, &value) == NC_NOERR) {
            storeNumber(desc.m_dest, pMember, value);
        }
        return true;
    }
    std::vector<double> values(shape.m_nValues);
    if (nc().get_var_double(ncid, varid, values.data()) != NC_NOERR) {
        return !desc.m_bEssential;
    }
    void* pArray = std::calloc(nWant, destSize(desc.m_dest));
    if (pArray == nullptr) {
        return false;
    }
    for (size_t i = 0; i < nWant; i++) {
        storeNumber(desc.m_dest, static_cast<char*>(pArray) + i * destSize(desc.m_dest),
                    values[values.size() == 1 ? 0 : i]);
    }
    std::free(*reinterpret_cast<void**>(pMember));
    *reinterpret_cast<void**>(pMember) = pArray;
    return true;
}

void readRangeAttributes(int ncid, int varid, NC_RANGE_ATTR* pAttr) {
    double value = 0.0;
    if (readAttNumber(ncid, varid, "meters_to_center_of_first_gate", &value, nullptr) &&
        std::isfinite(value)) {
        pAttr->m_fMeters_to_center_of_first_gate = static_cast<float>(value);
        pAttr->m_bHasFirstGate = 1;
    }
    if (readAttNumber(ncid, varid, "meters_between_gates", &value, nullptr) &&
        std::isfinite(value)) {
        pAttr->m_fMeters_between_gates = static_cast<float>(value);
        pAttr->m_bHasGateSpacing = 1;
    }
}

// ---------------------------------------------------------------------------------------
// Moments

// Typed hyperslab reads: each moment is read with the call of its stored type.
int getVara(int ncid, int varid, const size_t* start, const size_t* count, signed char* p) {
    return nc().get_vara_schar(ncid, varid, start, count, p);
}
int getVara(int ncid, int varid, const size_t* start, const size_t* count, unsigned char* p) {
    return nc().get_vara_uchar(ncid, varid, start, count, p);
}
int getVara(int ncid, int varid, const size_t* start, const size_t* count, short* p) {
    return nc().get_vara_short(ncid, varid, start, count, p);
}
int getVara(int ncid, int varid, const size_t* start, const size_t* count, unsigned short* p) {
    return nc().get_vara_ushort(ncid, varid, start, count, p);
}
int getVara(int ncid, int varid, const size_t* start, const size_t* count, int* p) {
    return nc().get_vara_int(ncid, varid, start, count, p);
}
int getVara(int ncid, int varid, const size_t* start, const size_t* count, unsigned int* p) {
    return nc().get_vara_uint(ncid, varid, start, count, p);
}
int getVara(int ncid, int varid, const size_t* start, const size_t* count, long long* p) {
    return nc().get_vara_longlong(ncid, varid, start, count, p);
}
int getVara(int ncid, int varid, const size_t* start, const size_t* count, unsigned long long* p) {
    return nc().get_vara_ulonglong(ncid, varid, start, count, p);
}
int getVara(int ncid, int varid, const size_t* start, const size_t* count, float* p) {
    return nc().get_vara_float(ncid, varid, start, count, p);
}
int getVara(int ncid, int varid, const size_t* start, const size_t* count, double* p) {
    return nc().get_vara_double(ncid, varid, start, count, p);
}

// Netcdf's own fill for a type: what unwritten cells hold when no _FillValue is given.
template <class T>
T defaultFill();
template <>
signed char defaultFill() {
    return NC_FILL_BYTE;
}
template <>
unsigned char defaultFill() {
    return NC_FILL_UBYTE;
}
template <>
short defaultFill() {
    return NC_FILL_SHORT;
}
template <>
unsigned short defaultFill() {
    return NC_FILL_USHORT;
}
template <>
int defaultFill() {
    return NC_FILL_INT;
}
template <>
unsigned int defaultFill() {
    return NC_FILL_UINT;
}
template <>
long long defaultFill() {
    return NC_FILL_INT64;
}
template <>
unsigned long long defaultFill() {
    return NC_FILL_UINT64;
}
template <>
float defaultFill() {
    return NC_FILL_FLOAT;
}
template <>
double defaultFill() {
    return NC_FILL_DOUBLE;
}

// Reads a fill-type attribute in the variable's own type, so that it compares exactly with
// stored values. An attribute written in another type is accepted only when its value is
// representable in the variable's type; false when absent or not representable.
template <class T>
bool readOwnTypeAtt(int ncid, int varid, const char* szName, nc_type varType, T* pValue) {
    nc_type type;
    size_t len;
    if (nc().inq_att(ncid, varid, szName, &type, &len) != NC_NOERR || len < 1 || len > 1024 ||
        !isNumeric(type)) {
        return false;
    }
    if (type == varType) {
        std::vector<T> values(len);
        if (nc().get_att(ncid, varid, szName, values.data()) != NC_NOERR) {
            return false;
        }
        *pValue = values[0];
        return true;
    }
    std::vector<double> values(len);
    if (nc().get_att_double(ncid, varid, szName, values.data()) != NC_NOERR) {
        return false;
    }
    if constexpr (std::is_integral_v<T>) {
        // Outside the type's range (or NaN) the conversion itself would be undefined.
        if (!(values[0] >= static_cast<double>(std::numeric_limits<T>::lowest()) &&
              values[0] < std::ldexp(1.0, std::numeric_limits<T>::digits))) {
            return false;
        }
    }
    const T converted = static_cast<T>(values[0]);
    if (static_cast<double>(converted) != values[0]) {
        return false;
    }
    *pValue = converted;
    return true;
}

// Decodes the whole moment at pMoment->m_iScaleFactor; *pOverflow counts the finite values
// that did not fit 16 bits at that factor.
template <class T>
bool decodeMoment(int ncid, int varid, nc_type varType, const NC_DIMENSION& dim,
                  StdValueCoding coding, NC_MOMENT_VAR* pMoment, std::size_t* pOverflow) {
    *pOverflow = 0;
    T fill = defaultFill<T>();
    T missing = T();
    if (readOwnTypeAtt<T>(ncid, varid, "_FillValue", varType, &fill)) {
        coding.m_bHasFill = true;
    } else {
        // Netcdf readers treat the library's default fill as missing, except for bytes.
        coding.m_bHasFill = !(varType == NC_BYTE || varType == NC_UBYTE);
    }
    coding.m_bHasMissing = readOwnTypeAtt<T>(ncid, varid, "missing_value", varType, &missing);
    if (coding.m_bHasFill) {
        double dFill = static_cast<double>(fill);
        if constexpr (std::is_integral_v<T> && std::is_signed_v<T>) {
            if (coding.m_bUnsigned) {
                dFill = static_cast<double>(static_cast<std::make_unsigned_t<T>>(fill));
            }
        }
        pMoment->m_momentAttr.m_sFillValue =
            (dFill >= -32768.0 && dFill <= 32767.0) ? static_cast<short>(dFill) : 0;
    }

    const size_t nRange = static_cast<size_t>(dim.m_nRange);
    const size_t nTime = static_cast<size_t>(dim.m_nTime);
    if (nRange == 0 || nTime == 0) {
        return true;
    }
    // Read a block of rays at a time: bounded scratch memory, few library calls.
    const size_t raysPerBlock = std::max<size_t>(1, (size_t{1} << 20) / nRange);
    std::vector<T> scratch(std::min(raysPerBlock, nTime) * nRange);
    for (size_t ray = 0; ray < nTime; ray += raysPerBlock) {
        const size_t nRays = std::min(raysPerBlock, nTime - ray);
        const size_t start[2] = {ray, 0};
        const size_t count[2] = {nRays, nRange};
        if (getVara(ncid, varid, start, count, scratch.data()) != NC_NOERR) {
            return false;
        }
        short* pOut = pMoment->m_pData + ray * nRange;
        const int scale = pMoment->m_iScaleFactor;
        if (coding.m_bWide) {
            *pOverflow += codeToStd<T, double>(scratch.data(), nRays * nRange, coding, fill,
                                               missing, pOut, scale);
        } else {
            *pOverflow += codeToStd<T, float>(scratch.data(), nRays * nRange, coding, fill, missing,
                                              pOut, scale);
        }
    }
    return true;
}

// Whether a variable is laid out (time, range) with the file's time and range dimensions.
bool isRayBinShaped(int ncid, const VarShape& shape, const NC_DIMENSION& dim) {
    int timeId = -1;
    int rangeId = -1;
    if (nc().inq_dimid(ncid, "time", &timeId) != NC_NOERR ||
        nc().inq_dimid(ncid, "range", &rangeId) != NC_NOERR) {
        return false;
    }
    return shape.m_nDims == 2 && shape.m_dimIds[0] == timeId && shape.m_dimIds[1] == rangeId &&
           shape.m_dimLen[0] == static_cast<size_t>(dim.m_nTime) &&
           shape.m_dimLen[1] == static_cast<size_t>(dim.m_nRange);
}

bool decodeMomentAs(int ncid, int varid, nc_type type, const NC_DIMENSION& dim,
                    const StdValueCoding& coding, NC_MOMENT_VAR* pMoment, std::size_t* pOverflow) {
    switch (type) {
        case NC_BYTE:
            return decodeMoment<signed char>(ncid, varid, type, dim, coding, pMoment, pOverflow);
        case NC_UBYTE:
            return decodeMoment<unsigned char>(ncid, varid, type, dim, coding, pMoment, pOverflow);
        case NC_SHORT:
            return decodeMoment<short>(ncid, varid, type, dim, coding, pMoment, pOverflow);
        case NC_USHORT:
            return decodeMoment<unsigned short>(ncid, varid, type, dim, coding, pMoment, pOverflow);
        case NC_INT:
            return decodeMoment<int>(ncid, varid, type, dim, coding, pMoment, pOverflow);
        case NC_UINT:
            return decodeMoment<unsigned int>(ncid, varid, type, dim, coding, pMoment, pOverflow);
        case NC_INT64:
            return decodeMoment<long long>(ncid, varid, type, dim, coding, pMoment, pOverflow);
        case NC_UINT64:
            return decodeMoment<unsigned long long>(ncid, varid, type, dim, coding, pMoment,
                                                    pOverflow);
        case NC_FLOAT:
            return decodeMoment<float>(ncid, varid, type, dim, coding, pMoment, pOverflow);
        case NC_DOUBLE:
            return decodeMoment<double>(ncid, varid, type, dim, coding, pMoment, pOverflow);
        default:
            return false;
    }
}

bool readMomentVar(int ncid, int varid, const VarShape& shape, const char* szMoment,
                   const char* szVariable, const char* szFieldName, NC_RADAR* pNc) {
    NC_MOMENT_VAR* pMoment = &pNc->m_moment_var[pNc->m_iMaxMoment];
    std::memset(pMoment, 0, sizeof(*pMoment));
    copyFixedText(pMoment->m_szMoment, sizeof(pMoment->m_szMoment), szMoment, std::strlen(szMoment),
                  true);
    copyFixedText(pMoment->m_szVariable, sizeof(pMoment->m_szVariable), szVariable,
                  std::strlen(szVariable), true);
    copyFixedText(pMoment->m_szFieldName, sizeof(pMoment->m_szFieldName), szFieldName,
                  std::strlen(szFieldName), true);
    pMoment->m_iNcType = shape.m_type;

    StdValueCoding coding;
    nc_type scaleType = NC_FLOAT;
    nc_type offsetType = NC_FLOAT;
    double value = 0.0;
    if (readAttNumber(ncid, varid, "scale_factor", &value, &scaleType)) {
        coding.m_dScale = value;
    }
    if (readAttNumber(ncid, varid, "add_offset", &value, &offsetType)) {
        coding.m_dOffset = value;
    }
    pMoment->m_momentAttr.m_fScale_factor = static_cast<float>(coding.m_dScale);
    pMoment->m_momentAttr.m_fAdd_offset = static_cast<float>(coding.m_dOffset);
    // Single precision as the volume's other converters use, unless the data or its
    // packing is wider than a float can carry.
    coding.m_bWide = shape.m_type == NC_DOUBLE || shape.m_type == NC_INT ||
                     shape.m_type == NC_UINT || shape.m_type == NC_INT64 ||
                     shape.m_type == NC_UINT64 || scaleType == NC_DOUBLE || offsetType == NC_DOUBLE;
    char szUnsigned[16] = {};
    coding.m_bUnsigned = readAttText(ncid, varid, "_Unsigned", szUnsigned, sizeof(szUnsigned)) &&
                         std::strcmp(szUnsigned, "true") == 0;
    double dMin = 0.0;
    double dMax = 0.0;
    if (readAttNumber(ncid, varid, "valid_min", &dMin, nullptr)) {
        coding.m_dValidMin = dMin;
    }
    if (readAttNumber(ncid, varid, "valid_max", &dMax, nullptr)) {
        coding.m_dValidMax = dMax;
    }
    nc_type rangeType;
    size_t rangeLen = 0;
    if (nc().inq_att(ncid, varid, "valid_range", &rangeType, &rangeLen) == NC_NOERR &&
        rangeLen == 2 && isNumeric(rangeType)) {
        double range[2];
        if (nc().get_att_double(ncid, varid, "valid_range", range) == NC_NOERR) {
            coding.m_dValidMin = range[0];
            coding.m_dValidMax = range[1];
        }
    }

    const size_t nValues =
        static_cast<size_t>(pNc->m_dim.m_nTime) * static_cast<size_t>(pNc->m_dim.m_nRange);
    pMoment->m_pData = static_cast<short*>(std::malloc(nValues > 0 ? nValues * sizeof(short) : 1));
    if (pMoment->m_pData == nullptr) {
        return false;
    }
    pNc->m_iMaxMoment++;  // from here on fnFreeNcRadar releases the buffer

    // x 100 unless some values would not fit 16 bits; then the largest power of ten at which
    // they all do, rather than losing them (differential phase runs to 360 degrees).
    for (int scale : {kStdScaleFactor, 10, 1}) {
        pMoment->m_iScaleFactor = scale;
        std::size_t nOverflow = 0;
        if (!decodeMomentAs(ncid, varid, shape.m_type, pNc->m_dim, coding, pMoment, &nOverflow)) {
            return false;
        }
        if (nOverflow == 0) {
            break;
        }
    }
    return true;
}

const char* lookupAlias(const NcAlias* pTable, size_t n, const char* szKey) {
    for (size_t i = 0; i < n; i++) {
        if (std::strcmp(pTable[i].m_szKey, szKey) == 0) {
            return pTable[i].m_szMoment;
        }
    }
    return nullptr;
}

bool isDocumentedMoment(const char* szName) {
    for (const char* szMoment : kMomentNames) {
        if (std::strcmp(szMoment, szName) == 0) {
            return true;
        }
    }
    return false;
}

// Standard field name of a moment name, as the field table gives it.
std::string standardFieldName(const char* szMoment) {
    FIELD_INFO_TBL row{};
    if (fnGetNcFieldInfo(szMoment, &row) != 1) {
        return szMoment;
    }
    return row.m_szFieldName;
}

// A field name for a moment the table does not know: the variable's own name cut to the
// field-name width, with a number in its last characters when that is taken already.
std::string ownFieldName(const std::string& variable, const std::vector<std::string>& taken) {
    constexpr size_t kWidth = sizeof(STD_FIELD_HDR::m_szFieldName) - 1;
    const std::string base = variable.substr(0, kWidth);
    auto isTaken = [&taken](const std::string& name) {
        return std::find(taken.begin(), taken.end(), name) != taken.end();
    };
    if (!isTaken(base)) {
        return base;
    }
    for (int k = 1; k < 1000; k++) {
        const std::string number = std::to_string(k);
        std::string name = base.substr(0, std::min(base.size(), kWidth - number.size())) + number;
        if (!isTaken(name)) {
            return name;
        }
    }
    return std::string();
}

// Adds "name (reason)" to the list of variables not loaded, within its fixed size.
void noteSkipped(NC_RADAR* pNc, const std::string& variable, const char* szReason) {
    char* list = pNc->m_szSkipped;
    const size_t size = sizeof(pNc->m_szSkipped);
    const size_t used = std::strlen(list);
    std::string entry = (used > 0 ? "; " : "") + variable + " (" + szReason + ")";
    if (used + entry.size() + 1 > size) {
        if (used + 4 <= size && (used < 3 || std::strcmp(list + used - 3, "...") != 0)) {
            std::strcat(list, "...");
        }
        return;
    }
    std::memcpy(list + used, entry.c_str(), entry.size() + 1);
}

bool readMoments(int ncid, int nVars, NC_RADAR* pNc) {
    struct Candidate {
        int m_varid;
        std::string m_moment;  // the table's moment name; empty for the file's own moments
        std::string m_variable;
        VarShape m_shape;
    };
    std::vector<Candidate> byName;
    std::vector<Candidate> byAlias;
    std::vector<Candidate> byStandardName;
    std::vector<Candidate> byOwnName;
    for (int varid = 0; varid < nVars; varid++) {
        char szName[NC_MAX_NAME + 1] = {};
        VarShape shape;
        if (nc().inq_varname(ncid, varid, szName) != NC_NOERR || !inquireVar(ncid, varid, &shape)) {
            return false;
        }
        const bool bShaped = isNumeric(shape.m_type) && isRayBinShaped(ncid, shape, pNc->m_dim);
        if (isDocumentedMoment(szName)) {
            // A variable that carries a moment's name must be a moment.
            if (!bShaped) {
                return false;
            }
            byName.push_back({varid, szName, szName, shape});
            continue;
        }
        if (!bShaped) {
            if (!isNumeric(shape.m_type) && isRayBinShaped(ncid, shape, pNc->m_dim)) {
                noteSkipped(pNc, szName, "not numeric");
            }
            continue;
        }
        const char* szMoment = lookupAlias(kMomentAliases, std::size(kMomentAliases), szName);
        if (szMoment != nullptr) {
            byAlias.push_back({varid, szMoment, szName, shape});
            continue;
        }
        char szStandard[NC_MAX_NAME + 1] = {};
        if (readAttText(ncid, varid, "standard_name", szStandard, sizeof(szStandard))) {
            szMoment =
                lookupAlias(kMomentStandardNames, std::size(kMomentStandardNames), szStandard);
            if (szMoment != nullptr) {
                byStandardName.push_back({varid, szMoment, szName, shape});
                continue;
            }
        }
        byOwnName.push_back({varid, "", szName, shape});
    }

    // Recognised moments first, so that they keep the table's names; a second variable for
    // the same field, and every moment the table does not know, keeps its own name.
    std::vector<std::string> taken;
    for (const std::vector<Candidate>* pList : {&byName, &byAlias, &byStandardName, &byOwnName}) {
        for (const Candidate& c : *pList) {
            if (pNc->m_iMaxMoment >= NC_MAX_MOMENT) {
                noteSkipped(pNc, c.m_variable, "more moments than the volume holds");
                continue;
            }
            std::string moment = c.m_moment;
            std::string field = moment.empty() ? "" : standardFieldName(moment.c_str());
            if (field.empty() || std::find(taken.begin(), taken.end(), field) != taken.end()) {
                moment.clear();
                field = ownFieldName(c.m_variable, taken);
                if (field.empty()) {
                    noteSkipped(pNc, c.m_variable, "no free field name");
                    continue;
                }
            }
            if (!readMomentVar(ncid, c.m_varid, c.m_shape, moment.c_str(), c.m_variable.c_str(),
                               field.c_str(), pNc)) {
                return false;
            }
            taken.push_back(field);
        }
    }
    return true;
}

int readVariables(int ncid, NC_RADAR* pNc) {
    int nVars = 0;
    if (nc().inq_nvars(ncid, &nVars) != NC_NOERR || nVars < 0) {
        return 0;
    }
    for (int varid = 0; varid < nVars; varid++) {
        char szName[NC_MAX_NAME + 1] = {};
        if (nc().inq_varname(ncid, varid, szName) != NC_NOERR) {
            return 0;
        }
        for (const NcVarDesc& desc : kVarTable) {
            if (std::strcmp(desc.m_szName, szName) != 0) {
                continue;
            }
            if (!readMetaVar(ncid, varid, desc, pNc)) {
                return 0;
            }
            if (std::strcmp(szName, "time") == 0) {
                readAttText(ncid, varid, "units", pNc->m_coordi_var.m_szTimeUnits,
                            sizeof(pNc->m_coordi_var.m_szTimeUnits));
            } else if (std::strcmp(szName, "range") == 0) {
                readRangeAttributes(ncid, varid, &pNc->m_coordi_var.m_rangeAttr);
            }
            break;
        }
    }
    return readMoments(ncid, nVars, pNc) ? 1 : 0;
}

// ---------------------------------------------------------------------------------------
// Open path

enum class NcContainer { kClassic, kUnsafeClassic, kHdf5, kNotNetcdf };

struct Fd {
    int m_fd = -1;
    ~Fd() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
};

// What holds the file, from its own bytes: a classic file whose header fits the file, one
// whose header does not (the reason in *pWhy), an HDF5 file, or something else.
NcContainer containerOf(const char* szPath, std::string* pWhy) {
    Fd file;
    // Non-blocking, so that a FIFO cannot hold the open up.
    file.m_fd = ::open(szPath, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st {};
    if (file.m_fd < 0 || ::fstat(file.m_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        return NcContainer::kNotNetcdf;
    }
    const auto fileSize = static_cast<uint64_t>(st.st_size);
    unsigned char head[4] = {};
    if (::pread(file.m_fd, head, sizeof(head), 0) == static_cast<ssize_t>(sizeof(head)) &&
        isNcClassicSignature(head, sizeof(head))) {
        return checkNcClassicHeader(file.m_fd, fileSize, pWhy) ? NcContainer::kClassic
                                                               : NcContainer::kUnsafeClassic;
    }
    return hasHdf5Signature(file.m_fd, fileSize) ? NcContainer::kHdf5 : NcContainer::kNotNetcdf;
}

}  // namespace

NC_RADAR* readNcRadarInProcess(const char* szFile, int* pOpenStatus) {
    std::string why;
    if (netcdfLibrary(&why) == nullptr) {
        *pOpenStatus = NC_NOERR;
        rdrError(kLoadFunc, why.c_str());
        return nullptr;
    }
    NcFile file;
    *pOpenStatus = szFile == nullptr ? NC_EINVAL : nc().open(szFile, NC_NOWRITE, &file.m_id);
    if (*pOpenStatus != NC_NOERR) {
        file.m_id = -1;
        return nullptr;
    }
    NC_DIMENSION dim{};
    if (!readDimensions(file.m_id, &dim)) {
        rdrError(kLoadFunc, "fnReadNcRadarDimensions fail");
        return nullptr;
    }
    // Every array is sized from these dimensions: refuse sizes no volume scan has.
    const bool bSizesOk =
        static_cast<size_t>(dim.m_nTime) * static_cast<size_t>(dim.m_nRange) <= kMaxValues &&
        static_cast<size_t>(dim.m_nTime) <= kMaxRays &&
        static_cast<size_t>(dim.m_nRange) <= kMaxValues &&
        static_cast<size_t>(dim.m_nSweep) <= kMaxSweeps &&
        static_cast<size_t>(dim.m_nR_calib) <= kMaxSweeps &&
        static_cast<size_t>(dim.m_nFrequency) <= kMaxSweeps;
    // Allocated with calloc: arrays are added as their variables are read.
    NC_RADAR* pNc = bSizesOk ? static_cast<NC_RADAR*>(std::calloc(1, sizeof(NC_RADAR))) : nullptr;
    if (pNc == nullptr) {
        rdrError(kLoadFunc, "fnInitNcRadar fail");
        return nullptr;
    }
    pNc->m_dim = dim;
    bool bRead = false;
    try {
        readGlobalAttributes(file.m_id, &pNc->m_global_attr);
        bRead = readVariables(file.m_id, pNc) == 1;
    } catch (const std::bad_alloc&) {
        bRead = false;  // scratch buffers are vectors; the load fails like any other
    }
    if (!bRead) {
        rdrError(kLoadFunc, "fnReadNcRadarVariables fail");
        fnFreeNcRadar(pNc);
        return nullptr;
    }
    return pNc;
}

NC_RADAR* fnLoadNcRadar(const char* szFile) {
    // libnetcdf trusts a classic header's counts and libhdf5 can crash on a damaged file:
    // the container decides where the file may be opened.
    if (szFile == nullptr) {
        rdrError(kLoadFunc, "nc_open fail");
        return nullptr;
    }
    // The same file with every run of slashes made one: libnetcdf takes a name containing
    // "scheme://" for a URL and would fetch it from the network.
    std::string path;
    for (const char* p = szFile; *p != '\0'; p++) {
        if (*p != '/' || path.empty() || path.back() != '/') {
            path += *p;
        }
    }
    std::string why;
    const NcContainer container = containerOf(path.c_str(), &why);
    // Loaded here, before a child is forked to read with it.
    if ((container == NcContainer::kClassic || container == NcContainer::kHdf5) &&
        netcdfLibrary(&why) == nullptr) {
        rdrError(kLoadFunc, why.c_str());
        return nullptr;
    }
    switch (container) {
        case NcContainer::kClassic: {
            int openStatus = NC_NOERR;
            NC_RADAR* pNc = readNcRadarInProcess(path.c_str(), &openStatus);
            if (pNc == nullptr && openStatus != NC_NOERR) {
                rdrError(kLoadFunc, "nc_open fail");
            }
            return pNc;
        }
        case NcContainer::kHdf5:
            return loadNcRadarIsolated(path.c_str());
        case NcContainer::kUnsafeClassic:
            rdrError(kLoadFunc, ("classic header refused: " + why).c_str());
            return nullptr;
        case NcContainer::kNotNetcdf:
            break;
    }
    rdrError(kLoadFunc, "nc_open fail");
    return nullptr;
}

char** allocNcTextArray(size_t n) {
    return allocTextArray(n);
}

std::vector<NcOwnedArray> ncOwnedArrays(NC_RADAR* pNc) {
    std::vector<NcOwnedArray> arrays;
    for (const NcVarDesc& desc : kVarTable) {
        if (desc.m_count != kOne) {
            arrays.push_back(
                {reinterpret_cast<void**>(reinterpret_cast<char*>(pNc) + desc.m_offset),
                 expectedCount(pNc->m_dim, desc.m_count), destSize(desc.m_dest),
                 desc.m_dest == kText, false});
        }
    }
    const size_t nValues =
        static_cast<size_t>(pNc->m_dim.m_nTime) * static_cast<size_t>(pNc->m_dim.m_nRange);
    for (int m = 0; m < pNc->m_iMaxMoment && m < NC_MAX_MOMENT; m++) {
        short** ppData = &pNc->m_moment_var[m].m_pData;
        arrays.push_back(
            {reinterpret_cast<void**>(ppData), nValues, sizeof(**ppData), false, true});
    }
    return arrays;
}

// Every array released here is listed by ncOwnedArrays too (the child's hand-over).
void fnFreeNcRadar(NC_RADAR* pNc) {
    if (pNc == nullptr) {
        return;
    }
    for (const NcVarDesc& desc : kVarTable) {
        if (desc.m_count == kOne) {
            continue;
        }
        void** ppArray = reinterpret_cast<void**>(reinterpret_cast<char*>(pNc) + desc.m_offset);
        std::free(*ppArray);
        *ppArray = nullptr;
    }
    for (int m = 0; m < pNc->m_iMaxMoment && m < NC_MAX_MOMENT; m++) {
        std::free(pNc->m_moment_var[m].m_pData);
    }
    std::free(pNc);
}

int fnNcReadData(int iNcid, const char* pDataName, void* pData) {
    int varid = -1;
    std::string why;
    if (pDataName == nullptr || pData == nullptr || netcdfLibrary(&why) == nullptr ||
        nc().inq_varid(iNcid, pDataName, &varid) != NC_NOERR) {
        return -1;
    }
    VarShape shape;
    if (!inquireVar(iNcid, varid, &shape) || !isNumeric(shape.m_type) ||
        nc().get_var_double(iNcid, varid, static_cast<double*>(pData)) != NC_NOERR) {
        return -1;
    }
    return varid;
}
