// Which reader a radar volume file needs, decided from its content (never its name), and
// loading any supported file into a STD_RADAR through that reader and its sync-up.
#ifndef RDR_VOLUME_FORMATS_H
#define RDR_VOLUME_FORMATS_H

#include <string>
#include <utility>
#include <vector>

#include "standard_volume.h"

// What a load noticed beyond the volume itself, in words for a user: where fields came
// from when the file names them otherwise, what the reader left out and why, and damage
// (a file that ends early, a position or date that cannot be right). A volume with damage
// notes is still returned: what could be read is kept.
struct VolumeLoadNotes {
    std::vector<std::pair<std::string, std::string>> fieldSources;  // field, file's name
    std::vector<std::string> skipped;                               // "name (reason)"
    std::vector<std::string> damage;
};

// The format's name ("UF", "CF/Radial", "ODIM HDF5", "BUFR", "GRIB"), or null with the
// reason in *pWhy (when given) for a file no reader recognises. A recognised format that
// this build cannot load yet is still named; fnLoadStdRadarFile then says so.
const char* fnIdentifyVolumeFile(const char* szFile, std::string* pWhy);

// Loads the file through the reader its content names. Null after a one-line message
// (the reader's own, or why no reader applies). *pFormat, when given, receives the
// format's name or null; *pNotes, when given, what the load noticed. With pMoments, only
// the moments it names need be loaded (readers that cannot choose load every one; each
// ray keeps its first moment, which its range and gating are read from); a moment the
// file lacks is simply absent, and the volume's and sweeps' headers are those of the
// whole load.
STD_RADAR* fnLoadStdRadarFile(const char* szFile, const char** pFormat = nullptr,
                              VolumeLoadNotes* pNotes = nullptr,
                              const std::vector<std::string>* pMoments = nullptr);

#endif
