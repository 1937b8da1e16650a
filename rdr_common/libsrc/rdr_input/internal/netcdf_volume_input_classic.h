// The classic netCDF header (CDF-1, CDF-2 with 64-bit offsets, CDF-5 with 64-bit counts),
// checked before nc_open sees the file. libnetcdf sizes its allocations from the header's
// counts as they stand: a 13-byte file can make it ask for gigabytes. Here every count,
// name, attribute value and variable is checked against the bytes the file actually has.
#ifndef RDR_NETCDF_VOLUME_INPUT_CLASSIC_H
#define RDR_NETCDF_VOLUME_INPUT_CLASSIC_H

#include <cstddef>
#include <cstdint>
#include <string>

// Whether the first bytes carry a classic signature: "CDF" and version 1, 2 or 5.
bool isNcClassicSignature(const unsigned char* pHead, std::size_t nHead);

// Walks the whole header of the classic file open on fd (fileSize bytes long) and checks:
// - the dimension, attribute and variable lists fit in the bytes that follow them;
// - every name and attribute value lies inside the file, and no name is longer than
//   NC_MAX_NAME (libnetcdf copies names into fixed buffers without a bound);
// - no dimension and no record count exceeds the file's size;
// - every variable names existing dimensions, has a known type, and its data (all records
//   of it, for a record variable) lies inside the file.
// False with the first reason found in *pWhy.
bool checkNcClassicHeader(int fd, std::uint64_t fileSize, std::string* pWhy);

#endif
