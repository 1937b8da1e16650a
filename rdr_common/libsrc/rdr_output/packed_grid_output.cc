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

// How one level's cells become the bytes of a 1 km kind: 240 codes outside as -128, 3-D as 0
// (with mask 0); both code no data as -127.
struct ByteCoding {
    bool vil;
    bool threeD;
    signed char outCode() const { return threeD ? 0 : kByteOutBound; }
    signed char code(float v) const {
        return isOutBound(v) ? outCode() : isNoData(v) ? kByteNoEcho : byteValue(v, vil);
    }
};

// One level in file order (southern row first) from the float grid; the mask too when
// pMask is not null.
void byteLevel(const Grid& grid, const Resampling& rs, const ByteCoding& coding, signed char* pOut,
               unsigned char* pMask) {
    const int rows = kShape240.rows;
    const int cols = kShape240.cols;
    const int* colIdx = rs.cols.data();
    for (int k = 0; k < rows; ++k) {
        signed char* dst = pOut + static_cast<size_t>(k) * cols;
        unsigned char* mask = pMask != nullptr ? pMask + static_cast<size_t>(k) * cols : nullptr;
        const int r = rs.rows[static_cast<size_t>(rows - 1 - k)];
        const float* src = r >= 0 ? grid[r] : nullptr;
        for (int j = 0; j < cols; ++j) {
            const int c = colIdx[j];
            const float v = src != nullptr && c >= 0 ? src[c] : RDR_GRID_OUT_BOUND;
            dst[j] = coding.code(v);
            if (mask != nullptr) {
                mask[j] = isOutBound(v) ? 0 : 1;
            }
        }
    }
}

// A level kept in 8 bits, read without unpacking every cell to float: each of the 256
// stored bytes is decoded once, by the product's own reader, and coded once. The 3-D grid
// of ten levels spends most of its time otherwise on float grids of 4.6 MB per level.
struct ByteTable {
    char** rows = nullptr;
    signed char code[256];
    unsigned char mask[256];
};

bool byteTable(STD_PRODUCT* pStdProduct, const char* szProduct, int iIdx, const char* szFieldName,
               const ByteCoding& coding, ByteTable* pTable) {
    int nDatasets = 0;
    STD_PRODUCT_DATASET** ppDatasets = fnFindDsetStdProduct(pStdProduct, szProduct, &nDatasets);
    if (ppDatasets == nullptr || iIdx >= nDatasets || ppDatasets[iIdx] == nullptr) {
        return false;
    }
    const int slot = fnGetStdDataIdx(ppDatasets[iIdx], szFieldName);
    const STD_PRODUCT_DATA* pSlot = slot >= 0 ? ppDatasets[iIdx]->m_ppProductData[slot] : nullptr;
    if (pSlot == nullptr || pSlot->m_iMemType != RDR_EN_MEM_CHAR || pSlot->m_ppData_c == nullptr) {
        return false;
    }
    // A 1 x 256 product of the same field whose stored bytes are 0..255, read back.
    rdr::StdProductPtr probe(fnInitStdProduct(1, 1, 0, 0, 0, 0, 0));
    if (!probe) {
        return false;
    }
    probe->m_product_hdr.m_lYsize = 1;
    probe->m_product_hdr.m_lXsize = 256;
    const std::vector<float> zeros(256, 0.0f);
    if (fnAddStdProductToData(probe.get(), "PPI", 0, 0.0, 0.0, szFieldName, zeros.data(), 1, 256) !=
        1) {
        return false;
    }
    STD_PRODUCT_DATA* pProbe = probe->m_totalProduct.m_ppPpi[0]->m_ppProductData[0];
    if (pProbe->m_iMemType != RDR_EN_MEM_CHAR || pProbe->m_ppData_c == nullptr) {
        return false;
    }
    for (int b = 0; b < 256; ++b) {
        pProbe->m_ppData_c[0][b] = static_cast<char>(b);
    }
    const Grid decoded(fnGetStdProductDataByIdx(probe.get(), "PPI", 0, szFieldName), 1);
    if (!decoded) {
        return false;
    }
    for (int b = 0; b < 256; ++b) {
        const float v = decoded[0][b];
        pTable->code[b] = coding.code(v);
        pTable->mask[b] = isOutBound(v) ? 0 : 1;
    }
    pTable->rows = pSlot->m_ppData_c;
    return true;
}

void byteLevel(const ByteTable& table, const Resampling& rs, const ByteCoding& coding,
               signed char* pOut, unsigned char* pMask) {
    const int rows = kShape240.rows;
    const int cols = kShape240.cols;
    const int* colIdx = rs.cols.data();
    // Columns taken one to one from the product (a grid of the output's cell size) need no
    // index; they are most of the grid.
    int direct = 0;
    while (direct < cols && colIdx[direct] == direct) {
        ++direct;
    }
    for (int k = 0; k < rows; ++k) {
        signed char* dst = pOut + static_cast<size_t>(k) * cols;
        unsigned char* mask = pMask != nullptr ? pMask + static_cast<size_t>(k) * cols : nullptr;
        const int r = rs.rows[static_cast<size_t>(rows - 1 - k)];
        if (r < 0) {
            std::memset(dst, static_cast<unsigned char>(coding.outCode()),
                        static_cast<size_t>(cols));
            if (mask != nullptr) {
                std::memset(mask, 0, static_cast<size_t>(cols));
            }
            continue;
        }
        const auto* src = reinterpret_cast<const unsigned char*>(table.rows[r]);
        for (int j = 0; j < direct; ++j) {
            dst[j] = table.code[src[j]];
        }
        for (int j = direct; j < cols; ++j) {
            const int c = colIdx[j];
            dst[j] = c >= 0 ? table.code[src[c]] : coding.outCode();
        }
        if (mask == nullptr) {
            continue;
        }
        for (int j = 0; j < direct; ++j) {
            mask[j] = table.mask[src[j]];
        }
        for (int j = direct; j < cols; ++j) {
            const int c = colIdx[j];
            mask[j] = c >= 0 ? table.mask[src[c]] : 0;
        }
    }
}

// One level of a 1 km kind, through the byte table when the field is kept in 8 bits. False
// when the level is not there.
bool codeLevel(STD_PRODUCT* pStdProduct, const char* szProduct, int iIdx, const char* szFieldName,
               const Resampling& rs, const ByteCoding& coding, signed char* pOut,
               unsigned char* pMask) {
    ByteTable table;
    if (byteTable(pStdProduct, szProduct, iIdx, szFieldName, coding, &table)) {
        byteLevel(table, rs, coding, pOut, pMask);
        return true;
    }
    const Grid grid = productGrid(pStdProduct, szProduct, iIdx, szFieldName);
    if (!grid) {
        return false;
    }
    byteLevel(grid, rs, coding, pOut, pMask);
    return true;
}

}  // namespace

int fnWriteStdProductVyqComp240(STD_PRODUCT* pStdProduct, const char* szProduct,
                                const char* szFieldName, const char* szOutFile) {
    static const char* const kFunction = "fnWriteStdProductVyqComp240";
    if (!argumentsGiven(pStdProduct, szProduct, szFieldName, szOutFile)) {
        return 0;
    }
    Resampling rs;
    if (!makeResampling(pStdProduct->m_product_hdr, kShape240, kFunction, &rs)) {
        return 0;
    }
    const size_t cells = static_cast<size_t>(kShape240.rows) * kShape240.cols;
    std::vector<signed char> bytes(cells);
    std::vector<unsigned char> mask(cells);
    const ByteCoding coding{std::strcmp(szProduct, "VIL") == 0, false};
    if (!codeLevel(pStdProduct, szProduct, 0, szFieldName, rs, coding, bytes.data(), mask.data())) {
        return 0;
    }
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
    const ByteCoding coding{false, true};
    for (int k = 0; k < iCappiCnt; ++k) {
        // Only the last level's mask is written.
        unsigned char* pMask = k + 1 == iCappiCnt ? mask.data() : nullptr;
        if (!codeLevel(pStdProduct, szProduct, k, szFieldName, rs, coding, bytes.data(), pMask) ||
            !out.write(bytes.data(), bytes.size())) {
            return 0;  // the stream is dropped with its temporary file
        }
    }
    return out.write(mask.data(), mask.size()) && out.commit() ? 1 : 0;
}
