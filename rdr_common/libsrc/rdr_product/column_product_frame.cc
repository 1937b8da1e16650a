#include "internal/column_product_frame.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "core_utilities.h"

namespace rdr_product {

namespace {

constexpr double kEarthRadiusKm = 8494.67836;  // 4/3 of 6371.00877 km
constexpr double kEarthRadiusSqKm = 72159560.43985228;

}  // namespace

float echoTopHeightKm(int iDim, int iRow, int iCol, float fGridKm, float fAngleDeg,
                      int iAnteHeightM) {
    // The centre used here is ((dim-1)/2, (dim-1)/2), one row north of the PPI's radar row
    // for an even size; products stored so far were made with it.
    const int c = (iDim - 1) / 2;
    const float dy = static_cast<float>(c - iRow) * fGridKm;
    const float dx = static_cast<float>(c - iCol) * fGridKm;
    const float d =
        static_cast<float>(std::sqrt(static_cast<double>(dy) * dy + static_cast<double>(dx) * dx));
    const double theta = fAngleDeg * RDR_DEG_TO_RAD;
    const double r = d / std::cos(theta);
    const float antenna = static_cast<float>(iAnteHeightM / 1000.0);
    return static_cast<float>(
        std::sqrt(r * r + kEarthRadiusSqKm + 2 * r * kEarthRadiusKm * std::sin(theta)) -
        kEarthRadiusKm + antenna);
}

float* runColumnProduct(const ColumnRequest& request) {
    const bool withQi = request.output == CellOutput::kQualityIndex;
    if (request.pStd == nullptr || request.szFieldName == nullptr || request.ppTable == nullptr ||
        request.rule == nullptr) {
        return nullptr;
    }
    if (withQi && (request.pQiStd == nullptr || request.ppQiTable == nullptr ||
                   request.pQiStd->m_iMaxSweep != request.pStd->m_iMaxSweep)) {
        return nullptr;
    }
    // The PPIs the products are made of are square; any other request could only give an
    // empty grid.
    if (request.iXdim != request.iYdim || request.iXdim <= 0) {
        rdrError(request.function, "Invalid arg");
        return nullptr;
    }
    if (!fnStdRadarHasMoment(request.pStd, request.szFieldName)) {
        rdrError(request.function, "no moment");
        return nullptr;
    }

    const int dim = request.iXdim;
    const size_t cells = static_cast<size_t>(dim) * static_cast<size_t>(dim);
    float* grid = static_cast<float*>(std::malloc(cells * sizeof(float)));
    CellGeometry geometry;
    ColumnSampler sampler;
    try {
        if (grid == nullptr) {
            throw std::bad_alloc();
        }
        sampler.views_ = buildSweepViews(request.pStd, request.szFieldName, request.ppTable);
        if (withQi) {
            sampler.qiViews_ = buildSweepViews(request.pQiStd, "QI", request.ppQiTable);
            // A QI volume without a sweep array gives no views at all: its sweeps are
            // simply unusable.
            sampler.qiViews_.resize(sampler.views_.size());
        }
        // Azimuths are read only within the range limit and some sweep's reach.
        float reachKm = 0.0f;
        for (const std::vector<SweepView>* views : {&sampler.views_, &sampler.qiViews_}) {
            for (const SweepView& view : *views) {
                reachKm = std::max(reachKm, view.reachKm);
            }
        }
        if (!buildCellGeometry(dim, request.fGridKm, std::min(request.fMaxRangeKm, reachKm),
                               &geometry)) {
            throw std::bad_alloc();
        }
        if (cells >= kRayLutMinCells) {
            buildRayLuts(&sampler.views_);
            buildRayLuts(&sampler.qiViews_);
        }
    } catch (const std::bad_alloc&) {
        std::free(grid);
        rdrError(request.function, "alloc fail");
        return nullptr;
    }
    for (size_t cell = 0; cell < cells; ++cell) {
        grid[cell] = kNoData;
    }
    sampler.gridKm_ = request.fGridKm;
    sampler.maxRangeKm_ = request.fMaxRangeKm;
    sampler.noData_ = request.pStd->m_hdr.m_iNoDataValue;
    sampler.qiNoData_ = withQi ? request.pQiStd->m_hdr.m_iNoDataValue : 0;
    sampler.usable_.resize(sampler.views_.size());
    for (size_t s = 0; s < sampler.views_.size(); ++s) {
        sampler.usable_[s] = sampler.views_[s].usable && (!withQi || sampler.qiViews_[s].usable);
    }

    const int anteHeight = request.pStd->m_hdr.m_iAnteHeight;
    for (int row = 0; row < dim; ++row) {
        for (int col = 0; col < dim; ++col) {
            const GridCell cell = geometry.cell(row, col);
            const SweepPick pick = request.rule(sampler, cell, request.fThreshold);
            if (pick.sweep < 0) {
                continue;
            }
            switch (request.output) {
                case CellOutput::kValue:
                    grid[cell.index] = pick.value;
                    break;
                case CellOutput::kQualityIndex:
                    grid[cell.index] = sampler.qualityIndex(pick.sweep, cell);
                    break;
                case CellOutput::kEchoTopHeight: {
                    const float h =
                        echoTopHeightKm(dim, row, col, request.fGridKm,
                                        sampler.views_[pick.sweep].fixedAngle, anteHeight);
                    if (h > 0.0f) {
                        grid[cell.index] = h;
                    }
                    break;
                }
            }
        }
    }
    return grid;
}

}  // namespace rdr_product
