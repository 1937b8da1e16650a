// A small layer over libhdf5 for the ODIM reader and writer: identifiers that close
// themselves, and attribute and dataset helpers that check types, shapes and lengths
// before they read a byte. Nothing here knows about radar data.
//
// Readers answer H5Get::kAbsent when the attribute is not there and H5Get::kBad when it is
// there but unusable (wrong class, empty, too long); the caller names the attribute.
#ifndef RDR_HDF5_ACCESS_H
#define RDR_HDF5_ACCESS_H

#include <hdf5.h>

#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace h5 {

// An identifier closed once by its own close function.
template <herr_t (*Close)(hid_t)>
class Id {
  public:
    Id() = default;
    explicit Id(hid_t id) : id_(id) {}
    Id(Id&& other) noexcept : id_(std::exchange(other.id_, H5I_INVALID_HID)) {}
    Id& operator=(Id&& other) noexcept {
        if (this != &other) {
            reset(std::exchange(other.id_, H5I_INVALID_HID));
        }
        return *this;
    }
    Id(const Id&) = delete;
    Id& operator=(const Id&) = delete;
    ~Id() { reset(); }

    hid_t get() const { return id_; }
    bool valid() const { return id_ >= 0; }
    explicit operator bool() const { return valid(); }
    // Closes now; false when the close failed (a file whose last writes did not reach disk).
    bool close() {
        const hid_t id = std::exchange(id_, H5I_INVALID_HID);
        return id < 0 || Close(id) >= 0;
    }
    void reset(hid_t id = H5I_INVALID_HID) {
        if (id_ >= 0) {
            Close(id_);
        }
        id_ = id;
    }

  private:
    hid_t id_ = H5I_INVALID_HID;
};

using File = Id<H5Fclose>;
using Group = Id<H5Gclose>;
using Attr = Id<H5Aclose>;
using Dataset = Id<H5Dclose>;
using Space = Id<H5Sclose>;
using Type = Id<H5Tclose>;
using Plist = Id<H5Pclose>;

// Turns libhdf5's automatic error printing off for the life of the object and back to
// what it was afterwards: failures are reported in our own words.
class QuietErrors {
  public:
    QuietErrors();
    ~QuietErrors();
    QuietErrors(const QuietErrors&) = delete;
    QuietErrors& operator=(const QuietErrors&) = delete;

  private:
    H5E_auto2_t func_ = nullptr;
    void* data_ = nullptr;
};

enum class Get { kOk, kAbsent, kBad };

// Longest text an attribute may hold.
constexpr std::size_t kMaxText = 4096;

// True when loc holds a link of that name to a group.
bool groupExists(hid_t loc, const char* name);
// True when loc holds a link of that name to a dataset.
bool datasetExists(hid_t loc, const char* name);

// A numeric attribute, scalar or the first of an array of up to kMaxArray values, any
// integer or float type, converted to double. Not finite values are kBad.
Get readDouble(hid_t obj, const char* name, double* pValue);
// A numeric attribute holding a whole number in the range of long.
Get readLong(hid_t obj, const char* name, long* pValue);
// A string attribute, fixed or variable length, scalar or the first of an array; the text
// ends at its first NUL and trailing blanks are dropped.
Get readString(hid_t obj, const char* name, std::string* pValue);
// A numeric attribute of exactly n values (any shape), as doubles.
Get readDoubleArray(hid_t obj, const char* name, std::size_t n, std::vector<double>* pValues);

// Writers: false when libhdf5 refuses. Strings are scalar fixed-length, NUL-terminated
// (H5T_C_S1 sized to the text plus one); doubles native double; whole numbers native long.
bool writeString(hid_t obj, const char* name, const std::string& value);
bool writeDouble(hid_t obj, const char* name, double value);
bool writeLong(hid_t obj, const char* name, long value);
bool writeDoubleArray(hid_t obj, const char* name, const double* pValues, std::size_t n);

// A new group under loc (invalid on failure).
Group createGroup(hid_t loc, const char* name);

// Chunk edge for a dimension of n values: a tenth of it, at least 1.
inline hsize_t chunkEdge(hsize_t n) {
    return n / 10 > 0 ? n / 10 : 1;
}

// A 2-D dataset rows x cols of fileType, chunked by tenths (at least 1) and deflated at
// level 6, written from pData in memType, with the image attributes CLASS "IMAGE" and
// IMAGE_VERSION "1.2". False on any failure.
bool writeImage(hid_t loc, const char* name, hid_t fileType, hid_t memType, const void* pData,
                hsize_t rows, hsize_t cols);

// Creates the HDF5 file `path` (truncating it) and runs write on it, then closes it, all in
// a child process: libhdf5 1.10 keeps a file whose close failed (a full disk) in its tables
// and crashes on it when the program exits, so a failed write must never touch the
// caller's libhdf5. True when the file was written and closed; else false with the reason
// in *pWhy (write's own, or how the child ended). write runs in the child, so it must not
// hand anything back but its result and reason.
bool writeFileIsolated(const std::string& path,
                       const std::function<bool(hid_t file, std::string* pWhy)>& write,
                       std::string* pWhy);

}  // namespace h5

#endif
