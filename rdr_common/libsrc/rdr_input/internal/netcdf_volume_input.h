// Pieces of the CF/Radial loader shared by its files. fnLoadNcRadar looks at the file's
// container first: a classic file is read in this process once its header has been checked
// (netcdf_volume_input_classic.cc); an HDF5-based (NetCDF-4) file is read in a child
// process and handed back as bytes (netcdf_volume_input_hdf5.cc, _transfer.cc), so that
// libhdf5 failing on a damaged file cannot take the caller down.
#ifndef RDR_NETCDF_VOLUME_INPUT_INTERNAL_H
#define RDR_NETCDF_VOLUME_INPUT_INTERNAL_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "internal/isolated_decode.h"
#include "nc_radar.h"

// One heap array that an NC_RADAR owns.
struct NcOwnedArray {
    void** slot;               // the member that points at the array (null: absent)
    std::size_t count;         // elements the array holds when present, from the dimensions
    std::size_t elementBytes;  // bytes of one element; NC_VAR_TEXT_LEN per string of a text array
    bool text;                 // a block from allocNcTextArray: count pointers, then the strings
    bool required;             // never absent (a moment's data)
};

// Every heap array the NC_RADAR owns, in a fixed order: the metadata arrays, then the data
// of the moments below m_iMaxMoment. The dimensions must not be negative and m_iMaxMoment
// must lie in [0, NC_MAX_MOMENT].
std::vector<NcOwnedArray> ncOwnedArrays(NC_RADAR* pNc);

// n strings of NC_VAR_TEXT_LEN bytes in one block that one free() releases; null when out
// of memory.
char** allocNcTextArray(std::size_t n);

// Reads the file with libnetcdf in this process. Null after the loader's message, except
// when nc_open itself fails: then nothing is printed and *pOpenStatus holds its status.
NC_RADAR* readNcRadarInProcess(const char* szFile, int* pOpenStatus);

// Whether the file open on fd has the HDF5 signature at one of the offsets where libhdf5
// looks for it (0, 512, 1024, 2048, ...).
bool hasHdf5Signature(int fd, std::uint64_t fileSize);

// Reads an HDF5-based file in a child process under memory and time limits. Null after a
// message: the loader's own, or "the HDF5 library failed on this file (why)".
NC_RADAR* loadNcRadarIsolated(const char* szFile);

// The limits of that child. A program that must answer sooner (a fuzzer under its own
// timeout, a test) may tighten them before it loads anything.
IsolationLimits ncIsolationLimits();
void setNcIsolationLimits(const IsolationLimits& limits);

#endif
