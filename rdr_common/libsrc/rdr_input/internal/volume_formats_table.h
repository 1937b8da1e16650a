// The rows of the format registry: each reader says from the file's first bytes whether
// the file is its format, and loads it into a STD_RADAR.
#ifndef RDR_VOLUME_FORMATS_TABLE_H
#define RDR_VOLUME_FORMATS_TABLE_H

#include <cstddef>
#include <string>
#include <vector>

#include "standard_volume.h"
#include "volume_formats.h"

// The start of a file as read once by the registry; gzip-compressed files are inflated.
struct VolumeFileHead {
    const char* path;
    const unsigned char* bytes;  // the first bytes of the (inflated) content
    std::size_t size;            // how many of them there are
    bool gzip;                   // the file itself is gzip-compressed
    // For HDF5 files, looked at once by the registry: the root "Conventions" attribute
    // and whether the root holds a CF/Radial "sweep_number" variable.
    bool hdf5;
    std::string conventions;
    bool hasSweepNumber;
};

struct VolumeFormat {
    const char* name;
    bool (*identify)(const VolumeFileHead& head);
    // Null: recognised, not loadable yet. pNotes is never null.
    STD_RADAR* (*load)(const char* szFile, VolumeLoadNotes* pNotes);
    // Null: this reader always loads every moment.
    STD_RADAR* (*loadMoments)(const char* szFile, const std::vector<std::string>* pMoments,
                              VolumeLoadNotes* pNotes) = nullptr;
};

// Bytes of content the registry reads before asking the rows.
constexpr std::size_t kVolumeHeadBytes = 512;

// Fills conventions and hasSweepNumber from the HDF5 file's root group (the first string
// when the attribute is an array). False when libhdf5 cannot open the file.
bool probeHdf5Root(VolumeFileHead* pHead);

// The UF framing that the first six bytes of a record stream announce (EN_UF_TYPE_*).
int ufFramingOfHead(const unsigned char* pHead, std::size_t nHead);

#endif
