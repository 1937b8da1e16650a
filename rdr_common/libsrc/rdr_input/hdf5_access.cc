#include "internal/hdf5_access.h"

#include <malloc.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "internal/isolated_decode.h"

namespace h5 {

namespace {

// Attributes holding more values than this are not what the ODIM reader looks for.
constexpr hssize_t kMaxArray = 1 << 20;

Attr openAttr(hid_t obj, const char* name, Get* pWhy) {
    const htri_t exists = H5Aexists(obj, name);
    if (exists <= 0) {
        *pWhy = exists == 0 ? Get::kAbsent : Get::kBad;
        return Attr();
    }
    Attr attr(H5Aopen(obj, name, H5P_DEFAULT));
    *pWhy = attr ? Get::kOk : Get::kBad;
    return attr;
}

// Number of values of the attribute's dataspace, or -1.
hssize_t valueCount(hid_t attr) {
    Space space(H5Aget_space(attr));
    if (!space) {
        return -1;
    }
    const H5S_class_t kind = H5Sget_simple_extent_type(space.get());
    if (kind == H5S_SCALAR) {
        return 1;
    }
    if (kind != H5S_SIMPLE) {
        return -1;
    }
    return H5Sget_simple_extent_npoints(space.get());
}

bool isNumeric(hid_t attr) {
    Type type(H5Aget_type(attr));
    if (!type) {
        return false;
    }
    const H5T_class_t kind = H5Tget_class(type.get());
    return kind == H5T_INTEGER || kind == H5T_FLOAT;
}

bool linkIs(hid_t loc, const char* name, H5O_type_t want) {
    if (H5Lexists(loc, name, H5P_DEFAULT) <= 0) {
        return false;
    }
    H5O_info_t info{};
    return H5Oget_info_by_name2(loc, name, &info, H5O_INFO_BASIC, H5P_DEFAULT) >= 0 &&
           info.type == want;
}

std::string trimmed(const char* p, std::size_t n) {
    std::size_t len = 0;
    while (len < n && p[len] != '\0') {
        ++len;
    }
    while (len > 0 && (p[len - 1] == ' ' || p[len - 1] == '\t')) {
        --len;
    }
    return std::string(p, len);
}

}  // namespace

QuietErrors::QuietErrors() {
    H5Eget_auto2(H5E_DEFAULT, &func_, &data_);
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
}

QuietErrors::~QuietErrors() {
    H5Eset_auto2(H5E_DEFAULT, func_, data_);
}

bool groupExists(hid_t loc, const char* name) {
    return linkIs(loc, name, H5O_TYPE_GROUP);
}

bool datasetExists(hid_t loc, const char* name) {
    return linkIs(loc, name, H5O_TYPE_DATASET);
}

Get readDouble(hid_t obj, const char* name, double* pValue) {
    Get why = Get::kOk;
    Attr attr = openAttr(obj, name, &why);
    if (!attr) {
        return why;
    }
    const hssize_t n = valueCount(attr.get());
    if (n < 1 || n > kMaxArray || !isNumeric(attr.get())) {
        return Get::kBad;
    }
    std::vector<double> values(static_cast<std::size_t>(n));
    if (H5Aread(attr.get(), H5T_NATIVE_DOUBLE, values.data()) < 0 || !std::isfinite(values[0])) {
        return Get::kBad;
    }
    *pValue = values[0];
    return Get::kOk;
}

Get readLong(hid_t obj, const char* name, long* pValue) {
    double value = 0;
    const Get got = readDouble(obj, name, &value);
    if (got != Get::kOk) {
        return got;
    }
    // Whole numbers well inside long; a double reads them exactly up to 2^53.
    if (value != std::trunc(value) || std::fabs(value) > 9.0e15) {
        return Get::kBad;
    }
    *pValue = static_cast<long>(value);
    return Get::kOk;
}

Get readString(hid_t obj, const char* name, std::string* pValue) {
    Get why = Get::kOk;
    Attr attr = openAttr(obj, name, &why);
    if (!attr) {
        return why;
    }
    Type type(H5Aget_type(attr.get()));
    const hssize_t n = valueCount(attr.get());
    if (!type || H5Tget_class(type.get()) != H5T_STRING || n < 1 || n > kMaxArray) {
        return Get::kBad;
    }
    const htri_t variable = H5Tis_variable_str(type.get());
    if (variable < 0) {
        return Get::kBad;
    }
    if (variable > 0) {
        Type memType(H5Tcopy(H5T_C_S1));
        if (!memType || H5Tset_size(memType.get(), H5T_VARIABLE) < 0) {
            return Get::kBad;
        }
        std::vector<char*> values(static_cast<std::size_t>(n), nullptr);
        if (H5Aread(attr.get(), memType.get(), values.data()) < 0) {
            return Get::kBad;
        }
        const std::size_t len = values[0] != nullptr ? strnlen(values[0], kMaxText + 1) : 0;
        const bool ok = values[0] != nullptr && len <= kMaxText;
        if (ok) {
            *pValue = trimmed(values[0], len);
        }
        Space space(H5Aget_space(attr.get()));
        H5Dvlen_reclaim(memType.get(), space.get(), H5P_DEFAULT, values.data());
        return ok ? Get::kOk : Get::kBad;
    }
    const std::size_t width = H5Tget_size(type.get());
    if (width == 0 || width > kMaxText) {
        return Get::kBad;
    }
    // Read in the file's own width and padding, then cut at the first NUL.
    Type memType(H5Tcopy(H5T_C_S1));
    if (!memType || H5Tset_size(memType.get(), width) < 0 ||
        H5Tset_strpad(memType.get(), H5T_STR_NULLPAD) < 0) {
        return Get::kBad;
    }
    std::vector<char> text(width * static_cast<std::size_t>(n), '\0');
    if (H5Aread(attr.get(), memType.get(), text.data()) < 0) {
        return Get::kBad;
    }
    *pValue = trimmed(text.data(), width);
    return Get::kOk;
}

Get readDoubleArray(hid_t obj, const char* name, std::size_t n, std::vector<double>* pValues) {
    Get why = Get::kOk;
    Attr attr = openAttr(obj, name, &why);
    if (!attr) {
        return why;
    }
    const hssize_t count = valueCount(attr.get());
    if (count < 0 || static_cast<std::size_t>(count) != n || !isNumeric(attr.get())) {
        return Get::kBad;
    }
    pValues->assign(n, 0.0);
    if (n > 0 && H5Aread(attr.get(), H5T_NATIVE_DOUBLE, pValues->data()) < 0) {
        return Get::kBad;
    }
    for (double v : *pValues) {
        if (!std::isfinite(v)) {
            return Get::kBad;
        }
    }
    return Get::kOk;
}

namespace {

bool writeAttr(hid_t obj, const char* name, hid_t type, hid_t space, const void* pValue) {
    Attr attr(H5Acreate2(obj, name, type, space, H5P_DEFAULT, H5P_DEFAULT));
    return attr && H5Awrite(attr.get(), type, pValue) >= 0 && attr.close();
}

}  // namespace

bool writeString(hid_t obj, const char* name, const std::string& value) {
    Type type(H5Tcopy(H5T_C_S1));
    Space space(H5Screate(H5S_SCALAR));
    return type && space && H5Tset_size(type.get(), value.size() + 1) >= 0 &&
           H5Tset_strpad(type.get(), H5T_STR_NULLTERM) >= 0 &&
           writeAttr(obj, name, type.get(), space.get(), value.c_str());
}

bool writeDouble(hid_t obj, const char* name, double value) {
    Space space(H5Screate(H5S_SCALAR));
    return space && writeAttr(obj, name, H5T_NATIVE_DOUBLE, space.get(), &value);
}

bool writeLong(hid_t obj, const char* name, long value) {
    Space space(H5Screate(H5S_SCALAR));
    return space && writeAttr(obj, name, H5T_NATIVE_LONG, space.get(), &value);
}

bool writeDoubleArray(hid_t obj, const char* name, const double* pValues, std::size_t n) {
    const hsize_t dims[1] = {n};
    Space space(H5Screate_simple(1, dims, nullptr));
    return space && writeAttr(obj, name, H5T_NATIVE_DOUBLE, space.get(), pValues);
}

Group createGroup(hid_t loc, const char* name) {
    return Group(H5Gcreate2(loc, name, H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT));
}

bool writeImage(hid_t loc, const char* name, hid_t fileType, hid_t memType, const void* pData,
                hsize_t rows, hsize_t cols) {
    const hsize_t dims[2] = {rows, cols};
    const hsize_t chunk[2] = {chunkEdge(rows), chunkEdge(cols)};
    Space space(H5Screate_simple(2, dims, nullptr));
    Plist props(H5Pcreate(H5P_DATASET_CREATE));
    if (!space || !props || H5Pset_chunk(props.get(), 2, chunk) < 0 ||
        H5Pset_deflate(props.get(), 6) < 0) {
        return false;
    }
    Dataset data(
        H5Dcreate2(loc, name, fileType, space.get(), H5P_DEFAULT, props.get(), H5P_DEFAULT));
    return data && H5Dwrite(data.get(), memType, H5S_ALL, H5S_ALL, H5P_DEFAULT, pData) >= 0 &&
           writeString(data.get(), "CLASS", "IMAGE") &&
           writeString(data.get(), "IMAGE_VERSION", "1.2") && data.close();
}

namespace {

// Writing needs the copy of one grid and libhdf5's chunk buffers beyond what the child
// inherits; deflating a large volume takes a few seconds of CPU.
constexpr IsolationLimits kWriteLimits = {
    std::size_t{2} << 30,  // address space
    120,                   // CPU seconds
    240,                   // wall seconds
    4096,                  // result bytes: the reason of a failure
};

}  // namespace

bool writeFileIsolated(const std::string& path,
                       const std::function<bool(hid_t file, std::string* pWhy)>& write,
                       std::string* pWhy) {
    const IsolatedResult result = runIsolatedDecode(
        [&](IsolatedOutput& output) {
            // The child's allocator fills fresh blocks with a pattern, against hostile input;
            // a write of our own records needs none, and deflate allocates about 256 KiB for
            // every chunk.
            mallopt(M_PERTURB, 0);
            QuietErrors quiet;
            std::string why;
            File file(H5Fcreate(path.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT));
            if (!file) {
                why = "H5Fcreate fail";
            } else if (write(file.get(), &why) && !file.close()) {
                why = "closing the HDF5 file failed";
            }
            // One byte for success, else the reason.
            const unsigned char ok = why.empty() ? 1 : 0;
            return output.write(&ok, 1) && output.write(why.data(), why.size())
                       ? IsolatedVerdict::kDecoded
                       : IsolatedVerdict::kRefused;
        },
        kWriteLimits);
    if (result.outcome == IsolatedResult::kDecoded && !result.bytes.empty()) {
        if (result.bytes[0] == 1) {
            return true;
        }
        pWhy->assign(reinterpret_cast<const char*>(result.bytes.data()) + 1,
                     result.bytes.size() - 1);
        return false;
    }
    *pWhy = result.outcome == IsolatedResult::kNotRun
                ? "cannot write in a child process (" + result.failure + ")"
                : "the HDF5 library failed (" +
                      (result.failure.empty() ? std::string("no result") : result.failure) + ")";
    return false;
}

}  // namespace h5
