// rdr image: draws product images of a radar volume. The volume is loaded once, its azimuth
// hash tables built once, and each --product is computed, gathered into a STD_PRODUCT and
// written through the product-image functions.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "cappi_product.h"
#include "column_products.h"
#include "commands.h"
#include "core_utilities.h"
#include "info_tables.h"
#include "map_projections.h"
#include "owned_handles.h"
#include "ppi_grid.h"
#include "product_dispatch.h"
#include "product_image_maker.h"
#include "resource_root.h"
#include "section_image_command.h"
#include "site_on_composite.h"
#include "standard_product.h"
#include "standard_volume.h"
#include "time_zone_option.h"
#include "vil_product.h"
#include "volume_choice.h"
#include "volume_formats.h"

namespace {

struct ImageArgs {
    std::string input;
    std::vector<std::string> products;
    std::vector<std::string> outputs;
    std::string field;   // empty: the volume's first reflectivity moment
    std::string format;  // empty: from the output name, else PNG
    std::string site;
    std::string kind;
    std::string qc = "NOQC";
    std::string cappiMethod = "mohr";
    int cappiKind = RDR_EN_PSEUDO_CAPPI;
    int cells = 0;  // grid cells across; 0: from the range and the cell size
    int sweep = -1;
    float elevation = NAN;
    float heightKm = 1.5f;
    float etopThreshold = 18.0f;
    int vilBottomKm = 0;
    int vilTopKm = 15;
    float gridKm = 0.0f;       // 0: range / 240, so the grid has 480 cells across
    float rangeKm = 0.0f;      // 0: the volume's range, at most 240 km
    float maxHeightKm = 0.0f;  // RHI and TH: top of the panel; 0: automatic
    int width = 0;
    int height = 0;
    int smooth = 0;
    bool rings = false;
    bool graticule = false;
    bool directions = false;
    bool stations = false;
    bool timings = false;
    DisplayZone zone = DisplayZone::kKst;  // of the title's time
};

void printUsage(FILE* out) {
    std::fprintf(out,
                 "usage: rdr image FILE --product NAME [--product NAME ...] [options] -o OUT\n"
                 "\n"
                 "Draws product images of a radar volume (UF or CF/Radial). The product\n"
                 "options are those of rdr product.\n"
                 "  --product NAME     PPI, CAPPI, BASE, CMAX, VIL or ETOP (repeatable; the\n"
                 "                     volume is loaded once); RHI: range-height image of an\n"
                 "                     RHI sweep (--sweep N, default 0); TH: time-height\n"
                 "                     image of a vertically pointing volume\n"
                 "  --field F          moment to draw (default: the first reflectivity moment,\n"
                 "                     DZ, CZ, then the others); RN draws rain rate from\n"
                 "                     reflectivity. VIL and ETOP always use reflectivity.\n"
                 "  --sweep N          PPI sweep index (default 0, the lowest)\n"
                 "  --elevation DEG    PPI of the sweep nearest this angle\n"
                 "  --height KM        CAPPI height (default 1.5; above sea level for the\n"
                 "                     mohr method, above the radar for real)\n"
                 "  --method mohr|real CAPPI method (default mohr: interpolated)\n"
                 "  --kind pseudo|real mohr CAPPI below the lowest sweep: lowest sweep (pseudo,\n"
                 "                     default) or no data\n"
                 "  --threshold DBZ    ETOP reflectivity threshold (default 18)\n"
                 "  --bottom KM --top KM  VIL layer (default 0 to 15)\n"
                 "  --grid-km G        cell size (default range / 240: 1 km at 240 km)\n"
                 "  --size N           cells across (default 2 x range / cell size)\n"
                 "  --range KM         product range (default the volume's, at most 240); RHI:\n"
                 "                     farthest distance drawn (default the sweep's reach)\n"
                 "  --max-height KM    RHI and TH: top of the image (default the highest\n"
                 "                     beam, at most 20 km)\n"
                 "  --image-kind KIND  SITE_240 or SITE_480 (default by the grid), or a\n"
                 "                     composite kind COMP_240, COMP_480 or COMP_KCJ: the site\n"
                 "                     product on the national grid with its map\n"
                 "  --qc LABEL         quality-control label of composite titles (NOQC)\n"
                 "  --format png|gif|jpeg  (default from OUT's extension, else png)\n"
                 "  --pixels WxH       resample the finished image to W x H pixels (--size\n"
                 "                     WxH is taken too; --size N counts cells, as in\n"
                 "                     rdr product)\n"
                 "  --smooth N         smoothing passes over the echo (default 0)\n"
                 "  --rings            range rings labelled in km: every 100 km, or closer\n"
                 "                     in a window too small for a 100 km ring\n"
                 "  --graticule        latitude/longitude lines, labelled, spaced to suit\n"
                 "                     the window (site image kinds)\n"
                 "  --directions --stations  direction lines, stations\n"
                 "  --site CODE        site label of the title (default the volume's site)\n"
                 "  --tz UTC|KST|local zone of the title's time (default KST)\n"
                 "  --timings          print the time of each stage on standard error\n"
                 "  -o OUT             output file; with several products give one -o per\n"
                 "                     product, or one name that gets _PRODUCT added\n");
}

bool parseFloat(const char* sz, float* pOut) {
    char* end = nullptr;
    const float f = std::strtof(sz, &end);
    if (end == sz || *end != '\0' || !std::isfinite(f)) {
        return false;
    }
    *pOut = f;
    return true;
}

bool parseInt(const char* sz, int* pOut) {
    char* end = nullptr;
    const long v = std::strtol(sz, &end, 10);
    if (end == sz || *end != '\0' || v < -1000000 || v > 1000000) {
        return false;
    }
    *pOut = static_cast<int>(v);
    return true;
}

std::string upper(std::string s) {
    for (char& c : s) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return s;
}

// Returns 0 when parsed, else the exit status (after a message).
int parseArgs(int argc, char** argv, ImageArgs* a) {
    bool optionsDone = false;
    for (int i = 0; i < argc; ++i) {
        const std::string opt = argv[i];
        if (!optionsDone && opt == "--") {
            optionsDone = true;
            continue;
        }
        auto value = [&](const char** pOut) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "rdr image: %s needs a value\n", opt.c_str());
                return false;
            }
            *pOut = argv[++i];
            return true;
        };
        const char* v = nullptr;
        bool ok = true;
        if (optionsDone) {
            // Everything after "--" is a file name, however it starts.
            if (!a->input.empty()) {
                std::fprintf(stderr, "rdr image: more than one input file ('%s')\n", opt.c_str());
                return 2;
            }
            a->input = opt;
        } else if (opt == "-h" || opt == "--help") {
            printUsage(stdout);
            return -1;
        } else if (opt == "--rings") {
            a->rings = true;
        } else if (opt == "--graticule") {
            a->graticule = true;
        } else if (opt == "--directions") {
            a->directions = true;
        } else if (opt == "--stations") {
            a->stations = true;
        } else if (opt == "--timings") {
            a->timings = true;
        } else if (opt.size() > 1 && opt[0] == '-') {
            if (!value(&v)) {
                return 2;
            }
            if (opt == "--product") {
                a->products.push_back(upper(v));
            } else if (opt == "-o" || opt == "--output") {
                a->outputs.push_back(v);
            } else if (opt == "--field") {
                a->field = upper(v);
            } else if (opt == "--format") {
                a->format = v;
            } else if (opt == "--tz") {
                ok = parseDisplayZone(v, &a->zone);
            } else if (opt == "--site") {
                a->site = v;
            } else if (opt == "--image-kind") {
                a->kind = upper(v);
            } else if (opt == "--kind") {
                ok = std::strcmp(v, "pseudo") == 0 || std::strcmp(v, "real") == 0;
                a->cappiKind =
                    std::strcmp(v, "real") == 0 ? RDR_EN_REAL_CAPPI : RDR_EN_PSEUDO_CAPPI;
            } else if (opt == "--qc") {
                a->qc = v;
            } else if (opt == "--cappi" || opt == "--method") {
                a->cappiMethod = v;
                ok = a->cappiMethod == "mohr" || a->cappiMethod == "real";
            } else if (opt == "--sweep") {
                ok = parseInt(v, &a->sweep) && a->sweep >= 0;
            } else if (opt == "--elevation") {
                ok = parseFloat(v, &a->elevation);
            } else if (opt == "--height") {
                // The same bounds as rdr product: heights a radar can see.
                ok = parseFloat(v, &a->heightKm) && a->heightKm >= -1.0f && a->heightKm <= 30.0f;
            } else if (opt == "--threshold") {
                ok = parseFloat(v, &a->etopThreshold);
            } else if (opt == "--vil-bottom" || opt == "--bottom") {
                ok = parseInt(v, &a->vilBottomKm) && a->vilBottomKm >= 0 && a->vilBottomKm <= 30;
            } else if (opt == "--vil-top" || opt == "--top") {
                ok = parseInt(v, &a->vilTopKm) && a->vilTopKm >= 1 && a->vilTopKm <= 30;
            } else if (opt == "--grid" || opt == "--grid-km") {
                ok = parseFloat(v, &a->gridKm) && a->gridKm >= 0.05f && a->gridKm <= 10.0f;
            } else if (opt == "--range") {
                ok = parseFloat(v, &a->rangeKm) && a->rangeKm > 0.0f && a->rangeKm <= 2000.0f;
            } else if (opt == "--max-height") {
                ok = parseFloat(v, &a->maxHeightKm) && a->maxHeightKm > 0.0f &&
                     a->maxHeightKm <= 1000.0f;
            } else if (opt == "--smooth") {
                ok = parseInt(v, &a->smooth) && a->smooth >= 0 && a->smooth <= 20;
            } else if (opt == "--size" && std::strchr(v, 'x') == nullptr) {
                ok = parseInt(v, &a->cells) && a->cells >= 2 && a->cells <= 8000;
            } else if (opt == "--size" || opt == "--pixels") {
                ok = std::sscanf(v, "%dx%d", &a->width, &a->height) == 2 && a->width > 0 &&
                     a->height > 0 && a->width <= 10000 && a->height <= 10000;
            } else {
                std::fprintf(stderr, "rdr image: unknown option %s\n", opt.c_str());
                printUsage(stderr);
                return 2;
            }
            if (!ok) {
                std::fprintf(stderr, "rdr image: bad value '%s' for %s\n", v, opt.c_str());
                return 2;
            }
        } else if (a->input.empty()) {
            a->input = opt;
        } else {
            std::fprintf(stderr, "rdr image: more than one input file ('%s')\n", opt.c_str());
            return 2;
        }
    }
    if (a->input.empty() || a->products.empty() || a->outputs.empty()) {
        std::fprintf(stderr, "rdr image: need FILE, --product and -o\n");
        printUsage(stderr);
        return 2;
    }
    if (a->outputs.size() != 1 && a->outputs.size() != a->products.size()) {
        std::fprintf(stderr, "rdr image: give one -o, or one per --product\n");
        return 2;
    }
    return 0;
}

int imageType(const std::string& format, const std::string& out, std::string* pWhy) {
    std::string f = format;
    if (f.empty()) {
        const size_t dot = out.rfind('.');
        f = dot == std::string::npos ? "png" : out.substr(dot + 1);
        for (char& c : f) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        if (f != "gif" && f != "jpg" && f != "jpeg") {
            f = "png";
        }
    }
    if (f == "png") {
        return RDR_EN_IMG_TYPE_PNG;
    }
    if (f == "gif") {
        return RDR_EN_IMG_TYPE_GIF;
    }
    if (f == "jpeg" || f == "jpg") {
        return RDR_EN_IMG_TYPE_JPEG;
    }
    *pWhy = "unknown format '" + format + "' (png, gif or jpeg)";
    return 0;
}

std::string outputFor(const ImageArgs& a, size_t k) {
    if (a.outputs.size() == a.products.size()) {
        return a.outputs[k];
    }
    const std::string& out = a.outputs[0];
    if (a.products.size() == 1) {
        return out;
    }
    const size_t dot = out.rfind('.');
    const size_t slash = out.rfind('/');
    const bool hasExt = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return hasExt ? out.substr(0, dot) + "_" + a.products[k] + out.substr(dot)
                  : out + "_" + a.products[k];
}

// Reflectivity moment of the volume: corrected first.
const char* reflectivityMoment(STD_RADAR* pStd) {
    return fnStdRadarHasMoment(pStd, "CZ")   ? "CZ"
           : fnStdRadarHasMoment(pStd, "DZ") ? "DZ"
                                             : nullptr;
}

double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// One product grid of the volume, the dataset parameters it is filed under and the field
// name it is stored as.
struct ComputedProduct {
    rdr::GridPtr grid;
    double arg1 = 0.0;
    double arg2 = 0.0;
    std::string storedField;
    std::string drawnField;
};

bool computeProduct(const ImageArgs& a, const std::string& product, STD_RADAR* pStd,
                    STD_AZIMUTH_TBL** ppTables, int iDim, float fRangeKm, ComputedProduct* pOut) {
    const bool bColumn = fnIsReflectivityProduct(product.c_str());
    const bool bReflectivity = bColumn || a.field == "RN";
    const char* szMoment = bReflectivity ? reflectivityMoment(pStd) : a.field.c_str();
    if (szMoment == nullptr) {
        std::fprintf(stderr, "rdr image: %s needs reflectivity (CZ or DZ), which %s lacks\n",
                     a.field == "RN" ? "rain rate" : product.c_str(), a.input.c_str());
        return false;
    }
    if (!bReflectivity && !fnStdRadarHasMoment(pStd, szMoment)) {
        std::fprintf(stderr, "rdr: %s: no moment %s (it has: %s) [name one with --field]\n",
                     a.input.c_str(), szMoment, fileMomentNames(a.input.c_str()).c_str());
        return false;
    }
    const std::string source = std::string(szMoment).substr(0, 15);
    pOut->storedField = bColumn ? product : source;
    pOut->drawnField = bColumn ? product : a.field;
    RDR_PRODUCT_ARGS args;
    args.szProduct = product.c_str();
    args.szField = source.c_str();
    args.iXdim = args.iYdim = iDim;
    args.fMaxRangeKm = fRangeKm;
    args.fGridKm = a.gridKm;
    args.fHeightKm = a.heightKm;
    args.bMohrCappi = a.cappiMethod != "real";
    args.iCappiKind = a.cappiKind;
    args.fEtopDbz = a.etopThreshold;
    args.iVilBottomKm = a.vilBottomKm;
    args.iVilTopKm = a.vilTopKm;
    if (product == "PPI") {
        int s = a.sweep >= 0 ? a.sweep : 0;
        if (!std::isnan(a.elevation)) {
            s = sweepNearestElevation(pStd, a.elevation);
            const float took = sweepAngle(pStd, s);
            std::fprintf(stderr, "rdr: %s: --elevation %g takes sweep %d at %.2f degrees%s\n",
                         a.input.c_str(), a.elevation, s, took,
                         std::fabs(took - a.elevation) > 1.0f ? ", the nearest there is" : "");
        }
        if (s >= pStd->m_iMaxSweep) {
            std::fprintf(stderr, "rdr image: no sweep %d (the volume has %d)\n", s,
                         pStd->m_iMaxSweep);
            return false;
        }
        pOut->arg1 = std::round(sweepAngle(pStd, s) * 100.0) / 100.0;
        args.iSweep = s;
    } else if (product == "CAPPI") {
        pOut->arg1 = a.heightKm;
    } else if (product == "ETOP") {
        pOut->arg1 = a.etopThreshold;
    } else if (product == "VIL") {
        pOut->arg1 = a.vilBottomKm;
        pOut->arg2 = a.vilTopKm;
    }
    float* pGrid = fnCreateProduct(pStd, ppTables, args);
    pOut->grid.reset(pGrid);
    if (pGrid == nullptr) {
        std::fprintf(stderr, "rdr image: %s could not be computed\n", product.c_str());
        return false;
    }
    return true;
}

}  // namespace

int runImage(int argc, char** argv) {
    ImageArgs a;
    if (const int rc = parseArgs(argc, argv, &a); rc != 0) {
        return rc < 0 ? 0 : rc;
    }
    // Everything the user can get wrong is checked before the volume is read.
    if (const std::string missing = missingDrawingResources(); !missing.empty()) {
        std::fprintf(stderr,
                     "rdr image: the colour tables, maps and fonts are not there (looked for %s) "
                     "[set RDR_ROOT to the resource tree: build/release/root in a build, "
                     "PREFIX/share/rdr/root when installed]\n",
                     missing.c_str());
        return 1;
    }
    for (const std::string& p : a.products) {
        if (!isSectionProduct(p) && !fnIsProductName(p.c_str())) {
            std::fprintf(stderr, "rdr image: unknown product '%s' (%s, RHI, TH)\n", p.c_str(),
                         fnProductNames());
            return 2;
        }
        if (isSectionProduct(p) != isSectionProduct(a.products[0])) {
            std::fprintf(stderr,
                         "rdr image: RHI and TH images are drawn of other volumes than plan "
                         "views; ask for them in a run of their own\n");
            return 2;
        }
    }
    RDR_DISP_INFO_TBL disp{};
    if (!a.field.empty() && fnGetColorFileInfo(a.field.c_str(), &disp) != 1) {
        std::fprintf(stderr,
                     "rdr image: unknown field '%s' (DZ, CZ, VR, SW, DR, PH, RH, KD, RN, ...)\n",
                     a.field.c_str());
        return 2;
    }
    std::string why;
    std::vector<int> types;
    for (size_t k = 0; k < a.products.size(); ++k) {
        const int t = imageType(a.format, outputFor(a, k), &why);
        if (t == 0) {
            std::fprintf(stderr, "rdr image: %s\n", why.c_str());
            return 2;
        }
        types.push_back(t);
    }
    RDR_IMG_INFO_TBL imgInfo{};
    if (!a.kind.empty() && fnGetImgSizeInfo(a.kind.c_str(), &imgInfo) != 1) {
        std::fprintf(stderr,
                     "rdr image: unknown image kind '%s' (SITE_240, SITE_480, COMP_240, "
                     "COMP_480, COMP_KCJ)\n",
                     a.kind.c_str());
        return 2;
    }
    if (a.graticule && a.kind.rfind("COMP", 0) == 0) {
        std::fprintf(stderr,
                     "rdr image: --graticule draws on the site image kinds (SITE_240, SITE_480), "
                     "not on %s\n",
                     a.kind.c_str());
        return 2;
    }

    PRODUCT_IMAGE_STAGE_TIMES stages{};
    fnSetProductImageStageTimes(&stages);
    auto t = std::chrono::steady_clock::now();
    // Only the moments the products are made of are read.
    bool bReflectivity = a.field.empty() || a.field == "RN";
    for (const std::string& p : a.products) {
        bReflectivity = bReflectivity || fnIsReflectivityProduct(p.c_str());
    }
    const std::vector<std::string> moments =
        momentsToLoad(a.field == "RN" ? std::string() : a.field, bReflectivity);
    const char* szFormat = nullptr;
    VolumeLoadNotes notes;
    rdr::StdRadarPtr volume(fnLoadStdRadarFile(a.input.c_str(), &szFormat, &notes, &moments));
    if (!volume) {
        reportLoadFailure(a.input, szFormat);
        return 1;
    }
    reportDamage(a.input, notes);
    const double tLoad = seconds(t);
    STD_RADAR* pStd = volume.get();
    if (isSectionProduct(a.products[0])) {
        SectionImageRequest section{a.input,       a.products, {},      types,
                                    a.field,       a.site,     a.sweep, a.rangeKm,
                                    a.maxHeightKm, a.width,    a.height};
        for (size_t k = 0; k < a.products.size(); ++k) {
            section.outputs.push_back(outputFor(a, k));
        }
        return drawSectionImages(pStd, section);
    }
    if (const std::string why = planViewRefusal(pStd); !why.empty()) {
        std::fprintf(stderr,
                     "rdr: %s: %s; plan-view images cannot be drawn of it [rdr info "
                     "shows its sweeps]\n",
                     a.input.c_str(), why.c_str());
        return 1;
    }
    if (a.field.empty()) {
        a.field = defaultField(pStd);
        if (a.field.empty()) {
            std::fprintf(stderr,
                         "rdr: %s: no reflectivity moment to draw by default (it has: %s) "
                         "[name one with --field]\n",
                         a.input.c_str(), fileMomentNames(a.input.c_str()).c_str());
            return 1;
        }
        if (fnGetColorFileInfo(a.field.c_str(), &disp) != 1) {
            std::fprintf(stderr, "rdr: %s: no colour table for moment %s [name one with --field]\n",
                         a.input.c_str(), a.field.c_str());
            return 1;
        }
    }

    t = std::chrono::steady_clock::now();
    rdr::MatrixPtr<STD_AZIMUTH_TBL> tables(fnMakeAllHashTable(pStd), pStd->m_iMaxSweep);
    if (!tables) {
        std::fprintf(stderr, "rdr image: cannot build the azimuth tables of %s\n", a.input.c_str());
        return 1;
    }
    const double tTables = seconds(t);

    float fRangeKm = a.rangeKm;
    if (fRangeKm <= 0.0f && a.cells > 0 && a.gridKm > 0.0f) {
        fRangeKm = a.cells * a.gridKm / 2.0f;
    } else if (fRangeKm <= 0.0f) {
        fRangeKm = std::min(fnGetMaxRangeStd(pStd), 240.0f);
    }
    if (a.gridKm <= 0.0f) {
        a.gridKm = std::max(fRangeKm / (a.cells > 0 ? a.cells / 2.0f : 240.0f), 0.05f);
    }
    const int iDim =
        a.cells > 0 ? a.cells / 2 * 2 : 2 * static_cast<int>(std::lround(fRangeKm / a.gridKm));
    if (iDim < 2 || iDim > 8000) {
        std::fprintf(stderr, "rdr image: a range of %.1f km at %.2f km cells is not a grid\n",
                     fRangeKm, a.gridKm);
        return 2;
    }
    // SITE_240 draws 1 km per pixel; SITE_480 fits any other grid to the panel.
    const bool bOneKmGrid = std::fabs(a.gridKm - 1.0f) < 1e-6f && iDim * a.gridKm <= 513.0f;
    const std::string kind = !a.kind.empty() ? a.kind : (bOneKmGrid ? "SITE_240" : "SITE_480");
    const bool bComposite = kind.rfind("COMP", 0) == 0;
    std::string site = a.site;
    if (site.empty()) {
        site = pStd->m_hdr.m_szSiteName[0] != '\0' ? pStd->m_hdr.m_szSiteName
                                                   : pStd->m_hdr.m_szRadarName;
    }

    PRODUCT_IMAGE_MAKER_OPTION option{};
    option.m_iImgWidth = a.width;
    option.m_iImgHeight = a.height;
    option.m_iSmoothNum = a.smooth;
    option.m_iDrawAws = a.stations ? 1 : 0;
    option.m_iDrawRing = a.rings ? 2 : 0;  // labelled
    option.m_iDrawDirection = a.directions ? 1 : 0;
    option.m_iDrawGraticule = a.graticule ? 1 : 0;
    // The station list covers the Korean network only.
    const double lat = pStd->m_hdr.m_dLat, lon = pStd->m_hdr.m_dLon;
    if (a.stations && !(lat > 30.0 && lat < 41.0 && lon > 122.0 && lon < 133.0)) {
        std::fprintf(stderr,
                     "rdr: %s: the station list covers Korea only; no stations near %.2f N %.2f E "
                     "[--graticule shows latitude and longitude]\n",
                     a.input.c_str(), lat, lon);
    }
    std::string zoneName;
    option.m_iTitleOffsetSec = displayZoneShift(pStd->m_hdr.m_tConvertTime, a.zone, &zoneName);
    std::snprintf(option.m_szTitleZone, sizeof option.m_szTitleZone, "%s", zoneName.c_str());

    int failures = 0;
    double tProducts = 0.0;
    for (size_t k = 0; k < a.products.size(); ++k) {
        const std::string& product = a.products[k];
        // "-" is standard output: the image goes there and the path report stays off it.
        const bool toStdout = outputFor(a, k) == "-";
        const std::string out = toStdout ? "/dev/stdout" : outputFor(a, k);
        t = std::chrono::steady_clock::now();
        ComputedProduct computed;
        if (!computeProduct(a, product, pStd, tables.get(), iDim, fRangeKm, &computed)) {
            ++failures;
            continue;
        }
        rdr::StdProductPtr std_product(fnInitStdProduct(1, product == "PPI", product == "CAPPI",
                                                        product == "BASE", product == "CMAX",
                                                        product == "VIL", product == "ETOP"));
        if (bComposite) {
            const CompositeFrame frame = compositeFrame(imgInfo);
            const std::vector<int32_t> placement =
                siteCellsOnComposite(pStd, iDim, a.gridKm, frame);
            if (std::all_of(placement.begin(), placement.end(), [](int32_t i) { return i < 0; })) {
                std::fprintf(stderr,
                             "rdr: %s: the radar at %.3f N %.3f E covers nothing of the %s window "
                             "[use SITE_240 or SITE_480]\n",
                             a.input.c_str(), pStd->m_hdr.m_dLat, pStd->m_hdr.m_dLon, kind.c_str());
                return 1;
            }
            const std::vector<float> cells = placeOnComposite(computed.grid.get(), placement);
            const std::string when = formatStoredTime(pStd->m_hdr.m_tConvertTime, "%Y%m%d%H%M");
            const bool filed =
                std_product &&
                fnSetStdProductCompHdr(std_product.get(), "MAX", when.c_str(), frame.iYdim,
                                       frame.iXdim, frame.fGridKm, frame.iXo, frame.iYo) == 1 &&
                fnAddStdProductToData(std_product.get(), product.c_str(), 0, computed.arg1,
                                      computed.arg2, computed.storedField.c_str(), cells.data(),
                                      frame.iYdim, frame.iXdim) == 1;
            tProducts += seconds(t);
            option.m_iImgType = types[k];
            if (!filed ||
                fnMakeCompImageToStdProductByArg(
                    kind.c_str(), std_product.get(), product.c_str(), computed.arg1, computed.arg2,
                    computed.drawnField.c_str(), option, a.qc.c_str(), out.c_str()) != 1) {
                ++failures;
                continue;
            }
            if (!toStdout) {
                std::printf("%s\n", out.c_str());
            }
            continue;
        }
        if (!std_product ||
            fnSetStdProductSiteHdr(pStd, std_product.get(), iDim, iDim, a.gridKm) != 1 ||
            fnAddStdProductToData(std_product.get(), product.c_str(), 0, computed.arg1,
                                  computed.arg2, computed.storedField.c_str(), computed.grid.get(),
                                  iDim, iDim) != 1) {
            std::fprintf(stderr, "rdr image: cannot file %s in a product container\n",
                         product.c_str());
            ++failures;
            continue;
        }
        tProducts += seconds(t);
        option.m_iImgType = types[k];
        if (fnMakeSiteImageToStdProductByArg(
                kind.c_str(), site.c_str(), std_product.get(), product.c_str(), computed.arg1,
                computed.arg2, computed.drawnField.c_str(), option, out.c_str()) != 1) {
            ++failures;
            continue;
        }
        if (!toStdout) {
            std::printf("%s\n", out.c_str());
        }
    }
    fnSetProductImageStageTimes(nullptr);
    if (a.timings) {
        std::fprintf(stderr,
                     "stage seconds: load %.4f tables %.4f product %.4f image-data %.4f "
                     "overlays %.4f panels %.4f encode %.4f\n",
                     tLoad, tTables, tProducts, stages.m_dImageData, stages.m_dOverlays,
                     stages.m_dPanels, stages.m_dEncode);
    }
    return failures == 0 ? 0 : 1;
}
