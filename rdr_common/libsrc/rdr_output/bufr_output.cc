// fnWriteBufrProduct: the BUFR_PRODUCT to the descriptor and value lists of one gridded
// product message, encoded with the shipped tables and written atomically.
//
// Layout (F-X-Y):
//   3-01-011 3-01-013                 date and time
//   3-21-204                          source entries (type, identifier)
//   0-29-205                          projection definition, 100 characters
//   2-02-130 2-01-136 0-05-033 0-06-033 2-02-000
//                                     cell size, m, to 0.1 m
//   2-01-129 0-30-021 0-30-022 2-01-000   columns, rows
//   3-01-021 x 4                      corners UL, UR, LR, LL
//   0-29-193 0-29-194                 projection origin (the radar)
//   1-05-000 0-31-001                 one block per grid:
//     0-30-199 0-21-200 0-21-200 0-30-200 3-21-206
//                                     product name, both product parameters x 1000,
//                                     quantity, compression method and the zlib stream of
//                                     the grid's little-endian doubles in blocks of bytes
// Both parameters go with every grid, so that ETOP thresholds and VIL layers, not only
// PPI elevations and CAPPI heights, survive the trip and keep their datasets apart.
#include <zlib.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "atomic_file.h"
#include "bufr_output.h"
#include "core_utilities.h"
#include "internal/bufr_output_encoder.h"
#include "internal/bufr_tables.h"
#include "internal/odim_product_to_std.h"
#include "internal/refusal.h"

namespace {

constexpr const char* kWrite = "fnWriteBufrProduct";

// Section 1 of our product messages.
// The operating centre's own WMO number selects our local table; 255 until it is set.
constexpr int kOwnCentre = 255;
constexpr int kMasterVersion = 16;
constexpr int kLocalVersion = 9;
constexpr int kSubcentre = 0;
constexpr int kDataCategory = 6;  // radar data
constexpr int kInternationalSubcategory = 2;

constexpr int kMaxSourceEntries = 32;
constexpr std::size_t kBlockBytes = 65534;  // the largest count 0-31-002 holds
constexpr double kProdparFactor = 1000.0;
constexpr int kCompressionZlib = 0;  // 0-30-197

using WriteError = refusal::Refusal;
using refusal::refuse;

struct Message {
    explicit Message(const BufrTables& t) : tables(t) {}

    const BufrTables& tables;
    std::vector<int> descriptors;
    std::vector<double> values;

    void describe(std::initializer_list<int> list) {
        for (int fxy : list) {
            descriptors.push_back(fxy);
        }
    }
    void number(double v) { values.push_back(v); }
    // The text as the CCITT IA5 element iFxy holds it: one value per character, blank-filled
    // to the element's width. A text longer than the element refuses the product.
    void text(int iFxy, const std::string& s, const char* szWhat) {
        const BufrElement* e = tables.element(iFxy);
        if (e == nullptr || !e->bText) {
            refuse(std::string("the tables have no text element for the ") + szWhat);
        }
        const std::size_t nChars = static_cast<std::size_t>(e->iWidth / 8);
        if (s.size() > nChars) {
            refuse(std::string(szWhat) + " '" + s.substr(0, 64) + "' is longer than " +
                   std::to_string(nChars) + " characters");
        }
        for (std::size_t i = 0; i < nChars; ++i) {
            values.push_back(i < s.size() ? static_cast<unsigned char>(s[i]) : ' ');
        }
    }
};

int digits(const char* sz, int from, int n) {
    int v = 0;
    for (int i = from; i < from + n; ++i) {
        v = v * 10 + (sz[i] - '0');
    }
    return v;
}

bool allDigits(const char* sz, std::size_t n) {
    if (std::strlen(sz) != n) {
        return false;
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (sz[i] < '0' || sz[i] > '9') {
            return false;
        }
    }
    return true;
}

BufrIdentification identification(const HDF_TOP_WHAT& what) {
    if (!allDigits(what.m_szDate, 8) || !allDigits(what.m_szTime, 6)) {
        refuse(std::string("date and time '") + what.m_szDate + "' '" + what.m_szTime +
               "' are not YYYYMMDD and HHMMSS");
    }
    BufrIdentification id;
    id.iCentre = kOwnCentre;
    id.iSubcentre = kSubcentre;
    id.iDataCategory = kDataCategory;
    id.iInternationalSubcategory = kInternationalSubcategory;
    id.iMasterVersion = kMasterVersion;
    id.iLocalVersion = kLocalVersion;
    id.iYear = digits(what.m_szDate, 0, 4);
    id.iMonth = digits(what.m_szDate, 4, 2);
    id.iDay = digits(what.m_szDate, 6, 2);
    id.iHour = digits(what.m_szTime, 0, 2);
    id.iMinute = digits(what.m_szTime, 2, 2);
    id.iSecond = digits(what.m_szTime, 4, 2);
    if (id.iMonth < 1 || id.iMonth > 12 || id.iDay < 1 || id.iDay > 31 || id.iHour > 23 ||
        id.iMinute > 59 || id.iSecond > 59) {
        refuse(std::string("date and time '") + what.m_szDate + "' '" + what.m_szTime +
               "' are not a real time");
    }
    return id;
}

// The source entries "TYPE:identifier". WMO numbers have no place in a product message and
// are left out; an entry that does not fit its two fields refuses the product rather than
// spilling into the next entry.
void addSource(const char* szSource, Message* pMsg) {
    std::vector<std::pair<std::string, std::string>> entries;
    const std::string source(szSource);
    std::size_t pos = 0;
    while (pos < source.size()) {
        const std::size_t comma = std::min(source.find(',', pos), source.size());
        const std::string entry = source.substr(pos, comma - pos);
        pos = comma + 1;
        const std::size_t colon = entry.find(':');
        if (colon == std::string::npos) {
            refuse("source entry '" + entry + "' is not TYPE:identifier");
        }
        const std::string type = entry.substr(0, colon);
        if (type != "WMO") {
            entries.emplace_back(type, entry.substr(colon + 1));
        }
    }
    if (entries.size() > kMaxSourceEntries) {
        refuse("the source has more than " + std::to_string(kMaxSourceEntries) + " entries");
    }
    pMsg->describe({bufrFxy(3, 21, 204)});
    pMsg->number(static_cast<double>(entries.size()));
    for (const auto& [type, id] : entries) {
        pMsg->text(bufrFxy(0, 1, 192), type, "source type");
        pMsg->text(bufrFxy(0, 1, 193), id, "source identifier");
    }
}

void addHeader(const HDF_PRODUCT& product, const BufrIdentification& id, Message* pMsg) {
    pMsg->describe({bufrFxy(3, 1, 11), bufrFxy(3, 1, 13)});
    for (int v : {id.iYear, id.iMonth, id.iDay, id.iHour, id.iMinute, id.iSecond}) {
        pMsg->number(v);
    }
    addSource(product.m_what.m_szSource, pMsg);

    const HDF_IMAGE_WHERE& image = product.m_where.m_image_where;
    pMsg->describe({bufrFxy(0, 29, 205)});
    pMsg->text(bufrFxy(0, 29, 205), image.m_szProjdef, "projection definition");
    // Cell sizes in tenths of a metre (0-05-033 alone holds tens of metres, which would turn
    // 125 m into 120 m), 24 bits wide.
    pMsg->describe({bufrFxy(2, 2, 130), bufrFxy(2, 1, 136), bufrFxy(0, 5, 33), bufrFxy(0, 6, 33),
                    bufrFxy(2, 2, 0), bufrFxy(2, 1, 129), bufrFxy(0, 30, 21), bufrFxy(0, 30, 22),
                    bufrFxy(2, 1, 0)});
    pMsg->number(image.m_dXscale * 1000.0);
    pMsg->number(image.m_dYscale * 1000.0);
    pMsg->number(static_cast<double>(image.m_lXsize));
    pMsg->number(static_cast<double>(image.m_lYsize));
    const double corners[4][2] = {{image.m_UL_lat, image.m_UL_lon},
                                  {image.m_UR_lat, image.m_UR_lon},
                                  {image.m_LR_lat, image.m_LR_lon},
                                  {image.m_LL_lat, image.m_LL_lon}};
    for (const auto& corner : corners) {
        pMsg->describe({bufrFxy(3, 1, 21)});
        pMsg->number(corner[0]);
        pMsg->number(corner[1]);
    }
    pMsg->describe({bufrFxy(0, 29, 193), bufrFxy(0, 29, 194)});
    pMsg->number(product.m_where.m_polar_where.m_dLon);
    pMsg->number(product.m_where.m_polar_where.m_dLat);
}

// The slot's stored values as physical doubles (little-endian), compressed.
std::vector<unsigned char> compressedGrid(const HDF_PRODUCT_DATA& data, long nRows, long nCols) {
    FIELD_MEM_INFO_TBL rule{};
    fnGetFieldMemInfo(data.m_szFieldName, &rule);
    if (rule.m_iMemType != data.m_iMemType) {
        refuse(std::string("field '") + data.m_szFieldName +
               "' is not stored as its memory rule says");
    }
    const std::size_t cells = static_cast<std::size_t>(nRows) * static_cast<std::size_t>(nCols);
    std::vector<unsigned char> raw(cells * sizeof(double));
    unsigned char* out = raw.data();
    for (long y = 0; y < nRows; ++y) {
        for (long x = 0; x < nCols; ++x) {
            const float s = data.m_iMemType == RDR_EN_MEM_CHAR    ? data.m_ppData_c[y][x]
                            : data.m_iMemType == RDR_EN_MEM_SHORT ? data.m_ppData_s[y][x]
                                                                  : data.m_ppData_f[y][x];
            double v = 0.0;
            if (std::fabs(s - rule.m_fOutBound) <= 1e-6f) {
                v = DBL_MAX;  // nodata: outside the coverage
            } else if (std::fabs(s - rule.m_fBadValue) <= 1e-6f || std::isnan(s)) {
                v = -DBL_MAX;  // undetect: no echo
            } else {
                v = static_cast<double>(s) / rule.m_fScale - rule.m_fOffset;
            }
            std::uint64_t bits = 0;
            std::memcpy(&bits, &v, sizeof bits);
            for (int b = 0; b < 8; ++b) {
                *out++ = static_cast<unsigned char>(bits >> (8 * b));
            }
        }
    }
    uLongf nPacked = compressBound(static_cast<uLong>(raw.size()));
    std::vector<unsigned char> packed(nPacked);
    const int rc = compress(packed.data(), &nPacked, raw.data(), static_cast<uLong>(raw.size()));
    if (rc != Z_OK) {
        refuse(std::string("field '") + data.m_szFieldName + "' cannot be compressed (zlib " +
               std::to_string(rc) + ")");
    }
    packed.resize(nPacked);
    return packed;
}

void addGrid(const HDF_PRODUCT_DATASET& dataset, const HDF_PRODUCT_DATA& data, long nRows,
             long nCols, Message* pMsg) {
    const std::string product(dataset.m_what.m_szProduct);
    const std::string quantity(data.m_what.m_szQuantity);
    if (product.empty() || quantity.empty()) {
        refuse(std::string("field '") + data.m_szFieldName + "' has no product or quantity name");
    }
    const std::vector<unsigned char> packed = compressedGrid(data, nRows, nCols);
    pMsg->text(bufrFxy(0, 30, 199), product, "product name");
    pMsg->number(dataset.m_what.m_dProdpar[0] * kProdparFactor);
    pMsg->number(dataset.m_what.m_dProdpar[1] * kProdparFactor);
    pMsg->text(bufrFxy(0, 30, 200), quantity, "quantity");
    pMsg->number(kCompressionZlib);
    const std::size_t nBlocks = packed.size() / kBlockBytes + 1;
    pMsg->number(static_cast<double>(nBlocks));
    for (std::size_t b = 0; b < nBlocks; ++b) {
        const std::size_t from = b * kBlockBytes;
        const std::size_t n = std::min(kBlockBytes, packed.size() - from);
        pMsg->number(static_cast<double>(n));
        // A byte of all ones is the 8-bit element's missing value, which readers take as 255.
        for (std::size_t i = from; i < from + n; ++i) {
            pMsg->number(packed[i] == 255 ? kBufrMissingValue : packed[i]);
        }
    }
}

// Every grid in the order PPI, CAPPI, BASE, CMAX, VIL, ETOP, dataset by dataset.
void addGrids(HDF_PRODUCT& product, Message* pMsg) {
    const long nRows = product.m_where.m_image_where.m_lYsize;
    const long nCols = product.m_where.m_image_where.m_lXsize;
    if (nRows < 1 || nCols < 1) {
        refuse("the grid size " + std::to_string(nCols) + " x " + std::to_string(nRows) +
               " is empty");
    }
    pMsg->describe({bufrFxy(1, 5, 0), bufrFxy(0, 31, 1), bufrFxy(0, 30, 199), bufrFxy(0, 21, 200),
                    bufrFxy(0, 21, 200), bufrFxy(0, 30, 200), bufrFxy(3, 21, 206)});
    const std::size_t countAt = pMsg->values.size();
    pMsg->number(0);
    int nGrids = 0;
    for (int f = 0; f < kOdimFamilyCount; ++f) {
        HDF_PRODUCT_DATASET** ppDset = *odimFamilyArray(product.m_totalProduct, f);
        const int n = *odimFamilyCount(product.m_totalProduct, f);
        if (n > 0 && ppDset == nullptr) {
            refuse(std::string(kOdimStdFamilyNames[f]) + " has datasets but no dataset array");
        }
        for (int d = 0; d < n; ++d) {
            const HDF_PRODUCT_DATASET* pDset = ppDset[d];
            if (pDset == nullptr || (pDset->m_iMaxField > 0 && pDset->m_ppProductData == nullptr)) {
                refuse(std::string(kOdimStdFamilyNames[f]) + " dataset " + std::to_string(d + 1) +
                       " missing");
            }
            for (int k = 0; k < pDset->m_iMaxField; ++k) {
                const HDF_PRODUCT_DATA* pData = pDset->m_ppProductData[k];
                if (pData == nullptr) {
                    continue;
                }
                const bool anyRows = pData->m_ppData_c != nullptr || pData->m_ppData_s != nullptr ||
                                     pData->m_ppData_f != nullptr;
                if (!anyRows) {
                    continue;
                }
                if (!odimSlotHoldsRows(*pData)) {
                    refuse(std::string(kOdimStdFamilyNames[f]) + " dataset " +
                           std::to_string(d + 1) + " field '" + pData->m_szFieldName +
                           "' holds rows other than its type's");
                }
                addGrid(*pDset, *pData, nRows, nCols, pMsg);
                ++nGrids;
            }
        }
    }
    if (nGrids == 0) {
        refuse("the product holds no grid");
    }
    pMsg->values[countAt] = nGrids;
}

}  // namespace

int fnWriteBufrProduct(BUFR_PRODUCT* pBufrProduct, const char* szFileName) {
    if (pBufrProduct == nullptr || szFileName == nullptr || szFileName[0] == '\0') {
        rdrError(kWrite, pBufrProduct == nullptr ? "no product" : "no file name");
        return 0;
    }
    std::vector<unsigned char> bytes;
    try {
        const BufrIdentification id = identification(pBufrProduct->m_what);
        BufrTables tables;
        std::string why;
        if (!tables.load(bufrTableRoot(), kMasterVersion, kOwnCentre, kSubcentre, kLocalVersion,
                         &why)) {
            refuse("read_tables fail (" + why + ")");
        }
        Message msg(tables);
        addHeader(*pBufrProduct, id, &msg);
        addGrids(*pBufrProduct, &msg);
        if (!encodeBufrMessage(id, msg.descriptors, msg.values, tables, &bytes, &why)) {
            refuse("fnRecodeBufrProducts fail (" + why + ")");
        }
    } catch (const WriteError& e) {
        rdrError(kWrite, e.why().c_str());
        return 0;
    } catch (const std::bad_alloc&) {
        rdrError(kWrite, "out of memory");
        return 0;
    }
    std::string why;
    if (!writeFileAtomically(szFileName, bytes.data(), bytes.size(), &why)) {
        rdrError(kWrite, (std::string(szFileName) + ": " + why).c_str());
        return 0;
    }
    return 1;
}
