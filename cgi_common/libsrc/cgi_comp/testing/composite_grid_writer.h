// Test fixtures: composite grid files of the four packed kinds, in the layout the radar
// core's grid export writes them, from closed-form functions of row and column.
//
// Every kind is a header-less gzip stream of rows from the southern edge to the northern
// one, each row from west to east. Functions here take the grid row as the image sees it
// (row 0 north) and write row nRows - 1 first.
// - 240: 1200 x 960 signed bytes (-128 outside, -127 missing).
// - 480: 576 x 526 float32 in host order, then 576 x 526 in-bound bytes.
// - KCJ: 1101 x 751 big-endian int16 of value x 100 (-32768 outside, -32767 missing).
// - 3-D: 1200 x 960 signed bytes per level, then one grid of in-bound bytes.
#ifndef CGI_COMP_TESTING_COMPOSITE_GRID_WRITER_H
#define CGI_COMP_TESTING_COMPOSITE_GRID_WRITER_H

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "testing/composite_forecast_writer.h"

namespace comp_test {

struct GridShape {
    int rows;
    int cols;
};
constexpr GridShape kShape240{1200, 960};
constexpr GridShape kShape480{576, 526};
constexpr GridShape kShapeKcj{1101, 751};
constexpr GridShape kShape3d{1200, 960};

// cell(row, column) -> the stored value of one cell, row 0 north.
template <class T>
using CellOf = std::function<T(int, int)>;

// One grid of T cells, southern row first. Big-endian when bigEndian, else host order.
template <class T>
void appendGrid(std::vector<unsigned char>& bytes, GridShape s, const CellOf<T>& cell,
                bool bigEndian = false) {
    bytes.reserve(bytes.size() + sizeof(T) * static_cast<size_t>(s.rows) * s.cols);
    for (int r = s.rows - 1; r >= 0; --r) {
        for (int c = 0; c < s.cols; ++c) {
            const T v = cell(r, c);
            unsigned char b[sizeof(T)];
            std::memcpy(b, &v, sizeof(T));
            if (bigEndian) {
                for (size_t k = sizeof(T); k-- > 0;) {
                    bytes.push_back(b[k]);
                }
            } else {
                bytes.insert(bytes.end(), b, b + sizeof(T));
            }
        }
    }
}

// Drops nBytes at the end (a file cut short).
inline std::vector<unsigned char> truncated(std::vector<unsigned char> bytes, size_t nBytes) {
    bytes.resize(bytes.size() > nBytes ? bytes.size() - nBytes : 0);
    return bytes;
}

inline std::vector<unsigned char> byteGridBytes(GridShape s, const CellOf<int8_t>& cell) {
    std::vector<unsigned char> bytes;
    appendGrid<int8_t>(bytes, s, cell);
    return bytes;
}

inline std::vector<unsigned char> floatGridBytes(GridShape s, const CellOf<float>& value,
                                                 const CellOf<uint8_t>& inBound) {
    std::vector<unsigned char> bytes;
    appendGrid<float>(bytes, s, value);
    appendGrid<uint8_t>(bytes, s, inBound);
    return bytes;
}

inline std::vector<unsigned char> int16GridBytes(GridShape s, const CellOf<int16_t>& cell) {
    std::vector<unsigned char> bytes;
    appendGrid<int16_t>(bytes, s, cell, true);
    return bytes;
}

// level(k) gives the cells of level k.
inline std::vector<unsigned char> grid3dBytes(GridShape s, int nLevels,
                                              const std::function<CellOf<int8_t>(int)>& level,
                                              const CellOf<uint8_t>& inBound) {
    std::vector<unsigned char> bytes;
    for (int k = 0; k < nLevels; ++k) {
        appendGrid<int8_t>(bytes, s, level(k));
    }
    appendGrid<uint8_t>(bytes, s, inBound);
    return bytes;
}

inline bool writeGridFile(const std::string& path, const std::vector<unsigned char>& bytes,
                          bool bGzip = true) {
    return writeForecastBytes(path, bytes, bGzip);
}

}  // namespace comp_test

#endif
