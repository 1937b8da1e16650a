#include "composite_input.h"

#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "internal/composite_grid.h"
#include "owned_handle.h"

namespace {

using comp_grid::kMissing;
using comp_grid::kOutside;
using comp_grid::MatrixPtr;

// A gzip stream that hands out whole blocks only: a block the file ends in (or a stream
// error) reads as absent, so no byte the file did not hold is ever used.
class GzBlockReader {
  public:
    explicit GzBlockReader(const char* szPath)
        : gz_(szPath != nullptr ? gzopen(szPath, "rb") : nullptr) {}
    bool open() const { return gz_ != nullptr; }
    gzFile get() const { return gz_.get(); }

    bool read(void* pDst, std::size_t nBytes) {
        auto* dst = static_cast<unsigned char*>(pDst);
        while (nBytes > 0) {
            // gzread takes an unsigned count and answers in an int.
            const unsigned chunk = nBytes > (1u << 30) ? (1u << 30) : static_cast<unsigned>(nBytes);
            const int got = gzread(gz_.get(), dst, chunk);
            if (got <= 0) {
                return false;
            }
            dst += got;
            nBytes -= static_cast<std::size_t>(got);
        }
        return true;
    }

    // Moves to byte nOffset of the (uncompressed) stream from its start; false when the file
    // ends first.
    bool seekTo(std::uint64_t nOffset) {
        if (nOffset == 0) {
            return true;
        }
        if (nOffset > static_cast<std::uint64_t>(std::numeric_limits<z_off_t>::max())) {
            return false;
        }
        const auto target = static_cast<z_off_t>(nOffset);
        if (gzseek(gz_.get(), target, SEEK_SET) != target) {
            return false;
        }
        // A read-mode seek is lazy: it only shows whether the bytes were there on the next
        // read, so look one byte ahead and put it back.
        const int c = gzgetc(gz_.get());
        return c >= 0 && gzungetc(c, gz_.get()) == c;
    }

  private:
    rdr::GzFilePtr gz_;
};

std::int16_t bigEndianInt16(const unsigned char* p) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>((p[0] << 8) | p[1]));
}

float littleEndianFloat(const unsigned char* p) {
    std::uint32_t u = static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                      (static_cast<std::uint32_t>(p[2]) << 16) |
                      (static_cast<std::uint32_t>(p[3]) << 24);
    return std::bit_cast<float>(u);
}

float int16Code(std::int16_t v, float (*convert)(std::int16_t)) {
    if (v == -32768) {
        return kOutside;
    }
    if (v == -32767) {
        return kMissing;
    }
    return convert(v);
}

bool validSize(int nXdim, int nYdim) {
    return nXdim > 0 && nYdim > 0;
}

// Reads nYdim big-endian int16 rows from the file's current position, the first into the
// last matrix row. Returns the number of rows read whole.
int readInt16Rows(GzBlockReader& in, float** pData, int nXdim, int nYdim,
                  float (*convert)(std::int16_t)) {
    std::vector<unsigned char> row(static_cast<std::size_t>(nXdim) * 2);
    int rowsRead = 0;
    for (int i = nYdim - 1; i >= 0; --i) {
        if (!in.read(row.data(), row.size())) {
            break;
        }
        for (int j = 0; j < nXdim; ++j) {
            pData[i][j] = int16Code(bigEndianInt16(&row[static_cast<std::size_t>(j) * 2]), convert);
        }
        ++rowsRead;
    }
    return rowsRead;
}

}  // namespace

float** fnGetCompData(const char* szF_name, int nDataXdim, int nDataYdim) {
    if (!validSize(nDataXdim, nDataYdim)) {
        return nullptr;
    }
    GzBlockReader in(szF_name);
    if (!in.open()) {
        return nullptr;
    }
    MatrixPtr data = comp_grid::makeFilled(nDataYdim, nDataXdim, kOutside);
    if (!data) {
        return nullptr;
    }
    std::vector<signed char> row(static_cast<std::size_t>(nDataXdim));
    int rowsRead = 0;
    // The 10 rows at the matrix's end stay outside: the 1-byte composites are placed 10 rows
    // up from the bottom of their grid.
    for (int i = nDataYdim - 11; i >= 0; --i) {
        if (!in.read(row.data(), row.size())) {
            break;
        }
        float* out = data.get()[i];
        for (int j = 0; j < nDataXdim; ++j) {
            const int v = row[static_cast<std::size_t>(j)];
            out[j] = v == -128 ? kOutside : v == -127 ? kMissing : static_cast<float>(v);
        }
        ++rowsRead;
    }
    if (rowsRead == 0) {
        return nullptr;
    }
    return data.release();
}

float** fnGetComp480Data(const char* szF_name, int nDataXdim, int nDataYdim,
                         unsigned char* szIn_bound) {
    if (!validSize(nDataXdim, nDataYdim)) {
        return nullptr;
    }
    GzBlockReader in(szF_name);
    if (!in.open()) {
        return nullptr;
    }
    MatrixPtr data = comp_grid::makeFilled(nDataYdim, nDataXdim, kOutside);
    if (!data) {
        return nullptr;
    }
    const auto nx = static_cast<std::size_t>(nDataXdim);
    std::vector<unsigned char> row(nx * sizeof(float));
    // The in-bound bytes follow the whole value block: a file that ends inside the values
    // holds no in-bound byte at all and says nothing about where the composite is.
    for (int i = nDataYdim - 1; i >= 0; --i) {
        if (!in.read(row.data(), row.size())) {
            return nullptr;
        }
        float* out = data.get()[i];
        std::memcpy(out, row.data(), row.size());
        for (std::size_t j = 0; j < nx; ++j) {
            if (!std::isfinite(out[j])) {
                out[j] = kMissing;
            }
        }
    }
    if (szIn_bound != nullptr) {
        std::memset(szIn_bound, 0, nx * static_cast<std::size_t>(nDataYdim));
    }
    int maskRows = 0;
    for (int i = nDataYdim - 1; i >= 0; --i) {
        float* out = data.get()[i];
        if (!in.read(row.data(), nx)) {
            // Rows without in-bound bytes stay outside, like rows without values elsewhere.
            for (int k = i; k >= 0; --k) {
                std::fill_n(data.get()[k], nx, kOutside);
            }
            break;
        }
        for (std::size_t j = 0; j < nx; ++j) {
            if (row[j] == 0) {
                out[j] = kOutside;
            }
        }
        if (szIn_bound != nullptr) {
            std::memcpy(szIn_bound + static_cast<std::size_t>(i) * nx, row.data(), nx);
        }
        ++maskRows;
    }
    if (maskRows == 0) {
        return nullptr;
    }
    return data.release();
}

float** fnGetCompCj3Data(const char* szF_name, int nDataXdim, int nDataYdim, int nFileFlag) {
    if (!validSize(nDataXdim, nDataYdim)) {
        return nullptr;
    }
    GzBlockReader in(szF_name);
    if (!in.open()) {
        return nullptr;
    }
    MatrixPtr data = comp_grid::makeFilled(nDataYdim, nDataXdim, kOutside);
    if (!data) {
        return nullptr;
    }
    float (*convert)(std::int16_t) = nullptr;
    if (nFileFlag == 2) {
        convert = [](std::int16_t v) { return static_cast<float>(v) / 100.0f; };
    } else if (nFileFlag == 1) {
        convert = [](std::int16_t v) { return static_cast<float>(v); };
    } else {
        // Unknown flags keep the codes and leave data cells at the default.
        convert = [](std::int16_t) { return kOutside; };
    }
    if (readInt16Rows(in, data.get(), nDataXdim, nDataYdim, convert) != nDataYdim) {
        return nullptr;
    }
    return data.release();
}

float** fnGetCompVsrfData(const char* szF_name, int nDataXdim, int nDataYdim, int nFcstTime) {
    if (!validSize(nDataXdim, nDataYdim) || nFcstTime < 0) {
        return nullptr;
    }
    GzBlockReader in(szF_name);
    if (!in.open()) {
        return nullptr;
    }
    MatrixPtr data = comp_grid::makeFilled(nDataYdim, nDataXdim, kOutside);
    if (!data) {
        return nullptr;
    }
    std::uint64_t gridBytes = 0;
    std::uint64_t skipBytes = 0;
    if (__builtin_mul_overflow(static_cast<std::uint64_t>(nDataXdim),
                               static_cast<std::uint64_t>(nDataYdim) * 2u, &gridBytes) ||
        __builtin_mul_overflow(gridBytes, static_cast<std::uint64_t>(nFcstTime / 60), &skipBytes) ||
        !in.seekTo(skipBytes)) {
        return nullptr;
    }
    const int rowsRead = readInt16Rows(in, data.get(), nDataXdim, nDataYdim,
                                       [](std::int16_t v) { return static_cast<float>(v); });
    if (rowsRead == 0) {
        return nullptr;
    }
    return data.release();
}

float** fnGetCompMapleData(const char* szF_name, int nDataXdim, int nDataYdim, int nFcstTime) {
    constexpr int kSide = 1024;
    constexpr std::uint64_t kFieldBytes = std::uint64_t{kSide} * kSide * 4;
    constexpr std::uint64_t kHeaderBytes = 104;
    constexpr int kFirstColumn = 26;
    constexpr int kRowShift = 1052;
    if (!validSize(nDataXdim, nDataYdim)) {
        return nullptr;
    }
    GzBlockReader in(szF_name);
    if (!in.open()) {
        return nullptr;
    }
    // One field is 4 MiB; a large buffer keeps the inflate calls few.
    if (gzbuffer(in.get(), 16u * 1024u * 1024u) != 0) {
        return nullptr;
    }
    MatrixPtr data = comp_grid::makeFilled(nDataYdim, nDataXdim, kMissing);
    if (!data) {
        return nullptr;
    }
    // Leads under 10 minutes show the first field; 0 and less the documented analysis field.
    int field = 36;
    if (nFcstTime >= 1) {
        field = nFcstTime / 10 - 1;
        if (field < 0) {
            field = 0;
        }
    }
    std::vector<unsigned char> raw(kFieldBytes);
    if (!in.seekTo(kHeaderBytes + static_cast<std::uint64_t>(field) * kFieldBytes) ||
        !in.read(raw.data(), raw.size())) {
        return nullptr;
    }
    const std::int64_t fieldCells = std::int64_t{kSide} * kSide;
    for (int m = kSide - 1; m >= 1; --m) {
        const std::int64_t i = std::int64_t{m} + nDataYdim - kRowShift;
        if (i < 0) {
            break;
        }
        float* out = data.get()[i];
        for (int j = 0; j < nDataXdim; ++j) {
            const std::int64_t index = std::int64_t{kSide} * m + kFirstColumn + j;
            if (index >= fieldCells) {
                break;
            }
            const float v = littleEndianFloat(&raw[static_cast<std::size_t>(index) * 4]);
            // A value that is not a number is as good as missing.
            out[j] = !(v >= 0.0f) ? kMissing : v < 0.1f ? kOutside : v * 100.0f;
        }
    }
    return data.release();
}
