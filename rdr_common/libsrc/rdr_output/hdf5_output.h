// ODIM_H5 writer: the standard structures to the HDF_* records (the sync-downs) and the
// records to an HDF5 file laid out after ODIM_H5 (root Conventions; what, where and how
// groups; dataset<n>/data<m> with their what and a 2-D "data" array). Files are replaced
// atomically: a failed write leaves no file and the old one untouched.
//
// Volumes: fnStdSyncDownHdf (hdf5_output_sync_down.cc) then fnWriteHdfRadar
// (hdf5_output.cc); release the record with fnFreeHdfRadar.
#ifndef RDR_HDF5_OUTPUT_H
#define RDR_HDF5_OUTPUT_H

#include "hdf_radar.h"
#include "standard_product.h"
#include "standard_volume.h"

// ---- volumes ------------------------------------------------------------------------

// A new HDF_RADAR holding a copy of the volume (the STD_RADAR stays the caller's): one
// dataset per sweep and range geometry, rows ordered from north with a1gate the first ray
// acquired, per-ray angles and times in how. Null with a message when the volume is
// incomplete or a name does not fit the format.
HDF_RADAR* fnStdSyncDownHdf(STD_RADAR* pStd);

// Writes the volume as an ODIM_H5 file. 1, or 0 with a message (no file is left and an
// existing one is untouched).
int fnWriteHdfRadar(HDF_RADAR* pHdf, const char* szFileName);

// ---- products -----------------------------------------------------------------------
// (product interface: filled in by the product side)

#endif
