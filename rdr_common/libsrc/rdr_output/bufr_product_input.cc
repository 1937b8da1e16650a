// The BUFR product loader: the table-driven decoder hands every value in descriptor order
// to a sink that recognises the descriptors of a gridded product, gathers one item per grid
// (names, parameters, the zlib stream), then the items are inflated, checked against the
// grid size and sorted into the six families.
#include <zlib.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "bufr_product_input.h"
#include "core_utilities.h"
#include "grid_codes.h"
#include "internal/bufr_decoder.h"
#include "internal/bufr_message.h"
#include "internal/bufr_tables.h"
#include "internal/fixed_text.h"
#include "internal/odim_grid_packing.h"
#include "internal/odim_product_to_std.h"
#include "internal/refusal.h"

namespace {

constexpr const char* kLoad = "fnLoadBufrProduct";

// Bounds of what the loader accepts, as for ODIM products: a grid of at most 64 M cells and
// 20000 cells a side; a family holds at most 99 datasets.
constexpr long kMaxSide = 20000;
constexpr long kMaxCells = 64L << 20;
using product_families::kMaxFamilyCount;
constexpr int kMaxFieldsPerDataset = 64;
// A message is at most 16 MB, after a transmission header of a few bytes.
constexpr std::size_t kMaxFileBytes = std::size_t{1} << 25;
constexpr double kProdparFactor = 1000.0;
constexpr double kMetresPerKm = 1000.0;
constexpr int kCompressionZlib = 0;
constexpr std::size_t kMaxInflateRatio = 1032;

constexpr int kFxyYear = 4001, kFxyMonth = 4002, kFxyDay = 4003;
constexpr int kFxyHour = 4004, kFxyMinute = 4005, kFxySecond = 4006;
constexpr int kFxyLatitude = 5001, kFxyLongitude = 6001;
constexpr int kFxyXscale = 5033, kFxyYscale = 6033;
constexpr int kFxyXsize = 30021, kFxyYsize = 30022;
constexpr int kFxyProjdef = 29205, kFxyOriginLon = 29193, kFxyOriginLat = 29194;
constexpr int kFxySourceType = 1192, kFxySourceId = 1193;
constexpr int kFxyFactor = 31001, kFxyExtendedFactor = 31002;
constexpr int kFxyProductName = 30199, kFxyProdpar = 21200, kFxyQuantity = 30200;
constexpr int kFxyPictureType = 30031, kFxyProductType = 30196;
constexpr int kFxyCompression = 30197, kFxyByte = 30198;

// 0-30-031 picture types that name a family.
constexpr int kPicturePpi = 0;
constexpr int kPictureComposite = 1;
constexpr int kPictureCappi = 2;

using LoadError = refusal::Refusal;
using refusal::refuse;

std::string trimmed(std::string_view text) {
    std::size_t n = text.size();
    while (n > 0 && (text[n - 1] == ' ' || text[n - 1] == '\0')) {
        --n;
    }
    return std::string(text.substr(0, n));
}

// One grid of the message as it was read.
struct Item {
    std::string product;   // 0-30-199, empty in the exchange's composites
    std::string quantity;  // 0-30-200, or from the product type
    double prodpar[2] = {0.0, 0.0};
    int nProdpar = 0;
    int picture = -1;  // 0-30-031
    std::vector<unsigned char> packed;
};

// Quantities of the exchange's product type codes (0-30-196).
std::string quantityOfProductType(double code, bool bMissing) {
    if (bMissing) {
        return "PTNONE";
    }
    switch (static_cast<int>(code)) {
        case 0:
            return "DBZH";
        case 40:
            return "VRAD";
        case 91:
            return "TH";
        case 92:
            return "WRAD";
        default: {
            char sz[8];
            std::snprintf(sz, sizeof sz, "PT%03d", static_cast<int>(code) % 1000);
            return sz;
        }
    }
}

class ProductSink : public BufrValueSink {
  public:
    explicit ProductSink(HDF_PRODUCT* pHead) : head_(*pHead) {}

    bool number(int iFxy, double dValue, bool bMissing) override {
        try {
            return takeNumber(iFxy, dValue, bMissing);
        } catch (const LoadError& e) {
            why_ = e.why();
        } catch (const std::bad_alloc&) {
            why_ = "calloc fail";
        }
        return false;
    }

    bool text(int iFxy, std::string_view text) override {
        try {
            return takeText(iFxy, text);
        } catch (const LoadError& e) {
            why_ = e.why();
        } catch (const std::bad_alloc&) {
            why_ = "calloc fail";
        }
        return false;
    }

    bool bytes(int iFxy, const unsigned char* p, size_t n) override {
        if (iFxy != kFxyByte) {
            return BufrValueSink::bytes(iFxy, p, n);
        }
        try {
            if (state_ != State::kBytes || static_cast<long>(n) > bytesLeft_) {
                refuse("compressed bytes outside a block");
            }
            items_.back().packed.insert(items_.back().packed.end(), p, p + n);
            bytesLeft_ -= static_cast<long>(n);
            if (bytesLeft_ == 0) {
                nextBlock();
            }
            return true;
        } catch (const LoadError& e) {
            why_ = e.why();
        } catch (const std::bad_alloc&) {
            why_ = "calloc fail";
        }
        return false;
    }

    // Why the sink stopped the decoding; empty when it did not.
    const std::string& why() const { return why_; }

    // What the message held once it decoded whole.
    std::vector<Item> finish() {
        if (nGrids_ < 0) {
            refuse("the message has no grid count (not a gridded product)");
        }
        if (itemOpen_ || state_ != State::kItem || static_cast<int>(items_.size()) != nGrids_) {
            refuse(std::to_string(items_.size() - (itemOpen_ ? 1 : 0)) + " grids of the " +
                   std::to_string(nGrids_) + " announced are complete");
        }
        if (nTime_ != 6) {
            refuse("the message has no date and time");
        }
        for (int v : time_) {
            if (v < 0) {
                refuse("the date and time are missing");
            }
        }
        if (time_[0] > 9999 || time_[1] > 12 || time_[2] > 31 || time_[3] > 23 || time_[4] > 59 ||
            time_[5] > 59) {
            refuse("the date and time are not a real time");
        }
        char sz[32];
        std::snprintf(sz, sizeof sz, "%04d%02d%02d", time_[0], time_[1], time_[2]);
        copyFixedText(head_.m_what.m_szDate, sizeof head_.m_what.m_szDate, sz);
        std::snprintf(sz, sizeof sz, "%02d%02d%02d", time_[3], time_[4], time_[5]);
        copyFixedText(head_.m_what.m_szTime, sizeof head_.m_what.m_szTime, sz);
        return std::move(items_);
    }

  private:
    // Where the sink stands in the block of one grid's compressed array.
    enum class State { kItem, kBlockCount, kBlockLength, kBytes };

    bool takeNumber(int iFxy, double dValue, bool bMissing) {
        switch (iFxy) {
            case kFxyYear:
            case kFxyMonth:
            case kFxyDay:
            case kFxyHour:
            case kFxyMinute:
            case kFxySecond:
                // The first date and time is the product's; the time stamps of each grid in
                // the exchange's composites follow the grid count and are not kept.
                if (nGrids_ < 0 && nTime_ < 6) {
                    time_[nTime_++] = bMissing ? -1 : static_cast<int>(dValue);
                }
                return true;
            case kFxyXscale:
            case kFxyYscale:
                (iFxy == kFxyXscale ? image().m_dXscale : image().m_dYscale) =
                    bMissing ? 0.0 : dValue / kMetresPerKm;
                return true;
            case kFxyXsize:
            case kFxyYsize:
                return size(iFxy, dValue, bMissing);
            case kFxyLatitude:
            case kFxyLongitude:
                corner(iFxy, bMissing ? 0.0 : dValue);
                return true;
            case kFxyOriginLon:
                head_.m_where.m_polar_where.m_dLon = bMissing ? 0.0 : dValue;
                return true;
            case kFxyOriginLat:
                head_.m_where.m_polar_where.m_dLat = bMissing ? 0.0 : dValue;
                return true;
            case kFxyFactor:
                return factor(dValue, bMissing);
            case kFxyProdpar: {
                Item& it = current("a product parameter");
                if (it.nProdpar >= 2) {
                    refuse("grid " + std::to_string(items_.size()) +
                           " has more than two product parameters");
                }
                it.prodpar[it.nProdpar++] = bMissing ? 0.0 : dValue / kProdparFactor;
                return true;
            }
            case kFxyPictureType:
                current("a picture type").picture = bMissing ? -1 : static_cast<int>(dValue);
                return true;
            case kFxyProductType:
                current("a product type").quantity = quantityOfProductType(dValue, bMissing);
                return true;
            case kFxyCompression:
                compression(dValue, bMissing);
                return true;
            case kFxyExtendedFactor:
                return extendedFactor(dValue, bMissing);
            case kFxyByte:
                return byte(bMissing ? 255 : static_cast<int>(dValue));
            default:
                return true;  // descriptors a product does not need
        }
    }

    bool takeText(int iFxy, std::string_view text) {
        switch (iFxy) {
            case kFxyProjdef: {
                const std::string projdef = trimmed(text);
                if (projdef.size() >= sizeof image().m_szProjdef) {
                    refuse("the projection definition is longer than " +
                           std::to_string(sizeof image().m_szProjdef - 1) + " characters");
                }
                copyFixedText(image().m_szProjdef, sizeof image().m_szProjdef, projdef.c_str());
                return true;
            }
            case kFxySourceType:
                sourceType_ = trimmed(text);
                return true;
            case kFxySourceId:
                appendSource(sourceType_, trimmed(text));
                return true;
            case kFxyProductName:
                current("a product name").product = name(text, "product name");
                return true;
            case kFxyQuantity:
                current("a quantity").quantity = name(text, "quantity");
                return true;
            default:
                return true;
        }
    }

    HDF_IMAGE_WHERE& image() { return head_.m_where.m_image_where; }

    bool size(int iFxy, double v, bool bMissing) {
        if (bMissing || v < 1 || v > kMaxSide) {
            refuse(std::string(iFxy == kFxyXsize ? "column" : "row") +
                   " count is not a size from 1 to " + std::to_string(kMaxSide));
        }
        (iFxy == kFxyXsize ? image().m_lXsize : image().m_lYsize) = static_cast<long>(v);
        if (image().m_lXsize * image().m_lYsize > kMaxCells) {
            refuse("the grid has more than " + std::to_string(kMaxCells) + " cells");
        }
        return true;
    }

    // Corners come as latitude, longitude pairs: upper left, upper right, lower right, lower
    // left; further ones are not kept.
    void corner(int iFxy, double v) {
        double* targets[8] = {&image().m_UL_lat, &image().m_UL_lon, &image().m_UR_lat,
                              &image().m_UR_lon, &image().m_LR_lat, &image().m_LR_lon,
                              &image().m_LL_lat, &image().m_LL_lon};
        if (nCorner_ < 8 && (nCorner_ % 2 == 0) == (iFxy == kFxyLatitude)) {
            *targets[nCorner_++] = v;
        }
    }

    // The first replication factor after the grid size is the grid count; those before it
    // count source entries.
    bool factor(double v, bool bMissing) {
        if (image().m_lXsize == 0 || image().m_lYsize == 0) {
            return true;
        }
        if (nGrids_ >= 0) {
            refuse("a second grid count");
        }
        if (bMissing || v < 1) {
            refuse("the grid count is not a positive number");
        }
        nGrids_ = static_cast<int>(v);
        return true;
    }

    Item& current(const char* szWhat) {
        if (nGrids_ < 0) {
            refuse(std::string(szWhat) + " before the grid size and count");
        }
        if (state_ != State::kItem) {
            refuse(std::string(szWhat) + " inside a compressed array");
        }
        if (!itemOpen_) {
            if (static_cast<int>(items_.size()) >= nGrids_) {
                refuse("more grids than the " + std::to_string(nGrids_) + " announced");
            }
            items_.emplace_back();
            itemOpen_ = true;
        }
        return items_.back();
    }

    void compression(double v, bool bMissing) {
        current("a compressed array");
        if (bMissing || static_cast<int>(v) != kCompressionZlib) {
            refuse("grid " + std::to_string(items_.size()) + " is not compressed with zlib");
        }
        state_ = State::kBlockCount;
    }

    bool extendedFactor(double v, bool bMissing) {
        const long n = bMissing ? -1 : static_cast<long>(v);
        if (state_ == State::kBlockCount) {
            if (n < 0) {
                refuse("grid " + std::to_string(items_.size()) + " has no block count");
            }
            blocksLeft_ = n;
            nextBlock();
        } else if (state_ == State::kBlockLength) {
            if (n < 0) {
                refuse("grid " + std::to_string(items_.size()) + " has a block without length");
            }
            --blocksLeft_;
            bytesLeft_ = n;
            state_ = State::kBytes;
            if (bytesLeft_ == 0) {
                nextBlock();
            }
        }
        return true;
    }

    void nextBlock() {
        if (blocksLeft_ == 0) {
            state_ = State::kItem;  // the array is complete; the next grid may begin
            itemOpen_ = false;
        } else {
            state_ = State::kBlockLength;
        }
    }

    bool byte(int v) {
        if (state_ != State::kBytes || bytesLeft_ <= 0) {
            refuse("a compressed byte outside a block");
        }
        items_.back().packed.push_back(static_cast<unsigned char>(v));
        if (--bytesLeft_ == 0) {
            nextBlock();
        }
        return true;
    }

    std::string name(std::string_view text, const char* szWhat) {
        std::string n = trimmed(text);
        if (n.size() > 6) {
            refuse(std::string(szWhat) + " '" + n + "' is longer than 6 characters");
        }
        return n;
    }

    void appendSource(const std::string& type, const std::string& id) {
        char* szSource = head_.m_what.m_szSource;
        const std::string entry = (szSource[0] != '\0' ? "," : "") + type + ":" + id;
        if (std::strlen(szSource) + entry.size() >= sizeof head_.m_what.m_szSource) {
            refuse("the source entries do not fit in 255 characters");
        }
        std::strcat(szSource, entry.c_str());
    }

    HDF_PRODUCT& head_;
    int time_[6] = {};
    int nTime_ = 0;
    int nCorner_ = 0;
    int nGrids_ = -1;
    std::string sourceType_;
    std::vector<Item> items_;
    bool itemOpen_ = false;
    State state_ = State::kItem;
    long blocksLeft_ = 0;
    long bytesLeft_ = 0;
    std::string why_;
};

std::vector<unsigned char> readFile(const char* szFile) {
    std::ifstream in(szFile, std::ios::binary);
    if (!in) {
        refuse("bufr_read_file fail (cannot open the file)");
    }
    std::vector<unsigned char> bytes;
    char chunk[1 << 16];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        bytes.insert(bytes.end(), chunk, chunk + in.gcount());
        if (bytes.size() > kMaxFileBytes) {
            refuse("bufr_read_file fail (larger than " + std::to_string(kMaxFileBytes >> 20) +
                   " MB)");
        }
    }
    if (in.bad()) {
        refuse("bufr_read_file fail (read error)");
    }
    return bytes;
}

// The family of an item: its product name when it has one, else its picture type.
int familyOf(const Item& item) {
    std::string stdName;
    if (!item.product.empty()) {
        PRODUCT_INFO_TBL info{};
        if (fnGetBufrProductInfo(item.product.c_str(), &info) != 1) {
            return -1;
        }
        stdName = info.m_szStdProduct;
    } else if (item.picture == kPicturePpi) {
        stdName = "PPI";
    } else if (item.picture == kPictureCappi) {
        stdName = "CAPPI";
    } else if (item.picture == kPictureComposite) {
        // A composite's picture type says nothing of its height or elevation: it is read as
        // the surface field of the composite, the family without a parameter.
        stdName = "BASE";
    }
    for (int f = 0; f < kOdimFamilyCount; ++f) {
        if (stdName == kOdimStdFamilyNames[f]) {
            return f;
        }
    }
    return -1;
}

bool sameProdpar(const double* a, const double* b) {
    return std::fabs(a[0] - b[0]) <= 1e-9 && std::fabs(a[1] - b[1]) <= 1e-9;
}

// The physical grid of an item: inflated, exactly ysize x xsize little-endian doubles, the
// two extreme doubles turned into the grid codes.
std::vector<float> physicalGrid(const Item& item, std::size_t index, long nRows, long nCols) {
    const std::size_t cells = static_cast<std::size_t>(nRows) * static_cast<std::size_t>(nCols);
    const std::string which = "grid " + std::to_string(index + 1);
    // Nothing is allocated for a size the stream cannot reach: deflate packs at most 1032
    // bytes into one.
    if (cells * sizeof(double) > item.packed.size() * kMaxInflateRatio + kMaxInflateRatio) {
        refuse(which + ": " + std::to_string(item.packed.size()) +
               " compressed bytes cannot hold the " + std::to_string(cells) + " cells of " +
               std::to_string(nCols) + " x " + std::to_string(nRows));
    }
    std::vector<unsigned char> raw(cells * sizeof(double));
    uLongf nRaw = static_cast<uLongf>(raw.size());
    const int rc =
        uncompress(raw.data(), &nRaw, item.packed.data(), static_cast<uLong>(item.packed.size()));
    if (rc == Z_BUF_ERROR) {
        refuse(which + " inflates to more than the " + std::to_string(cells) + " cells of " +
               std::to_string(nCols) + " x " + std::to_string(nRows));
    }
    if (rc != Z_OK) {
        refuse(which + ": uncompress fail (zlib " + std::to_string(rc) + ")");
    }
    if (nRaw != raw.size()) {
        refuse(which + " inflates to " + std::to_string(nRaw) + " bytes where " +
               std::to_string(raw.size()) + " were expected");
    }
    FIELD_INFO_TBL field{};
    fnGetBufrFieldInfo(item.quantity.c_str(), &field);
    FIELD_MEM_INFO_TBL rule{};
    fnGetFieldMemInfo(field.m_szFieldName, &rule);
    std::vector<float> physical(cells);
    for (std::size_t i = 0; i < cells; ++i) {
        std::uint64_t bits = 0;
        for (int b = 7; b >= 0; --b) {
            bits = bits << 8 | raw[i * 8 + static_cast<std::size_t>(b)];
        }
        double v = 0.0;
        std::memcpy(&v, &bits, sizeof v);
        if (v == DBL_MAX) {
            physical[i] = RDR_GRID_OUT_BOUND;
        } else if (v == -DBL_MAX || std::isnan(v)) {
            physical[i] = RDR_GRID_NO_DATA;
        } else {
            physical[i] = physicalForRule(v, rule);
        }
    }
    return physical;
}

// The items, sorted into families and datasets, into a new BUFR_PRODUCT with the header.
HDF_PRODUCT* buildProduct(const HDF_PRODUCT& head, const std::vector<Item>& items) {
    struct Dataset {
        double prodpar[2];
        std::string product;
        std::vector<std::size_t> items;
    };
    std::vector<Dataset> families[kOdimFamilyCount];
    int maxField = 0;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const Item& item = items[i];
        const int f = familyOf(item);
        if (f < 0) {
            continue;  // a product of none of the six families
        }
        if (item.quantity.empty()) {
            refuse("grid " + std::to_string(i + 1) + " has no quantity");
        }
        std::vector<Dataset>& family = families[f];
        Dataset* pSet = nullptr;
        for (Dataset& d : family) {
            if (sameProdpar(d.prodpar, item.prodpar)) {
                pSet = &d;
            }
        }
        if (pSet == nullptr) {
            if (static_cast<int>(family.size()) >= kMaxFamilyCount) {
                refuse(std::string("more than ") + std::to_string(kMaxFamilyCount) + " " +
                       kOdimStdFamilyNames[f] + " datasets");
            }
            PRODUCT_INFO_TBL info{};
            fnGetStdProductInfo(kOdimStdFamilyNames[f], &info);
            family.push_back({{item.prodpar[0], item.prodpar[1]},
                              item.product.empty() ? info.m_szBufrProduct : item.product,
                              {}});
            pSet = &family.back();
        }
        for (std::size_t other : pSet->items) {
            if (items[other].quantity == item.quantity) {
                refuse("grid " + std::to_string(i + 1) + ": quantity " + item.quantity +
                       " twice in one " + kOdimStdFamilyNames[f] + " dataset");
            }
        }
        if (static_cast<int>(pSet->items.size()) >= kMaxFieldsPerDataset) {
            refuse(std::string("more than ") + std::to_string(kMaxFieldsPerDataset) +
                   " grids in one dataset");
        }
        pSet->items.push_back(i);
        maxField = std::max(maxField, static_cast<int>(pSet->items.size()));
    }
    if (maxField == 0) {
        refuse("no grid of a product PPI, PCAPPI, BASE, MAX, VIL or ETOP");
    }
    int counts[kOdimFamilyCount];
    for (int f = 0; f < kOdimFamilyCount; ++f) {
        counts[f] = static_cast<int>(families[f].size());
    }
    HDF_PRODUCT* pProduct = fnInitBufrProduct(maxField, counts[0], counts[1], counts[2], counts[3],
                                              counts[4], counts[5]);
    if (pProduct == nullptr) {
        throw std::bad_alloc();
    }
    const HDF_TOTAL_PRODUCT total = pProduct->m_totalProduct;
    *pProduct = head;
    pProduct->m_totalProduct = total;
    try {
        const long nRows = head.m_where.m_image_where.m_lYsize;
        const long nCols = head.m_where.m_image_where.m_lXsize;
        for (int f = 0; f < kOdimFamilyCount; ++f) {
            HDF_PRODUCT_DATASET** ppDset = *odimFamilyArray(pProduct->m_totalProduct, f);
            for (int d = 0; d < counts[f]; ++d) {
                const Dataset& set = families[f][static_cast<std::size_t>(d)];
                HDF_DATASET_WHAT& w = ppDset[d]->m_what;
                copyFixedText(w.m_szProduct, sizeof w.m_szProduct, set.product.c_str());
                w.m_dProdpar[0] = set.prodpar[0];
                w.m_dProdpar[1] = set.prodpar[1];
                for (std::size_t k = 0; k < set.items.size(); ++k) {
                    const Item& item = items[set.items[k]];
                    HDF_PRODUCT_DATA* pOut = ppDset[d]->m_ppProductData[k];
                    FIELD_INFO_TBL field{};
                    fnGetBufrFieldInfo(item.quantity.c_str(), &field);
                    const std::vector<float> physical =
                        physicalGrid(item, set.items[k], nRows, nCols);
                    pOut->m_what = w;
                    copyFixedText(pOut->m_what.m_szQuantity, sizeof pOut->m_what.m_szQuantity,
                                  item.quantity.c_str());
                    copyFixedText(pOut->m_szFieldName, sizeof pOut->m_szFieldName,
                                  field.m_szFieldName);
                    if (!packPhysicalGrid(physical.data(), field.m_szFieldName,
                                          static_cast<int>(nRows), static_cast<int>(nCols), pOut)) {
                        throw std::bad_alloc();
                    }
                    // The slot describes its own rows from now on.
                    FIELD_MEM_INFO_TBL rule{};
                    fnGetFieldMemInfo(field.m_szFieldName, &rule);
                    pOut->m_what.m_dGain = 1.0 / rule.m_fScale;
                    pOut->m_what.m_dOffset = -static_cast<double>(rule.m_fOffset);
                    pOut->m_what.m_dNodata = rule.m_fOutBound;
                    pOut->m_what.m_dUndetect = rule.m_fBadValue;
                }
            }
        }
    } catch (...) {
        fnFreeBufrProduct(pProduct);
        throw;
    }
    return pProduct;
}

HDF_PRODUCT* loadProduct(const char* szFile, const char* szObject) {
    const bool bSite = std::strcmp(szObject, "AZIM") == 0;
    if (!bSite && std::strcmp(szObject, "COMP") != 0) {
        refuse(std::string("object '") + szObject + "' is neither AZIM nor COMP");
    }
    const std::vector<unsigned char> bytes = readFile(szFile);
    const long start = findBufrSignature(bytes.data(), bytes.size());
    if (start < 0) {
        refuse("bufr_read_file fail (no BUFR message)");
    }
    BufrMessage msg;
    std::string why;
    if (!parseBufrMessage(bytes.data() + start, bytes.size() - static_cast<std::size_t>(start),
                          &msg, &why)) {
        refuse("bufr_decode_sections01 fail (" + why + ")");
    }
    if (msg.iSubsets != 1 || msg.bCompressed) {
        refuse("the message holds " + std::to_string(msg.iSubsets) +
               (msg.bCompressed ? " compressed" : "") + " subsets, not one");
    }
    BufrTables tables;
    if (!tables.load(bufrTableRoot(), msg.iMaster, msg.iCentre, msg.iSubcentre, msg.iLocal, &why)) {
        refuse("read_tables fail (" + why + ")");
    }
    HDF_PRODUCT head{};
    head.m_iHdfProductType = bSite ? BUFR_EN_PRODUCT_SITE : BUFR_EN_PRODUCT_COMP;
    copyFixedText(head.m_szConventions, sizeof head.m_szConventions, "ODIM_H5/V2_1");
    copyFixedText(head.m_what.m_szObject, sizeof head.m_what.m_szObject, szObject);
    copyFixedText(head.m_what.m_szVersion, sizeof head.m_what.m_szVersion, "H5rad 1.0");
    ProductSink sink(&head);
    if (!decodeBufrData(msg, tables, sink, &why)) {
        refuse(sink.why().empty() ? "bufr_parse_out fail (" + why + ")" : sink.why());
    }
    const std::vector<Item> items = sink.finish();
    return buildProduct(head, items);
}

}  // namespace

BUFR_PRODUCT* fnLoadBufrProduct(const char* szFile, const char* szObject) {
    if (szFile == nullptr || szFile[0] == '\0' || szObject == nullptr) {
        rdrError(kLoad, szObject == nullptr ? "no object" : "no file name");
        return nullptr;
    }
    try {
        return loadProduct(szFile, szObject);
    } catch (const LoadError& e) {
        rdrError(kLoad, e.why().c_str());
    } catch (const std::bad_alloc&) {
        rdrError(kLoad, "calloc fail");
    }
    return nullptr;
}

STD_PRODUCT* fnBufrProductSyncUpStd(BUFR_PRODUCT* pBufrProduct) {
    if (pBufrProduct == nullptr) {
        rdrError("fnBufrProductSyncUpStd", "fnGetMaxCountBufrProduct fail");
        return nullptr;
    }
    static const OdimProductReader kReader = {"fnBufrProductSyncUpStd", "fnConvertStdDatasetToBufr",
                                              fnGetBufrProductInfo};
    return odimProductToStd(pBufrProduct->m_iHdfProductType, pBufrProduct->m_what,
                            pBufrProduct->m_where, pBufrProduct->m_how,
                            pBufrProduct->m_totalProduct, kReader);
}
