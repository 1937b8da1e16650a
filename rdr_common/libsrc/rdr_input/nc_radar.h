// CF/Radial NetCDF volumes: rays along the "time" dimension, bins along "range", sweeps
// delimited by start and end ray indices. fnLoadNcRadar reads a file into NC_RADAR;
// fnNcSyncUpStd turns it into a STD_RADAR. Release both with their free functions.
//
// Metadata variables are recognised by name (NC_EN_VAR_* classes) and are optional: a
// variable that is absent leaves its array null or its scalar zero. Moments are the
// numeric variables shaped (time, range): the ones the loader recognises (see
// netcdf_volume_input.cc) become the field table's names, every other one keeps its own
// name. Each is decoded once, at load time, into the standard volume's scale (value x 100,
// truncated, -32767 for no data; a moment whose values would not fit 16 bits at x 100
// takes x 10 or x 1), so that the sync-up only copies rays.
#ifndef RDR_NC_RADAR_H
#define RDR_NC_RADAR_H

#include <ctime>

#include "standard_volume.h"

// At most this many moments are kept; further ones are named in m_szSkipped.
constexpr int NC_MAX_MOMENT = 32;
// Size of the text of every global attribute.
constexpr int NC_ATTR_TEXT_LEN = 1024;
// Size of the text of every string variable (sweep_mode, time_coverage_start, ...).
constexpr int NC_VAR_TEXT_LEN = 128;

// Variable classes: which group of NC_RADAR a variable name fills.
enum {
    NC_EN_VAR_GLOBAL = 0,
    NC_EN_VAR_COORDINATE = 1,
    NC_EN_VAR_LOCATION = 2,
    NC_EN_VAR_SWEEP = 3,
    NC_EN_VAR_SENSOR = 4,
    NC_EN_VAR_MOVING = 5,
    NC_EN_VAR_INSTRUMENT = 6,
    NC_EN_VAR_RADAR = 7,
    NC_EN_VAR_R_CALIB = 8,
    NC_EN_VAR_VEL = 9,
    NC_EN_VAR_COR = 10,
    NC_EN_VAR_MOMENT = 11,
};

struct NC_DIMENSION {
    int m_nTime;
    int m_nRange;
    int m_nSweep;
    int m_nString_length_short;
    int m_nString_length_medium;
    int m_nString_length_long;
    int m_nR_calib;
    int m_nRay_n_gates;
    int m_nRay_start_index;
    int m_nFrequency;
};

struct NC_GLOBAL_ATTR {
    char m_szConventions[NC_ATTR_TEXT_LEN];
    char m_szVersion[NC_ATTR_TEXT_LEN];
    char m_szInstitution[NC_ATTR_TEXT_LEN];
    char m_szReferences[NC_ATTR_TEXT_LEN];
    char m_szSource[NC_ATTR_TEXT_LEN];
    char m_szHistory[NC_ATTR_TEXT_LEN];
    char m_szComment[NC_ATTR_TEXT_LEN];
    char m_szInstrument_name[NC_ATTR_TEXT_LEN];
    char m_szSite_name[NC_ATTR_TEXT_LEN];
    char m_szScan_name[NC_ATTR_TEXT_LEN];
    char m_szPlatform_is_mobile[NC_ATTR_TEXT_LEN];
    char m_szN_gates_vary[NC_ATTR_TEXT_LEN];
    char m_szRay_times_increase[NC_ATTR_TEXT_LEN];
    char m_szField_names[NC_ATTR_TEXT_LEN];
    // Some writers (Radx) repeat the coverage start as a global attribute; used when the
    // time_coverage_start variable is absent.
    char m_szTime_coverage_start[NC_ATTR_TEXT_LEN];
    int m_iScan_id;
};

struct NC_GLOBAL_VAR {
    int m_iVolume_number;
    char m_szPlatform_type[NC_VAR_TEXT_LEN];
    char m_szInstrument_type[NC_VAR_TEXT_LEN];
    char m_szPrimary_axis[NC_VAR_TEXT_LEN];
    char m_szTime_coverage_start[NC_VAR_TEXT_LEN];
    char m_szTime_coverage_end[NC_VAR_TEXT_LEN];
    char m_szTime_reference[NC_VAR_TEXT_LEN];
};

struct NC_RANGE_ATTR {
    float m_fMeters_to_center_of_first_gate;
    float m_fMeters_between_gates;
    int m_bHasFirstGate;    // 1 when the attribute is present
    int m_bHasGateSpacing;  // 1 when the attribute is present
};

struct NC_COORDINATE_VAR {
    double* m_pTime;  // per ray, in units of m_szTimeUnits (CF: "seconds since ...")
    NC_RANGE_ATTR m_rangeAttr;
    float* m_pRange;  // per bin, metres to the bin centre
    char m_szTimeUnits[NC_VAR_TEXT_LEN];
};

struct NC_LOCATION_VAR {
    // Moving platforms store one position per ray; the first is kept.
    double m_dLatitude;
    double m_dLongitude;
    double m_dAltitude;
    double m_dAltitude_agl;
};

struct NC_SWEEP_VAR {
    int* m_pSweep_number;
    char** m_ppSweep_mode;
    float* m_pFixed_angle;
    int* m_pSweep_start_ray_index;
    int* m_pSweep_end_ray_index;
    float* m_pTarget_scan_rate;
    char** m_ppRays_are_indexed;
    float* m_pRay_angled_res;
};

struct NC_SENSOR_VAR {
    float* m_pAzimuth;
    float* m_pElevation;
    float* m_pScan_rate;
    int* m_pAntenna_transition;
    int* m_pGeorefs_applied;
};

struct NC_MOVING_VAR {
    float* m_pHeading;
    float* m_pRoll;
    float* m_pPitch;
    float* m_pDrift;
    float* m_pRotation;
    float* m_pTilt;
};

struct NC_INSTRUMENT_SUB {
    float* m_pFrequency;  // per frequency
    char** m_ppFollow_mode;
    float* m_pPulse_width;  // per ray, seconds
    char** m_ppPrt_mode;
    float* m_pPrt;  // per ray, seconds
    float* m_pPrt_ratio;
    char** m_ppPolarization_mode;
    float* m_pNyquist_velocity;
    float* m_pUnambiguous_range;
    int* m_pN_samples;
};

struct NC_RADAR_SUB {
    float m_fRadar_antenna_gain_h;
    float m_fRadar_antenna_gain_v;
    float m_fRadar_beam_width_h;
    float m_fRadar_beam_width_v;
    float m_fRadar_receiver_bandwidth;
    float* m_pRadar_measured_transmit_power_h;
    float* m_pRadar_measured_transmit_power_v;
};

// One entry per calibration (r_calib dimension) unless noted.
struct NC_R_CALIB_SUB {
    int* m_pR_calib_index;  // per ray
    char** m_ppR_calib_time;
    float* m_pR_calib_pulse_width;
    float* m_pR_calib_antenna_gain_h;
    float* m_pR_calib_antenna_gain_v;
    float* m_pR_calib_xmit_power_h;
    float* m_pR_calib_xmit_power_v;
    float* m_pR_calib_two_way_waveguide_loss_h;
    float* m_pR_calib_two_way_waveguide_loss_v;
    float* m_pR_calib_two_way_radome_loss_h;
    float* m_pR_calib_two_way_radome_loss_v;
    float* m_pR_calib_receiver_mismatch_loss;
    float* m_pR_calib_radar_constant_h;
    float* m_pR_calib_radar_constant_v;
    float* m_pR_calib_noise_hc;
    float* m_pR_calib_noise_vc;
    float* m_pR_calib_noise_hx;
    float* m_pR_calib_noise_vx;
    float* m_pR_calib_receiver_gain_hc;
    float* m_pR_calib_receiver_gain_vc;
    float* m_pR_calib_receiver_gain_hx;
    float* m_pR_calib_receiver_gain_vx;
    float* m_pR_calib_base_dbz_1km_hc;
    float* m_pR_calib_base_dbz_1km_vc;
    float* m_pR_calib_base_dbz_1km_hx;
    float* m_pR_calib_base_dbz_1km_vx;
    float* m_pR_calib_sun_power_hc;
    float* m_pR_calib_sun_power_vc;
    float* m_pR_calib_sun_power_hx;
    float* m_pR_calib_sun_power_vx;
    float* m_pR_calib_noise_source_power_h;
    float* m_pR_calib_noise_source_power_v;
    float* m_pR_calib_power_measure_loss_h;
    float* m_pR_calib_power_measure_loss_v;
    float* m_pR_calib_coupler_forward_loss_h;
    float* m_pR_calib_coupler_forward_loss_v;
    float* m_pR_calib_zdr_correction;
    float* m_pR_calib_ldr_correction_h;
    float* m_pR_calib_ldr_correction_v;
    float* m_pR_calib_system_phidp;
    float* m_pR_calib_test_power_h;
    float* m_pR_calib_test_power_v;
    float* m_pR_calib_receiver_slope_hc;
    float* m_pR_calib_receiver_slope_vc;
    float* m_pR_calib_receiver_slope_hx;
    float* m_pR_calib_receiver_slope_vx;
};

// Platform motion, per ray.
struct NC_PLATFORM_VEL_SUB {
    float* m_pEastward_velocity;
    float* m_pNorthward_velocity;
    float* m_pVertical_velocity;
    float* m_pEastward_wind;
    float* m_pNorthward_wind;
    float* m_pVertical_wind;
    float* m_pHeading_rate;
    float* m_pRoll_rate;
    float* m_pPitch_rate;
};

// Georeference corrections of the volume (the first value when stored per ray).
struct NC_GEOMETRY_COR_SUB {
    float m_fAzimuth_correction;
    float m_fElevation_correction;
    float m_fRange_correction;
    float m_fLongitude_correction;
    float m_fLatitude_correction;
    float m_fPressure_altitude_correction;
    float m_fRadar_altitude_correction;
    float m_fEastward_ground_speed_correction;
    float m_fNorthward_ground_speed_correction;
    float m_fVertical_velocity_correction;
    float m_fHeading_correction;
    float m_fRoll_correction;
    float m_fPitch_correction;
    float m_fDrift_correction;
    float m_fRotation_correction;
    float m_fTilt_correction;
};

struct NC_MOMENT_ATTR {
    short m_sFillValue;     // _FillValue when it fits in 16 bits, else 0 (informational)
    float m_fScale_factor;  // 1 when absent (CF default)
    float m_fAdd_offset;    // 0 when absent (CF default)
};

struct NC_MOMENT_VAR {
    NC_MOMENT_ATTR m_momentAttr;
    char m_szMoment[7];      // moment name of the field table's NetCDF column ("DBZ", "VEL", ...);
                             // empty for a moment the table does not hold
    char m_szVariable[257];  // the file's variable name
    int m_iNcType;           // stored netCDF type of the variable
    // m_nTime x m_nRange values, ray-major, already in the standard scale: physical value
    // x m_iScaleFactor truncated toward zero; -32767 for fill values and for values that
    // do not fit.
    short* m_pData;
    // Name of the standard volume's field: the field table's for m_szMoment, else the
    // variable's own, cut to 8 characters and made unique within the volume.
    char m_szFieldName[9];
    // 100, or 10 or 1 when the moment's values would not fit 16 bits at 100 (differential
    // phase beyond 327.67 degrees).
    int m_iScaleFactor;
};

struct NC_RADAR {
    NC_DIMENSION m_dim;
    NC_GLOBAL_ATTR m_global_attr;
    NC_GLOBAL_VAR m_global_var;
    NC_COORDINATE_VAR m_coordi_var;
    NC_LOCATION_VAR m_locat_var;
    NC_SWEEP_VAR m_sweep_var;
    NC_SENSOR_VAR m_sensor_var;
    NC_MOVING_VAR m_moving_var;
    NC_INSTRUMENT_SUB m_instru_sub;
    NC_RADAR_SUB m_radar_sub;
    NC_R_CALIB_SUB m_r_calib_sub;
    NC_PLATFORM_VEL_SUB m_vel_sub;
    NC_GEOMETRY_COR_SUB m_cor_sub;
    int m_iMaxMoment;
    NC_MOMENT_VAR m_moment_var[NC_MAX_MOMENT];
    // Variables shaped like moments that were not loaded, as "name (reason)" separated by
    // "; " (cut at the end with "..." when they do not fit).
    char m_szSkipped[1024];
};

NC_RADAR* fnLoadNcRadar(const char* szFile);
void fnFreeNcRadar(NC_RADAR* pNc);
// Reads the whole named variable into pData, converted to double; pData must hold as many
// values as the variable has. Returns the variable id, or -1.
int fnNcReadData(int iNcid, const char* pDataName, void* pData);
STD_RADAR* fnNcSyncUpStd(NC_RADAR* pNc);

// Parses a UTC date-time as CF/Radial writers spell it: "2024-05-01T00:00:00Z",
// "2021-10-11 22:36:02.712", "2020-02-05 10:08:25 0:00", "2020-03-12" ... Fractional
// seconds are returned separately; a numeric zone offset is applied. Returns 1 and the
// fields (normalised to UTC through fnMakeTime's calendar) or 0 when the text is not a
// valid date-time.
int ncParseTime(const char* szText, time_t* pTime, double* pFraction);

#endif
