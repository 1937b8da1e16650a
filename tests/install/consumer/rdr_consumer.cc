// A program of another project that uses an installed radar core: it loads a volume
// through the format registry, computes a 1.5 km Mohr CAPPI on a 480 x 480 grid of 1 km
// cells and draws it as a site image, the way `rdr image` does. Resource files are found
// through RDR_ROOT.
//
//   rdr_consumer VOLUME OUT.png
#include <cstdio>
#include <string>

#include "grid_codes.h"
#include "owned_handles.h"
#include "product_dispatch.h"
#include "product_image_maker.h"
#include "standard_product.h"
#include "standard_volume.h"
#include "volume_formats.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: rdr_consumer VOLUME OUT.png\n");
        return 2;
    }
    const char* szFormat = nullptr;
    rdr::StdRadarPtr volume(fnLoadStdRadarFile(argv[1], &szFormat));
    if (!volume) {
        return 1;
    }
    STD_RADAR* pStd = volume.get();
    rdr::MatrixPtr<STD_AZIMUTH_TBL> tables(fnMakeAllHashTable(pStd), pStd->m_iMaxSweep);
    if (!tables) {
        std::fprintf(stderr, "rdr_consumer: no azimuth tables\n");
        return 1;
    }

    constexpr int kCells = 480;
    constexpr float kGridKm = 1.0f;
    constexpr float kHeightKm = 1.5f;
    RDR_PRODUCT_ARGS args;
    args.szProduct = "CAPPI";
    args.szField = "DZ";
    args.iXdim = args.iYdim = kCells;
    args.fMaxRangeKm = kCells * kGridKm / 2.0f;
    args.fGridKm = kGridKm;
    args.fHeightKm = kHeightKm;
    args.bMohrCappi = true;
    rdr::GridPtr grid(fnCreateProduct(pStd, tables.get(), args));
    if (!grid) {
        return 1;
    }
    int withData = 0;
    for (int i = 0; i < kCells * kCells; ++i) {
        const float v = grid.get()[i];
        withData += v != RDR_GRID_NO_DATA && v != RDR_GRID_OUT_BOUND;
    }

    rdr::StdProductPtr product(fnInitStdProduct(1, 0, 1, 0, 0, 0, 0));
    if (!product || fnSetStdProductSiteHdr(pStd, product.get(), kCells, kCells, kGridKm) != 1 ||
        fnAddStdProductToData(product.get(), "CAPPI", 0, kHeightKm, 0.0, "DZ", grid.get(), kCells,
                              kCells) != 1) {
        std::fprintf(stderr, "rdr_consumer: cannot file the CAPPI in a product\n");
        return 1;
    }
    PRODUCT_IMAGE_MAKER_OPTION option{};
    option.m_iImgType = RDR_EN_IMG_TYPE_PNG;
    option.m_iDrawRing = 1;
    const std::string site = pStd->m_hdr.m_szSiteName;
    if (fnMakeSiteImageToStdProductByArg("SITE_240", site.c_str(), product.get(), "CAPPI",
                                         kHeightKm, 0.0, "DZ", option, argv[2]) != 1) {
        return 1;
    }
    std::printf("format %s, CAPPI cells with data %d, image %s\n", szFormat, withData, argv[2]);
    return withData > 0 ? 0 : 1;
}
