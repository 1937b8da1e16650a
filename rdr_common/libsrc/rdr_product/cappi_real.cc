// Real-method CAPPI: nearest sweep, nearest ray, nearest bin.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>

#include "cappi_product.h"
#include "core_utilities.h"
#include "internal/cappi_real_layer.h"
#include "ray_lookup.h"

namespace rdr_product {

namespace {

constexpr double kEarthRadiusKm = 8494.67836;  // 4/3 of 6371.00877 km
constexpr double kEarthRadiusSqKm = 72159560.43985228;
constexpr double kEarthDiameterKm = 16989.35672;
// Volumes that do not state a beam width (0 in the header) are treated as 1-degree beams;
// a zero width would reject every ray and leave the CAPPI empty.
constexpr float kDefaultBeamWidthDeg = 1.0f;

// The first non-null ray carrying the moment, in sweep and ray order.
const STD_RAY* findReferenceRay(const std::vector<SweepView>& views, int* pFieldIdx) {
    for (const SweepView& view : views) {
        for (size_t r = 0; r < view.fieldIdx.size(); ++r) {
            if (view.fieldIdx[r] >= 0) {
                *pFieldIdx = view.fieldIdx[r];
                return view.sweep->m_ppRay[r];
            }
        }
    }
    return nullptr;
}

}  // namespace

bool prepareCappiReal(const char* szFunction, STD_RADAR* pStd, int iXdim, int iYdim,
                      float fMaxRangeKm, const char* szFieldName, STD_AZIMUTH_TBL** ppTable,
                      CappiRealVolume* pVolume) {
    // A non-square grid would need a row stride the cell layout does not have.
    if (pStd == nullptr || ppTable == nullptr || szFieldName == nullptr || iXdim != iYdim ||
        iXdim <= 0) {
        rdrError(szFunction, "Invalid arg");
        return false;
    }
    try {
        pVolume->views = buildSweepViews(pStd, szFieldName, ppTable);
        int fieldIdx = -1;
        const STD_RAY* reference = findReferenceRay(pVolume->views, &fieldIdx);
        if (reference == nullptr) {
            rdrError(szFunction, "no moment");
            return false;
        }
        pVolume->reference = fieldRange(reference, fieldIdx);
        pVolume->referenceBins = std::max(reference->m_ppField[fieldIdx]->m_iMaxBin, 0);
        pVolume->cellKm = static_cast<float>(fMaxRangeKm / (0.5 * std::min(iXdim, iYdim)));
        if (!buildCellGeometry(iXdim, pVolume->cellKm, fMaxRangeKm, &pVolume->geometry)) {
            throw std::bad_alloc();
        }
        if (static_cast<size_t>(iXdim) * static_cast<size_t>(iYdim) >= kRayLutMinCells) {
            buildRayLuts(&pVolume->views);
        }
    } catch (const std::bad_alloc&) {
        rdrError(szFunction, "calloc fail");
        return false;
    }
    pVolume->maxRangeKm = fMaxRangeKm;
    const STD_GLOBAL_HDR& hdr = pStd->m_hdr;
    pVolume->beamWidthH = hdr.m_fBeamWidthH > 0.0f ? hdr.m_fBeamWidthH : kDefaultBeamWidthDeg;
    pVolume->beamWidthV = hdr.m_fBeamWidthV > 0.0f ? hdr.m_fBeamWidthV : kDefaultBeamWidthDeg;
    pVolume->noData = hdr.m_iNoDataValue;
    return true;
}

bool buildCappiRealLayer(const CappiRealVolume& volume, float fHeightKm, CappiRealLayer* pLayer) {
    const int bins = volume.referenceBins;
    try {
        pLayer->locations.resize(bins);
        pLayer->sweepOfLocation.resize(bins);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const float gateKm = volume.reference.spacingM / 1000.0f;
    const float startKm = volume.reference.startKm;
    const float heightFromCentre = static_cast<float>(fHeightKm + kEarthRadiusKm);
    const double h = heightFromCentre;
    for (int i = 0; i < bins; ++i) {
        const float groundKm = static_cast<float>(i) * gateKm + startKm;
        CappiLocation& location = pLayer->locations[i];
        if (std::fabs(groundKm) < 1e-6f) {
            location = {0.0f, 0.0f};
        } else {
            const double slantSq = kEarthRadiusSqKm + h * h -
                                   kEarthDiameterKm * h * std::cos(groundKm / kEarthRadiusKm);
            const double slant = std::sqrt(slantSq);
            const double elev =
                std::acos((kEarthRadiusSqKm + slant * slant - h * h) / (kEarthDiameterKm * slant)) *
                    RDR_RAD_TO_DEG -
                90;
            location = {static_cast<float>(elev), static_cast<float>(slant)};
        }
        // On equal differences the higher sweep index wins.
        float best = 91.0f;
        int choice = -1;
        for (size_t s = 0; s < volume.views.size(); ++s) {
            if (!volume.views[s].hasAngle) {
                continue;
            }
            const float diff = fnDiffDegree(volume.views[s].fixedAngle, location.elevDeg);
            if (diff <= best) {
                best = diff;
                choice = static_cast<int>(s);
            }
        }
        pLayer->sweepOfLocation[i] = choice;
    }
    return true;
}

int cappiLocationIndex(const CappiRealVolume& volume, const GridCell& cell) {
    if (!cell.visited) {
        return -1;
    }
    const float rangeKm = cell.rootDist * volume.cellKm;
    if (rangeKm > volume.maxRangeKm || volume.reference.spacingM <= 0) {
        return -1;
    }
    const float binPos =
        (rangeKm - volume.reference.startKmSingle) * 1000 / volume.reference.spacingM;
    if (!(binPos > -1.0f) || binPos >= static_cast<float>(volume.referenceBins)) {
        return -1;
    }
    return static_cast<int>(binPos);
}

float cappiRealValue(const CappiRealVolume& volume, const CappiRealLayer& layer,
                     const GridCell& cell, int iLocation, int* iRayCache) {
    const int sweepIdx = layer.sweepOfLocation[iLocation];
    if (sweepIdx < 0) {
        return kNoData;
    }
    const SweepView& view = volume.views[sweepIdx];
    const CappiLocation& location = layer.locations[iLocation];
    if (!view.usable || location.slantKm > view.reachKm) {
        return kNoData;
    }
    const float azim = cell.azimuth;
    int rayIdx = iRayCache != nullptr ? iRayCache[sweepIdx] : -2;
    if (rayIdx == -2) {
        rayIdx = findRay(view, azim);
        if (iRayCache != nullptr) {
            iRayCache[sweepIdx] = rayIdx;
        }
    }
    if (rayIdx < 0 || view.fieldIdx[rayIdx] < 0) {
        return kNoData;
    }
    const STD_RAY* ray = view.sweep->m_ppRay[rayIdx];
    if (fnDiffDegree(location.elevDeg, ray->m_hdr.m_fFixedAngle) > 0.5f * volume.beamWidthV ||
        fnDiffDegree(azim, view.rays[rayIdx].azimuth) > volume.beamWidthH) {
        return kNoData;
    }
    const float value = rayBinValue(view, rayIdx, location.slantKm, volume.noData);
    return isBinNoValue(value) ? kNoData : value;
}

}  // namespace rdr_product

using rdr_product::CappiRealLayer;
using rdr_product::CappiRealVolume;

float* fnCreateCappiReal(STD_RADAR* pStd, float fCappiHeightKm, int iXdim, int iYdim,
                         float fMaxRangeKm, float /*fGridKm: the cell size follows the range*/,
                         char* szFieldName, STD_AZIMUTH_TBL** ppTable) {
    static const char kFunction[] = "fnCreateCappiReal";
    CappiRealVolume volume;
    if (!rdr_product::prepareCappiReal(kFunction, pStd, iXdim, iYdim, fMaxRangeKm, szFieldName,
                                       ppTable, &volume)) {
        return nullptr;
    }
    const size_t cells = static_cast<size_t>(iXdim) * static_cast<size_t>(iYdim);
    float* grid = static_cast<float*>(std::malloc(cells * sizeof(float)));
    if (grid == nullptr) {
        rdrError(kFunction, "calloc fail");
        return nullptr;
    }
    CappiRealLayer layer;
    if (!rdr_product::buildCappiRealLayer(volume, fCappiHeightKm, &layer)) {
        std::free(grid);
        rdrError(kFunction, "fnMakeCappiLoc fail");
        return nullptr;
    }
    for (int row = 0; row < iYdim; ++row) {
        for (int col = 0; col < iXdim; ++col) {
            const rdr_product::GridCell cell = volume.geometry.cell(row, col);
            grid[cell.index] = rdr_product::kNoData;
            const int location = rdr_product::cappiLocationIndex(volume, cell);
            if (location < 0) {
                continue;
            }
            grid[cell.index] = rdr_product::cappiRealValue(volume, layer, cell, location, nullptr);
        }
    }
    return grid;
}
