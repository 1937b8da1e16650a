#include "composite_input.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "internal/composite_grid.h"
#include "test_support.h"
#include "testing/composite_forecast_writer.h"
#include "testing/composite_grid_writer.h"

namespace {

using comp_grid::MatrixPtr;
using comp_test::GridShape;

constexpr float kOutside = -9998.0f;
constexpr float kMissing = -9999.0f;

// Closed forms of the fixtures, row 0 north. Codes sit on sparse diagonals.
int8_t byteCell(int r, int c) {
    if ((r + c) % 37 == 0) {
        return -128;
    }
    if ((3 * r + c) % 41 == 0) {
        return -127;
    }
    return static_cast<int8_t>((7 * r + 3 * c) % 200 - 100);
}

float byteExpected(int r, int c) {
    const int8_t v = byteCell(r, c);
    return v == -128 ? kOutside : v == -127 ? kMissing : static_cast<float>(v);
}

int16_t shortCell(int r, int c) {
    if ((r + 2 * c) % 53 == 0) {
        return -32768;
    }
    if ((r * c) % 47 == 5) {
        return -32767;
    }
    return static_cast<int16_t>((13 * r + 7 * c) % 30000 - 10000);
}

float floatCell(int r, int c) {
    return static_cast<float>(r) * 1000.0f + static_cast<float>(c) + 0.25f;
}

uint8_t inBoundCell(int r, int c) {
    return (r + c) % 5 == 0 ? 0 : 1;
}

// Counts the cells of rows [r0, r1) that differ from expected(r, c).
template <class F>
int mismatches(float** m, int r0, int r1, int cols, F expected) {
    int bad = 0;
    for (int r = r0; r < r1; ++r) {
        for (int c = 0; c < cols; ++c) {
            const float e = expected(r, c);
            if (!(m[r][c] == e)) {
                if (bad < 5) {
                    ADD_FAILURE() << "cell (" << r << ", " << c << "): " << m[r][c] << " != " << e;
                }
                ++bad;
            }
        }
    }
    return bad;
}

class CompositeReaderTest : public ::testing::Test {
  protected:
    std::string write(const std::string& name, const std::vector<unsigned char>& bytes,
                      bool gzip = true) {
        const std::string path = dir_.file(name);
        EXPECT_TRUE(comp_test::writeGridFile(path, bytes, gzip));
        return path;
    }
    rdrtest::TempDir dir_;
};

TEST_F(CompositeReaderTest, ByteGridOfTheExportLayoutReadsWholeWithTenRowsOfPadding) {
    const GridShape s = comp_test::kShape240;
    const std::string path = write("c240.bin.gz", comp_test::byteGridBytes(s, byteCell));
    MatrixPtr m(fnGetCompData(path.c_str(), s.cols, s.rows + 10));
    ASSERT_TRUE(m);
    EXPECT_EQ(mismatches(m.get(), 0, s.rows, s.cols, byteExpected), 0);
    EXPECT_EQ(mismatches(m.get(), s.rows, s.rows + 10, s.cols, [](int, int) { return kOutside; }),
              0);
}

TEST_F(CompositeReaderTest, ByteGridOfFileSizeLandsTenRowsUpAndKeepsItsLastTenRowsOutside) {
    const GridShape s{30, 20};
    const std::string path = write("small.gz", comp_test::byteGridBytes(s, byteCell));
    MatrixPtr m(fnGetCompData(path.c_str(), s.cols, s.rows));
    ASSERT_TRUE(m);
    EXPECT_EQ(mismatches(m.get(), 0, s.rows - 10, s.cols,
                         [](int r, int c) { return byteExpected(r + 10, c); }),
              0);
    EXPECT_EQ(mismatches(m.get(), s.rows - 10, s.rows, s.cols, [](int, int) { return kOutside; }),
              0);
    // Plain (not compressed) files read the same.
    const std::string plain = write("small.bin", comp_test::byteGridBytes(s, byteCell), false);
    MatrixPtr p(fnGetCompData(plain.c_str(), s.cols, s.rows));
    ASSERT_TRUE(p);
    EXPECT_EQ(mismatches(p.get(), 0, s.rows, s.cols, [&](int r, int c) { return m.get()[r][c]; }),
              0);
}

TEST_F(CompositeReaderTest, ByteGridReadsTheFirstLevelOfA3dFile) {
    const GridShape s{24, 16};
    // The 3-D kind stores outside as 0 and missing as -127.
    const auto level = [](int k) {
        return comp_test::CellOf<int8_t>([k](int r, int c) -> int8_t {
            if ((r + c) % 9 == 0) {
                return -127;
            }
            return static_cast<int8_t>(k * 50 + (r + c) % 40);
        });
    };
    const std::string path =
        write("c3d.gz", comp_test::grid3dBytes(s, 3, level, [](int, int) -> uint8_t { return 1; }));
    MatrixPtr m(fnGetCompData(path.c_str(), s.cols, s.rows + 10));
    ASSERT_TRUE(m);
    EXPECT_EQ(mismatches(m.get(), 0, s.rows, s.cols,
                         [](int r, int c) {
                             return (r + c) % 9 == 0 ? kMissing : static_cast<float>((r + c) % 40);
                         }),
              0);
}

TEST_F(CompositeReaderTest, ByteGridCutShortKeepsTheWholeRowsReadAndRefusesAnEmptyFile) {
    const GridShape s{30, 20};
    // 5 whole rows and half of the sixth: the southern rows 29 .. 25 of the grid.
    std::vector<unsigned char> bytes = comp_test::byteGridBytes(s, byteCell);
    bytes.resize(5 * 20 + 10);
    const std::string path = write("cut.gz", bytes);
    MatrixPtr m(fnGetCompData(path.c_str(), s.cols, s.rows + 10));
    ASSERT_TRUE(m);
    EXPECT_EQ(mismatches(m.get(), 0, s.rows - 5, s.cols, [](int, int) { return kOutside; }), 0);
    EXPECT_EQ(mismatches(m.get(), s.rows - 5, s.rows, s.cols, byteExpected), 0);

    EXPECT_EQ(fnGetCompData(write("empty.gz", {}).c_str(), 20, 40), nullptr);
    EXPECT_EQ(fnGetCompData(write("halfrow.gz", comp_test::truncated(bytes, 100)).c_str(), 20, 40),
              nullptr);
    EXPECT_EQ(fnGetCompData(dir_.file("absent.gz").c_str(), 20, 40), nullptr);
    EXPECT_EQ(fnGetCompData(nullptr, 20, 40), nullptr);
    EXPECT_EQ(fnGetCompData(path.c_str(), 0, 40), nullptr);
    EXPECT_EQ(fnGetCompData(path.c_str(), 20, -1), nullptr);
    // A directory opens but reads nothing.
    EXPECT_EQ(fnGetCompData(dir_.path().c_str(), 20, 40), nullptr);
}

TEST_F(CompositeReaderTest, FloatGridTakesValuesWhereInBoundAndHandsOutTheInBoundBytes) {
    const GridShape s = comp_test::kShape480;
    const auto value = [](int r, int c) {
        return r == 7 && c == 9   ? std::numeric_limits<float>::quiet_NaN()
               : r == 8 && c == 9 ? -9999.0f
                                  : floatCell(r, c);
    };
    const std::string path = write("c480.gz", comp_test::floatGridBytes(s, value, inBoundCell));
    std::vector<unsigned char> inBound(static_cast<size_t>(s.rows) * s.cols, 7);
    MatrixPtr m(fnGetComp480Data(path.c_str(), s.cols, s.rows, inBound.data()));
    ASSERT_TRUE(m);
    EXPECT_EQ(mismatches(m.get(), 0, s.rows, s.cols,
                         [&](int r, int c) {
                             if (inBoundCell(r, c) == 0) {
                                 return kOutside;
                             }
                             // A value that is not a number reads as missing.
                             return r == 7 && c == 9 ? kMissing : value(r, c);
                         }),
              0);
    int wrongMask = 0;
    for (int r = 0; r < s.rows; ++r) {
        for (int c = 0; c < s.cols; ++c) {
            wrongMask += inBound[static_cast<size_t>(r) * s.cols + c] != inBoundCell(r, c);
        }
    }
    EXPECT_EQ(wrongMask, 0);
}

TEST_F(CompositeReaderTest, FloatGridCutShortKeepsOnlyRowsWithInBoundBytes) {
    const GridShape s{12, 10};
    const std::vector<unsigned char> bytes =
        comp_test::floatGridBytes(s, floatCell, [](int, int) -> uint8_t { return 1; });
    // All values and the in-bound bytes of the 4 southern rows, and half a row more.
    const size_t valueBytes = 12 * 10 * 4;
    std::vector<unsigned char> cut(bytes.begin(), bytes.begin() + valueBytes + 45);
    MatrixPtr m(fnGetComp480Data(write("cut480.gz", cut).c_str(), s.cols, s.rows, nullptr));
    ASSERT_TRUE(m);
    EXPECT_EQ(mismatches(m.get(), 0, 8, s.cols, [](int, int) { return kOutside; }), 0);
    EXPECT_EQ(mismatches(m.get(), 8, 12, s.cols, floatCell), 0);

    // Values cut short: nothing tells where the composite is.
    cut.assign(bytes.begin(), bytes.begin() + valueBytes - 4);
    EXPECT_EQ(fnGetComp480Data(write("cutvalues.gz", cut).c_str(), s.cols, s.rows, nullptr),
              nullptr);
    cut.assign(bytes.begin(), bytes.begin() + valueBytes);
    EXPECT_EQ(fnGetComp480Data(write("nomask.gz", cut).c_str(), s.cols, s.rows, nullptr), nullptr);
}

TEST_F(CompositeReaderTest, ShortGridConvertsByFileFlagAndRefusesAnyShortFile) {
    const GridShape s = comp_test::kShapeKcj;
    const std::string path = write("kcj.gz", comp_test::int16GridBytes(s, shortCell));
    const auto expected = [](float (*convert)(int16_t)) {
        return [convert](int r, int c) {
            const int16_t v = shortCell(r, c);
            return v == -32768 ? kOutside : v == -32767 ? kMissing : convert(v);
        };
    };
    MatrixPtr hundredths(fnGetCompCj3Data(path.c_str(), s.cols, s.rows, 2));
    ASSERT_TRUE(hundredths);
    EXPECT_EQ(mismatches(hundredths.get(), 0, s.rows, s.cols,
                         expected([](int16_t v) { return static_cast<float>(v) / 100.0f; })),
              0);
    MatrixPtr plain(fnGetCompCj3Data(path.c_str(), s.cols, s.rows, 1));
    ASSERT_TRUE(plain);
    EXPECT_EQ(mismatches(plain.get(), 0, s.rows, s.cols,
                         expected([](int16_t v) { return static_cast<float>(v); })),
              0);
    MatrixPtr codesOnly(fnGetCompCj3Data(path.c_str(), s.cols, s.rows, 3));
    ASSERT_TRUE(codesOnly);
    EXPECT_EQ(
        mismatches(codesOnly.get(), 0, s.rows, s.cols, expected([](int16_t) { return kOutside; })),
        0);

    const GridShape small{6, 5};
    const std::vector<unsigned char> bytes = comp_test::int16GridBytes(small, shortCell);
    EXPECT_EQ(fnGetCompCj3Data(write("kcj1.gz", comp_test::truncated(bytes, 1)).c_str(), 5, 6, 2),
              nullptr);
    EXPECT_EQ(fnGetCompCj3Data(write("kcj0.gz", {}).c_str(), 5, 6, 2), nullptr);
}

class ForecastReaderTest : public CompositeReaderTest {};

// Grid g of a forecast file: g x 1000 + fileRow x 10 + column (fileRow 0 south).
int16_t vsrfCell(int g, int fileRow, int c) {
    if (fileRow == 2 && c == 1) {
        return -32768;
    }
    if (fileRow == 3 && c == 1) {
        return -32767;
    }
    return static_cast<int16_t>(g * 1000 + fileRow * 10 + c);
}

TEST_F(ForecastReaderTest, VsrfLeadSkipsWholeHoursAndRefusesNegativeOrAbsentLeads) {
    const int nx = 6;
    const int ny = 8;
    const std::string path = dir_.file("vsrf.gz");
    ASSERT_TRUE(comp_test::writeVsrfFile(path, nx, ny, 3, vsrfCell));
    for (const auto& [lead, grid] : std::map<int, int>{{0, 0}, {59, 0}, {60, 1}, {179, 2}}) {
        SCOPED_TRACE(lead);
        MatrixPtr m(fnGetCompVsrfData(path.c_str(), nx, ny, lead));
        ASSERT_TRUE(m);
        EXPECT_EQ(mismatches(m.get(), 0, ny, nx,
                             [g = grid](int r, int c) {
                                 const int16_t v = vsrfCell(g, ny - 1 - r, c);
                                 return v == -32768   ? kOutside
                                        : v == -32767 ? kMissing
                                                      : static_cast<float>(v);
                             }),
                  0);
    }
    EXPECT_EQ(fnGetCompVsrfData(path.c_str(), nx, ny, -1), nullptr);
    EXPECT_EQ(fnGetCompVsrfData(path.c_str(), nx, ny, -60), nullptr);
    EXPECT_EQ(fnGetCompVsrfData(path.c_str(), nx, ny, 180), nullptr);
    EXPECT_EQ(fnGetCompVsrfData(path.c_str(), nx, ny, std::numeric_limits<int>::max()), nullptr);

    // The last grid cut after 3 rows and a half: those rows only.
    const std::string cut = dir_.file("vsrfcut.gz");
    ASSERT_TRUE(comp_test::writeVsrfFile(cut, nx, ny, 3, vsrfCell, true, (ny - 3) * nx * 2 - 4));
    MatrixPtr m(fnGetCompVsrfData(cut.c_str(), nx, ny, 120));
    ASSERT_TRUE(m);
    EXPECT_EQ(mismatches(m.get(), 0, ny - 3, nx, [](int, int) { return kOutside; }), 0);
    EXPECT_EQ(mismatches(m.get(), ny - 3, ny, nx,
                         [](int r, int c) {
                             const int16_t v = vsrfCell(2, ny - 1 - r, c);
                             return v == -32768 ? kOutside : static_cast<float>(v);
                         }),
              0);
}

// Field k of a forecast file: distinct, exactly representable rates per field and cell, with
// the codes in field row 5.
float mapleCell(int k, int m, int x) {
    if (m == 5 && x == 30) {
        return -1.0f;
    }
    if (m == 5 && x == 31) {
        return 0.05f;
    }
    if (m == 5 && x == 32) {
        return 1.5f;
    }
    if (m == 5 && x == 33) {
        return std::numeric_limits<float>::quiet_NaN();
    }
    return 0.5f + static_cast<float>(k) + static_cast<float>(m % 64) / 128.0f +
           static_cast<float>(x % 32) / 4096.0f;
}

float mapleExpected(int k, int m, int x) {
    const float v = mapleCell(k, m, x);
    return !(v >= 0.0f) ? kMissing : v < 0.1f ? kOutside : v * 100.0f;
}

TEST_F(ForecastReaderTest, MapleLeadSelectsItsFieldAndLeadsUnderTenTakeTheFirst) {
    const std::string path = dir_.file("maple.bin");
    std::map<int, comp_test::MapleValue> fields;
    for (int k : {0, 1, 5, 36}) {
        fields[k] = [k](int m, int x) { return mapleCell(k, m, x); };
    }
    // Plain and sparse: 37 fields are about 150 MiB, mostly holes.
    ASSERT_TRUE(comp_test::writeMapleFile(path, 37, fields));
    const int nx = 1000;
    const int ny = 1052;
    for (const auto& [lead, field] :
         std::map<int, int>{{10, 0}, {1, 0}, {9, 0}, {25, 1}, {60, 5}, {0, 36}, {-30, 36}}) {
        SCOPED_TRACE(lead);
        MatrixPtr m(fnGetCompMapleData(path.c_str(), nx, ny, lead));
        ASSERT_TRUE(m);
        // Field row m lands in matrix row m; from column 998 on a row continues into the next
        // field row; field row 0 and the end of the last row are not used.
        EXPECT_EQ(mismatches(m.get(), 0, ny, nx,
                             [k = field](int r, int c) {
                                 if (r == 0 || r >= 1024) {
                                     return kMissing;
                                 }
                                 const int index = 1024 * r + 26 + c;
                                 if (index >= 1024 * 1024) {
                                     return kMissing;
                                 }
                                 return mapleExpected(k, index / 1024, index % 1024);
                             }),
                  0);
    }
}

TEST_F(ForecastReaderTest, MapleFieldLandsByMatrixHeightAndAbsentOrCutFieldsAreRefused) {
    const std::string path = dir_.file("maple2.gz");
    std::map<int, comp_test::MapleValue> fields;
    fields[1] = [](int m, int x) { return mapleCell(1, m, x); };
    ASSERT_TRUE(comp_test::writeMapleFile(path, 2, fields, true));
    // A matrix of 100 rows holds field rows 952 .. 1023 in its rows 0 .. 71.
    MatrixPtr m(fnGetCompMapleData(path.c_str(), 50, 100, 20));
    ASSERT_TRUE(m);
    EXPECT_EQ(mismatches(m.get(), 0, 100, 50,
                         [](int r, int c) {
                             return r > 71 ? kMissing : mapleExpected(1, r + 952, c + 26);
                         }),
              0);
    EXPECT_EQ(fnGetCompMapleData(path.c_str(), 50, 100, 30), nullptr);
    EXPECT_EQ(fnGetCompMapleData(path.c_str(), 50, 100, 0), nullptr);

    std::vector<unsigned char> bytes(comp_test::kMapleHeaderBytes + comp_test::kMapleFieldBytes - 1,
                                     0);
    const std::string cut = dir_.file("maplecut.gz");
    ASSERT_TRUE(comp_test::writeForecastBytes(cut, bytes, true));
    EXPECT_EQ(fnGetCompMapleData(cut.c_str(), 50, 100, 10), nullptr);
}

}  // namespace
