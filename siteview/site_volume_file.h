// Where siteview finds a site volume: the file-naming rule of the data tree under the
// resource root, and the search for the volume of a requested time.
//
//   /DATA/RDR/SITE/<SITE>/<YYYYMM>/<DD>/RDR_<SITE>_<YYYYMMDDHHMI>.uf      (or .uf.gz)
//
// with the volume's start time in KST. A request for a minute takes the volume of that
// minute or, failing that, the newest one of the kSvSearchMinutes minutes before it.
#ifndef SITEVIEW_SITE_VOLUME_FILE_H
#define SITEVIEW_SITE_VOLUME_FILE_H

#include <cstddef>

#include "site_request.h"

constexpr int kSvSearchMinutes = 10;

// Time of a volume, KST.
struct SvVolumeTime {
    int year, month, day, hour, minute;
};

// Writes the rooted path of the volume of site at time t with extension ext (".uf" or
// ".uf.gz") into buf. False when it does not fit.
bool svVolumePath(const char* site, const SvVolumeTime& t, const char* ext, char* buf, size_t size);

// Searches the volume of the request (its minute, then each minute before it down to
// kSvSearchMinutes earlier; plain before gzip). Only regular files count. True with the
// path and the volume's time when one was found.
bool svFindVolume(const SvRequest& req, char* path, size_t size, SvVolumeTime* found);

#endif
