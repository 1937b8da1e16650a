// Storm cells of an image grid: connected areas of strong echo (pixels joined through their
// left, right, upper and lower neighbours) that are large enough to show.
#ifndef CGI_COMP_INTERNAL_COMPOSITE_STORM_CELLS_H
#define CGI_COMP_INTERNAL_COMPOSITE_STORM_CELLS_H

#include <cstdint>
#include <vector>

namespace comp_storm {

// Strong-echo threshold of a unit: 40 dBZ for reflectivity ("CZ", "DZ"), 15 otherwise.
float stormThreshold(const char* szUnit);

// One label per pixel, row-major: the cell (0, 1, 2, ... in the order their first pixel
// appears) of a pixel whose value is at least fThreshold, -1 for the others.
std::vector<std::int32_t> labelStormCells(float** pImgData, int nImgXdim, int nImgYdim,
                                          float fThreshold);

// Size rule at 2 km per pixel: a cell is kept unless its bounding box is under 10 km wide,
// under 10 km high and under 10 km across its diagonal. One flag per label.
std::vector<bool> keptStormCells(const std::vector<std::int32_t>& labels, int nImgXdim,
                                 int nImgYdim);

}  // namespace comp_storm

#endif
