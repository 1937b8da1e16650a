#include "vil_product.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>
#include <vector>

#include "cappi_product.h"
#include "core_utilities.h"
#include "internal/cappi_real_layer.h"

namespace {

// Every layer holds a location table per reference bin and a value per cell; far more
// 1 km layers than any atmosphere has would only exhaust memory.
constexpr long long kMaxLayers = 1000;

// Liquid water of a 1 km layer of reflectivity factor Z (mm^6/m^3): 3.44e-6 Z^(4/7) g/m^3
// times 1000 m.
double layerWater(float fZe) {
    return std::pow(fZe, 0.5714285714285714) * 3.44e-6 * 1000;
}

// The cell's VIL from all layers at once: they share its geometry, its location index and,
// where they fall on the same sweep, its ray search.
float vilOfCell(const rdr_product::CappiRealVolume& volume,
                const std::vector<rdr_product::CappiRealLayer>& cappis,
                const rdr_product::GridCell& cell, int* rayCache, float* dbz, float* ze) {
    const int location = rdr_product::cappiLocationIndex(volume, cell);
    if (location < 0) {
        return rdr_product::kNoData;
    }
    const int layers = static_cast<int>(cappis.size());
    std::fill(rayCache, rayCache + volume.views.size(), -2);
    for (int k = 0; k < layers; ++k) {
        dbz[k] = rdr_product::cappiRealValue(volume, cappis[k], cell, location, rayCache);
        ze[k] = dbz[k] > 0.0f ? static_cast<float>(fnDbzToZeF(dbz[k])) : 0.0f;
    }
    double sum = 0;
    for (int k = 0; k < layers; ++k) {
        if (dbz[k] <= 0.0f) {
            continue;
        }
        // A layer's reflectivity is the mean of its bottom and top where both have echo.
        const bool topKnown = k + 1 < layers && dbz[k + 1] > 0.0f;
        const float z = topKnown ? (ze[k] + ze[k + 1]) * 0.5f : ze[k];
        sum += layerWater(z);
    }
    return sum > 0 ? static_cast<float>(sum) : rdr_product::kNoData;
}

}  // namespace

float* fnCreateVil(STD_RADAR* pStd, int iXdim, int iYdim, float fMaxRangeKm, float fGridKm,
                   int iTop_h_km, int iBottom_h_km, char* szFieldName, STD_AZIMUTH_TBL** ppTable) {
    static const char kFunction[] = "fnCreateVil";
    (void)fGridKm;  // the CAPPI layers size their cells from the range
    if (ppTable == nullptr || pStd == nullptr || szFieldName == nullptr) {
        return nullptr;
    }
    if (!fnStdRadarHasMoment(pStd, szFieldName)) {
        rdrError(kFunction, "no moment");
        return nullptr;
    }
    // Formed in 64 bits: bounds far apart must not overflow into a plausible count.
    const long long layerCount = static_cast<long long>(iTop_h_km) - iBottom_h_km;
    if (layerCount <= 0) {
        return nullptr;
    }
    if (layerCount > kMaxLayers) {
        rdrError(kFunction, "too many layers");
        return nullptr;
    }
    const int layers = static_cast<int>(layerCount);
    rdr_product::CappiRealVolume volume;
    if (!rdr_product::prepareCappiReal(kFunction, pStd, iXdim, iYdim, fMaxRangeKm, szFieldName,
                                       ppTable, &volume)) {
        return nullptr;
    }
    const size_t cells = static_cast<size_t>(iXdim) * static_cast<size_t>(iYdim);
    float* grid = static_cast<float*>(std::malloc(cells * sizeof(float)));
    std::vector<rdr_product::CappiRealLayer> cappis;
    std::vector<int> rayCache;
    std::vector<float> dbz;
    std::vector<float> ze;
    try {
        rayCache.resize(volume.views.size());
        dbz.resize(layers);
        ze.resize(layers);
        cappis.resize(layers);
        for (int k = 0; k < layers; ++k) {
            if (!rdr_product::buildCappiRealLayer(volume, static_cast<float>(iBottom_h_km + k),
                                                  &cappis[k])) {
                throw std::bad_alloc();
            }
        }
    } catch (const std::bad_alloc&) {
        grid = (std::free(grid), nullptr);
    }
    if (grid == nullptr) {
        rdrError(kFunction, "alloc fail");
        return nullptr;
    }

    // All layers of one cell at once: they share the cell's geometry, its location index and,
    // where they fall on the same sweep, its ray search.
    for (int row = 0; row < iYdim; ++row) {
        for (int col = 0; col < iXdim; ++col) {
            const rdr_product::GridCell cell = volume.geometry.cell(row, col);
            grid[cell.index] =
                vilOfCell(volume, cappis, cell, rayCache.data(), dbz.data(), ze.data());
        }
    }
    return grid;
}
