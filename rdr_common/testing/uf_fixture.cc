#include "uf_fixture.h"

#include <cstring>
#include <sstream>
#include <stdexcept>

#include "core_utilities.h"
#include "internal/uf_volume_output_encoder.h"
#include "uf_volume_output.h"

namespace uffix {

std::vector<Bytes> encodeVolume(const UF_RADAR* uf) {
    std::vector<Bytes> records;
    for (int s = 0; s < uf->m_iMaxSweep; ++s) {
        for (int r = 0; r < uf->m_ppSweep[s]->m_iCurRay; ++r) {
            Bytes record;
            if (!encodeUfRecord(uf->m_ppSweep[s]->m_ppRay[r], &record)) {
                throw std::runtime_error("ray cannot be encoded");
            }
            records.push_back(std::move(record));
        }
    }
    return records;
}

namespace {

// The reader adds 360 to negative azimuth words, so an azimuth still below 0 came from a
// word below -360 degrees (such as -32768, "missing").
double azimuthAsStored(float degrees) {
    return degrees < 0 ? degrees - 360.0 : degrees;
}

}  // namespace

ufbytes::Volume describeUf(const UF_RADAR* uf) {
    ufbytes::Volume v;
    bool first = true;
    for (int s = 0; s < uf->m_iMaxSweep; ++s) {
        const UF_SWEEP* slot = uf->m_ppSweep[s];
        if (slot->m_iCurRay == 0) {
            continue;
        }
        ufbytes::Sweep sweep;
        const UF_MANDATORY_HDR& sh = slot->m_ppRay[0]->mh;
        sweep.number = sh.m_iSweepNo;
        sweep.mode = sh.m_iSweepMode;
        sweep.fixedAngle = sh.m_fFixedAngle;
        sweep.rate = sh.m_fSweepRate;
        for (int r = 0; r < slot->m_iCurRay; ++r) {
            const UF_RAY* in = slot->m_ppRay[r];
            const UF_MANDATORY_HDR& mh = in->mh;
            if (first) {
                v.volumeNumber = mh.m_iVolumeNo;
                v.radarName = mh.m_szRadarName;
                v.siteName = mh.m_szSiteName;
                v.latitude = {mh.m_iLatDeg, mh.m_iLatMin, mh.m_fLatSec};
                v.longitude = {mh.m_iLonDeg, mh.m_iLonMin, mh.m_fLonSec};
                v.heightM = mh.m_iAnteHeight;
                v.timeZone = mh.m_szTimeZone;
                v.generated = {mh.m_iConvertYear, mh.m_iConvertMonth, mh.m_iConvertDay};
                v.generator = mh.m_szConvertName;
                v.noData = mh.m_iNoDataValue;
                const UF_OPTIONAL_HDR& oh = in->oh;
                v.optional = {oh.m_szProjectName,
                              azimuthAsStored(oh.m_fBaselineAzimuth),
                              oh.m_fBaselineElevation,
                              {oh.m_iVolumeScanHour, oh.m_iVolumeScanMin, oh.m_iVolumeScanSec},
                              oh.m_szFieldTapeName,
                              oh.m_iFlag};
                first = false;
            }
            ufbytes::Ray ray;
            ray.recordNumber = mh.m_iRecordNo;
            ray.rayNumber = mh.m_iRayNo;
            ray.date = {mh.m_iYear, mh.m_iMonth, mh.m_iDay};
            ray.time = {mh.m_iHour, mh.m_iMinute, mh.m_iSecond};
            ray.azimuth = azimuthAsStored(mh.m_fAzimuth);
            ray.elevation = mh.m_fElevation;
            ray.hasOptionalHeader = mh.m_iOHpos != mh.m_iLHpos;
            if (in->lh.m_iMaxContent > 0) {
                ray.localUse.assign(in->lh.m_pszContent,
                                    in->lh.m_pszContent + in->lh.m_iMaxContent);
            }
            for (int k = 0; k < in->m_iCurField; ++k) {
                const UF_FIELD* field = in->m_ppField[k];
                const UF_FIELD_HDR& fh = field->fh;
                ufbytes::Field f;
                f.name = in->dh.m_pfi[k].m_szFieldName;
                f.scaleFactor = fh.m_iScaleFactor;
                f.startKm = fh.m_iStartRangeKm;
                f.startM = fh.m_iStartRangeMeter;
                f.spacingM = fh.m_iBinSpacing;
                f.pulseWidthM = fh.m_iPulseWidth;
                f.beamWidthH = fh.m_fBeamWidthH;
                f.beamWidthV = fh.m_fBeamWidthV;
                f.bandwidth = fh.m_iBandWidth;
                f.polarisation = fh.m_iPolarMode;
                f.wavelength = fh.m_fWaveLength;
                f.sampleSize = fh.m_iSampleSize;
                f.thresholdName = fh.m_szThresholdType;
                f.thresholdValue = fh.m_iThresholdValue;
                f.scale = fh.m_iScale;
                f.editCode = fh.m_szEditCode;
                f.prtUs = fh.m_iPRT;
                f.bitsPerBin = fh.m_iBitsPerBin;
                f.nyquist = fh.m_fNyquistVelocity;
                f.velocityFlag = fh.m_szVelocityFlag;
                f.calibration = {fh.m_fRadarConstant, fh.m_fNoisePower,  fh.m_fReceiverGain,
                                 fh.m_fPeakPower,     fh.m_fAntennaGain, fh.m_fPulseDuration};
                if (field->m_iCurBin > 0 && field->m_pData == nullptr) {
                    throw std::runtime_error("describeUf: bins already handed over");
                }
                f.bins.assign(field->m_pData, field->m_pData + field->m_iCurBin);
                ray.fields.push_back(std::move(f));
            }
            sweep.rays.push_back(std::move(ray));
        }
        v.sweeps.push_back(std::move(sweep));
    }
    return v;
}

rdrtest::StdRadarPtr smallStdVolume(int sweeps, int rays, int bins) {
    rdrtest::VolumeShape shape = rdrtest::uniformVolume(sweeps, rays, bins, {"DZ", "VR"});
    shape.noDataValue = -32768;
    shape.value = [](int s, int r, int b, int f) {
        if ((r + b) % 17 == 0) {
            return short(-32768);
        }
        return short(f == 0 ? (s * 100 + r * 7 + b) % 7000 - 1000 : (r * 31 + b * 3) % 5000 - 2500);
    };
    rdrtest::StdRadarPtr vol = rdrtest::buildVolume(shape);
    STD_GLOBAL_HDR& g = vol->m_hdr;
    g.m_iVolumeNo = 7;
    std::strcpy(g.m_szRadarName, "RDRTEST1");
    std::strcpy(g.m_szSiteName, "GWANAK");
    g.m_dLat = 37.4375;
    g.m_dLon = 126.96875;
    g.m_iAnteHeight = 635;
    g.m_fSweepRate = 18.0f;
    std::strcpy(g.m_szConvertName, "UFWRITER");
    g.m_tConvertTime = fnMakeTime(1, 2024, 7, 15, 6, 30, 5);
    g.m_iNoDataValue = -32768;
    std::strcpy(g.m_szProjectName, "SUMMER");
    g.m_fBaselineAzimuth = 0.25f;
    std::strcpy(g.m_szFieldTapeName, "TAPE01");
    g.m_iPulseWidth = 300;
    g.m_fBeamWidthH = 0.953125f;
    g.m_fBeamWidthV = 0.953125f;
    g.m_iBandWidth = 1000;
    g.m_fWaveLength = 10.6875f;
    g.m_iPRT = 1000;
    g.m_iBitsPerBin = 16;
    for (int s = 0; s < vol->m_iMaxSweep; ++s) {
        vol->m_ppSweep[s]->m_hdr.m_fNyquistVelocity = 26.5f;
        std::strcpy(vol->m_ppSweep[s]->m_hdr.m_szVelocityFlag, "NF");
        for (int r = 0; r < vol->m_ppSweep[s]->m_iMaxRay; ++r) {
            vol->m_ppSweep[s]->m_ppRay[r]->m_hdr.m_tTime =
                fnMakeTime(1, 2024, 7, 15, 6, 30 + s, r % 60);
        }
    }
    return vol;
}

namespace {

class Differ {
  public:
    template <typename T>
    void check(const std::string& where, const T& a, const T& b) {
        if (first_.empty() && !(a == b)) {
            std::ostringstream os;
            os << where << ": " << a << " != " << b;
            first_ = os.str();
        }
    }
    void text(const std::string& where, const char* a, const char* b) {
        check(where, std::string(a), std::string(b));
    }
    const std::string& result() const { return first_; }

  private:
    std::string first_;
};

void diffField(Differ& d, const std::string& at, const UF_FIELD* a, const UF_FIELD* b, bool pos) {
    const UF_FIELD_HDR& x = a->fh;
    const UF_FIELD_HDR& y = b->fh;
    if (pos) {
        d.check(at + " data position", x.m_iDataPos, y.m_iDataPos);
    }
    d.check(at + " scale factor", x.m_iScaleFactor, y.m_iScaleFactor);
    d.check(at + " start km", x.m_iStartRangeKm, y.m_iStartRangeKm);
    d.check(at + " start m", x.m_iStartRangeMeter, y.m_iStartRangeMeter);
    d.check(at + " spacing", x.m_iBinSpacing, y.m_iBinSpacing);
    d.check(at + " header bins", x.m_iMaxBin, y.m_iMaxBin);
    d.check(at + " pulse width", x.m_iPulseWidth, y.m_iPulseWidth);
    d.check(at + " beam H", x.m_fBeamWidthH, y.m_fBeamWidthH);
    d.check(at + " beam V", x.m_fBeamWidthV, y.m_fBeamWidthV);
    d.check(at + " bandwidth", x.m_iBandWidth, y.m_iBandWidth);
    d.check(at + " polarisation", x.m_iPolarMode, y.m_iPolarMode);
    d.check(at + " wavelength", x.m_fWaveLength, y.m_fWaveLength);
    d.check(at + " sample size", x.m_iSampleSize, y.m_iSampleSize);
    d.text(at + " threshold type", x.m_szThresholdType, y.m_szThresholdType);
    d.check(at + " threshold", x.m_iThresholdValue, y.m_iThresholdValue);
    d.check(at + " scale", x.m_iScale, y.m_iScale);
    d.text(at + " edit code", x.m_szEditCode, y.m_szEditCode);
    d.check(at + " PRT", x.m_iPRT, y.m_iPRT);
    d.check(at + " bits", x.m_iBitsPerBin, y.m_iBitsPerBin);
    d.check(at + " Nyquist", x.m_fNyquistVelocity, y.m_fNyquistVelocity);
    d.text(at + " velocity flag", x.m_szVelocityFlag, y.m_szVelocityFlag);
    d.check(at + " radar constant", x.m_fRadarConstant, y.m_fRadarConstant);
    d.check(at + " noise power", x.m_fNoisePower, y.m_fNoisePower);
    d.check(at + " receiver gain", x.m_fReceiverGain, y.m_fReceiverGain);
    d.check(at + " peak power", x.m_fPeakPower, y.m_fPeakPower);
    d.check(at + " antenna gain", x.m_fAntennaGain, y.m_fAntennaGain);
    d.check(at + " pulse duration", x.m_fPulseDuration, y.m_fPulseDuration);
    d.check(at + " bins", a->m_iCurBin, b->m_iCurBin);
    if (d.result().empty() && a->m_iCurBin == b->m_iCurBin && a->m_iCurBin > 0 &&
        (a->m_pData == nullptr || b->m_pData == nullptr ||
         std::memcmp(a->m_pData, b->m_pData, sizeof(short) * a->m_iCurBin) != 0)) {
        d.check(at + " bin values", std::string("a"), std::string("b"));
    }
}

void diffRay(Differ& d, const std::string& at, const UF_RAY* a, const UF_RAY* b, bool pos) {
    const UF_MANDATORY_HDR& x = a->mh;
    const UF_MANDATORY_HDR& y = b->mh;
    d.text(at + " ID", x.m_szID, y.m_szID);
    if (pos) {
        d.check(at + " record length", x.m_iRecLen, y.m_iRecLen);
        d.check(at + " OH position", x.m_iOHpos, y.m_iOHpos);
        d.check(at + " LH position", x.m_iLHpos, y.m_iLHpos);
        d.check(at + " DH position", x.m_iDHpos, y.m_iDHpos);
    }
    d.check(at + " optional header present", x.m_iOHpos != x.m_iLHpos, y.m_iOHpos != y.m_iLHpos);
    d.check(at + " record no", x.m_iRecordNo, y.m_iRecordNo);
    d.check(at + " volume no", x.m_iVolumeNo, y.m_iVolumeNo);
    d.check(at + " ray no", x.m_iRayNo, y.m_iRayNo);
    d.check(at + " record in ray", x.m_iRecordInRay, y.m_iRecordInRay);
    d.check(at + " sweep no", x.m_iSweepNo, y.m_iSweepNo);
    d.text(at + " radar", x.m_szRadarName, y.m_szRadarName);
    d.text(at + " site", x.m_szSiteName, y.m_szSiteName);
    d.check(at + " lat deg", x.m_iLatDeg, y.m_iLatDeg);
    d.check(at + " lat min", x.m_iLatMin, y.m_iLatMin);
    d.check(at + " lat sec", x.m_fLatSec, y.m_fLatSec);
    d.check(at + " lon deg", x.m_iLonDeg, y.m_iLonDeg);
    d.check(at + " lon min", x.m_iLonMin, y.m_iLonMin);
    d.check(at + " lon sec", x.m_fLonSec, y.m_fLonSec);
    d.check(at + " height", x.m_iAnteHeight, y.m_iAnteHeight);
    d.check(at + " year", x.m_iYear, y.m_iYear);
    d.check(at + " month", x.m_iMonth, y.m_iMonth);
    d.check(at + " day", x.m_iDay, y.m_iDay);
    d.check(at + " hour", x.m_iHour, y.m_iHour);
    d.check(at + " minute", x.m_iMinute, y.m_iMinute);
    d.check(at + " second", x.m_iSecond, y.m_iSecond);
    d.text(at + " time zone", x.m_szTimeZone, y.m_szTimeZone);
    d.check(at + " azimuth", x.m_fAzimuth, y.m_fAzimuth);
    d.check(at + " elevation", x.m_fElevation, y.m_fElevation);
    d.check(at + " sweep mode", x.m_iSweepMode, y.m_iSweepMode);
    d.check(at + " fixed angle", x.m_fFixedAngle, y.m_fFixedAngle);
    d.check(at + " sweep rate", x.m_fSweepRate, y.m_fSweepRate);
    d.check(at + " convert year", x.m_iConvertYear, y.m_iConvertYear);
    d.check(at + " convert month", x.m_iConvertMonth, y.m_iConvertMonth);
    d.check(at + " convert day", x.m_iConvertDay, y.m_iConvertDay);
    d.text(at + " convert name", x.m_szConvertName, y.m_szConvertName);
    d.check(at + " no data", x.m_iNoDataValue, y.m_iNoDataValue);
    const UF_OPTIONAL_HDR& p = a->oh;
    const UF_OPTIONAL_HDR& q = b->oh;
    d.text(at + " project", p.m_szProjectName, q.m_szProjectName);
    d.check(at + " baseline az", p.m_fBaselineAzimuth, q.m_fBaselineAzimuth);
    d.check(at + " baseline el", p.m_fBaselineElevation, q.m_fBaselineElevation);
    d.check(at + " scan hour", p.m_iVolumeScanHour, q.m_iVolumeScanHour);
    d.check(at + " scan minute", p.m_iVolumeScanMin, q.m_iVolumeScanMin);
    d.check(at + " scan second", p.m_iVolumeScanSec, q.m_iVolumeScanSec);
    d.text(at + " tape", p.m_szFieldTapeName, q.m_szFieldTapeName);
    d.check(at + " flag", p.m_iFlag, q.m_iFlag);
    d.check(at + " local bytes", a->lh.m_iMaxContent, b->lh.m_iMaxContent);
    if (d.result().empty() && a->lh.m_iMaxContent > 0 &&
        std::memcmp(a->lh.m_pszContent, b->lh.m_pszContent, a->lh.m_iMaxContent) != 0) {
        d.check(at + " local content", std::string("a"), std::string("b"));
    }
    d.check(at + " DH fields", a->dh.m_iMaxField, b->dh.m_iMaxField);
    d.check(at + " DH records", a->dh.m_iMaxRecord, b->dh.m_iMaxRecord);
    d.check(at + " DH fields in record", a->dh.m_iMaxFieldInRecord, b->dh.m_iMaxFieldInRecord);
    d.check(at + " fields", a->m_iCurField, b->m_iCurField);
    for (int k = 0; k < a->m_iCurField && d.result().empty(); ++k) {
        const std::string fat = at + " field " + std::to_string(k);
        d.text(fat + " name", a->dh.m_pfi[k].m_szFieldName, b->dh.m_pfi[k].m_szFieldName);
        if (pos) {
            d.check(fat + " FH position", a->dh.m_pfi[k].m_iFHpos, b->dh.m_pfi[k].m_iFHpos);
        }
        diffField(d, fat, a->m_ppField[k], b->m_ppField[k], pos);
    }
}

}  // namespace

std::string diffUf(const UF_RADAR* a, const UF_RADAR* b, bool withPositions) {
    Differ d;
    d.check("current sweeps", a->m_iCurSweep, b->m_iCurSweep);
    d.check("sweep slots", a->m_iMaxSweep, b->m_iMaxSweep);
    for (int s = 0; s < a->m_iMaxSweep && d.result().empty(); ++s) {
        const UF_SWEEP* x = a->m_ppSweep[s];
        const UF_SWEEP* y = b->m_ppSweep[s];
        d.check("sweep " + std::to_string(s) + " rays", x->m_iCurRay, y->m_iCurRay);
        for (int r = 0; r < x->m_iCurRay && d.result().empty(); ++r) {
            diffRay(d, "sweep " + std::to_string(s) + " ray " + std::to_string(r), x->m_ppRay[r],
                    y->m_ppRay[r], withPositions);
        }
    }
    return d.result();
}

}  // namespace uffix
