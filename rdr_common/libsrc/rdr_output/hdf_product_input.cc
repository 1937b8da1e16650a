// The ODIM_H5 product loader. The file is read in a child process (libhdf5 can crash or run
// away on a damaged file), in two passes: every group and attribute is checked and the
// datasets are sorted into their families, then the grids are read straight into the
// slots. Grids our writer made (the moment's own storage type, gain, offset and codes) are
// copied as stored; any other is decoded to physical values and packed by the moment's
// memory rule.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "core_utilities.h"
#include "grid_codes.h"
#include "hdf5_output.h"
#include "hdf_product_input.h"
#include "internal/fixed_text.h"
#include "internal/hdf5_access.h"
#include "internal/hdf_product_input_transfer.h"
#include "internal/isolated_decode.h"
#include "internal/odim_grid_packing.h"
#include "internal/odim_product_to_std.h"
#include "internal/refusal.h"

namespace {

constexpr const char* kLoad = "fnLoadHdfProduct";

// Decoding a product of the largest accepted size takes a few hundred MB; a real product
// decodes in well under a second of CPU.
IsolationLimits g_limits = {
    std::size_t{3} << 30,  // address space
    20,                    // CPU seconds
    40,                    // wall seconds
    std::size_t{3} << 30,  // result bytes
};

using product_families::kMaxFamilyCount;
constexpr int kMaxDatasets = 1000;
// Older files give xscale and yscale in kilometres, ODIM in metres; no product grid has
// cells of 50 km or of less than 50 m.
constexpr double kScaleKmBelow = 50.0;
constexpr double kMetresPerKm = 1000.0;

using LoadError = refusal::Refusal;
using refusal::refuse;

std::string join(const std::string& path, const char* name) {
    return path.empty() ? name : path + "/" + name;
}

// A text attribute into a fixed field; absent leaves it empty unless required.
void readText(hid_t obj, const std::string& path, const char* name, char* szOut, std::size_t nOut,
              bool bRequired) {
    std::string text;
    switch (h5::readString(obj, name, &text)) {
        case h5::Get::kAbsent:
            if (bRequired) {
                refuse(join(path, name) + " missing");
            }
            return;
        case h5::Get::kBad:
            refuse(join(path, name) + " unreadable (not a text)");
        case h5::Get::kOk:
            break;
    }
    if (text.size() + 1 > nOut) {
        refuse(join(path, name) + " '" + text.substr(0, 64) + "' longer than " +
               std::to_string(nOut - 1) + " characters");
    }
    copyFixedText(szOut, nOut, text.c_str());
}

// A number attribute; false when absent and not required.
bool readNumber(hid_t obj, const std::string& path, const char* name, double* pValue,
                bool bRequired) {
    switch (h5::readDouble(obj, name, pValue)) {
        case h5::Get::kOk:
            return true;
        case h5::Get::kAbsent:
            if (bRequired) {
                refuse(join(path, name) + " missing");
            }
            return false;
        case h5::Get::kBad:
            break;
    }
    refuse(join(path, name) + " unreadable (not a finite number)");
}

long readSize(hid_t obj, const std::string& path, const char* name) {
    long value = 0;
    const h5::Get got = h5::readLong(obj, name, &value);
    if (got == h5::Get::kAbsent) {
        refuse(join(path, name) + " missing");
    }
    if (got != h5::Get::kOk || value < 1 || value > kHdfProductMaxSide) {
        refuse(join(path, name) + " is not a size from 1 to " + std::to_string(kHdfProductMaxSide));
    }
    return value;
}

bool allDigits(const char* sz, std::size_t n) {
    if (std::strlen(sz) != n) {
        return false;
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (sz[i] < '0' || sz[i] > '9') {
            return false;
        }
    }
    return true;
}

h5::Group openGroup(hid_t loc, const std::string& path, const char* name, bool bRequired) {
    if (!h5::groupExists(loc, name)) {
        if (bRequired) {
            refuse(join(path, name) + " missing");
        }
        return h5::Group();
    }
    h5::Group group(H5Gopen2(loc, name, H5P_DEFAULT));
    if (!group) {
        refuse(join(path, name) + " cannot be opened");
    }
    return group;
}

double scaleKm(double value) {
    return std::fabs(value) < kScaleKmBelow ? value : value / kMetresPerKm;
}

// One grid to read: where it is and how its values are coded in the file.
struct DataPlan {
    std::string path;
    HDF_DATASET_WHAT what{};  // quantity, gain, offset, nodata, undetect as in the file
    bool hasNodata = false;
    bool hasUndetect = false;
    char field[9] = "";
};

struct DatasetPlan {
    std::string path;
    HDF_DATASET_WHAT what{};
    std::vector<DataPlan> data;
};

// The coding attributes of a what group over those inherited from its dataset.
void readCoding(hid_t what, const std::string& path, DataPlan* pPlan) {
    HDF_DATASET_WHAT& w = pPlan->what;
    readText(what, path, "quantity", w.m_szQuantity, sizeof w.m_szQuantity, false);
    readNumber(what, path, "gain", &w.m_dGain, false);
    readNumber(what, path, "offset", &w.m_dOffset, false);
    pPlan->hasNodata = readNumber(what, path, "nodata", &w.m_dNodata, false) || pPlan->hasNodata;
    pPlan->hasUndetect =
        readNumber(what, path, "undetect", &w.m_dUndetect, false) || pPlan->hasUndetect;
}

// prodpar: our files keep it as a 1-D dataset in what, in the standard product's units;
// ODIM files as an attribute, heights in metres.
void readProdpar(hid_t what, const std::string& path, const char* szStdProduct, double* pOut) {
    if (h5::datasetExists(what, "prodpar")) {
        h5::Dataset set(H5Dopen2(what, "prodpar", H5P_DEFAULT));
        h5::Space space(set ? H5Dget_space(set.get()) : H5I_INVALID_HID);
        hsize_t dims[1] = {0};
        if (!space || H5Sget_simple_extent_ndims(space.get()) != 1 ||
            H5Sget_simple_extent_dims(space.get(), dims, nullptr) != 1 || dims[0] < 1 ||
            dims[0] > 2) {
            refuse(join(path, "prodpar") + " is not one or two values");
        }
        double values[2] = {0.0, 0.0};
        if (H5Dread(set.get(), H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, values) < 0 ||
            !std::isfinite(values[0]) || !std::isfinite(values[1])) {
            refuse(join(path, "prodpar") + " unreadable");
        }
        pOut[0] = values[0];
        pOut[1] = values[1];
        return;
    }
    std::vector<double> values;
    std::string text;
    if (h5::readDoubleArray(what, "prodpar", 2, &values) == h5::Get::kOk) {
        pOut[0] = values[0];
        pOut[1] = values[1];
    } else if (h5::readDouble(what, "prodpar", &pOut[0]) == h5::Get::kOk) {
        pOut[1] = 0.0;
    } else if (h5::readString(what, "prodpar", &text) == h5::Get::kOk) {
        // A sequence "bottom,top".
        char* end = nullptr;
        errno = 0;
        pOut[0] = std::strtod(text.c_str(), &end);
        if (end != nullptr && *end == ',') {
            pOut[1] = std::strtod(end + 1, &end);
        }
        if (errno != 0 || end == nullptr || *end != '\0' || !std::isfinite(pOut[0]) ||
            !std::isfinite(pOut[1])) {
            refuse(join(path, "prodpar") + " '" + text.substr(0, 64) + "' is not numbers");
        }
    } else if (H5Aexists(what, "prodpar") > 0) {
        refuse(join(path, "prodpar") + " unreadable");
    } else {
        return;
    }
    if (std::strcmp(szStdProduct, "CAPPI") == 0 || std::strcmp(szStdProduct, "VIL") == 0) {
        pOut[0] /= kMetresPerKm;
        pOut[1] /= kMetresPerKm;
    }
}

struct Plan {
    HDF_PRODUCT head{};  // everything but the families
    std::vector<DatasetPlan> families[kOdimFamilyCount];
    int maxField = 0;
};

void planTop(hid_t root, Plan* pPlan) {
    HDF_PRODUCT& p = pPlan->head;
    readText(root, "", "Conventions", p.m_szConventions, sizeof p.m_szConventions, true);
    if (std::strncmp(p.m_szConventions, "ODIM_H5", 7) != 0) {
        refuse(std::string("Conventions '") + p.m_szConventions + "' is not ODIM_H5");
    }
    h5::Group what = openGroup(root, "", "what", true);
    HDF_TOP_WHAT& w = p.m_what;
    readText(what.get(), "what", "object", w.m_szObject, sizeof w.m_szObject, true);
    if (std::strcmp(w.m_szObject, "COMP") == 0) {
        p.m_iHdfProductType = HDF_EN_PRODUCT_COMP;
    } else if (std::strcmp(w.m_szObject, "IMAGE") == 0 || std::strcmp(w.m_szObject, "AZIM") == 0) {
        p.m_iHdfProductType = HDF_EN_PRODUCT_SITE;
    } else {
        refuse(std::string("what/object '") + w.m_szObject +
               "' is not a product (IMAGE, COMP or AZIM)");
    }
    readText(what.get(), "what", "version", w.m_szVersion, sizeof w.m_szVersion, false);
    readText(what.get(), "what", "date", w.m_szDate, sizeof w.m_szDate, true);
    readText(what.get(), "what", "time", w.m_szTime, sizeof w.m_szTime, true);
    if (!allDigits(w.m_szDate, 8) || !allDigits(w.m_szTime, 6)) {
        refuse(std::string("what/date and time '") + w.m_szDate + "' '" + w.m_szTime +
               "' are not YYYYMMDD and HHMMSS");
    }
    readText(what.get(), "what", "source", w.m_szSource, sizeof w.m_szSource, false);

    h5::Group where = openGroup(root, "", "where", true);
    HDF_IMAGE_WHERE& image = p.m_where.m_image_where;
    image.m_lXsize = readSize(where.get(), "where", "xsize");
    image.m_lYsize = readSize(where.get(), "where", "ysize");
    if (image.m_lXsize * image.m_lYsize > kHdfProductMaxCells) {
        refuse("where/xsize x ysize is more than " + std::to_string(kHdfProductMaxCells) +
               " cells");
    }
    if (readNumber(where.get(), "where", "xscale", &image.m_dXscale, false)) {
        image.m_dXscale = scaleKm(image.m_dXscale);
    }
    if (readNumber(where.get(), "where", "yscale", &image.m_dYscale, false)) {
        image.m_dYscale = scaleKm(image.m_dYscale);
    }
    readText(where.get(), "where", "projdef", image.m_szProjdef, sizeof image.m_szProjdef, false);
    const struct {
        const char* name;
        double* value;
    } corners[] = {{"LL_lon", &image.m_LL_lon}, {"LL_lat", &image.m_LL_lat},
                   {"UL_lon", &image.m_UL_lon}, {"UL_lat", &image.m_UL_lat},
                   {"UR_lon", &image.m_UR_lon}, {"UR_lat", &image.m_UR_lat},
                   {"LR_lon", &image.m_LR_lon}, {"LR_lat", &image.m_LR_lat}};
    for (const auto& corner : corners) {
        readNumber(where.get(), "where", corner.name, corner.value, false);
    }
    HDF_POLAR_WHERE& polar = p.m_where.m_polar_where;
    readNumber(where.get(), "where", "lon", &polar.m_dLon, false);
    readNumber(where.get(), "where", "lat", &polar.m_dLat, false);
    readNumber(where.get(), "where", "height", &polar.m_dHeightM, false);

    h5::Group how = openGroup(root, "", "how", false);
    if (how) {
        HDF_HOW& h = p.m_how;
        readNumber(how.get(), "how", "NI", &h.m_radar_how.m_dNi, false);
        readText(how.get(), "how", "task", h.m_general_how.m_szTask,
                 sizeof h.m_general_how.m_szTask, false);
        readText(how.get(), "how", "system", h.m_general_how.m_szSystem,
                 sizeof h.m_general_how.m_szSystem, false);
        readText(how.get(), "how", "camethod", h.m_image_how.m_szCamethod,
                 sizeof h.m_image_how.m_szCamethod, false);
    }
}

void planDataset(hid_t root, const std::string& path, Plan* pPlan) {
    h5::Group dataset = openGroup(root, "", path.c_str(), true);
    h5::Group what = openGroup(dataset.get(), path, "what", false);
    DatasetPlan plan;
    plan.path = path;
    DataPlan inherited;
    inherited.what.m_dGain = 1.0;  // ODIM's default when no gain is given
    if (what) {
        readText(what.get(), path + "/what", "product", plan.what.m_szProduct,
                 sizeof plan.what.m_szProduct, false);
        readCoding(what.get(), path + "/what", &inherited);
    }
    PRODUCT_INFO_TBL info{};
    if (fnGetHdfProductInfo(plan.what.m_szProduct, &info) != 1) {
        return;  // not one of the six families (a quality field, a composite count)
    }
    int family = 0;
    while (family < kOdimFamilyCount &&
           std::strcmp(kOdimStdFamilyNames[family], info.m_szStdProduct) != 0) {
        ++family;
    }
    if (family == kOdimFamilyCount) {
        return;
    }
    if (what) {
        readProdpar(what.get(), path + "/what", info.m_szStdProduct, plan.what.m_dProdpar);
    }
    for (int m = 1; h5::groupExists(dataset.get(), ("data" + std::to_string(m)).c_str()); ++m) {
        if (m > kHdfProductMaxFields) {
            refuse(path + " has more than " + std::to_string(kHdfProductMaxFields) +
                   " data groups");
        }
        DataPlan data = inherited;
        data.path = path + "/data" + std::to_string(m);
        h5::Group group =
            openGroup(dataset.get(), path, ("data" + std::to_string(m)).c_str(), true);
        h5::Group dataWhat = openGroup(group.get(), data.path, "what", false);
        if (dataWhat) {
            readCoding(dataWhat.get(), data.path + "/what", &data);
        }
        if (data.what.m_szQuantity[0] == '\0') {
            refuse(data.path + "/what/quantity missing");
        }
        if (!h5::datasetExists(group.get(), "data")) {
            refuse(data.path + "/data missing (a quantity with no data)");
        }
        FIELD_INFO_TBL field{};
        fnGetHdfFieldInfo(data.what.m_szQuantity, &field);
        copyFixedText(data.field, sizeof data.field, field.m_szFieldName);
        plan.data.push_back(data);
    }
    if (plan.data.empty()) {
        return;
    }
    if (static_cast<int>(pPlan->families[family].size()) >= kMaxFamilyCount) {
        refuse(std::string("more than ") + std::to_string(kMaxFamilyCount) + " " +
               info.m_szHdfProduct + " datasets");
    }
    pPlan->maxField = std::max(pPlan->maxField, static_cast<int>(plan.data.size()));
    pPlan->families[family].push_back(std::move(plan));
}

bool sameValue(double a, double b) {
    return std::fabs(a - b) <= 1e-9 * std::max(1.0, std::fabs(b));
}

// True when the file holds the moment exactly as the standard product stores it.
bool storedAsRule(const DataPlan& plan, const FIELD_MEM_INFO_TBL& rule, hid_t fileType) {
    const H5T_class_t kind = H5Tget_class(fileType);
    const std::size_t size = H5Tget_size(fileType);
    const bool typeMatches = rule.m_iMemType == RDR_EN_MEM_FLOAT
                                 ? kind == H5T_FLOAT && size == 4
                                 : kind == H5T_INTEGER && H5Tget_sign(fileType) == H5T_SGN_2 &&
                                       size == (rule.m_iMemType == RDR_EN_MEM_CHAR ? 1u : 2u);
    return typeMatches && plan.hasNodata && plan.hasUndetect &&
           sameValue(plan.what.m_dGain, 1.0 / rule.m_fScale) &&
           sameValue(plan.what.m_dOffset, -static_cast<double>(rule.m_fOffset)) &&
           plan.what.m_dNodata == rule.m_fOutBound && plan.what.m_dUndetect == rule.m_fBadValue;
}

template <typename T>
T** copyBlock(const std::vector<unsigned char>& block, int iYdim, int iXdim,
              T** (*makeMatrix)(int, int)) {
    T** rows = makeMatrix(iYdim, iXdim);
    if (rows == nullptr) {
        throw std::bad_alloc();
    }
    const std::size_t rowBytes = static_cast<std::size_t>(iXdim) * sizeof(T);
    for (int y = 0; y < iYdim; ++y) {
        std::memcpy(rows[y], block.data() + rowBytes * static_cast<std::size_t>(y), rowBytes);
    }
    return rows;
}

void readGrid(hid_t root, const DataPlan& plan, long nRows, long nCols, HDF_PRODUCT_DATA* pOut) {
    const std::string path = plan.path + "/data";
    h5::Dataset set(H5Dopen2(root, path.c_str(), H5P_DEFAULT));
    h5::Space space(set ? H5Dget_space(set.get()) : H5I_INVALID_HID);
    h5::Type type(set ? H5Dget_type(set.get()) : H5I_INVALID_HID);
    hsize_t dims[2] = {0, 0};
    if (!set || !space || !type || H5Sget_simple_extent_ndims(space.get()) != 2 ||
        H5Sget_simple_extent_dims(space.get(), dims, nullptr) != 2) {
        refuse(path + " is not a 2-D array");
    }
    if (dims[0] != static_cast<hsize_t>(nRows) || dims[1] != static_cast<hsize_t>(nCols)) {
        refuse(path + " is " + std::to_string(dims[0]) + " x " + std::to_string(dims[1]) +
               " where where/ysize x xsize says " + std::to_string(nRows) + " x " +
               std::to_string(nCols));
    }
    const H5T_class_t kind = H5Tget_class(type.get());
    const std::size_t size = H5Tget_size(type.get());
    if (!((kind == H5T_INTEGER && (size == 1 || size == 2 || size == 4 || size == 8)) ||
          (kind == H5T_FLOAT && (size == 4 || size == 8)))) {
        refuse(path + " holds neither integers nor floats");
    }
    FIELD_MEM_INFO_TBL rule{};
    fnGetFieldMemInfo(plan.field, &rule);
    copyFixedText(pOut->m_szFieldName, sizeof pOut->m_szFieldName, plan.field);
    copyFixedText(pOut->m_szClass, sizeof pOut->m_szClass, "IMAGE");
    copyFixedText(pOut->m_szVersion, sizeof pOut->m_szVersion, "1.2");
    pOut->m_what = plan.what;
    // The slot describes its own rows from now on.
    pOut->m_what.m_dGain = 1.0 / rule.m_fScale;
    pOut->m_what.m_dOffset = -static_cast<double>(rule.m_fOffset);
    pOut->m_what.m_dNodata = rule.m_fOutBound;
    pOut->m_what.m_dUndetect = rule.m_fBadValue;
    const int iYdim = static_cast<int>(nRows);
    const int iXdim = static_cast<int>(nCols);
    const std::size_t cells = static_cast<std::size_t>(nRows) * static_cast<std::size_t>(nCols);

    if (storedAsRule(plan, rule, type.get())) {
        const hid_t memType = rule.m_iMemType == RDR_EN_MEM_CHAR    ? H5T_NATIVE_SCHAR
                              : rule.m_iMemType == RDR_EN_MEM_SHORT ? H5T_NATIVE_SHORT
                                                                    : H5T_NATIVE_FLOAT;
        std::vector<unsigned char> block(cells * H5Tget_size(memType));
        if (H5Dread(set.get(), memType, H5S_ALL, H5S_ALL, H5P_DEFAULT, block.data()) < 0) {
            refuse(path + " unreadable");
        }
        pOut->m_iMemType = rule.m_iMemType;
        if (rule.m_iMemType == RDR_EN_MEM_CHAR) {
            pOut->m_ppData_c = copyBlock(block, iYdim, iXdim, fnMakeMatrix2D_C);
        } else if (rule.m_iMemType == RDR_EN_MEM_SHORT) {
            pOut->m_ppData_s = copyBlock(block, iYdim, iXdim, fnMakeMatrix2D_S);
        } else {
            pOut->m_ppData_f = copyBlock(block, iYdim, iXdim, fnMakeMatrix2D_F);
            // NaN is no value; the standard product stores it as no data.
            for (int y = 0; y < iYdim; ++y) {
                float* row = pOut->m_ppData_f[y];
                for (int x = 0; x < iXdim; ++x) {
                    row[x] = std::isnan(row[x]) ? rule.m_fBadValue : row[x];
                }
            }
        }
        return;
    }

    std::vector<double> raw(cells);
    if (H5Dread(set.get(), H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, raw.data()) < 0) {
        refuse(path + " unreadable");
    }
    std::vector<float> physical(cells);
    const HDF_DATASET_WHAT& w = plan.what;
    for (std::size_t i = 0; i < cells; ++i) {
        const double v = raw[i];
        if (plan.hasNodata && v == w.m_dNodata) {
            physical[i] = RDR_GRID_OUT_BOUND;
        } else if (plan.hasUndetect && v == w.m_dUndetect) {
            physical[i] = RDR_GRID_NO_DATA;
        } else {
            physical[i] = physicalForRule(w.m_dOffset + w.m_dGain * v, rule);
        }
    }
    if (!packPhysicalGrid(physical.data(), plan.field, iYdim, iXdim, pOut)) {
        throw std::bad_alloc();
    }
}

HDF_PRODUCT* buildProduct(hid_t root, Plan& plan) {
    int counts[kOdimFamilyCount];
    for (int f = 0; f < kOdimFamilyCount; ++f) {
        counts[f] = static_cast<int>(plan.families[f].size());
    }
    if (plan.maxField == 0) {
        refuse("no dataset of a product PPI, PCAPPI, BASE, MAX, VIL or ETOP with data");
    }
    HDF_PRODUCT* pProduct = fnInitHdfProduct(plan.maxField, counts[0], counts[1], counts[2],
                                             counts[3], counts[4], counts[5]);
    if (pProduct == nullptr) {
        throw std::bad_alloc();
    }
    const HDF_TOTAL_PRODUCT families = pProduct->m_totalProduct;
    *pProduct = plan.head;
    pProduct->m_totalProduct = families;
    try {
        const long nRows = pProduct->m_where.m_image_where.m_lYsize;
        const long nCols = pProduct->m_where.m_image_where.m_lXsize;
        for (int f = 0; f < kOdimFamilyCount; ++f) {
            HDF_PRODUCT_DATASET** ppDset = *odimFamilyArray(pProduct->m_totalProduct, f);
            for (int d = 0; d < counts[f]; ++d) {
                const DatasetPlan& dplan = plan.families[f][d];
                ppDset[d]->m_what = dplan.what;
                for (std::size_t k = 0; k < dplan.data.size(); ++k) {
                    readGrid(root, dplan.data[k], nRows, nCols, ppDset[d]->m_ppProductData[k]);
                }
            }
        }
    } catch (...) {
        fnFreeHdfProduct(pProduct);
        throw;
    }
    return pProduct;
}

IsolatedVerdict decodeInChild(const char* szFile, IsolatedOutput& output) {
    bool bOutOfMemory = false;
    HDF_PRODUCT* pProduct = readHdfProductInProcess(szFile, &bOutOfMemory);
    if (pProduct == nullptr) {
        return bOutOfMemory ? IsolatedVerdict::kOutOfMemory : IsolatedVerdict::kRefused;
    }
    // Not released: the child ends right after, and its memory with it.
    return writeHdfProductBytes(*pProduct, output) ? IsolatedVerdict::kDecoded
                                                   : IsolatedVerdict::kRefused;
}

}  // namespace

IsolationLimits hdfProductIsolationLimits() {
    return g_limits;
}

void setHdfProductIsolationLimits(const IsolationLimits& limits) {
    g_limits = limits;
}

HDF_PRODUCT* readHdfProductInProcess(const char* szFile, bool* pOutOfMemory) {
    *pOutOfMemory = false;
    h5::QuietErrors quiet;
    try {
        h5::File file(H5Fopen(szFile, H5F_ACC_RDONLY, H5P_DEFAULT));
        if (!file) {
            refuse("H5Fopen fail (not an HDF5 file, or unreadable)");
        }
        h5::Group root(H5Gopen2(file.get(), "/", H5P_DEFAULT));
        if (!root) {
            refuse("ROOT Group H5Gopen fail");
        }
        Plan plan;
        planTop(root.get(), &plan);
        for (int n = 1; h5::groupExists(root.get(), ("dataset" + std::to_string(n)).c_str()); ++n) {
            if (n > kMaxDatasets) {
                refuse("more than " + std::to_string(kMaxDatasets) + " datasets");
            }
            planDataset(root.get(), "dataset" + std::to_string(n), &plan);
        }
        return buildProduct(root.get(), plan);
    } catch (const LoadError& e) {
        rdrError(kLoad, e.why().c_str());
    } catch (const std::bad_alloc&) {
        *pOutOfMemory = true;
    }
    return nullptr;
}

HDF_PRODUCT* fnLoadHdfProduct(const char* szFile) {
    if (szFile == nullptr || szFile[0] == '\0') {
        rdrError(kLoad, "no file name");
        return nullptr;
    }
    const IsolatedResult result = runIsolatedDecode(
        [szFile](IsolatedOutput& output) { return decodeInChild(szFile, output); }, g_limits);
    switch (result.outcome) {
        case IsolatedResult::kDecoded: {
            std::string why;
            HDF_PRODUCT* pProduct =
                readHdfProductBytes(result.bytes.data(), result.bytes.size(), &why);
            if (pProduct == nullptr) {
                rdrError(kLoad, ("the HDF5 library failed on this file (the product came back "
                                 "damaged: " +
                                 why + ")")
                                    .c_str());
            }
            return pProduct;
        }
        case IsolatedResult::kRefused:
            return nullptr;  // the child printed the reason
        case IsolatedResult::kFailed:
            rdrError(kLoad,
                     ("the HDF5 library failed on this file (" + result.failure + ")").c_str());
            return nullptr;
        case IsolatedResult::kNotRun:
            break;
    }
    rdrError(kLoad,
             ("cannot read the HDF5 file in a child process (" + result.failure + ")").c_str());
    return nullptr;
}
