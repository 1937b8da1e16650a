// The GRIB volume writer: the sync-down gathers each moment's rays into one row per ray,
// the encoder fills an ecCodes handle per moment, and the file goes through an atomic
// replacement of the target.
#include "grib_volume_output.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "atomic_file.h"
#include "core_utilities.h"
#include "internal/eccodes_library.h"
#include "internal/fixed_text.h"

namespace {

constexpr const char* kSyncDown = "fnStdSyncDownGribRadar";
constexpr const char* kWrite = "fnWriteGribRadar";
constexpr unsigned char kAbsent = 255;

bool failDown(const std::string& why) {
    rdrError(kSyncDown, why.c_str());
    return false;
}

bool fitsInt32(long long v) {
    return v >= INT_MIN && v <= INT_MAX;
}

// Every sweep, ray and field present.
bool complete(const STD_RADAR* pStd) {
    if (pStd->m_iMaxSweep < 1 || pStd->m_ppSweep == nullptr) {
        return false;
    }
    for (int s = 0; s < pStd->m_iMaxSweep; ++s) {
        const STD_SWEEP* pSweep = pStd->m_ppSweep[s];
        if (pSweep == nullptr || pSweep->m_iMaxRay < 0 ||
            (pSweep->m_iMaxRay > 0 && pSweep->m_ppRay == nullptr)) {
            return false;
        }
        for (int r = 0; r < pSweep->m_iMaxRay; ++r) {
            const STD_RAY* pRay = pSweep->m_ppRay[r];
            if (pRay == nullptr || pRay->m_iMaxField < 0 ||
                (pRay->m_iMaxField > 0 && pRay->m_ppField == nullptr)) {
                return false;
            }
            for (int f = 0; f < pRay->m_iMaxField; ++f) {
                const STD_FIELD* pField = pRay->m_ppField[f];
                if (pField == nullptr || pField->m_iMaxBin < 0 ||
                    (pField->m_iMaxBin > 0 && pField->m_pData == nullptr)) {
                    return false;
                }
            }
        }
    }
    return true;
}

// The volume's moments by name, in the order they first appear, with each one's widest ray.
bool collectMoments(const STD_RADAR* pStd, std::vector<std::string>* pNames,
                    std::vector<int>* pBins, long* pRays) {
    long nRay = 0;
    for (int s = 0; s < pStd->m_iMaxSweep; ++s) {
        const STD_SWEEP* pSweep = pStd->m_ppSweep[s];
        for (int r = 0; r < pSweep->m_iMaxRay; ++r, ++nRay) {
            const STD_RAY* pRay = pSweep->m_ppRay[r];
            if (pRay->m_iMaxField > GRIB_MAX_FIELD) {
                return failDown("a ray carries " + std::to_string(pRay->m_iMaxField) +
                                " moments, more than " + std::to_string(GRIB_MAX_FIELD));
            }
            for (int f = 0; f < pRay->m_iMaxField; ++f) {
                const STD_FIELD* pField = pRay->m_ppField[f];
                const std::string name(
                    pField->m_hdr.m_szFieldName,
                    strnlen(pField->m_hdr.m_szFieldName, sizeof(pField->m_hdr.m_szFieldName)));
                for (int e = 0; e < f; ++e) {
                    if (std::strncmp(pRay->m_ppField[e]->m_hdr.m_szFieldName, name.c_str(),
                                     sizeof(pField->m_hdr.m_szFieldName)) == 0) {
                        return failDown("moment " + name + " appears twice on ray " +
                                        std::to_string(r) + " of sweep " + std::to_string(s));
                    }
                }
                const auto it = std::find(pNames->begin(), pNames->end(), name);
                if (it == pNames->end()) {
                    if (pNames->size() == static_cast<std::size_t>(GRIB_MAX_FIELD)) {
                        return failDown("more than " + std::to_string(GRIB_MAX_FIELD) + " moments");
                    }
                    pNames->push_back(name);
                    pBins->push_back(std::max(1, pField->m_iMaxBin));
                } else {
                    int& nBin = (*pBins)[static_cast<std::size_t>(it - pNames->begin())];
                    nBin = std::max(nBin, pField->m_iMaxBin);
                }
            }
        }
    }
    *pRays = nRay;
    if (nRay < 1 || nRay > INT_MAX || pNames->empty()) {
        return failDown(nRay < 1 ? "the volume has no rays" : "the volume has no moments");
    }
    return true;
}

void copyGlobal(const STD_GLOBAL_HDR& src, GRIB_GLOBAL_HDR* pDst) {
    GRIB_GLOBAL_HDR& d = *pDst;
    copyFixedText(d.m_szRadarName, sizeof(d.m_szRadarName), src.m_szRadarName,
                  sizeof(src.m_szRadarName));
    copyFixedText(d.m_szSiteName, sizeof(d.m_szSiteName), src.m_szSiteName,
                  sizeof(src.m_szSiteName));
    copyFixedText(d.m_szConvertName, sizeof(d.m_szConvertName), src.m_szConvertName,
                  sizeof(src.m_szConvertName));
    copyFixedText(d.m_szProjectName, sizeof(d.m_szProjectName), src.m_szProjectName,
                  sizeof(src.m_szProjectName));
    copyFixedText(d.m_szFieldTapeName, sizeof(d.m_szFieldTapeName), src.m_szFieldTapeName,
                  sizeof(src.m_szFieldTapeName));
    copyFixedText(d.m_szThresholdType, sizeof(d.m_szThresholdType), src.m_szThresholdType,
                  sizeof(src.m_szThresholdType));
    copyFixedText(d.m_szEditCode, sizeof(d.m_szEditCode), src.m_szEditCode,
                  sizeof(src.m_szEditCode));
    d.m_dLat = src.m_dLat;
    d.m_dLon = src.m_dLon;
    d.m_iAnteHeight = src.m_iAnteHeight;
    d.m_iSweepMode = src.m_iSweepMode;
    d.m_fSweepRate = src.m_fSweepRate;
    d.m_tConvertTime = src.m_tConvertTime - RDR_KST_OFFSET_SEC;
    d.m_iNoDataValue = src.m_iNoDataValue;
    d.m_iPulseWidth = src.m_iPulseWidth;
    d.m_fBeamWidthH = src.m_fBeamWidthH;
    d.m_fBeamWidthV = src.m_fBeamWidthV;
    d.m_iBandWidth = src.m_iBandWidth;
    d.m_iPolarMode = src.m_iPolarMode;
    d.m_fWaveLength = src.m_fWaveLength;
    d.m_iThresholdValue = src.m_iThresholdValue;
    d.m_iScale = src.m_iScale;
    d.m_iPRT = src.m_iPRT;
    d.m_iBitsPerBin = src.m_iBitsPerBin;
    d.m_iVolumeNo = src.m_iVolumeNo;
    d.m_fBaselineAzimuth = src.m_fBaselineAzimuth;
    d.m_fBaselineElevation = src.m_fBaselineElevation;
}

long long metres(int km, int m) {
    return 1000LL * km + m;
}

// Ray g's header and fields into the arrays; false with a message on a value beyond 32 bits.
bool copyRay(const STD_RADAR* pStd, const STD_RAY* pRay, int g,
             const std::vector<std::string>& names, GRIB_RADAR* pGrib) {
    GRIB_GLOBAL_HDR& h = pGrib->m_hdr;
    const STD_RAY_HDR& ray = pRay->m_hdr;
    const long long offset =
        static_cast<long long>(ray.m_tTime) - static_cast<long long>(pStd->m_hdr.m_tConvertTime);
    const long long start = metres(ray.m_iStartRangeKm, ray.m_iStartRangeMeter);
    if (!fitsInt32(offset) || !fitsInt32(start)) {
        return failDown("ray " + std::to_string(g) + ": its time or range does not fit 32 bits");
    }
    h.m_pRayTime[g] = static_cast<double>(offset);
    h.m_pRayAzimuth[g] = ray.m_fAzimuth;
    h.m_pRayElevation[g] = ray.m_fElevation;
    h.m_pRayFixedAngle[g] = ray.m_fFixedAngle;
    h.m_pRayStartRange[g] = static_cast<long>(start);
    h.m_pRayBinSpacing[g] = ray.m_iBinSpacing;
    h.m_pRaySampleSize[g] = ray.m_iSampleSize;
    for (int f = 0; f < pRay->m_iMaxField; ++f) {
        const STD_FIELD* pField = pRay->m_ppField[f];
        const std::size_t k = static_cast<std::size_t>(
            std::find(names.begin(), names.end(),
                      std::string(pField->m_hdr.m_szFieldName,
                                  strnlen(pField->m_hdr.m_szFieldName,
                                          sizeof(pField->m_hdr.m_szFieldName)))) -
            names.begin());
        GRIB_VOLUME* pVolume = pGrib->m_ppVolume[k];
        const long long fieldStart =
            metres(pField->m_hdr.m_iStartRangeKm, pField->m_hdr.m_iStartRangeMeter);
        if (!fitsInt32(fieldStart)) {
            return failDown("ray " + std::to_string(g) + ": moment " + names[k] +
                            " starts beyond 32 bits of metres");
        }
        pVolume->m_pFieldSlot[g] = static_cast<unsigned char>(f);
        pVolume->m_pBinNumber[g] = pField->m_iMaxBin;
        pVolume->m_pScaleFactor[g] = pField->m_hdr.m_iScaleFactor;
        pVolume->m_pStartRange[g] = static_cast<long>(fieldStart);
        pVolume->m_pBinSpacing[g] = pField->m_hdr.m_iBinSpacing;
        h.m_pMaxBin[g] = std::max<long>(h.m_pMaxBin[g], pField->m_iMaxBin);
        if (pField->m_iMaxBin > 0) {
            std::memcpy(pVolume->m_pData + static_cast<long>(g) * pVolume->m_iMaxBin,
                        pField->m_pData,
                        sizeof(short) * static_cast<std::size_t>(pField->m_iMaxBin));
        }
    }
    return true;
}

// The moment's first ray sets the typical geometry the documented keys name.
void setTypicalGeometry(GRIB_RADAR* pGrib) {
    for (int k = 0; k < pGrib->m_iMaxVolume; ++k) {
        GRIB_VOLUME* p = pGrib->m_ppVolume[k];
        for (int g = 0; g < pGrib->m_hdr.m_iMaxRay; ++g) {
            if (p->m_pFieldSlot[g] != kAbsent) {
                if (k == 0) {
                    pGrib->m_hdr.m_iScaleFactor = static_cast<int>(p->m_pScaleFactor[g]);
                    const bool bOwn = p->m_pBinSpacing[g] != 0;
                    pGrib->m_hdr.m_fStartRangeMeter = static_cast<float>(
                        bOwn ? p->m_pStartRange[g] : pGrib->m_hdr.m_pRayStartRange[g]);
                    pGrib->m_hdr.m_iBinSpacing = static_cast<int>(
                        bOwn ? p->m_pBinSpacing[g] : pGrib->m_hdr.m_pRayBinSpacing[g]);
                }
                break;
            }
        }
    }
}

// --- encoder ---

struct HandleDeleter {
    void operator()(codes_handle* h) const { ec().handle_delete(h); }
};
using Handle = std::unique_ptr<codes_handle, HandleDeleter>;

// Sets keys on one handle; the first failure is kept and named.
class KeySetter {
  public:
    explicit KeySetter(codes_handle* h) : h_(h) {}

    void set(const char* szKey, long v) { check(szKey, ec().set_long(h_, szKey, v)); }
    void setDouble(const char* szKey, double v) { check(szKey, ec().set_double(h_, szKey, v)); }
    void text(const char* szKey, const char* szText, std::size_t nMax) {
        std::size_t n = strnlen(szText, nMax);
        const std::string value(szText, n);
        check(szKey, ec().set_string(h_, szKey, value.c_str(), &n));
    }
    void longs(const char* szKey, const std::vector<long>& v) {
        check(szKey, ec().set_long_array(h_, szKey, v.data(), v.size()));
    }
    void doubles(const char* szKey, const double* p, std::size_t n) {
        check(szKey, ec().set_double_array(h_, szKey, p, n));
    }
    const std::string& error() const { return error_; }

  private:
    void check(const char* szKey, int err) {
        if (err != CODES_SUCCESS && error_.empty()) {
            error_ = std::string("cannot set ") + szKey + " (" + ec().get_error_message(err) + ")";
        }
    }
    codes_handle* h_;
    std::string error_;
};

template <class T>
std::vector<long> asLongs(const T* p, std::size_t n) {
    return std::vector<long>(p, p + n);
}

// WMO code table 4.2.0.15 where the moment has an entry.
long parameterNumberOf(const char* szName) {
    if (std::strcmp(szName, "DZ") == 0 || std::strcmp(szName, "CZ") == 0) {
        return 1;  // base reflectivity
    }
    if (std::strcmp(szName, "VR") == 0) {
        return 2;  // base radial velocity
    }
    if (std::strcmp(szName, "SW") == 0) {
        return 0;  // base spectrum width
    }
    return 255;
}

void setHeader(KeySetter& keys, const GRIB_GLOBAL_HDR& h) {
    struct tm tm {};
    const time_t t = h.m_tConvertTime;
    gmtime_r(&t, &tm);
    keys.set("centre", GRIB_RADAR_CENTRE);
    keys.set("subCentre", 0);
    keys.set("discipline", 0);
    keys.set("significanceOfReferenceTime", 3);
    keys.set("year", tm.tm_year + 1900);
    keys.set("month", tm.tm_mon + 1);
    keys.set("day", tm.tm_mday);
    keys.set("hour", tm.tm_hour);
    keys.set("minute", tm.tm_min);
    keys.set("second", tm.tm_sec);
    keys.set("productionStatusOfProcessedData", 0);
    keys.set("typeOfProcessedData", 7);  // processed radar observations
    keys.set("grib2LocalSectionPresent", 1);
    keys.set("grib2LocalSectionNumber", GRIB_LOCAL_VOLUME);
    keys.text("rdc_radar_name", h.m_szRadarName, 8);
    keys.text("rdc_site_name", h.m_szSiteName, 8);
    keys.text("rdc_generator_name", h.m_szConvertName, 8);
    keys.text("rdc_project_name", h.m_szProjectName, 8);
    keys.text("rdc_field_tape_name", h.m_szFieldTapeName, 8);
    keys.text("rdc_threshold_type", h.m_szThresholdType, 2);
    keys.text("rdc_edit_code", h.m_szEditCode, 2);
    keys.set("siteLatitude", std::lround(h.m_dLat * 1e6));
    keys.set("siteLongitude", std::lround(h.m_dLon * 1e6));
    keys.set("siteElevation", h.m_iAnteHeight);
    keys.set("rdc_volume_number", h.m_iVolumeNo);
    keys.set("rdc_sweep_mode", h.m_iSweepMode);
    keys.setDouble("rdc_sweep_rate", h.m_fSweepRate);
    keys.set("rdc_nodata_value", h.m_iNoDataValue);
    keys.setDouble("rdc_baseline_azimuth", h.m_fBaselineAzimuth);
    keys.setDouble("rdc_baseline_elevation", h.m_fBaselineElevation);
    keys.set("rdc_pulse_width", h.m_iPulseWidth);
    keys.setDouble("rdc_beam_width_h", h.m_fBeamWidthH);
    keys.setDouble("rdc_beam_width_v", h.m_fBeamWidthV);
    keys.set("rdc_band_width", h.m_iBandWidth);
    keys.set("rdc_polar_mode", h.m_iPolarMode);
    keys.setDouble("rdc_wave_length", h.m_fWaveLength);
    keys.set("rdc_sample_size", h.m_iSampleSize);
    keys.set("rdc_threshold_value", h.m_iThresholdValue);
    keys.set("rdc_scale", h.m_iScale);
    keys.set("rdc_prt", h.m_iPRT);
    keys.set("rdc_bits_per_bin", h.m_iBitsPerBin);
    keys.setDouble("rdc_start_range_meter", h.m_fStartRangeMeter);
    keys.set("rangeBinSpacing", std::max(0, h.m_iBinSpacing));
    keys.set("rdc_scale_factor", h.m_iScaleFactor);
}

void setSweepsAndRays(KeySetter& keys, const GRIB_GLOBAL_HDR& h) {
    const std::size_t nSweep = static_cast<std::size_t>(h.m_iMaxSweep);
    const std::size_t nRay = static_cast<std::size_t>(h.m_iMaxRay);
    keys.longs("rdc_ray_number", asLongs(h.m_pMaxRay, nSweep));
    const struct {
        const char* key;
        float STD_SWEEP_HDR::*member;
    } sweepFloats[] = {
        {"rdc_sweep_nyquist_velocity", &STD_SWEEP_HDR::m_fNyquistVelocity},
        {"rdc_sweep_radar_constant", &STD_SWEEP_HDR::m_fRadarConstant},
        {"rdc_sweep_noise_power", &STD_SWEEP_HDR::m_fNoisePower},
        {"rdc_sweep_receiver_gain", &STD_SWEEP_HDR::m_fReceiverGain},
        {"rdc_sweep_peak_power", &STD_SWEEP_HDR::m_fPeakPower},
        {"rdc_sweep_antenna_gain", &STD_SWEEP_HDR::m_fAntennaGain},
        {"rdc_sweep_pulse_duration", &STD_SWEEP_HDR::m_fPulseDuration},
    };
    std::vector<double> values(nSweep);
    for (const auto& f : sweepFloats) {
        for (std::size_t s = 0; s < nSweep; ++s) {
            values[s] = h.m_pSweepHdr[s].*f.member;
        }
        keys.doubles(f.key, values.data(), nSweep);
    }
    std::vector<long> flags(nSweep);
    for (std::size_t s = 0; s < nSweep; ++s) {
        const char* flag = h.m_pSweepHdr[s].m_szVelocityFlag;
        const unsigned char c0 = static_cast<unsigned char>(flag[0]);
        const unsigned char c1 = c0 != 0 ? static_cast<unsigned char>(flag[1]) : 0;
        flags[s] = (static_cast<long>(c0) << 8) | c1;
    }
    keys.longs("rdc_sweep_velocity_flag", flags);
    keys.longs("rdc_ray_time", asLongs(h.m_pRayTime, nRay));
    keys.doubles("rdc_ray_azimuth", h.m_pRayAzimuth, nRay);
    keys.doubles("rdc_ray_elevation", h.m_pRayElevation, nRay);
    keys.doubles("rdc_ray_fixed_angle", h.m_pRayFixedAngle, nRay);
    keys.longs("rdc_ray_start_range", asLongs(h.m_pRayStartRange, nRay));
    keys.longs("rdc_ray_bin_spacing", asLongs(h.m_pRayBinSpacing, nRay));
    keys.longs("rdc_ray_sample_size", asLongs(h.m_pRaySampleSize, nRay));
}

// The azimuth-range grid (template 3.120) that tools without our keys understand: bins
// along radials, one radial per ray at tenths of a degree.
void setGrid(KeySetter& keys, const GRIB_GLOBAL_HDR& h, const GRIB_VOLUME& v, int iSpacing,
             long startMetres) {
    const std::size_t nRay = static_cast<std::size_t>(h.m_iMaxRay);
    keys.set("gridDefinitionTemplateNumber", 120);
    keys.set("numberOfDataBinsAlongRadials", v.m_iMaxBin);
    keys.set("numberOfRadials", h.m_iMaxRay);
    keys.set("latitudeOfCentrePoint", std::lround(h.m_dLat * 1e6));
    double lon = std::fmod(h.m_dLon, 360.0);
    keys.set("longitudeOfCentrePoint", std::lround((lon < 0 ? lon + 360.0 : lon) * 1e6));
    keys.set("spacingOfBinsAlongRadials", std::max(0, iSpacing));
    keys.set("offsetFromOriginToInnerBound", std::max(0L, startMetres));
    std::vector<long> azimuths(nRay);
    for (std::size_t g = 0; g < nRay; ++g) {
        const double a = std::isfinite(h.m_pRayAzimuth[g]) ? h.m_pRayAzimuth[g] : 0.0;
        azimuths[g] = std::clamp<long>(std::lround(a * 10), -32767, 32767);
    }
    keys.longs("startingAzimuth", azimuths);
    const double width = std::isfinite(h.m_fBeamWidthH) ? h.m_fBeamWidthH : 0.0;
    keys.longs("azimuthalWidth",
               std::vector<long>(nRay, std::clamp<long>(std::lround(width * 100), 0, 32767)));
}

void setMoment(KeySetter& keys, const GRIB_RADAR* pGrib, int k) {
    const GRIB_VOLUME& v = *pGrib->m_ppVolume[k];
    const std::size_t nRay = static_cast<std::size_t>(pGrib->m_hdr.m_iMaxRay);
    keys.set("rdc_sweep_count", pGrib->m_hdr.m_iMaxSweep);
    keys.set("rdc_ray_count", pGrib->m_hdr.m_iMaxRay);
    keys.set("rdc_field_count", pGrib->m_iMaxVolume);
    keys.set("rdc_field_index", k);
    keys.set("rdc_bin_count", v.m_iMaxBin);
    keys.text("rdc_field_name", v.m_szName, 8);
    setSweepsAndRays(keys, pGrib->m_hdr);
    keys.longs("rdc_field_slot", asLongs(v.m_pFieldSlot, nRay));
    keys.longs("rdc_bin_number", asLongs(v.m_pBinNumber, nRay));
    keys.longs("rdc_field_scale_factor", asLongs(v.m_pScaleFactor, nRay));
    keys.longs("rdc_field_start_range", asLongs(v.m_pStartRange, nRay));
    keys.longs("rdc_field_bin_spacing", asLongs(v.m_pBinSpacing, nRay));
}

// One moment's message: the keys, then the values, 16 bits each, which hold every stored
// integer exactly.
bool encodeMoment(const GRIB_RADAR* pGrib, int k, std::vector<double>* pValues, std::string* pWhy,
                  Handle* pOut) {
    Handle h(ec().grib_handle_new_from_samples(nullptr, "GRIB2"));
    if (!h) {
        *pWhy = "grib_handle_new_from_samples fail (no GRIB2 sample)";
        return false;
    }
    const GRIB_VOLUME& v = *pGrib->m_ppVolume[k];
    int iSpacing = 0;
    long start = 0;
    for (int g = 0; g < pGrib->m_hdr.m_iMaxRay; ++g) {
        if (v.m_pFieldSlot[g] != kAbsent) {
            const bool bOwn = v.m_pBinSpacing[g] != 0;
            iSpacing =
                static_cast<int>(bOwn ? v.m_pBinSpacing[g] : pGrib->m_hdr.m_pRayBinSpacing[g]);
            start = bOwn ? v.m_pStartRange[g] : pGrib->m_hdr.m_pRayStartRange[g];
            break;
        }
    }
    KeySetter keys(h.get());
    GRIB_GLOBAL_HDR hdr = pGrib->m_hdr;
    hdr.m_fStartRangeMeter = static_cast<float>(start);
    hdr.m_iBinSpacing = iSpacing;
    setHeader(keys, hdr);
    setMoment(keys, pGrib, k);
    setGrid(keys, hdr, v, iSpacing, start);
    keys.set("parameterCategory", 15);  // radar
    keys.set("parameterNumber", parameterNumberOf(v.m_szName));
    keys.set("bitsPerValue", 16);
    const std::size_t nValues = static_cast<std::size_t>(hdr.m_iMaxRay) * v.m_iMaxBin;
    pValues->resize(nValues);
    std::copy(v.m_pData, v.m_pData + nValues, pValues->begin());
    keys.doubles("values", pValues->data(), nValues);
    if (!keys.error().empty()) {
        *pWhy = "moment " + std::string(v.m_szName) + ": " + keys.error();
        return false;
    }
    *pOut = std::move(h);
    return true;
}

bool validGrib(const GRIB_RADAR* pGrib) {
    if (pGrib == nullptr || pGrib->m_iMaxVolume < 1 || pGrib->m_ppVolume == nullptr ||
        pGrib->m_hdr.m_iMaxSweep < 1 || pGrib->m_hdr.m_iMaxRay < 1 ||
        pGrib->m_hdr.m_pMaxRay == nullptr || pGrib->m_hdr.m_pSweepHdr == nullptr ||
        pGrib->m_hdr.m_pRayTime == nullptr || pGrib->m_hdr.m_pRayAzimuth == nullptr ||
        pGrib->m_hdr.m_pRayElevation == nullptr || pGrib->m_hdr.m_pRayFixedAngle == nullptr ||
        pGrib->m_hdr.m_pRayStartRange == nullptr || pGrib->m_hdr.m_pRayBinSpacing == nullptr ||
        pGrib->m_hdr.m_pRaySampleSize == nullptr) {
        return false;
    }
    for (int k = 0; k < pGrib->m_iMaxVolume; ++k) {
        const GRIB_VOLUME* p = pGrib->m_ppVolume[k];
        if (p == nullptr || p->m_pData == nullptr || p->m_pFieldSlot == nullptr ||
            p->m_pBinNumber == nullptr || p->m_pScaleFactor == nullptr ||
            p->m_pStartRange == nullptr || p->m_pBinSpacing == nullptr || p->m_iMaxBin < 1) {
            return false;
        }
    }
    return true;
}

}  // namespace

GRIB_RADAR* fnStdSyncDownGribRadar(STD_RADAR* pStd) {
    if (pStd == nullptr || !complete(pStd)) {
        rdrError(kSyncDown, "InValid STD");
        return nullptr;
    }
    std::vector<std::string> names;
    std::vector<int> bins;
    long nRay = 0;
    if (!collectMoments(pStd, &names, &bins, &nRay)) {
        return nullptr;
    }
    const int nMoment = static_cast<int>(names.size());
    for (int k = 0; k < nMoment; ++k) {
        if (nRay * bins[k] > GRIB_MAX_VALUES) {
            failDown("moment " + names[k] + ": " + std::to_string(nRay) + " rays x " +
                     std::to_string(bins[k]) + " bins exceed the " +
                     std::to_string(GRIB_MAX_VALUES) + " values a message may hold");
            return nullptr;
        }
    }
    GRIB_RADAR* pGrib =
        fnInitGribRadar(pStd->m_iMaxSweep, static_cast<int>(nRay), nMoment, bins.data());
    if (pGrib == nullptr) {
        rdrError(kSyncDown, pStd->m_iMaxSweep > nRay ? "a sweep without rays" : "calloc fail");
        return nullptr;
    }
    // fnInitGribRadar fills the values with its own no-data code; the volume's is wanted.
    pGrib->m_hdr.m_iNoDataValue = pStd->m_hdr.m_iNoDataValue;
    const short noData =
        static_cast<short>(std::clamp(pStd->m_hdr.m_iNoDataValue, SHRT_MIN, SHRT_MAX));
    for (int k = 0; k < nMoment; ++k) {
        GRIB_VOLUME* p = pGrib->m_ppVolume[k];
        copyFixedText(p->m_szName, sizeof(p->m_szName), names[k].c_str());
        std::fill(p->m_pData, p->m_pData + nRay * p->m_iMaxBin, noData);
        std::memset(p->m_pFieldSlot, kAbsent, static_cast<std::size_t>(nRay));
    }
    copyGlobal(pStd->m_hdr, &pGrib->m_hdr);
    if (pStd->m_hdr.m_iNoDataValue < SHRT_MIN || pStd->m_hdr.m_iNoDataValue > SHRT_MAX) {
        pGrib->m_hdr.m_iNoDataValue = noData;
    }
    int g = 0;
    for (int s = 0; s < pStd->m_iMaxSweep; ++s) {
        const STD_SWEEP* pSweep = pStd->m_ppSweep[s];
        pGrib->m_hdr.m_pMaxRay[s] = pSweep->m_iMaxRay;
        pGrib->m_hdr.m_pSweepHdr[s] = pSweep->m_hdr;
        for (int r = 0; r < pSweep->m_iMaxRay; ++r, ++g) {
            if (!copyRay(pStd, pSweep->m_ppRay[r], g, names, pGrib)) {
                fnFreeGribRadar(pGrib);
                return nullptr;
            }
        }
    }
    setTypicalGeometry(pGrib);
    return pGrib;
}

int fnWriteGribRadar(GRIB_RADAR* pGrib, const char* szFile) {
    if (szFile == nullptr || !validGrib(pGrib)) {
        rdrError(kWrite, "InValid GRIB_RADAR");
        return 0;
    }
    std::string why;
    if (eccodesLibrary(&why) == nullptr) {
        rdrError(kWrite, why.c_str());
        return 0;
    }
    AtomicFile file;
    if (!file.open(szFile)) {
        rdrError(kWrite,
                 ("cannot create " + std::string(szFile) + " (" + file.error() + ")").c_str());
        return 0;
    }
    std::vector<double> values;
    for (int k = 0; k < pGrib->m_iMaxVolume; ++k) {
        Handle h;
        if (!encodeMoment(pGrib, k, &values, &why, &h)) {
            rdrError(kWrite, why.c_str());
            return 0;
        }
        const void* pMessage = nullptr;
        std::size_t nMessage = 0;
        const int err = ec().get_message(h.get(), &pMessage, &nMessage);
        if (err != CODES_SUCCESS) {
            rdrError(kWrite,
                     (std::string("grib_get_message fail (") + ec().get_error_message(err) + ")")
                         .c_str());
            return 0;
        }
        if (!file.write(pMessage, nMessage)) {
            rdrError(kWrite,
                     ("cannot write " + std::string(szFile) + " (" + file.error() + ")").c_str());
            return 0;
        }
    }
    if (!file.commit()) {
        rdrError(kWrite,
                 ("cannot write " + std::string(szFile) + " (" + file.error() + ")").c_str());
        return 0;
    }
    return 1;
}
