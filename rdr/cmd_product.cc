// rdr product FILE --product NAME ... -o OUT: computes one product grid from a volume and
// writes it in one of the export formats: by default raw little-endian float32 (row-major,
// row 0 north) with a text header OUT.hdr beside it, so that grids can be inspected before
// they are drawn; CSV archives of the product; or, placed on a composite grid, the packed
// grids that composite readers take.
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "atomic_file.h"
#include "bufr_output.h"
#include "commands.h"
#include "core_utilities.h"
#include "csv_output.h"
#include "grib_output.h"
#include "grid_codes.h"
#include "hdf5_output.h"
#include "info_tables.h"
#include "owned_handles.h"
#include "packed_grid_output.h"
#include "product_dispatch.h"
#include "site_on_composite.h"
#include "standard_product.h"
#include "standard_volume.h"
#include "volume_choice.h"
#include "volume_formats.h"

namespace {

struct Options {
    std::string file;
    std::string product;
    std::string field;  // empty: the volume's first reflectivity moment
    std::string out;
    int sweep = 0;
    float heightKm = 1.5f;
    int size = 1000;
    float gridKm = 1.0f;
    bool mohr = false;
    int kind = RDR_EN_PSEUDO_CAPPI;
    float thresholdDbz = 18.0f;
    int bottomKm = 0;
    int topKm = 15;
    std::string format = "f32";
    std::string compositeGrid;   // empty: the site grid
    std::vector<float> heights;  // every --height, in order
};

// The composite grids a site product can be placed on, for the packed and CSV exports. Every
// packed file starts at the north-west corner of the 1 km national composite, which is where
// the composite readers place all of them (the 3 km files too); the grid covers the file's
// own rows and columns from there.
struct CompositeGridKind {
    const char* name;
    float gridKm;
    int cols;
    int rows;
    bool levels;  // a stack of CAPPI levels
    int (*packed)(STD_PRODUCT*, const char*, const char*, const char*);
    int (*csv)(STD_PRODUCT*, const char*, const char*, const char*);
};

// The image kind whose corner every packed grid starts at.
constexpr const char* kCompositeCornerKind = "COMP_240";

constexpr CompositeGridKind kCompositeGrids[] = {
    {"comp240", 1.0f, 960, 1200, false, fnWriteStdProductVyqComp240, fnWriteStdProductCsvComp240},
    {"comp480", 3.0f, 526, 576, false, fnWriteStdProductVyqComp480, fnWriteStdProductCsvComp480},
    {"kcj", 3.0f, 751, 1101, false, fnWriteStdProductVyqCompKCJ, fnWriteStdProductCsvCompKCJ},
    {"comp3d", 1.0f, 960, 1200, true, nullptr, nullptr},
};

const CompositeGridKind* findCompositeGrid(const std::string& name) {
    for (const CompositeGridKind& kind : kCompositeGrids) {
        if (name == kind.name) {
            return &kind;
        }
    }
    return nullptr;
}

void printUsage(FILE* out) {
    std::fprintf(
        out,
        "usage: rdr product FILE --product NAME [--sweep N] [--height KM] [--field F]\n"
        "                   [--size N] [--grid-km G] [--method real|mohr]\n"
        "                   [--kind pseudo|real] [--threshold DBZ] [--bottom KM]\n"
        "                   [--top KM] [--format f32|csv|odim|bufr|grib]\n"
        "                   [--composite-grid comp240|comp480|kcj|comp3d] -o OUT\n"
        "\n"
        "products: %s\n"
        "--field names the moment (default: the first reflectivity moment the volume has,\n"
        "DZ, CZ, then the others); RN is rain rate from reflectivity (Z = 200 R^1.6).\n"
        "--format f32 (default) writes OUT (float32, little-endian, row-major, row 0\n"
        "north) and OUT.hdr, each replaced whole. OUT may be - (standard output), a\n"
        "device or a FIFO: the grid is written there in place, without a header.\n"
        "--format csv writes a zip archive OUT (OUT.zip when OUT does not end in .zip) of\n"
        "comma-separated text, values with two decimals; several --height values give\n"
        "one text of all the CAPPI levels. --format odim writes an ODIM HDF5 product\n"
        "file, --format bufr one BUFR message and --format grib a GRIB 2 file of one\n"
        "message per dataset (the site product, or on --composite-grid).\n"
        "--composite-grid places the product on a national composite grid and writes its\n"
        "packed gzip grid (f32) or its CSV archive: comp240 (1 km), comp480 and kcj\n"
        "(3 km), comp3d (1 km CAPPI levels of every --height given, 1 to 10 km by\n"
        "default). There the values are those a product container keeps (DZ, CZ and VR\n"
        "in whole units, VIL and ETOP in tenths).\n"
        "The grid is SIZE x SIZE cells of G km around the radar; --height is above\n"
        "the radar (real CAPPI) or above sea level (Mohr CAPPI); ETOP counts echo\n"
        "above --threshold (18 dBZ); VIL sums 1 km layers from --bottom (0) to --top (15).\n",
        fnProductNames());
}

bool parseInt(const char* text, int lo, int hi, int* pValue) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < lo || v > hi) {
        return false;
    }
    *pValue = static_cast<int>(v);
    return true;
}

bool parseFloat(const char* text, float lo, float hi, float* pValue) {
    char* end = nullptr;
    errno = 0;
    const float v = std::strtof(text, &end);
    if (errno != 0 || end == text || *end != '\0' || !std::isfinite(v) || v < lo || v > hi) {
        return false;
    }
    *pValue = v;
    return true;
}

// Returns 0 when parsed, else the exit status.
int parseOptions(int argc, char** argv, Options* pOpt) {
    bool optionsDone = false;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!optionsDone && arg == "--") {
            optionsDone = true;
            continue;
        }
        if (!optionsDone && (arg == "-h" || arg == "--help")) {
            printUsage(stdout);
            return -1;
        }
        if (optionsDone || arg[0] != '-' || arg == "-") {
            if (!pOpt->file.empty()) {
                std::fprintf(stderr, "rdr product: one input file only ('%s')\n", argv[i]);
                return 2;
            }
            pOpt->file = arg;
            continue;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "rdr product: option '%s' needs a value\n", argv[i]);
            return 2;
        }
        const char* value = argv[++i];
        bool ok = true;
        if (arg == "--product") {
            pOpt->product = value;
            for (char& c : pOpt->product) {
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            }
        } else if (arg == "--field") {
            pOpt->field = value;
            ok = !pOpt->field.empty() && pOpt->field.size() < 9;
        } else if (arg == "-o" || arg == "--output") {
            pOpt->out = value;
        } else if (arg == "--sweep") {
            ok = parseInt(value, 0, 100000, &pOpt->sweep);
        } else if (arg == "--height") {
            ok = parseFloat(value, -1.0f, 30.0f, &pOpt->heightKm);
            pOpt->heights.push_back(pOpt->heightKm);
        } else if (arg == "--size") {
            ok = parseInt(value, 1, 10000, &pOpt->size);
        } else if (arg == "--grid-km") {
            ok = parseFloat(value, 0.01f, 100.0f, &pOpt->gridKm);
        } else if (arg == "--threshold") {
            ok = parseFloat(value, -100.0f, 100.0f, &pOpt->thresholdDbz);
        } else if (arg == "--bottom") {
            ok = parseInt(value, 0, 30, &pOpt->bottomKm);
        } else if (arg == "--top") {
            ok = parseInt(value, 1, 30, &pOpt->topKm);
        } else if (arg == "--method") {
            ok = std::strcmp(value, "real") == 0 || std::strcmp(value, "mohr") == 0;
            pOpt->mohr = std::strcmp(value, "mohr") == 0;
        } else if (arg == "--kind") {
            ok = std::strcmp(value, "pseudo") == 0 || std::strcmp(value, "real") == 0;
            pOpt->kind = std::strcmp(value, "real") == 0 ? RDR_EN_REAL_CAPPI : RDR_EN_PSEUDO_CAPPI;
        } else if (arg == "--format") {
            pOpt->format = value;
        } else if (arg == "--composite-grid") {
            pOpt->compositeGrid = value;
            ok = findCompositeGrid(value) != nullptr;
        } else {
            std::fprintf(stderr, "rdr product: unknown option '%s'\n", argv[i - 1]);
            return 2;
        }
        if (!ok) {
            std::fprintf(stderr, "rdr product: bad value '%s' for %s\n", value, arg.c_str());
            return 2;
        }
    }
    if (pOpt->file.empty() || pOpt->product.empty() || pOpt->out.empty()) {
        printUsage(stderr);
        return 2;
    }
    return 0;
}

// Replaces path with the buffer as a whole (see atomic_file.h). *pInPlace tells whether
// path was "-" (standard output), a device or a FIFO, written in place.
bool writeOutput(const std::string& path, const void* data, size_t bytes, bool* pInPlace) {
    if (path == "-") {
        *pInPlace = true;
        if (std::fwrite(data, 1, bytes, stdout) != bytes || std::fflush(stdout) != 0) {
            std::fprintf(stderr, "rdr product: cannot write to standard output (%s)\n",
                         std::strerror(errno));
            return false;
        }
        return true;
    }
    AtomicFile file;
    const bool opened = file.open(path);
    *pInPlace = opened && file.inPlace();
    if (!opened || !file.write(data, bytes) || !file.commit()) {
        std::fprintf(stderr, "rdr product: cannot write %s (%s)\n", path.c_str(),
                     file.error().c_str());
        return false;
    }
    return true;
}

struct GridLayout {
    float cellKm;
    double centreRow;
    double centreCol;
};

// What every writer takes: the options, the volume and the product grids (one per CAPPI
// level, else one), n x n cells around the radar.
struct ProductGrids {
    const Options& opt;
    STD_RADAR* pStd;
    std::vector<rdr::GridPtr> grids;
    std::vector<float> levelsKm;  // the CAPPI height of each grid
    int n;
    GridLayout layout;
};

// The raw grid of today's f32 output, with OUT.hdr beside it.
int writeRawGrid(const ProductGrids& g) {
    const Options& opt = g.opt;
    const int n = g.n;
    float* grid = g.grids[0].get();
    const size_t cells = static_cast<size_t>(n) * static_cast<size_t>(n);
    size_t withData = 0;
    for (size_t i = 0; i < cells; ++i) {
        withData += grid[i] != -9999.0f && grid[i] != -9998.0f;
    }
    std::vector<float> bytes(grid, grid + cells);
    if (!fnIsLittleEndian()) {
        for (float& v : bytes) {
            fnSwap4Byte(&v);
        }
    }
    // A device or FIFO (or standard output) has no place for a header beside it.
    bool inPlace = false;
    if (!writeOutput(opt.out, bytes.data(), cells * sizeof(float), &inPlace)) {
        return 1;
    }
    char geometry[256];
    std::snprintf(geometry, sizeof geometry,
                  "rows %d\ncolumns %d\ncell_km %.6g\ncentre_row %.1f\ncentre_column %.1f\n", n, n,
                  g.layout.cellKm, g.layout.centreRow, g.layout.centreCol);
    std::string header =
        "source " + opt.file + "\nproduct " + opt.product + "\nfield " + opt.field + "\n";
    if (opt.product == "ETOP" || opt.product == "VIL") {
        header += opt.product == "ETOP" ? "unit km\n" : "unit kg/m2\n";
    }
    header += geometry;
    header +=
        "no_data -9999\nout_of_range -9998\ntype float32\nbyte_order little-endian\n"
        "layout row-major, row 0 north, column 0 west\ncells_with_data " +
        std::to_string(withData) + "\n";
    bool headerInPlace = false;
    if (!inPlace && !writeOutput(opt.out + ".hdr", header.data(), header.size(), &headerInPlace)) {
        return 1;
    }
    // Standard output may be carrying the grid.
    std::fprintf(inPlace ? stderr : stdout, "%s: %s %s %dx%d, %zu cells with data\n",
                 opt.out.c_str(), opt.product.c_str(), opt.field.c_str(), n, n, withData);
    return 0;
}

// The field a product is kept under in the container: the moment it was made from, except
// for VIL and ETOP, whose values are no longer that moment's.
std::string storedField(const Options& opt) {
    return opt.product == "VIL" || opt.product == "ETOP" ? opt.product : opt.field;
}

// The grids in a standard product: on the site grid, or placed on a composite grid. A PPI
// is kept at the index of its sweep, so that exported names carry it.
rdr::StdProductPtr productContainer(const ProductGrids& g, const CompositeGridKind* pKind) {
    const Options& opt = g.opt;
    const int nLevels = static_cast<int>(g.grids.size());
    const int index0 = opt.product == "PPI" ? opt.sweep : 0;
    const int count = index0 + nLevels;
    const auto family = [&](const char* name) { return opt.product == name ? count : 0; };
    rdr::StdProductPtr product(fnInitStdProduct(1, family("PPI"), family("CAPPI"), family("BASE"),
                                                family("CMAX"), family("VIL"), family("ETOP")));
    if (!product) {
        return product;
    }
    CompositeFrame frame;
    std::vector<int32_t> placement;
    if (pKind != nullptr) {
        RDR_IMG_INFO_TBL img{};
        fnGetImgSizeInfo(kCompositeCornerKind, &img);
        frame = compositeFrame(img, pKind->gridKm);
        // The origin is counted from the southern edge: growing the grid southwards keeps
        // the north-west corner where it is.
        frame.fYo += static_cast<float>(pKind->rows - frame.iYdim);
        frame.iYo += pKind->rows - frame.iYdim;
        frame.iXdim = pKind->cols;
        frame.iYdim = pKind->rows;
        placement = siteCellsOnComposite(g.pStd, g.n, opt.gridKm, frame);
        const std::string when = formatStoredTime(g.pStd->m_hdr.m_tConvertTime, "%Y%m%d%H%M");
        if (fnSetStdProductCompHdr(product.get(), "MAX", when.c_str(), frame.iYdim, frame.iXdim,
                                   frame.fGridKm, frame.iXo, frame.iYo) != 1) {
            return nullptr;
        }
    } else if (fnSetStdProductSiteHdr(g.pStd, product.get(), g.n, g.n, g.layout.cellKm) != 1) {
        return nullptr;
    }
    const std::string field = storedField(opt);
    for (int k = 0; k < nLevels; ++k) {
        double arg1 = 0.0;
        double arg2 = 0.0;
        if (opt.product == "PPI") {
            arg1 = std::round(sweepAngle(g.pStd, opt.sweep) * 100.0) / 100.0;
        } else if (opt.product == "CAPPI") {
            arg1 = g.levelsKm[static_cast<size_t>(k)];
        } else if (opt.product == "ETOP") {
            arg1 = opt.thresholdDbz;
        } else if (opt.product == "VIL") {
            arg1 = opt.bottomKm;
            arg2 = opt.topKm;
        }
        const float* cells = g.grids[static_cast<size_t>(k)].get();
        std::vector<float> placed;
        int ydim = g.n;
        int xdim = g.n;
        if (pKind != nullptr) {
            placed = placeOnComposite(cells, placement);
            cells = placed.data();
            ydim = frame.iYdim;
            xdim = frame.iXdim;
        }
        if (fnAddStdProductToData(product.get(), opt.product.c_str(), index0 + k, arg1, arg2,
                                  field.c_str(), cells, ydim, xdim) != 1) {
            return nullptr;
        }
    }
    return product;
}

// The spacing of evenly spaced levels, for the 3-D text's z_grid_km; 0 when uneven.
float levelSpacingKm(const std::vector<float>& levels) {
    if (levels.size() < 2) {
        return 0.0f;
    }
    const float step = levels[1] - levels[0];
    for (size_t k = 1; k < levels.size(); ++k) {
        if (step <= 0.0f || std::fabs(levels[k] - levels[k - 1] - step) > 1e-4f) {
            return 0.0f;
        }
    }
    return step;
}

bool endsWith(const std::string& s, const std::string& end) {
    return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

// A name format that yields name + "_<field>[_number].csv" whatever characters the name has.
std::string csvNameFormat(const std::string& name, const std::string& product) {
    std::string format;
    for (char c : name) {
        format += c == '%' ? std::string("%%") : std::string(1, c);
    }
    format += "_%s";
    if (product == "PPI") {
        format += "_%02d";
    } else if (product == "CAPPI") {
        format += "_%03d";
    }
    return format + ".csv";
}

int reportWritten(const ProductGrids& g, const std::string& path, bool ok) {
    if (!ok) {
        std::fprintf(stderr,
                     "rdr: %s: the %s export was not written (the reason is above) "
                     "[check the folder and the free space]\n",
                     path.c_str(), g.opt.format.c_str());
        return 1;
    }
    std::printf("%s: %s %s, %zu level%s\n", path.c_str(), g.opt.product.c_str(),
                storedField(g.opt).c_str(), g.grids.size(), g.grids.size() == 1 ? "" : "s");
    return 0;
}

// f32: the raw grid, or on a composite grid its packed gzip grid.
int writeF32(const ProductGrids& g) {
    const CompositeGridKind* pKind = findCompositeGrid(g.opt.compositeGrid);
    if (pKind == nullptr) {
        return writeRawGrid(g);
    }
    const rdr::StdProductPtr product = productContainer(g, pKind);
    const std::string field = storedField(g.opt);
    const char* family = g.opt.product.c_str();
    const char* out = g.opt.out.c_str();
    const bool ok =
        product &&
        (pKind->levels ? fnWriteStdProductVyqComp3D(product.get(), family, field.c_str(),
                                                    static_cast<int>(g.grids.size()), out)
                       : pKind->packed(product.get(), family, field.c_str(), out)) == 1;
    return reportWritten(g, g.opt.out, ok);
}

// The header of a site product: size, cell, radar position.
STD_PRODUCT_HDR siteHeader(const ProductGrids& g) {
    STD_PRODUCT_HDR hdr{};
    const rdr::StdProductPtr product(fnInitStdProduct(1, 0, 0, 0, 0, 0, 0));
    if (product && fnSetStdProductSiteHdr(g.pStd, product.get(), g.n, g.n, g.layout.cellKm) == 1) {
        hdr = product->m_product_hdr;
    }
    return hdr;
}

// csv: on the site grid the computed values as they are (a product container would keep DZ
// in whole dBZ); on a composite grid the container's cells, as composite readers know them.
int writeCsv(const ProductGrids& g) {
    const Options& opt = g.opt;
    const CompositeGridKind* pKind = findCompositeGrid(opt.compositeGrid);
    // The writers add ".zip" to the name they are given.
    const std::string base =
        endsWith(opt.out, ".zip") ? opt.out.substr(0, opt.out.size() - 4) : opt.out;
    const std::string field = storedField(opt);
    const char* family = opt.product.c_str();
    const int nLevels = static_cast<int>(g.grids.size());
    int written = 0;
    if (pKind == nullptr) {
        const STD_PRODUCT_HDR hdr = siteHeader(g);
        if (nLevels > 1) {
            std::vector<const float*> levels;
            for (const rdr::GridPtr& grid : g.grids) {
                levels.push_back(grid.get());
            }
            written = writeCsvSite3DGrids(hdr, levels, levelSpacingKm(g.levelsKm), base.c_str());
        } else {
            const size_t slash = base.rfind('/');
            const std::string name = slash == std::string::npos ? base : base.substr(slash + 1);
            const std::vector<CsvSiteGrid> grids = {{field.c_str(),
                                                     opt.product == "PPI" ? opt.sweep : 0,
                                                     g.levelsKm[0], g.grids[0].get()}};
            written = writeCsvSiteGrids(hdr, family, grids,
                                        csvNameFormat(name, opt.product).c_str(), base.c_str());
        }
        return reportWritten(g, base + ".zip", written == 1);
    }
    const rdr::StdProductPtr product = productContainer(g, pKind);
    if (product && pKind->levels) {
        written = fnWriteStdProductCsvComp3D(product.get(), family, field.c_str(), nLevels,
                                             levelSpacingKm(g.levelsKm), base.c_str());
    } else if (product) {
        written = pKind->csv(product.get(), family, field.c_str(), base.c_str());
    }
    return reportWritten(g, base + ".zip", written == 1);
}

// odim: the product container as an ODIM HDF5 product file (site, or on a composite grid).
int writeOdim(const ProductGrids& g) {
    const CompositeGridKind* pKind = findCompositeGrid(g.opt.compositeGrid);
    const rdr::StdProductPtr product = productContainer(g, pKind);
    // The sync-down moves the grids out of the container: nothing reads it afterwards.
    HDF_PRODUCT* pHdf = product ? fnStdProductSyncDownHdf(product.get()) : nullptr;
    const bool ok = pHdf != nullptr && fnWriteHdfProduct(pHdf, g.opt.out.c_str()) == 1;
    fnFreeHdfProduct(pHdf);
    return reportWritten(g, g.opt.out, ok);
}

// bufr: the product container as one BUFR message (site, or on a composite grid).
int writeBufr(const ProductGrids& g) {
    const CompositeGridKind* pKind = findCompositeGrid(g.opt.compositeGrid);
    const rdr::StdProductPtr product = productContainer(g, pKind);
    // The sync-down moves the grids out of the container: nothing reads it afterwards.
    BUFR_PRODUCT* pBufr = product ? fnStdProductSyncDownBufr(product.get()) : nullptr;
    const bool ok = pBufr != nullptr && fnWriteBufrProduct(pBufr, g.opt.out.c_str()) == 1;
    fnFreeBufrProduct(pBufr);
    return reportWritten(g, g.opt.out, ok);
}

// grib: the product's family as a GRIB 2 file of one message per dataset (site, or on a
// composite grid).
int writeGrib(const ProductGrids& g) {
    const CompositeGridKind* pKind = findCompositeGrid(g.opt.compositeGrid);
    const rdr::StdProductPtr product = productContainer(g, pKind);
    // The sync-down moves the grids out of the container: nothing reads it afterwards.
    GRIB_PRODUCT* pGrib = product ? fnStdProductSyncDownGrib(product.get()) : nullptr;
    const bool ok = pGrib != nullptr &&
                    fnWriteGribProduct(pGrib, g.opt.product.c_str(), g.opt.out.c_str()) == 1;
    fnFreeGribProduct(pGrib);
    return reportWritten(g, g.opt.out, ok);
}

// One row per output format; a row without a writer is named but refused until it has one.
struct OutputFormat {
    const char* name;
    int (*write)(const ProductGrids&);
};

constexpr OutputFormat kFormats[] = {
    {"f32", writeF32},   {"csv", writeCsv},   {"odim", writeOdim},
    {"bufr", writeBufr}, {"grib", writeGrib},
};

std::string formatNames(bool bAvailable) {
    std::string names;
    for (const OutputFormat& f : kFormats) {
        if (!bAvailable || f.write != nullptr) {
            names += (names.empty() ? "" : ", ") + std::string(f.name);
        }
    }
    return names;
}

// The requested format's row, or null with the message printed.
const OutputFormat* chosenFormat(const Options& opt) {
    for (const OutputFormat& f : kFormats) {
        if (opt.format == f.name) {
            if (f.write == nullptr) {
                std::fprintf(stderr, "rdr product: --format %s is not available yet (use %s)\n",
                             f.name, formatNames(true).c_str());
                return nullptr;
            }
            return &f;
        }
    }
    std::fprintf(stderr, "rdr product: unknown format '%s' (%s)\n", opt.format.c_str(),
                 formatNames(false).c_str());
    return nullptr;
}

// Everything about the output the user can get wrong, before the volume is read. 0, or the
// exit status with the message printed.
int checkOutputRequest(Options* pOpt) {
    const bool bRawGrid = pOpt->format == "f32" && pOpt->compositeGrid.empty();
    const CompositeGridKind* pKind = findCompositeGrid(pOpt->compositeGrid);
    if (pKind != nullptr && pKind->levels) {
        if (pOpt->product != "CAPPI") {
            std::fprintf(stderr,
                         "rdr product: --composite-grid comp3d stacks CAPPI levels; "
                         "use --product CAPPI\n");
            return 2;
        }
        if (pOpt->heights.empty()) {
            for (int km = 1; km <= 10; ++km) {
                pOpt->heights.push_back(static_cast<float>(km));
            }
        }
    }
    if (pOpt->heights.size() > 1) {
        if (pOpt->product != "CAPPI" || bRawGrid || (pKind != nullptr && !pKind->levels)) {
            std::fprintf(stderr,
                         "rdr product: --height is given more than once; several "
                         "levels need --product CAPPI and --format csv or "
                         "--composite-grid comp3d\n");
            return 2;
        }
        if (pOpt->format == "csv" && levelSpacingKm(pOpt->heights) <= 0.0f) {
            std::fprintf(stderr,
                         "rdr product: the CSV of several levels needs evenly spaced, "
                         "rising --height values\n");
            return 2;
        }
    }
    if (!bRawGrid && pOpt->out == "-") {
        std::fprintf(stderr,
                     "rdr product: only the float32 grid can go to standard output; "
                     "name a file with -o\n");
        return 2;
    }
    if (pOpt->product == "PPI" && !bRawGrid && pOpt->sweep >= 99) {
        std::fprintf(stderr, "rdr product: exports hold sweeps 0 to 98; --sweep %d is beyond\n",
                     pOpt->sweep);
        return 2;
    }
    return 0;
}

std::string withProductSuffix(const std::string& out, const std::string& product) {
    const size_t dot = out.rfind('.');
    const size_t slash = out.rfind('/');
    const bool hasExt = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return hasExt ? out.substr(0, dot) + "_" + product + out.substr(dot) : out + "_" + product;
}

// Several --product: one run per product, each written to OUT with _PRODUCT added before
// its extension (as rdr image names them). -1 when there is only one product.
int runEachProduct(int argc, char** argv) {
    std::vector<std::string> products;
    int outIndex = -1;
    for (int i = 0; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) {
            break;
        }
        if (std::strcmp(argv[i], "--product") == 0) {
            products.emplace_back(argv[++i]);
        } else if (std::strcmp(argv[i], "-o") == 0 || std::strcmp(argv[i], "--output") == 0) {
            outIndex = ++i;
        }
    }
    if (products.size() < 2 || outIndex < 0) {
        return -1;
    }
    const std::string out = argv[outIndex];
    int status = 0;
    for (const std::string& product : products) {
        std::vector<std::string> args;
        bool productGiven = false;
        for (int i = 0; i < argc; ++i) {
            if (std::strcmp(argv[i], "--product") == 0 && i + 1 < argc) {
                if (!productGiven) {
                    args.push_back("--product");
                    args.push_back(product);
                    productGiven = true;
                }
                ++i;
                continue;
            }
            args.emplace_back(i == outIndex ? withProductSuffix(out, product) : argv[i]);
        }
        std::vector<char*> argvOne;
        for (std::string& a : args) {
            argvOne.push_back(a.data());
        }
        const int one = runProduct(static_cast<int>(argvOne.size()), argvOne.data());
        status = std::max(status, one);
    }
    return status;
}

}  // namespace

int runProduct(int argc, char** argv) {
    if (const int status = runEachProduct(argc, argv); status >= 0) {
        return status;
    }
    Options opt;
    if (const int status = parseOptions(argc, argv, &opt); status != 0) {
        return status < 0 ? 0 : status;
    }
    if (!fnIsProductName(opt.product.c_str())) {
        std::fprintf(stderr, "rdr product: unknown product '%s' (known: %s)\n", opt.product.c_str(),
                     fnProductNames());
        return 2;
    }
    const OutputFormat* format = chosenFormat(opt);
    if (format == nullptr) {
        return 2;
    }
    if (const int status = checkOutputRequest(&opt); status != 0) {
        return status;
    }

    // Only the moment the product is made of is read (every reflectivity name when none is
    // named, or when the product is made of reflectivity whatever the field).
    const std::vector<std::string> moments = momentsToLoad(
        opt.field == "RN" ? std::string() : opt.field,
        opt.field.empty() || opt.field == "RN" || fnIsReflectivityProduct(opt.product.c_str()));
    const char* szFormat = nullptr;
    VolumeLoadNotes notes;
    rdr::StdRadarPtr volume(fnLoadStdRadarFile(opt.file.c_str(), &szFormat, &notes, &moments));
    if (!volume) {
        reportLoadFailure(opt.file, szFormat);
        return 1;
    }
    reportDamage(opt.file, notes);
    STD_RADAR* pStd = volume.get();
    if (const std::string why = planViewRefusal(pStd); !why.empty()) {
        std::fprintf(stderr, "rdr: %s: %s has no %s product [rdr info shows its sweeps]\n",
                     opt.file.c_str(), why.c_str(), opt.product.c_str());
        return 1;
    }
    // Rain rate is made from reflectivity; the grid is converted once it is computed.
    const bool bRain = opt.field == "RN";
    const std::string named = bRain ? std::string() : opt.field;
    const std::string source = named.empty() ? defaultField(pStd) : named;
    if (source.empty() || !fnStdRadarHasMoment(pStd, source.c_str())) {
        std::fprintf(stderr, "rdr: %s: no moment %s (it has: %s) [name one with --field]\n",
                     opt.file.c_str(),
                     named.empty() ? "of reflectivity to take by default" : named.c_str(),
                     fileMomentNames(opt.file.c_str()).c_str());
        return 1;
    }
    if (opt.field.empty()) {
        opt.field = source;
    }
    if (opt.product == "PPI" && opt.sweep >= pStd->m_iMaxSweep) {
        std::fprintf(stderr, "rdr product: %s has %d sweeps; --sweep %d is out of range\n",
                     opt.file.c_str(), pStd->m_iMaxSweep, opt.sweep);
        return 2;
    }
    if (opt.product == "VIL" && opt.topKm <= opt.bottomKm) {
        std::fprintf(stderr, "rdr product: --top must be above --bottom\n");
        return 2;
    }
    rdr::MatrixPtr<STD_AZIMUTH_TBL> tables(fnMakeAllHashTable(pStd), pStd->m_iMaxSweep);
    if (!tables) {
        std::fprintf(stderr, "rdr product: cannot build the azimuth tables of %s\n",
                     opt.file.c_str());
        return 1;
    }

    const int n = opt.size;
    const float maxRangeKm = 0.5f * n * opt.gridKm;
    // Radar cell of the PPI layout: row n/2, column (n-1) - n/2.
    GridLayout layout{opt.gridKm, static_cast<double>(n / 2), static_cast<double>((n - 1) - n / 2)};
    RDR_PRODUCT_ARGS args;
    args.szProduct = opt.product.c_str();
    args.szField = source.c_str();
    args.iXdim = args.iYdim = n;
    args.fMaxRangeKm = maxRangeKm;
    args.fGridKm = opt.gridKm;
    args.iSweep = opt.sweep;
    args.fHeightKm = opt.heightKm;
    args.bMohrCappi = opt.mohr;
    args.iCappiKind = opt.kind;
    args.fEtopDbz = opt.thresholdDbz;
    args.iVilBottomKm = opt.bottomKm;
    args.iVilTopKm = opt.topKm;
    // Where the radar sits and how big a cell is differ between the products' layouts.
    if (opt.product == "CAPPI" && opt.mohr) {
        layout.centreRow = layout.centreCol = 0.5 * (n - 1);
    } else if ((opt.product == "CAPPI" && !opt.mohr) || opt.product == "VIL") {
        layout.cellKm = static_cast<float>(maxRangeKm / (0.5 * n));
    }
    ProductGrids g{opt, pStd, {}, {}, n, layout};
    // One grid, or one per CAPPI level.
    g.levelsKm = opt.heights.size() > 1 ? opt.heights : std::vector<float>{opt.heightKm};
    for (float heightKm : g.levelsKm) {
        args.fHeightKm = heightKm;
        g.grids.emplace_back(fnCreateProduct(pStd, tables.get(), args));
        if (!g.grids.back()) {
            std::fprintf(stderr, "rdr product: %s of %s failed\n", opt.product.c_str(),
                         opt.file.c_str());
            return 1;
        }
        if (bRain && opt.product != "VIL" && opt.product != "ETOP") {
            float* cells = g.grids.back().get();
            for (size_t i = 0; i < static_cast<size_t>(n) * n; ++i) {
                if (cells[i] != RDR_GRID_NO_DATA && cells[i] != RDR_GRID_OUT_BOUND) {
                    cells[i] = static_cast<float>(fnDbzToRainF(cells[i], 200.0f, 1.6f));
                }
            }
        }
    }
    return format->write(g);
}
