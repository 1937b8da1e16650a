// Builds STD_RADAR volumes of any shape in memory for tests and benchmarks.
//
//   rdrtest::VolumeShape shape = rdrtest::uniformVolume(2, 360, 100, {"DZ", "VR"});
//   shape.value = [](int s, int r, int b, int f) { return short(r * 10 + b); };
//   shape.sweeps[1].nullRays = {5, 6};              // rays 5 and 6 of sweep 1 are null
//   rdrtest::StdRadarPtr vol = rdrtest::buildVolume(shape);   // freed by fnFreeStdRadar
//
// Each sweep lists its rays' azimuths in storage order, so unsorted (merged split cuts),
// gappy (sector scans) and duplicate azimuths are a matter of the list. Every ray of a
// sweep shares the sweep's range geometry and bin count. The moments of the volume are
// listed once (VolumeShape::fields); a ray carries them in the order given by
// VolumeShape::rayFields (default: all of them, in list order), which lets a test move a
// moment to another index on some rays or leave it out. The value callback returns the
// stored 16-bit value of (sweep, ray, bin, moment index into VolumeShape::fields).
#ifndef RDR_TESTING_SYNTHETIC_VOLUME_H
#define RDR_TESTING_SYNTHETIC_VOLUME_H

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "owned_handles.h"
#include "standard_volume.h"

namespace rdrtest {

struct SweepShape {
    float elevation = 0.5f;       // ray elevation and fixed angle, degrees
    std::vector<float> azimuths;  // one per ray, in storage order
    std::vector<int> nullRays;    // indices of rays left null (their azimuth is ignored)
    int bins = 100;
    int startRangeKm = 0;
    int startRangeMeter = 0;
    int binSpacingM = 1000;
};

struct VolumeShape {
    std::vector<SweepShape> sweeps;
    std::vector<std::string> fields = {"DZ"};  // moment names, at most 8 characters
    int scaleFactor = 100;
    int noDataValue = STD_NO_DATA_CODE;
    // Stored value of a bin; default: every bin holds noDataValue.
    std::function<short(int sweep, int ray, int bin, int field)> value;
    // Moments a ray carries, as indices into `fields`, in field order on the ray;
    // default: 0, 1, ..., fields.size() - 1.
    std::function<std::vector<int>(int sweep, int ray)> rayFields;
};

using StdRadarPtr = rdr::StdRadarPtr;

// Evenly spaced azimuths: first, first + step, ... (n values, folded into [0, 360)).
std::vector<float> evenAzimuths(int n, float first = 0.5f, float step = -1.0f /* 360/n */);

// A volume of `sweeps` sweeps at elevations 0.5, 1.5, ... each of `rays` rays at
// evenAzimuths(rays) and `bins` 1 km bins from 0 km, carrying `fields`.
VolumeShape uniformVolume(int sweeps, int rays, int bins, std::vector<std::string> fields);

// Builds the volume with the same allocation discipline as the readers (malloc/calloc),
// so fnFreeStdRadar releases it. Header: radar "SYNTH", PPI scan mode, 16 bits per bin.
StdRadarPtr buildVolume(const VolumeShape& shape);

}  // namespace rdrtest

#endif
