// Working data of the real-method CAPPI, shared by the CAPPI grid and VIL: the volume-wide
// part (sweep views, reference-ray geometry, cell geometry) is built once, and each height
// adds a layer (location table and the sweep chosen for each of its entries).
#ifndef RDR_CAPPI_REAL_LAYER_H
#define RDR_CAPPI_REAL_LAYER_H

#include <vector>

#include "internal/product_grid.h"
#include "standard_volume.h"

namespace rdr_product {

// Where the beam meets the CAPPI height above one bin of the reference ray.
struct CappiLocation {
    float elevDeg;
    float slantKm;
};

struct CappiRealVolume {
    std::vector<SweepView> views;
    CellGeometry geometry;
    FieldRange reference{};  // range geometry of the moment on the reference ray
    int referenceBins = 0;
    float cellKm = 0;
    float maxRangeKm = 0;
    float beamWidthH = 0;
    float beamWidthV = 0;
    int noData = 0;
};

struct CappiRealLayer {
    std::vector<CappiLocation> locations;
    std::vector<int> sweepOfLocation;  // -1 when no sweep has an angle
};

// Prepares the volume-wide part; prints the failure (under szFunction) and returns false
// when the request cannot be served.
bool prepareCappiReal(const char* szFunction, STD_RADAR* pStd, int iXdim, int iYdim,
                      float fMaxRangeKm, const char* szFieldName, STD_AZIMUTH_TBL** ppTable,
                      CappiRealVolume* pVolume);

// Location table and sweep choice for one height above the radar; false when out of memory.
bool buildCappiRealLayer(const CappiRealVolume& volume, float fHeightKm, CappiRealLayer* pLayer);

// Index into the location tables for a cell, or -1 outside the range or the table. The
// index is the same for every layer, since it depends on range only.
int cappiLocationIndex(const CappiRealVolume& volume, const GridCell& cell);

// The CAPPI value of a cell whose location index is known; iRayCache (one entry per sweep,
// -2 = not searched yet; may be null) lets layers that use the same sweep share one ray
// search.
float cappiRealValue(const CappiRealVolume& volume, const CappiRealLayer& layer,
                     const GridCell& cell, int iLocation, int* iRayCache);

}  // namespace rdr_product

#endif
