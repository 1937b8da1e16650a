// The GRIB product file: one family of a GRIB_PRODUCT as one message per dataset, each made
// by ecCodes from its GRIB 2 sample and written as ecCodes gives its bytes, through an
// atomic replacement of the target. Any failure leaves no file.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "atomic_file.h"
#include "core_utilities.h"
#include "grib_output.h"
#include "internal/eccodes_library.h"
#include "internal/grib_product_families.h"
#include "internal/grib_product_keys.h"

namespace {

constexpr const char* kWrite = "fnWriteGribProduct";
constexpr std::size_t kMaxFileName = 1023;

// Cell codes of the message values and of the stored rows they come from.
constexpr double kGribNodata = -9998.0;
constexpr double kGribUndetect = -9999.0;
constexpr float kCodeTolerance = 1e-6f;

// GRIB 2 sizes: Ny is four octets, the local section's counts two.
constexpr long kMaxRows = 0xffffffffL;
constexpr long kMaxLocalCount = 0xffff;

struct HandleDeleter {
    void operator()(codes_handle* h) const { ec().handle_delete(h); }
};
using Handle = std::unique_ptr<codes_handle, HandleDeleter>;

class KeySetter {
  public:
    explicit KeySetter(codes_handle* h) : h_(h) {}

    bool set(const char* key, long value) { return check(key, ec().set_long(h_, key, value)); }
    bool setDouble(const char* key, double value) {
        return check(key, ec().set_double(h_, key, value));
    }
    bool setText(const char* key, const std::string& text) {
        std::size_t n = text.size();
        return check(key, ec().set_string(h_, key, text.c_str(), &n));
    }
    bool setNumberText(const char* key, double value) {
        const std::string text = gribNumberText(value);
        if (text.empty() || text.size() > kGribNumberChars) {
            why_ = std::string(key) + " cannot hold " + std::to_string(value);
            return false;
        }
        return setText(key, text);
    }
    bool setArray(const char* key, const std::vector<double>& values) {
        return check(key, ec().set_double_array(h_, key, values.data(), values.size()));
    }
    const std::string& why() const { return why_; }

  private:
    bool check(const char* key, int err) {
        if (err != CODES_SUCCESS) {
            why_ = std::string("cannot set ") + key + " (" + ec().get_error_message(err) + ")";
            return false;
        }
        return true;
    }

    codes_handle* h_;
    std::string why_;
};

// The datasets of the family that hold grids, in order, and the slots holding them.
struct DatasetGrids {
    const GRIB_PRODUCT_DATASET* dataset;
    std::vector<const GRIB_PRODUCT_DATA*> slots;
};

std::vector<DatasetGrids> datasetsWithGrids(GRIB_PRODUCT_DATASET** ppDset, int n) {
    std::vector<DatasetGrids> out;
    for (int d = 0; ppDset != nullptr && d < n; ++d) {
        const GRIB_PRODUCT_DATASET* pDset = ppDset[d];
        if (pDset == nullptr || pDset->m_ppProductData == nullptr) {
            continue;
        }
        DatasetGrids grids{pDset, {}};
        for (int k = 0; k < pDset->m_iMaxField; ++k) {
            const GRIB_PRODUCT_DATA* pData = pDset->m_ppProductData[k];
            if (pData != nullptr && gribSlotHoldsRows(*pData)) {
                grids.slots.push_back(pData);
            }
        }
        if (!grids.slots.empty()) {
            out.push_back(std::move(grids));
        }
    }
    return out;
}

// "DBZH,VRADH/DBZH,VRADH": the quantities of every dataset's grids.
std::string quantityList(const std::vector<DatasetGrids>& datasets) {
    std::string list;
    for (std::size_t d = 0; d < datasets.size(); ++d) {
        if (d > 0) {
            list.push_back('/');
        }
        for (std::size_t k = 0; k < datasets[d].slots.size(); ++k) {
            if (k > 0) {
                list.push_back(',');
            }
            list.append(datasets[d].slots[k]->m_what.m_szQuantity);
        }
    }
    return list;
}

bool nearCode(float v, float code) {
    return std::fabs(v - code) <= kCodeTolerance;
}

// One grid's stored rows as physical values after the grids before it.
template <typename T>
bool appendGrid(T** rows, long nRows, long nCols, const FIELD_MEM_INFO_TBL& rule,
                std::vector<double>* pValues) {
    for (long y = 0; y < nRows; ++y) {
        const T* row = rows[y];
        if (row == nullptr) {
            return false;
        }
        for (long x = 0; x < nCols; ++x) {
            const float s = static_cast<float>(row[x]);
            pValues->push_back(nearCode(s, rule.m_fOutBound) ? kGribNodata
                               : nearCode(s, rule.m_fBadValue)
                                   ? kGribUndetect
                                   : static_cast<double>(s) / rule.m_fScale - rule.m_fOffset);
        }
    }
    return true;
}

bool stackGrids(const DatasetGrids& grids, long nRows, long nCols, std::vector<double>* pValues,
                std::string* pWhy) {
    pValues->clear();
    for (const GRIB_PRODUCT_DATA* pData : grids.slots) {
        FIELD_MEM_INFO_TBL rule{};
        if (fnGetFieldMemInfo(pData->m_szFieldName, &rule) != 1 ||
            rule.m_iMemType != pData->m_iMemType || rule.m_fScale == 0.0f) {
            *pWhy = std::string("fnWriteGribProductSetSection567 fail (the field ") +
                    pData->m_szFieldName + " is not stored as its memory rule says)";
            return false;
        }
        const bool ok = pData->m_iMemType == RDR_EN_MEM_CHAR
                            ? appendGrid(pData->m_ppData_c, nRows, nCols, rule, pValues)
                        : pData->m_iMemType == RDR_EN_MEM_SHORT
                            ? appendGrid(pData->m_ppData_s, nRows, nCols, rule, pValues)
                            : appendGrid(pData->m_ppData_f, nRows, nCols, rule, pValues);
        if (!ok) {
            *pWhy = std::string("fnWriteGribProductSetSection567 fail (the field ") +
                    pData->m_szFieldName + " is missing a row)";
            return false;
        }
    }
    return true;
}

// Time, centre and local section: sections 1 and 2 up to the family's keys.
bool setIdentification(KeySetter& k, const GRIB_PRODUCT& p, std::string* pWhy) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    char cExtra = '\0';
    char szStamp[16];
    std::snprintf(szStamp, sizeof szStamp, "%.8s %.6s", p.m_what.m_szDate, p.m_what.m_szTime);
    if (std::strlen(p.m_what.m_szDate) != 8 || std::strlen(p.m_what.m_szTime) != 6 ||
        std::sscanf(szStamp, "%4d%2d%2d %2d%2d%2d%c", &year, &month, &day, &hour, &minute, &second,
                    &cExtra) != 6) {
        *pWhy = std::string("unreadable date and time '") + p.m_what.m_szDate + "' '" +
                p.m_what.m_szTime + "'";
        return false;
    }
    // year to second are dataDate and dataTime as well; dataTime would drop the seconds.
    return k.set("discipline", 0) && k.set("centre", kGribProductCentre) && k.set("subCentre", 0) &&
           k.set("tablesVersion", 4) && k.set("localTablesVersion", 0) &&
           k.set("significanceOfReferenceTime", 3) && k.set("year", year) &&
           k.set("month", month) && k.set("day", day) && k.set("hour", hour) &&
           k.set("minute", minute) && k.set("second", second) &&
           k.set("productionStatusOfProcessedData", 0) && k.set("typeOfProcessedData", 7) &&
           k.set("grib2LocalSectionPresent", 1) &&
           k.set("grib2LocalSectionNumber", kGribProductLocalSection);
}

bool setFamilyKeys(KeySetter& k, const GRIB_PRODUCT& p, const std::vector<DatasetGrids>& datasets,
                   std::string* pWhy) {
    const GRIB_PROUDCT_WHERE& w = p.m_where;
    if (std::strlen(w.m_szProjdef) > kGribProjdefChars) {
        *pWhy = "projdef longer than " + std::to_string(kGribProjdefChars) + " characters";
        return false;
    }
    const std::string quantities = quantityList(datasets);
    if (quantities.size() > kGribQuantityChars) {
        *pWhy = "the quantity list is longer than " + std::to_string(kGribQuantityChars) +
                " characters";
        return false;
    }
    // Two values per dataset, each dataset its own pair.
    std::vector<double> prodpar;
    for (const DatasetGrids& d : datasets) {
        prodpar.push_back(d.dataset->m_what.m_dProdpar[0]);
        prodpar.push_back(d.dataset->m_what.m_dProdpar[1]);
    }
    const struct {
        const char* key;
        double value;
    } numbers[] = {{"rdr_xscale", w.m_dXscale},      {"rdr_yscale", w.m_dYscale},
                   {"rdr_LL_Longitude", w.m_LL_lon}, {"rdr_LL_Latitude", w.m_LL_lat},
                   {"rdr_UL_Longitude", w.m_UL_lon}, {"rdr_UL_Latitude", w.m_UL_lat},
                   {"rdr_UR_Longitude", w.m_UR_lon}, {"rdr_UR_Latitude", w.m_UR_lat},
                   {"rdr_LR_Longitude", w.m_LR_lon}, {"rdr_LR_Latitude", w.m_LR_lat},
                   {"rdr_site_longitude", w.m_dLon}, {"rdr_site_latitude", w.m_dLat}};
    const GRIB_PRODUCT_HOW& how = p.m_how;
    if (!(k.setText("rdr_site_name", how.m_szSiteName) && k.setText("rdr_task", how.m_szTask) &&
          k.setText("rdr_system", how.m_szSystem) &&
          k.setText("rdr_comp_method", how.m_szCompMethod) &&
          k.setNumberText("rdr_nyquist_velocity", how.m_dNi) &&
          k.setText("rdr_projdef", w.m_szProjdef) && k.set("rdr_xsize", w.m_lXsize) &&
          k.set("rdr_ysize", w.m_lYsize))) {
        return false;
    }
    for (const auto& n : numbers) {
        if (!k.setNumberText(n.key, n.value)) {
            return false;
        }
    }
    // Setting the array sets rdr_prodpar_size and resizes the section with it.
    return k.setText("rdr_product", datasets.front().dataset->m_what.m_szProduct) &&
           k.set("rdr_max_product", static_cast<long>(datasets.size())) &&
           k.setArray("rdr_prodpar", prodpar) && k.setText("rdr_quantity", quantities);
}

// Sections 3 to 5 up to the grid's height: the grid, the radar product template with the
// site position, IEEE 32-bit values.
bool setGridAndProduct(KeySetter& k, const GRIB_PRODUCT& p, std::string* pWhy) {
    const GRIB_PROUDCT_WHERE& w = p.m_where;
    long lat = 0;
    long lon = 0;
    if (!gribSiteLatitude(w.m_dLat, &lat) || !gribSiteLongitude(w.m_dLon, &lon)) {
        *pWhy = "the radar position is not a latitude and longitude";
        return false;
    }
    const double height = std::round(w.m_dHeightM);
    if (!(height >= 0.0 && height <= 65535.0)) {
        *pWhy = "the radar height " + std::to_string(w.m_dHeightM) +
                " m is outside the 0 to 65535 m siteElevation holds";
        return false;
    }
    return k.set("sourceOfGridDefinition", 0) && k.set("interpretationOfNumberOfPoints", 0) &&
           k.set("gridDefinitionTemplateNumber", 110) &&
           k.set("numberOfPointsAlongXAxis", w.m_lXsize) &&
           k.set("productDefinitionTemplateNumber", 20) && k.set("parameterCategory", 15) &&
           k.set("parameterNumber", 1) && k.set("typeOfGeneratingProcess", 8) &&
           k.set("numberOfRadarSitesUsed", 0) && k.set("indicatorOfUnitOfTimeRange", 0) &&
           k.set("siteLatitude", lat) && k.set("siteLongitude", lon) &&
           k.set("siteElevation", static_cast<long>(height)) &&
           k.set("dataRepresentationTemplateNumber", 4) && k.set("precision", 1) &&
           k.set("bitMapIndicator", 255);
}

// The messages of the family, one per dataset holding grids, written as they are made.
bool writeMessages(const GRIB_PRODUCT& p, const std::vector<DatasetGrids>& datasets,
                   AtomicFile* pFile, std::string* pWhy) {
    Handle h(ec().grib_handle_new_from_samples(nullptr, "GRIB2"));
    if (!h) {
        *pWhy = "grib_handle_new_from_samples fail (no GRIB2 sample)";
        return false;
    }
    KeySetter k(h.get());
    if (!setIdentification(k, p, pWhy) || !setFamilyKeys(k, p, datasets, pWhy) ||
        !setGridAndProduct(k, p, pWhy)) {
        if (pWhy->empty()) {
            *pWhy = k.why();
        }
        return false;
    }
    const long nRows = p.m_where.m_lYsize;
    const long nCols = p.m_where.m_lXsize;
    std::vector<double> values;
    for (const DatasetGrids& d : datasets) {
        const long nGrids = static_cast<long>(d.slots.size());
        if (!stackGrids(d, nRows, nCols, &values, pWhy)) {
            return false;
        }
        // Each message counts the grids it holds.
        if (!(k.set("rdr_max_data", nGrids) && k.set("numberOfPointsAlongYAxis", nGrids * nRows) &&
              k.set("numberOfDataPoints", nGrids * nRows * nCols) &&
              k.setArray("values", values))) {
            *pWhy = k.why();
            return false;
        }
        const void* pMessage = nullptr;
        std::size_t nBytes = 0;
        const int err = ec().get_message(h.get(), &pMessage, &nBytes);
        if (err != CODES_SUCCESS) {
            *pWhy = std::string("no message (") + ec().get_error_message(err) + ")";
            return false;
        }
        if (!pFile->write(pMessage, nBytes)) {
            *pWhy = pFile->error();
            return false;
        }
    }
    return true;
}

}  // namespace

int fnWriteGribProduct(GRIB_PRODUCT* pGribProduct, const char* szProduct, const char* szFileName) {
    if (pGribProduct == nullptr || szProduct == nullptr || szFileName == nullptr ||
        szFileName[0] == '\0') {
        rdrError(kWrite, "no product, family or file name");
        return 0;
    }
    if (std::strlen(szFileName) > kMaxFileName) {
        rdrError(kWrite,
                 ("file name longer than " + std::to_string(kMaxFileName) + " characters").c_str());
        return 0;
    }
    const int f = gribFamilyIndex(szProduct);
    if (f < 0) {
        rdrError(kWrite,
                 ("fnFindGribProduct fail (no family " + std::string(szProduct) + ")").c_str());
        return 0;
    }
    const int n = *gribFamilyCount(pGribProduct->m_totalProduct, f);
    GRIB_PRODUCT_DATASET** ppDset = *gribFamilyArray(pGribProduct->m_totalProduct, f);
    if (ppDset == nullptr || n <= 0) {
        rdrError(kWrite, "iMaxDset is 0");
        return 0;
    }
    const std::vector<DatasetGrids> datasets = datasetsWithGrids(ppDset, n);
    if (datasets.empty()) {
        rdrError(kWrite, "iMaxData is 0");
        return 0;
    }
    // Every count the messages carry fits its field, and the largest message's values fit
    // in memory.
    const GRIB_PROUDCT_WHERE& w = pGribProduct->m_where;
    std::size_t maxGrids = 0;
    for (const DatasetGrids& d : datasets) {
        maxGrids = std::max(maxGrids, d.slots.size());
    }
    if (w.m_lXsize <= 0 || w.m_lYsize <= 0 || w.m_lXsize > kMaxRows ||
        w.m_lYsize > kMaxRows / static_cast<long>(maxGrids) ||
        static_cast<unsigned long>(w.m_lXsize) >
            std::numeric_limits<std::size_t>::max() / sizeof(double) /
                (static_cast<unsigned long>(w.m_lYsize) * maxGrids) ||
        static_cast<long>(datasets.size()) > kMaxLocalCount ||
        static_cast<long>(maxGrids) > kMaxLocalCount) {
        rdrError(kWrite, "the product's size does not fit a GRIB message");
        return 0;
    }
    std::string why;
    if (eccodesLibrary(&why) == nullptr) {
        rdrError(kWrite, why.c_str());
        return 0;
    }
    AtomicFile file;
    if (!file.open(szFileName)) {
        rdrError(kWrite,
                 ("cannot create " + std::string(szFileName) + " (" + file.error() + ")").c_str());
        return 0;
    }
    if (!writeMessages(*pGribProduct, datasets, &file, &why)) {
        rdrError(kWrite, ("cannot write " + std::string(szFileName) + " (" + why + ")").c_str());
        return 0;
    }
    if (!file.commit()) {
        rdrError(kWrite,
                 ("cannot write " + std::string(szFileName) + " (" + file.error() + ")").c_str());
        return 0;
    }
    return 1;
}
