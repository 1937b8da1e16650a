// What the registry needs to know of an HDF5 file before choosing its reader: the root
// group's Conventions attribute, which tells ODIM_H5 and CF/Radial (NetCDF-4) apart. libhdf5
// may crash or run away on a hostile file, so it is asked in an isolated child process.
#include <hdf5.h>

#include <cstring>
#include <string>
#include <vector>

#include "internal/isolated_decode.h"
#include "internal/volume_formats_table.h"

namespace {

// Closes an HDF5 identifier of any kind with its own close function.
class Hdf5Id {
  public:
    Hdf5Id(hid_t id, herr_t (*close)(hid_t)) : id_(id), close_(close) {}
    Hdf5Id(const Hdf5Id&) = delete;
    Hdf5Id& operator=(const Hdf5Id&) = delete;
    ~Hdf5Id() {
        if (id_ >= 0) {
            close_(id_);
        }
    }
    hid_t get() const { return id_; }
    bool valid() const { return id_ >= 0; }

  private:
    hid_t id_;
    herr_t (*close_)(hid_t);
};

// The attribute's first string, fixed-length or variable-length, scalar or array.
std::string readFirstString(hid_t attr) {
    Hdf5Id type(H5Aget_type(attr), H5Tclose);
    Hdf5Id space(H5Aget_space(attr), H5Sclose);
    if (!type.valid() || !space.valid() || H5Tget_class(type.get()) != H5T_STRING) {
        return "";
    }
    const hssize_t nPoints = H5Sget_simple_extent_npoints(space.get());
    if (nPoints < 1 || nPoints > 1024) {
        return "";
    }
    if (H5Tis_variable_str(type.get()) > 0) {
        Hdf5Id memType(H5Tcopy(H5T_C_S1), H5Tclose);
        if (!memType.valid() || H5Tset_size(memType.get(), H5T_VARIABLE) < 0) {
            return "";
        }
        std::vector<char*> values(static_cast<std::size_t>(nPoints), nullptr);
        if (H5Aread(attr, memType.get(), values.data()) < 0) {
            return "";
        }
        std::string first = values[0] != nullptr ? values[0] : "";
        H5Dvlen_reclaim(memType.get(), space.get(), H5P_DEFAULT, values.data());
        return first;
    }
    const std::size_t nChars = H5Tget_size(type.get());
    if (nChars == 0 || nChars > 4096) {
        return "";
    }
    std::vector<char> text(nChars * static_cast<std::size_t>(nPoints) + 1, '\0');
    if (H5Aread(attr, type.get(), text.data()) < 0) {
        return "";
    }
    std::string first(text.data(), nChars);
    return first.substr(0, first.find('\0'));
}

// Opening a file and reading one attribute needs little: a hostile file gets no more.
constexpr IsolationLimits kProbeLimits = {
    std::size_t{256} << 20,  // address space
    5,                       // CPU seconds
    10,                      // wall seconds
    8192,                    // result bytes
};

// In the child: one byte for the sweep_number variable, then the Conventions text.
IsolatedVerdict probeInChild(const char* szFile, IsolatedOutput& output) {
    // libhdf5 prints its error stack on every failed call unless told not to.
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    Hdf5Id file(H5Fopen(szFile, H5F_ACC_RDONLY, H5P_DEFAULT), H5Fclose);
    if (!file.valid()) {
        return IsolatedVerdict::kRefused;
    }
    const unsigned char hasSweepNumber = H5Lexists(file.get(), "sweep_number", H5P_DEFAULT) > 0;
    std::string conventions;
    if (H5Aexists(file.get(), "Conventions") > 0) {
        Hdf5Id attr(H5Aopen(file.get(), "Conventions", H5P_DEFAULT), H5Aclose);
        if (attr.valid()) {
            conventions = readFirstString(attr.get()).substr(0, 4096);
        }
    }
    return output.write(&hasSweepNumber, 1) && output.write(conventions.data(), conventions.size())
               ? IsolatedVerdict::kDecoded
               : IsolatedVerdict::kRefused;
}

}  // namespace

bool probeHdf5Root(VolumeFileHead* pHead) {
    const char* szFile = pHead->path;
    const IsolatedResult result = runIsolatedDecode(
        [szFile](IsolatedOutput& output) { return probeInChild(szFile, output); }, kProbeLimits);
    if (result.outcome != IsolatedResult::kDecoded || result.bytes.empty()) {
        return false;
    }
    pHead->hasSweepNumber = result.bytes[0] != 0;
    pHead->conventions.assign(reinterpret_cast<const char*>(result.bytes.data()) + 1,
                              result.bytes.size() - 1);
    return true;
}
