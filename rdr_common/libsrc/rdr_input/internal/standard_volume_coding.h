// How values of any reader become the standard volume's stored 16-bit values: the file's
// packing (scale and offset), its masks (fill, missing, valid range, the unsigned flag),
// then physical x 100. Every reader and sync-up takes the factor and the conversion from
// here, so the standard volume's scaling is written once.
#ifndef RDR_STANDARD_VOLUME_CODING_H
#define RDR_STANDARD_VOLUME_CODING_H

#include <cmath>
#include <cstddef>
#include <type_traits>

#include "standard_volume.h"

// m_iScaleFactor of every field a sync-up converts from physical values.
constexpr int kStdScaleFactor = 100;

// How a reader's raw values become physical ones.
struct StdValueCoding {
    double m_dScale = 1.0;
    double m_dOffset = 0.0;
    bool m_bWide = false;  // compute in double (double data, wide integers or double attributes)
    bool m_bHasFill = false;
    bool m_bHasMissing = false;
    bool m_bUnsigned = false;  // raw signed integers that are to be read as unsigned
    double m_dValidMin = -HUGE_VAL;
    double m_dValidMax = HUGE_VAL;
};

// physical x iScaleFactor truncated toward zero; -32767 (no data) when it is not finite or
// does not fit the 16-bit range left free by the no-data codes.
template <class C>
inline short toStdStored(C physical, int iScaleFactor = kStdScaleFactor) {
    C x = physical * static_cast<C>(iScaleFactor);
    if (!(x > static_cast<C>(-32767) && x < static_cast<C>(32768))) {
        return STD_NO_DATA_CODE;
    }
    return static_cast<short>(x);
}

// Converts n raw values of type T, computing in C (float or double), into stored values at
// iScaleFactor. Returns how many finite values did not fit 16 bits (stored as no data), so
// that a reader can try a smaller factor.
template <class T, class C>
std::size_t codeToStd(const T* pRaw, std::size_t n, const StdValueCoding& coding, T fill, T missing,
                      short* pOut, int iScaleFactor = kStdScaleFactor) {
    const C scale = static_cast<C>(coding.m_dScale);
    const C offset = static_cast<C>(coding.m_dOffset);
    const bool bRangeCheck = coding.m_dValidMin > -HUGE_VAL || coding.m_dValidMax < HUGE_VAL;
    std::size_t nOverflow = 0;
    for (std::size_t i = 0; i < n; i++) {
        const T raw = pRaw[i];
        if ((coding.m_bHasFill && raw == fill) || (coding.m_bHasMissing && raw == missing)) {
            pOut[i] = STD_NO_DATA_CODE;
            continue;
        }
        C value;
        if constexpr (std::is_integral_v<T> && std::is_signed_v<T>) {
            value = coding.m_bUnsigned ? static_cast<C>(static_cast<std::make_unsigned_t<T>>(raw))
                                       : static_cast<C>(raw);
        } else {
            value = static_cast<C>(raw);
        }
        if (bRangeCheck && (value < coding.m_dValidMin || value > coding.m_dValidMax)) {
            pOut[i] = STD_NO_DATA_CODE;
            continue;
        }
        const C physical = value * scale + offset;
        pOut[i] = toStdStored<C>(physical, iScaleFactor);
        if (pOut[i] == STD_NO_DATA_CODE && std::isfinite(physical)) {
            nOverflow++;
        }
    }
    return nOverflow;
}

#endif
