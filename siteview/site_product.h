// The product grid of a request, computed by the display library's site engine from one
// volume: a square grid of kSvGridCells cells per side around the radar (row 0 north,
// column 0 west, the radar in the middle cell), one cell per pixel of the image.
#ifndef SITEVIEW_SITE_PRODUCT_H
#define SITEVIEW_SITE_PRODUCT_H

#include <memory>
#include <vector>

#include "owned_handle.h"
#include "site_request.h"
#include "site_volume_engine.h"

// Cells (and echo-area pixels) per side: odd, so that the radar has a middle cell.
constexpr int kSvGridCells = 513;
// Echo tops count echo above this reflectivity.
constexpr float kSvEchoTopDbz = 18.0f;
// VIL sums 1 km layers from the antenna up to this height.
constexpr int kSvVilTopKm = 15;

using SvFreeDeleter = rdr::ReleaseWith<rdr::freeMemory>;
using SvVolumePtr = std::unique_ptr<ST_UF_DATA, SvFreeDeleter>;
using SvGridPtr = std::unique_ptr<float, SvFreeDeleter>;

// A volume with the azimuth table of each sweep (null for a sweep without rays).
struct SvVolume {
    SvVolumePtr uf;
    std::vector<std::unique_ptr<st_Azimuth, SvFreeDeleter>> owned;
    std::vector<st_Azimuth*> tables;
};

// Reads field of the volume file and builds its tables. False when it cannot be read.
bool svLoadVolume(const char* path, const char* field, SvVolume* volume);

// Cell size of the request's window, km.
float svCellKm(const SvRequest& req);

// The grid of a plan-view product (every product but CROSS) for the request: values in the
// volume field's unit (dBZ for RN, which the drawing shows as rain rate; km for ETOP, kg/m2
// for VIL), -9999 for no data. Null with a reason (kSvReasonSize bytes) when the volume
// cannot give it (a sweep it does not have, no memory).
SvGridPtr svMakeProductGrid(const SvRequest& req, SvVolume& volume, char* reason);

#endif
