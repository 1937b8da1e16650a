// Which reader a radar volume file needs, decided from its content (never its name), and
// loading any supported file into a STD_RADAR through that reader and its sync-up.
#ifndef RDR_VOLUME_FORMATS_H
#define RDR_VOLUME_FORMATS_H

#include <string>

#include "standard_volume.h"

// The format's name ("UF", "CF/Radial", "ODIM HDF5", "BUFR", "GRIB"), or null with the
// reason in *pWhy (when given) for a file no reader recognises. A recognised format that
// this build cannot load yet is still named; fnLoadStdRadarFile then says so.
const char* fnIdentifyVolumeFile(const char* szFile, std::string* pWhy);

// Loads the file through the reader its content names. Null after a one-line message
// (the reader's own, or why no reader applies). *pFormat, when given, receives the
// format's name or null.
STD_RADAR* fnLoadStdRadarFile(const char* szFile, const char** pFormat = nullptr);

#endif
