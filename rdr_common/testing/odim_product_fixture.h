// Standard products of every family for the ODIM product tests: a site product and a
// composite, each with 8-bit, 16-bit and float moments holding both cell codes and values
// beyond their storage range, and a field-by-field comparison of two products.
#ifndef RDR_ODIM_PRODUCT_FIXTURE_H
#define RDR_ODIM_PRODUCT_FIXTURE_H

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "hdf5_output.h"
#include "hdf_product_input.h"
#include "owned_handles.h"
#include "standard_product.h"

namespace odimfix {

using HdfProductPtr = std::unique_ptr<HDF_PRODUCT, rdr::ReleaseWith<fnFreeHdfProduct>>;

// A grid whose cells run through the moment's range, with no-data and outside-range cells
// and a few values far outside what the storage holds.
inline std::vector<float> pattern(int iYdim, int iXdim, int iSeed, float lo, float hi) {
    std::vector<float> grid(static_cast<size_t>(iYdim) * iXdim);
    for (int y = 0; y < iYdim; ++y) {
        for (int x = 0; x < iXdim; ++x) {
            const int h = (y * 131 + x * 71 + iSeed * 17) % 97;
            float v = lo + (hi - lo) * static_cast<float>(h) / 96.0f;
            v = h == 0 ? -9999.0f : h == 1 ? -9998.0f : h == 2 ? 1.0e6f : h == 3 ? -1.0e6f : v;
            grid[static_cast<size_t>(y) * iXdim + x] = v;
        }
    }
    return grid;
}

inline void add(STD_PRODUCT* p, const char* szProduct, int iIdx, double a1, double a2,
                const char* szField, int iSeed, float lo, float hi) {
    const int y = static_cast<int>(p->m_product_hdr.m_lYsize);
    const int x = static_cast<int>(p->m_product_hdr.m_lXsize);
    const std::vector<float> grid = pattern(y, x, iSeed, lo, hi);
    if (fnAddStdProductToData(p, szProduct, iIdx, a1, a2, szField, grid.data(), y, x) != 1) {
        std::abort();  // the fixture itself is wrong
    }
}

// Every family: two PPIs, then CAPPI, BASE, CMAX, VIL and ETOP; DZ, CZ, SW and RH in 8
// bits, DR, KD, VIL and ETOP in 16, RN in float.
inline void fillFamilies(STD_PRODUCT* p) {
    add(p, "PPI", 0, 0.5, 0, "DZ", 1, -30.0f, 70.0f);
    add(p, "PPI", 0, 0.5, 0, "RN", 2, 0.0f, 150.0f);
    add(p, "PPI", 0, 0.5, 0, "DR", 3, -4.0f, 8.0f);
    add(p, "PPI", 1, 1.5, 0, "CZ", 4, -30.0f, 70.0f);
    add(p, "PPI", 1, 1.5, 0, "SW", 5, 0.0f, 12.0f);
    add(p, "CAPPI", 0, 1.5, 0, "DZ", 6, -30.0f, 70.0f);
    add(p, "CAPPI", 0, 1.5, 0, "KD", 7, -2.0f, 9.0f);
    add(p, "BASE", 0, 0, 0, "CZ", 8, -30.0f, 70.0f);
    add(p, "BASE", 0, 0, 0, "RH", 9, 0.0f, 1.0f);
    add(p, "CMAX", 0, 0, 0, "DZ", 10, -30.0f, 70.0f);
    add(p, "VIL", 0, 0, 15, "VIL", 11, 0.0f, 80.0f);
    add(p, "ETOP", 0, 18, 0, "ETOP", 12, 0.0f, 18.0f);
}

inline rdr::StdProductPtr siteProduct(int iYdim, int iXdim) {
    rdr::StdProductPtr p(fnInitStdProduct(3, 2, 1, 1, 1, 1, 1));
    STD_PRODUCT_HDR& h = p->m_product_hdr;
    p->m_iStdProductType = STD_EN_PRODUCT_SITE;
    h.m_tConvertTime = 1784107800 + 32400;  // 2026-07-15 09:30:00 UTC, stored as KST
    std::strcpy(h.m_szSiteName, "KWK");
    h.m_dLon = 126.96;
    h.m_dLat = 37.44;
    h.m_iAnteHeightM = 641;
    std::strcpy(h.m_szTask, "VOL_A");
    std::strcpy(h.m_szSystem, "KMA-S");
    h.m_dNi = 26.52;
    h.m_lXsize = iXdim;
    h.m_lYsize = iYdim;
    h.m_dXscale = h.m_dYscale = 0.5;
    h.m_LL_lon = 125.1;
    h.m_LL_lat = 36.0;
    h.m_UL_lon = 125.2;
    h.m_UL_lat = 38.9;
    h.m_UR_lon = 128.7;
    h.m_UR_lat = 38.8;
    h.m_LR_lon = 128.8;
    h.m_LR_lat = 36.1;
    fillFamilies(p.get());
    return p;
}

inline rdr::StdProductPtr compProduct(int iYdim, int iXdim, const char* szMethod) {
    rdr::StdProductPtr p(fnInitStdProduct(3, 2, 1, 1, 1, 1, 1));
    if (fnSetStdProductCompHdr(p.get(), szMethod, "202607150930", iYdim, iXdim, 2.0f, iXdim / 2,
                               iYdim / 2) != 1) {
        std::abort();
    }
    fillFamilies(p.get());
    return p;
}

// "" when the two products hold the same header, datasets, prodpar and stored cells, else
// what differs first.
inline std::string diff(const STD_PRODUCT& a, const STD_PRODUCT& b) {
    const STD_PRODUCT_HDR& x = a.m_product_hdr;
    const STD_PRODUCT_HDR& y = b.m_product_hdr;
    if (a.m_iStdProductType != b.m_iStdProductType) {
        return "product type";
    }
    if (x.m_tConvertTime != y.m_tConvertTime) {
        return "time " + std::to_string(x.m_tConvertTime) + " " + std::to_string(y.m_tConvertTime);
    }
    const struct {
        const char* name;
        const char* a;
        const char* b;
    } texts[] = {{"site", x.m_szSiteName, y.m_szSiteName},
                 {"task", x.m_szTask, y.m_szTask},
                 {"system", x.m_szSystem, y.m_szSystem},
                 {"method", x.m_szCompMethod, y.m_szCompMethod}};
    for (const auto& t : texts) {
        if (std::strcmp(t.a, t.b) != 0) {
            return std::string(t.name) + " '" + t.a + "' '" + t.b + "'";
        }
    }
    const double numbersA[] = {x.m_dLon,
                               x.m_dLat,
                               static_cast<double>(x.m_iAnteHeightM),
                               x.m_dNi,
                               x.m_dXscale,
                               x.m_dYscale,
                               x.m_LL_lon,
                               x.m_LL_lat,
                               x.m_UL_lon,
                               x.m_UL_lat,
                               x.m_UR_lon,
                               x.m_UR_lat,
                               x.m_LR_lon,
                               x.m_LR_lat,
                               static_cast<double>(x.m_lXsize),
                               static_cast<double>(x.m_lYsize)};
    const double numbersB[] = {y.m_dLon,
                               y.m_dLat,
                               static_cast<double>(y.m_iAnteHeightM),
                               y.m_dNi,
                               y.m_dXscale,
                               y.m_dYscale,
                               y.m_LL_lon,
                               y.m_LL_lat,
                               y.m_UL_lon,
                               y.m_UL_lat,
                               y.m_UR_lon,
                               y.m_UR_lat,
                               y.m_LR_lon,
                               y.m_LR_lat,
                               static_cast<double>(y.m_lXsize),
                               static_cast<double>(y.m_lYsize)};
    for (size_t i = 0; i < std::size(numbersA); ++i) {
        if (numbersA[i] != numbersB[i]) {
            return "header number " + std::to_string(i) + ": " + std::to_string(numbersA[i]) + " " +
                   std::to_string(numbersB[i]);
        }
    }
    const size_t rowCells = static_cast<size_t>(x.m_lXsize);
    for (const char* family : {"PPI", "CAPPI", "BASE", "CMAX", "VIL", "ETOP"}) {
        int na = 0;
        int nb = 0;
        STD_PRODUCT_DATASET** da = fnFindDsetStdProduct(const_cast<STD_PRODUCT*>(&a), family, &na);
        STD_PRODUCT_DATASET** db = fnFindDsetStdProduct(const_cast<STD_PRODUCT*>(&b), family, &nb);
        if (na != nb || (da == nullptr) != (db == nullptr)) {
            return std::string(family) + " count " + std::to_string(na) + " " + std::to_string(nb);
        }
        for (int d = 0; d < na; ++d) {
            const std::string where = std::string(family) + "[" + std::to_string(d) + "]";
            if (std::strcmp(da[d]->m_szProduct, db[d]->m_szProduct) != 0 ||
                da[d]->m_dProdpar[0] != db[d]->m_dProdpar[0] ||
                da[d]->m_dProdpar[1] != db[d]->m_dProdpar[1]) {
                return where + " name or prodpar";
            }
            for (int k = 0; k < std::max(da[d]->m_iMaxField, db[d]->m_iMaxField); ++k) {
                const STD_PRODUCT_DATA* sa =
                    k < da[d]->m_iMaxField ? da[d]->m_ppProductData[k] : nullptr;
                const STD_PRODUCT_DATA* sb =
                    k < db[d]->m_iMaxField ? db[d]->m_ppProductData[k] : nullptr;
                const bool usedA = sa != nullptr && sa->m_szFieldName[0] != '\0';
                const bool usedB = sb != nullptr && sb->m_szFieldName[0] != '\0';
                if (usedA != usedB) {
                    return where + " slot " + std::to_string(k) + " used in one only";
                }
                if (!usedA) {
                    continue;
                }
                if (std::strcmp(sa->m_szFieldName, sb->m_szFieldName) != 0 ||
                    sa->m_iMemType != sb->m_iMemType) {
                    return where + " slot " + std::to_string(k) + " field " + sa->m_szFieldName +
                           " " + sb->m_szFieldName;
                }
                const size_t width = sa->m_iMemType == RDR_EN_MEM_CHAR    ? 1
                                     : sa->m_iMemType == RDR_EN_MEM_SHORT ? 2
                                                                          : 4;
                for (long r = 0; r < x.m_lYsize; ++r) {
                    const void* ra = sa->m_iMemType == RDR_EN_MEM_CHAR
                                         ? static_cast<const void*>(sa->m_ppData_c[r])
                                     : sa->m_iMemType == RDR_EN_MEM_SHORT
                                         ? static_cast<const void*>(sa->m_ppData_s[r])
                                         : static_cast<const void*>(sa->m_ppData_f[r]);
                    const void* rb = sb->m_iMemType == RDR_EN_MEM_CHAR
                                         ? static_cast<const void*>(sb->m_ppData_c[r])
                                     : sb->m_iMemType == RDR_EN_MEM_SHORT
                                         ? static_cast<const void*>(sb->m_ppData_s[r])
                                         : static_cast<const void*>(sb->m_ppData_f[r]);
                    if (std::memcmp(ra, rb, rowCells * width) != 0) {
                        return where + " " + sa->m_szFieldName + " row " + std::to_string(r);
                    }
                }
            }
        }
    }
    return "";
}

// Sync-down then write, as a caller does.
inline bool writeOdim(STD_PRODUCT* p, const std::string& file) {
    HdfProductPtr hdf(fnStdProductSyncDownHdf(p));
    return hdf != nullptr && fnWriteHdfProduct(hdf.get(), file.c_str()) == 1;
}

inline rdr::StdProductPtr readOdim(const std::string& file) {
    HdfProductPtr hdf(fnLoadHdfProduct(file.c_str()));
    return rdr::StdProductPtr(hdf != nullptr ? fnHdfProductSyncUpStd(hdf.get()) : nullptr);
}

}  // namespace odimfix

#endif
