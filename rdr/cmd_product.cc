// rdr product FILE --product NAME ... -o OUT: computes one product grid from a volume and
// writes it as raw little-endian float32 (row-major, row 0 north) with a text header
// OUT.hdr beside it, so that grids can be inspected before they are drawn.
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
#include "commands.h"
#include "core_utilities.h"
#include "owned_handles.h"
#include "product_dispatch.h"
#include "standard_volume.h"
#include "volume_formats.h"

namespace {

struct Options {
    std::string file;
    std::string product;
    std::string field = "DZ";
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
};

void printUsage(FILE* out) {
    std::fprintf(
        out,
        "usage: rdr product FILE --product NAME [--sweep N] [--height KM] [--field DZ]\n"
        "                   [--size N] [--grid-km G] [--method real|mohr]\n"
        "                   [--kind pseudo|real] [--threshold DBZ] [--bottom KM]\n"
        "                   [--top KM] -o OUT\n"
        "\n"
        "products: %s\n"
        "Writes OUT (float32, little-endian, row-major, row 0 north) and OUT.hdr, each\n"
        "replaced whole. OUT may be - (standard output), a device or a FIFO: the grid\n"
        "is written there in place, without a header.\n"
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
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            printUsage(stdout);
            return -1;
        }
        if (arg[0] != '-' || arg == "-") {
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

// Moment names carried by any ray, for the message about an unknown field.
std::string momentNames(const STD_RADAR* pStd) {
    std::set<std::string> names;
    for (int s = 0; s < pStd->m_iMaxSweep && pStd->m_ppSweep != nullptr; ++s) {
        const STD_SWEEP* sweep = pStd->m_ppSweep[s];
        for (int r = 0; sweep != nullptr && sweep->m_ppRay != nullptr && r < sweep->m_iMaxRay;
             ++r) {
            const STD_RAY* ray = sweep->m_ppRay[r];
            for (int f = 0; ray != nullptr && ray->m_ppField != nullptr && f < ray->m_iMaxField;
                 ++f) {
                if (ray->m_ppField[f] != nullptr) {
                    names.insert(ray->m_ppField[f]->m_hdr.m_szFieldName);
                }
            }
        }
    }
    std::string list;
    for (const std::string& n : names) {
        list += (list.empty() ? "" : " ") + n;
    }
    return list.empty() ? "none" : list;
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

}  // namespace

int runProduct(int argc, char** argv) {
    Options opt;
    if (const int status = parseOptions(argc, argv, &opt); status != 0) {
        return status < 0 ? 0 : status;
    }
    if (!fnIsProductName(opt.product.c_str())) {
        std::fprintf(stderr, "rdr product: unknown product '%s' (known: %s)\n", opt.product.c_str(),
                     fnProductNames());
        return 2;
    }

    rdr::StdRadarPtr volume(fnLoadStdRadarFile(opt.file.c_str()));
    if (!volume) {
        std::fprintf(stderr, "rdr product: cannot load %s\n", opt.file.c_str());
        return 1;
    }
    STD_RADAR* pStd = volume.get();
    if (!fnStdRadarHasMoment(pStd, opt.field.c_str())) {
        std::fprintf(stderr, "rdr product: %s has no moment '%s' (moments: %s)\n", opt.file.c_str(),
                     opt.field.c_str(), momentNames(pStd).c_str());
        return 1;
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
    STD_AZIMUTH_TBL** ppTable = tables.get();
    // Radar cell of the PPI layout: row n/2, column (n-1) - n/2.
    GridLayout layout{opt.gridKm, static_cast<double>(n / 2), static_cast<double>((n - 1) - n / 2)};
    RDR_PRODUCT_ARGS args;
    args.szProduct = opt.product.c_str();
    args.szField = opt.field.c_str();
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
    rdr::GridPtr grid(fnCreateProduct(pStd, ppTable, args));
    // Where the radar sits and how big a cell is differ between the products' layouts.
    if (opt.product == "CAPPI" && opt.mohr) {
        layout.centreRow = layout.centreCol = 0.5 * (n - 1);
    } else if ((opt.product == "CAPPI" && !opt.mohr) || opt.product == "VIL") {
        layout.cellKm = static_cast<float>(maxRangeKm / (0.5 * n));
    }
    if (!grid) {
        std::fprintf(stderr, "rdr product: %s of %s failed\n", opt.product.c_str(),
                     opt.file.c_str());
        return 1;
    }

    const size_t cells = static_cast<size_t>(n) * static_cast<size_t>(n);
    size_t withData = 0;
    for (size_t i = 0; i < cells; ++i) {
        withData += grid.get()[i] != -9999.0f && grid.get()[i] != -9998.0f;
    }
    if (!fnIsLittleEndian()) {
        for (size_t i = 0; i < cells; ++i) {
            fnSwap4Byte(grid.get() + i);
        }
    }
    // A device or FIFO (or standard output) has no place for a header beside it.
    bool inPlace = false;
    if (!writeOutput(opt.out, grid.get(), cells * sizeof(float), &inPlace)) {
        return 1;
    }
    char geometry[256];
    std::snprintf(geometry, sizeof geometry,
                  "rows %d\ncolumns %d\ncell_km %.6g\ncentre_row %.1f\ncentre_column %.1f\n", n, n,
                  layout.cellKm, layout.centreRow, layout.centreCol);
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
