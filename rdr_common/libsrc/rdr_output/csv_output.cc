#include "csv_output.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core_utilities.h"
#include "internal/csv_output_archive.h"
#include "internal/export_cells.h"
#include "owned_handles.h"

namespace {

using namespace rdr_export;

constexpr size_t kMaxNameLength = 1023;

using Grid = rdr::MatrixPtr<float>;

Grid productGrid(STD_PRODUCT* pStdProduct, const char* szProduct, int iIdx,
                 const char* szFieldName) {
    return Grid(fnGetStdProductDataByIdx(pStdProduct, szProduct, iIdx, szFieldName),
                static_cast<int>(pStdProduct->m_product_hdr.m_lYsize));
}

__attribute__((format(printf, 2, 3))) void appendf(std::string* pText, const char* szFormat, ...) {
    char line[512];
    va_list args;
    va_start(args, szFormat);
    const int n = std::vsnprintf(line, sizeof line, szFormat, args);
    va_end(args);
    if (n > 0) {
        pText->append(line, std::min(static_cast<size_t>(n), sizeof line - 1));
    }
}

// "%d" and "%.2f" without a format string per cell; the digits are printf's.
void appendInt(std::string* pText, int v) {
    char digits[16];
    const auto r = std::to_chars(digits, digits + sizeof digits, v);
    pText->append(digits, r.ptr);
}

void appendFixed2(std::string* pText, float v) {
    char digits[64];
    const auto r = std::to_chars(digits, digits + sizeof digits, static_cast<double>(v),
                                 std::chars_format::fixed, 2);
    if (r.ec == std::errc()) {
        pText->append(digits, r.ptr);
    } else {
        appendf(pText, "%.2f", static_cast<double>(v));
    }
}

// Appends the rows of a grid, each cell turned into text by cell(row, column, text),
// separated by commas and each row ended with CRLF; bottom-up from the last row or top-down.
template <typename Cell>
void appendRows(std::string* pText, long ydim, long xdim, bool bBottomUp, Cell cell) {
    for (long k = 0; k < ydim; ++k) {
        const long r = bBottomUp ? ydim - 1 - k : k;
        for (long c = 0; c < xdim; ++c) {
            cell(r, c, pText);
            pText->append(c + 1 < xdim ? "," : "\r\n");
        }
    }
}

bool argumentsGiven(STD_PRODUCT* pStdProduct, const char* szProduct, const char* szFieldName,
                    const char* szOutFile) {
    return pStdProduct != nullptr && szProduct != nullptr && szFieldName != nullptr &&
           szFieldName[0] != '\0' && szOutFile != nullptr && szOutFile[0] != '\0';
}

// Header lines every composite kind starts with.
void appendCompositeSize(std::string* pText, const STD_PRODUCT_HDR& hdr) {
    appendf(pText, "xdim=%ld\r\nydim=%ld\r\n", hdr.m_lXsize, hdr.m_lYsize);
}

void appendLowerLeft(std::string* pText, const STD_PRODUCT_HDR& hdr) {
    appendf(pText, "lat=%f\r\nlon=%f\r\n", hdr.m_LL_lat, hdr.m_LL_lon);
}

// szOutFile + ".zip" holding the one text under szOutFile's last part.
int archiveOne(const char* szFunction, const char* szOutFile, std::string text) {
    std::vector<ArchiveEntry> entries(1);
    entries[0].name = entryName(szOutFile);
    entries[0].text = std::move(text);
    const std::string archive = std::string(szOutFile) + ".zip";
    std::string why;
    if (entries[0].name.empty()) {
        why = "names a folder";
    } else if (writeZipArchive(archive, entries, &why)) {
        return 1;
    }
    rdrError(szFunction, ("cannot write " + archive + " (" + why + ")").c_str());
    return 0;
}

enum { kKind240, kKind480, kKindKcj };

int writeCompositeLevel(STD_PRODUCT* pStdProduct, const char* szProduct, const char* szFieldName,
                        const char* szOutFile, const char* szFunction, int iKind) {
    if (!argumentsGiven(pStdProduct, szProduct, szFieldName, szOutFile)) {
        return 0;
    }
    const Grid grid = productGrid(pStdProduct, szProduct, 0, szFieldName);
    if (!grid) {
        return 0;
    }
    const STD_PRODUCT_HDR& hdr = pStdProduct->m_product_hdr;
    const long ydim = hdr.m_lYsize;
    const long xdim = hdr.m_lXsize;
    std::string text;
    text.reserve(static_cast<size_t>(ydim * xdim) * (iKind == kKind240 ? 4 : 8) + 256);
    appendCompositeSize(&text, hdr);
    appendLowerLeft(&text, hdr);
    appendf(&text, "grid=%f\r\n", hdr.m_dXscale);
    if (iKind == kKind240) {
        appendf(&text, "no_echo_val=%d\r\nout_bound_val=%d\r\n\r\n", kByteNoEcho, kByteOutBound);
        const bool bVil = std::strcmp(szProduct, "VIL") == 0;
        appendRows(&text, ydim, xdim, true, [&](long r, long c, std::string* t) {
            const float v = grid[r][c];
            appendInt(t, isOutBound(v) ? kByteOutBound
                         : isNoData(v) ? kByteNoEcho
                                       : byteValue(v, bVil));
        });
        return archiveOne(szFunction, szOutFile, std::move(text));
    }
    const bool bRain = isReflectivity(szFieldName);
    if (iKind == kKind480) {
        appendf(&text,
                "no_echo_val=%f\r\nin_bound_pos=%d\r\nout_bound_pos=%d\r\nradar_center=%d\r\n\r\n",
                static_cast<double>(RDR_GRID_NO_DATA), 1, 0, 2);
        // Both codes read -9999 here; the mask tells outside from no echo.
        appendRows(&text, ydim, xdim, true, [&](long r, long c, std::string* t) {
            const float v = grid[r][c];
            appendFixed2(t,
                         isOutBound(v) || isNoData(v) ? RDR_GRID_NO_DATA : rainOrValue(v, bRain));
        });
        text.append("\r\n");
        appendRows(&text, ydim, xdim, true, [&](long r, long c, std::string* t) {
            t->push_back(isOutBound(grid[r][c]) ? '0' : '1');
        });
        return archiveOne(szFunction, szOutFile, std::move(text));
    }
    appendf(&text, "no_echo_val=%f\r\nout_bound_val=%f\r\n\r\n",
            static_cast<double>(RDR_GRID_NO_DATA), static_cast<double>(RDR_GRID_OUT_BOUND));
    appendRows(&text, ydim, xdim, true, [&](long r, long c, std::string* t) {
        const float v = grid[r][c];
        appendFixed2(t, isOutBound(v) ? RDR_GRID_OUT_BOUND
                        : isNoData(v) ? RDR_GRID_NO_DATA
                                      : rainOrValue(v, bRain));
    });
    return archiveOne(szFunction, szOutFile, std::move(text));
}

}  // namespace

int fnWriteStdProductCsvComp240(STD_PRODUCT* pStdProduct, const char* szProduct,
                                const char* szFieldName, const char* szOutFile) {
    return writeCompositeLevel(pStdProduct, szProduct, szFieldName, szOutFile,
                               "fnWriteStdProductCsvComp240", kKind240);
}

int fnWriteStdProductCsvComp480(STD_PRODUCT* pStdProduct, const char* szProduct,
                                const char* szFieldName, const char* szOutFile) {
    return writeCompositeLevel(pStdProduct, szProduct, szFieldName, szOutFile,
                               "fnWriteStdProductCsvComp480", kKind480);
}

int fnWriteStdProductCsvCompKCJ(STD_PRODUCT* pStdProduct, const char* szProduct,
                                const char* szFieldName, const char* szOutFile) {
    return writeCompositeLevel(pStdProduct, szProduct, szFieldName, szOutFile,
                               "fnWriteStdProductCsvCompKCJ", kKindKcj);
}

namespace {

// The levels of a 3-D writer, datasets 0 to iCappiCnt - 1; empty when one is missing.
std::vector<Grid> levelGrids(STD_PRODUCT* pStdProduct, const char* szProduct,
                             const char* szFieldName, int iCappiCnt) {
    std::vector<Grid> levels;
    int nDatasets = 0;
    if (iCappiCnt < 1 || fnFindDsetStdProduct(pStdProduct, szProduct, &nDatasets) == nullptr ||
        iCappiCnt > nDatasets) {
        return levels;
    }
    for (int k = 0; k < iCappiCnt; ++k) {
        levels.push_back(productGrid(pStdProduct, szProduct, k, szFieldName));
        if (!levels.back()) {
            levels.clear();
            break;
        }
    }
    return levels;
}

}  // namespace

int fnWriteStdProductCsvComp3D(STD_PRODUCT* pStdProduct, const char* szProduct,
                               const char* szFieldName, int iCappiCnt, float fCrossGridKm,
                               const char* szOutFile) {
    if (!argumentsGiven(pStdProduct, szProduct, szFieldName, szOutFile)) {
        return 0;
    }
    const std::vector<Grid> levels = levelGrids(pStdProduct, szProduct, szFieldName, iCappiCnt);
    if (levels.empty()) {
        return 0;
    }
    const STD_PRODUCT_HDR& hdr = pStdProduct->m_product_hdr;
    std::string text;
    text.reserve(static_cast<size_t>(hdr.m_lYsize * hdr.m_lXsize) * 4 * (levels.size() + 1));
    appendCompositeSize(&text, hdr);
    appendf(&text, "zdim=%d\r\n", iCappiCnt);
    appendLowerLeft(&text, hdr);
    appendf(&text, "xy_grid_km=%f\r\nz_grid_km=%f\r\n", hdr.m_dXscale,
            static_cast<double>(fCrossGridKm));
    appendf(&text,
            "no_echo_val=%d\r\nin_bound_pos=%d\r\nout_bound_pos=%d\r\nradar_center=%d\r\n\r\n",
            kByteNoEcho, 1, 0, 2);
    for (const Grid& grid : levels) {
        appendRows(&text, hdr.m_lYsize, hdr.m_lXsize, true, [&](long r, long c, std::string* t) {
            const float v = grid[r][c];
            appendInt(t, isOutBound(v) || isNoData(v) ? kByteNoEcho : byteValue(v, false));
        });
        text.append("\r\n");
    }
    text.append("\r\n");
    const Grid& last = levels.back();
    appendRows(&text, hdr.m_lYsize, hdr.m_lXsize, true, [&](long r, long c, std::string* t) {
        t->push_back(isOutBound(last[r][c]) ? '0' : '1');
    });
    return archiveOne("fnWriteStdProductCsvComp3D", szOutFile, std::move(text));
}

namespace {

// A float grid either as a container's rows or as one row-major block.
struct GridView {
    float* const* rows = nullptr;
    const float* cells = nullptr;
    long xdim = 0;
    float at(long r, long c) const { return rows != nullptr ? rows[r][c] : cells[r * xdim + c]; }
};

int writeSite3D(const STD_PRODUCT_HDR& hdr, const std::vector<GridView>& levels, float fCrossGridKm,
                const char* szOutFile) {
    std::string text;
    text.reserve(static_cast<size_t>(hdr.m_lYsize * hdr.m_lXsize) * 8 * levels.size());
    appendCompositeSize(&text, hdr);
    appendf(&text, "zdim=%d\r\nlat=%f\r\nlon=%f\r\n", static_cast<int>(levels.size()), hdr.m_dLat,
            hdr.m_dLon);
    appendf(&text, "xy_grid_km=%f\r\nz_grid_km=%f\r\n", hdr.m_dXscale,
            static_cast<double>(fCrossGridKm));
    appendf(&text, "no_echo_val=%f\r\nout_bound_val=%f\r\n\r\n",
            static_cast<double>(RDR_GRID_NO_DATA), static_cast<double>(RDR_GRID_OUT_BOUND));
    for (const GridView& grid : levels) {
        appendRows(&text, hdr.m_lYsize, hdr.m_lXsize, false,
                   [&](long r, long c, std::string* t) { appendFixed2(t, grid.at(r, c)); });
        text.append("\r\n");
    }
    return archiveOne("fnWriteStdProductCsvSite3D", szOutFile, std::move(text));
}

bool sizeGiven(const STD_PRODUCT_HDR& hdr) {
    return hdr.m_lXsize > 0 && hdr.m_lYsize > 0;
}

}  // namespace

int fnWriteStdProductCsvSite3D(STD_PRODUCT* pStdProduct, const char* szProduct,
                               const char* szFieldName, int iCappiCnt, float fCrossGridKm,
                               const char* szOutFile) {
    if (!argumentsGiven(pStdProduct, szProduct, szFieldName, szOutFile)) {
        return 0;
    }
    const std::vector<Grid> levels = levelGrids(pStdProduct, szProduct, szFieldName, iCappiCnt);
    if (levels.empty()) {
        return 0;
    }
    std::vector<GridView> views;
    for (const Grid& grid : levels) {
        views.push_back(GridView{grid.get(), nullptr, 0});
    }
    return writeSite3D(pStdProduct->m_product_hdr, views, fCrossGridKm, szOutFile);
}

int writeCsvSite3DGrids(const STD_PRODUCT_HDR& hdr, const std::vector<const float*>& levels,
                        float fCrossGridKm, const char* szOutFile) {
    std::vector<GridView> views;
    for (const float* cells : levels) {
        if (cells == nullptr) {
            return 0;
        }
        views.push_back(GridView{nullptr, cells, hdr.m_lXsize});
    }
    if (views.empty() || !sizeGiven(hdr) || szOutFile == nullptr || szOutFile[0] == '\0') {
        return 0;
    }
    return writeSite3D(hdr, views, fCrossGridKm, szOutFile);
}

namespace {

// Checks a caller's name format: exactly one "%s" (the field name) and, only when a number
// follows, one integer conversion after it. Anything else would read arguments that are not
// there, so the format is refused rather than handed to printf.
bool acceptNameFormat(const char* szFormat, bool bNumber, std::string* pWhy) {
    int nText = 0;
    int nNumber = 0;
    for (const char* p = szFormat; *p != '\0'; ++p) {
        if (*p != '%') {
            continue;
        }
        ++p;
        if (*p == '%') {
            continue;
        }
        while (*p != '\0' && std::strchr("-+ #0", *p) != nullptr) {
            ++p;
        }
        int nDigits = 0;
        while (*p >= '0' && *p <= '9') {
            ++p;
            ++nDigits;
        }
        if (*p == '.') {
            ++p;
            while (*p >= '0' && *p <= '9') {
                ++p;
                ++nDigits;
            }
        }
        if (nDigits > 3) {
            *pWhy = "a width or precision beyond three digits";
            return false;
        }
        if (*p == 's' && nText == 0 && nNumber == 0) {
            ++nText;
        } else if ((*p == 'd' || *p == 'i') && nText == 1 && nNumber == 0 && bNumber) {
            ++nNumber;
        } else {
            *pWhy = bNumber ? "it must hold one %s and may then hold one %d"
                            : "it must hold one %s and, for this product, no number";
            return false;
        }
    }
    if (nText != 1) {
        *pWhy = "it holds no %s for the field name";
        return false;
    }
    return true;
}

// Height of a CAPPI in tenths of a km: 2.3 km is 23 though 2.3 * 10 is 22.999999...
int tenths(double dHeightKm) {
    return static_cast<int>(dHeightKm * 10.0 + (dHeightKm < 0.0 ? -1e-6 : 1e-6));
}

}  // namespace

namespace {

// One site text to make: a field of a dataset and its grid (null when it cannot be read).
struct SiteText {
    std::string field;
    int datasetIdx;
    double prodpar;
    GridView grid;
    bool readable;
};

// The texts of one family in szOutFile + ".zip", named by the checked format. 1 when every
// text was made and the archive written.
int writeSiteTexts(const STD_PRODUCT_HDR& hdr, const char* szProduct,
                   const std::vector<SiteText>& sources, const char* szCsvFormat,
                   const char* szOutFile) {
    static const char* const kFunction = "fnWriteStdProductCsvSite";
    const bool bPpi = std::strcmp(szProduct, "PPI") == 0;
    const bool bCappi = std::strcmp(szProduct, "CAPPI") == 0;
    std::string why;
    if (!acceptNameFormat(szCsvFormat, bPpi || bCappi, &why)) {
        rdrError(
            kFunction,
            ("the name format \"" + std::string(szCsvFormat) + "\" is refused: " + why).c_str());
        return 0;
    }
    bool bAllMade = true;
    std::vector<ArchiveEntry> entries;
    for (const SiteText& source : sources) {
        const int number = bPpi ? source.datasetIdx : tenths(source.prodpar);
        char szName[kMaxNameLength + 1];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
        const int n =
            std::snprintf(szName, sizeof szName, szCsvFormat, source.field.c_str(), number);
#pragma GCC diagnostic pop
        ArchiveEntry entry;
        entry.name = n >= 0 && static_cast<size_t>(n) <= kMaxNameLength ? entryName(szName) : "";
        bool bRepeated = false;
        for (const ArchiveEntry& e : entries) {
            bRepeated = bRepeated || e.name == entry.name;
        }
        if (entry.name.empty() || bRepeated || !source.readable) {
            rdrError(kFunction, ("no text for " + source.field + " of " + szProduct + " " +
                                 std::to_string(source.datasetIdx) + ": " +
                                 (!source.readable ? "the grid cannot be read"
                                  : bRepeated      ? "its name " + entry.name + " is repeated"
                                                   : std::string("its name is empty or too long")))
                                    .c_str());
            bAllMade = false;
            continue;
        }
        std::string& text = entry.text;
        text.reserve(static_cast<size_t>(hdr.m_lYsize * hdr.m_lXsize) * 8 + 256);
        appendf(&text, "product=%s\r\ndata_type=%s\r\n", szProduct, source.field.c_str());
        appendf(&text, "xdim=%d\r\nydim=%d\r\n", static_cast<int>(hdr.m_lXsize),
                static_cast<int>(hdr.m_lYsize));
        appendf(&text, "lat=%f\r\nlon=%f\r\ngrid=%f\r\n", hdr.m_dLat, hdr.m_dLon, hdr.m_dXscale);
        appendf(&text, "no_echo_val=%f\r\nout_bound_val=%f\r\n\r\n",
                static_cast<double>(RDR_GRID_NO_DATA), static_cast<double>(RDR_GRID_OUT_BOUND));
        const GridView& grid = source.grid;
        appendRows(&text, hdr.m_lYsize, hdr.m_lXsize, false,
                   [&](long r, long c, std::string* t) { appendFixed2(t, grid.at(r, c)); });
        entries.push_back(std::move(entry));
    }
    const std::string archive = std::string(szOutFile) + ".zip";
    if (!writeZipArchive(archive, entries, &why)) {
        rdrError(kFunction, ("cannot write " + archive + " (" + why + ")").c_str());
        return 0;
    }
    return bAllMade ? 1 : 0;
}

}  // namespace

int fnWriteStdProductCsvSite(STD_PRODUCT* pStdProduct, const char* szProduct,
                             const char* szCsvFormat, const char* szOutFile) {
    if (pStdProduct == nullptr || szProduct == nullptr || szCsvFormat == nullptr ||
        szOutFile == nullptr || szOutFile[0] == '\0') {
        return 0;
    }
    int nDatasets = 0;
    STD_PRODUCT_DATASET** ppDatasets = fnFindDsetStdProduct(pStdProduct, szProduct, &nDatasets);
    if (ppDatasets == nullptr) {
        return 0;
    }
    // Every dataset with slots, every named slot, in order; the grids live until written.
    std::vector<Grid> grids;
    std::vector<SiteText> sources;
    for (int d = 0; d < nDatasets; ++d) {
        const STD_PRODUCT_DATASET* pDataset = ppDatasets[d];
        if (pDataset == nullptr || pDataset->m_ppProductData == nullptr) {
            continue;
        }
        for (int f = 0; f < pDataset->m_iMaxField; ++f) {
            const STD_PRODUCT_DATA* pSlot = pDataset->m_ppProductData[f];
            if (pSlot == nullptr || pSlot->m_szFieldName[0] == '\0') {
                continue;
            }
            const std::string field(pSlot->m_szFieldName, strnlen(pSlot->m_szFieldName, 8));
            grids.push_back(productGrid(pStdProduct, szProduct, d, field.c_str()));
            sources.push_back(SiteText{field, d, pDataset->m_dProdpar[0],
                                       GridView{grids.back().get(), nullptr, 0},
                                       static_cast<bool>(grids.back())});
        }
    }
    return writeSiteTexts(pStdProduct->m_product_hdr, szProduct, sources, szCsvFormat, szOutFile);
}

int writeCsvSiteGrids(const STD_PRODUCT_HDR& hdr, const char* szProduct,
                      const std::vector<CsvSiteGrid>& grids, const char* szCsvFormat,
                      const char* szOutFile) {
    if (szProduct == nullptr || szCsvFormat == nullptr || szOutFile == nullptr ||
        szOutFile[0] == '\0' || !sizeGiven(hdr)) {
        return 0;
    }
    std::vector<SiteText> sources;
    for (const CsvSiteGrid& g : grids) {
        if (g.szFieldName == nullptr || g.szFieldName[0] == '\0') {
            return 0;
        }
        sources.push_back(SiteText{g.szFieldName, g.iDatasetIdx, g.dProdpar,
                                   GridView{nullptr, g.pCells, hdr.m_lXsize}, g.pCells != nullptr});
    }
    return writeSiteTexts(hdr, szProduct, sources, szCsvFormat, szOutFile);
}
