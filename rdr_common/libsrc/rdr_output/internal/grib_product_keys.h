// What the GRIB product writer and loader agree on beyond the key names: the centre and
// local section that mark our product messages, and how numbers the standard keys cannot
// hold are coded.
#ifndef RDR_GRIB_PRODUCT_KEYS_H
#define RDR_GRIB_PRODUCT_KEYS_H

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <system_error>

// Our messages: originating centre 40, local section 2 (one dataset of a product family).
constexpr long kGribProductCentre = 40;
constexpr long kGribProductLocalSection = 2;

// The longest texts the local section holds (ascii[256] and ascii[511]: ecCodes' tools
// print no text of 512 characters or more) and the width of a number kept as text
// (ascii[24]).
constexpr std::size_t kGribProjdefChars = 255;
constexpr std::size_t kGribQuantityChars = 511;
constexpr std::size_t kGribNumberChars = 24;

// A double as the shortest text that reads back as the same double.
inline std::string gribNumberText(double v) {
    char digits[64];
    const auto r = std::to_chars(digits, digits + sizeof digits, v);
    return r.ec == std::errc() ? std::string(digits, r.ptr) : std::string();
}

// The text of gribNumberText (or any decimal number) back; false when it is not a whole,
// finite number.
inline bool gribNumberFromText(const std::string& text, double* pValue) {
    double v = 0.0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size() || !std::isfinite(v)) {
        return false;
    }
    *pValue = v;
    return true;
}

// Template 4.20 holds the site position unsigned in micro-degrees: longitudes east from 0
// to 360, as GRIB gives them, and a southern latitude with its top bit set, as GRIB 2 codes
// negative numbers elsewhere.
constexpr std::uint32_t kGribSignBit = 0x80000000u;
constexpr double kMicroDegrees = 1.0e6;

inline bool gribSiteLatitude(double dLat, long* pCoded) {
    if (!(std::fabs(dLat) <= 90.0)) {
        return false;
    }
    const long micro = std::lround(std::fabs(dLat) * kMicroDegrees);
    *pCoded = dLat < 0.0 && micro != 0 ? static_cast<long>(kGribSignBit | micro) : micro;
    return true;
}

inline bool gribSiteLongitude(double dLon, long* pCoded) {
    if (!(std::fabs(dLon) <= 360.0)) {
        return false;
    }
    long micro = std::lround(dLon * kMicroDegrees);
    const long full = std::lround(360.0 * kMicroDegrees);
    micro = ((micro % full) + full) % full;
    *pCoded = micro;
    return true;
}

inline double gribLatitudeFromSite(long coded) {
    const auto bits = static_cast<std::uint32_t>(coded);
    const double magnitude = static_cast<double>(bits & ~kGribSignBit) / kMicroDegrees;
    return (bits & kGribSignBit) != 0 ? -magnitude : magnitude;
}

// Longitudes come back from -180 to 180.
inline double gribLongitudeFromSite(long coded) {
    const long full = std::lround(360.0 * kMicroDegrees);
    const long half = full / 2;
    return static_cast<double>(coded > half ? coded - full : coded) / kMicroDegrees;
}

#endif
