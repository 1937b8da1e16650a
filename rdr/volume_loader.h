// Opens any supported radar volume file into a STD_RADAR, choosing the reader from the
// file's first bytes rather than its name.
#ifndef RDR_VOLUME_LOADER_H
#define RDR_VOLUME_LOADER_H

#include <string>

#include "standard_volume.h"

enum RDR_VOLUME_FORMAT {
    RDR_EN_FORMAT_UNKNOWN = 0,
    RDR_EN_FORMAT_UF = 1,      // UF records, any framing, plain or gzip-compressed
    RDR_EN_FORMAT_NETCDF = 2,  // CF/Radial in NetCDF classic or NetCDF-4 (HDF5)
};

// Identifies the format from the signature; fills szWhy when the file is not usable.
RDR_VOLUME_FORMAT fnDetectVolumeFormat(const std::string& path, std::string* pWhy);

const char* fnVolumeFormatName(RDR_VOLUME_FORMAT format);

// Loads the file through the matching reader and sync-up. Returns null after the reader
// has printed its message (or after printing why the format is unknown).
STD_RADAR* fnLoadStdVolume(const std::string& path, RDR_VOLUME_FORMAT* pFormat = nullptr);

#endif
