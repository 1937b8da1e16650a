#include "site_product.h"

#include <cstdio>
#include <cstdlib>

#include "site_cartesian_products.h"
#include "site_interpolated_cappi.h"

namespace {

int refuse(char* reason, const char* text) {
    std::snprintf(reason, kSvReasonSize, "%s", text);
    return -1;
}

}  // namespace

bool svLoadVolume(const char* path, const char* field, SvVolume* volume) {
    volume->uf.reset(fnReadUfFile(path, field, 0.0f));
    if (volume->uf == nullptr) {
        return false;
    }
    for (int s = 0; s < volume->uf->m_nSweeps; ++s) {
        volume->owned.emplace_back(fnMakeHashTable(volume->uf.get(), s));
        volume->tables.push_back(volume->owned.back().get());
    }
    return true;
}

float svCellKm(const SvRequest& req) {
    return static_cast<float>(req.window_km) / static_cast<float>(kSvGridCells / 2);
}

SvGridPtr svMakeProductGrid(const SvRequest& req, SvVolume& volume, char* reason) {
    ST_UF_DATA* uf = volume.uf.get();
    st_Azimuth** tables = volume.tables.data();
    const int n = kSvGridCells;
    const int range = req.window_km;
    const float cellKm = svCellKm(req);
    SvGridPtr grid;
    switch (req.product) {
        case SvProduct::Ppi:
            if (req.sweep >= uf->m_nSweeps || tables[req.sweep] == nullptr) {
                refuse(reason, "the volume has no such sweep");
                return nullptr;
            }
            grid.reset(fnKRL_SweepToCart(uf, req.sweep, n, n, static_cast<float>(range),
                                         tables[req.sweep]));
            break;
        case SvProduct::Cappi:
            grid.reset(fnMakeMohrCappi(uf, svIsReflectivity(req.field) ? 1 : 0, n, n, cellKm, 0, n,
                                       0, n, static_cast<float>(req.height_m) / 1000.0f, tables));
            break;
        case SvProduct::Cmax:
            grid.reset(fnVolumeToCMAX(uf, n, n, range, tables));
            break;
        case SvProduct::Base:
            grid.reset(fnVolumeToBASE(uf, n, n, range, tables));
            break;
        case SvProduct::Etop:
            grid.reset(
                fnVolumeToETOP(uf, n, n, range, uf->m_nHeight, kSvEchoTopDbz, cellKm, tables));
            break;
        case SvProduct::Vil:
            grid.reset(fnVolumeToVIL(uf, n, n, range, kSvVilTopKm, 0, tables));
            break;
        case SvProduct::Cross:
            refuse(reason, "a cross-section has no plan-view grid");
            return nullptr;
    }
    if (grid == nullptr) {
        refuse(reason, "the product could not be made from this volume");
        return nullptr;
    }
    return grid;
}
