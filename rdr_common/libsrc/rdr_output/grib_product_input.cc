// The GRIB product loader. The file's messages are found here by their own framing (GRIB,
// edition 2, total length, 7777), ecCodes reads their keys in a child process, and what
// comes back is checked as a whole (one family, one message per dataset, every grid's
// name, size and values present) before the GRIB_PRODUCT is built.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "core_utilities.h"
#include "grib_product_input.h"
#include "internal/eccodes_library.h"
#include "internal/fixed_text.h"
#include "internal/grib_product_families.h"
#include "internal/grib_product_keys.h"
#include "internal/grib_product_messages.h"
#include "internal/isolated_decode.h"
#include "internal/refusal.h"

namespace {

constexpr const char* kLoad = "fnLoadGribProduct";

// A product file of the largest accepted grid is some hundreds of MB; the child needs a
// few times that.
constexpr long long kMaxFileBytes = 1LL << 30;
IsolationLimits g_limits = {
    std::size_t{3} << 30,  // address space
    30,                    // CPU seconds
    60,                    // wall seconds
    std::size_t{3} << 30,  // result bytes
};

using product_families::kMaxFamilyCount;
constexpr long kMaxSide = 20000;
constexpr long kMaxGrids = 64;
constexpr double kGribNodata = -9998.0;
constexpr double kGribUndetect = -9999.0;
constexpr double kCodeTolerance = 1e-15;

// The size of a GRIB 2 message: section 0 (16 octets) and "7777".
constexpr std::size_t kMinMessageBytes = 20;

using LoadError = refusal::Refusal;
using refusal::refuse;

std::vector<unsigned char> readWholeFile(const char* szFile) {
    FILE* f = std::fopen(szFile, "rb");
    if (f == nullptr) {
        refuse(std::string("cannot open ") + szFile + " (" + std::strerror(errno) + ")");
    }
    std::vector<unsigned char> bytes;
    struct stat st {};
    if (fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > kMaxFileBytes) {
        std::fclose(f);
        refuse("the file is larger than " + std::to_string(kMaxFileBytes >> 20) + " MB");
    }
    unsigned char buf[65536];
    std::size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
        if (bytes.size() + n > static_cast<std::size_t>(kMaxFileBytes)) {
            std::fclose(f);
            refuse("the file is larger than " + std::to_string(kMaxFileBytes >> 20) + " MB");
        }
        bytes.insert(bytes.end(), buf, buf + n);
    }
    const bool bError = std::ferror(f) != 0;
    std::fclose(f);
    if (bError) {
        refuse(std::string("cannot read ") + szFile);
    }
    return bytes;
}

// The messages of the file, back to back from its first byte, each a whole GRIB 2 message.
std::vector<GribMessageSpan> frameMessages(const std::vector<unsigned char>& bytes) {
    std::vector<GribMessageSpan> spans;
    std::size_t at = 0;
    while (at < bytes.size()) {
        const std::string where = "at byte " + std::to_string(at);
        const std::size_t left = bytes.size() - at;
        if (left < 8 || std::memcmp(bytes.data() + at, "GRIB", 4) != 0) {
            refuse(spans.empty() ? std::string("not a GRIB file")
                                 : "bytes " + where + " are not a GRIB message");
        }
        const int edition = bytes[at + 7];
        if (edition != 2) {
            refuse("GRIB edition " + std::to_string(edition) + " message " + where +
                   ": not a product of this system (GRIB 2 with its rdr keys)");
        }
        if (left < kMinMessageBytes) {
            refuse("the GRIB message " + where + " is cut short");
        }
        unsigned long long length = 0;
        for (int i = 8; i < 16; ++i) {
            length = (length << 8) | bytes[at + static_cast<std::size_t>(i)];
        }
        if (length < kMinMessageBytes || length > left) {
            refuse("the GRIB message " + where + " is cut short (it says " +
                   std::to_string(length) + " bytes, " + std::to_string(left) + " are left)");
        }
        if (std::memcmp(bytes.data() + at + length - 4, "7777", 4) != 0) {
            refuse("the GRIB message " + where + " does not end in 7777");
        }
        spans.push_back({at, static_cast<std::size_t>(length)});
        at += static_cast<std::size_t>(length);
    }
    if (spans.empty()) {
        refuse("the file is empty");
    }
    return spans;
}

std::vector<std::string> split(const std::string& text, char sep) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == sep) {
            parts.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    return parts;
}

double number(const GribProductMessage& m, int i) {
    double v = 0.0;
    if (!gribNumberFromText(m.numbers[i], &v)) {
        refuse(std::string(kGribProductNumberKeys[i]) + " '" + m.numbers[i].substr(0, 32) +
               "' is not a number");
    }
    return v;
}

// The family every message names, and the checks of what all messages must share.
int checkFamily(const std::vector<GribProductMessage>& messages) {
    const GribProductMessage& first = messages.front();
    PRODUCT_INFO_TBL info{};
    const int f = fnGetGribProductInfo(first.product.c_str(), &info) == 1
                      ? gribFamilyIndex(info.m_szStdProduct)
                      : -1;
    if (f < 0) {
        refuse("rdr_product '" + first.product.substr(0, 16) +
               "' is none of PPI, CAPPI, BASE, CMAX, VIL and ETOP");
    }
    if (first.maxProduct < 1 || first.maxProduct > kMaxFamilyCount ||
        static_cast<std::size_t>(first.maxProduct) != messages.size()) {
        refuse("Dataset count error (rdr_max_product " + std::to_string(first.maxProduct) + ", " +
               std::to_string(messages.size()) + " messages)");
    }
    if (first.xsize < 1 || first.ysize < 1 || first.xsize > kMaxSide || first.ysize > kMaxSide) {
        refuse("rdr_xsize " + std::to_string(first.xsize) + " x rdr_ysize " +
               std::to_string(first.ysize) + " is not a grid of 1 to " + std::to_string(kMaxSide) +
               " cells a side");
    }
    if (first.prodpar.size() != static_cast<std::size_t>(2 * first.maxProduct)) {
        refuse("rdr_prodpar holds " + std::to_string(first.prodpar.size()) + " values for " +
               std::to_string(first.maxProduct) + " datasets");
    }
    for (std::size_t j = 1; j < messages.size(); ++j) {
        const GribProductMessage& m = messages[j];
        if (m.product != first.product || m.maxProduct != first.maxProduct ||
            m.xsize != first.xsize || m.ysize != first.ysize || m.prodpar != first.prodpar ||
            m.quantity != first.quantity || m.projdef != first.projdef) {
            refuse("message " + std::to_string(j + 1) +
                   " does not belong to the family of the first");
        }
    }
    for (double v : first.prodpar) {
        if (!std::isfinite(v)) {
            refuse("rdr_prodpar holds a value that is not a number");
        }
    }
    return f;
}

void fillHeader(const GribProductMessage& m, GRIB_PRODUCT* pProduct) {
    if (m.year < 1 || m.year > 9999 || m.month < 1 || m.month > 12 || m.day < 1 || m.day > 31 ||
        m.hour < 0 || m.hour > 23 || m.minute < 0 || m.minute > 59 || m.second < 0 ||
        m.second > 60) {
        refuse("the message time is not a date and time");
    }
    GRIB_PRODUCT_WHAT& what = pProduct->m_what;
    std::snprintf(what.m_szDate, sizeof what.m_szDate, "%04ld%02ld%02ld", m.year, m.month, m.day);
    std::snprintf(what.m_szTime, sizeof what.m_szTime, "%02ld%02ld%02ld", m.hour, m.minute,
                  m.second);
    GRIB_PROUDCT_WHERE& w = pProduct->m_where;
    w.m_dLat = gribLatitudeFromSite(m.siteLatitude);
    w.m_dLon = gribLongitudeFromSite(m.siteLongitude);
    w.m_dHeightM = static_cast<double>(m.siteElevation);
    if (m.projdef.size() >= sizeof w.m_szProjdef) {
        refuse("rdr_projdef is longer than " + std::to_string(sizeof w.m_szProjdef - 1) +
               " characters");
    }
    copyFixedText(w.m_szProjdef, sizeof w.m_szProjdef, m.projdef.c_str());
    GRIB_PRODUCT_HOW& how = pProduct->m_how;
    const struct {
        const char* key;
        const std::string& text;
        char* out;
        std::size_t size;
    } texts[] = {{"rdr_site_name", m.siteName, how.m_szSiteName, sizeof how.m_szSiteName},
                 {"rdr_task", m.task, how.m_szTask, sizeof how.m_szTask},
                 {"rdr_system", m.system, how.m_szSystem, sizeof how.m_szSystem},
                 {"rdr_comp_method", m.compMethod, how.m_szCompMethod, sizeof how.m_szCompMethod}};
    for (const auto& t : texts) {
        if (t.text.size() >= t.size) {
            refuse(std::string(t.key) + " is longer than " + std::to_string(t.size - 1) +
                   " characters");
        }
        copyFixedText(t.out, t.size, t.text.c_str());
    }
    if (!gribNumberFromText(m.nyquist, &how.m_dNi)) {
        refuse("rdr_nyquist_velocity '" + m.nyquist.substr(0, 32) + "' is not a number");
    }
    w.m_lXsize = m.xsize;
    w.m_lYsize = m.ysize;
    double site[2] = {0.0, 0.0};
    double* const numbers[kGribProductNumberCount] = {
        &w.m_dXscale, &w.m_dYscale, &w.m_LL_lon, &w.m_LL_lat, &w.m_UL_lon, &w.m_UL_lat,
        &w.m_UR_lon,  &w.m_UR_lat,  &w.m_LR_lon, &w.m_LR_lat, &site[0],    &site[1]};
    for (int i = 0; i < kGribProductNumberCount; ++i) {
        *numbers[i] = number(m, i);
    }
    // The exact position, where it agrees with the micro-degrees of template 4.20.
    if (std::fabs(site[0] - w.m_dLon) > 1e-6 || std::fabs(site[1] - w.m_dLat) > 1e-6) {
        refuse(
            "rdr_site_longitude and rdr_site_latitude disagree with siteLongitude and "
            "siteLatitude");
    }
    w.m_dLon = site[0];
    w.m_dLat = site[1];
    if (!(std::fabs(w.m_dLon) <= 360.0 && std::fabs(w.m_dLat) <= 90.0)) {
        refuse("the site position " + m.numbers[10] + ", " + m.numbers[11] +
               " is not a longitude and latitude");
    }
}

// Stored value of one physical value: the codes as the rule's, integers rounded to the
// nearest and held inside the storage range, stepping off the codes towards zero.
template <typename T>
T packInteger(double v, const FIELD_MEM_INFO_TBL& rule) {
    const T bad = static_cast<T>(rule.m_fBadValue);
    const T out = static_cast<T>(rule.m_fOutBound);
    if (std::isnan(v) || std::fabs(v - kGribUndetect) <= kCodeTolerance) {
        return bad;
    }
    if (std::fabs(v - kGribNodata) <= kCodeTolerance) {
        return out;
    }
    long lo = std::numeric_limits<T>::min();
    long hi = std::numeric_limits<T>::max();
    while (lo < hi && (lo == bad || lo == out)) {
        ++lo;
    }
    while (hi > lo && (hi == bad || hi == out)) {
        --hi;
    }
    const double scaled = std::nearbyint((v + rule.m_fOffset) * rule.m_fScale);
    const auto packed =
        static_cast<T>(std::clamp(scaled, static_cast<double>(lo), static_cast<double>(hi)));
    return packed == bad || packed == out ? static_cast<T>(packed < 0 ? packed + 1 : packed - 1)
                                          : packed;
}

float packFloat(double v, const FIELD_MEM_INFO_TBL& rule) {
    if (std::isnan(v) || std::fabs(v - kGribUndetect) <= kCodeTolerance) {
        return rule.m_fBadValue;
    }
    if (std::fabs(v - kGribNodata) <= kCodeTolerance) {
        return rule.m_fOutBound;
    }
    return static_cast<float>((v + rule.m_fOffset) * rule.m_fScale);
}

template <typename T, typename Pack>
T** packGrid(const float* values, int iYdim, int iXdim, T** (*makeMatrix)(int, int), Pack pack) {
    T** rows = makeMatrix(iYdim, iXdim);
    if (rows == nullptr) {
        refuse("calloc fail");
    }
    for (int y = 0; y < iYdim; ++y) {
        const float* in = values + static_cast<std::size_t>(y) * static_cast<std::size_t>(iXdim);
        for (int x = 0; x < iXdim; ++x) {
            rows[y][x] = pack(in[x]);
        }
    }
    return rows;
}

// One grid of a message into its slot (fnConvertGribProductDataToBuf).
void fillSlot(const std::string& quantity, const float* values, const GRIB_DATASET_WHAT& what,
              int iYdim, int iXdim, GRIB_PRODUCT_DATA* pData) {
    FIELD_INFO_TBL field{};
    fnGetGribFieldInfo(quantity.c_str(), &field);
    FIELD_MEM_INFO_TBL rule{};
    fnGetFieldMemInfo(field.m_szFieldName, &rule);
    pData->m_what = what;
    copyFixedText(pData->m_what.m_szQuantity, sizeof pData->m_what.m_szQuantity, quantity.c_str());
    copyFixedText(pData->m_szFieldName, sizeof pData->m_szFieldName, field.m_szFieldName);
    pData->m_iMemType = rule.m_iMemType;
    switch (rule.m_iMemType) {
        case RDR_EN_MEM_CHAR:
            pData->m_ppData_c = packGrid(values, iYdim, iXdim, fnMakeMatrix2D_C,
                                         [&rule](float v) { return packInteger<char>(v, rule); });
            break;
        case RDR_EN_MEM_SHORT:
            pData->m_ppData_s = packGrid(values, iYdim, iXdim, fnMakeMatrix2D_S,
                                         [&rule](float v) { return packInteger<short>(v, rule); });
            break;
        default:
            pData->m_ppData_f = packGrid(values, iYdim, iXdim, fnMakeMatrix2D_F,
                                         [&rule](float v) { return packFloat(v, rule); });
            break;
    }
}

// The names of each dataset's grids, checked against the messages' counts.
std::vector<std::vector<std::string>> gridNames(const std::vector<GribProductMessage>& messages) {
    const std::vector<std::string> parts = split(messages.front().quantity, '/');
    if (parts.size() != messages.size()) {
        refuse("Dataset count error (rdr_quantity names " + std::to_string(parts.size()) +
               " datasets, the file holds " + std::to_string(messages.size()) + ")");
    }
    std::vector<std::vector<std::string>> names;
    for (std::size_t j = 0; j < parts.size(); ++j) {
        names.push_back(split(parts[j], ','));
        const long nData = messages[j].maxData;
        if (nData < 1 || nData > kMaxGrids || static_cast<long>(names[j].size()) != nData) {
            refuse("Data count error (message " + std::to_string(j + 1) + ": rdr_max_data " +
                   std::to_string(nData) + ", " + std::to_string(names[j].size()) + " names)");
        }
        for (const std::string& name : names[j]) {
            if (name.empty() || name.size() >= sizeof(GRIB_DATASET_WHAT::m_szQuantity)) {
                refuse("rdr_quantity '" + parts[j].substr(0, 64) +
                       "' holds a name that is empty or longer than 6 characters");
            }
        }
    }
    return names;
}

GRIB_PRODUCT* buildProduct(const std::vector<GribProductMessage>& messages, int iProductType) {
    const int f = checkFamily(messages);
    const std::vector<std::vector<std::string>> names = gridNames(messages);
    const GribProductMessage& first = messages.front();
    const long nRows = first.ysize;
    const long nCols = first.xsize;
    long maxData = 0;
    for (std::size_t j = 0; j < messages.size(); ++j) {
        const GribProductMessage& m = messages[j];
        // Sizes are bounded above, so these products cannot overflow.
        const long cells = nRows * nCols * m.maxData;
        if (m.nx != nCols || m.ny != nRows * m.maxData ||
            m.values.size() != static_cast<std::size_t>(cells)) {
            refuse("message " + std::to_string(j + 1) + " holds " +
                   std::to_string(m.values.size()) + " values on " + std::to_string(m.nx) + " x " +
                   std::to_string(m.ny) + " points where " + std::to_string(m.maxData) +
                   " grids of " + std::to_string(nCols) + " x " + std::to_string(nRows) +
                   " are said");
        }
        maxData = std::max(maxData, m.maxData);
    }
    int counts[kGribFamilyCount] = {};
    counts[f] = static_cast<int>(messages.size());
    GRIB_PRODUCT* pProduct = fnInitGribProduct(static_cast<int>(maxData), counts[0], counts[1],
                                               counts[2], counts[3], counts[4], counts[5]);
    if (pProduct == nullptr) {
        refuse("calloc fail");
    }
    try {
        pProduct->m_iGribProductType = iProductType;
        fillHeader(first, pProduct);
        GRIB_PRODUCT_DATASET** ppDset = *gribFamilyArray(pProduct->m_totalProduct, f);
        const std::size_t gridCells = static_cast<std::size_t>(nRows * nCols);
        for (std::size_t j = 0; j < messages.size(); ++j) {
            GRIB_DATASET_WHAT& what = ppDset[j]->m_what;
            copyFixedText(what.m_szProduct, sizeof what.m_szProduct, first.product.c_str());
            // Dataset j's pair: elements 2j and 2j + 1.
            what.m_dProdpar[0] = first.prodpar[2 * j];
            what.m_dProdpar[1] = first.prodpar[2 * j + 1];
            what.m_dScale = 1.0;
            what.m_dOffset = 0.0;
            what.m_dNodata = kGribNodata;
            what.m_dUndetect = kGribUndetect;
            for (std::size_t k = 0; k < names[j].size(); ++k) {
                fillSlot(names[j][k], messages[j].values.data() + k * gridCells, what,
                         static_cast<int>(nRows), static_cast<int>(nCols),
                         ppDset[j]->m_ppProductData[k]);
            }
        }
    } catch (...) {
        fnFreeGribProduct(pProduct);
        throw;
    }
    return pProduct;
}

}  // namespace

IsolationLimits gribProductIsolationLimits() {
    return g_limits;
}

void setGribProductIsolationLimits(const IsolationLimits& limits) {
    g_limits = limits;
}

GRIB_PRODUCT* fnLoadGribProduct(const char* szFile, int iProductType) {
    if (szFile == nullptr || szFile[0] == '\0') {
        rdrError(kLoad, "no file name");
        return nullptr;
    }
    if (iProductType != GRIB_EN_PRODUCT_SITE && iProductType != GRIB_EN_PRODUCT_COMP) {
        rdrError(kLoad, ("unknown product type " + std::to_string(iProductType)).c_str());
        return nullptr;
    }
    try {
        const std::vector<unsigned char> bytes = readWholeFile(szFile);
        const std::vector<GribMessageSpan> spans = frameMessages(bytes);
        std::string why;
        // Opened before the fork: a child must not load libraries.
        if (eccodesLibrary(&why) == nullptr) {
            refuse(why);
        }
        const IsolatedResult result = runIsolatedDecode(
            [&](IsolatedOutput& output) { return decodeGribProductMessages(bytes, spans, output); },
            g_limits);
        switch (result.outcome) {
            case IsolatedResult::kDecoded:
                break;
            case IsolatedResult::kRefused:
                return nullptr;  // the child printed the reason
            case IsolatedResult::kFailed:
                refuse("ecCodes failed on this file (" + result.failure + ")");
            case IsolatedResult::kNotRun:
                refuse("cannot read the GRIB file in a child process (" + result.failure + ")");
        }
        std::vector<GribProductMessage> messages;
        if (!readGribProductMessages(result.bytes.data(), result.bytes.size(), &messages, &why)) {
            refuse("ecCodes failed on this file (the messages came back damaged: " + why + ")");
        }
        if (messages.empty()) {
            refuse("the file holds no message");
        }
        return buildProduct(messages, iProductType);
    } catch (const LoadError& e) {
        rdrError(kLoad, e.why().c_str());
    } catch (const std::bad_alloc&) {
        rdrError(kLoad, "calloc fail");
    }
    return nullptr;
}
