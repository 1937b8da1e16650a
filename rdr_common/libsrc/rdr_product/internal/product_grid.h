// Shared working data of the gridded products: where each cell of a radar-centred grid
// lies relative to the radar, and a per-sweep view that answers "what does this sweep
// hold at this azimuth and range" the way a PPI cell does. Both are computed once per
// product call and reused for every sweep (and every CAPPI layer), so the per-cell work
// is a ray search and a bin lookup.
#ifndef RDR_PRODUCT_GRID_H
#define RDR_PRODUCT_GRID_H

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <vector>

#include "core_utilities.h"
#include "internal/ray_ring_walk.h"
#include "ray_lookup.h"
#include "standard_volume.h"

namespace rdr_product {

constexpr float kNoData = RDR_GRID_NO_DATA;

// One cell of a radar-centred grid with its offset from the radar.
struct GridCell {
    size_t index;    // row * dim + column
    bool visited;    // false for the row and column an odd-sized grid never visits
    float rootDist;  // sqrt(dx^2 + dy^2) in cells, single precision
    float azimuth;   // fnCalcAzimuthToXY of the offset; 0 beyond the geometry's range limit
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
        if (y >= half_ || x < -half_ || x >= half_) {
            return GridCell{static_cast<size_t>(iRow) * dim_ + iCol, false, -1.0f, 0.0f};
        }
        return offsetCell(y, x);
    }

    // Calls visit(cell) for every visited cell, in square tiles so that the rays and bins
    // one tile needs lie close together in memory; the order is otherwise unspecified.
    // When fScaleKm >= 0, tiles whose every cell lies farther than fLimitKm (distance times
    // fScaleKm) are left out.
    template <typename Visit>
    void forEachCellInTiles(float fScaleKm, float fLimitKm, Visit visit) const {
        constexpr int kTile = 32;
        const bool canSkipTiles = fScaleKm >= 0.0f;
        for (int y0 = -half_; y0 < half_; y0 += kTile) {
            const int y1 = std::min(y0 + kTile, half_);
            for (int x0 = -half_; x0 < half_; x0 += kTile) {
                const int x1 = std::min(x0 + kTile, half_);
                if (canSkipTiles) {
                    // Distance grows away from the radar: the tile's nearest cell bounds all.
                    const int ny = std::abs(std::clamp(0, y0, y1 - 1));
                    const int nx = std::abs(std::clamp(0, x0, x1 - 1));
                    if (quadRoot_[static_cast<size_t>(ny) * side_ + nx] * fScaleKm > fLimitKm) {
                        continue;
                    }
                }
                for (int y = y0; y < y1; ++y) {
                    for (int x = x0; x < x1; ++x) {
                        visit(offsetCell(y, x));
                    }
                }
            }
        }
    }

  private:
    friend bool buildCellGeometry(int iDim, float fScaleKm, float fLimitKm,
                                  CellGeometry* pGeometry);
    // The cell iYIdx rows south and iXIdx columns west of the radar (both in -half..half-1).
    GridCell offsetCell(int iYIdx, int iXIdx) const {
        const size_t k =
            static_cast<size_t>(iYIdx < 0 ? -iYIdx : iYIdx) * side_ + (iXIdx < 0 ? -iXIdx : iXIdx);
        const size_t row = static_cast<size_t>(iYIdx + half_);
        const size_t col = static_cast<size_t>((dim_ - 1) - (iXIdx + half_));
        return GridCell{row * dim_ + col, true, quadRoot_[k],
                        azimuthFromQuadrant(iYIdx, iXIdx, quadAngle_[k])};
    }
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
// Arc tangents are formed only for offsets whose distance times fScaleKm is not above
// fLimitKm: callers read no azimuth beyond the range they serve, and the corners of a grid
// around its range circle would otherwise cost a fifth of them.
bool buildCellGeometry(int iDim, float fScaleKm, float fLimitKm, CellGeometry* pGeometry);

// Start range (km) and bin spacing (m) that a moment's bins use on one ray: the field's own
// geometry when the reader set one, the ray's otherwise.
struct FieldRange {
    float startKm;        // start + metres / 1000, double quotient rounded to single
    float startKmSingle;  // the same sum formed in single precision
    int spacingM;
};
FieldRange fieldRange(const STD_RAY* pRay, int iFieldIdx);

// What a cell lookup needs of one ray, gathered once per sweep so that a cell reads one
// flat record and one bin instead of walking the ray's structures. rayBinValue gives
// fnGetBinValueToRay's answer from it bit for bit.
struct RayBins {
    float azimuth = 0.0f;      // as stored
    float walkAzimuth = 0.0f;  // as the ring walk takes it
    bool onRing = false;       // present with a finite azimuth: a member of the neighbour ring
    bool snapKdp = false;      // values go through the level snapping of fnGetBinValueToRay
    bool reciprocal = false;   // quotients by multiplication (see exactQuotient)
    int fieldIdx = -1;         // the moment's index on this ray, -1 when absent
    // Null unless the ray carries the moment with bins, a bin spacing and a scale factor:
    // the rays that can give a value.
    const short* data = nullptr;
    int maxBin = 0;
    float startM = 0.0f;  // first-bin range in km, single precision, times 1000
    float spacingM = 0.0f;
    float scale = 0.0f;
    double invSpacing = 0.0;
    double invScale = 0.0;
};

// One sweep as the products see it. A moment may sit at a different index on every ray,
// so the index is looked up once per ray here instead of once per sweep.
struct SweepView {
    STD_SWEEP* sweep = nullptr;
    STD_AZIMUTH_TBL* table = nullptr;
    float res = 0;           // hash resolution, 360 / ray count
    bool hasMoment = false;  // some ray carries the moment, with or without bins
    bool usable = false;     // a table and some ray that can give a value
    bool hasAngle = false;   // a non-null ray gives the sweep's fixed angle
    float fixedAngle = 0;    // fixed angle of the first non-null ray
    int firstRay = -1;       // first non-null ray
    float reachKm = 0;       // no ray gives a value beyond this range
    // Per ray, as the CAPPIs take them: -1 unless the ray carries the moment with bins at a
    // positive spacing.
    std::vector<int> fieldIdx;
    std::vector<RayBins> rays;  // per ray
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
void buildRayLut(SweepView* pView);

// fnSearchRayToAzim over the view's flat ray records.
inline int searchRay(const SweepView& view, float fAzim) {
    const int nRay = static_cast<int>(view.rays.size());
    if (view.table == nullptr || nRay <= 0) {
        return -1;
    }
    int h = fnGetRayHashIndex(view.res, fAzim) % nRay;
    if (h < 0) {
        h += nRay;  // an azimuth below 0 must not index before the table
    }
    int steps = 0;
    while (view.table[h].m_iCon == -1 && steps < nRay) {
        h = (h + 1) % nRay;
        ++steps;
    }
    if (steps >= nRay) {
        return -1;
    }
    const RayBins* rays = view.rays.data();
    return rdr_ring::closestRayOnRing(view.table, nRay, h, fAzim, [rays, nRay](int i, float* pAz) {
        if (i < 0 || i >= nRay || !rays[i].onRing) {
            return false;
        }
        *pAz = rays[i].walkAzimuth;
        return true;
    });
}

// fnSearchRayToAzim through the bucket table when there is one.
inline int findRay(const SweepView& view, float fAzim) {
    if (!view.rayLut.empty() && fAzim >= 0.0f && fAzim < 360.0f) {
        // Scaling by a power of two is exact, so the bucket is exactly the one holding fAzim.
        const int ray = view.rayLut[static_cast<int>(fAzim * kRayLutPerDegree)];
        if (ray != kRayLutMixed) {
            return ray;
        }
    }
    return searchRay(view, fAzim);
}

// Single-precision quotient x / d of a float x by an integer d (|d| <= kMaxExactDivisor),
// computed as a double product with 1/d and rounded once to float. It equals the float
// division bit for bit: x has 24 significant bits, so x / d is either a float or lies at
// least 2^-25 / |d| (relative) away from every rounding midpoint, well above the
// 2^-52 error of the double product; a division costs several times a multiplication.
constexpr int kMaxExactDivisor = 1 << 24;

inline float exactQuotient(float x, double invDivisor) {
    return static_cast<float>(static_cast<double>(x) * invDivisor);
}

// fnGetBinValueToRay on ray iRay of the view for its moment, bit for bit.
inline float rayBinValue(const SweepView& view, int iRay, float fRangeKm, int iNoDataValue) {
    const RayBins& ray = view.rays[iRay];
    if (ray.data == nullptr) {
        return RDR_BIN_NO_VALUE;
    }
    if (ray.snapKdp) {
        return fnGetBinValueToRay(view.sweep->m_ppRay[iRay], ray.fieldIdx, fRangeKm, iNoDataValue);
    }
    const float offsetM = fRangeKm * 1000.0f - ray.startM;
    const float binPos =
        ray.reciprocal ? exactQuotient(offsetM, ray.invSpacing) : offsetM / ray.spacingM;
    if (!(binPos > -1.0f) || !(binPos < static_cast<float>(ray.maxBin))) {
        return RDR_BIN_NO_VALUE;
    }
    const short stored = ray.data[static_cast<int>(binPos)];
    if (stored == STD_NO_VALUE_CODE || stored == iNoDataValue) {
        return RDR_BIN_NO_VALUE;
    }
    return ray.reciprocal ? exactQuotient(static_cast<float>(stored), ray.invScale)
                          : static_cast<float>(stored) / ray.scale;
}

// Builds the view of one sweep for one moment; pTable may be null (the sweep is then not
// usable). Throws std::bad_alloc.
SweepView buildSweepView(STD_SWEEP* pSweep, const char* szFieldName, STD_AZIMUTH_TBL* pTable);

// Builds the views of every sweep of a volume for one moment; ppTable may hold null
// entries (those sweeps are not usable).
std::vector<SweepView> buildSweepViews(STD_RADAR* pStd, const char* szFieldName,
                                       STD_AZIMUTH_TBL** ppTable);

// fnDiffDegree, inline: it runs once per cell and sweep.
inline float azimuthGap(float fAlpha, float fBeta) {
    float d = fAlpha - fBeta;
    if (std::fabs(d) < 1e-6f) {
        return 0.0f;
    }
    if (d > 180.0f) {
        d -= 360.0f;
    } else if (d < -180.0f) {
        d += 360.0f;
    }
    return std::fabs(d);
}

// The value a PPI of this sweep holds at a cell of the given azimuth and horizontal range,
// or kNoData: nearest ray within one degree, bin at the range taken as slant range.
inline float samplePpiCell(const SweepView& view, float fAzim, float fRangeKm, int iNoDataValue) {
    if (!view.usable || fRangeKm > view.reachKm) {
        return kNoData;
    }
    const int rayIdx = findRay(view, fAzim);
    if (rayIdx < 0) {
        return kNoData;
    }
    const RayBins& ray = view.rays[rayIdx];
    if (ray.data == nullptr || azimuthGap(fAzim, ray.azimuth) > 1.0f) {
        return kNoData;
    }
    const float value = rayBinValue(view, rayIdx, fRangeKm, iNoDataValue);
    return isBinNoValue(value) ? kNoData : value;
}

}  // namespace rdr_product

#endif
