#include "internal/composite_storm_cells.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace comp_storm {

namespace {

// Disjoint sets over provisional labels, joined by the smaller root so that a cell's label
// is the smallest provisional label it holds.
class DisjointSets {
  public:
    std::int32_t add() {
        parent_.push_back(static_cast<std::int32_t>(parent_.size()));
        return parent_.back();
    }
    std::int32_t find(std::int32_t x) {
        while (parent_[static_cast<std::size_t>(x)] != x) {
            auto& p = parent_[static_cast<std::size_t>(x)];
            p = parent_[static_cast<std::size_t>(p)];  // path halving
            x = p;
        }
        return x;
    }
    void join(std::int32_t a, std::int32_t b) {
        a = find(a);
        b = find(b);
        if (a != b) {
            parent_[static_cast<std::size_t>(std::max(a, b))] = std::min(a, b);
        }
    }
    std::size_t size() const { return parent_.size(); }

  private:
    std::vector<std::int32_t> parent_;
};

}  // namespace

float stormThreshold(const char* szUnit) {
    const bool reflectivity =
        szUnit != nullptr && (std::strcmp(szUnit, "CZ") == 0 || std::strcmp(szUnit, "DZ") == 0);
    return reflectivity ? 40.0f : 15.0f;
}

std::vector<std::int32_t> labelStormCells(float** pImgData, int nImgXdim, int nImgYdim,
                                          float fThreshold) {
    if (pImgData == nullptr || nImgXdim <= 0 || nImgYdim <= 0) {
        return {};
    }
    const auto nx = static_cast<std::size_t>(nImgXdim);
    std::vector<std::int32_t> labels(nx * static_cast<std::size_t>(nImgYdim), -1);
    DisjointSets sets;
    // First pass: a strong pixel joins the cells of its left and upper neighbours (row 0 has
    // no row before it).
    for (int i = 0; i < nImgYdim; ++i) {
        const float* row = pImgData[i];
        std::int32_t* lab = &labels[static_cast<std::size_t>(i) * nx];
        const std::int32_t* above = i > 0 ? lab - nx : nullptr;
        for (int j = 0; j < nImgXdim; ++j) {
            if (!(row[j] >= fThreshold)) {
                continue;
            }
            const std::int32_t left = j > 0 ? lab[j - 1] : -1;
            const std::int32_t up = above != nullptr ? above[j] : -1;
            if (left < 0 && up < 0) {
                lab[j] = sets.add();
            } else if (left < 0 || up < 0) {
                lab[j] = std::max(left, up);
            } else {
                lab[j] = left;
                sets.join(left, up);
            }
        }
    }
    // Second pass: final labels numbered by first appearance.
    std::vector<std::int32_t> finalLabel(sets.size(), -1);
    std::int32_t next = 0;
    for (auto& l : labels) {
        if (l < 0) {
            continue;
        }
        auto& f = finalLabel[static_cast<std::size_t>(sets.find(l))];
        if (f < 0) {
            f = next++;
        }
        l = f;
    }
    return labels;
}

std::vector<bool> keptStormCells(const std::vector<std::int32_t>& labels, int nImgXdim,
                                 int nImgYdim) {
    struct Box {
        int minCol, maxCol, minRow, maxRow;
    };
    std::vector<Box> boxes;
    for (int i = 0; i < nImgYdim; ++i) {
        for (int j = 0; j < nImgXdim; ++j) {
            const std::int32_t l =
                labels[static_cast<std::size_t>(i) * static_cast<std::size_t>(nImgXdim) +
                       static_cast<std::size_t>(j)];
            if (l < 0) {
                continue;
            }
            if (static_cast<std::size_t>(l) >= boxes.size()) {
                boxes.resize(static_cast<std::size_t>(l) + 1, Box{j, j, i, i});
            }
            Box& b = boxes[static_cast<std::size_t>(l)];
            b.minCol = std::min(b.minCol, j);
            b.maxCol = std::max(b.maxCol, j);
            b.minRow = std::min(b.minRow, i);
            b.maxRow = std::max(b.maxRow, i);
        }
    }
    constexpr double kKmPerPixel = 2.0;
    constexpr double kMinKm = 10.0;
    std::vector<bool> kept(boxes.size());
    for (std::size_t k = 0; k < boxes.size(); ++k) {
        const double a = kKmPerPixel * (boxes[k].maxCol - boxes[k].minCol);
        const double b = kKmPerPixel * (boxes[k].maxRow - boxes[k].minRow);
        kept[k] = !(a < kMinKm && b < kMinKm && std::sqrt(a * a + b * b) < kMinKm);
    }
    return kept;
}

}  // namespace comp_storm
