#include "packed_grid_output.h"

#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "atomic_file.h"
#include "core_utilities.h"
#include "internal/export_cells.h"
#include "owned_handles.h"

namespace {

using namespace rdr_export;

// A fixed output grid; divisor turns the product's cell size into output cells (3 km
// kinds resample with a third of the product's scale).
struct OutputShape {
    int rows;
    int cols;
    double divisor;
};

constexpr OutputShape kShape240{1200, 960, 1.0};
constexpr OutputShape kShape480{576, 526, 3.0};
constexpr OutputShape kShapeKcj{1101, 751, 3.0};

// Product row and column under every output row and column; -1 beyond the product grid.
struct Resampling {
    std::vector<int> rows;
    std::vector<int> cols;
};

// The scale is taken in single precision and the quotient truncated, as the readers of
// these files have always placed cells.
bool sourceCells(double dScaleKm, double divisor, int nOut, long nSource, std::vector<int>* pIdx) {
    const float s = static_cast<float>(divisor == 1.0 ? dScaleKm : dScaleKm / divisor);
    if (!(s > 0.0f) || !std::isfinite(s)) {
        return false;
    }
    pIdx->resize(static_cast<size_t>(nOut));
    for (int i = 0; i < nOut; ++i) {
        const float q = static_cast<float>(i) / s;
        (*pIdx)[static_cast<size_t>(i)] =
            q < static_cast<float>(nSource) ? static_cast<int>(q) : -1;
    }
    return true;
}

bool makeResampling(const STD_PRODUCT_HDR& hdr, const OutputShape& shape, const char* szFunction,
                    Resampling* pOut) {
    if (!sourceCells(hdr.m_dYscale, shape.divisor, shape.rows, hdr.m_lYsize, &pOut->rows) ||
        !sourceCells(hdr.m_dXscale, shape.divisor, shape.cols, hdr.m_lXsize, &pOut->cols)) {
        rdrError(szFunction, ("the product's cell size (" + std::to_string(hdr.m_dXscale) + " x " +
                              std::to_string(hdr.m_dYscale) + " km) is not positive")
                                 .c_str());
        return false;
    }
    return true;
}

using Grid = rdr::MatrixPtr<float>;

Grid productGrid(STD_PRODUCT* pStdProduct, const char* szProduct, int iIdx,
                 const char* szFieldName) {
    return Grid(fnGetStdProductDataByIdx(pStdProduct, szProduct, iIdx, szFieldName),
                static_cast<int>(pStdProduct->m_product_hdr.m_lYsize));
}

// The product cell under output cell (i, j), or -9998 beyond the product grid.
inline float cellAt(const Grid& grid, const Resampling& rs, int i, int j) {
    const int r = rs.rows[static_cast<size_t>(i)];
    const int c = rs.cols[static_cast<size_t>(j)];
    return r < 0 || c < 0 ? RDR_GRID_OUT_BOUND : grid[r][c];
}

// A gzip stream into an atomic replacement of the target; nothing reaches the target's
// name before commit() succeeds.
class GzipOutput {
  public:
    GzipOutput(const char* szFunction, const char* szTarget)
        : function_(szFunction), target_(szTarget) {}
    ~GzipOutput() {
        if (gz_ != nullptr) {
            gzclose(gz_);
        }
    }
    GzipOutput(const GzipOutput&) = delete;
    GzipOutput& operator=(const GzipOutput&) = delete;

    bool open() {
        if (!file_.open(target_)) {
            return fail(file_.error());
        }
        // zlib closes the descriptor it is given; the file keeps its own for the rename.
        const int fd = file_.duplicateFd();
        gz_ = fd >= 0 ? gzdopen(fd, "wb") : nullptr;
        if (gz_ == nullptr) {
            if (fd >= 0) {
                close(fd);
            }
            return fail(fd < 0 ? file_.error() : "no memory for the zlib stream");
        }
        gzbuffer(gz_, 256 * 1024);
        return true;
    }

    bool write(const void* pData, size_t nBytes) {
        const auto* p = static_cast<const unsigned char*>(pData);
        while (nBytes > 0) {
            const unsigned n = nBytes > (1u << 30) ? (1u << 30) : static_cast<unsigned>(nBytes);
            if (gzwrite(gz_, p, n) != static_cast<int>(n)) {
                int iErr = Z_OK;
                const char* szWhy = gzerror(gz_, &iErr);
                return fail(iErr == Z_ERRNO ? std::strerror(errno) : szWhy);
            }
            p += n;
            nBytes -= n;
        }
        return true;
    }

    bool commit() {
        const int iClosed = gzclose(gz_);
        gz_ = nullptr;
        if (iClosed != Z_OK) {
            return fail(iClosed == Z_ERRNO ? std::strerror(errno) : "compression failed");
        }
        return file_.commit() ? true : fail(file_.error());
    }

  private:
    bool fail(const std::string& why) {
        rdrError(function_, ("cannot write " + std::string(target_) + " (" + why + ")").c_str());
        return false;
    }

    const char* function_;
    const char* target_;
    AtomicFile file_;
    gzFile gz_ = nullptr;
};

bool argumentsGiven(STD_PRODUCT* pStdProduct, const char* szProduct, const char* szFieldName,
                    const char* szOutFile) {
    return pStdProduct != nullptr && szProduct != nullptr && szFieldName != nullptr &&
           szOutFile != nullptr && szOutFile[0] != '\0';
}

// One level of the 1 km kinds in file order (southern row first); bMask3D selects the 3-D
// coding (outside 0 with mask 0, no data -127) over the 240 one (-128, -127).
void byteLevel(const Grid& grid, const Resampling& rs, bool bVil, bool b3D, signed char* pOut,
               unsigned char* pMask) {
    const int rows = kShape240.rows;
    const int cols = kShape240.cols;
    const signed char outCode = b3D ? 0 : kByteOutBound;
    for (int k = 0; k < rows; ++k) {
        const int i = rows - 1 - k;
        signed char* dst = pOut + static_cast<size_t>(k) * cols;
        unsigned char* mask = pMask + static_cast<size_t>(k) * cols;
        for (int j = 0; j < cols; ++j) {
            const float v = cellAt(grid, rs, i, j);
            const bool out = isOutBound(v);
            dst[j] = out ? outCode : isNoData(v) ? kByteNoEcho : byteValue(v, bVil);
            mask[j] = out ? 0 : 1;
        }
    }
}

}  // namespace

int fnWriteStdProductVyqComp240(STD_PRODUCT* pStdProduct, const char* szProduct,
                                const char* szFieldName, const char* szOutFile) {
    static const char* const kFunction = "fnWriteStdProductVyqComp240";
    if (!argumentsGiven(pStdProduct, szProduct, szFieldName, szOutFile)) {
        return 0;
    }
    Resampling rs;
    const Grid grid = productGrid(pStdProduct, szProduct, 0, szFieldName);
    if (!grid || !makeResampling(pStdProduct->m_product_hdr, kShape240, kFunction, &rs)) {
        return 0;
    }
    const size_t cells = static_cast<size_t>(kShape240.rows) * kShape240.cols;
    std::vector<signed char> bytes(cells);
    std::vector<unsigned char> mask(cells);
    byteLevel(grid, rs, std::strcmp(szProduct, "VIL") == 0, false, bytes.data(), mask.data());
    GzipOutput out(kFunction, szOutFile);
    return out.open() && out.write(bytes.data(), bytes.size()) && out.commit() ? 1 : 0;
}

int fnWriteStdProductVyqComp480(STD_PRODUCT* pStdProduct, const char* szProduct,
                                const char* szFieldName, const char* szOutFile) {
    static const char* const kFunction = "fnWriteStdProductVyqComp480";
    if (!argumentsGiven(pStdProduct, szProduct, szFieldName, szOutFile)) {
        return 0;
    }
    Resampling rs;
    const Grid grid = productGrid(pStdProduct, szProduct, 0, szFieldName);
    if (!grid || !makeResampling(pStdProduct->m_product_hdr, kShape480, kFunction, &rs)) {
        return 0;
    }
    const bool bRain = isReflectivity(szFieldName);
    const int rows = kShape480.rows;
    const int cols = kShape480.cols;
    const size_t cells = static_cast<size_t>(rows) * cols;
    std::vector<float> values(cells);
    std::vector<unsigned char> mask(cells);
    // Little-endian on every host: the bytes the existing readers were written against.
    const bool bSwap = !fnIsLittleEndian();
    for (int k = 0; k < rows; ++k) {
        const int i = rows - 1 - k;
        for (int j = 0; j < cols; ++j) {
            const size_t at = static_cast<size_t>(k) * cols + j;
            const float v = cellAt(grid, rs, i, j);
            const bool out = isOutBound(v);
            values[at] = out           ? RDR_GRID_OUT_BOUND
                         : isNoData(v) ? RDR_GRID_NO_DATA
                                       : rainOrValue(v, bRain);
            mask[at] = out ? 0 : 1;
            if (bSwap) {
                fnSwap4Byte(&values[at]);
            }
        }
    }
    GzipOutput out(kFunction, szOutFile);
    return out.open() && out.write(values.data(), cells * sizeof(float)) &&
                   out.write(mask.data(), mask.size()) && out.commit()
               ? 1
               : 0;
}

int fnWriteStdProductVyqCompKCJ(STD_PRODUCT* pStdProduct, const char* szProduct,
                                const char* szFieldName, const char* szOutFile) {
    static const char* const kFunction = "fnWriteStdProductVyqCompKCJ";
    if (!argumentsGiven(pStdProduct, szProduct, szFieldName, szOutFile)) {
        return 0;
    }
    Resampling rs;
    const Grid grid = productGrid(pStdProduct, szProduct, 0, szFieldName);
    if (!grid || !makeResampling(pStdProduct->m_product_hdr, kShapeKcj, kFunction, &rs)) {
        return 0;
    }
    const bool bRain = isReflectivity(szFieldName);
    const int rows = kShapeKcj.rows;
    const int cols = kShapeKcj.cols;
    std::vector<unsigned char> bytes(static_cast<size_t>(rows) * cols * 2);
    for (int k = 0; k < rows; ++k) {
        const int i = rows - 1 - k;
        unsigned char* dst = bytes.data() + static_cast<size_t>(k) * cols * 2;
        for (int j = 0; j < cols; ++j) {
            const float v = cellAt(grid, rs, i, j);
            const short s = isOutBound(v) ? kShortOutBound
                            : isNoData(v) ? kShortNoData
                                          : hundredths(v, bRain);
            // Big-endian whatever the host.
            const auto u = static_cast<unsigned short>(s);
            dst[2 * j] = static_cast<unsigned char>(u >> 8);
            dst[2 * j + 1] = static_cast<unsigned char>(u & 0xff);
        }
    }
    GzipOutput out(kFunction, szOutFile);
    return out.open() && out.write(bytes.data(), bytes.size()) && out.commit() ? 1 : 0;
}

int fnWriteStdProductVyqComp3D(STD_PRODUCT* pStdProduct, const char* szProduct,
                               const char* szFieldName, int iCappiCnt, const char* szOutFile) {
    static const char* const kFunction = "fnWriteStdProductVyqComp3D";
    int nDatasets = 0;
    if (!argumentsGiven(pStdProduct, szProduct, szFieldName, szOutFile) || iCappiCnt < 1 ||
        fnFindDsetStdProduct(pStdProduct, szProduct, &nDatasets) == nullptr ||
        iCappiCnt > nDatasets) {
        return 0;
    }
    Resampling rs;
    if (!makeResampling(pStdProduct->m_product_hdr, kShape240, kFunction, &rs)) {
        return 0;
    }
    const size_t cells = static_cast<size_t>(kShape240.rows) * kShape240.cols;
    std::vector<signed char> bytes(cells);
    std::vector<unsigned char> mask(cells);
    GzipOutput out(kFunction, szOutFile);
    if (!out.open()) {
        return 0;
    }
    for (int k = 0; k < iCappiCnt; ++k) {
        const Grid grid = productGrid(pStdProduct, szProduct, k, szFieldName);
        if (!grid) {
            return 0;  // the stream is dropped with its temporary file
        }
        byteLevel(grid, rs, false, true, bytes.data(), mask.data());
        if (!out.write(bytes.data(), bytes.size())) {
            return 0;
        }
    }
    return out.write(mask.data(), mask.size()) && out.commit() ? 1 : 0;
}
