// An ODIM-shaped polar volume (the HDF5 reader's records; the BUFR reader shares their
// layout) to a STD_RADAR. Both sync-ups call this with the parts of their own volume
// record, their field-name lookup and their function name for messages.
//
// Sweeps: one per dataset, except that a dataset repeating the previous one's scan (same
// elevation, ray count, a1gate, start and end times and per-ray angles and times, none of
// its quantities) joins its sweep; its moments keep their own range geometry in their
// field headers. Each sweep keeps its own ray count.
//
// Rays: row i of a dataset covers the i-th sector clockwise from north; the first ray
// acquired is row a1gate. Rays are stored in acquisition order: from a1gate round the
// circle, or by how/startazT where the file has per-ray times. Azimuths are the middle of
// how/startazA..stopazA when given, else the middle of the row's sector; elevations come
// from how/elangles when given; times from the middle of startazT..stopazT when given,
// else the dataset's start.
#ifndef RDR_ODIM_VOLUME_TO_STD_H
#define RDR_ODIM_VOLUME_TO_STD_H

#include <algorithm>
#include <cmath>
#include <string>

#include "hdf_radar.h"
#include "info_tables.h"
#include "standard_volume.h"

struct OdimVolumeParts {
    const HDF_TOP_WHAT* what;
    const HDF_WHERE* where;
    const HDF_HOW* how;
    int nDatasets;
    HDF_DATASET* const* datasets;  // null entries are skipped
};

using OdimFieldLookup = int (*)(const char* szQuantity, FIELD_INFO_TBL* pBuf);

// Null with a message under szFunction when no dataset holds data or allocation fails.
STD_RADAR* odimVolumeToStd(const OdimVolumeParts& parts, OdimFieldLookup lookup,
                           const char* szFunction);

// A physical value of a decoded matrix as a stored value: -32767 for the grid codes
// (-9999, -9998) and for values that are not finite; otherwise value x iScale (100, or 10
// or 1 for a moment whose values do not fit 16 bits at 100) truncated toward zero, after
// rounding away the float representation error of values that are whole steps, and
// saturated at -32766 and 32767 (short of the no-data codes).
// Called for every bin: inline, and free of library calls.
inline short odimToStdStored(float fPhysical, int iScale = 100) {
    const float kCodeTolerance = 1e-6f;
    if (!(std::fabs(fPhysical) < 1.0e6f)) {
        if (std::isnan(fPhysical)) {
            return STD_NO_DATA_CODE;
        }
        return fPhysical > 0 ? 32767 : -32766;
    }
    if (std::fabs(fPhysical - HDF_UNDETECT_VALUE) < kCodeTolerance ||
        std::fabs(fPhysical - HDF_NODATA_VALUE) < kCodeTolerance) {
        return STD_NO_DATA_CODE;
    }
    const double x = static_cast<double>(fPhysical) * iScale;
    const long nearest = static_cast<long>(x + (x >= 0.0 ? 0.5 : -0.5));
    // A float holds a value to 2^-24 of itself: a whole hundredth may read 0.29999998.
    const double error = x - static_cast<double>(nearest);
    const long stored =
        std::fabs(error) <= std::fabs(x) * 2.4e-7 + 1e-6 ? nearest : static_cast<long>(x);
    return static_cast<short>(stored < -32766 ? -32766 : stored > 32767 ? 32767 : stored);
}

// The largest of 100, 10 and 1 at which every value of the rows fits the stored 16 bits.
inline int odimStoredScale(const float* const* ppRows, long nRows, long nBins) {
    float largest = 0.0f;
    for (long r = 0; r < nRows; ++r) {
        for (long b = 0; b < nBins; ++b) {
            const float v = ppRows[r][b];
            // The grid codes and non-finite values are not data.
            if (std::isfinite(v) && v != HDF_UNDETECT_VALUE && v != HDF_NODATA_VALUE) {
                largest = std::max(largest, std::fabs(v));
            }
        }
    }
    return largest * 100.0f < 32766.0f ? 100 : largest * 10.0f < 32766.0f ? 10 : 1;
}

// The node identifier of an ODIM source text ("WMO:01104,NOD:norst" gives "norst"): the
// value of its NOD entry up to the next ',', or "" without one.
std::string odimSourceNode(const char* szSource);

// A whole number of a double that should hold one: truncated toward zero after rounding
// away representation error (299.792458 x (1000 / 299.792458) is 1000, not 999).
long odimWhole(double dValue);

#endif
