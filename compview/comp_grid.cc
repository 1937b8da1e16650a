#include "comp_grid.h"

#include <utility>

#include "composite_input.h"
#include "display_utilities.h"

namespace {

// The fnGetCompCj3Data flag of grids stored as hundredths.
constexpr int kCj3Hundredths = 2;

// Every grid starts at the composite's left-upper corner, 400 km west and 400 km north of
// the reference point (the image grids place them so): the 3 km grids have it 133 1/3 cells
// in, which rounds to cell 133 and to the row 133 below the top.
constexpr CvGridShape kComp240{960, 1200, 1210, 1.0f, 400, 800};
constexpr CvGridShape kComp480{526, 576, 576, 3.0f, 133, 576 - 133};
constexpr CvGridShape kKcj{751, 1101, 1101, 3.0f, 133, 1101 - 133};
constexpr CvGridShape kForecast{960, 1200, 1200, 1.0f, 400, 800};

}  // namespace

const CvGridShape& cvGridShape(CvKind kind) {
    switch (kind) {
        case CvKind::Comp240:
            return kComp240;
        case CvKind::Comp480:
            return kComp480;
        case CvKind::Kcj:
            return kKcj;
        case CvKind::Vsrf:
        case CvKind::Maple:
            break;
    }
    return kForecast;
}

CvGrid::CvGrid(CvGrid&& other) noexcept
    : rows_(std::exchange(other.rows_, nullptr)), row_count_(std::exchange(other.row_count_, 0)) {}

CvGrid& CvGrid::operator=(CvGrid&& other) noexcept {
    if (this != &other) {
        fnFreeMatrixFloat(rows_, row_count_);
        rows_ = std::exchange(other.rows_, nullptr);
        row_count_ = std::exchange(other.row_count_, 0);
    }
    return *this;
}

CvGrid::~CvGrid() {
    fnFreeMatrixFloat(rows_, row_count_);
}

CvGrid cvReadGrid(const CvRequest& req, const char* path, int lead_min) {
    const CvGridShape& s = cvGridShape(req.kind);
    float** rows = nullptr;
    switch (req.kind) {
        case CvKind::Comp240:
            rows = fnGetCompData(path, s.columns, s.read_rows);
            break;
        case CvKind::Comp480:
            rows = fnGetComp480Data(path, s.columns, s.read_rows, nullptr);
            break;
        case CvKind::Kcj:
            rows = fnGetCompCj3Data(path, s.columns, s.read_rows, kCj3Hundredths);
            break;
        case CvKind::Vsrf:
            rows = fnGetCompVsrfData(path, s.columns, s.read_rows, lead_min);
            break;
        case CvKind::Maple:
            rows = fnGetCompMapleData(path, s.columns, s.read_rows, lead_min);
            break;
    }
    return CvGrid(rows, s.read_rows);
}

void cvScaleHundredths(float** grid, int rows, int columns) {
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            float& v = grid[r][c];
            if (v != -9998.0f && v != -9999.0f) {
                v /= 100.0f;
            }
        }
    }
}
