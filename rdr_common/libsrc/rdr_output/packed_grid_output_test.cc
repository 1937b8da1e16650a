#include "packed_grid_output.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <tuple>

#include "core_utilities.h"
#include "export_test_support.h"
#include "test_support.h"

namespace {

using rdrtest::compositeProduct;
using rdrtest::gunzipped;

// Byte of a 1 km kind at output row i (0 north), column j; the file starts with row 1199.
int byteAt(const std::string& bytes, int i, int j, int level = 0) {
    return static_cast<signed char>(
        bytes[static_cast<size_t>(level) * 1152000 + static_cast<size_t>(1199 - i) * 960 + j]);
}

// A product row from -20 up by one per row (mod 100), a tenth per column (mod 10); row 5
// no data, column 7 outside; a few values beyond the 8-bit range in row 10.
float rampCell(int, int r, int c) {
    if (c == 7) {
        return -9998.0f;
    }
    if (r == 5) {
        return -9999.0f;
    }
    if (r == 10 && c >= 10 && c <= 13) {
        const float beyond[] = {200.0f, -200.0f, 128.0f, -127.5f};
        return beyond[c - 10];
    }
    return static_cast<float>(r % 100 - 20) + 0.1f * static_cast<float>(c % 10);
}

TEST(PackedGrid240, SouthernRowFirstWithCodesTruncationAndClamping) {
    rdrtest::TempDir dir;
    auto p = compositeProduct("CMAX", "CMAX", 1200, 960, 1.0f, 1, rampCell);
    const std::string out = dir.file("comp240.bin.gz");
    ASSERT_EQ(fnWriteStdProductVyqComp240(p.get(), "CMAX", "CMAX", out.c_str()), 1);
    const std::string bytes = gunzipped(out);
    ASSERT_EQ(bytes.size(), 1152000u);
    EXPECT_EQ(static_cast<signed char>(bytes[1199 * 960]), -20);  // product (0, 0) comes last
    EXPECT_EQ(static_cast<signed char>(bytes[5]), 79);            // product (1199, 5): 79.5
    EXPECT_EQ(byteAt(bytes, 30, 3), 10);
    EXPECT_EQ(byteAt(bytes, 15, 9), -4);  // -4.1 toward zero
    EXPECT_EQ(byteAt(bytes, 5, 0), -127);
    EXPECT_EQ(byteAt(bytes, 300, 7), -128);
    // Beyond the range: clamped short of the codes, never wrapped (200 is not -56).
    EXPECT_EQ(byteAt(bytes, 10, 10), 127);
    EXPECT_EQ(byteAt(bytes, 10, 11), -126);
    EXPECT_EQ(byteAt(bytes, 10, 12), 127);
    EXPECT_EQ(byteAt(bytes, 10, 13), -126);
}

TEST(PackedGrid240, VilRoundsUpFromFourTenthsOtherFamiliesTruncate) {
    rdrtest::TempDir dir;
    const auto cell = [](int, int, int c) { return c == 0 ? 2.5f : 2.3f; };
    for (const char* family : {"VIL", "ETOP"}) {
        auto p = compositeProduct(family, "XX", 1200, 960, 1.0f, 1, cell);
        const std::string out = dir.file(std::string(family) + ".gz");
        ASSERT_EQ(fnWriteStdProductVyqComp240(p.get(), family, "XX", out.c_str()), 1);
        const std::string bytes = gunzipped(out);
        const bool vil = std::strcmp(family, "VIL") == 0;
        EXPECT_EQ(byteAt(bytes, 0, 0), vil ? 3 : 2) << family;
        EXPECT_EQ(byteAt(bytes, 0, 1), 2) << family;
    }
}

TEST(PackedGrid240, ResamplesByNearestCellAndCodesWhatLiesBeyondTheProduct) {
    rdrtest::TempDir dir;
    const auto cell = [](int, int r, int c) { return static_cast<float>((r * 7 + c * 3) % 101); };
    auto fine = compositeProduct("CMAX", "CMAX", 2400, 1920, 0.5f, 1, cell);
    const std::string out = dir.file("fine.gz");
    ASSERT_EQ(fnWriteStdProductVyqComp240(fine.get(), "CMAX", "CMAX", out.c_str()), 1);
    std::string bytes = gunzipped(out);
    for (const auto& [i, j] : {std::pair{0, 0}, {1, 1}, {599, 480}, {1199, 959}, {37, 911}}) {
        EXPECT_EQ(byteAt(bytes, i, j), (2 * i * 7 + 2 * j * 3) % 101) << i << "," << j;
    }
    auto small = compositeProduct("CMAX", "CMAX", 100, 500, 1.0f, 1, cell);
    ASSERT_EQ(fnWriteStdProductVyqComp240(small.get(), "CMAX", "CMAX", out.c_str()), 1);
    bytes = gunzipped(out);
    EXPECT_EQ(byteAt(bytes, 99, 499), (99 * 7 + 499 * 3) % 101);
    EXPECT_EQ(byteAt(bytes, 99, 500), -128);  // east of the product
    EXPECT_EQ(byteAt(bytes, 100, 0), -128);   // south of it
}

float floatAt(const std::string& bytes, size_t index) {
    uint8_t b[4];
    std::memcpy(b, bytes.data() + index * 4, 4);
    const uint32_t u = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
    float f = 0.0f;
    std::memcpy(&f, &u, 4);
    return f;
}

TEST(PackedGrid480, LittleEndianRainRatesThenTheInBoundMask) {
    rdrtest::TempDir dir;
    // 500 x 500 cells of 3 km: the output's last 76 rows and 26 columns lie beyond it.
    const auto cell = [](int, int r, int c) {
        return r == 0 && c == 1 ? -9999.0f : r == 0 && c == 2 ? -9998.0f : 23.0f + (c % 5);
    };
    auto p = compositeProduct("CMAX", "DZ", 500, 500, 3.0f, 1, cell);
    const std::string out = dir.file("comp480.gz");
    ASSERT_EQ(fnWriteStdProductVyqComp480(p.get(), "CMAX", "DZ", out.c_str()), 1);
    const std::string bytes = gunzipped(out);
    ASSERT_EQ(bytes.size(), 1514880u);
    const size_t cells = 576 * 526;
    const auto at = [](int i, int j) { return static_cast<size_t>(575 - i) * 526 + j; };
    const auto mask = [&](int i, int j) { return static_cast<int>(bytes[cells * 4 + at(i, j)]); };
    const double rain23 = std::pow(std::pow(10.0, 2.3) / 200.0, 1.0 / 1.6);
    EXPECT_NEAR(floatAt(bytes, at(0, 0)), rain23, 1e-4 * rain23);
    EXPECT_NEAR(floatAt(bytes, at(499, 499)), std::pow(std::pow(10.0, 2.7) / 200.0, 1.0 / 1.6),
                1e-3);
    EXPECT_EQ(floatAt(bytes, at(0, 1)), -9999.0f);
    EXPECT_EQ(mask(0, 1), 1);
    EXPECT_EQ(floatAt(bytes, at(0, 2)), -9998.0f);
    EXPECT_EQ(mask(0, 2), 0);
    EXPECT_EQ(floatAt(bytes, at(500, 0)), -9998.0f);  // beyond the product
    EXPECT_EQ(mask(500, 0), 0);
    EXPECT_EQ(mask(0, 525), 0);
    EXPECT_EQ(mask(0, 0), 1);
    EXPECT_EQ(floatAt(bytes, 0), -9998.0f);  // the file's first row is the southern one

    auto rain =
        compositeProduct("CMAX", "RN", 576, 526, 3.0f, 1, [](int, int, int) { return 12.5f; });
    ASSERT_EQ(fnWriteStdProductVyqComp480(rain.get(), "CMAX", "RN", out.c_str()), 1);
    EXPECT_EQ(floatAt(gunzipped(out), 0), 12.5f);  // other fields keep their values
}

int bigEndianAt(const std::string& bytes, int i, int j) {
    const size_t at = (static_cast<size_t>(1100 - i) * 751 + j) * 2;
    return static_cast<int16_t>((static_cast<uint8_t>(bytes[at]) << 8) |
                                static_cast<uint8_t>(bytes[at + 1]));
}

TEST(PackedGridKcj, BigEndianHundredthsClampedShortOfTheCodes) {
    rdrtest::TempDir dir;
    const auto cell = [](int, int r, int c) {
        if (r != 0) {
            return 0.5f;
        }
        const float row0[] = {1.234f, -9999.0f, -9998.0f, 400.0f, -1.234f, -400.0f};
        return c < 6 ? row0[c] : 0.5f;
    };
    auto p = compositeProduct("CMAX", "XX", 1101, 751, 3.0f, 1, cell);
    const std::string out = dir.file("kcj.gz");
    ASSERT_EQ(fnWriteStdProductVyqCompKCJ(p.get(), "CMAX", "XX", out.c_str()), 1);
    const std::string bytes = gunzipped(out);
    ASSERT_EQ(bytes.size(), 1653702u);
    const size_t first = static_cast<size_t>(1100) * 751 * 2;  // product row 0 comes last
    EXPECT_EQ(static_cast<uint8_t>(bytes[first]), 0x00);
    EXPECT_EQ(static_cast<uint8_t>(bytes[first + 1]), 0x7B);  // 1.234 -> 123
    EXPECT_EQ(static_cast<uint8_t>(bytes[first + 2]), 0x80);
    EXPECT_EQ(static_cast<uint8_t>(bytes[first + 3]), 0x01);  // no data
    EXPECT_EQ(bigEndianAt(bytes, 0, 2), -32768);
    EXPECT_EQ(bigEndianAt(bytes, 0, 3), 32767);   // 400 would wrap to -25536
    EXPECT_EQ(bigEndianAt(bytes, 0, 4), -122);    // -123.4 + 0.5, toward zero
    EXPECT_EQ(bigEndianAt(bytes, 0, 5), -32766);  // never onto a code
    EXPECT_EQ(bigEndianAt(bytes, 1100, 750), 50);

    // Reflectivity as rain rate; 70 dBZ is 866 mm/h, beyond 327.67.
    auto dz = compositeProduct("CMAX", "DZ", 1101, 751, 3.0f, 1,
                               [](int, int, int c) { return c == 0 ? 35.0f : 70.0f; });
    ASSERT_EQ(fnWriteStdProductVyqCompKCJ(dz.get(), "CMAX", "DZ", out.c_str()), 1);
    const std::string rain = gunzipped(out);
    const float r35 = static_cast<float>(fnDbzToRainF(35.0, 200.0f, 1.6f));
    EXPECT_NEAR(r35, 5.62, 0.01);
    EXPECT_EQ(bigEndianAt(rain, 0, 0), static_cast<int>(r35 * 100.0f + 0.5f));
    EXPECT_EQ(bigEndianAt(rain, 0, 1), 32767);
}

TEST(PackedGrid3D, LevelsThenTheLastLevelsMask) {
    rdrtest::TempDir dir;
    const auto cell = [](int k, int r, int c) {
        if (r == 0 && c == 0) {
            return -9998.0f;
        }
        if (r == 0 && c == 1 && k == 0) {
            return -9998.0f;  // outside on the first level only: the mask is the last level's
        }
        if (r == 0 && c == 2 && k == 2) {
            return -9999.0f;
        }
        return static_cast<float>(k * 10 + r % 50) - 20.0f;
    };
    auto p = compositeProduct("CAPPI", "XX", 1200, 960, 1.0f, 3, cell);
    const std::string out = dir.file("comp3d.gz");
    ASSERT_EQ(fnWriteStdProductVyqComp3D(p.get(), "CAPPI", "XX", 3, out.c_str()), 1);
    const std::string bytes = gunzipped(out);
    ASSERT_EQ(bytes.size(), 1152000u * 4);
    const auto mask = [&](int i, int j) {
        return static_cast<uint8_t>(bytes[3 * 1152000 + static_cast<size_t>(1199 - i) * 960 + j]);
    };
    EXPECT_EQ(byteAt(bytes, 30, 5, 0), 10);
    EXPECT_EQ(byteAt(bytes, 30, 5, 2), 30);
    EXPECT_EQ(byteAt(bytes, 0, 0, 2), 0);
    EXPECT_EQ(mask(0, 0), 0);
    EXPECT_EQ(byteAt(bytes, 0, 1, 0), 0);
    EXPECT_EQ(mask(0, 1), 1);
    EXPECT_EQ(byteAt(bytes, 0, 2, 2), -127);
    EXPECT_EQ(mask(0, 2), 1);

    // A level that is not there: nothing is written, not even a temporary file.
    const std::string missing = dir.file("missing.gz");
    EXPECT_EQ(fnWriteStdProductVyqComp3D(p.get(), "CAPPI", "XX", 4, missing.c_str()), 0);
    EXPECT_EQ(rdrtest::directoryNames(dir.path().string()), std::set<std::string>{"comp3d.gz"});
}

TEST(PackedGrid3D, EightBitFieldsGiveTheBytesOfTheirValues) {
    // DZ is kept in 8 bits and read through a table of its 256 stored bytes; the same whole
    // values kept as floats must give the same file.
    rdrtest::TempDir dir;
    const auto cell = [](int k, int r, int c) {
        const int v = (r * 3 + c * 7 + k * 11) % 300 - 150;
        return v < -140 ? -9998.0f : v < -130 ? -9999.0f : static_cast<float>(v % 120);
    };
    // 2 km cells are resampled through the column index; 1 km cells mostly map one to one.
    for (const auto& [family, ydim, xdim, km] : {std::tuple{"CAPPI", 600, 480, 2.0f},
                                                 {"VIL", 600, 480, 2.0f},
                                                 {"CAPPI", 700, 500, 1.0f}}) {
        auto bytes = compositeProduct(family, "DZ", ydim, xdim, km, 2, cell);
        auto floats = compositeProduct(family, "XX", ydim, xdim, km, 2, cell);
        const std::string a = dir.file("dz.gz");
        const std::string b = dir.file("xx.gz");
        ASSERT_EQ(fnWriteStdProductVyqComp3D(bytes.get(), family, "DZ", 2, a.c_str()), 1);
        ASSERT_EQ(fnWriteStdProductVyqComp3D(floats.get(), family, "XX", 2, b.c_str()), 1);
        EXPECT_EQ(gunzipped(a), gunzipped(b)) << family;
        ASSERT_EQ(fnWriteStdProductVyqComp240(bytes.get(), family, "DZ", a.c_str()), 1);
        ASSERT_EQ(fnWriteStdProductVyqComp240(floats.get(), family, "XX", b.c_str()), 1);
        EXPECT_EQ(gunzipped(a), gunzipped(b)) << family;
    }
}

// Cells no compressor can shrink much, so the file outgrows a small size limit.
float noiseCell(int, int r, int c) {
    uint32_t x = static_cast<uint32_t>(r) * 2654435761u ^ static_cast<uint32_t>(c) * 40503u;
    x ^= x >> 13;
    x *= 0x5bd1e995u;
    x ^= x >> 15;
    return static_cast<float>(x % 250) - 120.0f;
}

TEST(PackedGridFailures, LeaveTheOldFileAndNoTemporary) {
    rdrtest::TempDir dir;
    auto p = compositeProduct("CMAX", "CMAX", 1200, 960, 1.0f, 1, noiseCell);
    const std::string target = dir.file("grid.gz");
    { std::ofstream(target) << "old grid"; }
    const auto keptAlone = [&] {
        std::ifstream in(target);
        std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(content, "old grid");
        EXPECT_EQ(rdrtest::directoryNames(dir.path().string()), std::set<std::string>{"grid.gz"});
    };
    rdrtest::withFileSizeLimit(100000, [&] {
        EXPECT_EQ(fnWriteStdProductVyqComp240(p.get(), "CMAX", "CMAX", target.c_str()), 0);
        EXPECT_EQ(fnWriteStdProductVyqComp3D(p.get(), "CMAX", "CMAX", 1, target.c_str()), 0);
    });
    keptAlone();
    // A cell size that is not positive would divide by zero.
    p->m_product_hdr.m_dYscale = 0.0;
    EXPECT_EQ(fnWriteStdProductVyqCompKCJ(p.get(), "CMAX", "CMAX", target.c_str()), 0);
    p->m_product_hdr.m_dYscale = 1.0;
    p->m_product_hdr.m_dXscale = -1.0;
    EXPECT_EQ(fnWriteStdProductVyqComp480(p.get(), "CMAX", "CMAX", target.c_str()), 0);
    keptAlone();
    p->m_product_hdr.m_dXscale = 1.0;
    EXPECT_EQ(fnWriteStdProductVyqComp240(p.get(), "CMAX", "CMAX", dir.path().c_str()), 0);
    EXPECT_EQ(fnWriteStdProductVyqComp240(p.get(), "CMAX", "ZZ", target.c_str()), 0);
    EXPECT_EQ(fnWriteStdProductVyqComp240(p.get(), "CMAX", "CMAX", nullptr), 0);
    EXPECT_EQ(fnWriteStdProductVyqComp240(nullptr, "CMAX", "CMAX", target.c_str()), 0);
    keptAlone();
}

TEST(PackedGridNames, AHostileNameIsWrittenAsNamedAndNothingRuns) {
    rdrtest::TempDir dir;
    auto p = compositeProduct("CMAX", "CMAX", 1200, 960, 1.0f, 1, rampCell);
    const std::string target = dir.file(rdrtest::hostileName());
    ASSERT_EQ(fnWriteStdProductVyqComp240(p.get(), "CMAX", "CMAX", target.c_str()), 1);
    EXPECT_EQ(rdrtest::directoryNames(dir.path().string()),
              std::set<std::string>{rdrtest::hostileName()});
    EXPECT_EQ(gunzipped(target).size(), 1152000u);
    EXPECT_FALSE(std::filesystem::exists("ran"));
}

}  // namespace
