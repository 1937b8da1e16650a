// Radar volumes in BUFR, in the layout of the European radar data exchange (ODIM-style
// what, where and how information, zlib-compressed data sections). fnLoadBufrRadar fills a
// BUFR_RADAR from a file; fnBufrSyncUpStd turns it into a STD_RADAR.
//
//   BUFR_RADAR* pBufr = fnLoadBufrRadar(szFile);
//   STD_RADAR* pStd = pBufr != nullptr ? fnBufrSyncUpStd(pBufr) : nullptr;
//   fnFreeBufrRadar(pBufr);
//
// The BUFR records are the ODIM records of hdf_radar.h under BUFR names: a loaded volume
// has the layout, and the same conventions (physical values, -9999 undetect, -9998 nodata),
// as one loaded from ODIM_H5, and both go through the same conversion.
#ifndef RDR_BUFR_RADAR_H
#define RDR_BUFR_RADAR_H

#include "hdf_radar.h"
#include "standard_volume.h"

using BUFR_TOP_WHAT = HDF_TOP_WHAT;
using BUFR_DATASET_WHAT = HDF_DATASET_WHAT;
using BUFR_POLAR_WHERE = HDF_POLAR_WHERE;
using BUFR_IMAGE_WHERE = HDF_IMAGE_WHERE;
using BUFR_CROSS_WHERE = HDF_CROSS_WHERE;
using BUFR_VERTICAL_WHERE = HDF_VERTICAL_WHERE;
using BUFR_WHERE = HDF_WHERE;
using BUFR_GENERAL_HOW = HDF_GENERAL_HOW;
using BUFR_RADAR_HOW = HDF_RADAR_HOW;
using BUFR_POLAR_HOW = HDF_POLAR_HOW;
using BUFR_IMAGE_HOW = HDF_IMAGE_HOW;
using BUFR_VERTICAL_HOW = HDF_VERTICAL_HOW;
using BUFR_QUALITY_HOW = HDF_QUALITY_HOW;
using BUFR_HOW = HDF_HOW;
using BUFR_DATA = HDF_DATA;
using BUFR_DATASET = HDF_DATASET;
// m_iHdfType holds the BUFR type (1, a polar volume).
using BUFR_RADAR = HDF_RADAR;

// A zeroed volume of iMaxSweep datasets with iMaxField data items each, as fnInitHdfRadar.
BUFR_RADAR* fnInitBufrRadar(int iMaxSweep, int iMaxField, int, int);
// Releases the volume and everything it holds; null is accepted.
void fnFreeBufrRadar(BUFR_RADAR* pBufr);
// 1 with the dataset count, the largest data count of a dataset, the largest ray and bin
// counts; 0 for null.
int fnGetMaxCountBufrRadar(BUFR_RADAR* pBufr, int* pMaxDataset, int* pMaxData, int* pMaxRay,
                           int* pMaxBin);

// Loads the polar volume of a BUFR file (plain or gzip-compressed; editions 2 to 4; the
// exchange's sequences 3-21-203, without how information, and 3-21-207, with it). Null
// after a one-line message naming the file and the fault.
BUFR_RADAR* fnLoadBufrRadar(const char* szFile);

// A new STD_RADAR (physical values x 100, -32767 for undetect and nodata), or null with a
// message. The BUFR_RADAR stays the caller's.
STD_RADAR* fnBufrSyncUpStd(BUFR_RADAR* pBufr);

#endif
