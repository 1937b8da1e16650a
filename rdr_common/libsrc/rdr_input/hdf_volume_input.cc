// The ODIM_H5 volume loader: the file's groups and arrays come back from the isolated
// libhdf5 read (odim_file_image.cc); here they become an HDF_RADAR, with every ODIM rule
// checked and every refusal naming the group or attribute at fault.
//
// ODIM lets what and how attributes be given at a higher level and apply below it: a
// dataset's how starts as a copy of the volume's, a data item's what from its dataset's.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

#include "core_utilities.h"
#include "hdf_radar.h"
#include "internal/fixed_text.h"
#include "internal/odim_file_image.h"

namespace {

constexpr const char* kLoad = "fnLoadHdfRadar";
// Bounds of a sweep's shape; real sweeps stay far below them.
constexpr long kMaxRays = 100000;
constexpr long kMaxBins = 100000;

// A file's text in a message: quoted, and cut short when long.
std::string quoted(const std::string& text) {
    std::string q(1, '"');
    q.append(text, 0, 40);
    q.push_back('"');
    return q;
}

// A refusal: the object at fault and what is wrong with it.
struct Refusal {
    std::string what;
};

class Loader {
  public:
    Loader(const char* szFile, const OdimFileImage& image) : file_(szFile), image_(image) {}

    // Fills pHdf; a Refusal is thrown at the first fault.
    void load(HDF_RADAR* pHdf);

  private:
    const OdimGroup* group(const std::string& path) const { return image_.group(path); }

    const OdimAttribute* attribute(const OdimGroup* g, const char* name, bool wantText) const {
        const OdimAttribute* a = g != nullptr ? g->find(name) : nullptr;
        if (a == nullptr) {
            return nullptr;
        }
        if (!a->usable || a->text != wantText) {
            refuse(g->path + "/" + name,
                   wantText ? "is not a text attribute" : "is not a numeric attribute");
        }
        return a;
    }

    [[noreturn]] void refuse(const std::string& object, const std::string& why) const {
        throw Refusal{object + " " + why};
    }

    // A text attribute into a fixed field; longer text is refused unless bCut (descriptive
    // texts only). False when absent.
    bool text(const OdimGroup* g, const char* name, char* dst, std::size_t n,
              bool bCut = false) const {
        const OdimAttribute* a = attribute(g, name, true);
        if (a == nullptr) {
            return false;
        }
        if (a->string.size() >= n && !bCut) {
            refuse(g->path + "/" + name,
                   quoted(a->string) + " is longer than " + std::to_string(n - 1) + " characters");
        }
        copyFixedText(dst, n, a->string.c_str());
        return true;
    }

    bool number(const OdimGroup* g, const char* name, double* pValue) const {
        const OdimAttribute* a = attribute(g, name, false);
        if (a == nullptr) {
            return false;
        }
        if (!std::isfinite(a->values[0])) {
            refuse(g->path + "/" + name, "is not a finite number");
        }
        *pValue = a->values[0];
        return true;
    }

    bool whole(const OdimGroup* g, const char* name, long* pValue) const {
        double v = 0;
        if (!number(g, name, &v)) {
            return false;
        }
        if (v != std::trunc(v) || std::fabs(v) > 1e15) {
            refuse(g->path + "/" + name, "is not a whole number");
        }
        *pValue = static_cast<long>(v);
        return true;
    }

    const OdimGroup* required(const std::string& path) const {
        const OdimGroup* g = group(path);
        if (g == nullptr) {
            refuse(path, "group is missing");
        }
        return g;
    }

    void requireNumber(const OdimGroup* g, const char* name, double* pValue) const {
        if (!number(g, name, pValue)) {
            refuse(g->path + "/" + name, "is missing");
        }
    }

    void requireWhole(const OdimGroup* g, const char* name, long* pValue) const {
        if (!whole(g, name, pValue)) {
            refuse(g->path + "/" + name, "is missing");
        }
    }

    void checkDigits(const OdimGroup* g, const char* name, const char* value, std::size_t n) const {
        bool ok = std::strlen(value) == n;
        for (std::size_t i = 0; ok && i < n; ++i) {
            ok = value[i] >= '0' && value[i] <= '9';
        }
        if (!ok) {
            refuse(g->path + "/" + name,
                   quoted(value) + " is not " + std::to_string(n) + " digits");
        }
    }

    void readTop(HDF_RADAR* pHdf) const;
    void readHow(const OdimGroup* g, HDF_HOW* pHow) const;
    void readDataset(int d, HDF_RADAR* pHdf, HDF_DATASET* pDataset) const;
    void readRayHow(const OdimGroup* how, HDF_DATASET* pDataset) const;
    void readData(const std::string& prefix, const HDF_DATASET* pDataset, HDF_DATA* pData) const;

    std::string file_;
    const OdimFileImage& image_;
};

void Loader::readTop(HDF_RADAR* pHdf) const {
    const OdimGroup* root = required("");
    std::string conventions;
    const OdimAttribute* a = attribute(root, "Conventions", true);
    if (a == nullptr || a->string.rfind("ODIM_H5", 0) != 0) {
        refuse("/Conventions", a == nullptr ? "is missing: not an ODIM_H5 file"
                                            : quoted(a->string) + " does not name ODIM_H5");
    }
    text(root, "Conventions", pHdf->m_szConventions, sizeof pHdf->m_szConventions);
    pHdf->m_iHdfType = HDF_EN_R_TYPE_POLAR;

    const OdimGroup* what = required("what");
    HDF_TOP_WHAT& w = pHdf->m_what;
    if (!text(what, "object", w.m_szObject, sizeof w.m_szObject)) {
        refuse("what/object", "is missing");
    }
    if (std::strcmp(w.m_szObject, "PVOL") != 0 && std::strcmp(w.m_szObject, "SCAN") != 0) {
        refuse("what/object", quoted(w.m_szObject) + " is not a polar volume (PVOL or SCAN)");
    }
    text(what, "version", w.m_szVersion, sizeof w.m_szVersion, true);
    if (!text(what, "date", w.m_szDate, sizeof w.m_szDate)) {
        refuse("what/date", "is missing");
    }
    checkDigits(what, "date", w.m_szDate, 8);
    if (!text(what, "time", w.m_szTime, sizeof w.m_szTime)) {
        refuse("what/time", "is missing");
    }
    checkDigits(what, "time", w.m_szTime, 6);
    text(what, "source", w.m_szSource, sizeof w.m_szSource);

    const OdimGroup* where = required("where");
    HDF_POLAR_WHERE& p = pHdf->m_where.m_polar_where;
    requireNumber(where, "lon", &p.m_dLon);
    requireNumber(where, "lat", &p.m_dLat);
    requireNumber(where, "height", &p.m_dHeightM);
    if (std::fabs(p.m_dLat) > 90.0 || std::fabs(p.m_dLon) > 360.0) {
        refuse("where", "places the radar at latitude " + std::to_string(p.m_dLat) +
                            ", longitude " + std::to_string(p.m_dLon));
    }
    readHow(group("how"), &pHdf->m_how);
}

void Loader::readHow(const OdimGroup* g, HDF_HOW* pHow) const {
    if (g == nullptr) {
        return;
    }
    HDF_GENERAL_HOW& gh = pHow->m_general_how;
    struct TextField {
        const char* name;
        char* dst;
        std::size_t n;
    };
    const TextField texts[] = {
        {"task", gh.m_szTask, sizeof gh.m_szTask},
        {"task_args", gh.m_szTaskArg, sizeof gh.m_szTaskArg},
        {"system", gh.m_szSystem, sizeof gh.m_szSystem},
        {"TXtype", gh.m_szTXtype, sizeof gh.m_szTXtype},
        {"poltype", gh.m_szPoltype, sizeof gh.m_szPoltype},
        {"polmode", gh.m_szPolmode, sizeof gh.m_szPolmode},
        {"software", gh.m_szSoftware, sizeof gh.m_szSoftware},
        {"sw_version", gh.m_szSW_version, sizeof gh.m_szSW_version},
        {"simulated", gh.m_bSimulated, sizeof gh.m_bSimulated},
        {"azmethod", pHow->m_polar_how.m_szAzmethod, sizeof pHow->m_polar_how.m_szAzmethod},
        {"elmethod", pHow->m_polar_how.m_szElmethod, sizeof pHow->m_polar_how.m_szElmethod},
        {"binmethod", pHow->m_polar_how.m_szBinmethod, sizeof pHow->m_polar_how.m_szBinmethod},
    };
    for (const TextField& t : texts) {
        text(g, t.name, t.dst, t.n, true);  // descriptive: cut to fit
    }
    HDF_RADAR_HOW& r = pHow->m_radar_how;
    struct NumberField {
        const char* name;
        double* dst;
    };
    const NumberField numbers[] = {
        {"startepochs", &gh.m_dStartepochs},
        {"endepochs", &gh.m_dEndepochs},
        {"zr_a", &gh.m_dZr_a},
        {"zr_b", &gh.m_dZr_b},
        {"kr_a", &gh.m_dKr_a},
        {"kr_b", &gh.m_dKr_b},
        {"beamwidth", &r.m_dBeamwidth},
        {"wavelength", &r.m_dWaveLength},
        {"rpm", &r.m_dRpm},
        {"elevspeed", &r.m_dElevsSpeed},
        {"pulsewidth", &r.m_dPulseWidth},
        {"RXbandwidth", &r.m_dRXbandWidth},
        {"lowprf", &r.m_dLowPrf},
        {"midprf", &r.m_dMidPrf},
        {"highprf", &r.m_dHighPrf},
        {"TXlossH", &r.m_dTXlossH},
        {"TXlossV", &r.m_dTXlossV},
        {"injectlossH", &r.m_dInjectlossH},
        {"injectlossV", &r.m_dInjectlossV},
        {"RXlossH", &r.m_dRXlossH},
        {"RXlossV", &r.m_dRXlossV},
        {"radomelossH", &r.m_dRadomelossH},
        {"radomelossV", &r.m_dRadomelossV},
        {"antgainH", &r.m_dAntgainH},
        {"antgainV", &r.m_dAntgainV},
        {"beamwH", &r.m_dBeamwH},
        {"beamwV", &r.m_dBeamwV},
        {"gasattn", &r.m_dGasattn},
        {"radconstH", &r.m_dRadconstH},
        {"radconstV", &r.m_dRadconstV},
        {"nomTXpower", &r.m_dNomTXpower},
        {"powerdiff", &r.m_dPowerDiff},
        {"phasediff", &r.m_dPhaseDiff},
        {"NI", &r.m_dNi},
        {"astart", &pHow->m_polar_how.m_dAstart},
    };
    for (const NumberField& f : numbers) {
        number(g, f.name, f.dst);
    }
    long vsamples = 0;
    if (whole(g, "Vsamples", &vsamples)) {
        r.m_lVsamples = vsamples;
    }
    // Older files give one beam width for both planes.
    if (g->find("beamwidth") != nullptr) {
        if (g->find("beamwH") == nullptr) {
            r.m_dBeamwH = r.m_dBeamwidth;
        }
        if (g->find("beamwV") == nullptr) {
            r.m_dBeamwV = r.m_dBeamwidth;
        }
    }
}

void Loader::readRayHow(const OdimGroup* how, HDF_DATASET* pDataset) const {
    if (how == nullptr) {
        return;
    }
    const long nRays = pDataset->m_where.m_polar_where.m_nRays;
    HDF_POLAR_HOW& ph = pDataset->m_how.m_polar_how;
    struct PerRay {
        const char* name;
        double* fixed;
        double* HDF_RAY_HOW::*array;
    };
    const PerRay perRay[] = {
        {"startazA", ph.m_dStartazA, &HDF_RAY_HOW::m_pStartazA},
        {"stopazA", ph.m_dStopazA, &HDF_RAY_HOW::m_pStopazA},
        {"startazT", ph.m_dStartazT, &HDF_RAY_HOW::m_pStartazT},
        {"stopazT", ph.m_dStopazT, &HDF_RAY_HOW::m_pStopazT},
        {"elangles", ph.m_dElangles, &HDF_RAY_HOW::m_pElangles},
    };
    for (const PerRay& field : perRay) {
        const OdimAttribute* a = attribute(how, field.name, false);
        if (a == nullptr) {
            continue;
        }
        if (static_cast<long>(a->values.size()) != nRays) {
            refuse(how->path + "/" + field.name, "holds " + std::to_string(a->values.size()) +
                                                     " values for " + std::to_string(nRays) +
                                                     " rays");
        }
        for (double v : a->values) {
            if (!std::isfinite(v)) {
                refuse(how->path + "/" + field.name, "holds a value that is not finite");
            }
        }
        if (pDataset->m_pRayHow == nullptr) {
            pDataset->m_pRayHow = static_cast<HDF_RAY_HOW*>(std::calloc(1, sizeof(HDF_RAY_HOW)));
            if (pDataset->m_pRayHow == nullptr) {
                throw std::bad_alloc();
            }
            pDataset->m_pRayHow->m_nRays = nRays;
        }
        auto* p = static_cast<double*>(std::malloc(sizeof(double) * a->values.size()));
        if (p == nullptr) {
            throw std::bad_alloc();
        }
        std::memcpy(p, a->values.data(), sizeof(double) * a->values.size());
        pDataset->m_pRayHow->*field.array = p;
        std::memcpy(field.fixed, p,
                    sizeof(double) * std::min<std::size_t>(a->values.size(), HDF_MAX_RAY_HOW));
    }
}

// Raw values to physical ones: -9999 for undetect, -9998 for nodata, raw x gain + offset.
class Decoder {
  public:
    Decoder(const HDF_DATASET_WHAT& w) : w_(w) {}

    float operator()(double raw) const {
        if (raw == w_.m_dUndetect) {
            return HDF_UNDETECT_VALUE;
        }
        if (raw == w_.m_dNodata) {
            return HDF_NODATA_VALUE;
        }
        const double value = raw * w_.m_dGain + w_.m_dOffset;
        return std::isfinite(value) && std::fabs(value) < 3.0e38 ? static_cast<float>(value)
                                                                 : HDF_NODATA_VALUE;
    }

  private:
    const HDF_DATASET_WHAT& w_;
};

// The raw values of a row are read with memcpy: the hand-over buffer keeps no alignment.
template <class T>
void decodeRows(const OdimArray& array, const Decoder& decode, float** rows) {
    const std::size_t cols = array.cols;
    const std::size_t rowBytes = cols * sizeof(T);
    if constexpr (sizeof(T) <= 2 && std::is_integral_v<T>) {
        // Every possible raw value decoded once.
        using U = std::make_unsigned_t<T>;
        constexpr int kSpan = 1 << (8 * sizeof(T));
        std::vector<float> table(kSpan);
        for (int i = 0; i < kSpan; ++i) {
            table[i] = decode(static_cast<double>(static_cast<T>(static_cast<U>(i))));
        }
        for (std::size_t r = 0; r < array.rows; ++r) {
            const unsigned char* in = array.bytes + r * rowBytes;
            float* out = rows[r];
            for (std::size_t c = 0; c < cols; ++c) {
                U value;
                std::memcpy(&value, in + c * sizeof(T), sizeof(T));
                out[c] = table[value];
            }
        }
    } else {
        for (std::size_t r = 0; r < array.rows; ++r) {
            const unsigned char* in = array.bytes + r * rowBytes;
            for (std::size_t c = 0; c < cols; ++c) {
                T value;
                std::memcpy(&value, in + c * sizeof(T), sizeof(T));
                rows[r][c] = decode(static_cast<double>(value));
            }
        }
    }
}

void decodeArray(const OdimArray& array, const HDF_DATASET_WHAT& what, float** rows) {
    const Decoder decode(what);
    switch (array.element) {
        case OdimElement::kU8:
            return decodeRows<std::uint8_t>(array, decode, rows);
        case OdimElement::kI8:
            return decodeRows<std::int8_t>(array, decode, rows);
        case OdimElement::kU16:
            return decodeRows<std::uint16_t>(array, decode, rows);
        case OdimElement::kI16:
            return decodeRows<std::int16_t>(array, decode, rows);
        case OdimElement::kU32:
            return decodeRows<std::uint32_t>(array, decode, rows);
        case OdimElement::kI32:
            return decodeRows<std::int32_t>(array, decode, rows);
        case OdimElement::kF32:
            return decodeRows<float>(array, decode, rows);
        case OdimElement::kF64:
            return decodeRows<double>(array, decode, rows);
    }
}

void Loader::readData(const std::string& prefix, const HDF_DATASET* pDataset,
                      HDF_DATA* pData) const {
    const HDF_POLAR_WHERE& where = pDataset->m_where.m_polar_where;
    HDF_DATASET_WHAT& w = pData->m_what;
    // What the dataset's what says applies unless the data item's own says otherwise.
    w = pDataset->m_what;
    const OdimGroup* what = group(prefix + "/what");
    for (const OdimGroup* g : {group(prefix.substr(0, prefix.rfind('/')) + "/what"), what}) {
        if (g == nullptr) {
            continue;
        }
        text(g, "quantity", w.m_szQuantity, sizeof w.m_szQuantity);
        number(g, "gain", &w.m_dGain);
        number(g, "offset", &w.m_dOffset);
        number(g, "nodata", &w.m_dNodata);
        number(g, "undetect", &w.m_dUndetect);
    }
    if (w.m_szQuantity[0] == '\0') {
        refuse(prefix + "/what/quantity", "is missing");
    }
    const OdimArray* array = image_.array(prefix + "/data");
    if (array == nullptr) {
        refuse(prefix, "(quantity " + std::string(w.m_szQuantity) + ") has no data array");
    }
    if (!array->usable) {
        refuse(array->path, "is " + array->why);
    }
    if (static_cast<long>(array->rows) != where.m_nRays ||
        static_cast<long>(array->cols) != where.m_nBins) {
        refuse(array->path, "is " + std::to_string(array->rows) + " x " +
                                std::to_string(array->cols) + " where its where says " +
                                std::to_string(where.m_nRays) + " rays x " +
                                std::to_string(where.m_nBins) + " bins");
    }
    pData->m_where.m_polar_where = where;
    copyFixedText(pData->m_szClass, sizeof pData->m_szClass, "IMAGE");
    copyFixedText(pData->m_szVersion, sizeof pData->m_szVersion, "1.2");
    pData->m_ppData =
        fnMakeMatrix2D_F(static_cast<int>(where.m_nRays), static_cast<int>(where.m_nBins));
    if (pData->m_ppData == nullptr) {
        throw std::bad_alloc();
    }
    decodeArray(*array, w, pData->m_ppData);
    // The matrix now holds physical values and the grid codes: say so.
    w.m_dGain = 1.0;
    w.m_dOffset = 0.0;
    w.m_dNodata = HDF_NODATA_VALUE;
    w.m_dUndetect = HDF_UNDETECT_VALUE;
}

void Loader::readDataset(int d, HDF_RADAR* pHdf, HDF_DATASET* pDataset) const {
    const std::string prefix = "dataset" + std::to_string(d);
    const OdimGroup* what = required(prefix + "/what");
    HDF_DATASET_WHAT& w = pDataset->m_what;
    w.m_dGain = 1.0;
    // No code until the file names one: NaN equals no raw value.
    w.m_dNodata = NAN;
    w.m_dUndetect = NAN;
    if (!text(what, "product", w.m_szProduct, sizeof w.m_szProduct)) {
        copyFixedText(w.m_szProduct, sizeof w.m_szProduct, "SCAN");
    }
    if (!text(what, "startdate", w.m_szStartDate, sizeof w.m_szStartDate)) {
        refuse(prefix + "/what/startdate", "is missing");
    }
    checkDigits(what, "startdate", w.m_szStartDate, 8);
    if (!text(what, "starttime", w.m_szStartTime, sizeof w.m_szStartTime)) {
        refuse(prefix + "/what/starttime", "is missing");
    }
    checkDigits(what, "starttime", w.m_szStartTime, 6);
    if (text(what, "enddate", w.m_szEndDate, sizeof w.m_szEndDate)) {
        checkDigits(what, "enddate", w.m_szEndDate, 8);
    } else {
        copyFixedText(w.m_szEndDate, sizeof w.m_szEndDate, w.m_szStartDate);
    }
    if (text(what, "endtime", w.m_szEndTime, sizeof w.m_szEndTime)) {
        checkDigits(what, "endtime", w.m_szEndTime, 6);
    } else {
        copyFixedText(w.m_szEndTime, sizeof w.m_szEndTime, w.m_szStartTime);
    }

    const OdimGroup* where = required(prefix + "/where");
    HDF_POLAR_WHERE& p = pDataset->m_where.m_polar_where;
    p.m_dLon = pHdf->m_where.m_polar_where.m_dLon;
    p.m_dLat = pHdf->m_where.m_polar_where.m_dLat;
    p.m_dHeightM = pHdf->m_where.m_polar_where.m_dHeightM;
    requireNumber(where, "elangle", &p.m_dElangle);
    requireWhole(where, "nrays", &p.m_nRays);
    requireWhole(where, "nbins", &p.m_nBins);
    requireNumber(where, "rscale", &p.m_dRScale);
    number(where, "rstart", &p.m_dRstart);
    whole(where, "a1gate", &p.m_lA1gate);
    number(where, "startaz", &p.m_dStartAz);
    number(where, "stopaz", &p.m_dStopAz);
    if (p.m_nRays < 1 || p.m_nRays > kMaxRays) {
        refuse(where->path + "/nrays", std::to_string(p.m_nRays) + " is out of range");
    }
    if (p.m_nBins < 1 || p.m_nBins > kMaxBins) {
        refuse(where->path + "/nbins", std::to_string(p.m_nBins) + " is out of range");
    }
    if (p.m_lA1gate < 0 || p.m_lA1gate >= p.m_nRays) {
        refuse(where->path + "/a1gate",
               std::to_string(p.m_lA1gate) + " is not a ray of " + std::to_string(p.m_nRays));
    }
    if (!(p.m_dRScale > 0.0 && p.m_dRScale < 1.0e6)) {
        refuse(where->path + "/rscale", std::to_string(p.m_dRScale) + " m is out of range");
    }
    if (std::fabs(p.m_dElangle) > 90.0 || std::fabs(p.m_dRstart) > 1.0e4) {
        refuse(where->path, "gives an elevation or start range out of range");
    }

    pDataset->m_how = pHdf->m_how;
    const OdimGroup* how = group(prefix + "/how");
    readHow(how, &pDataset->m_how);
    readRayHow(how, pDataset);

    const int nData = image_.dataPerDataset[static_cast<std::size_t>(d - 1)];
    if (nData < 1) {
        refuse(prefix, "holds no data group");
    }
    pDataset->m_ppData = static_cast<HDF_DATA**>(std::calloc(nData, sizeof(HDF_DATA*)));
    if (pDataset->m_ppData == nullptr) {
        throw std::bad_alloc();
    }
    pDataset->m_iMaxData = nData;
    for (int m = 1; m <= nData; ++m) {
        HDF_DATA* pData = static_cast<HDF_DATA*>(std::calloc(1, sizeof(HDF_DATA)));
        pDataset->m_ppData[m - 1] = pData;
        if (pData == nullptr) {
            throw std::bad_alloc();
        }
        readData(prefix + "/data" + std::to_string(m), pDataset, pData);
    }
}

void Loader::load(HDF_RADAR* pHdf) {
    readTop(pHdf);
    if (image_.datasets < 1) {
        refuse("dataset1", "group is missing: the volume holds no sweep");
    }
    pHdf->m_ppDataset =
        static_cast<HDF_DATASET**>(std::calloc(image_.datasets, sizeof(HDF_DATASET*)));
    if (pHdf->m_ppDataset == nullptr) {
        throw std::bad_alloc();
    }
    pHdf->m_iMaxDataset = image_.datasets;
    for (int d = 1; d <= image_.datasets; ++d) {
        pHdf->m_ppDataset[d - 1] = static_cast<HDF_DATASET*>(std::calloc(1, sizeof(HDF_DATASET)));
        if (pHdf->m_ppDataset[d - 1] == nullptr) {
            throw std::bad_alloc();
        }
        readDataset(d, pHdf, pHdf->m_ppDataset[d - 1]);
    }
}

}  // namespace

HDF_RADAR* fnLoadHdfRadar(const char* szFile) {
    if (szFile == nullptr) {
        rdrError(kLoad, "no file name");
        return nullptr;
    }
    OdimFileImage image;
    if (!readOdimFileImage(szFile, kLoad, &image)) {
        return nullptr;
    }
    auto* pHdf = static_cast<HDF_RADAR*>(std::calloc(1, sizeof(HDF_RADAR)));
    if (pHdf == nullptr) {
        rdrError(kLoad, "calloc fail");
        return nullptr;
    }
    try {
        Loader(szFile, image).load(pHdf);
    } catch (const Refusal& refusal) {
        rdrError(kLoad, (std::string(szFile) + ": " + refusal.what).c_str());
        fnFreeHdfRadar(pHdf);
        return nullptr;
    } catch (const std::bad_alloc&) {
        rdrError(kLoad, (std::string(szFile) + ": out of memory").c_str());
        fnFreeHdfRadar(pHdf);
        return nullptr;
    }
    return pHdf;
}
