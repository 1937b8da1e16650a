// GRIB volume writer, the inverse of the GRIB volume reader (grib_radar.h): STD_RADAR ->
// GRIB_RADAR (the sync-down), then one GRIB edition 2 message per moment with the system's
// local section, written to a temporary file and renamed over the target.
//
// Every bin, angle, range, time, header value and the order of the moments on each ray
// survive a write and a read; only the site position is kept to 10^-6 degrees.
#ifndef RDR_GRIB_VOLUME_OUTPUT_H
#define RDR_GRIB_VOLUME_OUTPUT_H

#include "grib_radar.h"
#include "standard_volume.h"

// A GRIB_RADAR holding a copy of the volume (the STD_RADAR stays the caller's): moments
// in the order they first appear, each as wide as its longest ray. Null with a message
// when the volume is incomplete or beyond the format's limits (more than 254 moments, a
// moment twice on one ray, ray times or ranges beyond 32 bits).
GRIB_RADAR* fnStdSyncDownGribRadar(STD_RADAR* pStd);

// Writes one message per moment. Returns 1, or 0 with a message (the target untouched).
// A symbolic link is written through; a device or FIFO is written in place.
int fnWriteGribRadar(GRIB_RADAR* pGrib, const char* szFile);

#endif
