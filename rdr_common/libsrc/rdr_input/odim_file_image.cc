// The child reads the groups and arrays with libhdf5 and streams them as records; the
// parent parses the stream with every length checked. Stream, in native byte order:
//   'G' path, attribute count, per attribute: name, kind (0 text, 1 numbers, 2 unusable),
//       then the text or the count and the doubles;
//   'A' path, usable flag, then element, rows, cols and the bytes, or the reason;
//   'C' dataset count and the data count of each dataset; nothing may follow it.
#include <hdf5.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "core_utilities.h"
#include "internal/hand_over_reader.h"
#include "internal/hdf5_access.h"
#include "internal/isolated_decode.h"
#include "internal/odim_file_image.h"

namespace {

constexpr std::uint32_t kMaxAttributes = 10000;
constexpr std::uint64_t kMaxAttributeValues = 1 << 20;

// A real volume (a few hundred MB at most in its own types) fits well inside this; a
// runaway allocation stops far short of the machine's memory.
IsolationLimits g_limits = {
    std::size_t{3} << 30,  // address space
    30,                    // CPU seconds
    60,                    // wall seconds
    std::size_t{3} << 30,  // result bytes
};

// The file a child reads, named in front of every message it prints.
std::string g_childFile;

void childError(const char* szFunction, const std::string& message) {
    rdrError(szFunction, (g_childFile + ": " + message).c_str());
}

class Writer {
  public:
    explicit Writer(IsolatedOutput& output) : output_(output) {}
    bool ok() const { return ok_; }
    void bytes(const void* p, std::size_t n) {
        if (ok_ && n > 0) {
            ok_ = output_.write(p, n);
        }
    }
    void u8(std::uint8_t v) { bytes(&v, 1); }
    void u32(std::uint32_t v) { bytes(&v, sizeof v); }
    void u64(std::uint64_t v) { bytes(&v, sizeof v); }
    void text(const std::string& s) {
        u32(static_cast<std::uint32_t>(s.size()));
        bytes(s.data(), s.size());
    }

  private:
    IsolatedOutput& output_;
    bool ok_ = true;
};

struct AttributeWalk {
    Writer* out;
    std::vector<OdimAttribute> attributes;
    bool tooMany = false;
};

herr_t collectAttribute(hid_t obj, const char* name, const H5A_info_t*, void* pWalk) {
    auto* walk = static_cast<AttributeWalk*>(pWalk);
    if (walk->attributes.size() >= kMaxAttributes) {
        walk->tooMany = true;
        return 1;
    }
    OdimAttribute attribute;
    attribute.name = name;
    h5::Attr attr(H5Aopen(obj, name, H5P_DEFAULT));
    h5::Type type(attr ? H5Aget_type(attr.get()) : H5I_INVALID_HID);
    h5::Space space(attr ? H5Aget_space(attr.get()) : H5I_INVALID_HID);
    const H5T_class_t kind = type ? H5Tget_class(type.get()) : H5T_NO_CLASS;
    const hssize_t n = space ? H5Sget_simple_extent_npoints(space.get()) : -1;
    if (kind == H5T_STRING) {
        attribute.text = true;
        attribute.usable = h5::readString(obj, name, &attribute.string) == h5::Get::kOk;
    } else if ((kind == H5T_INTEGER || kind == H5T_FLOAT) && n >= 1 &&
               static_cast<std::uint64_t>(n) <= kMaxAttributeValues) {
        attribute.values.resize(static_cast<std::size_t>(n));
        attribute.usable = H5Aread(attr.get(), H5T_NATIVE_DOUBLE, attribute.values.data()) >= 0;
    } else {
        attribute.usable = false;
    }
    if (!attribute.usable) {
        attribute.values.clear();
        attribute.string.clear();
    }
    walk->attributes.push_back(std::move(attribute));
    return 0;
}

bool sendGroup(hid_t loc, const std::string& path, Writer& out, const char* szFunction) {
    AttributeWalk walk{&out, {}, false};
    hsize_t index = 0;
    if (H5Aiterate2(loc, H5_INDEX_NAME, H5_ITER_NATIVE, &index, collectAttribute, &walk) < 0 &&
        !walk.tooMany) {
        childError(szFunction,
                   "the attributes of " + (path.empty() ? "/" : path) + " cannot be read");
        return false;
    }
    if (walk.tooMany) {
        childError(szFunction,
                   path + ": more than " + std::to_string(kMaxAttributes) + " attributes");
        return false;
    }
    out.u8('G');
    out.text(path);
    out.u32(static_cast<std::uint32_t>(walk.attributes.size()));
    for (const OdimAttribute& a : walk.attributes) {
        out.text(a.name);
        out.u8(!a.usable ? 2 : a.text ? 0 : 1);
        if (!a.usable) {
            continue;
        }
        if (a.text) {
            out.text(a.string);
        } else {
            out.u64(a.values.size());
            out.bytes(a.values.data(), a.values.size() * sizeof(double));
        }
    }
    return out.ok();
}

// Sends loc/name when it is a group.
bool sendSubgroup(hid_t loc, const std::string& prefix, const char* name, Writer& out,
                  const char* szFunction) {
    if (!h5::groupExists(loc, name)) {
        return true;
    }
    h5::Group group(H5Gopen2(loc, name, H5P_DEFAULT));
    const std::string path = prefix + name;
    if (!group) {
        childError(szFunction, path + " cannot be opened");
        return false;
    }
    return sendGroup(group.get(), path, out, szFunction);
}

bool sendMetadata(hid_t loc, const std::string& prefix, Writer& out, const char* szFunction) {
    for (const char* name : {"what", "where", "how"}) {
        if (!sendSubgroup(loc, prefix, name, out, szFunction)) {
            return false;
        }
    }
    return true;
}

bool elementOf(hid_t type, OdimElement* pElement, hid_t* pMemType) {
    const H5T_class_t kind = H5Tget_class(type);
    const std::size_t size = H5Tget_size(type);
    if (kind == H5T_FLOAT) {
        if (size == 4) {
            *pElement = OdimElement::kF32;
            *pMemType = H5T_NATIVE_FLOAT;
            return true;
        }
        if (size == 8) {
            *pElement = OdimElement::kF64;
            *pMemType = H5T_NATIVE_DOUBLE;
            return true;
        }
        return false;
    }
    if (kind != H5T_INTEGER) {
        return false;
    }
    const bool isSigned = H5Tget_sign(type) == H5T_SGN_2;
    switch (size) {
        case 1:
            *pElement = isSigned ? OdimElement::kI8 : OdimElement::kU8;
            *pMemType = isSigned ? H5T_NATIVE_SCHAR : H5T_NATIVE_UCHAR;
            return true;
        case 2:
            *pElement = isSigned ? OdimElement::kI16 : OdimElement::kU16;
            *pMemType = isSigned ? H5T_NATIVE_SHORT : H5T_NATIVE_USHORT;
            return true;
        case 4:
            *pElement = isSigned ? OdimElement::kI32 : OdimElement::kU32;
            *pMemType = isSigned ? H5T_NATIVE_INT : H5T_NATIVE_UINT;
            return true;
        default:
            return false;
    }
}

void sendUnusable(const std::string& path, const std::string& why, Writer& out) {
    out.u8('A');
    out.text(path);
    out.u8(0);
    out.text(why);
}

// One buffer for every array a child reads: fresh pages cost more than the reading.
std::vector<unsigned char>& arrayBuffer() {
    static std::vector<unsigned char> buffer;
    return buffer;
}

bool sendArray(hid_t loc, const std::string& path, Writer& out, const char* szFunction) {
    h5::Dataset data(H5Dopen2(loc, "data", H5P_DEFAULT));
    h5::Space space(data ? H5Dget_space(data.get()) : H5I_INVALID_HID);
    h5::Type type(data ? H5Dget_type(data.get()) : H5I_INVALID_HID);
    if (!data || !space || !type) {
        childError(szFunction, path + " cannot be opened");
        return false;
    }
    const int rank = H5Sget_simple_extent_ndims(space.get());
    if (rank != 2) {
        sendUnusable(path, "a " + std::to_string(rank) + "-D array, not 2-D", out);
        return out.ok();
    }
    hsize_t dims[2] = {0, 0};
    H5Sget_simple_extent_dims(space.get(), dims, nullptr);
    OdimElement element{};
    hid_t memType = H5I_INVALID_HID;
    if (!elementOf(type.get(), &element, &memType)) {
        sendUnusable(path, "values of a type other than 8, 16 or 32-bit integers or floats", out);
        return out.ok();
    }
    if (dims[0] == 0 || dims[1] == 0 || dims[0] > kOdimMaxArrayValues ||
        dims[0] * dims[1] > kOdimMaxArrayValues) {
        sendUnusable(
            path,
            "an array of " + std::to_string(dims[0]) + " x " + std::to_string(dims[1]) + " values",
            out);
        return out.ok();
    }
    const std::size_t nBytes = dims[0] * dims[1] * odimElementBytes(element);
    std::vector<unsigned char>& bytes = arrayBuffer();
    if (bytes.size() < nBytes) {
        bytes.resize(nBytes);
    }
    if (H5Dread(data.get(), memType, H5S_ALL, H5S_ALL, H5P_DEFAULT, bytes.data()) < 0) {
        childError(szFunction, path +
                                   ": the values cannot be read (damaged or unreadable "
                                   "storage)");
        return false;
    }
    out.u8('A');
    out.text(path);
    out.u8(1);
    out.u8(static_cast<std::uint8_t>(element));
    out.u64(dims[0]);
    out.u64(dims[1]);
    out.bytes(bytes.data(), nBytes);
    return out.ok();
}

// Opens loc/name<n> for n = 1, 2, ... while it exists; -1 after a message past the limit.
int countNumbered(hid_t loc, const char* stem, int limit, const std::string& where,
                  const char* szFunction) {
    int n = 0;
    char name[32];
    while (true) {
        std::snprintf(name, sizeof name, "%s%d", stem, n + 1);
        if (!h5::groupExists(loc, name)) {
            return n;
        }
        if (++n > limit) {
            childError(szFunction,
                       where + "more than " + std::to_string(limit) + " " + stem + " groups");
            return -1;
        }
    }
}

IsolatedVerdict readInChild(const char* szFile, const char* szFunction, IsolatedOutput& output) {
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    g_childFile = szFile;
    h5::File file(H5Fopen(szFile, H5F_ACC_RDONLY, H5P_DEFAULT));
    if (!file) {
        childError(szFunction, "cannot be opened as an HDF5 file");
        return IsolatedVerdict::kRefused;
    }
    h5::Group root(H5Gopen2(file.get(), "/", H5P_DEFAULT));
    Writer out(output);
    if (!root || !sendGroup(root.get(), "", out, szFunction) ||
        !sendMetadata(root.get(), "", out, szFunction)) {
        return IsolatedVerdict::kRefused;
    }
    const int nDatasets = countNumbered(root.get(), "dataset", kOdimMaxDatasets, "", szFunction);
    if (nDatasets < 0) {
        return IsolatedVerdict::kRefused;
    }
    std::vector<std::uint32_t> dataCounts;
    for (int d = 1; d <= nDatasets; ++d) {
        const std::string dsName = "dataset" + std::to_string(d);
        h5::Group dataset(H5Gopen2(root.get(), dsName.c_str(), H5P_DEFAULT));
        if (!dataset) {
            childError(szFunction, dsName + " cannot be opened");
            return IsolatedVerdict::kRefused;
        }
        if (!sendMetadata(dataset.get(), dsName + "/", out, szFunction)) {
            return IsolatedVerdict::kRefused;
        }
        const int nData =
            countNumbered(dataset.get(), "data", kOdimMaxData, dsName + ": ", szFunction);
        if (nData < 0) {
            return IsolatedVerdict::kRefused;
        }
        dataCounts.push_back(static_cast<std::uint32_t>(nData));
        for (int m = 1; m <= nData; ++m) {
            const std::string dName = "data" + std::to_string(m);
            const std::string prefix = dsName + "/" + dName + "/";
            h5::Group data(H5Gopen2(dataset.get(), dName.c_str(), H5P_DEFAULT));
            if (!data) {
                childError(szFunction, dsName + "/" + dName + " cannot be opened");
                return IsolatedVerdict::kRefused;
            }
            if (!sendMetadata(data.get(), prefix, out, szFunction)) {
                return IsolatedVerdict::kRefused;
            }
            if (h5::datasetExists(data.get(), "data") &&
                !sendArray(data.get(), prefix + "data", out, szFunction)) {
                return IsolatedVerdict::kRefused;
            }
        }
    }
    out.u8('C');
    out.u32(static_cast<std::uint32_t>(nDatasets));
    for (std::uint32_t n : dataCounts) {
        out.u32(n);
    }
    return out.ok() ? IsolatedVerdict::kDecoded : IsolatedVerdict::kRefused;
}

class Reader : public HandOverReader {
  public:
    using HandOverReader::HandOverReader;
    bool u8(std::uint8_t* v) { return take(v, 1); }
    bool u32(std::uint32_t* v) { return take(v, sizeof *v); }
    bool u64(std::uint64_t* v) { return take(v, sizeof *v); }
    bool text(std::string* s) {
        std::uint32_t n = 0;
        const unsigned char* p = nullptr;
        if (!u32(&n) || (p = view(n)) == nullptr) {
            return false;
        }
        s->assign(reinterpret_cast<const char*>(p), n);
        return true;
    }
};

bool parseGroup(Reader& in, OdimFileImage* pImage) {
    OdimGroup group;
    std::uint32_t n = 0;
    if (!in.text(&group.path) || !in.u32(&n) || n > kMaxAttributes) {
        return false;
    }
    group.attributes.resize(n);
    for (OdimAttribute& a : group.attributes) {
        std::uint8_t kind = 0;
        if (!in.text(&a.name) || !in.u8(&kind) || kind > 2) {
            return false;
        }
        a.text = kind == 0;
        a.usable = kind != 2;
        if (kind == 0 && !in.text(&a.string)) {
            return false;
        }
        if (kind == 1) {
            std::uint64_t count = 0;
            if (!in.u64(&count) || count == 0 || count > kMaxAttributeValues ||
                count * sizeof(double) > in.left()) {
                return false;
            }
            a.values.resize(count);
            in.take(a.values.data(), count * sizeof(double));
        }
    }
    pImage->groups.push_back(std::move(group));
    return true;
}

bool parseArray(Reader& in, OdimFileImage* pImage) {
    OdimArray array;
    std::uint8_t usable = 0;
    if (!in.text(&array.path) || !in.u8(&usable) || usable > 1) {
        return false;
    }
    array.usable = usable == 1;
    if (!array.usable) {
        if (!in.text(&array.why)) {
            return false;
        }
        pImage->arrays.push_back(std::move(array));
        return true;
    }
    std::uint8_t element = 0;
    if (!in.u8(&element) || element > static_cast<std::uint8_t>(OdimElement::kF64) ||
        !in.u64(&array.rows) || !in.u64(&array.cols) || array.rows == 0 || array.cols == 0 ||
        array.rows > kOdimMaxArrayValues || array.rows * array.cols > kOdimMaxArrayValues) {
        return false;
    }
    array.element = static_cast<OdimElement>(element);
    const std::uint64_t nBytes = array.rows * array.cols * odimElementBytes(array.element);
    array.bytes = in.view(nBytes);
    if (array.bytes == nullptr) {
        return false;
    }
    pImage->arrays.push_back(std::move(array));
    return true;
}

bool parseImage(OdimFileImage* pImage) {
    Reader in(pImage->buffer.data(), pImage->buffer.size());
    std::uint8_t tag = 0;
    while (in.u8(&tag)) {
        if (tag == 'G' && parseGroup(in, pImage)) {
            continue;
        }
        if (tag == 'A' && parseArray(in, pImage)) {
            continue;
        }
        if (tag != 'C') {
            return false;
        }
        std::uint32_t nDatasets = 0;
        if (!in.u32(&nDatasets) || nDatasets > static_cast<std::uint32_t>(kOdimMaxDatasets)) {
            return false;
        }
        pImage->datasets = static_cast<int>(nDatasets);
        for (std::uint32_t d = 0; d < nDatasets; ++d) {
            std::uint32_t nData = 0;
            if (!in.u32(&nData) || nData > static_cast<std::uint32_t>(kOdimMaxData)) {
                return false;
            }
            pImage->dataPerDataset.push_back(static_cast<int>(nData));
        }
        return in.left() == 0;
    }
    return false;
}

}  // namespace

IsolationLimits odimIsolationLimits() {
    return g_limits;
}

void setOdimIsolationLimits(const IsolationLimits& limits) {
    g_limits = limits;
}

std::size_t odimElementBytes(OdimElement element) {
    switch (element) {
        case OdimElement::kU8:
        case OdimElement::kI8:
            return 1;
        case OdimElement::kU16:
        case OdimElement::kI16:
            return 2;
        case OdimElement::kU32:
        case OdimElement::kI32:
        case OdimElement::kF32:
            return 4;
        case OdimElement::kF64:
            return 8;
    }
    return 1;
}

const OdimAttribute* OdimGroup::find(const char* name) const {
    for (const OdimAttribute& a : attributes) {
        if (a.name == name) {
            return &a;
        }
    }
    return nullptr;
}

const OdimGroup* OdimFileImage::group(const std::string& path) const {
    for (const OdimGroup& g : groups) {
        if (g.path == path) {
            return &g;
        }
    }
    return nullptr;
}

const OdimArray* OdimFileImage::array(const std::string& path) const {
    for (const OdimArray& a : arrays) {
        if (a.path == path) {
            return &a;
        }
    }
    return nullptr;
}

bool readOdimFileImage(const char* szFile, const char* szFunction, OdimFileImage* pImage) {
    // The library's own start-up (its type tables, free lists) touches no file: done once
    // here, every child inherits it instead of building it again.
    static const bool bOpened = H5open() >= 0;
    (void)bOpened;
    IsolatedResult result = runIsolatedDecode(
        [szFile, szFunction](IsolatedOutput& output) {
            return readInChild(szFile, szFunction, output);
        },
        g_limits);
    switch (result.outcome) {
        case IsolatedResult::kDecoded:
            *pImage = OdimFileImage();
            pImage->buffer = std::move(result.bytes);
            if (parseImage(pImage)) {
                return true;
            }
            rdrError(szFunction, (std::string(szFile) + ": the HDF5 library failed on this file "
                                                        "(its result came back damaged)")
                                     .c_str());
            return false;
        case IsolatedResult::kRefused:
            return false;  // the child said why
        case IsolatedResult::kFailed:
            rdrError(szFunction, (std::string(szFile) + ": the HDF5 library failed on this file (" +
                                  result.failure + ")")
                                     .c_str());
            return false;
        case IsolatedResult::kNotRun:
            break;
    }
    rdrError(szFunction, (std::string(szFile) + ": cannot read the HDF5 file in a child process (" +
                          result.failure + ")")
                             .c_str());
    return false;
}
