#include "product_dispatch.h"

#include <cstring>
#include <string>

#include "cappi_product.h"
#include "column_products.h"
#include "core_utilities.h"
#include "ppi_grid.h"
#include "vil_product.h"

namespace {

// The product functions take the field name as char*, though none writes to it.
struct FieldName {
    explicit FieldName(const char* szField) {
        std::strncpy(text, szField != nullptr ? szField : "", sizeof(text) - 1);
    }
    char text[16] = {};
};

using Maker = float* (*)(STD_RADAR*, STD_AZIMUTH_TBL**, const RDR_PRODUCT_ARGS&, char*);

float* makePpi(STD_RADAR* pStd, STD_AZIMUTH_TBL** ppTable, const RDR_PRODUCT_ARGS& a,
               char* szField) {
    if (a.iSweep < 0 || a.iSweep >= pStd->m_iMaxSweep) {
        rdrError("fnCreateProduct", ("no sweep " + std::to_string(a.iSweep) + " (the volume has " +
                                     std::to_string(pStd->m_iMaxSweep) + ")")
                                        .c_str());
        return nullptr;
    }
    return fnCreatePPI(pStd, a.iSweep, a.iXdim, a.iYdim, a.fMaxRangeKm, a.fGridKm, szField,
                       ppTable[a.iSweep]);
}

float* makeCappi(STD_RADAR* pStd, STD_AZIMUTH_TBL** ppTable, const RDR_PRODUCT_ARGS& a,
                 char* szField) {
    return a.bMohrCappi ? fnCreateCappiMohr(pStd, a.fHeightKm, a.iXdim, a.iYdim, a.fMaxRangeKm,
                                            a.fGridKm, a.iCappiKind, 0, szField, ppTable)
                        : fnCreateCappiReal(pStd, a.fHeightKm, a.iXdim, a.iYdim, a.fMaxRangeKm,
                                            a.fGridKm, szField, ppTable);
}

float* makeBase(STD_RADAR* pStd, STD_AZIMUTH_TBL** ppTable, const RDR_PRODUCT_ARGS& a,
                char* szField) {
    return fnCreateBase(pStd, a.iXdim, a.iYdim, a.fMaxRangeKm, a.fGridKm, szField, ppTable);
}

float* makeCmax(STD_RADAR* pStd, STD_AZIMUTH_TBL** ppTable, const RDR_PRODUCT_ARGS& a,
                char* szField) {
    return fnCreateCmax(pStd, a.iXdim, a.iYdim, a.fMaxRangeKm, a.fGridKm, szField, ppTable);
}

float* makeEtop(STD_RADAR* pStd, STD_AZIMUTH_TBL** ppTable, const RDR_PRODUCT_ARGS& a,
                char* szField) {
    return fnCreateEtop(pStd, a.iXdim, a.iYdim, a.fMaxRangeKm, a.fGridKm, a.fEtopDbz, szField,
                        ppTable);
}

float* makeVil(STD_RADAR* pStd, STD_AZIMUTH_TBL** ppTable, const RDR_PRODUCT_ARGS& a,
               char* szField) {
    if (a.iVilTopKm <= a.iVilBottomKm) {
        rdrError("fnCreateProduct", "the VIL top must be above its bottom");
        return nullptr;
    }
    return fnCreateVil(pStd, a.iXdim, a.iYdim, a.fMaxRangeKm, a.fGridKm, a.iVilTopKm,
                       a.iVilBottomKm, szField, ppTable);
}

struct ProductKind {
    const char* name;
    Maker make;
    bool reflectivityOnly;
};

constexpr ProductKind kProducts[] = {
    {"PPI", makePpi, false},   {"CAPPI", makeCappi, false}, {"BASE", makeBase, false},
    {"CMAX", makeCmax, false}, {"ETOP", makeEtop, true},    {"VIL", makeVil, true},
};

const ProductKind* findKind(const char* szProduct) {
    for (const ProductKind& kind : kProducts) {
        if (szProduct != nullptr && std::strcmp(kind.name, szProduct) == 0) {
            return &kind;
        }
    }
    return nullptr;
}

}  // namespace

const char* fnProductNames() {
    return "PPI, CAPPI, BASE, CMAX, ETOP, VIL";
}

bool fnIsProductName(const char* szProduct) {
    return findKind(szProduct) != nullptr;
}

bool fnIsReflectivityProduct(const char* szProduct) {
    const ProductKind* kind = findKind(szProduct);
    return kind != nullptr && kind->reflectivityOnly;
}

float* fnCreateProduct(STD_RADAR* pStd, STD_AZIMUTH_TBL** ppTable, const RDR_PRODUCT_ARGS& args) {
    const ProductKind* kind = findKind(args.szProduct);
    if (kind == nullptr) {
        rdrError("fnCreateProduct",
                 (std::string("unknown product '") + (args.szProduct ? args.szProduct : "") +
                  "' (known: " + fnProductNames() + ")")
                     .c_str());
        return nullptr;
    }
    if (pStd == nullptr || ppTable == nullptr) {
        rdrError("fnCreateProduct", "no volume or no azimuth tables");
        return nullptr;
    }
    FieldName field(args.szField);
    return kind->make(pStd, ppTable, args, field.text);
}
