// The hand-over of an NC_RADAR from the child process that read it to the caller: the
// structure's own bytes, then every array it owns (ncOwnedArrays), each with its length.
// The reader trusts nothing of it: the child's pointers are dropped, every length must be
// the one the dimensions give, and every text field ends up terminated.
#ifndef RDR_NETCDF_VOLUME_INPUT_TRANSFER_H
#define RDR_NETCDF_VOLUME_INPUT_TRANSFER_H

#include <cstddef>
#include <string>

#include "internal/isolated_decode.h"
#include "nc_radar.h"

// False when the output refuses a write.
bool writeNcRadarBytes(NC_RADAR* pNc, IsolatedOutput& output);

// A new NC_RADAR (release with fnFreeNcRadar), or null with the reason in *pWhy.
NC_RADAR* readNcRadarBytes(const unsigned char* pBytes, std::size_t nBytes, std::string* pWhy);

#endif
