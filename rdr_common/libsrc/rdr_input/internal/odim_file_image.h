// What an ODIM_H5 file holds, as plain values: the attributes of the groups the readers
// look at and the raw bytes of every data array, read with libhdf5 in an isolated child
// process (libhdf5 may crash or run away on a hostile file) and handed back. Reading it
// into the HDF_* records, with every ODIM rule and message, happens in the caller.
//
// Groups are the root, its what/where/how, and for each dataset<n> (numbered from 1 without
// gaps) its what/where/how and each data<m> (likewise) with its what/where/how and its
// "data" array. Other groups (quality layers, vendor extensions) are not read.
#ifndef RDR_ODIM_FILE_IMAGE_H
#define RDR_ODIM_FILE_IMAGE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Element types of a data array, by the class, sign and size of its HDF5 type.
enum class OdimElement : std::uint8_t { kU8, kI8, kU16, kI16, kU32, kI32, kF32, kF64 };

std::size_t odimElementBytes(OdimElement element);

struct OdimAttribute {
    std::string name;
    bool text = false;           // a string attribute: value in `string`
    bool usable = true;          // false: of a type or size the reader does not read
    std::string string;          // its text, cut at the first NUL, trailing blanks dropped
    std::vector<double> values;  // a numeric attribute's values, any shape, in order
};

struct OdimGroup {
    std::string path;  // "" for the root, "what", "dataset1/where", "dataset1/data2/what"
    std::vector<OdimAttribute> attributes;

    const OdimAttribute* find(const char* name) const;
};

// The "data" array of a data<m> group.
struct OdimArray {
    std::string path;  // "dataset1/data2/data"
    bool usable = false;
    std::string why;  // when not usable: "a 3-D array", "64-bit integers", ...
    OdimElement element = OdimElement::kU8;
    std::uint64_t rows = 0;
    std::uint64_t cols = 0;
    // rows x cols elements, native byte order, inside the image's buffer (not aligned).
    const unsigned char* bytes = nullptr;
};

struct OdimFileImage {
    std::vector<unsigned char> buffer;  // what the child handed back; the arrays point into it
    std::vector<OdimGroup> groups;      // in the order listed above
    std::vector<OdimArray> arrays;
    int datasets = 0;                 // dataset1 .. dataset<datasets> exist
    std::vector<int> dataPerDataset;  // data groups of each dataset

    OdimFileImage() = default;
    OdimFileImage(const OdimFileImage&) = delete;
    OdimFileImage& operator=(const OdimFileImage&) = delete;
    OdimFileImage(OdimFileImage&&) = default;
    OdimFileImage& operator=(OdimFileImage&&) = default;

    const OdimGroup* group(const std::string& path) const;
    const OdimArray* array(const std::string& path) const;
};

// Bounds on what a file may hold; beyond them the read is refused.
constexpr int kOdimMaxDatasets = 1000;
constexpr int kOdimMaxData = 100;
constexpr std::uint64_t kOdimMaxArrayValues = std::uint64_t{64} << 20;

// Limits of the child process (a fuzzer lowers them so that a runaway read is the child's
// timeout, not its own).
struct IsolationLimits;
IsolationLimits odimIsolationLimits();
void setOdimIsolationLimits(const IsolationLimits& limits);

// Reads the file in a child process. False after a one-line message under szFunction
// (the file cannot be opened as HDF5, the library failed on it, a bound is exceeded).
bool readOdimFileImage(const char* szFile, const char* szFunction, OdimFileImage* pImage);

#endif
