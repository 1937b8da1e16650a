// Writes one plan-view grid of the site engine as raw float32 (native byte order, row-major,
// row 0 north), so that a script can compare it with the radar core's grid of the same
// volume: site_grid_dump UF FIELD SWEEP CELLS RANGE_KM OUT
//   a PPI of sweep SWEEP (0 = first) on CELLS x CELLS cells covering RANGE_KM from the
//   radar to the grid's edge.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "site_cartesian_products.h"
#include "site_product.h"

int main(int argc, char** argv) {
    if (argc != 7) {
        std::fprintf(stderr, "usage: site_grid_dump UF FIELD SWEEP CELLS RANGE_KM OUT\n");
        return 2;
    }
    const int sweep = std::atoi(argv[3]);
    const int cells = std::atoi(argv[4]);
    const float rangeKm = static_cast<float>(std::atof(argv[5]));
    SvVolume volume;
    if (!svLoadVolume(argv[1], argv[2], &volume)) {
        std::fprintf(stderr, "site_grid_dump: cannot read field %s of %s\n", argv[2], argv[1]);
        return 1;
    }
    if (sweep < 0 || sweep >= volume.uf->m_nSweeps) {
        std::fprintf(stderr, "site_grid_dump: no sweep %d\n", sweep);
        return 1;
    }
    SvGridPtr grid(fnKRL_SweepToCart(volume.uf.get(), sweep, cells, cells, rangeKm,
                                     volume.tables[static_cast<size_t>(sweep)]));
    if (grid == nullptr) {
        std::fprintf(stderr, "site_grid_dump: no grid\n");
        return 1;
    }
    const size_t n = static_cast<size_t>(cells) * static_cast<size_t>(cells);
    const std::string tmp = std::string(argv[6]) + ".tmp";
    FILE* f = std::fopen(tmp.c_str(), "wb");
    const bool ok = f != nullptr && std::fwrite(grid.get(), sizeof(float), n, f) == n;
    if (f != nullptr && std::fclose(f) != 0) {
        std::remove(tmp.c_str());
        return 1;
    }
    if (!ok || std::rename(tmp.c_str(), argv[6]) != 0) {
        std::fprintf(stderr, "site_grid_dump: cannot write %s\n", argv[6]);
        std::remove(tmp.c_str());
        return 1;
    }
    std::printf("sweep %d elevation %.2f\n", sweep, volume.uf->m_fUfElevation[sweep]);
    return 0;
}
