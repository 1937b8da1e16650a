// Writes small CF/Radial NetCDF volumes for reader tests: any ray, bin and sweep layout,
// moments of any stored type with or without packing attributes.
#ifndef RDR_TESTING_NC_FIXTURE_H
#define RDR_TESTING_NC_FIXTURE_H

#include <netcdf.h>

#include <optional>
#include <string>
#include <vector>

namespace rdrtest {

struct NcMomentShape {
    std::string m_name;
    nc_type m_type = NC_FLOAT;
    std::vector<double> m_values;  // time x range, ray-major, stored (packed) values
    std::optional<double> m_scale;
    std::optional<double> m_offset;
    std::optional<double> m_fill;  // written in the variable's own type
    std::string m_standardName;
    std::vector<std::string> m_dims = {"time", "range"};
};

struct NcVolumeShape {
    int m_nTime = 0;
    int m_nRange = 0;
    std::vector<int> m_sweepStart;
    std::vector<int> m_sweepEnd;
    std::vector<float> m_fixedAngle;
    std::vector<std::string> m_sweepMode;
    std::string m_timeCoverageStart = "2024-05-01T00:00:00Z";
    std::string m_timeUnits = "seconds since 2024-05-01T00:00:00Z";
    std::vector<double> m_time;
    std::vector<float> m_range;
    std::optional<float> m_firstGate;    // range:meters_to_center_of_first_gate
    std::optional<float> m_gateSpacing;  // range:meters_between_gates
    std::vector<float> m_azimuth;
    std::vector<float> m_elevation;
    std::vector<NcMomentShape> m_moments;
    bool m_unlimitedStringLength = false;
    std::string m_instrumentName = "TESTRDR";
    std::string m_siteName = "TESTSITE";
    double m_latitude = 37.5;
    double m_longitude = 127.25;
    double m_altitude = 123.9;
};

// A PPI volume of nSweep sweeps of raysPerSweep rays at 1-degree steps and nRange bins of
// 250 m from 125 m; time runs one second per ray; no moments.
NcVolumeShape simpleNcVolume(int nSweep, int raysPerSweep, int nRange);

// A float moment over the whole volume whose value at (ray, bin) is ray + bin / 100.
NcMomentShape rampMoment(const NcVolumeShape& shape, const std::string& name);

// Writes the volume as netCDF-4; false (with the netCDF error on stderr) on failure.
bool writeNcVolume(const std::string& path, const NcVolumeShape& shape);

}  // namespace rdrtest

#endif
