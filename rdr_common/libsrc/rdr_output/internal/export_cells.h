// Cell codings shared by the CSV archives and the packed binary grids: the composite kinds
// agree cell for cell whichever way they are exported.
#ifndef RDR_EXPORT_CELLS_H
#define RDR_EXPORT_CELLS_H

#include <cmath>
#include <cstring>

#include "core_utilities.h"
#include "grid_codes.h"

namespace rdr_export {

constexpr float kCodeTolerance = 1e-6f;

inline bool isOutBound(float v) {
    return std::fabs(v - RDR_GRID_OUT_BOUND) <= kCodeTolerance;
}

// NaN is no value either, whatever produced it.
inline bool isNoData(float v) {
    return std::fabs(v - RDR_GRID_NO_DATA) <= kCodeTolerance || v != v;
}

// Signed 8-bit cells of the 1 km composite kinds. -128 and -127 are the codes, so values
// are clamped to -126..127 rather than wrapped onto a code or another value.
constexpr signed char kByteOutBound = -128;
constexpr signed char kByteNoEcho = -127;
constexpr float kByteLowest = -126.0f;
constexpr float kByteHighest = 127.0f;

// Truncated toward zero; VIL is rounded up from 0.4 (2.5 -> 3, 2.3 -> 2). Clamped before the
// conversion, which then truncates; comparisons rather than library calls, since this runs
// for every cell of every level (NaN lands on the lowest value; callers code it as no data).
inline signed char byteValue(float v, bool bVil) {
    float t = bVil ? v + 0.6f : v;
    t = t >= kByteLowest ? t : kByteLowest;
    t = t <= kByteHighest ? t : kByteHighest;
    return static_cast<signed char>(static_cast<int>(t));
}

// Rain rate of reflectivity fields (Z = 200 R^1.6); other fields keep their values.
inline bool isReflectivity(const char* szFieldName) {
    return std::strcmp(szFieldName, "CZ") == 0 || std::strcmp(szFieldName, "DZ") == 0;
}

inline float rainOrValue(float v, bool bReflectivity) {
    return bReflectivity ? static_cast<float>(fnDbzToRainF(v, 200.0f, 1.6f)) : v;
}

// Signed 16-bit cells of the KCJ kind, hundredths rounded half up. -32768 and -32767 are
// the codes; values clamp to -32766..32767 (a rain rate above 327.67 mm/h stays 32767).
constexpr short kShortOutBound = -32768;
constexpr short kShortNoData = -32767;

inline short hundredths(float v, bool bReflectivity) {
    // Rain rates in single precision, other values in double, as the readers expect.
    const double scaled = bReflectivity ? static_cast<double>(rainOrValue(v, true) * 100.0f + 0.5f)
                                        : static_cast<double>(v) * 100.0 + 0.5;
    if (std::isnan(scaled)) {
        return kShortNoData;
    }
    return static_cast<short>(std::fmin(std::fmax(std::trunc(scaled), -32766.0), 32767.0));
}

}  // namespace rdr_export

#endif
