// The product file: an HDF_PRODUCT written as an ODIM_H5 file through an atomic
// replacement of the target. Any failure, a family's included, leaves no file. libhdf5
// writes in a child process (h5::writeFileIsolated): after a failed close it would crash
// the caller at exit.
#include <cstring>
#include <string>
#include <vector>

#include "atomic_file.h"
#include "core_utilities.h"
#include "hdf5_output.h"
#include "internal/hdf5_access.h"
#include "internal/odim_product_to_std.h"

namespace {

constexpr const char* kWrite = "fnWriteHdfProduct";
// Longest target name: the documented buffer, which is never cut to fit.
constexpr std::size_t kMaxFileName = 1023;
// ODIM gives xscale and yscale in metres; the records hold kilometres.
constexpr double kMetresPerKm = 1000.0;

constexpr const char* kHdfFamilyNames[kOdimFamilyCount] = {"PPI",  "CAPPI", "BASE",
                                                           "CMAX", "VIL",   "ETOP"};

class Failure {
  public:
    explicit Failure(std::string* pWhy) : why_(pWhy) {}
    bool operator()(const std::string& what) const {
        *why_ = what;
        return false;
    }

  private:
    std::string* why_;
};

bool writeTopWhat(hid_t root, const HDF_PRODUCT& product) {
    h5::Group what = h5::createGroup(root, "what");
    const HDF_TOP_WHAT& w = product.m_what;
    return what && h5::writeString(what.get(), "object", w.m_szObject) &&
           h5::writeString(what.get(), "version", w.m_szVersion) &&
           h5::writeString(what.get(), "date", w.m_szDate) &&
           h5::writeString(what.get(), "time", w.m_szTime) &&
           h5::writeString(what.get(), "source", w.m_szSource);
}

bool writeTopWhere(hid_t root, const HDF_PRODUCT& product) {
    h5::Group where = h5::createGroup(root, "where");
    if (!where) {
        return false;
    }
    const hid_t g = where.get();
    const HDF_POLAR_WHERE& polar = product.m_where.m_polar_where;
    const HDF_IMAGE_WHERE& image = product.m_where.m_image_where;
    if (product.m_iHdfProductType == HDF_EN_PRODUCT_SITE &&
        !(h5::writeDouble(g, "lon", polar.m_dLon) && h5::writeDouble(g, "lat", polar.m_dLat) &&
          h5::writeDouble(g, "height", polar.m_dHeightM))) {
        return false;
    }
    return h5::writeString(g, "projdef", image.m_szProjdef) &&
           h5::writeLong(g, "xsize", image.m_lXsize) && h5::writeLong(g, "ysize", image.m_lYsize) &&
           h5::writeDouble(g, "xscale", image.m_dXscale * kMetresPerKm) &&
           h5::writeDouble(g, "yscale", image.m_dYscale * kMetresPerKm) &&
           h5::writeDouble(g, "LL_lon", image.m_LL_lon) &&
           h5::writeDouble(g, "LL_lat", image.m_LL_lat) &&
           h5::writeDouble(g, "UL_lon", image.m_UL_lon) &&
           h5::writeDouble(g, "UL_lat", image.m_UL_lat) &&
           h5::writeDouble(g, "UR_lon", image.m_UR_lon) &&
           h5::writeDouble(g, "UR_lat", image.m_UR_lat) &&
           h5::writeDouble(g, "LR_lon", image.m_LR_lon) &&
           h5::writeDouble(g, "LR_lat", image.m_LR_lat);
}

// Text attributes are written only when there is text.
bool writeText(hid_t g, const char* name, const char* text) {
    return text[0] == '\0' || h5::writeString(g, name, text);
}

bool writeTopHow(hid_t root, const HDF_PRODUCT& product) {
    h5::Group how = h5::createGroup(root, "how");
    if (!how) {
        return false;
    }
    const HDF_HOW& h = product.m_how;
    if (product.m_iHdfProductType == HDF_EN_PRODUCT_SITE) {
        return h5::writeDouble(how.get(), "NI", h.m_radar_how.m_dNi) &&
               writeText(how.get(), "task", h.m_general_how.m_szTask) &&
               writeText(how.get(), "system", h.m_general_how.m_szSystem);
    }
    return writeText(how.get(), "camethod", h.m_image_how.m_szCamethod);
}

// How many prodpar values a product carries: the layer's bottom and top for VIL, one
// value for the elevation, height or threshold products, none for BASE and MAX.
int prodparCount(const char* szProduct) {
    if (std::strcmp(szProduct, "VIL") == 0) {
        return 2;
    }
    for (const char* one : {"PPI", "PCAPPI", "CAPPI", "ETOP"}) {
        if (std::strcmp(szProduct, one) == 0) {
            return 1;
        }
    }
    return 0;
}

// prodpar as a 1-D double dataset of its own, chunked by its length and deflated.
bool writeProdpar(hid_t what, const double* pValues, int n) {
    const hsize_t dims[1] = {static_cast<hsize_t>(n)};
    h5::Space space(H5Screate_simple(1, dims, nullptr));
    h5::Plist plist(H5Pcreate(H5P_DATASET_CREATE));
    if (!space || !plist || H5Pset_chunk(plist.get(), 1, dims) < 0 ||
        H5Pset_deflate(plist.get(), 6) < 0) {
        return false;
    }
    h5::Dataset set(H5Dcreate2(what, "prodpar", H5T_IEEE_F64LE, space.get(), H5P_DEFAULT,
                               plist.get(), H5P_DEFAULT));
    return set &&
           H5Dwrite(set.get(), H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, pValues) >= 0;
}

// One block of rows x cols values of T from the slot's rows.
template <typename T>
bool writeRows(hid_t loc, T** rows, long nRows, long nCols, hid_t fileType, hid_t memType,
               std::vector<unsigned char>* pBlock) {
    const std::size_t rowBytes = static_cast<std::size_t>(nCols) * sizeof(T);
    pBlock->resize(rowBytes * static_cast<std::size_t>(nRows));
    for (long y = 0; y < nRows; ++y) {
        if (rows[y] == nullptr) {
            return false;
        }
        std::memcpy(pBlock->data() + rowBytes * static_cast<std::size_t>(y), rows[y], rowBytes);
    }
    return h5::writeImage(loc, "data", fileType, memType, pBlock->data(),
                          static_cast<hsize_t>(nRows), static_cast<hsize_t>(nCols));
}

bool writeData(hid_t dataset, int iData, const HDF_PRODUCT_DATA& data, long nRows, long nCols,
               std::vector<unsigned char>* pBlock) {
    const std::string name = "data" + std::to_string(iData);
    h5::Group group = h5::createGroup(dataset, name.c_str());
    if (!group) {
        return false;
    }
    h5::Group what = h5::createGroup(group.get(), "what");
    const HDF_DATASET_WHAT& w = data.m_what;
    if (!what || !h5::writeString(what.get(), "quantity", w.m_szQuantity) ||
        !h5::writeDouble(what.get(), "gain", w.m_dGain) ||
        !h5::writeDouble(what.get(), "offset", w.m_dOffset) ||
        !h5::writeDouble(what.get(), "nodata", w.m_dNodata) ||
        !h5::writeDouble(what.get(), "undetect", w.m_dUndetect)) {
        return false;
    }
    switch (data.m_iMemType) {
        case RDR_EN_MEM_CHAR:
            return writeRows(group.get(), data.m_ppData_c, nRows, nCols, H5T_STD_I8LE,
                             H5T_NATIVE_SCHAR, pBlock);
        case RDR_EN_MEM_SHORT:
            return writeRows(group.get(), data.m_ppData_s, nRows, nCols, H5T_STD_I16LE,
                             H5T_NATIVE_SHORT, pBlock);
        default:
            return writeRows(group.get(), data.m_ppData_f, nRows, nCols, H5T_IEEE_F32LE,
                             H5T_NATIVE_FLOAT, pBlock);
    }
}

bool holdsAnyRows(const HDF_PRODUCT_DATASET& dataset) {
    for (int k = 0; dataset.m_ppProductData != nullptr && k < dataset.m_iMaxField; ++k) {
        if (dataset.m_ppProductData[k] != nullptr &&
            odimSlotHoldsRows(*dataset.m_ppProductData[k])) {
            return true;
        }
    }
    return false;
}

bool writeDatasets(hid_t root, HDF_PRODUCT& product, std::string* pWhy) {
    const Failure fail(pWhy);
    const HDF_IMAGE_WHERE& image = product.m_where.m_image_where;
    std::vector<unsigned char> block;
    int iDataset = 0;
    for (int f = 0; f < kOdimFamilyCount; ++f) {
        const int n = *odimFamilyCount(product.m_totalProduct, f);
        HDF_PRODUCT_DATASET** ppDset = *odimFamilyArray(product.m_totalProduct, f);
        if (n <= 0) {
            continue;
        }
        if (ppDset == nullptr) {
            return fail(std::string("fnSaveHdfPrtDataset ") + kHdfFamilyNames[f] +
                        " fail (no dataset array)");
        }
        for (int d = 0; d < n; ++d) {
            if (ppDset[d] == nullptr || !holdsAnyRows(*ppDset[d])) {
                continue;  // an empty dataset does not use a number
            }
            const HDF_PRODUCT_DATASET& dset = *ppDset[d];
            const std::string name = "dataset" + std::to_string(++iDataset);
            h5::Group group = h5::createGroup(root, name.c_str());
            h5::Group what = group ? h5::createGroup(group.get(), "what") : h5::Group();
            const int nProdpar = prodparCount(dset.m_what.m_szProduct);
            if (!what || !h5::writeString(what.get(), "product", dset.m_what.m_szProduct) ||
                (nProdpar > 0 && !writeProdpar(what.get(), dset.m_what.m_dProdpar, nProdpar))) {
                return fail("cannot write " + name + " of " + kHdfFamilyNames[f]);
            }
            int iData = 0;
            for (int k = 0; k < dset.m_iMaxField; ++k) {
                const HDF_PRODUCT_DATA* pData = dset.m_ppProductData[k];
                if (pData == nullptr || !odimSlotHoldsRows(*pData)) {
                    continue;
                }
                if (!writeData(group.get(), ++iData, *pData, image.m_lYsize, image.m_lXsize,
                               &block)) {
                    return fail("cannot write " + name + "/data" + std::to_string(iData) + " (" +
                                pData->m_szFieldName + ")");
                }
            }
        }
    }
    return true;
}

bool writeProduct(hid_t file, HDF_PRODUCT& product, std::string* pWhy) {
    const Failure fail(pWhy);
    h5::Group root(H5Gopen2(file, "/", H5P_DEFAULT));
    if (!root) {
        return fail("ROOT Group H5Gopen1 fail");
    }
    if (!h5::writeString(root.get(), "Conventions", product.m_szConventions)) {
        return fail("cannot write Conventions");
    }
    if (!writeTopWhat(root.get(), product)) {
        return fail("fnSaveHdfProductTopWhat fail");
    }
    if (!writeTopWhere(root.get(), product)) {
        return fail("fnSaveHdfProductTopWhere fail");
    }
    if (!writeTopHow(root.get(), product)) {
        return fail("fnSaveHdfProductTopHow fail");
    }
    return writeDatasets(root.get(), product, pWhy);
}

}  // namespace

int fnWriteHdfProduct(HDF_PRODUCT* pHdfProduct, const char* szFileName) {
    if (pHdfProduct == nullptr || szFileName == nullptr || szFileName[0] == '\0') {
        rdrError(kWrite, "no product or no file name");
        return 0;
    }
    if (std::strlen(szFileName) > kMaxFileName) {
        rdrError(kWrite,
                 ("file name longer than " + std::to_string(kMaxFileName) + " characters").c_str());
        return 0;
    }
    const HDF_IMAGE_WHERE& image = pHdfProduct->m_where.m_image_where;
    if (image.m_lXsize <= 0 || image.m_lYsize <= 0) {
        rdrError(kWrite, "the product has no grid size");
        return 0;
    }
    AtomicFile file;
    if (!file.open(szFileName)) {
        rdrError(kWrite,
                 ("cannot create " + std::string(szFileName) + " (" + file.error() + ")").c_str());
        return 0;
    }
    if (file.inPlace()) {
        // libhdf5 seeks and rewrites its superblock: a device or a FIFO cannot hold the file.
        rdrError(kWrite, (std::string(szFileName) + " is not a regular file").c_str());
        return 0;
    }
    std::string why;
    if (!h5::writeFileIsolated(
            file.path(),
            [pHdfProduct](hid_t h5file, std::string* pWhy) {
                return writeProduct(h5file, *pHdfProduct, pWhy);
            },
            &why)) {
        rdrError(kWrite, ("cannot write " + std::string(szFileName) + " (" + why + ")").c_str());
        return 0;
    }
    if (!file.commit()) {
        rdrError(kWrite,
                 ("cannot write " + std::string(szFileName) + " (" + file.error() + ")").c_str());
        return 0;
    }
    return 1;
}
