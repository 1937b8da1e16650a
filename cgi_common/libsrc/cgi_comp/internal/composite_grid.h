// Value codes and owned row-pointer matrices shared by the composite modules.
#ifndef CGI_COMP_INTERNAL_COMPOSITE_GRID_H
#define CGI_COMP_INTERNAL_COMPOSITE_GRID_H

#include <algorithm>
#include <memory>

#include "display_utilities.h"

namespace comp_grid {

constexpr float kOutside = -9998.0f;  // outside the composite, or no data
constexpr float kMissing = -9999.0f;  // missing value

struct MatrixRelease {
    void operator()(float** m) const { fnFreeMatrixFloat(m, 0); }
};
using MatrixPtr = std::unique_ptr<float*, MatrixRelease>;

// A matrix of nRows x nCols filled with value; null for a size that is not positive or when
// memory runs out.
inline MatrixPtr makeFilled(int nRows, int nCols, float value) {
    if (nRows <= 0 || nCols <= 0) {
        return nullptr;
    }
    MatrixPtr m(fnGetMatrixFloat(nRows, nCols));
    if (m) {
        for (int r = 0; r < nRows; ++r) {
            std::fill_n(m.get()[r], nCols, value);
        }
    }
    return m;
}

}  // namespace comp_grid

#endif
