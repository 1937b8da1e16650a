// Test fixtures: image grids (float rows behind a row-pointer array, as the drawing
// functions take them) with storm cells placed in them, and random storm fields.
#ifndef CGI_COMP_TESTING_COMPOSITE_STORM_FIXTURE_H
#define CGI_COMP_TESTING_COMPOSITE_STORM_FIXTURE_H

#include <cstdint>
#include <functional>
#include <random>
#include <vector>

namespace comp_test {

class ImageGrid {
  public:
    ImageGrid(int rows, int cols, float fill)
        : rows_(rows), cols_(cols), cells_(static_cast<size_t>(rows) * cols, fill) {
        for (int r = 0; r < rows; ++r) {
            ptrs_.push_back(&cells_[static_cast<size_t>(r) * cols]);
        }
    }
    ImageGrid(int rows, int cols, const std::function<float(int, int)>& value)
        : ImageGrid(rows, cols, 0.0f) {
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < cols; ++c) {
                at(r, c) = value(r, c);
            }
        }
    }
    ImageGrid(const ImageGrid& other) : ImageGrid(other.rows_, other.cols_, 0.0f) {
        cells_ = other.cells_;
    }
    ImageGrid& operator=(const ImageGrid&) = delete;

    int rows() const { return rows_; }
    int cols() const { return cols_; }
    float** data() { return ptrs_.data(); }
    float& at(int r, int c) { return cells_[static_cast<size_t>(r) * cols_ + c]; }
    float at(int r, int c) const { return cells_[static_cast<size_t>(r) * cols_ + c]; }

    // A storm cell: a block of h x w pixels of value v with its left-upper pixel at (r0, c0).
    ImageGrid& block(int r0, int c0, int h, int w, float v) {
        for (int r = r0; r < r0 + h; ++r) {
            for (int c = c0; c < c0 + w; ++c) {
                at(r, c) = v;
            }
        }
        return *this;
    }

  private:
    int rows_;
    int cols_;
    std::vector<float> cells_;
    std::vector<float*> ptrs_;
};

// A random field: each pixel independently strong (value strong) with probability p, else
// one of weak echo, -9999 or -9998.
inline ImageGrid randomStorms(uint32_t seed, int rows, int cols, double p, float strong,
                              float weak) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    return ImageGrid(rows, cols, [&](int, int) {
        const double x = u(gen);
        if (x < p) {
            return strong;
        }
        const double rest = (x - p) / (1.0 - p);
        return rest < 0.5 ? weak : rest < 0.75 ? -9999.0f : -9998.0f;
    });
}

}  // namespace comp_test

#endif
