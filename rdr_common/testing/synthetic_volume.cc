#include "synthetic_volume.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

namespace rdrtest {

namespace {

template <typename T>
T* callocOrThrow(size_t n) {
    void* p = std::calloc(n > 0 ? n : 1, sizeof(T));
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    return static_cast<T*>(p);
}

}  // namespace

std::vector<float> evenAzimuths(int n, float first, float step) {
    std::vector<float> az;
    if (n <= 0) {
        return az;
    }
    if (step <= 0.0f) {
        step = 360.0f / static_cast<float>(n);
    }
    az.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        float a = std::fmod(first + step * static_cast<float>(i), 360.0f);
        if (a < 0.0f) {
            a += 360.0f;
        }
        az.push_back(a);
    }
    return az;
}

VolumeShape uniformVolume(int sweeps, int rays, int bins, std::vector<std::string> fields) {
    VolumeShape shape;
    shape.fields = std::move(fields);
    for (int s = 0; s < sweeps; ++s) {
        SweepShape sweep;
        sweep.elevation = 0.5f + static_cast<float>(s);
        sweep.azimuths = evenAzimuths(rays);
        sweep.bins = bins;
        shape.sweeps.push_back(std::move(sweep));
    }
    return shape;
}

StdRadarPtr buildVolume(const VolumeShape& shape) {
    StdRadarPtr vol(callocOrThrow<STD_RADAR>(1));
    STD_GLOBAL_HDR& hdr = vol->m_hdr;
    std::strncpy(hdr.m_szRadarName, "SYNTH", sizeof(hdr.m_szRadarName) - 1);
    std::strncpy(hdr.m_szSiteName, "SYNTH", sizeof(hdr.m_szSiteName) - 1);
    hdr.m_dLat = 37.0;
    hdr.m_dLon = 127.0;
    hdr.m_iSweepMode = STD_EN_SWMD_PPI;
    hdr.m_iNoDataValue = shape.noDataValue;
    hdr.m_iBitsPerBin = 16;

    vol->m_iMaxSweep = static_cast<int>(shape.sweeps.size());
    vol->m_ppSweep = callocOrThrow<STD_SWEEP*>(shape.sweeps.size());
    std::vector<int> allFields(shape.fields.size());
    for (size_t f = 0; f < allFields.size(); ++f) {
        allFields[f] = static_cast<int>(f);
    }

    for (size_t s = 0; s < shape.sweeps.size(); ++s) {
        const SweepShape& ss = shape.sweeps[s];
        STD_SWEEP* sweep = callocOrThrow<STD_SWEEP>(1);
        vol->m_ppSweep[s] = sweep;
        sweep->m_iMaxRay = static_cast<int>(ss.azimuths.size());
        sweep->m_ppRay = callocOrThrow<STD_RAY*>(ss.azimuths.size());
        for (size_t r = 0; r < ss.azimuths.size(); ++r) {
            if (std::find(ss.nullRays.begin(), ss.nullRays.end(), static_cast<int>(r)) !=
                ss.nullRays.end()) {
                continue;
            }
            STD_RAY* ray = callocOrThrow<STD_RAY>(1);
            sweep->m_ppRay[r] = ray;
            ray->m_hdr.m_fAzimuth = ss.azimuths[r];
            ray->m_hdr.m_fElevation = ss.elevation;
            ray->m_hdr.m_fFixedAngle = ss.elevation;
            ray->m_hdr.m_iStartRangeKm = ss.startRangeKm;
            ray->m_hdr.m_iStartRangeMeter = ss.startRangeMeter;
            ray->m_hdr.m_iBinSpacing = ss.binSpacingM;
            ray->m_hdr.m_iSampleSize = 64;

            const std::vector<int> moments =
                shape.rayFields ? shape.rayFields(static_cast<int>(s), static_cast<int>(r))
                                : allFields;
            ray->m_iMaxField = static_cast<int>(moments.size());
            ray->m_ppField = callocOrThrow<STD_FIELD*>(moments.size());
            for (size_t k = 0; k < moments.size(); ++k) {
                const int m = moments[k];
                STD_FIELD* field = callocOrThrow<STD_FIELD>(1);
                ray->m_ppField[k] = field;
                field->m_hdr.m_iScaleFactor = shape.scaleFactor;
                if (m >= 0 && static_cast<size_t>(m) < shape.fields.size()) {
                    std::strncpy(field->m_hdr.m_szFieldName, shape.fields[m].c_str(),
                                 sizeof(field->m_hdr.m_szFieldName) - 1);
                }
                field->m_iMaxBin = std::max(ss.bins, 0);
                field->m_pData = callocOrThrow<short>(static_cast<size_t>(field->m_iMaxBin));
                for (int b = 0; b < field->m_iMaxBin; ++b) {
                    field->m_pData[b] =
                        shape.value ? shape.value(static_cast<int>(s), static_cast<int>(r), b, m)
                                    : static_cast<short>(shape.noDataValue);
                }
            }
        }
    }
    return vol;
}

}  // namespace rdrtest
