#include "nc_fixture.h"

#include <cstdio>
#include <cstring>

namespace rdrtest {

namespace {

// Stops at the first failing netCDF call and reports it once.
struct NcWriter {
    int m_id = -1;
    bool m_ok = true;

    bool check(int status, const char* what) {
        if (m_ok && status != NC_NOERR) {
            std::fprintf(stderr, "writeNcVolume: %s: %s\n", what, nc_strerror(status));
            m_ok = false;
        }
        return m_ok;
    }

    int defVar(const char* name, nc_type type, const std::vector<int>& dims) {
        int varid = -1;
        if (m_ok) {
            check(nc_def_var(m_id, name, type, static_cast<int>(dims.size()), dims.data(), &varid),
                  name);
        }
        return varid;
    }

    void textAtt(int varid, const char* name, const std::string& value) {
        if (m_ok) {
            check(nc_put_att_text(m_id, varid, name, value.size(), value.c_str()), name);
        }
    }
};

// Strings of a (n, string_length) char variable, NUL-padded.
std::vector<char> packStrings(const std::vector<std::string>& strings, size_t strLen) {
    std::vector<char> packed(strings.size() * strLen, '\0');
    for (size_t i = 0; i < strings.size(); i++) {
        std::memcpy(packed.data() + i * strLen, strings[i].data(),
                    std::min(strings[i].size(), strLen));
    }
    return packed;
}

}  // namespace

NcVolumeShape simpleNcVolume(int nSweep, int raysPerSweep, int nRange) {
    NcVolumeShape shape;
    shape.m_nTime = nSweep * raysPerSweep;
    shape.m_nRange = nRange;
    for (int s = 0; s < nSweep; s++) {
        shape.m_sweepStart.push_back(s * raysPerSweep);
        shape.m_sweepEnd.push_back((s + 1) * raysPerSweep - 1);
        shape.m_fixedAngle.push_back(0.5f + s);
        shape.m_sweepMode.push_back("azimuth_surveillance");
    }
    for (int r = 0; r < shape.m_nTime; r++) {
        shape.m_time.push_back(r);
        shape.m_azimuth.push_back(static_cast<float>(r % raysPerSweep) + 0.5f);
        shape.m_elevation.push_back(0.5f + r / raysPerSweep);
    }
    for (int b = 0; b < nRange; b++) {
        shape.m_range.push_back(125.0f + 250.0f * b);
    }
    shape.m_firstGate = 125.0f;
    shape.m_gateSpacing = 250.0f;
    return shape;
}

NcMomentShape rampMoment(const NcVolumeShape& shape, const std::string& name) {
    NcMomentShape moment;
    moment.m_name = name;
    moment.m_type = NC_FLOAT;
    for (int r = 0; r < shape.m_nTime; r++) {
        for (int b = 0; b < shape.m_nRange; b++) {
            moment.m_values.push_back(r + b / 100.0);
        }
    }
    return moment;
}

bool writeNcVolume(const std::string& path, const NcVolumeShape& shape) {
    NcWriter w;
    if (!w.check(nc_create(path.c_str(), NC_CLOBBER | NC_NETCDF4, &w.m_id), path.c_str())) {
        return false;
    }
    const size_t nSweep = shape.m_sweepStart.size();
    const size_t strLen = 32;
    int dimTime = -1;
    int dimRange = -1;
    int dimSweep = -1;
    int dimString = -1;
    w.check(nc_def_dim(w.m_id, "time", shape.m_nTime, &dimTime), "time");
    w.check(nc_def_dim(w.m_id, "range", shape.m_nRange, &dimRange), "range");
    w.check(nc_def_dim(w.m_id, "sweep", nSweep, &dimSweep), "sweep");
    w.check(nc_def_dim(w.m_id, "string_length",
                       shape.m_unlimitedStringLength ? NC_UNLIMITED : strLen, &dimString),
            "string_length");
    w.textAtt(NC_GLOBAL, "Conventions", "CF/Radial");
    w.textAtt(NC_GLOBAL, "instrument_name", shape.m_instrumentName);
    w.textAtt(NC_GLOBAL, "site_name", shape.m_siteName);

    const int vTime = w.defVar("time", NC_DOUBLE, {dimTime});
    if (!shape.m_timeUnits.empty()) {
        w.textAtt(vTime, "units", shape.m_timeUnits);
    }
    const int vRange = w.defVar("range", NC_FLOAT, {dimRange});
    if (w.m_ok && shape.m_firstGate) {
        w.check(nc_put_att_float(w.m_id, vRange, "meters_to_center_of_first_gate", NC_FLOAT, 1,
                                 &*shape.m_firstGate),
                "first gate");
    }
    if (w.m_ok && shape.m_gateSpacing) {
        w.check(nc_put_att_float(w.m_id, vRange, "meters_between_gates", NC_FLOAT, 1,
                                 &*shape.m_gateSpacing),
                "gate spacing");
    }
    const int vAzimuth = w.defVar("azimuth", NC_FLOAT, {dimTime});
    const int vElevation = w.defVar("elevation", NC_FLOAT, {dimTime});
    const int vStart = w.defVar("sweep_start_ray_index", NC_INT, {dimSweep});
    const int vEnd = w.defVar("sweep_end_ray_index", NC_INT, {dimSweep});
    const int vFixed = w.defVar("fixed_angle", NC_FLOAT, {dimSweep});
    const int vMode = w.defVar("sweep_mode", NC_CHAR, {dimSweep, dimString});
    const int vCoverage = w.defVar("time_coverage_start", NC_CHAR, {dimString});
    const int vLat = w.defVar("latitude", NC_DOUBLE, {});
    const int vLon = w.defVar("longitude", NC_DOUBLE, {});
    const int vAlt = w.defVar("altitude", NC_DOUBLE, {});

    std::vector<int> momentIds;
    for (const NcMomentShape& m : shape.m_moments) {
        std::vector<int> dims;
        for (const std::string& dimName : m.m_dims) {
            int id = -1;
            w.check(nc_inq_dimid(w.m_id, dimName.c_str(), &id), dimName.c_str());
            dims.push_back(id);
        }
        const int varid = w.defVar(m.m_name.c_str(), m.m_type, dims);
        momentIds.push_back(varid);
        if (!w.m_ok) {
            break;
        }
        if (m.m_fill) {
            // _FillValue must have the variable's type: convert through the library.
            w.check(nc_put_att_double(w.m_id, varid, "_FillValue", m.m_type, 1, &*m.m_fill),
                    "_FillValue");
        }
        if (m.m_scale) {
            const float scale = static_cast<float>(*m.m_scale);
            w.check(nc_put_att_float(w.m_id, varid, "scale_factor", NC_FLOAT, 1, &scale),
                    "scale_factor");
        }
        if (m.m_offset) {
            const float offset = static_cast<float>(*m.m_offset);
            w.check(nc_put_att_float(w.m_id, varid, "add_offset", NC_FLOAT, 1, &offset),
                    "add_offset");
        }
        if (!m.m_standardName.empty()) {
            w.textAtt(varid, "standard_name", m.m_standardName);
        }
    }
    if (w.m_ok) {
        w.check(nc_enddef(w.m_id), "enddef");
    }

    auto putFloats = [&](int varid, const std::vector<float>& v, const char* what) {
        if (w.m_ok && !v.empty()) {
            w.check(nc_put_var_float(w.m_id, varid, v.data()), what);
        }
    };
    if (w.m_ok && !shape.m_time.empty()) {
        w.check(nc_put_var_double(w.m_id, vTime, shape.m_time.data()), "time values");
    }
    putFloats(vRange, shape.m_range, "range values");
    putFloats(vAzimuth, shape.m_azimuth, "azimuth values");
    putFloats(vElevation, shape.m_elevation, "elevation values");
    putFloats(vFixed, shape.m_fixedAngle, "fixed_angle values");
    if (w.m_ok && nSweep > 0) {
        w.check(nc_put_var_int(w.m_id, vStart, shape.m_sweepStart.data()), "start index");
        w.check(nc_put_var_int(w.m_id, vEnd, shape.m_sweepEnd.data()), "end index");
        std::vector<char> modes = packStrings(shape.m_sweepMode, strLen);
        const size_t start[2] = {0, 0};
        const size_t count[2] = {shape.m_sweepMode.size(), strLen};
        if (!shape.m_sweepMode.empty()) {
            w.check(nc_put_vara_text(w.m_id, vMode, start, count, modes.data()), "sweep_mode");
        }
    }
    if (w.m_ok) {
        std::vector<char> text = packStrings({shape.m_timeCoverageStart}, strLen);
        const size_t start[1] = {0};
        const size_t count[1] = {shape.m_timeCoverageStart.size()};
        w.check(nc_put_vara_text(w.m_id, vCoverage, start, count, text.data()),
                "time_coverage_start");
        w.check(nc_put_var_double(w.m_id, vLat, &shape.m_latitude), "latitude");
        w.check(nc_put_var_double(w.m_id, vLon, &shape.m_longitude), "longitude");
        w.check(nc_put_var_double(w.m_id, vAlt, &shape.m_altitude), "altitude");
    }
    for (size_t i = 0; w.m_ok && i < shape.m_moments.size(); i++) {
        if (!shape.m_moments[i].m_values.empty()) {
            w.check(nc_put_var_double(w.m_id, momentIds[i], shape.m_moments[i].m_values.data()),
                    shape.m_moments[i].m_name.c_str());
        }
    }
    const int closeStatus = nc_close(w.m_id);
    return w.check(closeStatus, "close");
}

}  // namespace rdrtest
