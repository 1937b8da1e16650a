// Every CF/Radial sample file from other software, loaded and converted, against an
// independent decode by the netCDF4 Python module (Debian python3-netcdf4): header,
// sweep layout, ray geometry and times, and every bin of every moment (value x 100,
// truncated, or x 10 or x 1 when a moment's values do not all fit 16 bits at x 100; masked
// values as -32767). Every moment of the file is kept, the ones the field table does not
// know under their own names.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "core_utilities.h"
#include "nc_radar.h"
#include "standard_volume.h"
#include "test_support.h"

namespace {

// The decoder: reads with netCDF4's own masking and CF unpacking, times through num2date.
const char* const kDecodeScript = R"PY(
import sys, calendar, datetime
import numpy as np
import netCDF4

path, outdir = sys.argv[1], sys.argv[2]
names = sys.argv[3:]
ds = netCDF4.Dataset(path)
out = open(outdir + "/header.txt", "w")

def epoch(dt):
    return calendar.timegm(dt.timetuple())

tvar = ds.variables["time"]
times = netCDF4.num2date(tvar[:], tvar.units, only_use_cftime_datetimes=False,
                         only_use_python_datetimes=True)
ray_epochs = [epoch(t) for t in times]
if "time_coverage_start" in ds.variables:
    start = str(netCDF4.chartostring(ds.variables["time_coverage_start"][:])).strip()
    volume = epoch(datetime.datetime.strptime(start, "%Y-%m-%dT%H:%M:%SZ"))
else:
    volume = ray_epochs[0]
out.write("volume_time %d\n" % volume)
def first(name):
    return float(np.ravel(ds.variables[name][:])[0])
out.write("location %r %r %d\n" % (first("latitude"), first("longitude"), int(first("altitude"))))
rng = ds.variables["range"][:].astype(np.float64)
out.write("range %r %r\n" % (rng[0], (rng[-1] - rng[0]) / (len(rng) - 1)))
out.write("instrument %s|\n" % getattr(ds, "instrument_name", ""))
starts = ds.variables["sweep_start_ray_index"][:]
ends = ds.variables["sweep_end_ray_index"][:]
fixed = ds.variables["fixed_angle"][:]
out.write("sweeps %d\n" % len(starts))
for s in range(len(starts)):
    out.write("sweep %d %d %r\n" % (starts[s], ends[s], float(fixed[s])))
az = ds.variables["azimuth"][:]
el = ds.variables["elevation"][:]
out.write("rays %d %d\n" % (len(az), len(rng)))
for r in range(len(az)):
    out.write("ray %r %r %d\n" % (float(az[r]), float(el[r]), ray_epochs[r]))
for name in names:
    data = ds.variables[name][:]
    values = np.ma.getdata(data)
    mask = np.ma.getmaskarray(data)
    wide = values.dtype == np.float64
    # The largest of 100, 10, 1 at which every finite value fits between the no-data codes.
    for scale in (100, 10, 1):
        x = values * (np.float64(scale) if wide else np.float32(scale))
        if not wide:
            x = x.astype(np.float32)
        with np.errstate(invalid="ignore"):
            misfit = ~mask & np.isfinite(x) & ((x <= -32767) | (x >= 32768))
        if not misfit.any():
            break
    with np.errstate(invalid="ignore"):
        bad = mask | ~np.isfinite(x) | (x <= -32767) | (x >= 32768)
        stored = np.where(bad, -32767, np.trunc(np.where(bad, 0, x))).astype("<i2")
    stored.tofile(outdir + "/" + name + ".i2")
    out.write("scale %s %d\n" % (name, scale))
out.close()
)PY";

struct Decoded {
    long volumeTime = 0;
    double lat = 0, lon = 0;
    int altitude = 0;
    double firstGate = 0, spacing = 0;
    std::string instrument;
    std::vector<int> sweepStart, sweepEnd;
    std::vector<float> fixedAngle;
    int nRay = 0, nRange = 0;
    std::vector<float> azimuth, elevation;
    std::vector<long> rayTime;
    std::map<std::string, std::vector<short>> moments;  // by variable name
    std::map<std::string, int> scales;                  // by variable name
};

bool decodeWithPython(const std::string& file, const std::vector<std::string>& variables,
                      const rdrtest::TempDir& dir, Decoded* pOut) {
    const std::string script = dir.file("decode.py");
    std::ofstream(script) << kDecodeScript;
    std::string command =
        "/usr/bin/python3 '" + script + "' '" + file + "' '" + dir.path().string() + "'";
    for (const std::string& v : variables) {
        command += " '" + v + "'";
    }
    if (std::system(command.c_str()) != 0) {
        return false;
    }
    std::ifstream in(dir.file("header.txt"));
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream ss(line);
        std::string key;
        ss >> key;
        if (key == "volume_time") {
            ss >> pOut->volumeTime;
        } else if (key == "location") {
            ss >> pOut->lat >> pOut->lon >> pOut->altitude;
        } else if (key == "range") {
            ss >> pOut->firstGate >> pOut->spacing;
        } else if (key == "instrument") {
            pOut->instrument = line.substr(11, line.size() - 12);
        } else if (key == "sweep") {
            int start, end;
            double fixed;
            ss >> start >> end >> fixed;
            pOut->sweepStart.push_back(start);
            pOut->sweepEnd.push_back(end);
            pOut->fixedAngle.push_back(static_cast<float>(fixed));
        } else if (key == "rays") {
            ss >> pOut->nRay >> pOut->nRange;
        } else if (key == "scale") {
            std::string name;
            ss >> name;
            ss >> pOut->scales[name];
        } else if (key == "ray") {
            double az, el;
            long t;
            ss >> az >> el >> t;
            pOut->azimuth.push_back(static_cast<float>(az));
            pOut->elevation.push_back(static_cast<float>(el));
            pOut->rayTime.push_back(t);
        }
    }
    for (const std::string& v : variables) {
        std::ifstream bin(dir.file(v + ".i2"), std::ios::binary);
        std::vector<short> values(static_cast<size_t>(pOut->nRay) * pOut->nRange);
        bin.read(reinterpret_cast<char*>(values.data()),
                 static_cast<std::streamsize>(values.size() * sizeof(short)));
        if (!bin) {
            return false;
        }
        pOut->moments[v] = std::move(values);
    }
    return true;
}

struct SampleFile {
    const char* name;
    int sweepMode;
    // Standard field name -> the file's variable, in field order.
    std::vector<std::pair<std::string, std::string>> fields;
};

const SampleFile kSamples[] = {
    {"MLL2217907250U.003.nc",
     STD_EN_SWMD_PPI,
     {{"DZ", "reflectivity"},
      {"DR", "differential_reflectivity"},
      {"VR", "velocity"},
      {"SW", "spectrum_width"},
      {"signal_t", "signal_to_noise_ratio"},
      {"reflecti", "reflectivity_vv"},
      {"uncorrec", "uncorrected_cross_correlation_ratio"},
      {"uncorre1", "uncorrected_differential_phase"},
      {"reflect1", "reflectivity_hh_clut"}}},
    {"Z__C_RJTD_20230801200000_RDR_JMAGPV_RS47937_Gar0p250km0p70deg_PRref_N18_ANAL_cfrad.nc",
     STD_EN_SWMD_PPI,
     {{"CZ", "DBZH"}}},
    {"cfrad.20211011_223602.712_to_20211011_223612.091_DOW8_RHI.nc",
     STD_EN_SWMD_RHI,
     {{"VR", "VEL"},
      {"SW", "WIDTH"},
      {"DZ", "DBZHC"},
      {"NCP", "NCP"},
      {"SNRHC", "SNRHC"},
      {"DBMHC", "DBMHC"},
      {"VS1", "VS1"},
      {"VL1", "VL1"}}},
    {"example_cfradial_ppi.nc", STD_EN_SWMD_PPI, {{"DZ", "reflectivity_horizontal"}}},
    {"example_cfradial_rhi.nc", STD_EN_SWMD_RHI, {{"DZ", "reflectivity_horizontal"}}},
    {"example_plot_ppi_single_sweep.nc", STD_EN_SWMD_PPI, {{"DZ", "reflectivity_at_cor"}}},
    // One-ray sweeps, 360 of them: beyond a PPI volume's usual shape but loaded whole. Its
    // differential phase runs beyond 327.67 degrees and is kept at x 10.
    {"sgpxsaprcfrvptI4.a1.20200205.100827.nc",
     STD_EN_SWMD_VERTICAL,
     {{"RH", "cross_correlation_ratio_hv"},
      {"PH", "differential_phase"},
      {"DR", "differential_reflectivity"},
      {"VR", "mean_doppler_velocity"},
      {"DZ", "reflectivity"},
      {"KD", "specific_differential_phase"},
      {"SW", "spectral_width"},
      {"attenuat", "attenuation_corrected_differential_reflectivity"},
      {"attenua1", "attenuation_corrected_reflectivity_h"},
      {"reflecti", "reflectivity_enhanced"},
      {"reflect1", "reflectivity_v"},
      {"total_po", "total_power"},
      {"total_p1", "total_power_enhanced"},
      {"total_p2", "total_power_v"},
      {"normaliz", "normalized_coherent_power"},
      {"radar_ec", "radar_echo_classification"},
      {"signal_t", "signal_to_noise_ratio"}}},
};

class NcRealFileTest : public ::testing::TestWithParam<SampleFile> {
  protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
    }
};

TEST_P(NcRealFileTest, AgreesWithIndependentDecode) {
    RDR_REQUIRE_SHARED_DATA();
    const SampleFile& sample = GetParam();
    const std::string path = rdrtest::sharedData(std::string("cfradial/") + sample.name);

    NC_RADAR* pNc = fnLoadNcRadar(path.c_str());
    ASSERT_NE(pNc, nullptr);
    std::vector<std::string> variables;
    for (int m = 0; m < pNc->m_iMaxMoment; m++) {
        variables.push_back(pNc->m_moment_var[m].m_szVariable);
    }
    STD_RADAR* pStd = fnNcSyncUpStd(pNc);
    fnFreeNcRadar(pNc);
    ASSERT_NE(pStd, nullptr);
    ASSERT_EQ(fnValidStdRadar(pStd), 1);

    ASSERT_EQ(variables.size(), sample.fields.size());
    for (size_t f = 0; f < sample.fields.size(); f++) {
        EXPECT_EQ(variables[f], sample.fields[f].second);
    }

    rdrtest::TempDir dir;
    Decoded ref;
    ASSERT_TRUE(decodeWithPython(path, variables, dir, &ref));

    const STD_GLOBAL_HDR& hdr = pStd->m_hdr;
    EXPECT_EQ(hdr.m_tConvertTime, ref.volumeTime + RDR_KST_OFFSET_SEC);
    EXPECT_EQ(hdr.m_dLat, ref.lat);
    EXPECT_EQ(hdr.m_dLon, ref.lon);
    EXPECT_EQ(hdr.m_iAnteHeight, ref.altitude);
    EXPECT_EQ(hdr.m_iSweepMode, sample.sweepMode);
    EXPECT_EQ(hdr.m_iNoDataValue, STD_NO_DATA_CODE);
    EXPECT_EQ(std::string(hdr.m_szRadarName), ref.instrument.substr(0, 8));

    ASSERT_EQ(pStd->m_iMaxSweep, static_cast<int>(ref.sweepStart.size()));
    long mismatches = 0;
    std::string firstMismatch;
    for (int s = 0; s < pStd->m_iMaxSweep; s++) {
        const STD_SWEEP* pSweep = pStd->m_ppSweep[s];
        ASSERT_EQ(pSweep->m_iMaxRay, ref.sweepEnd[s] - ref.sweepStart[s] + 1) << "sweep " << s;
        for (int r = 0; r < pSweep->m_iMaxRay; r++) {
            const int g = ref.sweepStart[s] + r;
            const STD_RAY* pRay = pSweep->m_ppRay[r];
            const STD_RAY_HDR& ray = pRay->m_hdr;
            ASSERT_EQ(ray.m_fAzimuth, ref.azimuth[g]) << "sweep " << s << " ray " << r;
            ASSERT_EQ(ray.m_fElevation, ref.elevation[g]) << "sweep " << s << " ray " << r;
            ASSERT_EQ(ray.m_fFixedAngle, ref.fixedAngle[s]);
            ASSERT_EQ(ray.m_tTime, ref.rayTime[g] + RDR_KST_OFFSET_SEC) << "ray " << g;
            const int firstGate = ray.m_iStartRangeKm * 1000 + ray.m_iStartRangeMeter;
            // Whole metres, to the nearest.
            ASSERT_LE(std::fabs(firstGate - ref.firstGate), 0.5);
            ASSERT_LE(std::fabs(ray.m_iBinSpacing - ref.spacing), 0.5);
            ASSERT_EQ(pRay->m_iMaxField, static_cast<int>(sample.fields.size()));
            for (size_t f = 0; f < sample.fields.size(); f++) {
                const STD_FIELD* pField = pRay->m_ppField[f];
                ASSERT_STREQ(pField->m_hdr.m_szFieldName, sample.fields[f].first.c_str());
                ASSERT_EQ(pField->m_hdr.m_iScaleFactor, ref.scales[sample.fields[f].second])
                    << sample.fields[f].second;
                ASSERT_EQ(pField->m_iMaxBin, ref.nRange);
                const short* pExpected = ref.moments[sample.fields[f].second].data() +
                                         static_cast<size_t>(g) * ref.nRange;
                for (int b = 0; b < ref.nRange; b++) {
                    if (pField->m_pData[b] != pExpected[b]) {
                        if (mismatches++ == 0) {
                            firstMismatch = sample.fields[f].second + " ray " + std::to_string(g) +
                                            " bin " + std::to_string(b) + ": " +
                                            std::to_string(pField->m_pData[b]) + " vs " +
                                            std::to_string(pExpected[b]);
                        }
                    }
                }
            }
        }
    }
    EXPECT_EQ(mismatches, 0) << firstMismatch;
    fnFreeStdRadar(pStd);
}

INSTANTIATE_TEST_SUITE_P(SampleFiles, NcRealFileTest, ::testing::ValuesIn(kSamples),
                         [](const ::testing::TestParamInfo<SampleFile>& info) {
                             std::string name;
                             for (const char* p = info.param.name; *p != '\0' && *p != '.'; p++) {
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             }
                             return name.substr(0, 40);
                         });

}  // namespace
