// Shared working data of the gridded products: where each cell of a radar-centred grid
// lies relative to the radar, and a per-sweep view that answers "what does this sweep
// hold at this azimuth and range" the way a PPI cell does. Both are computed once per
// product call and reused for every sweep (and every CAPPI layer), so the per-cell work
// is a ray search and a bin lookup.
#ifndef RDR_PRODUCT_GRID_H
#define RDR_PRODUCT_GRID_H

#include <cstddef>
#include <vector>

#include "ray_lookup.h"
#include "standard_volume.h"

namespace rdr_product {

constexpr float kNoData = RDR_GRID_NO_DATA;

// One cell of a radar-centred grid with its offset from the radar.
struct GridCell {
    size_t index;    // row * dim + column
    bool visited;    // false for the row and column an odd-sized grid never visits
    float rootDist;  // sqrt(dx^2 + dy^2) in cells, single precision
    float azimuth;   // fnCalcAzimuthToXY of the offset
};

// Cells of a square iDim x iDim grid laid out as the PPI lays it out: the radar at row
// iDim/2 and column (iDim-1) - iDim/2, offsets counted south (rows) and west (columns).
// For an odd size the last row and the first column are never visited. Distances and arc
// tangents are kept for one quadrant of offsets only; the other three follow by symmetry.
class CellGeometry {
  public:
    int dim() const { return dim_; }
    GridCell cell(int iRow, int iCol) const {
        const int y = iRow - half_;
        const int x = (dim_ - 1) - iCol - half_;
        GridCell c{static_cast<size_t>(iRow) * dim_ + iCol, false, -1.0f, 0.0f};
        if (y >= half_ || x < -half_ || x >= half_) {
            return c;
        }
        const size_t k = static_cast<size_t>(y < 0 ? -y : y) * side_ + (x < 0 ? -x : x);
        c.visited = true;
        c.rootDist = quadRoot_[k];
        c.azimuth = azimuthFromQuadrant(y, x, quadAngle_[k]);
        return c;
    }

  private:
    friend bool buildCellGeometry(int iDim, CellGeometry* pGeometry);
    static float azimuthFromQuadrant(int iYIdx, int iXIdx, float fQuadrantAngle) {
        float a = 0.0f;
        if (iXIdx == 0) {
            a = iYIdx < 0 ? -90.0f : 90.0f;
        } else {
            a = ((iYIdx < 0) != (iXIdx < 0)) ? -fQuadrantAngle : fQuadrantAngle;
            if (iXIdx < 0) {
                a = iYIdx < 0 ? a - 180.0f : a + 180.0f;
            }
        }
        float az = -a - 90.0f;
        if (az < 0.0f) {
            az += 360.0f;
        }
        return az;
    }
    int dim_ = 0;
    int half_ = 0;
    int side_ = 0;
    std::vector<float> quadRoot_;   // sqrt(x^2 + y^2) for 0 <= x, y <= half
    std::vector<float> quadAngle_;  // atan(y / x) in degrees (pi = 3.14159), 90 for x = 0
};

// Fills the geometry of a square grid; false when the size is not positive or memory fails.
bool buildCellGeometry(int iDim, CellGeometry* pGeometry);

// Start range (km) and bin spacing (m) that a moment's bins use on one ray: the field's own
// geometry when the reader set one, the ray's otherwise.
struct FieldRange {
    float startKm;        // start + metres / 1000, double quotient rounded to single
    float startKmSingle;  // the same sum formed in single precision
    int spacingM;
};
FieldRange fieldRange(const STD_RAY* pRay, int iFieldIdx);

// One sweep as the products see it. A moment may sit at a different index on every ray,
// so the index is looked up once per ray here instead of once per sweep.
struct SweepView {
    STD_SWEEP* sweep = nullptr;
    STD_AZIMUTH_TBL* table = nullptr;
    float res = 0;              // hash resolution, 360 / ray count
    bool usable = false;        // rays, a table and the moment on at least one ray
    bool hasAngle = false;      // a non-null ray gives the sweep's fixed angle
    float fixedAngle = 0;       // fixed angle of the first non-null ray
    int firstRay = -1;          // first non-null ray
    float reachKm = 0;          // no ray holds the moment beyond this range
    std::vector<int> fieldIdx;  // per ray; -1 when the ray lacks the moment
    // Ray of each 1/kRayLutPerDegree-degree azimuth bucket where the whole bucket has one
    // answer (kRayLutMixed otherwise); empty when not built.
    std::vector<int> rayLut;
};

constexpr int kRayLutPerDegree = 16;
// Grids from this many cells on search through the bucket tables.
constexpr size_t kRayLutMinCells = 40000;
constexpr int kRayLutMixed = -2;

// Builds the azimuth-bucket table of every usable sweep whose rays have distinct azimuths in
// [0, 360). The search answer is a step function of the azimuth (nearest of the two rays
// enclosing it on the azimuth-sorted ring), so a bucket whose first and last azimuth give
// the same ray gives it for every azimuth in between. Worth it for large grids only: it
// costs two searches per bucket.
void buildRayLuts(std::vector<SweepView>* pViews);

// fnSearchRayToAzim through the bucket table when there is one.
inline int findRay(const SweepView& view, float fAzim) {
    if (!view.rayLut.empty() && fAzim >= 0.0f && fAzim < 360.0f) {
        // Scaling by a power of two is exact, so the bucket is exactly the one holding fAzim.
        const int ray = view.rayLut[static_cast<int>(fAzim * kRayLutPerDegree)];
        if (ray != kRayLutMixed) {
            return ray;
        }
    }
    return fnSearchRayToAzim(view.sweep, view.res, fAzim, view.table);
}

// Builds the views of every sweep of a volume for one moment; ppTable may hold null
// entries (those sweeps are not usable).
std::vector<SweepView> buildSweepViews(STD_RADAR* pStd, const char* szFieldName,
                                       STD_AZIMUTH_TBL** ppTable);

// The value a PPI of this sweep holds at a cell of the given azimuth and horizontal range,
// or kNoData: nearest ray within one degree, bin at the range taken as slant range.
float samplePpiCell(const SweepView& view, float fAzim, float fRangeKm, int iNoDataValue);

}  // namespace rdr_product

#endif
